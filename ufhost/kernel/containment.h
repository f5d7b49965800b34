// Faults of the geometry kernel kept from taking the host down unannounced.
//
// The kernel trusts what it reads: a damaged part file can make it crash
// (null handles deep in its readers) or loop for ever. Three defences:
//
// - Part files are read in a child process (run_in_child) that hands the
//   result back through a pipe; a crash or a run-on there ends the child, and
//   the host says that the file cannot be read.
// - During a run, every piece of kernel work is marked (KernelWork). A fault
//   signal inside it becomes the kernel's own exception (an OSD_Signal) at the
//   nearest OCC_CATCH_SIGNALS, so that a host call fails with an error code.
//   Where no such handler is active, or when the work does not end in time,
//   the host ends with one line naming the operation and the part.
// - Faults outside kernel work (in the plug-in, say) are left to whatever
//   handled them before, so they still show as the crash they are.
#pragma once

// The kernel's signal conversion (OCC_CATCH_SIGNALS) is empty unless this is
// defined, as it was when the kernel itself was built; CMakeLists.txt
// defines it for every source that includes the kernel.
#if !defined(OCC_CONVERT_SIGNALS)
#error "OCC_CONVERT_SIGNALS must be defined where the host catches kernel faults"
#endif

#include <Standard_ErrorHandler.hxx>
#include <Standard_Failure.hxx>
#include <signal.h>

#include <cstdint>
#include <functional>
#include <string>

namespace ufhost {

// ---------------------------------------------------------------------------
// Time limit

// Seconds one piece of kernel work may take before the host gives up on it:
// one host call, writing a saved part, a page or a report. 0: no limit.
constexpr double kDefaultKernelTimeLimit = 60.0;
double kernel_time_limit();
void set_kernel_time_limit(double seconds);

// Reading a part file gets a twelfth of that limit, plus the limit for every
// 10 MB of the file: by default 5 s and 6 s a MB. On two cores busy with
// builds, every good read of the test parts (up to 1.3 MB) took 0.03 to
// 0.4 s, and the kernel's readers got through 3 to 7.5 MB a second on files
// of 2 to 9 MB (docs/ufhost.md has the figures): the floor is twelve times
// the slowest small read and the slope eighteen times the slowest rate. A
// damaged small file that keeps the reader going is refused in seconds, and
// a large good one is not cut off.
constexpr double kReadFloorShare = 1.0 / 12.0;
constexpr double kReadBytesPerLimit = 10e6;
// The limit for reading a file of `bytes` bytes; 0 when there is no limit.
double read_time_limit(std::uintmax_t bytes);
// Parses the value of --kernel-timeout: seconds, 0 or more. false with a
// message on anything else.
bool parse_kernel_time_limit(const std::string& text, double* seconds, std::string* error);
// "60 s", "2.5 s": a limit as messages give it.
std::string seconds_text(double seconds);

// ---------------------------------------------------------------------------
// Child process

// How a child process ended.
struct ChildEnd {
  bool answered = false;  // it handed back its whole answer
  int signal = 0;         // the signal that ended it, or 0
  bool timed_out = false; // it ran out of time and was killed
  int status = 0;         // its exit status when it ended by itself unanswered
  std::string error;      // it could not be started: why
};

// Runs `work` in a child process made by fork(), which shares nothing with
// the host after that: whatever the kernel does there cannot reach the host.
// The child hands back the string `work` returns, in *answer. A fault signal
// ends the child (no handler of the host's applies there), and the child is
// killed when it runs longer than `seconds` (0: no limit) or when the host
// dies. While it waits, `progress` is a stage of the progress line; the
// stage, and the thread that draws it, begin after the fork. Only the
// calling thread lives on in the child, so `work` must not need another
// thread or a lock another thread may hold.
ChildEnd run_in_child(const std::function<std::string()>& work, double seconds,
                      std::string* answer, const std::string& progress);

// What the end of a child that gave no answer says, as a phrase about the
// kernel doing `what`: "crashed reading it (SIGSEGV, segmentation fault)",
// "did not finish reading it within 61 s (--kernel-timeout S to wait longer)".
std::string describe_child_end(const ChildEnd& end, const std::string& what, double seconds);

// ---------------------------------------------------------------------------
// Faults during a run

// Installs the host's handlers of fault signals (SIGSEGV, SIGBUS, SIGFPE,
// SIGILL, SIGABRT) and the watchdog of kernel work, once; every call sets
// `part` (named in the host's last words) and `exit_status` (what the host
// ends with when a fault cannot be handed back or the work runs too long).
void contain_kernel_faults(const std::string& part, int exit_status);

// Marks kernel work for as long as it lives: a fault inside it is the
// kernel's, and the watchdog ends the host when the outermost work runs
// longer than kernel_time_limit(). `operation` names it in the last words
// and must outlive it (a literal); work without a name is the host call
// made last (note_host_call).
class KernelWork {
 public:
  explicit KernelWork(const char* operation = nullptr);
  ~KernelWork();
  KernelWork(const KernelWork&) = delete;
  KernelWork& operator=(const KernelWork&) = delete;

 private:
  const char* outer_;
};

// A test double: raises SIGSEGV when `name` is the piece of kernel work a
// test wants to crash, as `*crash_in` names it (the session's test doubles
// keep it; the session points here at its own). Null or "": none.
void watch_crash_double(const std::string* crash_in);
void crash_if_asked(const char* name);

// The part named by contain_kernel_faults, "" before: for messages.
const char* contained_part();

// Runs `work` as a named piece of kernel work with a signal guard of its
// own, and returns what it returns: a fault inside comes out of here as the
// kernel's exception (a Standard_Failure for which is_fault_signal holds),
// any other failure of the kernel as it was thrown, and a run-on is ended
// by the watchdog. `name` must outlive the work (a literal). Callers catch
// Standard_Failure and say what was lost.
//
// The mark is set before the guard: a fault jumps back to the guard, past
// every destructor in between, and the mark must still end.
template <class Work>
auto kernel_work(const char* name, Work&& work) -> decltype(work()) {
  KernelWork mark(name);
  OCC_CATCH_SIGNALS
  crash_if_asked(name);
  return work();
}

// Runs `work`, whose kernel work marks itself, and catches the kernel's
// failure (a crash turned into one among them): true, or false with
// *failure saying what the kernel did `doing` it, as kernel_failure_text
// words it. For callers that include none of the kernel's headers.
bool without_kernel_failure(const std::function<void()>& work, const std::string& doing,
                            std::string* failure);

// Every host call names itself on entry, before its kernel work begins.
// `operation` must outlive the call (a literal).
void note_host_call(const char* operation);

// Whether `failure` is a fault signal that the kernel's conversion turned
// into an exception.
bool is_fault_signal(const Standard_Failure& failure);

// What a failure of the kernel doing `doing` says, as a phrase: "the
// geometry kernel crashed tessellating a body (SIGSEGV ...)", "the geometry
// kernel failed measuring the bodies' boxes (its message)".
std::string kernel_failure_text(const Standard_Failure& failure, const std::string& doing);

}  // namespace ufhost
