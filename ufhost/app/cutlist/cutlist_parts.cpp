// The cut list's parts: every solid body of every file is a piece; pieces
// that are instances of one product, or bodies equal up to placement, are
// one part, which the plug-in measures once, alone, in its own frame.
#include <Precision.hxx>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <iostream>

#include "src/get_zarvel.h"
#include "src/result_dialog.h"
#include "ufhost/app/cutlist/cutlist_internal.h"
#include "ufhost/app/run/list.h"
#include "ufhost/kernel/containment.h"
#include "ufhost/base/files.h"
#include "ufhost/base/numbers.h"
#include "ufhost/parts/part_io.h"
#include "ufhost/parts/pieces.h"
#include "ufhost/base/text.h"
#include "ufhost/base/progress.h"

namespace fs = std::filesystem;

namespace ufhost::app {

namespace {

// The precision the search is asked for, in radians: a turned blank's sizes
// carry about this much of its length.
constexpr double kSearchPrecision = 1e-6;

// A folder and file name of the part's own: letters, digits, '.', '-' and
// '_' of its label.
std::string file_stem(const std::string& label) {
  std::string stem;
  for (unsigned char c : label) stem += std::isalnum(c) || c == '.' || c == '-' || c == '_' ? static_cast<char>(c) : '_';
  return stem.empty() ? "part" : stem;
}

}  // namespace

void gather_parts(const CutlistOptions& options, std::vector<Part>* parts,
                  std::vector<FileError>* errors) {
  Progress progress("reading the parts' files", static_cast<long>(options.run.parts.size()));
  std::map<std::string, std::size_t> by_product;  // file and product: the part
  for (const std::string& file : options.run.parts) {
    std::vector<Piece> pieces;
    int sheets = 0;
    std::string error;
    const bool read = load_pieces(file, &pieces, &sheets, &error);
    progress.step();
    if (!read) {
      errors->push_back({file, error});
      continue;
    }
    if (pieces.empty()) {
      errors->push_back({file, file + ": holds no solid body to cut" +
                                   (sheets ? " (" + std::to_string(sheets) + " sheet bod" +
                                                 (sheets == 1 ? "y" : "ies") + " left out)"
                                           : std::string())});
      continue;
    }
    if (sheets > 0)
      std::cerr << "ufhost cutlist: " << file << ": " << sheets << " sheet bod"
                << (sheets == 1 ? "y" : "ies") << " left out: a cut list counts solids" << std::endl;
    const std::string units = part_units(file);
    for (Piece& piece : pieces) {
      const std::string name = piece.body.name;
      const BodyFacts& facts = piece.facts;
      const std::string key = piece.product.empty() ? "" : file + "\n" + piece.product;
      std::size_t at = parts->size();
      if (!key.empty() && by_product.count(key)) at = by_product[key];
      for (std::size_t i = 0; at == parts->size() && i < parts->size(); ++i) {
        const Part& p = (*parts)[i];
        if (p.units == units && lower(p.material) == lower(piece.material) && same_body(p.facts, facts))
          at = i;
      }
      if (at == parts->size()) {
        Part part;
        part.label = piece.body.name;
        part.file = file;
        part.material = piece.material;
        part.body = std::move(piece.body);
        part.facts = facts;
        part.units = units;
        parts->push_back(std::move(part));
      }
      if (!key.empty()) by_product[key] = at;
      Part& part = (*parts)[at];
      ++part.names[{name, file}];
      ++part.quantity;
    }
  }
}

std::vector<std::string> cutlist_answers(Orientation orientation, const std::string& log) {
  std::vector<std::string> lines;
  if (orientation != Orientation::Turned) lines.insert(lines.end(), {"menu 1", "select all", "dialog ok"});
  if (orientation != Orientation::Modelled)
    lines.insert(lines.end(), {"menu 3", "select all", "dialog ok " + shortest(kSearchPrecision), "save " + log});
  lines.push_back("menu cancel");
  return lines;
}

void measure_parts(const CutlistOptions& options, const std::string& dir, std::vector<Part>* parts) {
  std::error_code ec;
  fs::create_directories(fs::path(dir) / "parts", ec);
  std::vector<std::string> labels;
  for (const Part& p : *parts) labels.push_back(file_stem(p.label) + ".part");
  const std::vector<std::string> names = unique_names(labels);
  std::vector<Job> jobs;
  std::vector<std::size_t> part_of;
  for (std::size_t i = 0; i < parts->size(); ++i) {
    Part& part = (*parts)[i];
    part.error = "no result: the part's run was never read";
    part.brep = fs::absolute(fs::path(dir) / "parts" / (names[i] + ".brep"), ec).string();
    // Written by a process of its own: the kernel's writer is kernel work,
    // and this process keeps none that a fault could end.
    std::string error;
    const ChildEnd end = run_in_child(
        [&]() {
          Model alone;
          alone.add(part.body);
          std::string why;
          return save_part(alone, part.brep, "", &why) ? std::string("ok") : why;
        },
        kernel_time_limit(), &error, "writing " + part.label);
    if (!end.answered || error != "ok") {
      part.error = "cannot be measured alone: " +
                   (end.answered ? error : "the geometry kernel " + describe_child_end(end, "writing it", kernel_time_limit()));
      continue;
    }
    Job job;
    job.index = jobs.size();
    job.part = part.brep;
    job.dir = fs::absolute(fs::path(dir) / names[i], ec).string();
    job.answers = cutlist_answers(options.orientation, job.dir + "/search-log.txt");
    jobs.push_back(job);
    part_of.push_back(i);
  }
  Progress progress("measuring parts", static_cast<long>(jobs.size()));
  const bool waited = run_jobs(
      jobs, options.run,
      [&](const Job& job, int wait_status) {
        Part& part = (*parts)[part_of[job.index]];
        part.error = read_part_run(job, wait_status, options, &part);
        progress.step();
      },
      [&](const Job& job, const std::string& why) {
        (*parts)[part_of[job.index]].error = why;
        progress.step();
      });
  if (!waited) std::cerr << "ufhost cutlist: waiting for the runs failed" << std::endl;
}

namespace {

// The blank's sorted sizes, exactness and noise: `refinement` the command's
// tolerance, `extra` what the way it was read adds to each end.
void finish_blank(double refinement, double extra, double band, Blank* b) {
  std::copy(b->lengths, b->lengths + 3, b->sorted);
  std::sort(b->sorted, b->sorted + 3, [](double x, double y) { return x > y; });
  b->exactness = std::max(refinement, band) + extra;
  for (int k = 0; k < 3; ++k) b->noise[k] = rounding_noise(b->sorted[k], refinement + extra, band);
  b->measured = true;
}

}  // namespace

std::string read_part_run(const Job& job, int wait_status, const CutlistOptions& options, Part* part) {
  int code = 0;
  std::string err;
  if (std::string why = run_end(job, wait_status, options.run.timeout, &code, &err); !why.empty())
    return why;
  const std::vector<nlohmann::json> transcript = read_transcript(job.dir + "/" + kJobTranscript);
  const nlohmann::json* select = first_of(transcript, "select");
  if (select == nullptr) return code == 5 ? unanswered(err) : "the plug-in asked for no selection";
  if (std::string failed = plugin_failure(transcript); !failed.empty()) return failed;
  const nlohmann::json report = nlohmann::json::parse(read_file(job.dir + "/" + kJobReport), nullptr, false);
  if (report.is_discarded() || !report.contains("bodies")) return "the run left no report of its bodies";
  double tolerance = 0;
  for (const nlohmann::json& b : report["bodies"])
    if (!b.value("copy", false)) tolerance = std::max(tolerance, b.value("tolerance", 0.0));
  const double band = std::max(tolerance, Precision::Confusion());
  if (options.orientation != Orientation::Turned) {
    const nlohmann::json* dialog = first_of(transcript, "dialog", kResultTitle);
    std::vector<double> values;
    if (!dialog_values(dialog, 4, &values)) return code == 5 ? unanswered(err) : "the plug-in showed no result";
    std::copy(values.begin(), values.begin() + 3, part->modelled.lengths);
    finish_blank(kExtentsTolerance, 0, band, &part->modelled);
  }
  if (options.orientation != Orientation::Modelled) {
    std::string log, error;
    if (!read_file(job.dir + "/search-log.txt", &log))
      return code == 5 ? unanswered(err) : "the search wrote no log";
    Row row;
    if (!read_search_log(log, &row, &error)) return error;
    std::copy(row.lengths, row.lengths + 3, part->turned.lengths);
    std::copy(row.degrees, row.degrees + 4, part->turned.degrees);
    const double longest = *std::max_element(row.lengths, row.lengths + 3);
    finish_blank(kSearchFinalTolerance, kSearchLogRounding + kSearchPrecision * longest, band,
                 &part->turned);
  }
  if (code == 5) return unanswered(err);
  choose_orientation(options.orientation, part);
  return "";
}

void choose_orientation(Orientation asked, Part* part) {
  if (asked != Orientation::Best) {
    part->chosen = asked;
    return;
  }
  // Turned only where it saves more than the measuring's noise could.
  const Blank& m = part->modelled;
  const Blank& t = part->turned;
  double slack = 0;
  for (int k = 0; k < 3; ++k) slack += (m.noise[k] + t.noise[k]) / std::max(m.sorted[k], 1e-300);
  part->chosen = t.volume() < m.volume() * (1 - slack) ? Orientation::Turned : Orientation::Modelled;
}

}  // namespace ufhost::app
