#pragma once
// Lower bounds on the number of sheets that rectangles need, from dual
// feasible functions: maps of sizes that keep every set that fits in a
// sheet fitting in a scaled sheet. Applied to both sides of every piece,
// the scaled areas must still fit in the scaled sheets, so the rounded-up
// sum of scaled areas bounds the sheets needed by any arrangement at all,
// guillotine or not, and so also by staged guillotine cutting.

#include <cstdint>
#include <vector>

#include "ufhost/plan/plan.h"

namespace ufhost::plan {

__extension__ typedef __int128 Wide;  // sums of areas over many pieces

// A kind of rectangle as it takes room in a sheet: sizes with the kerf
// already added (see sheets.cpp), `length` along the sheet's length.
struct BoundPiece {
  Length length = 0;
  Length width = 0;
  std::int64_t quantity = 0;
  bool may_turn = true;  // the bound then takes the cheaper way round
};

// The largest of the area bound and the dual-feasible-function bounds for
// packing `pieces` into sheets `length` x `width` (the same sizes with kerf
// added). Every piece must fit the sheet one way it may take; pieces that
// fit only one way are counted that way. Returns 0 for no pieces.
std::int64_t sheet_count_bound(const std::vector<BoundPiece>& pieces, Length length, Length width);

// The area bound alone, ceil(sum of areas / sheet area), for comparison.
std::int64_t sheet_area_bound(const std::vector<BoundPiece>& pieces, Length length, Length width);

}  // namespace ufhost::plan
