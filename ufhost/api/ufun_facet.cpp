// libufun: facet models and planar sections.
//
// Facet models are objects of the part (type 139) holding triangles with
// absolute corners; they go with undo like anything else the plug-in makes.
// Sections answer one question for the plug-in, whether a plane meets a body,
// and give back one section-curves object (type 15) when it does.
#include <cmath>
#include <cstddef>
#include <optional>
#include <vector>

#include "host/uf.h"
#include "ufhost/api/edge.h"
#include "ufhost/model/facets.h"
#include "ufhost/model/model.h"
#include "ufhost/session/probes.h"
#include "ufhost/session/session.h"

namespace {

using ufhost::host_call;
using ufhost::Marks;

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

// The facet of `facet_id` in the model named `tag`, or the failure code.
const ufhost::Facets* facet_of(tag_t tag, int facet_id, int* rc) {
  const ufhost::Facets* f = facets_of(tag, rc);
  if (f != nullptr && (facet_id < 0 || facet_id >= f->count())) {
    *rc = ufhost::kErrBadArgument;
    return nullptr;
  }
  return f;
}

bool finite_at_least_zero(double v) { return std::isfinite(v) && v >= 0.0; }

}  // namespace

// The settings a record holds are listed with the defaults in
// ufhost/core/facet_record.cpp.
UF_EXPORT int UF_FACET_ask_default_parameters(UF_FACET_parameters_t* parameters) {
  return host_call("UF_FACET_ask_default_parameters", Marks::kWholeCall, [&] {
    if (parameters == nullptr) return ufhost::kErrBadArgument;
    *parameters = ufhost::default_facet_parameters();
    return 0;
  });
}

// *facet_model is written only when a facet model was made: a body that cannot
// be faceted (or gives no triangles) leaves it as it was and returns
// kErrGeometry.
UF_EXPORT int UF_FACET_facet_solid(tag_t solid, UF_FACET_parameters_t* parameters,
                                   tag_t* facet_model) {
  return host_call("UF_FACET_facet_solid", Marks::kWholeCall, [&] {
    if (parameters == nullptr || facet_model == nullptr) return ufhost::kErrBadArgument;
    int rc = 0;
    const ufhost::Object* body = find_object(solid, &rc);
    if (body == nullptr) return rc;
    if (!ufhost::is_body(body->kind)) return ufhost::kErrWrongType;
    ufhost::FacetSettings settings;
    if (!ufhost::read_facet_parameters(*parameters, &settings)) return ufhost::kErrBadArgument;
    const ufhost::Tag made = ufhost::add_facet_model(ufhost::session().model, solid, settings);
    if (made == ufhost::kNullTag) return ufhost::kErrGeometry;
    *facet_model = made;
    return 0;
  });
}

UF_EXPORT int UF_FACET_ask_max_facet_verts(tag_t facet_model, int* max_verts) {
  if (max_verts != nullptr) *max_verts = 0;
  return host_call("UF_FACET_ask_max_facet_verts", Marks::kWholeCall, [&] {
    if (max_verts == nullptr) return ufhost::kErrBadArgument;
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
  return host_call("UF_FACET_cycle_facets", Marks::kWholeCall, [&] {
    if (facet_id == nullptr) return ufhost::kErrBadArgument;
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
  return host_call("UF_FACET_ask_num_verts_in_facet", Marks::kWholeCall, [&] {
    if (num_verts == nullptr) return ufhost::kErrBadArgument;
    int rc = 0;
    const ufhost::Facets* f = facet_of(facet_model, facet_id, &rc);
    if (f == nullptr) return rc;
    *num_verts = f->start[facet_id + 1] - f->start[facet_id];
    return 0;
  });
}

UF_EXPORT int UF_FACET_ask_vertices_of_facet(tag_t facet_model, int facet_id, int* num_verts,
                                             double (*vertices)[3]) {
  if (num_verts != nullptr) *num_verts = 0;
  return host_call("UF_FACET_ask_vertices_of_facet", Marks::kWholeCall, [&] {
    if (num_verts == nullptr || vertices == nullptr) return ufhost::kErrBadArgument;
    int rc = 0;
    const ufhost::Facets* f = facet_of(facet_model, facet_id, &rc);
    if (f == nullptr) return rc;
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
  return host_call("UF_CURVE_section_from_planes", Marks::kWholeCall, [&] {
    if (general == nullptr || planes == nullptr || section_curves == nullptr)
      return ufhost::kErrBadArgument;
    if (general->objects == nullptr || general->num_objects < 1 || planes->planes == nullptr ||
        planes->num_planes < 1)
      return ufhost::kErrBadArgument;
    if (general->associative != 0 || general->grouping != 1 ||
        (general->joining != 0 && general->joining != 1) ||
        !finite_at_least_zero(general->tolerance))
      return ufhost::kErrBadArgument;
    int rc = 0;
    for (int i = 0; i < general->num_objects; ++i) {
      const ufhost::Object* body = find_object(general->objects[i], &rc);
      if (body == nullptr) return rc;
      if (!ufhost::is_body(body->kind)) return ufhost::kErrWrongType;
    }
    for (int j = 0; j < planes->num_planes; ++j) {
      const ufhost::Object* plane = find_object(planes->planes[j], &rc);
      if (plane == nullptr) return rc;
      if (plane->kind != ufhost::Kind::Plane) return ufhost::kErrWrongType;
    }
    ufhost::Model& model = ufhost::session().model;
    std::optional<ufhost::Object> curves = ufhost::section_curves(
        model, std::vector<ufhost::Tag>(general->objects, general->objects + general->num_objects),
        std::vector<ufhost::Tag>(planes->planes, planes->planes + planes->num_planes),
        general->joining == 1, general->tolerance);
    if (curves) *section_curves = model.add(std::move(*curves));
    return 0;  // nothing met: no object, the output untouched
  });
}
