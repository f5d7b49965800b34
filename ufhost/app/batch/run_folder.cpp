#include "ufhost/app/batch/run_folder.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "src/result_dialog.h"
#include "src/search_log.h"
#include "ufhost/base/cp1251.h"
#include "ufhost/base/files.h"
#include "ufhost/base/numbers.h"
#include "ufhost/base/text.h"
#include "ufhost/model/model.h"

namespace ufhost::app {

namespace {

std::string signal_text(int sig) {
  const char* name = strsignal(sig);
  return "its process crashed (signal " + std::to_string(sig) +
         (name ? std::string(", ") + name : "") + ")";
}

// Where in the transcript the nth entry of `kind` is; entries.size() when
// there is none.
std::size_t nth_place(const std::vector<nlohmann::json>& entries, const std::string& kind,
                      std::size_t nth, const std::string& title, std::size_t from = 0) {
  for (std::size_t i = from; i < entries.size(); ++i) {
    const nlohmann::json& e = entries[i];
    if (e.value("kind", "") == kind && (title.empty() || e.value("title", "") == title) && nth-- == 0)
      return i;
  }
  return entries.size();
}

// The dialog's lengths (and the sum the extents command shows) into the
// result; the frame command shows no sum: it is formed the way the first
// command forms its own, X + Y + Z in that order.
bool dialog_lengths(const nlohmann::json* dialog, Command command, CommandResult* result) {
  const std::size_t want = command == Command::Extents ? 4 : 3;
  std::vector<double> values;
  if (!dialog_values(dialog, want, &values)) return false;
  std::copy(values.begin(), values.begin() + 3, result->lengths);
  result->sum = want == 4 ? values[3] : dimensions_sum(values.data());
  return true;
}

// The largest tolerance of the measured bodies, from the run's report.
bool measured_tolerance(const Job& job, std::set<Tag> measured, double* tolerance) {
  const nlohmann::json report =
      nlohmann::json::parse(read_file(job.dir + "/" + kJobReport), nullptr, false);
  if (report.is_discarded() || !report.contains("bodies") || !report["bodies"].is_array())
    return false;
  *tolerance = 0;
  for (const nlohmann::json& b : report["bodies"])
    if (b.is_object() && measured.count(b.value("tag", Tag{0})))
      *tolerance = std::max(*tolerance, b.value("tolerance", 0.0));
  return true;
}

}  // namespace

RunEnd run_end(const Job& job, int wait_status, double timeout) {
  RunEnd end;
  if (job.timed_out) {
    end.error = "did not finish within " + general(timeout) + " s; stopped";
    return end;
  }
  if (WIFSIGNALED(wait_status)) {
    end.error = signal_text(WTERMSIG(wait_status));
    return end;
  }
  end.err = read_file(job.dir + "/" + kJobStderr);
  end.code = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  // 5: the run ended but answers did not fit; the transcript says why.
  if (end.code != 0 && end.code != 5) {
    const std::string why = last_line(end.err);
    end.error = why.empty() ? "ufhost ended with status " + std::to_string(end.code) : why;
  }
  return end;
}

std::string unanswered(const std::string& err) {
  return "the run asked for something a batch does not answer: " + last_line(err);
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

const nlohmann::json* nth_of(const std::vector<nlohmann::json>& entries, const std::string& kind,
                             std::size_t nth, const std::string& title) {
  const std::size_t at = nth_place(entries, kind, nth, title);
  return at < entries.size() ? &entries[at] : nullptr;
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

// The search log's angle lines name their axis but not their pass, and the
// passes about Z come first and last. Two Z lines are passes 1 and 4. A single
// Z line after a Y or X line is pass 4. A single Z line before them, or alone,
// is pass 1: had pass 1 found 0 and nothing turned the cloud since, pass 4
// would scan the very same cloud and find 0 as well.
bool read_search_log(const std::string& text, CommandResult* result, std::string* error) {
  struct Angle {
    char axis;
    double degrees, radians;
  };
  std::vector<Angle> angles;
  bool final_line = false;
  std::istringstream in(text);
  std::string raw;
  const std::string angle_prefix = kSearchAnglePrefix;
  const std::string final_prefix = kSearchFinalPrefix;
  while (std::getline(in, raw)) {
    const std::string line = trim(cp1251_to_utf8(raw));
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
      const auto sum_at = rest.find(kSearchSumLabel);
      if (sum_at == std::string::npos ||
          std::sscanf(rest.c_str(), "%lf %lf %lf", &result->lengths[0], &result->lengths[1],
                      &result->lengths[2]) != 3 ||
          std::sscanf(rest.c_str() + sum_at + std::strlen(kSearchSumLabel), "%lf", &result->sum) != 1) {
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
    result->degrees[slot] = a.degrees;
    result->radians[slot] = a.radians;
  }
  result->has_angles = true;
  return true;
}

std::string search_log_of(const Job& job) { return job.dir + "/search-log.txt"; }

std::string read_command(const Job& job, const std::vector<nlohmann::json>& transcript,
                         Command command, std::size_t nth, const RunEnd& end, CommandResult* result) {
  const std::size_t at = nth_place(transcript, "select", nth, "");
  if (at == transcript.size())
    return end.code == 5 ? unanswered(end.err) : "the plug-in asked for no selection";
  const nlohmann::json& select = transcript[at];
  if (select.value("objects", nlohmann::json::array()).empty()) return "the part has no body to measure";
  std::vector<Tag> tags;
  if (select.contains("answer") && select["answer"].contains("tags"))
    tags = select["answer"]["tags"].get<std::vector<Tag>>();
  result->bodies = static_cast<int>(tags.size());
  if (const std::string failed = plugin_failure(transcript); !failed.empty()) return failed;
  if (command == Command::Search) {
    std::string log, error;
    if (!read_file(search_log_of(job), &log))
      return end.code == 5 ? unanswered(end.err) : "the search wrote no log";
    if (!read_search_log(log, result, &error)) return error;
  } else {
    // The command's own dialog: the first result after its selection.
    const std::size_t shown = nth_place(transcript, "dialog", 0, kResultTitle, at);
    if (!dialog_lengths(shown < transcript.size() ? &transcript[shown] : nullptr, command, result))
      return end.code == 5 ? unanswered(end.err) : "the plug-in showed no result";
  }
  std::set<Tag> measured(tags.begin(), tags.end());
  if (command == Command::Frame && !tags.empty()) measured = {tags.front()};
  if (!measured_tolerance(job, measured, &result->max_tolerance))
    return "the run left no report of its bodies";
  // Numbers were read, but some request went unanswered as planned.
  if (end.code == 5) return unanswered(end.err);
  return "";
}

}  // namespace ufhost::app
