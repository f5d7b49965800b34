// Reading what a batch's run left in its folder: how its process ended, its
// transcript, the search log and the report of its bodies. Every batch
// subcommand reads its runs through here.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ufhost/app/batch/batch.h"
#include "ufhost/app/batch/commands.h"

namespace ufhost::app {

// How a run's process ended.
struct RunEnd {
  std::string error;  // why it gave no result ("" when it ended as a run should)
  int code = 0;       // its exit status: 0, or 5 when some answer did not fit
  std::string err;    // its standard error
};
RunEnd run_end(const Job& job, int wait_status, double timeout);

// The reason of a run that ended with status 5.
std::string unanswered(const std::string& err);

// The transcript a run wrote, an entry a line; lines that are not JSON are
// left out.
std::vector<nlohmann::json> read_transcript(const std::string& path);
// The nth entry (from 0) of `kind`, and with that title unless "", or null.
const nlohmann::json* nth_of(const std::vector<nlohmann::json>& entries, const std::string& kind,
                             std::size_t nth, const std::string& title = "");
// The `want` numbers a dialog entry of the transcript shows; false when it
// shows anything else.
bool dialog_values(const nlohmann::json* dialog, std::size_t want, std::vector<double>* values);
// Why the plug-in's numbers are not to be trusted (a checked call failed, a
// message box), or "".
std::string plugin_failure(const std::vector<nlohmann::json>& transcript);

// What one command of a run gave.
struct CommandResult {
  int bodies = 0;                  // the bodies it was given
  double lengths[3] = {0, 0, 0};   // along X, Y and Z
  double sum = 0;
  bool has_angles = false;         // the search's: about Z, Y, X and Z again
  double degrees[4] = {0, 0, 0, 0};
  double radians[4] = {0, 0, 0, 0};
  double max_tolerance = 0;        // the kernel's largest tolerance of the bodies it measured
};

// Reads a search log (code page 1251 text): its angle lines into the four
// angle slots, its final line into lengths and sum. false with a message
// when it has no final line or a line cannot be read.
bool read_search_log(const std::string& text, CommandResult* result, std::string* error);

// The search log a run keeps in its folder.
std::string search_log_of(const Job& job);

// What the run in `job`'s folder gave for `command`, the nth of its
// commands (a run may do several, each with a selection of its own): its
// lengths from the result dialog or, for the search, from its log, and the
// largest tolerance of the bodies it measured (the frame command measures
// the first only; the search measures copies, which keep their originals'
// tolerances). "" or why it gave none. `end` words a run that asked for
// more than it was answered.
std::string read_command(const Job& job, const std::vector<nlohmann::json>& transcript,
                         Command command, std::size_t nth, const RunEnd& end, CommandResult* result);

}  // namespace ufhost::app
