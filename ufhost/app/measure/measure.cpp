// [SECTION] Options
// [SECTION] The subcommand
#include "ufhost/app/measure/measure.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>

#include "src/get_zarvel.h"
#include "ufhost/app/batch/batch.h"
#include "ufhost/app/run/list.h"
#include "ufhost/app/measure/measure_internal.h"
#include "ufhost/kernel/containment.h"
#include "ufhost/base/files.h"
#include "ufhost/base/progress.h"

namespace fs = std::filesystem;

namespace ufhost::app {

// [SECTION] Options

// The frame command shows the host's exact box: no refinement of its own.
const CommandInfo kMeasureCommands[3] = {
    {Command::Extents, "extents", 1, kExtentsTolerance},
    {Command::Frame, "frame", 2, 0.0},
    {Command::Search, "search", 3, kSearchFinalTolerance},
};

const std::vector<OptionDecl>& measure_option_table() {
  static const std::vector<OptionDecl> table = [] {
    std::vector<OptionDecl> t = {
        {"--command", "", "C",
         "extents (default: facets refined by section planes to 1e-8),\nframe (the host's exact "
         "box of the first body), or search\n(the orientation of smallest X + Y, precision 1e-6)"},
    };
    for (OptionDecl& decl : batch_option_decls()) t.push_back(std::move(decl));
    t.insert(t.end(), {
        {"--csv", "", "FILE", "write the rows as CSV"},
        {"--json", "", "FILE", "write the rows as JSON"},
        {"--round-up", "", "STEP", "also give the sorted lengths rounded up to a multiple of STEP"},
        {"--merge", "", "",
         "the operands are --jsonl files: their rows as one table,\nCSV and JSON, each file once "
         "(its last good row); takes\n--command, --csv, --json and --round-up"},
        {"--help", "-h", "", "show this text", false, true},
    });
    return t;
  }();
  return table;
}

const std::vector<ExitStatusInfo>& measure_exit_statuses() {
  static const std::vector<ExitStatusInfo> table = {
      {kMeasureOk, "every file measured"},
      {kMeasureUsage, "bad options, or a --jsonl file that cannot be gone on from or merged"},
      {kMeasureFailed, "some file gave an error row"},
      {kMeasureOutput, "--csv, --json or --jsonl could not be written"},
  };
  return table;
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
         "       ufhost measure --merge [--csv FILE] [--json FILE] [--round-up STEP] JSONL...\n"
         "Runs the plug-in on every PART, each in a process of its own, selecting every\n"
         "body and answering the dialogs itself, and prints one row per file.\n"
         "\n"
         "Options:\n" +
         options_help(measure_option_table()) + "\n" + units_note() +
         "\n\nExit status:\n" + exit_status_help(measure_exit_statuses());
}

bool parse_measure_options(const std::vector<std::string>& args, MeasureOptions* options,
                           bool* help, std::string* error) {
  ParsedArgs parsed;
  if (!parse_args(measure_option_table(), args, "ufhost measure --help", &parsed, error))
    return false;
  *help = parsed.stop != nullptr;
  if (*help) return true;
  MeasureOptions o;
  std::string batch_option;  // one given, for a merge to refuse
  for (const ParsedOption& option : parsed.options) {
    const std::string& name = option.decl->name;
    const std::string& value = option.value;
    error->clear();
    if (take_batch_option(option, &o, error)) {
      if (!error->empty()) return false;
      batch_option = option.written;
    } else if (name == "--command") {
      o.command = nullptr;
      for (const CommandInfo& c : kMeasureCommands)
        if (value == c.name) o.command = &c;
      if (o.command == nullptr) {
        *error = "--command " + value + ": choose extents, frame or search";
        return false;
      }
      o.command_given = true;
    } else if (name == "--round-up") {
      if (!parse_round_up(value, &o.round_up, error)) return false;
    } else if (name == "--csv") {
      o.csv = value;
    } else if (name == "--json") {
      o.json = value;
    } else if (name == "--merge") {
      o.merge = true;
    }
  }
  o.parts = parsed.operands;
  if (o.merge) {
    if (!batch_option.empty()) {
      *error = "--merge takes --command, --csv, --json and --round-up, not " + batch_option;
      return false;
    }
    if (o.parts.empty()) {
      *error = "--merge: give the --jsonl files to merge";
      return false;
    }
  } else if (!finish_batch_options(&o, "ufhost measure", error)) {
    return false;
  }
  *options = std::move(o);
  return true;
}

std::vector<std::string> answers_for(const CommandInfo& command, const std::string& log) {
  std::vector<std::string> lines = {"menu " + std::to_string(command.menu_item), "select all"};
  if (command.command == Command::Search) {
    lines.push_back("dialog ok 1e-6");
    lines.push_back("save " + log);
  } else {
    lines.push_back("dialog ok");
  }
  lines.push_back("menu cancel");
  return lines;
}

// [SECTION] The subcommand

namespace {

int usage_error(const std::string& message) {
  std::cerr << "ufhost measure: " << message << std::endl;
  return kMeasureUsage;
}

bool make_folder(const std::string& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  return fs::is_directory(dir, ec);
}

// The good rows of a --jsonl file the batch goes on from, by absolute path,
// and how much of the file to keep. false with a message when the batch
// cannot go on from it.
bool rows_to_resume(const MeasureOptions& options, std::map<std::string, Row>* done,
                    std::size_t* keep, std::string* error) {
  std::error_code ec;
  const bool exists = fs::exists(options.jsonl, ec);
  *keep = exists ? static_cast<std::size_t>(fs::file_size(options.jsonl, ec)) : 0;
  if (!exists || *keep == 0) return true;
  if (!options.resume) {
    *error = "--jsonl " + options.jsonl +
             " already holds rows: give --resume to go on from them, or another file";
    return false;
  }
  JsonlRows previous;
  if (!read_jsonl(options.jsonl, &previous, error)) return false;
  if (!previous.command.empty() && previous.command != options.command->name) {
    *error = "--jsonl " + options.jsonl + " holds rows of --command " + previous.command +
             "; this batch measures " + options.command->name;
    return false;
  }
  if (previous.torn_at != std::string::npos) {
    *keep = previous.torn_at;
    std::cerr << "ufhost measure: warning: the last line of " << options.jsonl
              << " was cut short (the batch was stopped while writing it); it is dropped"
              << std::endl;
  }
  for (const Row& row : merge_rows(previous.rows))
    if (row.error.empty()) (*done)[row.path.empty() ? row.file : row.path] = row;
  return true;
}

}  // namespace

int measure_main(const std::vector<std::string>& args) {
  MeasureOptions options;
  bool help = false;
  std::string error;
  if (!parse_measure_options(args, &options, &help, &error)) return usage_error(error);
  if (help) {
    std::cout << measure_usage();
    return kMeasureOk;
  }
  if (options.merge) return merge_main(options);
  if (options.progress) set_progress_mode(ProgressMode::Always);

  std::error_code ec;
  std::map<std::string, Row> done;
  std::size_t keep = 0;
  if (!options.jsonl.empty() && !rows_to_resume(options, &done, &keep, &error))
    return usage_error(error);

  const bool temporary_out = options.out_dir.empty();
  std::string out_dir = options.out_dir;
  if (temporary_out) {
    std::string pattern = (fs::temp_directory_path(ec) / "ufhost-measure-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return usage_error("cannot make a temporary folder");
    out_dir = pattern;
  }
  if (!make_folder(out_dir)) return usage_error("--out-dir " + out_dir + " cannot be made");
  if (!options.view_dir.empty() && !make_folder(options.view_dir))
    return usage_error("--view-dir " + options.view_dir + " cannot be made");
  JsonlWriter jsonl;
  if (!options.jsonl.empty() && !jsonl.open(options.jsonl, keep, &error)) {
    if (temporary_out) fs::remove_all(out_dir, ec);
    return usage_error(error);
  }

  // Each run starts in its own folder: paths it is given must not be relative.
  if (options.plugin.empty())
    if (const char* env = std::getenv("UFHOST_PLUGIN"); env != nullptr && *env != '\0')
      options.plugin = env;
  if (!options.plugin.empty()) options.plugin = fs::absolute(options.plugin, ec).string();

  const std::vector<std::string> names = unique_names(options.parts);
  std::vector<Job> jobs;
  std::vector<std::string> views(options.parts.size());
  std::vector<Row> rows(options.parts.size());
  std::size_t skipped = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::string path = fs::absolute(options.parts[i], ec).lexically_normal().string();
    if (const auto it = done.find(path); it != done.end()) {
      rows[i] = it->second;
      rows[i].file = options.parts[i];
      finish_row(options, &rows[i]);
      ++skipped;
      continue;
    }
    rows[i].file = options.parts[i];
    rows[i].path = path;
    rows[i].units = part_units(options.parts[i]);
    Job job;
    job.index = i;
    job.part = path;
    job.dir = fs::absolute(fs::path(out_dir) / names[i], ec).string();
    job.answers = answers_for(*options.command, job.dir + "/search-log.txt");
    if (!options.view_dir.empty()) {
      views[i] = fs::absolute(fs::path(options.view_dir) / (names[i] + ".html"), ec).string();
      job.run_options = {"--view", views[i]};
    }
    jobs.push_back(std::move(job));
  }

  int status = kMeasureOk;
  {
    Progress progress("measuring " + std::string(options.command->name),
                      static_cast<long>(jobs.size()));
    bool jsonl_failed = false;
    const auto finished = [&](const Job& job) {
      Row& row = rows[job.index];
      if (!options.jsonl.empty() && !jsonl_failed) {
        nlohmann::json line = row_json(row, options);
        line["path"] = row.path;
        if (!jsonl.append(line, &error)) {
          std::cerr << "ufhost measure: --jsonl " << error << "; the rows from "
                    << row.file << " on are not in it" << std::endl;
          jsonl_failed = true;
          status = kMeasureOutput;
        }
      }
      // A large batch would otherwise fill the temporary folder's disk.
      if (temporary_out) fs::remove_all(job.dir, ec);
      progress.step();
    };
    warm_up_for_runs();
    const bool waited = run_jobs(
        jobs, options,
        [&](const Job& job, int wait_status) {
          read_run(job, wait_status, views[job.index], options, &rows[job.index]);
          finished(job);
        },
        [&](const Job& job, const std::string& why) {
          rows[job.index].error = why;
          finished(job);
        });
    if (!waited) std::cerr << "ufhost measure: waiting for the runs failed" << std::endl;
  }

  std::cout << "ufhost measure: " << options.command->name << ", " << rows.size()
            << (rows.size() == 1 ? " file" : " files");
  if (skipped > 0)
    std::cout << " (" << skipped << " measured before, as " << options.jsonl
              << " says, and not run again)";
  std::cout << ". " << units_note() << "\n" << rows_table(rows, options);
  std::cout.flush();

  for (const Row& r : rows)
    if (!r.error.empty() && status == kMeasureOk) status = kMeasureFailed;
  if (!write_outputs(rows, options)) status = kMeasureOutput;
  if (temporary_out) fs::remove_all(out_dir, ec);
  return status;
}

}  // namespace ufhost::app
