// Boxes, tolerances and rigid moves of model objects.
//
// The box is the kernel's precise one on the exact surfaces: tolerances and
// tessellations would each make a body look bigger than it is, and the frame
// box command shows this box to the user as the body's size.
#include "ufhost/model/object_geometry.h"

#include <BRepBndLib.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <TopExp_Explorer.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS.hxx>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

namespace ufhost {
namespace {

void box_of_points(const double* xyz, std::size_t count, double box[6]) {
  for (int k = 0; k < 3; ++k) {
    box[k] = xyz[k];
    box[k + 3] = xyz[k];
  }
  for (std::size_t i = 1; i < count; ++i)
    for (int k = 0; k < 3; ++k) {
      box[k] = std::min(box[k], xyz[3 * i + k]);
      box[k + 3] = std::max(box[k + 3], xyz[3 * i + k]);
    }
}

bool shape_box(const TopoDS_Shape& shape, double box[6], BoxCache* cache) {
  if (shape.IsNull()) return false;
  if (cache != nullptr && cache->find(shape, box)) return true;
  Bnd_Box b;
  BRepBndLib::AddOptimal(shape, b, /*useTriangulation=*/false, /*useShapeTolerance=*/false);
  if (b.IsVoid()) return false;
  b.Get(box[0], box[1], box[2], box[3], box[4], box[5]);
  if (cache != nullptr) cache->keep(shape, box);
  return true;
}

bool mesh_box(const Handle(Poly_Triangulation)& mesh, double box[6]) {
  if (mesh.IsNull() || mesh->NbNodes() < 1) return false;
  const gp_Pnt first = mesh->Node(1);
  box[0] = box[3] = first.X();
  box[1] = box[4] = first.Y();
  box[2] = box[5] = first.Z();
  for (int i = 2; i <= mesh->NbNodes(); ++i) {
    const gp_Pnt p = mesh->Node(i);
    const double c[3] = {p.X(), p.Y(), p.Z()};
    for (int k = 0; k < 3; ++k) {
      box[k] = std::min(box[k], c[k]);
      box[k + 3] = std::max(box[k + 3], c[k]);
    }
  }
  return true;
}

// A location can carry only a rigid motion without trouble; anything with a
// scale or a mirror is applied to the geometry itself.
bool is_rigid(const gp_Trsf& trsf) {
  return !trsf.IsNegative() && std::abs(trsf.ScaleFactor() - 1.0) <= 1e-12;
}

TopoDS_Shape moved_shape(const TopoDS_Shape& shape, const gp_Trsf& trsf) {
  if (shape.IsNull() || trsf.Form() == gp_Identity) return shape;
  if (is_rigid(trsf)) return shape.Moved(TopLoc_Location(trsf));
  BRepBuilderAPI_Transform op(shape, trsf, /*copy=*/true);
  if (!op.IsDone()) throw Standard_Failure("the body cannot be transformed");
  return op.Shape();
}

Handle(Poly_Triangulation) moved_mesh(const Handle(Poly_Triangulation)& mesh, const gp_Trsf& trsf) {
  if (mesh.IsNull()) return mesh;
  Handle(Poly_Triangulation) out =
      new Poly_Triangulation(mesh->NbNodes(), mesh->NbTriangles(), false, false);
  for (int i = 1; i <= mesh->NbNodes(); ++i) out->SetNode(i, mesh->Node(i).Transformed(trsf));
  // A mirror turns the winding: swap two corners so normals still point out.
  const bool flip = trsf.IsNegative();
  for (int i = 1; i <= mesh->NbTriangles(); ++i) {
    int a = 0, b = 0, c = 0;
    mesh->Triangle(i).Get(a, b, c);
    out->SetTriangle(i, flip ? Poly_Triangle(a, c, b) : Poly_Triangle(a, b, c));
  }
  return out;
}

}  // namespace

bool BoxCache::find(const TopoDS_Shape& shape, double box[6]) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Entry& e : entries_)
    if (e.shape.IsSame(shape)) {
      std::copy(e.box.begin(), e.box.end(), box);
      return true;
    }
  return false;
}

void BoxCache::keep(const TopoDS_Shape& shape, const double box[6]) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (entries_.size() >= kSize) entries_.erase(entries_.begin());
  Entry e;
  e.shape = shape;
  std::copy(box, box + 6, e.box.begin());
  entries_.push_back(e);
}

bool exact_box(const Object& object, double box[6], BoxCache* cache) {
  switch (object.kind) {
    case Kind::SolidBody:
    case Kind::SheetBody:
      return shape_box(object.shape, box, cache);
    case Kind::MeshBody:
      return mesh_box(object.mesh, box);
    case Kind::Point:
      box[0] = box[3] = object.p0.X();
      box[1] = box[4] = object.p0.Y();
      box[2] = box[5] = object.p0.Z();
      return true;
    case Kind::Line: {
      const double xyz[6] = {object.p0.X(), object.p0.Y(), object.p0.Z(),
                             object.p1.X(), object.p1.Y(), object.p1.Z()};
      box_of_points(xyz, 2, box);
      return true;
    }
    case Kind::Plane:
      return false;  // unbounded
    case Kind::FacetModel:
      if (!object.facets || object.facets->xyz.empty()) return false;
      box_of_points(object.facets->xyz.data(), object.facets->xyz.size() / 3, box);
      return true;
    case Kind::SectionCurves:
      if (object.section) return shape_box(object.section->curves(), box, cache);
      return shape_box(object.shape, box, cache);
  }
  return false;
}

double max_tolerance(const Object& object) {
  if (object.shape.IsNull() || !(object.kind == Kind::SolidBody || object.kind == Kind::SheetBody))
    return 0.0;
  double tol = 0.0;
  for (TopExp_Explorer e(object.shape, TopAbs_VERTEX); e.More(); e.Next())
    tol = std::max(tol, BRep_Tool::Tolerance(TopoDS::Vertex(e.Current())));
  for (TopExp_Explorer e(object.shape, TopAbs_EDGE); e.More(); e.Next())
    tol = std::max(tol, BRep_Tool::Tolerance(TopoDS::Edge(e.Current())));
  for (TopExp_Explorer e(object.shape, TopAbs_FACE); e.More(); e.Next())
    tol = std::max(tol, BRep_Tool::Tolerance(TopoDS::Face(e.Current())));
  return tol;
}

Object transformed(const Object& object, const gp_Trsf& trsf) {
  Object out = object;
  out.shape = moved_shape(object.shape, trsf);
  out.mesh = moved_mesh(object.mesh, trsf);
  out.p0 = object.p0.Transformed(trsf);
  out.p1 = object.p1.Transformed(trsf);
  out.normal = object.normal.Transformed(trsf);
  if (object.kind == Kind::Plane && out.normal.Magnitude() > 0.0) out.normal.Normalize();
  if (object.facets) {
    auto facets = std::make_shared<Facets>(*object.facets);
    for (std::size_t i = 0; i + 2 < facets->xyz.size(); i += 3) {
      gp_XYZ p(facets->xyz[i], facets->xyz[i + 1], facets->xyz[i + 2]);
      trsf.Transforms(p);
      facets->xyz[i] = p.X();
      facets->xyz[i + 1] = p.Y();
      facets->xyz[i + 2] = p.Z();
    }
    out.facets = facets;
  }
  if (object.section) {
    // The moved section computes the original's curves and moves them, so
    // a section nobody looked at still costs nothing.
    auto section = std::make_shared<Section>();
    section->body = object.section->body;
    section->origin = object.section->origin.Transformed(trsf);
    section->normal = object.section->normal.Transformed(trsf);
    std::shared_ptr<const Section> original = object.section;
    section->compute = [original, trsf]() { return moved_shape(original->curves(), trsf); };
    out.section = section;
  }
  return out;
}

bool move_or_copy(Model& model, const std::vector<Tag>& tags, const gp_Trsf& trsf,
                  std::vector<Tag>* copies) {
  std::vector<Object> results;
  results.reserve(tags.size());
  for (Tag tag : tags) {
    const Object* found = model.find(tag);
    if (found == nullptr) return false;
    results.push_back(transformed(*found, trsf));
  }
  // Nothing below can fail for a reason of the caller's.
  if (copies != nullptr) copies->clear();
  for (std::size_t i = 0; i < tags.size(); ++i) {
    Object& moved = results[i];
    if (copies == nullptr) {
      model.replace(tags[i], std::move(moved));
    } else {
      moved.name += " copy";
      moved.highlighted = false;
      copies->push_back(model.add(std::move(moved)));
    }
  }
  return true;
}

}  // namespace ufhost
