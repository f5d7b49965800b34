#include "ufhost/model/facets.h"
#include "ufhost/base/progress.h"

#include <BRepBndLib.hxx>
#include <BRepBuilderAPI_Copy.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <IMeshTools_Parameters.hxx>
#include <Precision.hxx>
#include <Standard_Failure.hxx>
#include <TopExp_Explorer.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>
#include <algorithm>
#include <cmath>
#include <utility>

namespace ufhost {

namespace {

void add_corner(Facets& f, const gp_Pnt& p) {
  f.xyz.push_back(p.X());
  f.xyz.push_back(p.Y());
  f.xyz.push_back(p.Z());
}

void close_facet(Facets& f) {
  const int corners = static_cast<int>(f.xyz.size() / 3);
  if (corners - f.start.back() > f.max_corners) f.max_corners = corners - f.start.back();
  f.start.push_back(corners);
}

std::shared_ptr<const Facets> finished(Facets&& f) {
  if (f.count() < 1) return nullptr;
  return std::make_shared<const Facets>(std::move(f));
}

// The file's own triangles: nodes are already absolute, and the winding is
// the file's, so nothing is transformed or turned.
std::shared_ptr<const Facets> mesh_facets(const Handle(Poly_Triangulation) & mesh) {
  if (mesh.IsNull()) return nullptr;
  Facets f;
  f.start.push_back(0);
  f.xyz.reserve(static_cast<std::size_t>(mesh->NbTriangles()) * 9);
  for (int i = 1; i <= mesh->NbTriangles(); ++i) {
    int n[3];
    mesh->Triangle(i).Get(n[0], n[1], n[2]);
    for (int k : n) add_corner(f, mesh->Node(k));
    close_facet(f);
  }
  return finished(std::move(f));
}

double chord_for(const TopoDS_Shape& shape, const FacetSettings& s) {
  if (s.surface_chord > 0.0) return s.surface_chord;
  Bnd_Box box;
  BRepBndLib::Add(shape, box, false);
  if (box.IsVoid()) return 0.0;
  const double fraction = s.relative_chord > 0.0 ? s.relative_chord : kDefaultRelativeChord;
  // A degenerate box would ask the mesher for facets finer than the kernel
  // can tell points apart.
  return std::max(fraction * std::sqrt(box.SquareExtent()), 10 * Precision::Confusion());
}

std::shared_ptr<const Facets> brep_facets(const TopoDS_Shape& shape, const FacetSettings& s) {
  if (shape.IsNull()) return nullptr;
  const double chord = chord_for(shape, s);
  if (!(chord > 0.0)) return nullptr;

  // The mesher stores its triangles and edge polygons in the shape it gets
  // and may touch tolerances; a copy of the topology (sharing the read-only
  // curves and surfaces) keeps the body itself as it was.
  BRepBuilderAPI_Copy copy(shape, Standard_False, Standard_False);
  if (!copy.IsDone()) return nullptr;
  const TopoDS_Shape work = copy.Shape();

  IMeshTools_Parameters p;
  p.DeflectionInterior = chord;
  p.AngleInterior = s.surface_angle > 0.0 ? s.surface_angle : kDefaultAngle;
  p.Deflection = s.curve_chord > 0.0 ? s.curve_chord : chord;
  p.Angle = s.curve_angle > 0.0 ? s.curve_angle : kDefaultAngle;
  p.Relative = Standard_False;
  p.InParallel = Standard_False;
  BRepMesh_IncrementalMesh mesher(work, p);

  Facets f;
  f.start.push_back(0);
  for (TopExp_Explorer ex(work, TopAbs_FACE); ex.More(); ex.Next()) {
    const TopoDS_Face& face = TopoDS::Face(ex.Current());
    TopLoc_Location loc;
    const Handle(Poly_Triangulation)& tri = BRep_Tool::Triangulation(face, loc);
    if (tri.IsNull()) continue;  // a face the mesher gave up on
    const bool moved = !loc.IsIdentity();
    const gp_Trsf trsf = loc.Transformation();
    const bool reversed = face.Orientation() == TopAbs_REVERSED;
    for (int i = 1; i <= tri->NbTriangles(); ++i) {
      int n[3];
      tri->Triangle(i).Get(n[0], n[1], n[2]);
      if (reversed) std::swap(n[1], n[2]);
      for (int k : n) add_corner(f, moved ? tri->Node(k).Transformed(trsf) : tri->Node(k));
      close_facet(f);
    }
  }
  return finished(std::move(f));
}

}  // namespace

std::shared_ptr<const Facets> facet_body(const Object& body, const FacetSettings& settings) {
  Progress progress("faceting " + body.name);
  try {
    switch (body.kind) {
      case Kind::MeshBody:
        return mesh_facets(body.mesh);
      case Kind::SolidBody:
      case Kind::SheetBody:
        return brep_facets(body.shape, settings);
      default:
        return nullptr;
    }
  } catch (const Standard_Failure&) {
    return nullptr;  // the kernel could not tessellate this geometry
  }
}

Tag add_facet_model(Model& model, Tag body, const FacetSettings& settings) {
  const Object& solid = *model.find(body);
  std::shared_ptr<const Facets> facets = facet_body(solid, settings);
  if (!facets) return kNullTag;
  Object made;
  made.kind = Kind::FacetModel;
  made.name = "facets of " + solid.name;
  made.facets = std::move(facets);
  made.source = body;
  return model.add(std::move(made));
}

}  // namespace ufhost
