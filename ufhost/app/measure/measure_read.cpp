// Reading what one run of the batch left in its folder: the transcript, the
// search log, the report of its bodies, and how its process ended.
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "src/result_dialog.h"
#include "ufhost/app/measure/measure_internal.h"
#include "ufhost/base/cp1251.h"
#include "ufhost/base/files.h"
#include "ufhost/model/model.h"
#include "ufhost/base/numbers.h"

namespace ufhost::app {

namespace {

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

}  // namespace

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
                               const std::string& title) {
  for (const nlohmann::json& e : entries)
    if (e.value("kind", "") == kind && (title.empty() || e.value("title", "") == title)) return &e;
  return nullptr;
}

bool dialog_values(const nlohmann::json* dialog, std::size_t want, std::vector<double>* values) {
  if (dialog == nullptr || !dialog->is_object() || !dialog->contains("values")) return false;
  const nlohmann::json& given = dialog->at("values");
  if (!given.is_array() || given.size() != want) return false;
  values->clear();
  for (const nlohmann::json& v : given) {
    if (!v.is_number()) return false;
    values->push_back(v.get<double>());
  }
  return true;
}

std::string plugin_failure(const std::vector<nlohmann::json>& transcript) {
  // A failed checked call writes its report to the system log; a plug-in that
  // cannot go on says so in a message box. Either way the numbers are not to
  // be trusted.
  for (const nlohmann::json& e : transcript) {
    const std::string kind = e.value("kind", "");
    if (kind == "syslog") {
      std::string text = trim(e.value("text", ""));
      std::replace(text.begin(), text.end(), '\n', ' ');
      return "a host call failed: " + text;
    }
    if (kind == "message")
      return "the plug-in said: " + trim(e.value("text", "")) + " (" + e.value("title", "") + ")";
  }
  return "";
}

namespace {

std::string signal_text(int sig) {
  const char* name = strsignal(sig);
  return "its process crashed (signal " + std::to_string(sig) +
         (name ? std::string(", ") + name : "") + ")";
}

// Why the run gave no result, or "" when the lengths (and for the search the
// angles) are in the row. `code` is the run's exit status; `err` its
// standard error.
std::string read_results(const Job& job, int code, const std::string& err,
                         const std::string& view, const MeasureOptions& options, Row* row) {
  const std::vector<nlohmann::json> transcript = read_transcript(job.dir + "/" + kJobTranscript);
  const nlohmann::json* select = first_of(transcript, "select");
  if (select == nullptr) return "the plug-in asked for no selection";
  if (select->value("objects", nlohmann::json::array()).empty())
    return "the part has no body to measure";
  std::vector<Tag> tags;
  if (select->contains("answer") && (*select)["answer"].contains("tags"))
    tags = (*select)["answer"]["tags"].get<std::vector<Tag>>();
  row->bodies = static_cast<int>(tags.size());
  if (const std::string failed = plugin_failure(transcript); !failed.empty()) return failed;
  const Command command = options.command->command;
  if (command == Command::Search) {
    std::string log, error;
    if (!read_file(job.dir + "/search-log.txt", &log)) return "the search wrote no log";
    if (!read_search_log(log, row, &error)) return error;
  } else {
    const nlohmann::json* dialog = first_of(transcript, "dialog", kResultTitle);
    const std::size_t want = command == Command::Extents ? 4 : 3;
    std::vector<double> values;
    if (!dialog_values(dialog, want, &values))
      return code == 5 ? unanswered(err) : "the plug-in showed no result";
    for (int k = 0; k < 3; ++k) row->lengths[k] = values[k];
    // The frame command shows no sum; it is formed the way the first command
    // forms its own, X + Y + Z in that order.
    row->sum = want == 4 ? values[3] : dimensions_sum(values.data());
  }
  // The kernel's tolerances of the measured bodies: the frame command
  // measures the first selected body only; the search measures copies, which
  // keep their originals' tolerances.
  const nlohmann::json report =
      nlohmann::json::parse(read_file(job.dir + "/" + kJobReport), nullptr, false);
  if (report.is_discarded() || !report.contains("bodies"))
    return "the run left no report of its bodies";
  std::set<Tag> measured(tags.begin(), tags.end());
  if (command == Command::Frame && !tags.empty()) measured = {tags.front()};
  for (const nlohmann::json& b : report["bodies"])
    if (measured.count(b.value("tag", Tag{0})))
      row->max_tolerance = std::max(row->max_tolerance, b.value("tolerance", 0.0));
  if (!options.out_dir.empty() && command == Command::Search)
    row->log = job.dir + "/search-log.txt";
  std::error_code ec;
  if (!view.empty() && std::filesystem::exists(view, ec)) row->view = view;
  // Numbers were read, but some request went unanswered as planned.
  if (code == 5) return unanswered(err);
  return "";
}

}  // namespace

// The search log's angle lines name their axis but not their pass, and the
// passes about Z come first and last. Two Z lines are passes 1 and 4. A single
// Z line after a Y or X line is pass 4. A single Z line before them, or alone,
// is pass 1: had pass 1 found 0 and nothing turned the cloud since, pass 4
// would scan the very same cloud and find 0 as well.
bool read_search_log(const std::string& text, Row* row, std::string* error) {
  struct Angle {
    char axis;
    double degrees, radians;
  };
  std::vector<Angle> angles;
  bool final_line = false;
  std::istringstream in(text);
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

std::string run_end(const Job& job, int wait_status, double timeout, int* code, std::string* err) {
  if (job.timed_out) return "did not finish within " + general(timeout) + " s; stopped";
  if (WIFSIGNALED(wait_status)) return signal_text(WTERMSIG(wait_status));
  *err = read_file(job.dir + "/" + kJobStderr);
  *code = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  // 5: the run ended but answers did not fit; the transcript says why.
  if (*code != 0 && *code != 5) {
    const std::string why = last_line(*err);
    return why.empty() ? "ufhost ended with status " + std::to_string(*code) : why;
  }
  return "";
}

std::string unanswered(const std::string& err) {
  return "the run asked for something a batch does not answer: " + last_line(err);
}

void read_run(const Job& job, int wait_status, const std::string& view,
              const MeasureOptions& options, Row* row) {
  int code = 0;
  std::string err;
  row->error = run_end(job, wait_status, options.timeout, &code, &err);
  if (!row->error.empty()) return;
  row->error = read_results(job, code, err, view, options, row);
  if (row->error.empty()) finish_row(options, row);
}

}  // namespace ufhost::app
