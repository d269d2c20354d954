// Video format model: format records, the two name-sorted format lists,
// lookup by name with the first-use hook, alias following, colour and image
// format, and the image type conversions.
#include <qrn/acq/format/vidfmt.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include <qrn/acq/ccf/vidfmtext.h>
#include <qrn/acq/format/vidfmt_internal.h>
#include <qrn/acq/hyper/framegrabber.h>
#include <qrn/foundation/misc.h>
#include <qrn/foundation/thread.h>

QC_REGISTER_PERSISTENT(qcVideoFormat::NotSupported);
QC_REGISTER_PERSISTENT(qcVideoFormat::NotFound);

// ---- image type conversions -------------------------------------------------

namespace {

// Pel type of each public value 1..19 (index = value - 1).
constexpr long kPelOfPublic[19] = {0, 9, 8, 1, 4, 10, 5, 3, 6, 7, 11, 2, 12, 13, 15, 14, 16, 17, 18};

}  // namespace

bool qf_isImageFormat(qeImageFormat fmt) {
  const int v = static_cast<int>(fmt);
  return (v >= 1 && v <= 19) || fmt == qeImageFormat_Grey14;
}

long qf_convertToInternalImageType(qeImageFormat fmt) {
  const int v = static_cast<int>(fmt);
  if (v == -1) return -1;
  if (v >= 1 && v <= 19) return kPelOfPublic[v - 1];
  if (fmt == qeImageFormat_Grey14) return qe_pelType_mono16;  // 14 bits in 16, as the 16-bit grey kinds
  qstd_assert_(__FILE__, __LINE__, "qf_convertToInternalImageType: no such image format");
  return -1;
}

qeImageFormat qf_convertToPublicImageType(long pelType) {
  for (int i = 0; i < 19; ++i)
    if (kPelOfPublic[i] == pelType) return static_cast<qeImageFormat>(i + 1);
  return qeImageFormat_Unspecified;
}

// ---- qc_VideoFormat -------------------------------------------------------------

qc_VideoFormat::qc_VideoFormat(const qc_BaseVideoFormat& base, qe_pelType pelType)
    : base_(&base),
      cit_(qc_VideoExtCIT::get(base.name)),
      citOpt_(qc_VideoExtCIToptional::get(base.name)),
      camInfo_(qc_VidFmtCameraInfo::get(base.name)),
      camLink_(qc_VideoExtCamLink::get(base.name)),
      pelType_(pelType) {}

void qc_VideoFormat::destroyBase() {
  if (!base_) return;
  delete[] base_->name;
  delete base_;
  base_ = nullptr;
}

// ---- the format lists -------------------------------------------------------------

namespace {

// The lists are never destroyed, so formats that die at exit, in whatever
// order, can always take themselves out.
std::vector<const qcVideoFormat*>& fullList_() {
  static auto* list = new std::vector<const qcVideoFormat*>;
  return *list;
}

std::vector<const qcStdVideoFormat*>& stdList_() {
  static auto* list = new std::vector<const qcStdVideoFormat*>;
  return *list;
}

// Walks from the start to the first element whose name is not less than the
// new one: an equal name is replaced, a greater one gets the new format
// before it; otherwise the new format goes at the end.
template <class T>
void enter_(std::vector<const T*>& list, const T* fmt) {
  const char* name = fmt->name();
  for (auto it = list.begin(); it != list.end(); ++it) {
    const int c = std::strcmp((*it)->name(), name);
    if (c == 0) {
      *it = fmt;
      return;
    }
    if (c > 0) {
      list.insert(it, fmt);
      return;
    }
  }
  list.push_back(fmt);
}

template <class T>
void leave_(std::vector<const T*>& list, const T* fmt) {
  auto it = std::find(list.begin(), list.end(), fmt);
  if (it != list.end()) list.erase(it);
}

// ---- first-use hook ---------------------------------------------------------------

std::atomic<bool> ccfRead{false};
std::atomic<qf_CcfScanFn> ccfScan{&qf_CcfForceStdDirRead};

void firstUseHook_() {
  if (ccfRead.load(std::memory_order_acquire)) return;
  qcLock lock(qcMutex::global());
  if (ccfRead.load(std::memory_order_relaxed)) return;
  ccfRead.store(ccfScan.load()(), std::memory_order_release);
}

const char* nonEmpty_(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

}  // namespace

qf_CcfScanFn qf_setCcfScanFunction_(qf_CcfScanFn fn) {
  return ccfScan.exchange(fn ? fn : &qf_CcfForceStdDirRead);
}

void qf_resetCcfReadFlag_() {
  qcLock lock(qcMutex::global());
  ccfRead.store(false);
}

bool qf_ccfReadFlag_() { return ccfRead.load(); }

const qcVideoFormat* qf_getFormat(const std::string& name) {
  for (const qcVideoFormat* f : fullList_())
    if (name == f->name()) return f;
  return nullptr;
}

// ---- qcVideoFormat ----------------------------------------------------------------

qcVideoFormat::qcVideoFormat(const qc_VideoFormat& vf) : internal_(&vf) {
  if (vf.addToFullList()) enter_(fullList_(), static_cast<const qcVideoFormat*>(this));
}

qcVideoFormat::~qcVideoFormat() { leave_(fullList_(), static_cast<const qcVideoFormat*>(this)); }

const char* qcVideoFormat::name() const { return internal_->name(); }
long qcVideoFormat::width() const { return internal_->width(); }
long qcVideoFormat::height() const { return internal_->height(); }
long qcVideoFormat::depth() const { return internal_->depth(); }

#define QRN_CAMINFO_STRING_(f)                          \
  const char* qcVideoFormat::f() const {                \
    const qc_VidFmtCameraInfo* ci = internal_->fmtCamInfo(); \
    return ci ? nonEmpty_(ci->f()) : nullptr;           \
  }
QRN_CAMINFO_STRING_(cameraManufacturer)
QRN_CAMINFO_STRING_(cameraModel)
QRN_CAMINFO_STRING_(videoFormatResolution)
QRN_CAMINFO_STRING_(videoFormatDriveType)
QRN_CAMINFO_STRING_(videoFormatOptions)
#undef QRN_CAMINFO_STRING_

bool qcVideoFormat::formatFromCCF() const {
  const qc_VidFmtCameraInfo* ci = internal_->fmtCamInfo();
  return ci && ci->formatIsFromCCF();
}

const qc_VideoFormat& qcVideoFormat::internal(bool followAlias) const {
  if (followAlias) {
    const qc_VidFmtCameraInfo* ci = internal_->fmtCamInfo();
    if (ci && ci->formatIsAlias()) {
      // A chain that comes back to a format already passed would never end:
      // it names no real format, like an alias to a missing name.
      std::vector<const qcVideoFormat*> seen{this};
      const qcVideoFormat* f = this;
      while (ci && ci->formatIsAlias()) {
        f = &qcStdVideoFormat::getFormat(ci->aliasVideoFormatName());
        if (std::find(seen.begin(), seen.end(), f) != seen.end()) throw NotFound();
        seen.push_back(f);
        ci = f->internal_->fmtCamInfo();
      }
      return *f->internal_;
    }
  }
  return *internal_;
}

bool qcVideoFormat::isSupported(qcFrameGrabber& fg) const { return fg.isSupported(*this); }

bool qcVideoFormat::isSupportedForLegacy(qcFrameGrabber& fg) const {
  qc_FrameGrabber* driver = fg.internal();
  return driver && driver->isSupportedForLegacy(internal(true));
}

qcAcqFifo* qcVideoFormat::newAcqFifo(qcFrameGrabber& fg) const { return newAcqFifoCovar(fg); }

qcGreyAcqFifo* qcGreyVideoFormat::newAcqFifo(qcFrameGrabber& fg) const { return newAcqFifoCovar2(fg); }

const std::vector<const qcVideoFormat*>& qcVideoFormat::fullList() {
  firstUseHook_();
  return fullList_();
}

std::vector<const qcVideoFormat*> qcVideoFormat::filterList(const std::vector<const qcVideoFormat*>& list,
                                                            qcFrameGrabber& fg) {
  std::vector<const qcVideoFormat*> out;
  for (const qcVideoFormat* f : list)
    if (f->isSupported(fg)) out.push_back(f);
  return out;
}

// ---- qcStdVideoFormat -------------------------------------------------------------

qcStdVideoFormat::qcStdVideoFormat(const qc_VideoFormat& vf) : qcStdGreyVideoFormat(vf) {
  if (vf.addToFullList()) enter_(stdList_(), static_cast<const qcStdVideoFormat*>(this));
}

qcStdVideoFormat::~qcStdVideoFormat() { leave_(stdList_(), static_cast<const qcStdVideoFormat*>(this)); }

const qcStdVideoFormat& qcStdVideoFormat::getFormat(const std::string& name) {
  firstUseHook_();
  const qcVideoFormat* f = qf_getFormat(name);
  if (!f) throw qcVideoFormat::NotFound();
  // Every format the library constructs is a qcStdVideoFormat.
  const auto* sf = dynamic_cast<const qcStdVideoFormat*>(f);
  if (!sf) throw qcVideoFormat::NotFound();
  return *sf;
}

bool qcStdVideoFormat::isColor() const {
  const qc_VideoExtCIT* cit = internal(true).fmtCIT();
  return cit && cit->pelType() != qe_pelType_mono && cit->pelType() != qe_pelType_unspecified;
}

qeImageFormat qcStdVideoFormat::imageFormat() const {
  const qc_VideoFormat& vf = internal(true);
  // A timing record without a pel type (a CCF without "peltype") gives
  // none: the format then grabs as one without a record.
  if (const qc_VideoExtCIT* cit = vf.fmtCIT(); cit && cit->pelType() != qe_pelType_unspecified)
    return qf_convertToPublicImageType(cit->pelType());
  if (vf.pelType() != qe_pelType_unspecified) return qf_convertToPublicImageType(vf.pelType());
  return qeImageFormat_Grey8;
}

bool qcStdVideoFormat::isSupportedEx(qcFrameGrabber& fg, qeImageFormat fmt) const {
  return fg.isSupportedEx(*this, fmt);
}

const std::vector<const qcStdVideoFormat*>& qcStdVideoFormat::fullList() {
  firstUseHook_();
  return stdList_();
}

std::vector<const qcStdVideoFormat*> qcStdVideoFormat::filterList(const std::vector<const qcStdVideoFormat*>& list,
                                                                  qcFrameGrabber& fg) {
  std::vector<const qcStdVideoFormat*> out;
  for (const qcStdVideoFormat* f : list)
    if (f->isSupported(fg)) out.push_back(f);
  return out;
}

std::vector<const qcStdVideoFormat*> qcStdVideoFormat::filterListEx(
    const std::vector<const qcStdVideoFormat*>& list, qcFrameGrabber& fg, qeImageFormat fmt) {
  std::vector<const qcStdVideoFormat*> out;
  for (const qcStdVideoFormat* f : list)
    if (f->isSupportedEx(fg, fmt)) out.push_back(f);
  return out;
}
