#include "ufhost/app/options.h"

#include <algorithm>

namespace ufhost::app {

namespace {

const OptionSpec* find_long(const std::vector<OptionSpec>& table, const std::string& name) {
  for (const OptionSpec& spec : table)
    if (spec.name == name) return &spec;
  return nullptr;
}

// The option whose short name starts `arg` ("-j4" or "-j"); *attached gets
// what follows the short name.
const OptionSpec* find_short(const std::vector<OptionSpec>& table, const std::string& arg,
                             std::string* attached) {
  for (const OptionSpec& spec : table) {
    if (spec.short_name.empty() || arg.rfind(spec.short_name, 0) != 0) continue;
    if (arg.size() > spec.short_name.size() && spec.value.empty()) continue;
    *attached = arg.substr(spec.short_name.size());
    return &spec;
  }
  return nullptr;
}

std::string synopsis(const OptionSpec& spec) {
  const std::string value = spec.value.empty() ? "" : " " + spec.value;
  return (spec.short_name.empty() ? "" : spec.short_name + value + ", ") + spec.name + value;
}

}  // namespace

bool parse_args(const std::vector<OptionSpec>& table, const std::vector<std::string>& args,
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
    const OptionSpec* spec = nullptr;
    std::string value, name = arg;
    bool has_value = false;
    if (arg.rfind("--", 0) == 0) {
      const auto eq = arg.find('=');
      if (eq != std::string::npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
        has_value = true;
      }
      spec = find_long(table, name);
    } else if ((spec = find_short(table, arg, &value)) != nullptr) {
      name = spec->short_name;
      has_value = !value.empty();
    }
    if (spec == nullptr) {
      *error = "unknown option " + name + " (see " + see + ")";
      return false;
    }
    if (spec->value.empty()) {
      if (has_value) {
        *error = name + " takes no value";
        return false;
      }
      if (spec->stops) {
        parsed->stop = spec;
        return true;
      }
    } else if (!has_value) {
      if (i + 1 >= args.size()) {
        *error = name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (!spec->value.empty() && value.empty() && !spec->empty_allowed) {
      *error = name + " needs a non-empty value";
      return false;
    }
    parsed->options.push_back({spec, name, value});
  }
  return true;
}

std::string options_help(const std::vector<OptionSpec>& table) {
  std::size_t width = 0;
  for (const OptionSpec& spec : table) width = std::max(width, synopsis(spec).size());
  const std::string indent(width + 4, ' ');
  std::string text;
  for (const OptionSpec& spec : table) {
    const std::string head = synopsis(spec);
    text += "  " + head + std::string(width + 2 - head.size(), ' ');
    for (char c : spec.help) text += c == '\n' ? "\n" + indent : std::string(1, c);
    text += "\n";
  }
  return text;
}

}  // namespace ufhost::app
