// Geometry of model objects that several host operations share.
#pragma once

#include <gp_Trsf.hxx>

#include "ufhost/core/model.h"

namespace ufhost {

// The axis-aligned box of the object's exact geometry: minimum X, Y, Z then
// maximum X, Y, Z. Bodies: the kernel's precise box, not enlarged by
// tolerances and not taken from a tessellation; mesh bodies: the box of their
// vertices; points, lines, planes: their defining points. false when the
// object has no geometry.
bool exact_box(const Object& object, double box[6]);

// The largest geometric tolerance of the body's vertices, edges and faces
// (0 for meshes and other objects).
double max_tolerance(const Object& object);

// The object moved by `trsf` (bodies keep their exact geometry; meshes,
// points, lines and planes have their coordinates transformed).
Object transformed(const Object& object, const gp_Trsf& trsf);

}  // namespace ufhost
