// Points of a body seen along a direction, and the smallest circle that
// holds them (cylinder_internal.h): the circle is at most the smallest that
// holds the body, so it bounds a diameter from below, and its centre is
// where the next exact measure is taken.
#include <algorithm>
#include <cmath>
#include <random>

#include "ufhost/enclosing/cylinder_internal.h"

namespace ufhost::cylinder_detail {

namespace {

Disc through(const P2& a, const P2& b) {
  return {0.5 * (a.x + b.x), 0.5 * (a.y + b.y), 0.5 * std::hypot(a.x - b.x, a.y - b.y)};
}

Disc through(const P2& a, const P2& b, const P2& c) {
  const double bx = b.x - a.x, by = b.y - a.y, cx = c.x - a.x, cy = c.y - a.y;
  const double det = 2.0 * (bx * cy - by * cx);
  const double b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
  if (std::abs(det) <= 1e-14 * (b2 + c2)) {
    // In a line: the circle on the two farthest apart.
    Disc best = through(a, b);
    for (const Disc& d : {through(a, c), through(b, c)})
      if (d.r > best.r) best = d;
    return best;
  }
  const double ux = (cy * b2 - by * c2) / det, uy = (bx * c2 - cx * b2) / det;
  return {a.x + ux, a.y + uy, std::hypot(ux, uy)};
}

}  // namespace

// The smallest circle holding all points (Welzl's incremental form; the
// points should come in random order, which keeps it linear on average).
Disc enclosing(const std::vector<P2>& p) {
  Disc c;
  if (p.empty()) return c;
  c = {p[0].x, p[0].y, 0.0};
  for (std::size_t i = 1; i < p.size(); ++i) {
    if (c.holds(p[i])) continue;
    c = {p[i].x, p[i].y, 0.0};
    for (std::size_t j = 0; j < i; ++j) {
      if (c.holds(p[j])) continue;
      c = through(p[i], p[j]);
      for (std::size_t k = 0; k < j; ++k)
        if (!c.holds(p[k])) c = through(p[i], p[j], p[k]);
    }
  }
  return c;
}

Points::Points(const ExactBody& body) : centre(body.centre().XYZ()) {
  constexpr int kSpread = 300;
  std::vector<gp_XYZ> all;
  double size = 0.0;
  for (const gp_Pnt& p : body.samples()) {
    all.push_back(p.XYZ() - centre);
    size = std::max(size, all.back().Modulus());
  }
  std::vector<char> keep(all.size(), 0);
  const double golden = kPi * (3.0 - std::sqrt(5.0));
  for (int i = 0; i < kSpread; ++i) {
    const double z = 1.0 - (2.0 * i + 1.0) / kSpread, rho = std::sqrt(1.0 - z * z);
    const gp_XYZ n(rho * std::cos(golden * i), rho * std::sin(golden * i), z);
    double top = -HUGE_VAL;
    for (const gp_XYZ& p : all) top = std::max(top, p.Dot(n));
    for (std::size_t k = 0; k < all.size(); ++k)
      if (all[k].Dot(n) >= top - 0.05 * size) keep[k] = 1;
  }
  for (std::size_t k = 0; k < all.size(); ++k)
    if (keep[k]) at.push_back(all[k]);
  std::mt19937 shuffle(20240611u);
  std::shuffle(at.begin(), at.end(), shuffle);
}

}  // namespace ufhost::cylinder_detail
