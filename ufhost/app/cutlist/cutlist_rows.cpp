// The cut list's rows: parts whose blanks agree grouped, the allowance
// added, the stock chosen; the shopping list; and the outputs.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>
#include <map>
#include <tuple>

#include "ufhost/app/cutlist/cutlist_internal.h"
#include "ufhost/app/run/list.h"
#include "ufhost/base/numbers.h"
#include "ufhost/base/text.h"
#include "ufhost/plan/units.h"

namespace ufhost::app {

namespace {

bool several_files(const CutlistOptions& options) { return options.files.size() > 1; }

// The order of stock in the table: bars before sheets, then the smaller section.
auto stock_key(const CutRow& r) {
  return std::make_tuple(!r.has_stock, r.has_stock ? static_cast<int>(r.stock.item->family) : 0,
                         r.has_stock ? r.stock.item->size_1 : 0.0, r.has_stock ? r.stock.item->size_2 : 0.0);
}

std::string angles_text(const CutRow& r) {
  if (r.orientation != "turned") return "-";
  const double* d = r.parts.front()->turned.degrees;
  return fixed6_trimmed(d[0]) + ", " + fixed6_trimmed(d[1]) + ", " + fixed6_trimmed(d[2]) + ", " +
         fixed6_trimmed(d[3]);
}

}  // namespace

double group_tolerance(const CutlistOptions& options, double exactness_a, double exactness_b) {
  return options.group_tolerance >= 0 ? options.group_tolerance : 2 * std::max(exactness_a, exactness_b);
}

namespace {

const std::vector<StockFamily> kRect = {StockFamily::Flat, StockFamily::Square, StockFamily::Plate,
                                        StockFamily::Sheet};

// The families a row of `kind` is cut from, of those --prefer leaves (none:
// the row has no stock).
std::vector<StockFamily> families_of(BarKind kind, const std::vector<StockFamily>& prefer) {
  std::vector<StockFamily> out;
  const std::vector<StockFamily> all =
      kind == BarKind::Round ? std::vector<StockFamily>{StockFamily::Round}
                             : kind == BarKind::Hex ? std::vector<StockFamily>{StockFamily::Hex} : kRect;
  for (StockFamily f : all)
    if (prefer.empty() || std::find(prefer.begin(), prefer.end(), f) != prefer.end()) out.push_back(f);
  return out;
}

BarKind kind_of(StockFamily family) {
  return family == StockFamily::Round ? BarKind::Round
                                      : family == StockFamily::Hex ? BarKind::Hex : BarKind::Rect;
}

// What a blank of these sizes, exactness and noise, with the allowance,
// needs of stock; the cylinder and hexagon where given.
StockNeed need_of(const double sizes[3], const double noise[3], double exactness, const std::string& material,
                  double diameter, double cylinder_length, double across_flats, double hexagon_length,
                  double shape_exactness, const CutlistOptions& options) {
  StockNeed need;
  double with[3];
  for (int k = 0; k < 3; ++k) with[k] = sizes[k] + 2 * options.allowance[k];
  int order[3] = {0, 1, 2};  // allowances per size may change which is largest
  std::sort(order, order + 3, [&](int a, int b) { return with[a] > with[b]; });
  for (int k = 0; k < 3; ++k) {
    need.sizes[k] = with[order[k]];
    need.noise[k] = noise[order[k]];
  }
  need.cut_step = options.round_up > 0 ? options.round_up : 1;
  need.material = material;
  // Across a bar: the allowance of its narrower sizes; along it: the length's.
  const double across = 2 * std::max(options.allowance[1], options.allowance[2]);
  const double along = 2 * options.allowance[0];
  if (diameter > 0) {
    need.diameter = diameter + across;
    need.cylinder_length = cylinder_length + along;
    need.cylinder_noise = rounding_noise(diameter, shape_exactness, exactness);
  }
  if (across_flats > 0) {
    need.across_flats = across_flats + across;
    need.hexagon_length = hexagon_length + along;
    need.hexagon_noise = rounding_noise(across_flats, shape_exactness, exactness);
  }
  return need;
}

StockNeed need_of(const Part& p, const CutlistOptions& options) {
  const Blank& b = p.blank();
  return need_of(b.sorted, b.noise, b.exactness, p.material, p.has_cylinder ? p.cylinder.diameter : 0,
                 p.cylinder.length, p.has_hexagon ? p.hexagon.across_flats : 0, p.hexagon.length,
                 std::max(p.cylinder.exact_to, p.hexagon.exact_to), options);
}

bool agree(double a, double b, double tol) { return std::abs(a - b) <= tol; }

// Whether part `p` of kind `kind` goes into the row whose first part is
// `first`: the same material and kind, and the sizes that kind is ordered
// by within the grouping tolerance.
bool same_row(const Part& first, BarKind first_kind, const Part& p, BarKind kind,
              const CutlistOptions& options) {
  if (lower(first.material) != lower(p.material) || first_kind != kind) return false;
  const Blank &a = first.blank(), &b = p.blank();
  const double tol = group_tolerance(options, std::max({a.exactness, first.cylinder.exact_to, first.hexagon.exact_to}),
                                     std::max({b.exactness, p.cylinder.exact_to, p.hexagon.exact_to}));
  if (kind == BarKind::Round)
    return agree(first.cylinder.diameter, p.cylinder.diameter, tol) &&
           agree(first.cylinder.length, p.cylinder.length, tol);
  if (kind == BarKind::Hex)
    return agree(first.hexagon.across_flats, p.hexagon.across_flats, tol) &&
           agree(first.hexagon.length, p.hexagon.length, tol);
  return agree(a.sorted[0], b.sorted[0], tol) && agree(a.sorted[1], b.sorted[1], tol) &&
         agree(a.sorted[2], b.sorted[2], tol);
}

}  // namespace

std::vector<CutRow> make_rows(const std::vector<Part>& parts, const CutlistOptions& options,
                              const std::vector<StockItem>& catalogue) {
  std::vector<const Part*> measured;
  for (const Part& p : parts)
    if (p.error.empty()) measured.push_back(&p);
  // Largest first, so that each row's first part is its largest and a part
  // joins the row of the first part it agrees with, never a chain of them.
  std::stable_sort(measured.begin(), measured.end(), [](const Part* a, const Part* b) {
    return std::lexicographical_compare(b->blank().sorted, b->blank().sorted + 3, a->blank().sorted,
                                        a->blank().sorted + 3);
  });
  // Each part's own stock says what kind of bar it is cut from; rows keep to one kind.
  std::map<const Part*, BarKind> kind;
  for (const Part* p : measured) {
    StockCut cut;
    kind[p] = !catalogue.empty() && choose_stock(catalogue, need_of(*p, options), options.prefer, &cut)
                  ? kind_of(cut.item->family)
                  : BarKind::Rect;
  }
  std::vector<CutRow> rows;
  for (const Part* p : measured) {
    CutRow* into = nullptr;
    for (CutRow& r : rows)
      if (same_row(*r.parts.front(), r.kind, *p, kind[p], options)) {
        into = &r;
        break;
      }
    if (into == nullptr) {
      rows.emplace_back();
      into = &rows.back();
      into->material = p->material;
      into->kind = kind[p];
    }
    into->parts.push_back(p);
  }
  for (CutRow& r : rows) {
    std::set<Orientation> orientations;
    r.has_cylinder = r.has_hexagon = true;
    for (const Part* p : r.parts) {
      const Blank& b = p->blank();
      r.quantity += p->quantity;
      r.exactness = std::max(r.exactness, b.exactness);
      for (int k = 0; k < 3; ++k) {
        // The row's blank holds every part of it.
        r.blank[k] = std::max(r.blank[k], b.sorted[k]);
        r.noise[k] = std::max(r.noise[k], b.noise[k]);
      }
      r.has_cylinder = r.has_cylinder && p->has_cylinder;
      r.has_hexagon = r.has_hexagon && p->has_hexagon;
      r.diameter = std::max(r.diameter, p->cylinder.diameter);
      r.cylinder_length = std::max(r.cylinder_length, p->cylinder.length);
      r.across_flats = std::max(r.across_flats, p->hexagon.across_flats);
      r.hexagon_length = std::max(r.hexagon_length, p->hexagon.length);
      r.shape_exactness = std::max({r.shape_exactness, p->cylinder.exact_to, p->hexagon.exact_to});
      orientations.insert(p->chosen);
    }
    r.orientation = orientations.size() > 1 ? "mixed" : orientation_name(*orientations.begin());
    for (int k = 0; k < 3; ++k) r.with_allowance[k] = r.blank[k] + 2 * options.allowance[k];
    r.has_rounded = options.round_up > 0;
    if (r.has_rounded)
      for (int k = 0; k < 3; ++k)
        r.rounded[k] = round_up_length(r.with_allowance[k], options.round_up, r.noise[k]);
    if (!catalogue.empty()) {
      const StockNeed need = need_of(r.blank, r.noise, r.exactness, r.material, r.has_cylinder ? r.diameter : 0,
                                     r.cylinder_length, r.has_hexagon ? r.across_flats : 0, r.hexagon_length,
                                     r.shape_exactness, options);
      const std::vector<StockFamily> only = families_of(r.kind, options.prefer);
      r.has_stock = !only.empty() && choose_stock(catalogue, need, only, &r.stock);
    }
  }
  std::stable_sort(rows.begin(), rows.end(), [](const CutRow& a, const CutRow& b) {
    if (stock_key(a) != stock_key(b)) return stock_key(a) < stock_key(b);
    return std::lexicographical_compare(b.blank, b.blank + 3, a.blank, a.blank + 3);
  });
  return rows;
}

std::vector<ShoppingLine> shopping_list(const std::vector<CutRow>& rows) {
  std::vector<ShoppingLine> lines;
  for (const CutRow& r : rows) {
    if (!r.has_stock) continue;
    auto at = std::find_if(lines.begin(), lines.end(), [&](const ShoppingLine& l) {
      return l.item == r.stock.item && lower(l.material) == lower(r.material);
    });
    if (at == lines.end()) {
      lines.push_back({r.stock.item, r.material});
      at = lines.end() - 1;
    }
    at->pieces += r.quantity;
    if (is_bar(r.stock.item->family)) at->length += r.quantity * r.stock.cut[0];
    else at->area += r.quantity * r.stock.cut[0] * r.stock.cut[1];
    // kg/m^3 times mm^3.
    at->mass += r.quantity * r.stock.volume * r.stock.item->density * 1e-9;
  }
  return lines;
}

std::string sizes_text(const double sizes[3]) {
  return fixed6_trimmed(sizes[0]) + " × " + fixed6_trimmed(sizes[1]) + " × " + fixed6_trimmed(sizes[2]);
}

std::string names_text(const CutRow& row, bool with_files) {
  std::map<std::pair<std::string, std::string>, int> names;
  for (const Part* p : row.parts)
    for (const auto& [name, count] : p->names) names[name] += count.total();
  std::string text;
  for (const auto& [name, count] : names)
    text += (text.empty() ? "" : ", ") + name.first + (with_files ? " (" + name.second + ")" : "") +
            " ×" + std::to_string(count);
  return text;
}

std::string bar_text(const CutRow& r) {
  if (r.kind == BarKind::Round) return "⌀" + fixed6(r.diameter) + " × " + fixed6(r.cylinder_length);
  if (r.kind == BarKind::Hex) return "hex " + fixed6(r.across_flats) + " × " + fixed6(r.hexagon_length);
  return "-";
}

std::string cutlist_table(const std::vector<CutRow>& rows, const std::vector<ShoppingLine>& shopping,
                          const std::vector<std::string>& errors, const CutlistOptions& options) {
  std::vector<std::string> header = {"No.", "Qty", "Parts", "Material", "L", "W", "T",
                                     "Orientation", "Angles Z, Y, X, Z°", "Exact to"};
  const bool allowance = options.allowance[0] > 0 || options.allowance[1] > 0 || options.allowance[2] > 0;
  if (allowance) header.push_back("With allowance");
  if (options.round_up > 0) header.push_back("Rounded up to " + general(options.round_up));
  const bool bars = std::any_of(rows.begin(), rows.end(), [](const CutRow& r) { return r.kind != BarKind::Rect; });
  if (bars) header.push_back("Bar");
  if (!options.stock.empty()) header.push_back("Stock");
  std::vector<std::vector<std::string>> cells = {header};
  std::vector<bool> right(header.size(), false);
  right[0] = right[1] = right[4] = right[5] = right[6] = right[9] = true;
  int number = 0;
  for (const CutRow& r : rows) {
    std::vector<std::string> c = {std::to_string(++number), std::to_string(r.quantity),
                                  names_text(r, several_files(options)),
                                  r.material.empty() ? "-" : r.material, fixed6(r.blank[0]),
                                  fixed6(r.blank[1]), fixed6(r.blank[2]), r.orientation,
                                  angles_text(r), one_digit(r.exactness)};
    if (allowance) c.push_back(sizes_text(r.with_allowance));
    if (options.round_up > 0) c.push_back(sizes_text(r.rounded));
    if (bars) c.push_back(bar_text(r));
    if (!options.stock.empty()) c.push_back(r.has_stock ? r.stock.text : "no stock fits");
    cells.push_back(c);
  }
  std::string text = format_table(cells, right);
  if (!shopping.empty()) {
    std::vector<std::vector<std::string>> s = {
        {"Stock", "Material", "Pieces", "Total length (m)", "Total area (m²)", "Mass (kg)", "Buy", "Cost"}};
    for (const ShoppingLine& l : shopping) {
      char length[32] = "-", area[32] = "-", mass[32] = "-";
      if (is_bar(l.item->family)) std::snprintf(length, sizeof length, "%.3f", l.length / 1000);
      else std::snprintf(area, sizeof area, "%.3f", l.area / 1e6);
      if (l.item->density > 0) std::snprintf(mass, sizeof mass, "%.2f", l.mass);
      s.push_back({l.item->designation, l.material.empty() ? "-" : l.material, std::to_string(l.pieces),
                   length, area, mass, l.buy, l.priced ? plan::format_money(l.cost) : "-"});
    }
    text += "\nShopping list\n" + format_table(s, {false, false, true, true, true, true, false, true});
  }
  if (!errors.empty()) {
    text += "\nErrors\n";
    for (const std::string& e : errors) text += "  " + e + "\n";
  }
  return text;
}

std::string cutlist_csv(const std::vector<CutRow>& rows, const CutlistOptions& options) {
  std::string text =
      "row,quantity,parts,material,orientation,angle_z_deg,angle_y_deg,angle_x_deg,angle_z2_deg,"
      "length,width,thickness,exactness,allowance_length,allowance_width,allowance_thickness,"
      "rounded_length,rounded_width,rounded_thickness,bar,diameter,bar_length,across_flats,"
      "stock_family,stock,cut_1,cut_2,cut\n";
  int number = 0;
  for (const CutRow& r : rows) {
    text += std::to_string(++number) + "," + std::to_string(r.quantity) + "," +
            csv_field(names_text(r, several_files(options))) + "," + csv_field(r.material) + "," +
            r.orientation;
    for (int k = 0; k < 4; ++k)
      text += "," + (r.orientation == "turned" ? all_digits(r.parts.front()->turned.degrees[k]) : "");
    for (double v : r.blank) text += "," + all_digits(v);
    text += "," + all_digits(r.exactness);
    for (double v : r.with_allowance) text += "," + all_digits(v);
    for (double v : r.rounded) text += "," + (r.has_rounded ? all_digits(v) : "");
    text += std::string(",") + (r.kind == BarKind::Round ? "round" : r.kind == BarKind::Hex ? "hex" : "") + "," +
            (r.has_cylinder ? all_digits(r.diameter) + "," + all_digits(r.cylinder_length) : ",") + "," +
            (r.has_hexagon ? all_digits(r.across_flats) : "");
    if (r.has_stock) {
      text += std::string(",") + family_name(r.stock.item->family) + "," + csv_field(r.stock.item->designation) +
              "," + all_digits(r.stock.cut[0]) + "," +
              (is_bar(r.stock.item->family) ? "" : all_digits(r.stock.cut[1])) + "," + csv_field(r.stock.text);
    } else {
      text += options.stock.empty() ? ",,,,," : ",,no stock fits,,,";
    }
    text += "\n";
  }
  return text;
}

std::string optimizer_csv(const std::vector<CutRow>& rows) {
  // The optimisers split lines at every comma: a label keeps none.
  const auto label = [](std::string text) {
    std::replace(text.begin(), text.end(), ',', ';');
    std::replace(text.begin(), text.end(), '"', '\'');
    return text;
  };
  std::string text = "Length,Width,Qty,Label,Enabled\n";
  for (const CutRow& r : rows) {
    double l = r.has_rounded ? r.rounded[0] : r.with_allowance[0];
    double w = r.has_rounded ? r.rounded[1] : r.with_allowance[1];
    std::string name = names_text(r);
    if (r.has_stock) {
      name += " - " + r.stock.item->designation;
      l = r.stock.cut[0];
      if (!is_bar(r.stock.item->family)) w = r.stock.cut[1];
    }
    text += fixed6_trimmed(l) + "," + fixed6_trimmed(w) + "," + std::to_string(r.quantity) + "," +
            label(name) + ",true\n";
  }
  return text;
}

namespace {

// The part's cylinder: its axis in the part's own frame, from the end where
// the part starts along it.
nlohmann::json cylinder_json(const Part& p) {
  const Cylinder& c = p.cylinder;
  return {{"diameter", c.diameter},
          {"length", c.length},
          {"axis",
           {{"origin", {c.origin.X(), c.origin.Y(), c.origin.Z()}},
            {"direction", {c.axis.X(), c.axis.Y(), c.axis.Z()}}}},
          {"exact_to", c.exact_to}};
}

}  // namespace

namespace {

nlohmann::json angles_json(const double* d) {
  return nlohmann::json{{"z", d[0]}, {"y", d[1]}, {"x", d[2]}, {"z2", d[3]}};
}

// One name of a part as the JSON lists it: its blanks, orientation, bar.
nlohmann::json part_json(const Part& p, const std::string& name, const std::string& file, PieceCount count) {
  nlohmann::json entry = {{"name", name}, {"file", file}, {"quantity", count.total()},
                          {"per_file", count.per_file}, {"ordered", count.ordered},
                          {"orientation", orientation_name(p.chosen)},
                          {"blank", {p.blank().sorted[0], p.blank().sorted[1], p.blank().sorted[2]}}};
  if (p.chosen == Orientation::Turned) entry["angles_deg"] = angles_json(p.turned.degrees);
  // Both blanks where both were measured, so that the choice can be seen.
  for (const auto& [key, b] : {std::pair<const char*, const Blank*>{"modelled", &p.modelled},
                               {"turned", &p.turned}})
    if (b->measured) entry[key] = {b->sorted[0], b->sorted[1], b->sorted[2]};
  if (p.has_cylinder) entry["cylinder"] = cylinder_json(p);
  if (p.has_hexagon)
    entry["hexagon"] = {{"across_flats", p.hexagon.across_flats},
                        {"length", p.hexagon.length},
                        {"turn_deg", p.hexagon.turn_rad * 180 / M_PI},
                        {"exact_to", p.hexagon.exact_to}};
  return entry;
}

nlohmann::json stock_json(const CutRow& r) {
  if (!r.has_stock) return nullptr;
  nlohmann::json cut = {r.stock.cut[0]};
  if (!is_bar(r.stock.item->family)) cut.push_back(r.stock.cut[1]);
  return {{"family", family_name(r.stock.item->family)},
          {"designation", r.stock.item->designation},
          {"cut", r.stock.text},
          {"cut_sizes", cut},
          {"volume", r.stock.volume},
          {"source", r.stock.item->source}};
}

nlohmann::json row_json(const CutRow& r) {
  nlohmann::json parts = nlohmann::json::array();
  for (const Part* p : r.parts)
    for (const auto& [name, count] : p->names) parts.push_back(part_json(*p, name.first, name.second, count));
  nlohmann::json row = {{"quantity", r.quantity},
                        {"parts", parts},
                        {"material", r.material},
                        {"blank", {r.blank[0], r.blank[1], r.blank[2]}},
                        {"with_allowance", {r.with_allowance[0], r.with_allowance[1], r.with_allowance[2]}},
                        {"orientation", r.orientation},
                        {"exactness", r.exactness}};
  if (r.orientation == "turned") row["angles_deg"] = angles_json(r.parts.front()->turned.degrees);
  if (r.has_cylinder) {
    nlohmann::json c = cylinder_json(*r.parts.front());
    c["diameter"] = r.diameter;
    c["length"] = r.cylinder_length;
    c["exact_to"] = r.shape_exactness;
    row["cylinder"] = c;
  }
  if (r.has_hexagon) row["hexagon"] = {{"across_flats", r.across_flats}, {"length", r.hexagon_length}};
  if (r.has_rounded) row["rounded"] = {r.rounded[0], r.rounded[1], r.rounded[2]};
  row["stock"] = stock_json(r);
  return row;
}

// The order: each file with how many of it are built.
nlohmann::json files_json(const CutlistOptions& options) {
  nlohmann::json files = nlohmann::json::array();
  for (const OrderedFile& f : options.files) files.push_back({{"file", f.given}, {"ordered", f.ordered}});
  return files;
}

nlohmann::json shopping_json(const ShoppingLine& l) {
  nlohmann::json line = {{"family", family_name(l.item->family)},
                         {"designation", l.item->designation},
                         {"material", l.material},
                         {"pieces", l.pieces}};
  if (is_bar(l.item->family)) line["length"] = l.length;
  else line["area"] = l.area;
  if (l.item->density > 0) {
    line["density"] = l.item->density;
    line["mass"] = l.mass;
  }
  line["buy"] = l.buy;
  line["cost"] = l.priced ? nlohmann::json(static_cast<double>(l.cost) / plan::kPerCurrencyUnit)
                          : nlohmann::json(nullptr);
  return line;
}

}  // namespace

nlohmann::json cutlist_json(const std::vector<CutRow>& rows, const std::vector<ShoppingLine>& shopping,
                            const std::vector<std::string>& errors, const CutlistOptions& options) {
  nlohmann::json out = {{"units", units_note()},
                        {"orientation", orientation_name(options.orientation)},
                        {"allowance", {options.allowance[0], options.allowance[1], options.allowance[2]}},
                        {"files", files_json(options)}};
  if (options.group_tolerance >= 0) out["group_tolerance"] = options.group_tolerance;
  if (!options.stock.empty()) out["stock_catalogue"] = options.stock;
  out["rows"] = nlohmann::json::array();
  for (const CutRow& r : rows) out["rows"].push_back(row_json(r));
  out["shopping"] = nlohmann::json::array();
  for (const ShoppingLine& l : shopping) out["shopping"].push_back(shopping_json(l));
  out["errors"] = errors;
  return out;
}

}  // namespace ufhost::app
