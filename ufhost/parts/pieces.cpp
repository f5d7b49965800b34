#include "ufhost/parts/pieces.h"

#include <Standard_Failure.hxx>

#include <cmath>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>

#include "ufhost/kernel/containment.h"
#include "ufhost/model/body_pack.h"
#include "ufhost/parts/part_io_internal.h"

namespace ufhost {

using namespace part_files;

namespace {

nlohmann::json facts_json(const Object& body) {
  BodyFacts f;
  try {
    f = facts_of(body);
  } catch (const Standard_Failure&) {
    // Told apart from others by its product alone.
  }
  return facts_to_json(f);
}

// In the reading child: the pieces packed, after a head of JSON that says
// each one's product, material and facts.
std::string read_and_pack(const std::string& path) {
  Gathered found;
  read_found(path, &found);
  std::vector<Object> bodies;
  nlohmann::json extras = nlohmann::json::array();
  std::map<std::string, nlohmann::json> described;  // product: facts
  int left_out = 0;
  for (const Found& f : found.bodies) {
    if (f.kind == Kind::SheetBody) {
      ++left_out;
      continue;
    }
    // The product's own shape: the placement taken back off.
    Object body = object_of(f, f.shape.Moved(f.placement.Inverted()));
    nlohmann::json facts;
    if (f.product.empty()) {
      facts = facts_json(body);
    } else {
      auto at = described.find(f.product);
      if (at == described.end()) at = described.emplace(f.product, facts_json(body)).first;
      facts = at->second;
    }
    extras.push_back({{"product", f.product}, {"material", f.material}, {"facts", facts}});
    bodies.push_back(std::move(body));
  }
  const std::string head = nlohmann::json{{"sheets", left_out}, {"pieces", extras}}.dump();
  return "B" + std::to_string(head.size()) + "\n" + head + pack_bodies(bodies);
}

}  // namespace

nlohmann::json facts_to_json(const BodyFacts& f) {
  if (!f.ok) return nullptr;
  return {{"volume", f.volume}, {"area", f.area}, {"moments", {f.moments[0], f.moments[1], f.moments[2]}}};
}

BodyFacts facts_from_json(const nlohmann::json& j) {
  BodyFacts f;
  const auto number = [](const nlohmann::json& v) { return v.is_number() && std::isfinite(v.get<double>()); };
  if (!j.is_object() || !j.contains("volume") || !j.contains("area") || !j.contains("moments") ||
      !number(j.at("volume")) || !number(j.at("area")) || !j.at("moments").is_array() ||
      j.at("moments").size() != 3)
    return f;
  for (int i = 0; i < 3; ++i) {
    if (!number(j.at("moments").at(i))) return BodyFacts();
    f.moments[i] = j.at("moments").at(i).get<double>();
  }
  f.volume = j.at("volume").get<double>();
  f.area = j.at("area").get<double>();
  f.ok = true;
  return f;
}

bool load_pieces(const std::string& path, std::vector<Piece>* pieces, int* sheets,
                 std::string* error) {
  std::string packed;
  // Working out the products' facts is kernel work of its own, beyond the
  // reading.
  if (!read_in_child(path, kernel_time_limit(), [&path]() { return read_and_pack(path); }, &packed,
                     error))
    return false;
  const std::size_t newline = packed.find('\n');
  std::size_t head_size = 0;
  std::vector<Object> bodies;
  nlohmann::json head;
  if (newline != std::string::npos) {
    head_size = std::strtoul(packed.substr(0, newline).c_str(), nullptr, 10);
    if (head_size <= packed.size() - newline - 1)
      head = nlohmann::json::parse(packed.substr(newline + 1, head_size), nullptr, false);
  }
  if (!head.is_object() || !head["pieces"].is_array() || !head["sheets"].is_number_integer() ||
      !unpack_bodies(packed.substr(newline + 1 + head_size), &bodies) ||
      bodies.size() != head["pieces"].size()) {
    if (error) *error = path + kUnpackable;
    return false;
  }
  pieces->clear();
  for (std::size_t i = 0; i < bodies.size(); ++i) {
    const nlohmann::json& extra = head["pieces"][i];
    Piece piece;
    piece.body = std::move(bodies[i]);
    piece.product = extra.value("product", "");
    piece.material = extra.value("material", "");
    piece.facts = facts_from_json(extra.value("facts", nlohmann::json()));
    pieces->push_back(std::move(piece));
  }
  if (sheets) *sheets = head["sheets"].get<int>();
  return true;
}

}  // namespace ufhost
