// Inside `ufhost measure`, in the order a batch goes:
//   measure.cpp        its options and the subcommand
//   measure_jobs.cpp   running the jobs, each in its own ufhost process, with their limits
//   measure_read.cpp   reading one run's results: transcript, search log, report
//   measure_rows.cpp   rows: sorting, rounding, exactness, and the table, CSV and JSON
// Only these files and their tests include this header.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>

#include "ufhost/app/options.h"
#include <string>
#include <vector>

namespace ufhost::app {

// [SECTION] Options

enum class Command { Extents, Frame, Search };

struct CommandInfo {
  Command command;
  const char* name;
  int menu_item;      // the plug-in's menu, counted from 1
  double refinement;  // the tolerance the command measures to; 0 for none
};
// The search log gives its lengths with six decimals: they lie up to half a
// unit of the last from what the search measured.
constexpr double kSearchLogRounding = 5e-7;

// extents, frame, search; the first is the default.
extern const CommandInfo kMeasureCommands[3];

struct MeasureOptions {
  const CommandInfo* command = &kMeasureCommands[0];
  int jobs = 1;
  std::string csv, json, view_dir, out_dir, plugin;
  double round_up = 0;  // 0: no rounding
  double timeout = 600;
  std::string kernel_timeout;  // handed to every run as given; "" the runs' default
  bool progress = false;
  std::vector<std::string> parts;
};

// The options of a batch of runs that every batch subcommand takes (-j,
// --out-dir, --timeout, --plugin, --kernel-timeout, --progress); `unit` is
// what one run is of ("file", "part").
std::vector<OptionDecl> batch_run_options(const std::string& unit);
// Takes one of those into `options`: 1 taken, 0 not one of them, -1 a bad
// value (with the message).
int take_batch_option(const ParsedOption& option, MeasureOptions* options, std::string* error);
bool parse_number(const std::string& text, double* value);
bool parse_round_up(const std::string& value, double* step, std::string* error);

// Reads the subcommand's arguments (without "measure"). false with a
// one-line message; *help set when --help came.
bool parse_measure_options(const std::vector<std::string>& args, MeasureOptions* options,
                           bool* help, std::string* error);
std::string measure_usage();

// [SECTION] Jobs

struct Job {
  std::size_t index = 0;
  std::string part;  // absolute
  std::string dir;   // the run's own folder
  std::string view;  // the page to write, or ""
  std::vector<std::string> answers;  // the run's answers; none: those of the batch's command
  pid_t pid = -1;
  std::chrono::steady_clock::time_point start;
  bool timed_out = false;
};

// A name for each file's outputs that no other file of the batch has: the
// file's stem, with -2, -3, ... for later files of the same stem.
std::vector<std::string> unique_names(const std::vector<std::string>& parts);

// The answers a run of `command` is given; the search saves its log at `log`.
std::vector<std::string> answers_for(const CommandInfo& command, const std::string& log);

// Runs every job, options.jobs at a time, each in its own ufhost process in
// its folder, and stops any that outlives options.timeout. `ended` gets each
// job once its process has ended, with its wait status; `not_started` a job
// whose process could not start, with why. Returns false when waiting for
// the processes failed: the jobs not ended by then got neither call.
bool run_jobs(std::vector<Job>& jobs, const MeasureOptions& options,
              const std::function<void(const Job&, int wait_status)>& ended,
              const std::function<void(const Job&, const std::string& error)>& not_started);

// [SECTION] Reading a run

struct Row {
  std::string file;  // as given
  // Why the file has no result. A row is an error until its run has been
  // read through; only then is this cleared.
  std::string error = "no result: the run of this file was never read";
  std::string units;
  int bodies = 0;
  double lengths[3] = {0, 0, 0};
  double sum = 0;
  bool has_angles = false;
  double degrees[4] = {0, 0, 0, 0};  // about Z, Y, X, Z again, as the search log gives them
  double radians[4] = {0, 0, 0, 0};
  double sorted[3] = {0, 0, 0};
  bool has_rounded = false;
  double rounded[3] = {0, 0, 0};
  double max_tolerance = 0;
  double exactness = 0;
  std::string log;   // the search log, when kept
  std::string view;  // the page, when written
};

// Reads a search log (code page 1251 text): its angle lines into the row's
// four angle slots, its final line into lengths and sum. false with a
// message when it has no final line or a line cannot be read.
bool read_search_log(const std::string& text, Row* row, std::string* error);

// The transcript a run wrote, an entry a line; lines that are not JSON are
// left out.
std::vector<nlohmann::json> read_transcript(const std::string& path);
// The first entry of `kind` (and with that title, unless "").
const nlohmann::json* first_of(const std::vector<nlohmann::json>& entries, const std::string& kind,
                               const std::string& title = "");
// Why the plug-in's numbers are not to be trusted (a checked call failed, a
// message box), or "".
std::string plugin_failure(const std::vector<nlohmann::json>& transcript);
// How the job's process ended, as the reason it gave no result, or "" when
// it ended as a run should (*code 0, or 5 when some answer did not fit);
// *err gets its standard error.
std::string run_end(const Job& job, int wait_status, double timeout, int* code, std::string* err);
// The reason of a run that ended with status 5.
std::string unanswered(const std::string& err);

// Reads what the run of `job` left in its folder (ended with `wait_status`)
// and fills the row, finished by finish_row; or says in the row's error why
// the file has no result.
void read_run(const Job& job, int wait_status, const MeasureOptions& options, Row* row);

// [SECTION] Rows

// A length rounded up to the next multiple of `step` (> 0), after snapping
// to the nearest multiple a length that lies within `noise` of it:
// 19.9999999997 with step 1 gives 20, 20.2 gives 21.
double round_up_length(double length, double step, double noise);

// How close to a multiple of the step a length counts as that multiple:
// floating-point noise (1e-9 of the length, at least 1e-9) plus, for each of
// the length's two ends, the command's refinement tolerance and the band
// within which the kernel takes a plane as touching the body (a section
// plane that comes within a face's tolerance cuts it, so a refined end can
// lie that far out).
double rounding_noise(double length, double refinement_tolerance, double band);

// The row's sorted lengths, its exactness from its max_tolerance and, with
// --round-up, the rounded lengths.
void finish_row(const MeasureOptions& options, Row* row);

std::string rows_table(const std::vector<Row>& rows, const MeasureOptions& options);
std::string rows_csv(const std::vector<Row>& rows, const MeasureOptions& options);
nlohmann::json rows_json(const std::vector<Row>& rows, const MeasureOptions& options);

}  // namespace ufhost::app
