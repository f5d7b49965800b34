// Writes the sample parts that ship with the project, each a STEP file whose
// products carry the names the host shows:
//   bracket.step       an L-shaped bracket with holes and fillets ("bracket")
//   turned_block.step  a block 100 x 50 x 20 with a corner at the origin,
//                      turned 10 degrees about Z through the origin
//                      ("turned block")
//   two_bodies.step    a box and a cylinder apart ("box", "cylinder")
//
// Usage: make_samples OUTDIR
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRep_Tool.hxx>
#include <ShapeUpgrade_UnifySameDomain.hxx>
#include <Standard_Failure.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <gp_Ax2.hxx>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "ufhost/core/part_io.h"

namespace {

// Edges of `shape` whose ends satisfy `where(a, b)`.
template <class Where>
std::vector<TopoDS_Edge> edges_where(const TopoDS_Shape& shape, Where where) {
  std::vector<TopoDS_Edge> out;
  for (TopExp_Explorer e(shape, TopAbs_EDGE); e.More(); e.Next()) {
    const TopoDS_Edge& edge = TopoDS::Edge(e.Current());
    const gp_Pnt a = BRep_Tool::Pnt(TopExp::FirstVertex(edge));
    const gp_Pnt b = BRep_Tool::Pnt(TopExp::LastVertex(edge));
    if (where(a, b)) out.push_back(edge);
  }
  return out;
}

TopoDS_Shape checked(BRepBuilderAPI_MakeShape& op, const char* what) {
  op.Build();
  if (!op.IsDone()) throw Standard_Failure(what);
  return op.Shape();
}

// An L of a base plate 80 x 40 x 8 and an upright 8 x 40 x 60, the inner
// corner and the base's far corners rounded, two holes in each plate.
TopoDS_Shape bracket() {
  const TopoDS_Shape base = BRepPrimAPI_MakeBox(gp_Pnt(0, 0, 0), 80, 40, 8).Shape();
  const TopoDS_Shape upright = BRepPrimAPI_MakeBox(gp_Pnt(0, 0, 0), 8, 40, 60).Shape();
  BRepAlgoAPI_Fuse fuse(base, upright);
  TopoDS_Shape l = checked(fuse, "fuse of the bracket's plates");
  ShapeUpgrade_UnifySameDomain unify(l, true, true, false);
  unify.Build();
  l = unify.Shape();

  const auto near = [](double a, double b) { return std::abs(a - b) < 1e-7; };
  BRepFilletAPI_MakeFillet inner(l);
  // The edge along Y where the plates meet inside.
  for (const TopoDS_Edge& e : edges_where(l, [&](const gp_Pnt& a, const gp_Pnt& b) {
         return near(a.X(), 8) && near(a.Z(), 8) && near(b.X(), 8) && near(b.Z(), 8);
       }))
    inner.Add(6.0, e);
  l = checked(inner, "fillet of the bracket's inner corner");
  BRepFilletAPI_MakeFillet outer(l);
  // The two upright edges at the base's far end.
  for (const TopoDS_Edge& e : edges_where(l, [&](const gp_Pnt& a, const gp_Pnt& b) {
         return near(a.X(), 80) && near(b.X(), 80) && near(a.Y(), b.Y()) && !near(a.Z(), b.Z());
       }))
    outer.Add(8.0, e);
  l = checked(outer, "fillet of the bracket's far corners");

  for (double y : {12.0, 28.0}) {
    const TopoDS_Shape hole = BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(60, y, -1), gp::DZ()), 4, 10).Shape();
    BRepAlgoAPI_Cut cut(l, hole);
    l = checked(cut, "hole in the bracket's base");
  }
  for (double y : {12.0, 28.0}) {
    const TopoDS_Shape hole = BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(-1, y, 42), gp::DX()), 4, 10).Shape();
    BRepAlgoAPI_Cut cut(l, hole);
    l = checked(cut, "hole in the bracket's upright");
  }
  return l;
}

// The turn is built into the geometry rather than kept as a placement, so
// the file holds the turned faces themselves.
TopoDS_Shape turned_block() {
  const TopoDS_Shape block = BRepPrimAPI_MakeBox(gp_Pnt(0, 0, 0), 100, 50, 20).Shape();
  gp_Trsf turn;
  turn.SetRotation(gp::OZ(), 10.0 * M_PI / 180.0);
  BRepBuilderAPI_Transform op(block, turn, /*copy=*/true);
  return checked(op, "turn of the block");
}

ufhost::Object solid(const TopoDS_Shape& shape, const char* name) {
  ufhost::Object o;
  o.kind = ufhost::Kind::SolidBody;
  o.shape = shape;
  o.name = name;
  return o;
}

bool write(const std::string& path, const std::vector<ufhost::Object>& bodies) {
  ufhost::Model model;
  for (const ufhost::Object& b : bodies) model.add(b);
  std::string error;
  if (!ufhost::save_part(model, path, "", &error)) {
    std::fprintf(stderr, "make_samples: %s\n", error.c_str());
    return false;
  }
  std::printf("wrote %s\n", path.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_samples OUTDIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  try {
    bool ok = write(dir + "/bracket.step", {solid(bracket(), "bracket")});
    ok = write(dir + "/turned_block.step", {solid(turned_block(), "turned block")}) && ok;
    const TopoDS_Shape box = BRepPrimAPI_MakeBox(gp_Pnt(0, 0, 0), 40, 30, 20).Shape();
    const TopoDS_Shape cylinder =
        BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(80, 15, 0), gp::DZ()), 10, 30).Shape();
    ok = write(dir + "/two_bodies.step", {solid(box, "box"), solid(cylinder, "cylinder")}) && ok;
    return ok ? 0 : 1;
  } catch (const Standard_Failure& e) {
    std::fprintf(stderr, "make_samples: the geometry kernel failed: %s\n", e.GetMessageString());
    return 1;
  }
}
