// The smallest cylinder about a body (cylinder.h); the points it searches on
// are in cylinder_points.cpp, the hexagon about it in hexagon.cpp.
//
// [SECTION] The best line along a direction
// [SECTION] Directions to try
// [SECTION] The cylinder
//
// Points of the body (its samples, and the farthest points that measures
// find) seen along a direction are what a search runs on: the smallest
// circle holding them is at most the smallest that holds the body, so it
// bounds the diameter from below, and its centre is where the next exact
// measure is taken.
#include "ufhost/enclosing/cylinder.h"

#include <BRepGProp.hxx>
#include <GProp_GProps.hxx>
#include <GProp_PrincipalProps.hxx>
#include <Standard_Failure.hxx>
#include <TopExp_Explorer.hxx>

#include <algorithm>
#include <cmath>
#include <new>

#include "ufhost/enclosing/cylinder_internal.h"
#include "ufhost/enclosing/reach.h"

namespace ufhost {

using namespace cylinder_detail;

namespace {

// Exact measures and re-centrings for one direction, at most.
constexpr int kMostRecentrings = 24;
// Directions of faces of revolution tried, those with the most area first.
constexpr int kMostLines = 12;
// Centres of spheres on no other axis tried, those with the most area first.
constexpr std::size_t kMostCentres = 4;
// Rounds of polishing the best searched direction, at most.
constexpr int kPolishRounds = 12;
// Directions along which axes count as one (radians).
constexpr double kSameDirection = 1e-6;

//-----------------------------------------------------------------------------
// [SECTION] The best line along a direction
//-----------------------------------------------------------------------------

struct Fit {
  gp_Pnt point;
  gp_Dir dir;
  double upper = HUGE_VAL;  // the body never lies farther from the line
  // The body reaches this far from the line, and no line along `dir` holds
  // it in a smaller radius.
  double lower = 0.0;
  bool own_line = false;
  double area = 0.0;
  // Its extent along the line, once measured: the body lies within [lo, hi]
  // and reaches within `length_gap` of both together.
  bool measured = false;
  double lo = 0.0, hi = 0.0, length_gap = 0.0;
};

Fit about_line(const ExactBody& body, const gp_Pnt& point, const gp_Dir& dir, double tolerance) {
  const Reach r = body.reach({Measure::kFromLine, point, dir}, tolerance);
  Fit fit;
  fit.point = point;
  fit.dir = dir;
  fit.upper = r.upper;
  fit.lower = r.lower;
  return fit;
}

// The line along `dir` about which the body lies in the smallest circle:
// the circle holding the points seen so far gives a centre, an exact measure
// about it the farthest point of the body, which joins the points, until the
// measure comes within the tolerance of the circle.
Fit centred(const ExactBody& body, const gp_Dir& dir, Points* points, double tolerance) {
  const Across across(dir);
  std::vector<P2> seen;
  for (const gp_XYZ& p : points->at) seen.push_back(across.seen(p));
  Fit best;
  double below = 0.0;  // the radius of the circle holding points of the body
  double reached = 0.0;
  for (int round = 0; round < kMostRecentrings; ++round) {
    const Disc c = enclosing(seen);
    below = std::max(below, c.r);
    const gp_Pnt at(points->centre + c.x * across.e1 + c.y * across.e2);
    const Reach r = body.reach({Measure::kFromLine, at, dir}, 0.5 * tolerance);
    if (r.upper < best.upper) {
      best.point = at;
      best.dir = dir;
      best.upper = r.upper;
      reached = r.lower;
    }
    if (r.upper - below <= tolerance) break;
    // A measure that cannot settle gives its farthest point once; more
    // rounds of it would only repeat its uncertainty.
    if (!r.settled && round > 0) break;
    const P2 far = across.seen(r.where.XYZ() - points->centre);
    if (c.holds(far)) break;  // the measure found nothing new: it has not settled
    seen.insert(seen.begin(), far);
    points->add(r.where);
  }
  best.lower = std::min(below, reached);
  return best;
}

void measure_length(const ExactBody& body, Fit* fit, double tolerance) {
  const Reach top = body.reach({Measure::kAlong, gp_Pnt(), fit->dir}, 0.5 * tolerance);
  const Reach bottom = body.reach({Measure::kAlong, gp_Pnt(), fit->dir.Reversed()}, 0.5 * tolerance);
  fit->measured = true;
  fit->hi = top.upper;
  fit->lo = -bottom.upper;
  fit->length_gap = (top.upper - top.lower) + (bottom.upper - bottom.lower);
}

//-----------------------------------------------------------------------------
// [SECTION] Directions to try
//-----------------------------------------------------------------------------

// The body's principal axes of inertia, as a solid when it has solids, else
// as a shell; X, Y, Z when it has no mass to speak of.
std::vector<gp_Dir> principal_axes(const TopoDS_Shape& body) {
  const std::vector<gp_Dir> xyz = {gp_Dir(1, 0, 0), gp_Dir(0, 1, 0), gp_Dir(0, 0, 1)};
  try {
    GProp_GProps props;
    if (TopExp_Explorer(body, TopAbs_SOLID).More()) {
      BRepGProp::VolumeProperties(body, props, Standard_True);
    } else {
      BRepGProp::SurfaceProperties(body, props);
    }
    if (!(std::abs(props.Mass()) > 0.0)) return xyz;
    const GProp_PrincipalProps principal = props.PrincipalProperties();
    const std::vector<gp_Dir> axes = {principal.FirstAxisOfInertia(), principal.SecondAxisOfInertia(),
                                      principal.ThirdAxisOfInertia()};
    for (const gp_Dir& a : axes)
      if (!usable(a)) return xyz;  // a body the integration could make nothing of
    return axes;
  } catch (const Standard_Failure&) {
    return xyz;
  }
}

// The radius of the circle holding the points seen along `d`: what a
// direction search compares, cheaply.
double seen_radius(const Points& points, const gp_Dir& d) { return points.circle(Across(d)).r; }

// `d` moved by small angles a, b about the two directions across it.
gp_Dir moved(const gp_Dir& d, double a, double b) {
  const Across across(d);
  return gp_Dir(across.d + a * across.e1 + b * across.e2);
}

// A local search from `d`: steps across the direction, sixteen ways round
// (the radius is a largest of several, and may fall only along a ridge
// between them), halved when none helps, from `step` down to `least`
// (radians).
gp_Dir refine(const Points& points, gp_Dir d, double step, double least, double* radius) {
  double best = seen_radius(points, d);
  for (int tries = 0; tries < 600 && step > least; ++tries) {
    bool moved_on = false;
    for (int k = 0; k < 16 && !moved_on; ++k) {
      const double angle = (k % 8) * kPi / 4.0 + (k >= 8 ? kPi / 8.0 : 0.0);
      const gp_Dir next = moved(d, step * std::cos(angle), step * std::sin(angle));
      const double r = seen_radius(points, next);
      if (r < best) {
        best = r;
        d = next;
        moved_on = true;
      }
    }
    if (!moved_on) step *= 0.5;
  }
  *radius = best;
  return d;
}

// Directions worth measuring exactly for a body without faces of
// revolution: the best few of a spread over the half sphere, and the given
// starts, each refined on the points.
std::vector<gp_Dir> searched_directions(const Points& points, const std::vector<gp_Dir>& starts) {
  constexpr int kSpread = 400, kBest = 3;
  // The points come in random order: the first thousand are a fair few.
  Points few = points;
  if (few.at.size() > 1000) few.at.resize(1000);
  std::vector<std::pair<double, gp_Dir>> spread;
  const double golden = kPi * (3.0 - std::sqrt(5.0));
  for (int i = 0; i < kSpread; ++i) {
    const double z = (i + 0.5) / kSpread, rho = std::sqrt(1.0 - z * z);
    const gp_Dir d(rho * std::cos(golden * i), rho * std::sin(golden * i), z);
    spread.push_back({seen_radius(few, d), d});
  }
  std::sort(spread.begin(), spread.end(),
            [](const std::pair<double, gp_Dir>& a, const std::pair<double, gp_Dir>& b) { return a.first < b.first; });
  std::vector<gp_Dir> from = starts;
  int taken = 0;
  for (const auto& s : spread) {
    if (taken == kBest) break;
    bool apart = true;
    for (std::size_t k = starts.size(); k < from.size(); ++k)
      apart = apart && s.second.Angle(from[k]) > 0.2 && s.second.Angle(from[k].Reversed()) > 0.2;
    if (!apart) continue;
    from.push_back(s.second);
    ++taken;
  }
  std::vector<gp_Dir> out;
  for (const gp_Dir& d : from) {
    double r = 0.0;
    out.push_back(refine(few, d, 0.05, 1e-5, &r));
  }
  return out;
}

bool parallel(const gp_Dir& a, const gp_Dir& b) { return a.IsParallel(b, kSameDirection); }

//-----------------------------------------------------------------------------
// [SECTION] The cylinder
//-----------------------------------------------------------------------------

// The fits worth comparing: lines of revolution as they are or re-centred,
// then the given or principal directions, then searched ones.
std::vector<Fit> fits_of(const ExactBody& body, const TopoDS_Shape& shape,
                         const std::vector<gp_Dir>& blank_edges, Points* points, double tolerance) {
  std::vector<Fit> fits;
  std::vector<gp_Dir> tried;
  auto seen_before = [&](const gp_Dir& d) {
    for (const gp_Dir& t : tried)
      if (parallel(t, d)) return true;
    return false;
  };
  std::vector<RevolutionAxis> centres;  // of spheres on no other axis
  int lines = 0;
  for (const RevolutionAxis& axis : body.revolutions()) {
    if (lines >= kMostLines) break;
    if (axis.centre_only) {
      if (centres.size() < kMostCentres) centres.push_back(axis);
      continue;
    }
    if (seen_before(axis.dir)) continue;  // a parallel line carries more area
    tried.push_back(axis.dir);
    ++lines;
    Fit own = about_line(body, axis.point, axis.dir, tolerance);
    Fit best = centred(body, axis.dir, points, tolerance);
    own.own_line = true;
    own.area = best.area = axis.area;
    if (own.upper <= best.upper + 0.5 * tolerance) {
      own.lower = std::min(own.lower, best.lower);  // the circle's bound holds for the direction
      fits.push_back(own);
    } else {
      fits.push_back(best);
    }
  }
  std::vector<gp_Dir> directions;
  for (const gp_Dir& d : blank_edges)
    if (usable(d)) directions.push_back(d);
  if (directions.empty()) directions = principal_axes(shape);
  std::vector<gp_Dir> starts;
  for (const gp_Dir& d : directions) {
    if (seen_before(d)) continue;
    tried.push_back(d);
    starts.push_back(d);
    fits.push_back(centred(body, d, points, tolerance));
    // A line through a sphere's centre turns the sphere about itself: kept
    // in place of the centred line when it does as well.
    for (const RevolutionAxis& sphere : centres) {
      Fit own = about_line(body, sphere.point, d, tolerance);
      if (own.upper > fits.back().upper + 0.5 * tolerance) continue;
      own.own_line = true;
      own.area = sphere.area;
      own.lower = std::min(own.lower, fits.back().lower);
      fits.back() = own;
    }
  }
  if (body.revolutions().empty()) {
    for (const gp_Dir& d : searched_directions(*points, starts)) {
      if (seen_before(d)) continue;
      tried.push_back(d);
      fits.push_back(centred(body, d, points, tolerance));
    }
    // Polish the best: the points now hold the farthest points its
    // measures found, so that seen along nearby directions they are what
    // the body shows to first order. Their best direction nearby, measured,
    // adds the points it finds, until they see nothing better.
    std::size_t best = 0;
    for (std::size_t k = 1; k < fits.size(); ++k)
      if (fits[k].upper < fits[best].upper) best = k;
    for (int round = 0; round < kPolishRounds && !fits.empty(); ++round) {
      double seen = 0.0;
      const gp_Dir d = refine(*points, fits[best].dir, 1e-3, 1e-9, &seen);
      if (seen >= fits[best].lower - 0.5 * tolerance) break;  // nothing better by more than it is known
      fits.push_back(centred(body, d, points, tolerance));
      if (fits.back().upper < fits[best].upper) best = fits.size() - 1;
    }
  }
  return fits;
}

// The cylinder of a measured fit; false when it is not finite.
bool to_cylinder(const Fit& fit, Cylinder* out, std::string* error) {
  Cylinder c;
  const gp_XYZ d = fit.dir.XYZ();
  c.axis = fit.dir;
  c.origin = gp_Pnt(fit.point.XYZ() + (fit.lo - fit.point.XYZ().Dot(d)) * d);
  c.diameter = 2.0 * fit.upper;
  c.length = fit.hi - fit.lo;
  c.exact_to = std::max(2.0 * (fit.upper - fit.lower), fit.length_gap);
  c.from_revolution = fit.own_line;
  if (!std::isfinite(c.diameter) || !std::isfinite(c.length) || !std::isfinite(c.exact_to)) {
    *error = "the body could not be measured to a finite size";
    return false;
  }
  *out = c;
  return true;
}

}  // namespace

gp_Dir reference_direction(const gp_Dir& axis) {
  int least = 0;
  for (int k = 1; k < 3; ++k)
    if (std::abs(axis.Coord(k + 1)) < std::abs(axis.Coord(least + 1))) least = k;
  gp_XYZ e(0, 0, 0);
  e.SetCoord(least + 1, 1.0);
  return gp_Dir(e - e.Dot(axis.XYZ()) * axis.XYZ());
}

bool smallest_cylinder(const TopoDS_Shape& body, const std::vector<gp_Dir>& blank_edges,
                       double tolerance, Cylinder* out, std::string* error, Smallest smallest) {
  if (out == nullptr || error == nullptr) return false;
  if (!check_tolerance(tolerance, error)) return false;
  try {
    ExactBody exact;
    if (!exact.prepare(body, error)) return false;
    Points points(exact);
    std::vector<Fit> fits = fits_of(exact, body, blank_edges, &points, tolerance);
    if (fits.empty()) {
      *error = "no axis could be measured";
      return false;
    }
    if (smallest == Smallest::kVolume) {
      // Least diameter squared times length; on a tie (within what the
      // tolerance moves it), the narrower, then the first tried. A fit's
      // length is measured exactly only when the least it can hold (its
      // radius's lower bound, and the extent of points on the body along
      // it) could beat the best so far: those are taken least first.
      std::vector<std::pair<double, Fit*>> order;
      for (Fit& f : fits) {
        double lo = HUGE_VAL, hi = -HUGE_VAL;
        for (const gp_XYZ& p : points.at) {
          lo = std::min(lo, p.Dot(f.dir.XYZ()));
          hi = std::max(hi, p.Dot(f.dir.XYZ()));
        }
        order.push_back({f.lower * f.lower * std::max(0.0, hi - lo), &f});
      }
      std::stable_sort(order.begin(), order.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      Fit* chosen = nullptr;
      double chosen_volume = HUGE_VAL;
      for (const auto& [least, fit] : order) {
        Fit& f = *fit;
        if (chosen != nullptr && least > chosen_volume * (1 + 1e-9)) break;
        measure_length(exact, &f, tolerance);
        const double volume = f.upper * f.upper * (f.hi - f.lo);
        const double slack = 2 * tolerance * (f.upper * (f.hi - f.lo) + f.upper * f.upper);
        if (chosen == nullptr || volume < chosen_volume - slack ||
            (volume <= chosen_volume + slack && f.upper < chosen->upper - 0.5 * tolerance)) {
          chosen = &f;
          chosen_volume = volume;
        }
      }
      return to_cylinder(*chosen, out, error);
    }
    // Smallest diameter; among those within the tolerance of it, the
    // shortest, then the most area about it, then the first tried.
    double least = HUGE_VAL;
    for (const Fit& f : fits) least = std::min(least, f.upper);
    Fit* chosen = nullptr;
    for (Fit& f : fits) {
      if (f.upper > least + 0.5 * tolerance) continue;
      measure_length(exact, &f, tolerance);
      if (chosen == nullptr) {
        chosen = &f;
        continue;
      }
      const double shorter = chosen->hi - chosen->lo - (f.hi - f.lo);
      if (shorter > tolerance || (shorter >= -tolerance && f.area > chosen->area)) chosen = &f;
    }
    return to_cylinder(*chosen, out, error);
  } catch (const Standard_Failure& failure) {
    *error = std::string("the geometry kernel failed: ") + failure.GetMessageString();
  } catch (const std::bad_alloc&) {
    *error = "out of memory";
  }
  return false;
}

bool cylinder_along(const TopoDS_Shape& body, const gp_Dir& axis, double tolerance, Cylinder* out,
                    std::string* error) {
  if (out == nullptr || error == nullptr) return false;
  if (!check_tolerance(tolerance, error)) return false;
  if (!usable(axis)) {
    *error = "the axis direction is not finite";
    return false;
  }
  try {
    ExactBody exact;
    if (!exact.prepare(body, error)) return false;
    Points points(exact);
    Fit fit = centred(exact, axis, &points, tolerance);
    measure_length(exact, &fit, tolerance);
    return to_cylinder(fit, out, error);
  } catch (const Standard_Failure& failure) {
    *error = std::string("the geometry kernel failed: ") + failure.GetMessageString();
  } catch (const std::bad_alloc&) {
    *error = "out of memory";
  }
  return false;
}

}  // namespace ufhost
