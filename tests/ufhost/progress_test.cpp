// The progress line: when it shows, how it is drawn, and what it counts.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "ufhost/base/progress.h"

namespace {

TEST(Progress, ShownOnlyWhenAskedOrOnATerminal) {
  struct Case {
    const char* name;
    ufhost::ProgressMode mode;
    int terminal;
    double delay;
    bool shown;
  };
  const Case cases[] = {
      {"asked, off a terminal", ufhost::ProgressMode::Always, 0, 0.0, true},
      {"on a terminal", ufhost::ProgressMode::Always, 1, 0.0, true},
      {"auto, into a file", ufhost::ProgressMode::Auto, -1, 0.0, false},
      {"never", ufhost::ProgressMode::Never, 1, 0.0, false},
      {"quick work", ufhost::ProgressMode::Always, 0, 10.0, false},
  };
  const ufhost::ProgressSettings saved = ufhost::progress_settings();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::FILE* out = std::tmpfile();
    ASSERT_NE(nullptr, out);
    ufhost::ProgressSettings settings;
    settings.mode = c.mode;
    settings.out = out;
    settings.terminal = c.terminal;
    settings.delay = c.delay;
    settings.interval = 0.01;
    ufhost::set_progress_settings(settings);
    {
      ufhost::Progress outer("measuring", 3);
      for (int i = 0; i < 3; ++i) {
        ufhost::Progress inner("faceting");
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        outer.step();
      }
      if (c.shown) {
        EXPECT_NE(std::string::npos, ufhost::progress_line().find("measuring 3/3"));
      }
    }
    EXPECT_EQ("", ufhost::progress_line());
    std::rewind(out);
    std::string text;
    for (int ch; (ch = std::fgetc(out)) != EOF;) text += static_cast<char>(ch);
    std::fclose(out);
    EXPECT_EQ(c.shown, !text.empty()) << text;
    if (!c.shown) continue;
    EXPECT_NE(std::string::npos, text.find("measuring")) << text;
    EXPECT_NE(std::string::npos, text.find("faceting")) << text;
    if (c.terminal == 1) {
      // Redrawn in place, and cleared when the work ends.
      EXPECT_EQ('\r', text.front());
      EXPECT_EQ("\r\x1b[K", text.substr(text.size() - 4));
    } else {
      EXPECT_EQ(std::string::npos, text.find('\r'));
      EXPECT_NE(std::string::npos, text.find("measuring 3/3")) << text;
    }
  }
  ufhost::set_progress_settings(saved);
}

// Progress counted and never drawn, into a file of its own; the settings
// as they were come back after.
class HostCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = ufhost::progress_settings();
    out_ = std::tmpfile();
    ufhost::ProgressSettings settings;
    settings.mode = ufhost::ProgressMode::Always;
    settings.out = out_;
    settings.terminal = 0;
    settings.delay = 100;  // counted, never drawn
    ufhost::set_progress_settings(settings);
  }
  void TearDown() override {
    ufhost::set_progress_settings(saved_);
    std::fclose(out_);
  }
  void call(std::initializer_list<const char*> operations) {
    for (const char* op : operations) ufhost::progress_host_call(op);
  }

 private:
  ufhost::ProgressSettings saved_;
  std::FILE* out_ = nullptr;
};

TEST_F(HostCalls, AreCountedByWhatTheyDo) {
  call({"UF_FACET_facet_solid", "UF_FACET_cycle_facets", "UF_CURVE_section_from_planes", "uf5947_",
        "UF_MODL_create_plane"});
  const std::string line = ufhost::progress_line();
  EXPECT_NE(std::string::npos, line.find("5 host calls (facet walk 2, sections 1, turns 1)")) << line;
}

// A dialog for the user ends the count: nothing may stand on the line then.
TEST_F(HostCalls, AreNoLongerCountedOnceTheUserIsAsked) {
  call({"UF_FACET_facet_solid", "UF_FACET_cycle_facets", "uc1608"});
  EXPECT_EQ("", ufhost::progress_line());
}

}  // namespace
