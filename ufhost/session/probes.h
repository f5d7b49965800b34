// Section probes as the host answers a request: which plane meets which
// body, with the test doubles that stand in for the kernel or check it, and
// the one object a request's curves come back in.
#pragma once

#include <gp_Pnt.hxx>
#include <gp_Vec.hxx>

#include <optional>
#include <vector>

#include "ufhost/model/model.h"
#include "ufhost/geom/sections.h"

namespace ufhost {

// Whether the plane through `origin` with the unit `normal` meets `body`
// (named `tag`): the section oracle's answer when a test set one (a plane
// it says meets gives no curves), else section_by_plane's in the session's
// way of probing. With compare_probes set, each probe of a B-rep body is
// answered the other way too and both answers go to it; the other way's
// work is not counted in the session's statistics. Throws as
// section_by_plane does.
PlaneCut probe_plane(Tag tag, const Object& body, const gp_Pnt& origin, const gp_Vec& normal);

// The section-curves object of a request: the curves of every body by every
// plane that meets it, gathered in one object named after the first body
// met (its `source`), computed when first asked for; with `join` their
// edges are chained into wires where their ends lie within `tolerance`.
// Nothing when no plane meets any body. `bodies` name bodies and `planes`
// datum planes of `model`.
std::optional<Object> section_curves(const Model& model, const std::vector<Tag>& bodies,
                                     const std::vector<Tag>& planes, bool join, double tolerance);

}  // namespace ufhost
