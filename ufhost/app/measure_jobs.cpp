// Running the batch's jobs: one ufhost process a file, at most -j at once,
// each stopped when it outlives --timeout.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "ufhost/app/measure_internal.h"

extern char** environ;

namespace fs = std::filesystem;

namespace ufhost::app {

namespace {

std::string self_executable() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("ufhost") : exe.string();
}

bool start(Job& job, const MeasureOptions& options, std::string* error) {
  std::error_code ec;
  fs::create_directories(job.dir, ec);
  const std::string answers = job.dir + "/answers.txt";
  {
    std::ofstream out(answers);
    const std::vector<std::string> lines =
        job.answers.empty() ? answers_for(*options.command, job.dir + "/search-log.txt") : job.answers;
    for (const std::string& line : lines) out << line << "\n";
    if (!out) {
      *error = "cannot write " + answers;
      return false;
    }
  }
  std::vector<std::string> args = {self_executable(), job.part,
                                   "--answers",       answers,
                                   "--transcript",    job.dir + "/transcript.jsonl",
                                   "--syslog",        job.dir + "/syslog.txt",
                                   "--report",        job.dir + "/report.json"};
  if (!job.view.empty()) args.insert(args.end(), {"--view", job.view});
  if (!options.plugin.empty()) args.insert(args.end(), {"--plugin", options.plugin});
  if (!options.kernel_timeout.empty())
    args.insert(args.end(), {"--kernel-timeout", options.kernel_timeout});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, (job.dir + "/stdout.txt").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, (job.dir + "/stderr.txt").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  // The debug build of the plug-in writes its log to the current folder.
  posix_spawn_file_actions_addchdir_np(&actions, job.dir.c_str());
  const int rc = posix_spawn(&job.pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    *error = "cannot start " + args[0] + ": " + std::strerror(rc);
    job.pid = -1;
    return false;
  }
  job.start = std::chrono::steady_clock::now();
  return true;
}

}  // namespace

std::vector<std::string> unique_names(const std::vector<std::string>& parts) {
  std::vector<std::string> names;
  std::map<std::string, int> seen;
  for (const std::string& part : parts) {
    std::string stem = fs::path(part).stem().string();
    if (stem.empty()) stem = "part";
    const int n = ++seen[stem];
    names.push_back(n == 1 ? stem : stem + "-" + std::to_string(n));
  }
  // A later "a-2" given as a file of its own could meet a renamed "a".
  std::set<std::string> taken;
  for (std::string& name : names) {
    while (!taken.insert(name).second) name += "_";
  }
  return names;
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

bool run_jobs(std::vector<Job>& jobs, const MeasureOptions& options,
              const std::function<void(const Job&, int wait_status)>& ended,
              const std::function<void(const Job&, const std::string& error)>& not_started) {
  std::size_t next = 0;
  std::map<pid_t, Job*> running;
  while (next < jobs.size() || !running.empty()) {
    while (next < jobs.size() && static_cast<int>(running.size()) < options.jobs) {
      Job& job = jobs[next++];
      std::string error;
      if (start(job, options, &error))
        running[job.pid] = &job;
      else
        not_started(job, error);
    }
    int status = 0;
    const pid_t pid = waitpid(-1, &status, WNOHANG);
    if (pid > 0 && running.count(pid)) {
      Job* job = running[pid];
      running.erase(pid);
      ended(*job, status);
      continue;
    }
    if (pid < 0 && errno != EINTR && errno != ECHILD) {
      // The runs can no longer be waited for: stop them rather than leave
      // them going with nobody to read what they write.
      for (const auto& [child, job] : running) kill(child, SIGKILL);
      return false;
    }
    const auto now = std::chrono::steady_clock::now();
    for (auto& [child, job] : running) {
      if (options.timeout > 0 && !job->timed_out &&
          std::chrono::duration<double>(now - job->start).count() > options.timeout) {
        job->timed_out = true;
        kill(child, SIGKILL);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace ufhost::app
