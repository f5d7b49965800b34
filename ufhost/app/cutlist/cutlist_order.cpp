// The order: which files, and how many of each the workshop builds.
#include <charconv>
#include <filesystem>
#include <map>
#include <sstream>

#include "ufhost/app/cutlist/cutlist_internal.h"
#include "ufhost/base/files.h"
#include "ufhost/base/text.h"

namespace fs = std::filesystem;

namespace ufhost::app {

namespace {

// How many of a file to build: a whole number from 1 to a million.
bool read_count(const std::string& text, int* count) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, *count);
  return !text.empty() && ec == std::errc() && ptr == end && *count >= 1 && *count <= 1'000'000;
}

// FILE or FILE:N. A name that is a file as it stands is one, colon or not.
bool split_operand(const std::string& operand, std::string* file, int* count, std::string* error) {
  std::error_code ec;
  const auto colon = operand.rfind(':');
  *file = operand;
  *count = 1;
  if (colon == std::string::npos || fs::exists(operand, ec)) return true;
  const std::string tail = operand.substr(colon + 1);
  if (tail.empty() || tail.find_first_not_of("0123456789") != std::string::npos) return true;
  if (!read_count(tail, count)) {
    *error = operand + ": build 1 to 1000000 of a file (FILE:N)";
    return false;
  }
  *file = operand.substr(0, colon);
  return true;
}

// The lines of --order FILE: file,quantity, with a header naming them.
bool read_order(const std::string& path, std::vector<std::pair<std::string, int>>* order, std::string* error) {
  std::string text;
  if (!read_file(path, &text)) {
    *error = "--order " + path + ": cannot be read";
    return false;
  }
  const fs::path folder = fs::absolute(path).parent_path();
  std::istringstream in(text);
  std::string line;
  int number = 0;
  std::size_t file_at = std::string::npos, quantity_at = std::string::npos;
  while (std::getline(in, line)) {
    ++number;
    if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);  // a spreadsheet's mark
    if (trim(line).empty() || trim(line)[0] == '#') continue;
    std::vector<std::string> f;
    const std::string where = "--order " + path + ":" + std::to_string(number) + ": ";
    if (!csv_fields(line, &f)) {
      *error = where + "a quote is not closed";
      return false;
    }
    if (file_at == std::string::npos) {
      for (std::size_t i = 0; i < f.size(); ++i) {
        if (lower(f[i]) == "file") file_at = i;
        if (lower(f[i]) == "quantity") quantity_at = i;
      }
      if (file_at == std::string::npos || quantity_at == std::string::npos) {
        *error = where + "the header names no column file or quantity";
        return false;
      }
      continue;
    }
    int count = 0;
    if (f.size() <= std::max(file_at, quantity_at) || f[file_at].empty() || !read_count(f[quantity_at], &count)) {
      *error = where + "give a file and a quantity from 1 to 1000000";
      return false;
    }
    // Relative paths are the order's: from the folder it lies in.
    const fs::path file(f[file_at]);
    order->emplace_back(file.is_absolute() ? file.string() : (folder / file).lexically_normal().string(), count);
  }
  return true;
}

}  // namespace

bool order_files(CutlistOptions* options, std::string* error) {
  std::vector<std::pair<std::string, int>> order;
  for (const std::string& operand : options->run.parts) {
    std::string file;
    int count = 1;
    if (!split_operand(operand, &file, &count, error)) return false;
    order.emplace_back(file, count);
  }
  if (!options->order.empty() && !read_order(options->order, &order, error)) return false;
  std::map<std::string, std::size_t> at;  // absolute path: place in files
  std::error_code ec;
  for (const auto& [given, count] : order) {
    const std::string path = fs::absolute(given, ec).lexically_normal().string();
    const auto [it, fresh] = at.emplace(path, options->files.size());
    if (fresh) options->files.push_back({given, path, 0});
    OrderedFile& file = options->files[it->second];
    if (file.ordered + count > 1'000'000) {
      *error = given + ": more than 1000000 in all";
      return false;
    }
    file.ordered += count;
  }
  if (options->files.empty()) {
    *error = "no part files given (see ufhost cutlist --help)";
    return false;
  }
  return true;
}

}  // namespace ufhost::app
