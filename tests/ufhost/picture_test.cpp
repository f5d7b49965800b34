// A body's picture for printed pages, and the turn the search gives it:
// the turns compose in the search's order, the turned axes are where the
// copy's X, Y and Z lie, and the picture stays inside its frame.
#include "ufhost/geom/picture.h"

#include <gtest/gtest.h>

#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>

#include <cmath>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using ufhost::Kind;
using ufhost::Object;

Object solid(const TopoDS_Shape& shape) {
  Object o;
  o.kind = Kind::SolidBody;
  o.shape = shape;
  return o;
}

// Every "x,y" of the picture's polygons and polylines.
std::vector<std::pair<double, double>> points_of(const std::string& svg) {
  std::vector<std::pair<double, double>> out;
  const std::string key = "points=\"";
  for (std::size_t at = svg.find(key); at != std::string::npos; at = svg.find(key, at)) {
    at += key.size();
    const std::size_t end = svg.find('"', at);
    std::istringstream list(svg.substr(at, end - at));
    for (std::string pair; list >> pair;) {
      const std::size_t comma = pair.find(',');
      out.push_back({std::stod(pair.substr(0, comma)), std::stod(pair.substr(comma + 1))});
    }
  }
  return out;
}

int count_of(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(Picture, TurnsComeAboutZYXAndZAgainInThatOrder) {
  struct Case {
    const char* name;
    double degrees[4];
    gp_Dir x_goes_to;
  };
  const Case cases[] = {
      {"none", {0, 0, 0, 0}, gp_Dir(1, 0, 0)},
      {"a quarter about Z", {90, 0, 0, 0}, gp_Dir(0, 1, 0)},
      {"a quarter about Y", {0, 90, 0, 0}, gp_Dir(0, 0, -1)},
      // Z first takes X to Y, which Y leaves; Y first would take it to -Z.
      {"about Z, then Y", {90, 90, 0, 0}, gp_Dir(0, 1, 0)},
      // Y takes X to -Z, X takes -Z to Y, the last Z takes Y to -X.
      {"about Y, X, then Z", {0, 90, 90, 90}, gp_Dir(-1, 0, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const gp_Dir x = gp::DX().Transformed(ufhost::search_turn(c.degrees));
    EXPECT_TRUE(x.IsEqual(c.x_goes_to, 1e-12)) << x.X() << " " << x.Y() << " " << x.Z();
  }
}

TEST(Picture, TurnedAxesAreWhereTheCopysAxesCameFrom) {
  const double degrees[4] = {17, -33.5, 71, 5};
  const gp_Trsf turn = ufhost::search_turn(degrees);
  const std::vector<gp_Dir> axes = ufhost::turned_axes(degrees);
  ASSERT_EQ(3u, axes.size());
  const gp_Dir global[3] = {gp::DX(), gp::DY(), gp::DZ()};
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(axes[k].Transformed(turn).IsEqual(global[k], 1e-12)) << k;
}

TEST(Picture, TheBodyAndItsBlankStayInsideTheFrame) {
  // The blank of a block 40 x 20 x 10 as it lies, and turned a twelfth
  // about Z: 40 cos 30 + 20 sin 30 by 40 sin 30 + 20 cos 30 by 10.
  const double degrees[4] = {30, 0, 0, 0};
  const double c = std::cos(M_PI / 6), s = std::sin(M_PI / 6);
  struct Case {
    const char* name;
    const double* turn;
    double blank[3];
  };
  const Case cases[] = {{"as it lies", nullptr, {40, 20, 10}},
                        {"turned", degrees, {40 * c + 20 * s, 40 * s + 20 * c, 10}}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const std::string svg =
        ufhost::picture_svg(solid(BRepPrimAPI_MakeBox(40, 20, 10).Shape()), k.turn, k.blank);
    ASSERT_EQ(0u, svg.rfind("<svg", 0)) << svg;
    EXPECT_EQ(12, count_of(svg, "<polyline")) << "the blank's twelve edges";
    EXPECT_GT(count_of(svg, "<polygon"), 0);
    EXPECT_EQ(std::string::npos, svg.find("nan"));
    const std::vector<std::pair<double, double>> points = points_of(svg);
    for (const auto& [x, y] : points) {
      EXPECT_GE(x, 0);
      EXPECT_LE(x, 220);
      EXPECT_GE(y, 0);
      EXPECT_LE(y, 160);
    }
    EXPECT_GT(points.size(), 24u);
  }
}

TEST(Picture, OnlyTheFrontOfAClosedBodyIsDrawn) {
  // A box shows three of its six faces from any oblique view: two
  // triangles a face.
  const double blank[3] = {1, 2, 3};
  const std::string svg = ufhost::picture_svg(solid(BRepPrimAPI_MakeBox(1, 2, 3).Shape()), nullptr, blank);
  EXPECT_EQ(6, count_of(svg, "<polygon"));
}

TEST(Picture, ManyTrianglesAreThinnedToWhatAPageCanHold) {
  const double blank[3] = {2, 2, 2};
  Object ball = solid(BRepPrimAPI_MakeSphere(1).Shape());
  // Dense enough that a sphere makes far more than a page may hold.
  Object mesh;
  mesh.kind = Kind::MeshBody;
  const int n = 20000;
  mesh.mesh = new Poly_Triangulation(3 * n, n, false);
  for (int i = 0; i < n; ++i) {
    mesh.mesh->SetNode(3 * i + 1, gp_Pnt(i * 1e-4, 0, 0));
    mesh.mesh->SetNode(3 * i + 2, gp_Pnt(i * 1e-4, 1, 0));
    mesh.mesh->SetNode(3 * i + 3, gp_Pnt(i * 1e-4, 0, 1));
    mesh.mesh->SetTriangle(i + 1, Poly_Triangle(3 * i + 1, 3 * i + 2, 3 * i + 3));
  }
  const std::string svg = ufhost::picture_svg(mesh, nullptr, blank);
  EXPECT_LE(count_of(svg, "<polygon"), 6000);
  EXPECT_GT(count_of(ufhost::picture_svg(ball, nullptr, blank), "<polygon"), 0);
}

TEST(Picture, NothingToDrawGivesNoPicture) {
  const double blank[3] = {1, 1, 1};
  Object empty;
  empty.kind = Kind::MeshBody;
  EXPECT_EQ("", ufhost::picture_svg(empty, nullptr, blank));
  EXPECT_EQ("", ufhost::picture_svg(solid(TopoDS_Shape()), nullptr, blank));
}

}  // namespace
