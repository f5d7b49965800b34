#include "host/checked.h"

#include <cstdio>

#include "host/uf.h"

namespace {

// Sizes of the report's buffers, terminator included. The host's texts and
// our file names fit; anything longer is cut, never written past the end.
constexpr int kMessageSize = 255;
constexpr int kReportSize = 133;

void write_both(const char* pieces[], int count) {
  for (int i = 0; i < count; ++i) UF_print_syslog(pieces[i], 0);
  if (UF_UI_open_listing_window() != 0) return;  // the system log has it
  for (int i = 0; i < count; ++i) UF_UI_write_listing_window(pieces[i]);
}

}  // namespace

int error_report(const char* file, int line, const char* call_text, int code) {
  if (code == 0) return 0;
  char msg[kReportSize];
  char err[kReportSize] = "";
  std::snprintf(msg, sizeof msg, "*** ERROR code %d at line %d in %s:\n+++", code, line, file);
  // A buffer of kMessageSize holds any text the host gives; err takes its
  // first kReportSize - 1 bytes.
  char text[kMessageSize] = "";
  UF_get_fail_message(code, text);
  std::snprintf(err, sizeof err, "%s", text);
  const char* pieces[] = {msg, err, "\n", call_text, ";\n"};
  write_both(pieces, 5);
  return code;
}

int checked_call(int status, const char* call_text, const char* file, int line) {
  if (status == 0) return 0;
  char message[kMessageSize] = "";
  if (UF_get_fail_message(status, message) != 0) return status;  // no text: not reported
  return error_report(file, line, call_text, status);
}
