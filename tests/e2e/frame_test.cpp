// The dimension command driver, the selection and the frame box, driven
// through ufhost with answers.
#include <cmath>
#include <string>

#include "tests/support/shapes.h"
#include "tests/support/support.h"

using testing_support::count_loose;
using testing_support::HostRun;
using testing_support::run_ufhost;
using testing_support::sample;
using testing_support::source_line;
using testing_support::work_dir;

namespace {

std::vector<double> dialog_values(const HostRun& run, std::size_t index = 0) {
  auto dialogs = run.of_kind("dialog");
  if (dialogs.size() <= index) return {};
  return dialogs[index]["values"].get<std::vector<double>>();
}

// Exact box of the sample block 100 x 50 x 20 turned 10 degrees about Z.
const double kTurn = 10.0 * M_PI / 180.0;
const double kTurnedX = 100.0 * std::cos(kTurn) + 50.0 * std::sin(kTurn);
const double kTurnedY = 100.0 * std::sin(kTurn) + 50.0 * std::cos(kTurn);

}  // namespace

TEST(FrameCommand, NothingSelectedShowsOneMessageAndNothingElse) {
  for (const char* answer : {"select none", "select cancel"}) {
    SCOPED_TRACE(answer);
    auto run = run_ufhost({sample("turned_block.step")},
                          {"menu 2", answer, "message ok", "menu cancel"},
                          work_dir(std::string("frame_nothing_") + (answer + 7)));
    ASSERT_EQ(0, run.exit_code) << run.err;
    auto messages = run.of_kind("message");
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ("Неувязочка", messages[0]["title"]);
    EXPECT_EQ("Нет выбранных объектов...", messages[0]["text"]);
    EXPECT_TRUE(run.of_kind("highlight").empty());
    EXPECT_TRUE(run.of_kind("dialog").empty());
    EXPECT_EQ(2u, run.of_kind("menu").size());
  }
}

TEST(FrameCommand, TurnedBlockShowsItsExactBox) {
  auto run = run_ufhost({sample("turned_block.step")},
                        {"menu 2", "select all", "dialog ok", "menu cancel"},
                        work_dir("frame_turned_block"));
  ASSERT_EQ(0, run.exit_code) << run.err;
  auto dialogs = run.of_kind("dialog");
  ASSERT_EQ(1u, dialogs.size());
  EXPECT_EQ("Габариты детали", dialogs[0]["title"]);
  EXPECT_EQ((std::vector<std::string>{"Длина", "Ширина", "Высота"}),
            dialogs[0]["labels"].get<std::vector<std::string>>());
  const auto v = dialog_values(run);
  ASSERT_EQ(3u, v.size());
  EXPECT_NEAR(kTurnedX, v[0], 1e-9);
  EXPECT_NEAR(kTurnedY, v[1], 1e-9);
  EXPECT_NEAR(20.0, v[2], 1e-9);
  // The selection's highlight is switched off again, object by object.
  bool off = false;
  for (const auto& h : run.of_kind("highlight")) off = off || !h["on"].get<bool>();
  EXPECT_TRUE(off);
}

TEST(FrameCommand, SeveralBodiesFrameOnlyTheFirst) {
  const std::string dir = work_dir("frame_two_bodies");
  auto run = run_ufhost({sample("two_bodies.step"), "--save", dir + "/out.brep"},
                        {"menu 2", "select 2 1", "dialog ok", "menu cancel"}, dir);
  ASSERT_EQ(0, run.exit_code) << run.err;
  auto select = run.of_kind("select");
  ASSERT_EQ(1u, select.size());
  ASSERT_EQ(2u, select[0]["objects"].size());
  // Picked second-listed first: that one is measured.
  auto lone = run_ufhost({sample("two_bodies.step")},
                         {"menu 2", "select 2", "dialog ok", "menu cancel"},
                         work_dir("frame_second_body"));
  EXPECT_EQ(dialog_values(lone), dialog_values(run));
  EXPECT_EQ(3u, dialog_values(run).size());

  // Six lines and two points went into the saved part.
  int edges = 0, vertices = 0;
  ASSERT_TRUE(count_loose(dir + "/out.brep", &edges, &vertices));
  EXPECT_EQ(6, edges);
  EXPECT_EQ(2, vertices);
}

TEST(FrameCommand, SharedPartsShowTheirReferenceBoxes) {
  SKIP_WITHOUT_SHARED_PARTS();
  for (const auto& ref : testing_support::shared_part_boxes()) {
    SCOPED_TRACE(ref.path);
    auto run = run_ufhost({ref.path}, {"menu 2", "select all", "dialog ok", "menu cancel"},
                          work_dir("frame_shared"));
    ASSERT_EQ(0, run.exit_code) << run.err;
    const auto v = dialog_values(run);
    ASSERT_EQ(3u, v.size());
    if (run.of_kind("select")[0]["objects"].size() > 1) continue;  // the box is of all bodies
    using testing_support::ReferenceBox;
    EXPECT_NEAR(ref.x, v[0], ReferenceBox::tolerance(ref.x, ref.rx));
    EXPECT_NEAR(ref.y, v[1], ReferenceBox::tolerance(ref.y, ref.ry));
    EXPECT_NEAR(ref.z, v[2], ReferenceBox::tolerance(ref.z, ref.rz));
  }
}

TEST(FrameCommand, FailedCallsAreReportedAndTheCommandGoesOn) {
  struct Case {
    const char* fail;
    const char* file;
    const char* bare;
    const char* call;
  };
  const Case cases[] = {
      {"UF_UNDO_set_mark", "Main.cpp", "Main", "UF_UNDO_set_mark(UF_UNDO_visible, NULL, &Undo)"},
      {"UF_UI_select_by_class", "selected.cpp", "selected",
       "UF_UI_select_by_class(message_sel,&opts,&response,count_obj,objects)"},
      {"UF_CURVE_create_point@1", "Main.cpp", "Main", "UF_CURVE_create_point(&box[3], &pset)"},
      {"UF_CURVE_create_point@2", "Main.cpp", "Main", "UF_CURVE_create_point(&box[0], &pset)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fail);
    const int line = source_line(c.file, std::string("CHECKED(") + c.call + ")");
    ASSERT_GT(line, 0);
    // A failed selection leaves nothing chosen; the others go on to the dialog.
    const bool selection_fails = std::string(c.fail) == "UF_UI_select_by_class";
    std::vector<std::string> answers = {"menu 2"};
    if (!selection_fails) answers.push_back("select all");
    answers.push_back(selection_fails ? "message ok" : "dialog ok");
    answers.push_back("menu cancel");
    auto run = run_ufhost({sample("turned_block.step"), "--fail", c.fail}, answers,
                          work_dir("frame_fail"));
    ASSERT_EQ(0, run.exit_code) << run.err;
    EXPECT_EQ("*** ERROR code 1009 at line " + std::to_string(line) + " in " + c.bare +
                  ":\n+++The operation was refused\n" + c.call + ";\n",
              run.syslog);
    EXPECT_EQ(selection_fails ? 0u : 1u, run.of_kind("dialog").size());
    EXPECT_EQ(2u, run.of_kind("menu").size());
  }
}
