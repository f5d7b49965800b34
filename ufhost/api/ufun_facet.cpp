// libufun: facet models and planar sections.
//
// Facet models are objects of the part (type 139) holding triangles with
// absolute corners; they go with undo like anything else the plug-in makes.
// Sections answer one question for the plug-in, whether a plane meets a body,
// and give back one section-curves object (type 15) when it does.
#include <BRep_Builder.hxx>
#include <TopoDS_Compound.hxx>
#include <cmath>
#include <cstddef>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "host/uf.h"
#include "ufhost/api/guarded.h"
#include "ufhost/core/facets.h"
#include "ufhost/core/model.h"
#include "ufhost/core/sections.h"
#include "ufhost/core/session.h"
#include "ufhost/core/test_control.h"

// The record's layout is part of the interface: plug-ins built elsewhere fill
// it by byte offset.
static_assert(offsetof(UF_FACET_parameters_t, layout_version) == 0, "layout");
static_assert(offsetof(UF_FACET_parameters_t, max_corners) == 4, "layout");
static_assert(offsetof(UF_FACET_parameters_t, use_surface_chord) == 8, "layout");
static_assert(offsetof(UF_FACET_parameters_t, surface_chord) == 16, "layout");
static_assert(offsetof(UF_FACET_parameters_t, surface_angle) == 24, "layout");
static_assert(offsetof(UF_FACET_parameters_t, use_curve_chord) == 32, "layout");
static_assert(offsetof(UF_FACET_parameters_t, curve_chord) == 40, "layout");
static_assert(offsetof(UF_FACET_parameters_t, curve_angle) == 48, "layout");
static_assert(offsetof(UF_FACET_parameters_t, curve_max_length) == 56, "layout");
static_assert(offsetof(UF_FACET_parameters_t, convex_facets) == 64, "layout");
static_assert(offsetof(UF_FACET_parameters_t, use_max_facet_size) == 65, "layout");
static_assert(offsetof(UF_FACET_parameters_t, max_facet_size) == 72, "layout");
static_assert(offsetof(UF_FACET_parameters_t, storage_kind) == 80, "layout");
static_assert(offsetof(UF_FACET_parameters_t, use_parameters) == 84, "layout");
static_assert(offsetof(UF_FACET_parameters_t, use_view_direction) == 85, "layout");
static_assert(offsetof(UF_FACET_parameters_t, view_direction) == 88, "layout");
static_assert(offsetof(UF_FACET_parameters_t, silhouette_chord) == 112, "layout");
static_assert(offsetof(UF_FACET_parameters_t, keep_face_tags) == 120, "layout");
static_assert(sizeof(UF_FACET_parameters_t) == 128, "layout");
static_assert(sizeof(bool) == 1, "the record's flags are one byte");

namespace {

constexpr int kLayoutVersion = -2;

using ufhost::guarded;

// The live object named by `tag`, or the failure code in *rc.
const ufhost::Object* find_object(tag_t tag, int* rc) {
  const ufhost::Object* object = ufhost::session().model.find(tag);
  *rc = object == nullptr ? ufhost::kErrBadTag : 0;
  return object;
}

const ufhost::Facets* facets_of(tag_t tag, int* rc) {
  const ufhost::Object* object = find_object(tag, rc);
  if (object == nullptr) return nullptr;
  if (object->kind != ufhost::Kind::FacetModel) {
    *rc = ufhost::kErrWrongType;
    return nullptr;
  }
  static const ufhost::Facets kNone;  // a model made without facets walks as empty
  return object->facets ? object->facets.get() : &kNone;
}

// Whether the plane meets the body: the kernel's answer, or a test's section
// oracle's when one is set (with no curves).
ufhost::PlaneCut plane_cut(tag_t tag, const ufhost::Object& body, const gp_Pnt& origin,
                           const gp_Vec& normal) {
  const ufhost::TestControl& control = ufhost::test_control();
  const auto& oracle = control.section_oracle;
  if (!oracle) {
    using ufhost::Probing;
    const ufhost::PlaneCut cut = ufhost::section_by_plane(body, origin, normal, control.probing);
    if (control.compare_probes && body.kind != ufhost::Kind::MeshBody) {
      ufhost::Session::Stats& stats = ufhost::session().stats;
      const ufhost::Session::Stats counted = stats;
      const bool fast = control.probing == Probing::kFast;
      const ufhost::PlaneCut other = ufhost::section_by_plane(
          body, origin, normal, fast ? Probing::kBoolean : Probing::kFast);
      stats = counted;
      control.compare_probes({tag, origin, normal, fast ? cut.meets : other.meets,
                              fast ? other.meets : cut.meets});
    }
    return cut;
  }
  ufhost::PlaneCut cut;
  cut.meets = oracle(tag, origin, normal);
  if (cut.meets) cut.curves = []() {
    TopoDS_Compound none;
    BRep_Builder().MakeCompound(none);
    return TopoDS_Shape(none);
  };
  return cut;
}

bool finite_at_least_zero(double v) { return std::isfinite(v) && v >= 0.0; }

// Reads the faceting record the way the defaults below describe it.
int read_parameters(const UF_FACET_parameters_t& p, ufhost::FacetSettings* s) {
  if (p.layout_version != kLayoutVersion || p.max_corners < 3) return ufhost::kErrBadArgument;
  const double values[] = {p.surface_chord, p.surface_angle, p.curve_chord, p.curve_angle};
  for (double v : values)
    if (!finite_at_least_zero(v)) return ufhost::kErrBadArgument;
  if ((p.use_surface_chord && p.surface_chord <= 0.0) ||
      (p.use_curve_chord && p.curve_chord <= 0.0))
    return ufhost::kErrBadArgument;
  *s = ufhost::FacetSettings{};
  if (p.use_surface_chord) {
    s->surface_chord = p.surface_chord;
  } else {
    s->relative_chord = p.surface_chord;
  }
  s->surface_angle = p.surface_angle;
  s->curve_chord = p.use_curve_chord ? p.curve_chord : 0.0;
  s->curve_angle = p.curve_angle;
  return 0;
}

}  // namespace

// The host's faceting settings, field by field:
//   layout_version      -2, the only layout this host reads; others are refused
//   max_corners         3: facets are triangles; a record asking for fewer is refused
//   use_surface_chord   false: surface_chord is a fraction of the body's box
//                       diagonal; true: an absolute distance in part units
//   surface_chord       0.001: facets stay within a thousandth of the body's
//                       size of its surfaces (0 with the flag cleared: the same)
//   surface_angle       0.5 rad (about 29 degrees) between neighbouring facet normals
//   use_curve_chord     false: edges are divided with the surface chord
//   curve_chord         0.0; with use_curve_chord, the absolute chord along edges
//   curve_angle         0.5 rad: largest turn along an edge between segment ends
//   curve_max_length    0.0: no limit; this host's mesher has none and ignores it
//   convex_facets       true: triangles are always convex
//   use_max_facet_size  false, max_facet_size 0.0: no limit; not applied by this host
//   storage_kind        1: corners are given in double precision
//   use_parameters      false: no surface parameters are kept
//   use_view_direction  false, view_direction (0, 0, 1), silhouette_chord 0.0:
//                       no view-dependent refinement; not applied by this host
//   keep_face_tags      false: facets do not name the faces they came from
// Mesh bodies ignore all of it: they facet into their own triangles.
UF_EXPORT int UF_FACET_ask_default_parameters(UF_FACET_parameters_t* parameters) {
  if (int rc = ufhost::session().fail_point("UF_FACET_ask_default_parameters")) return rc;
  if (parameters == nullptr) return ufhost::kErrBadArgument;
  UF_FACET_parameters_t p{};
  p.layout_version = kLayoutVersion;
  p.max_corners = 3;
  p.use_surface_chord = false;
  p.surface_chord = ufhost::kDefaultRelativeChord;
  p.surface_angle = ufhost::kDefaultAngle;
  p.use_curve_chord = false;
  p.curve_chord = 0.0;
  p.curve_angle = ufhost::kDefaultAngle;
  p.curve_max_length = 0.0;
  p.convex_facets = true;
  p.use_max_facet_size = false;
  p.max_facet_size = 0.0;
  p.storage_kind = 1;
  p.use_parameters = false;
  p.use_view_direction = false;
  p.view_direction[0] = 0.0;
  p.view_direction[1] = 0.0;
  p.view_direction[2] = 1.0;
  p.silhouette_chord = 0.0;
  p.keep_face_tags = false;
  *parameters = p;
  return 0;
}

// *facet_model is written only when a facet model was made: a body that cannot
// be faceted (or gives no triangles) leaves it as it was and returns
// kErrGeometry.
UF_EXPORT int UF_FACET_facet_solid(tag_t solid, UF_FACET_parameters_t* parameters,
                                   tag_t* facet_model) {
  if (int rc = ufhost::session().fail_point("UF_FACET_facet_solid")) return rc;
  if (parameters == nullptr || facet_model == nullptr) return ufhost::kErrBadArgument;
  return guarded([&]() {
    int rc = 0;
    const ufhost::Object* body = find_object(solid, &rc);
    if (body == nullptr) return rc;
    if (!ufhost::is_body(body->kind)) return ufhost::kErrWrongType;
    ufhost::FacetSettings settings;
    if ((rc = read_parameters(*parameters, &settings)) != 0) return rc;
    std::shared_ptr<const ufhost::Facets> facets = ufhost::facet_body(*body, settings);
    if (!facets) return ufhost::kErrGeometry;
    ufhost::Object model;
    model.kind = ufhost::Kind::FacetModel;
    model.name = "facets of " + body->name;
    model.facets = std::move(facets);
    model.source = solid;
    *facet_model = ufhost::session().model.add(std::move(model));
    return 0;
  });
}

UF_EXPORT int UF_FACET_ask_max_facet_verts(tag_t facet_model, int* max_verts) {
  if (max_verts != nullptr) *max_verts = 0;
  if (int rc = ufhost::session().fail_point("UF_FACET_ask_max_facet_verts")) return rc;
  if (max_verts == nullptr) return ufhost::kErrBadArgument;
  return guarded([&]() {
    int rc = 0;
    const ufhost::Facets* f = facets_of(facet_model, &rc);
    if (f != nullptr) *max_verts = f->max_corners;
    return rc;
  });
}

// A failed call leaves -1, so that a walk over the facets ends.
UF_EXPORT int UF_FACET_cycle_facets(tag_t facet_model, int* facet_id) {
  const int current = facet_id != nullptr ? *facet_id : -1;
  if (facet_id != nullptr) *facet_id = -1;
  if (int rc = ufhost::session().fail_point("UF_FACET_cycle_facets")) return rc;
  if (facet_id == nullptr) return ufhost::kErrBadArgument;
  return guarded([&]() {
    int rc = 0;
    const ufhost::Facets* f = facets_of(facet_model, &rc);
    if (f == nullptr) return rc;
    if (current < -1 || current >= f->count()) return ufhost::kErrBadArgument;
    const int next = current + 1;
    *facet_id = next < f->count() ? next : -1;
    return 0;
  });
}

UF_EXPORT int UF_FACET_ask_num_verts_in_facet(tag_t facet_model, int facet_id, int* num_verts) {
  if (num_verts != nullptr) *num_verts = 0;
  if (int rc = ufhost::session().fail_point("UF_FACET_ask_num_verts_in_facet")) return rc;
  if (num_verts == nullptr) return ufhost::kErrBadArgument;
  return guarded([&]() {
    int rc = 0;
    const ufhost::Facets* f = facets_of(facet_model, &rc);
    if (f == nullptr) return rc;
    if (facet_id < 0 || facet_id >= f->count()) return ufhost::kErrBadArgument;
    *num_verts = f->start[facet_id + 1] - f->start[facet_id];
    return 0;
  });
}

UF_EXPORT int UF_FACET_ask_vertices_of_facet(tag_t facet_model, int facet_id, int* num_verts,
                                             double (*vertices)[3]) {
  if (num_verts != nullptr) *num_verts = 0;
  if (int rc = ufhost::session().fail_point("UF_FACET_ask_vertices_of_facet")) return rc;
  if (num_verts == nullptr || vertices == nullptr) return ufhost::kErrBadArgument;
  return guarded([&]() {
    int rc = 0;
    const ufhost::Facets* f = facets_of(facet_model, &rc);
    if (f == nullptr) return rc;
    if (facet_id < 0 || facet_id >= f->count()) return ufhost::kErrBadArgument;
    const int first = f->start[facet_id];
    const int n = f->start[facet_id + 1] - first;
    // The caller made room for the largest facet as this host gave it.
    if (n > f->max_corners) return ufhost::kErrInternal;
    for (int i = 0; i < n; ++i)
      for (int k = 0; k < 3; ++k)
        vertices[i][k] = f->xyz[3 * static_cast<std::size_t>(first + i) + k];
    *num_verts = n;
    return 0;
  });
}

// The request as this host reads it:
//   associative  must be 0: curves are plain geometry; this host keeps no
//                history to update them from, so other values are refused
//   grouping     must be 1: the curves of every object and plane of the
//                request come back as one section-curves object
//   joining      0: the curves are kept as the kernel gives them (loose
//                edges); 1: chained into wires
//   tolerance    with joining 1, curve ends closer than this are chained; it
//                is not a fuzzy value of the intersection: whether a plane
//                meets a body is decided within the body's own tolerance
//                (0.0154 would otherwise let a plane outside the body cut it)
// *section_curves is written only when a plane meets an object. The curves
// are computed when something first asks for them.
UF_EXPORT int UF_CURVE_section_from_planes(UF_CURVE_section_general_data_t* general,
                                           UF_CURVE_section_planes_data_t* planes,
                                           tag_t* section_curves) {
  if (int rc = ufhost::session().fail_point("UF_CURVE_section_from_planes")) return rc;
  if (general == nullptr || planes == nullptr || section_curves == nullptr)
    return ufhost::kErrBadArgument;
  if (general->objects == nullptr || general->num_objects < 1 || planes->planes == nullptr ||
      planes->num_planes < 1)
    return ufhost::kErrBadArgument;
  if (general->associative != 0 || general->grouping != 1 ||
      (general->joining != 0 && general->joining != 1) || !finite_at_least_zero(general->tolerance))
    return ufhost::kErrBadArgument;
  return guarded([&]() {
    int rc = 0;
    std::vector<const ufhost::Object*> bodies, plane_objects;
    for (int i = 0; i < general->num_objects; ++i) {
      const ufhost::Object* body = find_object(general->objects[i], &rc);
      if (body == nullptr) return rc;
      if (!ufhost::is_body(body->kind)) return ufhost::kErrWrongType;
      bodies.push_back(body);
    }
    for (int j = 0; j < planes->num_planes; ++j) {
      const ufhost::Object* plane = find_object(planes->planes[j], &rc);
      if (plane == nullptr) return rc;
      if (plane->kind != ufhost::Kind::Plane) return ufhost::kErrWrongType;
      plane_objects.push_back(plane);
    }

    auto section = std::make_shared<ufhost::Section>();
    std::vector<std::function<TopoDS_Shape()>> parts;
    std::string body_name;
    for (int i = 0; i < general->num_objects; ++i)
      for (int j = 0; j < planes->num_planes; ++j) {
        const ufhost::Object& plane = *plane_objects[j];
        ufhost::PlaneCut cut = plane_cut(general->objects[i], *bodies[i], plane.p0, plane.normal);
        if (!cut.meets) continue;
        if (parts.empty()) {
          section->body = general->objects[i];
          section->origin = plane.p0;
          section->normal = plane.normal;
          body_name = bodies[i]->name;
        }
        parts.push_back(std::move(cut.curves));
      }
    if (parts.empty()) return 0;  // nothing met: no object, the output untouched

    const bool join = general->joining == 1;
    const double tolerance = general->tolerance;
    section->compute = [parts, join, tolerance]() {
      TopoDS_Compound all;
      BRep_Builder builder;
      builder.MakeCompound(all);
      for (const auto& part : parts) builder.Add(all, part());
      return join ? ufhost::join_curves(all, tolerance) : TopoDS_Shape(all);
    };
    ufhost::Object curves;
    curves.kind = ufhost::Kind::SectionCurves;
    curves.name = "section of " + body_name;
    curves.section = section;
    curves.source = section->body;
    *section_curves = ufhost::session().model.add(std::move(curves));
    return 0;
  });
}
