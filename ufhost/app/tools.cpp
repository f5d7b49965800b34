#include "ufhost/app/tools.h"

#include <filesystem>
#include <iostream>
#include <vector>

#include "ufhost/app/cli.h"
#include "ufhost/app/list.h"
#include "ufhost/app/measure.h"
#include "ufhost/app/view.h"
#include "ufhost/core/containment.h"
#include "ufhost/core/progress.h"
#include "ufhost/core/session.h"

namespace ufhost::app {

namespace {

// The run's own options that take a value: their values are never taken for
// ours, even when they look like one ("--answer --progress").
bool run_option_with_value(const std::string& arg) {
  for (const char* name : {"--answers", "--answer", "--transcript", "--syslog", "--save", "--fail",
                           "--plugin"})
    if (arg == name) return true;
  return false;
}

std::string tools_help() {
  return "\n"
         "More:\n"
         "  --view OUT.html       after the run, write a page showing the part, the box and\n"
         "                        what the commands drew (opens in a browser, no network)\n"
         "  --progress            show progress of long work on standard error even when it\n"
         "                        is not a terminal (on a terminal it is shown anyway)\n"
         "  --report FILE         after the run, write its bodies as JSON (for ufhost measure)\n"
         "  --kernel-timeout S    give the geometry kernel at most S seconds for each piece\n"
         "                        of work: a host call, saving, the page; reading PART gets\n"
         "                        S for every 10 MB of it, started (default 60; 0: no limit).\n"
         "                        Also for --list and ufhost measure\n"
         "  ufhost --list PART    print the bodies of PART with their exact boxes, and exit\n"
         "  ufhost measure ...    measure many parts in one go (ufhost measure --help)\n";
}

// --kernel-timeout S or --kernel-timeout=S at args[*i]: sets the limit and
// steps *i over the value. 1 when it was that option, 0 when not, -1 (with
// the message written) when its value is bad.
int take_kernel_timeout(const std::vector<std::string>& args, std::size_t* i) {
  const std::string name = "--kernel-timeout";
  const std::string& arg = args[*i];
  if (arg != name && arg.rfind(name + "=", 0) != 0) return 0;
  std::string value = arg.size() > name.size() ? arg.substr(name.size() + 1) : "";
  if (arg == name && *i + 1 < args.size()) value = args[++*i];
  double seconds = 0;
  std::string error;
  if (!parse_kernel_time_limit(value, &seconds, &error)) {
    std::cerr << "ufhost: " << error << std::endl;
    return -1;
  }
  set_kernel_time_limit(seconds);
  return 1;
}

}  // namespace

int take_tool_options(int* argc, char** argv, ToolOptions* tools) {
  std::vector<std::string> args(argv + 1, argv + *argc);
  if (!args.empty() && args[0] == "measure")
    return measure_main(std::vector<std::string>(args.begin() + 1, args.end()));
  if (!args.empty() && args[0] == "--list") {
    std::vector<std::string> parts;
    for (std::size_t i = 1; i < args.size(); ++i) {
      const int taken = take_kernel_timeout(args, &i);
      if (taken < 0) return kExitUsage;
      if (taken == 0) parts.push_back(args[i]);
    }
    if (parts.size() != 1) {
      std::cerr << "ufhost: --list takes one part file: ufhost --list PART" << std::endl;
      return kExitUsage;
    }
    return list_part(parts[0], std::cout, std::cerr);
  }

  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") {
      while (i < *argc) argv[kept++] = argv[i++];
      break;
    }
    if (run_option_with_value(arg) && i + 1 < *argc) {
      argv[kept++] = argv[i++];
      argv[kept++] = argv[i];
      continue;
    }
    if (arg == "--help" || arg == "-h") tools->help = true;
    if (arg == "--progress") {
      set_progress_mode(ProgressMode::Always);
      continue;
    }
    std::size_t at = static_cast<std::size_t>(i - 1);
    const int taken = take_kernel_timeout(args, &at);
    if (taken < 0) return kExitUsage;
    if (taken > 0) {
      i = static_cast<int>(at) + 1;
      continue;
    }
    std::string* value = nullptr;
    std::string name = arg;
    if (arg.rfind("--view", 0) == 0) value = &tools->view, name = "--view";
    if (arg.rfind("--report", 0) == 0) value = &tools->report, name = "--report";
    if (value != nullptr && (arg == name || arg[name.size()] == '=')) {
      if (arg.size() > name.size()) {
        *value = arg.substr(name.size() + 1);
      } else if (i + 1 < *argc) {
        *value = argv[++i];
      }
      if (value->empty()) {
        std::cerr << "ufhost: " << name << " needs a file name" << std::endl;
        return kExitUsage;
      }
      continue;
    }
    argv[kept++] = argv[i];
  }
  *argc = kept;
  argv[kept] = nullptr;
  // Found out now rather than after a long run whose page could not be kept.
  for (const std::string* file : {&tools->view, &tools->report}) {
    std::error_code ec;
    if (!file->empty() &&
        !std::filesystem::is_directory(std::filesystem::absolute(*file, ec).parent_path(), ec)) {
      std::cerr << "ufhost: " << (file == &tools->view ? "--view " : "--report ") << *file
                << ": no such folder" << std::endl;
      return kExitUsage;
    }
  }
  return -1;
}

int finish_tools(const ToolOptions& tools, int argc, char** argv, int status) {
  if (tools.help) std::cout << tools_help();
  Session& s = session();
  if (s.model.size() == 0 || (tools.view.empty() && tools.report.empty())) return status;
  // The part's name for the page and the report, as the run read it.
  RunOptions options;
  std::string error;
  if (parse_run_options(std::vector<std::string>(argv + 1, argv + argc), &options, &error) !=
      Parsed::Run)
    return status;
  // The bodies' boxes and the page's tessellation are kernel work too.
  KernelWork work("writing --report and --view");
  if (!tools.report.empty() && !write_run_report(s.model, options.part, tools.report, &error)) {
    std::cerr << "ufhost: " << error << std::endl;
    status = std::max(status, kExitOutput);
  }
  if (!tools.view.empty()) {
    ViewOptions view;
    view.title = std::filesystem::path(options.part).filename().string();
    view.subtitle = options.part;
    view.units = part_units(options.part) == "mm" ? "millimetres (converted on reading)"
                                                  : "the file's own (BREP and STL carry none)";
    if (!write_view(s.model, tools.view, view, &error)) {
      std::cerr << "ufhost: " << error << std::endl;
      status = std::max(status, kExitOutput);
    }
  }
  return status;
}

}  // namespace ufhost::app
