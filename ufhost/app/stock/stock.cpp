#include "ufhost/app/stock/stock.h"

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
#include "ufhost/plan/units.h"

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
const char* const kKnown[] = {"family", "designation", "size_1", "size_2",  "lengths", "price",
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

namespace {

// A standard length ("6000") or format ("1250x2500"), with its price after
// an @ when it has one. "" or why the word is none.
std::string read_standard(const std::string& word, bool bar, StandardSize* size) {
  const auto at = word.find('@');
  const std::string sizes = word.substr(0, at);
  if (at != std::string::npos) {
    const auto price = plan::parse_money(word.substr(at + 1));
    if (!price) return "the price after @ in \"" + word + "\": give a price, 0 or more";
    size->priced = true;
    size->price = *price;
  }
  const auto x = sizes.find('x');
  const std::string first = sizes.substr(0, x);
  const auto a = plan::parse_millimetres(first, plan::Rounding::kDown);
  if (bar) {
    if (x != std::string::npos || !a || *a <= 0) return "lengths \"" + word + "\": give lengths, or cut";
    size->length_um = *a;
  } else {
    const auto b = x == std::string::npos
                       ? std::nullopt
                       : plan::parse_millimetres(sizes.substr(x + 1), plan::Rounding::kDown);
    if (!a || !b || *a <= 0 || *b <= 0)
      return "lengths \"" + word + "\": give formats such as 1000x2000, or cut";
    size->length_um = std::max(*a, *b);
    size->width_um = std::min(*a, *b);
  }
  size->length = static_cast<double>(size->length_um) / plan::kPerMillimetre;
  size->width = static_cast<double>(size->width_um) / plan::kPerMillimetre;
  return "";
}

// The lengths column: "cut" and standard sizes. "" or what is wrong.
std::string read_lengths(const std::string& field, StockItem* item) {
  item->any_length = false;
  std::istringstream words(field);
  std::string word;
  while (words >> word) {
    if (lower(word) == "cut") {
      item->any_length = true;
      continue;
    }
    StandardSize size;
    if (std::string why = read_standard(lower(word), is_bar(item->family), &size); !why.empty()) return why;
    item->standard.push_back(size);
  }
  if (!item->any_length && item->standard.empty()) return "no lengths: give them, or cut";
  return "";
}

// The price column: "7.20/m" for bars, "95/m2" for sheets and plates.
std::string read_price(const std::string& field, StockItem* item) {
  if (field.empty()) return "";
  const std::string unit = is_bar(item->family) ? "/m" : "/m2";
  const std::string text = lower(field);
  const bool square_sign = text.size() > 4 && text.compare(text.size() - 4, 4, "/m\xC2\xB2") == 0;
  const std::size_t cut = square_sign ? text.size() - 4 : text.rfind(unit);
  const auto price = cut == std::string::npos || (!square_sign && cut + unit.size() != text.size())
                         ? std::nullopt
                         : plan::parse_money(text.substr(0, cut));
  if (!price || (square_sign && is_bar(item->family)))
    return "price \"" + field + "\": give what cutting to size costs, per " +
           (is_bar(item->family) ? "metre (7.20/m)" : "square metre (95/m2)");
  item->cut_priced = true;
  item->cut_price = *price;
  return "";
}

// One item of each size the line lists; a flat bar is wider than it is
// thick, and the series give every pair.
std::string expand(const StockItem& item, const std::vector<double>& sizes_1,
                   const std::vector<double>& sizes_2, const std::string& designation,
                   std::vector<StockItem>* items) {
  if (!designation.empty() && sizes_1.size() * std::max<std::size_t>(1, sizes_2.size()) > 1)
    return "one designation cannot name several sizes";
  for (double s1 : sizes_1) {
    const std::vector<double> widths = sizes_2.empty() ? std::vector<double>{0} : sizes_2;
    for (double s2 : widths) {
      if (item.family == StockFamily::Flat && s2 <= s1) continue;
      StockItem one = item;
      one.size_1 = s1;
      one.size_2 = s2;
      one.designation = designation.empty() ? designation_of(one) : designation;
      items->push_back(one);
    }
  }
  return "";
}

using Fields = std::map<std::string, std::size_t>;

// The header line's columns. "" or what is wrong.
std::string read_header(const std::vector<std::string>& f, Fields* column) {
  for (std::size_t i = 0; i < f.size(); ++i) {
    const std::string key = lower(f[i]);
    if (std::find(std::begin(kKnown), std::end(kKnown), key) == std::end(kKnown))
      return "unknown column \"" + f[i] + "\"";
    (*column)[key] = i;
  }
  for (const char* required : kRequired)
    if (!column->count(required)) return std::string("the header names no column ") + required;
  return "";
}

// One line of items. "" or what is wrong.
std::string read_item_line(const std::vector<std::string>& f, const Fields& column, int number,
                           std::vector<StockItem>* items) {
  const auto field = [&](const char* key) {
    const auto at = column.find(key);
    return at == column.end() || at->second >= f.size() ? std::string() : f[at->second];
  };
  StockItem item;
  item.line = number;
  if (!family_of(field("family"), &item.family))
    return "family \"" + field("family") + "\": give sheet, plate, flat, square, round or hex";
  std::vector<double> sizes_1, sizes_2;
  if (!numbers(field("size_1"), &sizes_1)) return "size_1 \"" + field("size_1") + "\": give sizes greater than 0";
  if (item.family == StockFamily::Flat && !numbers(field("size_2"), &sizes_2))
    return "a flat bar needs its width in size_2";
  if (item.family != StockFamily::Flat && !field("size_2").empty()) return "only a flat bar has a size_2";
  if (std::string why = read_lengths(field("lengths"), &item); !why.empty()) return why;
  if (std::string why = read_price(field("price"), &item); !why.empty()) return why;
  if (const std::string minus = field("minus"); !minus.empty()) {
    if (!parse_number(minus, &item.minus) || item.minus < 0) return "minus \"" + minus + "\": give 0 or more";
  }
  if (!field("density").empty() && !positive(field("density"), &item.density))
    return "density \"" + field("density") + "\": give kg/m^3, greater than 0";
  item.material = field("material");
  item.source = field("source");
  return expand(item, sizes_1, sizes_2, field("designation"), items);
}

}  // namespace

bool price_of(const StockItem& item, double length, double width, plan::Money* price) {
  for (const StandardSize& s : item.standard)
    if (s.priced && s.length == length && s.width == width) {
      *price = s.price;
      return true;
    }
  if (!item.cut_priced) return false;
  // Per metre, or per square metre: sizes in millimetres.
  const double amount = is_bar(item.family) ? length / 1e3 : length * width / 1e6;
  *price = static_cast<plan::Money>(std::llround(static_cast<double>(item.cut_price) * amount));
  return true;
}

std::vector<plan::Stock> standard_stock(const StockItem& item) {
  std::vector<plan::Stock> stock;
  for (const StandardSize& size : item.standard) {
    plan::Stock one;
    one.length = size.length_um;
    one.width = size.width_um;
    one.name = plan::format_millimetres(size.length_um) +
               (size.width_um > 0 ? " × " + plan::format_millimetres(size.width_um) : "");
    plan::Money price = 0;
    if (price_of(item, size.length, size.width, &price)) one.price = price;
    stock.push_back(one);
  }
  return stock;
}

bool parse_catalogue(const std::string& text, const std::string& name,
                     std::vector<StockItem>* items, std::string* error) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  Fields column;
  items->clear();
  while (std::getline(in, line)) {
    ++number;
    if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);  // a spreadsheet's mark
    if (trim(line).empty() || trim(line)[0] == '#') continue;
    std::vector<std::string> f;
    std::string why;
    if (!csv_fields(line, &f)) why = "a quote is not closed";
    else if (column.empty()) why = read_header(f, &column);
    else why = read_item_line(f, column, number, items);
    if (!why.empty()) {
      *error = name + ", line " + std::to_string(number) + ": " + why;
      return false;
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
          std::none_of(item.standard.begin(), item.standard.end(), [&](const StandardSize& f) {
            return c.cut[0] <= f.length && c.cut[1] <= f.width;
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
      std::none_of(item.standard.begin(), item.standard.end(),
                   [&](const StandardSize& s) { return c.cut[0] <= s.length; }))
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
