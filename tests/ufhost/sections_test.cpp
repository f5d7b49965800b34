// Planar sections: which probes the host answers from what it knows of the
// body, which need the kernel, that the curves are real, and that probing
// never changes the body.
#include <BRepBndLib.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <GCPnts_AbscissaPoint.hxx>
#include <GeomAPI_PointsToBSplineSurface.hxx>
#include <Geom_BSplineSurface.hxx>
#include <TColgp_Array2OfPnt.hxx>
#include <BRepAdaptor_Curve.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>

#include <cmath>
#include <vector>

#include "host/uf.h"
#include "tests/support/shapes.h"
#include "tests/support/support.h"
#include "ufhost/geom/sections.h"
#include "ufhost/session/session.h"
#include "ufhost/session/test_control.h"

namespace {

using testing_support::tolerances;
using ufhost::Kind;
using ufhost::Object;
using ufhost::session;

class Sections : public ::testing::Test {
 protected:
  void SetUp() override {
    ufhost::reset_session();
    session().sections.forget();
  }

  tag_t add(const TopoDS_Shape& shape, Kind kind = Kind::SolidBody) {
    Object body;
    body.kind = kind;
    body.name = "body";
    body.shape = shape;
    return session().model.add(body);
  }

  // The request as the plug-in makes it; the tag of the section curves, or
  // the null tag.
  tag_t section(tag_t body, const gp_Pnt& origin, const gp_Dir& normal, int* rc = nullptr) {
    double o[3] = {origin.X(), origin.Y(), origin.Z()}, n[3] = {normal.X(), normal.Y(), normal.Z()};
    tag_t plane = NULL_TAG;
    EXPECT_EQ(0, UF_MODL_create_plane(o, n, &plane));
    tag_t objects[1] = {body}, planes[1] = {plane};
    UF_CURVE_section_general_data_t general = {objects, 1, 0, 1, 0, 0.0154};
    UF_CURVE_section_planes_data_t plane_data = {planes, 1};
    tag_t curves = NULL_TAG;
    const int status = UF_CURVE_section_from_planes(&general, &plane_data, &curves);
    if (rc != nullptr) *rc = status;
    return curves;
  }
};

double length_of(const TopoDS_Shape& curves) {
  double total = 0.0;
  for (TopExp_Explorer e(curves, TopAbs_EDGE); e.More(); e.Next())
    total += GCPnts_AbscissaPoint::Length(BRepAdaptor_Curve(TopoDS::Edge(e.Current())));
  return total;
}

TEST_F(Sections, OnlyWhatExactGeometryCannotTellNeedsTheKernel) {
  // Box 0..10 x 0..20 x 0..30 with the kernel's tolerance of 1e-7, and a
  // free-form sheet with a bump whose top is an inner point.
  const tag_t box = add(BRepPrimAPI_MakeBox(10, 20, 30).Shape());
  TColgp_Array2OfPnt points(1, 5, 1, 5);
  for (int i = 1; i <= 5; ++i)
    for (int j = 1; j <= 5; ++j) points(i, j) = gp_Pnt(i, j, i == 3 && j == 3 ? 1.0 : 0.0);
  const TopoDS_Shape patch =
      BRepBuilderAPI_MakeFace(GeomAPI_PointsToBSplineSurface(points).Surface(), 1e-7).Face();
  const tag_t bump = add(patch, Kind::SheetBody);
  Bnd_Box b;
  BRepBndLib::AddOptimal(patch, b, false, false);
  const double top = b.CornerMax().Z();
  enum How { Box, Kernel };
  struct Case {
    const char* name;
    tag_t body;
    gp_Pnt origin;
    gp_Dir normal;
    int meets;  // -1: the kernel's to say
    How how;
  };
  const gp_Dir x(1, 0, 0), z(0, 0, 1), slanted(1, 1, 0);
  const Case cases[] = {
      {"outside", box, gp_Pnt(-1, 0, 0), x, false, Box},
      {"just outside the band", box, gp_Pnt(10 + 1e-6, 0, 0), x, false, Box},
      {"well inside", box, gp_Pnt(5, 0, 0), x, true, Box},
      {"just inside the band", box, gp_Pnt(10 - 1e-6, 0, 0), x, true, Box},
      {"on the face", box, gp_Pnt(10, 0, 0), x, true, Box},
      {"within the face's tolerance", box, gp_Pnt(10 + 5e-8, 0, 0), x, true, Box},
      {"normal pointing the other way", box, gp_Pnt(5, 0, 0), gp_Dir(-1, 0, 0), true, Box},
      // Corners on both sides tell along any direction; a face's extremes
      // only along the axes.
      {"slanted through the middle", box, gp_Pnt(5, 10, 15), slanted, true, Box},
      {"slanted through an edge", box, gp_Pnt(10, 20, 0), slanted, true, Kernel},
      {"slanted beyond a corner", box, gp_Pnt(11, 21, 0), slanted, false, Box},
      {"at the top of a free-form bump", bump, gp_Pnt(0, 0, top), z, -1, Kernel},
      {"above the bump", bump, gp_Pnt(0, 0, top + 1e-3), z, false, Box},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ufhost::SectionMemory::Counts before = session().sections.counts;
    const bool meets = section(c.body, c.origin, c.normal) != NULL_TAG;
    if (c.meets >= 0) {
      EXPECT_EQ(c.meets == 1, meets);
    }
    const ufhost::SectionMemory::Counts& after = session().sections.counts;
    EXPECT_EQ(before.probes + 1, after.probes);
    EXPECT_EQ(before.probes_by_box + (c.how == Box), after.probes_by_box);
    EXPECT_EQ(before.booleans + (c.how == Kernel), after.booleans);
  }
}

// Extremes are kept with the body they were worked out for: a moved body is
// another, and undo brings the first back.
TEST_F(Sections, AnswersFollowTheBodyThroughMovesAndUndo) {
  const tag_t box = add(BRepPrimAPI_MakeBox(10, 20, 30).Shape());
  const int mark = session().model.set_mark(false);
  auto meets = [&](double x) { return section(box, gp_Pnt(x, 0, 0), gp_Dir(1, 0, 0)) != NULL_TAG; };
  EXPECT_TRUE(meets(10 + 5e-8));
  EXPECT_FALSE(meets(-20 - 5e-8));
  // A quarter turn about Z: X now runs from -20 to 0.
  double m[16], origin[3] = {0, 0, 0}, axis[3] = {0, 0, 1};
  ASSERT_EQ(0, UF_MTX4_rotation(origin, axis, 90.0, m));
  const int count = 1, move = 1, layer = 0, trace = 2;
  tag_t objects[1] = {box}, copies[1] = {NULL_TAG}, group = NULL_TAG;
  int status = -1;
  uf5947_(m, objects, &count, &move, &layer, &trace, copies, &group, &status);
  ASSERT_EQ(0, status);
  EXPECT_FALSE(meets(10 + 5e-8));
  EXPECT_TRUE(meets(-20 - 5e-8));
  ASSERT_TRUE(session().model.undo_to(mark));
  EXPECT_TRUE(meets(10 + 5e-8));
  EXPECT_FALSE(meets(-20 - 5e-8));
  EXPECT_EQ(0, session().sections.counts.booleans);
}

TEST_F(Sections, CurvesOfAProbeAnsweredFromTheBoxAreReal) {
  const tag_t box = add(BRepPrimAPI_MakeBox(10, 20, 30).Shape());
  const tag_t curves = section(box, gp_Pnt(4, 0, 0), gp_Dir(1, 0, 0));
  ASSERT_NE(NULL_TAG, curves);
  const Object* o = session().model.find(curves);
  ASSERT_EQ(Kind::SectionCurves, o->kind);
  EXPECT_EQ(box, o->source);
  ASSERT_TRUE(o->section);
  EXPECT_FALSE(o->section->cache);  // nothing computed yet
  EXPECT_EQ(0, session().sections.counts.booleans);
  const TopoDS_Shape shape = o->section->curves();
  EXPECT_NEAR(2 * (20 + 30), length_of(shape), 1e-9);
  Bnd_Box b;
  BRepBndLib::Add(shape, b);
  double x0, y0, z0, x1, y1, z1;
  b.Get(x0, y0, z0, x1, y1, z1);
  EXPECT_NEAR(4, x0, 1e-6);
  EXPECT_NEAR(4, x1, 1e-6);
}

TEST_F(Sections, ProbingNeverChangesTheBody) {
  // The kernel's boolean section, which the answers from exact geometry
  // spare these planes, must leave the body alone too.
  ufhost::test_control().probing = ufhost::Probing::kBoolean;
  TopoDS_Shape block = BRepPrimAPI_MakeBox(40, 30, 20).Shape();
  BRepFilletAPI_MakeFillet fillet(block);
  for (TopExp_Explorer e(block, TopAbs_EDGE); e.More(); e.Next()) fillet.Add(3.0, TopoDS::Edge(e.Current()));
  const TopoDS_Shape rounded = fillet.Shape();
  const TopoDS_Shape cylinder = BRepPrimAPI_MakeCylinder(5, 10).Shape();
  for (const TopoDS_Shape& shape : {rounded, cylinder}) {
    const std::vector<double> before = tolerances(shape);
    const tag_t body = add(shape);
    // Touching planes on every side, within and just beyond the tolerance,
    // tangent to round faces, and the curves of each.
    Bnd_Box b;
    BRepBndLib::AddOptimal(shape, b, false, false);
    double lo[3], hi[3];
    b.Get(lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]);
    for (int axis = 0; axis < 3; ++axis)
      for (double side : {lo[axis], hi[axis]})
        for (double offset : {0.0, 3e-8, -3e-8, 2e-7, 1e-3}) {
          gp_Pnt origin(0, 0, 0);
          origin.SetCoord(axis + 1, side + offset);
          gp_Dir normal(axis == 0, axis == 1, axis == 2);
          const tag_t curves = section(body, origin, normal);
          if (curves != NULL_TAG) session().model.find(curves)->section->curves();
        }
    EXPECT_EQ(before, tolerances(session().model.find(body)->shape));
    EXPECT_GT(session().sections.counts.booleans, 0);
  }
}

TEST_F(Sections, ApartPiecesAndTouchingPoints) {
  // Two boxes apart along X as one body, and a sphere whose top is a point.
  TopoDS_Compound two;
  BRep_Builder builder;
  builder.MakeCompound(two);
  builder.Add(two, BRepPrimAPI_MakeBox(gp_Pnt(0, 0, 0), 1, 1, 1).Shape());
  builder.Add(two, BRepPrimAPI_MakeBox(gp_Pnt(3, 0, 0), 1, 1, 1).Shape());
  const tag_t apart = add(two);
  const tag_t sphere = add(BRepPrimAPI_MakeSphere(2).Shape());
  struct Case {
    const char* name;
    tag_t body;
    gp_Pnt origin;
    gp_Dir normal;
    bool meets;
  };
  const Case cases[] = {
      {"in the gap", apart, gp_Pnt(2, 0, 0), gp_Dir(1, 0, 0), false},
      {"through the second box", apart, gp_Pnt(3.5, 0, 0), gp_Dir(1, 0, 0), true},
      {"below the top", sphere, gp_Pnt(0, 0, 2 - 1e-4), gp_Dir(0, 0, 1), true},
      {"beyond the top", sphere, gp_Pnt(0, 0, 2 + 1e-6), gp_Dir(0, 0, 1), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.meets, section(c.body, c.origin, c.normal) != NULL_TAG);
  }
}

TEST_F(Sections, MeshBodiesAreCutByTheirTriangles) {
  // A tetrahedron with corners at the origin and on the three axes.
  Handle(Poly_Triangulation) mesh = new Poly_Triangulation(4, 4, false);
  mesh->SetNode(1, gp_Pnt(0, 0, 0));
  mesh->SetNode(2, gp_Pnt(2, 0, 0));
  mesh->SetNode(3, gp_Pnt(0, 2, 0));
  mesh->SetNode(4, gp_Pnt(0, 0, 2));
  mesh->SetTriangle(1, Poly_Triangle(1, 3, 2));
  mesh->SetTriangle(2, Poly_Triangle(1, 2, 4));
  mesh->SetTriangle(3, Poly_Triangle(1, 4, 3));
  mesh->SetTriangle(4, Poly_Triangle(2, 3, 4));
  Object body;
  body.kind = Kind::MeshBody;
  body.mesh = mesh;
  const tag_t tetra = session().model.add(body);
  struct Case {
    double x;
    bool meets;
    double length;  // of the trace, where it is a line
  };
  const Case cases[] = {
      {-1e-6, false, -1},
      {0, true, -1},  // a whole triangle lies in the plane
      // Legs of 1 on two faces, the hypotenuse on the slanted one.
      {1, true, 2 + std::sqrt(2.0)},
      {2, true, 0},  // a corner touches: a cut, with a point for its curve
      {2 + 1e-6, false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x);
    const tag_t curves = section(tetra, gp_Pnt(c.x, 0, 0), gp_Dir(1, 0, 0));
    ASSERT_EQ(c.meets, curves != NULL_TAG);
    if (c.length >= 0) {
      EXPECT_NEAR(c.length, length_of(session().model.find(curves)->section->curves()), 1e-9);
    }
  }
  EXPECT_EQ(0, session().sections.counts.booleans);
}

TEST_F(Sections, RequestsTheHostCannotServeLeaveNoCurves) {
  const tag_t box = add(BRepPrimAPI_MakeBox(10, 20, 30).Shape());
  double o[3] = {5, 0, 0}, n[3] = {1, 0, 0};
  tag_t plane = NULL_TAG;
  ASSERT_EQ(0, UF_MODL_create_plane(o, n, &plane));
  tag_t good_objects[1] = {box}, planes[1] = {plane};
  tag_t unknown[1] = {999}, plane_as_body[1] = {plane}, body_as_plane[1] = {box};
  struct Case {
    const char* name;
    UF_CURVE_section_general_data_t general;
    UF_CURVE_section_planes_data_t planes;
    int code;
  };
  const Case cases[] = {
      {"associative", {good_objects, 1, 1, 1, 0, 0.0154}, {planes, 1}, ufhost::kErrBadArgument},
      {"one object per curve", {good_objects, 1, 0, 0, 0, 0.0154}, {planes, 1}, ufhost::kErrBadArgument},
      {"joining 2", {good_objects, 1, 0, 1, 2, 0.0154}, {planes, 1}, ufhost::kErrBadArgument},
      {"negative tolerance", {good_objects, 1, 0, 1, 0, -1.0}, {planes, 1}, ufhost::kErrBadArgument},
      {"no objects", {good_objects, 0, 0, 1, 0, 0.0154}, {planes, 1}, ufhost::kErrBadArgument},
      {"no planes", {good_objects, 1, 0, 1, 0, 0.0154}, {nullptr, 1}, ufhost::kErrBadArgument},
      {"unknown body", {unknown, 1, 0, 1, 0, 0.0154}, {planes, 1}, ufhost::kErrBadTag},
      {"a plane is no body", {plane_as_body, 1, 0, 1, 0, 0.0154}, {planes, 1}, ufhost::kErrWrongType},
      {"a body is no plane", {good_objects, 1, 0, 1, 0, 0.0154}, {body_as_plane, 1}, ufhost::kErrWrongType},
  };
  const std::size_t objects = session().model.size();
  for (Case c : cases) {
    SCOPED_TRACE(c.name);
    tag_t curves = NULL_TAG;
    EXPECT_EQ(c.code, UF_CURVE_section_from_planes(&c.general, &c.planes, &curves));
    EXPECT_EQ(NULL_TAG, curves);
  }
  EXPECT_EQ(objects, session().model.size());
}

TEST_F(Sections, AnInjectedFailureLeavesNoCurves) {
  const tag_t box = add(BRepPrimAPI_MakeBox(10, 20, 30).Shape());
  double o[3] = {5, 0, 0}, n[3] = {1, 0, 0};
  tag_t plane = NULL_TAG;
  ASSERT_EQ(0, UF_MODL_create_plane(o, n, &plane));
  tag_t good_objects[1] = {box}, planes[1] = {plane};
  const std::size_t objects = session().model.size();
  session().fail_rules.push_back({"UF_CURVE_section_from_planes", ufhost::kErrRefused, 0});
  UF_CURVE_section_general_data_t general = {good_objects, 1, 0, 1, 0, 0.0154};
  UF_CURVE_section_planes_data_t plane_data = {planes, 1};
  tag_t curves = NULL_TAG;
  EXPECT_EQ(ufhost::kErrRefused, UF_CURVE_section_from_planes(&general, &plane_data, &curves));
  EXPECT_EQ(NULL_TAG, curves);
  EXPECT_EQ(objects, session().model.size());
}

TEST_F(Sections, JoinedCurvesComeAsWires) {
  const tag_t box = add(BRepPrimAPI_MakeBox(10, 20, 30).Shape());
  double o[3] = {5, 0, 0}, n[3] = {1, 0, 0};
  tag_t plane = NULL_TAG;
  ASSERT_EQ(0, UF_MODL_create_plane(o, n, &plane));
  tag_t objects[1] = {box}, planes[1] = {plane};
  UF_CURVE_section_general_data_t general = {objects, 1, 0, 1, 1, 0.0154};
  UF_CURVE_section_planes_data_t plane_data = {planes, 1};
  tag_t curves = NULL_TAG;
  ASSERT_EQ(0, UF_CURVE_section_from_planes(&general, &plane_data, &curves));
  ASSERT_NE(NULL_TAG, curves);
  int wires = 0;
  const TopoDS_Shape shape = session().model.find(curves)->section->curves();
  for (TopExp_Explorer e(shape, TopAbs_WIRE); e.More(); e.Next()) ++wires;
  EXPECT_EQ(1, wires);  // the rectangle the plane cuts from the box
}

TEST_F(Sections, CurvesAndTheirPlaneGoWithUndo) {
  const tag_t box = add(BRepPrimAPI_MakeBox(10, 20, 30).Shape());
  const int mark = session().model.set_mark(false);
  double o[3] = {5, 0, 0}, n[3] = {1, 0, 0};
  tag_t plane = NULL_TAG;
  ASSERT_EQ(0, UF_MODL_create_plane(o, n, &plane));
  tag_t objects[1] = {box}, planes[1] = {plane};
  UF_CURVE_section_general_data_t general = {objects, 1, 0, 1, 1, 0.0154};
  UF_CURVE_section_planes_data_t plane_data = {planes, 1};
  tag_t curves = NULL_TAG;
  ASSERT_EQ(0, UF_CURVE_section_from_planes(&general, &plane_data, &curves));
  ASSERT_NE(NULL_TAG, curves);
  ASSERT_TRUE(session().model.undo_to(mark));
  EXPECT_EQ(nullptr, session().model.find(curves));
  EXPECT_EQ(nullptr, session().model.find(plane));
  EXPECT_NE(nullptr, session().model.find(box));
}

TEST_F(Sections, ScriptedHostIsAskedInstead) {
  const tag_t box = add(BRepPrimAPI_MakeBox(10, 20, 30).Shape());
  std::vector<double> asked;
  ufhost::test_control().section_oracle = [&](ufhost::Tag body, const gp_Pnt& origin, const gp_Vec&) {
    EXPECT_EQ(box, body);
    asked.push_back(origin.X());
    return origin.X() > 100;  // nothing like the box
  };
  EXPECT_EQ(NULL_TAG, section(box, gp_Pnt(5, 0, 0), gp_Dir(1, 0, 0)));
  EXPECT_NE(NULL_TAG, section(box, gp_Pnt(500, 0, 0), gp_Dir(1, 0, 0)));
  EXPECT_EQ((std::vector<double>{5, 500}), asked);
}

}  // namespace
