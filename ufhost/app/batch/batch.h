// What every batch subcommand of ufhost shares (`ufhost measure` and any
// other that runs the plug-in over many part files): the options that say
// which files and how many at once, the list of files, and the runner that
// gives each file a run of its own.
//
// A batch's runs are forked from one warm process, in which the kernel's
// libraries are loaded and its readers initialised once: each run is a
// process of its own (a crash or a run-on costs that file only) without the
// start-up of a new program.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "ufhost/app/run/run_options.h"
#include "ufhost/base/options.h"

namespace ufhost::app {

// Exit statuses every batch subcommand ends with.
constexpr int kBatchOk = 0;
constexpr int kBatchUsage = 1;   // bad options, or an input it cannot go on from
constexpr int kBatchFailed = 2;  // at least one file or part gave an error
constexpr int kBatchOutput = 4;  // an output file could not be written

// [SECTION] Options

struct BatchOptions {
  int jobs = 1;
  double timeout = 600;        // seconds a file's run may take; 0: no limit
  double kernel_timeout = kDefaultKernelTimeLimit;  // for the batch's own kernel work and every run's
  std::string plugin;          // absolute once the options are finished
  std::string out_dir, view_dir;
  bool progress = false;
  std::vector<std::string> files_from;  // lists of files, "-" standard input
  bool null_separated = false;          // -0: the lists' names end with NUL, not newline
  std::string jsonl;                    // rows as they come, one JSON object a line
  bool resume = false;                  // skip the files that already have a good row in jsonl
  std::vector<std::string> parts;       // the command line's files, then the lists'
};

// A number as an option's value: the whole text, finite.
bool parse_number(const std::string& text, double* value);
// The value of --round-up: a step greater than 0.
bool parse_round_up(const std::string& value, double* step, std::string* error);

// The declarations of the options above, in the order --help lists them:
// -j, --timeout, --kernel-timeout, --plugin, --out-dir, --view-dir,
// --files-from, -0, --jsonl, --resume, --progress. A subcommand puts them in
// its own table beside its own options.
std::vector<OptionDecl> batch_option_decls();

// Takes one parsed option if it is one of batch_option_decls(): true when it
// was (*error set when its value is bad), false when it is another option.
bool take_batch_option(const ParsedOption& option, BatchOptions* options, std::string* error);

// After the options: appends the files of every --files-from list to
// options->parts, checks that the options fit together (--resume needs
// --jsonl; some file is given) and makes the plug-in's path absolute (its
// default when none was given), as runs start in folders of their own.
// `subcommand` names it in messages ("ufhost measure"). false with a
// one-line message.
// `need_files` false: the subcommand has files from elsewhere (an order).
bool finish_batch_options(BatchOptions* options, const std::string& subcommand, std::string* error,
                          bool need_files = true);

// The names a list holds: one a line (a carriage return before the newline
// is dropped, blank lines are skipped), or with `null_separated` each ended
// by a NUL (nothing dropped but empty names).
std::vector<std::string> split_file_list(const std::string& text, bool null_separated);

// The folder a batch's runs keep their files in: --out-dir, made if
// missing, or a temporary one, removed with everything in it when this
// goes.
class RunsFolder {
 public:
  RunsFolder() = default;
  ~RunsFolder();
  RunsFolder(const RunsFolder&) = delete;
  RunsFolder& operator=(const RunsFolder&) = delete;
  // `out_dir` as given ("" for a temporary one); `subcommand` names the
  // temporary folder ("measure": ufhost-measure-XXXXXX). false with a message.
  bool make(const std::string& out_dir, const std::string& subcommand, std::string* error);
  const std::string& path() const { return path_; }
  bool temporary() const { return temporary_; }

 private:
  std::string path_;
  bool temporary_ = false;
};

// [SECTION] Jobs

// One run. The caller fills in the first four; run_jobs the rest.
struct Job {
  std::size_t index = 0;             // the caller's, for its own bookkeeping
  std::string dir;                   // the run's own folder, absolute; made if missing
  std::vector<std::string> answers;  // the answer lines the run is given
  // The run: its part (absolute) or bodies, and what else it writes
  // (--view); run_jobs sets its answers file, transcript, system log,
  // report, plug-in and kernel time limit.
  RunOptions run;
  pid_t pid = -1;
  std::chrono::steady_clock::time_point start;
  bool timed_out = false;
};

// What a job's run leaves in its folder, besides what its options write.
constexpr const char* kJobAnswers = "answers.txt";
constexpr const char* kJobTranscript = "transcript.jsonl";
constexpr const char* kJobSyslog = "syslog.txt";
constexpr const char* kJobReport = "report.json";
constexpr const char* kJobStdout = "stdout.txt";
constexpr const char* kJobStderr = "stderr.txt";

// A name for each file's outputs that no other file of the batch has: the
// file's stem, with -2, -3, ... for later files of the same stem.
std::vector<std::string> unique_names(const std::vector<std::string>& parts);

// Makes the forks to come cheaper: initialises the kernel's file readers in
// this process, once. Starts no thread.
void warm_up_for_runs();

// Runs every job, options.jobs at a time, each a call of run() in a process
// forked from this one, in its folder, with its answers in DIR/answers.txt,
// its transcript in DIR/transcript.jsonl, its system log in DIR/syslog.txt
// and its report in DIR/report.json, standard input from /dev/null,
// standard output and error into DIR/stdout.txt and DIR/stderr.txt; and
// kills any that outlives options.timeout. `ended` gets
// each job once its process has ended, with its wait status (a run killed
// for its time has timed_out set); `not_started` a job whose process could
// not start, with why. Both are called on this thread, one job at a time.
// Returns false when waiting for the processes failed: the jobs not ended by
// then got neither call. A run's process is killed when this one dies.
bool run_jobs(std::vector<Job>& jobs, const BatchOptions& options,
              const std::function<void(const Job&, int wait_status)>& ended,
              const std::function<void(const Job&, const std::string& error)>& not_started);

}  // namespace ufhost::app
