// Extremes of faces along the axes: inner points where the surface turns
// back (extremes.h). One function per kind of surface, each for one axis;
// what they cannot work out is left to the kernel along the face's box.
#include "ufhost/geom/extremes.h"

#include <BRepAdaptor_Surface.hxx>
#include <BRepBndLib.hxx>
#include <BRepTopAdaptor_FClass2d.hxx>
#include <Bnd_Box.hxx>
#include <ElSLib.hxx>
#include <Geom_BSplineSurface.hxx>
#include <Geom_BezierSurface.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>
#include <algorithm>
#include <cmath>
#include <gp_Cone.hxx>
#include <gp_Cylinder.hxx>
#include <gp_Pnt2d.hxx>
#include <gp_Sphere.hxx>
#include <gp_Torus.hxx>
#include <memory>

#include "ufhost/geom/extremes_internal.h"

namespace ufhost {

using namespace extremes_detail;

namespace {

// A face that winds round a periodic surface by more than its period and
// this much lies over itself.
constexpr double kPeriodSlack = 1e-9;
// A cylinder's axis this close to level along an axis is neither plainly
// level (its line of extremes worked out here) nor plainly tilted (the
// face's extremes at its edges): the kernel judges it. Likewise a cone
// whose line at the turning angle lies this close to across the axis.
constexpr double kNearlyLevel = 1e-6;
// An extreme of a sphere this close to a pole (in radians of latitude) is
// the pole, a vertex of the face.
constexpr double kPoleSlack = 1e-9;
// The classifier's tolerance for whether a point of the surface lies in
// the face, in the face's parameters.
constexpr double kClassifierTolerance = 1e-9;
// Free-form surfaces: the grid turning points are looked for on, and the
// Newton steps that refine one, which has settled when a step moves it by
// less than this share of its parameters.
constexpr int kFreeformGrid = 24;
constexpr int kNewtonSteps = 30;
constexpr double kSettled = 1e-14;

}  // namespace

// A face being worked out: where a point of its surface lies in it, its
// tolerance, the largest of its edges' (where they run the face may stray
// that far), and its box for what only the kernel can judge.
struct Extremes::Face {
  TopoDS_Face face;
  BRepAdaptor_Surface surface;
  double u1, u2, v1, v2;
  double tolerance, loose;
  Bnd_Box box;
  std::unique_ptr<BRepTopAdaptor_FClass2d> classifier;

  explicit Face(const TopoDS_Face& f)
      : face(f),
        surface(f),
        u1(surface.FirstUParameter()),
        u2(surface.LastUParameter()),
        v1(surface.FirstVParameter()),
        v2(surface.LastVParameter()),
        tolerance(leaf_tolerance(f)),
        loose(tolerance) {
    for (TopExp_Explorer e(f, TopAbs_EDGE); e.More(); e.Next())
      loose = std::max(loose, leaf_tolerance(e.Current()));
    BRepBndLib::Add(f, box, Standard_False);
  }

  // Whether (u, v), moved by periods into the face's bounds, lies in the
  // face or on its boundary.
  bool holds(double u, double v) {
    if (surface.IsUPeriodic()) inside(&u, u1, u2, surface.UPeriod(), 0.0);
    if (surface.IsVPeriodic()) inside(&v, v1, v2, surface.VPeriod(), 0.0);
    if (!classifier) classifier = std::make_unique<BRepTopAdaptor_FClass2d>(face, kClassifierTolerance);
    return classifier->Perform(gp_Pnt2d(u, v)) != TopAbs_OUT;
  }

  bool lies_over_itself() const {
    return (surface.IsUPeriodic() && u2 - u1 > surface.UPeriod() + kPeriodSlack) ||
           (surface.IsVPeriodic() && v2 - v1 > surface.VPeriod() + kPeriodSlack);
  }
};

// An inner point where the face touches a plane and goes no farther: the
// kernel finds the point only once the plane cuts in.
void Extremes::add_tangent(int axis, const gp_Pnt& p, int side) {
  Contact c;
  c.kind = Contact::Tangent;
  c.at = p;
  c.side = side;
  touch(axis, coord(p, axis));
  add(axis, c);
}

// A turn this code does not work out: the whole face along the axis is
// left to the kernel.
void Extremes::add_unsure(const Face& f, int axis) {
  if (f.box.IsVoid()) return;
  double lo[3], hi[3];
  f.box.Get(lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]);
  Contact c;
  c.kind = Contact::Unsure;
  c.from = lo[axis];
  c.to = hi[axis];
  add(axis, c);
}

// A point that the kernel finds as it finds a point of an edge: within the
// band, and out to the face's tolerance.
Extremes::Contact Extremes::edge_like(const Face& f, const gp_Pnt& at) const {
  Contact c;
  c.kind = Contact::Point;
  c.at = at;
  c.reach = band_;
  c.sure = std::min(band_, f.tolerance + kPlaneBand - kMargin);
  c.computed = true;
  return c;
}

// x = x0 + R (cos u X + sin u Y) + v D: with D across the axis, largest
// along the whole line at u = atan2(Y, X).
void Extremes::add_cylinder(Face& f, int axis) {
  const gp_Cylinder cyl = f.surface.Cylinder();
  const gp_Ax3& frame = cyl.Position();
  const double d = frame.Direction().Coord(axis + 1);
  if (std::abs(d) > kLevel) {
    if (std::abs(d) < kNearlyLevel) add_unsure(f, axis);
    return;
  }
  const double x = frame.XDirection().Coord(axis + 1), y = frame.YDirection().Coord(axis + 1);
  const double r = cyl.Radius();
  for (int k = 0; k < 2; ++k) {
    double u = std::atan2(y, x) + k * kPi;
    inside(&u, f.u1, f.u2, 2.0 * kPi, 0.0);
    const double to_end = std::min(u - f.u1, f.u2 - u) * r;  // along the surface
    // Outside the face, or on its boundary, where the line is an edge that
    // its vertices stand for.
    if (to_end < -(f.loose + kPlaneBand) || std::abs(to_end) <= kLevel * r) continue;
    Contact c;
    c.kind = Contact::Point;
    c.at = f.surface.Value(std::clamp(u, f.u1, f.u2), 0.5 * (f.v1 + f.v2));
    // The kernel finds the line out beyond the face's tolerance, by an
    // amount of its own; only the band is certain.
    c.sure = band_;
    c.reach = HUGE_VAL;
    c.computed = true;
    touch(axis, coord(c.at, axis));
    add(axis, c);
  }
}

// Along the line at the turning angle the coordinate still changes unless
// that line lies across the axis.
void Extremes::add_cone(Face& f, int axis) {
  const gp_Cone cone = f.surface.Cone();
  const gp_Ax3& frame = cone.Position();
  const double a = std::hypot(frame.XDirection().Coord(axis + 1), frame.YDirection().Coord(axis + 1));
  const double d = frame.Direction().Coord(axis + 1);
  const double along = std::sin(cone.SemiAngle()) * a, up = std::cos(cone.SemiAngle()) * d;
  if (std::abs(along + up) < kNearlyLevel || std::abs(up - along) < kNearlyLevel) add_unsure(f, axis);
}

void Extremes::add_sphere(Face& f, int axis) {
  const gp_Sphere sphere = f.surface.Sphere();
  for (int side : {-1, 1}) {
    gp_XYZ offset(0, 0, 0);
    offset.SetCoord(axis + 1, side * sphere.Radius());
    const gp_Pnt p(sphere.Location().XYZ() + offset);
    double u = 0.0, v = 0.0;
    ElSLib::Parameters(sphere, p, u, v);
    if (std::abs(v) > 0.5 * kPi - kPoleSlack) continue;  // a pole: a vertex of the face
    if (f.holds(u, v)) add_tangent(axis, p, side);
  }
}

void Extremes::add_torus(Face& f, int axis) {
  const gp_Torus torus = f.surface.Torus();
  const gp_Ax3& frame = torus.Position();
  const double d = frame.Direction().Coord(axis + 1);
  if (std::abs(d) >= 1.0 - kLevel) {
    // Across the axis: the top and bottom circles, where the kernel finds
    // the circle as it finds an edge.
    for (double v : {0.5 * kPi, 1.5 * kPi}) {
      double w = v;
      if (!inside(&w, f.v1, f.v2, 2.0 * kPi, 0.0)) continue;
      const Contact c = edge_like(f, f.surface.Value(0.5 * (f.u1 + f.u2), w));
      touch(axis, coord(c.at, axis));
      add(axis, c);
    }
  } else if (std::abs(d) <= kLevel) {
    // Along the axis: two points of the outer equator.
    const double x = frame.XDirection().Coord(axis + 1), y = frame.YDirection().Coord(axis + 1);
    for (int side : {-1, 1}) {
      const double u = std::atan2(y, x) + (side > 0 ? 0.0 : kPi);
      if (f.holds(u, 0.0)) add_tangent(axis, ElSLib::Value(u, 0.0, torus), side);
    }
  } else {
    add_unsure(f, axis);
  }
}

// A B-spline or Bezier surface lies within its poles' hull: when the poles
// are level along the axis, so is the surface.
bool Extremes::level_poles(const Face& f, int axis) {
  const BRepAdaptor_Surface& s = f.surface;
  if (s.GetType() != GeomAbs_BSplineSurface && s.GetType() != GeomAbs_BezierSurface) return false;
  // The adaptor hands out a placed copy: keep it while its poles are read.
  const Handle(Geom_BSplineSurface) spline = s.GetType() == GeomAbs_BSplineSurface ? s.BSpline() : nullptr;
  const Handle(Geom_BezierSurface) bezier = s.GetType() == GeomAbs_BezierSurface ? s.Bezier() : nullptr;
  const TColgp_Array2OfPnt& poles = spline ? spline->Poles() : bezier->Poles();
  double lo = HUGE_VAL, hi = -HUGE_VAL, scale = 1.0;
  for (int i = poles.LowerRow(); i <= poles.UpperRow(); ++i)
    for (int j = poles.LowerCol(); j <= poles.UpperCol(); ++j) {
      const double c = coord(poles(i, j), axis);
      lo = std::min(lo, c);
      hi = std::max(hi, c);
      scale = std::max(scale, poles(i, j).XYZ().Modulus());
    }
  return hi - lo <= kLevel * scale;
}

// Free-form: turning points on a grid over the face's bounds, refined by
// Newton's steps on the gradient; where they do not settle, the turn lies
// somewhere about the grid point and the kernel judges there.
void Extremes::add_freeform(Face& f, int axis) {
  if (level_poles(f, axis)) return;
  const BRepAdaptor_Surface& s = f.surface;
  const auto u_at = [&](int i) { return f.u1 + (f.u2 - f.u1) * i / kFreeformGrid; };
  const auto v_at = [&](int j) { return f.v1 + (f.v2 - f.v1) * j / kFreeformGrid; };
  double g[kFreeformGrid + 1][kFreeformGrid + 1];
  for (int i = 0; i <= kFreeformGrid; ++i)
    for (int j = 0; j <= kFreeformGrid; ++j) g[i][j] = coord(s.Value(u_at(i), v_at(j)), axis);
  for (int i = 1; i < kFreeformGrid; ++i)
    for (int j = 1; j < kFreeformGrid; ++j) {
      bool top = true, bottom = true;
      double spread = 0.0;
      for (int di = -1; di <= 1; ++di)
        for (int dj = -1; dj <= 1; ++dj) {
          if (di == 0 && dj == 0) continue;
          top = top && g[i][j] >= g[i + di][j + dj];
          bottom = bottom && g[i][j] <= g[i + di][j + dj];
          spread = std::max(spread, std::abs(g[i][j] - g[i + di][j + dj]));
        }
      if (top == bottom) continue;  // neither, or level all round
      const double u0 = u_at(i), v0 = v_at(j);
      double u = u0, v = v0;
      bool settled = false;
      for (int it = 0; it < kNewtonSteps && !settled; ++it) {
        gp_Pnt p;
        gp_Vec du, dv, duu, dvv, duv;
        s.D2(u, v, p, du, dv, duu, dvv, duv);
        const double gu = du.Coord(axis + 1), gv = dv.Coord(axis + 1);
        const double a = duu.Coord(axis + 1), b = duv.Coord(axis + 1), c = dvv.Coord(axis + 1);
        const double det = a * c - b * b;
        if (det == 0.0) break;
        const double su = (c * gu - b * gv) / det, sv = (a * gv - b * gu) / det;
        u -= su;
        v -= sv;
        settled = std::abs(su) + std::abs(sv) < kSettled * (std::abs(u) + std::abs(v) + 1.0);
      }
      settled = settled && u >= f.u1 && u <= f.u2 && v >= f.v1 && v <= f.v2;
      Contact k;
      k.kind = Contact::Unsure;
      if (settled) {
        if (!f.holds(u, v)) continue;
        k.from = k.to = coord(s.Value(u, v), axis);
        touch(axis, k.from);
      } else {
        if (!f.holds(u0, v0)) continue;
        k.from = g[i][j] - spread;
        k.to = g[i][j] + spread;
      }
      add(axis, k);
    }
}

// Inner points where the surface turns back along an axis. Planes and cones
// have none but in orientations no real part has; cylinders have a line of
// them, spheres and tori points or circles; free-form surfaces are searched.
void Extremes::add_face(const TopoDS_Shape& shape) {
  Face f(TopoDS::Face(shape));
  // The kernel's section does not take a face lying over itself in its stride.
  if (f.lies_over_itself()) {
    unworkable_ = true;
    return;
  }
  for (int axis = 0; axis < 3; ++axis) {
    switch (f.surface.GetType()) {
      case GeomAbs_Plane: break;  // a linear function on a plane turns only at the boundary
      case GeomAbs_Cylinder: add_cylinder(f, axis); break;
      case GeomAbs_Cone: add_cone(f, axis); break;
      case GeomAbs_Sphere: add_sphere(f, axis); break;
      case GeomAbs_Torus: add_torus(f, axis); break;
      default: add_freeform(f, axis); break;
    }
  }
}

}  // namespace ufhost
