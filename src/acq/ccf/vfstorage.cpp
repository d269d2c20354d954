// Video formats made from camera configurations: loading the extension
// records from a store, the format storages, and createVideoFormat().
#include <qrn/acq/ccf/vfstorage.h>

#include <map>

#include <qrn/acq/ccf/camcfgstore.h>
#include <qrn/foundation/thread.h>

// ---- loading the records ----------------------------------------------------------

void qc_VideoExtCIT::load(const qc_camCfgStore& store) {
  setUninitialized();
#define QRN_LOAD_(T, f, param, ...) store.getParam(param, f##_);
  QRN_VIDEOEXTCIT_FIELDS(QRN_LOAD_, QRN_LOAD_)
}

void qc_VideoExtCIToptional::load(const qc_camCfgStore& store) {
  setUninitialized();
  QRN_VIDEOEXTCITOPT_FIELDS(QRN_LOAD_, QRN_LOAD_)
#undef QRN_LOAD_
}

void qc_VideoExtCamLink::load(const qc_camCfgStore& store) {
  vfAlias_.clear();
  store.getParam(88, vfAlias_);
}

void qc_VidFmtCameraInfo::load(const qc_camCfgStore& store) {
  store.getParam(76, aliasVideoFormatName_);
  store.getParam(71, cameraManufacturer_);
  store.getParam(72, cameraModel_);
  store.getParam(73, videoFormatResolution_);
  store.getParam(74, videoFormatDriveType_);
  store.getParam(75, videoFormatOptions_);
  formatIsFromCCF_ = true;
}

// ---- storages ------------------------------------------------------------------------

qc_vfStorage::qc_vfStorage(const std::string& name)
    : name_(name), base_{name_.c_str(), -1, -1, -1, false, false, true, false} {}

qc_vfStorage::~qc_vfStorage() = default;

qc_VideoExtCIT& qc_vfStorage::cit() {
  if (!cit_) cit_ = std::make_unique<qc_VideoExtCIT>(name_);
  return *cit_;
}

qc_VideoExtCIToptional& qc_vfStorage::citOptional() {
  if (!citOpt_) citOpt_ = std::make_unique<qc_VideoExtCIToptional>(name_);
  return *citOpt_;
}

qc_VidFmtCameraInfo& qc_vfStorage::cameraInfo() {
  if (!camInfo_) camInfo_ = std::make_unique<qc_VidFmtCameraInfo>(name_, true);
  return *camInfo_;
}

qc_VideoExtCamLink& qc_vfStorage::camLink() {
  if (!camLink_) camLink_ = std::make_unique<qc_VideoExtCamLink>(name_);
  return *camLink_;
}

const qcStdVideoFormat& qc_vfStorage::registerFormat() {
  if (!internal_) internal_ = std::make_unique<qc_VideoFormat>(base_, qe_pelType_unspecified);
  if (!format_) format_ = std::make_unique<qcStdVideoFormat>(*internal_);
  return *format_;
}

namespace {

std::map<std::string, qcPtrHandle<qc_vfStorage>>& storages() {
  static std::map<std::string, qcPtrHandle<qc_vfStorage>> map;
  return map;
}

}  // namespace

qcPtrHandle<qc_vfStorage> qc_vfStorage::find(const std::string& name) {
  auto it = storages().find(name);
  return it == storages().end() ? qcPtrHandle<qc_vfStorage>() : it->second;
}

void qc_vfStorage::put(const qcPtrHandle<qc_vfStorage>& storage) {
  auto& map = storages();
  // The earlier storage goes first, so its records and format are gone
  // before the new ones are built.
  map.erase(storage->name());
  map[storage->name()] = storage;
}

// ---- createVideoFormat ----------------------------------------------------------------

bool qc_camCfgStore::createVideoFormat() const {
  std::string name;
  if (!getParam(0, name) || name.empty()) return false;

  qcLock lock(qcMutex::global());
  qcPtrHandle<qc_vfStorage> st(new qc_vfStorage(name));
  qc_vfStorage::put(st);
  qc_BaseVideoFormat& base = st->base();
  getParam(1, base.width);
  getParam(2, base.height);
  getParam(6, base.depth);
  getParam(40, base.interlaced);

  qc_VidFmtCameraInfo& info = st->cameraInfo();
  info.load(*this);
  if (info.formatIsAlias()) {
    st->registerFormat();
    return true;
  }

  qc_VideoExtCIT& cit = st->cit();
  qc_VideoExtCIToptional& opt = st->citOptional();
  cit.load(*this);
  opt.load(*this);
  if (cit.vidInterface() == qc_ccfEnums::vidInterface_cameralink) {
    st->camLink().load(*this);
    base.isValidForBatch = true;
  } else {
    using E = qc_ccfEnums;
    const bool anyInput = opt.hdDir() == E::direction_in || opt.vdDir() == E::direction_in ||
                          opt.ctrl1Dir() == E::direction_in || opt.ctrl2Dir() == E::direction_in ||
                          opt.pClkDir() == E::direction_in;
    const bool clockFromOutside =
        cit.pClkSource() == E::pclkSource_pll || cit.pClkSource() == E::pclkSource_external;
    base.isValidForBatch = !anyInput && !clockFromOutside;
  }
  st->registerFormat();
  return true;
}
