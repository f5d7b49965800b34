// Reading what a batch's run left: the search log's lines, the dialogs of
// the transcript.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ufhost/app/batch/run_folder.h"
#include "ufhost/base/cp1251.h"

namespace {

using ufhost::app::CommandResult;

// A search log as the plug-in writes it (code page 1251), with these angle
// lines ("Z 10" is about Z by 10 degrees) and the final line unless `final`
// is false.
std::string search_log(const std::vector<std::pair<char, double>>& angles, bool final = true) {
  std::string text =
      "Count tags: 1\n\tTag: 7\nCount vertex: 24\nПоворот вокруг точки: 1.0 2.0 3.0\n";
  for (const auto& [axis, degrees] : angles) {
    char line[128];
    std::snprintf(line, sizeof line, "Угол поворота по %c : %f(%f)\n", axis, degrees,
                  degrees / 180.0 * 3.141592653589793);
    text += line;
  }
  if (final) text += "Конечные габариты: 30.500000 20.250000 10.000000 Сумма: 60.750000\n";
  return ufhost::utf8_to_cp1251(text);
}

TEST(SearchLog, AnglesGoToTheirPassesAndTheFinalLineToTheLengths) {
  struct Case {
    const char* name;
    std::vector<std::pair<char, double>> angles;
    double degrees[4];  // Z, Y, X, Z again
  };
  const Case cases[] = {
      {"none", {}, {0, 0, 0, 0}},
      {"a single Z is pass 1", {{'Z', 10}}, {10, 0, 0, 0}},
      {"Z before Y", {{'Z', 10}, {'Y', 20}}, {10, 20, 0, 0}},
      {"a single Z after Y is pass 4", {{'Y', 20}, {'Z', 40}}, {0, 20, 0, 40}},
      {"a single Z after X is pass 4", {{'X', 30}, {'Z', 40}}, {0, 0, 30, 40}},
      {"two Z lines are passes 1 and 4", {{'Z', 10}, {'Z', -40}}, {10, 0, 0, -40}},
      {"every pass", {{'Z', 10}, {'Y', 20}, {'X', 30}, {'Z', 179.5}}, {10, 20, 30, 179.5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CommandResult row;
    std::string error;
    ASSERT_TRUE(ufhost::app::read_search_log(search_log(c.angles), &row, &error)) << error;
    EXPECT_TRUE(row.has_angles);
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(c.degrees[k], row.degrees[k]) << k;
      EXPECT_NEAR(c.degrees[k] / 180.0 * 3.141592653589793, row.radians[k], 1e-6) << k;
    }
    EXPECT_EQ(30.5, row.lengths[0]);
    EXPECT_EQ(20.25, row.lengths[1]);
    EXPECT_EQ(10, row.lengths[2]);
    EXPECT_EQ(60.75, row.sum);
  }
}

TEST(SearchLog, WithoutAFinalLineOrWithAnUnreadableLineItGivesNoResult) {
  CommandResult row;
  std::string error;
  EXPECT_FALSE(ufhost::app::read_search_log(search_log({{'Z', 10}}, false), &row, &error));
  EXPECT_EQ("the search log has no final line", error);
  const std::string broken = ufhost::utf8_to_cp1251("Угол поворота по Z : ten\n") + search_log({});
  EXPECT_FALSE(ufhost::app::read_search_log(broken, &row, &error));
  EXPECT_NE(std::string::npos, error.find("unreadable line")) << error;
}

// A transcript's dialog entry is read only when it holds the numbers a
// result dialog shows; anything else is no result, never a crash.
TEST(RunFolder, DialogValuesOnlyFromAWholeResult) {
  std::vector<double> values;
  const nlohmann::json good = {{"kind", "dialog"}, {"values", {80.0, 40.0, 60.0, 180.0}}};
  EXPECT_TRUE(ufhost::app::dialog_values(&good, 4, &values));
  EXPECT_EQ(values, (std::vector<double>{80, 40, 60, 180}));
  for (const nlohmann::json& bad :
       {nlohmann::json{{"kind", "dialog"}}, nlohmann::json{{"values", {80.0, 40.0, 60.0}}},
        nlohmann::json{{"values", {80.0, "40", 60.0, 180.0}}}, nlohmann::json{{"values", "80"}},
        nlohmann::json::array()})
    EXPECT_FALSE(ufhost::app::dialog_values(&bad, 4, &values)) << bad.dump();
  EXPECT_FALSE(ufhost::app::dialog_values(nullptr, 4, &values));
}

}  // namespace
