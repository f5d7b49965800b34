// --view: the page a run writes, opened in headless Chromium. Screenshots
// stay in the build tree's test work folder (view_*/page.png).
#include <cstdlib>
#include <filesystem>

#include "tests/support/support.h"

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::HostRun;
using testing_support::read_file;
using testing_support::run_ufhost;
using testing_support::run_ufhost_exactly;
using testing_support::sample;
using testing_support::work_dir;

namespace {

// Opens the page and returns what check_view.mjs saw.
json open_in_browser(const std::string& page, const std::string& screenshot) {
  const std::string out = screenshot + ".json";
  const std::string command = "node '" + std::string(ZARVEL_SOURCE_DIR) +
                              "/tests/browser/check_view.mjs' '" + page + "' '" + screenshot +
                              "' > '" + out + "' 2> '" + out + ".err'";
  const int status = std::system(command.c_str());
  EXPECT_EQ(0, status) << read_file(out + ".err");
  return json::parse(read_file(out), nullptr, false);
}

}  // namespace

TEST(View, EverySampleOpensWithoutErrorsAndDrawsThePart) {
  REQUIRE_BROWSER();
  struct Case {
    const char* sample;
    std::vector<std::string> answers;
    int bodies, copies, boxes;
  };
  const Case cases[] = {
      {"bracket.step", {"menu 1", "select all", "dialog ok", "menu cancel"}, 1, 0, 1},
      {"two_bodies.step", {"menu 2", "select all", "dialog ok", "menu cancel"}, 2, 0, 1},
      // The search leaves a turned copy and the box of its final measure.
      {"turned_block.step", {"menu 3", "select all", "dialog ok 1e-6", "save log.txt", "menu cancel"}, 2, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sample);
    const std::string dir = work_dir(std::string("view_") + fs::path(c.sample).stem().string());
    HostRun run = run_ufhost({sample(c.sample), "--view", dir + "/page.html"}, c.answers, dir);
    ASSERT_EQ(0, run.exit_code) << run.err;
    const std::string page = read_file(dir + "/page.html");
    // Self-contained: no script, style or image from elsewhere.
    EXPECT_EQ(std::string::npos, page.find("<script src")) << "external script";
    EXPECT_EQ(std::string::npos, page.find("<link")) << "external stylesheet";

    const json seen = open_in_browser(dir + "/page.html", dir + "/page.png");
    ASSERT_TRUE(seen.is_object());
    EXPECT_TRUE(seen["errors"].empty()) << seen["errors"].dump();
    EXPECT_TRUE(seen["requests"].empty()) << seen["requests"].dump();
    EXPECT_TRUE(seen["view"]["webgl"].get<bool>());
    EXPECT_EQ(c.bodies, seen["view"]["bodies"].get<int>());
    EXPECT_EQ(c.copies, seen["view"]["copies"].get<int>());
    EXPECT_EQ(c.boxes, seen["view"]["boxes"].get<int>());
    EXPECT_GT(seen["view"]["triangles"].get<int>(), 10);
    // Not blank: a good part of the canvas is drawn, in more than a few colours.
    EXPECT_GT(seen["canvas"]["drawn_fraction"].get<double>(), 0.03) << seen["canvas"].dump();
    EXPECT_GT(seen["canvas"]["colours"].get<int>(), 20) << seen["canvas"].dump();
    EXPECT_TRUE(fs::file_size(dir + "/page.png") > 10000);
    // The box's three lengths stand beside it, as the dialog or log gave them.
    EXPECT_EQ(3u, seen["labels"].size()) << seen["labels"].dump();
    if (!run.of_kind("dialog").empty() && run.of_kind("dialog").back()["values"].size() >= 3) {
      const auto v = run.of_kind("dialog").back()["values"].get<std::vector<double>>();
      char x[64];
      std::snprintf(x, sizeof x, "X %.6f", v[0]);
      std::string expect = x;
      expect.erase(expect.find_last_not_of('0') + 1);
      if (expect.back() == '.') expect.pop_back();
      EXPECT_EQ(expect, seen["labels"][0].get<std::string>());
    }
  }
}

TEST(View, BatchWritesOnePagePerPart) {
  REQUIRE_BROWSER();
  const std::string dir = work_dir("view_batch");
  HostRun run = run_ufhost_exactly({"measure", "--command", "frame", "--view-dir", dir + "/pages",
                                    "--json", dir + "/rows.json", sample("bracket.step"),
                                    sample("two_bodies.step")},
                                   dir);
  ASSERT_EQ(0, run.exit_code) << run.out << run.err;
  for (const char* name : {"bracket", "two_bodies"}) {
    SCOPED_TRACE(name);
    const std::string page = dir + "/pages/" + name + ".html";
    ASSERT_TRUE(fs::exists(page));
    const json seen = open_in_browser(page, dir + "/" + name + ".png");
    EXPECT_TRUE(seen["errors"].empty()) << seen["errors"].dump();
    EXPECT_GT(seen["canvas"]["drawn_fraction"].get<double>(), 0.03);
  }
  const json rows = json::parse(read_file(dir + "/rows.json"));
  EXPECT_EQ(dir + "/pages/bracket.html", rows["rows"][0]["view"].get<std::string>());
}

TEST(View, AMissingViewerLeavesNoPageAndSaysWhy) {
  const std::string dir = work_dir("view_missing");
  fs::create_directories(dir + "/web");
  setenv("ZARVEL_WEB_DIR", (dir + "/web").c_str(), 1);
  HostRun run = run_ufhost({sample("bracket.step"), "--view", dir + "/page.html"},
                           {"menu 2", "select all", "dialog ok", "menu cancel"}, dir);
  unsetenv("ZARVEL_WEB_DIR");
  EXPECT_EQ(4, run.exit_code);
  EXPECT_NE(std::string::npos, run.err.find("--view")) << run.err;
  EXPECT_FALSE(fs::exists(dir + "/page.html"));
  for (const auto& e : fs::directory_iterator(dir))
    EXPECT_EQ(std::string::npos, e.path().filename().string().find("page.html")) << e.path();
  // The run itself went through: its dialog is in the transcript.
  EXPECT_EQ(1u, run.of_kind("dialog").size());

  // A page that could not be kept is refused before the run, not after it.
  HostRun early = run_ufhost({sample("bracket.step"), "--view", dir + "/no/such/page.html"},
                             {"menu 2", "select all", "dialog ok", "menu cancel"}, dir);
  EXPECT_EQ(1, early.exit_code);
  EXPECT_NE(std::string::npos, early.err.find("no such folder")) << early.err;
  EXPECT_TRUE(early.of_kind("menu").empty());
}
