// Faces' exact extremes along the axes, and what they tell of the kernel's
// boolean section near them.
#include "ufhost/geom/extremes.h"

#include <gtest/gtest.h>

#include <BRepBndLib.hxx>
#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepPrimAPI_MakeCone.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRepPrimAPI_MakeTorus.hxx>
#include <Bnd_Box.hxx>
#include <Geom_ToroidalSurface.hxx>
#include <Precision.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <array>
#include <cmath>
#include <gp_Elips.hxx>

namespace {

using ufhost::Meets;
using ufhost::Extremes;

TopoDS_Shape first_face(const TopoDS_Shape& s) { return TopExp_Explorer(s, TopAbs_FACE).Current(); }

TEST(Extremes, ExtentsOfCurvedLeavesAreExact) {
  const gp_Ax2 at(gp_Pnt(1, 2, 3), gp_Dir(0, 0, 1));
  gp_Ax2 turned = at;
  turned.Rotate(gp_Ax1(gp_Pnt(1, 2, 3), gp_Dir(0, 0, 1)), M_PI / 6);
  struct Case {
    const char* name;
    TopoDS_Shape leaf;
    std::array<double, 6> extent;  // lower X, Y, Z, upper X, Y, Z
  };
  const double ellipse = std::sqrt(16 * 0.75 + 4 * 0.25);  // 4 cos 30°, 2 sin 30° about X
  const Case cases[] = {
      // Inner points of the surface, a seam and two poles.
      {"sphere",
       first_face(BRepPrimAPI_MakeSphere(gp_Pnt(1, 2, 3), 5).Shape()),
       {-4, -3, -2, 6, 7, 8}},
      // The top circle inside the face, the outer equator on its seam.
      {"torus", first_face(BRepPrimAPI_MakeTorus(at, 10, 2).Shape()), {-11, -10, 1, 13, 14, 5}},
      // Outer equator inside the face along Y; along X, where the face is
      // cut off at u = 0.3, its boundary circle: 1 + 12 cos 0.3.
      {"torus cut",
       BRepBuilderAPI_MakeFace(new Geom_ToroidalSurface(gp_Ax3(at), 10, 2), 0.3, 5.9, -1, 1, 1e-7)
           .Face(),
       {-11, -10, 3 - 2 * std::sin(1.0), 1 + 12 * std::cos(0.3), 14, 3 + 2 * std::sin(1.0)}},
      // Lines of the cylinder lying along the planes.
      {"cylinder lying",
       first_face(
           BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(1, 2, 3), gp_Dir(1, 0, 0)), 5, 10).Shape()),
       {1, -3, -2, 11, 7, 8}},
      {"cone", first_face(BRepPrimAPI_MakeCone(at, 5, 2, 10).Shape()), {-4, -3, 3, 6, 7, 13}},
      {"ellipse",
       BRepBuilderAPI_MakeEdge(gp_Elips(turned, 4, 2)).Edge(),
       {1 - ellipse, 2 - std::sqrt(16 * 0.25 + 4 * 0.75), 3, 1 + ellipse,
        2 + std::sqrt(16 * 0.25 + 4 * 0.75), 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Extremes e(c.leaf, Precision::Confusion());
    Bnd_Box box;
    BRepBndLib::AddOptimal(c.leaf, box, false, false);
    for (int axis = 0; axis < 3; ++axis) {
      double lo = 0, hi = 0;
      ASSERT_TRUE(e.extent(axis, &lo, &hi));
      EXPECT_NEAR(c.extent[axis], lo, 1e-12 * 16) << "axis " << axis;
      EXPECT_NEAR(c.extent[axis + 3], hi, 1e-12 * 16) << "axis " << axis;
      // Never outside the kernel's precise box, which is never smaller.
      EXPECT_GE(lo, box.CornerMin().Coord(axis + 1) - 1e-12);
      EXPECT_LE(hi, box.CornerMax().Coord(axis + 1) + 1e-12);
    }
  }
}

TEST(Extremes, AnswersNearAnInnerPointOfASphere) {
  // Its lowest Y lies inside the face: the kernel finds planes that cut in,
  // and none beyond, not even within the tolerance.
  const Extremes e(first_face(BRepPrimAPI_MakeSphere(gp_Pnt(1, 2, 3), 5).Shape()), 1e-7);
  const gp_Dir y(0, 1, 0);
  struct Case {
    double y;
    Meets answer;
  };
  const Case cases[] = {
      {-3 + 1e-9, Meets::Yes},  // cuts a small circle
      {-3, Meets::Unknown},     // touches: the kernel's rounding decides
      {-3 - 5e-8, Meets::No},   // within the tolerance, yet nothing found
      {-3 - 1e-6, Meets::No},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.y);
    EXPECT_EQ(c.answer, e.answer(1, gp_Pnt(0, c.y, 0), y));
  }
}

}  // namespace
