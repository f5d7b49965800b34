// What probes remember of a body (sections.h): its leaves, their boxes and
// tolerances, the pieces they join into, worked out once and kept in the
// prober's SectionMemory.
#include <BRepAdaptor_Surface.hxx>
#include <BRepBndLib.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <BndLib_AddSurface.hxx>
#include <Standard_Failure.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_IndexedDataMapOfShapeListOfShape.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Vertex.hxx>

#include <algorithm>
#include <numeric>

#include "ufhost/geom/sections_internal.h"
#include "ufhost/model/object_geometry.h"

namespace ufhost::sections_detail {

namespace {

// Bodies a memory keeps, the oldest forgotten first.
constexpr std::size_t kCacheSize = 64;

const Box kEverywhere = {-kInfinite, -kInfinite, -kInfinite, kInfinite, kInfinite, kInfinite};

Box to_box(const Bnd_Box& b) {
  if (b.IsVoid()) return kEverywhere;  // could be anywhere: every probe considers it
  Box out{};
  b.Get(out[0], out[1], out[2], out[3], out[4], out[5]);
  return out;
}

Zone zone_of(const TopoDS_Shape& shape) {
  Zone z;
  z.shape = shape;
  z.band = leaf_tolerance(shape);
  Bnd_Box b;
  BRepBndLib::Add(shape, b, Standard_False);  // enlarged by the tolerances it holds
  b.Enlarge(z.band);
  z.rough = to_box(b);
  return z;
}

Box intersection_of(const Box& a, const Box& b) {
  return Box{std::max(a[0], b[0]), std::max(a[1], b[1]), std::max(a[2], b[2]),
             std::min(a[3], b[3]), std::min(a[4], b[4]), std::min(a[5], b[5])};
}

}  // namespace

TopoDS_Shape compound_of(const std::vector<TopoDS_Shape>& shapes) {
  TopoDS_Compound c;
  BRep_Builder builder;
  builder.MakeCompound(c);
  for (const TopoDS_Shape& s : shapes) builder.Add(c, s);
  return c;
}

// The kernel's precise box. On spline surfaces it comes out larger by about
// the kernel's confusion distance on every side, as wide as a face's whole
// band; a flat spline patch then looks near planes that it cannot touch.
// Its control points bound it too (the surface lies in their hull), and
// exactly so for such patches: the box is the overlap of both.
const Box& exact_of(const Zone& z) {
  if (!z.has_exact) {
    Bnd_Box b;
    if (z.shape.ShapeType() == TopAbs_VERTEX) {
      b.Add(BRep_Tool::Pnt(TopoDS::Vertex(z.shape)));
    } else {
      BRepBndLib::AddOptimal(z.shape, b, Standard_False, Standard_False);
    }
    z.exact = to_box(b);
    if (z.shape.ShapeType() == TopAbs_FACE && !b.IsVoid()) {
      const BRepAdaptor_Surface surface(TopoDS::Face(z.shape));
      if (surface.GetType() == GeomAbs_BSplineSurface || surface.GetType() == GeomAbs_BezierSurface) {
        Bnd_Box hull;
        BndLib_AddSurface::Add(surface, 0.0, hull);
        if (!hull.IsVoid()) {
          const Box both = intersection_of(z.exact, to_box(hull));
          if (both[0] <= both[3] && both[1] <= both[4] && both[2] <= both[5]) z.exact = both;
        }
      }
    }
    z.has_exact = true;
  }
  return z.exact;
}

namespace {

int find_root(std::vector<int>& parent, int i) {
  while (parent[i] != i) i = parent[i] = parent[parent[i]];
  return i;
}

// Faces joined by a shared edge or vertex belong to one piece.
std::vector<std::vector<int>> connected_pieces(const TopoDS_Shape& shape,
                                               const TopTools_IndexedMapOfShape& faces) {
  std::vector<int> parent(static_cast<std::size_t>(faces.Extent()));
  std::iota(parent.begin(), parent.end(), 0);
  for (TopAbs_ShapeEnum kind : {TopAbs_EDGE, TopAbs_VERTEX}) {
    TopTools_IndexedDataMapOfShapeListOfShape users;
    TopExp::MapShapesAndAncestors(shape, kind, TopAbs_FACE, users);
    for (int i = 1; i <= users.Extent(); ++i) {
      int first = -1;
      for (const TopoDS_Shape& f : users(i)) {
        const int index = faces.FindIndex(f) - 1;
        if (index < 0) continue;
        if (first < 0) {
          first = index;
        } else {
          parent[find_root(parent, index)] = find_root(parent, first);
        }
      }
    }
  }
  std::vector<int> piece_of(parent.size(), -1);
  int count = 0;
  for (int i = 0; i < static_cast<int>(parent.size()); ++i) {
    const int root = find_root(parent, i);
    if (piece_of[root] < 0) piece_of[root] = count++;
  }
  std::vector<std::vector<int>> pieces(static_cast<std::size_t>(count));
  for (int i = 0; i < static_cast<int>(parent.size()); ++i)
    pieces[piece_of[find_root(parent, i)]].push_back(i);
  return pieces;
}

std::shared_ptr<const BodyInfo> describe_brep(const Object& body) {
  auto info = std::make_shared<BodyInfo>();
  info->key = body.shape.TShape();
  info->location = body.shape.Location();

  TopTools_IndexedMapOfShape faces;
  TopExp::MapShapes(body.shape, TopAbs_FACE, faces);
  std::vector<TopoDS_Shape> leaves;
  for (int i = 1; i <= faces.Extent(); ++i) leaves.push_back(faces(i));
  for (TopExp_Explorer e(body.shape, TopAbs_EDGE, TopAbs_FACE); e.More(); e.Next())
    leaves.push_back(e.Current());
  for (TopExp_Explorer e(body.shape, TopAbs_VERTEX, TopAbs_EDGE); e.More(); e.Next())
    leaves.push_back(e.Current());

  for (const TopoDS_Shape& shape : leaves) {
    Leaf leaf;
    leaf.zone = zone_of(shape);
    TopTools_IndexedMapOfShape own;
    TopExp::MapShapes(shape, TopAbs_EDGE, own);
    TopExp::MapShapes(shape, TopAbs_VERTEX, own);
    for (int i = 1; i <= own.Extent(); ++i) {
      leaf.border_band = std::max(leaf.border_band, leaf_tolerance(own(i)));
      if (own(i).ShapeType() == TopAbs_VERTEX)
        leaf.points.push_back(BRep_Tool::Pnt(TopoDS::Vertex(own(i))));
    }
    info->rough = info->leaves.empty() ? leaf.zone.rough : union_of(info->rough, leaf.zone.rough);
    info->leaves.push_back(std::move(leaf));
  }
  info->all_leaves = compound_of(leaves);

  for (const std::vector<int>& members : connected_pieces(body.shape, faces)) {
    Piece piece;
    for (int i : members) {
      const Leaf& leaf = info->leaves[i];
      piece.band = std::max({piece.band, leaf.zone.band, leaf.border_band});
      piece.points.insert(piece.points.end(), leaf.points.begin(), leaf.points.end());
    }
    info->pieces.push_back(std::move(piece));
  }
  return info;
}

std::shared_ptr<const BodyInfo> describe_mesh(const Object& body) {
  auto info = std::make_shared<BodyInfo>();
  info->key = body.mesh;
  info->mesh = body.mesh;
  info->has_box = exact_box(body, info->box.data());
  return info;
}

}  // namespace

std::shared_ptr<const BodyInfo> info_of(const Object& body, SectionMemory& memory) {
  const bool mesh = body.kind == Kind::MeshBody;
  const Handle(Standard_Transient) key =
      mesh ? Handle(Standard_Transient)(body.mesh) : Handle(Standard_Transient)(body.shape.TShape());
  if (key.IsNull()) throw Standard_Failure("the body has no geometry");
  auto& entries = memory.bodies;
  for (const auto& e : entries)
    if (e->key == key && (mesh || e->location.IsEqual(body.shape.Location()))) return e;
  auto info = mesh ? describe_mesh(body) : describe_brep(body);
  entries.push_back(info);
  if (entries.size() > kCacheSize) entries.pop_front();
  return info;
}

}  // namespace ufhost::sections_detail
