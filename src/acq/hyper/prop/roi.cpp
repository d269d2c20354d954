#include <qrn/acq/hyper/prop/roi.h>

#include <climits>

QC_IMPLEMENT_PERSISTENT(qcRoiProp);
QC_REGISTER_PERSISTENT(qcRoiProp::BadParams);
QC_REGISTER_PERSISTENT(qcRoiProp::NoFrameGrabber);

qcRoiProp::qcRoiProp(const qcPelRect& r) { roi(r); }

qcRoiProp& qcRoiProp::operator=(const qcRoiProp& src) {
  roi(src.roi_);
  mode_ = src.mode_;
  return *this;
}

void qcRoiProp::roi(const qcPelRect& r) {
  require_(r.x() >= 0 && r.y() >= 0 && r.width() >= 0 && r.height() >= 0, "negative region of interest");
  // The right and bottom edges must be representable (drivers compute them).
  require_(r.width() <= LONG_MAX - r.x() && r.height() <= LONG_MAX - r.y(),
           "region of interest edge beyond the largest coordinate");
  hookSet_(roi_, r, [&](qc_AcqFifo& f) { f.roi(r); });
}

qcPelRect qcRoiProp::actualRoi() const {
  if (!fifo_) throw NoFrameGrabber();
  return fifo_->actualRoi();
}

void qcRoiProp::roiMode(Mode m) {
  require_(isModeSupported(m));
  mode_ = m;
  if (fifo_) fifo_->roiMode(m);
}

bool qcRoiProp::isModeSupported(Mode m) const {
  if (!fifo_) return m == qeRoiMode_Default;
  return fifo_->isRoiModeSupported(m);
}

void qcRoiProp::serialize_(qcArchive& ar, unsigned char version) {
  qcPelRect r = roi_;
  long mode = mode_;
  ar || r;
  if (version >= 1) ar || mode;
  if (ar.isLoading()) {
    roi(r);
    if (version >= 1) mode_ = static_cast<Mode>(mode);
  }
}
