// qc_ImgPalette: the console's palette of grey levels and fixed colours, and
// the table from pel value to palette entry.
#include <algorithm>

#include <qrn/acq/console/imgwin.h>

namespace {

struct Fixed {
  int index;
  unsigned char r, g, b;
};
constexpr Fixed kFixed[] = {
    {0, 0, 0, 0},         {1, 128, 0, 0},       {2, 0, 128, 0},       {7, 192, 192, 192},   {247, 160, 160, 164},
    {248, 64, 64, 64},    {249, 255, 0, 0},     {250, 0, 255, 0},     {251, 255, 255, 0},   {252, 0, 0, 255},
    {253, 255, 0, 255},   {254, 0, 255, 255},   {255, 255, 255, 255},
};
constexpr qc_ImgPalette::Entry kOrange{255, 128, 0, true};
constexpr qc_ImgPalette::Entry kSelection{255, 255, 255, true};
// The ramp and the selection entry must end before the fixed entries at the
// top (247 and up).
constexpr int kMaxLevels = 247 - qc_ImgPalette::firstRampEntry - 1;

qc_ImgPalette::Entry grey(int v) {
  const auto c = static_cast<unsigned char>(v);
  return {c, c, c, true};
}

}  // namespace

qc_ImgPalette::qc_ImgPalette(int available) {
  const int levels = std::min(available - 2, 256);
  if (levels < 32) throw qcImageConsole::CantCreateWindow("Not enough gray levels available.");
  baseLevels_ = levels_ = std::min(levels, kMaxLevels);
  for (const Fixed& f : kFixed) pal_[static_cast<std::size_t>(f.index)] = {f.r, f.g, f.b, false};
  pal_[10] = kOrange;
  for (int k = 0; k < levels_; ++k)
    pal_[static_cast<std::size_t>(firstRampEntry + k)] = grey(static_cast<int>(254.0 / (levels_ - 1) * k + 1.0));
  selEntry_ = firstRampEntry + levels_;
  pal_[static_cast<std::size_t>(selEntry_)] = kSelection;
  base_ = pal_;
  // The first table spreads 0..255 over the ramp as built.
  for (int v = 0; v < 256; ++v)
    table_[static_cast<std::size_t>(v)] = static_cast<unsigned char>(first_ + v * (levels_ - 1) / 255);
}

void qc_ImgPalette::setColorTable(const std::vector<MapPair>& map, unsigned char low, unsigned char high) {
  std::array<Entry, 256> pal = base_;
  std::array<unsigned char, 256> table{};
  std::array<bool, 256> mapped{};
  int first = firstRampEntry, levels = baseLevels_;
  for (const MapPair& m : map) {
    const Entry want{m.r, m.g, m.b, true};
    int found = -1;
    for (int i = 0; i < 256 && found < 0; ++i) {
      const bool inRamp = i >= first && i < first + levels;
      const Entry& e = pal[static_cast<std::size_t>(i)];
      if (!inRamp && e.r == want.r && e.g == want.g && e.b == want.b) found = i;
    }
    if (found < 0) {
      if (levels - 1 < 2) throw qcImageConsole::BadColorMap();
      pal[static_cast<std::size_t>(first)] = want;
      found = first++;
      --levels;
    }
    table[m.pel] = static_cast<unsigned char>(found);
    mapped[m.pel] = true;
  }
  if (std::find(mapped.begin(), mapped.end(), false) != mapped.end()) {
    for (int k = 0; k < levels; ++k) pal[static_cast<std::size_t>(first + k)] = grey(255 * k / (levels - 1));
    for (int v = 0; v < 256; ++v) {
      if (mapped[static_cast<std::size_t>(v)]) continue;
      int e;
      if (v <= low) e = first;
      else if (v >= high) e = first + levels - 1;
      else e = first + static_cast<int>(static_cast<double>(v - low) / (high - low) * (levels - 1));
      table[static_cast<std::size_t>(v)] = static_cast<unsigned char>(e);
    }
  }
  pal_ = pal;
  table_ = table;
  first_ = first;
  levels_ = levels;
  low_ = low;
  high_ = high;
  if (&map != &map_) map_ = map;
}

void qc_ImgPalette::remapColorTable(unsigned char low, unsigned char high) {
  if (low == low_ && high == high_) return;
  setColorTable(map_, low, high);
}
