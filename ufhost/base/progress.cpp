#include "ufhost/base/progress.h"

#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ufhost {

using Clock = std::chrono::steady_clock;

struct ProgressStage {
  std::string what;
  long total = 0;
  std::atomic<long> done{0};
  Clock::time_point start;
  bool host_calls = false;  // the plug-in's activity: shows the kinds of calls
};

namespace {

struct State {
  std::mutex mutex;
  std::condition_variable wake;
  ProgressSettings settings;
  std::atomic<bool> resolved{false};  // on and terminal worked out from settings
  std::atomic<bool> on{false};
  bool terminal = false;

  std::vector<ProgressStage*> stages;  // outermost first
  std::thread ticker;
  bool ticking = false;     // the ticker has started and waits under the lock
  bool stopping = false;
  bool drawn = false;       // a line stands on the terminal now
  bool printed = false;     // a whole line was printed off a terminal for this run
  Clock::time_point last_print;

  std::unique_ptr<Progress> activity;
  std::atomic<long> facet_calls{0}, section_calls{0}, turn_calls{0};
};

// Never destroyed: a reporter may still be active when the process exits, and
// a joinable thread must not be destroyed.
State* g_state = nullptr;

// fork() copies only the thread that calls it. The line's thread is kept out
// of its lock while a fork happens (it draws only with the lock held), and
// the child, which has no such thread, starts with progress of its own as a
// new program would: the parent's stages, settings and thread are not its.
// The old state is left as it is, never destroyed.
void before_fork() { g_state->mutex.lock(); }
void after_fork_in_parent() { g_state->mutex.unlock(); }
void after_fork_in_child() { g_state = new State; }

State& state() {
  static const bool made = [] {
    g_state = new State;
    ::pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child);
    return true;
  }();
  (void)made;
  return *g_state;
}

void resolve_locked(State& s) {
  if (s.resolved) return;
  const bool tty = s.settings.out != nullptr && isatty(fileno(s.settings.out));
  bool on = false;
  switch (s.settings.mode) {
    case ProgressMode::Auto: on = tty; break;
    case ProgressMode::Always: on = s.settings.out != nullptr; break;
    case ProgressMode::Never: on = false; break;
  }
  s.on = on;
  s.terminal = s.settings.terminal < 0 ? tty : s.settings.terminal != 0;
  s.resolved = true;
}

bool progress_on() {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  resolve_locked(s);
  return s.on;
}

std::string describe(const State& s, const ProgressStage& stage) {
  std::string text = stage.what;
  const long done = stage.done;
  if (stage.host_calls) {
    text += ": " + std::to_string(done) + " host calls";
    std::string kinds;
    auto add = [&kinds](const char* name, long n) {
      if (n == 0) return;
      kinds += (kinds.empty() ? "" : ", ") + std::string(name) + " " + std::to_string(n);
    };
    add("facet walk", s.facet_calls);
    add("sections", s.section_calls);
    add("turns", s.turn_calls);
    if (!kinds.empty()) text += " (" + kinds + ")";
  } else if (stage.total > 0) {
    text += " " + std::to_string(done) + "/" + std::to_string(stage.total);
  } else if (done > 0) {
    text += " " + std::to_string(done);
  }
  return text;
}

std::string line_locked(const State& s, Clock::time_point now) {
  if (s.stages.empty()) return "";
  std::string text;
  for (const ProgressStage* stage : s.stages) text += (text.empty() ? "" : " · ") + describe(s, *stage);
  const double elapsed = std::chrono::duration<double>(now - s.stages.front()->start).count();
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, " · %.1f s", elapsed);
  return text + seconds;
}

void write_out(const State& s, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), s.settings.out);
  std::fflush(s.settings.out);
}

std::size_t terminal_width(const State& s) {
  winsize size{};
  if (ioctl(fileno(s.settings.out), TIOCGWINSZ, &size) == 0 && size.ws_col > 10) return size.ws_col;
  return 100;
}

// Keeps a redrawn line on one terminal row: a wrapped line cannot be
// overwritten with a carriage return. Cuts on a UTF-8 character boundary.
std::string fit(std::string text, std::size_t columns) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (++chars == columns) return text.substr(0, i);
  }
  return text;
}

void draw_locked(State& s, Clock::time_point now) {
  if (s.stages.empty()) return;
  const double elapsed = std::chrono::duration<double>(now - s.stages.front()->start).count();
  if (elapsed < s.settings.delay) return;
  const std::string text = line_locked(s, now);
  if (s.terminal) {
    write_out(s, "\r" + fit(text, terminal_width(s) - 1) + "\x1b[K");
    s.drawn = true;
  } else if (!s.printed ||
             std::chrono::duration<double>(now - s.last_print).count() >= 10 * s.settings.interval) {
    write_out(s, text + "\n");
    s.printed = true;
    s.last_print = now;
  }
}

void tick(State* s) {
  std::unique_lock<std::mutex> lock(s->mutex);
  s->ticking = true;
  s->wake.notify_all();
  const auto interval = std::chrono::duration<double>(s->settings.interval);
  while (!s->stopping) {
    s->wake.wait_for(lock, std::chrono::duration_cast<Clock::duration>(interval));
    if (!s->stopping) draw_locked(*s, Clock::now());
  }
}

bool is_user_request(const char* operation) {
  auto starts = [operation](const char* prefix) {
    return std::strncmp(operation, prefix, std::strlen(prefix)) == 0;
  };
  return starts("uc") || starts("UF_UI_") || starts("MessageBox") || starts("UF_terminate") ||
         std::strstr(operation, "ialog") != nullptr || std::strstr(operation, "log_path") != nullptr;
}

}  // namespace

void set_progress_settings(const ProgressSettings& settings) {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.settings = settings;
  s.resolved = false;
  resolve_locked(s);
}

ProgressSettings progress_settings() {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.settings;
}

void set_progress_mode(ProgressMode mode) {
  ProgressSettings settings = progress_settings();
  settings.mode = mode;
  set_progress_settings(settings);
}

Progress::Progress(std::string what, long total) {
  State& s = state();
  if (!progress_on()) return;
  stage_ = new ProgressStage;
  stage_->what = std::move(what);
  stage_->total = total;
  stage_->start = Clock::now();
  std::unique_lock<std::mutex> lock(s.mutex);
  s.stages.push_back(stage_);
  if (s.stages.size() == 1) {
    s.stopping = false;
    s.drawn = false;
    s.printed = false;
    s.ticking = false;
    s.ticker = std::thread(tick, &s);
    // Returns only once the ticker waits under the lock: a thread that is
    // still starting allocates outside it, and a fork made then (a batch
    // forks its first job right after this) could copy an allocator's lock
    // taken by a thread the child does not have. glibc's allocator guards
    // its own locks across fork; the sanitizers' does not, and its child
    // hung there.
    s.wake.wait(lock, [&s] { return s.ticking; });
  }
}

Progress::~Progress() {
  if (stage_ == nullptr) return;
  State& s = state();
  std::thread ticker;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.stages.erase(std::remove(s.stages.begin(), s.stages.end(), stage_), s.stages.end());
    if (s.stages.empty()) {
      const auto now = Clock::now();
      if (s.drawn) write_out(s, "\r\x1b[K");
      if (s.printed) {
        // Off a terminal the last line says how the work ended.
        s.stages.push_back(stage_);
        write_out(s, line_locked(s, now) + " · done\n");
        s.stages.clear();
      }
      s.drawn = s.printed = false;
      s.stopping = true;
      ticker = std::move(s.ticker);
    }
  }
  s.wake.notify_all();
  if (ticker.joinable()) ticker.join();
  delete stage_;
}

void Progress::step(long n) {
  if (stage_ != nullptr) stage_->done += n;
}

void Progress::set(long done) {
  if (stage_ != nullptr) stage_->done = done;
}

void progress_host_call(const char* operation) {
  State& s = state();
  if (!s.resolved) progress_on();
  if (!s.on || operation == nullptr) return;
  if (is_user_request(operation)) {
    s.activity.reset();
    s.facet_calls = s.section_calls = s.turn_calls = 0;
    return;
  }
  if (!s.activity) {
    s.activity = std::make_unique<Progress>("plug-in at work");
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.stages.empty()) s.stages.back()->host_calls = true;
  }
  s.activity->step();
  if (std::strncmp(operation, "UF_FACET", 8) == 0) ++s.facet_calls;
  else if (std::strncmp(operation, "UF_CURVE_section", 16) == 0) ++s.section_calls;
  else if (std::strcmp(operation, "uf5947_") == 0) ++s.turn_calls;
}

std::string progress_line() {
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  return line_locked(s, Clock::now());
}

}  // namespace ufhost
