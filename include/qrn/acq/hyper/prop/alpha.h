// Alpha byte of 32-bit colour pixels acquired by a FIFO.
#pragma once

#include <qrn/acq/hyper/prop/propbase.h>

// The enable (default off), the source of the alpha byte (default 9; other
// values are the driver's) and the constant alpha byte (default 0).  Hook
// first: the FIFO's alphaEnable, alphaSource and alphaByte hear each value
// first.  Archive version 1: enable, source, byte; version 0 (still read):
// source and byte, the enable becomes false.
class qcAlphaColorProp : public qc_PersistentProp<qcAlphaColorProp> {
public:
  using qeAlphaSource = qe_AlphaSource;
  using enum qe_AlphaSource;

  static constexpr bool defaultAlphaEnable = false;
  static constexpr qeAlphaSource defaultAlphaSource = qeAlphaSource_Default;
  static constexpr unsigned char defaultAlphaByte = 0;

  qcAlphaColorProp() = default;
  qcAlphaColorProp(bool enable, qeAlphaSource source, unsigned char byte);
  qcAlphaColorProp(const qcAlphaColorProp&) = default;
  // Through the setters: enable, source, byte.
  qcAlphaColorProp& operator=(const qcAlphaColorProp& src);

  bool alphaEnable() const { return alphaEnable_; }
  void alphaEnable(bool on);
  qeAlphaSource alphaSource() const { return alphaSource_; }
  void alphaSource(qeAlphaSource source);
  unsigned char alphaByte() const { return alphaByte_; }
  void alphaByte(unsigned char v);

private:
  QC_PERSISTENT_PROPERTY(qcAlphaColorProp, "acq/hyper/prop/alpha", 1);
  bool alphaEnable_ = defaultAlphaEnable;
  qeAlphaSource alphaSource_ = defaultAlphaSource;
  unsigned char alphaByte_ = defaultAlphaByte;
};
