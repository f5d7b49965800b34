// The smallest regular hexagon about a cylinder's axis (cylinder.h): the
// turn where points of the body seen across the axis need the narrowest
// one, then the widths between flats measured exactly there.
#include <Standard_Failure.hxx>

#include <algorithm>
#include <cmath>
#include <new>

#include "ufhost/enclosing/cylinder_internal.h"

namespace ufhost {

using namespace cylinder_detail;

namespace {

// Half the hexagon's width at turn `phi` over points seen across the axis:
// the farthest they reach along any of its six flat normals.
double half_width(const std::vector<P2>& seen, double phi) {
  double most = 0.0;
  for (int k = 0; k < 6; ++k) {
    const double c = std::cos(phi + k * kPi / 3.0), s = std::sin(phi + k * kPi / 3.0);
    for (const P2& p : seen) most = std::max(most, p.x * c + p.y * s);
  }
  return most;
}

// The turn in [0, pi/3) where the points need the narrowest hexagon: a
// sweep, then golden sections about the best of it.
double narrowest_turn(const std::vector<P2>& seen) {
  constexpr int kSweep = 240;
  const double step = (kPi / 3.0) / kSweep;
  double best = 0.0, best_w = HUGE_VAL;
  for (int i = 0; i < kSweep; ++i) {
    const double w = half_width(seen, i * step);
    if (w < best_w) {
      best_w = w;
      best = i * step;
    }
  }
  double a = best - step, b = best + step;
  const double g = 0.5 * (std::sqrt(5.0) - 1.0);
  for (int i = 0; i < 80 && b - a > 1e-13; ++i) {
    const double x1 = b - g * (b - a), x2 = a + g * (b - a);
    if (half_width(seen, x1) <= half_width(seen, x2)) {
      b = x2;
    } else {
      a = x1;
    }
  }
  const double turn = std::fmod(0.5 * (a + b) + kPi / 3.0, kPi / 3.0);
  return turn < 0.0 ? turn + kPi / 3.0 : turn;
}

}  // namespace

bool smallest_hexagon(const TopoDS_Shape& body, const Cylinder& about, double tolerance,
                      Hexagon* out, std::string* error) {
  if (out == nullptr || error == nullptr) return false;
  if (!check_tolerance(tolerance, error)) return false;
  if (!usable(about.axis) || !std::isfinite(about.origin.X()) || !std::isfinite(about.origin.Y()) ||
      !std::isfinite(about.origin.Z())) {
    *error = "the axis is not a finite line";
    return false;
  }
  try {
    ExactBody exact;
    if (!exact.prepare(body, error)) return false;
    const Across across(about.axis);
    std::vector<P2> seen;
    for (const gp_Pnt& p : exact.samples()) seen.push_back(across.seen(p.XYZ() - about.origin.XYZ()));
    Hexagon best;
    best.across_flats = HUGE_VAL;
    double below = 0.0;
    // Twice: the second time with the points where the first measure found
    // the body farthest along each flat's normal.
    for (int round = 0; round < 2; ++round) {
      const double turn = narrowest_turn(seen);
      double upper = 0.0, lower = 0.0;
      for (int k = 0; k < 6; ++k) {
        const double phi = turn + k * kPi / 3.0;
        const gp_Dir n(std::cos(phi) * across.e1 + std::sin(phi) * across.e2);
        const Reach r = exact.reach({Measure::kAlong, gp_Pnt(), n}, 0.5 * tolerance);
        const double from_axis = about.origin.XYZ().Dot(n.XYZ());
        upper = std::max(upper, r.upper - from_axis);
        lower = std::max(lower, r.lower - from_axis);
        seen.push_back(across.seen(r.where.XYZ() - about.origin.XYZ()));
      }
      if (2.0 * upper < best.across_flats) {
        best.across_flats = 2.0 * upper;
        best.turn_rad = turn;
        best.flat_normal = gp_Dir(std::cos(turn) * across.e1 + std::sin(turn) * across.e2);
        below = lower;
      }
    }
    best.length = about.length;
    best.exact_to = best.across_flats - 2.0 * below;
    *out = best;
    return true;
  } catch (const Standard_Failure& failure) {
    *error = std::string("the geometry kernel failed: ") + failure.GetMessageString();
  } catch (const std::bad_alloc&) {
    *error = "out of memory";
  }
  return false;
}

}  // namespace ufhost
