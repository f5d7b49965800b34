// Inside the minimum-dimension search: its operations, the two ways of
// evaluating a turned cloud, and the scan and refinement written once for
// both.
//
// The command evaluates the cloud the fast way: the rotation is computed once
// per angle and applied to each distinct point in a vectorised loop. The plain
// way turns one copy of every corner at a time with rotate_point, exactly as
// the operations below are documented. Both give the same bits. The plain way
// ships as the fast way's fallback for axes it cannot take; chosen from the
// start (Evaluation::kPlain, the one seam) it is what the tests and the
// benchmark hold the fast way to. Only the search's sources, its tests and its
// benchmark include this header.
#pragma once

#include <functional>
#include <vector>

#include "host/uf.h"
#include "platform/winplat.h"

// [SECTION] The operations of the search

// The number of facet corners of the model, as the host counts them.
int count_facet_vertices(tag_t facet_model);
// Writes the corners of the model's facets to cloud[start] onwards, facet
// after facet, never more than `count` (what count_facet_vertices gave).
// A facet whose corners the host cannot give in full is left out. Returns
// the number of corners written.
int load_facet_vertices(tag_t facet_model, int start, int count, double (*cloud)[3]);

// Turns the point about the line through the origin along `axis` by `angle`
// radians; the axis is normalised and written back.
void rotate_point(double point[3], double axis[3], double angle);
void rotate_cloud(double angle, double axis[3], int count, double (*cloud)[3]);
void translate_cloud(const double vector[3], int count, double (*cloud)[3]);
// Lower and upper corner of the cloud turned by `angle`; the cloud is read only.
void rotated_extents(double lower[3], double upper[3], double angle, double axis[3], int count,
                     double (*cloud)[3]);
void scan_rotation(double axis[3], double* xy_sum, double lower[3], double upper[3], double* angle,
                   int count, double (*cloud)[3]);
double refine_rotation(double lower[3], double upper[3], double axis[3], double start, int count,
                       double (*cloud)[3], double tolerance);

// The path the user chose for the search log; empty when not confirmed.
TextBuffer ask_log_path();

// Turns (code 1) or copies turned (code 2) the objects by `degrees` about the
// line through `origin` along `direction`. With code 2 the copies' tags go to
// *copies, which must have room for `count` tags.
void transform_objects(const tag_t* objects, int count, double direction[3], double degrees,
                       int code, tag_t** copies, double origin[3]);

// [SECTION] Two ways of evaluating a turned cloud

// Lower and upper corner of some cloud turned by `angle` radians about
// `axis` (normalised and written back, as rotate_point does). With `with_z`
// false the Z coordinates of the corners may be left unwritten. Returns true
// when they were written.
using ExtentsFn = std::function<bool(double lower[3], double upper[3], double angle, double axis[3],
                                     bool with_z)>;

// The whole-degree scan over the angles 0, 1, 2, ... degrees (each the one
// before plus one degree) up to, not including, 180 degrees less one step;
// the debug build also takes the angle that follows. The first angle with the
// smallest XY sum wins.
// Outputs: xy_sum, lower, upper and angle as scan_rotation gives them.
void scan_rotation_by(const ExtentsFn& extents, double axis[3], double* xy_sum, double lower[3],
                      double upper[3], double* angle);

// The halving refinement from `start`: the step starts at half a degree,
// the minus side is tried first, a move is made only when it lowers the XY
// sum. Ends when the tolerance is not below the spread of the steps, or as
// soon as no later move can be made any more (the step has fallen to 0 or
// below the resolution of the angle), which leaves the same result the spread
// test would.
// Outputs:
//   lower, upper  corners at the returned angle
//   passes        loop passes made (may be null)
// Returns the refined angle.
double refine_rotation_by(const ExtentsFn& extents, double lower[3], double upper[3],
                          double axis[3], double start, double tolerance, int* passes);

// rotated_extents and rotate_cloud written the plain way: every corner
// copied and turned with rotate_point, one at a time. A count below 1 gives
// zero corners. The plain scan and refinement are scan_rotation_by and
// refine_rotation_by with rotated_extents_plain as the evaluation.
void rotated_extents_plain(double lower[3], double upper[3], double angle, double axis[3],
                           int count, double (*cloud)[3]);
void rotate_cloud_plain(double angle, double axis[3], int count, double (*cloud)[3]);

// How the search evaluates the cloud: the fast way, as the command ships, or
// the plain way from the start.
enum class Evaluation { kFast, kPlain };

// The vertex cloud as the search works on it. `cloud` keeps every corner;
// x, y, z hold each distinct point once (distinct by bit pattern, in order of
// first appearance), which is all the corners of the box depend on. Turning
// acts on both. When an axis comes in that rotate_point would not leave as it
// is after normalising it once, the distinct points are dropped and every
// later operation works the plain way on `cloud`, so the bits stay the same.
struct SearchCloud {
  bool plain = false;
  int count = 0;
  double (*cloud)[3] = nullptr;  // the caller's array; turned in place
  std::vector<double> x, y, z;
};

// Prepares `cloud` (count corners; the caller keeps it alive) for the search,
// evaluated the way `evaluation` says.
void prepare_search_cloud(Evaluation evaluation, int count, double (*cloud)[3],
                          SearchCloud* search);
bool search_cloud_extents(SearchCloud* search, double lower[3], double upper[3], double angle,
                          double axis[3], bool with_z);
void search_cloud_rotate(SearchCloud* search, double angle, double axis[3]);
int search_cloud_distinct(const SearchCloud& search);

// One rotation pass of the search about `axis`: scan, then refinement; the
// cloud is not turned.
struct SearchPass {
  double axis[3];
  double coarse;  // the scan's angle
  double angle;   // the refined angle
  double lower[3];
  double upper[3];
};
void search_pass(SearchCloud* search, const double axis[3], double tolerance, SearchPass* pass);

// The passes of the search command (about Z, Y, X and Z again; Z, Y, X in
// the debug build), each turning the cloud by its refined angle when that is
// not 0. After each pass, once the cloud is turned, `done` (when set) gets
// the pass's number from 0 and the pass: the command turns the copies and
// writes the log there. Returns the number of passes written to `passes`
// (room for 4).
using PassDone = std::function<void(int number, const SearchPass& pass)>;
int search_passes(SearchCloud* search, double tolerance, SearchPass* passes,
                  const PassDone& done = nullptr);

// search_min_dimensions with the cloud evaluated the way `evaluation` says;
// the command itself is Evaluation::kFast.
void search_min_dimensions_by(const tag_t* objects, int n, Evaluation evaluation);
