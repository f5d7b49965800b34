#include "ufhost/app/run/run_options.h"

#include <cstdlib>
#include <filesystem>

#include "ufhost/app/run/resources.h"

namespace fs = std::filesystem;

namespace ufhost::app {

const std::vector<ExitStatusInfo>& run_exit_statuses() {
  static const std::vector<ExitStatusInfo> table = {
      {kExitOk, "done"},
      {kExitUsage, "bad options, answers file or transcript"},
      {kExitPart, "the part file cannot be read"},
      {kExitPlugin, "the plug-in cannot be loaded"},
      {kExitOutput, "--save, --view, --report or the transcript could not be written"},
      {kExitAnswers, "the run ended but some answers could not be used"},
      {kExitKernel,
       "the geometry kernel crashed or did not finish during the run (the line says where)"},
  };
  return table;
}

RunOptions default_run_options() {
  RunOptions options;
  options.syslog = default_syslog_path();
  options.plugin = plugin_default();
  return options;
}

std::string default_syslog_path() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/')
    return std::string(state) + "/ufhost/syslog.txt";
  if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/')
    return std::string(home) + "/.local/state/ufhost/syslog.txt";
  std::error_code ec;
  return (fs::temp_directory_path(ec) / "ufhost-syslog.txt").string();
}

std::string plugin_default() {
  const char* env = std::getenv("UFHOST_PLUGIN");
  return env != nullptr && *env != '\0' ? env : default_plugin();
}

const OptionDecl& kernel_timeout_option() {
  static const OptionDecl option = {
      "--kernel-timeout", "", "S",
      "give the geometry kernel at most S seconds for each piece\nof work: a host call, saving, "
      "the page; reading PART gets\nS/12 and S for every 10 MB of it (default 60: 5 s and\n6 s a MB; "
      "0: no limit)"};
  return option;
}

}  // namespace ufhost::app
