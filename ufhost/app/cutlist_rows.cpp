// The cut list's rows: parts whose blanks agree grouped, the allowance
// added, the stock chosen; the shopping list; and the outputs.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>
#include <tuple>

#include "ufhost/app/cutlist_internal.h"
#include "ufhost/app/list.h"
#include "ufhost/core/numbers.h"

namespace ufhost::app {

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

bool several_files(const CutlistOptions& options) { return options.run.parts.size() > 1; }

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
  std::vector<CutRow> rows;
  for (const Part* p : measured) {
    const Blank& b = p->blank();
    CutRow* into = nullptr;
    for (CutRow& r : rows) {
      const Blank& first = r.parts.front()->blank();
      const double tol = group_tolerance(options, first.exactness, b.exactness);
      if (lower(r.material) == lower(p->material) &&
          std::abs(first.sorted[0] - b.sorted[0]) <= tol && std::abs(first.sorted[1] - b.sorted[1]) <= tol &&
          std::abs(first.sorted[2] - b.sorted[2]) <= tol) {
        into = &r;
        break;
      }
    }
    if (into == nullptr) {
      rows.emplace_back();
      into = &rows.back();
      into->material = p->material;
    }
    into->parts.push_back(p);
  }
  for (CutRow& r : rows) {
    std::set<Orientation> orientations;
    for (const Part* p : r.parts) {
      const Blank& b = p->blank();
      r.quantity += p->quantity;
      r.exactness = std::max(r.exactness, b.exactness);
      for (int k = 0; k < 3; ++k) {
        // The row's blank holds every part of it.
        r.blank[k] = std::max(r.blank[k], b.sorted[k]);
        r.noise[k] = std::max(r.noise[k], b.noise[k]);
      }
      orientations.insert(p->chosen);
    }
    r.orientation = orientations.size() > 1 ? "mixed" : orientation_name(*orientations.begin());
    for (int k = 0; k < 3; ++k) r.with_allowance[k] = r.blank[k] + 2 * options.allowance[k];
    r.has_rounded = options.round_up > 0;
    if (r.has_rounded)
      for (int k = 0; k < 3; ++k)
        r.rounded[k] = round_up_length(r.with_allowance[k], options.round_up, r.noise[k]);
    if (!catalogue.empty()) {
      StockNeed need;
      int order[3] = {0, 1, 2};  // allowances per size may change which is largest
      std::sort(order, order + 3, [&](int a, int b) { return r.with_allowance[a] > r.with_allowance[b]; });
      for (int k = 0; k < 3; ++k) {
        need.sizes[k] = r.with_allowance[order[k]];
        need.noise[k] = r.noise[order[k]];
      }
      need.cut_step = options.round_up > 0 ? options.round_up : 1;
      need.material = r.material;
      r.has_stock = choose_stock(catalogue, need, options.prefer, &r.stock);
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
    for (const auto& [name, count] : p->names) names[name] += count;
  std::string text;
  for (const auto& [name, count] : names)
    text += (text.empty() ? "" : ", ") + name.first + (with_files ? " (" + name.second + ")" : "") +
            " ×" + std::to_string(count);
  return text;
}

std::string cutlist_table(const std::vector<CutRow>& rows, const std::vector<ShoppingLine>& shopping,
                          const std::vector<std::string>& errors, const CutlistOptions& options) {
  std::vector<std::string> header = {"No.", "Qty", "Parts", "Material", "L", "W", "T",
                                     "Orientation", "Angles Z, Y, X, Z°", "Exact to"};
  const bool allowance = options.allowance[0] > 0 || options.allowance[1] > 0 || options.allowance[2] > 0;
  if (allowance) header.push_back("With allowance");
  if (options.round_up > 0) header.push_back("Rounded up to " + general(options.round_up));
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
    if (!options.stock.empty()) c.push_back(r.has_stock ? r.stock.text : "no stock fits");
    cells.push_back(c);
  }
  std::string text = format_table(cells, right);
  if (!shopping.empty()) {
    std::vector<std::vector<std::string>> s = {
        {"Stock", "Material", "Pieces", "Total length (m)", "Total area (m²)", "Mass (kg)"}};
    for (const ShoppingLine& l : shopping) {
      char length[32] = "-", area[32] = "-", mass[32] = "-";
      if (is_bar(l.item->family)) std::snprintf(length, sizeof length, "%.3f", l.length / 1000);
      else std::snprintf(area, sizeof area, "%.3f", l.area / 1e6);
      if (l.item->density > 0) std::snprintf(mass, sizeof mass, "%.2f", l.mass);
      s.push_back({l.item->designation, l.material.empty() ? "-" : l.material, std::to_string(l.pieces),
                   length, area, mass});
    }
    text += "\nShopping list\n" + format_table(s, {false, false, true, true, true, true});
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
      "rounded_length,rounded_width,rounded_thickness,stock_family,stock,cut_1,cut_2,cut\n";
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

nlohmann::json cutlist_json(const std::vector<CutRow>& rows, const std::vector<ShoppingLine>& shopping,
                            const std::vector<std::string>& errors, const CutlistOptions& options) {
  nlohmann::json out = {{"units", units_note()},
                        {"orientation", orientation_name(options.orientation)},
                        {"allowance", {options.allowance[0], options.allowance[1], options.allowance[2]}},
                        {"files", options.run.parts}};
  if (options.group_tolerance >= 0) out["group_tolerance"] = options.group_tolerance;
  if (!options.stock.empty()) out["stock_catalogue"] = options.stock;
  const auto angles = [](const double* d) {
    return nlohmann::json{{"z", d[0]}, {"y", d[1]}, {"x", d[2]}, {"z2", d[3]}};
  };
  nlohmann::json json_rows = nlohmann::json::array();
  for (const CutRow& r : rows) {
    nlohmann::json parts = nlohmann::json::array();
    for (const Part* p : r.parts)
      for (const auto& [name, count] : p->names) {
        nlohmann::json entry = {{"name", name.first}, {"file", name.second}, {"quantity", count},
                                {"orientation", orientation_name(p->chosen)},
                                {"blank", {p->blank().sorted[0], p->blank().sorted[1], p->blank().sorted[2]}}};
        if (p->chosen == Orientation::Turned) entry["angles_deg"] = angles(p->turned.degrees);
        // Both blanks where both were measured, so that the choice can be seen.
        for (const auto& [key, b] : {std::pair<const char*, const Blank*>{"modelled", &p->modelled},
                                     {"turned", &p->turned}})
          if (b->measured) entry[key] = {b->sorted[0], b->sorted[1], b->sorted[2]};
        parts.push_back(entry);
      }
    nlohmann::json row = {{"quantity", r.quantity},
                          {"parts", parts},
                          {"material", r.material},
                          {"blank", {r.blank[0], r.blank[1], r.blank[2]}},
                          {"with_allowance", {r.with_allowance[0], r.with_allowance[1], r.with_allowance[2]}},
                          {"orientation", r.orientation},
                          {"exactness", r.exactness}};
    if (r.orientation == "turned") row["angles_deg"] = angles(r.parts.front()->turned.degrees);
    if (r.has_rounded) row["rounded"] = {r.rounded[0], r.rounded[1], r.rounded[2]};
    if (r.has_stock) {
      nlohmann::json cut = {r.stock.cut[0]};
      if (!is_bar(r.stock.item->family)) cut.push_back(r.stock.cut[1]);
      row["stock"] = {{"family", family_name(r.stock.item->family)},
                      {"designation", r.stock.item->designation},
                      {"cut", r.stock.text},
                      {"cut_sizes", cut},
                      {"volume", r.stock.volume},
                      {"source", r.stock.item->source}};
    } else {
      row["stock"] = nullptr;
    }
    json_rows.push_back(row);
  }
  out["rows"] = json_rows;
  nlohmann::json shop = nlohmann::json::array();
  for (const ShoppingLine& l : shopping) {
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
    shop.push_back(line);
  }
  out["shopping"] = shop;
  out["errors"] = errors;
  return out;
}

}  // namespace ufhost::app
