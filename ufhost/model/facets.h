// Faceting of bodies: the triangles a facet model holds.
#pragma once

#include <memory>

#include "host/uf.h"
#include "ufhost/model/model.h"

namespace ufhost {

// How finely a B-rep body is tessellated. A chord or angle of 0 or less
// takes the default.
struct FacetSettings {
  double surface_chord = 0.0;   // absolute: largest distance facet to surface
  double relative_chord = 0.0;  // used when surface_chord is unset: fraction of the box diagonal
  double surface_angle = 0.0;   // radians, between normals of neighbouring facets
  double curve_chord = 0.0;     // absolute: largest distance edge segment to edge
  double curve_angle = 0.0;     // radians, turn along an edge between segment ends
};

// Defaults: a chord of this fraction of the body's box diagonal keeps facet
// corners within a thousandth of the part's size of the exact surface, so
// that extremes read from them start close to the exact ones.
constexpr double kDefaultRelativeChord = 0.001;
// About 29 degrees: small fillets and holes get a few facets each; finer
// angles multiply the facets of detailed parts for little gain, since the
// extremes are refined against the exact body anyway.
constexpr double kDefaultAngle = 0.5;

// The triangles of `body` with corners in absolute coordinates, facets
// counted from 0 and each wound outwards. A mesh body gives exactly its own
// triangles, corners unchanged (the settings do not apply). The body is not
// changed: a B-rep body is tessellated on a copy of its topology.
// Returns nullptr when the object is not a body, the kernel cannot
// tessellate it, or no triangle results.
std::shared_ptr<const Facets> facet_body(const Object& body, const FacetSettings& settings);

// Adds a facet model of the body named `body` (which must be one) to the
// part: its triangles, named after the body, which it keeps as its source.
// Returns its tag, or kNullTag when the kernel cannot tessellate the body.
Tag add_facet_model(Model& model, Tag body, const FacetSettings& settings);

// The faceting record (UF_FACET_parameters_t) with this host's defaults,
// each field as facet_record.cpp lists it.
UF_FACET_parameters_t default_facet_parameters();
// The settings a record asks for; false when the record is of another
// layout, asks for facets of fewer than three corners, or holds a chord or
// angle that is negative or not a number.
bool read_facet_parameters(const UF_FACET_parameters_t& record, FacetSettings* settings);

}  // namespace ufhost
