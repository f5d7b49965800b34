// What the terminal and the scripted front ends share: recording every
// request and its answer in the transcript, the listing window, and the
// save dialog's handling of a typed name.
#pragma once

#include <string>
#include <vector>

#include "host/uf.h"
#include "ufhost/ui/ui.h"

namespace ufhost {

// How a request was answered, for the transcript.
struct AnswerNote {
  std::string source;  // "answers.txt:3", "terminal"; empty when answers ran out
  std::string error;   // set when the answer could not be used and the request was cancelled
};

// A front end answers through the ask_* functions; this class records each
// request with its answer, and keeps the results within what the C
// interface promises (values untouched unless OK, no tags on cancel).
class RecordingUi : public UserInterface {
 public:
  int menu(const MenuRequest& request) final;
  int dialog(const DialogRequest& request, std::vector<double>* values) final;
  int select(const SelectRequest& request, std::vector<Tag>* chosen) final;
  void message(const std::string& title, const std::string& text) final;
  bool save(const SaveRequest& request, std::string* path) final;
  // The listing window is standard output, written through as it comes.
  bool open_listing() override;
  void write_listing(const std::string& text) override;

 protected:
  // Each gets the request and fills `note`; the results as for the public
  // functions. `values` arrives holding the values shown; `chosen` empty.
  virtual int ask_menu(const MenuRequest& request, AnswerNote* note) = 0;
  virtual int ask_dialog(const DialogRequest& request, std::vector<double>* values,
                         AnswerNote* note) = 0;
  virtual int ask_select(const SelectRequest& request, std::vector<Tag>* chosen,
                         AnswerNote* note) = 0;
  virtual void ask_message(const std::string& title, const std::string& text,
                           AnswerNote* note) = 0;
  virtual bool ask_save(const SaveRequest& request, std::string* path, AnswerNote* note) = 0;
};

// The file a save dialog hands back for the name `typed`: made absolute
// against the current directory, with "." + `default_ext` added when the
// file name has no extension. false with a reason when `typed` names no file
// (empty, ends in a slash, holds wildcards, is an existing folder).
bool resolve_save_path(const std::string& typed, const std::string& default_ext,
                       std::string* path, std::string* error);

}  // namespace ufhost
