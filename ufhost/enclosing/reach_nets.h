// Inside reach: the measure in the body's unit frame and what is done with
// the control nets of faces and edges (reach_body.h): making them, their
// bounds, their halves, whether the measure can turn inside one. Shared by
// reach_nets.cpp, which does it, and reach.cpp, whose search splits nets
// with it.
#pragma once

#include <gp_XYZ.hxx>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "ufhost/enclosing/reach_body.h"

namespace ufhost::reach_detail {

// The measure in the unit frame. The distance from a line is bounded as its
// square, which is smooth as well as convex; tolerances are compared on the
// distance itself.
struct Fn {
  bool radial = false;
  gp_XYZ a;  // radial: the line's point nearest the frame's centre
  gp_XYZ d;  // unit direction

  // The square of the distance from the line, or the coordinate.
  double g(const gp_XYZ& p) const {
    if (!radial) return d.Dot(p);
    const gp_XYZ q = p - a;
    const double t = q.Dot(d);
    return std::max(0.0, q.SquareModulus() - t * t);
  }
  // Affine in p: over a hull its values are the hull of its values at the corners.
  gp_XYZ grad(const gp_XYZ& p) const {
    if (!radial) return d;
    const gp_XYZ q = p - a;
    return 2.0 * (q - q.Dot(d) * d);
  }
  double f(double g_value) const { return radial ? std::sqrt(std::max(0.0, g_value)) : g_value; }
  double g_of(double f_value) const {
    return radial ? (f_value > 0.0 ? f_value * f_value : 0.0) : f_value;
  }
};

// The faces' nets, made on first use; false when the surface cannot be
// converted exactly.
bool face_nets(const FaceRecord& face, const UnitFrame& frame);
// The edge's nets, made on first use; false when its curve cannot be.
bool edge_nets(const EdgeRecord& edge, const UnitFrame& frame);

// The pole index of corner `corner` of a patch (0 to 3: u0v0, u1v0, u0v1,
// u1v1).
inline int corner_index(const Net& n, int corner) {
  return ((corner & 1) ? n.nu - 1 : 0) * n.nv + ((corner & 2) ? n.nv - 1 : 0);
}

// The largest value of the measure's g over the net's poles: an upper bound
// of g over the piece, which lies in their hull.
inline double top_of(const Net& n, const Fn& fn) {
  double top = -std::numeric_limits<double>::infinity();
  for (const gp_XYZ& p : n.p) top = std::max(top, fn.g(p));
  return top;
}

// The two halves of the net across the middle of u or v.
void halve(const Net& n, bool along_u, Net* a, Net* b);

// How far the net bends along a direction: its largest second difference,
// or with straight lines (*straight) its longest line, to halve across the
// one that keeps the hull farthest from the piece.
double bend(const Net& n, bool along_u, bool* straight);

// Whether a side of the patch across `along_u` (its first or last line of
// poles along the other direction) is one point, within `rounding`.
bool collapsed_side(const Net& n, bool along_u, double rounding);

// Whether the measure's derivative keeps one sign over the whole net along
// u or along v: then it cannot turn inside the piece.
bool cannot_turn(const Net& n, const Fn& fn);

struct Aabb {
  gp_XYZ lo, hi;
  bool meets(const Aabb& o) const {
    return lo.X() <= o.hi.X() && o.lo.X() <= hi.X() && lo.Y() <= o.hi.Y() && o.lo.Y() <= hi.Y() &&
           lo.Z() <= o.hi.Z() && o.lo.Z() <= hi.Z();
  }
  double size() const { return (hi - lo).Modulus(); }
};

// The box of `points` (at least one), widened by `widen` on every side.
template <class Points>
Aabb box_of(const Points& points, double widen) {
  Aabb b{points[0], points[0]};
  for (const gp_XYZ& p : points) {
    b.lo.SetCoord(std::min(b.lo.X(), p.X()), std::min(b.lo.Y(), p.Y()), std::min(b.lo.Z(), p.Z()));
    b.hi.SetCoord(std::max(b.hi.X(), p.X()), std::max(b.hi.Y(), p.Y()), std::max(b.hi.Z(), p.Z()));
  }
  const gp_XYZ w(widen, widen, widen);
  b.lo -= w;
  b.hi += w;
  return b;
}

// Whether the curve of `piece`, within `band`, may pass through `target`.
// `depth`: halvings so far, 0 for the caller.
bool may_touch(const Net& piece, const Aabb& target, double band, int depth);

}  // namespace ufhost::reach_detail
