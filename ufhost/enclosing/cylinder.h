// The round and the hexagonal bar a turned part is cut from: the smallest
// cylinder that holds the body, and the smallest regular hexagon about the
// same axis.
//
// Both are measured against the body's exact faces and edges, never their
// facets (reach.h): the largest distance of the body from an axis and its
// extent along the axis are bounded from above by the control nets of its
// faces and edges (a rational B-spline lies in the convex hull of its poles,
// and a distance from a line is convex, so it is largest over that hull at a
// pole) and from below by points of the body, and refined until the bounds
// agree within the tolerance asked. Faces of revolution about the axis and
// circles are measured in closed form.
//
// What `exact_to` guarantees, for exact geometry (the faces' surfaces and
// the edges' curves as the kernel holds them, tolerances aside):
//   - the cylinder holds the body: no point of it lies farther than
//     diameter / 2 from the axis, nor outside [0, length] along it from
//     `origin`;
//   - no cylinder about a line parallel to `axis` holds the body with a
//     diameter smaller than `diameter - exact_to`: the diameter is at most
//     exact_to above the smallest for that direction (the enclosing circle
//     of points of the body seen along it bounds that from below);
//   - the body reaches within exact_to of both ends.
// The direction itself is the best of those tried (see smallest_cylinder);
// no claim is made that no other direction does better.
#pragma once

#include <TopoDS_Shape.hxx>
#include <gp_Dir.hxx>
#include <gp_Pnt.hxx>

#include <string>
#include <vector>

namespace ufhost {

struct Cylinder {
  gp_Pnt origin;  // on the axis, at the body's lowest extent along it
  gp_Dir axis;    // origin + length * axis is the other end
  double diameter = 0.0;
  double length = 0.0;
  double exact_to = 0.0;  // see above; at least the rounding of the coordinates
  // The axis is the line of the body's faces of revolution (cylinders,
  // cones, tori, surfaces of revolution, or a line through the centre of its
  // spheres), kept because no line parallel to it does better.
  bool from_revolution = false;
};

// A regular hexagon centred on a cylinder's axis, across it.
struct Hexagon {
  double across_flats = 0.0;  // the width between opposite flats
  double length = 0.0;        // the cylinder's
  // The normal of one pair of flats, across the axis, and its angle from
  // reference_direction(axis), turning positively about the axis: in
  // [0, pi/3), the hexagon repeating every sixth of a turn.
  gp_Dir flat_normal;
  double turn_rad = 0.0;
  // The hexagon at that turn holds the body, and its width is at most
  // exact_to above the narrowest at that turn.
  double exact_to = 0.0;
};

// The direction across `axis` from which hexagon turns are measured: the
// global X, Y or Z axis least along `axis` (the first of them on a tie),
// made square to it.
gp_Dir reference_direction(const gp_Dir& axis);

// The smallest cylinder that holds `body` (a solid, a shell or a compound of
// them with exact faces). Tried, and the smallest diameter kept, then the
// shortest length, then the most area about it:
//   - the lines of its faces of revolution, most area first, each as it is
//     and re-centred on the smallest circle that holds the body seen along
//     it;
//   - the three `blank_edges` (the edges of the body's blank), or when none
//     are given the body's principal axes of inertia (X, Y and Z when those
//     cannot be had), each re-centred likewise;
//   - with no face of revolution, directions searched: a spread of them
//     measured on points of the body, the best refined locally, starting
//     from the directions above as well, then measured exactly.
// `tolerance` (body units, > 0) is how close the bounds of each measure are
// refined; exact_to states what was reached.
// false with the reason in *error on a body without exact faces (a mesh, a
// wire, nothing), with coordinates that are not finite, or when the kernel
// fails; *out is then left alone. Runs in bounded time on any input. The
// caller marks it as kernel work (containment.h): nothing here handles
// signals.
//
// What "smallest" means: the least diameter (a cylinder across a nut is
// narrower than one along its axis), or the least volume, diameter squared
// times length (the bar a nut is cut from lies along its axis).
enum class Smallest { kDiameter, kVolume };
bool smallest_cylinder(const TopoDS_Shape& body, const std::vector<gp_Dir>& blank_edges,
                       double tolerance, Cylinder* out, std::string* error,
                       Smallest smallest = Smallest::kDiameter);

// The smallest cylinder along `axis` that holds the body: its line placed
// where the body seen along it fits the smallest circle. Same guarantees
// and failures as smallest_cylinder; from_revolution is false.
bool cylinder_along(const TopoDS_Shape& body, const gp_Dir& axis, double tolerance, Cylinder* out,
                    std::string* error);

// The smallest regular hexagon centred on `about`'s axis that holds the body
// seen along it, over the hexagon's turn about the axis: widths between flats
// measured exactly at the turns that points of the body suggest. Same
// failures as smallest_cylinder, and false on an axis that is not finite.
bool smallest_hexagon(const TopoDS_Shape& body, const Cylinder& about, double tolerance,
                      Hexagon* out, std::string* error);

}  // namespace ufhost
