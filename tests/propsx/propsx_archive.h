// Archive helpers of the property tests: bytes written by hand (for old
// versions and corrupt data) and loads from them.
#pragma once

#include <sstream>
#include <streambuf>
#include <string>

#include <qrn/foundation/archive.h>

namespace propsx {

// The bytes of a storing archive after write(ar) (the stream header first).
template <class Write>
std::string archiveBytes(Write&& write) {
  std::stringstream ss;
  {
    qcArchive ar(ss, qcArchive::store);
    write(ar);
  }
  return ss.str();
}

// The archive of one persistent object.
template <class P>
std::string storeObject(P& p) {
  return archiveBytes([&](qcArchive& ar) { p.serialize(ar); });
}

// Loads p from bytes.
template <class P>
void loadObject(P& p, const std::string& bytes) {
  std::stringstream ss(bytes);
  qcArchive ar(ss, qcArchive::load);
  p.serialize(ar);
}

// A stream buffer that cannot seek, so a loading archive cannot count the
// bytes left and must rely on each read.
class NoSeekBuf : public std::streambuf {
public:
  explicit NoSeekBuf(std::string bytes) : bytes_(std::move(bytes)) {
    setg(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size());
  }

private:
  std::string bytes_;
};

template <class P>
void loadObjectUncounted(P& p, const std::string& bytes) {
  NoSeekBuf buf(bytes);
  std::istream in(&buf);
  qcArchive ar(in);
  p.serialize(ar);
}

}  // namespace propsx
