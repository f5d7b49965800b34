// One run of the stand-in host: the open part, the user interface it was
// handed, the failures to inject and the logs. The host's C interface
// (libufun, libufui, the platform layer) works on the one session that
// session() returns.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ufhost/core/model.h"
#include "ufhost/core/user_interface.h"

namespace ufhost {

// Failure codes of the host. Each has a text (failure_text).
constexpr int kErrNotInitialized = 1001;   // "The interface has not been initialized"
constexpr int kErrBadTag = 1002;           // "The tag does not name an object of the part"
constexpr int kErrBadArgument = 1003;      // "An argument is missing or out of range"
constexpr int kErrWrongType = 1004;        // "The object is not of a type this operation takes"
constexpr int kErrGeometry = 1005;         // "The geometry kernel could not complete the operation"
constexpr int kErrNoUndoMark = 1006;       // "There is no such undo mark"
constexpr int kErrListingWindow = 1007;    // "The listing window cannot be opened"
constexpr int kErrInternal = 1008;         // "Internal error of the host"
constexpr int kErrRefused = 1009;          // "The operation was refused" (default of --fail)

// nullptr for codes the host has no text for.
const char* failure_text(int code);

// A request to fail calls of one operation: the nth call (counted from 1; 0
// means every call) returns code.
struct FailRule {
  std::string operation;
  int code = kErrRefused;
  int nth = 0;
};
// Parses "OPERATION[=CODE][@N]"; false with a message on bad syntax.
bool parse_fail_rule(const std::string& text, FailRule* rule, std::string* error);

class Session {
 public:
  Model model;
  // The front end that answers the plug-in's requests, handed to the
  // session by whoever runs the host. Until then the C entry points cancel
  // every request, as answers that have run out do.
  std::unique_ptr<UserInterface> ui;

  bool initialized = false;  // between UF_initialize and UF_terminate
  std::vector<FailRule> fail_rules;
  // Calls so far, per operation name; counted by fail_point.
  std::map<std::string, int, std::less<>> calls;

  // Returns the code the operation must fail with on this call, or 0. Every
  // C entry point calls it first with its own name.
  int fail_point(const char* operation);

  // The system log: appended to this file (when set) and to the transcript.
  std::string syslog_path;
  void write_syslog(const std::string& text);  // text as the plug-in gave it (code page 1251)
  // Also told of every system-log write (the transcript listens here).
  std::function<void(const std::string& text)> syslog_hook;

  // Events worth a transcript line that are not requests: "call" with
  // "UF_initialize" / "UF_terminate", "plugin" with "load" / "unload".
  std::function<void(const std::string& kind, const std::string& text)> event_hook;
  void event(const std::string& kind, const std::string& text) {
    if (event_hook) event_hook(kind, text);
  }

  // Counters for benchmarks and tests.
  struct Stats {
    long probes = 0;            // section requests
    long probes_by_box = 0;     // answered from the body's box, no boolean run
    long booleans = 0;          // boolean sections run
  } stats;
};

Session& session();
// A fresh session (empty part, no front end, no failure rules, no test
// doubles); tests call it in SetUp.
void reset_session();

}  // namespace ufhost
