// The ufhost command line: its options, read once into one value, and the
// modes and subcommands ("ufhost measure ...", "ufhost --list PART")
// dispatched from one table.
#pragma once

#include <string>
#include <vector>

#include "ufhost/base/options.h"
#include "ufhost/kernel/containment.h"
#include "ufhost/session/session.h"

namespace ufhost::app {

// Exit statuses of ufhost.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;      // bad options, unreadable answers file, unwritable transcript
constexpr int kExitPart = 2;       // the part file cannot be read
constexpr int kExitPlugin = 3;     // the plug-in library cannot be loaded or let an exception out
constexpr int kExitOutput = 4;     // --save, --view, --report or the transcript could not be written
constexpr int kExitAnswers = 5;    // the run ended, but some answers could not be used
constexpr int kExitKernel = 6;     // the geometry kernel crashed or ran on where no call could fail

// Everything the command line of a run says.
struct RunOptions {
  std::string part;
  std::string answers_file;               // "" none, "-" standard input
  std::vector<std::string> answer_lines;  // --answer, after the file's
  std::string transcript;
  std::string syslog;
  std::string save;
  std::vector<FailRule> fail_rules;
  std::string plugin;
  std::string view;     // --view OUT.html
  std::string report;   // --report FILE (the batch reads it)
  std::string ui;       // --ui: "terminal", "script", "browser"; "" chooses as documented
  bool progress = false;
  double kernel_timeout = kDefaultKernelTimeLimit;  // --kernel-timeout, seconds; 0 none
};

// --kernel-timeout, which a run, --list and measure all take.
const OptionDecl& kernel_timeout_option();

// The option table of a run, from which its --help and the manual page are
// written.
const std::vector<OptionDecl>& run_option_table();

// What the first argument can name instead of a part file ("--list",
// "measure"): the mode's arguments and help, for --help and the manual.
struct ModeInfo {
  std::string name, arguments, help;
};
std::vector<ModeInfo> mode_table();

// An exit status and what it means, for --help and the manual.
struct ExitStatusInfo {
  int status;
  const char* meaning;
};
const std::vector<ExitStatusInfo>& run_exit_statuses();
// Exit statuses laid out as --help shows them, one a line.
std::string exit_status_help(const std::vector<ExitStatusInfo>& statuses);

enum class Parsed { Run, Help, Version, Error };

// Parses the arguments of a run (without the program name). Fills in the
// defaults of --syslog and --plugin. Error: *error holds a one-line message.
Parsed parse_run_options(const std::vector<std::string>& args, RunOptions* options,
                         std::string* error);

// `ufhost --help`: written from the option table and the table of modes.
std::string usage_text();
std::string version_text();

// Where the system log goes without --syslog:
// $XDG_STATE_HOME/ufhost/syslog.txt, else ~/.local/state/ufhost/syslog.txt,
// else ufhost-syslog.txt in the temporary folder.
std::string default_syslog_path();

// A run of the plug-in over the command line of a run (without the program
// name): parses it, prints --help or --version, or runs. Returns the exit
// status. A batch's forked runs come through here too.
int run_command(const std::vector<std::string>& args);

// The whole program: a mode or subcommand when the first argument names
// one, otherwise a run of the plug-in in a part. Returns the exit status.
int main(int argc, char** argv);

}  // namespace ufhost::app
