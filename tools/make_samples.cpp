// Writes the sample parts that ship with the project, each a STEP file whose
// products carry the names the host shows:
//   bracket.step       an L-shaped bracket with holes and fillets ("bracket")
//   turned_block.step  a block 100 x 50 x 20 with a corner at the origin,
//                      turned 10 degrees about Z through the origin
//                      ("turned block")
//   two_bodies.step    a box and a cylinder apart ("box", "cylinder")
//   assembly.step      an assembly of 13 instances of 7 parts, most placed
//                      turned or tilted: two base plates, a cover plate, four
//                      shafts, three spacers, the same spacer as another
//                      system exports it (2e-8 of noise), one 0.1 mm thicker,
//                      and an L bracket; each product names its material
//
// With --bench, writes instead the cut list's benchmark: assembly200.step,
// 200 instances of 10 distinct parts, and part-1.step to part-10.step, each
// of the 10 alone.
//
// Usage: make_samples OUTDIR
//        make_samples --bench OUTDIR
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
#include <IFSelect_ReturnStatus.hxx>
#include <STEPCAFControl_Writer.hxx>
#include <TCollection_HAsciiString.hxx>
#include <TDataStd_Name.hxx>
#include <TDocStd_Document.hxx>
#include <TopLoc_Location.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_MaterialTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <gp_Ax2.hxx>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "ufhost/kernel/kernel_quiet.h"
#include "ufhost/parts/part_io.h"

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

// A plate L x W x T with a hole of diameter `hole` near each corner.
TopoDS_Shape plate(double l, double w, double t, double hole) {
  TopoDS_Shape p = BRepPrimAPI_MakeBox(gp_Pnt(0, 0, 0), l, w, t).Shape();
  for (double x : {15.0, l - 15.0})
    for (double y : {15.0, w - 15.0}) {
      const TopoDS_Shape h =
          BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(x, y, -1), gp::DZ()), hole / 2, t + 2).Shape();
      BRepAlgoAPI_Cut cut(p, h);
      p = checked(cut, "hole in a plate");
    }
  return p;
}

// A square spacer with a bore; `noise` moves its
// faces by up to 2e-8 the way another system's export rounds them.
TopoDS_Shape spacer(double side, double thickness, double noise) {
  const TopoDS_Shape block =
      BRepPrimAPI_MakeBox(gp_Pnt(noise, -0.5 * noise, 0), side + 0.5 * noise, side - noise,
                          thickness + noise)
          .Shape();
  const TopoDS_Shape bore =
      BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(side / 2, side / 2, -1), gp::DZ()), 10, thickness + 2)
          .Shape();
  BRepAlgoAPI_Cut cut(block, bore);
  return checked(cut, "bore of a spacer");
}

// A plate 120 x 60 x 8 with a web 60 wide, 8 thick and 50 high standing
// at one end: an L seen from the side.
TopoDS_Shape l_bracket() {
  const TopoDS_Shape base = BRepPrimAPI_MakeBox(gp_Pnt(0, 0, 0), 120, 60, 8).Shape();
  const TopoDS_Shape web = BRepPrimAPI_MakeBox(gp_Pnt(0, 0, 8), 8, 60, 50).Shape();
  BRepAlgoAPI_Fuse fuse(base, web);
  TopoDS_Shape l = checked(fuse, "fuse of the L bracket");
  ShapeUpgrade_UnifySameDomain unify(l, true, true, false);
  unify.Build();
  return unify.Shape();
}

// A placement: turned by `degrees` about `axis` through the origin, then
// moved by (x, y, z).
gp_Trsf placed(const gp_Dir& axis, double degrees, double x, double y, double z) {
  gp_Trsf turn, move;
  turn.SetRotation(gp_Ax1(gp::Origin(), axis), degrees * M_PI / 180.0);
  move.SetTranslation(gp_Vec(x, y, z));
  return move * turn;
}

struct Product {
  const char* name;
  const char* material;
  double density;  // kg/m^3
  TopoDS_Shape shape;
  std::vector<gp_Trsf> instances;
};

// One assembly whose components are instances of the products; the file
// keeps each product's shape once and each instance's placement.
bool write_assembly(const std::string& path, const std::vector<Product>& products) {
  Handle(TDocStd_Document) doc;
  XCAFApp_Application::GetApplication()->NewDocument("MDTV-XCAF", doc);
  const Handle(XCAFDoc_ShapeTool) shapes = XCAFDoc_DocumentTool::ShapeTool(doc->Main());
  const Handle(XCAFDoc_MaterialTool) materials = XCAFDoc_DocumentTool::MaterialTool(doc->Main());
  const TDF_Label top = shapes->NewShape();
  TDataStd_Name::Set(top, "cut list sample");
  for (const Product& p : products) {
    const TDF_Label part = shapes->AddShape(p.shape, /*makeAssembly=*/false);
    TDataStd_Name::Set(part, p.name);
    materials->SetMaterial(part, new TCollection_HAsciiString(p.material),
                           new TCollection_HAsciiString(""), p.density,
                           new TCollection_HAsciiString("density"),
                           new TCollection_HAsciiString("POSITIVE_RATIO_MEASURE"));
    for (const gp_Trsf& t : p.instances) shapes->AddComponent(top, part, TopLoc_Location(t));
  }
  shapes->UpdateAssemblies();
  ufhost::KernelQuiet quiet;
  STEPCAFControl_Writer writer;
  writer.SetNameMode(true);
  writer.SetMaterialMode(true);
  if (!writer.Transfer(doc, STEPControl_AsIs) || writer.Write(path.c_str()) != IFSelect_RetDone) {
    std::fprintf(stderr, "make_samples: cannot write %s\n", path.c_str());
    return false;
  }
  std::printf("wrote %s\n", path.c_str());
  return true;
}

std::vector<Product> assembly() {
  const TopoDS_Shape shaft = BRepPrimAPI_MakeCylinder(gp_Ax2(gp::Origin(), gp::DZ()), 20, 150).Shape();
  const gp_Dir z = gp::DZ(), x = gp::DX(), tilted(1, 1, 1);
  return {
      {"base plate", "S235", 7850, plate(200, 100, 10, 12),
       {placed(z, 30, 0, 0, 0), placed(x, 15, 0, 300, 40) * placed(z, 40, 0, 0, 0)}},
      {"cover plate", "S235", 7850, plate(150, 80, 5, 8), {placed(tilted, 25, 300, 0, 0)}},
      {"shaft", "C45", 7850, shaft,
       {placed(x, 90, 0, -200, 20), placed(tilted, 50, 100, -200, 20), placed(z, 0, 200, -200, 0),
        placed(gp_Dir(0, 1, 2), 33, 300, -200, 20)}},
      {"spacer", "S235", 7850, spacer(60, 20, 0),
       {placed(z, 0, -200, 0, 0), placed(z, 45, -200, 100, 0), placed(x, 90, -200, 200, 0)}},
      {"spacer (from the supplier)", "S235", 7850, spacer(60, 20, 2e-8), {placed(tilted, 70, -300, 0, 0)}},
      {"spacer 20.1", "S235", 7850, spacer(60, 20.1, 0), {placed(z, 10, -300, 200, 0)}},
      {"L bracket", "S235", 7850, l_bracket(), {placed(z, 20, 400, 300, 0)}},
  };
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

// Ten distinct parts, twenty instances each, every instance placed
// differently; and each part alone in a file of its own.
bool write_bench(const std::string& dir) {
  const TopoDS_Shape shaft = BRepPrimAPI_MakeCylinder(gp_Ax2(gp::Origin(), gp::DZ()), 20, 150).Shape();
  const TopoDS_Shape pin = BRepPrimAPI_MakeCylinder(gp_Ax2(gp::Origin(), gp::DZ()), 12.5, 90).Shape();
  std::vector<Product> products = {
      {"base plate", "S235", 7850, plate(200, 100, 10, 12), {}},
      {"cover plate", "S235", 7850, plate(150, 80, 5, 8), {}},
      {"foot plate", "S235", 7850, plate(120, 60, 8, 10), {}},
      {"shaft", "C45", 7850, shaft, {}},
      {"pin", "C45", 7850, pin, {}},
      {"spacer", "S235", 7850, spacer(60, 20, 0), {}},
      {"small spacer", "S235", 7850, spacer(40, 15, 0), {}},
      {"L bracket", "S235", 7850, l_bracket(), {}},
      {"bracket", "S235", 7850, bracket(), {}},
      {"turned block", "S235", 7850, turned_block(), {}},
  };
  bool ok = true;
  for (std::size_t i = 0; i < products.size(); ++i) {
    Product& p = products[i];
    for (int k = 0; k < 20; ++k)
      p.instances.push_back(placed(gp_Dir(1 + k % 3, 2 - k % 2, 1 + k), 17.0 * k, 300.0 * k, 400.0 * i, 0));
    ok = write(dir + "/part-" + std::to_string(i + 1) + ".step", {solid(p.shape, p.name)}) && ok;
  }
  return write_assembly(dir + "/assembly200.step", products) && ok;
}

int main(int argc, char** argv) {
  const bool bench = argc == 3 && std::string(argv[1]) == "--bench";
  if (argc != 2 && !bench) {
    std::fprintf(stderr, "usage: make_samples OUTDIR\n       make_samples --bench OUTDIR\n");
    return 2;
  }
  const std::string dir = argv[argc - 1];
  try {
    if (bench) return write_bench(dir) ? 0 : 1;
    bool ok = write(dir + "/bracket.step", {solid(bracket(), "bracket")});
    ok = write(dir + "/turned_block.step", {solid(turned_block(), "turned block")}) && ok;
    const TopoDS_Shape box = BRepPrimAPI_MakeBox(gp_Pnt(0, 0, 0), 40, 30, 20).Shape();
    const TopoDS_Shape cylinder =
        BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(80, 15, 0), gp::DZ()), 10, 30).Shape();
    ok = write(dir + "/two_bodies.step", {solid(box, "box"), solid(cylinder, "cylinder")}) && ok;
    ok = write_assembly(dir + "/assembly.step", assembly()) && ok;
    return ok ? 0 : 1;
  } catch (const Standard_Failure& e) {
    std::fprintf(stderr, "make_samples: the geometry kernel failed: %s\n", e.GetMessageString());
    return 1;
  }
}
