#include "ufhost/ui/answers.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "ufhost/base/text.h"

namespace ufhost {

namespace {

std::vector<std::string> split_words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  std::string w;
  while (in >> w) words.push_back(w);
  return words;
}

bool parse_int_word(const std::string& w, int* value) {
  const char* begin = w.data();
  const char* end = w.data() + w.size();
  if (begin != end && *begin == '+') ++begin;
  const auto r = std::from_chars(begin, end, *value);
  return r.ec == std::errc() && r.ptr == end && begin != end;
}

// Locale-independent; takes "nan", "inf" and "-inf" too, so that scripts can
// feed the plug-in values a person could not type into a real dialog.
bool parse_double_word(const std::string& w, double* value) {
  const char* begin = w.data();
  const char* end = w.data() + w.size();
  if (begin != end && *begin == '+') ++begin;
  const auto r = std::from_chars(begin, end, *value);
  return r.ec == std::errc() && r.ptr == end && begin != end;
}

bool is_skipped(const std::string& text) {
  const std::string t = trim(text);
  return t.empty() || t[0] == '#';
}

}  // namespace

std::vector<AnswerLine> number_lines(const std::vector<std::string>& texts,
                                     const std::string& source) {
  std::vector<AnswerLine> out;
  int n = 0;
  for (const std::string& t : texts) out.push_back(AnswerLine{t, source, ++n});
  return out;
}

bool read_answer_file(const std::string& path, std::vector<AnswerLine>* lines,
                      std::string* error) {
  lines->clear();
  std::ifstream file;
  std::istream* in = &std::cin;
  std::string source = path;
  if (path == "-") {
    source = "stdin";
  } else {
    file.open(path, std::ios::binary);
    if (!file) {
      *error = "cannot read the answers file " + path + ": " + std::strerror(errno);
      return false;
    }
    in = &file;
  }
  std::vector<std::string> texts;
  std::string line;
  while (std::getline(*in, line)) texts.push_back(line);
  if (in->bad()) {
    *error = "cannot read the answers file " + source + ": " + std::strerror(errno);
    return false;
  }
  *lines = number_lines(texts, source);
  return true;
}

const char* answer_kind_name(AnswerKind kind) {
  switch (kind) {
    case AnswerKind::Menu: return "menu";
    case AnswerKind::Dialog: return "dialog";
    case AnswerKind::Select: return "select";
    case AnswerKind::Message: return "message";
    case AnswerKind::Save: return "save";
  }
  return "?";
}

namespace {

// Each kind of answer reads its own words (`w`, the kind first) into *a and
// returns "" when they make an answer, else what is wrong with them.

std::string parse_menu(const std::vector<std::string>& w, Answer* a) {
  const std::size_t n = w.size();
  a->kind = AnswerKind::Menu;
  if (n == 2 && w[1] == "back") {
    a->action = AnswerAction::Back;
  } else if (n == 2 && w[1] == "cancel") {
    a->action = AnswerAction::Cancel;
  } else if (n == 3 && w[1] == "code") {
    a->action = AnswerAction::Code;
    if (!parse_int_word(w[2], &a->number)) return "the code must be a whole number";
  } else if (n == 2) {
    a->action = AnswerAction::Pick;
    if (!parse_int_word(w[1], &a->number) || a->number < 1)
      return "the item number must be a whole number from 1";
  } else {
    return "use menu N, menu back, menu cancel or menu code K";
  }
  return "";
}

std::string parse_dialog(const std::vector<std::string>& w, Answer* a) {
  const std::size_t n = w.size();
  a->kind = AnswerKind::Dialog;
  if (n == 2 && w[1] == "back") {
    a->action = AnswerAction::Back;
  } else if (n == 2 && w[1] == "cancel") {
    a->action = AnswerAction::Cancel;
  } else if (n >= 2 && w[1] == "ok") {
    a->action = AnswerAction::Ok;
    for (std::size_t i = 2; i < n; ++i) {
      double v = 0;
      if (!parse_double_word(w[i], &v)) return "'" + w[i] + "' is not a number";
      a->values.push_back(v);
    }
  } else {
    return "use dialog ok [V1 V2 ...], dialog back or dialog cancel";
  }
  return "";
}

std::string parse_select(const std::vector<std::string>& w, Answer* a) {
  const std::size_t n = w.size();
  a->kind = AnswerKind::Select;
  if (n == 2 && w[1] == "all") {
    a->action = AnswerAction::All;
  } else if (n == 2 && w[1] == "none") {
    a->action = AnswerAction::None;
  } else if (n == 2 && w[1] == "back") {
    a->action = AnswerAction::Back;
  } else if (n == 2 && w[1] == "cancel") {
    a->action = AnswerAction::Cancel;
  } else if (n >= 2) {
    a->action = AnswerAction::Pick;
    for (std::size_t i = 1; i < n; ++i) {
      int k = 0;
      if (!parse_int_word(w[i], &k) || k < 1) return "object numbers are whole numbers from 1";
      for (int earlier : a->picks)
        if (earlier == k) return "object " + w[i] + " is picked twice";
      a->picks.push_back(k);
    }
  } else {
    return "use select all, select N M ..., select none or select cancel";
  }
  return "";
}

std::string parse_message(const std::vector<std::string>& w, Answer* a) {
  a->kind = AnswerKind::Message;
  if (w.size() != 2 || w[1] != "ok") return "use message ok";
  a->action = AnswerAction::Ok;
  return "";
}

// The path is the rest of the line after "save", so that it may hold blanks.
std::string parse_save(const std::string& text, Answer* a) {
  a->kind = AnswerKind::Save;
  const std::string rest = trim(trim(text).substr(4));
  if (rest == "cancel") {
    a->action = AnswerAction::Cancel;
  } else if (!rest.empty()) {
    a->action = AnswerAction::Path;
    a->path = rest;
  } else {
    return "use save PATH or save cancel";
  }
  return "";
}

}  // namespace

bool parse_answer(const std::string& text, Answer* answer, std::string* error) {
  const std::vector<std::string> w = split_words(text);
  if (w.empty()) {
    *error = "empty answer";
    return false;
  }
  Answer a;
  std::string wrong;
  const std::string& kind = w[0];
  if (kind == "menu") {
    wrong = parse_menu(w, &a);
  } else if (kind == "dialog") {
    wrong = parse_dialog(w, &a);
  } else if (kind == "select") {
    wrong = parse_select(w, &a);
  } else if (kind == "message") {
    wrong = parse_message(w, &a);
  } else if (kind == "save") {
    wrong = parse_save(text, &a);
  } else {
    wrong = "it must start with menu, dialog, select, message or save";
  }
  if (!wrong.empty()) {
    *error = "'" + trim(text) + "' is not an answer: " + wrong;
    return false;
  }
  *answer = std::move(a);
  return true;
}

AnswerQueue::AnswerQueue(std::vector<AnswerLine> lines) {
  for (AnswerLine& l : lines)
    if (!is_skipped(l.text)) lines_.push_back(std::move(l));
}

AnswerQueue::Next AnswerQueue::take(AnswerKind kind, Answer* answer, std::string* where,
                                    std::string* error) {
  where->clear();
  if (next_ >= lines_.size()) return Next::Exhausted;
  const AnswerLine& line = lines_[next_++];
  *where = line.where();
  std::string why;
  if (!parse_answer(line.text, answer, &why)) {
    *error = *where + ": " + why;
    return Next::Unusable;
  }
  if (answer->kind != kind) {
    *error = *where + ": the host asks for a " + answer_kind_name(kind) + " answer, not '" +
             trim(line.text) + "'";
    return Next::Unusable;
  }
  return Next::Ready;
}

std::string AnswerQueue::next_where() const {
  return next_ < lines_.size() ? lines_[next_].where() : "";
}

}  // namespace ufhost
