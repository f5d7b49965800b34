// The cut list's decisions, each on its own: which blanks are one row,
// which orientation, and what a bad option says.
#include <gtest/gtest.h>

#include "ufhost/app/cutlist/cutlist_internal.h"

using namespace ufhost::app;

namespace {

// A part measured as modelled to `sizes`, with the exactness of the extents.
Part measured(const std::string& name, std::vector<double> sizes, const std::string& material = "",
              double exactness = 1e-7) {
  Part p;
  p.label = name;
  p.material = material;
  p.names[{name, "a.step"}] = {1, 1};
  p.quantity = 1;
  p.error.clear();
  std::copy(sizes.begin(), sizes.end(), p.modelled.sorted);
  std::copy(sizes.begin(), sizes.end(), p.modelled.lengths);
  p.modelled.exactness = exactness;
  for (int k = 0; k < 3; ++k) p.modelled.noise[k] = rounding_noise(sizes[k], 1e-8, exactness);
  p.modelled.measured = true;
  return p;
}

}  // namespace

// Float noise never splits a row, a real difference never merges one, and
// rows never chain: a part joins the row whose first part it agrees with.
TEST(CutlistRows, GroupsWithinTheToleranceAndMaterial) {
  CutlistOptions options;
  std::vector<Part> parts = {
      measured("spacer", {60, 60, 20}),
      measured("spacer (other system)", {60, 60, 20 + 4e-14}),
      measured("spacer, exported", {60 + 2e-8, 60, 20.00000002}),
      measured("spacer 20.1", {60, 60, 20.1}),
      measured("spacer of brass", {60, 60, 20}, "CuZn39Pb3"),
      measured("a", {10, 10, 1.0}),
      measured("b", {10, 10, 1.3}),
      measured("c", {10, 10, 1.6}),
  };
  parts[1].quantity = 3;
  parts[1].names[{"spacer (other system)", "a.step"}] = {3, 1};
  std::vector<CutRow> rows = make_rows(parts, options, {});
  ASSERT_EQ(rows.size(), 6u);
  std::map<std::string, int> quantity;
  for (const CutRow& r : rows) quantity[names_text(r)] = r.quantity;
  EXPECT_EQ(quantity["spacer ×1, spacer (other system) ×3, spacer, exported ×1"], 5);
  EXPECT_EQ(quantity["spacer 20.1 ×1"], 1);
  EXPECT_EQ(quantity["spacer of brass ×1"], 1);
  // The row's blank holds every part of it.
  for (const CutRow& r : rows)
    if (r.quantity == 5) {
      EXPECT_EQ(r.blank[0], 60 + 2e-8);
    }

  // A given tolerance of 0.5 joins a and b, and b and c, but not a and c:
  // b goes with c, the largest, and a starts a row of its own.
  options.group_tolerance = 0.5;
  const std::vector<Part> spaced = {parts[5], parts[6], parts[7]};
  rows = make_rows(spaced, options, {});
  ASSERT_EQ(rows.size(), 2u);
  std::set<std::string> names;
  for (const CutRow& r : rows) names.insert(names_text(r));
  EXPECT_EQ(names, (std::set<std::string>{"a ×1", "b ×1, c ×1"}));
}

// Best is the smaller blank by volume, as modelled unless turned is smaller
// by more than the noise of both.
TEST(CutlistParts, BestOrientationIsTheSmallerBlank) {
  Part p = measured("block", {107.163184, 66.605206, 20});
  p.turned = measured("block", {100, 50, 20}).modelled;
  choose_orientation(Orientation::Best, &p);
  EXPECT_EQ(p.chosen, Orientation::Turned);
  choose_orientation(Orientation::Modelled, &p);
  EXPECT_EQ(p.chosen, Orientation::Modelled);
  // A square-on part that the search turns by its precision is as modelled.
  Part q = measured("shaft", {150, 40, 40});
  q.turned = measured("shaft", {150.000005, 40.000018, 40.000004}).modelled;
  choose_orientation(Orientation::Best, &q);
  EXPECT_EQ(q.chosen, Orientation::Modelled);
  q.turned = measured("shaft", {150 - 1e-12, 40, 40}).modelled;
  choose_orientation(Orientation::Best, &q);
  EXPECT_EQ(q.chosen, Orientation::Modelled);
}

TEST(CutlistOptions, AllowanceOrientationPrefer) {
  const auto parse = [](std::vector<std::string> args, std::string* error) {
    CutlistOptions o;
    bool help = false;
    args.push_back("a.step");
    return parse_cutlist_options(args, &o, &help, error) ? o : CutlistOptions{};
  };
  std::string error;
  CutlistOptions o = parse({"--allowance", "2"}, &error);
  EXPECT_EQ(std::vector<double>(o.allowance, o.allowance + 3), (std::vector<double>{2, 2, 2}));
  o = parse({"--allowance", "3,2,0.5", "--orientation", "turned", "--stock", "default", "--prefer", "rect"},
            &error);
  EXPECT_EQ(std::vector<double>(o.allowance, o.allowance + 3), (std::vector<double>{3, 2, 0.5}));
  EXPECT_EQ(o.orientation, Orientation::Turned);
  EXPECT_EQ(o.prefer.size(), 4u);
}

TEST(CutlistOptions, BadOnesNameTheOption) {
  const auto parse = [](std::vector<std::string> args, std::string* error) {
    CutlistOptions o;
    bool help = false;
    args.push_back("a.step");
    return parse_cutlist_options(args, &o, &help, error);
  };
  std::string error;
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--allowance", "1,2"}, {"--allowance", "-1"}, {"--allowance", "1,2,"},
        {"--orientation", "sideways"}, {"--prefer", "round"}, {"--group-tolerance", "x"}}) {
    error.clear();
    EXPECT_FALSE(parse(bad, &error));
    EXPECT_EQ(error.rfind(bad[0], 0), 0u) << error;
  }
}
