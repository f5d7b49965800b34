// A body prepared for bounding: its records, points on faces, samples and
// the axes of its faces of revolution. Its control nets are made in
// reach_nets.cpp.
//
// [SECTION] Points on faces
// [SECTION] Preparing a body
#include "ufhost/enclosing/reach_body.h"

#include <BRepAdaptor_Curve.hxx>
#include <BRepAdaptor_Surface.hxx>
#include <BRepBndLib.hxx>
#include <BRepGProp.hxx>
#include <BRepTools.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <ElSLib.hxx>
#include <GProp_GProps.hxx>
#include <Precision.hxx>
#include <Standard_Failure.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Vertex.hxx>
#include <gp_Pnt2d.hxx>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace ufhost {

using namespace reach_detail;

namespace {

Corners corners_of(const Bnd_Box& b, const UnitFrame& frame) {
  double lo[3], hi[3];
  b.Get(lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]);
  Corners c;
  for (int k = 0; k < 8; ++k)
    c[k] = frame.to_unit(gp_XYZ((k & 1) ? hi[0] : lo[0], (k & 2) ? hi[1] : lo[1],
                                (k & 4) ? hi[2] : lo[2]));
  return c;
}

}  // namespace

namespace reach_detail {

//-----------------------------------------------------------------------------
// [SECTION] Points on faces
//-----------------------------------------------------------------------------

Where where_on(const FaceRecord& f, const UnitFrame& frame, const gp_XYZ& p, const Net* net,
               int corner) {
  try {
    const gp_Pnt point(frame.from_unit(p));
    gp_Pnt2d uv;
    if (net != nullptr && f.linear_param) {
      uv.SetCoord((corner & 1) ? net->u1 : net->u0, (corner & 2) ? net->v1 : net->v0);
    } else {
      const GeomAdaptor_Surface s(f.surface);
      double u = 0.0, v = 0.0;
      switch (f.type) {
        case GeomAbs_Plane: ElSLib::Parameters(s.Plane(), point, u, v); break;
        case GeomAbs_Cylinder: ElSLib::Parameters(s.Cylinder(), point, u, v); break;
        case GeomAbs_Cone: ElSLib::Parameters(s.Cone(), point, u, v); break;
        case GeomAbs_Sphere: ElSLib::Parameters(s.Sphere(), point, u, v); break;
        case GeomAbs_Torus: ElSLib::Parameters(s.Torus(), point, u, v); break;
        default: {
          if (f.projector.IsNull()) f.projector = new ShapeAnalysis_Surface(f.surface);
          const gp_Pnt2d found = f.projector->ValueOfUV(point, Precision::Confusion());
          // Off the surface: the projection found some other place.
          if (f.projector->Gap() > 1e-9 * frame.scale + Precision::Confusion()) return Where::kUnsure;
          u = found.X();
          v = found.Y();
          break;
        }
      }
      uv.SetCoord(u, v);
    }
    if (!f.classifier) f.classifier = std::make_unique<BRepTopAdaptor_FClass2d>(f.face, 1e-9);
    switch (f.classifier->Perform(uv, Standard_True)) {
      case TopAbs_IN: return Where::kIn;
      case TopAbs_OUT: return Where::kOut;
      default: return Where::kUnsure;
    }
  } catch (const Standard_Failure&) {
    return Where::kUnsure;
  }
}

}  // namespace reach_detail

//-----------------------------------------------------------------------------
// [SECTION] Preparing a body
//-----------------------------------------------------------------------------

namespace {

// Lines closer than this (in angle and, in the unit frame, in place) are one
// axis of revolution.
constexpr double kSameAxis = 1e-9;

void add_revolution(std::vector<RevolutionAxis>* axes, const gp_Ax1& axis, double area,
                    bool centre_only, double scale) {
  for (RevolutionAxis& a : *axes) {
    const bool parallel = a.dir.IsParallel(axis.Direction(), kSameAxis);
    const double apart =
        gp_Vec(a.point, axis.Location()).Crossed(gp_Vec(a.dir)).Magnitude() / scale;
    if (centre_only && !a.centre_only && apart <= kSameAxis) {
      a.area += area;  // a sphere centred on the line turns about it too
      return;
    }
    if (centre_only == a.centre_only && parallel && apart <= kSameAxis &&
        (!centre_only || a.point.Distance(axis.Location()) <= kSameAxis * scale)) {
      a.area += area;
      return;
    }
  }
  axes->push_back({axis.Location(), axis.Direction(), area, centre_only});
}

void add_samples(const ExactBody::Data& d, std::vector<gp_Pnt>* out) {
  for (const gp_XYZ& v : d.vertices) out->push_back(gp_Pnt(d.frame.from_unit(v)));
  for (const EdgeRecord& e : d.edges) {
    if (e.shape == EdgeRecord::kLine) continue;  // its ends are vertices
    const BRepAdaptor_Curve c(e.edge);
    const int n = e.shape == EdgeRecord::kCircle ? 16 : 8;
    const double a = c.FirstParameter(), b = c.LastParameter();
    for (int i = 0; i <= n; ++i) out->push_back(c.Value(a + (b - a) * i / n));
  }
  for (const FaceRecord& f : d.faces) {
    if (f.type == GeomAbs_Plane) continue;  // its edges hold its extremes
    const int n = f.type == GeomAbs_BSplineSurface || f.type == GeomAbs_BezierSurface ? 6 : 4;
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        const double u = f.u1 + (f.u2 - f.u1) * (i + 0.5) / n;
        const double v = f.v1 + (f.v2 - f.v1) * (j + 0.5) / n;
        if (!f.classifier) f.classifier = std::make_unique<BRepTopAdaptor_FClass2d>(f.face, 1e-9);
        if (f.classifier->Perform(gp_Pnt2d(u, v), Standard_True) == TopAbs_IN)
          out->push_back(f.surface->Value(u, v));
      }
  }
}

// Every face has a surface, the exact geometry measures are taken on; else
// why not, in *error.
bool faces_are_exact(const TopTools_IndexedMapOfShape& faces, std::string* error) {
  if (faces.Extent() == 0) {
    *error = "the body has no faces: it holds no exact surfaces to measure";
    return false;
  }
  for (int i = 1; i <= faces.Extent(); ++i) {
    TopLoc_Location where;
    if (BRep_Tool::Surface(TopoDS::Face(faces(i)), where).IsNull()) {
      *error = "face " + std::to_string(i) +
               " has no surface (a mesh): only exact faces can be measured";
      return false;
    }
  }
  return true;
}

// The frame the body is measured in, centred on its rough box and scaled by
// half the box's diagonal, and how far rounding may move a coordinate there;
// false with why in *error for a body that has no finite extent.
bool set_unit_frame(const TopoDS_Shape& body, ExactBody::Data* d, std::string* error) {
  Bnd_Box box;
  BRepBndLib::Add(body, box, Standard_False);  // exact geometry, widened by tolerances
  if (box.IsVoid()) {
    *error = "the body has no geometry";
    return false;
  }
  if (box.IsOpen()) {
    *error = "the body is unbounded";
    return false;
  }
  double lo[3], hi[3];
  box.Get(lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]);
  const gp_XYZ low(lo[0], lo[1], lo[2]), high(hi[0], hi[1], hi[2]);
  const double diagonal = (high - low).Modulus();
  if (!finite(low) || !finite(high) || !std::isfinite(diagonal) ||
      high.X() >= Precision::Infinite()) {
    *error = "the body's coordinates are not finite";
    return false;
  }
  if (!(diagonal > 0.0)) {
    *error = "the body has no extent";
    return false;
  }
  d->frame.centre = 0.5 * (low + high);
  d->frame.scale = 0.5 * diagonal;
  d->rounding = 8.0 * DBL_EPSILON * (d->frame.centre.Modulus() / d->frame.scale + 4.0);
  return true;
}

// The record of an edge with a 3D curve: a circle in closed form, and the
// edge's box.
EdgeRecord edge_record(const TopoDS_Edge& edge, const UnitFrame& frame) {
  EdgeRecord e;
  e.edge = edge;
  e.band = BRep_Tool::Tolerance(edge) / frame.scale;
  const BRepAdaptor_Curve c(edge);
  if (c.GetType() == GeomAbs_Line) {
    e.shape = EdgeRecord::kLine;
  } else if (c.GetType() == GeomAbs_Circle) {
    const gp_Circ circle = c.Circle();
    e.shape = EdgeRecord::kCircle;
    e.centre = frame.to_unit(circle.Location().XYZ());
    e.axis = circle.Axis().Direction().XYZ();
    e.x_dir = circle.XAxis().Direction().XYZ();
    e.y_dir = circle.YAxis().Direction().XYZ();
    e.radius = circle.Radius() / frame.scale;
    e.first = c.FirstParameter();
    e.last = c.LastParameter();
  }
  Bnd_Box b;
  BRepBndLib::Add(edge, b, Standard_False);
  e.box = corners_of(b, frame);
  return e;
}

// The records of the body's edges, but for degenerate ones (a point: their
// vertex); `index` maps an edge's index among `edges` to its record, -1 for
// none. false with why in *error for an edge with no 3D curve.
bool add_edges(const TopTools_IndexedMapOfShape& edges, ExactBody::Data* d, std::vector<int>* index,
               std::string* error) {
  index->assign(static_cast<std::size_t>(edges.Extent()) + 1, -1);
  for (int i = 1; i <= edges.Extent(); ++i) {
    const TopoDS_Edge& edge = TopoDS::Edge(edges(i));
    if (BRep_Tool::Degenerated(edge)) continue;
    double first = 0.0, last = 0.0;
    if (BRep_Tool::Curve(edge, first, last).IsNull()) {
      *error = "edge " + std::to_string(i) + " has no 3D curve";
      return false;
    }
    (*index)[i] = static_cast<int>(d->edges.size());
    d->edges.push_back(edge_record(edge, d->frame));
  }
  return true;
}

// The face's surface in the unit frame: its kind and parameter bounds, and
// for cylinders, cones, spheres and tori the surface's own frame (into
// *frame) and radii. false when the face is unbounded and no plane.
bool describe_surface(const TopoDS_Face& face, const UnitFrame& unit, FaceRecord* f,
                      gp_Ax3* frame) {
  f->face = face;
  f->surface = BRep_Tool::Surface(f->face);
  const BRepAdaptor_Surface s(f->face, Standard_False);
  f->type = s.GetType();
  BRepTools::UVBounds(f->face, f->u1, f->u2, f->v1, f->v2);
  const bool bounded =
      std::abs(f->u1) < Precision::Infinite() && std::abs(f->u2) < Precision::Infinite() &&
      std::abs(f->v1) < Precision::Infinite() && std::abs(f->v2) < Precision::Infinite();
  if (!bounded && f->type != GeomAbs_Plane) return false;
  switch (f->type) {
    case GeomAbs_Cylinder:
      *frame = s.Cylinder().Position();
      f->r1 = s.Cylinder().Radius();
      break;
    case GeomAbs_Cone:
      *frame = s.Cone().Position();
      f->r1 = s.Cone().RefRadius();
      break;
    case GeomAbs_Sphere:
      *frame = s.Sphere().Position();
      f->r1 = s.Sphere().Radius();
      break;
    case GeomAbs_Torus:
      *frame = s.Torus().Position();
      f->r1 = s.Torus().MajorRadius();
      f->r2 = s.Torus().MinorRadius();
      break;
    default:
      break;
  }
  f->origin = unit.to_unit(frame->Location().XYZ());
  f->axis = frame->Direction().XYZ();
  f->x_dir = frame->XDirection().XYZ();
  f->y_dir = frame->YDirection().XYZ();
  f->r1 /= unit.scale;
  f->r2 /= unit.scale;
  return true;
}

// The face's bounding edges (no seams, no points) among the body's records,
// and some point of it.
void add_face_edges(FaceRecord* f, const TopTools_IndexedMapOfShape& edges,
                    const std::vector<int>& index, const UnitFrame& unit) {
  for (TopExp_Explorer e(f->face, TopAbs_EDGE); e.More(); e.Next()) {
    const TopoDS_Edge& edge = TopoDS::Edge(e.Current());
    const int k = index[edges.FindIndex(edge)];
    if (k < 0 || BRep_Tool::IsClosed(edge, f->face)) continue;  // a point, or a seam
    if (std::find(f->edges.begin(), f->edges.end(), k) == f->edges.end()) f->edges.push_back(k);
  }
  TopExp_Explorer v(f->face, TopAbs_VERTEX);
  f->a_point =
      v.More()
          ? unit.to_unit(BRep_Tool::Pnt(TopoDS::Vertex(v.Current())).XYZ())
          : unit.to_unit(f->surface->Value(0.5 * (f->u1 + f->u2), 0.5 * (f->v1 + f->v2)).XYZ());
}

// The line a face of revolution turns about, from the surface's own frame;
// false for a face that turns about none. A sphere turns about every line
// through its centre (*sphere).
bool revolution_of(const FaceRecord& f, const gp_Ax3& frame, gp_Ax1* axis, bool* sphere) {
  *sphere = false;
  switch (f.type) {
    case GeomAbs_Cylinder:
    case GeomAbs_Cone:
    case GeomAbs_Torus:
      *axis = frame.Axis();
      return true;
    case GeomAbs_Sphere:
      *axis = frame.Axis();
      *sphere = true;
      return true;
    case GeomAbs_SurfaceOfRevolution:
      *axis = BRepAdaptor_Surface(f.face, Standard_False).AxeOfRevolution();
      return true;
    default:
      return false;
  }
}

// The records of the body's faces, each with a box, and the axes of those
// that turn about one; false with why in *error for an unbounded face.
bool add_faces(const TopTools_IndexedMapOfShape& faces, const TopTools_IndexedMapOfShape& edges,
               const std::vector<int>& edge_index, ExactBody::Data* d, std::string* error) {
  std::vector<std::pair<gp_Ax1, double>> spheres;  // taken after the axes they may lie on
  for (int i = 1; i <= faces.Extent(); ++i) {
    FaceRecord f;
    gp_Ax3 frame;
    if (!describe_surface(TopoDS::Face(faces(i)), d->frame, &f, &frame)) {
      *error = "face " + std::to_string(i) + " is unbounded";
      return false;
    }
    Bnd_Box b;
    BRepBndLib::Add(f.face, b, Standard_False);
    if (b.IsVoid()) continue;  // nothing of it to measure
    f.box = corners_of(b, d->frame);
    add_face_edges(&f, edges, edge_index, d->frame);
    gp_Ax1 axis;
    bool sphere = false;
    if (revolution_of(f, frame, &axis, &sphere)) {
      GProp_GProps props;
      BRepGProp::SurfaceProperties(f.face, props);
      if (sphere) {
        spheres.push_back({axis, std::abs(props.Mass())});
      } else {
        add_revolution(&d->revolutions, axis, std::abs(props.Mass()), false, d->frame.scale);
      }
    }
    d->faces.push_back(std::move(f));
  }
  for (const auto& sp : spheres)
    add_revolution(&d->revolutions, sp.first, sp.second, true, d->frame.scale);
  return true;
}

// The body's vertices, edges and faces as records in its unit frame; false
// with why in *error when there is nothing to bound from exact geometry.
bool make_records(const TopoDS_Shape& body, ExactBody::Data* d, std::string* error) {
  if (body.IsNull()) {
    *error = "the body is empty";
    return false;
  }
  TopTools_IndexedMapOfShape faces, edges, vertices;
  TopExp::MapShapes(body, TopAbs_FACE, faces);
  TopExp::MapShapes(body, TopAbs_EDGE, edges);
  TopExp::MapShapes(body, TopAbs_VERTEX, vertices);
  if (!faces_are_exact(faces, error) || !set_unit_frame(body, d, error)) return false;
  for (int i = 1; i <= vertices.Extent(); ++i)
    d->vertices.push_back(d->frame.to_unit(BRep_Tool::Pnt(TopoDS::Vertex(vertices(i))).XYZ()));
  std::vector<int> edge_index;
  return add_edges(edges, d, &edge_index, error) && add_faces(faces, edges, edge_index, d, error);
}

}  // namespace

ExactBody::ExactBody() = default;
ExactBody::~ExactBody() = default;

bool ExactBody::prepare(const TopoDS_Shape& body, std::string* error) {
  data_ = std::make_unique<Data>();
  Data& d = *data_;
  if (!make_records(body, &d, error)) {
    data_.reset();
    return false;
  }
  std::stable_sort(
      d.revolutions.begin(), d.revolutions.end(),
      [](const RevolutionAxis& a, const RevolutionAxis& b) { return a.area > b.area; });
  add_samples(d, &d.samples);
  return true;
}

const std::vector<gp_Pnt>& ExactBody::samples() const { return data_->samples; }
const std::vector<RevolutionAxis>& ExactBody::revolutions() const { return data_->revolutions; }
gp_Pnt ExactBody::centre() const { return gp_Pnt(data_->frame.centre); }
double ExactBody::size() const { return data_->frame.scale; }

}  // namespace ufhost
