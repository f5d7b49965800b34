// Planar sections of bodies: whether a plane meets a body, and its curves.
//
// The plug-in probes a body with many planes, most of them far outside it or
// well inside it. Those within the body's tolerance of one of its exact
// extremes get the answer the kernel's boolean section would give, worked
// out from the exact geometry of the faces there; the boolean runs only where
// that cannot tell. The body is never changed by a probe: the boolean runs in
// its non-destructive mode, on the body's own faces, and tolerances it would
// have to enlarge are enlarged on copies.
#pragma once

#include <TopoDS_Shape.hxx>
#include <gp_Dir.hxx>
#include <gp_Pnt.hxx>
#include <gp_Vec.hxx>

#include <deque>
#include <functional>
#include <memory>

#include "ufhost/model/model.h"

namespace ufhost {

struct PlaneCut {
  bool meets = false;
  // The section's edges (and lone vertices where the plane only touches);
  // set when `meets`. Cheap to hold: nothing is computed before it is called.
  std::function<TopoDS_Shape()> curves;
};

// What probes keep from one to the next: a record of each of the last bodies
// probed (its box, tolerances, faces' extremes, the last planes asked about)
// and counts for benchmarks and tests. Whoever probes owns one (the session
// does), so that nothing of one run is left in the process for the next.
class SectionMemory {
 public:
  struct Counts {
    long probes = 0;         // section requests
    long probes_by_box = 0;  // answered from the body's box, no boolean run
    long booleans = 0;       // boolean sections run
  };
  Counts counts;
  // Forgets the bodies' records, so that a test can count the work of a
  // first probe again.
  void forget();

  struct Body;  // what is known of one body (sections_internal.h)
  std::deque<std::shared_ptr<const Body>> bodies;  // kept by section_by_plane, newest last
};

// Whether the plane through `origin` with normal `normal` meets `body` (a
// solid, sheet or mesh body), remembering in `memory` what does not depend on
// the plane and counting there what was done.
// A B-rep body counts as met within its largest geometric tolerance; a mesh
// body where some triangle has corners on both sides of the plane or within
// Precision::Confusion() of it.
// Throws Standard_Failure when the normal is null or the kernel's boolean
// fails.
//
// Planes normal to an axis near a face are answered from the face's exact
// extremes, the boolean only where they cannot tell; Probing::kBoolean runs
// the boolean for all of them, which gives the same answers slower and is
// kept to check that it does.
enum class Probing { kFast, kBoolean };
PlaneCut section_by_plane(const Object& body, const gp_Pnt& origin, const gp_Vec& normal,
                          SectionMemory& memory, Probing how = Probing::kFast);

// The edges of `curves` chained into wires where their ends lie within
// `tolerance` of each other; lone vertices are kept.
TopoDS_Shape join_curves(const TopoDS_Shape& curves, double tolerance);

}  // namespace ufhost
