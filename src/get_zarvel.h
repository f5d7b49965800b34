// Faceting, facet corners and the exact extents of bodies.
#pragma once

#include "host/uf.h"

// The tolerances, in part units, to which the commands refine the extremes
// of bodies: the object extents command, and the final measure of the turned
// copies in the minimum-dimension search.
constexpr double kExtentsTolerance = 1e-8;
constexpr double kSearchFinalTolerance = 1e-9;

// Facets the solid body named by *object. Returns 0 and replaces *object by
// the new facet model's tag, or returns 1 and leaves *object when the host
// made no facet model.
int make_faceted(tag_t* object);

// Widens min_vertex and max_vertex, coordinate by coordinate, by every corner
// of every facet of the model. With `first` set they are seeded from the first
// corner. Returns 0; 1 when the model has no facets or its corners could not
// be read (the corners are then left as they came).
int update_facet_extremes(tag_t facet_model, double min_vertex[3], double max_vertex[3],
                          bool first);

// Measures the axis-aligned size of the bodies taken together: first from
// their facets, then each extreme is tightened against the exact body.
// Inputs:
//   objects    bodies to measure; the host owns them
//   count      number of tags; nothing happens below 1
//   tolerance  how close a refined extreme must get, in part units
//   draw       leave the box's corner edges and points in the part
// Output:
//   lengths    lengths along X, Y and Z (three doubles), unwritten on failure
void compute_extents(const tag_t* objects, int count, double* lengths, double tolerance,
                     bool draw);

// Refines one extreme coordinate of `body` by section-plane probes.
// Inputs:
//   sign       -1 a smallest coordinate, +1 a largest
//   axis       0, 1, 2 for X, Y, Z
//   pt         the plane's point; pt[axis] is the coordinate to refine
//   dr         unit normal along the positive axis
// Returns the refined coordinate, also left in pt[axis].
double refine_extreme(tag_t body, int sign, int axis, double pt[3], double dr[3],
                      double tolerance);

// 1 when the host made section curves of the body with the plane, else 0.
int has_section(tag_t body, tag_t plane);
