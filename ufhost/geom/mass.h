// Figures of a body that do not depend on where it lies: enough to tell
// bodies equal up to placement, as a cut list counts instances.
#pragma once

#include <string>

#include "ufhost/model/model.h"

namespace ufhost {

struct BodyFacts {
  bool ok = false;
  double volume = 0, area = 0;
  double moments[3] = {0, 0, 0};  // principal moments of inertia about the centroid, ascending
};

// A solid's figures from its exact faces, a mesh body's from its triangles;
// not ok for bodies with no volume. Kernel work: run it where a fault costs
// little (the reading child does).
BodyFacts facts_of(const Object& body);

// Equal within a millionth of each figure: the same body, up to placement
// and the noise of another file's export.
bool same_body(const BodyFacts& a, const BodyFacts& b);

}  // namespace ufhost
