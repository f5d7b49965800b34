#include "ufhost/base/numbers.h"

#include <charconv>
#include <cstdio>

namespace ufhost {

namespace {

// Every character of the text: "%.6f" of a large number runs to hundreds of
// digits, and a number cut short is another number.
std::string printed(const char* format, double value) {
  char text[64];
  const int n = std::snprintf(text, sizeof text, format, value);
  if (n < 0) return "";
  if (static_cast<std::size_t>(n) < sizeof text) return text;
  std::string whole(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(whole.data(), whole.size(), format, value);
  whole.resize(static_cast<std::size_t>(n));
  return whole;
}

}  // namespace

std::string fixed6(double value) {
  const std::string text = printed("%.6f", value);
  return text == "-0.000000" ? "0.000000" : text;
}

std::string fixed6_trimmed(double value) {
  std::string text = fixed6(value);
  if (text.find('.') != std::string::npos) {
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
  }
  return text;
}

std::string all_digits(double value) { return printed("%.17g", value); }

std::string shortest(double value) {
  char text[64];
  const auto r = std::to_chars(text, text + sizeof text, value);
  return std::string(text, r.ptr);
}

std::string general(double value) { return printed("%g", value); }

std::string one_digit(double value) { return printed("%.1e", value); }

}  // namespace ufhost
