// `ufhost measure`: runs the plug-in on many part files, each in its own
// ufhost process with generated answers, and gathers one row per file.
//
//   ufhost measure [--command extents|frame|search] [-j N] [--csv FILE]
//                  [--json FILE] [--round-up STEP] [--view-dir DIR]
//                  [--out-dir DIR] [--timeout SECONDS] [--plugin PATH]
//                  [--progress] PART...
//
// A file that fails (unreadable, no body, a failure the plug-in reports, a
// crash or a hang of its process) gives a row with the error and does not
// stop the others. Rows come in the order of the files, whatever -j does.
#pragma once

#include <string>
#include <vector>

namespace ufhost::app {

// Exit statuses of `ufhost measure`.
constexpr int kMeasureOk = 0;
constexpr int kMeasureUsage = 1;   // bad options
constexpr int kMeasureFailed = 2;  // at least one file gave an error row
constexpr int kMeasureOutput = 4;  // --csv or --json could not be written

// The whole subcommand over its arguments (without "measure"). Prints the
// table on standard output, messages on standard error; returns the status.
int measure_main(const std::vector<std::string>& args);

}  // namespace ufhost::app
