// The cut list as one printable page: each row with a picture of its part
// in the blank's orientation and the blank drawn about it, made here as SVG
// so that the page needs no script and no network.
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <BRepBndLib.hxx>
#include <Poly_Triangulation.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>
#include <gp_Ax1.hxx>
#include <gp_Trsf.hxx>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "ufhost/app/cutlist_internal.h"
#include "ufhost/app/list.h"
#include "ufhost/core/numbers.h"

namespace ufhost::app {

namespace {

// The picture's size in CSS pixels, and how many triangles it draws at most:
// enough to see the part, little enough to keep the page light.
constexpr double kWidth = 220, kHeight = 160;
constexpr std::size_t kMostTriangles = 6000;

struct Triangle {
  std::array<gp_Pnt, 3> corners;
};

}  // namespace

gp_Trsf search_turn(const double degrees[4]) {
  const gp_Dir axes[4] = {gp::DZ(), gp::DY(), gp::DX(), gp::DZ()};
  gp_Trsf turn;
  for (int k = 0; k < 4; ++k) {
    gp_Trsf step;
    step.SetRotation(gp_Ax1(gp::Origin(), axes[k]), degrees[k] * M_PI / 180.0);
    turn = step * turn;
  }
  return turn;
}

namespace {

// The body's triangles, turned. A body with faces is meshed coarsely here;
// this runs in a process of its own, so the part is the process's copy.
std::vector<Triangle> triangles_of(const Object& body, const gp_Trsf& turn) {
  std::vector<Triangle> out;
  const auto add = [&](const Poly_Triangulation& mesh, const gp_Trsf& place, bool reversed) {
    for (int t = 1; t <= mesh.NbTriangles() && out.size() < kMostTriangles; ++t) {
      int n[3];
      mesh.Triangle(t).Get(n[0], n[1], n[2]);
      if (reversed) std::swap(n[1], n[2]);
      Triangle tri;
      for (int k = 0; k < 3; ++k) tri.corners[k] = mesh.Node(n[k]).Transformed(place).Transformed(turn);
      out.push_back(tri);
    }
  };
  if (body.kind == Kind::MeshBody) {
    if (!body.mesh.IsNull()) add(*body.mesh, gp_Trsf(), false);
    return out;
  }
  Bnd_Box box;
  BRepBndLib::Add(body.shape, box);
  if (box.IsVoid()) return out;
  const double diagonal = std::sqrt(box.SquareExtent());
  BRepMesh_IncrementalMesh(body.shape, 0.01 * diagonal, false, 0.5);
  for (TopExp_Explorer e(body.shape, TopAbs_FACE); e.More(); e.Next()) {
    const TopoDS_Face& face = TopoDS::Face(e.Current());
    TopLoc_Location loc;
    const Handle(Poly_Triangulation) mesh = BRep_Tool::Triangulation(face, loc);
    if (!mesh.IsNull()) add(*mesh, loc.Transformation(), face.Orientation() == TopAbs_REVERSED);
  }
  return out;
}

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", v);
  return text;
}

// An oblique view from the front, right and above; faces lit from the
// viewer's upper left, the blank's edges over them.
std::string svg_of(const std::vector<Triangle>& triangles, const double blank[3]) {
  const gp_Dir view(1.0, -1.4, 1.1);  // towards the viewer
  const gp_Dir up_hint = gp::DZ();
  const gp_Dir right = up_hint.Crossed(view);
  const gp_Dir up = view.Crossed(right);
  const gp_Dir light(0.3, -0.5, 0.8);
  Bnd_Box box;
  for (const Triangle& t : triangles)
    for (const gp_Pnt& p : t.corners) box.Add(p);
  if (box.IsVoid()) return "";
  double lo[3], hi[3];
  box.Get(lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]);
  // The blank, centred on the facets' box: what the picture shows of where
  // it lies needs no more.
  double b_lo[3], b_hi[3];
  for (int k = 0; k < 3; ++k) {
    const double mid = 0.5 * (lo[k] + hi[k]);
    b_lo[k] = mid - 0.5 * blank[k];
    b_hi[k] = mid + 0.5 * blank[k];
  }
  const auto screen = [&](const gp_Pnt& p) {
    const gp_Vec v(p.XYZ());
    return std::array<double, 2>{v.Dot(gp_Vec(right)), -v.Dot(gp_Vec(up))};
  };
  double s_lo[2] = {HUGE_VAL, HUGE_VAL}, s_hi[2] = {-HUGE_VAL, -HUGE_VAL};
  for (int c = 0; c < 8; ++c) {
    const gp_Pnt corner(c & 1 ? b_hi[0] : b_lo[0], c & 2 ? b_hi[1] : b_lo[1], c & 4 ? b_hi[2] : b_lo[2]);
    const auto s = screen(corner);
    for (int k = 0; k < 2; ++k) {
      s_lo[k] = std::min(s_lo[k], s[k]);
      s_hi[k] = std::max(s_hi[k], s[k]);
    }
  }
  const double margin = 6;
  const double scale = std::min((kWidth - 2 * margin) / std::max(s_hi[0] - s_lo[0], 1e-12),
                                (kHeight - 2 * margin) / std::max(s_hi[1] - s_lo[1], 1e-12));
  const auto xy = [&](const gp_Pnt& p) {
    const auto s = screen(p);
    return number(margin + (s[0] - s_lo[0]) * scale) + "," + number(margin + (s[1] - s_lo[1]) * scale);
  };
  // Far triangles first.
  std::vector<std::pair<double, const Triangle*>> order;
  for (const Triangle& t : triangles) {
    const gp_XYZ centre = (t.corners[0].XYZ() + t.corners[1].XYZ() + t.corners[2].XYZ()) / 3;
    order.push_back({gp_Vec(centre).Dot(gp_Vec(view)), &t});
  }
  std::sort(order.begin(), order.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"picture\" viewBox=\"0 0 " +
                    number(kWidth) + " " + number(kHeight) + "\" width=\"" + number(kWidth) +
                    "\" height=\"" + number(kHeight) + "\">";
  for (const auto& [depth, t] : order) {
    const gp_Vec n = gp_Vec(t->corners[0], t->corners[1]).Crossed(gp_Vec(t->corners[0], t->corners[2]));
    // Facing away: hidden behind the front of a closed body.
    if (n.Magnitude() <= 0 || n.Dot(gp_Vec(view)) < 0) continue;
    const double lit = 0.35 + 0.65 * std::abs(n.Normalized().Dot(gp_Vec(light)));
    const int g = static_cast<int>(std::lround(90 + 150 * lit));
    char fill[16];
    std::snprintf(fill, sizeof fill, "#%02x%02x%02x", g * 7 / 10, g * 8 / 10, std::min(255, g));
    svg += "<polygon points=\"" + xy(t->corners[0]) + " " + xy(t->corners[1]) + " " + xy(t->corners[2]) +
           "\" fill=\"" + fill + "\" stroke=\"" + fill + "\" stroke-width=\"0.3\"/>";
  }
  svg += "<g class=\"blank\" stroke=\"#c0392b\" stroke-width=\"1.2\" fill=\"none\">";
  for (int c = 0; c < 8; ++c)
    for (int k = 0; k < 3; ++k) {
      if (c & (1 << k)) continue;
      const int d = c | (1 << k);
      const auto corner = [&](int i) {
        return gp_Pnt(i & 1 ? b_hi[0] : b_lo[0], i & 2 ? b_hi[1] : b_lo[1], i & 4 ? b_hi[2] : b_lo[2]);
      };
      svg += "<polyline points=\"" + xy(corner(c)) + " " + xy(corner(d)) + "\"/>";
    }
  svg += "</g></svg>";
  return svg;
}

std::string html_text(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '&') out += "&amp;";
    else if (c == '"') out += "&quot;";
    else out += c;
  }
  return out;
}

}  // namespace

std::string picture_of(const Part& part) {
  const Blank& blank = part.blank();
  const gp_Trsf turn = part.chosen == Orientation::Turned ? search_turn(blank.degrees) : gp_Trsf();
  return svg_of(triangles_of(part.body, turn), blank.lengths);
}

std::string cutlist_page(const std::vector<CutRow>& rows, const std::vector<ShoppingLine>& shopping,
                         const std::vector<std::string>& errors, const CutlistOptions& options) {
  std::string files;
  for (const std::string& f : options.run.parts) files += (files.empty() ? "" : ", ") + f;
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>Cut list: " +
      html_text(files) +
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
      html_text(files) + ". Orientation " + orientation_name(options.orientation) + "; allowance " +
      html_text(sizes_text(options.allowance)) + " on each side. " + html_text(units_note()) +
      " Blanks L × W × T; the blank is drawn in red.</p>\n"
      "<table id=\"rows\"><thead><tr><th>No.</th><th>Picture</th><th>Qty</th><th>Parts</th>"
      "<th>Blank</th><th>With allowance</th><th>Stock</th></tr></thead><tbody>\n";
  int number = 0;
  for (const CutRow& r : rows) {
    std::string blank = html_text(sizes_text(r.blank)) + "<div class=\"small\">exact to " +
                        one_digit(r.exactness) + ", " + r.orientation;
    if (r.orientation == "turned") {
      const double* d = r.parts.front()->turned.degrees;
      blank += " (Z " + fixed6_trimmed(d[0]) + "°, Y " + fixed6_trimmed(d[1]) + "°, X " +
               fixed6_trimmed(d[2]) + "°, Z " + fixed6_trimmed(d[3]) + "°)";
    }
    if (r.kind != BarKind::Rect) blank += "<br>" + html_text(bar_text(r));
    blank += "</div>";
    std::string stock = "-";
    if (!options.stock.empty()) stock = r.has_stock ? html_text(r.stock.text) : "no stock fits";
    page += "<tr class=\"row\"><td class=\"n\">" + std::to_string(++number) + "</td><td>" +
            r.parts.front()->picture + "</td><td class=\"n\">" + std::to_string(r.quantity) + "</td><td>" +
            html_text(names_text(r)) + (r.material.empty() ? "" : "<div class=\"small\">" + html_text(r.material) + "</div>") +
            "</td><td>" + blank + "</td><td>" + html_text(sizes_text(r.has_rounded ? r.rounded : r.with_allowance)) +
            "</td><td>" + stock + "</td></tr>\n";
  }
  page += "</tbody></table>\n";
  if (!shopping.empty()) {
    page += "<h2>Shopping list</h2>\n<table id=\"shopping\"><thead><tr><th>Stock</th><th>Material</th>"
            "<th>Pieces</th><th>Total</th><th>Mass</th></tr></thead><tbody>\n";
    for (const ShoppingLine& l : shopping) {
      char total[48], mass[32] = "-";
      if (is_bar(l.item->family)) std::snprintf(total, sizeof total, "%.3f m", l.length / 1000);
      else std::snprintf(total, sizeof total, "%.3f m²", l.area / 1e6);
      if (l.item->density > 0) std::snprintf(mass, sizeof mass, "%.2f kg", l.mass);
      page += "<tr><td>" + html_text(l.item->designation) + "</td><td>" +
              html_text(l.material.empty() ? "-" : l.material) + "</td><td class=\"n\">" +
              std::to_string(l.pieces) + "</td><td class=\"n\">" + total + "</td><td class=\"n\">" + mass +
              "</td></tr>\n";
    }
    page += "</tbody></table>\n";
  }
  if (!errors.empty()) {
    page += "<h2>Errors</h2>\n<ul id=\"errors\">\n";
    for (const std::string& e : errors) page += "<li>" + html_text(e) + "</li>\n";
    page += "</ul>\n";
  }
  return page + "</body></html>\n";
}

}  // namespace ufhost::app
