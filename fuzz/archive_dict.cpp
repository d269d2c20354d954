// Writes the libFuzzer dictionary of fuzz_archive: one pointer record head
// (tag, 32-bit length, name) per registered persistent class, so that the
// fuzzer reaches the loaders behind the class names.
//   archive_dict <output file>
#include <cstdio>
#include <fstream>
#include <string>

#include <qrn/acq/hyper/prop/acqprops.h>
#include <qrn/qrnstd.h>

namespace {
// A dictionary string: printable ASCII as is, everything else as \xNN.
std::string escaped(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  return out;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: archive_dict <output file>\n");
    return 2;
  }
  // Keeps the acquisition library (and its registrations) linked.
  qcAnalogAcqProps keep;
  (void)keep;
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  for (const std::string& name : qc_Instantiator::names()) {
    const auto n = static_cast<std::uint32_t>(name.size());
    std::string record(1, '\x01');  // a new object
    for (int i = 0; i < 4; ++i) record += static_cast<char>((n >> (8 * i)) & 0xFF);
    record += name;
    out << '"' << escaped(record) << "\"\n";
  }
  return out ? 0 : 1;
}
