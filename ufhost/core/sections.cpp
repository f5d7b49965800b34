// Planar sections of bodies.
//
// [SECTION] What is remembered of a body
// [SECTION] Mesh bodies
// [SECTION] B-rep bodies
//
// A probe is decided, cheapest first:
//   1. outside the body's exact box by more than its tolerance: no section;
//   2. an axis-aligned plane strictly inside the extent of a connected piece
//      of the body (by more than the tolerance): a section for certain, since
//      a connected set that has points on both sides of a plane meets it;
//   3. no face (or free edge) whose box reaches the plane: no section;
//   4. otherwise the kernel's boolean section of the faces that reach it.
// Only probes within the tolerance band of an extreme get to 4. A section
// answered by 2 still has real curves: they are computed when asked for.
#include "ufhost/core/sections.h"

#include <BRepAlgoAPI_Section.hxx>
#include <BRepBndLib.hxx>
#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakeVertex.hxx>
#include <BRep_Builder.hxx>
#include <Bnd_Box.hxx>
#include <Precision.hxx>
#include <ShapeAnalysis_FreeBounds.hxx>
#include <Standard_Failure.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_HSequenceOfShape.hxx>
#include <TopTools_IndexedDataMapOfShapeListOfShape.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Edge.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Vertex.hxx>
#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <gp_Pln.hxx>
#include <memory>
#include <numeric>
#include <vector>

#include "ufhost/core/geometry.h"
#include "ufhost/core/session.h"

namespace ufhost {

namespace {

using Box = std::array<double, 6>;  // min X, Y, Z, max X, Y, Z

// ---------------------------------------------------------------------------
// [SECTION] What is remembered of a body

// Everything a probe needs that does not depend on the plane. Bodies are
// probed a few dozen times per extreme, so this is worked out once.
struct BodyInfo {
  // Identity: the shared topology (or triangulation) and its placement. The
  // handle is held so that its address cannot be reused by another body.
  Handle(Standard_Transient) key;
  TopLoc_Location location;

  bool has_box = false;
  Box box{};
  double band = 0.0;  // within this of an extreme only the boolean can tell

  // B-rep bodies.
  std::vector<Box> pieces;           // exact boxes of the connected pieces
  std::vector<TopoDS_Shape> leaves;  // faces and free edges, what a plane can cut
  std::vector<Box> leaf_boxes;       // their boxes, tolerances included
  TopoDS_Shape all_leaves;           // compound of the leaves

  // Mesh bodies.
  Handle(Poly_Triangulation) mesh;
};

std::deque<std::shared_ptr<const BodyInfo>>& cache() {
  static std::deque<std::shared_ptr<const BodyInfo>> entries;
  return entries;
}
constexpr std::size_t kCacheSize = 64;

Box to_box(const Bnd_Box& b) {
  Box out{};
  b.Get(out[0], out[1], out[2], out[3], out[4], out[5]);
  return out;
}

TopoDS_Shape compound_of(const std::vector<TopoDS_Shape>& shapes) {
  TopoDS_Compound c;
  BRep_Builder builder;
  builder.MakeCompound(c);
  for (const TopoDS_Shape& s : shapes) builder.Add(c, s);
  return c;
}

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
  std::vector<std::vector<int>> pieces;
  std::vector<int> piece_of(parent.size(), -1);
  for (int i = 0; i < static_cast<int>(parent.size()); ++i) {
    const int root = find_root(parent, i);
    if (piece_of[root] < 0) {
      piece_of[root] = static_cast<int>(pieces.size());
      pieces.emplace_back();
    }
    pieces[piece_of[root]].push_back(i);
  }
  return pieces;
}

std::shared_ptr<const BodyInfo> describe_brep(const Object& body) {
  auto info = std::make_shared<BodyInfo>();
  info->key = body.shape.TShape();
  info->location = body.shape.Location();
  info->has_box = exact_box(body, info->box.data());
  info->band = std::max(max_tolerance(body), Precision::Confusion());

  TopTools_IndexedMapOfShape faces;
  TopExp::MapShapes(body.shape, TopAbs_FACE, faces);
  bool loose = false;  // free edges or vertices: the faces' boxes may not make the body's
  for (int i = 1; i <= faces.Extent(); ++i) info->leaves.push_back(faces(i));
  for (TopExp_Explorer e(body.shape, TopAbs_EDGE, TopAbs_FACE); e.More(); e.Next()) {
    info->leaves.push_back(e.Current());
    loose = true;
  }
  if (TopExp_Explorer(body.shape, TopAbs_VERTEX, TopAbs_EDGE).More()) loose = true;
  for (const TopoDS_Shape& leaf : info->leaves) {
    Bnd_Box b;
    BRepBndLib::Add(leaf, b, Standard_False);
    info->leaf_boxes.push_back(b.IsVoid() ? Box{} : to_box(b));
    if (b.IsVoid()) {
      // A leaf without a box could be anywhere: let every probe consider it.
      const double inf = Precision::Infinite();
      info->leaf_boxes.back() = Box{-inf, -inf, -inf, inf, inf, inf};
    }
  }
  info->all_leaves = compound_of(info->leaves);

  if (!info->has_box) return info;
  const std::vector<std::vector<int>> pieces = connected_pieces(body.shape, faces);
  if (pieces.size() == 1 && !loose) {
    info->pieces.push_back(info->box);
    return info;
  }
  for (const std::vector<int>& piece : pieces) {
    std::vector<TopoDS_Shape> members;
    for (int i : piece) members.push_back(faces(i + 1));
    Bnd_Box b;
    BRepBndLib::AddOptimal(compound_of(members), b, Standard_False, Standard_False);
    if (!b.IsVoid()) info->pieces.push_back(to_box(b));
  }
  return info;
}

std::shared_ptr<const BodyInfo> describe_mesh(const Object& body) {
  auto info = std::make_shared<BodyInfo>();
  info->key = body.mesh;
  info->mesh = body.mesh;
  info->has_box = exact_box(body, info->box.data());
  info->band = Precision::Confusion();
  return info;
}

std::shared_ptr<const BodyInfo> info_of(const Object& body) {
  const bool mesh = body.kind == Kind::MeshBody;
  const Handle(Standard_Transient) key = mesh ? Handle(Standard_Transient)(body.mesh)
                                              : Handle(Standard_Transient)(body.shape.TShape());
  if (key.IsNull()) throw Standard_Failure("the body has no geometry");
  auto& entries = cache();
  for (const auto& e : entries)
    if (e->key == key && (mesh || e->location.IsEqual(body.shape.Location()))) return e;
  auto info = mesh ? describe_mesh(body) : describe_brep(body);
  entries.push_back(info);
  if (entries.size() > kCacheSize) entries.pop_front();
  return info;
}

// Signed distances of the box's corners from the plane: their smallest and
// largest value.
void box_range(const Box& b, const gp_Pnt& origin, const gp_Dir& n, double* lo, double* hi) {
  *lo = Precision::Infinite();
  *hi = -Precision::Infinite();
  for (int corner = 0; corner < 8; ++corner) {
    const gp_Pnt p(b[(corner & 1) ? 3 : 0], b[(corner & 2) ? 4 : 1], b[(corner & 4) ? 5 : 2]);
    const double d = gp_Vec(origin, p).Dot(gp_Vec(n));
    *lo = std::min(*lo, d);
    *hi = std::max(*hi, d);
  }
}

// The axis the normal lies along, or -1.
int axis_of(const gp_Dir& n) {
  for (int a = 0; a < 3; ++a)
    if (std::abs(n.Coord(a + 1)) == 1.0) return a;
  return -1;
}

TopoDS_Shape empty_compound() { return compound_of({}); }

bool has_geometry(const TopoDS_Shape& s) {
  return !s.IsNull() &&
         (TopExp_Explorer(s, TopAbs_EDGE).More() || TopExp_Explorer(s, TopAbs_VERTEX).More());
}

// ---------------------------------------------------------------------------
// [SECTION] Mesh bodies

// Distances of the mesh's nodes from the plane, indexed from 1 like the nodes.
std::vector<double> node_distances(const Poly_Triangulation& mesh, const gp_Pnt& origin,
                                   const gp_Dir& n) {
  std::vector<double> d(static_cast<std::size_t>(mesh.NbNodes()) + 1, 0.0);
  for (int i = 1; i <= mesh.NbNodes(); ++i) d[i] = gp_Vec(origin, mesh.Node(i)).Dot(gp_Vec(n));
  return d;
}

bool triangle_meets(const std::vector<double>& d, const int n[3], double band) {
  const double lo = std::min({d[n[0]], d[n[1]], d[n[2]]});
  const double hi = std::max({d[n[0]], d[n[1]], d[n[2]]});
  return lo <= band && hi >= -band;
}

bool mesh_meets(const Poly_Triangulation& mesh, const gp_Pnt& origin, const gp_Dir& n,
                double band) {
  const std::vector<double> d = node_distances(mesh, origin, n);
  for (int i = 1; i <= mesh.NbTriangles(); ++i) {
    int k[3];
    mesh.Triangle(i).Get(k[0], k[1], k[2]);
    if (triangle_meets(d, k, band)) return true;
  }
  return false;
}

// The plane's trace on each triangle it meets: a segment, or a lone point
// where it only touches a corner.
TopoDS_Shape mesh_curves(const Handle(Poly_Triangulation) & mesh, const gp_Pnt& origin,
                         const gp_Dir& n, double band) {
  std::vector<TopoDS_Shape> pieces;
  const std::vector<double> d = node_distances(*mesh, origin, n);
  for (int i = 1; i <= mesh->NbTriangles(); ++i) {
    int k[3];
    mesh->Triangle(i).Get(k[0], k[1], k[2]);
    if (!triangle_meets(d, k, band)) continue;
    std::vector<gp_Pnt> hits;
    for (int e = 0; e < 3; ++e) {
      const int a = k[e], b = k[(e + 1) % 3];
      const double da = d[a], db = d[b];
      if (std::abs(da) <= band) hits.push_back(mesh->Node(a));
      if ((da < -band && db > band) || (da > band && db < -band)) {
        const double t = da / (da - db);
        hits.push_back(
            gp_Pnt(mesh->Node(a).XYZ() + t * (mesh->Node(b).XYZ() - mesh->Node(a).XYZ())));
      }
    }
    if (hits.empty()) continue;
    gp_Pnt p = hits.front(), q = hits.front();
    for (const gp_Pnt& h : hits)
      if (h.Distance(p) > q.Distance(p)) q = h;
    if (p.Distance(q) > Precision::Confusion()) {
      BRepBuilderAPI_MakeEdge edge(p, q);
      if (edge.IsDone()) pieces.push_back(edge.Edge());
    } else {
      pieces.push_back(BRepBuilderAPI_MakeVertex(p).Vertex());
    }
  }
  return compound_of(pieces);
}

PlaneCut probe_mesh(const std::shared_ptr<const BodyInfo>& info, const gp_Pnt& origin,
                    const gp_Dir& n) {
  Session::Stats& stats = session().stats;
  PlaneCut cut;
  if (info->has_box) {
    double lo = 0.0, hi = 0.0;
    box_range(info->box, origin, n, &lo, &hi);
    if (lo > info->band || hi < -info->band) {
      ++stats.probes_by_box;
      return cut;
    }
  }
  if (!mesh_meets(*info->mesh, origin, n, info->band)) return cut;
  cut.meets = true;
  cut.curves = [info, origin, n]() { return mesh_curves(info->mesh, origin, n, info->band); };
  return cut;
}

// ---------------------------------------------------------------------------
// [SECTION] B-rep bodies

// A square of the plane big enough to reach past every corner of `reach`.
TopoDS_Face plane_face(const gp_Pnt& origin, const gp_Dir& n, const Box& reach) {
  double r = 1.0;
  for (int corner = 0; corner < 8; ++corner) {
    const gp_Pnt p(reach[(corner & 1) ? 3 : 0], reach[(corner & 2) ? 4 : 1],
                   reach[(corner & 4) ? 5 : 2]);
    r = std::max(r, 1.0 + 1.1 * origin.Distance(p));
  }
  BRepBuilderAPI_MakeFace face(gp_Pln(origin, n), -r, r, -r, r);
  if (!face.IsDone()) throw Standard_Failure("the probe plane cannot be built");
  return face.Face();
}

// The kernel's section of `shape` by the plane. Non-destructive: where the
// intersection needs a larger tolerance on a sub-shape, the kernel enlarges
// a copy, and the body keeps its own tolerances.
TopoDS_Shape boolean_section(const TopoDS_Shape& shape, const gp_Pnt& origin, const gp_Dir& n,
                             const Box& reach) {
  BRepAlgoAPI_Section section(shape, plane_face(origin, n, reach), Standard_False);
  section.SetNonDestructive(Standard_True);
  section.ComputePCurveOn1(Standard_False);
  section.ComputePCurveOn2(Standard_False);
  section.Approximation(Standard_True);
  section.Build();
  if (!section.IsDone() || section.HasErrors())
    throw Standard_Failure("the kernel's boolean section failed");
  return section.Shape();
}

Box union_of(const Box& a, const Box& b) {
  return Box{std::min(a[0], b[0]), std::min(a[1], b[1]), std::min(a[2], b[2]),
             std::max(a[3], b[3]), std::max(a[4], b[4]), std::max(a[5], b[5])};
}

Box reach_of(const std::shared_ptr<const BodyInfo>& info) {
  if (info->has_box) return info->box;
  Box r = info->leaf_boxes.empty() ? Box{} : info->leaf_boxes.front();
  for (const Box& b : info->leaf_boxes) r = union_of(r, b);
  return r;
}

PlaneCut probe_brep(const std::shared_ptr<const BodyInfo>& info, const gp_Pnt& origin,
                    const gp_Dir& n) {
  Session::Stats& stats = session().stats;
  const double band = info->band;
  PlaneCut cut;
  auto whole_section = [info, origin, n]() {
    return boolean_section(info->all_leaves, origin, n, reach_of(info));
  };

  if (info->has_box) {
    double lo = 0.0, hi = 0.0;
    box_range(info->box, origin, n, &lo, &hi);
    if (lo > band || hi < -band) {
      ++stats.probes_by_box;
      return cut;
    }
    // A piece's box bounds the piece's extremes only along the axes.
    if (axis_of(n) >= 0) {
      for (const Box& piece : info->pieces) {
        box_range(piece, origin, n, &lo, &hi);
        if (lo < -band && hi > band) {
          ++stats.probes_by_box;
          cut.meets = true;
          cut.curves = whole_section;
          return cut;
        }
      }
    }
  }

  std::vector<TopoDS_Shape> near;
  bool first = true;
  Box reach{};
  for (std::size_t i = 0; i < info->leaves.size(); ++i) {
    double lo = 0.0, hi = 0.0;
    box_range(info->leaf_boxes[i], origin, n, &lo, &hi);
    if (lo > band || hi < -band) continue;
    near.push_back(info->leaves[i]);
    reach = first ? info->leaf_boxes[i] : union_of(reach, info->leaf_boxes[i]);
    first = false;
  }
  if (near.empty()) {
    ++stats.probes_by_box;
    return cut;
  }

  ++stats.booleans;
  // Faces that do not reach the plane add nothing to its section.
  const TopoDS_Shape curves = boolean_section(compound_of(near), origin, n, reach);
  if (!has_geometry(curves)) return cut;
  cut.meets = true;
  cut.curves = [curves]() { return curves; };
  return cut;
}

}  // namespace

PlaneCut section_by_plane(Tag tag, const Object& body, const gp_Pnt& origin, const gp_Vec& normal) {
  if (normal.Magnitude() <= gp::Resolution()) throw Standard_Failure("the plane has no normal");
  const gp_Dir n(normal);
  Session& s = session();
  ++s.stats.probes;
  if (s.section_oracle) {
    PlaneCut cut;
    cut.meets = s.section_oracle(tag, origin, normal);
    if (cut.meets) cut.curves = empty_compound;
    return cut;
  }
  const std::shared_ptr<const BodyInfo> info = info_of(body);
  return body.kind == Kind::MeshBody ? probe_mesh(info, origin, n) : probe_brep(info, origin, n);
}

TopoDS_Shape join_curves(const TopoDS_Shape& curves, double tolerance) {
  Handle(TopTools_HSequenceOfShape) edges = new TopTools_HSequenceOfShape();
  for (TopExp_Explorer e(curves, TopAbs_EDGE); e.More(); e.Next()) edges->Append(e.Current());
  std::vector<TopoDS_Shape> out;
  if (!edges->IsEmpty()) {
    Handle(TopTools_HSequenceOfShape) wires;
    ShapeAnalysis_FreeBounds::ConnectEdgesToWires(edges, tolerance, Standard_False, wires);
    if (!wires.IsNull())
      for (int i = 1; i <= wires->Length(); ++i) out.push_back(wires->Value(i));
  }
  for (TopExp_Explorer v(curves, TopAbs_VERTEX, TopAbs_EDGE); v.More(); v.Next())
    out.push_back(v.Current());
  return compound_of(out);
}

void forget_section_cache() { cache().clear(); }

}  // namespace ufhost
