// Inside sections: what is remembered of a body (sections_memory.cpp), the
// probes of mesh bodies (sections_mesh.cpp) and of B-rep bodies
// (sections.cpp) share. Only these three files include this header.
#pragma once

#include <Bnd_Box.hxx>
#include <Poly_Triangulation.hxx>
#include <Precision.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS_Shape.hxx>
#include <gp_Dir.hxx>
#include <gp_Pnt.hxx>
#include <gp_Vec.hxx>

#include <algorithm>
#include <array>
#include <deque>
#include <memory>
#include <vector>

#include "ufhost/geom/extremes.h"
#include "ufhost/geom/sections.h"

namespace ufhost {

namespace sections_detail {

using Box = std::array<double, 6>;  // min X, Y, Z, max X, Y, Z

inline const double kInfinite = Precision::Infinite();

// A piece of geometry with its tolerance; its exact box is worked out when
// first needed.
struct Zone {
  TopoDS_Shape shape;
  double band = 0.0;  // the kernel's tolerance for it
  Box rough{};        // contains the geometry with its tolerance
  mutable bool has_exact = false;
  mutable Box exact{};
};

struct Leaf {
  Zone zone;
  double border_band = 0.0;    // the largest tolerance of its edges and vertices
  std::vector<gp_Pnt> points;  // its vertices: points of the leaf within border_band
  // Where planes along the axes first meet it; worked out when a plane first
  // comes within its tolerance, then kept with the body.
  mutable std::shared_ptr<const Extremes> extremes;
};

struct Piece {
  double band = 0.0;  // the largest tolerance in it
  std::vector<gp_Pnt> points;
};

}  // namespace sections_detail

// Everything a probe needs that does not depend on the plane. Bodies are
// probed a few dozen times per extreme, so this is worked out once.
struct SectionMemory::Body {
  // Identity: the shared topology (or triangulation) and its placement. The
  // handle is held so that its address cannot be reused by another body.
  Handle(Standard_Transient) key;
  TopLoc_Location location;

  // B-rep bodies.
  std::vector<sections_detail::Leaf> leaves;
  std::vector<sections_detail::Piece> pieces;  // leaves joined by shared edges or vertices
  TopoDS_Shape all_leaves;
  sections_detail::Box rough{};

  // Mesh bodies.
  Handle(Poly_Triangulation) mesh;
  bool has_box = false;
  sections_detail::Box box{};

  // The last planes asked about and their answers. Refining an extreme, the
  // plug-in asks about a plane again right after its first answer, and after
  // each cut it moves back onto a plane it saw missing a little earlier.
  struct Asked {
    gp_Pnt origin;
    gp_Dir normal;
    Probing how;
    PlaneCut cut;
  };
  mutable std::deque<Asked> asked;
};

namespace sections_detail {

using BodyInfo = SectionMemory::Body;

// sections_memory.cpp

// The record of `body` in `memory`, made and kept there when it has none.
// Throws Standard_Failure for a body with no geometry.
std::shared_ptr<const BodyInfo> info_of(const Object& body, SectionMemory& memory);
// The zone's exact box, worked out on first use.
const Box& exact_of(const Zone& z);
TopoDS_Shape compound_of(const std::vector<TopoDS_Shape>& shapes);

inline Box union_of(const Box& a, const Box& b) {
  return Box{std::min(a[0], b[0]), std::min(a[1], b[1]), std::min(a[2], b[2]),
             std::max(a[3], b[3]), std::max(a[4], b[4]), std::max(a[5], b[5])};
}

// Signed distances of the box's corners from the plane: their smallest and
// largest value.
struct Range {
  double lo, hi;
};
inline Range range_of(const Box& b, const gp_Pnt& origin, const gp_Dir& n) {
  Range r{kInfinite, -kInfinite};
  for (int corner = 0; corner < 8; ++corner) {
    const gp_Pnt p(b[(corner & 1) ? 3 : 0], b[(corner & 2) ? 4 : 1], b[(corner & 4) ? 5 : 2]);
    const double d = gp_Vec(origin, p).Dot(gp_Vec(n));
    r.lo = std::min(r.lo, d);
    r.hi = std::max(r.hi, d);
  }
  return r;
}

inline bool within(const Range& r, double band) { return r.lo <= band && r.hi >= -band; }
inline bool across(const Range& r, double band) { return r.lo < -band && r.hi > band; }

// sections_mesh.cpp

// Whether the plane meets the mesh body of `info`, and its trace there.
PlaneCut probe_mesh(const std::shared_ptr<const BodyInfo>& info, const gp_Pnt& origin,
                    const gp_Dir& n, SectionMemory::Counts& stats);

}  // namespace sections_detail

}  // namespace ufhost
