// Faceting, facet corners and the exact extents of bodies.
#pragma once

#include "host/uf.h"

// The tolerances, in part units, to which the commands refine the extremes
// of bodies: the object extents command, and the final measure of the turned
// copies in the minimum-dimension search.
constexpr double kExtentsTolerance = 1e-8;
constexpr double kSearchFinalTolerance = 1e-9;

// Tells the user `text` in a message box titled "Внимание" with an OK
// button and no owner window: the About box, a body that gives no facets and
// a search that cannot start.
void tell_user(const char* text);

// Facets the solid body named by *object. Returns 0 and replaces *object by
// the new facet model's tag, or returns 1 and leaves *object when the host
// made no facet model.
int make_faceted(tag_t* object);

// The facet after `facet_id` in the host's order (-1: the first), or -1 after
// the last. A failed call ends the walk too: a host that fails might leave
// the identifier as it was, and the walk would never end.
int next_facet(tag_t facet_model, int facet_id);

// Reads the corners of one facet into `vertices` (room for max_verts points).
// Returns their number, or 0 when the host cannot give them all: a failed
// query, a count outside 1 to max_verts, or another count of corners than it
// said. The buffer's content is then not to be read.
int read_facet(tag_t facet_model, int facet_id, int max_verts, double (*vertices)[3]);

// Widens min_vertex and max_vertex, coordinate by coordinate, by every corner
// of every facet of the model whose corners the host gives in full. With
// `first` set they are seeded from the first corner. Returns 0; 1 when the
// model has no facets or none could be read (the corners are then left as
// they came).
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

// Refines one extreme coordinate of `body` by section-plane probes. A probe
// is a plane through pt, normal to the axis; it cuts when the host makes
// section curves of the body with it.
//  - The start is a facet coordinate. Facet corners lie on the body, so the
//    exact extreme is at or beyond it: planes cut while the march outward by
//    0.01 has not yet passed the extreme.
//  - From the first miss on, the step halves at every miss and the plane goes
//    back to the last forward position plus the new step; a cut moves it on
//    by the step. The coordinate kept is the one after the last forward
//    move: one step beyond the last plane that cut, not yet probed.
//  - The loop ends after the miss that brings the step below a tenth of the
//    tolerance (the 24th halving for 1e-8, the 27th for 1e-9), or after a
//    cut made with a step no larger than the tolerance.
// The result thus lies beyond the extreme as the host sees it by at most a
// step; a start that cuts with nothing further out gives the start plus
// 0.01. A start that misses (a facet corner the host does not count as on
// the body) is first walked inward; a body the walk crosses without a cut
// keeps its facet coordinate, and so does a march that goes on cutting far
// beyond the body's extent. That extent is the host's box of the body, in
// either corner order, or when the host has none the facet box widened by
// its diagonal.
// Inputs:
//   sign       -1 a smallest coordinate, +1 a largest
//   axis       0, 1, 2 for X, Y, Z
//   pt         the plane's point; pt[axis] is the coordinate to refine
//   dr         unit normal along the positive axis
//   facets     the box of the facet corners the start came from: lower
//              corner, then upper (six doubles); null when there is none,
//              and the start alone stands for it
// Returns the refined coordinate, also left in pt[axis].
double refine_extreme(tag_t body, int sign, int axis, double pt[3], double dr[3],
                      double tolerance, const double facets[6]);

// 1 when the host made section curves of the body with the plane, else 0.
int has_section(tag_t body, tag_t plane);

// Draws three edges of an axis-aligned box from its corner `from`, the first
// along axes[0] (0, 1, 2 for X, Y, Z), then along axes[1] and axes[2]: each
// ends where `from` with that one coordinate taken from the opposite corner
// `to` would be. The order of the edges gives the lines their tags; the tags
// are not kept, and a line the host does not make goes unreported.
void draw_box_edges(const double from[3], const double to[3], const int axes[3]);
// The orders of the edges the two commands draw.
constexpr int kAxesXYZ[3] = {0, 1, 2};
constexpr int kAxesZXY[3] = {2, 0, 1};
