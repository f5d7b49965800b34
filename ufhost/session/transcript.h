// The transcript: one JSON object a line for every request of the plug-in
// and its answer, every system-log and listing-window write, highlight
// changes and the host's own events, so that tests and batch users can read
// what a run did. All texts are UTF-8.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "ufhost/session/user_interface.h"

namespace ufhost {

class Transcript {
 public:
  // Creates or empties the file. nullptr with a one-line message when it
  // cannot be opened.
  static std::shared_ptr<Transcript> open(const std::string& path, std::string* error);
  ~Transcript();
  Transcript(const Transcript&) = delete;
  Transcript& operator=(const Transcript&) = delete;

  // Writes one line and flushes it, so that a run that dies leaves every
  // line before it readable. Texts that are not valid UTF-8 are written with
  // replacement characters rather than lost.
  void write(const nlohmann::json& entry);
  // false once a write has failed (disk full, ...).
  bool good() const { return good_; }

 private:
  explicit Transcript(std::FILE* file) : file_(file) {}
  std::FILE* file_;
  bool good_ = true;
};

// Writes `entry` when `transcript` is set.
void record(const std::shared_ptr<Transcript>& transcript, const nlohmann::json& entry);

// Entries of the requests, without their "answer".
nlohmann::json menu_entry(const MenuRequest& request);
nlohmann::json dialog_entry(const DialogRequest& request);
nlohmann::json select_entry(const SelectRequest& request);
nlohmann::json message_entry(const std::string& title, const std::string& text);
nlohmann::json save_entry(const SaveRequest& request);

}  // namespace ufhost
