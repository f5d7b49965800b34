// Planar sections of bodies.
//
// [SECTION] What is remembered of a body
// [SECTION] Mesh bodies
// [SECTION] B-rep bodies
//
// A B-rep body is looked at as its leaves: faces, and edges or vertices that
// belong to no face. The kernel counts a plane as touching a leaf when it
// comes within the leaf's tolerance of the leaf's geometry, or within an
// edge's or vertex's tolerance of that edge or vertex. A probe is decided,
// cheapest first:
//   1. a plane farther from every leaf than that (so also one outside the
//      body's exact box by more than its largest tolerance) meets nothing:
//      no section;
//   2. a plane with points of a connected leaf, or of a connected piece of
//      leaves, beyond the tolerance on both sides meets it for certain (a
//      connected set with points on both sides of a plane meets the plane):
//      a section. The points are vertices, and along the axes the extremes
//      of a leaf's exact box;
//   3. a plane normal to an axis within a tolerance of a leaf's exact extreme:
//      what the leaf's extremes (extremes.h) say the kernel's boolean
//      section finds there, worked out from the leaf's exact geometry once
//      and kept with the body;
//   4. what they leave open, and planes normal to no axis: the kernel's
//      boolean section of the leaves near the plane.
// Only probes within a tolerance of an extreme get to 3, and few to 4. A
// section answered before 4 still has real curves, exactly those the
// boolean would give: they are computed when asked for. Answers to the last
// few planes are remembered.
//
// Exact boxes cost as much as the kernel's precise box of the body; a leaf's
// box and extremes are worked out only when its rough box (quick, and never
// smaller) comes near a probe, which near the six extremes is true of few
// leaves.
#include "ufhost/geom/sections.h"

#include <BRepAdaptor_Surface.hxx>
#include <BRepAlgoAPI_Section.hxx>
#include <BRepBndLib.hxx>
#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakeVertex.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <Geom_Curve.hxx>
#include <BndLib_AddSurface.hxx>
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
#include <gp_Pln.hxx>

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <memory>
#include <numeric>
#include <vector>

#include "ufhost/geom/extremes.h"
#include "ufhost/model/object_geometry.h"

namespace ufhost {

namespace {

using Box = std::array<double, 6>;  // min X, Y, Z, max X, Y, Z

//-----------------------------------------------------------------------------
// [SECTION] What is remembered of a body
//-----------------------------------------------------------------------------

// A piece of geometry with its tolerance; its exact box is worked out when
// first needed.
struct Zone {
  TopoDS_Shape shape;
  double band = 0.0;  // the kernel's tolerance for it
  Box rough{};        // contains the geometry with its tolerance
  mutable bool has_exact = false;
  mutable Box exact{};
};

struct Leaf {
  Zone zone;
  double border_band = 0.0;    // the largest tolerance of its edges and vertices
  std::vector<gp_Pnt> points;  // its vertices: points of the leaf within border_band
  // Where planes along the axes first meet it; worked out when a plane first
  // comes within its tolerance, then kept with the body.
  mutable std::shared_ptr<const Extremes> extremes;
};

struct Piece {
  double band = 0.0;  // the largest tolerance in it
  std::vector<gp_Pnt> points;
};

}  // namespace

// Everything a probe needs that does not depend on the plane. Bodies are
// probed a few dozen times per extreme, so this is worked out once.
struct SectionMemory::Body {
  // Identity: the shared topology (or triangulation) and its placement. The
  // handle is held so that its address cannot be reused by another body.
  Handle(Standard_Transient) key;
  TopLoc_Location location;

  // B-rep bodies.
  std::vector<Leaf> leaves;
  std::vector<Piece> pieces;  // leaves joined by shared edges or vertices
  TopoDS_Shape all_leaves;
  Box rough{};

  // Mesh bodies.
  Handle(Poly_Triangulation) mesh;
  bool has_box = false;
  Box box{};

  // The last planes asked about and their answers. Refining an extreme, the
  // plug-in asks about a plane again right after its first answer, and after
  // each cut it moves back onto a plane it saw missing a little earlier.
  struct Asked {
    gp_Pnt origin;
    gp_Dir normal;
    Probing how;
    PlaneCut cut;
  };
  mutable std::deque<Asked> asked;
};

namespace {

using BodyInfo = SectionMemory::Body;
constexpr std::size_t kRemembered = 8;

constexpr std::size_t kCacheSize = 64;

const double kInfinite = Precision::Infinite();
const Box kEverywhere = {-kInfinite, -kInfinite, -kInfinite, kInfinite, kInfinite, kInfinite};

Box to_box(const Bnd_Box& b) {
  if (b.IsVoid()) return kEverywhere;  // could be anywhere: every probe considers it
  Box out{};
  b.Get(out[0], out[1], out[2], out[3], out[4], out[5]);
  return out;
}

Box union_of(const Box& a, const Box& b) {
  return Box{std::min(a[0], b[0]), std::min(a[1], b[1]), std::min(a[2], b[2]),
             std::max(a[3], b[3]), std::max(a[4], b[4]), std::max(a[5], b[5])};
}

TopoDS_Shape compound_of(const std::vector<TopoDS_Shape>& shapes) {
  TopoDS_Compound c;
  BRep_Builder builder;
  builder.MakeCompound(c);
  for (const TopoDS_Shape& s : shapes) builder.Add(c, s);
  return c;
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

// Signed distances of the box's corners from the plane: their smallest and
// largest value.
struct Range {
  double lo, hi;
};
Range range_of(const Box& b, const gp_Pnt& origin, const gp_Dir& n) {
  Range r{kInfinite, -kInfinite};
  for (int corner = 0; corner < 8; ++corner) {
    const gp_Pnt p(b[(corner & 1) ? 3 : 0], b[(corner & 2) ? 4 : 1], b[(corner & 4) ? 5 : 2]);
    const double d = gp_Vec(origin, p).Dot(gp_Vec(n));
    r.lo = std::min(r.lo, d);
    r.hi = std::max(r.hi, d);
  }
  return r;
}

bool within(const Range& r, double band) { return r.lo <= band && r.hi >= -band; }
bool across(const Range& r, double band) { return r.lo < -band && r.hi > band; }

// The axis the normal lies along, or -1.
int axis_of(const gp_Dir& n) {
  for (int a = 0; a < 3; ++a)
    if (std::abs(n.Coord(a + 1)) == 1.0) return a;
  return -1;
}

//-----------------------------------------------------------------------------
// [SECTION] Mesh bodies
//-----------------------------------------------------------------------------

// A corner within this of the plane lies on it.
const double kMeshBand = Precision::Confusion();

// Distances of the mesh's nodes from the plane, indexed from 1 like the nodes.
std::vector<double> node_distances(const Poly_Triangulation& mesh, const gp_Pnt& origin,
                                   const gp_Dir& n) {
  std::vector<double> d(static_cast<std::size_t>(mesh.NbNodes()) + 1, 0.0);
  for (int i = 1; i <= mesh.NbNodes(); ++i) d[i] = gp_Vec(origin, mesh.Node(i)).Dot(gp_Vec(n));
  return d;
}

bool triangle_meets(const std::vector<double>& d, const int k[3]) {
  const double lo = std::min({d[k[0]], d[k[1]], d[k[2]]});
  const double hi = std::max({d[k[0]], d[k[1]], d[k[2]]});
  return lo <= kMeshBand && hi >= -kMeshBand;
}

bool mesh_meets(const Poly_Triangulation& mesh, const gp_Pnt& origin, const gp_Dir& n) {
  const std::vector<double> d = node_distances(mesh, origin, n);
  for (int i = 1; i <= mesh.NbTriangles(); ++i) {
    int k[3];
    mesh.Triangle(i).Get(k[0], k[1], k[2]);
    if (triangle_meets(d, k)) return true;
  }
  return false;
}

// The plane's trace on each triangle it meets: a segment, or a lone point
// where it only touches a corner.
TopoDS_Shape mesh_curves(const Handle(Poly_Triangulation) & mesh, const gp_Pnt& origin,
                         const gp_Dir& n) {
  std::vector<TopoDS_Shape> pieces;
  const std::vector<double> d = node_distances(*mesh, origin, n);
  for (int i = 1; i <= mesh->NbTriangles(); ++i) {
    int k[3];
    mesh->Triangle(i).Get(k[0], k[1], k[2]);
    if (!triangle_meets(d, k)) continue;
    std::vector<gp_Pnt> hits;
    for (int e = 0; e < 3; ++e) {
      const int a = k[e], b = k[(e + 1) % 3];
      const double da = d[a], db = d[b];
      if (std::abs(da) <= kMeshBand) hits.push_back(mesh->Node(a));
      if ((da < -kMeshBand && db > kMeshBand) || (da > kMeshBand && db < -kMeshBand)) {
        const double t = da / (da - db);
        hits.push_back(gp_Pnt(mesh->Node(a).XYZ() + t * (mesh->Node(b).XYZ() - mesh->Node(a).XYZ())));
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

// Corners are exact here: the triangles are all there is of the body.
PlaneCut probe_mesh(const std::shared_ptr<const BodyInfo>& info, const gp_Pnt& origin,
                    const gp_Dir& n, SectionMemory::Counts& stats) {
  PlaneCut cut;
  if (info->has_box && !within(range_of(info->box, origin, n), kMeshBand)) {
    ++stats.probes_by_box;
    return cut;
  }
  if (!mesh_meets(*info->mesh, origin, n)) return cut;
  cut.meets = true;
  cut.curves = [mesh = info->mesh, origin, n]() { return mesh_curves(mesh, origin, n); };
  return cut;
}

//-----------------------------------------------------------------------------
// [SECTION] B-rep bodies
//-----------------------------------------------------------------------------

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
                             const Box& reach, bool approximate = true) {
  BRepAlgoAPI_Section section(shape, plane_face(origin, n, reach), Standard_False);
  section.SetNonDestructive(Standard_True);
  section.ComputePCurveOn1(Standard_False);
  section.ComputePCurveOn2(Standard_False);
  section.Approximation(approximate);
  section.Build();
  if (!section.IsDone() || section.HasErrors())
    throw Standard_Failure("the kernel's boolean section failed");
  return section.Shape();
}

// Points beyond `band` on both sides of the plane.
bool points_across(const std::vector<gp_Pnt>& points, double band, const gp_Pnt& origin,
                   const gp_Dir& n) {
  bool below = false, above = false;
  for (const gp_Pnt& p : points) {
    const double d = gp_Vec(origin, p).Dot(gp_Vec(n));
    below = below || d < -band;
    above = above || d > band;
    if (below && above) return true;
  }
  return false;
}

// Whether the kernel's section has something within `band` of the plane.
// The kernel also gives back edges and vertices that are only within their
// own tolerance of it: an edge or vertex with a loose tolerance at an
// extreme would then let planes cut the body up to that tolerance beyond
// the face's exact geometry, and make the body look that much larger.
bool lies_on_plane(const TopoDS_Shape& section, double band, const gp_Pnt& origin,
                   const gp_Dir& n) {
  for (TopExp_Explorer e(section, TopAbs_EDGE); e.More(); e.Next()) {
    const TopoDS_Edge& edge = TopoDS::Edge(e.Current());
    double first = 0.0, last = 0.0;
    const Handle(Geom_Curve) curve = BRep_Tool::Curve(edge, first, last);  // located
    if (curve.IsNull()) return true;  // nothing to measure: take the kernel's word
    if (plane_distance(curve->Value(0.5 * (first + last)), origin, n) <= band) return true;
  }
  for (TopExp_Explorer v(section, TopAbs_VERTEX); v.More(); v.Next())
    if (plane_distance(BRep_Tool::Pnt(TopoDS::Vertex(v.Current())), origin, n) <= band) return true;
  return false;
}

enum class Verdict { Away, Near, Across };

// Where a leaf stands towards the plane. Near means that only the kernel
// can tell whether the plane meets the leaf within the leaf's tolerance.
Verdict judge(const Leaf& leaf, bool along_axis, const gp_Pnt& origin, const gp_Dir& n) {
  const Zone& z = leaf.zone;
  // A vertex lies on its leaf only within its own tolerance.
  const double loose = std::max(z.band, leaf.border_band);
  if (!within(range_of(z.rough, origin, n), loose)) return Verdict::Away;
  if (points_across(leaf.points, loose, origin, n)) return Verdict::Across;
  // A box's extremes are points of what it holds only along the axes.
  const Range exact = range_of(exact_of(z), origin, n);
  if (along_axis && across(exact, z.band)) return Verdict::Across;
  if (within(exact, z.band)) return Verdict::Near;
  for (const gp_Pnt& p : leaf.points)
    if (plane_distance(p, origin, n) <= z.band) return Verdict::Near;
  return Verdict::Away;
}

const Extremes& extremes_of(const Leaf& leaf) {
  if (!leaf.extremes)
    leaf.extremes = std::make_shared<const Extremes>(leaf.zone.shape, leaf.zone.band);
  return *leaf.extremes;
}

PlaneCut probe_brep(const std::shared_ptr<const BodyInfo>& info, const gp_Pnt& origin,
                    const gp_Dir& n, Probing how, SectionMemory::Counts& stats) {
  PlaneCut cut;
  // Holds the shapes, not the body's record: the record keeps the last
  // answer, and the answer must not keep the record.
  auto certain = [&]() {
    ++stats.probes_by_box;
    cut.meets = true;
    cut.curves = [all = info->all_leaves, reach = info->rough, origin, n]() {
      return boolean_section(all, origin, n, reach);
    };
    return cut;
  };
  const int axis = axis_of(n);
  const bool along_axis = axis >= 0;

  struct Touched {
    double depth;  // how far the leaf's box reaches past the plane on its shorter side
    const Leaf* leaf;
  };
  std::vector<Touched> touched;
  for (const Leaf& leaf : info->leaves) {
    const Verdict v = judge(leaf, along_axis, origin, n);
    if (v == Verdict::Across) return certain();
    if (v == Verdict::Away) continue;
    const Range r = range_of(exact_of(leaf.zone), origin, n);
    touched.push_back({std::min(-r.lo, r.hi), &leaf});
  }
  if (touched.empty()) {
    ++stats.probes_by_box;
    return cut;
  }
  for (const Piece& piece : info->pieces)
    if (points_across(piece.points, piece.band, origin, n)) return certain();

  // Leaf by leaf, the likeliest to be cut first: one that is cut settles the
  // answer, and many flat faces touching the plane together make the
  // kernel's work on all of them at once slow. The section's curves, of all
  // the leaves near the plane, are computed when asked for.
  std::sort(touched.begin(), touched.end(),
            [](const Touched& a, const Touched& b) { return a.depth > b.depth; });
  std::vector<TopoDS_Shape> shapes;
  Box reach = touched.front().leaf->zone.rough;
  for (const Touched& t : touched) {
    shapes.push_back(t.leaf->zone.shape);
    reach = union_of(reach, t.leaf->zone.rough);
  }
  auto met = [&]() {
    cut.meets = true;
    cut.curves = [all = compound_of(shapes), reach, origin, n]() {
      return boolean_section(all, origin, n, reach);
    };
    return cut;
  };

  // What the leaves' exact extremes tell; the kernel is asked about the
  // leaves they leave open only.
  std::vector<Touched> open;
  if (along_axis && how == Probing::kFast) {
    for (const Touched& t : touched) {
      const Meets a = extremes_of(*t.leaf).answer(axis, origin, n);
      if (a == Meets::Yes) {
        ++stats.probes_by_box;
        return met();
      }
      if (a == Meets::Unknown) open.push_back(t);
    }
    if (open.empty()) {
      ++stats.probes_by_box;
      return cut;
    }
  } else {
    open = touched;
  }

  ++stats.booleans;
  for (const Touched& t : open) {
    const TopoDS_Shape curves =
        boolean_section(t.leaf->zone.shape, origin, n, t.leaf->zone.rough, false);
    if (lies_on_plane(curves, t.leaf->zone.band, origin, n)) return met();
  }
  return cut;
}

}  // namespace

PlaneCut section_by_plane(const Object& body, const gp_Pnt& origin, const gp_Vec& normal,
                          SectionMemory& memory, Probing how) {
  if (normal.Magnitude() <= gp::Resolution()) throw Standard_Failure("the plane has no normal");
  const gp_Dir n(normal);
  ++memory.counts.probes;
  const std::shared_ptr<const BodyInfo> info = info_of(body, memory);
  for (const BodyInfo::Asked& a : info->asked)
    if (a.how == how && a.origin.IsEqual(origin, 0.0) && a.normal.IsEqual(n, 0.0)) return a.cut;
  PlaneCut cut;
  if (body.kind == Kind::MeshBody) {
    cut = probe_mesh(info, origin, n, memory.counts);
  } else {
    cut = probe_brep(info, origin, n, how, memory.counts);
  }
  info->asked.push_back({origin, n, how, cut});
  if (info->asked.size() > kRemembered) info->asked.pop_front();
  return cut;
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

void SectionMemory::forget() { bodies.clear(); }

}  // namespace ufhost
