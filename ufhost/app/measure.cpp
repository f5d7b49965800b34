// [SECTION] Options
// [SECTION] One file: its process and what it left
// [SECTION] Rows: table, CSV, JSON
// [SECTION] The subcommand
#include "ufhost/app/measure.h"

#include <Precision.hxx>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "ufhost/app/files.h"
#include "ufhost/app/list.h"
#include "ufhost/core/containment.h"
#include "ufhost/core/progress.h"
#include "ufhost/ui/ui.h"

extern char** environ;

namespace fs = std::filesystem;

namespace ufhost::app {

namespace {

// [SECTION] Options

enum class Command { Extents, Frame, Search };

struct CommandInfo {
  Command command;
  const char* name;
  int menu_item;             // the plug-in's menu, counted from 1
  double refinement;         // the tolerance the command measures to
};
// The frame command shows the host's exact box: no refinement of its own.
constexpr CommandInfo kCommands[] = {
    {Command::Extents, "extents", 1, 1e-8},
    {Command::Frame, "frame", 2, 0.0},
    {Command::Search, "search", 3, 1e-9},
};

struct Options {
  const CommandInfo* command = &kCommands[0];
  int jobs = 1;
  std::string csv, json, view_dir, out_dir, plugin;
  double round_up = 0;  // 0: no rounding
  double timeout = 600;
  std::string kernel_timeout;  // handed to every run as given; "" the runs' default
  bool progress = false;
  std::vector<std::string> parts;
};

std::string usage() {
  return "Usage: ufhost measure [options] PART...\n"
         "Runs the plug-in on every PART, each in its own ufhost process, selecting every\n"
         "body and answering the dialogs itself, and prints one row per file.\n"
         "\n"
         "Options:\n"
         "  --command C       extents (default: facets refined by section planes to 1e-8),\n"
         "                    frame (the host's exact box of the first body), or search\n"
         "                    (the orientation of smallest X + Y, precision 1e-6)\n"
         "  -j N, --jobs N    run N files at once (default 1)\n"
         "  --csv FILE        write the rows as CSV\n"
         "  --json FILE       write the rows as JSON\n"
         "  --round-up STEP   also give the sorted lengths rounded up to a multiple of STEP\n"
         "  --view-dir DIR    write a 3D view of every part as DIR/NAME.html\n"
         "  --out-dir DIR     keep each file's answers, transcript, system log, search log\n"
         "                    and output in DIR/NAME/ (default: a temporary folder, removed)\n"
         "  --timeout S       stop a file's run after S seconds (default 600; 0: never)\n"
         "  --kernel-timeout S\n"
         "                    each run's limit for one piece of kernel work (default 60 s;\n"
         "                    reading the part: 60 s per 10 MB started; see ufhost --help)\n"
         "  --plugin PATH     the plug-in library for every run\n"
         "  --progress        show progress on standard error even when it is not a terminal\n"
         "\n" +
         units_note() +
         "\n"
         "Exit status: 0 every file measured; 1 bad options; 2 some file gave an error row;\n"
         "4 --csv or --json could not be written.\n";
}

bool parse_number(const std::string& text, double* value) {
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size() && std::isfinite(*value);
}

// Returns false with a message; *help set for --help.
bool parse_options(const std::vector<std::string>& args, Options* o, bool* help,
                   std::string* error) {
  static const std::set<std::string> with_value = {
      "--command", "-j", "--jobs", "--csv", "--json", "--round-up", "--view-dir", "--out-dir",
      "--timeout", "--plugin", "--kernel-timeout"};
  bool options_end = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      o->parts.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      *help = true;
      return true;
    }
    if (arg == "--progress") {
      o->progress = true;
      continue;
    }
    std::string value;
    const auto eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.erase(eq);
    } else if (arg.rfind("-j", 0) == 0 && arg.size() > 2) {
      value = arg.substr(2);
      arg = "-j";
    } else if (with_value.count(arg)) {
      if (i + 1 >= args.size()) {
        *error = arg + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (!with_value.count(arg)) {
      *error = "unknown option " + arg + " (see ufhost measure --help)";
      return false;
    }
    if (value.empty()) {
      *error = arg + " needs a non-empty value";
      return false;
    }
    double number = 0;
    if (arg == "--command") {
      o->command = nullptr;
      for (const CommandInfo& c : kCommands)
        if (value == c.name) o->command = &c;
      if (o->command == nullptr) {
        *error = "--command " + value + ": choose extents, frame or search";
        return false;
      }
    } else if (arg == "-j" || arg == "--jobs") {
      if (!parse_number(value, &number) || number < 1 || number > 256 ||
          number != std::floor(number)) {
        *error = arg + " " + value + ": give a whole number from 1 to 256";
        return false;
      }
      o->jobs = static_cast<int>(number);
    } else if (arg == "--round-up") {
      if (!parse_number(value, &number) || number <= 0) {
        *error = "--round-up " + value + ": give a step greater than 0";
        return false;
      }
      o->round_up = number;
    } else if (arg == "--timeout") {
      if (!parse_number(value, &number) || number < 0) {
        *error = "--timeout " + value + ": give seconds, 0 or more";
        return false;
      }
      o->timeout = number;
    } else if (arg == "--kernel-timeout") {
      if (!parse_kernel_time_limit(value, &number, error)) return false;
      o->kernel_timeout = value;
    } else if (arg == "--csv") {
      o->csv = value;
    } else if (arg == "--json") {
      o->json = value;
    } else if (arg == "--view-dir") {
      o->view_dir = value;
    } else if (arg == "--out-dir") {
      o->out_dir = value;
    } else if (arg == "--plugin") {
      o->plugin = value;
    }
  }
  if (o->parts.empty()) {
    *error = "no part files given (see ufhost measure --help)";
    return false;
  }
  return true;
}

// [SECTION] One file: its process and what it left

struct Row {
  std::string file;  // as given
  std::string error;
  std::string units;
  int bodies = 0;
  double lengths[3] = {0, 0, 0};
  double sum = 0;
  bool has_angles = false;
  double degrees[4] = {0, 0, 0, 0};  // about Z, Y, X, Z again, as the search log gives them
  double radians[4] = {0, 0, 0, 0};
  double sorted[3] = {0, 0, 0};
  bool has_rounded = false;
  double rounded[3] = {0, 0, 0};
  double max_tolerance = 0;
  double exactness = 0;
  std::string log;   // the search log, when kept
  std::string view;  // the page, when written
};

struct Job {
  std::size_t index = 0;
  std::string part;  // absolute
  std::string dir;   // the run's own folder
  std::string view;  // the page to write, or ""
  pid_t pid = -1;
  std::chrono::steady_clock::time_point start;
  bool timed_out = false;
};

std::string trim(std::string text) {
  const char* blanks = " \t\r\n";
  text.erase(0, text.find_first_not_of(blanks));
  const auto last = text.find_last_not_of(blanks);
  text.erase(last == std::string::npos ? 0 : last + 1);
  return text;
}

std::string last_line(const std::string& text) {
  std::stringstream ss(text);
  std::string line, last;
  while (std::getline(ss, line))
    if (!trim(line).empty()) last = trim(line);
  if (last.rfind("ufhost: ", 0) == 0) last.erase(0, 8);
  return last;
}

// A name for each file's outputs that no other file of the batch has.
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

std::vector<std::string> answers_for(const CommandInfo& command, const std::string& log) {
  std::vector<std::string> lines = {"menu " + std::to_string(command.menu_item), "select all"};
  if (command.command == Command::Search) {
    lines.push_back("dialog ok 1e-6");
    lines.push_back("save " + log);
  } else {
    lines.push_back("dialog ok");
  }
  lines.push_back("menu cancel");
  return lines;
}

std::string self_executable() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("ufhost") : exe.string();
}

bool start(Job& job, const Options& options, std::string* error) {
  std::error_code ec;
  fs::create_directories(job.dir, ec);
  const std::string answers = job.dir + "/answers.txt";
  {
    std::ofstream out(answers);
    for (const std::string& line : answers_for(*options.command, job.dir + "/search-log.txt"))
      out << line << "\n";
    if (!out) {
      *error = "cannot write " + answers;
      return false;
    }
  }
  std::vector<std::string> args = {self_executable(), job.part,
                                   "--answers", answers,
                                   "--transcript", job.dir + "/transcript.jsonl",
                                   "--syslog", job.dir + "/syslog.txt",
                                   "--report", job.dir + "/report.json"};
  if (!job.view.empty()) args.insert(args.end(), {"--view", job.view});
  if (!options.plugin.empty()) args.insert(args.end(), {"--plugin", options.plugin});
  if (!options.kernel_timeout.empty())
    args.insert(args.end(), {"--kernel-timeout", options.kernel_timeout});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, (job.dir + "/stdout.txt").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, (job.dir + "/stderr.txt").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  // The debug build of the plug-in writes its log to the current folder.
  posix_spawn_file_actions_addchdir_np(&actions, job.dir.c_str());
  const int rc = posix_spawn(&job.pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    *error = "cannot start " + args[0] + ": " + std::strerror(rc);
    job.pid = -1;
    return false;
  }
  job.start = std::chrono::steady_clock::now();
  return true;
}

std::vector<nlohmann::json> read_transcript(const std::string& path) {
  std::vector<nlohmann::json> entries;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
    if (!entry.is_discarded()) entries.push_back(std::move(entry));
  }
  return entries;
}

const nlohmann::json* first_of(const std::vector<nlohmann::json>& entries, const std::string& kind,
                               const std::string& title = "") {
  for (const nlohmann::json& e : entries)
    if (e.value("kind", "") == kind && (title.empty() || e.value("title", "") == title)) return &e;
  return nullptr;
}

// The search log's angle lines name their axis but not their pass, and the
// passes about Z come first and last. Two Z lines are passes 1 and 4. A single
// Z line after a Y or X line is pass 4. A single Z line before them, or alone,
// is pass 1: had pass 1 found 0 and nothing turned the cloud since, pass 4
// would scan the very same cloud and find 0 as well.
bool read_search_log(const std::string& path, Row* row, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "the search wrote no log";
    return false;
  }
  struct Angle {
    char axis;
    double degrees, radians;
  };
  std::vector<Angle> angles;
  bool final_line = false;
  std::string raw;
  while (std::getline(in, raw)) {
    const std::string line = trim(cp1251_to_utf8(raw));
    const std::string angle_prefix = "Угол поворота по ";
    const std::string final_prefix = "Конечные габариты:";
    if (line.rfind(angle_prefix, 0) == 0 && line.size() > angle_prefix.size()) {
      Angle a{line[angle_prefix.size()], 0, 0};
      const auto colon = line.find(':', angle_prefix.size());
      if (colon == std::string::npos ||
          std::sscanf(line.c_str() + colon + 1, "%lf(%lf)", &a.degrees, &a.radians) != 2) {
        *error = "the search log has an unreadable line: " + line;
        return false;
      }
      angles.push_back(a);
    } else if (line.rfind(final_prefix, 0) == 0) {
      const std::string rest = line.substr(final_prefix.size());
      const auto sum_at = rest.find("Сумма:");
      if (sum_at == std::string::npos ||
          std::sscanf(rest.c_str(), "%lf %lf %lf", &row->lengths[0], &row->lengths[1],
                      &row->lengths[2]) != 3 ||
          std::sscanf(rest.c_str() + sum_at + std::strlen("Сумма:"), "%lf", &row->sum) != 1) {
        *error = "the search log has an unreadable final line: " + line;
        return false;
      }
      final_line = true;
    }
  }
  if (!final_line) {
    *error = "the search log has no final line";
    return false;
  }
  int z_lines = 0;
  for (const Angle& a : angles) z_lines += a.axis == 'Z';
  bool seen_yx = false;
  int z_seen = 0;
  for (const Angle& a : angles) {
    int slot = -1;
    if (a.axis == 'Y') slot = 1;
    if (a.axis == 'X') slot = 2;
    if (a.axis == 'Z') slot = z_lines == 2 ? (z_seen++ == 0 ? 0 : 3) : (seen_yx ? 3 : 0);
    if (a.axis == 'Y' || a.axis == 'X') seen_yx = true;
    if (slot < 0) continue;
    row->degrees[slot] = a.degrees;
    row->radians[slot] = a.radians;
  }
  row->has_angles = true;
  return true;
}

std::string signal_text(int sig) {
  const char* name = strsignal(sig);
  return "its process crashed (signal " + std::to_string(sig) + (name ? std::string(", ") + name : "") +
         ")";
}

// Reads what the run of `job` left and fills the row; the row's error says
// why the file has no result.
void collect(const Job& job, int status, const Options& options, Row* row) {
  const std::string err = read_file(job.dir + "/stderr.txt");
  const std::vector<nlohmann::json> transcript = read_transcript(job.dir + "/transcript.jsonl");
  row->units = part_units(job.part);
  if (job.timed_out) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", options.timeout);
    row->error = std::string("did not finish within ") + seconds + " s; stopped";
    return;
  }
  if (WIFSIGNALED(status)) {
    row->error = signal_text(WTERMSIG(status));
    return;
  }
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  // 5: the run ended but answers did not fit; the transcript says why below.
  if (code != 0 && code != 5) {
    const std::string why = last_line(err);
    row->error = why.empty() ? "ufhost ended with status " + std::to_string(code) : why;
    return;
  }
  const nlohmann::json* select = first_of(transcript, "select");
  if (select == nullptr) {
    row->error = "the plug-in asked for no selection";
    return;
  }
  if (select->value("objects", nlohmann::json::array()).empty()) {
    row->error = "the part has no body to measure";
    return;
  }
  std::vector<Tag> tags;
  if (select->contains("answer") && (*select)["answer"].contains("tags"))
    tags = (*select)["answer"]["tags"].get<std::vector<Tag>>();
  row->bodies = static_cast<int>(tags.size());
  // A failed checked call writes its report to the system log; a plug-in that
  // cannot go on says so in a message box. Either way the numbers are not to
  // be trusted.
  for (const nlohmann::json& e : transcript) {
    const std::string kind = e.value("kind", "");
    if (kind == "syslog") {
      std::string text = trim(e.value("text", ""));
      std::replace(text.begin(), text.end(), '\n', ' ');
      row->error = "a host call failed: " + text;
      return;
    }
    if (kind == "message") {
      row->error = "the plug-in said: " + trim(e.value("text", "")) + " (" + e.value("title", "") + ")";
      return;
    }
  }
  if (options.command->command == Command::Search) {
    if (!read_search_log(job.dir + "/search-log.txt", row, &row->error)) return;
  } else {
    const nlohmann::json* dialog = first_of(transcript, "dialog", "Габариты детали");
    const std::size_t want = options.command->command == Command::Extents ? 4 : 3;
    if (dialog == nullptr || !(*dialog)["values"].is_array() || (*dialog)["values"].size() != want) {
      row->error = code == 5 ? "the run asked for something a batch does not answer: " + last_line(err)
                             : "the plug-in showed no result";
      return;
    }
    const auto values = (*dialog)["values"].get<std::vector<double>>();
    for (int k = 0; k < 3; ++k) row->lengths[k] = values[k];
    // The frame command shows no sum; it is formed the way the first command
    // forms its own, X + Y + Z in that order.
    row->sum = want == 4 ? values[3] : values[0] + values[1] + values[2];
  }
  // The kernel's tolerances of the measured bodies: the frame command
  // measures the first selected body only; the search measures copies, which
  // keep their originals' tolerances.
  const nlohmann::json report = nlohmann::json::parse(read_file(job.dir + "/report.json"), nullptr, false);
  if (report.is_discarded() || !report.contains("bodies")) {
    row->error = "the run left no report of its bodies";
    return;
  }
  std::set<Tag> measured(tags.begin(), tags.end());
  if (options.command->command == Command::Frame && !tags.empty()) measured = {tags.front()};
  for (const nlohmann::json& b : report["bodies"])
    if (measured.count(b.value("tag", Tag{0})))
      row->max_tolerance = std::max(row->max_tolerance, b.value("tolerance", 0.0));
  // Section probes take a plane within a face's tolerance as cutting it, and
  // no band is thinner than the kernel's confusion distance, meshes included.
  const double band = options.command->command == Command::Frame
                          ? row->max_tolerance
                          : std::max(row->max_tolerance, Precision::Confusion());
  row->exactness = std::max(options.command->refinement, band);

  std::copy(row->lengths, row->lengths + 3, row->sorted);
  std::sort(row->sorted, row->sorted + 3, [](double a, double b) { return a > b; });
  if (options.round_up > 0) {
    row->has_rounded = true;
    for (int k = 0; k < 3; ++k)
      row->rounded[k] = round_up_length(row->sorted[k], options.round_up,
                                        rounding_noise(row->sorted[k], options.command->refinement, band));
  }
  if (!options.out_dir.empty() && options.command->command == Command::Search)
    row->log = job.dir + "/search-log.txt";
  if (!job.view.empty() && fs::exists(job.view)) row->view = job.view;
  if (code == 5 && row->error.empty()) {
    // Numbers were read, but some request went unanswered as planned.
    row->error = "the run asked for something a batch does not answer: " + last_line(err);
  }
}

// [SECTION] Rows: table, CSV, JSON

std::string fixed(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", v);
  return std::strcmp(text, "-0.000000") == 0 ? "0.000000" : text;
}

std::string exact(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

std::string short_exp(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1e", v);
  return text;
}

std::string step_text(double step) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", step);
  return text;
}

std::string table(const std::vector<Row>& rows, const Options& options) {
  const bool search = options.command->command == Command::Search;
  std::vector<std::string> header = {"File", "Bodies", "Units", "Length", "Width", "Height", "Sum"};
  if (search) header.insert(header.end(), {"Z°", "Y°", "X°", "Z2°"});
  header.insert(header.end(), {"Largest", "Middle", "Smallest"});
  if (options.round_up > 0)
    header.push_back("Rounded up to " + step_text(options.round_up));
  header.insert(header.end(), {"Exact to", "Error"});
  std::vector<std::vector<std::string>> cells = {header};
  std::vector<bool> right(header.size(), true);
  right[0] = right[2] = right.back() = false;
  for (const Row& r : rows) {
    std::vector<std::string> c = {r.file};
    if (!r.error.empty()) {
      c.insert(c.end(), {r.bodies > 0 ? std::to_string(r.bodies) : "-", r.units});
      while (c.size() + 1 < header.size()) c.push_back("-");
      c.push_back(r.error);
      cells.push_back(c);
      continue;
    }
    c.insert(c.end(), {std::to_string(r.bodies), r.units, fixed(r.lengths[0]), fixed(r.lengths[1]),
                       fixed(r.lengths[2]), fixed(r.sum)});
    if (search)
      for (double d : r.degrees) c.push_back(fixed(d));
    for (double s : r.sorted) c.push_back(fixed(s));
    if (options.round_up > 0)
      c.push_back(r.has_rounded ? step_text(r.rounded[0]) + " × " + step_text(r.rounded[1]) + " × " +
                                      step_text(r.rounded[2])
                                : "-");
    c.push_back(short_exp(r.exactness));
    c.push_back(r.error);
    cells.push_back(c);
  }
  return format_table(cells, right);
}

std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string csv_text(const std::vector<Row>& rows, const Options& options) {
  const bool search = options.command->command == Command::Search;
  std::string text =
      "file,ok,error,command,units,bodies,length,width,height,sum";
  if (search)
    text += ",angle_z_deg,angle_y_deg,angle_x_deg,angle_z2_deg,angle_z_rad,angle_y_rad,"
            "angle_x_rad,angle_z2_rad";
  text += ",sorted_1,sorted_2,sorted_3,round_up_step,rounded_1,rounded_2,rounded_3,exactness,"
          "max_tolerance,log,view\n";
  for (const Row& r : rows) {
    const bool ok = r.error.empty();
    auto num = [ok](double v) { return ok ? exact(v) : std::string(); };
    text += csv_field(r.file) + "," + (ok ? "true" : "false") + "," + csv_field(r.error) + "," +
            options.command->name + "," + csv_field(r.units) + "," +
            (ok ? std::to_string(r.bodies) : "") + "," + num(r.lengths[0]) + "," + num(r.lengths[1]) +
            "," + num(r.lengths[2]) + "," + num(r.sum);
    if (search) {
      for (double d : r.degrees) text += "," + num(d);
      for (double d : r.radians) text += "," + num(d);
    }
    for (double s : r.sorted) text += "," + num(s);
    text += "," + (options.round_up > 0 ? exact(options.round_up) : std::string());
    for (double v : r.rounded) text += "," + (ok && r.has_rounded ? exact(v) : std::string());
    text += "," + num(r.exactness) + "," + num(r.max_tolerance) + "," + csv_field(r.log) + "," +
            csv_field(r.view) + "\n";
  }
  return text;
}

nlohmann::json json_rows(const std::vector<Row>& rows, const Options& options) {
  nlohmann::json out = nlohmann::json::array();
  const bool search = options.command->command == Command::Search;
  for (const Row& r : rows) {
    nlohmann::json j = {{"file", r.file}, {"ok", r.error.empty()}, {"command", options.command->name},
                        {"units", r.units}};
    if (!r.error.empty()) {
      j["error"] = r.error;
      out.push_back(j);
      continue;
    }
    j["bodies"] = r.bodies;
    j["length"] = r.lengths[0];
    j["width"] = r.lengths[1];
    j["height"] = r.lengths[2];
    j["sum"] = r.sum;
    if (search) {
      j["angles_deg"] = {{"z", r.degrees[0]}, {"y", r.degrees[1]}, {"x", r.degrees[2]}, {"z2", r.degrees[3]}};
      j["angles_rad"] = {{"z", r.radians[0]}, {"y", r.radians[1]}, {"x", r.radians[2]}, {"z2", r.radians[3]}};
    }
    j["sorted"] = {r.sorted[0], r.sorted[1], r.sorted[2]};
    if (r.has_rounded) {
      j["round_up_step"] = options.round_up;
      j["rounded"] = {r.rounded[0], r.rounded[1], r.rounded[2]};
    }
    j["exactness"] = r.exactness;
    j["max_tolerance"] = r.max_tolerance;
    if (!r.log.empty()) j["log"] = r.log;
    if (!r.view.empty()) j["view"] = r.view;
    out.push_back(j);
  }
  return {{"command", options.command->name}, {"units", units_note()}, {"rows", out}};
}

}  // namespace

double rounding_noise(double length, double refinement_tolerance, double max_tolerance) {
  return std::max(1e-9 * std::abs(length), 1e-9) + 2.0 * (refinement_tolerance + max_tolerance);
}

double round_up_length(double length, double step, double noise) {
  const double nearest = std::round(length / step) * step;
  if (std::abs(length - nearest) <= noise) return nearest;
  return std::ceil(length / step) * step;
}

bool write_run_report(const Model& model, const std::string& part, const std::string& path,
                      std::string* error) {
  nlohmann::json bodies = nlohmann::json::array();
  for (const BodyInfo& b : describe_bodies(model)) {
    nlohmann::json j = {{"number", b.number}, {"tag", b.tag},          {"name", b.name},
                        {"type", b.type},     {"tolerance", b.tolerance}, {"copy", b.copy}};
    if (b.has_box) j["box"] = std::vector<double>(b.box, b.box + 6);
    bodies.push_back(j);
  }
  const nlohmann::json report = {{"part", part}, {"units", part_units(part)}, {"bodies", bodies}};
  if (!write_atomically(path, report.dump(1) + "\n", error)) {
    *error = "--report: " + *error;
    return false;
  }
  return true;
}

// [SECTION] The subcommand

int measure_main(const std::vector<std::string>& args) {
  Options options;
  bool help = false;
  std::string error;
  if (!parse_options(args, &options, &help, &error)) {
    std::cerr << "ufhost measure: " << error << std::endl;
    return kMeasureUsage;
  }
  if (help) {
    std::cout << usage();
    return kMeasureOk;
  }
  if (options.progress) set_progress_mode(ProgressMode::Always);

  std::error_code ec;
  bool temporary_out = options.out_dir.empty();
  std::string out_dir = options.out_dir;
  if (temporary_out) {
    std::string pattern = (fs::temp_directory_path(ec) / "ufhost-measure-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::cerr << "ufhost measure: cannot make a temporary folder" << std::endl;
      return kMeasureUsage;
    }
    out_dir = pattern;
  }
  fs::create_directories(out_dir, ec);
  if (!fs::is_directory(out_dir)) {
    std::cerr << "ufhost measure: --out-dir " << out_dir << " cannot be made" << std::endl;
    return kMeasureUsage;
  }
  if (!options.view_dir.empty()) {
    fs::create_directories(options.view_dir, ec);
    if (!fs::is_directory(options.view_dir)) {
      std::cerr << "ufhost measure: --view-dir " << options.view_dir << " cannot be made" << std::endl;
      return kMeasureUsage;
    }
  }

  // Each run starts in its own folder: paths it is given must not be relative.
  if (options.plugin.empty())
    if (const char* env = std::getenv("UFHOST_PLUGIN"); env != nullptr && *env != '\0')
      options.plugin = env;
  if (!options.plugin.empty()) options.plugin = fs::absolute(options.plugin, ec).string();

  const std::vector<std::string> names = unique_names(options.parts);
  std::vector<Job> jobs(options.parts.size());
  std::vector<Row> rows(options.parts.size());
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    jobs[i].index = i;
    jobs[i].part = fs::absolute(options.parts[i], ec).string();
    jobs[i].dir = fs::absolute(fs::path(out_dir) / names[i], ec).string();
    if (!options.view_dir.empty())
      jobs[i].view = fs::absolute(fs::path(options.view_dir) / (names[i] + ".html"), ec).string();
    rows[i].file = options.parts[i];
  }

  {
    Progress progress("measuring " + std::string(options.command->name), static_cast<long>(jobs.size()));
    std::size_t next = 0;
    std::map<pid_t, Job*> running;
    while (next < jobs.size() || !running.empty()) {
      while (next < jobs.size() && static_cast<int>(running.size()) < options.jobs) {
        Job& job = jobs[next++];
        if (start(job, options, &rows[job.index].error)) {
          running[job.pid] = &job;
        } else {
          rows[job.index].units = part_units(job.part);
          progress.step();
        }
      }
      int status = 0;
      const pid_t pid = waitpid(-1, &status, WNOHANG);
      if (pid > 0 && running.count(pid)) {
        Job* job = running[pid];
        running.erase(pid);
        collect(*job, status, options, &rows[job->index]);
        progress.step();
        continue;
      }
      if (pid < 0 && errno != EINTR && errno != ECHILD) break;
      const auto now = std::chrono::steady_clock::now();
      for (auto& [child, job] : running) {
        if (options.timeout > 0 && !job->timed_out &&
            std::chrono::duration<double>(now - job->start).count() > options.timeout) {
          job->timed_out = true;
          kill(child, SIGKILL);
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  std::cout << "ufhost measure: " << options.command->name << ", " << rows.size()
            << (rows.size() == 1 ? " file" : " files") << ". " << units_note() << "\n"
            << table(rows, options);
  std::cout.flush();

  int status = kMeasureOk;
  for (const Row& r : rows)
    if (!r.error.empty()) status = kMeasureFailed;
  if (!options.csv.empty() && !write_atomically(options.csv, csv_text(rows, options), &error)) {
    std::cerr << "ufhost measure: --csv " << error << std::endl;
    status = kMeasureOutput;
  }
  if (!options.json.empty() &&
      !write_atomically(options.json, json_rows(rows, options).dump(2) + "\n", &error)) {
    std::cerr << "ufhost measure: --json " << error << std::endl;
    status = kMeasureOutput;
  }
  if (temporary_out) fs::remove_all(out_dir, ec);
  return status;
}

}  // namespace ufhost::app
