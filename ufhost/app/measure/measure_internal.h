// Inside `ufhost measure`, in the order a batch goes:
//   measure.cpp        its options and the subcommand
//   batch*.cpp         the files and the runs, shared with other batch subcommands (batch.h)
//   measure_read.cpp   reading one run's results: transcript, search log, report
//   measure_rows.cpp   rows: sorting, rounding, exactness, and the table, CSV and JSON
//   measure_jsonl.cpp  rows one JSON line each: as they come, resumed from, merged
// Only these files and their tests include this header.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>

#include "ufhost/base/options.h"
#include <string>
#include <vector>

#include "ufhost/app/batch/batch.h"

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

struct MeasureOptions : BatchOptions {
  const CommandInfo* command = &kMeasureCommands[0];
  bool command_given = false;  // --command was given (a merge takes the rows' otherwise)
  std::string csv, json;
  double round_up = 0;  // 0: no rounding
  bool merge = false;   // parts are JSONL files of rows to merge
};

// The value of --round-up: a step greater than 0.
bool parse_round_up(const std::string& value, double* step, std::string* error);

// Reads the subcommand's arguments (without "measure"). false with a
// one-line message; *help set when --help came.
bool parse_measure_options(const std::vector<std::string>& args, MeasureOptions* options,
                           bool* help, std::string* error);
std::string measure_usage();

// [SECTION] Jobs

// The answers a run of `command` is given; the search saves its log at `log`.
std::vector<std::string> answers_for(const CommandInfo& command, const std::string& log);

// [SECTION] Reading a run

struct Row {
  std::string file;  // as given
  std::string path;  // absolute, the name a resumed batch knows the file by
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
// The `want` numbers a dialog entry of the transcript shows; false when it
// shows anything else.
bool dialog_values(const nlohmann::json* dialog, std::size_t want, std::vector<double>* values);
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
// the file has no result. `view` is the page the run was to write, or "".
void read_run(const Job& job, int wait_status, const std::string& view,
              const MeasureOptions& options, Row* row);

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

// One row as JSON: the object a row is in the JSON output, and (with the
// file's absolute path added) a line of --jsonl.
nlohmann::json row_json(const Row& row, const MeasureOptions& options);

std::string rows_table(const std::vector<Row>& rows, const MeasureOptions& options);
std::string rows_csv(const std::vector<Row>& rows, const MeasureOptions& options);
nlohmann::json rows_json(const std::vector<Row>& rows, const MeasureOptions& options);

// Writes --csv and --json, when given, each through a temporary file renamed
// into place. false when one could not be written (said on standard error).
bool write_outputs(const std::vector<Row>& rows, const MeasureOptions& options);

}  // namespace ufhost::app

namespace ufhost::app {

// [SECTION] JSON lines

// A row read back from a line of --jsonl (see row_json): the measured values,
// not yet finished (finish_row gives the sorted, rounded and exactness with
// the options in force). false with a message when the object is no row.
bool row_from_json(const nlohmann::json& object, Row* row, std::string* error);

// The rows of a JSONL file, in its order, with the command they were measured
// with ("" when the file holds none). A last line cut short (a batch stopped
// while writing it) is left out and *torn_at set to where it begins (else
// npos); any other line that is no row makes it false with a message that
// names the file and the line.
struct JsonlRows {
  std::vector<Row> rows;
  std::string command;
  std::size_t torn_at = std::string::npos;
};
bool read_jsonl(const std::string& path, JsonlRows* out, std::string* error);

// Several files' rows as one list: each file once, at its first place, with
// its last good row, else its last row. Files are known by their absolute
// path when the rows have one.
std::vector<Row> merge_rows(const std::vector<Row>& rows);

// Appends rows to a JSONL file, each written whole and flushed to the system
// as it comes, so that a batch stopped at any moment keeps every row it had
// finished.
class JsonlWriter {
 public:
  JsonlWriter() = default;
  ~JsonlWriter();
  JsonlWriter(const JsonlWriter&) = delete;
  JsonlWriter& operator=(const JsonlWriter&) = delete;
  // Opens `path` for appending (made when missing); `keep` bytes of it are
  // kept and anything after them cut (a torn last line). false with a message.
  bool open(const std::string& path, std::size_t keep, std::string* error);
  // false with a message when the row could not be written whole.
  bool append(const nlohmann::json& row, std::string* error);

 private:
  int fd_ = -1;
  std::string path_;
};

// `ufhost measure --merge FILE...`: the rows of the JSONL files as one table,
// CSV and JSON. Returns the exit status.
int merge_main(const MeasureOptions& options);

}  // namespace ufhost::app
