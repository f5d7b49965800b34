// Running a batch's jobs: one process a file, forked from this warm one, at
// most -j at once, each stopped when it outlives --timeout.
//
// Why fork and not start ufhost anew: a new program pays for loading the
// kernel's libraries and initialising its readers (about 0.1 s), ten times
// what the plug-in needs for a small part. A forked run inherits them ready,
// and is still a process of its own, so that a crash or a run-on costs its
// file only. The fork copies only the calling thread: this process keeps no
// thread that may hold a lock at that moment (the progress line's is
// stopped around every fork), and starts no kernel work of its own, whose
// pools of threads would be lost in the child.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>

#include "ufhost/app/batch/batch.h"
#include "ufhost/base/process.h"
#include "ufhost/app/run/run.h"
#include "ufhost/parts/part_io.h"

namespace fs = std::filesystem;

namespace ufhost::app {

namespace {

// Exit statuses of a forked run that could not begin.
constexpr int kRunCannotSetUp = 125;

// The run as the batch gives it: its files in its folder, the batch's
// plug-in and kernel time limit.
RunOptions run_of(const Job& job, const BatchOptions& options) {
  RunOptions run = job.run;
  run.answers_file = job.dir + "/" + kJobAnswers;
  run.transcript = job.dir + "/" + kJobTranscript;
  run.syslog = job.dir + "/" + kJobSyslog;
  run.report = job.dir + "/" + kJobReport;
  run.plugin = options.plugin;
  run.kernel_timeout = options.kernel_timeout;
  run.ui = "script";
  return run;
}

bool redirect(int fd, const std::string& path, int flags) {
  const int opened = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
  if (opened < 0) return false;
  const bool ok = ::dup2(opened, fd) == fd;
  ::close(opened);
  return ok;
}

// In the forked child: becomes the run, and never returns.
[[noreturn]] void be_the_run(const Job& job, const BatchOptions& options, pid_t parent,
                             const struct sigaction* saved_sigchld) {
  // A batch that is killed leaves no runs behind.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(kRunCannotSetUp);
  // As a program just started: nothing blocked, SIGCHLD as it came to the
  // batch (this process installs no handlers of its own).
  if (saved_sigchld != nullptr) ::sigaction(SIGCHLD, saved_sigchld, nullptr);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  // The debug build of the plug-in writes its log to the current folder.
  if (::chdir(job.dir.c_str()) != 0 || !redirect(STDIN_FILENO, "/dev/null", O_RDONLY) ||
      !redirect(STDOUT_FILENO, job.dir + "/" + kJobStdout, O_WRONLY | O_CREAT | O_TRUNC) ||
      !redirect(STDERR_FILENO, job.dir + "/" + kJobStderr, O_WRONLY | O_CREAT | O_TRUNC))
    ::_exit(kRunCannotSetUp);
  std::cout.clear();
  std::cerr.clear();
  const int status = run(run_of(job, options));
  // Everything the run writes is written by now (the transcript and the
  // system log line by line, the report and the page whole); the inherited
  // exit handlers and destructors are the batch's, not the run's.
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  ::_exit(status);
}

bool start(Job& job, const BatchOptions& options, const struct sigaction* saved_sigchld,
           std::string* error) {
  std::error_code ec;
  fs::create_directories(job.dir, ec);
  const std::string answers = job.dir + "/" + kJobAnswers;
  {
    std::ofstream out(answers);
    for (const std::string& line : job.answers) out << line << "\n";
    if (!out) {
      *error = "cannot write " + answers;
      return false;
    }
  }
  flush_before_fork();
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    *error = std::string("cannot start its process: ") + std::strerror(errno);
    return false;
  }
  if (pid == 0) be_the_run(job, options, parent, saved_sigchld);
  job.pid = pid;
  job.start = std::chrono::steady_clock::now();
  return true;
}

}  // namespace

void warm_up_for_runs() { warm_up_part_readers(); }

namespace {

// The runs under way: each job's process, waited for through its process
// descriptor where there is one.
class Running {
 public:
  explicit Running(const BatchOptions& options) : options_(options) {}
  ~Running() {
    for (const auto& [pid, run] : runs_)
      if (run.fd >= 0) ::close(run.fd);
  }
  bool empty() const { return runs_.empty(); }
  std::size_t size() const { return runs_.size(); }
  void add(Job& job) { runs_[job.pid] = {&job, process_fd(job.pid)}; }

  // The jobs whose processes have ended, with their wait statuses. false
  // when the runs can no longer be waited for: they are stopped then rather
  // than left going with nobody to read what they write.
  bool reap(std::vector<std::pair<Job*, int>>* reaped) {
    for (;;) {
      int status = 0;
      const pid_t pid = ::waitpid(-1, &status, WNOHANG);
      if (pid > 0 && runs_.count(pid)) {
        reaped->emplace_back(runs_[pid].job, status);
        forget(pid);
        continue;
      }
      if (pid > 0) continue;  // not ours (none should be)
      if (pid < 0 && errno == EINTR) continue;
      if (pid < 0 && errno != ECHILD) {
        for (const auto& [child, run] : runs_) ::kill(child, SIGKILL);
        while (!runs_.empty()) forget(runs_.begin()->first);
        return false;
      }
      return true;
    }
  }

  // Stops the runs out of time, and waits until one ends or the next limit.
  void wait() {
    const auto now = std::chrono::steady_clock::now();
    double wait_s = 1.0;
    bool all_fds = true;
    std::vector<pollfd> fds;
    for (auto& [child, run] : runs_) {
      if (options_.timeout > 0 && !run.job->timed_out) {
        const double used = std::chrono::duration<double>(now - run.job->start).count();
        if (used > options_.timeout) {
          run.job->timed_out = true;
          ::kill(child, SIGKILL);
        } else {
          wait_s = std::min(wait_s, options_.timeout - used);
        }
      }
      if (run.fd >= 0)
        fds.push_back({run.fd, POLLIN, 0});
      else
        all_fds = false;
    }
    if (!all_fds) wait_s = std::min(wait_s, 0.005);
    const int wait_ms = static_cast<int>(std::clamp(wait_s * 1000.0 + 1.0, 1.0, 1000.0));
    ::poll(fds.data(), fds.size(), wait_ms);
  }

 private:
  struct Run {
    Job* job;
    int fd;  // -1: none
  };
  void forget(pid_t pid) {
    if (runs_[pid].fd >= 0) ::close(runs_[pid].fd);
    runs_.erase(pid);
  }
  const BatchOptions& options_;
  std::map<pid_t, Run> runs_;
};

}  // namespace

bool run_jobs(std::vector<Job>& jobs, const BatchOptions& options,
              const std::function<void(const Job&, int wait_status)>& ended,
              const std::function<void(const Job&, const std::string& error)>& not_started) {
  // The runs get SIGCHLD back as it came.
  const ChildrenWaitable waitable;
  const struct sigaction* saved_sigchld = waitable.saved();
  Running running(options);
  std::size_t next = 0;
  const auto fill = [&]() {
    while (next < jobs.size() && static_cast<int>(running.size()) < options.jobs) {
      Job& job = jobs[next++];
      std::string error;
      if (start(job, options, saved_sigchld, &error))
        running.add(job);
      else
        not_started(job, error);
    }
  };
  while (next < jobs.size() || !running.empty()) {
    fill();
    if (running.empty()) continue;
    std::vector<std::pair<Job*, int>> reaped;
    if (!running.reap(&reaped)) return false;
    if (reaped.empty()) {
      running.wait();
      continue;
    }
    // The next runs start before what the ended ones left is read, so that
    // reading it overlaps their work.
    fill();
    for (const auto& [job, status] : reaped) ended(*job, status);
  }
  return true;
}

}  // namespace ufhost::app
