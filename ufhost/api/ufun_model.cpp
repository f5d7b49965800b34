// libufun: session, messages, undo, objects, boxes and transformations.
//
// Every entry point sets its outputs to safe values and runs through the
// edge (edge.h), which injects failures and catches everything; inside, it
// checks its arguments and hands the work to the core. None of them needs
// UF_initialize (tests call them directly). Changes go through the model, so
// undo takes back what they did.
#include <gp_Ax1.hxx>
#include <gp_Mat.hxx>
#include <gp_Trsf.hxx>

#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "host/uf.h"
#include "ufhost/api/edge.h"
#include "ufhost/model/object_geometry.h"
#include "ufhost/session/session.h"
#include "ufhost/session/test_control.h"

namespace {

using ufhost::host_call;
using ufhost::Marks;
using ufhost::session;

bool finite3(const double v[3]) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// The matrix as a rigid motion, or false when it is not one: a move keeps
// shapes as they are, so scaling, shearing, mirroring and a last row other
// than 0, 0, 0, 1 are refused.
bool rigid_motion(const double m[16], gp_Trsf* trsf) {
  for (int i = 0; i < 16; ++i)
    if (!std::isfinite(m[i])) return false;
  if (std::abs(m[12]) > 1e-12 || std::abs(m[13]) > 1e-12 || std::abs(m[14]) > 1e-12 ||
      std::abs(m[15] - 1.0) > 1e-12)
    return false;
  // Rows of a rotation are orthonormal; allow for the rounding of a matrix
  // computed from sines and cosines.
  for (int r = 0; r < 3; ++r)
    for (int s = r; s < 3; ++s) {
      const double dot = m[4 * r] * m[4 * s] + m[4 * r + 1] * m[4 * s + 1] + m[4 * r + 2] * m[4 * s + 2];
      if (std::abs(dot - (r == s ? 1.0 : 0.0)) > 1e-9) return false;
    }
  const gp_Mat rot(m[0], m[1], m[2], m[4], m[5], m[6], m[8], m[9], m[10]);
  if (rot.Determinant() <= 0.0) return false;
  if (m[0] == 1.0 && m[1] == 0.0 && m[2] == 0.0 && m[3] == 0.0 && m[4] == 0.0 && m[5] == 1.0 &&
      m[6] == 0.0 && m[7] == 0.0 && m[8] == 0.0 && m[9] == 0.0 && m[10] == 1.0 && m[11] == 0.0) {
    *trsf = gp_Trsf();  // exactly the identity, so copies coincide to the bit
    return true;
  }
  gp_Trsf t;
  t.SetValues(m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8], m[9], m[10], m[11]);
  t.SetScaleFactor(1.0);  // the determinant's cube root may be off in the last bit
  *trsf = t;
  return true;
}

}  // namespace

// --- session, messages, system log -------------------------------------------

UF_EXPORT int UF_initialize(void) {
  return host_call("UF_initialize", Marks::kWholeCall, [] {
    session().event("call", "UF_initialize");
    return 0;
  });
}

UF_EXPORT int UF_terminate(void) {
  return host_call("UF_terminate", Marks::kWholeCall, [] {
    session().event("call", "UF_terminate");
    return 0;
  });
}

UF_EXPORT int UF_get_fail_message(int code, char* message) {
  if (message != nullptr) message[0] = '\0';
  return host_call("UF_get_fail_message", Marks::kWholeCall, [&] {
    if (message == nullptr) return ufhost::kErrBadArgument;
    const char* text = ufhost::failure_text(code);
    if (text == nullptr) return ufhost::kErrBadArgument;  // no text for this code
    std::strncpy(message, text, UF_UI_FAIL_MESSAGE_SIZE - 1);
    message[UF_UI_FAIL_MESSAGE_SIZE - 1] = '\0';
    return 0;
  });
}

UF_EXPORT int UF_print_syslog(const char* text, int flag) {
  return host_call("UF_print_syslog", Marks::kWholeCall, [&] {
    if (text == nullptr || flag != 0) return ufhost::kErrBadArgument;
    session().write_syslog(text);
    return 0;
  });
}

// --- undo ----------------------------------------------------------------------

UF_EXPORT int UF_UNDO_set_mark(int visibility, const char* name, UF_UNDO_mark_id_t* mark_id) {
  if (mark_id != nullptr) *mark_id = 0;
  return host_call("UF_UNDO_set_mark", Marks::kWholeCall, [&] {
    if (mark_id == nullptr) return ufhost::kErrBadArgument;
    if (visibility != UF_UNDO_visible && visibility != UF_UNDO_invisible)
      return ufhost::kErrBadArgument;
    *mark_id = session().model.set_mark(visibility == UF_UNDO_visible, name ? name : "");
    return 0;
  });
}

UF_EXPORT int UF_UNDO_undo_to_mark(UF_UNDO_mark_id_t mark_id, const char* /*name*/) {
  return host_call("UF_UNDO_undo_to_mark", Marks::kWholeCall, [&] {
    return session().model.undo_to(mark_id) ? 0 : ufhost::kErrNoUndoMark;
  });
}

// --- objects and geometry ----------------------------------------------------

// On failure `box` is left as the caller had it: a failed query has no box
// to give, and the caller decides what to show instead.
UF_EXPORT int UF_MODL_ask_bounding_box(tag_t object, double box[6]) {
  return host_call("UF_MODL_ask_bounding_box", Marks::kWholeCall, [&] {
    if (box == nullptr) return ufhost::kErrBadArgument;
    const ufhost::Object* found = session().model.find(object);
    if (found == nullptr) return ufhost::kErrBadTag;
    double b[6];
    if (!ufhost::exact_box(*found, b, &ufhost::session().boxes)) return ufhost::kErrWrongType;
    if (ufhost::test_control().swap_box_corners) {
      for (int i = 0; i < 3; ++i) std::swap(b[i], b[i + 3]);
    }
    std::memcpy(box, b, sizeof b);
    return 0;
  });
}

UF_EXPORT int UF_MODL_create_plane(double origin[3], double normal[3], tag_t* plane) {
  if (plane != nullptr) *plane = NULL_TAG;
  return host_call("UF_MODL_create_plane", Marks::kWholeCall, [&] {
    if (origin == nullptr || normal == nullptr || plane == nullptr) return ufhost::kErrBadArgument;
    if (!finite3(origin) || !finite3(normal)) return ufhost::kErrBadArgument;
    gp_Vec n(normal[0], normal[1], normal[2]);
    if (n.Magnitude() <= 0.0) return ufhost::kErrBadArgument;  // no direction
    n.Normalize();
    ufhost::Object o;
    o.kind = ufhost::Kind::Plane;
    o.name = "datum plane";
    o.p0 = gp_Pnt(origin[0], origin[1], origin[2]);
    o.normal = n;
    *plane = session().model.add(std::move(o));
    return 0;
  });
}

UF_EXPORT int UF_OBJ_delete_object(tag_t object) {
  return host_call("UF_OBJ_delete_object", Marks::kWholeCall, [&] {
    return session().model.remove(object) ? 0 : ufhost::kErrBadTag;
  });
}

UF_EXPORT int UF_CURVE_create_point(double point[3], tag_t* point_tag) {
  if (point_tag != nullptr) *point_tag = NULL_TAG;
  return host_call("UF_CURVE_create_point", Marks::kWholeCall, [&] {
    if (point == nullptr || point_tag == nullptr || !finite3(point)) return ufhost::kErrBadArgument;
    ufhost::Object o;
    o.kind = ufhost::Kind::Point;
    o.name = "point";
    o.p0 = gp_Pnt(point[0], point[1], point[2]);
    *point_tag = session().model.add(std::move(o));
    return 0;
  });
}

// A line of zero length is a line all the same: the frame of a flat body
// has such edges, and the command asks for them.
UF_EXPORT int UF_CURVE_create_line(UF_CURVE_line_t* line, tag_t* line_tag) {
  if (line_tag != nullptr) *line_tag = NULL_TAG;
  return host_call("UF_CURVE_create_line", Marks::kWholeCall, [&] {
    if (line == nullptr || line_tag == nullptr) return ufhost::kErrBadArgument;
    if (!finite3(line->start_point) || !finite3(line->end_point)) return ufhost::kErrBadArgument;
    ufhost::Object o;
    o.kind = ufhost::Kind::Line;
    o.name = "line";
    o.p0 = gp_Pnt(line->start_point[0], line->start_point[1], line->start_point[2]);
    o.p1 = gp_Pnt(line->end_point[0], line->end_point[1], line->end_point[2]);
    *line_tag = session().model.add(std::move(o));
    return 0;
  });
}

// --- transformations -----------------------------------------------------------

UF_EXPORT int UF_MTX4_identity(double matrix[16]) {
  return host_call("UF_MTX4_identity", Marks::kWholeCall, [&] {
    if (matrix == nullptr) return ufhost::kErrBadArgument;
    for (int i = 0; i < 16; ++i) matrix[i] = (i % 5 == 0) ? 1.0 : 0.0;
    return 0;
  });
}

UF_EXPORT int UF_MTX4_rotation(double origin[3], double direction[3], double degrees,
                               double matrix[16]) {
  return host_call("UF_MTX4_rotation", Marks::kWholeCall, [&] {
    if (origin == nullptr || direction == nullptr || matrix == nullptr) return ufhost::kErrBadArgument;
    if (!finite3(origin) || !finite3(direction) || !std::isfinite(degrees))
      return ufhost::kErrBadArgument;
    const gp_Vec d(direction[0], direction[1], direction[2]);
    if (d.Magnitude() <= 0.0) return ufhost::kErrBadArgument;  // no axis
    gp_Trsf t;
    t.SetRotation(gp_Ax1(gp_Pnt(origin[0], origin[1], origin[2]), gp_Dir(d)),
                  degrees * (M_PI / 180.0));
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 4; ++c) matrix[4 * r + c] = t.Value(r + 1, c + 1);
    matrix[12] = matrix[13] = matrix[14] = 0.0;
    matrix[15] = 1.0;
    return 0;
  });
}

// Checks everything before it changes anything, so a bad tag in the middle
// of the list leaves every object where it was. `layer` 0 (keep) and
// `trace` 2 (no trace curves) are all this host supports.
UF_EXPORT void uf5947_(const double matrix[16], const tag_t* objects, const int* count,
                       const int* move_or_copy, const int* layer, const int* trace,
                       tag_t* copies, tag_t* trace_group, int* status) {
  if (trace_group != nullptr) *trace_group = NULL_TAG;
  if (copies != nullptr && count != nullptr && move_or_copy != nullptr && *move_or_copy == 2)
    for (int i = 0; i < *count; ++i) copies[i] = NULL_TAG;
  const int rc = host_call("uf5947_", Marks::kWholeCall, [&] {
    if (matrix == nullptr || count == nullptr || move_or_copy == nullptr || layer == nullptr ||
        trace == nullptr)
      return ufhost::kErrBadArgument;
    if (*count < 0 || (*count > 0 && objects == nullptr)) return ufhost::kErrBadArgument;
    if (*move_or_copy != 1 && *move_or_copy != 2) return ufhost::kErrBadArgument;
    if (*move_or_copy == 2 && *count > 0 && copies == nullptr) return ufhost::kErrBadArgument;
    if (*layer != 0 || *trace != 2) return ufhost::kErrBadArgument;
    gp_Trsf trsf;
    if (!rigid_motion(matrix, &trsf)) return ufhost::kErrBadArgument;

    std::vector<ufhost::Tag> tags(objects, objects + *count);
    std::vector<ufhost::Tag> made;
    if (!ufhost::move_or_copy(session().model, tags, trsf, *move_or_copy == 2 ? &made : nullptr))
      return ufhost::kErrBadTag;
    for (std::size_t i = 0; i < made.size(); ++i) copies[i] = made[i];
    return 0;
  });
  if (status != nullptr) *status = rc;
}
