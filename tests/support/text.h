// Reading back what a run wrote: whole files, their lines, the numbers in a
// line. No test framework here, so the benchmarks include it too.
#pragma once

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

// The bytes of the file at `path`; "" when it cannot be read.
inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The lines of `text` without their line ends; a last line without one
// counts too.
inline std::vector<std::string> split_lines(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The numbers in a line of a log, in order. A number starts with a digit or
// a minus sign, so the dots and colons of the labels between them are
// passed over.
inline std::vector<double> numbers_in(const std::string& line) {
  std::vector<double> out;
  const char* p = line.c_str();
  while (*p != '\0') {
    char* end = nullptr;
    const double v = std::strtod(p, &end);
    if (end != p && (std::isdigit(static_cast<unsigned char>(*p)) || *p == '-')) {
      out.push_back(v);
      p = end;
    } else {
      ++p;
    }
  }
  return out;
}

}  // namespace testing_support
