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
#include "ufhost/core/extremes.h"

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

// The distance the boolean's caller measures: the same expression, so that
// a point on the threshold falls on the same side of it.
double distance(const gp_Pnt& p, const gp_Pnt& origin, const gp_Dir& n) {
  return std::abs(gp_Vec(origin, p).Dot(gp_Vec(n)));
}

double tolerance_of(const TopoDS_Shape& s) {
  double tol = 0.0;
  switch (s.ShapeType()) {
    case TopAbs_FACE:
      tol = BRep_Tool::Tolerance(TopoDS::Face(s));
      break;
    case TopAbs_EDGE:
      tol = BRep_Tool::Tolerance(TopoDS::Edge(s));
      break;
    case TopAbs_VERTEX:
      tol = BRep_Tool::Tolerance(TopoDS::Vertex(s));
      break;
    default:
      break;
  }
  return std::max(tol, Precision::Confusion());
}

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
    const double tol = tolerance_of(v);
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
  const double tol = tolerance_of(edge);
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

// Parameters of a face: its bounds on the surface and where a point of the
// surface lies in it.
struct FaceDomain {
  TopoDS_Face face;
  BRepAdaptor_Surface surface;
  double u1, u2, v1, v2;
  std::unique_ptr<BRepTopAdaptor_FClass2d> classifier;

  explicit FaceDomain(const TopoDS_Face& f)
      : face(f),
        surface(f),
        u1(surface.FirstUParameter()),
        u2(surface.LastUParameter()),
        v1(surface.FirstVParameter()),
        v2(surface.LastVParameter()) {}

  // Whether (u, v), moved by periods into the face's bounds, lies in the
  // face or on its boundary.
  bool holds(double u, double v) {
    if (surface.IsUPeriodic()) inside(&u, u1, u2, surface.UPeriod(), 0.0);
    if (surface.IsVPeriodic()) inside(&v, v1, v2, surface.VPeriod(), 0.0);
    if (!classifier) classifier = std::make_unique<BRepTopAdaptor_FClass2d>(face, 1e-9);
    return classifier->Perform(gp_Pnt2d(u, v)) != TopAbs_OUT;
  }
};

}  // namespace

// Inner points where the surface turns back along an axis. Planes and cones
// have none but in orientations no real part has; cylinders have a line of
// them, spheres and tori points or circles; free-form surfaces are searched.
void Extremes::add_face(const TopoDS_Shape& shape) {
  FaceDomain dom(TopoDS::Face(shape));
  const BRepAdaptor_Surface& s = dom.surface;
  const double face_tol = tolerance_of(shape);
  double loose = face_tol;  // the largest tolerance of the face's edges
  for (TopExp_Explorer e(shape, TopAbs_EDGE); e.More(); e.Next())
    loose = std::max(loose, tolerance_of(e.Current()));

  auto tangent = [&](int axis, const gp_Pnt& p, int side) {
    Contact c;
    c.kind = Contact::Tangent;
    c.at = p;
    c.side = side;
    touch(axis, coord(p, axis));
    add(axis, c);
  };
  // Turns this code does not work out: the whole face along the axis is
  // left to the kernel.
  Bnd_Box box;
  BRepBndLib::Add(shape, box, Standard_False);
  auto unsure = [&](int axis) {
    if (box.IsVoid()) return;
    double lo[3], hi[3];
    box.Get(lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]);
    Contact c;
    c.kind = Contact::Unsure;
    c.from = lo[axis];
    c.to = hi[axis];
    add(axis, c);
  };

  // A face that winds more than once round a periodic surface lies over
  // itself, which the kernel's section does not take in its stride.
  if ((s.IsUPeriodic() && dom.u2 - dom.u1 > s.UPeriod() + 1e-9) ||
      (s.IsVPeriodic() && dom.v2 - dom.v1 > s.VPeriod() + 1e-9)) {
    unworkable_ = true;
    return;
  }
  for (int axis = 0; axis < 3; ++axis) {
    switch (s.GetType()) {
      case GeomAbs_Plane:
        break;  // a linear function on a plane turns only at the boundary
      case GeomAbs_Cylinder: {
        // x = x0 + R (cos u X + sin u Y) + v D: with D across the axis,
        // largest along the whole line at u = atan2(Y, X).
        const gp_Cylinder cyl = s.Cylinder();
        const gp_Ax3& frame = cyl.Position();
        const double d = frame.Direction().Coord(axis + 1);
        if (std::abs(d) > kLevel) {
          if (std::abs(d) < 1e-6) unsure(axis);
          break;
        }
        const double x = frame.XDirection().Coord(axis + 1), y = frame.YDirection().Coord(axis + 1);
        const double r = cyl.Radius();
        for (int k = 0; k < 2; ++k) {
          double u = std::atan2(y, x) + k * kPi;
          inside(&u, dom.u1, dom.u2, 2.0 * kPi, 0.0);
          const double to_end = std::min(u - dom.u1, dom.u2 - u) * r;  // along the surface
          // Outside the face, or on its boundary, where the line is an edge
          // that its vertices stand for.
          if (to_end < -(loose + kPlaneBand) || std::abs(to_end) <= kLevel * r) continue;
          Contact c;
          c.kind = Contact::Point;
          c.at = s.Value(std::clamp(u, dom.u1, dom.u2), 0.5 * (dom.v1 + dom.v2));
          // The kernel finds the line out beyond the face's tolerance, by
          // an amount of its own; only the band is certain.
          c.sure = band_;
          c.reach = HUGE_VAL;
          c.computed = true;
          touch(axis, coord(c.at, axis));
          add(axis, c);
        }
        break;
      }
      case GeomAbs_Cone: {
        // Along the line at the turning angle the coordinate still changes
        // unless that line lies across the axis.
        const gp_Cone cone = s.Cone();
        const gp_Ax3& frame = cone.Position();
        const double a =
            std::hypot(frame.XDirection().Coord(axis + 1), frame.YDirection().Coord(axis + 1));
        const double d = frame.Direction().Coord(axis + 1);
        const double along = std::sin(cone.SemiAngle()) * a, up = std::cos(cone.SemiAngle()) * d;
        if (std::abs(along + up) < 1e-6 || std::abs(up - along) < 1e-6) unsure(axis);
        break;
      }
      case GeomAbs_Sphere: {
        const gp_Sphere sphere = s.Sphere();
        for (int side : {-1, 1}) {
          gp_XYZ offset(0, 0, 0);
          offset.SetCoord(axis + 1, side * sphere.Radius());
          const gp_Pnt p(sphere.Location().XYZ() + offset);
          double u = 0.0, v = 0.0;
          ElSLib::Parameters(sphere, p, u, v);
          if (std::abs(v) > 0.5 * kPi - 1e-9) continue;  // a pole: a vertex of the face
          if (dom.holds(u, v)) tangent(axis, p, side);
        }
        break;
      }
      case GeomAbs_Torus: {
        const gp_Torus torus = s.Torus();
        const gp_Ax3& frame = torus.Position();
        const double d = frame.Direction().Coord(axis + 1);
        if (std::abs(d) >= 1.0 - kLevel) {
          // Across the axis: the top and bottom circles, where the kernel
          // finds the circle as it finds an edge.
          for (double v : {0.5 * kPi, 1.5 * kPi}) {
            double w = v;
            if (!inside(&w, dom.v1, dom.v2, 2.0 * kPi, 0.0)) continue;
            Contact c;
            c.kind = Contact::Point;
            c.at = s.Value(0.5 * (dom.u1 + dom.u2), w);
            c.reach = band_;
            c.sure = std::min(band_, face_tol + kPlaneBand - kMargin);
            c.computed = true;
            touch(axis, coord(c.at, axis));
            add(axis, c);
          }
        } else if (std::abs(d) <= kLevel) {
          // Along the axis: two points of the outer equator.
          const double x = frame.XDirection().Coord(axis + 1),
                       y = frame.YDirection().Coord(axis + 1);
          for (int side : {-1, 1}) {
            const double u = std::atan2(y, x) + (side > 0 ? 0.0 : kPi);
            if (dom.holds(u, 0.0)) tangent(axis, ElSLib::Value(u, 0.0, torus), side);
          }
        } else {
          unsure(axis);
        }
        break;
      }
      default: {
        // Free-form: turning points on a grid over the face's bounds,
        // refined; a level surface has none.
        bool level = false;
        if (s.GetType() == GeomAbs_BSplineSurface || s.GetType() == GeomAbs_BezierSurface) {
          // The surface lies within its poles' hull (placed as the face is).
          // The adaptor hands out a placed copy: keep it while its poles are read.
          const Handle(Geom_BSplineSurface) spline =
              s.GetType() == GeomAbs_BSplineSurface ? s.BSpline() : nullptr;
          const Handle(Geom_BezierSurface) bezier =
              s.GetType() == GeomAbs_BezierSurface ? s.Bezier() : nullptr;
          const TColgp_Array2OfPnt& poles = spline ? spline->Poles() : bezier->Poles();
          double lo = HUGE_VAL, hi = -HUGE_VAL, scale = 1.0;
          for (int i = poles.LowerRow(); i <= poles.UpperRow(); ++i)
            for (int j = poles.LowerCol(); j <= poles.UpperCol(); ++j) {
              const double c = coord(poles(i, j), axis);
              lo = std::min(lo, c);
              hi = std::max(hi, c);
              scale = std::max(scale, poles(i, j).XYZ().Modulus());
            }
          level = hi - lo <= kLevel * scale;
        }
        if (level) break;
        constexpr int kGrid = 24;
        double f[kGrid + 1][kGrid + 1];
        for (int i = 0; i <= kGrid; ++i)
          for (int j = 0; j <= kGrid; ++j)
            f[i][j] = coord(s.Value(dom.u1 + (dom.u2 - dom.u1) * i / kGrid,
                                    dom.v1 + (dom.v2 - dom.v1) * j / kGrid),
                            axis);
        for (int i = 1; i < kGrid; ++i)
          for (int j = 1; j < kGrid; ++j) {
            bool top = true, bottom = true;
            for (int di = -1; di <= 1; ++di)
              for (int dj = -1; dj <= 1; ++dj) {
                if (di == 0 && dj == 0) continue;
                top = top && f[i][j] >= f[i + di][j + dj];
                bottom = bottom && f[i][j] <= f[i + di][j + dj];
              }
            if (top == bottom) continue;  // neither, or level all round
            // Newton on the gradient, from the grid point. Where it does not
            // settle, the turn lies somewhere about the grid point.
            const double u0 = dom.u1 + (dom.u2 - dom.u1) * i / kGrid;
            const double v0 = dom.v1 + (dom.v2 - dom.v1) * j / kGrid;
            double u = u0, v = v0;
            bool settled = false;
            for (int it = 0; it < 30 && !settled; ++it) {
              gp_Pnt p;
              gp_Vec du, dv, duu, dvv, duv;
              s.D2(u, v, p, du, dv, duu, dvv, duv);
              const double gu = du.Coord(axis + 1), gv = dv.Coord(axis + 1);
              const double a = duu.Coord(axis + 1), b = duv.Coord(axis + 1),
                           c = dvv.Coord(axis + 1);
              const double det = a * c - b * b;
              if (det == 0.0) break;
              const double su = (c * gu - b * gv) / det, sv = (a * gv - b * gu) / det;
              u -= su;
              v -= sv;
              settled = std::abs(su) + std::abs(sv) < 1e-14 * (std::abs(u) + std::abs(v) + 1.0);
            }
            settled = settled && u >= dom.u1 && u <= dom.u2 && v >= dom.v1 && v <= dom.v2;
            Contact k;
            k.kind = Contact::Unsure;
            if (settled) {
              if (!dom.holds(u, v)) continue;
              k.from = k.to = coord(s.Value(u, v), axis);
              touch(axis, k.from);
            } else {
              if (!dom.holds(u0, v0)) continue;
              double spread = 0.0;
              for (int di = -1; di <= 1; ++di)
                for (int dj = -1; dj <= 1; ++dj)
                  spread = std::max(spread, std::abs(f[i][j] - f[i + di][j + dj]));
              k.from = f[i][j] - spread;
              k.to = f[i][j] + spread;
            }
            add(axis, k);
          }
        break;
      }
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

Answer Extremes::answer(int axis, const gp_Pnt& origin, const gp_Dir& n) const {
  if (unworkable_) return Answer::Unknown;
  const Axis& a = axes_[axis];
  const double c = coord(origin, axis);
  bool unknown = false;   // a point the section may hold lies just about at the band
  bool doubtful = false;  // the plane runs through a turn only the kernel can judge
  for (const Contact& k : a.contacts) {
    switch (k.kind) {
      case Contact::Point: {
        // The kernel works out a point of its own where this one is
        // computed: close to a threshold the two may fall either side.
        const double d = distance(k.at, origin, n);
        const double tie = (k.computed ? kComputedTie : kVertexTie) * std::max(1.0, std::abs(c));
        const bool met = d <= k.sure - tie;
        if (k.has_twin && (d <= k.sure + tie) != (distance(k.twin, origin, n) <= band_)) {
          unknown = true;
        } else if (met && k.has_ends &&
                   (distance(k.ends[0], origin, n) <= k.end_reach ||
                    distance(k.ends[1], origin, n) <= k.end_reach)) {
          unknown = true;
        } else if (met) {
          return Answer::Yes;
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
  if (doubtful) return Answer::Unknown;
  // Points of the leaf on both sides: the plane cuts it through, away from
  // any turn, where the section is plainly there. But where it cuts close
  // to a vertex of loose tolerance the kernel may merge what it finds into
  // that vertex, which then lies as far from the plane as it does, or into
  // an edge of loose tolerance.
  if (a.measured && c > a.lo && c < a.hi) {
    for (const auto& v : vertices_)
      if (v.second > band_ && std::abs(coord(v.first, axis) - c) <= v.second + kPlaneBand)
        return Answer::Unknown;
    for (const auto& stretch : a.loose)
      if (c >= stretch.first && c <= stretch.second) return Answer::Unknown;
    // So may it into a point it finds just about at the band.
    return unknown ? Answer::Unknown : Answer::Yes;
  }
  return unknown ? Answer::Unknown : Answer::No;
}

bool Extremes::extent(int axis, double* lo, double* hi) const {
  const Axis& a = axes_[axis];
  *lo = a.lo;
  *hi = a.hi;
  return a.measured;
}

}  // namespace ufhost
