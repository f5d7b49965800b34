#include "tests/support/shapes.h"

#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Iterator.hxx>

namespace testing_support {

namespace {

void count_loose_in(const TopoDS_Shape& shape, int* edges, int* vertices) {
  for (TopoDS_Iterator it(shape); it.More(); it.Next()) {
    const TopAbs_ShapeEnum type = it.Value().ShapeType();
    if (type == TopAbs_COMPOUND) count_loose_in(it.Value(), edges, vertices);
    if (type == TopAbs_EDGE) ++*edges;
    if (type == TopAbs_VERTEX) ++*vertices;
  }
}

}  // namespace

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
