// What batches share, and the rows of --jsonl: file lists, the options that
// must go together, rows written and read back to the bit, a torn last line,
// the merge of several files' rows, and where shipped files are looked for.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/support.h"
#include "ufhost/app/batch/batch.h"
#include "ufhost/app/cli/manual.h"
#include "ufhost/app/measure/measure.h"
#include "ufhost/app/measure/measure_internal.h"
#include "ufhost/app/run/resources.h"

namespace fs = std::filesystem;
using ufhost::app::BatchOptions;
using ufhost::app::MeasureOptions;
using ufhost::app::Row;

namespace {

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

TEST(Batch, FileListsOneALineOrNulSeparated) {
  EXPECT_EQ((std::vector<std::string>{"a.step", "b c.step", " d.step"}),
            ufhost::app::split_file_list("a.step\r\n\nb c.step\n \t\n d.step", false));
  // With NULs, a newline is part of a name.
  EXPECT_EQ((std::vector<std::string>{"a\n.step", "b.step"}),
            ufhost::app::split_file_list(std::string("a\n.step\0\0b.step\0", 17), true));

  const std::string dir = testing_support::work_dir("batch_lists");
  write(dir + "/list.txt", "x.step\ny.step\n");
  write(dir + "/list0", std::string("z.step\0", 7));
  write(dir + "/empty", "\n\n");
  struct Case {
    std::vector<std::string> files_from;
    bool null_separated, resume;
    std::string jsonl;
    std::vector<std::string> parts;  // expected, or empty when refused
    const char* says;
  };
  const Case cases[] = {
      {{dir + "/list.txt"}, false, false, "", {"cmd.step", "x.step", "y.step"}, ""},
      {{dir + "/list0"}, true, false, "", {"cmd.step", "z.step"}, ""},
      {{dir + "/list0"}, false, false, "", {}, "give -0"},
      {{dir + "/missing"}, false, false, "", {}, "cannot be read"},
      {{"-", "-"}, false, false, "", {}, "can be given once"},
      {{}, false, true, "", {}, "--resume goes on from the rows of --jsonl"},
      {{}, true, false, "", {}, "-0 is for the lists of --files-from"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    BatchOptions o;
    o.parts = {"cmd.step"};
    o.files_from = c.files_from;
    o.null_separated = c.null_separated;
    o.resume = c.resume;
    o.jsonl = c.jsonl;
    std::string error;
    const bool ok = ufhost::app::finish_batch_options(&o, "ufhost measure", &error);
    EXPECT_EQ(!c.parts.empty(), ok) << error;
    if (ok) EXPECT_EQ(c.parts, o.parts);
    else EXPECT_NE(std::string::npos, error.find(c.says)) << error;
  }
  BatchOptions none;
  none.files_from = {dir + "/empty"};
  std::string error;
  EXPECT_FALSE(ufhost::app::finish_batch_options(&none, "ufhost measure", &error));
  EXPECT_NE(std::string::npos, error.find("lists of --files-from are empty")) << error;
}

TEST(Batch, MeasureOptionsThatGoTogether) {
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

TEST(Jsonl, RowsComeBackToTheBitAndATornLastLineIsLeftOut) {
  MeasureOptions options;
  Row failed;
  failed.file = "bad.step";
  failed.path = "/parts/bad.step";
  failed.error = "its process crashed (signal 11, Segmentation fault)";
  const std::vector<Row> rows = {good_row("a.step", 80.0000002), failed};
  const std::string dir = testing_support::work_dir("jsonl_rows");
  const std::string path = dir + "/rows.jsonl";
  {
    ufhost::app::JsonlWriter writer;
    std::string error;
    ASSERT_TRUE(writer.open(path, 0, &error)) << error;
    for (const Row& r : rows) {
      nlohmann::json line = ufhost::app::row_json(r, options);
      line["path"] = r.path;
      ASSERT_TRUE(writer.append(line, &error)) << error;
    }
  }
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
  EXPECT_EQ(failed.error, read.rows[1].error);

  // Going on cuts the torn line away before the next row.
  {
    ufhost::app::JsonlWriter writer;
    ASSERT_TRUE(writer.open(path, read.torn_at, &error)) << error;
    ASSERT_TRUE(writer.append(ufhost::app::row_json(good_row("c.step", 5), options), &error));
  }
  ASSERT_TRUE(ufhost::app::read_jsonl(path, &read, &error)) << error;
  EXPECT_EQ(std::string::npos, read.torn_at);
  EXPECT_EQ(3u, read.rows.size());

  // A bad line anywhere else is no torn write: the file is not taken.
  write(dir + "/bad.jsonl", "{\"file\":\"a\"}\n" + testing_support::read_file(path));
  EXPECT_FALSE(ufhost::app::read_jsonl(dir + "/bad.jsonl", &read, &error));
  EXPECT_NE(std::string::npos, error.find("bad.jsonl:1: not a row")) << error;
  write(dir + "/mixed.jsonl",
        testing_support::read_file(path) +
            R"({"file":"d","ok":false,"command":"frame","error":"x"})" + "\n");
  EXPECT_FALSE(ufhost::app::read_jsonl(dir + "/mixed.jsonl", &read, &error));
  EXPECT_NE(std::string::npos, error.find("--command frame among rows of extents")) << error;
}

TEST(Jsonl, MergeKeepsEachFileOnceAtItsFirstPlaceWithItsLastGoodRow) {
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

TEST(Resources, InstalledTreeLooksBesideItselfOnlyAndTheBuildTreeInTheSources) {
  const std::string dir = testing_support::work_dir("resources");
  fs::create_directories(dir + "/prefix/bin");
  fs::create_directories(dir + "/prefix/share/zarvel");
  const auto installed = ufhost::app::resource_candidates(dir + "/prefix/bin", "web/viewer.html");
  EXPECT_EQ((std::vector<std::string>{dir + "/prefix/share/zarvel/web/viewer.html"}), installed);
  EXPECT_EQ((std::vector<std::string>{dir + "/prefix/lib/zarvel/plugin/release/Zarvel_06.so"}),
            ufhost::app::resource_candidates(dir + "/prefix/bin", "plugin/release/Zarvel_06.so"));
  // A build tree: beside the executable first, the sources last.
  const auto built = ufhost::app::resource_candidates(dir, "data/stock-default.csv");
  ASSERT_FALSE(built.empty());
  EXPECT_EQ(dir + "/data/stock-default.csv", built.front());
  EXPECT_EQ(std::string(ZARVEL_SOURCE_DIR) + "/data/stock-default.csv", built.back());
  // This test's own executable is in the build tree: the plug-in is found.
  EXPECT_TRUE(fs::exists(ufhost::app::default_plugin())) << ufhost::app::default_plugin();
  EXPECT_EQ(std::string(ZARVEL_SOURCE_DIR) + "/web", ufhost::app::find_resource("web"));
}

// The manual page and --help come from one table: every option of either
// is in the page.
TEST(Manual, NamesEveryOptionOfTheTables) {
  const std::string page = ufhost::app::manual_page();
  EXPECT_EQ(0u, page.find(".TH UFHOST 1")) << page.substr(0, 80);
  auto roff = [](std::string text) {
    for (std::size_t at = 0; (at = text.find('-', at)) != std::string::npos; at += 2)
      text.replace(at, 1, "\\-");
    return text;
  };
  for (const auto* table : {&ufhost::app::run_option_table(), &ufhost::app::measure_option_table()})
    for (const ufhost::app::OptionDecl& decl : *table)
      EXPECT_NE(std::string::npos, page.find("\\fB" + roff(decl.name) + "\\fR")) << decl.name;
  for (const auto& s : ufhost::app::measure_exit_statuses())
    EXPECT_NE(std::string::npos, page.find(roff(s.meaning))) << s.meaning;
  // No line starts with a character roff would take for a request.
  std::size_t at = 0;
  while ((at = page.find('\n', at)) != std::string::npos) {
    ++at;
    if (at < page.size() && page[at] == '\'') ADD_FAILURE() << page.substr(at, 40);
  }
}

}  // namespace
