#include "tests/support/shapes.h"

#include <BRepAlgoAPI_Common.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakePolygon.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakePrism.hxx>
#include <BRepPrimAPI_MakeRevol.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Iterator.hxx>

#include <cmath>
#include <utility>

namespace testing_support {

namespace {

// The solid swept by the closed polygon of (radius, z) points turned about Z.
TopoDS_Shape turned_profile(const std::vector<std::pair<double, double>>& profile) {
  BRepBuilderAPI_MakePolygon polygon;
  for (const auto& p : profile) polygon.Add(gp_Pnt(p.first, 0.0, p.second));
  polygon.Close();
  const TopoDS_Face face = BRepBuilderAPI_MakeFace(polygon.Wire(), Standard_True);
  return BRepPrimAPI_MakeRevol(face, gp_Ax1(gp_Pnt(0, 0, 0), gp_Dir(0, 0, 1))).Shape();
}

void count_loose_in(const TopoDS_Shape& shape, int* edges, int* vertices) {
  for (TopoDS_Iterator it(shape); it.More(); it.Next()) {
    const TopAbs_ShapeEnum type = it.Value().ShapeType();
    if (type == TopAbs_COMPOUND) count_loose_in(it.Value(), edges, vertices);
    if (type == TopAbs_EDGE) ++*edges;
    if (type == TopAbs_VERTEX) ++*vertices;
  }
}

}  // namespace

TopoDS_Shape stepped_shaft() {
  TopoDS_Shape shaft = turned_profile(
      {{0, 0}, {15, 0}, {15, 10}, {10, 10}, {10, 50}, {6, 50}, {6, 64}, {5, 65}, {0, 65}});
  const TopoDS_Shape flat = BRepPrimAPI_MakeBox(gp_Pnt(12, -20, -1), gp_Pnt(20, 20, 11)).Shape();
  shaft = BRepAlgoAPI_Cut(shaft, flat).Shape();
  const TopoDS_Shape hole =
      BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(-20, 0, 30), gp_Dir(1, 0, 0)), 3, 40).Shape();
  return BRepAlgoAPI_Cut(shaft, hole).Shape();
}

TopoDS_Shape hex_nut(double across_flats, double height, double bore) {
  BRepBuilderAPI_MakePolygon hexagon;
  const double corner = across_flats / std::sqrt(3.0);
  for (int k = 0; k < 6; ++k)
    hexagon.Add(gp_Pnt(corner * std::cos(k * M_PI / 3), corner * std::sin(k * M_PI / 3), 0));
  hexagon.Close();
  const TopoDS_Face base = BRepBuilderAPI_MakeFace(hexagon.Wire(), Standard_True);
  const TopoDS_Shape prism = BRepPrimAPI_MakePrism(base, gp_Vec(0, 0, height)).Shape();
  // The chamfer cone rises tan 30 degrees for each unit outward; past the
  // corners it gives way to a cylinder that cuts nothing.
  const double start = 0.475 * across_flats, reach = 1.05 * corner;
  const double rise = (reach - start) * std::tan(M_PI / 6);
  const TopoDS_Shape chamfers = turned_profile(
      {{0, 0}, {start, 0}, {reach, rise}, {reach, height - rise}, {start, height}, {0, height}});
  const TopoDS_Shape nut = BRepAlgoAPI_Common(prism, chamfers).Shape();
  const TopoDS_Shape hole =
      BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(0, 0, -1), gp_Dir(0, 0, 1)), bore, height + 2).Shape();
  return BRepAlgoAPI_Cut(nut, hole).Shape();
}

std::vector<double> tolerances(const TopoDS_Shape& shape) {
  std::vector<double> out;
  for (TopExp_Explorer e(shape, TopAbs_VERTEX); e.More(); e.Next())
    out.push_back(BRep_Tool::Tolerance(TopoDS::Vertex(e.Current())));
  for (TopExp_Explorer e(shape, TopAbs_EDGE); e.More(); e.Next())
    out.push_back(BRep_Tool::Tolerance(TopoDS::Edge(e.Current())));
  for (TopExp_Explorer e(shape, TopAbs_FACE); e.More(); e.Next())
    out.push_back(BRep_Tool::Tolerance(TopoDS::Face(e.Current())));
  return out;
}

bool count_loose(const std::string& path, int* edges, int* vertices) {
  *edges = 0;
  *vertices = 0;
  TopoDS_Shape saved;
  BRep_Builder builder;
  if (!BRepTools::Read(saved, path.c_str(), builder)) return false;
  count_loose_in(saved, edges, vertices);
  return true;
}

}  // namespace testing_support
