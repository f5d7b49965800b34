// The commands as a batch drives them: the answers that run them, and how
// exact their lengths are.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ufhost/app/batch/commands.h"

namespace {

using ufhost::app::Command;

// One run can do both commands, each on every body, and leave the menu once.
TEST(Commands, AnswersRunEachCommandInTurn) {
  const std::vector<std::string> answers =
      ufhost::app::answers_for({Command::Extents, Command::Search}, "/tmp/log.txt");
  ASSERT_EQ(8u, answers.size());
  EXPECT_EQ("menu 1", answers[0]);
  EXPECT_EQ("select all", answers[1]);
  EXPECT_EQ("dialog ok", answers[2]);
  EXPECT_EQ("menu 3", answers[3]);
  EXPECT_EQ("select all", answers[4]);
  EXPECT_EQ(0u, answers[5].rfind("dialog ok ", 0));
  // The precision the dialog is given reads back as the one the exactness
  // rule speaks of.
  EXPECT_EQ(ufhost::app::kSearchPrecision, std::strtod(answers[5].c_str() + 10, nullptr));
  EXPECT_EQ("save /tmp/log.txt", answers[6]);
  EXPECT_EQ("menu cancel", answers[7]);
}

TEST(Commands, TheFrameIsAsExactAsTheBodiesTolerance) {
  EXPECT_EQ(0.0, ufhost::app::exactness(Command::Frame, 0.0));
  EXPECT_EQ(1e-3, ufhost::app::exactness(Command::Frame, 1e-3));
}

// Probes cut within the kernel's confusion distance at least, and the
// search's log keeps six decimals; its precision is the slack of the
// orientation, not of the lengths measured in it.
TEST(Commands, ProbesAndTheLogAddTheirNoise) {
  EXPECT_DOUBLE_EQ(1e-7, ufhost::app::exactness(Command::Extents, 0.0));
  EXPECT_DOUBLE_EQ(6e-7, ufhost::app::exactness(Command::Search, 0.0));
  EXPECT_DOUBLE_EQ(6e-7, ufhost::app::exactness(Command::Search, 1e-7));
  EXPECT_DOUBLE_EQ(1.5e-6, ufhost::app::exactness(Command::Search, 1e-6));
  EXPECT_LT(ufhost::app::rounding_noise(Command::Search, 1000, 1e-7), 1e-5);
}

// A blank the part needs may be larger than the best orientation's by the
// precision times its length: enough to forgive 30.00001 for a 30 mm nut.
TEST(Commands, TheSearchsSlackGrowsWithTheLength) {
  EXPECT_EQ(0.0, ufhost::app::orientation_slack(Command::Extents, 1000));
  EXPECT_DOUBLE_EQ(1e-3, ufhost::app::orientation_slack(Command::Search, 1000));
  const double slack = ufhost::app::orientation_slack(Command::Search, 30.00001);
  const double noise = ufhost::app::rounding_noise(Command::Search, 30.00001, 1e-7, slack);
  EXPECT_EQ(30, ufhost::app::round_up_length(30.00001, 1, noise));
  EXPECT_EQ(31, ufhost::app::round_up_length(30.00001, 1,
                                            ufhost::app::rounding_noise(Command::Search, 30.00001, 1e-7)));
}

TEST(Commands, RoundingForgivesNoiseOnly) {
  const double noise = ufhost::app::rounding_noise(Command::Extents, 20, 1e-7);
  EXPECT_EQ(20, ufhost::app::round_up_length(20 - 0.5 * noise, 1, noise));
  EXPECT_EQ(20, ufhost::app::round_up_length(20 + 0.5 * noise, 1, noise));
  EXPECT_EQ(21, ufhost::app::round_up_length(20 + 2 * noise, 1, noise));
  EXPECT_EQ(22.5, ufhost::app::round_up_length(20.2, 2.5, noise));
}

}  // namespace
