#include "genicam.h"

#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "errors.h"

namespace qrn_gentl {

Feature feature(Feature::Kind kind, std::string name, std::string tooltip, bool writable) {
  Feature f;
  f.kind = kind;
  f.name = std::move(name);
  f.tooltip = std::move(tooltip);
  f.writable = writable;
  return f;
}

Feature readOnlyString(std::string name, std::string tooltip, std::function<std::string()> get) {
  Feature f = feature(Feature::String, std::move(name), std::move(tooltip));
  f.getString = std::move(get);
  return f;
}

Feature readOnlyInteger(std::string name, std::string tooltip, std::function<std::int64_t()> get) {
  Feature f = feature(Feature::Integer, std::move(name), std::move(tooltip));
  f.getInt = std::move(get);
  return f;
}

Feature command(std::string name, std::string tooltip, std::function<void()> execute) {
  Feature f = feature(Feature::Command, std::move(name), std::move(tooltip), true);
  f.getInt = [] { return std::int64_t{0}; };  // a command is always done
  f.setInt = [execute = std::move(execute)](std::int64_t) { execute(); };
  return f;
}

namespace {

std::string hex(std::uint64_t v) {
  char b[24];
  std::snprintf(b, sizeof b, "%llx", static_cast<unsigned long long>(v));
  return b;
}

std::string escaped(const std::string& s) {
  std::string o;
  for (char c : s) {
    switch (c) {
      case '&':
        o += "&amp;";
        break;
      case '<':
        o += "&lt;";
        break;
      case '>':
        o += "&gt;";
        break;
      case '"':
        o += "&quot;";
        break;
      default:
        o += c;
    }
  }
  return o;
}

std::string number(double v) {
  char b[40];
  std::snprintf(b, sizeof b, "%.17g", v);
  return b;
}

void put(std::string& z, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) z += static_cast<char>((v >> (8 * i)) & 0xff);
}

}  // namespace

std::string zipOne(const std::string& name, const std::string& data) {
  z_stream zs{};
  if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::bad_alloc();
  std::string packed(deflateBound(&zs, data.size()), '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(packed.data());
  zs.avail_out = static_cast<uInt>(packed.size());
  const int rc = deflate(&zs, Z_FINISH);
  packed.resize(zs.total_out);
  deflateEnd(&zs);
  if (rc != Z_STREAM_END) throw std::bad_alloc();
  const auto crc =
      static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
  const auto csize = static_cast<std::uint32_t>(packed.size()), usize = static_cast<std::uint32_t>(data.size());
  const auto nlen = static_cast<std::uint32_t>(name.size());
  // Version 2.0, no flags, deflate, 1980-01-01 00:00.
  auto common = [&](std::string& z) {
    put(z, 20, 2), put(z, 0, 2), put(z, 8, 2), put(z, 0, 2), put(z, 0x21, 2);
    put(z, crc, 4), put(z, csize, 4), put(z, usize, 4), put(z, nlen, 2), put(z, 0, 2);
  };
  std::string z;
  put(z, 0x04034b50, 4);
  common(z);
  z += name;
  z += packed;
  const auto cdOffset = static_cast<std::uint32_t>(z.size());
  put(z, 0x02014b50, 4);
  put(z, 20, 2);  // made by
  common(z);
  put(z, 0, 2), put(z, 0, 2), put(z, 0, 2), put(z, 0, 4), put(z, 0, 4);  // comment, disk, attributes, offset 0
  z += name;
  const auto cdSize = static_cast<std::uint32_t>(z.size()) - cdOffset;
  put(z, 0x06054b50, 4);
  put(z, 0, 2), put(z, 0, 2), put(z, 1, 2), put(z, 1, 2), put(z, cdSize, 4), put(z, cdOffset, 4), put(z, 0, 2);
  return z;
}

FeaturePort::FeaturePort(std::string portName, std::string model, std::string file, std::vector<Feature> features)
    : portName_(std::move(portName)), model_(std::move(model)), file_(std::move(file)), features_(std::move(features)) {
  xml_ = makeXml();
  zip_ = zipOne(file_ + ".xml", xml_);
}

std::string FeaturePort::makeXml() const {
  std::string x =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<RegisterDescription ModelName=\"" +
      escaped(model_) +
      "\" VendorName=\"Quorin\""
      " ToolTip=\"" +
      escaped(model_) +
      " (qrnacq GenTL producer)\" StandardNameSpace=\"None\""
      " SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\" SchemaSubMinorVersion=\"0\""
      " MajorVersion=\"1\" MinorVersion=\"0\" SubMinorVersion=\"0\""
      " ProductGuid=\"6f1b2d38-51c4-4a8e-9d0b-7a3e0c5f2b11\" VersionGuid=\"0e7c9a54-3b2f-4d61-8a95-c4d2b7e81f03\""
      " xmlns=\"http://www.genicam.org/GenApi/Version_1_1\""
      " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
      " xsi:schemaLocation=\"http://www.genicam.org/GenApi/Version_1_1"
      " http://www.genicam.org/GenApi/GenApiSchema_Version_1_1.xsd\">\n";
  x += "  <Category Name=\"Root\" NameSpace=\"Standard\">\n";
  for (const Feature& f : features_) x += "    <pFeature>" + f.name + "</pFeature>\n";
  x += "  </Category>\n";
  for (std::size_t i = 0; i < features_.size(); ++i) {
    const Feature& f = features_[i];
    const std::string reg = f.name + "Reg";
    const std::string tip = f.tooltip.empty() ? "" : "    <ToolTip>" + escaped(f.tooltip) + "</ToolTip>\n";
    // A command's register reads 0 when the command is done (GenApi's IsDone).
    const std::string access = f.writable ? "RW" : "RO";
    switch (f.kind) {
      case Feature::Integer:
        x += "  <Integer Name=\"" + f.name + "\" NameSpace=\"Standard\">\n" + tip + "    <pValue>" + reg +
             "</pValue>\n    <Min>" + std::to_string(f.min) + "</Min>\n    <Max>" + std::to_string(f.max) +
             "</Max>\n    <Inc>1</Inc>\n  </Integer>\n";
        break;
      case Feature::Float:
        x += "  <Float Name=\"" + f.name + "\" NameSpace=\"Standard\">\n" + tip + "    <pValue>" + reg +
             "</pValue>\n    <Min>" + number(f.fmin) + "</Min>\n    <Max>" + number(f.fmax) + "</Max>\n" +
             (f.unit.empty() ? "" : "    <Unit>" + f.unit + "</Unit>\n") + "  </Float>\n";
        break;
      case Feature::Enumeration:
        x += "  <Enumeration Name=\"" + f.name + "\" NameSpace=\"Standard\">\n" + tip;
        for (const auto& [entry, value] : f.entries)
          x += "    <EnumEntry Name=\"" + entry + "\" NameSpace=\"Standard\">\n      <Value>" + std::to_string(value) +
               "</Value>\n    </EnumEntry>\n";
        x += "    <pValue>" + reg + "</pValue>\n  </Enumeration>\n";
        break;
      case Feature::Command:
        x += "  <Command Name=\"" + f.name + "\" NameSpace=\"Standard\">\n" + tip + "    <pValue>" + reg +
             "</pValue>\n    <CommandValue>1</CommandValue>\n  </Command>\n";
        break;
      case Feature::Boolean:
        x += "  <Boolean Name=\"" + f.name + "\" NameSpace=\"Standard\">\n" + tip + "    <pValue>" + reg +
             "</pValue>\n    <OnValue>1</OnValue>\n    <OffValue>0</OffValue>\n  </Boolean>\n";
        break;
      case Feature::String:
        break;  // the register is the feature
    }
    const std::string where = "    <Address>0x" + hex(kFeatureBase + i * kSlot) + "</Address>\n";
    const std::string tail = "    <AccessMode>" + access + "</AccessMode>\n    <pPort>" + portName_ +
                             "</pPort>\n    <Cachable>NoCache</Cachable>\n";
    if (f.kind == Feature::String) {
      x += "  <StringReg Name=\"" + f.name + "\" NameSpace=\"Standard\">\n" + tip + where + "    <Length>" +
           std::to_string(kStringLength) + "</Length>\n" + tail + "  </StringReg>\n";
    } else if (f.kind == Feature::Float) {
      x += "  <FloatReg Name=\"" + reg + "\">\n" + where + "    <Length>8</Length>\n" + tail +
           "    <Endianess>LittleEndian</Endianess>\n  </FloatReg>\n";
    } else {
      x += "  <IntReg Name=\"" + reg + "\">\n" + where + "    <Length>8</Length>\n" + tail +
           "    <Sign>Signed</Sign>\n    <Endianess>LittleEndian</Endianess>\n  </IntReg>\n";
    }
  }
  x += "  <Port Name=\"" + portName_ + "\" NameSpace=\"Standard\"/>\n</RegisterDescription>\n";
  return x;
}

std::string FeaturePort::url(std::uint32_t index) const {
  if (index >= numUrls()) fail(GC_ERR_INVALID_INDEX, "the port has " + std::to_string(numUrls()) + " URLs");
  return "Local:" + file_ + (index == 0 ? ".xml;" : ".zip;") + hex(fileAddress(index)) + ";" + hex(fileSize(index));
}

std::uint64_t FeaturePort::fileAddress(std::uint32_t index) const { return index == 0 ? kXmlAddress : kZipAddress; }
std::size_t FeaturePort::fileSize(std::uint32_t index) const { return index == 0 ? xml_.size() : zip_.size(); }

const Feature* FeaturePort::featureAt(std::uint64_t address, std::uint64_t& offset) const {
  if (address < kFeatureBase) return nullptr;
  const std::uint64_t i = (address - kFeatureBase) / kSlot;
  if (i >= features_.size()) return nullptr;
  offset = (address - kFeatureBase) % kSlot;
  return &features_[i];
}

void FeaturePort::read(std::uint64_t address, void* buffer, std::size_t size) {
  std::lock_guard<std::mutex> g(m_);
  for (const std::string* file : {&xml_, &zip_}) {
    const std::uint64_t base = file == &xml_ ? kXmlAddress : kZipAddress;
    if (address >= base && address < base + file->size()) {
      if (address + size > base + file->size()) fail(GC_ERR_INVALID_ADDRESS, "read past the end of the description");
      std::memcpy(buffer, file->data() + (address - base), size);
      return;
    }
  }
  std::uint64_t offset = 0;
  const Feature* f = featureAt(address, offset);
  if (!f) fail(GC_ERR_INVALID_ADDRESS, "no register at 0x" + hex(address) + " of port " + portName_);
  char reg[kStringLength] = {};
  std::size_t length = 8;
  if (f->kind == Feature::String) {
    const std::string s = f->getString();
    std::memcpy(reg, s.data(), std::min<std::size_t>(s.size(), kStringLength - 1));
    length = kStringLength;
  } else if (f->kind == Feature::Float) {
    const double v = f->getFloat();
    std::memcpy(reg, &v, 8);
  } else {
    const std::int64_t v = f->getInt();
    std::memcpy(reg, &v, 8);
  }
  if (offset + size > length) fail(GC_ERR_INVALID_ADDRESS, "read past the end of register " + f->name);
  std::memcpy(buffer, reg + offset, size);
}

void FeaturePort::write(std::uint64_t address, const void* buffer, std::size_t size) {
  std::lock_guard<std::mutex> g(m_);
  std::uint64_t offset = 0;
  const Feature* f = featureAt(address, offset);
  if (!f) {
    const bool file = (address >= kXmlAddress && address < kXmlAddress + xml_.size()) ||
                      (address >= kZipAddress && address < kZipAddress + zip_.size());
    fail(file ? GC_ERR_ACCESS_DENIED : GC_ERR_INVALID_ADDRESS,
         file ? "the description is read only" : "no register at 0x" + hex(address) + " of port " + portName_);
  }
  if (!f->writable) fail(GC_ERR_ACCESS_DENIED, f->name + " is read only");
  if (offset != 0) fail(GC_ERR_INVALID_ADDRESS, "write inside register " + f->name);
  if (f->kind == Feature::String) {
    if (size > kStringLength) fail(GC_ERR_INVALID_PARAMETER, f->name + " holds at most 64 bytes");
    const char* p = static_cast<const char*>(buffer);
    f->setString(std::string(p, strnlen(p, size)));
    return;
  }
  if (size != 8) fail(GC_ERR_INVALID_PARAMETER, f->name + " is written as 8 bytes");
  if (f->kind == Feature::Float) {
    double v;
    std::memcpy(&v, buffer, 8);
    if (!std::isfinite(v) || v < f->fmin || v > f->fmax)
      fail(GC_ERR_INVALID_VALUE,
           f->name + " = " + number(v) + " is outside " + number(f->fmin) + " .. " + number(f->fmax));
    f->setFloat(v);
    return;
  }
  std::int64_t v;
  std::memcpy(&v, buffer, 8);
  if (f->kind == Feature::Integer && (v < f->min || v > f->max))
    fail(GC_ERR_INVALID_VALUE, f->name + " = " + std::to_string(v) + " is outside " + std::to_string(f->min) + " .. " +
                                   std::to_string(f->max));
  if (f->kind == Feature::Enumeration) {
    bool known = false;
    for (const auto& e : f->entries) known = known || e.second == v;
    if (!known) fail(GC_ERR_INVALID_VALUE, f->name + " has no entry of value " + std::to_string(v));
  }
  if (f->kind == Feature::Boolean && v != 0 && v != 1) fail(GC_ERR_INVALID_VALUE, f->name + " is 0 or 1");
  f->setInt(v);
}

}  // namespace qrn_gentl
