// Control nets of faces and edges (reach_nets.h): made from the kernel's
// curves and surfaces, halved by de Casteljau, how they bend, and whether a
// measure can turn inside one.
//
// [SECTION] Making nets
// [SECTION] Bounds, halves, turns
#include "ufhost/enclosing/reach_nets.h"

#include <BRep_Tool.hxx>
#include <GeomConvert.hxx>
#include <GeomConvert_BSplineCurveToBezierCurve.hxx>
#include <GeomConvert_BSplineSurfaceToBezierSurface.hxx>
#include <Geom_BSplineCurve.hxx>
#include <Geom_BSplineSurface.hxx>
#include <Geom_BezierCurve.hxx>
#include <Geom_BezierSurface.hxx>
#include <Geom_Conic.hxx>
#include <Geom_ElementarySurface.hxx>
#include <Geom_Line.hxx>
#include <Geom_OffsetSurface.hxx>
#include <Geom_RectangularTrimmedSurface.hxx>
#include <Geom_SweptSurface.hxx>
#include <Geom_TrimmedCurve.hxx>
#include <Precision.hxx>
#include <Standard_Failure.hxx>
#include <TColGeom_Array1OfBezierCurve.hxx>
#include <TColGeom_Array2OfBezierSurface.hxx>
#include <TColStd_Array1OfReal.hxx>

namespace ufhost::reach_detail {

//-----------------------------------------------------------------------------
// [SECTION] Making nets
//-----------------------------------------------------------------------------

namespace {

// A pole and its weight into `net`, in the unit frame; false when the weight
// is not positive or the pole not finite, so that the hull would not hold
// the piece.
bool put(Net* net, std::size_t k, const gp_Pnt& pole, double weight, const UnitFrame& frame) {
  net->p[k] = frame.to_unit(pole.XYZ());
  net->w[k] = weight;
  return weight > 0.0 && std::isfinite(weight) && finite(net->p[k]);
}

bool fill_curve(Net* net, const Geom_BezierCurve& arc, const UnitFrame& frame) {
  net->nu = arc.NbPoles();
  net->nv = 1;
  net->p.resize(static_cast<std::size_t>(net->nu));
  net->w.resize(net->p.size());
  for (int i = 0; i < net->nu; ++i)
    if (!put(net, static_cast<std::size_t>(i), arc.Pole(i + 1), arc.Weight(i + 1), frame))
      return false;
  return true;
}

bool fill_patch(Net* net, const Geom_BezierSurface& patch, const UnitFrame& frame) {
  net->nu = patch.NbUPoles();
  net->nv = patch.NbVPoles();
  net->p.resize(static_cast<std::size_t>(net->nu * net->nv));
  net->w.resize(net->p.size());
  for (int i = 0; i < net->nu; ++i)
    for (int j = 0; j < net->nv; ++j)
      if (!put(net, static_cast<std::size_t>(i * net->nv + j), patch.Pole(i + 1, j + 1),
               patch.Weight(i + 1, j + 1), frame))
        return false;
  return true;
}

// The curve's poles over its whole range as Bezier pieces.
bool curve_pieces(const Handle(Geom_BSplineCurve) & bspline, const UnitFrame& frame, std::vector<Net>* out) {
  GeomConvert_BSplineCurveToBezierCurve split(bspline);
  TColGeom_Array1OfBezierCurve arcs(1, split.NbArcs());
  split.Arcs(arcs);
  TColStd_Array1OfReal knots(1, split.NbArcs() + 1);
  split.Knots(knots);
  for (int i = 1; i <= split.NbArcs(); ++i) {
    Net net;
    if (!fill_curve(&net, *arcs(i), frame)) return false;
    net.u0 = knots(i);
    net.u1 = knots(i + 1);
    out->push_back(std::move(net));
  }
  return true;
}

// The kernel converts lines, conics and polynomial or rational curves to
// B-splines exactly, and approximates the rest (offset curves) without a
// bound on the error: those are not taken apart.
bool converts_exactly(Handle(Geom_Curve) c) {
  while (c->IsKind(STANDARD_TYPE(Geom_TrimmedCurve))) c = Handle(Geom_TrimmedCurve)::DownCast(c)->BasisCurve();
  return c->IsKind(STANDARD_TYPE(Geom_Line)) || c->IsKind(STANDARD_TYPE(Geom_Conic)) ||
         c->IsKind(STANDARD_TYPE(Geom_BSplineCurve)) || c->IsKind(STANDARD_TYPE(Geom_BezierCurve));
}

// Likewise surfaces: elementary ones, polynomial or rational ones, sweeps of
// such curves, and offsets the kernel knows an elementary equivalent of.
// The surface to convert, or null.
Handle(Geom_Surface) exact_form(Handle(Geom_Surface) s) {
  while (s->IsKind(STANDARD_TYPE(Geom_RectangularTrimmedSurface)))
    s = Handle(Geom_RectangularTrimmedSurface)::DownCast(s)->BasisSurface();
  if (s->IsKind(STANDARD_TYPE(Geom_OffsetSurface))) {
    const Handle(Geom_Surface) same = Handle(Geom_OffsetSurface)::DownCast(s)->Surface();
    return same.IsNull() || same->IsKind(STANDARD_TYPE(Geom_OffsetSurface)) ? nullptr : exact_form(same);
  }
  if (s->IsKind(STANDARD_TYPE(Geom_SweptSurface)))
    return converts_exactly(Handle(Geom_SweptSurface)::DownCast(s)->BasisCurve()) ? s : nullptr;
  return s->IsKind(STANDARD_TYPE(Geom_ElementarySurface)) || s->IsKind(STANDARD_TYPE(Geom_BSplineSurface)) ||
                 s->IsKind(STANDARD_TYPE(Geom_BezierSurface))
             ? s
             : nullptr;
}

}  // namespace

bool edge_nets(const EdgeRecord& e, const UnitFrame& frame) {
  if (e.converted) return !e.nets.empty();
  e.converted = true;
  try {
    double first = 0.0, last = 0.0;
    const Handle(Geom_Curve) curve = BRep_Tool::Curve(e.edge, first, last);  // located
    if (curve.IsNull() || !(last > first) || !converts_exactly(curve)) return false;
    Handle(Geom_BSplineCurve) bspline = Handle(Geom_BSplineCurve)::DownCast(curve);
    if (!bspline.IsNull()) {
      bspline = Handle(Geom_BSplineCurve)::DownCast(bspline->Copy());
      if (!bspline->IsPeriodic()) {
        first = std::max(first, bspline->FirstParameter());
        last = std::min(last, bspline->LastParameter());
      }
      if (last - first > Precision::PConfusion()) bspline->Segment(first, last);
    } else {
      bspline = GeomConvert::CurveToBSplineCurve(new Geom_TrimmedCurve(curve, first, last));
    }
    if (bspline.IsNull() || !curve_pieces(bspline, frame, &e.nets)) e.nets.clear();
  } catch (const Standard_Failure&) {
    e.nets.clear();
  }
  return !e.nets.empty();
}

bool face_nets(const FaceRecord& f, const UnitFrame& frame) {
  if (f.converted != 0) return f.converted > 0;
  f.converted = -1;
  try {
    const Handle(Geom_Surface) s = exact_form(f.surface);
    if (s.IsNull()) return false;
    double u1 = f.u1, u2 = f.u2, v1 = f.v1, v2 = f.v2;
    double su1 = 0, su2 = 0, sv1 = 0, sv2 = 0;
    s->Bounds(su1, su2, sv1, sv2);
    // Faces reach a little past a bounded surface by their pcurves'
    // tolerance; a periodic one is taken over one period at most.
    if (s->IsUPeriodic()) {
      u2 = std::min(u2, u1 + s->UPeriod());
    } else {
      u1 = std::max(u1, su1);
      u2 = std::min(u2, su2);
    }
    if (s->IsVPeriodic()) {
      v2 = std::min(v2, v1 + s->VPeriod());
    } else {
      v1 = std::max(v1, sv1);
      v2 = std::min(v2, sv2);
    }
    if (!(u2 - u1 > Precision::PConfusion()) || !(v2 - v1 > Precision::PConfusion())) {
      f.converted = 1;  // no area: its edges are all of it
      return true;
    }
    Handle(Geom_BSplineSurface) bspline;
    if (s->IsKind(STANDARD_TYPE(Geom_BSplineSurface)) ||
        s->IsKind(STANDARD_TYPE(Geom_BezierSurface))) {
      bspline = s->IsKind(STANDARD_TYPE(Geom_BSplineSurface))
                    ? Handle(Geom_BSplineSurface)::DownCast(s->Copy())
                    : GeomConvert::SurfaceToBSplineSurface(s);
      bspline->Segment(u1, u2, v1, v2);
      f.linear_param = true;
    } else {
      bspline = GeomConvert::SurfaceToBSplineSurface(
          new Geom_RectangularTrimmedSurface(s, u1, u2, v1, v2));
      f.linear_param = false;
    }
    if (bspline.IsNull()) return false;
    GeomConvert_BSplineSurfaceToBezierSurface split(bspline);
    TColGeom_Array2OfBezierSurface patches(1, split.NbUPatches(), 1, split.NbVPatches());
    split.Patches(patches);
    TColStd_Array1OfReal uk(1, split.NbUPatches() + 1), vk(1, split.NbVPatches() + 1);
    split.UKnots(uk);
    split.VKnots(vk);
    for (int i = 1; i <= split.NbUPatches(); ++i)
      for (int j = 1; j <= split.NbVPatches(); ++j) {
        Net net;
        if (!fill_patch(&net, *patches(i, j), frame)) {
          f.nets.clear();
          return false;
        }
        net.u0 = uk(i);
        net.u1 = uk(i + 1);
        net.v0 = vk(j);
        net.v1 = vk(j + 1);
        f.nets.push_back(std::move(net));
      }
    f.converted = 1;
  } catch (const Standard_Failure&) {
    f.nets.clear();
    f.converted = -1;
  }
  return f.converted > 0;
}

//-----------------------------------------------------------------------------
// [SECTION] Bounds, halves, turns
//-----------------------------------------------------------------------------

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
