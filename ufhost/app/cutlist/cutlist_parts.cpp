// The cut list's parts: every solid body of every file is a piece; pieces
// that are instances of one product, or bodies equal up to placement, are
// one part, which the plug-in measures once, alone, in its own frame.
#include <algorithm>
#include <map>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <iostream>

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

// A folder and file name of the part's own: letters, digits, '.', '-' and
// '_' of its label.
std::string file_stem(const std::string& label) {
  std::string stem;
  for (unsigned char c : label) stem += std::isalnum(c) || c == '.' || c == '-' || c == '_' ? static_cast<char>(c) : '_';
  return stem.empty() ? "part" : stem;
}

}  // namespace

namespace {

// The file's pieces, read in the reading child.
FileLine read_file_pieces(const OrderedFile& file) {
  FileLine line;
  line.file = file;
  line.units = part_units(file.given);
  if (!load_pieces(file.path, &line.pieces, &line.sheets, &line.error)) {
    // Messages name the file as the user gave it.
    if (line.error.rfind(file.path, 0) == 0) line.error = file.given + line.error.substr(file.path.size());
    return line;
  }
  if (line.pieces.empty())
    line.error = file.given + ": holds no solid body to cut" +
                 (line.sheets ? " (" + std::to_string(line.sheets) + " sheet bod" +
                                    (line.sheets == 1 ? "y" : "ies") + " left out)"
                              : std::string());
  return line;
}

// The part `piece` of `line` belongs to in `parts`, made when it is new:
// the part of its product in this file, else one equal up to placement.
Part& part_of(const FileLine& line, Piece& piece, std::map<std::string, std::size_t>* by_product,
              std::vector<Part>* parts) {
  const std::string key = piece.product.empty() ? "" : line.file.path + "\n" + piece.product;
  std::size_t at = parts->size();
  if (!key.empty() && by_product->count(key)) at = (*by_product)[key];
  for (std::size_t i = 0; at == parts->size() && i < parts->size(); ++i) {
    const Part& p = (*parts)[i];
    if (p.units == line.units && lower(p.material) == lower(piece.material) && same_body(p.facts, piece.facts))
      at = i;
  }
  if (at == parts->size()) {
    Part part;
    part.label = piece.body.name;
    part.file = line.file.given;
    part.path = line.file.path;
    part.product = piece.product;
    part.material = piece.material;
    part.body = piece.body;
    part.facts = piece.facts;
    part.units = line.units;
    part.error = "no result: the part was never measured";
    parts->push_back(std::move(part));
  }
  if (!key.empty()) (*by_product)[key] = at;
  return (*parts)[at];
}

}  // namespace

void PartSink::write(const nlohmann::json& line) {
  std::string error;
  if (writer == nullptr || failed || writer->append(line, &error)) return;
  std::cerr << "ufhost cutlist: --jsonl " << error << "; what comes after is not in it" << std::endl;
  failed = true;
}

void gather_parts(const std::vector<OrderedFile>& files, const CutlistLines& known, PartSink* sink,
                  std::vector<Part>* parts, std::vector<FileError>* errors) {
  Progress progress("reading the parts' files", static_cast<long>(files.size()));
  std::map<std::string, std::size_t> by_product;  // file and product: the part
  for (const OrderedFile& file : files) {
    const auto seen = std::find_if(known.files.begin(), known.files.end(), [&](const FileLine& l) {
      return l.file.path == file.path && l.error.empty();
    });
    FileLine line;
    if (seen != known.files.end()) {
      line = *seen;
      line.file = file;
    } else {
      line = read_file_pieces(file);
      sink->write(file_line(line));
    }
    progress.step();
    if (!line.error.empty()) {
      errors->push_back({file.given, line.error});
      continue;
    }
    if (line.sheets > 0)
      std::cerr << "ufhost cutlist: " << file.given << ": " << line.sheets << " sheet bod"
                << (line.sheets == 1 ? "y" : "ies") << " left out: a cut list counts solids" << std::endl;
    for (Piece& piece : line.pieces) {
      Part& part = part_of(line, piece, &by_product, parts);
      PieceCount& count = part.names[{piece.body.name, file.given}];
      ++count.per_file;
      count.ordered = file.ordered;
    }
  }
  for (Part& part : *parts) {
    part.quantity = 0;
    for (const auto& [name, count] : part.names) part.quantity += count.total();
  }
}

void fetch_bodies(std::vector<Part>* parts) {
  for (Part& part : *parts) {
    const bool bodiless = part.body.shape.IsNull() && part.body.mesh.IsNull();
    if (part.error.empty() || !bodiless) continue;
    std::vector<Piece> pieces;
    int sheets = 0;
    std::string error;
    if (!load_pieces(part.path, &pieces, &sheets, &error)) {
      part.error = error;
      continue;
    }
    for (Piece& piece : pieces)
      if ((!part.product.empty() && piece.product == part.product) ||
          (part.product.empty() && same_body(piece.facts, part.facts))) {
        part.body = std::move(piece.body);
        break;
      }
  }
}

std::vector<Command> cutlist_commands(Orientation orientation) {
  if (orientation == Orientation::Modelled) return {Command::Extents};
  if (orientation == Orientation::Turned) return {Command::Search};
  return {Command::Extents, Command::Search};
}

void measure_parts(const CutlistOptions& options, const std::string& dir, bool pictures, PartSink* sink,
                   std::vector<Part>* parts) {
  std::vector<std::string> labels;
  for (const Part& p : *parts) labels.push_back(file_stem(p.label) + ".part");
  const std::vector<std::string> names = unique_names(labels);
  std::vector<Job> jobs;
  std::error_code ec;
  for (std::size_t i = 0; i < parts->size(); ++i) {
    Part& part = (*parts)[i];
    if (part.error.empty()) continue;  // measured before, as --jsonl says
    if (part.body.shape.IsNull() && part.body.mesh.IsNull()) continue;  // its file could not be read again
    part.error = "no result: the part's run was never read";
    Job job;
    job.index = i;
    // The run opens the body this process holds: its fork has it already.
    job.run.part = part.file + ": " + part.label;
    job.run.bodies = {part.body};
    job.dir = fs::absolute(fs::path(dir) / names[i], ec).string();
    job.answers = answers_for(cutlist_commands(options.orientation), search_log_of(job));
    jobs.push_back(std::move(job));
  }
  Progress progress("measuring parts", static_cast<long>(jobs.size()));
  const auto done = [&](Part& part) {
    if (part.error.empty()) shape_part(&part, pictures);
    sink->write(part_line(part, options.orientation));
    progress.step();
  };
  const bool waited = run_jobs(
      jobs, options.run,
      [&](const Job& job, int wait_status) {
        Part& part = (*parts)[job.index];
        part.error = read_part_run(job, wait_status, options, &part);
        done(part);
      },
      [&](const Job& job, const std::string& why) {
        (*parts)[job.index].error = why;
        done((*parts)[job.index]);
      });
  if (!waited) std::cerr << "ufhost cutlist: waiting for the runs failed" << std::endl;
}

namespace {

// The blank of what `command` measured: the part needs it, give or take
// the search's slack.
Blank blank_of(Command command, const CommandResult& result) {
  Blank b;
  std::copy(result.lengths, result.lengths + 3, b.lengths);
  std::copy(result.degrees, result.degrees + 4, b.degrees);
  std::copy(b.lengths, b.lengths + 3, b.sorted);
  std::sort(b.sorted, b.sorted + 3, [](double x, double y) { return x > y; });
  const double slack = orientation_slack(command, b.sorted[0]);
  b.exactness = exactness(command, result.max_tolerance) + slack;
  for (int k = 0; k < 3; ++k)
    b.noise[k] = rounding_noise(command, b.sorted[k], result.max_tolerance, slack);
  b.measured = true;
  return b;
}

}  // namespace

std::string read_part_run(const Job& job, int wait_status, const CutlistOptions& options, Part* part) {
  const RunEnd end = run_end(job, wait_status, options.run.timeout);
  if (!end.error.empty()) return end.error;
  const std::vector<nlohmann::json> transcript = read_transcript(job.dir + "/" + kJobTranscript);
  const std::vector<Command> commands = cutlist_commands(options.orientation);
  for (std::size_t nth = 0; nth < commands.size(); ++nth) {
    CommandResult result;
    if (std::string why = read_command(job, transcript, commands[nth], nth, end, &result); !why.empty())
      return why;
    (commands[nth] == Command::Search ? part->turned : part->modelled) = blank_of(commands[nth], result);
  }
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
