// The custom property bag and the custom property.
#include <qrn/acq/hyper/prop/custom.h>

#include <optional>
#include <string_view>

QC_REGISTER_PERSISTENT(qcCustomPropertyBag::BadParams);
QC_IMPLEMENT_PERSISTENT(qcCustomProp);

namespace {

constexpr std::string_view kWrite = "Write";
constexpr std::string_view kCommand = "Command";

// A cursor over the text.  Each token runs up to the first of the given
// delimiters, which is consumed; an empty token between two delimiters is a
// token (so empty names and values read back), the empty remainder at the end
// is none.
class TokenCursor {
public:
  explicit TokenCursor(std::string_view text) : text_(text) {}

  std::optional<std::string_view> next(std::string_view delimiters) {
    if (pos_ >= text_.size()) return std::nullopt;
    std::size_t end = text_.find_first_of(delimiters, pos_);
    if (end == std::string_view::npos) end = text_.size();
    std::string_view token = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    return token;
  }

private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

void qcCustomPropertyBag::addItem(qeType type, const std::string& name, const std::string& value) {
  const bool representable =
      (type == qeWrite && name.find_first_of("\t\n") == std::string::npos && value.find('\n') == std::string::npos) ||
      (type == qeCommand && name.find('\n') == std::string::npos && value.empty());
  if (!representable) throw BadParams();
  // Reserve first so that the three sequences never disagree in length.
  types_.reserve(types_.size() + 1);
  names_.reserve(names_.size() + 1);
  values_.reserve(values_.size() + 1);
  types_.push_back(type);
  names_.push_back(name);
  values_.push_back(value);
}

std::size_t qcCustomPropertyBag::index_(long i) const {
  // Compared as unsigned: a negative index is out of range too.
  if (static_cast<unsigned long>(i) >= types_.size()) throw BadParams();
  return static_cast<std::size_t>(i);
}

std::string qcCustomPropertyBag::getName(long i) const { return names_[index_(i)]; }
std::string qcCustomPropertyBag::getValue(long i) const { return values_[index_(i)]; }
qcCustomPropertyBag::qeType qcCustomPropertyBag::getType(long i) const { return types_[index_(i)]; }

std::string qcCustomPropertyBag::toString() const {
  std::string text;
  for (std::size_t i = 0; i < types_.size(); ++i) {
    if (types_[i] == qeCommand) {
      text.append(kCommand).append("\t").append(names_[i]);
    } else {
      text.append(kWrite).append("\t").append(names_[i]).append("\t").append(values_[i]);
    }
    text.append("\n\r");
  }
  return text;
}

void qcCustomPropertyBag::fromString(const std::string& text) {
  types_.clear();
  names_.clear();
  values_.clear();

  TokenCursor cursor(text);
  std::optional<std::string_view> keyword = cursor.next("\n\t");
  while (keyword) {
    // The carriage return that ends the previous line starts this token.
    if (!keyword->empty() && keyword->front() == '\r') {
      keyword->remove_prefix(1);
      if (keyword->empty()) break;
    }
    if (*keyword == kCommand) {
      std::optional<std::string_view> name = cursor.next("\n");
      if (!name) throw BadParams();
      addItem(qeCommand, std::string(*name), std::string());
    } else if (*keyword == kWrite) {
      std::optional<std::string_view> name = cursor.next("\t");
      // A name that runs into the next line means the value is missing.
      if (!name || name->find('\n') != std::string_view::npos) throw BadParams();
      std::optional<std::string_view> value = cursor.next("\n");
      if (!value) throw BadParams();
      addItem(qeWrite, std::string(*name), std::string(*value));
    } else {
      throw BadParams();
    }
    keyword = cursor.next("\t");
  }
}

// ---- qcCustomProp -----------------------------------------------------------------
qcCustomProp::qcCustomProp() = default;
qcCustomProp::qcCustomProp(const qcCustomProp& src) : qcPersistent(src), qc_PersistentProp(src), bag_(src.bag_) {}
qcCustomProp::~qcCustomProp() = default;

qcCustomProp& qcCustomProp::operator=(const qcCustomProp& src) {
  assignUpdate_(src, [&] { bag_ = src.bag_; });
  return *this;
}

void qcCustomProp::customValues(const qcCustomPropertyBag& bag) { storeUpdate_(bag_, bag); }

// Archive, version 0: the bag's text form as one string.  A load parses into
// a new bag first, so malformed text (qcCustomPropertyBag::BadParams) leaves
// the property as it was; then the FIFO is told once.
void qcCustomProp::serialize_(qcArchive& ar, unsigned char /*version*/) {
  if (ar.isStoring()) {
    ar << bag_.toString();
    return;
  }
  std::string text;
  ar >> text;
  qcCustomPropertyBag bag;
  bag.fromString(text);
  customValues(bag);
}
