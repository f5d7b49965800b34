// The ufhost command line: the options of a run, read once into its
// RunOptions, and the modes and subcommands ("ufhost measure ...", "ufhost
// --list PART") dispatched from one table.
#pragma once

#include <string>
#include <vector>

#include "ufhost/app/run/run_options.h"
#include "ufhost/base/options.h"

namespace ufhost::app {

// The option table of a run, from which its --help and the manual page are
// written.
const std::vector<OptionDecl>& run_option_table();

// What the first argument can name instead of a part file ("--list",
// "measure"): the mode's arguments and help, its own options, exit
// statuses and --help (empty for --list, whose option is the run's), for
// --help, the manual and their tests.
struct ModeInfo {
  std::string name, arguments, help;
  std::vector<OptionDecl> options;
  std::vector<ExitStatusInfo> statuses;
  std::string usage;
};
std::vector<ModeInfo> mode_table();

enum class Parsed { Run, Help, Version, Error };

// Parses the arguments of a run (without the program name), from the
// defaults of default_run_options(). Error: *error holds a one-line message.
Parsed parse_run_options(const std::vector<std::string>& args, RunOptions* options,
                         std::string* error);

// `ufhost --help`: written from the option table and the table of modes.
std::string usage_text();
std::string version_text();

// A run of the plug-in over the command line of a run (without the program
// name): parses it, prints --help or --version, or runs. Returns the exit
// status.
int run_command(const std::vector<std::string>& args);

// The whole program: a mode or subcommand when the first argument names
// one, otherwise a run of the plug-in in a part. Returns the exit status.
int main(int argc, char** argv);

}  // namespace ufhost::app
