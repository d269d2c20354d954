// The camera configuration store and its entry classes.
#include <qrn/acq/ccf/camcfgstore.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include <qrn/acq/ccf/ccfparammap.h>
#include <qrn/acq/ccf/ccfreader.h>
#include <qrn/foundation/misc.h>

QC_REGISTER_PERSISTENT(qc_camCfgEntry::BadType);

void qf_ccfAssertIndex_(long index) {
  qstd_assert_(__FILE__, __LINE__, index < 0 ? "negative parameter index" : "element index out of range");
}

// ---- timing specs -------------------------------------------------------------------

void qs_h_timingSpec::doSerialize(qcArchive& ar, bool) { ar || level || position; }
void qs_v_timingSpec::doSerialize(qcArchive& ar, bool) { ar || level || position; }
bool qs_v_timingSpec::operator==(const qs_v_timingSpec& o) const {
  return level == o.level && qfRealEq(position, o.position, 1e-9);
}

namespace {

void readSpec(qc_AcqStringHelper& c, qs_h_timingSpec& s) {
  c.getBool(s.level);
  c.getInt(s.position);
}
void readSpec(qc_AcqStringHelper& c, qs_v_timingSpec& s) {
  c.getBool(s.level);
  c.getDouble(s.position);
}
bool writeSpec(qc_AcqStringHelper& c, const qs_h_timingSpec& s) {
  c.putBool(s.level);
  c.putSeparator();
  return c.putInt(s.position);
}
bool writeSpec(qc_AcqStringHelper& c, const qs_v_timingSpec& s) {
  c.putBool(s.level);
  c.putSeparator();
  return c.putDouble(s.position);
}

// Scalar values in their text forms.
void readValue(qc_AcqStringHelper& c, long& v) { c.getInt(v); }
void readValue(qc_AcqStringHelper& c, double& v) { c.getDouble(v); }
void readValue(qc_AcqStringHelper& c, bool& v) { c.getBool(v); }
void readValue(qc_AcqStringHelper& c, std::string& v) { c.getQuotedString(v); }
bool writeValue(qc_AcqStringHelper& c, long v) { return c.putInt(v); }
bool writeValue(qc_AcqStringHelper& c, double v) { return c.putDouble(v); }
bool writeValue(qc_AcqStringHelper& c, bool v) {
  c.putBool(v);
  return true;
}
bool writeValue(qc_AcqStringHelper& c, const std::string& v) { return c.putQuotedString(v); }

// The characters of a comment that the writer's layout keeps (it may break
// lines and drop the blank at a break).
std::string inked(const std::string& s) {
  std::string r;
  for (char c : s)
    if (c != ' ' && c != '\t' && c != '\n') r += c;
  return r;
}

std::vector<std::string> inkedComments(const qc_ccfFileInfo& info) {
  std::vector<std::string> r;
  for (const auto& [n, text] : info.comments())
    if (std::string s = inked(text); !s.empty()) r.push_back(std::move(s));
  return r;
}

// Whether `text`, as written from `image`, reads back to the same lines (in
// full, none joined, none lost, none added), the same comments and a good
// checksum, and loads without a value error.
bool readsBack(const qc_ccfFileInfo& image, const std::string& text) {
  qc_ccfFileInfo back;
  std::istringstream in(text);
  qc_ccfReader::readStream(in, back, true);
  if (back.stoppedAtLine() != 0 || !back.checkSumOK() || back.numLines() != image.numLines()) return false;
  for (std::size_t i = 0; i < image.numLines(); ++i)
    if (back.line(i) != image.line(i)) return false;
  if (inkedComments(back) != inkedComments(image)) return false;
  try {
    qc_camCfgStore scratch;
    qc_ccfLoader loader(back, &scratch);
    return scratch.parseErrors().empty();
  } catch (const qcException&) {
    return false;
  }
}

}  // namespace

// ---- entries ------------------------------------------------------------------------

void qc_camCfgEntry::setValid(bool ok) {
  if (!ok)
    validity_ = invalid;
  else if (validity_ != invalid)
    validity_ = valid;
}

void qc_camCfgEntry::resetErrors() {
  validity_ = notChecked;
  errors_.clear();
}

template <class T>
bool qc_camCfgList<T>::parseEx(qc_AcqStringHelper& cursor, bool write, long valueIndex) {
  if (write) {
    if (valueIndex < 0 || valueIndex >= numValues()) {
      qf_ccfAssertIndex_(valueIndex);
      return true;
    }
    return writeSpec(cursor, values_[static_cast<std::size_t>(valueIndex)]);
  }
  T timing;
  readSpec(cursor, timing);
  values_.push_back(timing);
  return true;
}

template <class T>
void qc_camCfgList<T>::serialize(qcArchive& ar, bool loading) {
  long count = numValues();
  ar || count;
  if (!loading) {
    for (T& s : values_) s.doSerialize(ar, false);
    return;
  }
  // Elements are read one by one: a corrupt count ends at the end of the
  // archive data (BadData), never in one huge allocation.
  for (long i = 0; i < count; ++i) {
    T s;
    s.doSerialize(ar, true);
    values_.push_back(s);
  }
}

template class qc_camCfgList<qs_h_timingSpec>;
template class qc_camCfgList<qs_v_timingSpec>;

template <class E>
bool qc_camCfgEnumElement<E>::parseEx(qc_AcqStringHelper& cursor, bool write, long) {
  const char* const* words = qc_ccfWords<E>::table();
  if (write) {
    long n = 0;
    while (words[n]) ++n;
    const long v = static_cast<long>(this->value_);
    cursor.putString(v >= 0 && v < n ? words[v] : "");
    return true;
  }
  const long i = qc_AcqStringHelper::getEnumIndex(cursor.nextToken(), words);
  if (i < 0) return false;
  this->value_ = static_cast<E>(i);
  return true;
}

template <class E>
void qc_camCfgEnumElement<E>::serialize(qcArchive& ar, bool) {
  long v = static_cast<long>(this->value_);
  ar || v;
  this->value_ = static_cast<E>(v);
}

#define QRN_CCF_DEFINE_SCALAR_(Class, T, init)                                      \
  bool Class::parseEx(qc_AcqStringHelper& cursor, bool write, long) {               \
    if (write) return writeValue(cursor, value_);                                   \
    readValue(cursor, value_);                                                      \
    return true;                                                                    \
  }                                                                                 \
  void Class::serialize(qcArchive& ar, bool) { ar || value_; }                      \
  qcPtrHandle<qc_camCfgEntry> qf_New_##Class() { return qcPtrHandle<qc_camCfgEntry>(new Class); } \
  template <>                                                                       \
  qcPtrHandle<qc_camCfgEntry> qf_ccfNewEntryFor<T>() { return qf_New_##Class(); }
QRN_CCF_SCALAR_CLASSES(QRN_CCF_DEFINE_SCALAR_)
#undef QRN_CCF_DEFINE_SCALAR_

#define QRN_CCF_DEFINE_ENUM_(Class, E, init, ...)                                   \
  const char* const* qc_ccfWords<E>::table() {                                      \
    static const char* const words[] = {__VA_ARGS__, nullptr};                      \
    return words;                                                                   \
  }                                                                                 \
  template class qc_camCfgEnumElement<E>;                                           \
  qcPtrHandle<qc_camCfgEntry> qf_New_##Class() { return qcPtrHandle<qc_camCfgEntry>(new Class); } \
  template <>                                                                       \
  qcPtrHandle<qc_camCfgEntry> qf_ccfNewEntryFor<E>() { return qf_New_##Class(); }
QRN_CCF_ENUM_CLASSES(QRN_CCF_DEFINE_ENUM_)
#undef QRN_CCF_DEFINE_ENUM_

qcPtrHandle<qc_camCfgEntry> qf_New_qs_CamConfigHTiming() { return qcPtrHandle<qc_camCfgEntry>(new qc_CamConfigHTiming); }
qcPtrHandle<qc_camCfgEntry> qf_New_qs_CamConfigVTiming() { return qcPtrHandle<qc_camCfgEntry>(new qc_CamConfigVTiming); }
template <>
qcPtrHandle<qc_camCfgEntry> qf_ccfNewEntryFor<qs_h_timingSpec>() {
  return qf_New_qs_CamConfigHTiming();
}
template <>
qcPtrHandle<qc_camCfgEntry> qf_ccfNewEntryFor<qs_v_timingSpec>() {
  return qf_New_qs_CamConfigVTiming();
}

// ---- the store: entries ------------------------------------------------------------------

qc_camCfgEntry* qc_camCfgStore::entry(long index) const {
  if (index < 0) {
    qf_ccfAssertIndex_(index);
    return nullptr;
  }
  return index < numEntries() ? entries_[static_cast<std::size_t>(index)].get() : nullptr;
}

void qc_camCfgStore::setEntry(long index, qcPtrHandle<qc_camCfgEntry> e) {
  if (index < 0) {
    qf_ccfAssertIndex_(index);
    return;
  }
  if (index >= numEntries()) entries_.resize(static_cast<std::size_t>(index) + 1);
  entries_[static_cast<std::size_t>(index)] = std::move(e);
}

void qc_camCfgStore::deleteEntry(long index) {
  if (isPresent(index)) entries_[static_cast<std::size_t>(index)] = nullptr;
}

bool qc_camCfgStore::getComment(long index, std::string& text) const {
  const qc_camCfgEntry* e = entry(index);
  if (!e) return false;
  text = e->comment();
  return true;
}

bool qc_camCfgStore::setComment(long index, const std::string& text) {
  qc_camCfgEntry* e = entry(index);
  if (!e) return false;
  e->comment(text);
  return true;
}

long qc_camCfgStore::getNumParams(long index) const {
  const qc_camCfgEntry* e = entry(index);
  return e ? e->numValues() : 0;
}

// ---- the store: checks -----------------------------------------------------------------------

bool qc_camCfgStore::addError(long index, qc_ccfErrors::Errors code) {
  qc_camCfgEntry* e = entry(index);
  if (!e) return false;
  e->addError(code);
  return true;
}

bool qc_camCfgStore::getErrorList(long index, std::vector<qc_ccfErrors::Errors>& codes) const {
  const qc_camCfgEntry* e = entry(index);
  if (!e) return false;
  codes = e->errors();
  return true;
}

bool qc_camCfgStore::getAllErrors(std::vector<qc_ccfErrors::Errors>& codes) const {
  if (numEntries() == 0) return false;
  codes.clear();
  for (const auto& e : entries_)
    if (e) codes.insert(codes.end(), e->errors().begin(), e->errors().end());
  return true;
}

bool qc_camCfgStore::setValid(long index, bool ok) {
  qc_camCfgEntry* e = entry(index);
  if (!e) return false;
  e->setValid(ok);
  return true;
}

bool qc_camCfgStore::getValid(long index, qc_camCfgEntry::qe_Validity& v) const {
  const qc_camCfgEntry* e = entry(index);
  if (!e) return false;
  v = e->validity();
  return true;
}

bool qc_camCfgStore::getValid(bool& ok) const {
  if (numEntries() == 0) return false;
  ok = !invalid_ && missingIndices_.empty();
  for (const auto& e : entries_)
    if (e && e->validity() == qc_camCfgEntry::invalid) ok = false;
  return true;
}

void qc_camCfgStore::resetAllCheckErrors() {
  resetMissingIndices();
  for (const auto& e : entries_)
    if (e) e->resetErrors();
}

void qc_camCfgStore::addParseError(const std::string& category, const std::string& parameter,
                                   const std::string& message) {
  parseErrors_[category].push_back({parameter, message});
}

const std::vector<qc_camCfgStore::parseErrorInfo>* qc_camCfgStore::getParseErrors(const std::string& category) const {
  auto it = parseErrors_.find(category);
  return it == parseErrors_.end() ? nullptr : &it->second;
}

bool qc_camCfgStore::operator==(const qc_camCfgStore& o) const {
  const long n = std::max(numEntries(), o.numEntries());
  for (long i = 0; i < n; ++i) {
    const qc_camCfgEntry* a = entry(i);
    const qc_camCfgEntry* b = o.entry(i);
    if (!a != !b) return false;
    if (a && !a->isEqual(*b)) return false;
  }
  return true;
}

void qc_camCfgStore::serialize(qcArchive& ar) {
  const bool loading = ar.isLoading();
  if (loading) entries_.clear();
  for (long i = 0; i < qc_CCFParameterMap::kNumParameters; ++i) {
    bool absent = !isPresent(i);
    ar || absent;
    if (loading) {
      if (absent) continue;
      qcPtrHandle<qc_camCfgEntry> e = qc_CCFParameterMap::byIndex(i).factory();
      e->serialize(ar, true);
      setEntry(i, e);
    } else if (!absent) {
      entry(i)->serialize(ar, false);
    }
  }
  if (loading) entries_.resize(static_cast<std::size_t>(qc_CCFParameterMap::kNumParameters));
}

// ---- the store: files ------------------------------------------------------------------------

void qc_camCfgStore::readCCF(const std::string& path, bool* checkSumOK) {
  qcPtrHandle<qc_ccfFileInfo> info(new qc_ccfFileInfo);
  qc_ccfReader::readFile(path, *info, true);
  if (checkSumOK) *checkSumOK = info->checkSumOK();
  qc_ccfLoader loader(*info, this);
}

bool qc_camCfgStore::toFileInfo(qc_ccfFileInfo& info) const {
  bool ok = true;
  if (!comment_.empty()) info.addComment(0, comment_);
  std::uint32_t c = 0;
  for (long i = 0; i < numEntries(); ++i) {
    qc_camCfgEntry* e = entry(i);
    if (!e) continue;
    if (i >= qc_CCFParameterMap::kNumParameters) {
      ok = false;  // no category and name to write it under
      continue;
    }
    const auto& p = qc_CCFParameterMap::byIndex(i);
    for (long k = 0; k < e->numValues(); ++k) {
      qc_AcqStringHelper line(std::string(p.category) + " " + p.name + " = ");
      ok = e->parseEx(line, true, k) && ok;
      line += ';';
      info.addLine(line, ++c);
    }
    if (!e->comment().empty() && e->numValues() > 0) info.addComment(c, e->comment());
  }
  return ok;
}

bool qc_camCfgStore::writeCCF(const std::string& path) const {
  qc_ccfFileInfo info;
  if (!toFileInfo(info)) return false;
  std::ostringstream text;
  info.write(text, false);
  if (!readsBack(info, text.str())) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out << text.str();
  out.flush();
  return static_cast<bool>(out);
}

bool qc_camCfgStore::findCCFs(const std::string& pathList, std::vector<std::string>& files) {
  return qc_ccfReader::findFiles(pathList, files);
}
