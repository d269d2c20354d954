// Closest-name suggestions and the short names of image formats.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <tuple>

#include "qacq.h"

namespace qacq {

namespace {

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::string lowered(std::string_view s) {
  std::string r(s);
  std::transform(r.begin(), r.end(), r.begin(), lower);
  return r;
}

}  // namespace

std::size_t editDistance(std::string_view a, std::string_view b) {
  // One row of the classic table, O(|a| * |b|) time, O(|b|) space.
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diag = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t up = row[j];
      const std::size_t subst = diag + (lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1);
      row[j] = std::min({up + 1, row[j - 1] + 1, subst});
      diag = up;
    }
  }
  return row[b.size()];
}

std::vector<std::string> closestNames(std::string_view wanted, const std::vector<std::string>& known,
                                      std::size_t max) {
  const std::string w = lowered(wanted);
  const std::size_t limit = std::max<std::size_t>(2, wanted.size() / 3);
  // (rank, distance, name): rank 0 same but for case, 1 contains, 2 close.
  std::vector<std::tuple<int, std::size_t, std::string>> hits;
  for (const std::string& k : known) {
    const std::string kl = lowered(k);
    if (kl == w) {
      hits.emplace_back(0, 0, k);
    } else if (!w.empty() && kl.find(w) != std::string::npos) {
      hits.emplace_back(1, k.size() - wanted.size(), k);
    } else {
      const std::size_t d = editDistance(wanted, k);
      if (d <= limit) hits.emplace_back(2, d, k);
    }
  }
  std::stable_sort(hits.begin(), hits.end(), [](const auto& x, const auto& y) {
    return std::tie(std::get<0>(x), std::get<1>(x)) < std::tie(std::get<0>(y), std::get<1>(y));
  });
  std::vector<std::string> r;
  for (auto& h : hits) {
    if (r.size() == max) break;
    r.push_back(std::move(std::get<2>(h)));
  }
  return r;
}

std::string unknownNameMessage(const std::string& what, const std::string& name,
                               const std::vector<std::string>& known, const std::string& seeCommand) {
  std::string msg = "unknown " + what + " \"" + name + "\"";
  const std::vector<std::string> close = closestNames(name, known);
  if (close.empty()) return msg + " (see \"" + seeCommand + "\")";
  msg += "; closest: ";
  for (std::size_t i = 0; i < close.size(); ++i) msg += (i ? ", \"" : "\"") + close[i] + "\"";
  return msg;
}

const std::vector<std::pair<std::string, qeImageFormat>>& imageFormatNames() {
  static const std::vector<std::pair<std::string, qeImageFormat>> names = [] {
    std::vector<std::pair<std::string, qeImageFormat>> v;
    for (const qsImageFormatName& n : qcImageFormatNames) v.emplace_back(n.name, n.format);
    return v;
  }();
  return names;
}

qeImageFormat parseImageFormat(const std::string& text) {
  const std::string t = lowered(text);
  std::vector<std::string> known;
  for (const auto& [name, value] : imageFormatNames()) {
    if (name == t) return value;
    known.push_back(name);
  }
  // A number of the public numbering.
  char* end = nullptr;
  const long n = std::strtol(t.c_str(), &end, 10);
  if (!t.empty() && end && *end == '\0' && n >= 1 && n <= 32 && qf_isImageFormat(static_cast<qeImageFormat>(n)))
    return static_cast<qeImageFormat>(n);
  std::string msg = unknownNameMessage("image format", text, known, "qacq formats --help");
  if (closestNames(text, known).empty()) {
    msg = "unknown image format \"" + text + "\"; known:";
    for (const std::string& k : known) msg += " " + k;
  }
  throw UsageError(msg);
}

std::errc parseLong(std::string_view text, long& out) {
  const char* end = text.data() + text.size();
  const auto [p, ec] = std::from_chars(text.data(), end, out);
  if (ec != std::errc{}) return ec;
  return p == end ? std::errc{} : std::errc::invalid_argument;
}

}  // namespace qacq
