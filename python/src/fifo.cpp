// Acquisition FIFOs: properties, start and complete, acquire info, callbacks,
// the property query, capabilities and property sets as bytes.
#include <pthread.h>

#include <chrono>
#include <cmath>
#include <set>
#include <sstream>
#include <thread>
#include <utility>

#include <qrn/acq/hyper/failurename.h>
#include <qrn/acq/hyper/fgcaps.h>
#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/acq/hyper/prop/propquery.h>
#include <qrn/acq/hyper/trigmodel.h>
#include <qrn/acq/hyper/typedfifo.h>
#include <qrn/foundation/archive.h>
#include <qrn/foundation/board.h>

#include "fifo.h"

namespace qrnpy {
namespace {

std::set<Fifo*>& openFifos() {
  static auto* s = new std::set<Fifo*>();
  return *s;
}

// Set by the exit handler (with the GIL), before Python finalizes; the
// thread that ran it (and finalizes) goes on as before.
std::atomic<bool> g_exiting{false};
std::atomic<std::thread::id> g_exitThread{};
// Library FIFOs being destroyed on threads of their own (close() in a
// callback); the exit handler waits for them.
std::atomic<int> g_reaping{0};
// Threads inside a Fifo::Call.
std::atomic<int> g_inCalls{0};
// Depth of Python callbacks running on this thread (a driver's thread).
thread_local int t_inCallback = 0;

bool finalizing() {
#if PY_VERSION_HEX >= 0x030D0000
  return Py_IsFinalizing() != 0;
#else
  return _Py_IsFinalizing() != 0;
#endif
}

// True on a thread that must not take the GIL again: any but the exiting
// one, once the exit handler ran.
bool mustLeave() { return g_exiting && std::this_thread::get_id() != g_exitThread.load(); }

// A thread that must not enter Python again waits here for the process to
// end (as Python itself stops such threads).
[[noreturn]] void parkForever() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

// Waits without the GIL, at most `seconds`, until done() is true.
template <class Done>
void waitUntil(Done done, double seconds) {
  const py::gil_scoped_release nogil;
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

const std::pair<const char*, std::uint32_t> kProblems[] = {
    {"invalidMasterOrSlave", qcAcqProblem::kInvalidMasterOrSlave},
    {"slavePortInvalid", qcAcqProblem::kSlavePortInvalid},
    {"slaveNotSlaveTrigger", qcAcqProblem::kSlaveNotSlaveTrigger},
    {"slaveTriggerNoMaster", qcAcqProblem::kSlaveTriggerNoMaster},
    {"masterIsSlaveTrigger", qcAcqProblem::kMasterIsSlaveTrigger},
    {"mismatchedExposures", qcAcqProblem::kMismatchedExposures},
    {"mismatchedFormats", qcAcqProblem::kMismatchedFormats},
    {"invalidAuxLightPort", qcAcqProblem::kInvalidAuxLightPort},
    {"invalidCameraPort", qcAcqProblem::kInvalidCameraPort},
    {"tooFewPorts", qcAcqProblem::kTooFewPorts},
    {"badSyncModel", qcAcqProblem::kBadSyncModel},
};

const std::pair<const char*, bool (*)(const qcAcqFifo&)> kCapabilities[] = {
    {"contrast", &qfFQ2IsContrastSupported},
    {"brightness", &qfFQ2IsBrightnessSupported},
    {"strobe_enable", &qfFQ2IsStrobeEnableSupported},
    {"strobe_pulse_duration", &qfFQ2IsStrobePulseDurationSupported},
    {"strobe_high", &qfFQ2IsStrobeHighSupported},
    {"sample_x", &qfFQ2IsSampleXSupported},
    {"sample_y", &qfFQ2IsSampleYSupported},
    {"trigger_delay", &qfFQ2IsTriggerDelaySupported},
    {"master_slave", &qfFQ2IsMasterSlaveSupported},
    {"buffered_trigger", &qfFQ2IsBufferedTriggerSupported},
    {"detects_missed_triggers", &qfFQ2DetectsMissedTriggers},
};

const std::pair<const char*, double (*)(const qcAcqFifo&)> kCapabilityValues[] = {
    {"contrast_default", &qfFQ2ContrastDefault},
    {"brightness_default", &qfFQ2BrightnessDefault},
    {"min_exposure", &qfFQ2GetMinExposure},
    {"min_trigger_delay", &qfFQ2GetMinTriggerDelay},
    {"max_trigger_delay", &qfFQ2GetMaxTriggerDelay},
};

const std::pair<const char*, const std::vector<long>* (*)(const qcAcqFifo&)> kCapabilityLists[] = {
    {"sample_x_settings", &qfFQ2GetSampleXSettings},
    {"sample_y_settings", &qfFQ2GetSampleYSettings},
};

const std::pair<const char*, const qcTriggerModel& (*)()> kModels[] = {
    {"Manual", &qfManualTrigger},       {"Automatic", &qfAutoTrigger}, {"Semi-Automatic", &qfSemiTrigger},
    {"Slave", &qfSlaveTrigger},         {"FreeRun", &qfFreeRunTrigger},
};

const qcTriggerModel& modelOf(const std::string& name) {
  const std::string want = nameKey(name);
  for (const auto& [n, fn] : kModels)
    if (nameKey(n) == want || (want == "auto" && fn == &qfAutoTrigger) || (want == "semi" && fn == &qfSemiTrigger))
      return fn();
  throw py::value_error("unknown trigger model \"" + name +
                        "\" (known: Manual, Automatic, Semi-Automatic, Slave, FreeRun)");
}

// A callback of the driver that calls a Python callable with the acquire
// info, holding the GIL.  An exception of the callable goes to
// sys.unraisablehook (printed by default), never into the driver.
struct PyCall {
  PyObject* fn;
  explicit PyCall(py::object f) : fn(f.release().ptr()) {}
  ~PyCall() {
    if (pythonGone()) return;
    py::gil_scoped_acquire g;
    Py_DECREF(fn);
  }
};

// A one-argument callback of the driver that calls `fn` with conv(arg);
// null for None.
template <class T, class Conv>
qcPtrHandle<qcCallback1<T>> pyCallback(const py::object& fn, Conv conv) {
  if (fn.is_none()) return {};
  if (!PyCallable_Check(fn.ptr())) throw py::type_error("a callback must be callable (or None)");
  auto call = std::make_shared<PyCall>(fn);
  return qfMakeCallback1<T>([call, conv](T arg) {
    if (pythonGone()) return;
    py::gil_scoped_acquire g;
    ++t_inCallback;
    const std::unique_ptr<int, void (*)(int*)> leave(&t_inCallback, [](int* d) { --*d; });
    try {
      py::handle(call->fn)(conv(arg));
    } catch (py::error_already_set& e) {
      e.discard_as_unraisable(py::reinterpret_borrow<py::object>(call->fn));
    } catch (const std::exception& e) {
      PyErr_SetString(PyExc_RuntimeError, e.what());
      PyErr_WriteUnraisable(call->fn);
    }
  });
}

qcAcqFifo::InfoCallback infoCallback(const py::object& fn) {
  return pyCallback<const qcAcquireInfo&>(fn, [](const qcAcquireInfo& info) -> const qcAcquireInfo& { return info; });
}

// A callback slot as Python sees it: None until a callable is set.
py::object orNone(const py::object& o) { return o ? o : py::object(py::none()); }

using SetCb = void (qcAcqFifo::*)(qcAcqFifo::InfoCallback);

void setCallback(Fifo& f, py::object Fifo::*slot, SetCb set, py::object fn) {
  qcAcqFifo::InfoCallback cb = infoCallback(fn);
  f.unlocked([&](qcAcqFifo& fifo) { (fifo.*set)(std::move(cb)); });
  f.*slot = fn;
}

double waitOf(const py::object& timeout) {
  if (timeout.is_none()) return HUGE_VAL;
  const double t = number<double>(timeout, "timeout", "a number of seconds or None");
  if (!(t >= 0)) throw py::value_error("timeout must be 0 or more seconds (or None: no limit)");
  return t;
}

// A completion that may wait long waits in parts of at most kPart seconds,
// with the GIL taken back between them to run Python's signal handlers (so
// that Ctrl-C ends it with KeyboardInterrupt).
constexpr double kPart = 0.1;

// True when a completion reports what the drivers report when its maxWait
// runs out with nothing finished: no image and a bare timeout (no trigger
// number, time stamp, tag or text).  A started acquisition that timed out
// (the FIFO's timeout) may give a record that reads the same.
bool likeRunOut(const qcPtrHandle<qcAcqImage>& image, const qcAcquireInfo& info) {
  return (!image || image->isEmpty()) && info.failure().rawFlags() == qcAcqFailure::kTimeout &&
         info.triggerNum() == 0 && info.timeStamp() == 0 && info.appTag() == 0 && info.failure().errorInfo().empty();
}

// The completion of `wait` seconds in parts; false when a signal handler
// raised (the Python error is set).  Runs without the GIL.
//
// A part whose maxWait runs out with nothing finished takes nothing: the
// drivers leave their queues as they were, write a bare timeout to the info
// and return no image.  Only a record that reads the same (likeRunOut) could
// be mistaken for it, and such a record comes from a started acquisition
// that timed out.  So the wait is parted only where that cannot happen:
//   - With a finished acquisition waiting (completedAcqs() > 0), the rest of
//     the wait is one completion: it takes that record at once.
//   - With nothing started (pendingAcqs() == 0; only this thread starts
//     acquisitions) or no limit on a started acquisition's time (the FIFO's
//     timeout, infinite by default), nothing can time out during a part, so
//     a part that reads likeRunOut ran out.  autoStart goes to the first part
//     only (one start, as one completion makes), and a part that may start
//     waits 0 s: what it starts cannot time out in it.
//   - With acquisitions started and a limit on their time, the rest of the
//     wait is one completion: the FIFO's timeout ends it (so Ctrl-C is
//     answered within that timeout).
bool completeInParts(qcAcqFifo& fifo, double wait, const qcAcqFifo::CompleteArgs& args,
                     qcPtrHandle<qcAcqImage>& image) {
  const qcDeadline deadline(wait);
  const bool mayTimeOut = std::isfinite(static_cast<qcTimeoutProp&>(fifo.properties()).timeout());
  for (bool first = true;; first = false) {
    const double left = deadline.until();
    qcAcqFifo::CompleteArgs part = args;
    part.autoStart(args.autoStart() && first);
    const long pending = fifo.pendingAcqs();
    if (left <= kPart || fifo.completedAcqs() > 0 || (pending > 0 && mayTimeOut)) {
      image = fifo.completeAcq(part.maxWait(left));
      return true;
    }
    image = fifo.completeAcq(part.maxWait(part.autoStart() && pending == 0 ? 0.0 : kPart));
    if (!likeRunOut(image, *args.acquireInfo()) || mustLeave()) return true;
    const py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) return false;
  }
}

// The completion (image, info).  With refuseUsedUpPool, RuntimeError instead
// of a wait that cannot end: nothing finished and every buffer of the pool
// held by the caller's arrays.
py::tuple complete(Fifo& f, double wait, bool makeLocal, bool autoStart, bool refuseUsedUpPool = false) {
  qcAcquireInfo info;
  qcPtrHandle<qcAcqImage> image;
  bool done = true, usedUp = false;
  {
    const Fifo::Call call(f);
    qcAcqFifo& fifo = call.fifo;
    // A pool image is copied here, into memory used again (localCopy),
    // rather than by the library into fresh memory.
    const auto args = qcAcqFifo::CompleteArgs().maxWait(wait).makeLocal(false).autoStart(autoStart).acquireInfo(&info);
    // One call when the wait is short or a finished acquisition waits: a
    // completion that finds its image at once costs no more than one call.
    // In this order: an acquisition that held a buffer while being taken
    // is a finished one by the last question.
    if (refuseUsedUpPool && fifo.availableAcqs() == 0 && !fifo.isAcquiring() && fifo.completedAcqs() == 0)
      usedUp = true;
    else if (wait <= kPart || fifo.completedAcqs() > 0)
      image = fifo.completeAcq(args);
    else
      done = completeInParts(fifo, wait, args, image);
    if (makeLocal && image && !image->isEmpty() && !image->buffer()->isLocal())
      image = localCopy(*image, f.localBlocks);
  }
  if (!done) throw py::error_already_set();
  if (usedUp)
    throw std::runtime_error(
        "every buffer of the FIFO's image pool is held by an array of an earlier completion with "
        "make_local=False, so nothing can complete: drop some of those arrays, complete with make_local=True, "
        "or raise hardware_image_pool_size");
  return py::make_tuple(wrapImage(std::move(image)), info);
}

// Iterates over completions: `count` of them (None: no end).  With a model
// that takes software starts, the acquisitions are started here (all at
// once for a count; one per frame without one).
struct Frames {
  Fifo* fifo;
  py::object keep;
  long left;  // -1: no end
  double wait;
  bool makeLocal;
  bool startEach = false;
  bool started = false;  // acquisitions were started here
  Frames(Fifo& f, py::object self, long count, double w, bool local)
      : fifo(&f), keep(std::move(self)), left(count), wait(w), makeLocal(local) {}
  Frames(Frames&& o) noexcept
      : fifo(o.fifo), keep(std::move(o.keep)), left(o.left), wait(o.wait), makeLocal(o.makeLocal),
        startEach(o.startEach), started(std::exchange(o.started, false)) {}
  Frames(const Frames&) = delete;
  Frames& operator=(const Frames&) = delete;
  // A loop that ends early (break, an exception) stops what it started:
  // left pending, those acquisitions would be the next completions.
  ~Frames() {
    if (!started || left == 0 || fifo->closed() || pythonGone()) return;
    try {
      fifo->unlocked([](qcAcqFifo& q) { q.flush(); });
    } catch (const std::exception&) {
      // The FIFO went away meanwhile: nothing left to stop.
    }
  }
};

// The Fifo behind a Python object, null while it is not constructed.
Fifo* fifoOf(PyObject* self) {
  auto vh = reinterpret_cast<py::detail::instance*>(self)->get_value_and_holder();
  return vh.holder_constructed() ? vh.value_ptr<Fifo>() : nullptr;
}

// The garbage collector's support: a FIFO held by its own callback (a
// bound method of an object that holds the FIFO) is a cycle through the
// driver, which the collector sees through traverse and breaks by closing
// the FIFO.
void collectable(PyHeapTypeObject* heapType) {
  PyTypeObject* type = &heapType->ht_type;
  type->tp_flags |= Py_TPFLAGS_HAVE_GC;
  type->tp_traverse = [](PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    const Fifo* f = fifoOf(self);
    if (!f) return 0;
    int r = 0;
    f->traverse([&](PyObject* o, int times) {
      for (int i = 0; i < times && r == 0; ++i) r = visit(o, arg);
    });
    return r;
  };
  type->tp_clear = [](PyObject* self) {
    if (Fifo* f = fifoOf(self)) {
      try {
        f->close();
      } catch (const std::exception&) {
        // In a call on another thread, so not garbage: nothing to break.
      }
    }
    return 0;
  };
}

py::list names(std::uint32_t bits, const std::pair<const char*, std::uint32_t>* table, size_t n) {
  py::list l;
  for (size_t i = 0; i < n; ++i)
    if (bits & table[i].second) l.append(table[i].first);
  return l;
}

}  // namespace

std::string nameKey(const std::string& name) {
  std::string r;
  for (char c : name)
    if (c != '-' && c != '_' && c != ' ') r += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

bool pythonGone() { return mustLeave() || !Py_IsInitialized() || finalizing(); }

Fifo::Fifo(qcPtrHandle<qcAcqFifo> fifo, py::object b, qeImageFormat f)
    : board(std::move(b)), format(f), fifo_(std::move(fifo)) {
  openFifos().insert(this);
}

Fifo::~Fifo() {
  busy_ = 0;  // nobody can be inside a call of an object being destroyed
  if (fifo_) close();
  openFifos().erase(this);
}

qcAcqFifo& Fifo::get() const {
  if (disowned_) throw py::value_error("the FIFO belongs to the parent process: a forked child opens its own");
  if (!fifo_) throw py::value_error("the FIFO is closed");
  return *fifo_;
}

Fifo::Call::Call(Fifo& f) : fifo(f.get()), f_(f) {
  ++f_.busy_;
  ++g_inCalls;
  saved_ = PyEval_SaveThread();
}

Fifo::Call::~Call() {
  --f_.busy_;
  --g_inCalls;
  if (mustLeave()) parkForever();
  PyEval_RestoreThread(saved_);
}

void Fifo::close() {
  if (disowned_) {
    // The parent's: its driver threads are not in this process, and
    // destroying it would wait for them for ever.
    if (fifo_) new qcPtrHandle<qcAcqFifo>(std::move(fifo_));  // never destroyed, on purpose
    onComplete = onOverrun = onMovePart = onLight = master = py::object();
    return;
  }
  if (busy_ > 0) throw std::runtime_error("the FIFO is in a call on another thread: close it when that call returns");
  qcPtrHandle<qcAcqFifo> f = std::move(fifo_);
  if (f) {
    const bool inCallback = t_inCallback > 0;
    py::gil_scoped_release nogil;
    // The driver may be calling a callback now: drop them first, then the
    // FIFO (which joins the driver's threads).
    f->completeInfoCallback({});
    f->overrunInfoCallback({});
    f->movePartInfoCallback({});
    static_cast<qcLightProp&>(f->properties()).lightCallback({});
    if (inCallback) {
      // This is one of the threads the FIFO joins: another thread destroys
      // it once this callback returned.
      ++g_reaping;
      std::thread([f = std::move(f)]() mutable {
        f = qcPtrHandle<qcAcqFifo>();
        --g_reaping;
      }).detach();
    }
    f = qcPtrHandle<qcAcqFifo>();
  }
  onComplete = onOverrun = onMovePart = onLight = master = py::object();
}

void Fifo::closeAll() {
  g_exitThread = std::this_thread::get_id();
  g_exiting = true;
  // Daemon threads in a completion leave it within a part (0.1 s).
  waitUntil([] { return g_inCalls == 0 && g_reaping == 0; }, 1.0);
  for (Fifo* f : std::set<Fifo*>(openFifos()))
    if (f->busy_ == 0) f->close();
}

// Runs in the child right after fork(): flags only (close() lets go of the
// FIFO later, in ordinary circumstances).
void Fifo::disownAll() {
  for (Fifo* f : openFifos()) {
    f->disowned_ = true;
    f->busy_ = 0;  // the threads that were in calls stayed in the parent
  }
}

void bindFifo(py::module_& m) {
  py::class_<qcAcqFailure>(m, "Failure",
                           "How an acquisition failed.  False when it did not.  names lists the flags "
                           "(\"timeout\", \"missed\", \"abnormal\", \"incomplete\", \"tooFastEncoder\", "
                           "\"invalidRoi\", \"overrun\", \"otherFifoError\", \"timingError\").")
      .def("__bool__", [](const qcAcqFailure& f) { return static_cast<bool>(f); })
      .def_property_readonly(
          "names",
          [](const qcAcqFailure& f) {
            py::list l;
            for (const auto& [bit, name] : qcAcqFailureFlagNames)
              if (f.rawFlags() & bit) l.append(name);
            return l;
          },
          "The names of the flags that are set.")
      .def("__contains__",
           [](const qcAcqFailure& f, const std::string& name) {
             for (const auto& [bit, n] : qcAcqFailureFlagNames)
               if (name == n) return (f.rawFlags() & bit) != 0;
             throw py::value_error("unknown failure flag \"" + name + "\"");
           })
      .def_property_readonly("raw_flags", &qcAcqFailure::rawFlags, "The flag word.")
      .def_property_readonly("code", py::overload_cast<>(&qcAcqFailure::abnormalErrorCode, py::const_), "The driver's code of an abnormal failure.")
      .def_property_readonly("text", py::overload_cast<>(&qcAcqFailure::errorInfo, py::const_), "The driver's text about the failure.")
      .def("__repr__", [](const qcAcqFailure& f) {
        return "<qrnacq.Failure " + (f ? qfDescribeFailure(f) : std::string("none")) + ">";
      });

  py::class_<qcAcquireInfo>(m, "AcquireInfo", "The record of one completed acquisition.")
      .def_property_readonly("trigger_num", py::overload_cast<>(&qcAcquireInfo::triggerNum, py::const_),
                             "The trigger number (1, 2, ... per FIFO on the simulated board).")
      .def_property_readonly("time_stamp", py::overload_cast<>(&qcAcquireInfo::timeStamp, py::const_),
                             "The time stamp in the driver's clock (microseconds).")
      .def_property_readonly("app_tag", py::overload_cast<>(&qcAcquireInfo::appTag, py::const_),
                             "The application's tag.")
      .def_property_readonly("failure", py::overload_cast<>(&qcAcquireInfo::failure, py::const_),
                             "The failure (false when the acquisition succeeded).")
      .def("__repr__", [](const qcAcquireInfo& i) {
        return "<qrnacq.AcquireInfo trigger " + std::to_string(i.triggerNum()) + ", time stamp " +
               std::to_string(i.timeStamp()) + (i.failure() ? ", failed" : "") + ">";
      });

  py::class_<Frames>(m, "Frames", "An iterator of (image, info) completions (Fifo.frames).")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", [](Frames& fr) {
        if (fr.left == 0) throw py::stop_iteration();
        if (fr.startEach) {
          fr.fifo->unlocked([](qcAcqFifo& q) { q.start(1); });
          fr.started = true;
        }
        py::tuple r = complete(*fr.fifo, fr.wait, fr.makeLocal, false, true);
        if (fr.left > 0) --fr.left;  // not when a signal handler raised
        return r;
      });

  py::class_<Fifo> fifoClass(m, "Fifo", py::custom_type_setup(collectable),
                   "An acquisition FIFO (Board.fifo): start acquisitions and complete them into NumPy "
                   "arrays; every acquisition property is an attribute or a method, in the library's "
                   "units (seconds, pels, fractions 0..1).  One thread at a time uses a FIFO; blocking "
                   "calls release the GIL, so FIFOs on other threads run meanwhile.");
  fifoClass
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](Fifo& f, py::args) { f.close(); })
      .def("close", &Fifo::close,
           "Destroys the FIFO (images already taken stay valid).  Later calls raise ValueError.")
      .def_property_readonly("closed", &Fifo::closed, "True after close().")
      .def_readonly("board", &Fifo::board, "The board.")
      .def_readonly("image_format", &Fifo::format, "The image format its completions deliver.")
      .def_property_readonly(
          "video_format", [](Fifo& f) { return static_cast<const qcStdVideoFormat*>(&f.get().videoFormat()); },
          py::return_value_policy::reference, "The video format.")
      .def("__repr__",
           [](Fifo& f) {
             if (f.closed()) return std::string("<qrnacq.Fifo (closed)>");
             return "<qrnacq.Fifo \"" + std::string(f.get().videoFormat().name()) + "\" " +
                    qfImageFormatName(f.format) + ", trigger " + f.get().triggerModel().name() + ", " +
                    std::to_string(f.get().pendingAcqs()) + " pending>";
           })
      // ---- acquisition
      .def(
          "start", [](Fifo& f, py::object count) {
            const long n = number<long>(count, "count", "an int");
            if (n < 0) throw py::value_error("count must be 0 or more");
            return f.unlocked([n](qcAcqFifo& q) { return q.start(static_cast<unsigned long>(n)); });
          },
          py::arg("count") = 1,
          "Requests count acquisitions (Manual and Semi-Automatic models).  Raises "
          "qrnacq.errors.qcAcqFifo.StartNotAllowed where the model takes no starts.")
      .def(
          "complete",
          [](Fifo& f, py::object timeout, bool makeLocal, bool autoStart) {
            return complete(f, waitOf(timeout), makeLocal, autoStart);
          },
          py::arg("timeout") = py::none(), py::arg("make_local") = true, py::arg("auto_start") = false,
          "Completes the oldest acquisition, waiting at most timeout seconds (None: no limit), without "
          "the GIL; Python's signal handlers run meanwhile (Ctrl-C raises KeyboardInterrupt and takes "
          "nothing).  Returns (image, info): image a NumPy array over the image's pels (no copy; None "
          "when none came), info an AcquireInfo.  make_local=False leaves a pool image where the "
          "driver put it: the array is read-only and holds the pool buffer until it goes.")
      .def(
          "frames",
          [](py::object self, py::object count, py::object timeout, bool makeLocal) {
            Fifo& f = self.cast<Fifo&>();
            const long n = count.is_none() ? -1L : number<long>(count, "count", "an int or None");
            if (!count.is_none() && n < 0) throw py::value_error("count must be 0 or more");
            Frames fr(f, self, n, waitOf(timeout), makeLocal);
            const std::string name = f.get().triggerModel().name();
            if (name == "Manual" || name == "Semi-Automatic") {
              if (fr.left > 0) {
                f.unlocked([n](qcAcqFifo& q) { q.start(static_cast<unsigned long>(n)); });
                fr.started = true;
              } else if (fr.left < 0) {
                fr.startEach = true;
              }
            }
            return fr;
          },
          py::arg("count") = py::none(), py::arg("timeout") = py::none(), py::arg("make_local") = true,
          "An iterator of count completions (None: no end) as (image, info).  With the Manual or "
          "Semi-Automatic model it starts the acquisitions itself.")
      .def("trigger", unlocked(+[](qcAcqFifo& q) { q.trigger(); }), "A software trigger.")
      .def("flush", unlocked(+[](qcAcqFifo& q) { q.flush(); }), "Drops pending and completed acquisitions.")
      .def(
          "prepare",
          [](Fifo& f, py::object seconds) {
            const double s = number<double>(seconds, "seconds", "a number");
            std::string why;
            const bool ok = f.unlocked([&](qcAcqFifo& q) { return q.prepare(why, s); });
            return py::make_tuple(ok, why);
          },
          py::arg("seconds"), "Readies the hardware within seconds; returns (ok, message).")
      .def_property_readonly("pending", [](Fifo& f) { return f.get().pendingAcqs(); }, "Acquisitions pending.")
      .def_property_readonly("completed", [](Fifo& f) { return f.get().completedAcqs(); },
                             "Acquisitions completed and not yet taken.")
      .def_property_readonly("available", [](Fifo& f) { return f.get().availableAcqs(); },
                             "Acquisitions that may still be started.")
      .def_property_readonly("is_idle", [](Fifo& f) { return f.get().isIdle(); }, "True when nothing is pending.")
      .def(
          "is_valid",
          [](Fifo& f) {
            qcAcqProblem p;
            const bool ok = f.get().isValid(&p);
            return py::make_tuple(ok, names(p.flags(), kProblems, std::size(kProblems)));
          },
          "(ok, problems): whether the FIFO (and its master/slave set-up) can work, and the names of "
          "the problems (\"slaveTriggerNoMaster\", ...).")
      // ---- properties
      .def_property(
          "exposure", [](Fifo& f) { return prop<qcExposureProp>(f).exposure(); },
          [](Fifo& f, double s) { prop<qcExposureProp>(f).exposure(s); }, "Exposure, seconds.")
      .def_property(
          "timeout", [](Fifo& f) { return prop<qcTimeoutProp>(f).timeout(); },
          [](Fifo& f, double s) { prop<qcTimeoutProp>(f).timeout(s); },
          "The time an acquisition may take before it completes with a timeout, seconds (inf: none).")
      .def_property(
          "roi",
          [](Fifo& f) {
            const qcPelRect r = prop<qcRoiProp>(f).roi();
            return py::make_tuple(r.x(), r.y(), r.width(), r.height());
          },
          [](Fifo& f, std::tuple<long, long, long, long> r) {
            const auto [x, y, w, h] = r;
            if (x < 0 || y < 0 || w < 0 || h < 0) throw py::value_error("a region of interest has x, y, width, height >= 0");
            f.unlocked([&](qcAcqFifo& q) { prop<qcRoiProp>(q).roi(qcPelRect(x, y, w, h)); });
          },
          "The region of interest (x, y, width, height); (0, 0, 0, 0): the whole image.")
      .def_property_readonly(
          "actual_roi",
          [](Fifo& f) {
            const qcPelRect r = prop<qcRoiProp>(f).actualRoi();
            return py::make_tuple(r.x(), r.y(), r.width(), r.height());
          },
          "The region the FIFO actually uses.")
      .def_property(
          "trigger_model", [](Fifo& f) { return std::string(f.get().triggerModel().name()); },
          [](Fifo& f, const std::string& name) {
            const qcTriggerModel& model = modelOf(name);
            f.unlocked([&](qcAcqFifo& q) { q.triggerModel(model); });
          },
          "The trigger model by name: \"Manual\", \"Automatic\", \"Semi-Automatic\", \"Slave\", \"FreeRun\" "
          "(any case; \"auto\" and \"semi\" too).")
      .def_property(
          "trigger_enable", unlocked(+[](qcAcqFifo& q) { return q.triggerEnable(); }),
          unlocked(+[](qcAcqFifo& q, bool on) { q.triggerEnable(on); }), "Whether triggers are taken.")
      .def_property(
          "trigger_low_to_high", unlocked(+[](qcAcqFifo& q) { return prop<qcTriggerProp>(q).triggerLowToHigh(); }),
          unlocked(+[](qcAcqFifo& q, bool on) { prop<qcTriggerProp>(q).triggerLowToHigh(on); }),
          "Polarity of the trigger input: True for a rising edge.")
      .def_property(
          "strobe_enable", unlocked(+[](qcAcqFifo& q) { return prop<qcStrobeProp>(q).strobeEnable(); }),
          unlocked(+[](qcAcqFifo& q, bool on) { prop<qcStrobeProp>(q).strobeEnable(on); }), "Strobe output on or off.")
      .def_property(
          "strobe_pulse_duration", unlocked(+[](qcAcqFifo& q) { return prop<qcStrobeProp>(q).strobePulseDuration(); }),
          unlocked(+[](qcAcqFifo& q, double s) { prop<qcStrobeProp>(q).strobePulseDuration(s); }),
          "Strobe pulse, seconds.")
      .def_property(
          "strobe_high", unlocked(+[](qcAcqFifo& q) { return prop<qcStrobeProp>(q).strobeHigh(); }),
          unlocked(+[](qcAcqFifo& q, bool on) { prop<qcStrobeProp>(q).strobeHigh(on); }),
          "True: the strobe is active high.")
      .def_property(
          "strobe_delay", unlocked(+[](qcAcqFifo& q) { return prop<qcStrobeDelayProp>(q).strobeDelay(); }),
          unlocked(+[](qcAcqFifo& q, double s) { prop<qcStrobeDelayProp>(q).strobeDelay(s); }),
          "Strobe delay, seconds.")
      .def_property_readonly("taps", [](Fifo& f) { return prop<qcContrastBrightnessProp>(f).conBrTaps(); },
                             "Taps of the camera (contrast, brightness and lookup table are per tap).")
      .def(
          "contrast", unlocked(+[](qcAcqFifo& q, long tap) { return prop<qcContrastBrightnessProp>(q).contrastEx(tap); }),
          py::arg("tap") = 0, "The contrast of a tap, 0..1.")
      .def(
          "brightness",
          unlocked(+[](qcAcqFifo& q, long tap) { return prop<qcContrastBrightnessProp>(q).brightnessEx(tap); }),
          py::arg("tap") = 0, "The brightness of a tap, 0..1.")
      .def(
          "set_contrast",
          unlocked(+[](qcAcqFifo& q, double v, long tap) { prop<qcContrastBrightnessProp>(q).setContrastEx(v, tap); }),
          py::arg("value"), py::arg("tap") = -1, "Sets the contrast (0..1) of a tap, or of every tap (-1).")
      .def(
          "set_brightness",
          unlocked(+[](qcAcqFifo& q, double v, long tap) { prop<qcContrastBrightnessProp>(q).setBrightnessEx(v, tap); }),
          py::arg("value"), py::arg("tap") = -1, "Sets the brightness (0..1) of a tap, or of every tap (-1).")
      .def_property_readonly(
          "lut_entries", [](Fifo& f) { return prop<qc8BitInputLutProp>(f).lutEntries(); },
          "Entries of the input lookup table (0: the FIFO has none).")
      .def(
          "input_lut",
          [](Fifo& f, long tap) {
            qc8BitInputLutProp& p = prop<qc8BitInputLutProp>(f);
            const unsigned char* row = p.inputLut8Ex(tap);
            py::array_t<std::uint8_t> out(p.lutEntries());
            std::memcpy(out.mutable_data(), row, static_cast<size_t>(p.lutEntries()));
            return out;
          },
          py::arg("tap") = 0, "A copy of the input lookup table of a tap (uint8 array).")
      .def(
          "set_input_lut",
          [](Fifo& f, py::object table, long tap) {
            if (!py::isinstance<py::array>(table)) table = py::module_::import("numpy").attr("asarray")(table);
            py::array a = py::reinterpret_borrow<py::array>(table);
            if (!a.dtype().is(py::dtype::of<std::uint8_t>()))
              throw py::type_error("a lookup table has dtype uint8, not " + py::str(a.dtype()).cast<std::string>());
            if (a.ndim() != 1) throw py::value_error("a lookup table is 1-D");
            a = py::array::ensure(py::module_::import("numpy").attr("ascontiguousarray")(a));
            const auto* data = static_cast<const unsigned char*>(a.data());
            const long n = static_cast<long>(a.shape(0));
            f.unlocked([&](qcAcqFifo& q) { prop<qc8BitInputLutProp>(q).inputLut8Ex(data, n, tap); });
          },
          py::arg("table"), py::arg("tap") = -1,
          "Sets the input lookup table of a tap (-1: every tap) from a 1-D uint8 array (a shorter "
          "table is stretched).")
      .def_property(
          "hardware_image_pool_size", unlocked(+[](qcAcqFifo& q) { return q.hardwareImagePoolSize(); }),
          unlocked(+[](qcAcqFifo& q, long n) { q.hardwareImagePoolSize(n); }), "Images in the driver's pool.")
      .def_property_readonly("default_hardware_image_pool_size",
                             [](Fifo& f) { return f.get().defaultHardwareImagePoolSize(); },
                             "The driver's default pool size.")
      .def(
          "set_custom",
          [](Fifo& f, const std::string& name, py::object value) {
            qcCustomPropertyBag bag;
            bag.addItem(qcCustomPropertyBag::qeWrite, name, py::str(value).cast<std::string>());
            f.unlocked([&](qcAcqFifo& q) { prop<qcCustomProp>(q).customValues(bag); });
          },
          py::arg("name"), py::arg("value"),
          "Sends one custom write item (name, value; the value as text) to the driver through the "
          "custom property.")
      .def(
          "send_custom",
          [](Fifo& f, std::vector<std::tuple<std::string, std::string, std::string>> items) {
            qcCustomPropertyBag bag;
            for (const auto& [type, name, value] : items) {
              if (type != "write" && type != "command")
                throw py::value_error("a custom item's type is \"write\" or \"command\", not \"" + type + "\"");
              bag.addItem(type == "write" ? qcCustomPropertyBag::qeWrite : qcCustomPropertyBag::qeCommand, name,
                          value);
            }
            f.unlocked([&](qcAcqFifo& q) { prop<qcCustomProp>(q).customValues(bag); });
          },
          py::arg("items"), "Sends a bag of (type, name, value) items, type \"write\" or \"command\".")
      .def_property_readonly(
          "custom_items",
          [](Fifo& f) {
            const qcCustomPropertyBag bag = static_cast<qcCustomProp&>(f.get().properties()).customValues();
            py::list l;
            for (long i = 0; i < bag.getItemCount(); ++i)
              l.append(py::make_tuple(bag.getType(i) == qcCustomPropertyBag::qeWrite ? "write" : "command",
                                      bag.getName(i), bag.getValue(i)));
            return l;
          },
          "The custom property's bag as (type, name, value) items.")
      // ---- what the driver supports
      .def(
          "supported_properties",
          [](Fifo& f) {
            const qcAcqPropertyQuery& q = f.get().propertyQuery();
            std::vector<std::string> v;
#define QRNPY_QUERY_(P) \
  if (static_cast<P*>(q)) v.push_back(#P);
            QC_PROPERTY_QUERY_CLASSES_(QRNPY_QUERY_)
#undef QRNPY_QUERY_
            return v;
          },
          "The property classes the driver supports (the property query): [\"qcTriggerProp\", ...].")
      .def(
          "capabilities",
          [](Fifo& f) {
            const qcAcqFifo& fifo = f.get();
            py::dict d;
            for (const auto& [name, fn] : kCapabilities) d[name] = fn(fifo);
            for (const auto& [name, fn] : kCapabilityValues) d[name] = fn(fifo);
            for (const auto& [name, fn] : kCapabilityLists) {
              const std::vector<long>* v = fn(fifo);
              d[name] = v ? py::cast(*v) : py::none();
            }
            return d;
          },
          "The capability functions' answers from the driver's settings database; sample_x_settings and "
          "sample_y_settings list the valid sample_x and sample_y values (None: the driver gives none).")
      // ---- property sets
      .def(
          "save_properties",
          [](Fifo& f) {
            std::stringstream ss;
            {
              qcArchive ar(ss, qcArchive::store);
              f.get().properties().serialize(ar);
            }
            return py::bytes(ss.str());
          },
          "The FIFO's property set as the library's archive (bytes).")
      .def(
          "restore_properties",
          [](Fifo& f, py::bytes data) {
            std::stringstream ss(static_cast<std::string>(data));
            f.unlocked([&](qcAcqFifo& q) {
              qcArchive ar(ss, qcArchive::load);
              q.properties().serialize(ar);
            });
          },
          py::arg("data"),
          "Loads a property set saved by save_properties: each value reaches the FIFO.  Raises "
          "qrnacq.errors.qcArchive.BadData (or another archive error) for bytes that are not one.")
      // ---- callbacks
      .def_property(
          "on_complete", [](Fifo& f) { return orNone(f.onComplete); },
          [](Fifo& f, py::object fn) { setCallback(f, &Fifo::onComplete, &qcAcqFifo::completeInfoCallback, fn); },
          "A callable(info) run on a driver thread (with the GIL) after each acquisition; None: none.  "
          "Its exceptions go to sys.unraisablehook.")
      .def_property(
          "on_overrun", [](Fifo& f) { return orNone(f.onOverrun); },
          [](Fifo& f, py::object fn) { setCallback(f, &Fifo::onOverrun, &qcAcqFifo::overrunInfoCallback, fn); },
          "A callable(info) run for each frame lost to an overrun; None: none.")
      .def_property(
          "on_move_part", [](Fifo& f) { return orNone(f.onMovePart); },
          [](Fifo& f, py::object fn) { setCallback(f, &Fifo::onMovePart, &qcAcqFifo::movePartInfoCallback, fn); },
          "A callable(info) run when an exposure is over (the part may move); None: none.")
      .def_property(
          "on_light",
          [](Fifo& f) { return orNone(f.onLight); },
          [](Fifo& f, py::object fn) {
            qcLightProp::LightCallback cb =
                pyCallback<const void*>(fn, [](const void* p) { return reinterpret_cast<std::uintptr_t>(p); });
            f.unlocked([&](qcAcqFifo& q) { prop<qcLightProp>(q).lightCallback(std::move(cb)); });
            f.onLight = fn;
          },
          "The light callback: a callable(address) run on a driver thread (with the GIL) for each strobe "
          "pulse or light flash; address is the driver's event record, valid during the call only "
          "(qrnacq.sim.light_event reads the simulated board's); None: none.");
  bindFifoProps(fifoClass);

  py::module_::import("atexit").attr("register")(py::cpp_function([] { Fifo::closeAll(); }));
  pthread_atfork(nullptr, nullptr, [] { Fifo::disownAll(); });
}

}  // namespace qrnpy
