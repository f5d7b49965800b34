// The batch's pure parts: reading a search log, and rows with their
// rounding, exactness and outputs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ufhost/app/measure/measure_internal.h"
#include "ufhost/base/cp1251.h"

namespace {

using ufhost::app::MeasureOptions;
using ufhost::app::Row;

const ufhost::app::CommandInfo& command(const std::string& name) {
  for (const auto& c : ufhost::app::kMeasureCommands)
    if (name == c.name) return c;
  throw std::invalid_argument(name);
}

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
    Row row;
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

  Row row;
  std::string error;
  EXPECT_FALSE(ufhost::app::read_search_log(search_log({{'Z', 10}}, false), &row, &error));
  EXPECT_EQ("the search log has no final line", error);
  const std::string broken = ufhost::utf8_to_cp1251("Угол поворота по Z : ten\n") + search_log({});
  EXPECT_FALSE(ufhost::app::read_search_log(broken, &row, &error));
  EXPECT_NE(std::string::npos, error.find("unreadable line")) << error;
}

TEST(Rows, SortedRoundedAndExactness) {
  struct Case {
    const char* command;
    double lengths[3];
    double max_tolerance;  // the kernel's, of the measured bodies
    double sorted[3];
    double rounded[3];  // with --round-up 1
    double exactness;
  };
  const Case cases[] = {
      // A hair under a whole number snaps to it; clearly over one rounds up.
      {"frame", {19.9999999997, 20.2, 5}, 1e-7, {20.2, 19.9999999997, 5}, {21, 20, 5}, 1e-7},
      {"extents", {19.9999999997, 20.2, 5}, 1e-7, {20.2, 19.9999999997, 5}, {21, 20, 5}, 1e-7},
      // A measured 80.0000002 of an 80 mm bracket is 80.
      {"extents", {80.0000002, 40, 60}, 1e-7, {80.0000002, 60, 40}, {80, 60, 40}, 1e-7},
      // Faces of 1e-3 tolerance are no more exact than that.
      {"frame", {30, 10, 12}, 1e-3, {30, 12, 10}, {30, 12, 10}, 1e-3},
      {"extents", {30, 10, 12}, 1e-3, {30, 12, 10}, {30, 12, 10}, 1e-3},
      // A mesh has no tolerance, but a probe still cuts it within the
      // kernel's confusion distance; its frame box is its exact corners.
      {"extents", {8, 4, 2}, 0, {8, 4, 2}, {8, 4, 2}, 1e-7},
      {"search", {8, 4, 2}, 0, {8, 4, 2}, {8, 4, 2}, 6e-7},
      // The search log's six decimals are half a millionth from what it measured.
      {"search", {8.0000004, 4, 2}, 0, {8.0000004, 4, 2}, {8, 4, 2}, 6e-7},
      {"frame", {8, 4, 2}, 0, {8, 4, 2}, {8, 4, 2}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.command) + " " + std::to_string(c.lengths[0]));
    MeasureOptions options;
    options.command = &command(c.command);
    options.round_up = 1;
    Row row;
    std::copy(c.lengths, c.lengths + 3, row.lengths);
    row.max_tolerance = c.max_tolerance;
    ufhost::app::finish_row(options, &row);
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(c.sorted[k], row.sorted[k]) << k;
      EXPECT_EQ(c.rounded[k], row.rounded[k]) << k;
    }
    EXPECT_DOUBLE_EQ(c.exactness, row.exactness);
  }
}

TEST(Rows, ARowIsAnErrorUntilItsRunIsRead) {
  MeasureOptions options;
  options.round_up = 1;
  Row read;
  read.file = "bracket.step";
  read.error.clear();
  read.units = "mm";
  read.bodies = 1;
  read.lengths[0] = 19.9999999997;
  read.lengths[1] = 20.2;
  read.lengths[2] = 5;
  read.sum = 45.1999999997;
  read.max_tolerance = 1e-7;
  ufhost::app::finish_row(options, &read);
  Row unread;
  unread.file = "lost.step";
  const std::vector<Row> rows = {read, unread};

  const std::string table = ufhost::app::rows_table(rows, options);
  EXPECT_NE(std::string::npos, table.find("Rounded up to 1")) << table;
  EXPECT_NE(std::string::npos, table.find("21 × 20 × 5")) << table;
  EXPECT_NE(std::string::npos, table.find(" 1.0e-07")) << table;
  const std::string lost = table.substr(table.find("lost.step"));
  EXPECT_NE(std::string::npos, lost.find("never read")) << table;
  EXPECT_EQ(std::string::npos, lost.find_first_of("0123456789")) << table;  // no made-up zeros

  const nlohmann::json json = ufhost::app::rows_json(rows, options);
  EXPECT_TRUE(json["rows"][0]["ok"].get<bool>());
  EXPECT_FALSE(json["rows"][1]["ok"].get<bool>());
  EXPECT_FALSE(json["rows"][1].contains("length"));
  const std::string csv = ufhost::app::rows_csv(rows, options);
  EXPECT_NE(std::string::npos, csv.find("\nlost.step,false,")) << csv;
  EXPECT_NE(std::string::npos, csv.find("19.999999999700002")) << csv;  // every digit
}

}  // namespace

// A transcript's dialog entry is read only when it holds the numbers a
// result dialog shows; anything else is no result, never a crash.
TEST(Rows, DialogValuesOnlyFromAWholeResult) {
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
