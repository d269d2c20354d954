// A fake board driver plugin for the loader tests.
#include <qrn/acq/hyper/driver.h>
#include <qrn/foundation/board.h>

#include <memory>

namespace {
struct PluginBoard : qcBoard {
  explicit PluginBoard(long i) : idx(i) {}
  std::string name() const override { return "plugin"; }
  long bdIdx() const override { return idx; }
  long idx;
};
[[maybe_unused]] void registerBoards() {
  qcBoard::add(std::make_unique<PluginBoard>(0));
  qcBoard::add(std::make_unique<PluginBoard>(1));
}
}  // namespace

#if defined(FAKE_DRIVER_KIND_good)
QRN_DRIVER_ENTRY(registerBoards)
#elif defined(FAKE_DRIVER_KIND_badversion)
extern "C" __attribute__((visibility("default"))) int qrn_driver_version() { return qrn_driverAbiVersion + 100; }
extern "C" __attribute__((visibility("default"))) void qrn_driver_register() { registerBoards(); }
#else
extern "C" __attribute__((visibility("default"))) int something_else() { return 0; }
#endif
