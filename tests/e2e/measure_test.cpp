// Batch measuring (ufhost measure), --list, the batch's progress line, and
// the README's examples.
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepTools.hxx>
#include <ShapeFix_ShapeTolerance.hxx>
#include <StlAPI_Writer.hxx>

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "tests/support/support.h"

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::bundled_samples;
using testing_support::HostRun;
using testing_support::read_file;
using testing_support::run_ufhost;
using testing_support::run_ufhost_exactly;
using testing_support::sample;
using testing_support::work_dir;

namespace {

json read_json(const std::string& path) { return json::parse(read_file(path), nullptr, false); }

std::map<std::string, json> rows_by_file(const json& doc) {
  std::map<std::string, json> out;
  if (doc.is_object() && doc.contains("rows"))
    for (const json& row : doc["rows"]) out[row["file"].get<std::string>()] = row;
  return out;
}

// CSV rows as name -> cell, one map per data row; our files and errors hold
// no commas or quotes except where quoted, and none of the tests' do.
std::vector<std::map<std::string, std::string>> read_csv(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::vector<std::string> header;
  std::vector<std::map<std::string, std::string>> rows;
  auto split = [](const std::string& text) {
    std::vector<std::string> cells;
    std::string cell;
    std::stringstream ss(text);
    while (std::getline(ss, cell, ',')) cells.push_back(cell);
    if (!text.empty() && text.back() == ',') cells.push_back("");
    return cells;
  };
  if (std::getline(in, line)) header = split(line);
  while (std::getline(in, line)) {
    const auto cells = split(line);
    std::map<std::string, std::string> row;
    for (std::size_t i = 0; i < header.size() && i < cells.size(); ++i) row[header[i]] = cells[i];
    rows.push_back(row);
  }
  return rows;
}

struct Single {
  double lengths[3] = {0, 0, 0};
  double sum = 0;
  std::vector<std::string> angle_lines;  // the log's angle lines, as written
};

// What one run of the plug-in shows for `command` on `part`: the result
// dialog, or for the search the final line of its log.
Single single_run(const std::string& command, const std::string& part, const std::string& dir) {
  Single s;
  if (command == "search") {
    const std::string log = dir + "/log.txt";
    HostRun run = run_ufhost({part}, {"menu 3", "select all", "dialog ok 1e-6", "save " + log, "menu cancel"}, dir);
    EXPECT_EQ(0, run.exit_code) << run.err;
    for (const std::string& line : testing_support::log_lines(log)) {
      if (line.rfind("Угол поворота по", 0) == 0) s.angle_lines.push_back(line);
      if (line.rfind("Конечные габариты:", 0) == 0) {
        EXPECT_EQ(4, std::sscanf(line.c_str() + std::string("Конечные габариты:").size(),
                                 "%lf %lf %lf Сумма: %lf", &s.lengths[0], &s.lengths[1],
                                 &s.lengths[2], &s.sum));
      }
    }
    return s;
  }
  HostRun run = run_ufhost({part}, {command == "extents" ? "menu 1" : "menu 2", "select all",
                                    "dialog ok", "menu cancel"},
                           dir);
  EXPECT_EQ(0, run.exit_code) << run.err;
  const auto dialogs = run.of_kind("dialog");
  if (dialogs.empty()) {
    ADD_FAILURE() << "no dialog for " << part;
    return s;
  }
  const auto v = dialogs[0]["values"].get<std::vector<double>>();
  for (int k = 0; k < 3; ++k) s.lengths[k] = v[k];
  s.sum = v.size() == 4 ? v[3] : v[0] + v[1] + v[2];
  return s;
}

// A box written as BREP (optionally with a larger kernel tolerance) or as an
// STL mesh.
std::string write_box(const std::string& path, double x, double y, double z, double tolerance = 0) {
  TopoDS_Shape box = BRepPrimAPI_MakeBox(x, y, z).Shape();
  if (tolerance > 0) ShapeFix_ShapeTolerance().SetTolerance(box, tolerance);
  if (fs::path(path).extension() == ".stl") {
    BRepMesh_IncrementalMesh mesh(box, 0.1);
    EXPECT_TRUE(StlAPI_Writer().Write(box, path.c_str()));
  } else {
    EXPECT_TRUE(BRepTools::Write(box, path.c_str()));
  }
  return path;
}

}  // namespace

// [SECTION] Rows against single runs

TEST(Measure, RowsEqualWhatSingleRunsShow) {
  struct Case {
    const char* command;
    bool with_shared_parts;
  };
  const Case cases[] = {{"extents", true}, {"frame", false}, {"search", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    std::vector<std::string> parts = bundled_samples();
    ASSERT_FALSE(parts.empty());
    if (c.with_shared_parts)
      for (const std::string& p : testing_support::shared_parts()) parts.push_back(p);
    const std::string dir = work_dir(std::string("measure_rows_") + c.command);
    std::vector<std::string> args = {"measure", "--command", c.command, "-j", "2",
                                     "--json", dir + "/rows.json", "--csv", dir + "/rows.csv"};
    args.insert(args.end(), parts.begin(), parts.end());
    HostRun batch = run_ufhost_exactly(args, dir);
    ASSERT_EQ(0, batch.exit_code) << batch.out << batch.err;
    EXPECT_NE(std::string::npos, batch.out.find("millimetres for STEP and IGES")) << batch.out;

    const auto rows = rows_by_file(read_json(dir + "/rows.json"));
    const auto csv = read_csv(dir + "/rows.csv");
    ASSERT_EQ(parts.size(), rows.size());
    ASSERT_EQ(parts.size(), csv.size());
    for (std::size_t i = 0; i < parts.size(); ++i) {
      const std::string& part = parts[i];
      SCOPED_TRACE(part);
      const json& row = rows.at(part);
      ASSERT_TRUE(row["ok"].get<bool>()) << row.dump();
      const Single single = single_run(c.command, part, work_dir(std::string("measure_single_") +
                                                                 c.command + "_" + std::to_string(i)));
      EXPECT_EQ(single.lengths[0], row["length"].get<double>());
      EXPECT_EQ(single.lengths[1], row["width"].get<double>());
      EXPECT_EQ(single.lengths[2], row["height"].get<double>());
      EXPECT_EQ(single.sum, row["sum"].get<double>());
      // The same rows in the same order in the CSV, to the last bit.
      EXPECT_EQ(part, csv[i].at("file"));
      EXPECT_EQ(single.lengths[0], std::strtod(csv[i].at("length").c_str(), nullptr));
      EXPECT_EQ(single.sum, std::strtod(csv[i].at("sum").c_str(), nullptr));
      EXPECT_EQ(row["exactness"].get<double>(), std::strtod(csv[i].at("exactness").c_str(), nullptr));
      if (std::string(c.command) == "search") {
        // Every angle the log wrote is in the row, in degrees as written.
        for (const std::string& line : single.angle_lines) {
          double degrees = 0;
          ASSERT_EQ(1, std::sscanf(line.c_str() + line.find(':') + 1, "%lf", &degrees));
          bool found = false;
          for (const char* slot : {"z", "y", "x", "z2"})
            found = found || row["angles_deg"][slot].get<double>() == degrees;
          EXPECT_TRUE(found) << line << " not in " << row["angles_deg"].dump();
        }
      }
      const auto sorted = row["sorted"].get<std::vector<double>>();
      EXPECT_TRUE(sorted[0] >= sorted[1] && sorted[1] >= sorted[2]) << row.dump();
    }
  }
}

TEST(Measure, ParallelRunsGiveTheSameRows) {
  std::vector<std::string> parts = bundled_samples();
  for (const std::string& p : testing_support::shared_parts()) parts.push_back(p);
  std::map<int, std::string> outputs;
  for (int jobs : {1, 2}) {
    const std::string dir = work_dir("measure_jobs_" + std::to_string(jobs));
    std::vector<std::string> args = {"measure", "-j", std::to_string(jobs), "--round-up", "0.5",
                                     "--json", dir + "/rows.json"};
    args.insert(args.end(), parts.begin(), parts.end());
    HostRun run = run_ufhost_exactly(args, dir);
    ASSERT_EQ(0, run.exit_code) << run.out << run.err;
    outputs[jobs] = read_file(dir + "/rows.json");
    // The table lists the files in the order given, whichever finished first.
    std::size_t at = 0;
    for (const std::string& p : parts) {
      at = run.out.find(p, at);
      EXPECT_NE(std::string::npos, at) << p;
    }
  }
  EXPECT_EQ(outputs[1], outputs[2]);
}

// [SECTION] Failures

TEST(Measure, BadFilesGiveErrorRowsAndTheOthersTheirs) {
  const std::string dir = work_dir("measure_bad");
  std::ofstream(dir + "/garbage.step") << "this is no part file\n";
  std::ofstream(dir + "/empty.brep");
  // A plug-in whose command crashes its process.
  std::ofstream(dir + "/crash.cpp") << "#include <csignal>\n"
                                       "extern \"C\" void ufusr(char*, int*, int) { std::raise(SIGSEGV); }\n"
                                       "extern \"C\" int ufusr_ask_unload() { return 1; }\n";
  const bool have_crash =
      std::system(("c++ -shared -fPIC -o " + dir + "/crash.so " + dir + "/crash.cpp").c_str()) == 0;

  struct Case {
    std::vector<std::string> extra;  // options before the files
    std::vector<std::string> files;
    std::map<std::string, std::string> errors;  // file -> words its error row must hold
  };
  std::vector<Case> cases = {
      {{},
       {sample("bracket.step"), dir + "/garbage.step", dir + "/missing.step", dir + "/empty.brep",
        sample("turned_block.step")},
       {{dir + "/garbage.step", "garbage.step"},
        {dir + "/missing.step", "no such file"},
        {dir + "/empty.brep", "empty.brep"}}},
  };
  // A run that does not end in time is stopped (a whole run takes far longer
  // than 10 ms: the kernel alone needs more to start).
  cases.push_back({{"--timeout", "0.01"}, {sample("bracket.step")},
                   {{sample("bracket.step"), "did not finish within 0.01 s"}}});
  if (have_crash) {
    // The crash must reach the batch as the signal it is; an address
    // sanitizer in the runs would otherwise catch it and exit instead.
    const char* asan = std::getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":handle_segv=0").c_str(), 1);
    // Given relative to where the batch starts, not where each run does.
    cases.push_back({{"--plugin", "crash.so"}, {sample("bracket.step")},
                     {{sample("bracket.step"), "crashed (signal 11"}}});
  }
  for (const Case& c : cases) {
    std::vector<std::string> args = {"measure", "-j", "2", "--json", dir + "/rows.json",
                                     "--csv", dir + "/rows.csv"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    args.insert(args.end(), c.files.begin(), c.files.end());
    HostRun run = run_ufhost_exactly(args, dir);
    EXPECT_EQ(2, run.exit_code) << run.out << run.err;
    const auto rows = rows_by_file(read_json(dir + "/rows.json"));
    ASSERT_EQ(c.files.size(), rows.size());
    for (const std::string& file : c.files) {
      SCOPED_TRACE(file);
      const json& row = rows.at(file);
      if (c.errors.count(file)) {
        EXPECT_FALSE(row["ok"].get<bool>());
        EXPECT_NE(std::string::npos, row.value("error", "").find(c.errors.at(file))) << row.dump();
        EXPECT_NE(std::string::npos, run.out.find(row.value("error", ""))) << run.out;
        EXPECT_FALSE(row.contains("length"));
      } else {
        EXPECT_TRUE(row["ok"].get<bool>()) << row.dump();
        EXPECT_GT(row["length"].get<double>(), 0);
      }
    }
    EXPECT_EQ(c.files.size(), read_csv(dir + "/rows.csv").size());
  }
  if (!have_crash) GTEST_SKIP() << "no C++ compiler to build a crashing plug-in; crash case skipped";
}

// What each bad option says is a test of the command line itself.
TEST(Measure, BadOptionsAreRefusedBeforeAnyRun) {
  const std::string dir = work_dir("measure_options");
  HostRun run = run_ufhost_exactly({"measure", "--bogus", sample("bracket.step")}, dir);
  EXPECT_EQ(1, run.exit_code);
  EXPECT_NE(std::string::npos, run.err.find("ufhost measure: ")) << run.err;
  EXPECT_TRUE(run.out.empty()) << run.out;
  EXPECT_FALSE(fs::exists(dir + "/bracket"));
}

// [SECTION] Sorted lengths, rounding, exactness

// How rows are sorted, rounded and given their exactness is tested on the
// rows themselves; here the kernel's tolerances reach the rows from the runs'
// reports.
TEST(Measure, SortedRoundedAndExactness) {
  const std::string dir = work_dir("measure_rounding");
  const std::string loose = write_box(dir + "/loose.brep", 30, 10, 12, 1e-3);
  const std::string mesh = write_box(dir + "/mesh.stl", 8, 4, 2);
  struct Case {
    const char* command;
    std::string file;
    double sorted[3];
    double rounded[3];  // with --round-up 1
    double exactness;
  };
  const Case cases[] = {
      // A body whose faces have 1e-3 tolerance is no more exact than that.
      {"extents", loose, {30, 12, 10}, {30, 12, 10}, 1e-3},
      // A mesh has no tolerance: its frame box is its exact corners.
      {"frame", mesh, {8, 4, 2}, {8, 4, 2}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.command) + " " + c.file);
    HostRun run = run_ufhost_exactly({"measure", "--command", c.command, "--round-up", "1",
                                      "--json", dir + "/rows.json", c.file},
                                     dir);
    ASSERT_EQ(0, run.exit_code) << run.out << run.err;
    const json row = read_json(dir + "/rows.json")["rows"][0];
    const auto sorted = row["sorted"].get<std::vector<double>>();
    const auto rounded = row["rounded"].get<std::vector<double>>();
    const double exactness = row["exactness"].get<double>();
    for (int k = 0; k < 3; ++k) {
      // Measured lengths may differ from the box by the exactness stated.
      EXPECT_NEAR(c.sorted[k], sorted[k], 2.2 * exactness + 1e-12) << k;
      EXPECT_EQ(c.rounded[k], rounded[k]) << k;
    }
    EXPECT_NEAR(c.exactness, exactness, c.exactness * 1e-6);
  }
}

// The exactness a row states holds against the reference boxes of the real
// parts: each end of a length lies within it of the exact body.
TEST(Measure, StatedExactnessHoldsOnRealParts) {
  SKIP_WITHOUT_SHARED_PARTS();
  const auto references = testing_support::shared_part_boxes();
  ASSERT_FALSE(references.empty());
  const std::string dir = work_dir("measure_exactness");
  std::vector<std::string> args = {"measure", "-j", "2", "--json", dir + "/rows.json"};
  for (const auto& r : references) args.push_back(r.path);
  HostRun run = run_ufhost_exactly(args, dir);
  ASSERT_EQ(0, run.exit_code) << run.out << run.err;
  const auto rows = rows_by_file(read_json(dir + "/rows.json"));
  for (const auto& r : references) {
    SCOPED_TRACE(r.path);
    const json& row = rows.at(r.path);
    const double exactness = row["exactness"].get<double>();
    const double expected[3] = {r.x, r.y, r.z};
    const char* keys[3] = {"length", "width", "height"};
    for (int k = 0; k < 3; ++k) {
      // References are printed to six decimals, some to three.
      const bool three_decimals = std::abs(expected[k] * 1000 - std::round(expected[k] * 1000)) < 1e-6;
      const double printed = three_decimals ? 5e-4 : 5e-7;
      // The refinement step comes on top of the band: at most 1.1 x the exactness an end.
      EXPECT_NEAR(expected[k], row[keys[k]].get<double>(), 2.2 * exactness + printed) << keys[k];
    }
  }
}

// [SECTION] --list

TEST(List, PrintsEveryBodyWithItsExactBox) {
  const std::string dir = work_dir("list");
  HostRun run = run_ufhost_exactly({"--list", sample("two_bodies.step")}, dir);
  ASSERT_EQ(0, run.exit_code) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("2 bodies, lengths in millimetres")) << run.out;
  // The selection lists the same bodies in the same order.
  HostRun select = run_ufhost({sample("two_bodies.step")}, {"menu 2", "select cancel", "message ok", "menu cancel"}, dir);
  const auto objects = select.of_kind("select").at(0)["objects"];
  std::size_t at = 0;
  for (const json& o : objects) {
    at = run.out.find(o["name"].get<std::string>(), at);
    EXPECT_NE(std::string::npos, at) << o.dump() << "\n" << run.out;
  }
  // The box of the second body: 20 x 20 x 30 from (70, 5, 0).
  EXPECT_NE(std::string::npos, run.out.find("(70.000000, 5.000000, 0.000000)")) << run.out;

  HostRun missing = run_ufhost_exactly({"--list", dir + "/nothing.step"}, dir);
  EXPECT_EQ(2, missing.exit_code);
  EXPECT_NE(std::string::npos, missing.err.find("nothing.step")) << missing.err;
  EXPECT_TRUE(missing.out.empty());
}

// [SECTION] Progress

// How the line is drawn is tested on the progress reporter itself; here the
// batch and the single run.
TEST(Progress, BatchShowsItOnATerminalOrWhenAskedAndScriptedRunsStaySilent) {
  std::vector<std::string> parts = bundled_samples();
  // Off a terminal when asked, and never on standard output.
  {
    const std::string dir = work_dir("progress_batch_asked");
    std::vector<std::string> args = {"measure", "--command", "search", "--progress"};
    args.insert(args.end(), parts.begin(), parts.end());
    args.insert(args.end(), parts.begin(), parts.end());  // long enough to pass half a second
    HostRun run = run_ufhost_exactly(args, dir);
    ASSERT_EQ(0, run.exit_code) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("measuring search")) << run.err;
    EXPECT_EQ(std::string::npos, run.out.find("measuring search")) << run.out;
  }
  // A scripted single run says nothing on standard error.
  HostRun single = run_ufhost({sample("turned_block.step")},
                              {"menu 3", "select all", "dialog ok 1e-6", "save log.txt", "menu cancel"},
                              work_dir("progress_single"));
  EXPECT_EQ(0, single.exit_code);
  EXPECT_EQ("", single.err);
  for (const json& entry : single.transcript)
    EXPECT_EQ(std::string::npos, entry.dump().find("host calls"));

  // Through a pseudo-terminal, without asking: redrawn in place.
  std::vector<std::string> argv_s = {UFHOST_BIN, "measure", "--command", "search"};
  argv_s.insert(argv_s.end(), parts.begin(), parts.end());
  argv_s.insert(argv_s.end(), parts.begin(), parts.end());
  std::vector<char*> argv;
  for (auto& s : argv_s) argv.push_back(s.data());
  argv.push_back(nullptr);
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  std::string screen;
  char buffer[4096];
  for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) screen.append(buffer, n);
  int status = 0;
  waitpid(pid, &status, 0);
  close(master);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_NE(std::string::npos, screen.find("\rmeasuring search")) << screen;
  EXPECT_NE(std::string::npos, screen.find("\x1b[K")) << screen;
}

// [SECTION] README

// Every block after a "<!-- runs in tests -->" line of the README is run by
// bash in the source folder, with the build's ufhost standing in for
// build/release/ufhost, and must succeed; the output the README shows right
// after it, indented, must be what it prints, line for line (the README may
// leave lines out).
TEST(Readme, ExamplesRunAsWritten) {
  std::ifstream in(std::string(ZARVEL_SOURCE_DIR) + "/README.md");
  std::string line, block;
  bool armed = false, inside = false, shown = false;
  std::vector<std::string> blocks;
  std::vector<std::vector<std::string>> outputs;
  const auto trimmed = [](std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
    return text;
  };
  while (std::getline(in, line)) {
    if (line.find("<!-- runs in tests -->") != std::string::npos) armed = true;
    else if (armed && !inside && line.rfind("```", 0) == 0) inside = true, block.clear();
    else if (inside && line.rfind("```", 0) == 0)
      inside = armed = false, shown = true, blocks.push_back(block), outputs.emplace_back();
    else if (inside) block += line + "\n";
    else if (shown && line.rfind("    ", 0) == 0) outputs.back().push_back(trimmed(line.substr(4)));
    else if (shown && !trimmed(line).empty()) shown = false;
  }
  ASSERT_GE(blocks.size(), 3u) << "the README's batch, view and --list examples";
  const std::string dir = work_dir("readme");
  const std::string bin = fs::path(UFHOST_BIN).parent_path().string();
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    SCOPED_TRACE(blocks[i]);
    std::string script = blocks[i];
    // The build's own ufhost is named .../build/release/ufhost too: search on
    // after each replacement, not from the start again.
    const std::string written = "build/release/ufhost", bin_path = UFHOST_BIN;
    for (std::size_t at = 0; (at = script.find(written, at)) != std::string::npos;
         at += bin_path.size())
      script.replace(at, written.size(), bin_path);
    const std::string file = dir + "/example" + std::to_string(i) + ".sh";
    std::ofstream(file) << "set -eu\ncd '" << ZARVEL_SOURCE_DIR << "'\n" << script;
    const int status = std::system(("bash " + file + " > " + file + ".out 2> " + file + ".err").c_str());
    EXPECT_EQ(0, status) << read_file(file + ".out") << read_file(file + ".err");
    std::istringstream printed(read_file(file + ".out"));
    std::size_t next = 0;
    while (std::getline(printed, line))
      if (next < outputs[i].size() && trimmed(line) == outputs[i][next]) ++next;
    while (next < outputs[i].size() && outputs[i][next].empty()) ++next;
    EXPECT_EQ(next, outputs[i].size()) << "the README shows a line it does not print:\n"
                                      << (next < outputs[i].size() ? outputs[i][next] : "")
                                      << "\nit printed:\n" << read_file(file + ".out");
  }
}
