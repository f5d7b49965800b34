// Inside the cylinder and the hexagon: points of the body seen along a
// direction and the smallest circle that holds them (cylinder_points.cpp),
// which the cylinder (cylinder.cpp) and the hexagon (hexagon.cpp) both run
// on, and the checks of their inputs. Only these files include this header.
#pragma once

#include <gp_Dir.hxx>
#include <gp_Pnt.hxx>
#include <gp_XYZ.hxx>

#include <cmath>
#include <string>
#include <vector>

#include "ufhost/enclosing/cylinder.h"
#include "ufhost/enclosing/reach.h"

namespace ufhost::cylinder_detail {

constexpr double kPi = M_PI;

struct P2 {
  double x, y;
};

struct Disc {
  double x = 0.0, y = 0.0, r = -1.0;
  bool holds(const P2& p) const {
    const double dx = p.x - x, dy = p.y - y;
    return dx * dx + dy * dy <= r * r * (1.0 + 1e-14) + 1e-300;
  }
};

// The smallest circle holding all points (Welzl's incremental form; the
// points should come in random order, which keeps it linear on average).
Disc enclosing(const std::vector<P2>& p);

// Two directions square to `d` and each other, e1 the reference direction.
struct Across {
  gp_XYZ d, e1, e2;
  explicit Across(const gp_Dir& dir)
      : d(dir.XYZ()), e1(reference_direction(dir).XYZ()), e2(d.Crossed(e1)) {}
  P2 seen(const gp_XYZ& p) const { return {p.Dot(e1), p.Dot(e2)}; }
};

// Points of the body, from its centre, in a fixed random order: those
// within a twentieth of the body's size of its outside along one of a
// spread of directions. Circles seen along any direction rest on those
// (a point on the outline seen along a direction is outermost along a
// direction across it, and a direction of the spread lies near that one),
// and they are a fraction of the points of bodies with many faces inside.
struct Points {
  gp_XYZ centre;
  std::vector<gp_XYZ> at;

  explicit Points(const ExactBody& body);
  // A point the measures found: first, where a circle meets it soonest.
  void add(const gp_Pnt& p) { at.insert(at.begin(), p.XYZ() - centre); }
  Disc circle(const Across& a) const {
    std::vector<P2> seen;
    seen.reserve(at.size());
    for (const gp_XYZ& p : at) seen.push_back(a.seen(p));
    return enclosing(seen);
  }
};

inline bool usable(const gp_Dir& d) {
  return std::isfinite(d.X()) && std::isfinite(d.Y()) && std::isfinite(d.Z());
}

inline bool check_tolerance(double tolerance, std::string* error) {
  if (tolerance > 0.0 && std::isfinite(tolerance)) return true;
  *error = "the tolerance must be a positive number";
  return false;
}

}  // namespace ufhost::cylinder_detail
