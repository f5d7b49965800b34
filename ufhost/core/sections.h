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
#include <functional>
#include <gp_Dir.hxx>
#include <gp_Pnt.hxx>
#include <gp_Vec.hxx>

#include "ufhost/core/model.h"

namespace ufhost {

struct PlaneCut {
  bool meets = false;
  // The section's edges (and lone vertices where the plane only touches);
  // set when `meets`. Cheap to hold: nothing is computed before it is called.
  std::function<TopoDS_Shape()> curves;
};

// Whether the plane through `origin` with normal `normal` meets `body` (a
// solid, sheet or mesh body named `tag`). Counts session().stats; asks
// session().section_oracle instead when one is set.
// A B-rep body counts as met within its largest geometric tolerance; a mesh
// body where some triangle has corners on both sides of the plane or within
// Precision::Confusion() of it.
// Throws Standard_Failure when the normal is null or the kernel's boolean
// fails.
PlaneCut section_by_plane(Tag tag, const Object& body, const gp_Pnt& origin, const gp_Vec& normal);

// The edges of `curves` chained into wires where their ends lie within
// `tolerance` of each other; lone vertices are kept.
TopoDS_Shape join_curves(const TopoDS_Shape& curves, double tolerance);

// Forgets what is remembered of bodies (boxes, tolerances, faces' extremes),
// so that a test can count the work of a first probe again.
void forget_section_cache();

// For tests only: the kernel's boolean section kept callable, to check the
// answers worked out from exact geometry against it.
namespace testing_only {

enum class Probing {
  kFast,     // the host's way: from the faces' exact extremes, the boolean
             // only where they cannot tell
  kBoolean,  // the kernel's boolean section of the faces wherever a plane
             // comes within a face's tolerance of it
};

struct ProbeAnswers {
  Tag body;
  gp_Pnt origin;
  gp_Dir normal;
  bool fast, boolean;  // whether each way finds that the plane meets the body
};

// Answers later probes of B-rep bodies the way `how` says and, when `both`
// is given, works out each such probe the other way too and hands it both
// answers (only the way in use is counted in the session's statistics).
// Forgets what is remembered of bodies. The session's section_oracle still
// comes first. Reset with set_probing(Probing::kFast).
void set_probing(Probing how, std::function<void(const ProbeAnswers&)> both = nullptr);

}  // namespace testing_only

}  // namespace ufhost
