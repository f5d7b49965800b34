// A production order at scale: quantities per file, each part measured
// once, a run stopped and gone on from, and runs on several machines merged.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/support.h"

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::HostRun;
using testing_support::read_file;
using testing_support::run_ufhost_exactly;
using testing_support::sample;
using testing_support::work_dir;

namespace {

json read_json(const std::string& path) { return json::parse(read_file(path), nullptr, false); }

// The parts' runs a --out-dir holds: one folder each.
std::size_t runs_in(const std::string& dir) {
  std::size_t n = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) n += entry.is_directory();
  return n;
}

std::size_t lines_of(const std::string& path, const std::string& kind) {
  std::size_t n = 0;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) n += line.find("\"kind\":\"" + kind + "\"") != std::string::npos;
  return n;
}

// Rows as a comparison sees them: quantity, blank, stock.
json rows_of(const json& doc) {
  json rows = json::array();
  for (const json& r : doc["rows"]) rows.push_back({r["quantity"], r["blank"], r["stock"]});
  return rows;
}

}  // namespace

TEST(CutlistOrder, TwentyAssembliesAndFiveBlocksMultiplyEachQuantityMeasuredOnce) {
  const std::string dir = work_dir("cutlist_order");
  const HostRun run = run_ufhost_exactly({"cutlist", "--stock", "default", "--out-dir", dir + "/runs", "--json",
                                          dir + "/cut.json", sample("assembly.step") + ":20",
                                          sample("turned_block.step") + ":5"},
                                         dir);
  ASSERT_EQ(0, run.exit_code) << run.out << run.err;
  EXPECT_EQ(7u, runs_in(dir + "/runs"));  // 6 parts of the assembly and the block: once each
  const json doc = read_json(dir + "/cut.json");
  std::map<std::string, json> parts;
  for (const json& row : doc["rows"])
    for (const json& p : row["parts"]) parts[p["name"]] = p;
  EXPECT_EQ(80, parts["shaft"]["quantity"]);
  EXPECT_EQ(4, parts["shaft"]["per_file"]);
  EXPECT_EQ(20, parts["shaft"]["ordered"]);
  EXPECT_EQ(5, parts["turned block"]["quantity"]);
  EXPECT_EQ(1, parts["turned block"]["per_file"]);
  EXPECT_EQ(5, parts["turned block"]["ordered"]);
  EXPECT_EQ(json({{"file", sample("assembly.step")}, {"ordered", 20}}), doc["files"][0]);
}

// The same product in two files is one part: ordered in both, measured once.
TEST(CutlistOrder, APartSharedByTwoFilesIsOneRow) {
  const std::string dir = work_dir("cutlist_order_shared");
  fs::copy_file(sample("assembly.step"), dir + "/copy.step");
  const HostRun run = run_ufhost_exactly({"cutlist", "--out-dir", dir + "/runs", "--json", dir + "/cut.json",
                                          sample("assembly.step") + ":2", dir + "/copy.step:3"},
                                         dir);
  ASSERT_EQ(0, run.exit_code) << run.out << run.err;
  EXPECT_EQ(6u, runs_in(dir + "/runs"));
  const json doc = read_json(dir + "/cut.json");
  int shafts = 0;
  for (const json& row : doc["rows"])
    for (const json& p : row["parts"])
      if (p["name"] == "shaft") shafts += p["quantity"].get<int>();
  EXPECT_EQ(4 * 5, shafts);
}

TEST(CutlistJsonl, KilledHalfwayAndResumedMeasuresOnlyTheRest) {
  const std::string dir = work_dir("cutlist_resume");
  const std::vector<std::string> files = {sample("assembly.step"), sample("bracket.step"),
                                          sample("two_bodies.step"), sample("turned_block.step")};
  std::vector<std::string> args = {UFHOST_BIN, "cutlist", "--jsonl", dir + "/cut.jsonl"};
  args.insert(args.end(), files.begin(), files.end());
  const pid_t pid = testing_support::start_process(args, dir, "/dev/null", dir + "/out", dir + "/err");
  ASSERT_GT(pid, 0);
  const auto start = std::chrono::steady_clock::now();
  while (lines_of(dir + "/cut.jsonl", "part") < 3 && std::chrono::steady_clock::now() - start < std::chrono::minutes(2))
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  const std::size_t measured = lines_of(dir + "/cut.jsonl", "part");
  ASSERT_GE(measured, 3u) << read_file(dir + "/err");
  ASSERT_LT(measured, 10u) << "the run ended before it was stopped";

  std::vector<std::string> resume = {"cutlist", "--jsonl", dir + "/cut.jsonl", "--resume", "--out-dir",
                                     dir + "/runs", "--json", dir + "/cut.json"};
  resume.insert(resume.end(), files.begin(), files.end());
  const HostRun again = run_ufhost_exactly(resume, dir);
  ASSERT_EQ(0, again.exit_code) << again.out << again.err;
  EXPECT_EQ(10 - measured, runs_in(dir + "/runs"));
  EXPECT_NE(std::string::npos, again.out.find(std::to_string(measured) + " parts measured before")) << again.out;
  EXPECT_EQ(10u, lines_of(dir + "/cut.jsonl", "part"));

  std::vector<std::string> once = {"cutlist", "--json", dir + "/once.json"};
  once.insert(once.end(), files.begin(), files.end());
  ASSERT_EQ(0, run_ufhost_exactly(once, dir).exit_code);
  EXPECT_EQ(rows_of(read_json(dir + "/once.json")), rows_of(read_json(dir + "/cut.json")));
}

TEST(CutlistJsonl, AFileAlreadyHoldingLinesNeedsResume) {
  const std::string dir = work_dir("cutlist_jsonl_there");
  std::ofstream(dir + "/cut.jsonl") << "{\"kind\":\"file\"}\n";
  const HostRun run =
      run_ufhost_exactly({"cutlist", "--jsonl", dir + "/cut.jsonl", sample("bracket.step")}, dir);
  EXPECT_EQ(1, run.exit_code);
  EXPECT_NE(std::string::npos, run.err.find("give --resume")) << run.err;
}

// Chunks measured apart, one part in both: one cut list, equal to one run's.
TEST(CutlistJsonl, AMergeOverChunksEqualsOneRun) {
  const std::string dir = work_dir("cutlist_merge");
  const std::string a = sample("assembly.step"), b = sample("bracket.step"), t = sample("turned_block.step");
  fs::copy_file(sample("bracket.step"), dir + "/bracket2.step");
  ASSERT_EQ(0, run_ufhost_exactly({"cutlist", "--jsonl", dir + "/1.jsonl", a + ":10", b}, dir).exit_code);
  ASSERT_EQ(0, run_ufhost_exactly({"cutlist", "--jsonl", dir + "/2.jsonl", t + ":3", dir + "/bracket2.step:2"}, dir)
                   .exit_code);
  const HostRun merged = run_ufhost_exactly({"cutlist", "--merge", "--stock", "default", "--json",
                                             dir + "/merged.json", dir + "/1.jsonl", dir + "/2.jsonl"},
                                            dir);
  ASSERT_EQ(0, merged.exit_code) << merged.out << merged.err;
  const HostRun one = run_ufhost_exactly({"cutlist", "--stock", "default", "--json", dir + "/one.json", a + ":10", b,
                                          t + ":3", dir + "/bracket2.step:2"},
                                         dir);
  ASSERT_EQ(0, one.exit_code) << one.err;
  EXPECT_EQ(rows_of(read_json(dir + "/one.json")), rows_of(read_json(dir + "/merged.json")));
  int brackets = 0;
  const json doc = read_json(dir + "/merged.json");
  for (const json& row : doc["rows"])
    for (const json& p : row["parts"])
      if (p["name"].get<std::string>() == "bracket") brackets += p["quantity"].get<int>();
  EXPECT_EQ(3, brackets);  // measured in both chunks, counted once each file
}

TEST(CutlistJsonl, AMergeRunsNothing) {
  const std::string dir = work_dir("cutlist_merge_options");
  const HostRun run = run_ufhost_exactly({"cutlist", "--merge", "-j", "2", dir + "/1.jsonl"}, dir);
  EXPECT_EQ(1, run.exit_code);
  EXPECT_NE(std::string::npos, run.err.find("not -j")) << run.err;
}
