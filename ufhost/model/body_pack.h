// Bodies as bytes: how the process that reads a part file hands its bodies
// to the host.
#pragma once

#include <string>
#include <vector>

#include "ufhost/model/model.h"

namespace ufhost {

// Packs the kind, name, shape and mesh of every object; nothing else of an
// object is kept (a part as read has nothing else). Shapes go in the
// kernel's binary format, which writes every number as the double it is and
// every shared sub-shape once, so the bodies come back bit for bit, sharing
// what they shared. Meshes keep their nodes and triangles.
std::string pack_bodies(const std::vector<Object>& bodies);

// The objects pack_bodies packed, in order. false when `bytes` are not what
// it made (cut short, say), and then *bodies is empty.
bool unpack_bodies(const std::string& bytes, std::vector<Object>* bodies);

}  // namespace ufhost
