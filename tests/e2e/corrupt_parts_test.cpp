// Damaged part files: one that crashed the kernel's STEP reader and one that
// kept its BREP reader going for ever are refused by every way of opening a
// part, and copies of every part with bytes flipped, digits changed, ends cut
// and chunks repeated never crash or hang the host.
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepTools.hxx>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <thread>

#include "tests/support/support.h"
#include "ufhost/kernel/containment.h"

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::HostRun;
using testing_support::read_file;
using testing_support::run_ufhost_exactly;
using testing_support::sample;
using testing_support::shared_part;
using testing_support::work_dir;

namespace {

void write_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// ---------------------------------------------------------------------------
// Two files that took the host down before

// screw.step with the top bit of one byte flipped: the reference "#777" in a
// curve's list of points becomes unreadable, and the kernel's STEP reader
// dereferenced the null point it made of it (SIGSEGV in StepToGeom).
constexpr std::size_t kScrewByte = 56215;
constexpr char kScrewWas = '7';

// A BREP file as the kernel writes it, with the curve number of the first
// edge's curve on a face made a "[": the kernel's reader then loops for ever.
std::string brep_that_runs_on(const std::string& dir) {
  const std::string path = dir + "/runs_on.brep";
  EXPECT_TRUE(BRepTools::Write(BRepPrimAPI_MakeBox(100, 50, 20).Shape(), path.c_str()));
  std::string text = read_file(path);
  const std::size_t shapes = text.find("\nTShapes ");
  const std::size_t line = shapes == std::string::npos ? shapes : text.find("\n2  ", shapes);
  EXPECT_NE(line, std::string::npos) << "no curve on a face among the shapes";
  if (line != std::string::npos) text[line + 3] = '[';
  write_bytes(path, text);
  return path;
}

bool one_line(const std::string& text) {
  return !text.empty() && text.find('\n') == text.size() - 1;
}

TEST(CorruptParts, KernelCrashAndRunOnAreRefusedByEveryWayOfOpening) {
  const std::string dir = work_dir("CorruptParts.Refused");
  struct Case {
    std::string name;
    std::string file;
    std::vector<std::string> limit;  // --kernel-timeout, when the case needs one
    std::string says;
  };
  // Reading gets a twelfth of --kernel-timeout, and more for a large file:
  // 1 s for this small one.
  std::vector<Case> cases = {{"run-on", brep_that_runs_on(dir), {"--kernel-timeout", "12"},
                              "cannot be read: the geometry kernel did not finish reading it "
                              "within 1 s (--kernel-timeout S to wait longer)"}};
  const std::string screw = read_file(shared_part("screw.step"));
  if (screw.size() > kScrewByte && screw[kScrewByte] == kScrewWas) {
    std::string flipped = screw;
    flipped[kScrewByte] = static_cast<char>(flipped[kScrewByte] ^ 0x80);
    write_bytes(dir + "/screw.step", flipped);
    cases.push_back({"kernel crash", dir + "/screw.step", {},
                     "cannot be read: the geometry kernel crashed reading it (SIGSEGV, "
                     "Segmentation fault)"});
  } else {
    std::cout << "../shared/parts/screw.step is absent or not the one whose flipped byte "
                 "crashed the kernel: the crash case is skipped\n";
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string line = "ufhost: " + c.file + ": " + c.says + "\n";
    const std::vector<std::vector<std::string>> ways = {
        {c.file, "--answer", "menu 1", "--answer", "select all", "--answer", "dialog ok",
         "--transcript", dir + "/t.jsonl", "--syslog", dir + "/s.txt", "--save", dir + "/out.brep",
         "--view", dir + "/v.html"},
        {"--list", c.file}};
    for (std::vector<std::string> args : ways) {
      args.insert(args.end(), c.limit.begin(), c.limit.end());
      const HostRun run = run_ufhost_exactly(args, dir);
      EXPECT_EQ(run.exit_code, 2);
      EXPECT_EQ(run.err, line);
      EXPECT_EQ(run.out, "");
      for (const char* written : {"/t.jsonl", "/s.txt", "/out.brep", "/v.html"})
        EXPECT_FALSE(fs::exists(dir + written)) << written;
    }
    // In a batch: the file's row says the same, long before the batch's
    // own --timeout, and the others are measured.
    std::vector<std::string> args = {"measure", "--json", dir + "/rows.json", c.file,
                                     sample("bracket.step")};
    args.insert(args.begin() + 1, c.limit.begin(), c.limit.end());
    const HostRun batch = run_ufhost_exactly(args, dir);
    EXPECT_EQ(batch.exit_code, 2) << batch.out << batch.err;
    const json rows = json::parse(read_file(dir + "/rows.json"), nullptr, false)["rows"];
    ASSERT_EQ(rows.size(), 2u) << batch.out;
    EXPECT_EQ(rows[0].value("error", ""), c.file + ": " + c.says);
    EXPECT_TRUE(rows[1].value("ok", false)) << rows[1].dump();
  }
}

// ---------------------------------------------------------------------------
// Mutated copies

// Changes `bytes` one of four ways, chosen by `kind`, with the generator's
// numbers (std::mt19937 gives the same sequence everywhere), and says how.
std::string mutate(std::string bytes, int kind, std::mt19937* rng, std::string* how) {
  const auto below = [rng](std::size_t n) { return static_cast<std::size_t>((*rng)() % n); };
  std::vector<std::size_t> digits;
  for (std::size_t i = 0; i < bytes.size(); ++i)
    if (bytes[i] >= '0' && bytes[i] <= '9') digits.push_back(i);
  if (kind == 1 && digits.empty()) kind = 0;
  switch (kind) {
    case 0:  // flip bits of a few bytes
      *how = "flipped";
      for (std::size_t n = 1 + below(4); n > 0; --n) {
        const std::size_t at = below(bytes.size());
        const int mask = 1 + static_cast<int>(below(255));
        bytes[at] = static_cast<char>(bytes[at] ^ mask);
        *how += " " + std::to_string(at) + "^" + std::to_string(mask);
      }
      break;
    case 1:  // change a few digits into others
      *how = "digits";
      for (std::size_t n = 1 + below(4); n > 0; --n) {
        const std::size_t at = digits[below(digits.size())];
        bytes[at] = static_cast<char>('0' + (bytes[at] - '0' + 1 + static_cast<int>(below(9))) % 10);
        *how += " " + std::to_string(at) + "=" + bytes[at];
      }
      break;
    case 2: {  // cut the end off
      const std::size_t keep = 1 + below(bytes.size() - 1);
      *how = "cut at " + std::to_string(keep);
      bytes.resize(keep);
      break;
    }
    default: {  // repeat a chunk
      const std::size_t at = below(bytes.size());
      const std::size_t length = 1 + below(std::min<std::size_t>(4096, bytes.size() - at));
      *how = "repeated " + std::to_string(length) + " at " + std::to_string(at);
      bytes.insert(at + length, bytes.substr(at, length));
      break;
    }
  }
  return bytes;
}

// A seed of the file's name alone, so that every machine makes the same
// copies of it.
std::uint32_t seed_of(const std::string& name) {
  std::uint32_t h = 2166136261u;
  for (unsigned char c : name) h = (h ^ c) * 16777619u;
  return h;
}

// What a refusal may take beyond the reading limit: starting the host and
// its reading child, and ending the child, on a machine busy with the other
// runs and a sanitizer.
constexpr double kStartAndStop = 5.0;

struct Copy {
  std::string path, how;
  pid_t pid = -1;
  std::chrono::steady_clock::time_point start;
  double seconds = 0;
  int status = 0;
  bool killed = false;
};

// Runs `ufhost --list COPY` for every copy, two at a time, with the given
// --kernel-timeout or, when it is null, the default limits; a run that
// takes more than `guard` seconds is killed and counts as a hang.
void list_all(std::vector<Copy>* copies, const char* kernel_timeout, double guard) {
  std::size_t next = 0;
  std::map<pid_t, Copy*> running;
  while (next < copies->size() || !running.empty()) {
    while (next < copies->size() && running.size() < 2) {
      Copy& c = (*copies)[next++];
      std::vector<std::string> args = {UFHOST_BIN, "--list", c.path};
      if (kernel_timeout != nullptr) args.insert(args.end(), {"--kernel-timeout", kernel_timeout});
      c.pid = testing_support::start_process(args,
          fs::path(c.path).parent_path().string(), "/dev/null", c.path + ".out", c.path + ".err");
      ASSERT_GT(c.pid, 0) << "cannot start " << UFHOST_BIN;
      c.start = std::chrono::steady_clock::now();
      running[c.pid] = &c;
    }
    int status = 0;
    const pid_t pid = waitpid(-1, &status, WNOHANG);
    if (pid > 0 && running.count(pid)) {
      running[pid]->status = status;
      running[pid]->seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - running[pid]->start).count();
      running.erase(pid);
      continue;
    }
    for (auto& [child, c] : running) {
      if (!c->killed && std::chrono::duration<double>(std::chrono::steady_clock::now() - c->start)
                            .count() > guard) {
        c->killed = true;
        kill(child, SIGKILL);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// Every copy of every source either lists its bodies (exit 0, nothing on
// standard error) or is refused with one line naming it (exit 2, nothing on
// standard output); the counts of each ending are printed.
void mutate_and_list(const std::vector<std::string>& sources, int per_kind, const std::string& dir) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<Copy> copies;
  for (const std::string& source : sources) {
    const std::string bytes = read_file(source);
    ASSERT_GT(bytes.size(), 1u) << source;
    const std::string name = fs::path(source).filename().string();
    std::mt19937 rng(seed_of(name));
    for (int kind = 0; kind < 4; ++kind) {
      for (int i = 0; i < per_kind; ++i) {
        Copy c;
        c.path = dir + "/" + std::to_string(copies.size()) + "-" + name;
        write_bytes(c.path, mutate(bytes, kind, &rng, &c.how));
        c.how = name + " " + c.how;
        copies.push_back(c);
      }
    }
  }
  // The default limits: a copy that keeps the kernel reading must be refused
  // within the reading limit of its size, a few seconds for these files.
  list_all(&copies, nullptr, 150);
  std::map<std::string, int> endings;
  double slowest = 0, slowest_bound = 0;
  std::string slowest_copy;
  for (const Copy& c : copies) {
    SCOPED_TRACE(c.how + " (" + c.path + ")");
    const std::string out = read_file(c.path + ".out"), err = read_file(c.path + ".err");
    if (c.killed || !WIFEXITED(c.status)) {
      ADD_FAILURE() << (c.killed ? "hung" : "ended by signal " + std::to_string(WTERMSIG(c.status)))
                    << ": " << err;
      continue;
    }
    const int code = WEXITSTATUS(c.status);
    if (code == 0) {
      EXPECT_EQ(err, "");
      EXPECT_EQ(out.rfind(c.path + ": ", 0), 0u) << out;
      ++endings["listed"];
    } else {
      EXPECT_EQ(code, 2) << err;
      EXPECT_EQ(out, "");
      EXPECT_TRUE(one_line(err)) << err;
      EXPECT_EQ(err.rfind("ufhost: " + c.path + ": ", 0), 0u) << err;
      if (err.find("crashed reading it") != std::string::npos) ++endings["kernel crashed"];
      else if (err.find("did not finish reading it") != std::string::npos) ++endings["kernel ran on"];
      else ++endings["refused for what the host found"];
      // Starting the host and ending the reader add a little to the limit;
      // a busy machine more.
      const double bound = ufhost::read_time_limit(fs::file_size(c.path)) + kStartAndStop;
      EXPECT_LE(c.seconds, bound) << "refused too late";
      if (c.seconds > slowest) {
        slowest = c.seconds;
        slowest_bound = bound;
        slowest_copy = c.how;
      }
    }
    if (!::testing::Test::HasFailure()) {
      fs::remove(c.path);
      fs::remove(c.path + ".out");
      fs::remove(c.path + ".err");
    }
  }
  std::cout << copies.size() << " damaged copies of " << sources.size() << " files in "
            << std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()
            << " s:";
  for (const auto& [ending, n] : endings) std::cout << " " << ending << " " << n << ";";
  std::cout << " slowest refusal " << slowest << " s (" << slowest_copy << "), bound "
            << slowest_bound << " s" << std::endl;
}

// 8 of each kind: about 320 runs of the host, a minute on two cores.
constexpr int kCopiesPerKind = 8;

TEST(CorruptParts, CopiesOfTheSamplesNeverCrashOrHangTheHost) {
  mutate_and_list(testing_support::bundled_samples(), kCopiesPerKind, work_dir("CorruptParts.Samples"));
}

TEST(CorruptParts, CopiesOfTheRealPartsNeverCrashOrHangTheHost) {
  SKIP_WITHOUT_SHARED_PARTS();
  mutate_and_list(testing_support::shared_parts(), kCopiesPerKind, work_dir("CorruptParts.Shared"));
}

}  // namespace
