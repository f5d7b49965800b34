// What one run of the plug-in is told, whoever starts it: the command line
// of `ufhost PART`, or a batch that calls the run for each of its files.
#pragma once

#include <string>
#include <vector>

#include "ufhost/base/options.h"
#include "ufhost/kernel/containment.h"
#include "ufhost/model/model.h"
#include "ufhost/session/session.h"

namespace ufhost::app {

// Exit statuses of a run of ufhost.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;      // bad options, unreadable answers file, unwritable transcript
constexpr int kExitPart = 2;       // the part file cannot be read
constexpr int kExitPlugin = 3;     // the plug-in library cannot be loaded or let an exception out
constexpr int kExitOutput = 4;     // --save, --view, --report or the transcript could not be written
constexpr int kExitAnswers = 5;    // the run ended, but some answers could not be used
constexpr int kExitKernel = 6;     // the geometry kernel crashed or ran on where no call could fail

const std::vector<ExitStatusInfo>& run_exit_statuses();

struct RunOptions {
  std::string part;
  // The bodies to open instead of reading `part`, already in this process's
  // memory (a batch's run forked from the process that read them); `part`
  // then only names them in messages. Empty: read `part`.
  std::vector<Object> bodies;
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

// A run's options as they are before anything is said: the system log and
// the plug-in at their defaults.
RunOptions default_run_options();

// Where the system log goes without --syslog:
// $XDG_STATE_HOME/ufhost/syslog.txt, else ~/.local/state/ufhost/syslog.txt,
// else ufhost-syslog.txt in the temporary folder.
std::string default_syslog_path();

// The plug-in a run loads without --plugin: $UFHOST_PLUGIN when it is set
// (the one place that reads it), else the one that ships with ufhost.
std::string plugin_default();

// --kernel-timeout, which a run, --list and the batch subcommands all take.
const OptionDecl& kernel_timeout_option();

}  // namespace ufhost::app
