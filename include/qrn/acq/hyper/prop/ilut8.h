// Input lookup tables of 8-bit entries, per tap.
//
// A camera with several taps reads its sensor through several channels; each
// tap has its own input lookup table.  qc8BitInputLutProp is the acquisition
// property that holds these tables (entries by taps bytes, row t holding tap
// t) and sends each changed row to the FIFO (qc_AcqFifo::setLut).  qc_Lut is
// the plain table that drivers use to hold such tables.
//
// Lazy sizing: a free property has no table until something needs one; then
// it sizes itself as 256 entries by 1 tap.  Associated with a FIFO, it takes
// the FIFO's lutEntries() by numTaps() (a FIFO with 0 entries has no table,
// and every table operation then throws BadParams).
//
// Threads: no lock; one thread at a time uses the property (the const getters
// may size it).  FIFO operations run on the caller's thread and their
// exceptions pass through unchanged.
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>
#include <memory>

#include <qrn/acq/hyper/prop/propbase.h>

// The 8-bit input lookup table of the digitizer, per tap.
class qc8BitInputLutProp : public qc_PersistentProp<qc8BitInputLutProp> {
public:
  // Sizes, taps or table lengths out of range; a null table.
  QC_EXCEPTION(BadParams, qcException, 0x100009B9);

  // A tap index.  Any value may be passed; the names cover two-tap cameras.
  enum LutChannel : std::int32_t {
    lutChannel0 = 0,  // tap 0
    lutChannel1 = 1,  // tap 1
  };

  // Entry i is i clamped to 15..240.  A newly sized table holds it in every tap.
  static const unsigned char default8BitInputLut[256];
  // The identity: entry i is i.
  static const unsigned char positive8BitLut[256];
  // Entry i is i + 15, at most 240.
  static const unsigned char shifted8BitLut[256];

  // Unsized and free.
  qc8BitInputLutProp();
  // 256 entries by 1 tap holding `table` (256 bytes).
  explicit qc8BitInputLutProp(const unsigned char* table);
  // 256 entries by 2 taps: tap 0 holds `tap0`, tap 1 holds `tap1` (256 bytes
  // each).
  qc8BitInputLutProp(const unsigned char* tap0, const unsigned char* tap1);
  // A deep copy (the source is sized first when it was not); the copy is free.
  qc8BitInputLutProp(const qc8BitInputLutProp& src);
  // Copies src's tables into this one's sizes, keeping this one's
  // association (an associated target sends every row to its FIFO):
  //   - nothing when src is this, this has 0 entries or src has 0 entries;
  //   - src with more entries than this: BadParams;
  //   - src with one tap: its row goes to every tap, stretched to this one's
  //     entries (see inputLut8Ex);
  //   - otherwise entries and taps must be equal (else BadParams) and each tap
  //     is copied.
  qc8BitInputLutProp& operator=(const qc8BitInputLutProp& src);

  // Frees the table; sends nothing to the FIFO.
  ~qc8BitInputLutProp() override;

  // Sizes the property once: nothing when it is already sized.  taps below 1,
  // or entries from 1 to 255 (or negative), throw BadParams.  With entries
  // above 0 the table is made and every tap set to default8BitInputLut
  // (stretched to the entry count).  Nothing is sent to a FIFO.
  void lutInit(long entries, long taps);
  // The table's size (sizing the property as 256 by 1 if needed).
  long lutEntries() const;
  long lutTaps() const;

  // Sets tap `tap` (or every tap, for -1) from the n bytes at lut.  A table
  // shorter than the property is stretched: with step = entries / n, entry i
  // becomes lut[i / step] (each byte repeated step times; when n does not
  // divide entries the last byte fills the rest).  When associated, the FIFO's
  // setLut(row, entries, tap) receives the new row before it is stored, so a
  // FIFO exception leaves the tap unchanged.  BadParams, changing nothing,
  // for: a property with 0 entries, a null lut, n below 1 or above the entry
  // count, tap below -1 or not below the tap count.
  void inputLut8Ex(const unsigned char* lut, long n, long tap);
  // Row `tap` (entries bytes, valid until the property is sized anew or
  // destroyed).  BadParams for 0 entries or a tap outside 0..taps-1.
  const unsigned char* inputLut8Ex(long tap) const;

  // inputLut8Ex(lut, 256, -1) and inputLut8Ex(lut, 256, c), without BadParams:
  // a refused table is ignored.  FIFO exceptions still pass.
  void inputLut(const unsigned char* lut);
  void inputLut(const unsigned char* lut, LutChannel c);
  // inputLut8Ex(c), or default8BitInputLut when that throws BadParams.
  const unsigned char* inputLut(LutChannel c) const;
  // True for a tap the property has (0 to lutTaps() - 1).
  bool isSupported(LutChannel c) const;

  // Associates the property with f and sizes it as f.lutEntries() by
  // f.numTaps() (f's sizes out of range throw BadParams and leave the property
  // free).  The table is not sent to f.  A property that is already sized
  // keeps its table when the sizes agree with f's; when they differ, a debug
  // assertion fires and the property is sized anew to f's sizes with the
  // default table, so that f never receives a tap or length it does not have.
  void fifo(qc_AcqFifo& f);

  // Frees the property, as for every property: the table stays as it is and
  // nothing is sent to the FIFO.
  using qc_Prop<qc8BitInputLutProp>::clearFifoAssociation;

private:
  QC_PERSISTENT_PROPERTY(qc8BitInputLutProp, "acq/hyper/prop/ilut8", 2);

  bool sized_() const { return taps_ != 0; }
  void ensureSized_() const;
  // Sizes without checks (entries 0 or at least 256, taps at least 1).
  void allocate_(long entries, long taps) const;
  void setTap_(const unsigned char* lut, long n, long tap, unsigned char* scratch);
  unsigned char* row_(long tap) const { return table_.get() + static_cast<std::size_t>(tap) * entries_; }

  // The table is built on first use by const getters too, hence mutable.
  mutable long entries_ = 0;  // 0 until sized
  mutable long taps_ = 0;     // 0 until sized
  mutable std::unique_ptr<unsigned char[]> table_;  // entries_ x taps_, tap 0 first
};

// A plain table of entries by taps bytes for drivers.  The bytes start at 0.
// Misuse (a negative size, a row of the wrong length, a tap out of range)
// fires a debug assertion; the call then does nothing (getLut8 returns null).
// A size whose byte count entries * taps overflows throws
// std::bad_array_new_length.
class qc_Lut {
public:
  // A table of entries by taps bytes, all 0.  A negative size fires a debug
  // assertion and counts as 0; std::bad_array_new_length when the byte count
  // overflows, std::bad_alloc when memory runs out.
  qc_Lut(long entries, long taps);
  // A deep copy of src's sizes and bytes.
  qc_Lut(const qc_Lut& src);
  // Replaces this table with a deep copy of src; on an exception (memory)
  // this one is unchanged.
  qc_Lut& operator=(const qc_Lut& src);
  // Frees the bytes.
  ~qc_Lut();

  // The number of entries of each row (bytes per tap) and the number of rows
  // (taps), as constructed.
  long entries() const { return entries_; }
  long taps() const { return taps_; }

  // Copies n bytes into row tap; n must equal entries().
  void setLut8(const unsigned char* lut, long n, long tap);
  // Row tap (entries() bytes).
  const unsigned char* getLut8(long tap) const;

private:
  long entries_ = 0;
  long taps_ = 0;
  std::unique_ptr<unsigned char[]> table_;
};

QRN_API_END
