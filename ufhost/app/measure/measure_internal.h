// Inside `ufhost measure`, in the order a batch goes:
//   measure.cpp        its options and the subcommand
//   ../batch/          the files, the runs and reading their folders, shared
//                      with the cut list
//   measure_rows.cpp   a run's result as a row: sorting, rounding, exactness,
//                      and the table, CSV and JSON
//   measure_jsonl.cpp  rows one JSON line each: as they come, resumed from, merged
// Only these files and their tests include this header.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ufhost/app/batch/batch.h"
#include "ufhost/app/batch/commands.h"
#include "ufhost/app/batch/run_folder.h"

namespace ufhost::app {

// [SECTION] Options

struct MeasureOptions : BatchOptions {
  const CommandInfo* command = &kCommands[0];
  bool command_given = false;  // --command was given (a merge takes the rows' otherwise)
  std::string csv, json;
  double round_up = 0;  // 0: no rounding
  bool merge = false;   // parts are JSONL files of rows to merge
};

// Reads the subcommand's arguments (without "measure"). false with a
// one-line message; *help set when --help came.
bool parse_measure_options(const std::vector<std::string>& args, MeasureOptions* options,
                           bool* help, std::string* error);

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

// Reads what the run of `job` left in its folder (ended with `wait_status`)
// and fills the row, finished by finish_row; or says in the row's error why
// the file has no result. `view` is the page the run was to write, or "".
void read_run(const Job& job, int wait_status, const std::string& view,
              const MeasureOptions& options, Row* row);

// [SECTION] Rows

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

// `ufhost measure --merge FILE...`: the rows of the JSONL files as one table,
// CSV and JSON. Returns the exit status.
int merge_main(const MeasureOptions& options);

}  // namespace ufhost::app
