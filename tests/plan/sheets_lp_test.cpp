#include "ufhost/plan/sheets/sheets_lp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "ufhost/plan/sheets/sheets_dff.h"

namespace ufhost::plan {
namespace {

constexpr std::int64_t kWork = 200'000'000;

TEST(StagedBound, KnownCases) {
  struct Case {
    const char* name;
    std::vector<BoundPiece> pieces;
    Length length, width;
    std::int64_t two, three;  // the bound at 2 and at 3 stages
  };
  const Case cases[] = {
      {"nothing", {}, 10, 10, 0, 0},
      // Nine 3 x 3 a sheet, by any number of stages.
      {"nine a sheet", {{3, 3, 9, false}}, 10, 10, 1, 1},
      {"ten", {{3, 3, 10, false}}, 10, 10, 2, 2},
      {"nineteen", {{3, 3, 19, false}}, 10, 10, 3, 3},
      // A full-length strip and two halves: the halves side by side in one
      // row need the third stage; in two stages one goes to a second sheet.
      {"strip and halves", {{1000, 500, 1, false}, {500, 500, 2, false}}, 1000, 1000, 2, 1},
      // Four dominoes about a square fill 3 x 3 only as a pinwheel, which no
      // guillotine cuts; the area and the dual feasible functions say 1. Two
      // stages prove 2. Three do not: patterns may repeat a row, and half of
      // "three lying dominoes in three rows, a standing one and the square
      // beside" plus half of its mirror image covers everything.
      {"pinwheel", {{2, 1, 2, false}, {1, 2, 2, false}, {1, 1, 1, false}}, 3, 3, 2, 1},
      // 6 x 4 along the grain: two a sheet whatever the stages; turned, a
      // 6-long section takes one each way and a 4-long one the third.
      {"grain", {{6, 4, 3, false}}, 10, 10, 2, 2},
      {"turning", {{6, 4, 3, true}}, 10, 10, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(staged_sheet_bound(c.pieces, c.length, c.width, 2, kWork), c.two);
    EXPECT_EQ(staged_sheet_bound(c.pieces, c.length, c.width, 3, kWork), c.three);
  }
  // Stage counts it does not model say nothing.
  EXPECT_EQ(staged_sheet_bound({{3, 3, 10, false}}, 10, 10, 0, kWork), 0);
  EXPECT_EQ(staged_sheet_bound({{3, 3, 10, false}}, 10, 10, 4, kWork), 0);
  // The pinwheel is where the staged bound beats the others.
  EXPECT_EQ(sheet_count_bound({{2, 1, 2, false}, {1, 2, 2, false}, {1, 1, 1, false}}, 3, 3), 1);
}

// Stopping early (little work, or `enough` reached) gives a weaker bound,
// never a wrong one.
TEST(StagedBound, StoppingEarlyStaysValid) {
  std::vector<BoundPiece> pieces;
  for (int i = 1; i <= 30; ++i)
    pieces.push_back({7 + (i * 37) % 53, 5 + (i * 19) % 41, 1 + i % 3, i % 2 == 0});
  const std::int64_t full = staged_sheet_bound(pieces, 100, 100, 3, kWork);
  EXPECT_GE(full, sheet_area_bound(pieces, 100, 100));
  for (std::int64_t work : {1, 1000, 100'000, 1'000'000}) {
    SCOPED_TRACE(work);
    EXPECT_LE(staged_sheet_bound(pieces, 100, 100, 3, work), full);
  }
  EXPECT_LE(staged_sheet_bound(pieces, 100, 100, 3, kWork, 2), full);
  EXPECT_GE(staged_sheet_bound(pieces, 100, 100, 3, kWork, 2), std::min<std::int64_t>(2, full));
}

// Sheets cut at random in two or three stages and filled exactly give sets
// of pieces whose sheet count is known: no bound may exceed it. Sizes in
// odd micrometres on sheets of a metre and more force the coarse grid,
// where sizes are rounded down.
TEST(StagedBound, NeverAboveAKnownStagedPacking) {
  std::mt19937_64 random(29);
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE(round);
    const int stages = 2 + round % 2;
    const bool fine = round % 3 == 0;
    const Length scale = fine ? 1 : 1'000'003;
    const Length length =
        (20 + static_cast<Length>(random() % 80)) * scale + static_cast<Length>(random() % 7);
    const Length width =
        (20 + static_cast<Length>(random() % 80)) * scale + static_cast<Length>(random() % 7);
    const std::int64_t sheets = 1 + static_cast<std::int64_t>(random() % 3);
    std::vector<BoundPiece> pieces;
    auto cut = [&](Length whole) {
      return std::min<Length>(
          whole, 1 + static_cast<Length>(random() % static_cast<std::uint64_t>(whole)));
    };
    for (std::int64_t s = 0; s < sheets; ++s) {
      for (Length x = 0; x < length;) {
        const Length section = cut(length - x);
        for (Length y = 0; y < width;) {
          const Length row = cut(width - y);
          if (stages == 2) {
            pieces.push_back({section, row, 1, false});
          } else {
            for (Length u = 0; u < section;) {
              const Length cell = cut(section - u);
              pieces.push_back({cell, row, 1, false});
              u += cell;
            }
          }
          y += row;
        }
        x += section;
      }
    }
    // Some pieces given turned, free to turn back: the bound must find them.
    for (BoundPiece& p : pieces)
      if (random() % 4 == 0 && p.width <= length && p.length <= width) {
        std::swap(p.length, p.width);
        p.may_turn = true;
      }
    // Little work: validity is at stake here, not strength, and a coarse
    // grid of 400 cells a side is slow to price.
    const std::int64_t bound = staged_sheet_bound(pieces, length, width, stages, 2'000'000);
    EXPECT_LE(bound, sheets);
    EXPECT_GE(bound, 1);
  }
}

}  // namespace
}  // namespace ufhost::plan
