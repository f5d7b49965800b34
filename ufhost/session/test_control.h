// The host's test doubles, all behind this one door (in the way of SQLite's
// sqlite3_test_control): a test reaches every double through test_control()
// and nothing else does. They are consulted where a request enters the host
// (the section probe, the box query) and where a named piece of kernel work
// begins, never inside the geometry code, and a fresh session has them all
// off:
//
//   ufhost::test_control().section_oracle = [](ufhost::Tag body, const gp_Pnt& origin,
//                                              const gp_Vec& normal) { return origin.X() < 10; };
//   ufhost::test_control().swap_box_corners = true;
//   ufhost::test_control().crash_in = "tessellating a body";
#pragma once

#include <gp_Pnt.hxx>
#include <gp_Vec.hxx>

#include <functional>
#include <string>

#include "ufhost/model/model.h"
#include "ufhost/geom/sections.h"

namespace ufhost {

struct TestControl {
  // When set, UF_CURVE_section_from_planes asks it instead of the kernel
  // whether the plane through `origin` with the unit `normal` meets `body`.
  // A plane it says meets gives a section-curves object with no curves.
  std::function<bool(Tag body, const gp_Pnt& origin, const gp_Vec& normal)> section_oracle;

  // UF_MODL_ask_bounding_box gives the maximum corner first, as another host
  // might.
  bool swap_box_corners = false;

  // How UF_CURVE_section_from_planes answers B-rep bodies, and, when
  // compare_probes is set, each such probe answered the other way too and
  // handed to it with both answers (the other way's work is not counted in
  // the session's statistics). The section_oracle comes first.
  Probing probing = Probing::kFast;
  struct ProbeAnswers {
    Tag body;
    gp_Pnt origin;
    gp_Vec normal;
    bool fast, boolean;  // whether each way finds that the plane meets the body
  };
  std::function<void(const ProbeAnswers&)> compare_probes;

  // The named piece of kernel work (the name given to kernel_work,
  // containment.h) in which the kernel crashes, as it does on a damaged
  // body: a SIGSEGV raised inside the work, every time it runs.
  std::string crash_in;

  // The browser front end's server holds its reply to each of the page's
  // answers back until the next answer comes (PageServer::
  // hold_replies_for_tests): only the tests' own build of ufhost sets it.
  bool hold_answer_replies = false;
};

// The doubles of the current session (session().doubles); reset_session()
// turns them all off.
TestControl& test_control();

}  // namespace ufhost
