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
  Cylinder cylinder;
  // The bar that holds a part with least material: along a nut's axis, not
  // across it, though a cylinder across it is narrower.
  if (smallest_cylinder(part.body.shape, blank_edges(part), kExtentsTolerance, &cylinder, &error,
                        Smallest::kVolume)) {
    out["cylinder"] = {{"diameter", cylinder.diameter},
                       {"length", cylinder.length},
                       {"origin", point_json(cylinder.origin.XYZ())},
                       {"direction", point_json(cylinder.axis.XYZ())},
                       {"exact_to", cylinder.exact_to},
                       {"from_revolution", cylinder.from_revolution}};
    Hexagon hexagon;
    if (smallest_hexagon(part.body.shape, cylinder, kExtentsTolerance, &hexagon, &error))
      out["hexagon"] = {{"across_flats", hexagon.across_flats},
                        {"length", hexagon.length},
                        {"turn_rad", hexagon.turn_rad},
                        {"flat_normal", point_json(hexagon.flat_normal.XYZ())},
                        {"exact_to", hexagon.exact_to}};
  }
  if (picture) {
    const Blank& blank = part.blank();
    out["picture"] = picture_svg(part.body, part.chosen == Orientation::Turned ? blank.degrees : nullptr,
                                 blank.lengths);
  }
  return out.dump();
}

}  // namespace

std::vector<gp_Dir> blank_edges(const Part& part) {
  if (part.chosen != Orientation::Turned) return {gp::DX(), gp::DY(), gp::DZ()};
  // The turned copy's blank lies along X, Y and Z: in the part's own frame,
  // along those turned back.
  return turned_axes(part.turned.degrees);
}

void shape_parts(std::vector<Part>* parts, bool pictures) {
  for (Part& part : *parts) {
    if (!part.error.empty()) continue;
    // A mesh has no exact faces to hold a cylinder to; it still has a picture.
    const bool exact = part.body.kind != Kind::MeshBody;
    if (!exact && !pictures) continue;
    std::string answer;
    const ChildEnd end = run_in_child([&]() { return shapes_of(part, pictures); }, kernel_time_limit(),
                                      &answer, "shaping " + part.label);
    const nlohmann::json shapes = end.answered ? nlohmann::json::parse(answer, nullptr, false)
                                               : nlohmann::json();
    if (!shapes.is_object()) {
      std::cerr << "ufhost cutlist: " << part.file << ": " << part.label
                << ": no cylinder or picture: the geometry kernel "
                << describe_child_end(end, "working them out", kernel_time_limit()) << std::endl;
      continue;
    }
    try {
      if (shapes.contains("cylinder")) {
        const nlohmann::json& c = shapes["cylinder"];
        part.cylinder.diameter = c.at("diameter").get<double>();
        part.cylinder.length = c.at("length").get<double>();
        part.cylinder.origin = gp_Pnt(xyz_of(c.at("origin")));
        part.cylinder.axis = gp_Dir(xyz_of(c.at("direction")));
        part.cylinder.exact_to = c.at("exact_to").get<double>();
        part.cylinder.from_revolution = c.at("from_revolution").get<bool>();
        part.has_cylinder = true;
      }
      if (shapes.contains("hexagon")) {
        const nlohmann::json& h = shapes["hexagon"];
        part.hexagon.across_flats = h.at("across_flats").get<double>();
        part.hexagon.length = h.at("length").get<double>();
        part.hexagon.turn_rad = h.at("turn_rad").get<double>();
        part.hexagon.flat_normal = gp_Dir(xyz_of(h.at("flat_normal")));
        part.hexagon.exact_to = h.at("exact_to").get<double>();
        part.has_hexagon = true;
      }
      part.picture = shapes.value("picture", "");
    } catch (const std::exception& e) {
      // A direction of no length or a number out of place: what came back
      // is not a cylinder to order by.
      part.has_cylinder = part.has_hexagon = false;
      std::cerr << "ufhost cutlist: " << part.file << ": " << part.label
                << ": no cylinder: its figures came back unreadable (" << e.what() << ")" << std::endl;
    }
  }
}

}  // namespace ufhost::app
