#include "ufhost/base/options.h"

#include <algorithm>

namespace ufhost {

namespace {

const OptionDecl* find_long(const std::vector<OptionDecl>& table, const std::string& name) {
  for (const OptionDecl& decl : table)
    if (decl.name == name) return &decl;
  return nullptr;
}

// The option whose short name starts `arg` ("-j4" or "-j"); *attached gets
// what follows the short name.
const OptionDecl* find_short(const std::vector<OptionDecl>& table, const std::string& arg,
                             std::string* attached) {
  for (const OptionDecl& decl : table) {
    if (decl.short_name.empty() || arg.rfind(decl.short_name, 0) != 0) continue;
    if (arg.size() > decl.short_name.size() && decl.value.empty()) continue;
    *attached = arg.substr(decl.short_name.size());
    return &decl;
  }
  return nullptr;
}

}  // namespace

std::string option_synopsis(const OptionDecl& decl) {
  const std::string value = decl.value.empty() ? "" : " " + decl.value;
  return (decl.short_name.empty() ? "" : decl.short_name + value + ", ") + decl.name + value;
}

bool parse_args(const std::vector<OptionDecl>& table, const std::vector<std::string>& args,
                const std::string& see, ParsedArgs* parsed, std::string* error) {
  *parsed = ParsedArgs{};
  bool options_end = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      parsed->operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    const OptionDecl* decl = nullptr;
    std::string value, name = arg;
    bool has_value = false;
    if (arg.rfind("--", 0) == 0) {
      const auto eq = arg.find('=');
      if (eq != std::string::npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
        has_value = true;
      }
      decl = find_long(table, name);
    } else if ((decl = find_short(table, arg, &value)) != nullptr) {
      name = decl->short_name;
      has_value = !value.empty();
    }
    if (decl == nullptr) {
      *error = "unknown option " + name + " (see " + see + ")";
      return false;
    }
    if (decl->value.empty()) {
      if (has_value) {
        *error = name + " takes no value";
        return false;
      }
      if (decl->stops) {
        parsed->stop = decl;
        return true;
      }
    } else if (!has_value) {
      if (i + 1 >= args.size()) {
        *error = name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (!decl->value.empty() && value.empty() && !decl->empty_allowed) {
      *error = name + " needs a non-empty value";
      return false;
    }
    parsed->options.push_back({decl, name, value});
  }
  return true;
}

std::string options_help(const std::vector<OptionDecl>& table) {
  std::size_t width = 0;
  for (const OptionDecl& decl : table) width = std::max(width, option_synopsis(decl).size());
  const std::string indent(width + 4, ' ');
  std::string text;
  for (const OptionDecl& decl : table) {
    const std::string head = option_synopsis(decl);
    text += "  " + head + std::string(width + 2 - head.size(), ' ');
    for (char c : decl.help) text += c == '\n' ? "\n" + indent : std::string(1, c);
    text += "\n";
  }
  return text;
}

std::string exit_status_help(const std::vector<ExitStatusInfo>& statuses) {
  std::vector<OptionDecl> rows;
  for (const ExitStatusInfo& s : statuses) rows.push_back({std::to_string(s.status), "", "", s.meaning});
  return options_help(rows);
}

}  // namespace ufhost
