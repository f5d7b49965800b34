// `ufhost --ui browser`: its page driven in headless Chromium as a person
// would (tests/browser/drive_app.mjs), and what the run recorded. The page's
// screenshots of a failed step stay in the test's work folder (failed.png).
#include <filesystem>

#include "tests/support/support.h"

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::drive_page;
using testing_support::PageRun;
using testing_support::sample;
using testing_support::work_dir;

namespace {

// The codes the answers of the run's requests of `kind` returned, in order,
// and where each answer came from ("" when the request was cancelled).
std::vector<std::pair<int, std::string>> answers_of(const PageRun& run, const std::string& kind) {
  std::vector<std::pair<int, std::string>> out;
  for (const json& e : run.host.of_kind(kind)) {
    const json& a = e["answer"];
    out.emplace_back(a.value(kind == "select" ? "response" : "code", -1), a.value("source", ""));
  }
  return out;
}

using Answers = std::vector<std::pair<int, std::string>>;

#define ASSERT_RAN(run)                                                                 \
  ASSERT_FALSE((run).seen.contains("failed")) << (run).seen.value("failed", "") << "\n" \
                                              << (run).host.err

}  // namespace

TEST(Browser, TwoBodiesPickedByClickingTheDialogTheBoxAndAbout) {
  REQUIRE_BROWSER();
  const std::string dir = work_dir("browser_pick_two");
  const PageRun run = drive_page("pick_two", sample("two_bodies.step"), dir);
  ASSERT_RAN(run);
  EXPECT_EQ(0, run.host.exit_code) << run.host.err;
  EXPECT_TRUE(run.seen["errors"].empty()) << run.seen["errors"].dump();

  // The menu as the plug-in gave it; every answer from the page.
  const json menu = run.host.of_kind("menu").at(0);
  EXPECT_EQ(menu["title"], run.seen["menu"]["title"]);
  EXPECT_EQ(menu["items"], run.seen["menu"]["items"]);
  EXPECT_EQ((Answers{{5, "browser"}, {8, "browser"}, {2, "browser"}}), answers_of(run, "menu"));

  // Picked in the order clicked, which is not the order listed.
  const std::vector<int> offered = run.seen["offered"].get<std::vector<int>>();
  ASSERT_EQ(2u, offered.size());
  const std::vector<int> clicked = {offered[1], offered[0]};
  EXPECT_EQ(clicked, run.seen["picked"].get<std::vector<int>>());
  const json select = run.host.of_kind("select").at(0);
  EXPECT_EQ(clicked, select["answer"]["tags"].get<std::vector<int>>());
  EXPECT_EQ("browser", select["answer"]["source"]);
  // The host lit both, the plug-in put them out; the page ends with none lit.
  EXPECT_EQ(4u, run.host.of_kind("highlight").size());
  EXPECT_TRUE(run.seen["highlighted_at_end"].empty());

  // The dialog shows the very values the plug-in passed, and the box drawn
  // in the view has the same lengths.
  const std::vector<double> values =
      run.host.of_kind("dialog").at(0)["values"].get<std::vector<double>>();
  ASSERT_EQ(4u, values.size());
  EXPECT_EQ("Габариты детали", run.seen["dialog"]["title"]);
  for (std::size_t i = 0; i < values.size(); ++i)
    EXPECT_EQ(values[i], std::stod(run.seen["dialog"]["values"][i].get<std::string>())) << i;
  EXPECT_NEAR(90, values[0], 1e-6);
  EXPECT_NEAR(30, values[1], 1e-6);
  EXPECT_NEAR(30, values[2], 1e-6);
  EXPECT_EQ(1, run.seen["stats"]["boxes"].get<int>());
  EXPECT_EQ(6, run.seen["stats"]["lines"].get<int>());
  for (int k = 0; k < 3; ++k)
    EXPECT_NEAR(values[k], run.seen["boxes"][0]["lengths"][k].get<double>(), 1e-6) << k;
  EXPECT_EQ("90 × 30 × 30 (sum 150.000001)", run.seen["box_text"]);

  const json about = run.host.of_kind("message").at(0);
  EXPECT_EQ(about["title"], run.seen["about_title"]);
  EXPECT_EQ(about["text"], run.seen["about"]);
  EXPECT_TRUE(run.seen["ended"].get<bool>());
  ::testing::Test::RecordProperty("ok_to_box_ms",
                                  std::to_string(run.seen["ok_to_box_ms"].get<double>()));
}

// The plug-in asks again as soon as the host has an answer, so a request
// can reach the page before the reply to the answer before it. Here every
// reply is held back until the page answers the next request: each of those
// answers must still go, and reach the plug-in.
TEST(Browser, AnswersSentWhileAnEarlierReplyIsHeldBackAllReachThePlugIn) {
  REQUIRE_BROWSER();
  const std::string dir = work_dir("browser_held_replies");
  const PageRun run =
      drive_page("held_replies", sample("two_bodies.step"), dir, "", UFHOST_HELD_REPLIES_BIN);
  ASSERT_RAN(run);
  EXPECT_EQ(0, run.host.exit_code) << run.host.err;
  EXPECT_TRUE(run.seen["errors"].empty()) << run.seen["errors"].dump();
  // Every click after the first was made with the reply to the one before
  // still on its way, and the page sent its answer.
  EXPECT_EQ((std::vector<int>{0, 1, 1, 1, 1, 1}),
            run.seen["pending_at_click"].get<std::vector<int>>());
  EXPECT_EQ(5, run.seen["sent_while_pending"].get<int>());

  EXPECT_EQ((Answers{{5, "browser"}, {8, "browser"}, {2, "browser"}}), answers_of(run, "menu"));
  EXPECT_EQ((Answers{{3, "browser"}}), answers_of(run, "select"));
  EXPECT_EQ(2u, run.host.of_kind("select").at(0)["answer"]["tags"].size());
  EXPECT_EQ((Answers{{3, "browser"}}), answers_of(run, "dialog"));
  EXPECT_EQ((Answers{{1, "browser"}}), answers_of(run, "message"));
  EXPECT_TRUE(run.seen["ended"].get<bool>()) << run.seen.dump();
}

TEST(Browser, BackAndCancelEverywhereThenClosingThePageEndsTheRun) {
  REQUIRE_BROWSER();
  const std::string dir = work_dir("browser_back_and_cancel");
  const PageRun run = drive_page("back_and_cancel", sample("two_bodies.step"), dir);
  ASSERT_RAN(run);
  EXPECT_EQ(0, run.host.exit_code) << run.host.err;
  // The one error the page logs is the refused file name's reply.
  for (const json& e : run.seen["errors"])
    EXPECT_NE(std::string::npos, e.get<std::string>().find("status of 400")) << e;

  // Back on the menu shows it again; the last menu was cancelled when the
  // page was closed, with no source, as when answers run out.
  EXPECT_EQ(
      (Answers{
          {1, "browser"}, {6, "browser"}, {5, "browser"}, {6, "browser"}, {7, "browser"}, {2, ""}}),
      answers_of(run, "menu"));
  EXPECT_NE(std::string::npos, run.host.err.find("the page was closed")) << run.host.err;
  EXPECT_EQ((Answers{{1, "browser"}, {3, "browser"}, {3, "browser"}, {3, "browser"}}),
            answers_of(run, "select"));
  EXPECT_EQ(2u, run.host.of_kind("select").back()["answer"]["tags"].size());
  EXPECT_EQ("Неувязочка", run.seen["nothing_selected"]);

  // Back and cancel in the result dialog; a value that is no number stays in
  // the page, "0,001" is read as 0.001.
  EXPECT_EQ((Answers{{1, "browser"}, {2, "browser"}, {3, "browser"}}), answers_of(run, "dialog"));
  EXPECT_FALSE(run.seen["bad_value"].get<std::string>().empty());
  EXPECT_EQ(std::vector<double>{0.001},
            run.host.of_kind("dialog").back()["answer"]["values"].get<std::vector<double>>());

  // The save dialog: a folder is refused in the page, a name gets .txt.
  EXPECT_NE(std::string::npos, run.seen["bad_name"].get<std::string>().find("is a folder"));
  const json save = run.host.of_kind("save").at(0);
  EXPECT_EQ(1, save["answer"]["code"]);
  EXPECT_EQ(dir + "/search-log.txt", save["answer"]["path"]);
  EXPECT_TRUE(fs::file_size(dir + "/search-log.txt") > 0);
  EXPECT_EQ(2, run.seen["copies"].get<int>());
}

TEST(Browser, RequestsWithoutTheTokenFromElsewhereOrUnfitAreRefusedAndCtrlCEndsTheRun) {
  REQUIRE_BROWSER();
  const std::string dir = work_dir("browser_guard");
  const PageRun run = drive_page("guard", sample("two_bodies.step"), dir);
  ASSERT_RAN(run);
  const std::pair<const char*, int> expected[] = {
      {"page_without_token", 403},   {"page_with_wrong_token", 403},
      {"script_without_token", 403}, {"events_without_token", 403},
      {"answer_without_token", 403}, {"other_origin", 403},
      {"other_host", 403},           {"other_site", 403},
      {"not_the_page", 409},         {"not_json", 415},
      {"no_such_path", 404},         {"the_page", 200},
  };
  for (const auto& [name, status] : expected)
    EXPECT_EQ(status, run.seen["status"].value(name, 0)) << name;
  EXPECT_NE(std::string::npos, run.seen["refusal"].get<std::string>().find("token"));
  EXPECT_NE(std::string::npos, run.seen["csp"].get<std::string>().find("script-src 'self'"));
  EXPECT_EQ("Shown elsewhere", run.seen["second_status"]);
  // Even the page itself cannot answer what the request does not offer.
  for (const auto& [name, status] : run.seen["unfit"].items()) EXPECT_EQ(400, status) << name;
  EXPECT_EQ(6u, run.seen["unfit"].size());
  EXPECT_TRUE(run.seen["select_still_open"].get<bool>());

  // SIGINT cancels the open selection and every request after it, and the
  // run ends as usual.
  EXPECT_EQ(0, run.host.exit_code) << run.host.err;
  EXPECT_NE(std::string::npos, run.host.err.find("stopped by SIGINT")) << run.host.err;
  EXPECT_EQ((Answers{{6, "browser"}, {2, ""}}), answers_of(run, "menu"));
  EXPECT_EQ((Answers{{2, ""}}), answers_of(run, "select"));
  EXPECT_EQ(1u, run.host.of_kind("summary").size());
}
