// Control nets of faces and edges (reach_nets.h): halves by de Casteljau,
// how they bend, and whether a measure can turn inside one.
#include "ufhost/enclosing/reach_nets.h"

namespace ufhost::reach_detail {

namespace {

// A product this small against its factors has no sign that can be trusted.
constexpr double kSigned = 1e-12;
// Products of gradients and derivative directions one test of a sign may take.
constexpr double kMostProducts = 1e5;

// Pole k of line `line` along a direction of the net.
std::size_t pole(const Net& n, bool along_u, int line, int k) {
  return static_cast<std::size_t>(along_u ? k * n.nv + line : line * n.nv + k);
}

// Whether the measure's derivative along u (or v) keeps one sign over the
// whole net: every gradient at a pole against every direction the
// derivative can take. The curves of the net along the direction have the
// same mix of each line's poles for poles, with weights that do not change
// along the other direction when the net's weights are a product of a
// weight along u and one along v (as the kernel makes them): their
// derivative is then a positive mix of differences of poles of one line,
// of neighbours only where the weights do not change along it. Otherwise of
// the differences of any pole from any pole farther along, whatever its
// line.
bool signed_along(const Net& n, const std::vector<gp_XYZ>& grads, bool along_u) {
  const int count = along_u ? n.nu : n.nv, lines = along_u ? n.nv : n.nu;
  auto w = [&](int line, int k) { return n.w[pole(n, along_u, line, k)]; };
  auto same = [](double a, double b) { return std::abs(a - b) <= 1e-12 * std::abs(a); };
  bool level = true, product = true;  // weights level along each line; a product
  for (int line = 0; line < lines; ++line)
    for (int k = 0; k < count; ++k) {
      level = level && same(w(line, 0), w(line, k));
      product = product && same(w(line, k) * w(0, 0), w(line, 0) * w(0, k));
    }
  const bool any_line = !level && !product;
  // Rational nets of high degree would take long to check pair by pair;
  // they are halved instead, as a net whose sign cannot be shown is.
  if (any_line && static_cast<double>(count) * count * lines * lines * grads.size() > kMostProducts)
    return false;
  int sign = 0;
  auto keeps_sign = [&](const gp_XYZ& t) {
    const double length = t.Modulus();
    for (const gp_XYZ& g : grads) {
      const double s = g.Dot(t), limit = kSigned * g.Modulus() * length;
      const int here = s > limit ? 1 : (s < -limit ? -1 : 0);
      if (here == 0 || (sign != 0 && here != sign)) return false;
      sign = here;
    }
    return true;
  };
  for (int k = 0; k + 1 < count; ++k)
    for (int line = 0; line < lines; ++line)
      for (int later = k + 1; later < (level ? k + 2 : count); ++later)
        for (int other = any_line ? 0 : line; other < (any_line ? lines : line + 1); ++other)
          if (!keeps_sign(n.p[pole(n, along_u, other, later)] - n.p[pole(n, along_u, line, k)]))
            return false;
  return true;
}

}  // namespace

// The two halves of the net across the middle of u or v: de Casteljau on
// the homogeneous poles (w p, w), line by line.
void halve(const Net& n, bool along_u, Net* a, Net* b) {
  *a = n;
  *b = n;
  const int count = along_u ? n.nu : n.nv, lines = along_u ? n.nv : n.nu;
  std::vector<gp_XYZ> hp(static_cast<std::size_t>(count));
  std::vector<double> hw(hp.size());
  for (int line = 0; line < lines; ++line) {
    for (int k = 0; k < count; ++k) {
      const std::size_t at = pole(n, along_u, line, k);
      hp[k] = n.p[at] * n.w[at];
      hw[k] = n.w[at];
    }
    auto store = [&](Net* net, int k, int from) {
      const std::size_t at = pole(n, along_u, line, k);
      net->p[at] = hp[from] / hw[from];
      net->w[at] = hw[from];
    };
    store(a, 0, 0);
    store(b, count - 1, count - 1);
    for (int r = 1; r < count; ++r) {
      for (int k = 0; k + r < count; ++k) {
        hp[k] = 0.5 * (hp[k] + hp[k + 1]);
        hw[k] = 0.5 * (hw[k] + hw[k + 1]);
      }
      store(a, r, 0);
      store(b, count - 1 - r, count - 1 - r);
    }
  }
  if (along_u) {
    a->u1 = b->u0 = 0.5 * (n.u0 + n.u1);
  } else {
    a->v1 = b->v0 = 0.5 * (n.v0 + n.v1);
  }
}

// How far the net bends along a direction: its largest second difference,
// or with straight lines its longest line, to halve across the one that
// keeps the hull farthest from the piece.
double bend(const Net& n, bool along_u, bool* straight) {
  const int count = along_u ? n.nu : n.nv, lines = along_u ? n.nv : n.nu;
  double most = 0.0, longest = 0.0;
  for (int line = 0; line < lines; ++line) {
    for (int k = 1; k + 1 < count; ++k)
      most = std::max(most, (n.p[pole(n, along_u, line, k - 1)] - 2.0 * n.p[pole(n, along_u, line, k)] +
                             n.p[pole(n, along_u, line, k + 1)])
                                .Modulus());
    longest = std::max(longest,
                       (n.p[pole(n, along_u, line, count - 1)] - n.p[pole(n, along_u, line, 0)]).Modulus());
  }
  *straight = most == 0.0;
  return most == 0.0 ? longest : most;
}

// Whether a side of the patch across `along_u` (its first or last line of
// poles along the other direction) is one point.
bool collapsed_side(const Net& n, bool along_u, double rounding) {
  const int count = along_u ? n.nu : n.nv, lines = along_u ? n.nv : n.nu;
  for (int k : {0, count - 1}) {
    bool point = true;
    for (int line = 1; line < lines && point; ++line)
      point = (n.p[pole(n, along_u, line, k)] - n.p[pole(n, along_u, 0, k)]).Modulus() <= rounding;
    if (point && lines > 1) return true;
  }
  return false;
}

bool cannot_turn(const Net& n, const Fn& fn) {
  std::vector<gp_XYZ> grads(n.p.size());
  for (std::size_t i = 0; i < n.p.size(); ++i) grads[i] = fn.grad(n.p[i]);
  return signed_along(n, grads, true) || (n.nv > 1 && signed_along(n, grads, false));
}

// Whether the curve may pass through `target`: its pieces' hulls are cut
// down until they miss it or are small beside it.
bool may_touch(const Net& piece, const Aabb& target, double band, int depth) {
  const Aabb b = box_of(piece.p, band);
  if (!b.meets(target)) return false;
  if (depth >= 12 || b.size() <= 0.25 * target.size()) return true;
  Net x, y;
  halve(piece, true, &x, &y);
  return may_touch(x, target, band, depth + 1) || may_touch(y, target, band, depth + 1);
}

}  // namespace ufhost::reach_detail
