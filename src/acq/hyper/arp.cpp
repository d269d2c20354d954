// Acquisition request packets.
#include <qrn/acq/hyper/arp.h>

#include <algorithm>

#include <qrn/acq/hyper/syncmodel.h>
#include <qrn/foundation/misc.h>

void qfRelease(qc_PelRoot* root) {
  if (!root) return;
  const qcRepBase* base = root;
  if (base->release_()) delete root;
}

// ---- snapshot -----------------------------------------------------------------

qc_Properties::qc_Properties(const qc_Properties& o)
    : qc_PropertyValues(o), hasChanged(o.hasChanged.load()), isSinglePropertyChange(o.isSinglePropertyChange.load()) {}

qc_Properties& qc_Properties::operator=(const qc_Properties& o) {
  if (this != &o) {
    qc_PropertyValues::operator=(o);
    hasChanged = o.hasChanged.load();
    isSinglePropertyChange = o.isSinglePropertyChange.load();
  }
  return *this;
}

// ---- packet -------------------------------------------------------------------

qc_Arp::qc_Arp() = default;

qc_Arp::~qc_Arp() {
  qstd_assert(image_ == nullptr);
  qstd_assert(ppImage_ == nullptr);
  qstd_assert(!imageXform_);
  // Give back whatever the driver left, so that nothing leaks and the
  // snapshot's count stays right.
  release();
}

void qc_Arp::properties(qc_Properties* snapshot) {
  if (snapshot == props_) return;
  if (snapshot) qfInterlockedIncrement(&snapshot->refCount);
  if (props_) {
    long n = qfInterlockedDecrement(&props_->refCount);
    qstd_assert(n >= 0);
  }
  props_ = snapshot;
}

const qc_Properties& qc_Arp::properties() const {
  static const qc_Properties defaults;
  qstd_assert(props_ != nullptr);
  return props_ ? *props_ : defaults;
}

double qc_Arp::tapContrast(long tap) const {
  bool ok = tap >= 0 && tap < qc_Properties::kTaps;
  qstd_assert(ok);
  return properties().contrast[ok ? tap : 0];
}

double qc_Arp::tapBrightness(long tap) const {
  bool ok = tap >= 0 && tap < qc_Properties::kTaps;
  qstd_assert(ok);
  return properties().brightness[ok ? tap : 0];
}

const qcSyncModel& qc_Arp::syncModel() const {
  const qcSyncModel* m = properties().syncModel;
  qstd_assert(m != nullptr);
  return m ? *m : qc_SyncModel::defaultModel();
}

bool qc_Arp::resetHasChanged() {
  if (props_) props_->hasChanged = false;
  else qstd_assert(props_ != nullptr);
  return false;
}

void qc_Arp::image(qc_PelRoot* root, const qcPelRect& rect) {
  if (root) static_cast<const qcRepBase*>(root)->addRef_();
  qfRelease(std::exchange(image_, root));
  if (!props_) {
    qstd_assert(props_ != nullptr);
    completedRoi_ = rect;
    return;
  }
  const qcPelRect& roi = props_->roi;
  long x0 = std::max(rect.x(), roi.x()), y0 = std::max(rect.y(), roi.y());
  long x1 = std::min(rect.x1(), roi.x1()), y1 = std::min(rect.y1(), roi.y1());
  completedRoi_ = qcPelRect(x0, y0, std::max(0L, x1 - x0), std::max(0L, y1 - y0));
}

qc_PelRoot* qc_Arp::extractImage() { return std::exchange(image_, nullptr); }

void qc_Arp::ppImage(qc_PelPackage* p) {
  if (p == ppImage_) return;
  delete std::exchange(ppImage_, p);
}

void qc_Arp::release() {
  qfRelease(extractImage());
  delete std::exchange(ppImage_, nullptr);
  if (props_) {
    long n = qfInterlockedDecrement(&props_->refCount);
    qstd_assert(n >= 0);
    props_ = nullptr;
    needsExplicitOffsetAdjustment_ = false;
    imageXform_.reset();
  }
}
