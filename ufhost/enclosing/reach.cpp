// How far a body reaches, by branch and bound over its control nets.
//
// [SECTION] Branch and bound
// [SECTION] Closed forms
//
// Work is in the body's unit frame (reach_body.h), on the nets of its faces
// and edges (reach_nets.h).
#include "ufhost/enclosing/reach.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "ufhost/enclosing/reach_body.h"
#include "ufhost/enclosing/reach_nets.h"

namespace ufhost {

using namespace reach_detail;

namespace {

// Pieces taken apart in one measure; a measure that has not settled by then
// keeps the bounds it has. Each costs microseconds.
constexpr int kMostSplits = 60000;
// Halvings of one piece: past these, rounding is all that is left to split.
constexpr int kDeepestCurve = 52, kDeepestPatch = 44;
constexpr double kTwoPi = 2.0 * M_PI;

//-----------------------------------------------------------------------------
// [SECTION] Branch and bound
//-----------------------------------------------------------------------------

struct Item {
  enum Kind : unsigned char {
    kFaceBox,  // a face not yet taken apart: its rough box
    kEdgeBox,  // an edge likewise
    kNet,      // a piece of a face's or an edge's net
    kFixed,    // a face's or edge's largest value known in closed form
  };
  double upper = 0.0;
  Kind kind = kNet;
  bool patch = false;    // kNet: of a face (else of an edge)
  bool inside = false;   // patch: lies in its face
  bool expands = false;  // kFixed: the face's nets must take over to refine it
  int owner = -1;        // face or edge
  int depth = 0;
  Net net;
};

bool lower_upper(const Item& a, const Item& b) { return a.upper < b.upper; }

class Search {
 public:
  Search(const ExactBody::Data& body, const Fn& fn, double tolerance)
      : body_(body), fn_(fn), tolerance_(tolerance) {}

  void run();

  double lower = -std::numeric_limits<double>::infinity();  // of g, reached at `where`
  double upper = 0.0;
  gp_XYZ where;
  bool settled = false;

 private:
  void offer(double g, const gp_XYZ& p) {
    if (g > lower) {
      lower = g;
      where = p;
    }
  }
  bool close_enough(double top) const { return fn_.f(top) - fn_.f(lower) <= tolerance_; }
  void push(Item&& item) {
    heap_.push_back(std::move(item));
    std::push_heap(heap_.begin(), heap_.end(), lower_upper);
  }
  void box_item(Item::Kind kind, int owner, const Corners& box) {
    Item item;
    item.kind = kind;
    item.owner = owner;
    item.upper = -std::numeric_limits<double>::infinity();
    for (const gp_XYZ& c : box) item.upper = std::max(item.upper, fn_.g(c));
    push(std::move(item));
  }
  // A value known in closed form: between `lo`, reached at `at` when
  // `reached`, and `hi`. A face (`owner`) whose value is not seen reached is
  // taken apart when it must be refined; an edge's stays as it is.
  void fixed(int owner, double lo, double hi, bool reached, const gp_XYZ& at) {
    if (reached) offer(fn_.g_of(lo), at);
    Item item;
    item.kind = Item::kFixed;
    item.owner = owner;
    item.upper = fn_.g_of(hi);
    item.expands = !reached && owner >= 0;
    push(std::move(item));
  }
  void consider(Item&& item);
  void split(Item&& item);
  void take_apart_face(const Item& item);
  void take_apart_edge(const Item& item);
  bool clear_of_edges(const FaceRecord& face, const Net& patch) const;
  void add_circle(int k);
  bool add_revolution(int k);
  double tilt(const gp_XYZ& axis, gp_XYZ* along) const;
  bool any_inside(const FaceRecord& face, const std::vector<gp_XYZ>& points, gp_XYZ* found) const;

  const ExactBody::Data& body_;
  Fn fn_;
  double tolerance_;
  double stuck_ = -std::numeric_limits<double>::infinity();  // uppers of pieces no longer split
  std::vector<Item> heap_;
};

void Search::run() {
  for (const gp_XYZ& v : body_.vertices) offer(fn_.g(v), v);
  for (int k = 0; k < static_cast<int>(body_.edges.size()); ++k) {
    const EdgeRecord& e = body_.edges[k];
    if (e.shape == EdgeRecord::kCircle) {
      add_circle(k);
    } else if (e.shape == EdgeRecord::kOther) {
      box_item(Item::kEdgeBox, k, e.box);
    }  // a straight edge is largest at a vertex
  }
  for (int k = 0; k < static_cast<int>(body_.faces.size()); ++k) {
    const FaceRecord& f = body_.faces[k];
    if (f.type == GeomAbs_Plane) continue;  // largest on its edges
    if (!add_revolution(k)) box_item(Item::kFaceBox, k, f.box);
  }

  const long most = std::min<long>(kMostSplits, body_.splits_left);
  long splits = 0;
  while (!heap_.empty()) {
    const double top = heap_.front().upper;
    if (top <= lower || close_enough(top) || splits >= most) break;
    ++splits;
    std::pop_heap(heap_.begin(), heap_.end(), lower_upper);
    Item item = std::move(heap_.back());
    heap_.pop_back();
    switch (item.kind) {
      case Item::kFaceBox: take_apart_face(item); break;
      case Item::kEdgeBox: take_apart_edge(item); break;
      case Item::kFixed:
        if (item.expands) {
          take_apart_face(item);
        } else {
          stuck_ = std::max(stuck_, item.upper);  // as close as the closed form goes
        }
        break;
      case Item::kNet: split(std::move(item)); break;
    }
  }
  body_.splits_left -= splits;
  upper = std::max(lower, stuck_);
  if (!heap_.empty()) upper = std::max(upper, heap_.front().upper);
  settled = close_enough(upper);
}

void Search::take_apart_face(const Item& item) {
  const FaceRecord& f = body_.faces[item.owner];
  if (!face_nets(f, body_.frame)) {
    stuck_ = std::max(stuck_, item.upper);  // its box is all there is to bound it
    return;
  }
  for (const Net& net : f.nets) {
    Item piece;
    piece.kind = Item::kNet;
    piece.patch = true;
    piece.inside = f.edges.empty();  // nothing bounds it but seams
    piece.owner = item.owner;
    piece.net = net;
    consider(std::move(piece));
  }
}

void Search::take_apart_edge(const Item& item) {
  const EdgeRecord& e = body_.edges[item.owner];
  if (!edge_nets(e, body_.frame)) {
    stuck_ = std::max(stuck_, item.upper);
    return;
  }
  for (const Net& net : e.nets) {
    Item piece;
    piece.kind = Item::kNet;
    piece.owner = item.owner;
    piece.net = net;
    consider(std::move(piece));
  }
}

// Bounds a piece, takes what it shows of the body, and keeps it only when it
// may hold a larger value than found so far.
void Search::consider(Item&& item) {
  const Net& n = item.net;
  item.upper = top_of(n, fn_);
  if (item.upper <= lower) return;
  const FaceRecord* face = item.patch ? &body_.faces[item.owner] : nullptr;
  if (!item.patch) {
    offer(fn_.g(n.p.front()), n.p.front());  // a curve's end poles are its points
    offer(fn_.g(n.p.back()), n.p.back());
  } else {
    int best = 0;
    double best_g = -std::numeric_limits<double>::infinity();
    for (int c = 0; c < 4; ++c) {
      const double g = fn_.g(n.p[corner_index(n, c)]);
      if (g > best_g) {
        best_g = g;
        best = c;
      }
    }
    const gp_XYZ& p = n.p[corner_index(n, best)];
    if (best_g > lower && (item.inside || where_on(*face, body_.frame, p, &n, best) == Where::kIn))
      offer(best_g, p);
  }
  if (item.upper <= lower) return;
  if (!close_enough(item.upper)) {
    if (cannot_turn(n, fn_)) return;
    if (item.patch && !item.inside && clear_of_edges(*face, n)) {
      // Wholly in or wholly out of the face: one corner tells, unless the
      // classifier cannot.
      const Where corner = where_on(*face, body_.frame, n.p[0], &n, 0);
      if (corner == Where::kOut) return;
      item.inside = corner == Where::kIn;
    }
  }
  push(std::move(item));
}

void Search::split(Item&& item) {
  if (item.depth >= (item.patch ? kDeepestPatch : kDeepestCurve)) {
    stuck_ = std::max(stuck_, item.upper);
    return;
  }
  bool along_u = true;
  if (item.patch) {
    bool straight_u = false, straight_v = false;
    const double bu = bend(item.net, true, &straight_u), bv = bend(item.net, false, &straight_v);
    along_u = straight_u == straight_v ? bu >= bv : !straight_u;
    // A side drawn to a point (a cone's apex, a pole) stays in every piece
    // halved along it, and where the gradient vanishes there no piece shows
    // a sign: halve away from it.
    if (collapsed_side(item.net, true, body_.rounding)) along_u = true;
    if (collapsed_side(item.net, false, body_.rounding)) along_u = false;
  }
  Item a, b;
  halve(item.net, along_u, &a.net, &b.net);
  for (Item* half : {&a, &b}) {
    half->kind = Item::kNet;
    half->patch = item.patch;
    half->inside = item.inside;
    half->owner = item.owner;
    half->depth = item.depth + 1;
  }
  consider(std::move(a));
  consider(std::move(b));
}

// No edge of the face comes near the patch: the patch lies wholly in the
// face or wholly out of it (seams join the face to itself and do not count).
bool Search::clear_of_edges(const FaceRecord& face, const Net& patch) const {
  const Aabb target = box_of(patch.p, body_.rounding);
  for (int k : face.edges) {
    const EdgeRecord& e = body_.edges[k];
    if (!box_of(e.box, 0.0).meets(target)) continue;
    if (!edge_nets(e, body_.frame)) return false;
    for (const Net& piece : e.nets)
      if (may_touch(piece, target, e.band + body_.rounding, 0)) return false;
  }
  return true;
}

//-----------------------------------------------------------------------------
// [SECTION] Closed forms
//-----------------------------------------------------------------------------

// How far `axis`, turned to point the measure's way (into *along), is from
// the measure's direction, as the most the measure of a point of the body
// can change when taken about (or along) the turned axis instead. Points of
// the body lie within 1 of the frame's centre.
double Search::tilt(const gp_XYZ& axis, gp_XYZ* along) const {
  *along = axis.Dot(fn_.d) < 0.0 ? axis.Reversed() : axis;
  const double apart = (*along - fn_.d).Modulus();
  return fn_.radial ? 2.0 * (1.0 + fn_.a.Modulus()) * apart : apart;
}

bool Search::any_inside(const FaceRecord& face, const std::vector<gp_XYZ>& points,
                         gp_XYZ* found) const {
  for (const gp_XYZ& p : points)
    if (where_on(face, body_.frame, p, nullptr, 0) == Where::kIn) {
      *found = p;
      return true;
    }
  return false;
}

// A circle's largest value: at the angle where the measure peaks, when the
// edge reaches that angle, else at a vertex. Closed forms for coordinates
// along any direction and distances from a line along the circle's axis.
void Search::add_circle(int k) {
  const EdgeRecord& e = body_.edges[k];
  auto at = [&](double t) { return e.centre + e.radius * (std::cos(t) * e.x_dir + std::sin(t) * e.y_dir); };
  auto on_edge = [&](double t) {
    while (t < e.first) t += kTwoPi;
    while (t - kTwoPi >= e.first) t -= kTwoPi;
    return t <= e.last;
  };
  if (!fn_.radial) {
    const double x = fn_.d.Dot(e.x_dir), y = fn_.d.Dot(e.y_dir), base = fn_.d.Dot(e.centre);
    const double swing = e.radius * std::hypot(x, y);
    if (swing <= body_.rounding) {
      offer(base, at(e.first));  // level along the direction
      if (swing > 0.0) fixed(-1, base, base + swing, false, e.centre);
    } else if (on_edge(std::atan2(y, x))) {
      offer(base + swing, at(std::atan2(y, x)));
    }
    return;
  }
  gp_XYZ along;
  const double sep = tilt(e.axis, &along);
  if (sep > tolerance_ / 8.0) {
    box_item(Item::kEdgeBox, k, e.box);
    return;
  }
  gp_XYZ off = e.centre - fn_.a;
  off -= off.Dot(along) * along;
  const double apart = off.Modulus();
  if (apart <= tolerance_ / 4.0) {
    // About its own axis, near enough: every point is at the radius.
    fixed(-1, e.radius - apart - sep, e.radius + apart + sep, true, at(e.first));
    return;
  }
  const double t = std::atan2(off.Dot(e.y_dir), off.Dot(e.x_dir));
  if (on_edge(t)) {
    fixed(-1, e.radius + apart - sep, e.radius + apart + sep, true, at(t));
  } else if (sep > 0.0) {
    // Largest at a vertex about the turned axis: within twice the tilt of
    // the vertices' own values about the line.
    const double ends = std::max(fn_.f(fn_.g(at(e.first))), fn_.f(fn_.g(at(e.last))));
    fixed(-1, ends, ends + 2.0 * sep, false, at(e.first));
  }
}

// Faces of revolution about the measure's line, or along its direction,
// whose surface peaks in closed form: a cylinder at its radius, a sphere or a
// torus at the point or circle facing away. The face takes that value when
// one of its points is seen there; otherwise its largest value lies on its
// edges or it is taken apart. false: not such a face.
bool Search::add_revolution(int k) {
  const FaceRecord& f = body_.faces[k];
  const bool sphere = f.type == GeomAbs_Sphere;
  if (f.type != GeomAbs_Cylinder && f.type != GeomAbs_Torus && !sphere) return false;
  if (!fn_.radial && f.type == GeomAbs_Cylinder) return false;  // its coordinate runs along it
  gp_XYZ along = fn_.d;
  const double sep = sphere ? 0.0 : tilt(f.axis, &along);
  if (sep > tolerance_ / 8.0) return false;
  // A frame across the direction: the sphere's own when it will do.
  gp_XYZ x = f.x_dir - f.x_dir.Dot(along) * along;
  if (x.Modulus() < 0.5) x = f.y_dir - f.y_dir.Dot(along) * along;
  x.Normalize();
  const gp_XYZ y = along.Crossed(x);
  std::vector<gp_XYZ> ring;  // points of the circle where the surface peaks
  auto circle = [&](const gp_XYZ& centre, double radius, double from, double to) {
    for (int i = 0; i < 16; ++i) {
      const double t = from + (to - from) * (i + 0.5) / 16;
      ring.push_back(centre + radius * (std::cos(t) * x + std::sin(t) * y));
    }
  };
  gp_XYZ found;
  if (!fn_.radial) {
    // The top of a sphere, or the top circle of a torus about the direction.
    const double top = fn_.d.Dot(f.origin) + (sphere ? f.r1 : f.r2);
    if (sphere) ring.push_back(f.origin + f.r1 * fn_.d);
    else circle(f.origin + f.r2 * along, f.r1, 0.0, kTwoPi);
    const bool reached = any_inside(f, ring, &found);
    fixed(k, top - sep, top + sep, reached, found);
    return true;
  }
  gp_XYZ off = f.origin - fn_.a;
  off -= off.Dot(along) * along;
  const double apart = off.Modulus();
  const double peak = (f.type == GeomAbs_Torus ? f.r1 + f.r2 : f.r1);
  if (apart <= tolerance_ / 4.0) {
    if (f.type == GeomAbs_Cylinder) {
      fixed(k, peak - apart - sep, peak + apart + sep, true, f.a_point);  // every point is at the radius
      return true;
    }
    circle(f.origin, peak, 0.0, kTwoPi);  // the equator facing out
    const bool reached = any_inside(f, ring, &found);
    fixed(k, peak - apart - sep, peak + apart + sep, reached, found);
    return true;
  }
  const gp_XYZ away = off / apart;
  if (f.type == GeomAbs_Cylinder) {
    for (int i = 0; i <= 8; ++i)  // along the line of the cylinder facing away
      ring.push_back(f.origin + peak * away +
                     (f.v1 + (f.v2 - f.v1) * i / 8) / body_.frame.scale * f.axis);
  } else {
    ring.push_back(f.origin + peak * away);
  }
  const bool reached = any_inside(f, ring, &found);
  fixed(k, peak + apart - sep, peak + apart + sep, reached, found);
  return true;
}

}  // namespace

Reach ExactBody::reach(const Measure& measure, double tolerance) const {
  const Data& d = *data_;
  Fn fn;
  fn.radial = measure.kind == Measure::kFromLine;
  fn.d = measure.dir.XYZ();
  if (fn.radial) {
    // The line's point nearest the body keeps the arithmetic small.
    gp_XYZ a = measure.point.XYZ();
    a -= (a - d.frame.centre).Dot(fn.d) * fn.d;
    fn.a = d.frame.to_unit(a);
  }
  const double floor = 4.0 * d.rounding;
  const double tol = tolerance / d.frame.scale > floor ? tolerance / d.frame.scale : floor;
  Search search(d, fn, tol);
  search.run();

  Reach r;
  const double guard = 2.0 * d.rounding;
  double lower = search.lower, upper = search.upper;
  if (!std::isfinite(lower)) lower = upper;  // nothing of the body was seen: no lower bound
  if (fn.radial) {
    r.lower = std::max(0.0, fn.f(lower) - guard) * d.frame.scale;
    r.upper = (fn.f(upper) + guard) * d.frame.scale;
  } else {
    const double offset = fn.d.Dot(d.frame.centre);
    r.lower = offset + (lower - guard) * d.frame.scale;
    r.upper = offset + (upper + guard) * d.frame.scale;
  }
  r.where = gp_Pnt(d.frame.from_unit(search.where));
  r.settled = search.settled && std::isfinite(search.lower);
  return r;
}

}  // namespace ufhost
