// The cut list's parts: every solid body of every file is a piece; pieces
// that are instances of one product, or bodies equal up to placement, are
// one part, which the plug-in measures once, alone, in its own frame.
#include <BRepGProp.hxx>
#include <GProp_GProps.hxx>
#include <GProp_PrincipalProps.hxx>
#include <Precision.hxx>
#include <Standard_Failure.hxx>
#include <math_Jacobi.hxx>
#include <math_Matrix.hxx>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <iostream>

#include "src/get_zarvel.h"
#include "src/result_dialog.h"
#include "ufhost/app/cutlist_internal.h"
#include "ufhost/app/list.h"
#include "ufhost/core/containment.h"
#include "ufhost/core/files.h"
#include "ufhost/core/numbers.h"
#include "ufhost/core/part_io.h"
#include "ufhost/core/progress.h"

namespace fs = std::filesystem;

namespace ufhost::app {

namespace {

// The precision the search is asked for, in radians: a turned blank's sizes
// carry about this much of its length.
constexpr double kSearchPrecision = 1e-6;
// Two figures of bodies equal up to placement agree to this share.
constexpr double kSameBody = 1e-6;

// Volume, area and second moments of a closed mesh, from the tetrahedra its
// triangles make with one of its nodes.
BodyFacts mesh_facts(const Poly_Triangulation& mesh) {
  BodyFacts f;
  if (mesh.NbTriangles() == 0) return f;
  const gp_XYZ o = mesh.Node(1).XYZ();
  double volume = 0, area = 0;
  gp_XYZ first(0, 0, 0);  // integral of x dV
  double second[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};  // integral of x_i x_j dV
  for (int t = 1; t <= mesh.NbTriangles(); ++t) {
    int n[3];
    mesh.Triangle(t).Get(n[0], n[1], n[2]);
    const gp_XYZ a = mesh.Node(n[0]).XYZ() - o, b = mesh.Node(n[1]).XYZ() - o,
                 c = mesh.Node(n[2]).XYZ() - o;
    const double det = a.Dot(b.Crossed(c));
    area += 0.5 * (b - a).Crossed(c - a).Modulus();
    volume += det / 6;
    first += (a + b + c) * (det / 24);
    const gp_XYZ s = a + b + c;
    for (int i = 1; i <= 3; ++i)
      for (int j = 1; j <= 3; ++j)
        second[i - 1][j - 1] += det / 120 *
                                (a.Coord(i) * a.Coord(j) + b.Coord(i) * b.Coord(j) +
                                 c.Coord(i) * c.Coord(j) + s.Coord(i) * s.Coord(j));
  }
  if (std::abs(volume) <= 0) return f;
  const gp_XYZ m = first / volume;
  math_Matrix inertia(1, 3, 1, 3);
  double trace = 0;
  for (int i = 0; i < 3; ++i) trace += second[i][i] - volume * m.Coord(i + 1) * m.Coord(i + 1);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const double central = second[i][j] - volume * m.Coord(i + 1) * m.Coord(j + 1);
      inertia(i + 1, j + 1) = (i == j ? trace : 0) - central;
    }
  math_Jacobi jacobi(inertia);
  if (!jacobi.IsDone()) return f;
  for (int i = 0; i < 3; ++i) f.moments[i] = std::abs(jacobi.Value(i + 1));
  std::sort(f.moments, f.moments + 3);
  f.volume = std::abs(volume);
  f.area = area;
  f.ok = true;
  return f;
}

bool near(double a, double b) {
  return std::abs(a - b) <= kSameBody * std::max(std::abs(a), std::abs(b));
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A folder and file name of the part's own: letters, digits, '.', '-' and
// '_' of its label.
std::string file_stem(const std::string& label) {
  std::string stem;
  for (unsigned char c : label) stem += std::isalnum(c) || c == '.' || c == '-' || c == '_' ? static_cast<char>(c) : '_';
  return stem.empty() ? "part" : stem;
}

}  // namespace

BodyFacts facts_of(const Object& body) {
  if (body.kind == Kind::MeshBody) return body.mesh.IsNull() ? BodyFacts() : mesh_facts(*body.mesh);
  BodyFacts f;
  if (body.shape.IsNull()) return f;
  GProp_GProps volume, surface;
  BRepGProp::VolumeProperties(body.shape, volume);
  BRepGProp::SurfaceProperties(body.shape, surface);
  double m[3] = {0, 0, 0};
  volume.PrincipalProperties().Moments(m[0], m[1], m[2]);
  f.volume = std::abs(volume.Mass());
  f.area = surface.Mass();
  for (int i = 0; i < 3; ++i) f.moments[i] = std::abs(m[i]);
  std::sort(f.moments, f.moments + 3);
  f.ok = f.volume > 0 && std::isfinite(f.volume) && std::isfinite(f.area);
  return f;
}

std::string facts_text(const BodyFacts& f) {
  if (!f.ok) return "";
  return nlohmann::json{{"volume", f.volume}, {"area", f.area},
                        {"moments", {f.moments[0], f.moments[1], f.moments[2]}}}
      .dump();
}

BodyFacts facts_from_text(const std::string& text) {
  BodyFacts f;
  const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
  const auto number = [](const nlohmann::json& v) { return v.is_number() && std::isfinite(v.get<double>()); };
  if (!j.is_object() || !j.contains("volume") || !j.contains("area") || !j.contains("moments") ||
      !number(j.at("volume")) || !number(j.at("area")) || !j.at("moments").is_array() ||
      j.at("moments").size() != 3)
    return f;
  f.volume = j.at("volume").get<double>();
  f.area = j.at("area").get<double>();
  for (int i = 0; i < 3; ++i) {
    if (!number(j.at("moments").at(i))) return BodyFacts();
    f.moments[i] = j.at("moments").at(i).get<double>();
  }
  f.ok = true;
  return f;
}

bool same_body(const BodyFacts& a, const BodyFacts& b) {
  return a.ok && b.ok && near(a.volume, b.volume) && near(a.area, b.area) &&
         near(a.moments[0], b.moments[0]) && near(a.moments[1], b.moments[1]) &&
         near(a.moments[2], b.moments[2]);
}

void gather_parts(const CutlistOptions& options, std::vector<Part>* parts,
                  std::vector<FileError>* errors) {
  Progress progress("reading the parts' files", static_cast<long>(options.run.parts.size()));
  std::map<std::string, std::size_t> by_product;  // file and product: the part
  for (const std::string& file : options.run.parts) {
    std::vector<Piece> pieces;
    int sheets = 0;
    std::string error;
    const auto describe = [](const Object& body) {
      try {
        return facts_text(facts_of(body));
      } catch (const Standard_Failure&) {
        return std::string();  // told apart from others by its product alone
      }
    };
    const bool read = load_pieces(file, describe, &pieces, &sheets, &error);
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
      const BodyFacts facts = facts_from_text(piece.facts);
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
