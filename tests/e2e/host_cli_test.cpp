// The ufhost program: bad input of every kind, answers from every source,
// the transcript's summary and --save.
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <TopExp.hxx>
#include <TopTools_IndexedMapOfShape.hxx>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/support/support.h"

namespace fs = std::filesystem;
using testing_support::count_calls;
using testing_support::HostRun;
using testing_support::read_file;
using testing_support::run_ufhost;
using testing_support::run_ufhost_exactly;
using testing_support::work_dir;

namespace {

// A 100 x 50 x 20 box written as a part file in `dir`.
std::string write_box(const std::string& dir, const std::string& name = "box.brep") {
  const std::string path = dir + "/" + name;
  EXPECT_TRUE(BRepTools::Write(BRepPrimAPI_MakeBox(100, 50, 20).Shape(), path.c_str()));
  return path;
}

void write_text(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

int lines_of(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// The run stopped before the plug-in: one line on standard error and none
// of the outputs it was asked for.
void expect_stopped_cleanly(const HostRun& run, const std::string& dir, int status,
                            const std::string& mention) {
  EXPECT_EQ(status, run.exit_code) << run.err;
  EXPECT_EQ(1, lines_of(run.err)) << run.err;
  EXPECT_EQ(0u, run.err.rfind("ufhost: ", 0)) << run.err;
  EXPECT_NE(std::string::npos, run.err.find(mention)) << run.err;
  EXPECT_FALSE(fs::exists(dir + "/transcript.jsonl"));
  EXPECT_FALSE(fs::exists(dir + "/syslog.txt"));
  EXPECT_FALSE(fs::exists(dir + "/out.brep"));
}

}  // namespace

TEST(HostCli, BadPartFilesStopBeforeAnythingIsWritten) {
  struct Case { const char* name; const char* file; const char* content; };
  const Case cases[] = {
      {"missing", "none.step", nullptr},
      {"garbage_step", "garbage.step", "this is not a part file\n\x01\x02\x03"},
      {"garbage_brep", "garbage.brep", "DBRep_DrawableShape\nnonsense 12 34\n"},
      {"empty_brep", "empty.brep", ""},
      {"empty_stl", "empty.stl", ""},
      {"no_extension", "part", "solid x\nendsolid x\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = work_dir(std::string("cli_bad_part_") + c.name);
    const std::string part = dir + "/" + c.file;
    if (c.content != nullptr) write_text(part, c.content);
    const HostRun run = run_ufhost({part, "--save", "out.brep"}, {"menu cancel"}, dir);
    expect_stopped_cleanly(run, dir, 2, c.file);
  }
}

TEST(HostCli, PluginThatCannotBeLoadedStopsTheRun) {
  const std::string dir = work_dir("cli_bad_plugin");
  const std::string part = write_box(dir);
  HostRun run = run_ufhost({part}, {"menu cancel"}, dir, dir + "/none.so");
  expect_stopped_cleanly(run, dir, 3, "none.so");

  write_text(dir + "/broken.so", "not a library");
  run = run_ufhost({part}, {"menu cancel"}, dir, dir + "/broken.so");
  expect_stopped_cleanly(run, dir, 3, "broken.so");

  // A real library that is not a plug-in.
  const std::string other = (fs::path(UFHOST_BIN).parent_path() / "libufui.so").string();
  run = run_ufhost({part}, {"menu cancel"}, dir, other);
  expect_stopped_cleanly(run, dir, 3, "ufusr");
}

TEST(HostCli, MissingAnswersFileIsAnErrorBeforeAnythingRuns) {
  const std::string dir = work_dir("cli_missing_answers");
  const std::string part = write_box(dir);
  const HostRun run = run_ufhost_exactly(
      {part, "--answers", "gone.txt", "--transcript", "transcript.jsonl", "--syslog", "syslog.txt"},
      dir);
  expect_stopped_cleanly(run, dir, 1, "gone.txt");
}

TEST(HostCli, BadOptionsAreUsageErrors) {
  const std::string dir = work_dir("cli_bad_options");
  const std::string part = write_box(dir);
  // What each bad option says is a test of the command line itself; here
  // one of them, and the checks the run makes before it starts.
  const std::vector<std::vector<std::string>> cases = {
      {part, "--frobnicate"},
      {part, "--save", part},
      {part, "--save", "./box.brep"},
      {part, "--transcript", "no/such/folder/t.jsonl"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const HostRun run = run_ufhost_exactly(args, dir, "menu cancel\n");
    EXPECT_EQ(1, run.exit_code) << run.err;
    EXPECT_EQ(1, lines_of(run.err)) << run.err;
  }
  EXPECT_TRUE(fs::exists(part));
}

TEST(HostCli, HelpAndVersion) {
  const std::string dir = work_dir("cli_help");
  HostRun run = run_ufhost_exactly({"--help"}, dir);
  EXPECT_EQ(0, run.exit_code);
  EXPECT_EQ(0u, run.out.find("Usage: ufhost")) << run.out;
  run = run_ufhost_exactly({"--version"}, dir);
  EXPECT_EQ(0, run.exit_code);
  EXPECT_EQ(0u, run.out.find("ufhost "));
}

TEST(HostCli, WrongKindAnswerNamesItsLineAndIsCancelled) {
  const std::string dir = work_dir("cli_wrong_kind");
  const std::string part = write_box(dir);
  // The selection gets a message answer, the no-selection message a menu
  // answer; then the answers run out and the menu is cancelled.
  const HostRun run = run_ufhost({part}, {"menu 2", "message ok", "menu cancel"}, dir);
  EXPECT_EQ(5, run.exit_code) << run.err;
  EXPECT_NE(std::string::npos, run.err.find("answers.txt:2: ")) << run.err;
  EXPECT_NE(std::string::npos, run.err.find("answers.txt:3: ")) << run.err;
  const auto selects = run.of_kind("select");
  ASSERT_EQ(1u, selects.size());
  EXPECT_EQ(2, selects[0]["answer"]["response"]);
  EXPECT_NE(std::string::npos,
            selects[0]["answer"]["error"].get<std::string>().find("answers.txt:2"));
  EXPECT_EQ(1, count_calls(run, "UF_terminate"));
  EXPECT_EQ(2, run.of_kind("summary").at(0)["unusable_answers"]);
}

TEST(HostCli, RunningOutOfAnswersEndsTheRun) {
  const std::string dir = work_dir("cli_run_out");
  const std::string part = write_box(dir);
  const HostRun run = run_ufhost({part}, {"# nothing but a comment", ""}, dir);
  EXPECT_EQ(0, run.exit_code) << run.err;
  const auto menus = run.of_kind("menu");
  ASSERT_EQ(1u, menus.size());
  EXPECT_EQ(2, menus[0]["answer"]["code"]);
  EXPECT_EQ(1, count_calls(run, "UF_terminate"));
  ASSERT_EQ(2u, run.of_kind("plugin").size());
  EXPECT_EQ("load", run.of_kind("plugin")[0]["text"]);
  EXPECT_EQ("unload", run.of_kind("plugin")[1]["text"]);
  const auto summary = run.of_kind("summary");
  ASSERT_EQ(1u, summary.size());
  EXPECT_TRUE(summary[0]["created"].empty());
  EXPECT_EQ("summary", run.transcript.back()["kind"]);
}

TEST(HostCli, AnswersFromStandardInputAndTheCommandLine) {
  const std::string dir = work_dir("cli_answer_sources");
  const std::string part = write_box(dir);
  HostRun run = run_ufhost_exactly({part, "--transcript", "t.jsonl", "--syslog", "s.txt"}, dir,
                                   "menu 4\nmessage ok\nmenu cancel\n");
  EXPECT_EQ(0, run.exit_code) << run.err;
  EXPECT_EQ(1u, run.of_kind("message").size());
  EXPECT_EQ("stdin:2", run.of_kind("message").at(0)["answer"]["source"]);

  // --answer lines come after the file's and are named by their order.
  write_text(dir + "/a.txt", "menu 4\n");
  run = run_ufhost_exactly({part, "--answers", "a.txt", "--answer", "message ok", "--answer",
                            "menu 9", "--transcript", "t.jsonl", "--syslog", "s.txt"},
                           dir, "this is not read\n");
  EXPECT_EQ(5, run.exit_code) << run.err;  // the menu has no item 9
  EXPECT_EQ("--answer:1", run.of_kind("message").at(0)["answer"]["source"]);
  EXPECT_NE(std::string::npos, run.err.find("--answer:2: ")) << run.err;
}

TEST(HostCli, SaveWritesWhatTheRunCreatedAndNeverTheInput) {
  const std::string dir = work_dir("cli_save");
  const std::string part = write_box(dir);
  const std::string before = read_file(part);
  const HostRun run = run_ufhost({part, "--save", "out.brep"},
                                 {"menu 2", "select all", "dialog ok", "menu cancel"}, dir);
  ASSERT_EQ(0, run.exit_code) << run.err;
  const auto summary = run.of_kind("summary");
  ASSERT_EQ(1u, summary.size());
  int lines = 0, points = 0;
  for (const auto& o : summary[0]["created"]) {
    lines += o["type"] == "line";
    points += o["type"] == "point";
  }
  EXPECT_EQ(6, lines);  // the frame
  EXPECT_EQ(2, points);

  TopoDS_Shape saved;
  BRep_Builder builder;
  ASSERT_TRUE(BRepTools::Read(saved, (dir + "/out.brep").c_str(), builder));
  TopTools_IndexedMapOfShape edges;
  TopExp::MapShapes(saved, TopAbs_EDGE, edges);
  EXPECT_GE(edges.Extent(), 12 + 6);  // the box's edges and the frame's lines
  EXPECT_EQ(before, read_file(part));
  EXPECT_EQ(std::vector<std::string>{}, [&] {
    std::vector<std::string> leftovers;  // no temporary file stays behind
    for (const auto& e : fs::directory_iterator(dir))
      if (e.path().filename().string().find("out.brep") != std::string::npos &&
          e.path().filename() != "out.brep")
        leftovers.push_back(e.path().filename().string());
    return leftovers;
  }());
}
