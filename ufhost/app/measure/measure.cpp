// [SECTION] Options
// [SECTION] The subcommand
#include "ufhost/app/measure/measure.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>

#include "ufhost/app/batch/batch.h"
#include "ufhost/app/run/list.h"
#include "ufhost/app/measure/measure_internal.h"
#include "ufhost/app/batch/jsonl.h"
#include "ufhost/kernel/containment.h"
#include "ufhost/base/files.h"
#include "ufhost/base/progress.h"

namespace fs = std::filesystem;

namespace ufhost::app {

// [SECTION] Options

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
      {kBatchOk, "every file measured"},
      {kBatchUsage, "bad options, or a --jsonl file that cannot be gone on from or merged"},
      {kBatchFailed, "some file gave an error row"},
      {kBatchOutput, "--csv, --json or --jsonl could not be written"},
  };
  return table;
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
      for (const CommandInfo& c : kCommands)
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

// [SECTION] The subcommand

namespace {

int usage_error(const std::string& message) {
  std::cerr << "ufhost measure: " << message << std::endl;
  return kBatchUsage;
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

// A job for each file that has no good row yet; the others' rows taken
// from `done`. Rows stay in the order of the files.
struct Batch {
  std::vector<Row> rows;
  std::vector<Job> jobs;
  std::vector<std::string> views;  // the page each file's run writes, or ""
  std::size_t skipped = 0;         // files measured before, as --jsonl says
};
Batch plan_batch(const MeasureOptions& options, const std::string& folder,
                 const std::map<std::string, Row>& done) {
  Batch batch;
  std::error_code ec;
  const std::vector<std::string> names = unique_names(options.parts);
  batch.rows.resize(options.parts.size());
  batch.views.resize(options.parts.size());
  for (std::size_t i = 0; i < batch.rows.size(); ++i) {
    Row& row = batch.rows[i];
    const std::string path = fs::absolute(options.parts[i], ec).lexically_normal().string();
    if (const auto it = done.find(path); it != done.end()) {
      row = it->second;
      row.file = options.parts[i];
      finish_row(options, &row);
      ++batch.skipped;
      continue;
    }
    row.file = options.parts[i];
    row.path = path;
    row.units = part_units(options.parts[i]);
    Job job;
    job.index = i;
    job.run.part = path;
    job.dir = fs::absolute(fs::path(folder) / names[i], ec).string();
    job.answers = answers_for({options.command->command}, search_log_of(job));
    if (!options.view_dir.empty()) {
      batch.views[i] = fs::absolute(fs::path(options.view_dir) / (names[i] + ".html"), ec).string();
      job.run.view = batch.views[i];
    }
    batch.jobs.push_back(std::move(job));
  }
  return batch;
}

// Runs the batch's jobs, reading each run into its row and appending the
// row to --jsonl the moment it is read. Returns kBatchOutput when --jsonl
// could not be written, else kBatchOk.
int run_batch(const MeasureOptions& options, const RunsFolder& folder, JsonlWriter& jsonl,
              Batch& batch) {
  Progress progress("measuring " + std::string(options.command->name),
                    static_cast<long>(batch.jobs.size()));
  int status = kBatchOk;
  bool jsonl_failed = false;
  std::error_code ec;
  std::string error;
  const auto finished = [&](const Job& job) {
    Row& row = batch.rows[job.index];
    if (!options.jsonl.empty() && !jsonl_failed) {
      nlohmann::json line = row_json(row, options);
      line["path"] = row.path;
      if (!jsonl.append(line, &error)) {
        std::cerr << "ufhost measure: --jsonl " << error << "; the rows from " << row.file
                  << " on are not in it" << std::endl;
        jsonl_failed = true;
        status = kBatchOutput;
      }
    }
    // A large batch would otherwise fill the temporary folder's disk.
    if (folder.temporary()) fs::remove_all(job.dir, ec);
    progress.step();
  };
  warm_up_for_runs();
  const bool waited = run_jobs(
      batch.jobs, options,
      [&](const Job& job, int wait_status) {
        read_run(job, wait_status, batch.views[job.index], options, &batch.rows[job.index]);
        finished(job);
      },
      [&](const Job& job, const std::string& why) {
        batch.rows[job.index].error = why;
        finished(job);
      });
  if (!waited) std::cerr << "ufhost measure: waiting for the runs failed" << std::endl;
  return status;
}

}  // namespace

int measure_main(const std::vector<std::string>& args) {
  MeasureOptions options;
  bool help = false;
  std::string error;
  if (!parse_measure_options(args, &options, &help, &error)) return usage_error(error);
  if (help) {
    std::cout << measure_usage();
    return kBatchOk;
  }
  if (options.merge) return merge_main(options);
  if (options.progress) set_progress_mode(ProgressMode::Always);
  set_kernel_time_limit(options.kernel_timeout);

  std::map<std::string, Row> done;
  std::size_t keep = 0;
  if (!options.jsonl.empty() && !rows_to_resume(options, &done, &keep, &error))
    return usage_error(error);
  RunsFolder folder;
  if (!folder.make(options.out_dir, "measure", &error)) return usage_error(error);
  std::error_code ec;
  if (!options.view_dir.empty() && !fs::create_directories(options.view_dir, ec) &&
      !fs::is_directory(options.view_dir, ec))
    return usage_error("--view-dir " + options.view_dir + " cannot be made");
  JsonlWriter jsonl;
  if (!options.jsonl.empty() && !jsonl.open(options.jsonl, keep, &error)) return usage_error(error);

  Batch batch = plan_batch(options, folder.path(), done);
  int status = run_batch(options, folder, jsonl, batch);

  std::cout << "ufhost measure: " << options.command->name << ", " << batch.rows.size()
            << (batch.rows.size() == 1 ? " file" : " files");
  if (batch.skipped > 0)
    std::cout << " (" << batch.skipped << " measured before, as " << options.jsonl
              << " says, and not run again)";
  std::cout << ". " << units_note() << "\n" << rows_table(batch.rows, options);
  std::cout.flush();

  for (const Row& r : batch.rows)
    if (!r.error.empty() && status == kBatchOk) status = kBatchFailed;
  if (!write_outputs(batch.rows, options)) status = kBatchOutput;
  return status;
}

}  // namespace ufhost::app
