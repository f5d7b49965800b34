// Each part's enclosing cylinder and hexagon, for round and hexagonal bar,
// and its picture for the page: kernel work done in a process of its own for
// each part, so that a fault or a run-on costs only that part's figures.
#include <iostream>

#include "src/get_zarvel.h"
#include "ufhost/app/cutlist/cutlist_internal.h"
#include "ufhost/geom/picture.h"
#include "ufhost/kernel/containment.h"

namespace ufhost::app {

namespace {

nlohmann::json point_json(const gp_XYZ& p) { return {p.X(), p.Y(), p.Z()}; }

gp_XYZ xyz_of(const nlohmann::json& j) {
  return gp_XYZ(j.at(0).get<double>(), j.at(1).get<double>(), j.at(2).get<double>());
}

// The cylinder and hexagon of the part, and its picture with `picture`, as
// one line of JSON; what failed is left out.
std::string shapes_of(const Part& part, bool picture) {
  nlohmann::json out = nlohmann::json::object();
  std::string error;
  // The bar that holds a part with least material: along a nut's axis, not
  // across it, though a cylinder across it is narrower.
  Part shaped;
  if (smallest_cylinder(part.body.shape, blank_edges(part), kExtentsTolerance, &shaped.cylinder, &error,
                        Smallest::kVolume)) {
    shaped.has_cylinder = true;
    shaped.has_hexagon =
        smallest_hexagon(part.body.shape, shaped.cylinder, kExtentsTolerance, &shaped.hexagon, &error);
    out = shapes_json(shaped);
  }
  if (picture) {
    const Blank& blank = part.blank();
    out["picture"] = picture_svg(part.body, part.chosen == Orientation::Turned ? blank.degrees : nullptr,
                                 blank.lengths);
  }
  return out.dump();
}

}  // namespace

nlohmann::json shapes_json(const Part& part) {
  nlohmann::json out = nlohmann::json::object();
  if (part.has_cylinder) {
    const Cylinder& c = part.cylinder;
    out["cylinder"] = {{"diameter", c.diameter},
                       {"length", c.length},
                       {"origin", point_json(c.origin.XYZ())},
                       {"direction", point_json(c.axis.XYZ())},
                       {"exact_to", c.exact_to},
                       {"from_revolution", c.from_revolution}};
  }
  if (part.has_hexagon) {
    const Hexagon& h = part.hexagon;
    out["hexagon"] = {{"across_flats", h.across_flats},
                      {"length", h.length},
                      {"turn_rad", h.turn_rad},
                      {"flat_normal", point_json(h.flat_normal.XYZ())},
                      {"exact_to", h.exact_to}};
  }
  if (!part.picture.empty()) out["picture"] = part.picture;
  return out;
}

bool take_shapes(const nlohmann::json& shapes, Part* part, std::string* error) {
  try {
    if (shapes.contains("cylinder")) {
      const nlohmann::json& c = shapes["cylinder"];
      part->cylinder.diameter = c.at("diameter").get<double>();
      part->cylinder.length = c.at("length").get<double>();
      part->cylinder.origin = gp_Pnt(xyz_of(c.at("origin")));
      part->cylinder.axis = gp_Dir(xyz_of(c.at("direction")));
      part->cylinder.exact_to = c.at("exact_to").get<double>();
      part->cylinder.from_revolution = c.at("from_revolution").get<bool>();
      part->has_cylinder = true;
    }
    if (shapes.contains("hexagon")) {
      const nlohmann::json& h = shapes["hexagon"];
      part->hexagon.across_flats = h.at("across_flats").get<double>();
      part->hexagon.length = h.at("length").get<double>();
      part->hexagon.turn_rad = h.at("turn_rad").get<double>();
      part->hexagon.flat_normal = gp_Dir(xyz_of(h.at("flat_normal")));
      part->hexagon.exact_to = h.at("exact_to").get<double>();
      part->has_hexagon = true;
    }
    part->picture = shapes.value("picture", "");
    return true;
  } catch (const std::exception& e) {
    // A direction of no length or a number out of place: what came back
    // is not a cylinder to order by.
    part->has_cylinder = part->has_hexagon = false;
    *error = e.what();
    return false;
  }
}

std::vector<gp_Dir> blank_edges(const Part& part) {
  if (part.chosen != Orientation::Turned) return {gp::DX(), gp::DY(), gp::DZ()};
  // The turned copy's blank lies along X, Y and Z: in the part's own frame,
  // along those turned back.
  return turned_axes(part.turned.degrees);
}

void shape_part(Part* given, bool pictures) {
  Part& part = *given;
  if (!part.error.empty()) return;
  // A mesh has no exact faces to hold a cylinder to; it still has a picture.
  const bool exact = part.body.kind != Kind::MeshBody;
  if (!exact && !pictures) return;
  std::string answer;
  const ChildEnd end = run_in_child([&]() { return shapes_of(part, pictures); }, kernel_time_limit(),
                                    &answer, "shaping " + part.label);
  const nlohmann::json shapes = end.answered ? nlohmann::json::parse(answer, nullptr, false)
                                             : nlohmann::json();
  if (!shapes.is_object()) {
    std::cerr << "ufhost cutlist: " << part.file << ": " << part.label
              << ": no cylinder or picture: the geometry kernel "
              << describe_child_end(end, "working them out", kernel_time_limit()) << std::endl;
    return;
  }
  std::string error;
  if (!take_shapes(shapes, &part, &error))
    std::cerr << "ufhost cutlist: " << part.file << ": " << part.label
              << ": no cylinder: its figures came back unreadable (" << error << ")" << std::endl;
}

}  // namespace ufhost::app
