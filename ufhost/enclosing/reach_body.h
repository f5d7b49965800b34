// The records of a body prepared for bounding (reach.h): its faces, edges and
// vertices in a frame where the body spans about a unit, their control nets
// as rational Bezier pieces, and whether a point lies on a face. Shared by
// reach_body.cpp, which fills them, reach_nets.cpp, which makes and splits
// their nets, and reach.cpp, which bounds with them.
#pragma once

#include <BRepTopAdaptor_FClass2d.hxx>
#include <GeomAbs_SurfaceType.hxx>
#include <Geom_Surface.hxx>
#include <ShapeAnalysis_Surface.hxx>
#include <TopoDS_Edge.hxx>
#include <TopoDS_Face.hxx>
#include <gp_Ax3.hxx>
#include <gp_XYZ.hxx>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "ufhost/enclosing/reach.h"

namespace ufhost {
namespace reach_detail {

// A rational Bezier curve (nv == 1) or tensor-product patch: nu rows of nv
// poles, their positive weights, and the rectangle of its owner's B-spline
// parameters it covers (curves: u0, u1).
struct Net {
  int nu = 0, nv = 1;
  std::vector<gp_XYZ> p;
  std::vector<double> w;
  double u0 = 0.0, u1 = 1.0, v0 = 0.0, v1 = 1.0;
};

using Corners = std::array<gp_XYZ, 8>;  // a box that holds the geometry

struct EdgeRecord {
  TopoDS_Edge edge;
  enum Shape { kLine, kCircle, kOther } shape = kOther;
  // kCircle: centre, axis and radius in the unit frame, the parameter range
  // (angles from the circle's own X direction) and that direction.
  gp_XYZ centre, axis, x_dir, y_dir;
  double radius = 0.0, first = 0.0, last = 0.0;
  double band = 0.0;  // its tolerance, in the unit frame
  Corners box;
  mutable bool converted = false;
  mutable std::vector<Net> nets;
};

struct FaceRecord {
  TopoDS_Face face;
  Handle(Geom_Surface) surface;  // located
  GeomAbs_SurfaceType type = GeomAbs_OtherSurface;
  // Cylinders, cones, spheres and tori: the surface's frame in the unit
  // frame and its radii (the sphere's or cylinder's in r1; torus: major r1,
  // minor r2).
  gp_XYZ origin, axis, x_dir, y_dir;
  double r1 = 0.0, r2 = 0.0;
  double u1 = 0.0, u2 = 0.0, v1 = 0.0, v2 = 0.0;  // its parameter bounds
  Corners box;
  std::vector<int> edges;  // its bounding edges: no seams, no degenerate edges
  gp_XYZ a_point;          // some point of it, in the unit frame
  // Its nets over its parameter bounds, made when first needed: 0 not yet,
  // 1 made, -1 the surface cannot be converted.
  mutable int converted = 0;
  mutable std::vector<Net> nets;
  mutable bool linear_param = false;  // the nets' parameters are the face's
  mutable std::unique_ptr<BRepTopAdaptor_FClass2d> classifier;
  mutable Handle(ShapeAnalysis_Surface) projector;
};

// The body's faces are measured in a frame centred on its rough box and
// scaled by half its diagonal, so that coordinates are about 1 whatever the
// body's size or place.
struct UnitFrame {
  gp_XYZ centre;
  double scale = 1.0;
  gp_XYZ to_unit(const gp_XYZ& p) const { return (p - centre) / scale; }
  gp_XYZ from_unit(const gp_XYZ& p) const { return centre + p * scale; }
};

// Whether every coordinate of `p` is a finite number.
inline bool finite(const gp_XYZ& p) {
  return std::isfinite(p.X()) && std::isfinite(p.Y()) && std::isfinite(p.Z());
}

// Where the point `p` (unit frame) of the face's surface lies: inside the
// face, outside it, or too near its boundary to tell (the face's classifier
// takes a band about the polygons of its edges for the boundary, wide beyond
// a corner where two edges meet), or where the surface cannot be evaluated.
// `net` and `corner` (0 to 3: u0v0, u1v0, u0v1, u1v1), when given, name the
// corner of a net the point is, whose parameters are then known exactly.
enum class Where { kIn, kOut, kUnsure };
Where where_on(const FaceRecord& face, const UnitFrame& frame, const gp_XYZ& p, const Net* net,
               int corner);

}  // namespace reach_detail

struct ExactBody::Data {
  reach_detail::UnitFrame frame;
  std::vector<gp_XYZ> vertices;  // unit frame
  std::vector<reach_detail::EdgeRecord> edges;
  std::vector<reach_detail::FaceRecord> faces;
  std::vector<gp_Pnt> samples;  // the body's own units
  std::vector<RevolutionAxis> revolutions;
  // How far rounding may move a coordinate, in the unit frame: a few units
  // of rounding of the body's distance from the origin over its size, and
  // of the halvings of nets.
  double rounding = 0.0;
  // Pieces the measures of this body may still split between them, so that
  // a body whose measures cannot settle still ends in bounded time.
  mutable long splits_left = 1500000;
};

}  // namespace ufhost
