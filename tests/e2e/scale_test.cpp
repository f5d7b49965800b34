// The recipes of docs/scale.md, run as the page gives them, on this machine:
// GNU parallel with this machine as its only node, and a Slurm job array on
// a one-node cluster started for the test (tests/scale/slurm_cluster.sh). What
// each recipe merges must be what one run over all the files gives.
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "tests/support/support.h"

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::HostRun;
using testing_support::read_file;
using testing_support::run_ufhost_exactly;
using testing_support::work_dir;

namespace {

const std::string kClusterScript = std::string(ZARVEL_SOURCE_DIR) + "/tests/scale/slurm_cluster.sh";

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

json json_rows(const std::string& path) { return json::parse(read_file(path))["rows"]; }

// The rows of a table by their file. A chunk measured with -j 2 writes its
// rows as its files finish, and a merge keeps that order: only which rows
// there are can be compared with one batch's.
std::map<std::string, json> by_file(const json& rows) {
  std::map<std::string, json> out;
  for (const json& row : rows) out[row["file"].get<std::string>()] = row;
  return out;
}

// The shell block that follows "<!-- runs in tests: NAME -->" in
// docs/scale.md, with its number of chunks set to `chunks`; empty when the
// page has no such block.
std::string doc_recipe(const std::string& name, int chunks) {
  std::ifstream doc(std::string(ZARVEL_SOURCE_DIR) + "/docs/scale.md");
  const std::string marker = "<!-- runs in tests: " + name + " -->";
  std::string line, recipe;
  bool armed = false, inside = false;
  while (std::getline(doc, line)) {
    if (!armed && line == marker) armed = true;
    else if (armed && !inside && line.rfind("```", 0) == 0) inside = true;
    else if (inside && line.rfind("```", 0) == 0) break;
    else if (inside)
      recipe += (line.rfind("chunks=", 0) == 0 ? "chunks=" + std::to_string(chunks) : line) + "\n";
  }
  return recipe;
}

// Runs `recipe` with bash in `dir`, ufhost of this build first on the PATH,
// after the shell lines `env`; returns its exit status, its output in `out`.
int run_recipe(const std::string& dir, const std::string& recipe, const std::string& env,
               std::string* out) {
  std::ofstream(dir + "/recipe.sh") << "set -eu\nexport PATH='"
                                    << fs::path(UFHOST_BIN).parent_path().string()
                                    << "':\"$PATH\"\n"
                                    << env << "cd '" << dir << "'\n"
                                    << recipe;
  const int status =
      std::system(("bash '" + dir + "/recipe.sh' > '" + dir + "/recipe.out' 2>&1 < /dev/null").c_str());
  *out = read_file(dir + "/recipe.out");
  return status;
}

std::string parallel_missing() {
  if (std::system("parallel --version > /dev/null 2>&1") == 0) return "";
  return "GNU parallel is missing: run tools/setup.sh";
}

// Runs `command` with sh; returns its exit status (-1 when it did not end
// normally) and its standard output and error in `out`.
int run_shell(const std::string& command, std::string* out) {
  out->clear();
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out->append(buffer, n);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A one-node Slurm cluster, up from the constructor to the destructor. Its
// folder is a short one under /tmp: munged's socket path must fit in a
// sockaddr_un. Should the test be killed before the destructor runs, the
// script's watcher sees this process gone and brings the cluster down.
class SlurmCluster {
 public:
  // Why no cluster can start here ("" when one can).
  static std::string cannot_start() {
    std::string why;
    if (run_shell("bash '" + kClusterScript + "' check", &why) == 0) return "";
    return "no Slurm cluster can start: " + (why.empty() ? "slurm_cluster.sh check failed" : why);
  }

  SlurmCluster() {
    char pattern[] = "/tmp/zarvel-slurm.XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      log_ = "mkdtemp failed";
      return;
    }
    dir_ = pattern;
    up_ = run_shell("bash '" + kClusterScript + "' up " + dir_ + " " + std::to_string(getpid()),
                    &log_) == 0;
  }
  ~SlurmCluster() {
    if (dir_.empty()) return;
    std::string out;
    if (run_shell("bash '" + kClusterScript + "' down " + dir_, &out) != 0)
      ADD_FAILURE() << "the cluster did not stop: " << out;
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  SlurmCluster(const SlurmCluster&) = delete;
  SlurmCluster& operator=(const SlurmCluster&) = delete;

  bool up() const { return up_; }
  // What starting it said.
  const std::string& log() const { return log_; }
  std::string conf() const { return dir_ + "/slurm.conf"; }

  // Waits for every job to end; true when each completed with status 0.
  // `jobs` lists them, and on failure the daemons' logs.
  bool wait_for_jobs(int seconds, std::string* jobs) const {
    const bool completed = run_shell("bash '" + kClusterScript + "' wait " + dir_ + " " +
                                         std::to_string(seconds),
                                     jobs) == 0;
    if (!completed)
      for (const char* log : {"slurmctld.log", "slurmd.log"})
        *jobs += std::string("\n== ") + log + "\n" + read_file(dir_ + "/log/" + log);
    return completed;
  }

 private:
  std::string dir_;
  std::string log_;
  bool up_ = false;
};

// What the jobs wrote in `dir`: the tasks' logs and the merge's output.
std::string job_logs(const std::string& dir) {
  std::string all;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() == ".log" || name.rfind("slurm-", 0) == 0)
      all += "== " + name + "\n" + read_file(entry.path().string());
  }
  return all;
}

// Runs the page's block `name` over two chunks in `dir` on `cluster`, and
// waits for every job it submitted.
void run_in_cluster(const SlurmCluster& cluster, const std::string& name, const std::string& dir) {
  const std::string recipe = doc_recipe(name, 2);
  ASSERT_NE(std::string::npos, recipe.find("sbatch")) << "no block \"" << name << "\"";
  std::string out, jobs;
  ASSERT_EQ(0, run_recipe(dir, recipe, "export SLURM_CONF='" + cluster.conf() + "'\n", &out))
      << out;
  ASSERT_TRUE(cluster.wait_for_jobs(300, &jobs)) << jobs << "\n" << out << job_logs(dir);
}

// The order of the cut list tests: the copies of the samples, some built
// more than once, written one a line as FILE or FILE:N to `dir`/order.txt;
// returns the lines. Two chunks of it share the assembly's and the bracket's
// parts.
std::vector<std::string> write_order(const std::string& dir) {
  const std::vector<std::string> parts = copies(dir, 6);
  const int built[] = {3, 1, 2, 1, 2, 4};
  std::vector<std::string> order;
  std::ofstream out(dir + "/order.txt");
  for (std::size_t i = 0; i < parts.size(); ++i) {
    order.push_back(built[i] == 1 ? parts[i] : parts[i] + ":" + std::to_string(built[i]));
    out << order.back() << "\n";
  }
  return order;
}

// The merged cut list in `dir` (cutlist.table, cutlist.json) is, byte for
// byte, the one of one run over the whole `order` with the merge's options.
void expect_cutlist_of_one_run(const std::string& dir, const std::vector<std::string>& order) {
  std::vector<std::string> args = {"cutlist", "--stock", "default", "--json", dir + "/one.json"};
  args.insert(args.end(), order.begin(), order.end());
  const HostRun one = run_ufhost_exactly(args, dir);
  ASSERT_EQ(0, one.exit_code) << one.err;
  EXPECT_EQ(one.out, read_file(dir + "/cutlist.table"));
  const json merged = json::parse(read_file(dir + "/cutlist.json"));
  EXPECT_EQ(json::parse(read_file(dir + "/one.json")), merged);
  // Both chunks built the assembly: 4 shafts in each of 3 + 2 assemblies.
  int shafts = 0;
  for (const json& row : merged["rows"])
    for (const json& part : row["parts"])
      if (part["name"] == "shaft") shafts += part["quantity"].get<int>();
  EXPECT_EQ(20, shafts);
}

}  // namespace

// What a test needs is missing where `why` (a string) is not empty: it is
// skipped and says why, except in CI, which installs everything, where it
// fails. A macro, as GTEST_SKIP returns from the test itself.
#define SKIP_WITHOUT(why)                                                 \
  do {                                                                    \
    const std::string missing = (why);                                    \
    if (!missing.empty()) {                                               \
      if (std::getenv("CI") != nullptr) FAIL() << missing;                \
      GTEST_SKIP() << missing;                                            \
    }                                                                     \
  } while (false)

// Over two chunks (a node list of ":" runs the jobs here): the merged rows
// are those of one measure over all the files.
TEST(Scale, GnuParallelRecipeMergesToTheRowsOfOneBatch) {
  SKIP_WITHOUT(parallel_missing());
  const std::string recipe = doc_recipe("measure with GNU parallel", 2);
  ASSERT_NE(std::string::npos, recipe.find("parallel")) << recipe;

  const std::string dir = work_dir("scale_parallel");
  const std::vector<std::string> parts = copies(dir, 5);
  {
    std::ofstream all(dir + "/all.txt");
    for (const std::string& p : parts) all << p << "\n";
    std::ofstream(dir + "/nodes.txt") << ":\n";
  }
  std::string out;
  ASSERT_EQ(0, run_recipe(dir, recipe, "", &out)) << out;
  EXPECT_TRUE(fs::exists(dir + "/chunk.0001.jsonl")) << "two chunks";

  std::vector<std::string> one = {"measure", "--json", dir + "/one.json"};
  one.insert(one.end(), parts.begin(), parts.end());
  HostRun single = run_ufhost_exactly(one, dir);
  ASSERT_EQ(0, single.exit_code) << single.err;
  EXPECT_EQ(json_rows(dir + "/one.json"), json_rows(dir + "/all.json"));
}

// The array's two tasks, each measuring its chunk with two processes, and
// the merge after them: the same files, each with the same row (its lengths
// to the bit) as one measure over all the files gives.
TEST(Scale, SlurmJobArrayRecipeMergesToTheRowsOfOneBatch) {
  SKIP_WITHOUT(SlurmCluster::cannot_start());
  SlurmCluster cluster;
  ASSERT_TRUE(cluster.up()) << cluster.log();
  const std::string dir = work_dir("scale_slurm_measure");
  const std::vector<std::string> parts = copies(dir, 6);
  {
    std::ofstream all(dir + "/all.txt");
    for (const std::string& p : parts) all << p << "\n";
  }
  run_in_cluster(cluster, "measure in a Slurm job array", dir);
  if (HasFatalFailure()) return;
  EXPECT_TRUE(fs::exists(dir + "/chunk.0001.jsonl")) << "two chunks";
  EXPECT_NE(std::string::npos, read_file(dir + "/all.table").find("Largest"));

  std::vector<std::string> one = {"measure", "--json", dir + "/one.json"};
  one.insert(one.end(), parts.begin(), parts.end());
  HostRun single = run_ufhost_exactly(one, dir);
  ASSERT_EQ(0, single.exit_code) << single.err;
  const json merged = json_rows(dir + "/all.json");
  ASSERT_EQ(parts.size(), merged.size()) << merged.dump(1);
  EXPECT_EQ(by_file(json_rows(dir + "/one.json")), by_file(merged));
}

// Two chunks of an order with quantities, two copies of the assembly in
// different chunks: the merge is the cut list of one run over the order.
TEST(Scale, CutListGnuParallelRecipeMergesToTheCutListOfOneRun) {
  SKIP_WITHOUT(parallel_missing());
  const std::string recipe = doc_recipe("cut list with GNU parallel", 2);
  ASSERT_NE(std::string::npos, recipe.find("parallel")) << recipe;
  const std::string dir = work_dir("scale_parallel_cutlist");
  const std::vector<std::string> order = write_order(dir);
  std::ofstream(dir + "/nodes.txt") << ":\n";
  std::string out;
  ASSERT_EQ(0, run_recipe(dir, recipe, "", &out)) << out;
  EXPECT_TRUE(fs::exists(dir + "/cut.0001.jsonl")) << "two chunks";
  expect_cutlist_of_one_run(dir, order);
}

// The same order as a job array of two tasks, each measuring its chunk's
// parts with two processes, and the merge after them.
TEST(Scale, CutListSlurmJobArrayRecipeMergesToTheCutListOfOneRun) {
  SKIP_WITHOUT(SlurmCluster::cannot_start());
  SlurmCluster cluster;
  ASSERT_TRUE(cluster.up()) << cluster.log();
  const std::string dir = work_dir("scale_slurm_cutlist");
  const std::vector<std::string> order = write_order(dir);
  run_in_cluster(cluster, "cut list in a Slurm job array", dir);
  if (HasFatalFailure()) return;
  EXPECT_TRUE(fs::exists(dir + "/cut.0001.jsonl")) << "two chunks";
  expect_cutlist_of_one_run(dir, order);
}
