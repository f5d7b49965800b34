#include "ufhost/app/cutlist/stock.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "ufhost/app/run/resources.h"
#include "ufhost/app/batch/batch.h"
#include "ufhost/app/batch/commands.h"
#include "ufhost/base/files.h"
#include "ufhost/base/numbers.h"
#include "ufhost/base/text.h"

namespace ufhost::app {

namespace {

struct FamilyInfo {
  StockFamily family;
  const char* name;
};
constexpr FamilyInfo kFamilies[] = {
    {StockFamily::Flat, "flat"},   {StockFamily::Square, "square"}, {StockFamily::Round, "round"},
    {StockFamily::Hex, "hex"},     {StockFamily::Plate, "plate"},   {StockFamily::Sheet, "sheet"},
};

bool positive(const std::string& text, double* value) {
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size() && std::isfinite(*value) && *value > 0;
}

// Blank-separated positive numbers; false on anything else or none.
bool numbers(const std::string& text, std::vector<double>* out) {
  std::istringstream words(text);
  std::string word;
  out->clear();
  while (words >> word) {
    double v = 0;
    if (!positive(word, &v)) return false;
    out->push_back(v);
  }
  return !out->empty();
}

std::string designation_of(const StockItem& item) {
  const std::string name = family_name(item.family);
  if (item.family == StockFamily::Flat)
    return name + " " + fixed6_trimmed(item.size_1) + " × " + fixed6_trimmed(item.size_2);
  return name + " " + fixed6_trimmed(item.size_1);
}

// The columns a catalogue must name, and those it may.
const char* const kRequired[] = {"family", "size_1", "lengths"};
const char* const kKnown[] = {"family", "designation", "size_1", "size_2",  "lengths",
                              "minus",  "material",    "density", "source"};

}  // namespace

const char* family_name(StockFamily family) {
  for (const FamilyInfo& f : kFamilies)
    if (f.family == family) return f.name;
  return "?";
}

bool family_of(const std::string& word, StockFamily* family) {
  for (const FamilyInfo& f : kFamilies)
    if (lower(word) == f.name) {
      *family = f.family;
      return true;
    }
  return false;
}

bool is_bar(StockFamily family) { return family != StockFamily::Plate && family != StockFamily::Sheet; }

bool parse_catalogue(const std::string& text, const std::string& name,
                     std::vector<StockItem>* items, std::string* error) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  std::map<std::string, std::size_t> column;
  items->clear();
  const auto bad = [&](const std::string& what) {
    *error = name + ", line " + std::to_string(number) + ": " + what;
    return false;
  };
  while (std::getline(in, line)) {
    ++number;
    if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);  // a spreadsheet's mark
    if (trim(line).empty() || trim(line)[0] == '#') continue;
    std::vector<std::string> f;
    if (!csv_fields(line, &f)) return bad("a quote is not closed");
    if (column.empty()) {
      for (std::size_t i = 0; i < f.size(); ++i) {
        const std::string key = lower(f[i]);
        if (std::find(std::begin(kKnown), std::end(kKnown), key) == std::end(kKnown))
          return bad("unknown column \"" + f[i] + "\"");
        column[key] = i;
      }
      for (const char* required : kRequired)
        if (!column.count(required)) return bad(std::string("the header names no column ") + required);
      continue;
    }
    const auto field = [&](const char* key) {
      const auto at = column.find(key);
      return at == column.end() || at->second >= f.size() ? std::string() : f[at->second];
    };
    StockItem item;
    item.line = number;
    if (!family_of(field("family"), &item.family))
      return bad("family \"" + field("family") + "\": give sheet, plate, flat, square, round or hex");
    std::vector<double> sizes_1, sizes_2;
    if (!numbers(field("size_1"), &sizes_1)) return bad("size_1 \"" + field("size_1") + "\": give sizes greater than 0");
    if (item.family == StockFamily::Flat && !numbers(field("size_2"), &sizes_2))
      return bad("a flat bar needs its width in size_2");
    if (item.family != StockFamily::Flat && !field("size_2").empty())
      return bad("only a flat bar has a size_2");
    const std::string lengths = lower(field("lengths"));
    if (lengths != "cut") {
      item.any_length = false;
      std::istringstream words(lengths);
      std::string word;
      while (words >> word) {
        double a = 0, b = 0;
        const auto x = word.find('x');
        if (is_bar(item.family)) {
          if (!positive(word, &a)) return bad("lengths \"" + word + "\": give lengths, or cut");
          item.lengths.push_back(a);
        } else {
          if (x == std::string::npos || !positive(word.substr(0, x), &a) || !positive(word.substr(x + 1), &b))
            return bad("lengths \"" + word + "\": give formats such as 1000x2000, or cut");
          item.formats.emplace_back(std::max(a, b), std::min(a, b));
        }
      }
      if (item.lengths.empty() && item.formats.empty()) return bad("no lengths: give them, or cut");
    }
    if (const std::string minus = field("minus"); !minus.empty()) {
      if (!parse_number(minus, &item.minus) || item.minus < 0)
        return bad("minus \"" + minus + "\": give 0 or more");
    }
    if (!field("density").empty() && !positive(field("density"), &item.density))
      return bad("density \"" + field("density") + "\": give kg/m^3, greater than 0");
    item.material = field("material");
    item.source = field("source");
    const std::string given = field("designation");
    if (!given.empty() && sizes_1.size() * std::max<std::size_t>(1, sizes_2.size()) > 1)
      return bad("one designation cannot name several sizes");
    for (double s1 : sizes_1) {
      const std::vector<double> widths = sizes_2.empty() ? std::vector<double>{0} : sizes_2;
      for (double s2 : widths) {
        // A flat bar is wider than it is thick; the series give every pair.
        if (item.family == StockFamily::Flat && s2 <= s1) continue;
        StockItem one = item;
        one.size_1 = s1;
        one.size_2 = s2;
        one.designation = given.empty() ? designation_of(one) : given;
        items->push_back(one);
      }
    }
  }
  if (column.empty()) {
    *error = name + ": no header line";
    return false;
  }
  if (items->empty()) {
    *error = name + ": no stock item";
    return false;
  }
  return true;
}

bool load_catalogue(const std::string& file, std::vector<StockItem>* items, std::string* error) {
  std::string path = file;
  if (file == "default") {
    path = find_resource("data/stock-default.csv");
    if (path.empty()) {
      *error = "default: the shipped catalogue is missing (looked for " +
               expected_resource("data/stock-default.csv") + ")";
      return false;
    }
  }
  std::string text;
  if (!read_file(path, &text)) {
    *error = path + ": cannot be read";
    return false;
  }
  return parse_catalogue(text, path, items, error);
}

bool fit(const StockItem& item, const StockNeed& need, StockCut* cut) {
  if (!item.material.empty() && !need.material.empty() && lower(item.material) != lower(need.material))
    return false;
  // A size holds a blank's size when the blank is no larger than the
  // smallest the stock may be delivered, give or take the measuring's noise.
  const auto holds = [&](double stock, double size, double noise) {
    return size <= stock - item.minus + noise;
  };
  const auto up = [&](double size, double noise) { return round_up_length(size, need.cut_step, noise); };
  const double l = need.sizes[0], w = need.sizes[1], t = need.sizes[2];
  StockCut c;
  c.item = &item;
  double cross_section = 0, length = 0, noise = 0;
  switch (item.family) {
    case StockFamily::Sheet:
    case StockFamily::Plate: {
      if (!holds(item.size_1, t, need.noise[2])) return false;
      c.cut[0] = up(l, need.noise[0]);
      c.cut[1] = up(w, need.noise[1]);
      if (!item.any_length &&
          std::none_of(item.formats.begin(), item.formats.end(), [&](const auto& f) {
            return c.cut[0] <= f.first && c.cut[1] <= f.second;
          }))
        return false;
      c.volume = item.size_1 * c.cut[0] * c.cut[1];
      c.text = item.designation + ": " + fixed6_trimmed(c.cut[0]) + " × " + fixed6_trimmed(c.cut[1]);
      *cut = c;
      return true;
    }
    case StockFamily::Flat:
      if (!holds(item.size_1, t, need.noise[2]) || !holds(item.size_2, w, need.noise[1])) return false;
      cross_section = item.size_1 * item.size_2;
      length = l;
      noise = need.noise[0];
      break;
    case StockFamily::Square:
      if (!holds(item.size_1, w, need.noise[1]) || !holds(item.size_1, t, need.noise[2])) return false;
      cross_section = item.size_1 * item.size_1;
      length = l;
      noise = need.noise[0];
      break;
    case StockFamily::Round:
      if (need.diameter <= 0 || !holds(item.size_1, need.diameter, need.cylinder_noise)) return false;
      cross_section = M_PI / 4 * item.size_1 * item.size_1;
      length = need.cylinder_length;
      noise = need.cylinder_noise;
      break;
    case StockFamily::Hex:
      if (need.across_flats <= 0 || !holds(item.size_1, need.across_flats, need.hexagon_noise)) return false;
      cross_section = std::sqrt(3.0) / 2 * item.size_1 * item.size_1;
      length = need.hexagon_length;
      noise = need.hexagon_noise;
      break;
  }
  c.cut[0] = up(length, noise);
  if (!item.any_length &&
      std::none_of(item.lengths.begin(), item.lengths.end(), [&](double s) { return c.cut[0] <= s; }))
    return false;
  c.volume = cross_section * c.cut[0];
  c.text = item.designation + ": " + fixed6_trimmed(c.cut[0]) + " long";
  *cut = c;
  return true;
}

bool choose_stock(const std::vector<StockItem>& items, const StockNeed& need,
                  const std::vector<StockFamily>& only, StockCut* cut) {
  // Stock of the part's own material, where the catalogue has some that
  // fits, before stock of any material.
  for (const bool own : {true, false}) {
    bool found = false;
    for (const StockItem& item : items) {
      if (!only.empty() && std::find(only.begin(), only.end(), item.family) == only.end()) continue;
      if (own != (!item.material.empty() && !need.material.empty())) continue;
      StockCut c;
      if (!fit(item, need, &c)) continue;
      // Volumes equal but for rounding are a tie.
      const bool less = !found || c.volume < cut->volume * (1 - 1e-12);
      const bool tie = found && !less && c.volume <= cut->volume * (1 + 1e-12);
      if (less || (tie && is_bar(item.family) && !is_bar(cut->item->family))) {
        *cut = c;
        found = true;
      }
    }
    if (found) return true;
  }
  return false;
}

}  // namespace ufhost::app
