// The browser front end: a page served on 127.0.0.1 shows the part in 3D and
// every request of the plug-in as it comes (the menu as buttons, value
// dialogs as forms, message boxes, the selection by clicking bodies in the
// view or in a list, the save dialog as a file name field), and the objects
// the commands create, move and undo as it happens.
//
// The plug-in runs on the host's thread and blocks in each request; the
// server runs on threads of its own and never reads the model: the part's
// picture is taken on the host's thread, through the model's observer, and
// handed over as copies.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "ufhost/ui/browser_board.h"
#include "ufhost/ui/frontend.h"

namespace ufhost {

namespace browser {
class PageServer;
class StopSignals;
}  // namespace browser

struct BrowserSettings {
  std::string page;    // the page's HTML ("@@TOKEN@@" stands for the token)
  std::string script;  // its script bundle
  std::string title;   // the part's file name, the page's title
  std::string part;    // the part's path, under the title
  std::string units;   // words for the units line
  int port = 0;        // 0: any free port
  browser::BoardTimes times;
};

class BrowserUi : public RecordingUi {
 public:
  // Takes the picture of `model` as it is, starts the server and watches
  // the model from then on. SIGINT and SIGTERM cancel every request from now
  // until finish() (a second one ends the process at once); their earlier
  // handlers come back then. nullptr with a message when the server cannot
  // start.
  static std::unique_ptr<BrowserUi> start(Model& model, BrowserSettings settings,
                                          std::string* error);
  ~BrowserUi() override;

  // http://127.0.0.1:PORT/?token=... : the page, for the person at the run.
  const std::string& address() const { return address_; }
  // Tells the page the run has ended with `note`, gives it a moment to read
  // that, stops the server, stops watching the model and the signals.
  void finish(const std::string& note);

  void write_listing(const std::string& text) override;

 protected:
  int ask_menu(const MenuRequest& request, AnswerNote* note) override;
  int ask_dialog(const DialogRequest& request, std::vector<double>* values,
                 AnswerNote* note) override;
  int ask_select(const SelectRequest& request, std::vector<Tag>* chosen, AnswerNote* note) override;
  void ask_message(const std::string& title, const std::string& text, AnswerNote* note) override;
  bool ask_save(const SaveRequest& request, std::string* path, AnswerNote* note) override;

 private:
  BrowserUi(Model& model, const BrowserSettings& settings);
  std::optional<nlohmann::json> ask(nlohmann::json request, browser::AnswerCheck check,
                                    AnswerNote* note);
  void observe(ModelChange change, Tag tag, const Object* object);
  void flush();

  Model& model_;
  std::unique_ptr<browser::Board> board_;
  std::unique_ptr<browser::StopSignals> signals_;
  std::unique_ptr<browser::PageServer> server_;
  std::string address_;
  // Changes not yet shown, latest state per tag (nullopt: removed), and the
  // tags the page has: bodies are tessellated when shown, not on every move.
  std::map<Tag, std::optional<Object>> unshown_;
  std::set<Tag> shown_;
  browser::Clock::time_point last_flush_;
  bool finished_ = false;
};

}  // namespace ufhost
