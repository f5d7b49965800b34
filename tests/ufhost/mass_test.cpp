// Figures that tell bodies equal up to placement.
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRep_Tool.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <gtest/gtest.h>

#include "ufhost/geom/mass.h"

using namespace ufhost;

namespace {

Object solid(const TopoDS_Shape& shape) {
  Object o;
  o.kind = Kind::SolidBody;
  o.shape = shape;
  return o;
}

}  // namespace

// Bodies equal up to placement are one part; a real difference is not.
TEST(Mass, SameBodyUpToPlacementOnly) {
  const TopoDS_Shape box = BRepPrimAPI_MakeBox(gp_Pnt(1, 2, 3), 60, 40, 20).Shape();
  gp_Trsf turn;
  turn.SetRotation(gp_Ax1(gp_Pnt(5, 5, 5), gp_Dir(1, 2, 3)), 0.7);
  turn.SetTranslationPart(gp_Vec(100, -50, 7));
  const BodyFacts a = facts_of(solid(box));
  const BodyFacts moved = facts_of(solid(BRepBuilderAPI_Transform(box, turn, true).Shape()));
  const BodyFacts noisy = facts_of(solid(BRepPrimAPI_MakeBox(60 + 2e-8, 40 - 1e-8, 20 + 2e-8).Shape()));
  const BodyFacts thicker = facts_of(solid(BRepPrimAPI_MakeBox(60, 40, 20.1).Shape()));
  // Same volume and area, other moments.
  const BodyFacts other = facts_of(solid(BRepPrimAPI_MakeBox(80, 30, 20).Shape()));
  ASSERT_TRUE(a.ok);
  EXPECT_NEAR(a.volume, 48000, 1e-6);
  EXPECT_TRUE(same_body(a, moved));
  EXPECT_TRUE(same_body(a, noisy));
  EXPECT_FALSE(same_body(a, thicker));
  EXPECT_FALSE(same_body(a, other));
}

// How the figures cross from the reading child is pieces_test's.
TEST(Mass, FiguresNotWorkedOutNeverMatch) { EXPECT_FALSE(same_body(BodyFacts(), BodyFacts())); }

// A mesh of the box tells the same figures as the box.
TEST(Mass, AMeshTellsTheFiguresOfTheBodyItIsOf) {
  const BodyFacts a = facts_of(solid(BRepPrimAPI_MakeBox(gp_Pnt(1, 2, 3), 60, 40, 20).Shape()));
  TopoDS_Shape meshed = BRepPrimAPI_MakeBox(gp_Pnt(1, 2, 3), 60, 40, 20).Shape();
  BRepMesh_IncrementalMesh(meshed, 0.1);
  Object mesh;
  mesh.kind = Kind::MeshBody;
  std::vector<gp_Pnt> nodes;
  std::vector<Poly_Triangle> triangles;
  for (TopExp_Explorer e(meshed, TopAbs_FACE); e.More(); e.Next()) {
    TopLoc_Location loc;
    const TopoDS_Face& f = TopoDS::Face(e.Current());
    const Handle(Poly_Triangulation) t = BRep_Tool::Triangulation(f, loc);
    const int base = static_cast<int>(nodes.size());
    for (int i = 1; i <= t->NbNodes(); ++i) nodes.push_back(t->Node(i).Transformed(loc));
    for (int i = 1; i <= t->NbTriangles(); ++i) {
      int n[3];
      t->Triangle(i).Get(n[0], n[1], n[2]);
      if (f.Orientation() == TopAbs_REVERSED) std::swap(n[1], n[2]);
      triangles.emplace_back(base + n[0], base + n[1], base + n[2]);
    }
  }
  mesh.mesh = new Poly_Triangulation(static_cast<int>(nodes.size()), static_cast<int>(triangles.size()), false);
  for (std::size_t i = 0; i < nodes.size(); ++i) mesh.mesh->SetNode(static_cast<int>(i) + 1, nodes[i]);
  for (std::size_t i = 0; i < triangles.size(); ++i) mesh.mesh->SetTriangle(static_cast<int>(i) + 1, triangles[i]);
  EXPECT_TRUE(same_body(a, facts_of(mesh)));
}
