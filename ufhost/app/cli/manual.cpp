#include "ufhost/app/cli/manual.h"

#include <cctype>

#include "ufhost/app/cli/cli.h"
#include "ufhost/app/run/list.h"

namespace ufhost::app {

namespace {

// Text as roff shows it: backslashes and hyphens escaped, and no line that
// starts with a control character. A help's line breaks become blanks.
std::string roff(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else if (c == '\n') out += ' ';
    else out += c;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
  return out;
}

std::string options_section(const std::vector<OptionDecl>& table) {
  std::string text;
  for (const OptionDecl& decl : table) {
    const std::string value = decl.value.empty() ? "" : " \\fI" + roff(decl.value) + "\\fR";
    text += ".TP\n";
    if (!decl.short_name.empty()) text += "\\fB" + roff(decl.short_name) + "\\fR" + value + ", ";
    text += "\\fB" + roff(decl.name) + "\\fR" + value + "\n" + roff(decl.help) + "\n";
  }
  return text;
}

std::string statuses_section(const std::vector<ExitStatusInfo>& statuses) {
  std::string text;
  for (const ExitStatusInfo& s : statuses)
    text += ".TP\n.B " + std::to_string(s.status) + "\n" + roff(s.meaning) + "\n";
  return text;
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::string manual_page() {
  std::string page =
      ".TH UFHOST 1 \"\" \"ufhost " ZARVEL_VERSION "\" \"User Commands\"\n"
      ".SH NAME\n"
      "ufhost \\- run the Zarvel_06 plug-in in part files, one at a time or by the thousand\n"
      ".SH SYNOPSIS\n"
      ".B ufhost\n[\\fIoptions\\fR] \\fIPART\\fR\n";
  for (const ModeInfo& mode : mode_table())
    page += ".br\n.B ufhost " + roff(mode.name) + "\n" + roff(mode.arguments) + "\n";
  page +=
      ".br\n.B ufhost measure \\-\\-merge\n[\\fIoptions\\fR] \\fIJSONL\\fR...\n"
      ".SH DESCRIPTION\n"
      "\\fBufhost\\fR is a stand\\-in CAD host on Open CASCADE. It opens \\fIPART\\fR (STEP, "
      "IGES, BREP or STL), loads the plug\\-in Zarvel_06, which measures the overall "
      "dimensions of solid bodies, and shows its menus and dialogs at the terminal, "
      "answers them from a script (\\fB\\-\\-answers\\fR), or in a page of a local browser "
      "(\\fB\\-\\-ui browser\\fR).\n"
      ".PP\n"
      "\\fBufhost measure\\fR runs the plug-in on many part files, each in a process of its "
      "own, and prints one row per file: the lengths along X, Y and Z, their sum, the same "
      "sorted, and how exact they are. " +
      roff(units_note()) +
      "\n"
      ".PP\n"
      "\\fBufhost cutlist\\fR sorts the solid bodies of part files and assemblies into "
      "distinct parts, measures each once, and prints one row per group of parts whose "
      "blanks agree: the quantity, the names, the blank, with an allowance, and the "
      "standard stock (plate, sheet, flat, square, round or hexagonal bar) to cut it from, "
      "with a shopping list.\n"
      ".SH OPTIONS\n" +
      options_section(run_option_table()) +
      ".SH MODES\n";
  for (const ModeInfo& mode : mode_table())
    page += ".TP\n\\fB" + roff(mode.name) + "\\fR " + roff(mode.arguments) + "\n" +
            roff(mode.help) + "\n";
  for (const ModeInfo& mode : mode_table())
    if (!mode.options.empty())
      page += ".SH " + upper(mode.name) + " OPTIONS\n" + options_section(mode.options);
  page += ".SH EXIT STATUS\nOf a run:\n" + statuses_section(run_exit_statuses());
  for (const ModeInfo& mode : mode_table())
    if (!mode.statuses.empty())
      page += ".PP\nOf \\fBufhost " + roff(mode.name) + "\\fR:\n" + statuses_section(mode.statuses);
  page += ".SH ENVIRONMENT\n"
          ".TP\n.B UFHOST_PLUGIN\nthe plug-in library, when \\fB\\-\\-plugin\\fR is not given\n"
          ".TP\n.B ZARVEL_WEB_DIR\nanother copy of the pages' folder\n"
          ".TP\n.B XDG_STATE_HOME\nwhere the system log goes without \\fB\\-\\-syslog\\fR\n"
          ".SH FILES\n"
          "Found beside the executable, so that an installed tree can be moved:\n"
          ".TP\n.I PREFIX/lib/zarvel/plugin/release/Zarvel_06.so\n"
          "the plug-in (\\fIplugin/debug/\\fR: its debug configuration)\n"
          ".TP\n.I PREFIX/share/zarvel/web/\nthe pages of \\fB\\-\\-view\\fR and "
          "\\fB\\-\\-ui browser\\fR\n"
          ".TP\n.I PREFIX/share/zarvel/data/stock-default.csv\nthe stock catalogue of "
          "\\fB\\-\\-stock default\\fR\n"
          ".TP\n.I PREFIX/share/zarvel/samples/\nsample parts\n"
          ".SH EXAMPLES\n"
          "Measure every body of a part with the first command:\n"
          ".PP\n.nf\n.RS\n"
          "ufhost part.step \\-\\-answer \"menu 1\" \\-\\-answer \"select all\" "
          "\\-\\-answer \"dialog ok\" \\-\\-answer \"menu cancel\"\n"
          ".RE\n.fi\n"
          ".PP\nMeasure a library of parts listed in a file, keeping every row as it comes, and go "
          "on after a stop:\n"
          ".PP\n.nf\n.RS\n"
          "find /vault \\-name \\(aq*.step\\(aq \\-print0 > list\n"
          "ufhost measure \\-j 2 \\-\\-files\\-from list \\-0 \\-\\-jsonl rows.jsonl \\-\\-resume "
          "\\-\\-csv rows.csv\n"
          ".RE\n.fi\n"
          ".PP\nThe cut list of an assembly, with 2 mm on every side and standard stock:\n"
          ".PP\n.nf\n.RS\n"
          "ufhost cutlist \\-\\-stock default \\-\\-allowance 2 \\-\\-html cut.html assembly.step\n"
          ".RE\n.fi\n"
          ".SH SEE ALSO\n"
          "README.md and docs/ in PREFIX/share/doc/zarvel: the answers format, the transcript, "
          "batches over many machines (docs/scale.md), the cut list and its catalogue (docs/cutlist.md).\n";
  return page;
}

}  // namespace ufhost::app
