#pragma once
// Staged guillotine cutting of rectangles out of sheets: an anytime beam
// search over layouts built one piece at a time, section by section.
//
// A layout is cut in levels. Level 1 cuts across the sheet's length
// (x = const) into sections; level 2 cuts a section across its width
// (y = const) into rows; level 3 cuts a row into cells; level 4, where
// allowed, cuts the last cell of a row across into pieces stacked in it.
// A piece narrower than its row, or shorter than its section or cell, is
// freed by one more cut against waste, which no level counts. With one
// level a section holds one piece; with two a row holds one piece; with
// three a cell holds one piece.
//
// Sizes here already carry the kerf: a piece takes its size plus one kerf,
// a sheet offers its usable size plus one kerf, so that pieces packed edge
// to edge in these sizes are kerf apart in the real ones.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ufhost/plan/plan.h"
#include "ufhost/plan/sheets/sheets_dff.h"

namespace ufhost::plan::sheets_search {

struct ItemType {
  Length x = 0;               // along the sheet's length when not turned
  Length y = 0;
  std::int64_t demand = 0;
  bool may_turn = true;
};

struct BinType {
  Length x = 0;               // usable length plus kerf
  Length y = 0;
  std::int64_t count = -1;    // -1 unlimited
  Wide cost = 0;              // what the objective charges for one; 0 free
};

struct Problem {
  std::vector<ItemType> items;
  std::vector<BinType> bins;
  int levels = 3;             // 1 to 4
  Wide target = 0;            // a cost no plan can beat: reaching it stops the search
  std::int64_t budget = 0;    // children the search may weigh, over all its passes
  double time_limit = 5;      // seconds
  bool stop_at_target = true; // false: spend the budget looking for a longer rest at the end
  // Going on from an earlier search: the first width to try, and the cost of
  // the plan it found, which every node must beat (0: none).
  int first_width = 1;
  Wide cutoff = 0;
};

struct Cell {
  std::size_t item = 0;
  Length x = 0;               // lower-left corner in the sheet's usable part
  Length y = 0;
  bool turned = false;
};

// A first-level section and how far its rows reach across the sheet.
struct Section {
  Length x = 0;
  Length length = 0;
  Length rows_end = 0;
};

struct Bin {
  std::size_t type = 0;
  std::int64_t copies = 1;    // the same cutting repeated
  std::vector<Cell> cells;
  std::vector<Section> sections;
};

struct Solution {
  std::vector<Bin> bins;
  Wide cost = 0;
  std::int64_t sheets = 0;
  std::vector<std::int64_t> missing;  // per item type, for stock that ran out
  bool timed_out = false;
  int widest_beam = 0;        // the widest pass that finished
  std::int64_t spent = 0;     // work done, in the budget's units
};

// Packs every item (or, where limited bins run out, as much area as it can).
// Each pass is a beam search of the given width; widths double until the
// budget or the time is spent or a plan meets `target`. The result depends
// on the budget, not on the clock, unless the time limit strikes first.
Solution solve(const Problem& problem);

// Two stages, one kind of sheet as many as wanted: a plan built section by
// section, each started by the longest piece left and filled across the
// width with the pieces no longer that cover the most area (a knapsack),
// the sections then put into sheets longest first, first fit. It places
// what the beam search may not: whole sections chosen at once. An empty
// solution where it does not apply or would take more than `budget` steps.
Solution two_stage_sections(const Problem& problem, std::int64_t budget);

}  // namespace ufhost::plan::sheets_search
