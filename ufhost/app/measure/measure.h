// `ufhost measure`: runs the plug-in on many part files, each in a process of
// its own with generated answers, and gathers one row per file.
//
//   ufhost measure [--command extents|frame|search] [-j N] [--csv FILE]
//                  [--json FILE] [--jsonl FILE [--resume]] [--files-from LIST]
//                  [--round-up STEP] [--view-dir DIR] [--out-dir DIR]
//                  [--timeout SECONDS] [--plugin PATH] [--progress] PART...
//   ufhost measure --merge [--csv FILE] [--json FILE] [--round-up STEP] JSONL...
//
// A file that fails (unreadable, no body, a failure the plug-in reports, a
// crash or a hang of its process) gives a row with the error and does not
// stop the others. Rows come in the order of the files, whatever -j does;
// with --jsonl each also goes to that file the moment its file is done.
#pragma once

#include <string>
#include <vector>

#include "ufhost/base/options.h"

namespace ufhost::app {

// The option table of `ufhost measure`, from which its --help and the
// manual page are written.
const std::vector<OptionDecl>& measure_option_table();
const std::vector<ExitStatusInfo>& measure_exit_statuses();
// Its --help.
std::string measure_usage();

// The whole subcommand over its arguments (without "measure"). Prints the
// table on standard output, messages on standard error; returns the status.
int measure_main(const std::vector<std::string>& args);

}  // namespace ufhost::app
