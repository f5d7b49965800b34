// Looking into shapes the tests made or the host saved.
#pragma once

#include <TopoDS_Shape.hxx>

#include <string>
#include <vector>

namespace testing_support {

// Turned parts made of exact faces, standing on the XY plane about Z.
//
// A stepped shaft: a collar of radius 15 from z = 0 to 10, the shaft of
// radius 10 to z = 50, a tip of radius 6 ending in a 1 x 45 degree chamfer
// at z = 65; a flat milled on the collar 12 from the axis (x >= 12), and a
// cross hole of radius 3 along X through the shaft at z = 30. Its smallest
// cylinder is the collar's: diameter 30, length 65, about Z.
TopoDS_Shape stepped_shaft();

// A hexagonal nut: `across_flats` wide between flats (two flats square to
// Y, corners on X), `height` high, a bore of radius `bore`, both ends
// chamfered by a cone at 30 degrees to the end face starting at 0.95 of
// the across-flats width, so that the corners are cut near the ends but
// stand full in the middle.
TopoDS_Shape hex_nut(double across_flats, double height, double bore);

// The kernel's tolerances of every vertex, edge and face of `shape`, in
// that order: equal lists before and after an operation say it left the
// shape's tolerances alone.
std::vector<double> tolerances(const TopoDS_Shape& shape);

// Reads the BREP file at `path` and counts the edges and vertices that stand
// on their own in its compounds, as the host saves lines and points, into
// *edges and *vertices (set to 0 first). false when the file cannot be read.
bool count_loose(const std::string& path, int* edges, int* vertices);

}  // namespace testing_support
