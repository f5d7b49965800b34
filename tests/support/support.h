// Shared pieces of the tests: where things are, and running ufhost.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/text.h"

namespace testing_support {

std::string sample(const std::string& name);       // samples/NAME
// The STEP files of samples/ (full paths, sorted).
std::vector<std::string> bundled_samples();
std::string shared_part(const std::string& name);  // ../shared/parts/NAME
bool have_shared_parts();
// The part files of ../shared/parts (full paths, sorted); empty when absent.
std::vector<std::string> shared_parts();
// The exact boxes that ../shared/parts/README.md gives for its parts (X, Y,
// Z lengths of all bodies of the file together); empty when absent.
struct ReferenceBox {
  std::string path;  // full path of the part file
  double x = 0, y = 0, z = 0;
  // Half a unit in the last decimal the README prints for each length: the
  // values are rounded, so no comparison can be closer than that.
  double rx = 0, ry = 0, rz = 0;
  // The tolerance for comparing `measured` with `ref` of resolution `r`:
  // 1e-6 relative, or the rounding of the printed value when that is larger.
  static double tolerance(double ref, double r) { return ref * 1e-6 > r ? ref * 1e-6 : r; }
};
std::vector<ReferenceBox> shared_part_boxes();
// A fresh, empty folder for one test's outputs.
std::string work_dir(const std::string& test_name);

struct HostRun {
  int exit_code = -1;
  std::string out;  // standard output
  std::string err;  // standard error
  std::vector<nlohmann::json> transcript;
  std::string syslog;
  // Transcript entries of one kind ("menu", "dialog", ...), in order.
  std::vector<nlohmann::json> of_kind(const std::string& kind) const;
};

// Starts `args` (the program first) in `dir`, standard input from `in_path`,
// standard output and error into `out_path` and `err_path`, and returns its
// process id without waiting; -1 when it could not be started.
pid_t start_process(std::vector<std::string> args, const std::string& dir,
                    const std::string& in_path, const std::string& out_path,
                    const std::string& err_path);

// Runs ufhost with `args` (the part and options; --answers, --transcript and
// --syslog are added) and the given answer lines, in `dir`, and reads back
// what it wrote. `plugin` chooses the plug-in library (empty: release).
HostRun run_ufhost(const std::vector<std::string>& args, const std::vector<std::string>& answers,
                   const std::string& dir, const std::string& plugin = "");

// Runs ufhost with exactly `args` (nothing added) in `dir`, with `input` as
// its standard input, and reads back standard output and error, and the
// transcript and system log when `args` name them with --transcript FILE /
// --syslog FILE.
HostRun run_ufhost_exactly(const std::vector<std::string>& args, const std::string& dir,
                           const std::string& input = "");

// Chromium, node and the web packages come with tools/setup.sh: what is
// missing of them, or "" when the browser checks can run.
std::string browser_missing();

// A run of `ufhost --ui browser PART` in `dir` whose page
// tests/browser/drive_app.mjs drives through `scenario` in headless
// Chromium. `seen` is what the page showed (the script's JSON: "failed"
// names the step that did not come to pass); `host` the run's exit status,
// standard output and error, and transcript. With `shots`, the scenario's
// screenshots go to that folder. `ufhost`: the host program to run.
struct PageRun {
  nlohmann::json seen;
  HostRun host;
};
PageRun drive_page(const std::string& scenario, const std::string& part, const std::string& dir,
                   const std::string& shots = "", const std::string& ufhost = UFHOST_BIN);

// The plug-in's log file at `path` (code page 1251) as lines in UTF-8.
std::vector<std::string> log_lines(const std::string& path);

// The line of `needle` in the plug-in source file src/`file` (counted from
// 1), or -1, so reports can be checked against where a call really sits.
int source_line(const std::string& file, const std::string& needle);

// How many times the transcript of `run` records the host call `name`.
int count_calls(const HostRun& run, const std::string& name);

}  // namespace testing_support

// Skips the current test when the browser checks cannot run, except in CI,
// where they must.
#define REQUIRE_BROWSER()                                                              \
  do {                                                                                 \
    const std::string missing = testing_support::browser_missing();                    \
    if (!missing.empty()) {                                                            \
      if (std::getenv("CI") != nullptr) FAIL() << missing << " (run tools/setup.sh)"; \
      GTEST_SKIP() << missing << ": run tools/setup.sh for the browser checks";       \
    }                                                                                  \
  } while (0)

// Skips the current test with a visible message when ../shared/parts is absent.
#define SKIP_WITHOUT_SHARED_PARTS()                                                  \
  do {                                                                               \
    if (!testing_support::have_shared_parts())                                       \
      GTEST_SKIP() << "../shared/parts is absent: tests on real parts are skipped"; \
  } while (0)
