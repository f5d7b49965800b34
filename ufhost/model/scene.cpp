#include "ufhost/model/scene.h"

#include <BRepBuilderAPI_Copy.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRep_Tool.hxx>
#include <Poly_Triangulation.hxx>
#include <TopExp_Explorer.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>
#include <algorithm>
#include <cmath>

#include "ufhost/kernel/containment.h"
#include "ufhost/model/object_geometry.h"

namespace ufhost {

namespace {

struct Triangles {
  nlohmann::json positions = nlohmann::json::array();  // x, y, z as floats
  nlohmann::json indices = nlohmann::json::array();
};

void add_node(Triangles& t, const gp_Pnt& p) {
  t.positions.push_back(static_cast<float>(p.X()));
  t.positions.push_back(static_cast<float>(p.Y()));
  t.positions.push_back(static_cast<float>(p.Z()));
}

// A chord of a five-hundredth of the body's diagonal looks smooth on screen
// and keeps a page of many bodies small.
Triangles tessellate(const TopoDS_Shape& shape, const double box[6]) {
  Triangles t;
  const double diagonal =
      std::sqrt((box[3] - box[0]) * (box[3] - box[0]) + (box[4] - box[1]) * (box[4] - box[1]) +
                (box[5] - box[2]) * (box[5] - box[2]));
  BRepBuilderAPI_Copy copier(shape, /*copyGeom=*/true, /*copyMesh=*/false);
  const TopoDS_Shape copy = copier.Shape();
  BRepMesh_IncrementalMesh mesher(copy, std::max(diagonal * 0.002, 1e-7), false, 0.35, false);
  for (TopExp_Explorer ex(copy, TopAbs_FACE); ex.More(); ex.Next()) {
    const TopoDS_Face face = TopoDS::Face(ex.Current());
    TopLoc_Location location;
    const Handle(Poly_Triangulation) mesh = BRep_Tool::Triangulation(face, location);
    if (mesh.IsNull()) continue;
    const int base = static_cast<int>(t.positions.size() / 3);
    const gp_Trsf trsf = location.Transformation();
    for (int i = 1; i <= mesh->NbNodes(); ++i) add_node(t, mesh->Node(i).Transformed(trsf));
    const bool reversed = face.Orientation() == TopAbs_REVERSED;
    for (int i = 1; i <= mesh->NbTriangles(); ++i) {
      int a, b, c;
      mesh->Triangle(i).Get(a, b, c);
      if (reversed) std::swap(b, c);
      for (int n : {a, b, c}) t.indices.push_back(base + n - 1);
    }
  }
  return t;
}

Triangles mesh_triangles(const Handle(Poly_Triangulation) & mesh) {
  Triangles t;
  if (mesh.IsNull()) return t;
  for (int i = 1; i <= mesh->NbNodes(); ++i) add_node(t, mesh->Node(i));
  for (int i = 1; i <= mesh->NbTriangles(); ++i) {
    int a, b, c;
    mesh->Triangle(i).Get(a, b, c);
    for (int n : {a, b, c}) t.indices.push_back(n - 1);
  }
  return t;
}

}  // namespace

bool shown_in_scene(Kind kind) {
  return is_body(kind) || kind == Kind::Line || kind == Kind::Point;
}

nlohmann::json scene_object(Tag tag, const Object& object) {
  if (is_body(object.kind)) {
    Triangles t = kernel_work("tessellating a body", [&] {
      double box[6];
      return object.kind == Kind::MeshBody ? mesh_triangles(object.mesh)
             : exact_box(object, box)      ? tessellate(object.shape, box)
                                           : Triangles{};
    });
    return {{"tag", tag},
            {"what", "body"},
            {"name", object.name},
            {"type", kind_name(object.kind)},
            {"copy", named_as_copy(object.name)},
            {"positions", std::move(t.positions)},
            {"indices", std::move(t.indices)}};
  }
  if (object.kind == Kind::Line)
    return {{"tag", tag},
            {"what", "line"},
            {"points",
             {object.p0.X(), object.p0.Y(), object.p0.Z(), object.p1.X(), object.p1.Y(),
              object.p1.Z()}}};
  if (object.kind == Kind::Point)
    return {
        {"tag", tag}, {"what", "point"}, {"points", {object.p0.X(), object.p0.Y(), object.p0.Z()}}};
  return nullptr;
}

}  // namespace ufhost
