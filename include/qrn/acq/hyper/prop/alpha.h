// Alpha byte of 32-bit colour pixels acquired by a FIFO.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <qrn/acq/hyper/prop/propbase.h>

// The enable (default off), the source of the alpha byte (default 9; other
// values are the driver's) and the constant alpha byte (default 0).  Hook
// first: the FIFO's alphaEnable, alphaSource and alphaByte hear each value
// first.  Archive version 1: enable, source, byte; version 0 (still read):
// source and byte, the enable becomes false.
class qcAlphaColorProp : public qc_PersistentProp<qcAlphaColorProp> {
public:
  // The source of the alpha byte (qe_AlphaSource, 32 bits): the framework
  // names only the default; other values are the driver's and pass unchanged.
  using qeAlphaSource = qe_AlphaSource;
  using enum qe_AlphaSource;

  // The values of a default-constructed property: off,
  // qeAlphaSource_Default (9), alpha byte 0.
  static constexpr bool defaultAlphaEnable = false;
  static constexpr qeAlphaSource defaultAlphaSource = qeAlphaSource_Default;
  static constexpr unsigned char defaultAlphaByte = 0;

  // A free property holding the defaults.
  qcAlphaColorProp() = default;
  // A free property holding the values as given (not checked).
  qcAlphaColorProp(bool enable, qeAlphaSource source, unsigned char byte);
  // A copy holds src's values and is free.
  qcAlphaColorProp(const qcAlphaColorProp&) = default;
  // Through the setters: enable, source, byte.  The target keeps its
  // association; a FIFO exception stops the assignment where it occurs.
  qcAlphaColorProp& operator=(const qcAlphaColorProp& src);

  // Whether the FIFO sets the alpha byte of 32-bit colour pixels, its
  // source, and the constant alpha byte (0..255).  A setter stores any value
  // after an associated FIFO has heard it; a FIFO exception passes and leaves
  // the value unchanged.
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

QRN_API_END
