// Extremes of vertices and edges along the axes, and the kernel's answers
// near every extreme (extremes.h); faces are in extremes_faces.cpp.
//
// [SECTION] Helpers
// [SECTION] Vertices and edges
// [SECTION] Answers
//
// A leaf's extreme along an axis lies at a vertex, at a point inside an edge
// where the edge turns back along the axis, or at an inner point of the face
// where the surface turns back. All three kinds are listed as contacts, on
// every axis, smallest and largest alike; a plane near the leaf is either
// near one of them or cuts the leaf through.
//
// The kernel's section is made with a plane face of the kernel's confusion
// distance as its tolerance: a vertex or an edge within its own tolerance
// plus that distance of the plane is found, the boolean then tells whether
// it lies within the leaf's tolerance of the plane.
#include "ufhost/geom/extremes.h"

#include <BRepAdaptor_Curve.hxx>
#include <BRep_Tool.hxx>
#include <Precision.hxx>
#include <Standard_Failure.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Edge.hxx>
#include <TopoDS_Vertex.hxx>
#include <algorithm>
#include <cmath>
#include <gp_Circ.hxx>
#include <gp_Elips.hxx>

#include "ufhost/geom/extremes_internal.h"

namespace ufhost {

using namespace extremes_detail;

double leaf_tolerance(const TopoDS_Shape& leaf) {
  double tol = 0.0;
  switch (leaf.ShapeType()) {
    case TopAbs_FACE: tol = BRep_Tool::Tolerance(TopoDS::Face(leaf)); break;
    case TopAbs_EDGE: tol = BRep_Tool::Tolerance(TopoDS::Edge(leaf)); break;
    case TopAbs_VERTEX: tol = BRep_Tool::Tolerance(TopoDS::Vertex(leaf)); break;
    default: break;
  }
  return std::max(tol, Precision::Confusion());
}

double plane_distance(const gp_Pnt& p, const gp_Pnt& origin, const gp_Dir& n) {
  return std::abs(gp_Vec(origin, p).Dot(gp_Vec(n)));
}

namespace {

//-----------------------------------------------------------------------------
// [SECTION] Helpers
//-----------------------------------------------------------------------------

// Relative distance from a threshold within which the answer is left to
// the kernel. For a point worked out here the kernel works out its own,
// which may differ by rounding (1e-13 of the coordinate has been seen).
// Even at a vertex the kernel may hand back a vertex of its own making
// rather than the leaf's, a rounding away.
constexpr double kComputedTie = 1e-12;
constexpr double kVertexTie = 1e-13;

// The root of g in [a, b] where g(a) and g(b) differ in sign: Newton's steps
// while they stay inside the bracket, halving otherwise. `g` gives the value
// and the derivative.
template <class G>
double bracketed_root(G g, double a, double b) {
  double ga = 0.0, gb = 0.0, d = 0.0;
  g(a, &ga, &d);
  g(b, &gb, &d);
  if (ga == 0.0) return a;
  if (gb == 0.0) return b;
  double t = 0.5 * (a + b);
  for (int i = 0; i < 100 && b - a > 1e-15 * (std::abs(a) + std::abs(b) + 1e-300); ++i) {
    double gt = 0.0, dt = 0.0;
    g(t, &gt, &dt);
    if (gt == 0.0) return t;
    if ((gt > 0.0) == (ga > 0.0)) {
      a = t;
      ga = gt;
    } else {
      b = t;
    }
    const double newton = dt != 0.0 ? t - gt / dt : a - 1.0;
    t = newton > a && newton < b ? newton : 0.5 * (a + b);
  }
  return t;
}

//-----------------------------------------------------------------------------
// [SECTION] Vertices and edges
//-----------------------------------------------------------------------------

// Parameters inside (first, last) where the curve turns back along `axis`:
// every local extreme of the coordinate found on a fine sampling, refined.
// A curve whose coordinate does not change has none.
std::vector<double> turning_points(const BRepAdaptor_Curve& c, double first, double last,
                                   int axis) {
  const int n = std::max(64, 8 * c.NbIntervals(GeomAbs_C2));
  std::vector<double> t(static_cast<std::size_t>(n) + 1), f(t.size());
  double lo = HUGE_VAL, hi = -HUGE_VAL, scale = 1.0;
  for (int i = 0; i <= n; ++i) {
    t[i] = first + (last - first) * i / n;
    const gp_Pnt p = c.Value(t[i]);
    f[i] = coord(p, axis);
    lo = std::min(lo, f[i]);
    hi = std::max(hi, f[i]);
    scale = std::max(scale, p.XYZ().Modulus());
  }
  std::vector<double> out;
  if (hi - lo <= kLevel * scale) return out;
  auto slope = [&](double s, double* g, double* dg) {
    gp_Pnt p;
    gp_Vec d1, d2;
    c.D2(s, p, d1, d2);
    *g = d1.Coord(axis + 1);
    *dg = d2.Coord(axis + 1);
  };
  for (int i = 1; i < n; ++i) {
    const bool top = f[i] >= f[i - 1] && f[i] > f[i + 1];
    const bool bottom = f[i] <= f[i - 1] && f[i] < f[i + 1];
    if (!top && !bottom) continue;
    double g0 = 0.0, g1 = 0.0, d = 0.0;
    slope(t[i - 1], &g0, &d);
    slope(t[i + 1], &g1, &d);
    // No change of slope between the neighbours: the sample itself is the
    // best there is (a kink, or a turn the sampling straddles).
    const double s = (g0 > 0.0) != (g1 > 0.0) ? bracketed_root(slope, t[i - 1], t[i + 1]) : t[i];
    if (s > first && s < last) out.push_back(s);
  }
  return out;
}


// Where a circle or an ellipse turns back along `axis`: x(t) = x0 + A cos t
// + B sin t is largest at atan2(B, A) and smallest half a turn on. One level
// along the axis is found whole, and measured at its middle.
std::vector<double> conic_turns(const BRepAdaptor_Curve& c, double first, double last, int axis) {
  gp_Ax2 frame;
  double r1 = 0.0, r2 = 0.0;
  if (c.GetType() == GeomAbs_Circle) {
    const gp_Circ circle = c.Circle();
    frame = circle.Position();
    r1 = r2 = circle.Radius();
  } else {
    const gp_Elips ellipse = c.Ellipse();
    frame = ellipse.Position();
    r1 = ellipse.MajorRadius();
    r2 = ellipse.MinorRadius();
  }
  const double a = r1 * frame.XDirection().Coord(axis + 1);
  const double b = r2 * frame.YDirection().Coord(axis + 1);
  if (std::hypot(a, b) <= kLevel * (r1 + 1.0)) return {0.5 * (first + last)};
  std::vector<double> params;
  for (double t : {std::atan2(b, a), std::atan2(b, a) + kPi}) {
    if (inside(&t, first, last, 2.0 * kPi, 0.0)) params.push_back(t);
  }
  return params;
}

// Parameters of the points inside the edge the kernel's section puts a
// vertex at when the plane comes near: where the curve turns back along
// `axis`, each kind of curve in its own way.
std::vector<double> edge_turns(const BRepAdaptor_Curve& c, double first, double last, int axis,
                               double tol) {
  switch (c.GetType()) {
    case GeomAbs_Line: {
      // Turns nowhere: its ends are the edge's vertices. But one lying
      // along the plane is found whole, and measured at its middle.
      const double rise = c.Line().Direction().Coord(axis + 1) * (last - first);
      if (std::abs(rise) <= tol) return {0.5 * (first + last)};
      return {};
    }
    case GeomAbs_Circle:
    case GeomAbs_Ellipse:
      return conic_turns(c, first, last, axis);
    default:
      return turning_points(c, first, last, axis);
  }
}

}  // namespace

void Extremes::add(int axis, const Contact& contact) { axes_[axis].contacts.push_back(contact); }

void Extremes::touch(int axis, double at) {
  Axis& a = axes_[axis];
  a.lo = a.measured ? std::min(a.lo, at) : at;
  a.hi = a.measured ? std::max(a.hi, at) : at;
  a.measured = true;
}

// A vertex is found within its tolerance of the plane, and counts when it
// also lies within the leaf's.
void Extremes::add_vertices(const TopoDS_Shape& leaf) {
  TopTools_IndexedMapOfShape vertices;
  TopExp::MapShapes(leaf, TopAbs_VERTEX, vertices);
  for (int i = 1; i <= vertices.Extent(); ++i) {
    const TopoDS_Vertex& v = TopoDS::Vertex(vertices(i));
    const double tol = leaf_tolerance(v);
    vertices_.push_back({BRep_Tool::Pnt(v), tol});
    Contact c;
    c.kind = Contact::Point;
    c.at = BRep_Tool::Pnt(v);
    c.reach = band_;
    c.sure = std::min(band_, tol + kPlaneBand - kMargin);
    for (int axis = 0; axis < 3; ++axis) {
      add(axis, c);
      // A vertex lies on the leaf only within its tolerance; the leaf's
      // extent is taken from its edges and surface, unless it is all there is.
      if (leaf.ShapeType() == TopAbs_VERTEX) touch(axis, coord(c.at, axis));
    }
  }
}

// Where an edge turns back along an axis, the kernel puts a vertex of the
// section at the edge's point nearest the plane, found within the edge's
// tolerance. Near a vertex of the leaf the two may merge into that vertex.
void Extremes::add_edge(const TopoDS_Shape& shape) {
  const TopoDS_Edge& edge = TopoDS::Edge(shape);
  if (BRep_Tool::Degenerated(edge)) return;
  const double tol = leaf_tolerance(edge);
  const BRepAdaptor_Curve c(edge);
  const double first = c.FirstParameter(), last = c.LastParameter();
  const gp_Pnt ends[2] = {c.Value(first), c.Value(last)};
  // A loose edge may stray from the surface by its tolerance: its points
  // say nothing of where the leaf is. Its ends are the vertices'.
  const bool loose = tol > 2.0 * band_ + kPlaneBand;
  for (int axis = 0; axis < 3; ++axis) {
    std::vector<gp_Pnt> turns;
    for (double t : edge_turns(c, first, last, axis, tol)) turns.push_back(c.Value(t));
    if (loose) {
      add_loose_edge(axis, ends, turns, tol);
    } else {
      add_tight_edge(axis, ends, turns, tol);
    }
  }
}

// Where a loose edge runs, within its tolerance, the kernel may fold what
// it finds into the edge. And it lies within its tolerance of the plane
// along a stretch, which the kernel may cut short at a vertex or merge with
// one whose tolerance it grows: what is left lies somewhere on the stretch,
// never nearer the plane than a turn, but maybe not within the band where
// the turn is.
void Extremes::add_loose_edge(int axis, const gp_Pnt ends[2], const std::vector<gp_Pnt>& turns,
                              double tol) {
  double lo = std::min(coord(ends[0], axis), coord(ends[1], axis));
  double hi = std::max(coord(ends[0], axis), coord(ends[1], axis));
  for (const gp_Pnt& p : turns) {
    lo = std::min(lo, coord(p, axis));
    hi = std::max(hi, coord(p, axis));
  }
  axes_[axis].loose.push_back({lo - tol - kPlaneBand, hi + tol + kPlaneBand});
  for (const gp_Pnt& p : turns) {
    Contact contact;
    contact.at = p;
    contact.kind = Contact::Point;
    contact.computed = true;
    contact.sure = -HUGE_VAL;
    contact.reach = band_;
    add(axis, contact);
  }
}

// An edge within the band of its surface: its ends and turns are points of
// the leaf, and each turn is found within the edge's tolerance.
void Extremes::add_tight_edge(int axis, const gp_Pnt ends[2], const std::vector<gp_Pnt>& turns,
                              double tol) {
  touch(axis, coord(ends[0], axis));
  touch(axis, coord(ends[1], axis));
  for (const gp_Pnt& p : turns) {
    Contact contact;
    contact.at = p;
    touch(axis, coord(contact.at, axis));
    contact.kind = Contact::Point;
    contact.reach = band_;
    contact.sure = std::min(band_, tol + kPlaneBand - kMargin);
    contact.computed = true;
    // Should the edge stay within its tolerance of the plane all the way
    // to one of its ends, the kernel takes that stretch for a piece of
    // the section and ends it at the vertex there.
    contact.has_ends = true;
    contact.ends[0] = ends[0];
    contact.ends[1] = ends[1];
    contact.end_reach = tol + 2.0 * kPlaneBand;
    // The nearest vertex the section's new vertex could merge with.
    double nearest = HUGE_VAL;
    for (const auto& v : vertices_) {
      const double d = v.first.Distance(contact.at);
      if (d <= v.second + tol + 2.0 * kPlaneBand && d < nearest) {
        nearest = d;
        contact.has_twin = true;
        contact.twin = v.first;
      }
    }
    add(axis, contact);
  }
}

//-----------------------------------------------------------------------------
// [SECTION] Answers
//-----------------------------------------------------------------------------

Extremes::Extremes(const TopoDS_Shape& leaf, double band) : band_(band) {
  try {
    add_vertices(leaf);
    for (TopExp_Explorer e(leaf, TopAbs_EDGE); e.More(); e.Next()) add_edge(e.Current());
    if (leaf.ShapeType() == TopAbs_FACE) add_face(leaf);
  } catch (const Standard_Failure&) {
    unworkable_ = true;  // geometry the kernel cannot evaluate here: its section may still do
  }
}

Meets Extremes::answer(int axis, const gp_Pnt& origin, const gp_Dir& n) const {
  if (unworkable_) return Meets::Unknown;
  const Axis& a = axes_[axis];
  const double c = coord(origin, axis);
  bool unknown = false;   // a point the section may hold lies just about at the band
  bool doubtful = false;  // the plane runs through a turn only the kernel can judge
  for (const Contact& k : a.contacts) {
    switch (k.kind) {
      case Contact::Point: {
        // The kernel works out a point of its own where this one is
        // computed: close to a threshold the two may fall either side.
        const double d = plane_distance(k.at, origin, n);
        const double tie = (k.computed ? kComputedTie : kVertexTie) * std::max(1.0, std::abs(c));
        const bool met = d <= k.sure - tie;
        if (k.has_twin && (d <= k.sure + tie) != (plane_distance(k.twin, origin, n) <= band_)) {
          unknown = true;
        } else if (met && k.has_ends &&
                   (plane_distance(k.ends[0], origin, n) <= k.end_reach ||
                    plane_distance(k.ends[1], origin, n) <= k.end_reach)) {
          unknown = true;
        } else if (met) {
          return Meets::Yes;
        } else if (d <= std::max(k.sure, k.reach) + tie) {
          unknown = true;
        }
        break;
      }
      case Contact::Tangent: {
        const double at = coord(k.at, axis);
        if (std::abs(at - c) <= kComputedTie * std::max(1.0, std::abs(at))) doubtful = true;
        break;
      }
      case Contact::Unsure: {
        const double slack = band_ + kComputedTie * std::max(1.0, std::abs(k.to));
        if (c >= k.from - slack && c <= k.to + slack) doubtful = true;
        break;
      }
    }
  }
  if (doubtful) return Meets::Unknown;
  // Points of the leaf on both sides: the plane cuts it through, away from
  // any turn, where the section is plainly there. But where it cuts close
  // to a vertex of loose tolerance the kernel may merge what it finds into
  // that vertex, which then lies as far from the plane as it does, or into
  // an edge of loose tolerance.
  if (a.measured && c > a.lo && c < a.hi) {
    for (const auto& v : vertices_)
      if (v.second > band_ && std::abs(coord(v.first, axis) - c) <= v.second + kPlaneBand)
        return Meets::Unknown;
    for (const auto& stretch : a.loose)
      if (c >= stretch.first && c <= stretch.second) return Meets::Unknown;
    // So may it into a point it finds just about at the band.
    return unknown ? Meets::Unknown : Meets::Yes;
  }
  return unknown ? Meets::Unknown : Meets::No;
}

bool Extremes::extent(int axis, double* lo, double* hi) const {
  const Axis& a = axes_[axis];
  *lo = a.lo;
  *hi = a.hi;
  return a.measured;
}

}  // namespace ufhost
