#include "ufhost/ui/browser.h"

#include <Standard_Failure.hxx>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <thread>

#include "ufhost/kernel/containment.h"
#include "ufhost/model/scene.h"
#include "ufhost/session/test_control.h"
#include "ufhost/ui/browser_server.h"

namespace ufhost {

namespace browser {

// While the page runs: SIGINT and SIGTERM cancel every request, so that the
// plug-in leaves and the run ends as usual; a second one ends the process at
// once, for a plug-in that computes for long before it asks again. The
// handler only writes the signal's number to a pipe (whichever thread the
// kernel picks, the kernel's own included), and a thread of its own reads
// it. SIGPIPE, which a page that goes mid-write would raise, is ignored.
class StopSignals {
 public:
  explicit StopSignals(Board& board) {
    if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) pipe_[0] = pipe_[1] = -1;
    write_end() = pipe_[1];
    struct sigaction action {};
    action.sa_handler = [](int sig) {
      const int saved = errno;
      const unsigned char byte = static_cast<unsigned char>(sig);
      // A full pipe holds enough signals already.
      [[maybe_unused]] const ssize_t written = write(write_end(), &byte, 1);
      errno = saved;
    };
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &old_int_);
    sigaction(SIGTERM, &action, &old_term_);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &old_pipe_);
    thread_ = std::thread([this, &board] { watch(board); });
  }

  ~StopSignals() {
    quit_ = true;
    thread_.join();
    sigaction(SIGINT, &old_int_, nullptr);
    sigaction(SIGTERM, &old_term_, nullptr);
    sigaction(SIGPIPE, &old_pipe_, nullptr);
    write_end() = -1;
    for (int fd : pipe_)
      if (fd >= 0) close(fd);
  }

  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  // The handler can reach no object: the pipe's end is a global.
  static int& write_end() {
    static int fd = -1;
    return fd;
  }

  void watch(Board& board) {
    bool first = true;
    while (!quit_) {
      pollfd wait{pipe_[0], POLLIN, 0};
      unsigned char sig = 0;
      if (poll(&wait, 1, 200) <= 0 || read(pipe_[0], &sig, 1) != 1) continue;
      const char* name = sig == SIGINT ? "SIGINT (Ctrl-C)" : "SIGTERM";
      if (first) {
        first = false;
        board.cancel(std::string("stopped by ") + name);
        continue;
      }
      std::fflush(stdout);
      std::cerr << "ufhost: a second " << name << ": stopping at once" << std::endl;
      signal(sig, SIG_DFL);
      raise(sig);
    }
  }

  int pipe_[2] = {-1, -1};
  struct sigaction old_int_ {};
  struct sigaction old_term_ {};
  struct sigaction old_pipe_ {};
  std::atomic<bool> quit_{false};
  std::thread thread_;
};

}  // namespace browser

namespace {

using nlohmann::json;

constexpr auto kFlushEvery = std::chrono::milliseconds(500);
// How long the page has to read that the run is over before the server stops.
constexpr auto kLastWords = std::chrono::seconds(2);

// The whole number at `key`, or INT_MIN when there is none.
int whole(const json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_number_integer()) return INT_MIN;
  const long long v = it->get<long long>();
  return v < INT_MIN + 1LL || v > INT_MAX ? INT_MIN : static_cast<int>(v);
}

bool is_back_or_cancel(int code) { return code == UF_UI_BACK || code == UF_UI_CANCEL; }

}  // namespace

BrowserUi::BrowserUi(Model& model, const BrowserSettings& settings)
    : model_(model),
      board_(std::make_unique<browser::Board>(
          json{{"title", settings.title}, {"part", settings.part}, {"units", settings.units}},
          settings.times)) {}

std::unique_ptr<BrowserUi> BrowserUi::start(Model& model, BrowserSettings settings,
                                            std::string* error) {
  std::unique_ptr<BrowserUi> ui(new BrowserUi(model, settings));
  for (Tag tag : model.tags()) {
    const Object* object = model.find(tag);
    if (!shown_in_scene(object->kind)) continue;
    ui->unshown_[tag] = *object;
    if (object->highlighted) ui->board_->set_highlight(tag, true);
  }
  ui->flush();
  ui->signals_ = std::make_unique<browser::StopSignals>(*ui->board_);
  const std::string token = browser::random_hex();
  ui->server_ = std::make_unique<browser::PageServer>(*ui->board_, std::move(settings.page),
                                                      std::move(settings.script), token);
  if (test_control().hold_answer_replies) ui->server_->hold_replies_for_tests();
  if (!ui->server_->start(settings.port, error)) return nullptr;
  ui->address_ = "http://127.0.0.1:" + std::to_string(ui->server_->port()) + "/?token=" + token;
  model.observer = [raw = ui.get()](ModelChange change, Tag tag, const Object* object) {
    raw->observe(change, tag, object);
  };
  return ui;
}

BrowserUi::~BrowserUi() { finish(""); }

void BrowserUi::finish(const std::string& note) {
  if (finished_) return;
  finished_ = true;
  if (server_ && server_->port() != 0) {
    model_.observer = nullptr;
    flush();
    board_->end(note.empty() ? "The run has ended." : note);
    board_->stop(kLastWords);
    server_->stop();
  }
  signals_.reset();
}

void BrowserUi::write_listing(const std::string& text) {
  RecordingUi::write_listing(text);
  board_->add_listing(text);
}

// [SECTION] The part's picture

void BrowserUi::observe(ModelChange change, Tag tag, const Object* object) {
  switch (change) {
    case ModelChange::Highlight:
      if (shown_in_scene(object->kind)) board_->set_highlight(tag, object->highlighted);
      return;
    case ModelChange::Removed:
      unshown_[tag] = std::nullopt;
      break;
    case ModelChange::Added:
    case ModelChange::Replaced:
      if (!shown_in_scene(object->kind)) return;
      unshown_[tag] = *object;
      break;
  }
  if (browser::Clock::now() - last_flush_ >= kFlushEvery) flush();
}

void BrowserUi::flush() {
  for (auto& [tag, object] : unshown_) {
    if (!object) {
      if (shown_.erase(tag) != 0) board_->remove_object(tag);
      continue;
    }
    try {
      board_->put_object(tag, browser::json_text(scene_object(tag, *object)));
      shown_.insert(tag);
    } catch (const Standard_Failure& failure) {
      // A body the kernel cannot tessellate is left out of the picture; the
      // run goes on.
      std::fflush(stdout);
      std::cerr << "ufhost: warning: the page leaves out " << object->name << ": "
                << kernel_failure_text(failure, "tessellating it") << std::endl;
    } catch (const std::exception& e) {
      std::fflush(stdout);
      std::cerr << "ufhost: warning: the page leaves out " << object->name << ": " << e.what()
                << std::endl;
    }
  }
  unshown_.clear();
  last_flush_ = browser::Clock::now();
}

// [SECTION] Requests

std::optional<json> BrowserUi::ask(json request, browser::AnswerCheck check, AnswerNote* note) {
  flush();
  std::optional<json> answer = board_->ask(std::move(request), std::move(check));
  // A request cancelled because the page went away or a signal came has no
  // source, as one after the answers of a script ran out.
  if (answer) note->source = "browser";
  return answer;
}

int BrowserUi::ask_menu(const MenuRequest& request, AnswerNote* note) {
  const int n = static_cast<int>(request.items.size());
  const auto answer = ask(
      {{"kind", "menu"},
       {"title", request.title},
       {"items", request.items},
       {"default", request.default_item}},
      [n](const json& a, json* checked) -> std::string {
        const int code = whole(a, "code");
        if (!is_back_or_cancel(code) &&
            (code < UF_UI_MENU_FIRST_ITEM || code >= UF_UI_MENU_FIRST_ITEM + n))
          return "the menu has no such choice";
        *checked = code;
        return "";
      },
      note);
  return answer ? answer->get<int>() : UF_UI_CANCEL;
}

int BrowserUi::ask_dialog(const DialogRequest& request, std::vector<double>* values,
                          AnswerNote* note) {
  const std::size_t n = request.labels.size();
  const auto answer = ask(
      {{"kind", "dialog"},
       {"title", request.title},
       {"labels", request.labels},
       {"values", request.values}},
      [n](const json& a, json* checked) -> std::string {
        const int code = whole(a, "code");
        if (is_back_or_cancel(code)) {
          *checked = {{"code", code}};
          return "";
        }
        if (code != UF_UI_OK) return "a dialog is answered OK, back or cancel";
        const auto typed = a.find("values");
        if (typed == a.end() || !typed->is_array() || typed->size() != n)
          return "the dialog has " + std::to_string(n) + " fields";
        for (const json& v : *typed)
          if (!v.is_number() || !std::isfinite(v.get<double>()))
            return "every field needs a number";
        *checked = {{"code", code}, {"values", *typed}};
        return "";
      },
      note);
  if (!answer) return UF_UI_CANCEL;
  const int code = (*answer)["code"].get<int>();
  if (code == UF_UI_OK) *values = (*answer)["values"].get<std::vector<double>>();
  return code;
}

int BrowserUi::ask_select(const SelectRequest& request, std::vector<Tag>* chosen,
                          AnswerNote* note) {
  json objects = json::array();
  std::set<std::uint64_t> offered;
  for (const Selectable& s : request.objects) {
    objects.push_back({{"tag", s.tag}, {"name", s.name}, {"type", s.type}, {"size", s.size}});
    offered.insert(s.tag);
  }
  const auto answer = ask(
      {{"kind", "select"}, {"prompt", request.prompt}, {"objects", std::move(objects)}},
      [offered](const json& a, json* checked) -> std::string {
        const int response = whole(a, "response");
        if (is_back_or_cancel(response)) {
          *checked = {{"response", response}, {"tags", json::array()}};
          return "";
        }
        if (response != UF_UI_OK) return "a selection is answered OK, back or cancel";
        const auto tags = a.find("tags");
        if (tags == a.end() || !tags->is_array()) return "no tags";
        std::set<std::uint64_t> seen;
        for (const json& t : *tags) {
          if (!t.is_number_unsigned() || offered.count(t.get<std::uint64_t>()) == 0)
            return "only the objects offered can be picked";
          if (!seen.insert(t.get<std::uint64_t>()).second) return "an object is picked twice";
        }
        *checked = {{"response", response}, {"tags", *tags}};
        return "";
      },
      note);
  if (!answer) return UF_UI_CANCEL;
  *chosen = (*answer)["tags"].get<std::vector<Tag>>();
  return (*answer)["response"].get<int>();
}

void BrowserUi::ask_message(const std::string& title, const std::string& text, AnswerNote* note) {
  ask(
      {{"kind", "message"}, {"title", title}, {"text", text}},
      [](const json&, json* checked) -> std::string {
        *checked = true;
        return "";
      },
      note);
}

bool BrowserUi::ask_save(const SaveRequest& request, std::string* path, AnswerNote* note) {
  std::error_code ec;
  const std::string folder = std::filesystem::current_path(ec).string();
  const std::string default_ext = request.default_ext;
  const auto answer = ask(
      {{"kind", "save"},
       {"open_mode", request.open_mode},
       {"default_ext", request.default_ext},
       {"file_name", request.file_name},
       {"filter", request.filter},
       {"folder", folder}},
      [default_ext](const json& a, json* checked) -> std::string {
        const auto ok = a.find("ok");
        if (ok == a.end() || !ok->is_boolean()) return "a save dialog is answered with ok";
        if (!ok->get<bool>()) {
          *checked = {{"ok", false}};
          return "";
        }
        const auto typed = a.find("path");
        if (typed == a.end() || !typed->is_string()) return "no file name given";
        std::string resolved, why;
        if (!resolve_save_path(typed->get<std::string>(), default_ext, &resolved, &why)) return why;
        *checked = {{"ok", true}, {"path", resolved}};
        return "";
      },
      note);
  if (!answer || !(*answer)["ok"].get<bool>()) return false;
  *path = (*answer)["path"].get<std::string>();
  return true;
}

}  // namespace ufhost
