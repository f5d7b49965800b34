// How far a body reaches from a line or along a direction, where a
// surface's or a circle's own peak lies off the face or the edge: the value
// must come from what the body holds, never from the peak.
#include "ufhost/enclosing/reach.h"

#include <gtest/gtest.h>

#include <BRepAlgoAPI_Common.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRepPrimAPI_MakeTorus.hxx>

#include <cmath>

namespace {

using ufhost::Measure;

constexpr double kTolerance = 1e-9;

Measure along(const gp_Dir& d) { return {Measure::kAlong, gp_Pnt(), d}; }
Measure from_line(const gp_Pnt& p, const gp_Dir& d) { return {Measure::kFromLine, p, d}; }

struct Case {
  const char* what;
  Measure measure;
  double value;
};

// Within the tolerance the kernel gives the booleans' edges (1e-7), which
// is how far an edge may lie from where its faces meet.
void expect_reaches(const TopoDS_Shape& body, const std::vector<Case>& cases) {
  constexpr double kEdges = 1e-7;
  ufhost::ExactBody exact;
  std::string error;
  ASSERT_TRUE(exact.prepare(body, &error)) << error;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ufhost::Reach r = exact.reach(c.measure, kTolerance);
    EXPECT_TRUE(r.settled);
    EXPECT_LE(r.lower, c.value + kEdges);
    EXPECT_GE(r.upper, c.value - kEdges);
    EXPECT_LE(r.upper - r.lower, 2 * kTolerance);
  }
}

TEST(Reach, ArcsPeakOnlyWhereTheyRun) {
  // Half a disc, 10 across the arc's middle and 2 thick: the arc runs over
  // +Y, the flat side lies on the X axis.
  const TopoDS_Shape half_disc = BRepPrimAPI_MakeCylinder(10, 2, M_PI).Shape();
  expect_reaches(half_disc, {
                                {"along +Y, the arc's middle", along(gp_Dir(0, 1, 0)), 10},
                                {"along -Y, the flat side", along(gp_Dir(0, -1, 0)), 0},
                                {"along +X, an end of the arc", along(gp_Dir(1, 0, 0)), 10},
                                // The point of the arc's circle facing away from
                                // the line is not on the arc: the ends are farthest.
                                {"from a line above the flat side",
                                 from_line(gp_Pnt(0, 5, 0), gp_Dir(0, 0, 1)), std::sqrt(125.0)},
                                {"from a line below it", from_line(gp_Pnt(0, -5, 0), gp_Dir(0, 0, 1)), 15},
                            });
}

TEST(Reach, PiercedSpherePeaksOnlyWhereTheFaceIs) {
  // A ball of radius 10 with a hole of radius 3 through it along X: the
  // sphere's farthest point along X lies in the hole, the hole's rim at
  // x = sqrt(100 - 9) is farthest.
  const TopoDS_Shape bead = BRepAlgoAPI_Cut(BRepPrimAPI_MakeSphere(10).Shape(),
                                            BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(-20, 0, 0), gp_Dir(1, 0, 0)), 3, 40).Shape())
                                .Shape();
  expect_reaches(bead, {
                           {"along X, the rim", along(gp_Dir(1, 0, 0)), std::sqrt(91.0)},
                           {"from the X axis, the great circle across it",
                            from_line(gp_Pnt(0, 0, 0), gp_Dir(1, 0, 0)), 10},
                           {"from a line along Z, the equator beside the hole", from_line(gp_Pnt(0, 0, 0), gp_Dir(0, 0, 1)),
                            std::sqrt(100.0)},
                       });
}

TEST(Reach, TurnedDownTorusPeaksOnlyWhereTheFaceIs) {
  // A ring (a torus of radii 10 and 3) turned down to 12 across its middle:
  // the torus keeps only what lies within 12 of the axis, short of its
  // outer equator at 13; its top circle at z = 3 stays.
  const TopoDS_Shape ring = BRepAlgoAPI_Common(BRepPrimAPI_MakeTorus(10, 3).Shape(),
                                               BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(0, 0, -5), gp_Dir(0, 0, 1)), 12, 10).Shape())
                                .Shape();
  expect_reaches(ring, {
                           {"from its axis", from_line(gp_Pnt(0, 0, 0), gp_Dir(0, 0, 1)), 12},
                           {"from a line beside its axis", from_line(gp_Pnt(1, 0, 0), gp_Dir(0, 0, 1)), 13},
                           {"along its axis", along(gp_Dir(0, 0, 1)), 3},
                           {"along X", along(gp_Dir(1, 0, 0)), 12},
                       });
}

}  // namespace
