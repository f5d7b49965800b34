// A body as a printed page shows it, and the turn the search gives it.
#pragma once

#include <gp_Dir.hxx>
#include <gp_Trsf.hxx>

#include <string>
#include <vector>

#include "ufhost/model/model.h"

namespace ufhost {

// The turn the search gives a copy: about Z, Y, X and Z again, by the
// angles in degrees, each about an axis through the origin (only the copy's
// position, not its turn, depends on the point).
gp_Trsf search_turn(const double degrees[4]);

// The directions, in the body's own frame, that X, Y and Z of a copy turned
// by `degrees` lie along: the edges of the turned copy's box.
std::vector<gp_Dir> turned_axes(const double degrees[4]);

// The body as SVG seen obliquely from the front, right and above, turned by
// `degrees` (null: as it lies), with a box of the sizes `blank` (along X, Y,
// Z after the turn) drawn about it in red. Kernel work: it meshes the body.
std::string picture_svg(const Object& body, const double* degrees, const double blank[3]);

}  // namespace ufhost
