// What ufhost offers beyond a run of the plug-in: `ufhost measure ...`,
// `ufhost --list PART`, and for any run --view OUT.html, --progress and
// --report FILE. main() hands its arguments here first, so that a run's own
// options stay as they are.
#pragma once

#include <string>

namespace ufhost::app {

struct ToolOptions {
  std::string view;    // --view OUT.html
  std::string report;  // --report FILE (the batch reads it)
  bool help = false;   // --help was asked: add these options to the run's help
};

// Runs `measure` and `--list` outright and returns their exit status.
// Otherwise takes --view, --report and --progress out of argv (adjusting
// *argc), fills *tools and returns -1: the caller goes on with the run.
int take_tool_options(int* argc, char** argv, ToolOptions* tools);

// After the run: writes --report and --view from the session's part, adds the
// help of these options after the run's own. Returns the exit status to
// use: `status`, or 4 when a file could not be written.
int finish_tools(const ToolOptions& tools, int argc, char** argv, int status);

}  // namespace ufhost::app
