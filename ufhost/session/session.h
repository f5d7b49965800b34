// One run of the stand-in host: the open part, the user interface it was
// handed, the failures to inject, the logs, and everything the host keeps
// from one call to the next within the run. The host's C interface
// (libufun, libufui, the platform layer) works on the one session that
// session() returns; reset_session() starts a new one with nothing kept.
//
// What is not here is process state on purpose: the containment of kernel
// faults (containment.h), which a signal handler reads and which must not
// allocate, and the kernel time limit, set once from the command line.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ufhost/geom/sections.h"
#include "ufhost/model/object_geometry.h"
#include "ufhost/model/model.h"
#include "ufhost/session/test_control.h"
#include "ufhost/session/user_interface.h"

namespace ufhost {

// Failure codes of the host. Each has a text (failure_text).
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

// Reports a failure that the edge of the C libraries caught in the C entry
// point `operation` and returns `code`, which the call fails with: one line
// on standard error naming the part, the call and what happened, so that a
// crash (`fault`) is not taken for an ordinary refusal. Only the first
// failure of each operation in a session is told; a body the kernel cannot
// probe would otherwise fill the screen.
int caught_failure(const char* operation, int code, const char* what, bool fault);

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

  // The tags the last selection handed out: the plug-in may hold the array's
  // address until the next selection.
  std::vector<Tag> selection;
  // Menus failed in a row (uc1603): after many the menu is cancelled, so
  // that a plug-in showing a failing menu again and again ends.
  int failed_menus = 0;
  // Operations whose caught failure has been reported on standard error;
  // later ones of the same operation are only counted in `calls`.
  std::set<std::string, std::less<>> reported_failures;

  // The kernel's precise boxes of the shapes asked about last.
  BoxCache boxes;

  // What section probes remember of bodies, and their counts.
  SectionMemory sections;

  // The test doubles (test_control.h); all off in a new session.
  TestControl doubles;
};

Session& session();
// A fresh session (empty part, no front end, no failure rules, no test
// doubles, nothing remembered); tests call it in SetUp.
void reset_session();

}  // namespace ufhost
