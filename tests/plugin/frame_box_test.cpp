// The frame box and the driver around it, against the stand-in host in the
// same process.
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <gp_Pln.hxx>

#include <array>

#include "src/Main.h"
#include "tests/support/support.h"
#include "ufhost/session/session.h"
#include "ufhost/session/test_control.h"
#include "ufhost/ui/ui.h"

namespace {

using ufhost::Kind;
using ufhost::Object;
using ufhost::session;
using Segment = std::array<double, 6>;

class FrameBox : public ::testing::Test {
 protected:
  void SetUp() override { ufhost::reset_session(); }

  tag_t add_box(double x0, double y0, double z0, double dx, double dy, double dz) {
    Object body;
    body.kind = Kind::SolidBody;
    body.name = "box";
    body.shape = BRepPrimAPI_MakeBox(gp_Pnt(x0, y0, z0), dx, dy, dz).Shape();
    return session().model.add(body);
  }

  std::vector<Segment> lines() const {
    std::vector<Segment> out;
    for (ufhost::Tag t : session().model.tags_of(Kind::Line)) {
      const Object* o = session().model.find(t);
      out.push_back({o->p0.X(), o->p0.Y(), o->p0.Z(), o->p1.X(), o->p1.Y(), o->p1.Z()});
    }
    return out;
  }

  std::vector<std::array<double, 3>> points() const {
    std::vector<std::array<double, 3>> out;
    for (ufhost::Tag t : session().model.tags_of(Kind::Point)) {
      const Object* o = session().model.find(t);
      out.push_back({o->p0.X(), o->p0.Y(), o->p0.Z()});
    }
    return out;
  }
};

TEST_F(FrameBox, DrawsSixEdgesFromTwoCornersThenTheCornerPoints) {
  const tag_t body = add_box(1, 2, 3, 10, 20, 30);
  double extents[4] = {-1, -1, -1, -1};
  frame_box(body, extents);
  EXPECT_DOUBLE_EQ(10, extents[0]);
  EXPECT_DOUBLE_EQ(20, extents[1]);
  EXPECT_DOUBLE_EQ(30, extents[2]);
  EXPECT_EQ(-1, extents[3]);  // the sum is the caller's
  const std::vector<Segment> expected = {
      {1, 2, 3, 11, 2, 3},    {1, 2, 3, 1, 22, 3},    {1, 2, 3, 1, 2, 33},
      {11, 22, 33, 1, 22, 33}, {11, 22, 33, 11, 2, 33}, {11, 22, 33, 11, 22, 3},
  };
  EXPECT_EQ(expected, lines());
  EXPECT_EQ((std::vector<std::array<double, 3>>{{11, 22, 33}, {1, 2, 3}}), points());
}

TEST_F(FrameBox, FlatBodyStillGetsAllSixLines) {
  Object sheet;
  sheet.kind = Kind::SheetBody;
  sheet.shape = BRepBuilderAPI_MakeFace(gp_Pln(gp_Pnt(0, 0, 5), gp_Dir(0, 0, 1)), 0, 4, 0, 3).Face();
  const tag_t body = session().model.add(sheet);
  double extents[4] = {};
  frame_box(body, extents);
  EXPECT_NEAR(4, extents[0], 1e-12);
  EXPECT_NEAR(3, extents[1], 1e-12);
  EXPECT_EQ(0, extents[2]);
  const auto drawn = lines();
  ASSERT_EQ(6u, drawn.size());
  EXPECT_EQ(drawn[2][2], drawn[2][5]);  // the Z edges have no length
  EXPECT_EQ(drawn[5][2], drawn[5][5]);
}

TEST_F(FrameBox, LengthsDoNotDependOnWhichCornerComesFirst) {
  const tag_t body = add_box(-5, -6, -7, 3, 4, 5);
  double straight[4] = {}, swapped[4] = {};
  frame_box(body, straight);
  ufhost::test_control().swap_box_corners = true;
  frame_box(body, swapped);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(straight[i], swapped[i]);
  EXPECT_EQ(3, straight[0]);
  // The frame is drawn from the corner the host gave first.
  EXPECT_EQ((std::array<double, 3>{-2, -2, -2}), points().back());
}

TEST_F(FrameBox, FailedBoxShowsZerosAndDrawsNothing) {
  const tag_t body = add_box(0, 0, 0, 1, 1, 1);
  session().fail_rules.push_back({"UF_MODL_ask_bounding_box", ufhost::kErrRefused, 0});
  double extents[4] = {7, 7, 7, 7};
  frame_box(body, extents);
  EXPECT_EQ(0, extents[0]);
  EXPECT_EQ(0, extents[1]);
  EXPECT_EQ(0, extents[2]);
  EXPECT_TRUE(lines().empty());
  EXPECT_TRUE(points().empty());
}

TEST_F(FrameBox, UndoToTheCommandsMarkRemovesTheFrame) {
  add_box(0, 0, 0, 1, 2, 3);
  add_box(5, 5, 5, 1, 1, 1);
  const std::size_t before = session().model.size();
  session().ui = ufhost::make_scripted_ui({"select all", "dialog ok"});
  dimension_command(2);
  EXPECT_EQ(6u, lines().size());  // only the first body is framed
  EXPECT_EQ(2u, points().size());
  const auto visible = session().model.marks(true);
  ASSERT_EQ(1u, visible.size());
  ASSERT_TRUE(session().model.undo_to(visible[0]));
  EXPECT_EQ(before, session().model.size());
}

}  // namespace
