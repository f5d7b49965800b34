#include "ufhost/app/run/run.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <set>

#include "ufhost/app/run/list.h"
#include "ufhost/app/run/plugin.h"
#include "ufhost/app/run/view.h"
#include "ufhost/kernel/containment.h"
#include "ufhost/base/cp1251.h"
#include "ufhost/base/files.h"
#include "ufhost/base/progress.h"
#include "ufhost/parts/part_io.h"
#include "ufhost/session/session.h"
#include "ufhost/session/transcript.h"
#include "ufhost/ui/answers.h"
#include "ufhost/ui/ui.h"

namespace fs = std::filesystem;

namespace ufhost::app {

namespace {

int fail(int status, const std::string& message) {
  std::fflush(stdout);
  std::cerr << "ufhost: " << message << std::endl;
  return status;
}

// The folder a file would be written into must exist.
bool folder_exists_for(const std::string& file) {
  std::error_code ec;
  const fs::path parent = fs::absolute(file, ec).parent_path();
  return fs::is_directory(parent, ec);
}

nlohmann::json summary_entry(const Model& model, const std::vector<Tag>& before,
                             const UserInterface& ui) {
  const std::vector<Tag> after = model.tags();
  const std::set<Tag> had(before.begin(), before.end());
  const std::set<Tag> has(after.begin(), after.end());
  nlohmann::json created = nlohmann::json::array();
  for (Tag tag : after) {
    if (had.count(tag)) continue;
    const Object* o = model.find(tag);
    created.push_back({{"tag", tag},
                       {"type", kind_name(o->kind)},
                       {"type_code", type_code(o->kind)},
                       {"name", o->name}});
  }
  nlohmann::json removed = nlohmann::json::array();
  for (Tag tag : before)
    if (!has.count(tag)) removed.push_back(tag);
  return {{"kind", "summary"},
          {"created", created},
          {"removed", removed},
          {"unusable_answers", unusable_answers(ui)},
          {"unused_answers", unused_answers(ui)}};
}

// The answers a scripted run is given, in order: the file's, standard
// input's when none is given and the run is scripted, then --answer's.
bool read_answers(const RunOptions& options, bool scripted, std::vector<AnswerLine>* answers,
                  std::string* error) {
  const bool given = !options.answers_file.empty() || !options.answer_lines.empty();
  if (!options.answers_file.empty() && !read_answer_file(options.answers_file, answers, error))
    return false;
  if (!given && scripted && !read_answer_file("-", answers, error)) return false;
  for (AnswerLine& line : number_lines(options.answer_lines, "--answer"))
    answers->push_back(std::move(line));
  return true;
}

// What would stop the run only after it had finished, found out before it
// starts: "" or the message.
std::string check_outputs(const RunOptions& options) {
  if (!options.save.empty() && options.bodies.empty() && same_file(options.save, options.part))
    return "--save " + options.save + " would replace the part file itself";
  const std::pair<const char*, const std::string*> outputs[] = {
      {"--transcript", &options.transcript}, {"--view", &options.view}, {"--report", &options.report}};
  for (const auto& [name, file] : outputs)
    if (!file->empty() && !folder_exists_for(*file))
      return std::string(name) + " " + *file + ": no such folder";
  return "";
}

// The part's bodies into the session's model: read from its file, or the
// ones the run was handed.
bool open_part(const RunOptions& options, Model& model, std::string* error) {
  if (options.bodies.empty()) return load_part(options.part, model, error);
  for (const Object& body : options.bodies) model.add(body);
  return true;
}

// Hands the session its front end and the transcript's hooks; `page` is the
// browser's, when the front end is one, so that the run can tell it when it
// ends.
void hand_over(const RunOptions& options, bool scripted, std::vector<AnswerLine> answers,
               std::unique_ptr<BrowserUi> browser, const std::shared_ptr<Transcript>& transcript) {
  Session& s = session();
  if (browser) {
    std::fflush(stdout);
    std::cerr << "ufhost: the plug-in's window is at " << browser->address()
              << " ; open it in a browser (Ctrl-C stops)" << std::endl;
    s.ui = std::move(browser);
  } else {
    s.ui = scripted ? make_scripted_ui_from(std::move(answers)) : make_terminal_ui();
  }
  s.ui->transcript = transcript;
  s.syslog_hook = [transcript](const std::string& text) {
    record(transcript, {{"kind", "syslog"}, {"text", cp1251_to_utf8(text)}});
  };
  s.event_hook = [transcript](const std::string& kind, const std::string& text) {
    record(transcript, {{"kind", kind}, {"text", text}});
  };
  s.syslog_path = options.syslog;
}

// Calls ufusr and lets the plug-in unload when it asks to. kExitOk, or
// kExitPlugin when it let an exception out.
int call_plugin(Plugin& plugin) {
  Session& s = session();
  s.event("plugin", "load");
  try {
    char param[1] = {'\0'};
    int retcode = 0;
    plugin.ufusr(param, &retcode, 0);
    if (plugin.ask_unload() == 1) {
      plugin.unload();
      s.event("plugin", "unload");
    }
  } catch (const std::exception& e) {
    return fail(kExitPlugin, std::string("the plug-in let an exception out: ") + e.what());
  } catch (...) {
    return fail(kExitPlugin, "the plug-in let an exception out");
  }
  return kExitOk;
}

// After the plug-in: --save, the transcript, what became of the answers,
// the report and the page. Returns the status the run ends with.
int finish(const RunOptions& options, const std::shared_ptr<Transcript>& transcript, int status) {
  Session& s = session();
  std::string error;
  if (!options.save.empty() && !save_part(s.model, options.save, options.part, &error))
    status = std::max(status, fail(kExitOutput, error));
  if (transcript && !transcript->good())
    status = std::max(status, fail(kExitOutput, "writing the transcript " + options.transcript +
                                                    " failed"));
  if (const int unused = unused_answers(*s.ui))
    std::cerr << "ufhost: warning: " << unused << (unused == 1 ? " answer was" : " answers were")
              << " not used, from " << first_unused_answer(*s.ui) << std::endl;
  if (const int unusable = unusable_answers(*s.ui)) {
    if (status == kExitOk)
      status = fail(kExitAnswers, std::to_string(unusable) +
                                      (unusable == 1 ? " answer" : " answers") +
                                      " could not be used");
  }
  // The report and the page come last: status 5 for unusable answers
  // outranks their 4. The bodies' boxes and the page's tessellation mark
  // their own kernel work: a crash there costs that output, not the run's.
  if (!options.report.empty() && !write_run_report(s.model, options.part, options.report, &error))
    status = std::max(status, fail(kExitOutput, error));
  if (!options.view.empty()) {
    ViewOptions view;
    view.title = fs::path(options.part).filename().string();
    view.subtitle = options.part;
    view.units = units_words(options.part);
    if (!write_view(s.model, options.view, view, &error))
      status = std::max(status, fail(kExitOutput, error));
  }
  return status;
}

}  // namespace

int run(const RunOptions& options) {
  if (options.progress) set_progress_mode(ProgressMode::Always);
  set_kernel_time_limit(options.kernel_timeout);
  // Everything that can stop the run is checked before the plug-in starts,
  // and nothing is written until then.
  const bool given = !options.answers_file.empty() || !options.answer_lines.empty();
  const bool scripted =
      options.ui == "script" || (options.ui.empty() && (given || isatty(STDIN_FILENO) == 0));
  std::vector<AnswerLine> answers;
  std::string error;
  if (!read_answers(options, scripted, &answers, &error)) return fail(kExitUsage, error);
  if (const std::string why = check_outputs(options); !why.empty()) return fail(kExitUsage, why);

  contain_kernel_faults(options.part, kExitKernel);
  Session& s = session();
  s.fail_rules = options.fail_rules;
  if (!open_part(options, s.model, &error)) return fail(kExitPart, error);

  Plugin plugin;
  if (!plugin.load(options.plugin, &error)) return fail(kExitPlugin, error);

  std::unique_ptr<BrowserUi> browser;
  if (options.ui == "browser") {
    BrowserSettings settings;
    if (!browser_settings(options.part, &settings, &error)) return fail(kExitUsage, error);
    browser = BrowserUi::start(s.model, std::move(settings), &error);
    if (!browser) return fail(kExitUsage, "--ui browser: " + error);
  }
  std::shared_ptr<Transcript> transcript;
  if (!options.transcript.empty()) {
    transcript = Transcript::open(options.transcript, &error);
    if (!transcript) return fail(kExitUsage, error);
  }
  std::error_code ec;
  fs::create_directories(fs::absolute(options.syslog, ec).parent_path(), ec);
  if (!folder_exists_for(options.syslog))
    std::cerr << "ufhost: warning: the system log " << options.syslog
              << " cannot be written; it goes to the transcript only" << std::endl;

  BrowserUi* page = browser.get();
  hand_over(options, scripted, std::move(answers), std::move(browser), transcript);
  const std::vector<Tag> loaded = s.model.tags();
  const int status = call_plugin(plugin);
  record(transcript, summary_entry(s.model, loaded, *s.ui));
  if (page != nullptr)
    page->finish(status == kExitOk ? "The run has ended." : "The run has ended with an error.");
  return finish(options, transcript, status);
}

}  // namespace ufhost::app
