#include "tests/support/support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "ufhost/base/cp1251.h"

extern char** environ;

namespace fs = std::filesystem;

namespace testing_support {

std::string sample(const std::string& name) { return std::string(SAMPLES_DIR) + "/" + name; }
std::string shared_part(const std::string& name) {
  return std::string(SHARED_PARTS_DIR) + "/" + name;
}

std::vector<std::string> bundled_samples() {
  std::vector<std::string> out;
  for (const auto& entry : fs::directory_iterator(SAMPLES_DIR))
    if (entry.path().extension() == ".step") out.push_back(entry.path().string());
  std::sort(out.begin(), out.end());
  return out;
}

bool have_shared_parts() { return fs::is_directory(SHARED_PARTS_DIR); }

std::vector<std::string> shared_parts() {
  std::vector<std::string> out;
  if (!have_shared_parts()) return out;
  for (const auto& entry : fs::directory_iterator(SHARED_PARTS_DIR)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".md") continue;
    out.push_back(entry.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<ReferenceBox> shared_part_boxes() {
  std::vector<ReferenceBox> out;
  std::ifstream in(std::string(SHARED_PARTS_DIR) + "/README.md");
  std::string line;
  // Rows look like: | name.ext | format | what | X × Y × Z (remark) |
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, '|')) cells.push_back(cell);
    if (cells.size() < 5) continue;
    std::string name = cells[1];
    name.erase(0, name.find_first_not_of(' '));
    name.erase(name.find_last_not_of(' ') + 1);
    if (name.empty() || name == "file" || name.find('-') == 0) continue;
    std::string dims = cells[4];
    const std::string times = "\xC3\x97";  // U+00D7 in UTF-8
    for (std::size_t at; (at = dims.find(times)) != std::string::npos;) dims.replace(at, times.size(), " ");
    ReferenceBox box;
    std::stringstream ds(dims);
    std::string tx, ty, tz;
    if (!(ds >> tx >> ty >> tz)) continue;
    auto value = [](const std::string& t, double* v, double* r) {
      char* end = nullptr;
      *v = std::strtod(t.c_str(), &end);
      const auto dot = t.find('.');
      const int decimals = dot == std::string::npos ? 0 : static_cast<int>(t.size() - dot - 1);
      *r = 0.5 * std::pow(10.0, -decimals);
      return end != t.c_str() && *end == '\0';
    };
    if (!value(tx, &box.x, &box.rx) || !value(ty, &box.y, &box.ry) || !value(tz, &box.z, &box.rz))
      continue;
    box.path = shared_part(name);
    out.push_back(box);
  }
  return out;
}

std::string work_dir(const std::string& test_name) {
  fs::path dir = fs::path(TEST_WORK_DIR) / test_name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string();
}

pid_t start_process(std::vector<std::string> args, const std::string& dir,
                    const std::string& in_path, const std::string& out_path,
                    const std::string& err_path) {
  std::vector<char*> argv;
  for (auto& s : args) argv.push_back(s.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in_path.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

namespace {

// Runs `args` as start_process does and waits. Returns the exit status,
// 128 + the signal for a killed run, or -1 when it could not be started.
int run_process(std::vector<std::string> args, const std::string& dir, const std::string& in_path,
                const std::string& out_path, const std::string& err_path) {
  const pid_t pid = start_process(std::move(args), dir, in_path, out_path, err_path);
  if (pid < 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The entries of a transcript file, one a line. A line that is not JSON is
// kept as a discarded value rather than dropped.
std::vector<nlohmann::json> read_transcript(const std::string& path) {
  std::vector<nlohmann::json> entries;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) entries.push_back(nlohmann::json::parse(line, nullptr, false));
  return entries;
}

}  // namespace

std::vector<nlohmann::json> HostRun::of_kind(const std::string& kind) const {
  std::vector<nlohmann::json> out;
  for (const auto& entry : transcript)
    if (entry.value("kind", "") == kind) out.push_back(entry);
  return out;
}

HostRun run_ufhost(const std::vector<std::string>& args, const std::vector<std::string>& answers,
                   const std::string& dir, const std::string& plugin) {
  const std::string answers_path = dir + "/answers.txt";
  const std::string transcript_path = dir + "/transcript.jsonl";
  const std::string syslog_path = dir + "/syslog.txt";
  const std::string out_path = dir + "/stdout.txt";
  const std::string err_path = dir + "/stderr.txt";
  {
    std::ofstream a(answers_path);
    for (const auto& line : answers) a << line << "\n";
  }
  fs::remove(transcript_path);
  fs::remove(syslog_path);

  std::vector<std::string> argv_s = {UFHOST_BIN};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  for (const std::string& s : {std::string("--answers"), answers_path, std::string("--transcript"),
                               transcript_path, std::string("--syslog"), syslog_path})
    argv_s.push_back(s);
  if (!plugin.empty()) {
    argv_s.push_back("--plugin");
    argv_s.push_back(plugin);
  }
  HostRun run;
  run.exit_code = run_process(argv_s, dir, "/dev/null", out_path, err_path);
  run.out = read_file(out_path);
  run.err = read_file(err_path);
  run.syslog = read_file(syslog_path);
  run.transcript = read_transcript(transcript_path);
  return run;
}

HostRun run_ufhost_exactly(const std::vector<std::string>& args, const std::string& dir,
                           const std::string& input) {
  const std::string in_path = dir + "/stdin.txt";
  const std::string out_path = dir + "/stdout.txt";
  const std::string err_path = dir + "/stderr.txt";
  {
    std::ofstream in(in_path, std::ios::binary);
    in << input;
  }
  std::vector<std::string> argv_s = {UFHOST_BIN};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  HostRun run;
  run.exit_code = run_process(argv_s, dir, in_path, out_path, err_path);
  run.out = read_file(out_path);
  run.err = read_file(err_path);
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    fs::path named(args[i + 1]);
    if (named.is_relative()) named = fs::path(dir) / named;
    if (args[i] == "--syslog") run.syslog = read_file(named.string());
    if (args[i] != "--transcript") continue;
    for (nlohmann::json& entry : read_transcript(named.string())) run.transcript.push_back(std::move(entry));
  }
  return run;
}

std::string browser_missing() {
  const std::string web = std::string(ZARVEL_SOURCE_DIR) + "/web";
  if (!fs::exists("/usr/bin/chromium")) return "/usr/bin/chromium is not installed";
  if (std::system("node --version > /dev/null 2>&1") != 0) return "node is not installed";
  if (!fs::exists(web + "/node_modules/playwright-core")) return "web/node_modules is missing";
  for (const char* bundle : {"/dist/viewer.js", "/dist/app.js"})
    if (!fs::exists(web + bundle)) return "web" + std::string(bundle) + " is not built";
  return "";
}

PageRun drive_page(const std::string& scenario, const std::string& part, const std::string& dir,
                   const std::string& shots, const std::string& ufhost) {
  std::vector<std::string> args = {"/usr/bin/env", "node",
                                   std::string(ZARVEL_SOURCE_DIR) + "/tests/browser/drive_app.mjs",
                                   scenario, ufhost, part, dir};
  if (!shots.empty()) args.push_back(shots);
  PageRun run;
  const int status = run_process(args, dir, "/dev/null", dir + "/seen.json", dir + "/seen.err");
  run.seen = nlohmann::json::parse(read_file(dir + "/seen.json"), nullptr, false);
  if (!run.seen.is_object())
    run.seen = {{"failed", "the driver exited " + std::to_string(status) + ": " +
                               read_file(dir + "/seen.err")}};
  const nlohmann::json exit = run.seen.value("exit", nlohmann::json());
  run.host.exit_code = exit.is_number_integer() ? exit.get<int>() : -1;
  run.host.out = run.seen.value("stdout", "");
  run.host.err = run.seen.value("stderr", "");
  run.host.transcript = read_transcript(dir + "/transcript.jsonl");
  return run;
}

std::vector<std::string> log_lines(const std::string& path) {
  return split_lines(ufhost::cp1251_to_utf8(read_file(path)));
}

int source_line(const std::string& file, const std::string& needle) {
  std::ifstream in(std::string(ZARVEL_SOURCE_DIR) + "/src/" + file);
  std::string line;
  for (int n = 1; std::getline(in, line); ++n)
    if (line.find(needle) != std::string::npos) return n;
  return -1;
}

int count_calls(const HostRun& run, const std::string& name) {
  int n = 0;
  for (const auto& e : run.of_kind("call"))
    if (e.value("text", "") == name) ++n;
  return n;
}

}  // namespace testing_support
