#include "ufhost/app/cli/cli.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "ufhost/app/run/list.h"
#include "ufhost/app/cutlist/cutlist.h"
#include "ufhost/app/measure/measure.h"
#include "ufhost/app/plan/plan_command.h"
#include "ufhost/base/options.h"
#include "ufhost/app/run/resources.h"
#include "ufhost/app/run/run.h"
#include "ufhost/parts/part_io.h"
#include "ufhost/base/progress.h"
#include "ufhost/base/text.h"
#include "ufhost/kernel/kernel_info.h"

namespace fs = std::filesystem;

namespace ufhost::app {

// Help texts depend on nothing of the machine they are shown on: the manual
// page is written from the same table when the program is built.
const std::vector<OptionDecl>& run_option_table() {
  static const std::vector<OptionDecl> table = {
      {"--answers", "", "FILE", "answer the plug-in's requests from FILE (- : standard input)"},
      {"--answer", "", "LINE", "one more answer, taken after those of --answers (repeatable)",
       true},
      {"--ui", "", "NAME",
       "who answers the plug-in: terminal, script (--answers) or\n"
       "browser (a page on 127.0.0.1 with the part in 3D); default:\n"
       "script with answers or when standard input is not a\nterminal, else terminal"},
      {"--transcript", "", "FILE", "record every request, answer and log write as JSON lines"},
      {"--syslog", "", "FILE",
       "append the system log to FILE (default:\n$XDG_STATE_HOME/ufhost/syslog.txt, else\n"
       "~/.local/state/ufhost/syslog.txt)"},
      {"--save", "", "OUT",
       "after the run, write the part to OUT (" + joined(part_extensions(true), ", ") +
           ");\nnever over PART"},
      {"--fail", "", "OP[=CODE][@N]",
       "make the N-th call (default: every call) of the host\noperation OP return CODE "
       "(default 1009); repeatable"},
      {"--plugin", "", "PATH",
       "the plug-in library (default: $UFHOST_PLUGIN, else the\nplug-in installed with ufhost: "
       "see Files below)"},
      {"--view", "", "OUT.html",
       "after the run, write a page showing the part, the box and\nwhat the commands drew "
       "(opens in a browser, no network)"},
      {"--report", "", "FILE", "after the run, write its bodies as JSON (for ufhost measure)"},
      {"--progress", "", "",
       "show progress of long work on standard error even when it\nis not a terminal (on a "
       "terminal it is shown anyway)"},
      kernel_timeout_option(),
      {"--help", "-h", "", "show this text", false, true},
      {"--version", "", "", "show the version", false, true},
  };
  return table;
}

namespace {

int list_mode(const std::vector<std::string>& args) {
  static const std::vector<OptionDecl> table = {kernel_timeout_option()};
  ParsedArgs parsed;
  std::string error;
  double seconds = kDefaultKernelTimeLimit;
  if (!parse_args(table, args, "ufhost --help", &parsed, &error) ||
      (!parsed.options.empty() && !parse_kernel_time_limit(parsed.options.back().value, &seconds,
                                                           &error))) {
    std::cerr << "ufhost: " << error << std::endl;
    return kExitUsage;
  }
  if (parsed.operands.size() != 1) {
    std::cerr << "ufhost: --list takes one part file: ufhost --list PART" << std::endl;
    return kExitUsage;
  }
  set_kernel_time_limit(seconds);
  return list_part(parsed.operands[0], std::cout, std::cerr);
}

// What the first argument can name instead of a run: each a function over
// the arguments after it that returns the exit status.
struct Mode {
  const char* name;
  const char* arguments;  // for the help
  const char* help;
  int (*run)(const std::vector<std::string>& args);
  // A subcommand's own options, exit statuses and --help; null for --list.
  const std::vector<OptionDecl>& (*options)();
  const std::vector<ExitStatusInfo>& (*statuses)();
  std::string (*usage)();
};
constexpr Mode kModes[] = {
    {"--list", "PART",
     "print the bodies of PART with their exact boxes, and exit;\n--kernel-timeout may come "
     "before PART",
     list_mode, nullptr, nullptr, nullptr},
    {"measure", "[options] PART...", "measure many parts in one go (ufhost measure --help)",
     measure_main, measure_option_table, measure_exit_statuses, measure_usage},
    {"cutlist", "[options] PART...",
     "the blank and the stock of every part of an assembly\n(ufhost cutlist --help)",
     cutlist_main, cutlist_option_table, cutlist_exit_statuses, cutlist_usage},
    {"plan", "[options] PIECES.csv",
     "how many bars and sheets to buy for a list of pieces and how\nto cut them (ufhost plan --help)",
     plan_main, plan_option_table, plan_exit_statuses, plan_usage},
};

}  // namespace

std::vector<ModeInfo> mode_table() {
  std::vector<ModeInfo> modes;
  for (const Mode& mode : kModes) {
    ModeInfo info{mode.name, mode.arguments, mode.help, {}, {}, ""};
    if (mode.options != nullptr) info.options = mode.options();
    if (mode.statuses != nullptr) info.statuses = mode.statuses();
    if (mode.usage != nullptr) info.usage = mode.usage();
    modes.push_back(std::move(info));
  }
  return modes;
}

std::string usage_text() {
  std::string text = "Usage: ufhost [options] PART\n";
  for (const Mode& mode : kModes)
    text += std::string("       ufhost ") + mode.name + " " + mode.arguments + "\n";
  text += "Opens PART (" + joined(part_extensions(), " ") +
          "), runs the plug-in in it and, with\n"
          "--save, writes the part with what the run created.\n"
          "\n"
          "Options:\n" +
          options_help(run_option_table()) + "\nModes:\n";
  std::vector<OptionDecl> modes;
  for (const Mode& mode : kModes) modes.push_back({mode.name, "", mode.arguments, mode.help});
  text += options_help(modes);
  text +=
      "\n"
      "Without answers the requests are asked at the terminal; when standard input is\n"
      "not a terminal, the answers are read from it. When the answers run out, every\n"
      "further request is cancelled. With --ui browser, ufhost prints the address of\n"
      "its page; closing the page, Ctrl-C or SIGTERM cancels every request.\n"
      "\n"
      "Exit status:\n" +
      exit_status_help(run_exit_statuses());
  const std::string web = find_resource("web");
  return text + "\nFiles:\n  plug-in  " + default_plugin() + "\n  pages    " +
         (web.empty() ? expected_resource("web") + " (missing)" : web) + "\n";
}

std::string version_text() {
  return std::string("ufhost " ZARVEL_VERSION " (geometry kernel Open CASCADE ") + kernel_version() + ")\n";
}

Parsed parse_run_options(const std::vector<std::string>& args, RunOptions* options,
                         std::string* error) {
  ParsedArgs parsed;
  if (!parse_args(run_option_table(), args, "ufhost --help", &parsed, error)) return Parsed::Error;
  if (parsed.stop != nullptr) return parsed.stop->name == "--help" ? Parsed::Help : Parsed::Version;
  RunOptions o = default_run_options();
  for (const ParsedOption& option : parsed.options) {
    const std::string& name = option.decl->name;
    const std::string& value = option.value;
    if (name == "--answers") {
      if (!o.answers_file.empty()) {
        *error = "--answers is given twice; put the extra answers in --answer";
        return Parsed::Error;
      }
      o.answers_file = value;
    } else if (name == "--answer") {
      o.answer_lines.push_back(value);
    } else if (name == "--transcript") {
      o.transcript = value;
    } else if (name == "--syslog") {
      o.syslog = value;
    } else if (name == "--save") {
      o.save = value;
    } else if (name == "--plugin") {
      o.plugin = value;
    } else if (name == "--view") {
      o.view = value;
    } else if (name == "--report") {
      o.report = value;
    } else if (name == "--ui") {
      if (value != "terminal" && value != "script" && value != "browser") {
        *error = "--ui " + value + ": the front ends are terminal, script and browser";
        return Parsed::Error;
      }
      o.ui = value;
    } else if (name == "--progress") {
      o.progress = true;
    } else if (name == "--kernel-timeout") {
      if (!parse_kernel_time_limit(value, &o.kernel_timeout, error)) return Parsed::Error;
    } else if (name == "--fail") {
      FailRule rule;
      if (!parse_fail_rule(value, &rule, error)) return Parsed::Error;
      o.fail_rules.push_back(rule);
    }
  }
  if ((o.ui == "terminal" || o.ui == "browser") &&
      (!o.answers_file.empty() || !o.answer_lines.empty())) {
    *error = "--answers and --answer are for the scripted front end, not --ui " + o.ui;
    return Parsed::Error;
  }
  if (parsed.operands.size() != 1) {
    *error = parsed.operands.empty()
                 ? "no part file given (see ufhost --help)"
                 : "one part file at a time, not " + std::to_string(parsed.operands.size());
    return Parsed::Error;
  }
  o.part = parsed.operands[0];
  *options = std::move(o);
  return Parsed::Run;
}

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty())
    for (const Mode& mode : kModes)
      if (args[0] == mode.name)
        return mode.run(std::vector<std::string>(args.begin() + 1, args.end()));
  return run_command(args);
}

int run_command(const std::vector<std::string>& args) {
  RunOptions options;
  std::string error;
  switch (parse_run_options(args, &options, &error)) {
    case Parsed::Help:
      std::cout << usage_text();
      return kExitOk;
    case Parsed::Version:
      std::cout << version_text();
      return kExitOk;
    case Parsed::Error:
      std::cerr << "ufhost: " << error << "\n";
      return kExitUsage;
    case Parsed::Run:
      break;
  }
  return run(options);
}

}  // namespace ufhost::app
