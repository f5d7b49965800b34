// How far a body reaches: its largest distance from a line, or its largest
// coordinate along a direction, bounded on both sides from the body's exact
// geometry and refined until the bounds agree.
//
// Both are convex functions of position. A face's surface lies in the convex
// hull of its control net (rational B-spline nets with positive weights
// included), and a convex function is largest over a hull at one of its
// corners: the largest value over a net's poles bounds the face from above.
// Points of the body (vertices, points of edges, points of faces that the
// face's own classifier puts inside) bound it from below. Pieces of nets are
// split until the two agree within the tolerance asked, and a piece is
// dropped when it cannot hold the largest value:
//   - its upper bound is below a value already found on the body;
//   - the function cannot turn inside it: the largest value of a face lies on
//     its edges or where the surface's derivatives are normal to the
//     function's gradient, of an edge at its vertices or where the curve's
//     tangent is; where every gradient at a pole makes an angle below a right
//     angle with every direction the piece's derivative can take (the
//     differences of its poles), there is no such place;
//   - it lies clear of the face: no edge of the face comes near it and one of
//     its points is outside.
// Planes hold no inner largest value of a convex function (their edges do), a
// straight edge none but its vertices. Faces of revolution about the line
// measured from, or about the direction measured along, have a largest value
// known in closed form (a cylinder's radius, a torus's outer equator or top
// circle, a sphere's point facing away), which is taken for the face when one
// of its points is seen there, and circles are measured in closed form.
#pragma once

#include <TopoDS_Shape.hxx>
#include <gp_Dir.hxx>
#include <gp_Pnt.hxx>

#include <memory>
#include <string>
#include <vector>

namespace ufhost {

// What is measured at each point of a body.
struct Measure {
  enum Kind {
    kFromLine,  // distance from the line through `point` along `dir`
    kAlong,     // coordinate along `dir`: the dot product with the position
  };
  Kind kind = kAlong;
  gp_Pnt point;
  gp_Dir dir;
};

// The largest value of a measure over a body, in the body's units.
struct Reach {
  double lower = 0.0;  // a value the body reaches, at `where`
  double upper = 0.0;  // a value the body never exceeds
  gp_Pnt where;
  // upper - lower came within the tolerance asked; when not (the work was
  // cut short, or geometry cannot be bounded closer), both still hold.
  bool settled = false;
};

// The axis of a face of revolution and the area of the faces about it.
struct RevolutionAxis {
  gp_Pnt point;
  gp_Dir dir;
  double area = 0.0;
  // A sphere: every line through `point` is an axis of it; `dir` is the
  // sphere's own.
  bool centre_only = false;
};

// A body's faces, edges and vertices prepared for bounding. Holds what it
// converts and classifies from one measure to the next; not for use from
// two threads at once.
class ExactBody {
 public:
  ExactBody();
  ~ExactBody();
  ExactBody(const ExactBody&) = delete;
  ExactBody& operator=(const ExactBody&) = delete;

  // Takes the body's faces, edges and vertices. false, with the reason in
  // *error, when there is nothing to bound from exact geometry: no faces, a
  // face that is only a mesh, coordinates that are not finite, an edge with
  // no curve. May throw Standard_Failure from the kernel.
  bool prepare(const TopoDS_Shape& body, std::string* error);

  // The largest value of `measure` over the body, refined until upper and
  // lower differ by at most `tolerance` (in the body's units) or the work
  // allowed for one measure is spent. Never below the rounding of the
  // body's coordinates. May throw Standard_Failure from the kernel.
  Reach reach(const Measure& measure, double tolerance) const;

  // Points of the body: its vertices, points along its curved edges and
  // inside its curved faces. Enough to seed searches, not to bound.
  const std::vector<gp_Pnt>& samples() const;

  // The axes of its faces of revolution, most area first; faces about one
  // line share an entry.
  const std::vector<RevolutionAxis>& revolutions() const;

  // The middle of the body's rough box and half its diagonal.
  gp_Pnt centre() const;
  double size() const;

  // Its records (reach_body.h), for the code that bounds with them.
  struct Data;

 private:
  std::unique_ptr<Data> data_;
};

}  // namespace ufhost
