// Extremes of faces, edges and vertices along the axes.
//
// [SECTION] Helpers
// [SECTION] Vertices and edges
// [SECTION] Faces
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
#include <BRepAdaptor_Surface.hxx>
#include <BRepBndLib.hxx>
#include <BRepTopAdaptor_FClass2d.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <ElSLib.hxx>
#include <Geom_BSplineSurface.hxx>
#include <Geom_BezierSurface.hxx>
#include <Precision.hxx>
#include <Standard_Failure.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Edge.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Vertex.hxx>
#include <algorithm>
#include <cmath>
#include <gp_Circ.hxx>
#include <gp_Cone.hxx>
#include <gp_Cylinder.hxx>
#include <gp_Elips.hxx>
#include <gp_Pnt2d.hxx>
#include <gp_Sphere.hxx>
#include <gp_Torus.hxx>
#include <memory>

namespace ufhost {

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

// The probing plane's face carries this tolerance.
const double kPlaneBand = Precision::Confusion();
// Below this the kernel's tolerance tests are not trusted to come out as
// the sums say: answers that close to a threshold are left to the kernel.
constexpr double kMargin = 1e-9;
// Relative size below which a direction or a spread of coordinates counts
// as level along an axis.
constexpr double kLevel = 1e-11;
// Relative distance from a threshold within which the answer is left to
// the kernel. For a point worked out here the kernel works out its own,
// which may differ by rounding (1e-13 of the coordinate has been seen).
// Even at a vertex the kernel may hand back a vertex of its own making
// rather than the leaf's, a rounding away.
constexpr double kComputedTie = 1e-12;
constexpr double kVertexTie = 1e-13;

const double kPi = M_PI;

double coord(const gp_Pnt& p, int axis) { return p.Coord(axis + 1); }

// `t` moved by whole periods as close as it gets to [first, last]; true
// when it then lies strictly inside, farther than `margin` from both ends.
bool inside(double* t, double first, double last, double period, double margin) {
  if (period > 0.0) {
    while (*t < first) *t += period;
    while (*t - period >= first) *t -= period;
  }
  return *t > first + margin && *t < last - margin;
}

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
  for (int axis = 0; axis < 3; ++axis) {
    std::vector<double> params;
    switch (c.GetType()) {
      case GeomAbs_Line: {
        // Turns nowhere: its ends are the edge's vertices. But one lying
        // along the plane is found whole, and measured at its middle.
        const double rise = c.Line().Direction().Coord(axis + 1) * (last - first);
        if (std::abs(rise) <= tol) params.push_back(0.5 * (first + last));
        break;
      }
      case GeomAbs_Circle:
      case GeomAbs_Ellipse: {
        // x(t) = x0 + A cos t + B sin t, largest at atan2(B, A).
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
        if (std::hypot(a, b) <= kLevel * (r1 + 1.0)) {
          // Level along the axis: found whole, measured at its middle.
          params.push_back(0.5 * (first + last));
          break;
        }
        for (double t : {std::atan2(b, a), std::atan2(b, a) + kPi}) {
          if (inside(&t, first, last, 2.0 * kPi, 0.0)) params.push_back(t);
        }
        break;
      }
      default:
        params = turning_points(c, first, last, axis);
        break;
    }
    // A loose edge may stray from the surface by its tolerance: its points
    // say nothing of where the leaf is. Its ends are the vertices'.
    const bool loose = tol > 2.0 * band_ + kPlaneBand;
    const double ends[2] = {coord(c.Value(first), axis), coord(c.Value(last), axis)};
    if (!loose) {
      touch(axis, ends[0]);
      touch(axis, ends[1]);
    } else {
      // Where it runs, within its tolerance, the kernel may fold what it
      // finds into the edge.
      double lo = std::min(ends[0], ends[1]), hi = std::max(ends[0], ends[1]);
      for (double t : params) {
        lo = std::min(lo, coord(c.Value(t), axis));
        hi = std::max(hi, coord(c.Value(t), axis));
      }
      axes_[axis].loose.push_back({lo - tol - kPlaneBand, hi + tol + kPlaneBand});
    }
    for (double t : params) {
      Contact contact;
      contact.at = c.Value(t);
      if (loose) {
        // A loose edge lies within its tolerance of the plane along a
        // stretch, which the kernel may cut short at a vertex or merge
        // with one whose tolerance it grows: what is left lies somewhere on
        // the stretch, never nearer the plane than this point, but maybe
        // not within the band where this point is.
        contact.kind = Contact::Point;
        contact.computed = true;
        contact.sure = -HUGE_VAL;
        contact.reach = band_;
        add(axis, contact);
        continue;
      }
      touch(axis, coord(contact.at, axis));
      contact.kind = Contact::Point;
      contact.reach = band_;
      contact.sure = std::min(band_, tol + kPlaneBand - kMargin);
      contact.computed = true;
      // Should the edge stay within its tolerance of the plane all the way
      // to one of its ends, the kernel takes that stretch for a piece of
      // the section and ends it at the vertex there.
      contact.has_ends = true;
      contact.ends[0] = c.Value(first);
      contact.ends[1] = c.Value(last);
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
}

//-----------------------------------------------------------------------------
// [SECTION] Faces
//-----------------------------------------------------------------------------

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
