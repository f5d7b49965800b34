// Faults of the geometry kernel kept from taking the host down unannounced.
//
// [SECTION] Time limit
// [SECTION] Child process    work done where a crash or a run-on cannot reach the host
// [SECTION] Last words       one line on standard error, written from a signal handler
// [SECTION] Fault signals    the kernel's conversion, or last words, or the old handler
// [SECTION] Watchdog         kernel work that does not end
#include "ufhost/kernel/containment.h"
#include "ufhost/base/progress.h"
#include "ufhost/base/process.h"

#include <OSD_SIGBUS.hxx>
#include <OSD_SIGILL.hxx>
#include <OSD_SIGSEGV.hxx>
#include <OSD_Signal.hxx>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>

namespace ufhost {

namespace {

// ---------------------------------------------------------------------------
// [SECTION] Time limit

std::atomic<double> g_limit{kDefaultKernelTimeLimit};

using Clock = std::chrono::steady_clock;

std::int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

// "SIGSEGV, Segmentation fault". Static texts only: signal handlers use it.
const char* signal_abbrev(int sig) {
  const char* abbrev = sigabbrev_np(sig);
  return abbrev ? abbrev : "?";
}
const char* signal_description(int sig) {
  const char* text = sigdescr_np(sig);
  return text ? text : "unknown signal";
}

}  // namespace

double kernel_time_limit() { return g_limit.load(); }

void set_kernel_time_limit(double seconds) { g_limit.store(std::max(0.0, seconds)); }

double read_time_limit(std::uintmax_t bytes) {
  return kernel_time_limit() * (kReadFloorShare + static_cast<double>(bytes) / kReadBytesPerLimit);
}

bool parse_kernel_time_limit(const std::string& text, double* seconds, std::string* error) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value) || value < 0) {
    *error = "--kernel-timeout " + text + ": give seconds, 0 or more (0: no limit)";
    return false;
  }
  *seconds = value;
  return true;
}

std::string seconds_text(double seconds) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3g s", seconds);
  return text;
}

// ---------------------------------------------------------------------------
// [SECTION] Child process

namespace {

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Exit statuses of a child that could not give its answer.
constexpr int kChildOrphaned = 120;  // the host was gone before the work began
constexpr int kChildThrew = 121;     // the work let an exception out
constexpr int kChildCannotWrite = 122;

bool write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

[[noreturn]] void child_main(int fd, pid_t parent, const std::function<std::string()>& work) {
  // A host killed from outside (a batch's timeout) must not leave a reader
  // running on without it.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(kChildOrphaned);
  // A fault ends the child as the signal it is, whatever handler the host or
  // a sanitizer installed; the host reads the signal from its status.
  sigset_t faults;
  sigemptyset(&faults);
  for (int sig : kFaultSignals) {
    ::signal(sig, SIG_DFL);
    sigaddset(&faults, sig);
  }
  ::pthread_sigmask(SIG_UNBLOCK, &faults, nullptr);
  std::string answer;
  try {
    answer = work();
  } catch (...) {
    ::_exit(kChildThrew);
  }
  // The answer's length goes first, so that a child cut off halfway is never
  // taken for one that had less to say.
  const std::uint64_t size = answer.size();
  if (!write_all(fd, reinterpret_cast<const char*>(&size), sizeof size) ||
      !write_all(fd, answer.data(), answer.size()))
    ::_exit(kChildCannotWrite);
  ::_exit(0);
}

// When a child must have ended, from when it was started.
class Deadline {
 public:
  explicit Deadline(double seconds)
      : at_(seconds > 0 ? now_ns() + static_cast<std::int64_t>(std::min(seconds, 1e9) * 1e9) : 0) {}
  // Milliseconds until the deadline, for poll(): -1 for none, 0 once it has
  // passed.
  int left_ms() const {
    if (at_ == 0) return -1;
    const std::int64_t left = at_ - now_ns();
    if (left <= 0) return 0;
    return static_cast<int>(std::min<std::int64_t>(left / 1000000 + 1, INT_MAX));
  }

 private:
  std::int64_t at_;  // on the steady clock, in nanoseconds; 0: no limit
};

// Reads what the child writes to `fd` into *data until it closes its end,
// as it does when it ends. true when the deadline passed first.
bool read_answer(int fd, const Deadline& deadline, std::string* data) {
  char buffer[1 << 16];
  for (;;) {
    const int wait = deadline.left_ms();
    if (wait == 0) return true;
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return false;
    if (ready == 0) continue;
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // the child closed its end: it is ending
    data->append(buffer, static_cast<std::size_t>(n));
  }
}

// Waits for the child `pid` to end and puts its wait status in *status. A
// child that ended its answer may still be ending: it is waited for through
// a descriptor that tells when it has (where the system has one), else
// looked at every millisecond. Once the deadline has passed (*timed_out, or
// set here) it is killed. false with why in *error when it was lost.
bool reap(pid_t pid, const Deadline& deadline, bool* timed_out, int* status, std::string* error) {
  const int process = process_fd(pid);
  for (;;) {
    if (*timed_out) ::kill(pid, SIGKILL);
    const pid_t got = ::waitpid(pid, status, *timed_out ? 0 : WNOHANG);
    if (got == pid) break;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *error = std::string("lost its process (") + std::strerror(errno) + ")";
      if (process >= 0) ::close(process);
      return false;
    }
    const int wait = deadline.left_ms();
    if (wait == 0) {
      *timed_out = true;
      continue;
    }
    if (process >= 0) {
      pollfd p{process, POLLIN, 0};
      ::poll(&p, 1, wait);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  if (process >= 0) ::close(process);
  return true;
}

// How a child that ended by itself ended, from its wait status, and its
// answer when it wrote all of it: the length first, then that many bytes.
void take_answer(int status, const std::string& data, ChildEnd* end, std::string* answer) {
  if (WIFSIGNALED(status)) {
    end->signal = WTERMSIG(status);
    return;
  }
  end->status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::uint64_t size = 0;
  if (end->status == 0 && data.size() >= sizeof size) {
    std::memcpy(&size, data.data(), sizeof size);
    if (size == data.size() - sizeof size) {
      end->answered = true;
      answer->assign(data, sizeof size, std::string::npos);
    }
  }
}

}  // namespace

ChildEnd run_in_child(const std::function<std::string()>& work, double seconds,
                      std::string* answer, const std::string& progress) {
  ChildEnd end;
  answer->clear();
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    end.error = std::string("cannot make a pipe (") + std::strerror(errno) + ")";
    return end;
  }
  const ChildrenWaitable waitable;
  flush_before_fork();
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    end.error = std::string("cannot start a process (") + std::strerror(errno) + ")";
    ::close(fds[0]);
    ::close(fds[1]);
    return end;
  }
  if (pid == 0) {
    ::close(fds[0]);
    child_main(fds[1], parent, work);
  }
  ::close(fds[1]);
  Progress stage(progress);
  const Deadline deadline(seconds);
  std::string data;
  end.timed_out = read_answer(fds[0], deadline, &data);
  ::close(fds[0]);
  int status = 0;
  if (!reap(pid, deadline, &end.timed_out, &status, &end.error) || end.timed_out) return end;
  take_answer(status, data, &end, answer);
  return end;
}

std::string describe_child_end(const ChildEnd& end, const std::string& what, double seconds) {
  if (!end.error.empty()) return "could not start " + what + ": " + end.error;
  if (end.timed_out)
    return "did not finish " + what + " within " + seconds_text(seconds) +
           " (--kernel-timeout S to wait longer)";
  if (end.signal != 0)
    return std::string("crashed ") + what + " (SIG" + signal_abbrev(end.signal) + ", " +
           signal_description(end.signal) + ")";
  return "ended " + what + " with status " + std::to_string(end.status) + " and no answer";
}

// ---------------------------------------------------------------------------
// [SECTION] Last words

namespace {

// What the signal handler and the watchdog need, kept where they can read it
// without allocating or locking.
std::atomic<int> g_depth{0};                     // kernel work in progress, nested
std::atomic<const char*> g_operation{nullptr};   // its name, when it has one
std::atomic<const char*> g_host_call{nullptr};   // the host call made last
std::atomic<std::uint64_t> g_generation{0};      // outermost pieces of work begun so far
std::atomic<int> g_exit_status{1};
char g_part[4096] = "";                          // set before any work, by one thread
std::atomic<bool> g_installed{false};

// Builds a line in a fixed buffer: no allocation, usable in a signal handler.
class Line {
 public:
  Line& operator<<(const char* text) {
    while (text != nullptr && *text != '\0' && size_ + 2 < sizeof text_) text_[size_++] = *text++;
    return *this;
  }
  // Room for the newline is always kept.
  [[noreturn]] void write_and_exit() {
    text_[size_++] = '\n';
    const char* p = text_;
    std::size_t left = size_;
    while (left > 0) {
      const ssize_t n = ::write(STDERR_FILENO, p, left);
      if (n <= 0 && errno == EINTR) continue;
      if (n <= 0) break;
      p += n;
      left -= static_cast<std::size_t>(n);
    }
    ::_exit(g_exit_status.load());
  }

 private:
  char text_[8192];
  std::size_t size_ = 0;
};

// Unnamed work is a host call's, which named itself on entry.
const char* current_operation() {
  const char* op = g_operation.load();
  if (op == nullptr) op = g_host_call.load();
  return op != nullptr ? op : "kernel work";
}

[[noreturn]] void last_words_fault(int sig) {
  static Line line;  // not on a stack that may have overflowed
  line << "ufhost: " << g_part << ": the geometry kernel crashed (SIG" << signal_abbrev(sig) << ", "
       << signal_description(sig) << ") in " << current_operation() << "; the run is stopped";
  line.write_and_exit();
}

[[noreturn]] void last_words_timeout(double limit) {
  Line line;
  line << "ufhost: " << g_part << ": the geometry kernel did not finish " << current_operation()
       << " within " << seconds_text(limit).c_str()
       << "; the run is stopped (--kernel-timeout S to wait longer)";
  line.write_and_exit();
}

// ---------------------------------------------------------------------------
// [SECTION] Fault signals

struct sigaction g_previous[NSIG];

// The kernel's Jump() takes a reference to the failure it jumps with for
// the call that never returns, so the stack it leaves holds that reference
// for good and the failure would never be freed. That one reference is
// given back at the thread's next fault, when the jump is long over, or
// when the thread ends.
class LeftByJump {
 public:
  LeftByJump() = default;
  ~LeftByJump() { release(); }
  LeftByJump(const LeftByJump&) = delete;
  LeftByJump& operator=(const LeftByJump&) = delete;

  // `failure` is about to jump, held by no handle of ours.
  void take(Standard_Failure* failure) {
    release();
    failure_ = failure;
  }

 private:
  void release() {
    if (failure_ != nullptr && failure_->DecrementRefCounter() == 0) failure_->Delete();
    failure_ = nullptr;
  }
  Standard_Failure* failure_ = nullptr;
};
thread_local LeftByJump t_left_by_jump;

// The kernel's own conversion, as its signal handler does it: the signal is
// unblocked and becomes an exception object that jumps to the nearest
// OCC_CATCH_SIGNALS, which throws it there. The object is held by no handle
// here, whose reference the jump would strand as well.
[[noreturn]] void jump_to_kernel_handler(int sig, const siginfo_t* info) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  Standard_Failure* failure = nullptr;
  switch (sig) {
    case SIGSEGV: {
      char text[96];
      std::snprintf(text, sizeof text, "SIGSEGV 'segmentation violation' detected. Address %p",
                    info != nullptr ? info->si_addr : nullptr);
      failure = new OSD_SIGSEGV(text);
      break;
    }
    case SIGBUS:
      failure = new OSD_SIGBUS("SIGBUS 'bus error' detected.");
      break;
    case SIGILL:
      failure = new OSD_SIGILL("SIGILL 'illegal instruction' detected.");
      break;
    default:
      failure = new OSD_Signal("SIGFPE 'arithmetic exception' detected.");
      break;
  }
  t_left_by_jump.take(failure);
  failure->Jump();
  // Jump() does not come back when a handler is found; it ends the process
  // when none is. Either way we are not here.
  last_words_fault(sig);
}

void on_fault(int sig, siginfo_t* info, void* /*context*/) {
  const int saved_errno = errno;
  if (g_depth.load() > 0) {
    // An abort is the C library giving up (a corrupt heap, say): nothing to
    // hand back from there.
    if (sig != SIGABRT && Standard_ErrorHandler::IsInTryBlock()) jump_to_kernel_handler(sig, info);
    last_words_fault(sig);
  }
  // Not the kernel's: put the old handling back. A fault the instruction
  // caused happens again on return and meets it; a signal that was sent is
  // sent again.
  ::sigaction(sig, &g_previous[sig], nullptr);
  if (info == nullptr || info->si_code <= 0) ::raise(sig);
  errno = saved_errno;
}

// A handler needs a stack of its own to run after a stack overflow.
void ensure_signal_stack() {
  stack_t current{};
  if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) return;
  static char memory[1 << 18];
  stack_t ours{};
  ours.ss_sp = memory;
  ours.ss_size = sizeof memory;
  ::sigaltstack(&ours, nullptr);
}

// ---------------------------------------------------------------------------
// [SECTION] Watchdog

// Times the outermost work from when it first sees it, at most a tick after
// it began, so that work, which may be a host call made thousands of times
// a second, costs no clock reading.
void watch() {
  std::uint64_t seen = 0;  // the work being timed, by its number
  std::int64_t since = 0;
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const double limit = kernel_time_limit();
    const std::uint64_t generation = g_generation.load();
    if (limit <= 0 || g_depth.load() == 0) {
      seen = 0;
      continue;
    }
    if (generation != seen) {
      seen = generation;
      since = now_ns();
      continue;
    }
    if (static_cast<double>(now_ns() - since) > limit * 1e9 && g_depth.load() > 0 &&
        g_generation.load() == seen)
      last_words_timeout(limit);
  }
}

}  // namespace

void contain_kernel_faults(const std::string& part, int exit_status) {
  std::snprintf(g_part, sizeof g_part, "%s", part.c_str());
  g_exit_status.store(exit_status);
  if (g_installed.exchange(true)) return;
  ensure_signal_stack();
  struct sigaction action {};
  action.sa_sigaction = on_fault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int sig : kFaultSignals) ::sigaction(sig, &action, &g_previous[sig]);
}

KernelWork::KernelWork(const char* operation) : outer_(g_operation.load()) {
  if (g_depth.fetch_add(1) == 0) {
    g_generation.fetch_add(1);
    // The watchdog starts with the first work, not before: the part file is
    // read before that, in a child made by fork(), which must not catch a
    // thread halfway through starting (a sanitizer's allocator has locks
    // fork() does not take for it).
    static std::atomic<bool> watching{false};
    if (g_installed.load() && !watching.exchange(true)) std::thread(watch).detach();
  }
  g_operation.store(operation);
}

KernelWork::~KernelWork() {
  g_operation.store(outer_);
  g_depth.fetch_sub(1);
}

void note_host_call(const char* operation) { g_host_call.store(operation); }

namespace {
const std::string* g_crash_in = nullptr;  // the session's test double, or null
}  // namespace

void watch_crash_double(const std::string* crash_in) { g_crash_in = crash_in; }

void crash_if_asked(const char* name) {
  if (g_crash_in != nullptr && !g_crash_in->empty() && *g_crash_in == name) ::raise(SIGSEGV);
}

const char* contained_part() { return g_part; }

bool is_fault_signal(const Standard_Failure& failure) {
  return failure.IsKind(STANDARD_TYPE(OSD_Signal));
}

bool without_kernel_failure(const std::function<void()>& work, const std::string& doing,
                            std::string* failure) {
  try {
    work();
    return true;
  } catch (const Standard_Failure& e) {
    *failure = kernel_failure_text(e, doing);
    return false;
  }
}

std::string kernel_failure_text(const Standard_Failure& failure, const std::string& doing) {
  const char* what = failure.GetMessageString();
  return std::string("the geometry kernel ") + (is_fault_signal(failure) ? "crashed " : "failed ") +
         doing + " (" + (what != nullptr && *what != '\0' ? what : "no reason given") + ")";
}

}  // namespace ufhost
