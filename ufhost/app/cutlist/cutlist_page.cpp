// The cut list as one printable page: each row with a picture of its part
// in the blank's orientation and the blank drawn about it, as SVG, so that
// the page needs no script and no network.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "ufhost/app/cutlist/cutlist_internal.h"
#include "ufhost/app/run/list.h"
#include "ufhost/base/numbers.h"
#include "ufhost/base/text.h"
#include "ufhost/plan/units.h"

namespace ufhost::app {

std::string cutlist_page(const std::vector<CutRow>& rows, const std::vector<ShoppingLine>& shopping,
                         const std::vector<PlanJob>& plans, const std::vector<std::string>& errors,
                         const CutlistOptions& options) {
  std::string files;
  for (const OrderedFile& f : options.files)
    files += (files.empty() ? "" : ", ") + f.given + (f.ordered == 1 ? "" : " ×" + std::to_string(f.ordered));
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>Cut list: " +
      html_escape(files) +
      "</title>\n<style>\n"
      "@page { size: A4; margin: 12mm; }\n"
      "body { font: 10pt/1.35 sans-serif; color: #222; margin: 0 auto; max-width: 186mm; }\n"
      "h1 { font-size: 14pt; margin: 0 0 2mm; } h2 { font-size: 12pt; margin: 6mm 0 2mm; }\n"
      "table { border-collapse: collapse; width: 100%; }\n"
      "th, td { border-bottom: 0.3mm solid #bbb; padding: 1.5mm 2mm; text-align: left; vertical-align: top; }\n"
      "th { background: #eee; } td.n { text-align: right; white-space: nowrap; }\n"
      "tr { page-break-inside: avoid; break-inside: avoid; }\n"
      "svg.picture { width: 44mm; height: 32mm; display: block; }\n"
      ".small { color: #555; font-size: 8.5pt; }\n"
      "</style></head><body>\n<h1>Cut list</h1>\n<p class=\"small\">" +
      html_escape(files) + ". Orientation " + orientation_name(options.orientation) + "; allowance " +
      html_escape(sizes_text(options.allowance)) + " on each side. " + html_escape(units_note()) +
      " Blanks L × W × T; the blank is drawn in red.</p>\n"
      "<table id=\"rows\"><thead><tr><th>No.</th><th>Picture</th><th>Qty</th><th>Parts</th>"
      "<th>Blank</th><th>With allowance</th><th>Stock</th></tr></thead><tbody>\n";
  int number = 0;
  for (const CutRow& r : rows) {
    std::string blank = html_escape(sizes_text(r.blank)) + "<div class=\"small\">exact to " +
                        one_digit(r.exactness) + ", " + r.orientation;
    if (r.orientation == "turned") {
      const double* d = r.parts.front()->turned.degrees;
      blank += " (Z " + fixed6_trimmed(d[0]) + "°, Y " + fixed6_trimmed(d[1]) + "°, X " +
               fixed6_trimmed(d[2]) + "°, Z " + fixed6_trimmed(d[3]) + "°)";
    }
    if (r.kind != BarKind::Rect) blank += "<br>" + html_escape(bar_text(r));
    blank += "</div>";
    std::string stock = "-";
    if (!options.stock.empty()) stock = r.has_stock ? html_escape(r.stock.text) : "no stock fits";
    page += "<tr class=\"row\"><td class=\"n\">" + std::to_string(++number) + "</td><td>" +
            r.parts.front()->picture + "</td><td class=\"n\">" + std::to_string(r.quantity) + "</td><td>" +
            html_escape(names_text(r)) + (r.material.empty() ? "" : "<div class=\"small\">" + html_escape(r.material) + "</div>") +
            "</td><td>" + blank + "</td><td>" + html_escape(sizes_text(r.has_rounded ? r.rounded : r.with_allowance)) +
            "</td><td>" + stock + "</td></tr>\n";
  }
  page += "</tbody></table>\n";
  if (!shopping.empty()) {
    page += "<h2>Shopping list</h2>\n<table id=\"shopping\"><thead><tr><th>Stock</th><th>Material</th>"
            "<th>Pieces</th><th>Total</th><th>Mass</th><th>Buy</th><th>Cost</th></tr></thead><tbody>\n";
    for (const ShoppingLine& l : shopping) {
      char total[48], mass[32] = "-";
      if (is_bar(l.item->family)) std::snprintf(total, sizeof total, "%.3f m", l.length / 1000);
      else std::snprintf(total, sizeof total, "%.3f m²", l.area / 1e6);
      if (l.item->density > 0) std::snprintf(mass, sizeof mass, "%.2f kg", l.mass);
      page += "<tr><td>" + html_escape(l.item->designation) + "</td><td>" +
              html_escape(l.material.empty() ? "-" : l.material) + "</td><td class=\"n\">" +
              std::to_string(l.pieces) + "</td><td class=\"n\">" + total + "</td><td class=\"n\">" + mass +
              "</td><td>" + html_escape(l.buy) + "</td><td class=\"n\">" +
              (l.priced ? plan::format_money(l.cost) : "-") + "</td></tr>\n";
    }
    page += "</tbody></table>\n";
  }
  if (!plans.empty())
    page += "<h2>Cutting plans</h2>\n<p class=\"small\">" + html_escape(plan_settings_text(options.plan_settings)) +
            ". Each piece is labelled with its row's number; offcuts in green.</p>\n<div id=\"plans\">" +
            plans_html(plans) + "</div>\n";
  if (!errors.empty()) {
    page += "<h2>Errors</h2>\n<ul id=\"errors\">\n";
    for (const std::string& e : errors) page += "<li>" + html_escape(e) + "</li>\n";
    page += "</ul>\n";
  }
  return page + "</body></html>\n";
}

}  // namespace ufhost::app
