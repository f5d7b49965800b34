// The cut list as JSON lines (--jsonl): a line for each file read, with its
// pieces, and one for each part measured, written the moment each is done,
// so that a run stopped at any moment goes on from them (--resume) and runs
// on many machines make one cut list (--merge).
#include <algorithm>

#include "ufhost/app/cutlist/cutlist_internal.h"
#include "ufhost/base/text.h"

namespace ufhost::app {

namespace {

nlohmann::json blank_json(const Blank& b) {
  return {{"measured", b.measured},
          {"lengths", {b.lengths[0], b.lengths[1], b.lengths[2]}},
          {"sorted", {b.sorted[0], b.sorted[1], b.sorted[2]}},
          {"exactness", b.exactness},
          {"noise", {b.noise[0], b.noise[1], b.noise[2]}},
          {"degrees", {b.degrees[0], b.degrees[1], b.degrees[2], b.degrees[3]}}};
}

template <std::size_t N>
void numbers_of(const nlohmann::json& j, const char* key, double (&out)[N]) {
  const nlohmann::json& a = j.at(key);
  if (!a.is_array() || a.size() != N) throw std::invalid_argument(std::string("no ") + key);
  for (std::size_t i = 0; i < N; ++i) out[i] = a.at(i).get<double>();
}

Blank blank_from(const nlohmann::json& j) {
  Blank b;
  b.measured = j.at("measured").get<bool>();
  numbers_of(j, "lengths", b.lengths);
  numbers_of(j, "sorted", b.sorted);
  b.exactness = j.at("exactness").get<double>();
  numbers_of(j, "noise", b.noise);
  numbers_of(j, "degrees", b.degrees);
  return b;
}

FileLine file_from(const nlohmann::json& j) {
  FileLine line;
  line.file.given = j.at("file").get<std::string>();
  line.file.path = j.at("path").get<std::string>();
  line.file.ordered = j.at("ordered").get<int>();
  line.units = j.at("units").get<std::string>();
  line.sheets = j.value("sheets", 0);
  line.error = j.value("error", "");
  for (const nlohmann::json& p : j.at("pieces")) {
    Piece piece;
    piece.body.name = p.at("name").get<std::string>();
    piece.product = p.at("product").get<std::string>();
    piece.material = p.at("material").get<std::string>();
    piece.facts = facts_from_json(p.at("facts"));
    line.pieces.push_back(std::move(piece));
  }
  return line;
}

// Whether the line tells of the same part: the same product of the same
// file, or a body equal up to placement of the same material and units.
bool same_part(const nlohmann::json& line, const Part& part) {
  if (!part.product.empty() && line.value("product", "") == part.product && line.value("path", "") == part.path)
    return true;
  return line.value("units", "") == part.units && lower(line.value("material", "")) == lower(part.material) &&
         same_body(facts_from_json(line.value("facts", nlohmann::json())), part.facts);
}

}  // namespace

nlohmann::json file_line(const FileLine& file) {
  nlohmann::json pieces = nlohmann::json::array();
  for (const Piece& p : file.pieces)
    pieces.push_back({{"name", p.body.name}, {"product", p.product}, {"material", p.material},
                      {"facts", facts_to_json(p.facts)}});
  nlohmann::json line = {{"kind", "file"},     {"file", file.file.given}, {"path", file.file.path},
                         {"ordered", file.file.ordered}, {"units", file.units}, {"sheets", file.sheets},
                         {"pieces", pieces}};
  if (!file.error.empty()) line["error"] = file.error;
  return line;
}

nlohmann::json part_line(const Part& part, Orientation asked) {
  nlohmann::json line = {{"kind", "part"},         {"label", part.label},       {"file", part.file},
                         {"path", part.path},      {"product", part.product},   {"material", part.material},
                         {"units", part.units},    {"facts", facts_to_json(part.facts)},
                         {"asked", orientation_name(asked)}, {"chosen", orientation_name(part.chosen)},
                         {"modelled", blank_json(part.modelled)}, {"turned", blank_json(part.turned)},
                         {"shapes", shapes_json(part)}};
  if (!part.error.empty()) line["error"] = part.error;
  return line;
}

bool read_cutlist_lines(const std::string& path, CutlistLines* lines, std::string* error) {
  const auto take = [&](const nlohmann::json& object, std::string* why) {
    try {
      const std::string kind = object.at("kind").get<std::string>();
      if (kind == "file") lines->files.push_back(file_from(object));
      else if (kind == "part") {
        blank_from(object.at("modelled"));
        blank_from(object.at("turned"));
        lines->parts.push_back(object);
      } else {
        throw std::invalid_argument("no line of a cut list: kind " + kind);
      }
      return JsonlLine::kTaken;
    } catch (const std::exception& e) {
      *why = std::string("not a line of ufhost cutlist (") + e.what() + ")";
      return JsonlLine::kRefused;
    }
  };
  return read_jsonl_lines(path, take, &lines->torn_at, error);
}

bool measured_before(const CutlistLines& lines, Orientation asked, Part* part) {
  // The last good line of the part counts: a later run measured it again.
  for (auto it = lines.parts.rbegin(); it != lines.parts.rend(); ++it) {
    const nlohmann::json& line = *it;
    if (line.contains("error") || line.value("asked", "") != orientation_name(asked) || !same_part(line, *part))
      continue;
    Part measured = *part;
    std::string error;
    try {
      measured.modelled = blank_from(line.at("modelled"));
      measured.turned = blank_from(line.at("turned"));
      measured.chosen = line.value("chosen", "") == "turned" ? Orientation::Turned : Orientation::Modelled;
    } catch (const std::exception&) {
      continue;
    }
    if (!take_shapes(line.value("shapes", nlohmann::json::object()), &measured, &error)) continue;
    measured.error.clear();
    *part = std::move(measured);
    return true;
  }
  return false;
}

}  // namespace ufhost::app
