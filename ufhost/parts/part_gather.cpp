// Sorting the shapes a file holds into the bodies of a part.
#include <BRep_Tool.hxx>
#include <TopExp_Explorer.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "ufhost/parts/part_io_internal.h"

namespace ufhost::part_files {

void fail(const std::string& path, const std::string& what) { throw PartError{path + ": " + what}; }

std::string one_line(std::string s) {
  std::replace_if(s.begin(), s.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  return s;
}

namespace {

// Faces that carry only a triangulation, as our own BREP files hold mesh
// bodies and facet models, merged into one triangulation in absolute
// coordinates.
Handle(Poly_Triangulation) merged_triangulation(const std::vector<TopoDS_Face>& faces) {
  int nodes = 0, triangles = 0;
  for (const TopoDS_Face& f : faces) {
    TopLoc_Location loc;
    const Handle(Poly_Triangulation) t = BRep_Tool::Triangulation(f, loc);
    nodes += t->NbNodes();
    triangles += t->NbTriangles();
  }
  Handle(Poly_Triangulation) out = new Poly_Triangulation(nodes, triangles, false, false);
  int node_base = 0, tri = 0;
  for (const TopoDS_Face& f : faces) {
    TopLoc_Location loc;
    const Handle(Poly_Triangulation) t = BRep_Tool::Triangulation(f, loc);
    const gp_Trsf trsf = loc.Transformation();
    for (int i = 1; i <= t->NbNodes(); ++i) out->SetNode(node_base + i, t->Node(i).Transformed(trsf));
    const bool reversed = f.Orientation() == TopAbs_REVERSED;
    for (int i = 1; i <= t->NbTriangles(); ++i) {
      int a = 0, b = 0, c = 0;
      t->Triangle(i).Get(a, b, c);
      if (reversed) std::swap(b, c);
      out->SetTriangle(++tri, Poly_Triangle(node_base + a, node_base + b, node_base + c));
    }
    node_base += t->NbNodes();
  }
  return out;
}

bool surfaceless(const TopoDS_Face& face) {
  TopLoc_Location loc;
  if (!BRep_Tool::Surface(face, loc).IsNull()) return false;
  const Handle(Poly_Triangulation) t = BRep_Tool::Triangulation(face, loc);
  return !t.IsNull() && t->NbTriangles() > 0;
}

}  // namespace

void gather_item(const TopoDS_Shape& shape, const std::string& name, Gathered* out,
                 const Origin& origin) {
  if (shape.IsNull()) return;
  int solids = 0;
  for (TopExp_Explorer e(shape, TopAbs_SOLID); e.More(); e.Next()) ++solids;
  int k = 0;
  for (TopExp_Explorer e(shape, TopAbs_SOLID); e.More(); e.Next()) {
    ++k;
    if (!TopExp_Explorer(e.Current(), TopAbs_FACE).More()) continue;  // an empty solid
    Found f;
    f.kind = Kind::SolidBody;
    f.shape = e.Current();
    if (!name.empty()) f.name = solids == 1 ? name : name + " " + std::to_string(k);
    if (!origin.product.empty())
      f.product = solids == 1 ? origin.product : origin.product + "/" + std::to_string(k);
    f.placement = origin.placement;
    f.material = origin.material;
    out->bodies.push_back(f);
  }
  std::vector<TopoDS_Face> meshes;
  for (TopExp_Explorer e(shape, TopAbs_FACE, TopAbs_SOLID); e.More(); e.Next()) {
    const TopoDS_Face& face = TopoDS::Face(e.Current());
    if (surfaceless(face)) {
      meshes.push_back(face);
      continue;
    }
    TopLoc_Location loc;
    if (BRep_Tool::Surface(face, loc).IsNull()) continue;  // no geometry at all
    out->free_faces.push_back(face);
    if (name.empty()) out->unnamed_free_faces = true;
    else out->free_face_names.insert(name);
  }
  if (!meshes.empty()) {
    Found f;
    f.kind = Kind::MeshBody;
    f.mesh = merged_triangulation(meshes);
    f.name = name;
    // Its nodes are placed already: the mesh is the product's only where
    // the instance leaves it where it was.
    if (origin.placement.IsIdentity()) {
      f.product = origin.product.empty() ? "" : origin.product + "/mesh";
      f.material = origin.material;
    }
    out->bodies.push_back(f);
  }
}

}  // namespace ufhost::part_files
