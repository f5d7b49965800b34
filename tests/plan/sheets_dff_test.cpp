#include "ufhost/plan/sheets/sheets_dff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace ufhost::plan {
namespace {

TEST(SheetsBound, KnownCases) {
  struct Case {
    const char* name;
    std::vector<BoundPiece> pieces;
    Length length, width;
    std::int64_t area, bound;
  };
  const Case cases[] = {
      {"nothing", {}, 10, 10, 0, 0},
      {"exact tiling", {{5, 5, 4, true}}, 10, 10, 1, 1},
      // Each is more than half of both sides: one a sheet, whatever the area says.
      {"big squares", {{6, 6, 5, true}}, 10, 10, 2, 5},
      // 300 x 500 along the grain on 1000 x 600: more than half the width, so
      // they line up along the length, 3 a sheet: 4 need 2.
      {"grain", {{300, 500, 4, false}}, 1000, 600, 1, 2},
      // The same free to turn: 2 x 2 fill the sheet exactly.
      {"turning", {{300, 500, 4, true}}, 1000, 600, 1, 1},
      // Strips longer than half the sheet stack across its width: 3 x 40 > 100.
      {"long strips", {{60, 40, 3, false}}, 100, 100, 1, 2},
      // Pieces that fit only turned count turned: then 30 + 30 > 40 and
      // 90 + 90 > 100, one a sheet, though the area says 3.
      {"fits turned only", {{90, 30, 4, true}}, 40, 100, 3, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(sheet_area_bound(c.pieces, c.length, c.width), c.area);
    EXPECT_EQ(sheet_count_bound(c.pieces, c.length, c.width), c.bound);
  }
}

// A bound must never exceed what a packing achieves. Shelves of pieces cut
// to fill a sheet exactly give packings whose sheet count is known: the
// bound on them must be at most that count, and for a single sheet exactly 1.
TEST(SheetsBound, NeverAboveAKnownPacking) {
  std::mt19937_64 random(11);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    const Length length = 20 + static_cast<Length>(random() % 200), width = 20 + static_cast<Length>(random() % 200);
    const std::int64_t sheets = 1 + static_cast<std::int64_t>(random() % 4);
    std::vector<BoundPiece> pieces;
    for (std::int64_t s = 0; s < sheets; ++s) {
      // Guillotine-cut the sheet at random: sections across the length, each
      // split across its width, each row into pieces.
      Length x = 0;
      while (x < length) {
        const Length section = std::min<Length>(length - x, 1 + static_cast<Length>(random() % length));
        Length y = 0;
        while (y < width) {
          const Length row = std::min<Length>(width - y, 1 + static_cast<Length>(random() % width));
          Length u = 0;
          while (u < section) {
            const Length cell = std::min<Length>(section - u, 1 + static_cast<Length>(random() % section));
            const bool turn = random() % 2 == 0;
            pieces.push_back({turn ? row : cell, turn ? cell : row, 1, turn || random() % 2 == 0});
            if (turn && !(row <= length && cell <= width)) pieces.back().may_turn = true;
            u += cell;
          }
          y += row;
        }
        x += section;
      }
    }
    // A turned piece was given as it lies turned: it must be free to turn back.
    for (BoundPiece& p : pieces)
      if (!(p.length <= length && p.width <= width)) p.may_turn = true;
    const std::int64_t bound = sheet_count_bound(pieces, length, width);
    EXPECT_LE(bound, sheets);
    EXPECT_GE(bound, sheet_area_bound(pieces, length, width));
  }
}

}  // namespace
}  // namespace ufhost::plan
