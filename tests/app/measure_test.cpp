// ufhost measure: its options, its rows with their rounding, exactness and
// outputs, and its rows as JSON lines, resumed from and merged.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/support.h"
#include "ufhost/app/batch/jsonl.h"
#include "ufhost/app/measure/measure_internal.h"

namespace {

using ufhost::app::MeasureOptions;
using ufhost::app::Row;

const ufhost::app::CommandInfo& command(const std::string& name) {
  for (const auto& c : ufhost::app::kCommands)
    if (name == c.name) return c;
  throw std::invalid_argument(name);
}

void write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

Row good_row(const std::string& file, double x) {
  Row r;
  r.file = file;
  r.path = "/parts/" + file;
  r.error.clear();
  r.units = "mm";
  r.bodies = 2;
  r.lengths[0] = x;
  r.lengths[1] = 0.1 + 0.2;  // no short decimal: every bit must come back
  r.lengths[2] = 1.0 / 3.0;
  r.sum = x + r.lengths[1] + r.lengths[2];
  r.max_tolerance = 1e-7;
  return r;
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

TEST(MeasureOptions, AsDocumented) {
  ufhost::app::MeasureOptions o;
  bool help = false;
  std::string error;
  ASSERT_TRUE(ufhost::app::parse_measure_options(
      {"--command=search", "-j3", "--round-up", "0.5", "--timeout=0", "a.step", "--", "-b.step"},
      &o, &help, &error))
      << error;
  EXPECT_EQ(ufhost::app::Command::Search, o.command->command);
  EXPECT_EQ(3, o.jobs);
  EXPECT_EQ(0.5, o.round_up);
  EXPECT_EQ(0, o.timeout);
  EXPECT_FALSE(o.progress);  // shown off a terminal only when asked
  EXPECT_EQ((std::vector<std::string>{"a.step", "-b.step"}), o.parts);
}

TEST(MeasureOptions, BadOnesSayWhy) {
  ufhost::app::MeasureOptions o;
  bool help = false;
  std::string error;
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      {{}, "no part files given"},
      {{"--command", "volume", "a.step"}, "--command volume: choose extents, frame or search"},
      {{"-j", "0", "a.step"}, "-j 0: give a whole number from 1 to 256"},
      {{"--jobs=2.5", "a.step"}, "--jobs 2.5: give a whole number"},
      {{"--round-up", "-1", "a.step"}, "--round-up -1: give a step greater than 0"},
      {{"--round-up", "nan", "a.step"}, "--round-up nan"},
      {{"--timeout", "-1", "a.step"}, "--timeout -1"},
      {{"--bogus", "a.step"}, "unknown option --bogus (see ufhost measure --help)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    EXPECT_FALSE(ufhost::app::parse_measure_options(c.args, &o, &help, &error));
    EXPECT_NE(std::string::npos, error.find(c.says)) << error;
  }
}

TEST(MeasureOptions, ListsJsonlAndMergeGoTogether) {
  const std::string dir = testing_support::work_dir("batch_options");
  write(dir + "/list.txt", "a.step\n");
  MeasureOptions o;
  bool help = false;
  std::string error;
  ASSERT_TRUE(ufhost::app::parse_measure_options(
      {"--files-from", dir + "/list.txt", "--jsonl", "rows.jsonl", "--resume", "-j2", "b.step"},
      &o, &help, &error))
      << error;
  EXPECT_EQ((std::vector<std::string>{"b.step", "a.step"}), o.parts);
  EXPECT_TRUE(o.resume);
  EXPECT_EQ(2, o.jobs);
  ASSERT_TRUE(ufhost::app::parse_measure_options({"--merge", "--round-up", "1", "a.jsonl"}, &o,
                                                 &help, &error));
  EXPECT_TRUE(o.merge);
  EXPECT_FALSE(ufhost::app::parse_measure_options({"--merge", "-j", "2", "a.jsonl"}, &o, &help,
                                                  &error));
  EXPECT_NE(std::string::npos, error.find("not -j")) << error;
  EXPECT_FALSE(ufhost::app::parse_measure_options({"--merge"}, &o, &help, &error));
  EXPECT_NE(std::string::npos, error.find("give the --jsonl files")) << error;
}

// Writes a good row of a.step and an error row of bad.step to `path` as a
// batch does, and returns the rows.
std::vector<Row> write_rows(const std::string& path) {
  MeasureOptions options;
  Row failed;
  failed.file = "bad.step";
  failed.path = "/parts/bad.step";
  failed.error = "its process crashed (signal 11, Segmentation fault)";
  const std::vector<Row> rows = {good_row("a.step", 80.0000002), failed};
  ufhost::app::JsonlWriter writer;
  std::string error;
  EXPECT_TRUE(writer.open(path, 0, &error)) << error;
  for (const Row& r : rows) {
    nlohmann::json line = ufhost::app::row_json(r, options);
    line["path"] = r.path;
    EXPECT_TRUE(writer.append(line, &error)) << error;
  }
  return rows;
}

TEST(MeasureJsonl, RowsComeBackToTheBitAndATornLastLineIsLeftOut) {
  const std::string path = testing_support::work_dir("jsonl_rows") + "/rows.jsonl";
  const std::vector<Row> rows = write_rows(path);
  std::string text = testing_support::read_file(path);
  const std::size_t whole = text.size();
  text += R"({"file":"c.step","ok":true,"comm)";  // a batch stopped mid-write
  write(path, text);

  ufhost::app::JsonlRows read;
  std::string error;
  ASSERT_TRUE(ufhost::app::read_jsonl(path, &read, &error)) << error;
  EXPECT_EQ("extents", read.command);
  EXPECT_EQ(whole, read.torn_at);
  ASSERT_EQ(2u, read.rows.size());
  for (int k = 0; k < 3; ++k) EXPECT_EQ(rows[0].lengths[k], read.rows[0].lengths[k]) << k;
  EXPECT_EQ(rows[0].sum, read.rows[0].sum);
  EXPECT_EQ("/parts/a.step", read.rows[0].path);
  EXPECT_EQ(rows[1].error, read.rows[1].error);
}

TEST(MeasureJsonl, GoingOnCutsTheTornLineAwayBeforeTheNextRow) {
  const std::string path = testing_support::work_dir("jsonl_go_on") + "/rows.jsonl";
  write_rows(path);
  write(path, testing_support::read_file(path) + R"({"file":"c.step","ok":true,"comm)");
  ufhost::app::JsonlRows read;
  std::string error;
  ASSERT_TRUE(ufhost::app::read_jsonl(path, &read, &error)) << error;
  {
    ufhost::app::JsonlWriter writer;
    ASSERT_TRUE(writer.open(path, read.torn_at, &error)) << error;
    ASSERT_TRUE(writer.append(ufhost::app::row_json(good_row("c.step", 5), MeasureOptions()), &error));
  }
  ASSERT_TRUE(ufhost::app::read_jsonl(path, &read, &error)) << error;
  EXPECT_EQ(std::string::npos, read.torn_at);
  EXPECT_EQ(3u, read.rows.size());
}

// A bad line anywhere but at the end is no torn write: the file is not taken.
TEST(MeasureJsonl, ABadLineElsewhereRefusesTheFile) {
  const std::string dir = testing_support::work_dir("jsonl_bad");
  write_rows(dir + "/rows.jsonl");
  write(dir + "/bad.jsonl", "{\"file\":\"a\"}\n" + testing_support::read_file(dir + "/rows.jsonl"));
  ufhost::app::JsonlRows read;
  std::string error;
  EXPECT_FALSE(ufhost::app::read_jsonl(dir + "/bad.jsonl", &read, &error));
  EXPECT_NE(std::string::npos, error.find("bad.jsonl:1: not a row")) << error;
}

// Rows of another command are wrong even on the last line.
TEST(MeasureJsonl, RowsOfTwoCommandsRefuseTheFile) {
  const std::string dir = testing_support::work_dir("jsonl_mixed");
  write_rows(dir + "/rows.jsonl");
  write(dir + "/mixed.jsonl", testing_support::read_file(dir + "/rows.jsonl") +
                                  R"({"file":"d","ok":false,"command":"frame","error":"x"})");
  ufhost::app::JsonlRows read;
  std::string error;
  EXPECT_FALSE(ufhost::app::read_jsonl(dir + "/mixed.jsonl", &read, &error));
  EXPECT_NE(std::string::npos, error.find("--command frame among rows of extents")) << error;
}

TEST(MeasureJsonl, MergeKeepsEachFileOnceAtItsFirstPlaceWithItsLastGoodRow) {
  Row crashed = good_row("a.step", 1);
  crashed.error = "crashed";
  Row other = good_row("b.step", 2);
  Row later_error = good_row("b.step", 3);
  later_error.error = "timed out";
  Row a_good = good_row("a.step", 4);
  Row a_again = good_row("a.step", 5);
  Row same_file_otherwise_named = good_row("./a.step", 6);
  same_file_otherwise_named.path = a_good.path;
  const auto merged = ufhost::app::merge_rows(
      {crashed, other, later_error, a_good, a_again, same_file_otherwise_named});
  ASSERT_EQ(2u, merged.size());
  EXPECT_EQ(6, merged[0].lengths[0]);  // the last good row of a.step, at a.step's place
  EXPECT_TRUE(merged[1].error.empty());
  EXPECT_EQ(2, merged[1].lengths[0]);  // an error row after a good one does not replace it
}

}  // namespace
