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

#include "ufhost/core/model.h"

namespace ufhost::app {

// Exit statuses of `ufhost measure`.
constexpr int kMeasureOk = 0;
constexpr int kMeasureUsage = 1;   // bad options
constexpr int kMeasureFailed = 2;  // at least one file gave an error row
constexpr int kMeasureOutput = 4;  // --csv or --json could not be written

// The whole subcommand over its arguments (without "measure"). Prints the
// table on standard output, messages on standard error; returns the status.
int measure_main(const std::vector<std::string>& args);

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

// For the batch: writes a JSON summary of the part's bodies as the run left
// them (tag, name, type, exact box, the kernel's largest tolerance, copy or
// not) and the units of `part`. false with a message when it cannot be written.
bool write_run_report(const Model& model, const std::string& part, const std::string& path,
                      std::string* error);

}  // namespace ufhost::app
