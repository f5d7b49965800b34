// Geometry of model objects that several host operations share.
#pragma once

#include <gp_Trsf.hxx>

#include <array>
#include <mutex>
#include <vector>

#include "ufhost/model/model.h"

namespace ufhost {

// The precise box costs tens of milliseconds for an ordinary part and most
// of a second for one of a few hundred free-form faces, and the same body is
// asked about again and again (frame box, probe bounds, selection lists).
// Boxes are kept for the last shapes asked about: the same shape under the
// same placement has the same box. Keeping the shape keeps its geometry
// alive, so an entry can never match a newer shape at a reused address.
// Whoever asks again and again keeps one (the session does).
class BoxCache {
 public:
  bool find(const TopoDS_Shape& shape, double box[6]);
  void keep(const TopoDS_Shape& shape, const double box[6]);

 private:
  struct Entry {
    TopoDS_Shape shape;
    std::array<double, 6> box;
  };
  static constexpr std::size_t kSize = 64;
  std::mutex mutex_;
  std::vector<Entry> entries_;
};

// The axis-aligned box of the object's exact geometry: minimum X, Y, Z then
// maximum X, Y, Z. Bodies: the kernel's precise box, not enlarged by
// tolerances and not taken from a tessellation; mesh bodies: the box of their
// vertices; points, lines, planes: their defining points. false when the
// object has no geometry. With `cache`, a body's box is looked for there
// first and kept there.
bool exact_box(const Object& object, double box[6], BoxCache* cache = nullptr);

// The largest geometric tolerance of the body's vertices, edges and faces
// (0 for meshes and other objects).
double max_tolerance(const Object& object);

// The object moved by `trsf` (bodies keep their exact geometry; meshes,
// points, lines and planes have their coordinates transformed).
Object transformed(const Object& object, const gp_Trsf& trsf);

// Moves the objects named by `tags` by `trsf`, or with `copies` set adds a
// moved copy of each (named after its original with " copy", not
// highlighted) and puts the copies' tags there, in order. Every tag is
// looked up and every object moved before the part changes, so that a tag
// naming no object leaves the part as it was: false then.
bool move_or_copy(Model& model, const std::vector<Tag>& tags, const gp_Trsf& trsf,
                  std::vector<Tag>* copies);

}  // namespace ufhost
