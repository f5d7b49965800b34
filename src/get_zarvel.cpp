// Faceting, facet corners and the exact extents of bodies.
//
// [SECTION] Section-plane probes
// [SECTION] Extents of several bodies
// [SECTION] Facet models
// [SECTION] Drawing the box
//
// The six checked calls of this file are reported with their line numbers,
// and reports are compared across builds and releases: keep them on the
// lines they are on (the tests read the lines back from the reports).
#include "src/get_zarvel.h"

#include <cmath>
#include <cstddef>
#include <new>

#include "host/checked.h"
#include "platform/winplat.h"

static const char kSourceName[] = UF_SOURCE_NAME("get_zarvel");

//-----------------------------------------------------------------------------
// [SECTION] Section-plane probes
//-----------------------------------------------------------------------------

int has_section(tag_t body, tag_t plane) {
  tag_t objects[1] = {body};
  tag_t planes[1] = {plane};
  // Plain curves (0), all in one object (1), not joined (0); 0.0154 is the
  // distance within which the host would join curve ends.
  UF_CURVE_section_general_data_t general = {objects, 1, 0, 1, 0, 0.0154};
  UF_CURVE_section_planes_data_t plane_data = {planes, 1};
  tag_t curves = NULL_TAG;
  // No curves is no cut; nor is a failed request, whatever it left in the tag.
  return UF_CURVE_section_from_planes(&general, &plane_data, &curves) == 0 && curves != NULL_TAG;
}

namespace {

// Asks whether the plane cuts the body and deletes the plane; one that is not
// deleted goes with the rollback of compute_extents.
int probe(tag_t body, tag_t plane) {
  const int cut = has_section(body, plane);
  UF_OBJ_delete_object(plane);
  return cut;
}

// The body's extent along one axis, asked of the host only when a walk needs
// a bound, which it rarely does. The refinement trusts the host's answers;
// the bounds only keep a host that never answers "cut" (or always does) from
// holding the user in an endless loop. Without the host's box the facet box
// bounds the body once widened by its own diagonal: facet corners lie on the
// body, within the chord of its surfaces, and no faithful faceting has a
// chord that long. Without facets either, only the start is known.
struct Reach {
  tag_t body;
  int axis;
  const double* facets;  // lower corner, then upper corner; may be null
  double start;
  bool asked = false;
  double lo = 0.0, hi = 0.0;
  void ask() {
    if (asked) return;
    asked = true;
    double box[6];
    if (UF_MODL_ask_bounding_box(body, box) == 0 && std::isfinite(box[axis] - box[axis + 3])) {
      lo = std::fmin(box[axis], box[axis + 3]);  // either corner may come first
      hi = std::fmax(box[axis], box[axis + 3]);
    } else if (facets != NULL) {
      const double d = std::hypot(std::hypot(facets[3] - facets[0], facets[4] - facets[1]),
                                  facets[5] - facets[2]);
      lo = facets[axis] - d;
      hi = facets[axis + 3] + d;
    } else {
      lo = hi = start;
    }
  }
  // Walking inward, has c gone past the body's far side? No plane beyond it
  // can cut.
  bool passed(int sign, double c) {
    ask();
    return !(sign > 0 ? c >= lo : c <= hi);
  }
  // Marching outward, has c gone so far out that no sane host can still be
  // cutting the body there?
  bool overrun(int sign, double c) {
    const double out = sign * (c - start);
    if (out <= kMarchCheck) return false;
    ask();
    return out > (hi - lo) + kMarchCheck;
  }
  static constexpr double kMarchCheck = 1.0;
};

}  // namespace

// The probing as get_zarvel.h describes it. The planes' answers decide; the bounds of Reach, a
// coordinate too large for 0.01 to move and a tolerance of nothing only end walks that no answer
// would end, and then the facet coordinate stands.
double refine_extreme(tag_t body, int sign, int axis, double pt[3], double dr[3],
                      double tolerance, const double facets[6]) {
  const double start = pt[axis];
  if (!(tolerance > 0.0) || start + 0.01 == start || start - 0.01 == start) return start;
  Reach reach = {body, axis, facets, start};
  double step = 0.01, prev_step = 0.0, spread = tolerance + 1.0, kept = pt[axis];
  tag_t plane = NULL_TAG;
  // clang-format off
  CHECKED(UF_MODL_create_plane(pt,dr,&plane));
  int cut = probe(body, plane);
  while (!cut) {  // the start misses the body: walk inward until a plane cuts it
    pt[axis] = pt[axis] - sign * 0.01;
    if (reach.passed(sign, pt[axis])) return pt[axis] = start;  // the facet coordinate stands
    plane = NULL_TAG;
    CHECKED(UF_MODL_create_plane(pt,dr,&plane));
    cut = probe(body, plane);
  }
  // March outward by 0.01 while planes cut, then halve the step at each miss.
  while (tolerance < spread) {
    plane = NULL_TAG;
    CHECKED(UF_MODL_create_plane(pt,dr,&plane));
    // clang-format on
    if (probe(body, plane)) {
      // Kept: the coordinate after the move, one step past the plane that cut; a
      // step too fine to move a coordinate this large cannot come any closer.
      if (pt[axis] + sign * step == pt[axis]) break;
      pt[axis] = pt[axis] + sign * step;
      kept = pt[axis];
      spread = std::fabs(prev_step - step);
      if (reach.overrun(sign, pt[axis])) return pt[axis] = start;
    } else {
      prev_step = step;
      pt[axis] = pt[axis] - sign * step;
      step = step * 0.5;
      pt[axis] = pt[axis] + sign * step;
    }
    if (10 * std::fabs(prev_step - step) < tolerance) {
      pt[axis] = kept;
      break;
    }
  }
  return pt[axis];
}

//-----------------------------------------------------------------------------
// [SECTION] Extents of several bodies
//-----------------------------------------------------------------------------

static bool gather_extremes(const tag_t* objects, int count, double min_vertex[3],
                            double max_vertex[3], tag_t on_mm_tag[6]);
static void refine_corners(const tag_t on_mm_tag[6], double min_vertex[3], double max_vertex[3],
                           double tolerance);
static void draw_corners(double min_vertex[3], double max_vertex[3]);

void compute_extents(const tag_t* objects, int count, double* lengths, double tolerance,
                     bool draw) {
  // The host never hands over an empty selection; a caller that does gets nothing.
  if (objects == NULL || count < 1) return;
  // Everything made from here to the rollback is scaffolding.
  UF_UNDO_mark_id_t Undo = 0;
  // clang-format off
  CHECKED(UF_UNDO_set_mark(UF_UNDO_invisible, NULL, &Undo));
  // clang-format on
  double min_vertex[3] = {0.0, 0.0, 0.0};
  double max_vertex[3] = {0.0, 0.0, 0.0};
  tag_t on_mm_tag[6];
  // A body without facets ends the command where it stands: the facet models
  // made so far stay, so the user can see how far it got.
  if (!gather_extremes(objects, count, min_vertex, max_vertex, on_mm_tag)) return;
  refine_corners(on_mm_tag, min_vertex, max_vertex, tolerance);
  if (lengths != NULL) {
    lengths[0] = std::fabs(max_vertex[0] - min_vertex[0]);
    lengths[1] = std::fabs(max_vertex[1] - min_vertex[1]);
    lengths[2] = std::fabs(max_vertex[2] - min_vertex[2]);
  }
  // Facet models, section curves and stray planes all go; what is drawn next stays.
  UF_UNDO_undo_to_mark(Undo, "");
  if (draw) draw_corners(min_vertex, max_vertex);
}

void tell_user(const char* text) {
  TextBuffer message_str(text);
  MessageBoxA(NULL, message_str, "Внимание", MB_OK);
}

// Facets every body and gathers the corners of all their facets. on_mm_tag
// names the body holding each extreme: min X, Y, Z, then max X, Y, Z. A body
// that gives no facets is told to the user and ends the gathering: false.
static bool gather_extremes(const tag_t* objects, int count, double min_vertex[3],
                            double max_vertex[3], tag_t on_mm_tag[6]) {
  // The work tag becomes the facet model; the caller's array keeps the bodies.
  tag_t work = objects[0];
  if (make_faceted(&work) != 0 || update_facet_extremes(work, min_vertex, max_vertex, true) != 0) {
    tell_user("Error in make faceted \n");
    return false;
  }
  for (int k = 0; k < 6; ++k) on_mm_tag[k] = objects[0];
  for (int i = 1; i < count; ++i) {
    work = objects[i];
    const double old_min[3] = {min_vertex[0], min_vertex[1], min_vertex[2]};
    const double old_max[3] = {max_vertex[0], max_vertex[1], max_vertex[2]};
    // A body without facets would otherwise silently drop out of the measure.
    if (make_faceted(&work) || update_facet_extremes(work, min_vertex, max_vertex, false)) {
      tell_user("Error in make faceted\n");
      return false;
    }
    // Strictly: on a tie the body earlier in the array keeps the extreme.
    for (int k = 0; k < 3; ++k) {
      if (min_vertex[k] < old_min[k]) on_mm_tag[k] = objects[i];
      if (max_vertex[k] > old_max[k]) on_mm_tag[k + 3] = objects[i];
    }
  }
  return true;
}

// Refines the six coordinates against the bodies that hold them, smallest X,
// Y, Z first, then the largest, each walk bounded by the facet box as gathered.
// The plane's normal points along the positive axis; the sign says which way is outward.
static void refine_corners(const tag_t on_mm_tag[6], double min_vertex[3], double max_vertex[3],
                           double tolerance) {
  const double facets[6] = {min_vertex[0], min_vertex[1], min_vertex[2],
                            max_vertex[0], max_vertex[1], max_vertex[2]};
  for (int k = 0; k < 6; ++k) {
    const int axis = k % 3;
    const int sign = k < 3 ? -1 : 1;
    double* corner = k < 3 ? min_vertex : max_vertex;
    double pt[3] = {0.0, 0.0, 0.0};
    double dr[3] = {0.0, 0.0, 0.0};
    pt[axis] = corner[axis];
    dr[axis] = 1.0;
    corner[axis] = refine_extreme(on_mm_tag[k], sign, axis, pt, dr, tolerance, facets);
  }
}

//-----------------------------------------------------------------------------
// [SECTION] Facet models
//-----------------------------------------------------------------------------

int make_faceted(tag_t* object) {
  if (object == NULL) return 1;
  // Our starting values, the rest zero; the host overwrites them with its defaults.
  UF_FACET_parameters_t parameters{};
  parameters.layout_version = -2, parameters.max_corners = 3, parameters.storage_kind = 1;
  parameters.curve_max_length = 1e3, parameters.convex_facets = true;
  parameters.view_direction[2] = 1.0;
  UF_FACET_ask_default_parameters(&parameters);
  tag_t facet_model = NULL_TAG;  // a failed call made none, whatever it left here
  if (UF_FACET_facet_solid(*object, &parameters, &facet_model) != 0) return 1;
  if (facet_model == NULL_TAG) return 1;
  *object = facet_model;
  return 0;
}

int next_facet(tag_t facet_model, int facet_id) {
  return UF_FACET_cycle_facets(facet_model, &facet_id) == 0 ? facet_id : -1;
}

int read_facet(tag_t facet_model, int facet_id, int max_verts, double (*vertices)[3]) {
  int n = 0, n_read = 0;
  if (UF_FACET_ask_num_verts_in_facet(facet_model, facet_id, &n) != 0 || n < 1 || n > max_verts)
    return 0;
  if (UF_FACET_ask_vertices_of_facet(facet_model, facet_id, &n_read, vertices) != 0) return 0;
  return n_read == n ? n : 0;
}

int update_facet_extremes(tag_t facet_model, double min_vertex[3], double max_vertex[3],
                          bool first) {
  int max_verts = 0;
  if (UF_FACET_ask_max_facet_verts(facet_model, &max_verts) != 0 || max_verts < 1) return 1;
  double(*vertices)[3] = new (std::nothrow) double[max_verts][3];
  if (vertices == NULL) return 1;  // the corners stay as they came
  int facets_read = 0;
  for (int facet_id = next_facet(facet_model, -1); facet_id != -1;
       facet_id = next_facet(facet_model, facet_id)) {
    const int n = read_facet(facet_model, facet_id, max_verts, vertices);
    if (n == 0) continue;
    if (first) {
      for (int k = 0; k < 3; ++k) min_vertex[k] = max_vertex[k] = vertices[0][k];
      first = false;
    }
    for (int i = 0; i < n; ++i)
      for (int k = 0; k < 3; ++k) {
        if (vertices[i][k] > max_vertex[k]) max_vertex[k] = vertices[i][k];
        if (vertices[i][k] < min_vertex[k]) min_vertex[k] = vertices[i][k];
      }
    ++facets_read;
  }
  delete[] vertices;
  return facets_read > 0 ? 0 : 1;
}

//-----------------------------------------------------------------------------
// [SECTION] Drawing the box
//-----------------------------------------------------------------------------

void draw_box_edges(const double from[3], const double to[3], const int axes[3]) {
  for (int i = 0; i < 3; ++i) {
    UF_CURVE_line_t line = {{from[0], from[1], from[2]}, {from[0], from[1], from[2]}};
    line.end_point[axes[i]] = to[axes[i]];
    tag_t line_tag = NULL_TAG;
    UF_CURVE_create_line(&line, &line_tag);  // not checked: a missing edge shows in the part
  }
}

// Three edges at each extreme corner, the largest corner's first, then the corners' points.
static void draw_corners(double min_vertex[3], double max_vertex[3]) {
  draw_box_edges(max_vertex, min_vertex, kAxesZXY);
  draw_box_edges(min_vertex, max_vertex, kAxesXYZ);
  tag_t pset = NULL_TAG;
  // clang-format off
  CHECKED(UF_CURVE_create_point(max_vertex, &pset));
  CHECKED(UF_CURVE_create_point(min_vertex, &pset));
  // clang-format on
}
