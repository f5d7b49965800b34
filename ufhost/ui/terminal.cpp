// The terminal front end: every request is shown on standard output and
// answered on standard input. End of input answers cancel (a message box is
// simply closed), so a run always ends. Input a request cannot use is asked
// for again with a hint.
#include <algorithm>
#include <cctype>
#include <iostream>
#include <sstream>

#include "ufhost/base/numbers.h"
#include "ufhost/base/text.h"
#include "ufhost/ui/frontend.h"

namespace ufhost {

namespace {

// Characters, not bytes, so that Cyrillic names line up in columns.
std::size_t display_width(const std::string& s) {
  std::size_t n = 0;
  for (char c : s)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

std::string pad(const std::string& s, std::size_t width) {
  const std::size_t w = display_width(s);
  return w >= width ? s : s + std::string(width - w, ' ');
}

bool is_back(const std::string& s) { return s == "b" || s == "back"; }
bool is_cancel(const std::string& s) { return s == "c" || s == "cancel"; }

bool parse_number(const std::string& s, double* v) {
  std::istringstream in(s);
  in.imbue(std::locale::classic());
  in >> *v;
  return !in.fail() && (in >> std::ws).eof();
}

class TerminalUi : public RecordingUi {
 protected:
  int ask_menu(const MenuRequest& request, AnswerNote* note) override {
    note->source = "terminal";
    const int n = static_cast<int>(request.items.size());
    const bool has_default = request.default_item >= 1 && request.default_item <= n;
    std::cout << "\n " << request.title << "\n";
    for (int i = 1; i <= n; ++i)
      std::cout << (has_default && i == request.default_item ? " * " : "   ") << i << "  "
                << request.items[i - 1] << "\n";
    for (;;) {
      std::string line;
      if (!read_line("Item number" + std::string(has_default ? " (Enter = *)" : "") +
                         ", b = back, c = cancel: ",
                     &line))
        return UF_UI_CANCEL;
      const std::string s = lower(trim(line));
      if (s.empty() && has_default) return UF_UI_MENU_FIRST_ITEM - 1 + request.default_item;
      if (is_back(s)) return UF_UI_BACK;
      if (is_cancel(s)) return UF_UI_CANCEL;
      double v = 0;
      if (parse_number(s, &v) && v >= 1 && v <= n && v == static_cast<int>(v))
        return UF_UI_MENU_FIRST_ITEM - 1 + static_cast<int>(v);
      std::cout << "Type a number from 1 to " << n << ", b or c.\n";
    }
  }

  int ask_dialog(const DialogRequest& request, std::vector<double>* values,
                 AnswerNote* note) override {
    note->source = "terminal";
    std::size_t width = 0;
    for (const std::string& l : request.labels) width = std::max(width, display_width(l));
    std::cout << "\n " << request.title << "\n";
    for (std::size_t i = 0; i < request.labels.size(); ++i)
      std::cout << "   " << pad(request.labels[i], width) << "  "
                << shortest(request.values[i]) << "\n";
    std::cout << "Enter keeps a value, a number replaces it; b = back, c = cancel.\n";
    for (std::size_t i = 0; i < request.labels.size(); ++i) {
      for (;;) {
        std::string line;
        if (!read_line("   " + pad(request.labels[i], width) + " [" +
                           shortest((*values)[i]) + "]: ",
                       &line))
          return UF_UI_CANCEL;
        const std::string s = lower(trim(line));
        if (s.empty()) break;
        if (is_back(s)) return UF_UI_BACK;
        if (is_cancel(s)) return UF_UI_CANCEL;
        double v = 0;
        if (parse_number(s, &v)) {
          (*values)[i] = v;
          break;
        }
        std::cout << "Type a number, or press Enter to keep the value.\n";
      }
    }
    if (request.labels.empty()) {
      std::string line;
      if (!read_line("Enter = OK, c = cancel: ", &line)) return UF_UI_CANCEL;
      if (is_cancel(lower(trim(line)))) return UF_UI_CANCEL;
    }
    return UF_UI_OK;
  }

  int ask_select(const SelectRequest& request, std::vector<Tag>* chosen,
                 AnswerNote* note) override {
    note->source = "terminal";
    const std::size_t n = request.objects.size();
    std::cout << "\n " << request.prompt << "\n";
    if (n == 0) {
      std::cout << "   (nothing here can be selected)\n";
    } else {
      std::size_t wname = 4, wtype = 4, wtag = 3;
      for (const Selectable& o : request.objects) {
        wname = std::max(wname, display_width(o.name));
        wtype = std::max(wtype, display_width(o.type));
        wtag = std::max(wtag, std::to_string(o.tag).size());
      }
      const std::size_t wnum = std::to_string(n).size();
      std::cout << "   " << pad("#", wnum) << "  " << pad("Name", wname) << "  " << pad("Tag", wtag)
                << "  " << pad("Type", wtype) << "  Size\n";
      for (std::size_t i = 0; i < n; ++i) {
        const Selectable& o = request.objects[i];
        std::cout << "   " << pad(std::to_string(i + 1), wnum) << "  " << pad(o.name, wname)
                  << "  " << pad(std::to_string(o.tag), wtag) << "  " << pad(o.type, wtype)
                  << "  " << o.size << "\n";
      }
    }
    for (;;) {
      std::string line;
      if (!read_line("Numbers (e.g. 1 3), all, Enter = nothing, b = back, c = cancel: ", &line))
        return UF_UI_CANCEL;
      const std::string s = lower(trim(line));
      if (s.empty()) return UF_UI_OK;
      if (is_back(s)) return UF_UI_BACK;
      if (is_cancel(s)) return UF_UI_CANCEL;
      if (s == "all") {
        for (const Selectable& o : request.objects) chosen->push_back(o.tag);
        return UF_UI_OK;
      }
      std::istringstream in(s);
      std::string word;
      std::vector<Tag> picks;
      std::string problem;
      while (in >> word && problem.empty()) {
        double v = 0;
        if (!parse_number(word, &v) || v < 1 || v > static_cast<double>(n) ||
            v != static_cast<int>(v)) {
          problem = "'" + word + "' is not a number from 1 to " + std::to_string(n);
          break;
        }
        const Tag tag = request.objects[static_cast<std::size_t>(v) - 1].tag;
        if (std::find(picks.begin(), picks.end(), tag) != picks.end())
          problem = word + " is picked twice";
        picks.push_back(tag);
      }
      if (problem.empty()) {
        *chosen = picks;
        return UF_UI_OK;
      }
      std::cout << problem << ".\n";
    }
  }

  void ask_message(const std::string& title, const std::string& text,
                   AnswerNote* note) override {
    note->source = "terminal";
    std::cout << "\n " << title << "\n";
    std::istringstream lines(text);
    std::string l;
    while (std::getline(lines, l)) std::cout << " " << l << "\n";
    std::string line;
    read_line("[Enter = OK] ", &line);
  }

  bool ask_save(const SaveRequest& request, std::string* path, AnswerNote* note) override {
    note->source = "terminal";
    std::cout << "\n " << (request.open_mode ? "Open file" : "Save file") << "\n";
    // "Name|pattern|Name|pattern||": one line per entry.
    std::vector<std::string> parts;
    std::string part;
    std::istringstream f(request.filter);
    while (std::getline(f, part, '|')) parts.push_back(part);
    for (std::size_t i = 0; i + 1 < parts.size() && !parts[i].empty(); i += 2)
      std::cout << (i == 0 ? "   Files of type: " : "                  ") << parts[i] << "  "
                << parts[i + 1] << "\n";
    const bool usable_initial = request.file_name.find_first_of("*?") == std::string::npos &&
                                !request.file_name.empty();
    for (;;) {
      std::string line;
      if (!read_line("File name [" + request.file_name + "] (c = cancel): ", &line)) return false;
      std::string typed = trim(line);
      if (is_cancel(lower(typed))) return false;
      if (typed.empty()) {
        if (!usable_initial) {
          std::cout << "Type a file name.\n";
          continue;
        }
        typed = request.file_name;
      }
      std::string why;
      if (resolve_save_path(typed, request.default_ext, path, &why)) return true;
      std::cout << why << ".\n";
    }
  }

 private:
  // false at end of input, which every request takes as cancel.
  bool read_line(const std::string& prompt, std::string* line) {
    std::cout << prompt << std::flush;
    if (std::getline(std::cin, *line)) return true;
    if (!at_end_) std::cout << "\n" << std::flush;
    at_end_ = true;
    return false;
  }

  bool at_end_ = false;
};

}  // namespace

std::unique_ptr<UserInterface> make_terminal_ui() { return std::make_unique<TerminalUi>(); }

}  // namespace ufhost
