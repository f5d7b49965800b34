// Where a plane normal to an axis first meets a face, an edge or a vertex,
// worked out from the exact geometry, and what the kernel's boolean section
// answers for planes near those places.
//
// The boolean section of a leaf by a plane counts as meeting it when it gives
// something within the leaf's tolerance of the plane. Near an extreme of the
// leaf along the axis that depends on what lies at the extreme:
//   - a vertex, or a point inside an edge where the edge turns back: the
//     section holds that point, so planes within the tolerance of it meet;
//   - a line of a cylinder lying along the plane: the kernel finds the line
//     out to the face's tolerance plus the plane's own;
//   - an inner point where a sphere or a torus touches the plane: the kernel
//     finds nothing beyond the point, and the small loop of every plane that
//     cuts in.
// Elsewhere the plane cuts the leaf through, and the section is plainly
// there. What the kernel answers near other geometry (inner extremes of
// free-form surfaces, tilted tori, edges without analytic form that turn
// back near a vertex of loose tolerance, ...) is left to the kernel.
#pragma once

#include <TopoDS_Shape.hxx>
#include <array>
#include <gp_Dir.hxx>
#include <gp_Pnt.hxx>
#include <utility>
#include <vector>

namespace ufhost {

// Whether the kernel's section by a plane meets a leaf.
enum class Meets { No, Yes, Unknown };

// A face's, edge's or vertex's own tolerance, never below the kernel's
// confusion distance: how close the section must come to the plane.
double leaf_tolerance(const TopoDS_Shape& leaf);

// How far `p` lies from the plane through `origin` with normal `n`. Every
// comparison with a band goes through this one expression, so that a point
// on a threshold falls on the same side of it wherever it is judged.
double plane_distance(const gp_Pnt& p, const gp_Pnt& origin, const gp_Dir& n);

class Extremes {
 public:
  // `leaf`: a face, or an edge or vertex that belongs to no face, located
  // as in its body. `band`: how close the section must come to the plane,
  // the leaf's own tolerance. Works out all three axes at once.
  Extremes(const TopoDS_Shape& leaf, double band);

  // The kernel's answer for the plane through `origin` with normal `n`,
  // which lies along axis `axis` (0, 1, 2 for X, Y, Z), pointing either way.
  Meets answer(int axis, const gp_Pnt& origin, const gp_Dir& n) const;

  // The leaf's extent along `axis`: coordinates of its outermost points.
  // false when the leaf has no geometry to measure.
  bool extent(int axis, double* lo, double* hi) const;

 private:
  struct Contact {
    enum Kind {
      Point,    // met while |distance| <= sure; beyond `reach` certainly not
      Tangent,  // met when the plane cuts in past `at`, never beyond it
      Unsure,   // the kernel alone can tell between `from` and `to`
    } kind = Point;
    gp_Pnt at;
    double sure = 0.0, reach = 0.0;  // Point
    bool computed = false;           // Point: worked out here, not a vertex of the leaf
    bool has_twin = false;           // Point: the kernel may give `twin` instead
    gp_Pnt twin;
    bool has_ends = false;        // Point inside an edge: the edge's ends,
    gp_Pnt ends[2];               // and how near the plane they make the
    double end_reach = 0.0;       // kernel run the section out to them
    int side = 0;                 // Tangent: +1 a largest coordinate, -1 a smallest
    double from = 0.0, to = 0.0;  // Unsure: coordinates along the axis
  };
  struct Axis {
    std::vector<Contact> contacts;
    bool measured = false;
    double lo = 0.0, hi = 0.0;                     // outermost points known to lie on the leaf
    std::vector<std::pair<double, double>> loose;  // where edges of loose tolerance run
  };

  void add(int axis, const Contact& contact);
  void touch(int axis, double at);  // a point of the leaf lies at `at`
  void add_vertices(const TopoDS_Shape& leaf);
  void add_edge(const TopoDS_Shape& edge);
  // An edge's points at its ends and where it turns back along `axis`, as
  // contacts: a loose edge's (tolerance beyond twice the band) as where it
  // may run, a tight one's as points of the leaf.
  void add_loose_edge(int axis, const gp_Pnt ends[2], const std::vector<gp_Pnt>& turns, double tol);
  void add_tight_edge(int axis, const gp_Pnt ends[2], const std::vector<gp_Pnt>& turns, double tol);
  void add_face(const TopoDS_Shape& face);  // extremes_faces.cpp, with what follows

  // One function per kind of surface, each for one axis.
  struct Face;
  void add_cylinder(Face& f, int axis);
  void add_cone(Face& f, int axis);
  void add_sphere(Face& f, int axis);
  void add_torus(Face& f, int axis);
  void add_freeform(Face& f, int axis);
  void add_tangent(int axis, const gp_Pnt& p, int side);
  void add_unsure(const Face& f, int axis);
  Contact edge_like(const Face& f, const gp_Pnt& at) const;
  static bool level_poles(const Face& f, int axis);

  double band_ = 0.0;
  // A face lying over itself, or geometry that cannot be evaluated: every
  // answer is the kernel's.
  bool unworkable_ = false;
  std::vector<std::pair<gp_Pnt, double>> vertices_;  // points and tolerances
  std::array<Axis, 3> axes_;
};

}  // namespace ufhost
