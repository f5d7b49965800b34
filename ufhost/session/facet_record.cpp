// The faceting record of the host interface, as this host fills and reads
// it.
#include <cmath>
#include <cstddef>

#include "ufhost/model/facets.h"

namespace ufhost {

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

bool finite_at_least_zero(double v) { return std::isfinite(v) && v >= 0.0; }

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
UF_FACET_parameters_t default_facet_parameters() {
  UF_FACET_parameters_t p{};
  p.layout_version = kLayoutVersion;
  p.max_corners = 3;
  p.use_surface_chord = false;
  p.surface_chord = kDefaultRelativeChord;
  p.surface_angle = kDefaultAngle;
  p.use_curve_chord = false;
  p.curve_chord = 0.0;
  p.curve_angle = kDefaultAngle;
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
  return p;
}

// Read the way the defaults above describe it.
bool read_facet_parameters(const UF_FACET_parameters_t& p, FacetSettings* s) {
  if (p.layout_version != kLayoutVersion || p.max_corners < 3) return false;
  const double values[] = {p.surface_chord, p.surface_angle, p.curve_chord, p.curve_angle};
  for (double v : values)
    if (!finite_at_least_zero(v)) return false;
  if ((p.use_surface_chord && p.surface_chord <= 0.0) ||
      (p.use_curve_chord && p.curve_chord <= 0.0))
    return false;
  *s = FacetSettings{};
  if (p.use_surface_chord) {
    s->surface_chord = p.surface_chord;
  } else {
    s->relative_chord = p.surface_chord;
  }
  s->surface_angle = p.surface_angle;
  s->curve_chord = p.use_curve_chord ? p.curve_chord : 0.0;
  s->curve_angle = p.curve_angle;
  return true;
}

}  // namespace ufhost
