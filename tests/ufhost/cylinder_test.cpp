// The smallest cylinder and hexagon about a body: turned parts against
// their analytic sizes wherever they are placed, a part without faces of
// revolution against dense samples of its exact faces and 10,000
// directions, and inputs that hold no exact faces.
#include "ufhost/enclosing/cylinder.h"

#include <gtest/gtest.h>

#include <BRepAdaptor_Curve.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakePolygon.hxx>
#include <BRepBuilderAPI_NurbsConvert.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepOffsetAPI_ThruSections.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCone.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRepPrimAPI_MakeTorus.hxx>
#include <BRepTools.hxx>
#include <BRepTopAdaptor_FClass2d.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <Geom_BSplineSurface.hxx>
#include <Geom_OffsetSurface.hxx>
#include <Poly_Triangulation.hxx>
#include <TColStd_Array1OfInteger.hxx>
#include <TColStd_Array1OfReal.hxx>
#include <TColgp_Array2OfPnt.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <gp_Pln.hxx>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

#include "tests/support/shapes.h"
#include "tests/support/support.h"
#include "ufhost/parts/part_io.h"
#include "ufhost/session/session.h"

namespace {

using ufhost::Cylinder;
using ufhost::Hexagon;

constexpr double kTolerance = 1e-8;

gp_Trsf placement(unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  gp_XYZ axis;
  do axis.SetCoord(unit(rng), unit(rng), unit(rng));
  while (axis.Modulus() < 0.1);
  gp_Trsf turn, move;
  turn.SetRotation(gp_Ax1(gp::Origin(), gp_Dir(axis)), M_PI * unit(rng));
  move.SetTranslation(gp_Vec(100 * unit(rng), 100 * unit(rng), 100 * unit(rng)));
  return move * turn;
}

TopoDS_Shape placed(const TopoDS_Shape& shape, const gp_Trsf& where) {
  return BRepBuilderAPI_Transform(shape, where, Standard_True).Shape();
}

// Points of the exact faces (an n x n grid over each face's parameters,
// where the face's classifier puts them inside: near its edges it takes a
// band of their polygons, beyond a corner where two meet, for on it) and
// of the edges.
std::vector<gp_Pnt> points_on(const TopoDS_Shape& shape, int n) {
  std::vector<gp_Pnt> out;
  for (TopExp_Explorer e(shape, TopAbs_FACE); e.More(); e.Next()) {
    const TopoDS_Face& face = TopoDS::Face(e.Current());
    double u1 = 0, u2 = 0, v1 = 0, v2 = 0;
    BRepTools::UVBounds(face, u1, u2, v1, v2);
    BRepTopAdaptor_FClass2d inside(face, 1e-9);
    const Handle(Geom_Surface) surface = BRep_Tool::Surface(face);
    for (int i = 0; i <= n; ++i)
      for (int j = 0; j <= n; ++j) {
        const gp_Pnt2d uv(u1 + (u2 - u1) * i / n, v1 + (v2 - v1) * j / n);
        if (inside.Perform(uv) == TopAbs_IN) out.push_back(surface->Value(uv.X(), uv.Y()));
      }
  }
  for (TopExp_Explorer e(shape, TopAbs_EDGE); e.More(); e.Next()) {
    if (BRep_Tool::Degenerated(TopoDS::Edge(e.Current()))) continue;
    const BRepAdaptor_Curve c(TopoDS::Edge(e.Current()));
    for (int i = 0; i <= 4 * n; ++i)
      out.push_back(c.Value(c.FirstParameter() + (c.LastParameter() - c.FirstParameter()) * i / (4 * n)));
  }
  return out;
}

// How far the farthest point lies outside the cylinder (negative: inside).
double outside(const Cylinder& c, const std::vector<gp_Pnt>& points) {
  double most = -HUGE_VAL;
  for (const gp_Pnt& p : points) {
    const gp_XYZ q = p.XYZ() - c.origin.XYZ();
    const double along = q.Dot(c.axis.XYZ());
    const double across = (q - along * c.axis.XYZ()).Modulus();
    most = std::max({most, across - 0.5 * c.diameter, -along, along - c.length});
  }
  return most;
}

// The loosest tolerance of the shape: how far its edges may lie from its
// faces, and so its sampled points from what the measures bound.
double loosest(const TopoDS_Shape& shape) {
  const std::vector<double> all = testing_support::tolerances(shape);
  return all.empty() ? 0.0 : *std::max_element(all.begin(), all.end());
}

Cylinder cylinder_of(const TopoDS_Shape& shape, const std::vector<gp_Dir>& blank_edges = {}) {
  Cylinder c;
  std::string error;
  EXPECT_TRUE(ufhost::smallest_cylinder(shape, blank_edges, kTolerance, &c, &error)) << error;
  return c;
}

TopoDS_Shape flanged_bushing() {  // flange 40 across and 5 thick, body 24 across, bore 16, 30 long
  const TopoDS_Shape outside = BRepAlgoAPI_Fuse(BRepPrimAPI_MakeCylinder(20, 5).Shape(),
                                                BRepPrimAPI_MakeCylinder(12, 30).Shape())
                                   .Shape();
  const gp_Ax2 below(gp_Pnt(0, 0, -5), gp_Dir(0, 0, 1));
  return BRepAlgoAPI_Cut(outside, BRepPrimAPI_MakeCylinder(below, 8, 40).Shape()).Shape();
}

// A pin of radius 4 and 30 long with a domed end (a sphere) and a bead (a
// torus of radius 4 + 1.5) at z = 10: 11 across, 34 long.
TopoDS_Shape domed_pin() {
  TopoDS_Shape pin = BRepAlgoAPI_Fuse(BRepPrimAPI_MakeCylinder(4, 30).Shape(),
                                      BRepPrimAPI_MakeSphere(gp_Pnt(0, 0, 30), 4).Shape())
                         .Shape();
  const gp_Ax2 bead(gp_Pnt(0, 0, 10), gp_Dir(0, 0, 1));
  return BRepAlgoAPI_Fuse(pin, BRepPrimAPI_MakeTorus(bead, 4, 1.5).Shape()).Shape();
}

// A lofted block with free-form sides, widest in the middle and twisted:
// no face of revolution.
TopoDS_Shape lofted_block() {
  BRepOffsetAPI_ThruSections loft(Standard_True, Standard_False);
  auto section = [](double w, double h, double turn, double z) {
    BRepBuilderAPI_MakePolygon p;
    for (const auto& c : {std::make_pair(-w, -h), std::make_pair(w, -h), std::make_pair(w, h),
                          std::make_pair(-w, h)})
      p.Add(gp_Pnt(c.first * std::cos(turn) - c.second * std::sin(turn),
                   c.first * std::sin(turn) + c.second * std::cos(turn), z));
    p.Close();
    return p.Wire();
  };
  loft.AddWire(section(5, 5, 0.0, 0));
  loft.AddWire(section(9, 4.5, 0.5, 12));
  loft.AddWire(section(4, 4, 0.2, 25));
  loft.Build();
  return loft.Shape();
}

TEST(Cylinder, TurnedPartsMeasureTheirAnalyticSizeWhereverPlaced) {
  struct Case {
    const char* name;
    TopoDS_Shape part;  // about Z from z = 0
    double diameter, length;
  };
  const Case cases[] = {
      {"stepped shaft", testing_support::stepped_shaft(), 30, 65},
      {"flanged bushing", flanged_bushing(), 40, 30},
      // Thick enough that no cylinder across it is narrower.
      {"hexagonal nut", testing_support::hex_nut(17, 14, 5), 2 * 17 / std::sqrt(3.0), 14},
      {"cone", BRepPrimAPI_MakeCone(10, 0, 25).Shape(), 20, 25},
      {"domed pin with a bead", domed_pin(), 11, 34},
  };
  for (const Case& c : cases)
    for (unsigned seed : {11u, 12u, 13u}) {
      SCOPED_TRACE(std::string(c.name) + ", placement " + std::to_string(seed));
      const gp_Trsf where = placement(seed);
      const TopoDS_Shape part = placed(c.part, where);
      const Cylinder cyl = cylinder_of(part);
      EXPECT_LE(cyl.exact_to, 1e-7);
      EXPECT_TRUE(cyl.from_revolution);
      // It holds the part, so it is no smaller than the smallest; and it is
      // within its exactness of it.
      EXPECT_GE(cyl.diameter, c.diameter - 1e-9);
      EXPECT_LE(cyl.diameter, c.diameter + cyl.exact_to + 1e-12);
      EXPECT_GE(cyl.length, c.length - 1e-9);
      EXPECT_LE(cyl.length, c.length + cyl.exact_to + 1e-12);
      const gp_Dir z = gp_Dir(0, 0, 1).Transformed(where);
      EXPECT_TRUE(cyl.axis.IsParallel(z, 1e-9));
      // The origin is the end of the axis where the part starts along it.
      const gp_Pnt start = gp_Pnt(0, 0, cyl.axis.IsEqual(z, 1e-6) ? 0 : c.length).Transformed(where);
      EXPECT_LT(cyl.origin.Distance(start), 1e-7);
      EXPECT_LE(outside(cyl, points_on(part, 40)), loosest(part));
    }
}

TEST(Cylinder, HexagonHoldsTheOutlineAtItsBestTurn) {
  for (unsigned seed : {21u, 22u}) {
    SCOPED_TRACE(seed);
    const gp_Trsf where = placement(seed);
    const gp_Dir z = gp_Dir(0, 0, 1).Transformed(where), y = gp_Dir(0, 1, 0).Transformed(where);
    struct Case {
      const char* name;
      TopoDS_Shape part;
      bool about_own_axis;  // else about the smallest cylinder's
      double across_flats;
    };
    // A nut of common height is narrower across than along its axis; its
    // hexagon is asked about its own axis.
    const Case cases[] = {
        {"thick nut", placed(testing_support::hex_nut(17, 14, 5), where), false, 17},
        {"nut", placed(testing_support::hex_nut(17, 8, 4.25), where), true, 17},
        // Four of the six flats touch the collar whatever the turn.
        {"stepped shaft", placed(testing_support::stepped_shaft(), where), false, 30},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      Cylinder about;
      if (c.about_own_axis) {
        about.axis = z;
        about.origin = gp_Pnt(0, 0, 0).Transformed(where);
      } else {
        about = cylinder_of(c.part);
      }
      Hexagon hex;
      std::string error;
      ASSERT_TRUE(ufhost::smallest_hexagon(c.part, about, kTolerance, &hex, &error)) << error;
      EXPECT_LE(hex.exact_to, 1e-7);
      EXPECT_GE(hex.across_flats, c.across_flats - 1e-9);
      EXPECT_LE(hex.across_flats, c.across_flats + hex.exact_to + 1e-12);
      EXPECT_DOUBLE_EQ(about.length, hex.length);
      // The turn names the flat normal, from the reference direction.
      const gp_Dir ref = ufhost::reference_direction(about.axis);
      const gp_Dir normal(std::cos(hex.turn_rad) * ref.XYZ() +
                          std::sin(hex.turn_rad) * about.axis.XYZ().Crossed(ref.XYZ()));
      EXPECT_TRUE(hex.flat_normal.IsEqual(normal, 1e-12));
      EXPECT_GE(hex.turn_rad, 0.0);
      EXPECT_LT(hex.turn_rad, M_PI / 3);
      if (c.across_flats == 17) {
        // The nut's own flats: the normal is Y turned by a sixth of a turn.
        const double apart = hex.flat_normal.Angle(y) / (M_PI / 3);
        EXPECT_NEAR(apart, std::round(apart), 1e-7);
      }
    }
  }
}

// The smallest circle holding points seen along `d` (Welzl's incremental
// form over points in random order).
double circle_radius(const std::vector<gp_Pnt>& points, const gp_Dir& d) {
  const gp_Dir e1 = ufhost::reference_direction(d), e2 = d.Crossed(e1);
  std::vector<std::pair<double, double>> p;
  for (const gp_Pnt& q : points) p.push_back({q.XYZ().Dot(e1.XYZ()), q.XYZ().Dot(e2.XYZ())});
  struct C {
    double x, y, r;
  } c{p[0].first, p[0].second, 0};
  auto holds = [&](const std::pair<double, double>& q) {
    return std::hypot(q.first - c.x, q.second - c.y) <= c.r * (1 + 1e-12);
  };
  auto two = [](const std::pair<double, double>& a, const std::pair<double, double>& b) {
    return C{(a.first + b.first) / 2, (a.second + b.second) / 2,
             std::hypot(a.first - b.first, a.second - b.second) / 2};
  };
  auto three = [&](const std::pair<double, double>& a, const std::pair<double, double>& b,
                   const std::pair<double, double>& q) {
    const double bx = b.first - a.first, by = b.second - a.second, cx = q.first - a.first,
                 cy = q.second - a.second, det = 2 * (bx * cy - by * cx);
    if (std::abs(det) < 1e-14 * (bx * bx + by * by + cx * cx + cy * cy)) {
      C best = two(a, b);
      for (const C& o : {two(a, q), two(b, q)})
        if (o.r > best.r) best = o;
      return best;
    }
    const double ux = (cy * (bx * bx + by * by) - by * (cx * cx + cy * cy)) / det;
    const double uy = (bx * (cx * cx + cy * cy) - cx * (bx * bx + by * by)) / det;
    return C{a.first + ux, a.second + uy, std::hypot(ux, uy)};
  };
  for (std::size_t i = 1; i < p.size(); ++i) {
    if (holds(p[i])) continue;
    c = {p[i].first, p[i].second, 0};
    for (std::size_t j = 0; j < i; ++j) {
      if (holds(p[j])) continue;
      c = two(p[i], p[j]);
      for (std::size_t k = 0; k < j; ++k)
        if (!holds(p[k])) c = three(p[i], p[j], p[k]);
    }
  }
  return c.r;
}

TEST(Cylinder, PartWithoutSurfacesOfRevolutionBeatsTenThousandDirections) {
  for (unsigned seed : {31u, 32u}) {
    SCOPED_TRACE(seed);
    const TopoDS_Shape part = placed(lofted_block(), placement(seed));
    const Cylinder cyl = cylinder_of(part);
    EXPECT_FALSE(cyl.from_revolution);
    EXPECT_LE(cyl.exact_to, 1e-7);
    EXPECT_LE(outside(cyl, points_on(part, 80)), loosest(part));

    // Seen along each of 10,000 directions over the half sphere, the circle
    // of sampled points bounds the smallest cylinder along it from below.
    // Taken in that order, exact cylinders along them need be measured only
    // until the next bound is no smaller than the best found.
    std::vector<gp_Pnt> sample = points_on(part, 16);
    std::shuffle(sample.begin(), sample.end(), std::mt19937(seed));
    std::vector<std::pair<double, gp_Dir>> directions;
    const double golden = M_PI * (3 - std::sqrt(5.0));
    for (int i = 0; i < 10000; ++i) {
      const double zc = (i + 0.5) / 10000, rho = std::sqrt(1 - zc * zc);
      const gp_Dir d(rho * std::cos(golden * i), rho * std::sin(golden * i), zc);
      directions.push_back({2 * circle_radius(sample, d), d});
    }
    std::sort(directions.begin(), directions.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    double best = HUGE_VAL;
    for (const auto& d : directions) {
      if (d.first >= best) break;
      Cylinder along;
      std::string error;
      ASSERT_TRUE(ufhost::cylinder_along(part, d.second, kTolerance, &along, &error)) << error;
      best = std::min(best, along.diameter - along.exact_to);
    }
    EXPECT_LE(cyl.diameter, best + cyl.exact_to);
  }
}

TEST(Cylinder, BarOfABlockLiesAlongItsLongEdge) {
  const gp_Trsf where = placement(41);
  const TopoDS_Shape block = placed(BRepPrimAPI_MakeBox(10, 20, 100).Shape(), where);
  const std::vector<gp_Dir> edges = {gp_Dir(1, 0, 0).Transformed(where), gp_Dir(0, 1, 0).Transformed(where),
                                     gp_Dir(0, 0, 1).Transformed(where)};
  for (const std::vector<gp_Dir>& given : {edges, std::vector<gp_Dir>{}}) {
    SCOPED_TRACE(given.empty() ? "principal axes" : "blank edges");
    const Cylinder cyl = cylinder_of(block, given);
    EXPECT_NEAR(cyl.diameter, std::sqrt(10.0 * 10 + 20 * 20), cyl.exact_to + 1e-12);
    EXPECT_NEAR(cyl.length, 100, cyl.exact_to + 1e-12);
    EXPECT_TRUE(cyl.axis.IsParallel(edges[2], 1e-9));
  }
}

// The least diameter lies across a common nut; the least bar, by volume,
// along its axis, as a cut list orders it. A shaft is the same both ways.
TEST(Cylinder, LeastVolumeTakesTheBarANutIsCutFrom) {
  const gp_Trsf where = placement(43);
  const gp_Dir z = gp_Dir(0, 0, 1).Transformed(where);
  struct Case {
    const char* name;
    TopoDS_Shape part;
    double diameter, length;
  };
  const Case cases[] = {
      {"nut", placed(testing_support::hex_nut(17, 8, 4.25), where), 2 * 17 / std::sqrt(3.0), 8},
      {"stepped shaft", placed(testing_support::stepped_shaft(), where), 30, 65},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Cylinder cyl;
    std::string error;
    ASSERT_TRUE(ufhost::smallest_cylinder(c.part, {}, kTolerance, &cyl, &error, ufhost::Smallest::kVolume))
        << error;
    EXPECT_TRUE(cyl.axis.IsParallel(z, 1e-9));
    EXPECT_NEAR(cyl.diameter, c.diameter, cyl.exact_to + 1e-9);
    EXPECT_NEAR(cyl.length, c.length, cyl.exact_to + 1e-9);
  }
}

TEST(Cylinder, TheNarrowestCylinderOfACommonNutLiesAcrossIt) {
  const gp_Trsf where = placement(43);
  const gp_Dir z = gp_Dir(0, 0, 1).Transformed(where);
  const TopoDS_Shape nut = placed(testing_support::hex_nut(17, 8, 4.25), where);
  EXPECT_FALSE(cylinder_of(nut).axis.IsParallel(z, 1e-3)) << "the narrowest lies across";
}

TEST(Cylinder, FreeFormFacesStayBounded) {
  // Every face a B-spline: no face of revolution to take the axis from,
  // and the collar's circle only as a net of poles.
  const TopoDS_Shape nurbs =
      placed(BRepBuilderAPI_NurbsConvert(testing_support::stepped_shaft()).Shape(), placement(51));
  const Cylinder shaft = cylinder_of(nurbs);
  EXPECT_GE(shaft.diameter, 30 - 1e-9);
  EXPECT_LE(shaft.diameter, 30 + 1e-6);
  EXPECT_NEAR(shaft.length, 65, 1e-6);
  EXPECT_LE(outside(shaft, points_on(nurbs, 40)), loosest(nurbs));
}

// An offset of a free-form patch has no exact net: it is held by its box,
// and the exactness stated says how loose that is.
TEST(Cylinder, AnOffsetFaceIsHeldByItsBox) {
  TColgp_Array2OfPnt poles(1, 4, 1, 4);
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j)
      poles(i, j) = gp_Pnt(3 * i, 3 * j, (i == 2 || i == 3) && (j == 2 || j == 3) ? 4 : 0);
  TColStd_Array1OfReal knots(1, 2);
  TColStd_Array1OfInteger ends(1, 2);
  knots(1) = 0;
  knots(2) = 1;
  ends(1) = ends(2) = 4;
  const Handle(Geom_Surface) patch = new Geom_BSplineSurface(poles, knots, knots, ends, ends, 3, 3);
  const TopoDS_Face offset = BRepBuilderAPI_MakeFace(new Geom_OffsetSurface(patch, 2), 0., 1., 0., 1., 1e-7);
  const Cylinder loose = cylinder_of(offset);
  const std::vector<gp_Pnt> points = points_on(offset, 60);
  EXPECT_LE(outside(loose, points), 1e-9);
  double farthest = 0;
  for (const gp_Pnt& p : points) {
    const gp_XYZ q = p.XYZ() - loose.origin.XYZ();
    farthest = std::max(farthest, (q - q.Dot(loose.axis.XYZ()) * loose.axis.XYZ()).Modulus());
  }
  EXPECT_GE(loose.exact_to, loose.diameter - 2 * farthest);
}

TEST(Cylinder, TinyFarAndHugeBodiesKeepTheirExactness) {
  struct Case {
    const char* name;
    double scale;
    gp_Vec offset;
  };
  const Case cases[] = {{"a part a million times smaller, far out", 1e-6, gp_Vec(1e6, -2e6, 3e5)},
                        {"a part a billion times larger", 1e9, gp_Vec(0, 0, 0)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gp_Trsf scale, move;
    scale.SetScale(gp::Origin(), c.scale);
    move.SetTranslation(c.offset);
    const TopoDS_Shape part = placed(testing_support::stepped_shaft(), move * scale);
    Cylinder cyl;
    std::string error;
    ASSERT_TRUE(ufhost::smallest_cylinder(part, {}, kTolerance * c.scale, &cyl, &error)) << error;
    // Coordinates far out are rounded at their own size: exact to a few
    // hundred of those roundings, or to the tolerance asked.
    const double rounding = DBL_EPSILON * (c.offset.Magnitude() + 65 * c.scale);
    EXPECT_LE(cyl.exact_to, std::max(400 * rounding, 4 * kTolerance * c.scale));
    EXPECT_GE(cyl.diameter, 30 * c.scale - 4 * rounding);
    EXPECT_LE(cyl.diameter, 30 * c.scale + 4 * rounding + cyl.exact_to);
    EXPECT_TRUE(cyl.axis.IsParallel(gp_Dir(0, 0, 1), 1e-9));
  }
}

TEST(Cylinder, RealPartsLieInTheirCylinderAndHexagon) {
  SKIP_WITHOUT_SHARED_PARTS();
  for (const std::string& path : testing_support::shared_parts()) {
    SCOPED_TRACE(path);
    ufhost::reset_session();
    std::string error;
    ASSERT_TRUE(ufhost::load_part(path, ufhost::session().model, &error)) << error;
    BRep_Builder builder;
    TopoDS_Compound bodies;
    builder.MakeCompound(bodies);
    for (ufhost::Tag t : ufhost::session().model.tags()) {
      const ufhost::Object* o = ufhost::session().model.find(t);
      if (ufhost::is_body(o->kind) && !o->shape.IsNull()) builder.Add(bodies, o->shape);
    }
    Cylinder cyl;
    if (!TopExp_Explorer(bodies, TopAbs_FACE).More()) {  // a mesh: nothing exact to measure
      EXPECT_FALSE(ufhost::smallest_cylinder(bodies, {}, kTolerance, &cyl, &error));
      continue;
    }
    ASSERT_TRUE(ufhost::smallest_cylinder(bodies, {}, kTolerance, &cyl, &error)) << error;
    EXPECT_LE(cyl.exact_to, 1e-6 * cyl.length);
    const std::vector<gp_Pnt> points = points_on(bodies, 24);
    EXPECT_LE(outside(cyl, points), loosest(bodies));
    Hexagon hex;
    ASSERT_TRUE(ufhost::smallest_hexagon(bodies, cyl, kTolerance, &hex, &error)) << error;
    EXPECT_LE(hex.exact_to, 1e-6 * cyl.length);
    double widest = -HUGE_VAL;  // of the points, along the hexagon's six flat normals
    const gp_XYZ e1 = hex.flat_normal.XYZ(), e2 = cyl.axis.XYZ().Crossed(e1);
    for (const gp_Pnt& p : points)
      for (int k = 0; k < 6; ++k)
        widest = std::max(widest, (p.XYZ() - cyl.origin.XYZ()).Dot(std::cos(k * M_PI / 3) * e1 +
                                                                   std::sin(k * M_PI / 3) * e2));
    EXPECT_LE(widest, 0.5 * hex.across_flats + loosest(bodies));
  }
}

TEST(Cylinder, InputsWithoutExactFacesFailCleanly) {
  BRep_Builder builder;
  TopoDS_Compound empty;
  builder.MakeCompound(empty);
  TColgp_Array1OfPnt nodes(1, 3);
  nodes(1) = gp_Pnt(0, 0, 0);
  nodes(2) = gp_Pnt(1, 0, 0);
  nodes(3) = gp_Pnt(0, 1, 0);
  Poly_Array1OfTriangle triangles(1, 1);
  triangles(1) = Poly_Triangle(1, 2, 3);
  TopoDS_Face mesh;
  builder.MakeFace(mesh, new Poly_Triangulation(nodes, triangles));
  const TopoDS_Shape nowhere =
      BRepBuilderAPI_MakeFace(gp_Pln(gp_Pnt(NAN, 0, 0), gp_Dir(0, 0, 1)), 0, 1, 0, 1).Shape();
  struct Case {
    const char* name;
    TopoDS_Shape body;
    double tolerance;
  };
  const Case cases[] = {
      {"nothing", TopoDS_Shape(), kTolerance},
      {"an empty compound", empty, kTolerance},
      {"a wire", BRepBuilderAPI_MakePolygon(gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0), gp_Pnt(1, 1, 0), true).Wire(),
       kTolerance},
      {"a face that is only a mesh", mesh, kTolerance},
      {"coordinates that are not numbers", nowhere, kTolerance},
      {"a zero tolerance", testing_support::stepped_shaft(), 0.0},
      {"a tolerance that is not a number", testing_support::stepped_shaft(), NAN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Cylinder cyl;
    cyl.diameter = -1;
    std::string error;
    EXPECT_FALSE(ufhost::smallest_cylinder(c.body, {}, c.tolerance, &cyl, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(-1, cyl.diameter);  // left alone
    Hexagon hex;
    hex.across_flats = -1;
    error.clear();
    Cylinder about;
    EXPECT_FALSE(ufhost::smallest_hexagon(c.body, about, c.tolerance, &hex, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(-1, hex.across_flats);
  }
}

}  // namespace
