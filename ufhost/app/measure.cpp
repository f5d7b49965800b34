// [SECTION] Options
// [SECTION] The subcommand
#include "ufhost/app/measure.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "src/get_zarvel.h"
#include "ufhost/app/cli.h"
#include "ufhost/app/list.h"
#include "ufhost/app/measure_internal.h"
#include "ufhost/app/options.h"
#include "ufhost/core/containment.h"
#include "ufhost/core/files.h"
#include "ufhost/core/progress.h"

namespace fs = std::filesystem;

namespace ufhost::app {

// [SECTION] Options

// The frame command shows the host's exact box: no refinement of its own.
const CommandInfo kMeasureCommands[3] = {
    {Command::Extents, "extents", 1, kExtentsTolerance},
    {Command::Frame, "frame", 2, 0.0},
    {Command::Search, "search", 3, kSearchFinalTolerance},
};

namespace {

const std::vector<OptionDecl>& measure_options() {
  static const std::vector<OptionDecl> table = [] {
    std::vector<OptionDecl> t = {
        {"--command", "", "C",
         "extents (default: facets refined by section planes to 1e-8),\nframe (the host's exact "
         "box of the first body), or search\n(the orientation of smallest X + Y, precision 1e-6)"},
        {"--csv", "", "FILE", "write the rows as CSV"},
        {"--json", "", "FILE", "write the rows as JSON"},
        {"--round-up", "", "STEP", "also give the sorted lengths rounded up to a multiple of STEP"},
        {"--view-dir", "", "DIR", "write a 3D view of every part as DIR/NAME.html"},
    };
    const std::vector<OptionDecl> runs = batch_run_options("file");
    t.insert(t.end(), runs.begin(), runs.end());
    t.push_back({"--help", "-h", "", "show this text", false, true});
    return t;
  }();
  return table;
}

}  // namespace

bool parse_number(const std::string& text, double* value) {
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size() && std::isfinite(*value);
}

std::vector<OptionDecl> batch_run_options(const std::string& unit) {
  return {
      {"--jobs", "-j", "N", "run N " + unit + "s at once (default 1)"},
      {"--out-dir", "", "DIR",
       "keep each " + unit + "'s answers, transcript, system log, search log\nand output in DIR/NAME/ "
       "(default: a temporary folder, removed)"},
      {"--timeout", "", "S", "stop a " + unit + "'s run after S seconds (default 600; 0: never)"},
      {"--plugin", "", "PATH", "the plug-in library for every run"},
      kernel_timeout_option(),
      {"--progress", "", "", "show progress on standard error even when it is not a terminal"},
  };
}

int take_batch_option(const ParsedOption& option, MeasureOptions* o, std::string* error) {
  const std::string& name = option.decl->name;
  const std::string& value = option.value;
  double number = 0;
  if (name == "--jobs") {
    if (!parse_number(value, &number) || number < 1 || number > 256 || number != std::floor(number)) {
      *error = option.written + " " + value + ": give a whole number from 1 to 256";
      return -1;
    }
    o->jobs = static_cast<int>(number);
  } else if (name == "--timeout") {
    if (!parse_number(value, &number) || number < 0) {
      *error = "--timeout " + value + ": give seconds, 0 or more";
      return -1;
    }
    o->timeout = number;
  } else if (name == "--out-dir") {
    o->out_dir = value;
  } else if (name == "--plugin") {
    o->plugin = value;
  } else if (name == "--kernel-timeout") {
    if (!parse_kernel_time_limit(value, &number, error)) return -1;
    o->kernel_timeout = value;
  } else if (name == "--progress") {
    o->progress = true;
  } else {
    return 0;
  }
  return 1;
}

bool parse_round_up(const std::string& value, double* step, std::string* error) {
  if (!parse_number(value, step) || *step <= 0) {
    *error = "--round-up " + value + ": give a step greater than 0";
    return false;
  }
  return true;
}

std::string measure_usage() {
  return "Usage: ufhost measure [options] PART...\n"
         "Runs the plug-in on every PART, each in its own ufhost process, selecting every\n"
         "body and answering the dialogs itself, and prints one row per file.\n"
         "\n"
         "Options:\n" +
         options_help(measure_options()) + "\n" + units_note() +
         "\n"
         "Exit status: 0 every file measured; 1 bad options; 2 some file gave an error row;\n"
         "4 --csv or --json could not be written.\n";
}

bool parse_measure_options(const std::vector<std::string>& args, MeasureOptions* options,
                           bool* help, std::string* error) {
  ParsedArgs parsed;
  if (!parse_args(measure_options(), args, "ufhost measure --help", &parsed, error)) return false;
  *help = parsed.stop != nullptr;
  if (*help) return true;
  MeasureOptions o;
  for (const ParsedOption& option : parsed.options) {
    const std::string& name = option.decl->name;
    const std::string& value = option.value;
    const int taken = take_batch_option(option, &o, error);
    if (taken < 0) return false;
    if (taken > 0) continue;
    if (name == "--command") {
      o.command = nullptr;
      for (const CommandInfo& c : kMeasureCommands)
        if (value == c.name) o.command = &c;
      if (o.command == nullptr) {
        *error = "--command " + value + ": choose extents, frame or search";
        return false;
      }
    } else if (name == "--round-up") {
      if (!parse_round_up(value, &o.round_up, error)) return false;
    } else if (name == "--csv") {
      o.csv = value;
    } else if (name == "--json") {
      o.json = value;
    } else if (name == "--view-dir") {
      o.view_dir = value;
    }
  }
  o.parts = parsed.operands;
  if (o.parts.empty()) {
    *error = "no part files given (see ufhost measure --help)";
    return false;
  }
  *options = std::move(o);
  return true;
}

// [SECTION] The subcommand

int measure_main(const std::vector<std::string>& args) {
  MeasureOptions options;
  bool help = false;
  std::string error;
  if (!parse_measure_options(args, &options, &help, &error)) {
    std::cerr << "ufhost measure: " << error << std::endl;
    return kMeasureUsage;
  }
  if (help) {
    std::cout << measure_usage();
    return kMeasureOk;
  }
  if (options.progress) set_progress_mode(ProgressMode::Always);

  std::error_code ec;
  const bool temporary_out = options.out_dir.empty();
  std::string out_dir = options.out_dir;
  if (temporary_out) {
    std::string pattern = (fs::temp_directory_path(ec) / "ufhost-measure-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::cerr << "ufhost measure: cannot make a temporary folder" << std::endl;
      return kMeasureUsage;
    }
    out_dir = pattern;
  }
  fs::create_directories(out_dir, ec);
  if (!fs::is_directory(out_dir)) {
    std::cerr << "ufhost measure: --out-dir " << out_dir << " cannot be made" << std::endl;
    return kMeasureUsage;
  }
  if (!options.view_dir.empty()) {
    fs::create_directories(options.view_dir, ec);
    if (!fs::is_directory(options.view_dir)) {
      std::cerr << "ufhost measure: --view-dir " << options.view_dir << " cannot be made"
                << std::endl;
      return kMeasureUsage;
    }
  }

  // Each run starts in its own folder: paths it is given must not be relative.
  if (options.plugin.empty())
    if (const char* env = std::getenv("UFHOST_PLUGIN"); env != nullptr && *env != '\0')
      options.plugin = env;
  if (!options.plugin.empty()) options.plugin = fs::absolute(options.plugin, ec).string();

  const std::vector<std::string> names = unique_names(options.parts);
  std::vector<Job> jobs(options.parts.size());
  std::vector<Row> rows(options.parts.size());
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    jobs[i].index = i;
    jobs[i].part = fs::absolute(options.parts[i], ec).string();
    jobs[i].dir = fs::absolute(fs::path(out_dir) / names[i], ec).string();
    if (!options.view_dir.empty())
      jobs[i].view = fs::absolute(fs::path(options.view_dir) / (names[i] + ".html"), ec).string();
    rows[i].file = options.parts[i];
    rows[i].units = part_units(options.parts[i]);
  }

  {
    Progress progress("measuring " + std::string(options.command->name),
                      static_cast<long>(jobs.size()));
    const bool waited = run_jobs(
        jobs, options,
        [&](const Job& job, int wait_status) {
          read_run(job, wait_status, options, &rows[job.index]);
          progress.step();
        },
        [&](const Job& job, const std::string& why) {
          rows[job.index].error = why;
          progress.step();
        });
    if (!waited) std::cerr << "ufhost measure: waiting for the runs failed" << std::endl;
  }

  std::cout << "ufhost measure: " << options.command->name << ", " << rows.size()
            << (rows.size() == 1 ? " file" : " files") << ". " << units_note() << "\n"
            << rows_table(rows, options);
  std::cout.flush();

  int status = kMeasureOk;
  for (const Row& r : rows)
    if (!r.error.empty()) status = kMeasureFailed;
  if (!options.csv.empty() && !write_atomically(options.csv, rows_csv(rows, options), &error)) {
    std::cerr << "ufhost measure: --csv " << error << std::endl;
    status = kMeasureOutput;
  }
  if (!options.json.empty() &&
      !write_atomically(options.json, rows_json(rows, options).dump(2) + "\n", &error)) {
    std::cerr << "ufhost measure: --json " << error << std::endl;
    status = kMeasureOutput;
  }
  if (temporary_out) fs::remove_all(out_dir, ec);
  return status;
}

}  // namespace ufhost::app
