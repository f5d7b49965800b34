// Small text helpers that every part of ufhost shares, each with one home.
// ASCII only: case is folded and blanks are trimmed byte by byte, which
// leaves UTF-8 letters beyond ASCII as they are.
#pragma once

#include <string>
#include <vector>

namespace ufhost {

// Without blanks (space, tab, CR, LF, FF, VT) at either end.
std::string trim(const std::string& text);

// ASCII letters in lower case.
std::string lower(std::string text);

// The file name's extension with its dot, in lower case: "part.STEP" → ".step".
std::string lower_extension(const std::string& path);

// The items with `separator` between them.
std::string joined(const std::vector<std::string>& items, const std::string& separator);

// A CSV field as RFC 4180 quotes it: as it is, unless it holds a comma, a
// quote or a line break, then in quotes with its quotes doubled.
std::string csv_field(const std::string& text);

// The fields of one CSV line, each trimmed: commas split them, double
// quotes hold commas and quotes ("" is one quote), a carriage return is
// dropped. false when a quote is left open.
bool csv_fields(const std::string& line, std::vector<std::string>* fields);

// Text as HTML shows it, in an element or an attribute: & < > " escaped.
std::string html_escape(const std::string& text);

// The last line of `text` that is not blank, trimmed, without a leading
// "ufhost: " (a program's last words as a reason).
std::string last_line(const std::string& text);

}  // namespace ufhost
