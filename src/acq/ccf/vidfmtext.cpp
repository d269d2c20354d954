// Video format extension records.
#include <qrn/acq/ccf/vidfmtext.h>

#include <algorithm>

#include <qrn/foundation/misc.h>

// ---- qc_VidFormatExtension ----------------------------------------------------

// The newest record goes first, so that get(name) finds the record made
// last under a name: a format read from a camera configuration file with the
// name of a built-in format sees its own records, not the built-in ones.
qc_VidFormatExtension::qc_VidFormatExtension(const std::string& name, List& live) : name_(name), live_(&live) {
  live_->insert(live_->begin(), this);
}

qc_VidFormatExtension::~qc_VidFormatExtension() {
  auto it = std::find(live_->begin(), live_->end(), this);
  if (it != live_->end()) live_->erase(it);
}

qc_VidFormatExtension* qc_VidFormatExtension::get(const std::string& name, const List& list) {
  for (qc_VidFormatExtension* e : list)
    if (e->name_ == name) return e;
  return nullptr;
}

// The live lists are never destroyed: records that die at exit, in whatever
// order, can always take themselves out.
#define QRN_VFX_LIVE_LIST_(Class)                       \
  qc_VidFormatExtension::List& Class::liveList_() {     \
    static List* list = new List;                       \
    return *list;                                       \
  }
QRN_VFX_LIVE_LIST_(qc_VideoExtCIT)
QRN_VFX_LIVE_LIST_(qc_VideoExtCIToptional)
QRN_VFX_LIVE_LIST_(qc_VideoExtCamLink)
QRN_VFX_LIVE_LIST_(qc_VidFmtCameraInfo)
#undef QRN_VFX_LIVE_LIST_

// ---- qc_VideoExtCIT -----------------------------------------------------------

qc_VideoExtCIT::qc_VideoExtCIT(const std::string& name) : qc_VidFormatExtension(name, liveList_()) {
  setUninitialized();
}

qc_VideoExtCIT::~qc_VideoExtCIT() = default;

void qc_VideoExtCIT::setUninitialized() {
#define QRN_SET_(T, f, param, unset, access) f##_ = static_cast<T>(unset);
  QRN_VIDEOEXTCIT_FIELDS(QRN_SET_, QRN_SET_)
#undef QRN_SET_
  stamp_[0] = stamp_[1] = 0;
}

bool qc_VideoExtCIT::integrityCheck() const {
  bool ok = true;
#define QRN_CHECK_(T, f, param, unset, access) ok = ok && f##_ != static_cast<T>(unset);
#define QRN_SKIP_(T, f, param, unset, access)
  QRN_VIDEOEXTCIT_FIELDS(QRN_CHECK_, QRN_SKIP_)
#undef QRN_CHECK_
#undef QRN_SKIP_
  return ok;
}

bool qc_VideoExtCIT::syncIsSeparate() const {
  return horizRef_ == qc_ccfEnums::sigReference_sync_separator ||
         vertReference_ == qc_ccfEnums::sigReference_sync_separator;
}

qc_SyncModel::PixelClockSource qc_VideoExtCIT::pClkSourceConvert() const {
  switch (pClkSource_) {
    case qc_ccfEnums::pclkSource_oscillator: return qc_SyncModel::pixelClockInternal;
    case qc_ccfEnums::pclkSource_pll: return qc_SyncModel::pixelClockPLL;
    case qc_ccfEnums::pclkSource_external: return qc_SyncModel::pixelClockExternal;
    default:
      qstd_assert_(__FILE__, __LINE__, "pClkSource out of range");
      return qc_SyncModel::pixelClockInternal;
  }
}

// ---- qc_VideoExtCIToptional ---------------------------------------------------

qc_VideoExtCIToptional::qc_VideoExtCIToptional(const std::string& name)
    : qc_VidFormatExtension(name, liveList_()) {
  setDefaults();
  setUninitialized();
}

qc_VideoExtCIToptional::~qc_VideoExtCIToptional() = default;

#define QRN_SET_(T, f, param, value) f##_ = static_cast<T>(value);
#define QRN_SKIP_(T, f, param, value)
void qc_VideoExtCIToptional::setDefaults() { QRN_VIDEOEXTCITOPT_FIELDS(QRN_SKIP_, QRN_SET_) }
void qc_VideoExtCIToptional::setUninitialized() { QRN_VIDEOEXTCITOPT_FIELDS(QRN_SET_, QRN_SKIP_) }
#undef QRN_SET_
#undef QRN_SKIP_

bool qc_VideoExtCIToptional::integrityCheck(const qc_VideoExtCIT& cit) const {
  using E = qc_ccfEnums;
  bool ok = true;
  if (cit.vidInterface() != E::vidInterface_analog && vidInputWidth_ == -1) ok = false;
  if (hdDir_ != E::direction_unused && hdPolarity_ == E::polarity_unset) ok = false;
  if (hdDir_ == E::direction_in && (hLockPos_ == -1 || horRefType_ == E::refType_unset)) ok = false;
  if (vdDir_ != E::direction_unused && vdPolarity_ == E::polarity_unset) ok = false;
  if (vdDir_ == E::direction_in && (vLockPos_ == -1.0 || vertRefType_ == E::refType_unset)) ok = false;
  if (ctrl1Dir_ != E::direction_unused && (ctrl1Interface_ == E::interface_unset || ctrl1Polarity_ == E::polarity_unset))
    ok = false;
  if (ctrl2Dir_ != E::direction_unused && (ctrl2Interface_ == E::interface_unset || ctrl2Polarity_ == E::polarity_unset))
    ok = false;
  if (cit.numTaps() == 2 && tapInterleave_ == E::tapInterleave_unset) ok = false;
  if (pClkDir_ == E::direction_unset && pClkInterface_ == E::interface_unset) ok = false;
  if (cit.shutterMode() != E::shutterMode_none &&
      (shtrMinExp_ == -1.0 || shtrMaxExp_ == -1.0 || shtrGranularity_ == E::shutterGranularity_unset ||
       shutterLine_ == E::shutterLine_unset || (rapidReset_ && rapidResetMinPos_ == kUnsetLong)))
    ok = false;
  if (cit.numFields() != 1 && ctiEndField1_ == -1.0) ok = false;
  return ok;
}

// ---- qc_VideoExtCamLink -------------------------------------------------------

qc_VideoExtCamLink::qc_VideoExtCamLink(const std::string& name) : qc_VidFormatExtension(name, liveList_()) {}
qc_VideoExtCamLink::~qc_VideoExtCamLink() = default;

// ---- qc_VidFmtCameraInfo ------------------------------------------------------

qc_VidFmtCameraInfo::qc_VidFmtCameraInfo(const std::string& name, bool parse)
    : qc_VidFormatExtension(name, liveList_()) {
  if (parse) parseName();
}

qc_VidFmtCameraInfo::~qc_VidFmtCameraInfo() = default;

void qc_VidFmtCameraInfo::parseName() {
  static const char kSeparators[] = " \t;";
  const std::string& s = name();
  const std::size_t p = s.find_first_of(kSeparators);
  if (p == std::string::npos) return;
  cameraManufacturer_ = s.substr(0, p);

  const std::size_t open = s.find('(');
  if (open != std::string::npos) {
    // The closing parenthesis is looked for after the opening one: a ")"
    // that comes first does not close anything.
    const std::size_t close = s.find(')', open + 1);
    if (close != std::string::npos) videoFormatOptions_ = s.substr(open + 1, close - open - 1);
  }
  const std::size_t end = open == std::string::npos ? s.size() : open;

  std::string* const words[] = {&cameraModel_, &videoFormatResolution_, &videoFormatDriveType_};
  std::size_t pos = p;
  for (std::string* word : words) {
    const std::size_t start = s.find_first_not_of(kSeparators, pos);
    if (start == std::string::npos || start >= end) break;
    const std::size_t stop = s.find_first_of(kSeparators, start);
    const std::size_t len = (stop == std::string::npos ? s.size() : stop) - start;
    *word = s.substr(start, len);
    pos = start + len;
  }
}
