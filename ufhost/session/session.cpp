#include "ufhost/session/session.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string_view>
#include <fstream>

#include "ufhost/kernel/containment.h"
#include "ufhost/base/cp1251.h"
#include "ufhost/base/progress.h"

namespace ufhost {

const char* failure_text(int code) {
  switch (code) {
    case kErrBadTag: return "The tag does not name an object of the part";
    case kErrBadArgument: return "An argument is missing or out of range";
    case kErrWrongType: return "The object is not of a type this operation takes";
    case kErrGeometry: return "The geometry kernel could not complete the operation";
    case kErrNoUndoMark: return "There is no such undo mark";
    case kErrListingWindow: return "The listing window cannot be opened";
    case kErrInternal: return "Internal error of the host";
    case kErrRefused: return "The operation was refused";
  }
  return nullptr;
}

static bool parse_int(const std::string& text, int* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || v < -2147483647L || v > 2147483647L) return false;
  *value = static_cast<int>(v);
  return true;
}

bool parse_fail_rule(const std::string& text, FailRule* rule, std::string* error) {
  FailRule r;
  std::string rest = text;
  const auto at = rest.find('@');
  if (at != std::string::npos) {
    if (!parse_int(rest.substr(at + 1), &r.nth) || r.nth < 1) {
      *error = "--fail " + text + ": the call number after @ must be a whole number from 1";
      return false;
    }
    rest.erase(at);
  }
  const auto eq = rest.find('=');
  if (eq != std::string::npos) {
    if (!parse_int(rest.substr(eq + 1), &r.code) || r.code == 0) {
      *error = "--fail " + text + ": the code after = must be a non-zero whole number";
      return false;
    }
    rest.erase(eq);
  }
  if (rest.empty()) {
    *error = "--fail " + text + ": name the operation, e.g. --fail UF_initialize";
    return false;
  }
  r.operation = rest;
  *rule = r;
  return true;
}

int Session::fail_point(const char* operation) {
  progress_host_call(operation);
  note_host_call(operation);  // names the call's kernel work, should it crash
  // Found by the name as given: the plug-in's facet walk and probes make many
  // calls, and making a string of the name for each was a third of the time
  // of measuring a mesh.
  auto counted = calls.find(std::string_view(operation));
  if (counted == calls.end()) counted = calls.emplace(operation, 0).first;
  const int n = ++counted->second;
  for (const FailRule& rule : fail_rules)
    if (rule.operation == operation && (rule.nth == 0 || rule.nth == n)) return rule.code;
  return 0;
}

void Session::write_syslog(const std::string& text) {
  if (!syslog_path.empty()) {
    std::ofstream out(syslog_path, std::ios::binary | std::ios::app);
    out << cp1251_to_utf8(text);
  }
  if (syslog_hook) syslog_hook(text);
}

// Destroyed with the other static objects when the process ends, so that
// what the session holds (the part, the boxes it keeps of recent shapes,
// the front end) is given back then rather than left to the end of the
// process: a leak checker then sees only what really leaked. The kernel's
// shapes in particular cannot be left: its arrays point one element before
// their storage, so a checker takes those a live shape holds for lost.
static std::unique_ptr<Session>& current() {
  static std::unique_ptr<Session> s;
  return s;
}

Session& session() {
  if (!current()) reset_session();
  return *current();
}

// The new session is in place while the old one goes, so that anything the
// old one's destruction asks of the session finds the new one.
void reset_session() {
  current().reset(new Session());
  watch_crash_double(&current()->doubles.crash_in);
}

TestControl& test_control() { return session().doubles; }

int caught_failure(const char* operation, int code, const char* what, bool fault) {
  if (!session().reported_failures.insert(operation).second) return code;
  std::fflush(stdout);
  std::cerr << "ufhost: warning: ";
  if (*contained_part() != '\0') std::cerr << contained_part() << ": ";
  if (fault) {
    std::cerr << "the geometry kernel crashed in " << operation;
  } else if (code == kErrGeometry) {
    std::cerr << "the geometry kernel failed in " << operation;
  } else {
    std::cerr << "the host failed in " << operation;
  }
  std::cerr << " (" << (what != nullptr && *what != '\0' ? what : "no reason given")
            << "); the call fails with " << code << std::endl;
  return code;
}

}  // namespace ufhost
