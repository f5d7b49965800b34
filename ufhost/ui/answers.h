// Answers scripts: one answer a line, consumed in order by the scripted
// front end, one answer per modal request.
//
//   menu N | menu back | menu cancel | menu code K
//   dialog ok [V1 V2 ...] | dialog back | dialog cancel
//   select all | select N M ... | select none | select back | select cancel
//   message ok
//   save PATH | save cancel
//
// Blank lines and lines starting with # are skipped. Each line remembers
// where it came from, so that an answer that cannot be used is reported as
// "FILE:LINE: ...".
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ufhost/ui/ui.h"

namespace ufhost {

struct AnswerLine {
  std::string text;
  std::string source;  // file name, "--answer", "stdin", ...
  int line = 0;        // counted from 1 within its source
  std::string where() const { return source + ":" + std::to_string(line); }
};

// Numbers `texts` from 1 as lines of `source`.
std::vector<AnswerLine> number_lines(const std::vector<std::string>& texts,
                                     const std::string& source);

// Reads an answers file (or "-" for standard input) as numbered lines.
// Returns false with a one-line message naming the file when it cannot be
// read; an empty file is fine.
bool read_answer_file(const std::string& path, std::vector<AnswerLine>* lines,
                      std::string* error);

enum class AnswerKind { Menu, Dialog, Select, Message, Save };
const char* answer_kind_name(AnswerKind kind);  // "menu", "dialog", ...

enum class AnswerAction {
  Pick,    // menu N, select N M ...
  Code,    // menu code K
  Back,
  Cancel,
  Ok,      // dialog ok [values], message ok
  All,     // select all
  None,    // select none
  Path,    // save PATH
};

struct Answer {
  AnswerKind kind = AnswerKind::Menu;
  AnswerAction action = AnswerAction::Cancel;
  int number = 0;              // menu: item from 1 (Pick) or raw code (Code)
  std::vector<double> values;  // dialog ok: typed values, in field order
  std::vector<int> picks;      // select: object numbers from 1, in order
  std::string path;            // save: as typed
};

// Parses one answer. Returns false with a message (no location) when the
// text is not an answer.
bool parse_answer(const std::string& text, Answer* answer, std::string* error);

// The answers a scripted run consumes, in order, skipping blank and comment
// lines.
class AnswerQueue {
 public:
  explicit AnswerQueue(std::vector<AnswerLine> lines);

  enum class Next { Ready, Exhausted, Unusable };
  // Takes the next answer for a request of `kind`. Ready: *answer is set.
  // Unusable: the line is not an answer or answers another kind of request;
  // the line is consumed and *error says why, with its location. Exhausted:
  // nothing left. *where receives the line's location when there was one.
  Next take(AnswerKind kind, Answer* answer, std::string* where, std::string* error);
  // Answers not yet taken.
  std::size_t remaining() const { return lines_.size() - next_; }
  // Location of the first answer not yet taken ("" when none).
  std::string next_where() const;

 private:
  std::vector<AnswerLine> lines_;
  std::size_t next_ = 0;
};

// A front end answering from `lines` (make_scripted_ui of ui.h, with lines
// from several sources). Every answer that cannot be used is reported on
// standard error as "ufhost: FILE:LINE: ..." and the request is cancelled;
// when the answers run out every request is cancelled.
std::unique_ptr<UserInterface> make_scripted_ui_from(std::vector<AnswerLine> lines);

// For a scripted front end: how many answers could not be used, and how
// many were left unused. 0 for any other front end.
int unusable_answers(const UserInterface& ui);
int unused_answers(const UserInterface& ui);
std::string first_unused_answer(const UserInterface& ui);

}  // namespace ufhost
