#include "ufhost/app/cli.h"

#include <Standard_Version.hxx>

#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "ufhost/app/run.h"

namespace fs = std::filesystem;

namespace ufhost::app {

namespace {

// A subcommand: `ufhost NAME ARGS...`. None yet; batch measuring and
// listing a part's bodies come here, each a function over its own
// arguments that returns the exit status.
struct Subcommand {
  const char* name;
  int (*run)(const std::vector<std::string>& args);
};
const std::vector<Subcommand>& subcommands() {
  static const std::vector<Subcommand> table;
  return table;
}

// Options that take a value, as --name VALUE or --name=VALUE.
bool takes_value(const std::string& name) {
  for (const char* n : {"--answers", "--answer", "--transcript", "--syslog", "--save", "--fail",
                        "--plugin"})
    if (name == n) return true;
  return false;
}

}  // namespace

std::string default_syslog_path() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/')
    return std::string(state) + "/ufhost/syslog.txt";
  if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/')
    return std::string(home) + "/.local/state/ufhost/syslog.txt";
  std::error_code ec;
  return (fs::temp_directory_path(ec) / "ufhost-syslog.txt").string();
}

std::string usage_text() {
  return "Usage: ufhost [options] PART\n"
         "Opens PART (.step .stp .igs .iges .brep .stl), runs the plug-in in it and, with\n"
         "--save, writes the part with what the run created.\n"
         "\n"
         "Options:\n"
         "  --answers FILE        answer the plug-in's requests from FILE (- : standard input)\n"
         "  --answer LINE         one more answer, taken after those of --answers (repeatable)\n"
         "  --transcript FILE     record every request, answer and log write as JSON lines\n"
         "  --syslog FILE         append the system log to FILE\n"
         "                        (default: " + default_syslog_path() + ")\n"
         "  --save OUT            after the run, write the part to OUT (.brep, .step);\n"
         "                        never over PART\n"
         "  --fail OP[=CODE][@N]  make the N-th call (default: every call) of the host\n"
         "                        operation OP return CODE (default 1009); repeatable\n"
         "  --plugin PATH         the plug-in library (default: $UFHOST_PLUGIN, else\n"
         "                        " UFHOST_DEFAULT_PLUGIN ")\n"
         "  --help                show this text\n"
         "  --version             show the version\n"
         "\n"
         "Without answers the requests are asked at the terminal; when standard input is\n"
         "not a terminal, the answers are read from it. When the answers run out, every\n"
         "further request is cancelled.\n"
         "\n"
         "Exit status: 0 done; 1 bad options, answers file or transcript; 2 the part file\n"
         "cannot be read; 3 the plug-in cannot be loaded; 4 --save or the transcript could\n"
         "not be written; 5 the run ended but some answers could not be used; 6 the\n"
         "geometry kernel crashed or did not finish during the run (the line says where).\n";
}

std::string version_text() {
  return "ufhost 0.1 (geometry kernel Open CASCADE " OCC_VERSION_COMPLETE ")\n";
}

Parsed parse_run_options(const std::vector<std::string>& args, RunOptions* options,
                         std::string* error) {
  RunOptions o;
  o.syslog = default_syslog_path();
  const char* env_plugin = std::getenv("UFHOST_PLUGIN");
  o.plugin = env_plugin != nullptr && *env_plugin != '\0' ? env_plugin : UFHOST_DEFAULT_PLUGIN;
  std::vector<std::string> parts;
  bool options_end = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      parts.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") return Parsed::Help;
    if (arg == "--version") return Parsed::Version;
    std::string value;
    const auto eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.erase(eq);
      if (!takes_value(arg)) {
        *error = arg + " takes no value";
        return Parsed::Error;
      }
    } else if (takes_value(arg)) {
      if (i + 1 >= args.size()) {
        *error = arg + " needs a value";
        return Parsed::Error;
      }
      value = args[++i];
    } else {
      *error = "unknown option " + arg + " (see ufhost --help)";
      return Parsed::Error;
    }
    if (value.empty() && arg != "--answer") {
      *error = arg + " needs a non-empty value";
      return Parsed::Error;
    }
    if (arg == "--answers") {
      if (!o.answers_file.empty()) {
        *error = "--answers is given twice; put the extra answers in --answer";
        return Parsed::Error;
      }
      o.answers_file = value;
    } else if (arg == "--answer") {
      o.answer_lines.push_back(value);
    } else if (arg == "--transcript") {
      o.transcript = value;
    } else if (arg == "--syslog") {
      o.syslog = value;
    } else if (arg == "--save") {
      o.save = value;
    } else if (arg == "--plugin") {
      o.plugin = value;
    } else if (arg == "--fail") {
      FailRule rule;
      if (!parse_fail_rule(value, &rule, error)) return Parsed::Error;
      o.fail_rules.push_back(rule);
    }
  }
  if (parts.size() != 1) {
    *error = parts.empty() ? "no part file given (see ufhost --help)"
                           : "one part file at a time, not " + std::to_string(parts.size());
    return Parsed::Error;
  }
  o.part = parts[0];
  *options = std::move(o);
  return Parsed::Run;
}

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty())
    for (const Subcommand& c : subcommands())
      if (args[0] == c.name) return c.run(std::vector<std::string>(args.begin() + 1, args.end()));

  RunOptions options;
  std::string error;
  switch (parse_run_options(args, &options, &error)) {
    case Parsed::Help: std::cout << usage_text(); return kExitOk;
    case Parsed::Version: std::cout << version_text(); return kExitOk;
    case Parsed::Error: std::cerr << "ufhost: " << error << "\n"; return kExitUsage;
    case Parsed::Run: break;
  }
  return run(options);
}

}  // namespace ufhost::app
