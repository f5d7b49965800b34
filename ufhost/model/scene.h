// The part as a page draws it: each object it shows as one JSON value, the
// same for the page --view writes and the page of the browser front end.
//
//   {"tag": 3, "what": "body", "name": "box", "type": "solid body", "copy": false,
//    "positions": [x, y, z, ...], "indices": [a, b, c, ...]}
//   {"tag": 9, "what": "line", "points": [x0, y0, z0, x1, y1, z1]}
//   {"tag": 10, "what": "point", "points": [x, y, z]}
//
// Bodies are tessellated for the page only, on a copy of their topology, so
// that the model's shapes never carry a triangulation that later faceting or
// saving would pick up. Facet models, section curves and datum planes are
// the commands' working objects and are not drawn.
#pragma once

#include <nlohmann/json.hpp>

#include "ufhost/model/model.h"

namespace ufhost {

// True for the kinds of object a page draws: bodies, lines and points.
bool shown_in_scene(Kind kind);

// The object as the page draws it; null JSON for a kind that is not drawn.
// A body's tessellation is kernel work, named "tessellating a body"; throws
// Standard_Failure when the kernel cannot tessellate it or crashes.
nlohmann::json scene_object(Tag tag, const Object& object);

}  // namespace ufhost
