#include "ufhost/base/text.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

namespace ufhost {

std::string trim(const std::string& text) {
  const char* blanks = " \t\r\n\f\v";
  const auto first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string lower_extension(const std::string& path) {
  return lower(std::filesystem::path(path).extension().string());
}

std::string joined(const std::vector<std::string>& items, const std::string& separator) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) text += (i == 0 ? "" : separator) + items[i];
  return text;
}

std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string last_line(const std::string& text) {
  std::istringstream in(text);
  std::string line, last;
  while (std::getline(in, line))
    if (const std::string t = trim(line); !t.empty()) last = t;
  if (last.rfind("ufhost: ", 0) == 0) last.erase(0, 8);
  return last;
}

}  // namespace ufhost
