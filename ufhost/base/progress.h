// A live progress line on standard error for host work that takes a while:
// what is being done, counts, elapsed time. It appears only once the work has
// run for about half a second, only when standard error is a terminal (unless
// the user asked for it with --progress), and never on standard output, in
// the transcript or in a batch table.
//
//   ufhost::Progress progress("faceting", bodies);
//   for (...) { ...; progress.step(); }
//
// Reporters nest: the line shows every active one, outermost first. A
// background thread redraws the line, so one long kernel call (reading a
// large file) still shows its elapsed time. When progress is off a reporter
// costs one atomic read.
#pragma once

#include <cstdio>
#include <string>

namespace ufhost {

struct ProgressStage;

enum class ProgressMode {
  Auto,    // shown when standard error is a terminal
  Always,  // --progress: shown on any standard error (lines, not redraws, off a terminal)
  Never,
};

struct ProgressSettings {
  ProgressMode mode = ProgressMode::Auto;
  std::FILE* out = stderr;  // not owned
  int terminal = -1;        // 1 redraw in place, 0 whole lines, -1 ask isatty(out)
  double delay = 0.5;       // seconds of work before the line appears
  double interval = 0.1;    // seconds between redraws on a terminal (10x that off one)
};

// Replaces the settings; reporters made afterwards follow them. Not for use
// while a reporter is active.
void set_progress_settings(const ProgressSettings& settings);
ProgressSettings progress_settings();
// Shorthand for changing the mode alone.
void set_progress_mode(ProgressMode mode);

class Progress {
 public:
  // what: a few words ("reading bracket.step"); total: the count expected,
  // 0 when unknown (the line then shows the count alone, or no count at all
  // while it is 0).
  explicit Progress(std::string what, long total = 0);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void step(long n = 1);
  void set(long done);

 private:
  ProgressStage* stage_ = nullptr;  // null when progress is off
};

// Counts host calls made while the plug-in works between two user requests, so
// that its own computing (which calls nothing) still shows as time passing,
// with the host calls it made. `operation` is the entry point's name; a
// user-interface request (a menu, dialog, selection, message or save) or
// UF_terminate ends the count and clears the line before anything is shown.
void progress_host_call(const char* operation);

// The text the line would show now, for tests ("" when nothing is active).
std::string progress_line();

}  // namespace ufhost
