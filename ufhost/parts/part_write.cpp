// Writing a part: bodies and construction objects to BREP or STEP.
#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakePolygon.hxx>
#include <BRepBuilderAPI_MakeVertex.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <STEPCAFControl_Writer.hxx>
#include <STEPControl_StepModelType.hxx>
#include <Standard_Failure.hxx>
#include <TCollection_ExtendedString.hxx>
#include <TDF_Label.hxx>
#include <TDataStd_Name.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Face.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <gp_Pln.hxx>

#include <algorithm>
#include <set>

#include "ufhost/parts/part_io_internal.h"

namespace ufhost::part_files {

namespace {

// A mesh as faces that hold only its triangles: what BREP keeps losslessly.
TopoDS_Face triangulation_face(const Handle(Poly_Triangulation)& mesh) {
  TopoDS_Face face;
  BRep_Builder().MakeFace(face, mesh);
  return face;
}

// A mesh as planar triangles, for formats that keep no bare triangulation.
// Triangles without area have no plane and are left out.
TopoDS_Shape planar_faces(const Handle(Poly_Triangulation)& mesh) {
  TopoDS_Compound c;
  BRep_Builder b;
  b.MakeCompound(c);
  for (int i = 1; i <= mesh->NbTriangles(); ++i) {
    int n1 = 0, n2 = 0, n3 = 0;
    mesh->Triangle(i).Get(n1, n2, n3);
    const gp_Pnt p1 = mesh->Node(n1), p2 = mesh->Node(n2), p3 = mesh->Node(n3);
    if (gp_Vec(p1, p2).Crossed(gp_Vec(p1, p3)).Magnitude() <= 1e-300) continue;
    BRepBuilderAPI_MakePolygon poly(p1, p2, p3, /*close=*/true);
    if (!poly.IsDone()) continue;
    BRepBuilderAPI_MakeFace face(poly.Wire(), /*onlyPlane=*/true);
    if (face.IsDone()) b.Add(c, face.Face());
  }
  return c;
}

Handle(Poly_Triangulation) facet_triangulation(const Facets& facets) {
  int triangles = 0;
  for (int i = 0; i < facets.count(); ++i)
    triangles += std::max(0, facets.start[i + 1] - facets.start[i] - 2);
  const int nodes = static_cast<int>(facets.xyz.size() / 3);
  Handle(Poly_Triangulation) mesh = new Poly_Triangulation(nodes, triangles, false, false);
  for (int i = 0; i < nodes; ++i)
    mesh->SetNode(i + 1, gp_Pnt(facets.xyz[3 * i], facets.xyz[3 * i + 1], facets.xyz[3 * i + 2]));
  int t = 0;
  for (int i = 0; i < facets.count(); ++i)
    for (int k = facets.start[i] + 1; k + 1 < facets.start[i + 1]; ++k)
      mesh->SetTriangle(++t, Poly_Triangle(facets.start[i] + 1, k + 1, k + 2));
  return mesh;
}

// A datum plane is unbounded; it is written as a square outline, 100 units
// a side about its origin, so that it shows in a viewer but is never read
// back as a face of a body.
TopoDS_Shape plane_outline(const Object& object) {
  const gp_Pln pln(object.p0, gp_Dir(object.normal));
  const gp_Vec u(pln.XAxis().Direction()), v(pln.YAxis().Direction());
  const double h = 50.0;
  const gp_Pnt o = object.p0;
  BRepBuilderAPI_MakePolygon poly(o.Translated(-h * u - h * v), o.Translated(h * u - h * v),
                                  o.Translated(h * u + h * v), o.Translated(-h * u + h * v),
                                  /*close=*/true);
  return poly.Wire();
}

// The object as the shape to write; null when it has nothing to write in
// this format.
TopoDS_Shape shape_to_write(const Object& object, bool step) {
  switch (object.kind) {
    case Kind::SolidBody:
    case Kind::SheetBody:
      return object.shape;
    case Kind::MeshBody:
      if (object.mesh.IsNull() || object.mesh->NbTriangles() == 0) return TopoDS_Shape();
      return step ? planar_faces(object.mesh) : TopoDS_Shape(triangulation_face(object.mesh));
    case Kind::Point:
      return BRepBuilderAPI_MakeVertex(object.p0).Vertex();
    case Kind::Line:
      // A line of no length is still an object of the part: keep its point.
      if (object.p0.Distance(object.p1) <= 0.0) return BRepBuilderAPI_MakeVertex(object.p0).Vertex();
      return BRepBuilderAPI_MakeEdge(object.p0, object.p1).Edge();
    case Kind::Plane:
      if (object.normal.Magnitude() <= 0.0) return TopoDS_Shape();
      return plane_outline(object);
    case Kind::FacetModel:
      // STEP has no bare triangulation, and thousands of planar faces would
      // come back as a sheet body; facet models go to BREP only.
      if (step || !object.facets || object.facets->count() == 0) return TopoDS_Shape();
      return triangulation_face(facet_triangulation(*object.facets));
    case Kind::SectionCurves:
      if (!object.section) return object.shape;
      // Curves nobody looked at are computed now; a section the kernel
      // cannot make is left out rather than failing the whole save.
      try {
        return object.section->curves();
      } catch (const Standard_Failure&) {
        return TopoDS_Shape();
      }
  }
  return TopoDS_Shape();
}

// The exchange document takes a shape it already holds for the same
// product, so a copy made by a move (the original's geometry under a
// placement) or a copy that was not moved at all would vanish into its
// original. Such shapes get geometry of their own, placement built in.
TopoDS_Shape standalone(const TopoDS_Shape& shape, std::set<const void*>* seen) {
  const bool shared = !seen->insert(shape.TShape().get()).second;
  if (!shared && shape.Location().IsIdentity()) return shape;
  BRepBuilderAPI_Transform op(shape.Located(TopLoc_Location()), shape.Location().Transformation(),
                              /*copy=*/true);
  if (!op.IsDone()) throw PartError{"a moved body could not be written"};
  seen->insert(op.Shape().TShape().get());
  return op.Shape();
}

}  // namespace

void write_brep(const Model& model, const std::string& tmp) {
  TopoDS_Compound all;
  BRep_Builder b;
  b.MakeCompound(all);
  int written = 0;
  for (Tag tag : model.tags()) {
    const TopoDS_Shape s = shape_to_write(*model.find(tag), false);
    if (s.IsNull()) continue;
    b.Add(all, s);
    ++written;
  }
  if (written == 0) throw PartError{"the part holds nothing to write"};
  if (!BRepTools::Write(all, tmp.c_str())) throw PartError{"the BREP writer failed"};
}

void write_step(const Model& model, const std::string& tmp) {
  Handle(TDocStd_Document) doc = new_document();
  Handle(XCAFDoc_ShapeTool) tool = XCAFDoc_DocumentTool::ShapeTool(doc->Main());
  std::set<const void*> seen;
  int written = 0;
  for (Tag tag : model.tags()) {
    const Object& object = *model.find(tag);
    TopoDS_Shape s = shape_to_write(object, true);
    if (s.IsNull()) continue;
    s = standalone(s, &seen);
    const TDF_Label label = tool->AddShape(s, /*makeAssembly=*/false);
    const std::string name = object.name.empty() ? kind_name(object.kind) : object.name;
    TDataStd_Name::Set(label, TCollection_ExtendedString(name.c_str(), /*isMultiByte=*/true));
    ++written;
  }
  if (written == 0) throw PartError{"the part holds nothing to write"};
  STEPCAFControl_Writer writer;
  writer.SetNameMode(true);
  writer.SetColorMode(false);
  writer.SetLayerMode(false);
  if (!writer.Transfer(doc, STEPControl_AsIs)) throw PartError{"the STEP writer could not translate the part"};
  if (writer.Write(tmp.c_str()) != IFSelect_RetDone) throw PartError{"the STEP writer failed"};
}

}  // namespace ufhost::part_files
