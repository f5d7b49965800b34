// Looking into shapes the tests made or the host saved.
#pragma once

#include <TopoDS_Shape.hxx>

#include <string>
#include <vector>

namespace testing_support {

// The kernel's tolerances of every vertex, edge and face of `shape`, in
// that order: equal lists before and after an operation say it left the
// shape's tolerances alone.
std::vector<double> tolerances(const TopoDS_Shape& shape);

// Reads the BREP file at `path` and counts the edges and vertices that stand
// on their own in its compounds, as the host saves lines and points, into
// *edges and *vertices (set to 0 first). false when the file cannot be read.
bool count_loose(const std::string& path, int* edges, int* vertices);

}  // namespace testing_support
