// Inside extremes: what the half for vertices, edges and answers
// (extremes.cpp) and the half for faces (extremes_faces.cpp) share. Only
// these two files include this header.
#pragma once

#include <Precision.hxx>
#include <gp_Pnt.hxx>

#include <cmath>

namespace ufhost::extremes_detail {

// The probing plane's face carries this tolerance.
inline const double kPlaneBand = Precision::Confusion();
// Below this the kernel's tolerance tests are not trusted to come out as
// the sums say: answers that close to a threshold are left to the kernel.
constexpr double kMargin = 1e-9;
// Relative size below which a direction or a spread of coordinates counts
// as level along an axis.
constexpr double kLevel = 1e-11;

constexpr double kPi = M_PI;

inline double coord(const gp_Pnt& p, int axis) { return p.Coord(axis + 1); }

// `t` moved by whole periods as close as it gets to [first, last]; true
// when it then lies strictly inside, farther than `margin` from both ends.
inline bool inside(double* t, double first, double last, double period, double margin) {
  if (period > 0.0) {
    while (*t < first) *t += period;
    while (*t - period >= first) *t -= period;
  }
  return *t > first + margin && *t < last - margin;
}

}  // namespace ufhost::extremes_detail
