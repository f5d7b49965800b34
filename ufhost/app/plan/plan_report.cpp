#include "ufhost/app/plan/plan_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>

#include "ufhost/app/run/list.h"
#include "ufhost/base/text.h"
#include "ufhost/plan/bars/bars.h"
#include "ufhost/plan/sheets/sheets.h"
#include "ufhost/plan/units.h"

// Sections:
//   [SECTION] Planning and totals
//   [SECTION] Table
//   [SECTION] JSON
//   [SECTION] Drawings and the page

namespace ufhost::app {

namespace {

using plan::Length;
__extension__ typedef __int128 Wide;  // areas summed over many sheets

double mm(Length length) { return static_cast<double>(length) / plan::kPerMillimetre; }
std::string mm_text(Length length) { return plan::format_millimetres(length); }

// "6000", "2500 × 1250": a size as the tables write it.
std::string size_text(Length length, Length width) {
  return mm_text(length) + (width > 0 ? " × " + mm_text(width) : "");
}

std::string money_text(plan::Money money) { return plan::format_money(money); }

std::string percent(double share) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %%", 100 * share);
  return text;
}

// A piece's size and label as a layout lists it: "1: 154", "shelf: 600 × 300".
std::string placed_text(const PlanJob& job, const plan::Placed& p) {
  const std::string label = job.pieces[p.piece].label;
  return (label.empty() ? "" : label + ": ") + size_text(p.length, job.bars ? 0 : p.width) +
         (p.turned ? " (turned)" : "");
}

}  // namespace

// [SECTION] Planning and totals

void run_plan(PlanJob* job) {
  try {
    job->plan = job->bars ? plan::plan_bars(job->pieces, job->stock, job->settings)
                          : plan::plan_sheets(job->pieces, job->stock, job->settings);
    job->planned = true;
    job->error.clear();
  } catch (const std::exception& e) {
    job->planned = false;
    job->error = job->designation + ": no plan: " + e.what();
  }
}

std::vector<std::string> plan_errors(const PlanJob& job) {
  std::vector<std::string> errors;
  if (!job.error.empty()) errors.push_back(job.error);
  if (!job.planned) return errors;
  const auto unplaced = [&](std::size_t i) {
    return std::find(job.plan.unplaced.begin(), job.plan.unplaced.end(), i) != job.plan.unplaced.end();
  };
  for (std::size_t i = 0; i < job.pieces.size(); ++i) {
    const plan::Piece& p = job.pieces[i];
    const std::string name = (p.label.empty() ? "a piece" : p.label) + " (" +
                             size_text(p.length, job.bars ? 0 : p.width) + ")";
    const std::int64_t missing = i < job.plan.missing.size() ? job.plan.missing[i] : 0;
    if (unplaced(i))
      errors.push_back(job.designation + ": " + name + " fits no " + (job.bars ? "bar" : "sheet") +
                       " of the stock, kerf and trim counted");
    else if (missing > 0)
      errors.push_back(job.designation + ": " + std::to_string(missing) + " of " + name +
                       " not planned: the stock at hand ran out");
  }
  return errors;
}

PlanTotals plan_totals(const PlanJob& job) {
  PlanTotals totals;
  if (!job.planned) return totals;
  const plan::Plan& p = job.plan;
  totals.priced = p.objective == plan::Objective::kCost;
  Wide bought = 0, used = 0;  // micrometres or square micrometres
  for (std::size_t s = 0; s < job.stock.size() && s < p.used.size(); ++s) {
    const plan::Stock& st = job.stock[s];
    if (st.price) totals.cost += p.used[s] * *st.price;
    bought += static_cast<Wide>(p.used[s]) * st.length * (job.bars ? 1 : st.width);
  }
  for (const plan::Layout& layout : p.layouts)
    for (const plan::Placed& piece : layout.pieces)
      used += static_cast<Wide>(layout.count) * piece.length * (job.bars ? 1 : piece.width);
  const double unit = job.bars ? 1e6 : 1e12;  // to metres, or square metres
  totals.waste = static_cast<double>(bought - used) / unit;
  totals.waste_share = bought > 0 ? static_cast<double>(bought - used) / static_cast<double>(bought) : 0;
  return totals;
}

// [SECTION] Table

namespace {

// The sizes a plan can buy (offcuts at hand are not bought).
std::size_t bought_sizes(const PlanJob& job) {
  std::size_t n = 0;
  for (const plan::Stock& s : job.stock) n += !s.offcut;
  return n;
}

// The bound in the objective's units: whole bars or sheets where one size
// is bought and nothing is priced, else metres, square metres or money.
std::string bound_text(const PlanJob& job) {
  if (!job.planned) return "-";
  const plan::Plan& p = job.plan;
  char text[64];
  if (p.objective == plan::Objective::kCost) {
    std::snprintf(text, sizeof text, "%.2f", p.lower_bound);
    return text;
  }
  if (bought_sizes(job) == 1) {
    for (const plan::Stock& s : job.stock) {
      if (s.offcut) continue;
      const double one = job.bars ? mm(s.length) / 1e3 : mm(s.length) * mm(s.width) / 1e6;
      const long long count = std::llround(p.lower_bound / one);
      return std::to_string(count) + (job.bars ? (count == 1 ? " bar" : " bars")
                                               : (count == 1 ? " sheet" : " sheets"));
    }
  }
  std::snprintf(text, sizeof text, job.bars ? "%.3f m" : "%.3f m²", p.lower_bound);
  return text;
}

std::string optimal_text(const PlanJob& job) {
  if (!job.planned) return "-";
  if (job.plan.optimal) return "optimal";
  if (!std::isfinite(job.plan.gap)) return "no bound";
  return "gap " + percent(job.plan.gap) + (job.plan.timed_out ? ", time limit" : "");
}

std::string waste_text(const PlanJob& job, const PlanTotals& totals) {
  char text[64];
  std::snprintf(text, sizeof text, job.bars ? "%.3f m (%s)" : "%.3f m² (%s)", totals.waste,
                percent(totals.waste_share).c_str());
  return text;
}

void size_rows(const PlanJob& job, std::vector<std::vector<std::string>>* rows) {
  const PlanTotals totals = plan_totals(job);
  bool first = true;
  for (std::size_t s = 0; s < job.stock.size(); ++s) {
    const plan::Stock& st = job.stock[s];
    const std::int64_t used = job.planned && s < job.plan.used.size() ? job.plan.used[s] : 0;
    if (used == 0) continue;
    const std::string size = (st.offcut ? "offcut " : "") + size_text(st.length, st.width);
    const std::string buy = st.offcut ? std::to_string(used) + " at hand" : std::to_string(used);
    const std::string cost = st.price ? money_text(used * *st.price) : "-";
    rows->push_back({first ? job.designation : "", size, buy, first ? bound_text(job) : "",
                     first ? optimal_text(job) : "", first ? waste_text(job, totals) : "", cost});
    first = false;
  }
  if (first) rows->push_back({job.designation, "-", "0", bound_text(job), optimal_text(job), "-", "-"});
}

// "1: 154 ×4, 2: 124": the layout's pieces, equal ones counted.
std::string pieces_text(const PlanJob& job, const plan::Layout& layout) {
  std::vector<std::pair<std::string, int>> counted;
  for (const plan::Placed& p : layout.pieces) {
    const std::string text = placed_text(job, p);
    if (!counted.empty() && counted.back().first == text) ++counted.back().second;
    else counted.push_back({text, 1});
  }
  std::vector<std::string> items;
  for (const auto& [text, n] : counted) items.push_back(n == 1 ? text : text + " ×" + std::to_string(n));
  return joined(items, ", ");
}

std::string offcuts_text(const plan::Layout& layout, bool bars) {
  std::vector<std::string> items;
  for (const plan::Offcut& o : layout.offcuts) items.push_back(size_text(o.length, bars ? 0 : o.width));
  return items.empty() ? "-" : joined(items, ", ");
}

}  // namespace

std::string plans_table(const std::vector<PlanJob>& jobs) {
  std::vector<std::vector<std::string>> sizes = {
      {"Stock", "Size", "Buy", "Lower bound", "Optimal", "Waste", "Cost"}};
  std::vector<std::vector<std::string>> layouts = {{"Stock", "Size", "Times", "Pieces", "Offcuts"}};
  for (const PlanJob& job : jobs) {
    size_rows(job, &sizes);
    if (!job.planned) continue;
    bool first = true;
    for (const plan::Layout& l : job.plan.layouts) {
      const plan::Stock& st = job.stock[l.stock];
      layouts.push_back({first ? job.designation : "", (st.offcut ? "offcut " : "") + size_text(st.length, st.width),
                         std::to_string(l.count), pieces_text(job, l), offcuts_text(l, job.bars)});
      first = false;
    }
  }
  return format_table(sizes, {false, false, true, true, false, true, true}) + "\nLayouts\n" +
         format_table(layouts, {false, false, true, false, false});
}

// [SECTION] JSON

namespace {

nlohmann::json stock_json(const PlanJob& job) {
  nlohmann::json sizes = nlohmann::json::array();
  for (std::size_t s = 0; s < job.stock.size(); ++s) {
    const plan::Stock& st = job.stock[s];
    const std::int64_t used = job.planned && s < job.plan.used.size() ? job.plan.used[s] : 0;
    nlohmann::json size = {{"length", mm(st.length)}, {"count", used}, {"offcut", st.offcut}};
    if (!job.bars) size["width"] = mm(st.width);
    size["price"] = st.price ? nlohmann::json(static_cast<double>(*st.price) / plan::kPerCurrencyUnit)
                             : nlohmann::json(nullptr);
    if (st.count >= 0) size["available"] = st.count;
    sizes.push_back(size);
  }
  return {{"designation", job.designation}, {"kind", job.bars ? "bar" : "sheet"}, {"sizes", sizes}};
}

nlohmann::json layout_json(const PlanJob& job, const plan::Layout& l) {
  const plan::Stock& st = job.stock[l.stock];
  nlohmann::json pieces = nlohmann::json::array();
  for (const plan::Placed& p : l.pieces)
    pieces.push_back({{"label", job.pieces[p.piece].label}, {"length", mm(p.length)}, {"width", mm(p.width)},
                      {"x", mm(p.x)}, {"y", mm(p.y)}, {"turned", p.turned}});
  nlohmann::json offcuts = nlohmann::json::array();
  for (const plan::Offcut& o : l.offcuts) {
    nlohmann::json offcut = {{"x", mm(o.x)}, {"length", mm(o.length)}};
    if (!job.bars) {
      offcut["y"] = mm(o.y);
      offcut["width"] = mm(o.width);
    }
    offcuts.push_back(offcut);
  }
  nlohmann::json out = {{"count", l.count}, {"length", mm(st.length)}, {"offcut", st.offcut},
                        {"pieces", pieces}, {"offcuts", offcuts}};
  if (!job.bars) out["width"] = mm(st.width);
  return out;
}

nlohmann::json plan_json(const PlanJob& job) {
  const PlanTotals totals = plan_totals(job);
  nlohmann::json out = {{"stock", stock_json(job)},
                        {"kerf", mm(job.settings.kerf)},
                        {"trim", mm(job.settings.trim)}};
  if (!job.bars) out["stages"] = job.settings.stages;
  if (!job.planned) {
    out["error"] = job.error;
    return out;
  }
  const plan::Plan& p = job.plan;
  out["objective"] = p.objective == plan::Objective::kCost ? "cost" : job.bars ? "metres" : "square metres";
  out["value"] = p.value;
  out["lower_bound"] = p.lower_bound;
  out["optimal"] = p.optimal;
  out["gap"] = std::isfinite(p.gap) ? nlohmann::json(p.gap) : nlohmann::json(nullptr);
  out["timed_out"] = p.timed_out;
  out["waste"] = totals.waste;
  out["cost"] = totals.priced ? nlohmann::json(static_cast<double>(totals.cost) / plan::kPerCurrencyUnit)
                              : nlohmann::json(nullptr);
  out["layouts"] = nlohmann::json::array();
  for (const plan::Layout& l : p.layouts) out["layouts"].push_back(layout_json(job, l));
  return out;
}

}  // namespace

nlohmann::json plans_json(const std::vector<PlanJob>& jobs) {
  nlohmann::json plans = nlohmann::json::array();
  for (const PlanJob& job : jobs) plans.push_back(plan_json(job));
  return plans;
}

// [SECTION] Drawings and the page

namespace {

std::string px(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", v);
  return text;
}

std::string rect(double x, double y, double w, double h, const std::string& cls) {
  return "<rect class=\"" + cls + "\" x=\"" + px(x) + "\" y=\"" + px(y) + "\" width=\"" + px(std::max(w, 0.6)) +
         "\" height=\"" + px(std::max(h, 0.6)) + "\"/>";
}

// A label centred in a box, when it fits there; else only its tooltip.
std::string label(double x, double y, double w, double h, const std::string& text) {
  const double size = std::min(9.0, h * 0.6);
  if (text.size() * size * 0.55 > w - 2 || size < 5) return "";
  return "<text x=\"" + px(x + w / 2) + "\" y=\"" + px(y + h / 2 + size * 0.35) + "\" font-size=\"" + px(size) +
         "\" text-anchor=\"middle\">" + html_escape(text) + "</text>";
}

constexpr const char* kStyle =
    "<style>.stock{fill:#d9d9d9;stroke:#555;stroke-width:.6}.trim{fill:#9a9a9a}"
    ".piece{fill:#cfe3f7;stroke:#2c6fb0;stroke-width:.6}.kerf{fill:#333}"
    ".offcut{fill:#e3f2d9;stroke:#5a9a3a;stroke-width:.6;stroke-dasharray:3 2}"
    "text{font-family:sans-serif;fill:#123}</style>";

std::string bar_svg(const PlanJob& job, const plan::Layout& layout, const plan::Stock& st) {
  const double width = 680, height = 26, scale = width / mm(st.length);
  const double trim = mm(job.settings.trim) * scale;
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"layout\" viewBox=\"0 0 " + px(width) + " " +
                    px(height) + "\" width=\"" + px(width) + "\" height=\"" + px(height) + "\">" + kStyle +
                    rect(0, 0, width, height, "stock");
  if (trim > 0) svg += rect(0, 0, trim, height, "trim") + rect(width - trim, 0, trim, height, "trim");
  std::vector<plan::Placed> pieces = layout.pieces;
  std::sort(pieces.begin(), pieces.end(), [](const auto& a, const auto& b) { return a.x < b.x; });
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const plan::Placed& p = pieces[i];
    const double x = mm(p.x) * scale, w = mm(p.length) * scale;
    svg += "<g><title>" + html_escape(placed_text(job, p)) + "</title>" + rect(x, 0, w, height, "piece") +
           label(x, 0, w, height, placed_text(job, p)) + "</g>";
    // The saw's cut after each piece but where the bar ends there.
    const double cut = mm(job.settings.kerf) * scale;
    if (cut > 0 && x + w + 0.01 < width - trim) svg += rect(x + w, 0, cut, height, "kerf");
  }
  for (const plan::Offcut& o : layout.offcuts) {
    const double x = mm(o.x) * scale, w = mm(o.length) * scale;
    svg += rect(x, 3, w, height - 6, "offcut") + label(x, 3, w, height - 6, "offcut " + mm_text(o.length));
  }
  return svg + "</svg>";
}

std::string sheet_svg(const PlanJob& job, const plan::Layout& layout, const plan::Stock& st) {
  const double scale = std::min(640 / mm(st.length), 300 / mm(st.width));
  const double width = mm(st.length) * scale, height = mm(st.width) * scale;
  const double trim = mm(job.settings.trim) * scale;
  // The sheet's y runs up, the picture's down.
  const auto y_of = [&](Length y, Length w) { return height - (mm(y) + mm(w)) * scale; };
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"layout\" viewBox=\"0 0 " + px(width) + " " +
                    px(height) + "\" width=\"" + px(width) + "\" height=\"" + px(height) + "\">" + kStyle +
                    rect(0, 0, width, height, "stock");
  if (trim > 0)
    svg += rect(0, 0, width, trim, "trim") + rect(0, height - trim, width, trim, "trim") +
           rect(0, 0, trim, height, "trim") + rect(width - trim, 0, trim, height, "trim");
  for (const plan::Offcut& o : layout.offcuts) {
    const double x = mm(o.x) * scale, y = y_of(o.y, o.width), w = mm(o.length) * scale, h = mm(o.width) * scale;
    svg += rect(x, y, w, h, "offcut") + label(x, y, w, h, "offcut " + size_text(o.length, o.width));
  }
  for (const plan::Placed& p : layout.pieces) {
    const double x = mm(p.x) * scale, y = y_of(p.y, p.width), w = mm(p.length) * scale, h = mm(p.width) * scale;
    svg += "<g><title>" + html_escape(placed_text(job, p)) + "</title>" + rect(x, y, w, h, "piece") +
           label(x, y, w, h, placed_text(job, p)) + "</g>";
  }
  return svg + "</svg>";
}

std::string cell(const std::string& text, bool number = false) {
  return std::string(number ? "<td class=\"n\">" : "<td>") + html_escape(text) + "</td>";
}

}  // namespace

std::string layout_svg(const PlanJob& job, const plan::Layout& layout) {
  const plan::Stock& st = job.stock[layout.stock];
  return job.bars ? bar_svg(job, layout, st) : sheet_svg(job, layout, st);
}

std::string plans_html(const std::vector<PlanJob>& jobs) {
  std::string html;
  for (const PlanJob& job : jobs) {
    html += "<section class=\"plan\"><h3>" + html_escape(job.designation) + "</h3>\n";
    std::vector<std::vector<std::string>> rows;
    size_rows(job, &rows);
    html += "<table class=\"plan-sizes\"><thead><tr><th>Size</th><th>Buy</th><th>Lower bound</th><th>Optimal</th>"
            "<th>Waste</th><th>Cost</th></tr></thead><tbody>\n";
    for (const auto& r : rows)
      html += "<tr>" + cell(r[1]) + cell(r[2], true) + cell(r[3], true) + cell(r[4]) + cell(r[5], true) +
              cell(r[6], true) + "</tr>\n";
    html += "</tbody></table>\n";
    if (job.planned)
      for (const plan::Layout& l : job.plan.layouts) {
        const plan::Stock& st = job.stock[l.stock];
        html += "<div class=\"layout\"><div class=\"small\">" + std::to_string(l.count) + " × " +
                (st.offcut ? "offcut " : "") + html_escape(size_text(st.length, st.width)) + ": " +
                html_escape(pieces_text(job, l)) + "</div>" + layout_svg(job, l) + "</div>\n";
      }
    for (const std::string& e : plan_errors(job)) html += "<p class=\"error\">" + html_escape(e) + "</p>\n";
    html += "</section>\n";
  }
  return html;
}

std::string plans_page(const std::vector<PlanJob>& jobs, const std::string& title,
                       const std::string& subtitle) {
  return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>" + html_escape(title) +
         "</title>\n<style>\n"
         "@page { size: A4; margin: 12mm; }\n"
         "body { font: 10pt/1.35 sans-serif; color: #222; margin: 0 auto; max-width: 186mm; }\n"
         "h1 { font-size: 14pt; margin: 0 0 2mm; } h3 { font-size: 11pt; margin: 5mm 0 2mm; }\n"
         "table { border-collapse: collapse; width: 100%; margin-bottom: 2mm; }\n"
         "th, td { border-bottom: 0.3mm solid #bbb; padding: 1mm 2mm; text-align: left; }\n"
         "th { background: #eee; } td.n { text-align: right; white-space: nowrap; }\n"
         ".layout { break-inside: avoid; margin: 1.5mm 0; } svg.layout { max-width: 100%; height: auto; }\n"
         ".small { color: #555; font-size: 8.5pt; } .error { color: #a00; }\n"
         "</style></head><body>\n<h1>" +
         html_escape(title) + "</h1>\n<p class=\"small\">" + html_escape(subtitle) + "</p>\n" + plans_html(jobs) +
         "</body></html>\n";
}

}  // namespace ufhost::app
