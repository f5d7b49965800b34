// Command lines read from a table: each option declared once, with whether
// it takes a value and its help, so that parsing and --help cannot disagree.
//
// The rules are those of the documented command line: `--name VALUE` and
// `--name=VALUE`; a short name with the value attached (`-j4`) or apart;
// `--` ends the options; a lone `-` is an operand. A value is taken as it
// comes even when it looks like an option (`--answer --progress` answers
// "--progress"). Debian's command-line libraries were tried and do not keep
// these: one takes the next word for an empty `--answer=`, the other splits
// a value at its commas.
#pragma once

#include <string>
#include <vector>

namespace ufhost {

struct OptionDecl {
  std::string name;            // "--answers"
  std::string short_name;      // "-j", or ""
  std::string value;           // what the value is, for the help ("FILE"); "" for a flag
  std::string help;            // its help; a '\n' starts a continuation line
  bool empty_allowed = false;  // an empty value is a value (`--answer ""`)
  bool stops = false;          // ends the parsing when it comes: --help, --version
};

struct ParsedOption {
  const OptionDecl* decl = nullptr;
  std::string written;  // the name as given: "-j" or "--jobs"
  std::string value;
};

struct ParsedArgs {
  std::vector<ParsedOption> options;  // in the order given
  std::vector<std::string> operands;
  const OptionDecl* stop = nullptr;  // the option that ended the parsing (--help), if any
};

// Parses `args` (without the program's name) against `table`. false with a
// one-line message: an unknown option (`see` names where to look), a value
// missing or empty, a value given to a flag.
bool parse_args(const std::vector<OptionDecl>& table, const std::vector<std::string>& args,
                const std::string& see, ParsedArgs* parsed, std::string* error);

// How --help shows an option: "-j N, --jobs N", "--progress".
std::string option_synopsis(const OptionDecl& decl);

// The options' part of a help text: one entry a line, help aligned.
std::string options_help(const std::vector<OptionDecl>& table);

// An exit status and what it means, for --help and the manual.
struct ExitStatusInfo {
  int status;
  const char* meaning;
};
// Exit statuses laid out as --help shows them, one a line.
std::string exit_status_help(const std::vector<ExitStatusInfo>& statuses);

}  // namespace ufhost
