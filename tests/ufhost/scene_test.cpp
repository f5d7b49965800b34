// The part as a page draws it: bodies as triangles facing out that cover
// the body, lines and points as their coordinates, the commands' working
// objects not at all, and the model's shapes left without a triangulation.
#include "ufhost/model/scene.h"

#include <gtest/gtest.h>

#include <BRepAlgoAPI_Cut.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRep_Tool.hxx>
#include <Standard_Failure.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

#include <string>

#include "ufhost/kernel/containment.h"

namespace {

using nlohmann::json;
using ufhost::Kind;
using ufhost::Object;

Object solid(const TopoDS_Shape& shape, const char* name = "block") {
  Object o;
  o.kind = Kind::SolidBody;
  o.name = name;
  o.shape = shape;
  return o;
}

// The volume the page's triangles enclose: positive when they face out.
double enclosed_volume(const json& body) {
  const json& p = body["positions"];
  const json& idx = body["indices"];
  double v = 0;
  for (std::size_t t = 0; t + 2 < idx.size(); t += 3) {
    gp_XYZ c[3];
    for (int k = 0; k < 3; ++k) {
      const std::size_t n = idx[t + k].get<std::size_t>();
      c[k].SetCoord(p[3 * n].get<double>(), p[3 * n + 1].get<double>(), p[3 * n + 2].get<double>());
    }
    v += c[0].Dot(c[1].Crossed(c[2])) / 6;
  }
  return v;
}

TEST(Scene, ABodyIsDrawnAsTrianglesFacingOut) {
  // A cavity's faces are reversed in the kernel: its triangles must turn.
  const TopoDS_Shape block = BRepAlgoAPI_Cut(BRepPrimAPI_MakeBox(gp_Pnt(10, 20, 30), 10, 20, 30).Shape(),
                                             BRepPrimAPI_MakeBox(gp_Pnt(12, 22, 32), 2, 3, 4).Shape())
                                 .Shape();
  const json drawn = ufhost::scene_object(7, solid(block));
  EXPECT_EQ(7, drawn["tag"]);
  EXPECT_EQ("body", drawn["what"]);
  EXPECT_EQ("solid body", drawn["type"]);
  EXPECT_EQ("block", drawn["name"]);
  EXPECT_FALSE(drawn["copy"].get<bool>());
  ASSERT_EQ(0u, drawn["indices"].size() % 3);
  const std::size_t nodes = drawn["positions"].size() / 3;
  for (const json& i : drawn["indices"]) EXPECT_LT(i.get<std::size_t>(), nodes);
  for (std::size_t n = 0; n < nodes; ++n)
    for (int k = 0; k < 3; ++k) {
      const double c = drawn["positions"][3 * n + k].get<double>();
      EXPECT_GE(c, 10.0 * (k + 1) - 1e-4);
      EXPECT_LE(c, 10.0 * (k + 1) + 10.0 * (k + 1) + 1e-4);
    }
  EXPECT_NEAR(6000 - 24, enclosed_volume(drawn), 1e-2);
}

TEST(Scene, TheModelsShapeKeepsNoTriangulation) {
  const TopoDS_Shape block = BRepPrimAPI_MakeBox(1, 2, 3).Shape();
  ufhost::scene_object(1, solid(block));
  for (TopExp_Explorer e(block, TopAbs_FACE); e.More(); e.Next()) {
    TopLoc_Location where;
    EXPECT_TRUE(BRep_Tool::Triangulation(TopoDS::Face(e.Current()), where).IsNull());
  }
}

TEST(Scene, AMeshBodyIsDrawnWithItsOwnTriangles) {
  Object mesh;
  mesh.kind = Kind::MeshBody;
  mesh.name = "tris copy";
  mesh.mesh = new Poly_Triangulation(3, 1, false);
  mesh.mesh->SetNode(1, gp_Pnt(0, 0, 0));
  mesh.mesh->SetNode(2, gp_Pnt(1, 0, 0));
  mesh.mesh->SetNode(3, gp_Pnt(0, 1, 0.5));
  mesh.mesh->SetTriangle(1, Poly_Triangle(1, 3, 2));
  const json drawn = ufhost::scene_object(3, mesh);
  EXPECT_EQ("mesh body", drawn["type"]);
  EXPECT_TRUE(drawn["copy"].get<bool>());
  EXPECT_EQ(json({0, 0, 0, 1, 0, 0, 0, 1, 0.5}), drawn["positions"]);
  EXPECT_EQ(json({0, 2, 1}), drawn["indices"]);
}

TEST(Scene, LinesAndPointsAreTheirCoordinates) {
  Object line;
  line.kind = Kind::Line;
  line.p0 = gp_Pnt(1, 2, 3);
  line.p1 = gp_Pnt(-4, 5.5, 6);
  Object point;
  point.kind = Kind::Point;
  point.p0 = gp_Pnt(7, 8, 9);
  EXPECT_EQ(json::parse(R"({"tag": 4, "what": "line", "points": [1, 2, 3, -4, 5.5, 6]})"),
            ufhost::scene_object(4, line));
  EXPECT_EQ(json::parse(R"({"tag": 5, "what": "point", "points": [7, 8, 9]})"),
            ufhost::scene_object(5, point));
}

TEST(Scene, WorkingObjectsAreNotDrawn) {
  for (Kind kind : {Kind::Plane, Kind::FacetModel, Kind::SectionCurves}) {
    SCOPED_TRACE(ufhost::kind_name(kind));
    Object o;
    o.kind = kind;
    EXPECT_FALSE(ufhost::shown_in_scene(kind));
    EXPECT_TRUE(ufhost::scene_object(1, o).is_null());
  }
  for (Kind kind : {Kind::SolidBody, Kind::SheetBody, Kind::MeshBody, Kind::Line, Kind::Point})
    EXPECT_TRUE(ufhost::shown_in_scene(kind)) << ufhost::kind_name(kind);
}

TEST(Scene, ABodyWithoutGeometryIsDrawnEmpty) {
  const json drawn = ufhost::scene_object(2, solid(TopoDS_Shape()));
  EXPECT_EQ("body", drawn["what"]);
  EXPECT_TRUE(drawn["positions"].empty());
  EXPECT_TRUE(drawn["indices"].empty());
}

TEST(Scene, AKernelCrashWhileTessellatingIsTheKernelsFailure) {
  ufhost::contain_kernel_faults("part.step", 99);
  const std::string crash_in = "tessellating a body";
  ufhost::watch_crash_double(&crash_in);
  bool failed = false;
  try {
    ufhost::scene_object(1, solid(BRepPrimAPI_MakeBox(1, 1, 1).Shape()));
  } catch (const Standard_Failure& e) {
    failed = ufhost::is_fault_signal(e);
  }
  ufhost::watch_crash_double(nullptr);
  EXPECT_TRUE(failed);
}

}  // namespace
