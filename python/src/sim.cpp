// The simulated board's helpers (qrnacq.sim), for tests and demonstrations.
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/drivers/sim.h>

#include "fifo.h"

namespace qrnpy {

void bindSim(py::module_& m) {
  py::module_ s = m.def_submodule(
      "sim",
      "Helpers of the simulated board: its custom items (TestImage, FramePeriod, Inject, LocalImages, ...) "
      "sent as actions, so that they are not repeated when a property set is restored.");
  auto text = [](const py::object& v) { return py::str(v).cast<std::string>(); };
  s.def(
      "set", [text](Fifo& f, const std::string& name, py::object value) {
        const std::string v = text(value);
        f.unlocked([&](qcAcqFifo& q) { qfSimSet(q, name, v); });
      },
      py::arg("fifo"), py::arg("name"), py::arg("value"),
      "Sends one item (name, value as text): set(fifo, \"TestImage\", \"checkerboard\").");
  s.def(
      "configure",
      [text](Fifo& f, py::kwargs items) {
        qcCustomPropertyBag bag;
        for (const auto& [k, v] : items)
          bag.addItem(qcCustomPropertyBag::qeWrite, k.cast<std::string>(), text(py::reinterpret_borrow<py::object>(v)));
        f.unlocked([&](qcAcqFifo& q) { qfSimSend(q, bag); });
      },
      py::arg("fifo"), "Sends several items at once: configure(fifo, TestImage=\"flat\", FlatValue=100).");
  s.def(
      "inject",
      [](Fifo& f, const std::string& failure, py::object channel) {
        if (channel.is_none()) {
          f.unlocked([&](qcAcqFifo& q) { qfSimInject(q, failure); });
        } else {
          const long c = number<long>(channel, "channel", "an int or None");
          f.unlocked([&](qcAcqFifo& q) { qfSimInject(q, failure, c); });
        }
      },
      py::arg("fifo"), py::arg("failure"), py::arg("channel") = py::none(),
      "Makes the next acquisition taken fail: \"timeout\", \"missed\", \"abnormal\" (or "
      "\"abnormal:<code>\"), \"incomplete\", \"tooFastEncoder\", \"invalidRoi\", \"overrun\", "
      "\"otherFifoError\", \"timingError\".");
  s.def(
      "fire_input_line",
      [](Fifo& f, py::object line) {
        if (line.is_none()) {
          f.unlocked([&](qcAcqFifo& q) { qfSimFireInputLine(q); });
        } else {
          const long l = number<long>(line, "line", "an int or None");
          f.unlocked([&](qcAcqFifo& q) { qfSimFireInputLine(q, l); });
        }
      },
      py::arg("fifo"), py::arg("line") = py::none(),
      "A pulse on the FIFO's own input line, or on the board's line `line`.");
  s.def(
      "light_event",
      [](std::uintptr_t address) {
        if (address == 0) throw py::value_error("no light event at address 0");
        const auto& e = *reinterpret_cast<const qsSimLightEvent*>(address);
        py::dict d;
        d["kind"] = e.kind == qsSimLightEvent::strobe ? "strobe" : "light";
        d["trigger_num"] = e.triggerNum;
        d["delay"] = e.delay;
        d["duration"] = e.duration;
        d["power"] = e.power;
        d["active_high"] = e.activeHigh;
        return d;
      },
      py::arg("address"),
      "The simulated board's light event at the address a light callback (Fifo.on_light) was given, "
      "read during that call: {\"kind\": \"strobe\" or \"light\", \"trigger_num\", \"delay\" (s), "
      "\"duration\" (s; light: 0), \"power\" (0..1; strobe: 1), \"active_high\"}.");
}

}  // namespace qrnpy
