// The custom property bag: driver settings that have no property class of
// their own (camera commands, register writes), as an ordered list of items.
//
// Each item is a type, a name and a value, all text; the framework does not
// interpret them.  The bag travels to the driver inside qcCustomProp
// (custom.h), whose archive holds the bag's text form.
//
// Text form, one line per item, each line ended by a line feed then a
// carriage return ("\n\r"):
//   a command item:  "Command" TAB name "\n\r"
//   a write item:    "Write" TAB name TAB value "\n\r"
// A write value may hold tabs; a write name holds neither tabs nor line
// feeds; a command name holds no line feed.  fromString(toString()) gives
// back the same items.
//
// A bag is a plain value: copied and assigned by value, no locking (one
// thread at a time).
#pragma once

#include <qrn/foundation/api.h>
QRN_API_BEGIN

#include <cstdint>
#include <string>
#include <vector>

#include <qrn/foundation/exception.h>

// A list of custom items (action, name, value) for the custom property.
class qcCustomPropertyBag {
public:
  // An index out of range, an item that the text form cannot carry, or a
  // malformed text.
  QC_EXCEPTION(BadParams, qcException, 0x100009BA);

  // The kind of an item: what the driver is asked to do with it.
  enum qeType : std::int32_t {
    qeWrite = 0,    // a name and a value
    qeCommand = 1,  // a name only (the value is empty)
  };

  // An empty bag.
  qcCustomPropertyBag() = default;
  // A copy holds the same items; a move takes them over.
  qcCustomPropertyBag(const qcCustomPropertyBag&) = default;
  qcCustomPropertyBag& operator=(const qcCustomPropertyBag&) = default;
  qcCustomPropertyBag(qcCustomPropertyBag&&) noexcept = default;
  qcCustomPropertyBag& operator=(qcCustomPropertyBag&&) noexcept = default;
  // Frees the items.
  ~qcCustomPropertyBag() = default;

  // Appends an item at the end.  Throws BadParams, and appends nothing, for an
  // item that would not read back the same from the text form: a type other
  // than qeWrite and qeCommand, a line feed in a name or value, a tab in a
  // write item's name, or a command item with a non-empty value.
  void addItem(qeType type, const std::string& name, const std::string& value);

  // The number of items (0 for an empty bag).
  long getItemCount() const { return static_cast<long>(types_.size()); }

  // Item i (0-based).  An index not below getItemCount(), or negative, throws
  // BadParams.
  std::string getName(long i) const;
  std::string getValue(long i) const;
  qeType getType(long i) const;

  // The text form (empty for an empty bag).
  std::string toString() const;
  // Replaces the items with those of a text form.  Malformed text throws
  // BadParams; the bag then keeps the items read before the fault.
  void fromString(const std::string& text);

  // Equal when both hold the same items (type, name and value) in the same
  // order.
  friend bool operator==(const qcCustomPropertyBag&, const qcCustomPropertyBag&) = default;

private:
  std::size_t index_(long i) const;

  // Three parallel sequences of the same length: item i is entry i of each.
  std::vector<qeType> types_;
  std::vector<std::string> names_;
  std::vector<std::string> values_;
};

QRN_API_END
