// The options every batch subcommand shares, and the list of its files.
#include "ufhost/app/batch/batch.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <map>
#include <set>

#include "ufhost/base/files.h"

namespace fs = std::filesystem;

namespace ufhost::app {

bool parse_number(const std::string& text, double* value) {
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size() && std::isfinite(*value);
}

bool parse_round_up(const std::string& value, double* step, std::string* error) {
  if (!parse_number(value, step) || *step <= 0) {
    *error = "--round-up " + value + ": give a step greater than 0";
    return false;
  }
  return true;
}

namespace {

bool read_list(const std::string& name, std::string* text, std::string* error) {
  if (name == "-") {
    text->assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return true;
  }
  if (read_file(name, text)) return true;
  *error = "--files-from " + name + ": cannot be read";
  return false;
}

}  // namespace

std::vector<OptionDecl> batch_option_decls() {
  return {
      {"--jobs", "-j", "N", "run N files at once (default 1)"},
      {"--timeout", "", "S", "stop a file's run after S seconds (default 600; 0: never)"},
      kernel_timeout_option(),
      {"--plugin", "", "PATH", "the plug-in library for every run"},
      {"--out-dir", "", "DIR",
       "keep each file's answers, transcript, system log, search log\nand output in DIR/NAME/ "
       "(default: a temporary folder, each\nfile's removed once its row is read)"},
      {"--view-dir", "", "DIR", "write a 3D view of every part as DIR/NAME.html"},
      {"--files-from", "", "FILE",
       "also measure the files listed in FILE, one a line (- :\nstandard input); repeatable"},
      {"--null", "-0", "", "the lists of --files-from end each name with NUL, not a\nnewline"},
      {"--jsonl", "", "FILE",
       "append each file's row to FILE as one JSON line the moment\nthe file is done"},
      {"--resume", "", "",
       "go on from the rows already in --jsonl FILE: files with a\ngood row there are not "
       "measured again"},
      {"--progress", "", "", "show progress on standard error even when it is not a terminal"},
  };
}

bool take_batch_option(const ParsedOption& option, BatchOptions* o, std::string* error) {
  const std::string& name = option.decl->name;
  const std::string& value = option.value;
  double number = 0;
  if (name == "--jobs") {
    if (!parse_number(value, &number) || number < 1 || number > 256 ||
        number != std::floor(number))
      *error = option.written + " " + value + ": give a whole number from 1 to 256";
    else
      o->jobs = static_cast<int>(number);
  } else if (name == "--timeout") {
    if (!parse_number(value, &number) || number < 0)
      *error = "--timeout " + value + ": give seconds, 0 or more";
    else
      o->timeout = number;
  } else if (name == "--kernel-timeout") {
    parse_kernel_time_limit(value, &o->kernel_timeout, error);
  } else if (name == "--plugin") {
    o->plugin = value;
  } else if (name == "--out-dir") {
    o->out_dir = value;
  } else if (name == "--view-dir") {
    o->view_dir = value;
  } else if (name == "--files-from") {
    o->files_from.push_back(value);
  } else if (name == "--null") {
    o->null_separated = true;
  } else if (name == "--jsonl") {
    o->jsonl = value;
  } else if (name == "--resume") {
    o->resume = true;
  } else if (name == "--progress") {
    o->progress = true;
  } else {
    return false;
  }
  return true;
}

std::vector<std::string> split_file_list(const std::string& text, bool null_separated) {
  std::vector<std::string> names;
  const char end = null_separated ? '\0' : '\n';
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t to = text.find(end, from);
    if (to == std::string::npos) to = text.size();
    std::string name = text.substr(from, to - from);
    if (!null_separated) {
      if (!name.empty() && name.back() == '\r') name.pop_back();
      if (name.find_first_not_of(" \t") == std::string::npos) name.clear();
    }
    if (!name.empty()) names.push_back(std::move(name));
    from = to + 1;
  }
  return names;
}

bool finish_batch_options(BatchOptions* o, const std::string& subcommand, std::string* error,
                          bool need_files) {
  if (o->resume && o->jsonl.empty()) {
    *error = "--resume goes on from the rows of --jsonl FILE: give it";
    return false;
  }
  if (o->null_separated && o->files_from.empty()) {
    *error = "-0 is for the lists of --files-from: give one";
    return false;
  }
  if (std::count(o->files_from.begin(), o->files_from.end(), std::string("-")) > 1) {
    *error = "--files-from - can be given once: standard input is read once";
    return false;
  }
  for (const std::string& list : o->files_from) {
    std::string text;
    if (!read_list(list, &text, error)) return false;
    // A list with NULs read line by line, or the other way round, would give
    // names that are no files; say so rather than fail each file.
    if (!o->null_separated && text.find('\0') != std::string::npos) {
      *error = "--files-from " + list + " holds NUL characters: give -0 for a NUL-separated list";
      return false;
    }
    for (std::string& name : split_file_list(text, o->null_separated))
      o->parts.push_back(std::move(name));
  }
  if (o->parts.empty() && need_files) {
    *error = o->files_from.empty() ? "no part files given (see " + subcommand + " --help)"
                                   : "no part files given: the lists of --files-from are empty";
    return false;
  }
  std::error_code ec;
  o->plugin = fs::absolute(o->plugin.empty() ? plugin_default() : o->plugin, ec).string();
  return true;
}

RunsFolder::~RunsFolder() {
  std::error_code ec;
  if (temporary_) fs::remove_all(path_, ec);
}

bool RunsFolder::make(const std::string& out_dir, const std::string& subcommand, std::string* error) {
  std::error_code ec;
  if (out_dir.empty()) {
    std::string pattern = (fs::temp_directory_path(ec) / ("ufhost-" + subcommand + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
      *error = "cannot make a temporary folder";
      return false;
    }
    path_ = pattern;
    temporary_ = true;
    return true;
  }
  fs::create_directories(out_dir, ec);
  if (!fs::is_directory(out_dir, ec)) {
    *error = "--out-dir " + out_dir + " cannot be made";
    return false;
  }
  path_ = out_dir;
  return true;
}

std::vector<std::string> unique_names(const std::vector<std::string>& parts) {
  std::vector<std::string> names;
  std::map<std::string, int> seen;
  for (const std::string& part : parts) {
    std::string stem = fs::path(part).stem().string();
    if (stem.empty()) stem = "part";
    const int n = ++seen[stem];
    names.push_back(n == 1 ? stem : stem + "-" + std::to_string(n));
  }
  // A later "a-2" given as a file of its own could meet a renamed "a".
  std::set<std::string> taken;
  for (std::string& name : names) {
    while (!taken.insert(name).second) name += "_";
  }
  return names;
}

}  // namespace ufhost::app
