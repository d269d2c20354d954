// A module's register port and its GenICam description, both made from one
// table of features: each feature has a register (a slot of the port's
// address space), and the description names the slot.  The description is
// served through the port as a Local: URL, plain and zipped.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "gentl.h"

namespace qrn_gentl {

// One feature of a description.  Getters and setters run on the consumer's
// thread that reads or writes the port; setters throw Error to refuse.
struct Feature {
  enum Kind { Integer, Float, String, Enumeration, Command, Boolean };
  Kind kind = Integer;
  std::string name;
  std::string tooltip;
  bool writable = false;
  std::string unit;                                           // Float
  std::int64_t min = 0, max = INT64_MAX;                      // Integer
  double fmin = 0.0, fmax = 1e9;                              // Float
  std::vector<std::pair<std::string, std::int64_t>> entries;  // Enumeration
  std::string lockedBy;                                       // the feature whose non-zero value locks this one
  std::function<std::int64_t()> getInt;                       // Integer, Enumeration, Boolean
  std::function<void(std::int64_t)> setInt;                   // Integer, Enumeration, Boolean, Command (executes)
  std::function<double()> getFloat;
  std::function<void(double)> setFloat;
  std::function<std::string()> getString;
  std::function<void(const std::string&)> setString;
};

// Builders: a feature of a kind with its name and tooltip, and the common kinds.
Feature feature(Feature::Kind kind, std::string name, std::string tooltip, bool writable = false);
Feature readOnlyString(std::string name, std::string tooltip, std::function<std::string()> get);
Feature readOnlyInteger(std::string name, std::string tooltip, std::function<std::int64_t()> get);
Feature command(std::string name, std::string tooltip, std::function<void()> execute);

// The register port of one module.
class FeaturePort {
 public:
  // portName: the GenICam port node's name ("Device" for the remote device,
  // "TLSystem", ...); model: the description's ModelName; file: its file name
  // without extension.
  FeaturePort(std::string portName, std::string model, std::string file, std::vector<Feature> features);

  // Register access (little-endian values).  Reads of any range inside one
  // register or the description files; writes of a whole register (Integer,
  // Float: 8 bytes; String: at most its length).  Throws Error.
  void read(std::uint64_t address, void* buffer, std::size_t size);
  void write(std::uint64_t address, const void* buffer, std::size_t size);

  // URLs of the description: 0 plain XML, 1 the same zipped.
  std::uint32_t numUrls() const { return 2; }
  std::string url(std::uint32_t index) const;
  std::uint64_t fileAddress(std::uint32_t index) const;
  std::size_t fileSize(std::uint32_t index) const;
  const std::string& xml() const { return xml_; }
  const std::string& portName() const { return portName_; }

  // Address layout.
  static constexpr std::uint64_t kFeatureBase = 0x10000, kSlot = 0x100, kStringLength = 64;
  static constexpr std::uint64_t kXmlAddress = 0x1000000, kZipAddress = 0x2000000;

 private:
  std::string makeXml() const;
  const Feature* featureAt(std::uint64_t address, std::uint64_t& offset) const;

  std::string portName_, model_, file_;
  std::vector<Feature> features_;
  std::string xml_, zip_;
  std::mutex m_;  // one access at a time
};

// A zip archive holding one file, deflated (what Local: URLs ending in .zip
// point at).
std::string zipOne(const std::string& name, const std::string& data);

}  // namespace qrn_gentl
