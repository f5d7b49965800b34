// Boxes, tolerances and moves of model objects: the exact box of every kind
// of object, the cache that keeps boxes, and moves and copies that change
// the part wholly or not at all.
#include "ufhost/model/object_geometry.h"

#include <gtest/gtest.h>

#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRep_Builder.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

#include <array>
#include <cmath>

namespace {

using ufhost::Kind;
using ufhost::Model;
using ufhost::Object;
using ufhost::Tag;
using Box = std::array<double, 6>;

Object body(const TopoDS_Shape& shape, const char* name = "body") {
  Object o;
  o.kind = Kind::SolidBody;
  o.name = name;
  o.shape = shape;
  return o;
}

Object mesh_body(const std::vector<gp_Pnt>& nodes, const std::vector<Poly_Triangle>& triangles) {
  Object o;
  o.kind = Kind::MeshBody;
  o.mesh = new Poly_Triangulation(static_cast<int>(nodes.size()), static_cast<int>(triangles.size()), false);
  for (std::size_t i = 0; i < nodes.size(); ++i) o.mesh->SetNode(static_cast<int>(i) + 1, nodes[i]);
  for (std::size_t i = 0; i < triangles.size(); ++i)
    o.mesh->SetTriangle(static_cast<int>(i) + 1, triangles[i]);
  return o;
}

// A tetrahedron wound outward: corners at the origin and on the three axes.
Object tetrahedron() {
  return mesh_body({gp_Pnt(0, 0, 0), gp_Pnt(2, 0, 0), gp_Pnt(0, 2, 0), gp_Pnt(0, 0, 2)},
                   {Poly_Triangle(1, 3, 2), Poly_Triangle(1, 2, 4), Poly_Triangle(1, 4, 3),
                    Poly_Triangle(2, 3, 4)});
}

// Divergence theorem: positive for triangles wound outward.
double signed_volume(const Poly_Triangulation& mesh) {
  double v = 0.0;
  for (int i = 1; i <= mesh.NbTriangles(); ++i) {
    int a, b, c;
    mesh.Triangle(i).Get(a, b, c);
    v += gp_Vec(mesh.Node(a).XYZ()).Dot(gp_Vec(mesh.Node(b).XYZ()).Crossed(gp_Vec(mesh.Node(c).XYZ()))) / 6;
  }
  return v;
}

Box box_of(const Object& o, ufhost::BoxCache* cache = nullptr) {
  Box b{};
  EXPECT_TRUE(ufhost::exact_box(o, b.data(), cache));
  return b;
}

void expect_box(const Box& want, const Box& got, double tolerance) {
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(want[k], got[k], tolerance) << "coordinate " << k;
}

TEST(ObjectGeometry, BoxesOfEveryKindThatHasOne) {
  Object point;
  point.kind = Kind::Point;
  point.p0 = gp_Pnt(1, -2, 3);
  Object line;
  line.kind = Kind::Line;
  line.p0 = gp_Pnt(4, 5, 6);
  line.p1 = gp_Pnt(1, 8, 6);  // ends in no order
  Object facets;
  facets.kind = Kind::FacetModel;
  auto f = std::make_shared<ufhost::Facets>();
  f->xyz = {0, 0, -50, 1, 0, -50, 1, 2, -49};
  f->start = {0, 3};
  facets.facets = f;
  expect_box({1, -2, 3, 1, -2, 3}, box_of(point), 0);
  expect_box({1, 5, 6, 4, 8, 6}, box_of(line), 0);
  expect_box({0, 0, -50, 1, 2, -49}, box_of(facets), 0);
  expect_box({0, 0, 0, 2, 2, 2}, box_of(tetrahedron()), 0);
  // The exact surfaces, not enlarged by the tolerance nor by a tessellation.
  expect_box({-5, -5, 0, 5, 5, 10}, box_of(body(BRepPrimAPI_MakeCylinder(5, 10).Shape())), 1e-12);
}

TEST(ObjectGeometry, KindsWithoutABoxHaveNone) {
  Object plane;
  plane.kind = Kind::Plane;
  plane.normal = gp_Vec(0, 0, 1);
  Object no_facets;
  no_facets.kind = Kind::FacetModel;
  no_facets.facets = std::make_shared<ufhost::Facets>();
  Object no_mesh;
  no_mesh.kind = Kind::MeshBody;
  Object no_shape;
  no_shape.kind = Kind::SolidBody;
  for (const Object* o : {&plane, &no_facets, &no_mesh, &no_shape}) {
    SCOPED_TRACE(ufhost::kind_name(o->kind));
    double b[6] = {7, 7, 7, 7, 7, 7};
    EXPECT_FALSE(ufhost::exact_box(*o, b));
  }
}

TEST(ObjectGeometry, SectionCurvesAreBoxedAsTheyAreComputed) {
  Object curves;
  curves.kind = Kind::SectionCurves;
  auto section = std::make_shared<ufhost::Section>();
  int computed = 0;
  section->compute = [&computed]() -> TopoDS_Shape {
    ++computed;
    return BRepBuilderAPI_MakeEdge(gp_Pnt(0, 0, 0), gp_Pnt(3, 4, 0)).Edge();
  };
  curves.section = section;
  expect_box({0, 0, 0, 3, 4, 0}, box_of(curves), 1e-12);
  box_of(curves);
  EXPECT_EQ(1, computed) << "computed once, then kept";
}

TEST(ObjectGeometry, CachedBoxesAreThoseOfTheSameShapeInTheSamePlace) {
  ufhost::BoxCache cache;
  const TopoDS_Shape block = BRepPrimAPI_MakeBox(1, 2, 3).Shape();
  const Box kept = {-1, -1, -1, 9, 9, 9};  // not the block's: shows where it came from
  cache.keep(block, kept.data());
  EXPECT_EQ(kept, box_of(body(block), &cache));
  gp_Trsf up;
  up.SetTranslation(gp_Vec(0, 0, 10));
  const Object moved = body(block.Moved(TopLoc_Location(up)));
  expect_box({0, 0, 10, 1, 2, 13}, box_of(moved, &cache), 1e-12);
  EXPECT_EQ(box_of(moved), box_of(moved, &cache)) << "kept once worked out";
}

TEST(ObjectGeometry, TheCacheForgetsTheOldestShapesFirst) {
  ufhost::BoxCache cache;
  std::vector<TopoDS_Shape> shapes;
  const Box kept = {0, 0, 0, 1, 1, 1};
  for (int i = 0; i < 65; ++i) {
    shapes.push_back(BRepPrimAPI_MakeBox(1, 1, 1).Shape());
    cache.keep(shapes.back(), kept.data());
  }
  double b[6];
  EXPECT_FALSE(cache.find(shapes.front(), b));
  EXPECT_TRUE(cache.find(shapes[1], b));
  EXPECT_TRUE(cache.find(shapes.back(), b));
}

TEST(ObjectGeometry, MaxToleranceIsTheLoosestOfAnyVertexEdgeOrFace) {
  const TopoDS_Shape block = BRepPrimAPI_MakeBox(1, 2, 3).Shape();
  EXPECT_DOUBLE_EQ(1e-7, ufhost::max_tolerance(body(block)));
  const TopoDS_Edge edge = TopoDS::Edge(TopExp_Explorer(block, TopAbs_EDGE).Current());
  BRep_Builder().UpdateEdge(edge, 0.25);
  EXPECT_DOUBLE_EQ(0.25, ufhost::max_tolerance(body(block)));
  EXPECT_EQ(0.0, ufhost::max_tolerance(tetrahedron()));
}

TEST(ObjectGeometry, RigidMovesKeepTheGeometryAndPlaceIt) {
  gp_Trsf turn;
  turn.SetRotation(gp::OZ(), M_PI / 2);
  turn.SetTranslationPart(gp_Vec(10, 0, 0));
  const Object block = body(BRepPrimAPI_MakeBox(1, 2, 3).Shape());
  const Object moved = ufhost::transformed(block, turn);
  EXPECT_TRUE(moved.shape.IsPartner(block.shape)) << "the same geometry, placed";
  expect_box({8, 0, 0, 10, 1, 3}, box_of(moved), 1e-12);
  EXPECT_EQ(block.name, moved.name);
}

TEST(ObjectGeometry, ScalesAndMirrorsChangeTheGeometryItself) {
  gp_Trsf twice;
  twice.SetScale(gp::Origin(), 2);
  const Object block = body(BRepPrimAPI_MakeBox(1, 2, 3).Shape());
  const Object scaled = ufhost::transformed(block, twice);
  EXPECT_FALSE(scaled.shape.IsPartner(block.shape));
  EXPECT_TRUE(scaled.shape.Location().IsIdentity());
  expect_box({0, 0, 0, 2, 4, 6}, box_of(scaled), 1e-9);
  // A mirrored mesh turns its winding back, so that it still faces out.
  gp_Trsf mirror;
  mirror.SetMirror(gp::YOZ());
  const Object tetra = tetrahedron();
  const Object mirrored = ufhost::transformed(tetra, mirror);
  expect_box({-2, 0, 0, 0, 2, 2}, box_of(mirrored), 0);
  EXPECT_NEAR(signed_volume(*tetra.mesh), signed_volume(*mirrored.mesh), 1e-12);
  EXPECT_GT(signed_volume(*mirrored.mesh), 0);
}

TEST(ObjectGeometry, MovedPlanesPointsFacetsAndSectionsFollow) {
  gp_Trsf scale;
  scale.SetScale(gp_Pnt(1, 1, 1), 3);
  Object plane;
  plane.kind = Kind::Plane;
  plane.p0 = gp_Pnt(2, 1, 1);
  plane.normal = gp_Vec(0, 0, 1);
  const Object moved_plane = ufhost::transformed(plane, scale);
  EXPECT_TRUE(moved_plane.p0.IsEqual(gp_Pnt(4, 1, 1), 1e-12));
  EXPECT_NEAR(1.0, moved_plane.normal.Magnitude(), 1e-15) << "a plane's normal stays a unit";

  Object facets;
  facets.kind = Kind::FacetModel;
  auto f = std::make_shared<ufhost::Facets>();
  f->xyz = {1, 1, 1, 2, 1, 1, 1, 2, 1};
  f->start = {0, 3};
  facets.facets = f;
  expect_box({1, 1, 1, 4, 4, 1}, box_of(ufhost::transformed(facets, scale)), 1e-12);
  EXPECT_EQ(2.0, f->xyz[3]) << "the original's facets are left alone";

  Object curves;
  curves.kind = Kind::SectionCurves;
  auto section = std::make_shared<ufhost::Section>();
  int computed = 0;
  section->compute = [&computed]() -> TopoDS_Shape {
    ++computed;
    return BRepBuilderAPI_MakeEdge(gp_Pnt(1, 1, 1), gp_Pnt(2, 1, 1)).Edge();
  };
  curves.section = section;
  const Object moved_curves = ufhost::transformed(curves, scale);
  EXPECT_EQ(0, computed) << "a section nobody looked at costs nothing";
  expect_box({1, 1, 1, 4, 1, 1}, box_of(moved_curves), 1e-9);
}

TEST(ObjectGeometry, MovesNameAllTheirObjectsOrChangeNothing) {
  Model m;
  const Tag a = m.add(body(BRepPrimAPI_MakeBox(1, 1, 1).Shape(), "a"));
  const Tag b = m.add(body(BRepPrimAPI_MakeBox(2, 2, 2).Shape(), "b"));
  gp_Trsf up;
  up.SetTranslation(gp_Vec(0, 0, 5));
  const Box before = box_of(*m.find(a));
  std::vector<Tag> copies = {99};
  EXPECT_FALSE(ufhost::move_or_copy(m, {a, 12345, b}, up, nullptr));
  EXPECT_FALSE(ufhost::move_or_copy(m, {a, 12345}, up, &copies));
  EXPECT_EQ(before, box_of(*m.find(a))) << "a tag naming nothing moves nothing";
  EXPECT_EQ(2u, m.size());
  EXPECT_EQ(std::vector<Tag>{99}, copies);
}

TEST(ObjectGeometry, CopiesAreNamedAsCopiesAndNotHighlighted) {
  Model m;
  Object a = body(BRepPrimAPI_MakeBox(1, 1, 1).Shape(), "a");
  a.highlighted = true;
  const Tag ta = m.add(a);
  const Tag tb = m.add(body(BRepPrimAPI_MakeBox(2, 2, 2).Shape(), "b"));
  gp_Trsf up;
  up.SetTranslation(gp_Vec(0, 0, 5));
  std::vector<Tag> copies = {99};
  ASSERT_TRUE(ufhost::move_or_copy(m, {tb, ta}, up, &copies));
  ASSERT_EQ(2u, copies.size());
  EXPECT_EQ("b copy", m.find(copies[0])->name);
  EXPECT_EQ("a copy", m.find(copies[1])->name);
  EXPECT_TRUE(ufhost::named_as_copy(m.find(copies[1])->name));
  EXPECT_FALSE(m.find(copies[1])->highlighted);
  expect_box({0, 0, 5, 1, 1, 6}, box_of(*m.find(copies[1])), 1e-12);
  expect_box({0, 0, 0, 1, 1, 1}, box_of(*m.find(ta)), 1e-12);
}

}  // namespace
