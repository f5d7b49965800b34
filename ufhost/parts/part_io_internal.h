// Inside part_io: what the readers of each format and the writers share.
//   part_io.cpp            formats, checks before reading, the reading child, saving
//   part_gather.cpp        sorting a file's shapes into bodies
//   part_read_exchange.cpp STEP and IGES through the exchange document
//   part_read_brep.cpp     BREP
//   part_read_stl.cpp      STL, binary and text
//   part_write.cpp         BREP and STEP
// Only these files include this header.
#pragma once

#include <Poly_Triangulation.hxx>
#include <TDocStd_Document.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS_Shape.hxx>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "ufhost/base/text.h"
#include "ufhost/kernel/kernel_quiet.h"
#include "ufhost/model/model.h"

namespace ufhost::part_files {

// A one-line message: the file, then what is wrong with it.
struct PartError {
  std::string text;
};

[[noreturn]] void fail(const std::string& path, const std::string& what);
std::string one_line(std::string s);

// One body as found in a file, before it gets a tag.
struct Found {
  Kind kind = Kind::SolidBody;
  std::string name;  // "" until the file's stem and number are given
  TopoDS_Shape shape;
  Handle(Poly_Triangulation) mesh;
  // Where the file has an assembly tree: the product the body is an instance
  // of (an id unique within the file), where the instance places it
  // (`shape` is the product's shape moved there), and the product's material
  // as the file names it.
  std::string product;
  TopLoc_Location placement;
  std::string material;
};

// What a body found in an assembly tree comes from.
struct Origin {
  std::string product;
  TopLoc_Location placement;
  std::string material;
};

// What a file holds, in the file's order; free faces are gathered apart and
// become one sheet body at the end.
struct Gathered {
  std::vector<Found> bodies;
  std::vector<TopoDS_Shape> free_faces;
  std::set<std::string> free_face_names;  // names of the labels the free faces came from
  bool unnamed_free_faces = false;
};

// Sorts one item of a file: its solids become bodies, faces outside any
// solid go to the file's sheet body, and faces that have nothing but a
// triangulation become one mesh body for the item.
// `origin` says which product `shape` (placed already) is an instance of.
void gather_item(const TopoDS_Shape& shape, const std::string& name, Gathered* out,
                 const Origin& origin = Origin());

// Reads any part file the host reads into `found`, its free faces gathered
// into one sheet body at the end; throws PartError with the line to show.
void read_found(const std::string& path, Gathered* found);

// The readers: each adds what the file holds to `out`, or throws PartError.
void read_step(const std::string& path, Gathered* out, const KernelQuiet& quiet);
void read_iges(const std::string& path, Gathered* out, const KernelQuiet& quiet);
void read_brep(const std::string& path, Gathered* out);
void read_stl(const std::string& path, std::uintmax_t size, Gathered* out);

// The body a found item becomes, with `shape` (the item's, or moved).
Object object_of(const Found& f, const TopoDS_Shape& shape);

// Runs `read` in the reading child, which gets the reading limit of the
// file and `more` seconds; its answer is "B" and what it packed,
// or "E" and the error line. false with the line to show when the child
// failed or its answer cannot be had.
bool read_in_child(const std::string& path, double more, const std::function<std::string()>& read,
                   std::string* packed, std::string* error);
// What follows the file's name when the child's answer cannot be unpacked.
constexpr const char* kUnpackable =
    ": cannot be read: the process that read it gave back bodies the host cannot unpack";

// The exchange document both STEP's reader and writer work on.
Handle(TDocStd_Document) new_document();

// The writers: every live object of `model` to the file `tmp`, or PartError.
void write_brep(const Model& model, const std::string& tmp);
void write_step(const Model& model, const std::string& tmp);

}  // namespace ufhost::part_files
