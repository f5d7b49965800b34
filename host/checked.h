// Checked calls: a host call whose failure the user must hear about.
//
// CHECKED(call) hands the call's status, its own source text, the name of the
// source file and the line to checked_call, which reports a failure the host
// has a text for and returns the status unchanged. The caller decides what a
// failure means; most carry on.
#pragma once

// Returns `status`. When it is non-zero and the host has a failure text for
// it, writes the three-line error report to the system log and, if the
// listing window opens, to the listing window as well.
int checked_call(int status, const char* call_text, const char* file, int line);

// Writes the report for `code` unconditionally (nothing when code is 0) and
// returns it. Normally reached through checked_call.
int error_report(const char* file, int line, const char* call_text, int code);

// Each source file that makes checked calls defines kSourceName with
// UF_SOURCE_NAME("Bare"). The release build reports the bare name; the debug
// build reports the file's full lower-case path, which the build passes in as
// UF_SOURCE_PATH.
#if defined(ZARVEL_DEBUG) && defined(UF_SOURCE_PATH)
#define UF_SOURCE_NAME(bare) UF_SOURCE_PATH
#else
#define UF_SOURCE_NAME(bare) bare
#endif

// clang-format off
#define CHECKED(call) checked_call((call), #call, kSourceName, __LINE__)
// clang-format on
