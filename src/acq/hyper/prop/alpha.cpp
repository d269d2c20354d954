#include <qrn/acq/hyper/prop/alpha.h>

QC_IMPLEMENT_PERSISTENT(qcAlphaColorProp);

qcAlphaColorProp::qcAlphaColorProp(bool enable, qeAlphaSource source, unsigned char byte)
    : alphaEnable_(enable), alphaSource_(source), alphaByte_(byte) {}

qcAlphaColorProp& qcAlphaColorProp::operator=(const qcAlphaColorProp& src) {
  alphaEnable(src.alphaEnable_);
  alphaSource(src.alphaSource_);
  alphaByte(src.alphaByte_);
  return *this;
}

void qcAlphaColorProp::alphaEnable(bool on) {
  hookSet_(alphaEnable_, on, [&](qc_AcqFifo& f) { f.alphaEnable(on); });
}

void qcAlphaColorProp::alphaSource(qeAlphaSource source) {
  hookSet_(alphaSource_, source, [&](qc_AcqFifo& f) { f.alphaSource(source); });
}

void qcAlphaColorProp::alphaByte(unsigned char v) {
  hookSet_(alphaByte_, v, [&](qc_AcqFifo& f) { f.alphaByte(v); });
}

void qcAlphaColorProp::serialize_(qcArchive& ar, unsigned char version) {
  bool enable = alphaEnable_;
  unsigned long source = static_cast<unsigned long>(static_cast<std::uint32_t>(alphaSource_));
  unsigned char byte = alphaByte_;
  if (version >= 1) ar || enable;
  ar || source || byte;
  if (ar.isLoading()) {
    alphaEnable(version >= 1 ? enable : false);
    alphaSource(static_cast<qeAlphaSource>(static_cast<std::uint32_t>(source)));
    alphaByte(byte);
  }
}
