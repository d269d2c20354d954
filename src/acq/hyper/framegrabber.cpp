#include <qrn/acq/hyper/framegrabber.h>

#include <cstdio>

#include <qrn/foundation/board.h>
#include <qrn/foundation/misc.h>
#include <qrn/foundation/thread.h>

#include <qrn/acq/format/hwconfig.h>
#include <qrn/acq/registry/regvalue.h>

namespace {

// The per-board registry gate: "limitFmt" (32-bit, default 0) under
// "SOFTWARE\\Quorin\\ORB\\utconfig\\board<bdIdx>"; when it reads as nonzero,
// only the format named by "format0" passes (exact comparison; an unreadable
// "format0" lets every format pass).  Then the board's hardware
// configuration decides.
bool boardConfigAllows(const qcBoard& board, const std::string& name) {
  char key[64];
  std::snprintf(key, sizeof key, "SOFTWARE\\Quorin\\ORB\\utconfig\\board%ld", board.bdIdx());
  acRegistryInt32 limit(qe_RegRoot::localMachine, key, "limitFmt", 0, false);
  if (limit.load() && limit.value() != 0) {
    acRegistryString only(qe_RegRoot::localMachine, key, "format0", "", false);
    if (only.load() && only.value() != name) return false;
  }
  return qcHWConfig(const_cast<qcBoard*>(&board)).isFmtSupported(name);
}

}  // namespace

// ---- qc_FrameGrabber defaults ----------------------------------------------------

qc_FrameGrabber::~qc_FrameGrabber() = default;

// Factory slots that the driver does not serve.
#define QRN_UNSERVED_FACTORY(name)                                           \
  qc_AcqFifo* qc_FrameGrabber::name(const qc_VideoFormat&) { throw qcVideoFormat::NotSupported(); }
QRN_UNSERVED_FACTORY(stdGreyAcqFifo)
QRN_UNSERVED_FACTORY(stdGrey16AcqFifo)
QRN_UNSERVED_FACTORY(dualTapGreyAcqFifo)
QRN_UNSERVED_FACTORY(digitalGreyAcqFifo)
QRN_UNSERVED_FACTORY(lineScanGreyAcqFifo)
QRN_UNSERVED_FACTORY(stdRGB16AcqFifo)
QRN_UNSERVED_FACTORY(stdRGB32AcqFifo)
#undef QRN_UNSERVED_FACTORY

qc_AcqFifo* qc_FrameGrabber::newAcqFifo(const qc_VideoFormat&, long) { throw qcVideoFormat::NotSupported(); }

qc_AcqFifo* qc_FrameGrabber::newAcqFifo(const qc_VideoFormat&, const qcBasicFifoTraits&) {
  throw qcVideoFormat::NotSupported();
}

long qc_FrameGrabber::numCameraPort(const qc_VideoFormat&) const { return 0; }

long qc_FrameGrabber::numCameraPort(const qcVideoFormat& fmt) const {
  const qc_VideoFormat& vf = fmt.internal(true);
  return isSupported(vf, -1) ? numCameraPort(vf) : 0;
}

qc_FGDisplay* qc_FrameGrabber::display(const qc_VideoFormat&) { throw qcVideoFormat::NotSupported(); }
void qc_FrameGrabber::prepare() const {}
bool qc_FrameGrabber::initLightBoard() { return false; }
bool qc_FrameGrabber::isSupported(const qc_VideoFormat&) const { return false; }

bool qc_FrameGrabber::isSupported(const qc_VideoFormat& fmt, long imageType) const {
  if (imageType != 0 && imageType != -1) return false;
  return isSupported(fmt);
}

bool qc_FrameGrabber::supportsCCFs() const { return false; }
bool qc_FrameGrabber::isSupportedForLegacy(const qc_VideoFormat&) const { return false; }
long qc_FrameGrabber::readCvmId() const { return -2; }
void qc_FrameGrabber::disconnect(bool) {}
std::string qc_FrameGrabber::getUniqueId() const { return {}; }
void qc_FrameGrabber::optimumMovePartEnable(bool) {}

// ---- qcFrameGrabber -------------------------------------------------------------------

// The driver object and whether it goes with the last grabber that shares it.
struct qcFrameGrabber::Owner_ {
  explicit Owner_(qc_FrameGrabber* p) : driver(p) {}
  ~Owner_() {
    if (deleteAtEnd.load()) delete driver;
  }
  qc_FrameGrabber* const driver;
  std::atomic<bool> deleteAtEnd{false};
};

qcFrameGrabber::qcFrameGrabber(qc_FrameGrabber* internal)
    : internal_(internal), owner_(internal ? std::make_shared<Owner_>(internal) : nullptr) {}

qcFrameGrabber::qcFrameGrabber(const qcFrameGrabber& o)
    : multiProcessAccess_(o.multiProcessAccess()), multiProcessAccessAllowed_(o.multiProcessAccessAllowed()) {
  qcLock lock(qcMutex::global());
  owner_ = o.owner_;
  internal_.store(o.existing_(), std::memory_order_release);
}

qcFrameGrabber& qcFrameGrabber::operator=(const qcFrameGrabber& o) {
  if (this == &o) return *this;
  {
    qcLock lock(qcMutex::global());
    if (multiProcessAccess() && owner_) owner_->deleteAtEnd.store(true);
    owner_ = o.owner_;
    internal_.store(o.existing_(), std::memory_order_release);
  }
  multiProcessAccess_.store(o.multiProcessAccess(), std::memory_order_relaxed);
  multiProcessAccessAllowed_.store(o.multiProcessAccessAllowed(), std::memory_order_relaxed);
  return *this;
}

qcFrameGrabber::~qcFrameGrabber() {
  if (multiProcessAccess() && owner_) owner_->deleteAtEnd.store(true);
}

bool qcFrameGrabber::isMultiProcessAccessSupported() const { return false; }

long qcFrameGrabber::count() {
  long n = 0;
  const long boards = qcBoard::count();
  for (long i = 0; i < boards; ++i)
    if (dynamic_cast<qcFrameGrabber*>(&qcBoard::get(i))) ++n;
  return n;
}

qcFrameGrabber& qcFrameGrabber::get(long i) {
  if (i >= 0) {
    const long boards = qcBoard::count();
    for (long b = 0; b < boards; ++b) {
      if (auto* fg = dynamic_cast<qcFrameGrabber*>(&qcBoard::get(b)))
        if (i-- == 0) return *fg;
    }
  }
  throw qcBoard::BadParams();
}

qc_FrameGrabber* qcFrameGrabber::internal() {
  qc_FrameGrabber* p = existing_();
  if (!p) {
    qcLock lock(qcMutex::global());
    p = existing_();
    if (!p) {
      p = createInternal();
      if (p) owner_ = std::make_shared<Owner_>(p);
      internal_.store(p, std::memory_order_release);
    }
  }
  qstd_assert(p != nullptr);
  return p;
}

void qcFrameGrabber::noteUse_() {
  if (!multiProcessAccess()) multiProcessAccessAllowed(false);
}

long qcFrameGrabber::numChannels() {
  noteUse_();
  qc_FrameGrabber* d = internal();
  return d ? d->numChannels() : 0;
}

long qcFrameGrabber::numCameraPort(const qcVideoFormat& fmt) {
  noteUse_();
  if (!isFmtAllowed_(fmt)) return 0;
  qc_FrameGrabber* d = internal();
  return d ? d->numCameraPort(fmt) : 0;
}

bool qcFrameGrabber::isSupportedEx(const qcVideoFormat& fmt, qeImageFormat f) {
  noteUse_();
  // An image format outside the table is not supported (the conversion
  // below would turn it into "unspecified", which drivers accept).
  if (f != qeImageFormat_Unspecified && !qf_isImageFormat(f)) return false;
  try {
    qc_FrameGrabber* d = internal();
    if (!d || !isFmtAllowed_(fmt)) return false;
    return d->isSupported(fmt.internal(true), qf_convertToInternalImageType(f));
  } catch (const qcVideoFormat::NotFound&) {
    return false;
  }
}

bool qcFrameGrabber::isSupported(const qcVideoFormat& fmt) {
  return isSupportedEx(fmt, qeImageFormat_Grey8) || isSupportedEx(fmt, qeImageFormat_Raw8);
}

bool qcFrameGrabber::supportsCCFs() {
  noteUse_();
  qc_FrameGrabber* d = internal();
  return d ? d->supportsCCFs() : false;
}

long qcFrameGrabber::cvmId() {
  noteUse_();
  qc_FrameGrabber* d = internal();
  return d ? d->readCvmId() : -2;
}

void qcFrameGrabber::disconnect(bool on) {
  noteUse_();
  if (qc_FrameGrabber* d = existing_()) d->disconnect(on);
}

std::string qcFrameGrabber::getUniqueId() {
  noteUse_();
  qc_FrameGrabber* d = internal();
  return d ? d->getUniqueId() : std::string();
}

bool qcFrameGrabber::enableMultiProcessAccess(bool on) {
  if (!isMultiProcessAccessSupported()) return false;
  if (on && !multiProcessAccessAllowed()) return false;
  multiProcessAccess_.store(on, std::memory_order_relaxed);
  return true;
}

bool qcFrameGrabber::isFmtAllowed_(const qcVideoFormat& fmt) {
  const qcBoard* board = dynamic_cast<const qcBoard*>(this);
  qstd_assert(board != nullptr);
  // A grabber that is no board has no per-board configuration to limit it.
  if (!board) return true;
  const char* name = fmt.name();
  return boardConfigAllows(*board, name ? name : "");
}
