// A part file's solids as a cut list counts them: each in the frame of the
// product it is an instance of, with what tells instances apart.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "ufhost/geom/mass.h"
#include "ufhost/model/model.h"

namespace ufhost {

// A solid or mesh body in the frame of the product it is an instance of
// (where the file has no assembly tree, as it lies), named as load_part
// names it.
struct Piece {
  Object body;
  std::string product;   // unique within the file; "" where it has no tree
  std::string material;  // as the file names it; "" when it names none
  BodyFacts facts;       // not ok when the kernel could not work them out
};

// Reads the file's pieces, in the file's order, in a child process as
// load_part reads its bodies, and works out each product's facts there too
// (once, on its first piece; and for every piece of no product), where a
// fault of the kernel costs only the reading. Sheet bodies are no pieces:
// *sheets counts them. false with a one-line message.
bool load_pieces(const std::string& path, std::vector<Piece>* pieces, int* sheets,
                 std::string* error);

// Facts as they cross from the reading child: null when they are not ok,
// and not ok from anything that is not what facts_to_json writes.
nlohmann::json facts_to_json(const BodyFacts& facts);
BodyFacts facts_from_json(const nlohmann::json& json);

}  // namespace ufhost
