// Helpers of the format tests: access to the private setters of the
// extension records, a format built like a configuration-file format, and a
// frame grabber whose driver answers from a set of names and records what it
// was asked.
#pragma once

#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <qrn/acq/ccf/vidfmtext.h>
#include <qrn/acq/format/vidfmt.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/foundation/board.h>

struct qc_VidFmtExtAccess_ {
#define QRN_CIT_SET_(T, f, param, unset, access) \
  static void f(qc_VideoExtCIT& r, T v) { r.f(v); }
  QRN_VIDEOEXTCIT_FIELDS(QRN_CIT_SET_, QRN_CIT_SET_)
#undef QRN_CIT_SET_
#define QRN_OPT_SET_(T, f, param, value) \
  static void f(qc_VideoExtCIToptional& r, T v) { r.f(v); }
  QRN_VIDEOEXTCITOPT_FIELDS(QRN_OPT_SET_, QRN_OPT_SET_)
#undef QRN_OPT_SET_
};
using Set = qc_VidFmtExtAccess_;

// A format with an allocated base record, as the configuration-file reader
// makes them.  Extension records must exist before it is built.
class TestFormat {
public:
  explicit TestFormat(const std::string& name, long width = 100, long height = 50, bool addToFullList = true,
                      qe_pelType pel = qe_pelType_unspecified) {
    char* n = new char[name.size() + 1];
    name.copy(n, name.size());
    n[name.size()] = '\0';
    auto* base = new qc_BaseVideoFormat{n, width, height, 8, false, false, addToFullList, true};
    internal_ = std::make_unique<qc_VideoFormat>(*base, pel);
    format_ = std::make_unique<qcStdVideoFormat>(*internal_);
  }
  ~TestFormat() {
    format_.reset();
    internal_->destroyBase();
  }
  const qcStdVideoFormat& fmt() const { return *format_; }
  const qc_VideoFormat& internal() const { return *internal_; }

private:
  std::unique_ptr<qc_VideoFormat> internal_;
  std::unique_ptr<qcStdVideoFormat> format_;
};

// Driver of the fake grabber: supports the formats whose (internal) names are
// in `supported`, for the image types in `types` (internal numbering).
class FakeDriver : public qc_FrameGrabber {
public:
  long numChannels() const override { return 1; }
  using qc_FrameGrabber::isSupported;
  bool isSupported(const qc_VideoFormat& f, long imageType) const override {
    asked.emplace_back(f.name(), imageType);
    return supported.count(f.name()) && types.count(imageType);
  }
  bool isSupportedForLegacy(const qc_VideoFormat& f) const override {
    asked.emplace_back(f.name(), -100);
    return legacy.count(f.name()) > 0;
  }

  std::set<std::string> supported;
  std::set<long> types{0};
  std::set<std::string> legacy;
  mutable std::vector<std::pair<std::string, long>> asked;
};

// A board that is a frame grabber, not entered in the board list.  The
// registry file is pointed at a path that does not exist, so the board's
// configuration lets every format through.
class FakeGrabber : public qcBoard, public qcFrameGrabber {
public:
  FakeGrabber() { ::setenv("QUORIN_REGISTRY_FILE", "/nonexistent/qrn-fmt-test/registry.reg", 1); }
  std::string name() const override { return "fakefmt0"; }
  long bdIdx() const override { return 4711; }
  FakeDriver& driver() { return driver_; }

protected:
  qc_FrameGrabber* createInternal() override { return &driver_; }

private:
  FakeDriver driver_;
};
