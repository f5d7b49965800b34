// The scripted front end: answers every request from an answers script.
// An answer that cannot be used cancels its request and is reported; when
// the script runs out, every further request is cancelled, so a scripted run
// always comes to an end.
#include <cstdio>
#include <iostream>

#include "ufhost/session/session.h"
#include "ufhost/ui/answers.h"
#include "ufhost/ui/frontend.h"

namespace ufhost {

namespace {

class ScriptedUi : public RecordingUi {
 public:
  explicit ScriptedUi(std::vector<AnswerLine> lines) : queue_(std::move(lines)) {}
  int unusable() const { return unusable_; }
  const AnswerQueue& queue() const { return queue_; }

 protected:
  int ask_menu(const MenuRequest& request, AnswerNote* note) override {
    Answer a;
    if (!take(AnswerKind::Menu, &a, note)) return UF_UI_CANCEL;
    switch (a.action) {
      case AnswerAction::Back: return UF_UI_BACK;
      case AnswerAction::Code: return a.number;
      case AnswerAction::Pick:
        if (a.number > static_cast<int>(request.items.size()))
          return refuse(note, "the menu has " + std::to_string(request.items.size()) +
                                  " items, there is no item " + std::to_string(a.number));
        return UF_UI_MENU_FIRST_ITEM - 1 + a.number;
      default: return UF_UI_CANCEL;
    }
  }

  int ask_dialog(const DialogRequest&, std::vector<double>* values,
                 AnswerNote* note) override {
    Answer a;
    if (!take(AnswerKind::Dialog, &a, note)) return UF_UI_CANCEL;
    switch (a.action) {
      case AnswerAction::Back: return UF_UI_BACK;
      case AnswerAction::Ok:
        // Fewer values than fields leave the rest as shown, as pressing
        // Enter in a field would.
        if (a.values.size() > values->size())
          return refuse(note, "the dialog has " + std::to_string(values->size()) +
                                  " fields, the answer gives " +
                                  std::to_string(a.values.size()) + " values");
        for (std::size_t i = 0; i < a.values.size(); ++i) (*values)[i] = a.values[i];
        return UF_UI_OK;
      default: return UF_UI_CANCEL;
    }
  }

  int ask_select(const SelectRequest& request, std::vector<Tag>* chosen,
                 AnswerNote* note) override {
    Answer a;
    if (!take(AnswerKind::Select, &a, note)) return UF_UI_CANCEL;
    switch (a.action) {
      case AnswerAction::Back: return UF_UI_BACK;
      case AnswerAction::None: return UF_UI_OK;
      case AnswerAction::All:
        for (const Selectable& s : request.objects) chosen->push_back(s.tag);
        return UF_UI_OK;
      case AnswerAction::Pick:
        for (int k : a.picks) {
          if (k > static_cast<int>(request.objects.size()))
            return refuse(note, std::to_string(request.objects.size()) +
                                    " objects can be selected, there is no object " +
                                    std::to_string(k));
          chosen->push_back(request.objects[k - 1].tag);
        }
        return UF_UI_OK;
      default: return UF_UI_CANCEL;
    }
  }

  void ask_message(const std::string&, const std::string&, AnswerNote* note) override {
    Answer a;
    take(AnswerKind::Message, &a, note);  // whatever the answer, the box is closed
  }

  bool ask_save(const SaveRequest& request, std::string* path, AnswerNote* note) override {
    Answer a;
    if (!take(AnswerKind::Save, &a, note) || a.action != AnswerAction::Path) return false;
    std::string why;
    if (!resolve_save_path(a.path, request.default_ext, path, &why)) {
      refuse(note, why);
      return false;
    }
    return true;
  }

 private:
  // The next answer of `kind`; false when the request is to be cancelled.
  bool take(AnswerKind kind, Answer* answer, AnswerNote* note) {
    std::string error;
    switch (queue_.take(kind, answer, &note->source, &error)) {
      case AnswerQueue::Next::Ready: return true;
      case AnswerQueue::Next::Exhausted: return false;
      case AnswerQueue::Next::Unusable:
        note->error = error;
        report(error);
        return false;
    }
    return false;
  }

  // Cancels a request whose answer parsed but does not fit it.
  int refuse(AnswerNote* note, const std::string& why) {
    note->error = note->source + ": " + why;
    report(note->error);
    return UF_UI_CANCEL;
  }

  void report(const std::string& error) {
    ++unusable_;
    std::fflush(stdout);
    std::cerr << "ufhost: " << error << "; the request is cancelled" << std::endl;
  }

  AnswerQueue queue_;
  int unusable_ = 0;
};

}  // namespace

std::unique_ptr<UserInterface> make_scripted_ui_from(std::vector<AnswerLine> lines) {
  return std::make_unique<ScriptedUi>(std::move(lines));
}

std::unique_ptr<UserInterface> make_scripted_ui(std::vector<std::string> answer_lines,
                                                std::string source_name) {
  return make_scripted_ui_from(number_lines(answer_lines, source_name));
}

UserInterface& front_end() {
  Session& s = session();
  if (!s.ui) s.ui = make_scripted_ui({});
  return *s.ui;
}

int unusable_answers(const UserInterface& ui) {
  const auto* s = dynamic_cast<const ScriptedUi*>(&ui);
  return s ? s->unusable() : 0;
}

int unused_answers(const UserInterface& ui) {
  const auto* s = dynamic_cast<const ScriptedUi*>(&ui);
  return s ? static_cast<int>(s->queue().remaining()) : 0;
}

std::string first_unused_answer(const UserInterface& ui) {
  const auto* s = dynamic_cast<const ScriptedUi*>(&ui);
  return s ? s->queue().next_where() : "";
}

}  // namespace ufhost
