// Input lookup tables of 8-bit entries: the property and the drivers' table.
#include <qrn/acq/hyper/prop/ilut8.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

QC_IMPLEMENT_PERSISTENT(qc8BitInputLutProp);
QC_REGISTER_PERSISTENT(qc8BitInputLutProp::BadParams);

// ---- the static tables --------------------------------------------------------
namespace {

constexpr unsigned char defaultEntry(int i) { return static_cast<unsigned char>(std::clamp(i, 15, 240)); }
constexpr unsigned char positiveEntry(int i) { return static_cast<unsigned char>(i); }
constexpr unsigned char shiftedEntry(int i) { return static_cast<unsigned char>(std::min(i + 15, 240)); }

}  // namespace

// 256 constant entries f(0) .. f(255), built at compile time.
#define QRN_LUT16(f, b)                                                                                   \
  f(b + 0), f(b + 1), f(b + 2), f(b + 3), f(b + 4), f(b + 5), f(b + 6), f(b + 7), f(b + 8), f(b + 9), \
      f(b + 10), f(b + 11), f(b + 12), f(b + 13), f(b + 14), f(b + 15)
#define QRN_LUT256(f)                                                                                    \
  QRN_LUT16(f, 0), QRN_LUT16(f, 16), QRN_LUT16(f, 32), QRN_LUT16(f, 48), QRN_LUT16(f, 64), QRN_LUT16(f, 80), \
      QRN_LUT16(f, 96), QRN_LUT16(f, 112), QRN_LUT16(f, 128), QRN_LUT16(f, 144), QRN_LUT16(f, 160),         \
      QRN_LUT16(f, 176), QRN_LUT16(f, 192), QRN_LUT16(f, 208), QRN_LUT16(f, 224), QRN_LUT16(f, 240)

const unsigned char qc8BitInputLutProp::default8BitInputLut[256] = {QRN_LUT256(defaultEntry)};
const unsigned char qc8BitInputLutProp::positive8BitLut[256] = {QRN_LUT256(positiveEntry)};
const unsigned char qc8BitInputLutProp::shifted8BitLut[256] = {QRN_LUT256(shiftedEntry)};

#undef QRN_LUT256
#undef QRN_LUT16

namespace {

// Fills `entries` bytes from the n bytes of lut (1 <= n <= entries): each
// byte is repeated entries / n times; when n does not divide entries the last
// byte fills the rest.
void stretchLut(unsigned char* dst, long entries, const unsigned char* lut, long n) {
  const long step = entries / n;
  for (long i = 0; i < entries; ++i) dst[i] = lut[std::min(i / step, n - 1)];
}

// The sizes that lutInit accepts: at least one tap, entries 0 or at least 256,
// and a table whose byte count fits in a long.
bool validSizes(long entries, long taps) {
  return taps >= 1 && (entries == 0 || entries >= 256) && entries <= LONG_MAX / taps;
}

// Reads n table bytes.  The count is checked against what the archive holds,
// and an uncounted stream is read in bounded chunks, so a corrupt count fails
// with qcArchive::BadData instead of allocating it.
std::vector<unsigned char> readTableBytes(qcArchive& ar, unsigned long n) {
  if (n > ar.remaining_()) throw qcArchive::BadData("truncated input lookup table");
  constexpr unsigned long kChunk = 1ul << 16;
  std::vector<unsigned char> bytes;
  while (bytes.size() < n) {
    const std::size_t old = bytes.size();
    const std::size_t k = std::min<unsigned long>(kChunk, n - old);
    bytes.resize(old + k);
    ar.readBytes_(bytes.data() + old, k);
  }
  return bytes;
}

}  // namespace

// ---- qc8BitInputLutProp ---------------------------------------------------------
qc8BitInputLutProp::qc8BitInputLutProp() = default;

qc8BitInputLutProp::qc8BitInputLutProp(const unsigned char* table) {
  lutInit(256, 1);
  inputLut8Ex(table, 256, -1);
}

qc8BitInputLutProp::qc8BitInputLutProp(const unsigned char* tap0, const unsigned char* tap1) {
  lutInit(256, 2);
  inputLut8Ex(tap0, 256, 0);
  inputLut8Ex(tap1, 256, 1);
}

qc8BitInputLutProp::qc8BitInputLutProp(const qc8BitInputLutProp& src) : qcPersistent(src), qc_PersistentProp(src) {
  src.ensureSized_();
  allocate_(src.entries_, src.taps_);
  if (entries_ > 0) std::memcpy(table_.get(), src.table_.get(), static_cast<std::size_t>(entries_) * taps_);
}

qc8BitInputLutProp::~qc8BitInputLutProp() = default;

qc8BitInputLutProp& qc8BitInputLutProp::operator=(const qc8BitInputLutProp& src) {
  if (&src == this) return *this;
  // An unsized target takes the source's size (as contrast/brightness
  // does): sizing it as one tap would refuse every multi-tap source.
  if (!sized_() && src.lutEntries() > 0) lutInit(src.lutEntries(), src.lutTaps());
  if (lutEntries() == 0) return *this;
  const long srcEntries = src.lutEntries();
  const long srcTaps = src.lutTaps();
  if (srcEntries == 0) return *this;  // no table to copy
  require_(srcEntries <= entries_);
  if (srcTaps == 1) {
    inputLut8Ex(src.row_(0), srcEntries, -1);
    return *this;
  }
  require_(srcEntries == entries_ && srcTaps == taps_);
  for (long t = 0; t < taps_; ++t) inputLut8Ex(src.row_(t), srcEntries, t);
  return *this;
}

void qc8BitInputLutProp::allocate_(long entries, long taps) const {
  std::unique_ptr<unsigned char[]> table;
  if (entries > 0) {
    table = std::make_unique<unsigned char[]>(static_cast<std::size_t>(entries) * taps);
    for (long t = 0; t < taps; ++t)
      stretchLut(table.get() + static_cast<std::size_t>(t) * entries, entries, default8BitInputLut, 256);
  }
  table_ = std::move(table);
  entries_ = entries;
  taps_ = taps;
}

void qc8BitInputLutProp::ensureSized_() const {
  if (!sized_()) allocate_(256, 1);
}

void qc8BitInputLutProp::lutInit(long entries, long taps) {
  if (sized_()) return;
  require_(validSizes(entries, taps));
  allocate_(entries, taps);
}

long qc8BitInputLutProp::lutEntries() const {
  ensureSized_();
  return entries_;
}

long qc8BitInputLutProp::lutTaps() const {
  ensureSized_();
  return taps_;
}

void qc8BitInputLutProp::setTap_(const unsigned char* lut, long n, long tap, unsigned char* scratch) {
  stretchLut(scratch, entries_, lut, n);
  if (fifo_) fifo_->setLut(scratch, entries_, tap);
  std::memcpy(row_(tap), scratch, static_cast<std::size_t>(entries_));
}

void qc8BitInputLutProp::inputLut8Ex(const unsigned char* lut, long n, long tap) {
  ensureSized_();
  require_(entries_ != 0 && lut != nullptr && n >= 1 && n <= entries_ && tap >= -1 && tap < taps_);
  std::vector<unsigned char> scratch(static_cast<std::size_t>(entries_));
  if (tap != -1) {
    setTap_(lut, n, tap, scratch.data());
    return;
  }
  for (long t = 0; t < taps_; ++t) setTap_(lut, n, t, scratch.data());
}

const unsigned char* qc8BitInputLutProp::inputLut8Ex(long tap) const {
  ensureSized_();
  require_(entries_ != 0 && tap >= 0 && tap < taps_);
  return row_(tap);
}

void qc8BitInputLutProp::inputLut(const unsigned char* lut) {
  try {
    inputLut8Ex(lut, 256, -1);
  } catch (const BadParams&) {
  }
}

void qc8BitInputLutProp::inputLut(const unsigned char* lut, LutChannel c) {
  try {
    inputLut8Ex(lut, 256, c);
  } catch (const BadParams&) {
  }
}

const unsigned char* qc8BitInputLutProp::inputLut(LutChannel c) const {
  try {
    return inputLut8Ex(c);
  } catch (const BadParams&) {
    return default8BitInputLut;
  }
}

bool qc8BitInputLutProp::isSupported(LutChannel c) const { return c >= 0 && c < lutTaps(); }

void qc8BitInputLutProp::fifo(qc_AcqFifo& f) {
  const long entries = f.lutEntries();
  const long taps = f.numTaps();
  if (!sized_()) {
    lutInit(entries, taps);
  } else if (entries != entries_ || taps != taps_) {
    qstd_assert_(sourceFile_, __LINE__, "input LUT sized otherwise before association");
    require_(validSizes(entries, taps));
    allocate_(entries, taps);
  }
  qc_Prop::fifo(f);
}

// Archive, newest version 2:
//   0: 256 bytes, one table for every tap;
//   1: 256 bytes A, 256 bytes B: equal, one tap; else two taps, A tap 1, B tap 0;
//   2: long entries, long taps, entries x taps bytes (tap 0 first), loaded
//      straight into the table without a FIFO call.
void qc8BitInputLutProp::serialize_(qcArchive& ar, unsigned char version) {
  if (ar.isStoring()) {
    ensureSized_();
    ar << entries_ << taps_;
    if (entries_ > 0) ar.writeBytes_(table_.get(), static_cast<std::size_t>(entries_) * taps_);
    return;
  }
  switch (version) {
    case 0: {
      const std::vector<unsigned char> table = readTableBytes(ar, 256);
      lutInit(256, 1);
      inputLut8Ex(table.data(), 256, -1);
      break;
    }
    case 1: {
      const std::vector<unsigned char> a = readTableBytes(ar, 256);
      const std::vector<unsigned char> b = readTableBytes(ar, 256);
      if (a == b) {
        lutInit(256, 1);
        inputLut8Ex(a.data(), 256, -1);
      } else {
        lutInit(256, 2);
        inputLut8Ex(a.data(), 256, 1);
        inputLut8Ex(b.data(), 256, 0);
      }
      break;
    }
    default: {
      long entries = 0;
      long taps = 0;
      ar >> entries >> taps;
      // Everything is checked and read before the property changes.
      require_(validSizes(entries, taps));
      require_(!sized_() || (entries == entries_ && taps == taps_));
      const std::vector<unsigned char> table = readTableBytes(ar, static_cast<unsigned long>(entries * taps));
      lutInit(entries, taps);
      if (entries > 0) std::memcpy(table_.get(), table.data(), table.size());
      break;
    }
  }
}

// ---- qc_Lut ---------------------------------------------------------------------
qc_Lut::qc_Lut(long entries, long taps) {
  if (entries < 0 || taps < 0) {
    qstd_assert_("acq/hyper/prop/ilut8", __LINE__, "negative qc_Lut size");
    entries = std::max(entries, 0L);
    taps = std::max(taps, 0L);
  }
  std::size_t bytes = 0;
  if (__builtin_mul_overflow(static_cast<std::size_t>(entries), static_cast<std::size_t>(taps), &bytes))
    throw std::bad_array_new_length();
  table_ = std::make_unique<unsigned char[]>(bytes);
  entries_ = entries;
  taps_ = taps;
}

qc_Lut::qc_Lut(const qc_Lut& src)
    : entries_(src.entries_),
      taps_(src.taps_),
      table_(std::make_unique<unsigned char[]>(static_cast<std::size_t>(src.entries_) * src.taps_)) {
  std::memcpy(table_.get(), src.table_.get(), static_cast<std::size_t>(entries_) * taps_);
}

qc_Lut& qc_Lut::operator=(const qc_Lut& src) {
  if (this != &src) {
    qc_Lut copy(src);
    std::swap(entries_, copy.entries_);
    std::swap(taps_, copy.taps_);
    std::swap(table_, copy.table_);
  }
  return *this;
}

qc_Lut::~qc_Lut() = default;

void qc_Lut::setLut8(const unsigned char* lut, long n, long tap) {
  if (lut == nullptr || n != entries_ || tap < 0 || tap >= taps_) {
    qstd_assert_("acq/hyper/prop/ilut8", __LINE__, "qc_Lut::setLut8 out of range");
    return;
  }
  std::memcpy(table_.get() + static_cast<std::size_t>(tap) * entries_, lut, static_cast<std::size_t>(n));
}

const unsigned char* qc_Lut::getLut8(long tap) const {
  if (tap < 0 || tap >= taps_) {
    qstd_assert_("acq/hyper/prop/ilut8", __LINE__, "qc_Lut::getLut8 out of range");
    return nullptr;
  }
  return table_.get() + static_cast<std::size_t>(tap) * entries_;
}
