// Planar sections of bodies.
//
// Probes of B-rep bodies; what is remembered of a body is worked out in
// sections_memory.cpp, and mesh bodies are probed in sections_mesh.cpp.
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

#include <BRepAlgoAPI_Section.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRep_Tool.hxx>
#include <Geom_Curve.hxx>
#include <ShapeAnalysis_FreeBounds.hxx>
#include <Standard_Failure.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_HSequenceOfShape.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Edge.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Vertex.hxx>
#include <gp_Pln.hxx>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "ufhost/geom/extremes.h"
#include "ufhost/geom/sections_internal.h"

namespace ufhost {

using namespace sections_detail;

namespace {

// Answers to this many of the last planes asked about a body are kept.
constexpr std::size_t kRemembered = 8;

// The axis the normal lies along, or -1.
int axis_of(const gp_Dir& n) {
  for (int a = 0; a < 3; ++a)
    if (std::abs(n.Coord(a + 1)) == 1.0) return a;
  return -1;
}

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

// A leaf near the plane, and how far its box reaches past the plane on its
// shorter side.
struct Touched {
  double depth;
  const Leaf* leaf;
};

// The leaves near the plane, into *near; false as soon as one lies across
// it, which settles that the plane meets the body.
bool leaves_near(const BodyInfo& info, bool along_axis, const gp_Pnt& origin, const gp_Dir& n,
                 std::vector<Touched>* near) {
  for (const Leaf& leaf : info.leaves) {
    const Verdict v = judge(leaf, along_axis, origin, n);
    if (v == Verdict::Across) return false;
    if (v == Verdict::Away) continue;
    const Range r = range_of(exact_of(leaf.zone), origin, n);
    near->push_back({std::min(-r.lo, r.hi), &leaf});
  }
  return true;
}

// The plane meets the body: the section's curves are the kernel's of the
// `shapes` given, reaching past every corner of `reach`, computed when asked
// for. Holds the shapes, not the body's record: the record keeps the last
// answer, and the answer must not keep the record.
PlaneCut meets_with_curves(const TopoDS_Shape& shapes, const Box& reach, const gp_Pnt& origin,
                           const gp_Dir& n) {
  PlaneCut cut;
  cut.meets = true;
  cut.curves = [shapes, reach, origin, n]() { return boolean_section(shapes, origin, n, reach); };
  return cut;
}

// The curves of a cut near the leaves: those of all the leaves near the
// plane, not only of the one that settled it.
PlaneCut meets_near(const std::vector<Touched>& touched, const gp_Pnt& origin, const gp_Dir& n) {
  std::vector<TopoDS_Shape> shapes;
  Box reach = touched.front().leaf->zone.rough;
  for (const Touched& t : touched) {
    shapes.push_back(t.leaf->zone.shape);
    reach = union_of(reach, t.leaf->zone.rough);
  }
  return meets_with_curves(compound_of(shapes), reach, origin, n);
}

// What the leaves' exact extremes tell of a plane along `axis`: Yes as soon
// as one leaf is met; else the leaves they leave open into *open, No when
// there are none.
Meets ask_extremes(const std::vector<Touched>& touched, int axis, const gp_Pnt& origin,
                   const gp_Dir& n, std::vector<Touched>* open) {
  for (const Touched& t : touched) {
    const Meets a = extremes_of(*t.leaf).answer(axis, origin, n);
    if (a == Meets::Yes) return Meets::Yes;
    if (a == Meets::Unknown) open->push_back(t);
  }
  return open->empty() ? Meets::No : Meets::Unknown;
}

// The kernel's boolean section of each open leaf alone, until one has
// something within the leaf's band of the plane.
bool kernel_meets(const std::vector<Touched>& open, const gp_Pnt& origin, const gp_Dir& n) {
  for (const Touched& t : open) {
    const TopoDS_Shape curves =
        boolean_section(t.leaf->zone.shape, origin, n, t.leaf->zone.rough, false);
    if (lies_on_plane(curves, t.leaf->zone.band, origin, n)) return true;
  }
  return false;
}

// A probe decided cheapest first: leaves or pieces across the plane, then
// the leaves near it by their exact extremes, then the kernel.
PlaneCut probe_brep(const std::shared_ptr<const BodyInfo>& info, const gp_Pnt& origin,
                    const gp_Dir& n, Probing how, SectionMemory::Counts& stats) {
  const int axis = axis_of(n);
  const bool along_axis = axis >= 0;
  std::vector<Touched> touched;
  bool certain = !leaves_near(*info, along_axis, origin, n, &touched);
  if (!certain && touched.empty()) {
    ++stats.probes_by_box;
    return PlaneCut();
  }
  for (std::size_t i = 0; !certain && i < info->pieces.size(); ++i)
    certain = points_across(info->pieces[i].points, info->pieces[i].band, origin, n);
  if (certain) {
    ++stats.probes_by_box;
    return meets_with_curves(info->all_leaves, info->rough, origin, n);
  }

  // Leaf by leaf, the likeliest to be cut first: one that is cut settles the
  // answer, and many flat faces touching the plane together make the
  // kernel's work on all of them at once slow.
  std::sort(touched.begin(), touched.end(),
            [](const Touched& a, const Touched& b) { return a.depth > b.depth; });
  std::vector<Touched> open;
  if (along_axis && how == Probing::kFast) {
    const Meets a = ask_extremes(touched, axis, origin, n, &open);
    if (a != Meets::Unknown) {
      ++stats.probes_by_box;
      return a == Meets::Yes ? meets_near(touched, origin, n) : PlaneCut();
    }
  } else {
    open = touched;
  }
  ++stats.booleans;
  return kernel_meets(open, origin, n) ? meets_near(touched, origin, n) : PlaneCut();
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
