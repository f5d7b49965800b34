// Pictures of a body for printed pages: its triangles seen obliquely as
// SVG, with the blank it is cut from drawn about it.
#include "ufhost/geom/picture.h"

#include <BRepBndLib.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <Poly_Triangulation.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>
#include <gp_Ax1.hxx>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace ufhost {

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

}  // namespace

std::vector<gp_Dir> turned_axes(const double degrees[4]) {
  const gp_Trsf back = search_turn(degrees).Inverted();
  return {gp::DX().Transformed(back), gp::DY().Transformed(back), gp::DZ().Transformed(back)};
}

std::string picture_svg(const Object& body, const double* degrees, const double blank[3]) {
  const gp_Trsf turn = degrees != nullptr ? search_turn(degrees) : gp_Trsf();
  return svg_of(triangles_of(body, turn), blank);
}

}  // namespace ufhost
