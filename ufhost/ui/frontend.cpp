#include "ufhost/ui/frontend.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "ufhost/session/transcript.h"

namespace fs = std::filesystem;

namespace ufhost {

namespace {

nlohmann::json answer_json(const AnswerNote& note) {
  nlohmann::json a = nlohmann::json::object();
  if (!note.source.empty()) a["source"] = note.source;
  if (!note.error.empty()) a["error"] = note.error;
  return a;
}

}  // namespace

int RecordingUi::menu(const MenuRequest& request) {
  AnswerNote note;
  const int code = ask_menu(request, &note);
  nlohmann::json entry = menu_entry(request);
  entry["answer"] = answer_json(note);
  entry["answer"]["code"] = code;
  record(transcript, entry);
  return code;
}

int RecordingUi::dialog(const DialogRequest& request, std::vector<double>* values) {
  AnswerNote note;
  std::vector<double> edited = request.values;
  const int code = ask_dialog(request, &edited, &note);
  nlohmann::json entry = dialog_entry(request);
  entry["answer"] = answer_json(note);
  entry["answer"]["code"] = code;
  *values = request.values;
  if (code == UF_UI_OK && edited.size() == request.values.size()) {
    *values = edited;
    entry["answer"]["values"] = edited;
  }
  record(transcript, entry);
  return code;
}

int RecordingUi::select(const SelectRequest& request, std::vector<Tag>* chosen) {
  AnswerNote note;
  chosen->clear();
  const int response = ask_select(request, chosen, &note);
  if (response != UF_UI_OK) chosen->clear();
  nlohmann::json entry = select_entry(request);
  entry["answer"] = answer_json(note);
  entry["answer"]["response"] = response;
  entry["answer"]["tags"] = *chosen;
  record(transcript, entry);
  return response;
}

void RecordingUi::message(const std::string& title, const std::string& text) {
  AnswerNote note;
  ask_message(title, text, &note);
  nlohmann::json entry = message_entry(title, text);
  entry["answer"] = answer_json(note);
  entry["answer"]["code"] = 1;  // IDOK: the box has a single button
  record(transcript, entry);
}

bool RecordingUi::save(const SaveRequest& request, std::string* path) {
  AnswerNote note;
  path->clear();
  const bool ok = ask_save(request, path, &note);
  if (!ok) path->clear();
  nlohmann::json entry = save_entry(request);
  entry["answer"] = answer_json(note);
  entry["answer"]["code"] = ok ? 1 : 2;  // IDOK, IDCANCEL
  entry["answer"]["path"] = *path;
  record(transcript, entry);
  return ok;
}

bool RecordingUi::open_listing() { return true; }

void RecordingUi::write_listing(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  record(transcript, {{"kind", "listing"}, {"text", text}});
}

bool resolve_save_path(const std::string& typed, const std::string& default_ext,
                       std::string* path, std::string* error) {
  path->clear();
  if (typed.empty()) {
    *error = "no file name given";
    return false;
  }
  if (typed.back() == '/') {
    *error = "'" + typed + "' is a folder, not a file name";
    return false;
  }
  if (typed.find_first_of("*?") != std::string::npos) {
    *error = "'" + typed + "' is a pattern, not a file name";
    return false;
  }
  fs::path p(typed);
  std::error_code ec;
  if (p.is_relative()) p = fs::absolute(p, ec);
  if (ec) {
    *error = "cannot make '" + typed + "' absolute: " + ec.message();
    return false;
  }
  // "." and ".." name folders; with the extension added they would become
  // files called "..txt" and "...txt".
  if (p.filename() == "." || p.filename() == "..") {
    *error = "'" + typed + "' is a folder, not a file name";
    return false;
  }
  std::string ext = default_ext;
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  if (!ext.empty() && !p.filename().has_extension()) p += "." + ext;
  if (fs::is_directory(p, ec)) {
    *error = "'" + p.string() + "' is a folder, not a file name";
    return false;
  }
  *path = p.lexically_normal().string();
  return true;
}

}  // namespace ufhost
