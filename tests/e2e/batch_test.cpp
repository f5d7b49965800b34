// Batches at the scale of a parts library: files listed in a file or on
// standard input, rows kept as they come (--jsonl), a batch killed halfway
// and resumed, the rows of several files merged. The recipes of
// docs/scale.md run in scale_test.cpp.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "tests/support/support.h"

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::HostRun;
using testing_support::read_file;
using testing_support::run_ufhost_exactly;
using testing_support::work_dir;

namespace {

// `count` copies of the bundled samples in `dir`, full paths, in order.
std::vector<std::string> copies(const std::string& dir, int count) {
  const std::vector<std::string> samples = testing_support::bundled_samples();
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) {
    const fs::path from = samples[static_cast<std::size_t>(i) % samples.size()];
    const std::string to = dir + "/" + std::to_string(100 + i) + "-" + from.filename().string();
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    out.push_back(to);
  }
  return out;
}

std::vector<json> jsonl_rows(const std::string& path) {
  std::vector<json> rows;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) rows.push_back(json::parse(line));
  return rows;
}

json json_rows(const std::string& path) { return json::parse(read_file(path))["rows"]; }

std::size_t lines_in(const std::string& path) {
  const std::string text = read_file(path);
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

TEST(Batch, ListedFilesMeasureAsGivenOnTheCommandLine) {
  const std::string dir = work_dir("batch_lists_e2e");
  const std::vector<std::string> parts = copies(dir, 3);
  HostRun given = run_ufhost_exactly(
      {"measure", "--json", dir + "/given.json", parts[0], parts[1], parts[2]}, dir);
  ASSERT_EQ(0, given.exit_code) << given.err;
  // One name a line on standard input; NUL-separated in a file, a name
  // holding a newline among them.
  const std::string odd = dir + "/odd\nname.step";
  fs::copy_file(parts[2], odd);
  std::ofstream(dir + "/list0", std::ios::binary) << parts[1] << '\0' << odd << '\0';
  HostRun listed = run_ufhost_exactly({"measure", "--json", dir + "/listed.json", "--files-from",
                                       "-", "--jsonl", dir + "/rows.jsonl"},
                                      dir, parts[0] + "\n" + parts[1] + "\r\n\n" + parts[2] + "\n");
  ASSERT_EQ(0, listed.exit_code) << listed.err;
  EXPECT_EQ(json_rows(dir + "/given.json"), json_rows(dir + "/listed.json"));
  // Every row is in the JSONL, as the JSON has it, with the file's full path.
  const auto lines = jsonl_rows(dir + "/rows.jsonl");
  ASSERT_EQ(3u, lines.size());
  for (std::size_t i = 0; i < 3; ++i) {
    json row = lines[i];
    EXPECT_EQ(parts[i], row["path"]);
    row.erase("path");
    EXPECT_EQ(json_rows(dir + "/given.json")[i], row);
  }
  HostRun nul = run_ufhost_exactly(
      {"measure", "--json", dir + "/nul.json", "--files-from", dir + "/list0", "-0"}, dir);
  ASSERT_EQ(0, nul.exit_code) << nul.err;
  const json rows = json_rows(dir + "/nul.json");
  ASSERT_EQ(2u, rows.size());
  EXPECT_EQ(odd, rows[1]["file"]);
  EXPECT_TRUE(rows[1]["ok"].get<bool>()) << rows[1].dump();
}

TEST(Batch, KilledHalfwayAndResumedMeasuresEveryFileExactlyOnce) {
  const std::string dir = work_dir("batch_resume");
  const std::vector<std::string> parts = copies(dir, 12);
  {
    std::ofstream list(dir + "/list.txt");
    for (const std::string& p : parts) list << p << "\n";
  }
  const std::string jsonl = dir + "/rows.jsonl";
  const std::vector<std::string> batch = {UFHOST_BIN, "measure", "-j", "2", "--files-from",
                                          dir + "/list.txt", "--jsonl", jsonl, "--resume"};
  const pid_t pid = testing_support::start_process(batch, dir, "/dev/null", dir + "/first.out",
                                                   dir + "/first.err");
  ASSERT_GT(pid, 0);
  // Stopped once a few rows are in: they must survive, the rest be measured on.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (lines_in(jsonl) < 4 && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  const std::size_t kept = lines_in(jsonl);
  ASSERT_GE(kept, 4u);
  ASSERT_LT(kept, parts.size()) << "the batch ended before it could be stopped halfway";
  EXPECT_EQ("", read_file(dir + "/first.out"));  // the table comes at the end only

  std::vector<std::string> resumed(batch.begin() + 1, batch.end());
  resumed.insert(resumed.end(), {"--json", dir + "/rows.json"});
  HostRun second = run_ufhost_exactly(resumed, dir);
  ASSERT_EQ(0, second.exit_code) << second.out << second.err;
  EXPECT_NE(std::string::npos,
            second.out.find("(" + std::to_string(kept) + " measured before, as " + jsonl))
      << second.out;
  // Each file has one row in the JSONL, and the table has them all.
  std::map<std::string, int> rows_of;
  for (const json& row : jsonl_rows(jsonl)) {
    EXPECT_TRUE(row["ok"].get<bool>()) << row.dump();
    ++rows_of[row["path"].get<std::string>()];
  }
  EXPECT_EQ(parts.size(), rows_of.size());
  for (const std::string& p : parts) EXPECT_EQ(1, rows_of[p]) << p;
  const json table = json_rows(dir + "/rows.json");
  ASSERT_EQ(parts.size(), table.size());
  for (std::size_t i = 0; i < parts.size(); ++i) EXPECT_EQ(parts[i], table[i]["file"]);

  // Once more: nothing left to measure.
  HostRun third = run_ufhost_exactly(std::vector<std::string>(batch.begin() + 1, batch.end()), dir);
  EXPECT_EQ(0, third.exit_code) << third.err;
  EXPECT_NE(std::string::npos, third.out.find("(12 measured before")) << third.out;
  EXPECT_EQ(parts.size(), lines_in(jsonl));
}

TEST(Batch, AJsonlFileIsNeverOverwrittenOrMixed) {
  const std::string dir = work_dir("batch_jsonl_refused");
  const std::vector<std::string> parts = copies(dir, 1);
  const std::string jsonl = dir + "/rows.jsonl";
  ASSERT_EQ(0, run_ufhost_exactly({"measure", "--jsonl", jsonl, parts[0]}, dir).exit_code);
  const std::string before = read_file(jsonl);
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      {{"measure", "--jsonl", jsonl, parts[0]}, "already holds rows: give --resume"},
      {{"measure", "--command", "frame", "--jsonl", jsonl, "--resume", parts[0]},
       "holds rows of --command extents; this batch measures frame"},
      {{"measure", "--merge", "--command", "search", jsonl}, "the rows are of --command extents"},
      {{"measure", "--merge", dir + "/missing.jsonl"}, "cannot be read"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    HostRun run = run_ufhost_exactly(c.args, dir);
    EXPECT_EQ(1, run.exit_code);
    EXPECT_NE(std::string::npos, run.err.find(c.says)) << run.err;
    EXPECT_EQ(before, read_file(jsonl));
  }
}
