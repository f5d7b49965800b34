// Two stages by whole sections filled by a knapsack: every piece placed
// once, inside its sheet, in sections it is no longer than, stacked without
// overlap; and where the knapsack's choice is plain, the sheets it needs.

#include <gtest/gtest.h>

#include <random>

#include "ufhost/plan/sheets/sheets_search.h"

namespace ufhost::plan::sheets_search {
namespace {

Problem two_stages(std::vector<ItemType> items, Length x, Length y) {
  Problem p;
  p.items = std::move(items);
  p.bins = {{x, y, -1, Wide{x} * y}};
  p.levels = 2;
  return p;
}

// Checks a plan's geometry against its problem; returns "" when sound.
std::string unsound(const Problem& p, const Solution& s) {
  std::vector<std::int64_t> placed(p.items.size(), 0);
  for (const Bin& bin : s.bins) {
    const BinType& t = p.bins[bin.type];
    for (std::size_t k = 0; k < bin.cells.size(); ++k) {
      const Cell& c = bin.cells[k];
      const ItemType& it = p.items[c.item];
      if (c.turned && !it.may_turn) return "turned against the grain";
      const Length a = c.turned ? it.y : it.x, b = c.turned ? it.x : it.y;
      if (c.x < 0 || c.y < 0 || c.x + a > t.x || c.y + b > t.y) return "off the sheet";
      bool in_section = false;
      for (const Section& sec : bin.sections)
        in_section = in_section || (c.x == sec.x && a <= sec.length && c.y + b <= sec.rows_end);
      if (!in_section) return "not in a section it fits";
      for (std::size_t l = 0; l < k; ++l) {
        const Cell& d = bin.cells[l];
        const Length da = d.turned ? p.items[d.item].y : p.items[d.item].x;
        const Length db = d.turned ? p.items[d.item].x : p.items[d.item].y;
        if (c.x < d.x + da && d.x < c.x + a && c.y < d.y + db && d.y < c.y + b) return "overlap";
      }
      placed[c.item] += 1;
    }
    Length end = 0;
    for (const Section& sec : bin.sections) {
      if (sec.x < end) return "sections overlap";
      end = sec.x + sec.length;
    }
    if (end > t.x) return "sections past the sheet";
  }
  for (std::size_t j = 0; j < p.items.size(); ++j)
    if (placed[j] != p.items[j].demand)
      return "piece " + std::to_string(j) + " placed " + std::to_string(placed[j]);
  if (s.sheets != static_cast<std::int64_t>(s.bins.size())) return "sheet count";
  return "";
}

TEST(TwoStageSections, PlainCases) {
  // Strips 4 long: two sections a sheet, each of 3 + 3 + 4 across 10.
  const Problem p = two_stages({{4, 3, 4, false}, {4, 4, 2, false}}, 9, 10);
  const Solution s = two_stage_sections(p, 1'000'000);
  EXPECT_EQ(unsound(p, s), "");
  EXPECT_EQ(s.sheets, 1);
  // Turning lets 2 x 5 pieces lie 5 long in a section 5 long.
  const Problem q = two_stages({{5, 5, 1, false}, {2, 5, 2, true}}, 5, 9);
  const Solution t = two_stage_sections(q, 1'000'000);
  EXPECT_EQ(unsound(q, t), "");
  EXPECT_EQ(t.sheets, 1);
  // Not its kind of problem: three stages, or limited sheets.
  Problem r = p;
  r.levels = 3;
  EXPECT_TRUE(two_stage_sections(r, 1'000'000).bins.empty());
  r = p;
  r.bins[0].count = 4;
  EXPECT_TRUE(two_stage_sections(r, 1'000'000).bins.empty());
  // Too much work for the budget: nothing, rather than a late plan. The
  // work is that of all the sections' knapsacks: 200 pieces 1 x 1 on a
  // sheet 100 x 100 make two sections of 100; the first knapsack weighs
  // 199 pieces over 100 cells, the second 99: 2e4 alone, 3e4 together.
  EXPECT_TRUE(two_stage_sections(p, 1).bins.empty());
  const Problem many = two_stages({{1, 1, 200, false}}, 100, 100);
  EXPECT_FALSE(two_stage_sections(many, 10'000'000).bins.empty());
  EXPECT_TRUE(two_stage_sections(many, 25'000).bins.empty());
}

TEST(TwoStageSections, RandomJobsAreSound) {
  std::mt19937_64 random(5);
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE(round);
    const Length x = 20 + static_cast<Length>(random() % 200),
                 y = 20 + static_cast<Length>(random() % 200);
    std::vector<ItemType> items;
    const int kinds = 1 + static_cast<int>(random() % 15);
    for (int k = 0; k < kinds; ++k) {
      ItemType it{1 + static_cast<Length>(random() % static_cast<std::uint64_t>(x)),
                  1 + static_cast<Length>(random() % static_cast<std::uint64_t>(y)),
                  1 + static_cast<std::int64_t>(random() % 6), random() % 2 == 0};
      items.push_back(it);
    }
    const Problem p = two_stages(items, x, y);
    const Solution s = two_stage_sections(p, 100'000'000);
    ASSERT_FALSE(s.bins.empty());
    EXPECT_EQ(unsound(p, s), "");
  }
}

}  // namespace
}  // namespace ufhost::plan::sheets_search
