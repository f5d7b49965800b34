// The cut list's decisions, each on its own: which bodies are one part,
// which blanks are one row, which orientation, which stock, and what a bad
// catalogue or option says.
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
  p.names[{name, "a.step"}] = 1;
  p.quantity = 1;
  p.error.clear();
  std::copy(sizes.begin(), sizes.end(), p.modelled.sorted);
  std::copy(sizes.begin(), sizes.end(), p.modelled.lengths);
  p.modelled.exactness = exactness;
  for (int k = 0; k < 3; ++k) p.modelled.noise[k] = rounding_noise(sizes[k], 1e-8, exactness);
  p.modelled.measured = true;
  return p;
}

std::vector<StockItem> catalogue(const std::string& text) {
  std::vector<StockItem> items;
  std::string error;
  EXPECT_TRUE(parse_catalogue(text, "test.csv", &items, &error)) << error;
  return items;
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
  parts[1].names[{"spacer (other system)", "a.step"}] = 3;
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

// The item with least material holds the blank; noise fits, 0.2 mm does not;
// the minus tolerance, formats, lengths, material and --prefer are honoured.
TEST(CutlistStock, LeastMaterialThatHolds) {
  const std::vector<StockItem> items = catalogue(
      "# test\n"
      "family,designation,size_1,size_2,lengths,minus,material,density,source\n"
      "plate,,10 20 25,,cut,,,7850,list\n"
      "flat,,20,60 80,6000,0.5,,7850,list\n"
      "flat,,25,80,cut,,,7850,list\n"
      "square,,60,,cut,,,7850,list\n"
      "sheet,,2,,1000x2000 1250x2500,,,7850,list\n"
      "round,,40,,cut,,,,list\n"
      "plate,\"alu plate 20\",20,,cut,,AlMg3,2660,\"merchant, alu\"\n");
  ASSERT_EQ(items.size(), 10u);
  EXPECT_EQ(items[3].designation, "flat 20 × 60");
  EXPECT_EQ(items[9].source, "merchant, alu");
  const auto choose = [&](std::vector<double> sizes, std::vector<StockFamily> only = {},
                          const std::string& material = "") {
    StockNeed need;
    for (int k = 0; k < 3; ++k) {
      need.sizes[k] = sizes[k];
      need.noise[k] = rounding_noise(sizes[k], 1e-8, 1e-7);
    }
    need.material = material;
    StockCut cut;
    return choose_stock(items, need, only, &cut) ? cut.text : std::string("none");
  };
  // 20.0000002 is 20; the flat's minus tolerance leaves only plate 20, which
  // holds it with the same material as a flat would.
  EXPECT_EQ(choose({150, 60, 20.0000002}), "plate 20: 150 × 60");
  EXPECT_EQ(choose({150, 60, 20.2}), "plate 25: 150 × 60");
  EXPECT_EQ(choose({150, 79.4, 19.4}), "flat 20 × 80: 150 long");
  // As much material as plate 20 cut to size: the bar, one cut; but the 20
  // flat comes 6000 mm long.
  EXPECT_EQ(choose({5000, 79.4, 19.4}), "flat 20 × 80: 5000 long");
  EXPECT_EQ(choose({6500, 79.4, 19.4}), "plate 20: 6500 × 80");
  EXPECT_EQ(choose({150, 59, 59}), "square 60: 150 long");
  EXPECT_EQ(choose({2400, 1200, 1.5}), "sheet 2: 2400 × 1200");
  EXPECT_EQ(choose({2600, 1200, 1.5}), "plate 10: 2600 × 1200");
  EXPECT_EQ(choose({150, 60, 20}, {StockFamily::Square}), "square 60: 150 long");
  EXPECT_EQ(choose({150, 70, 30}), "none");
  // Stock of the part's own material before stock of any.
  EXPECT_EQ(choose({150, 60, 12}, {}, "AlMg3"), "alu plate 20: 150 × 60");
  EXPECT_EQ(choose({150, 60, 22}, {}, "AlMg3"), "plate 25: 150 × 60");
  // No cylinder given: round bar holds nothing.
  EXPECT_EQ(choose({150, 40, 40}, {StockFamily::Round}), "none");

  // The shipped catalogue reads and has every family.
  std::vector<StockItem> shipped;
  std::string error;
  ASSERT_TRUE(load_catalogue("default", &shipped, &error)) << error;
  std::set<StockFamily> families;
  for (const StockItem& i : shipped) {
    families.insert(i.family);
    EXPECT_FALSE(i.source.empty()) << i.designation;
  }
  EXPECT_EQ(families.size(), 6u);
}

TEST(CutlistStock, BadCataloguesSayWhereAndWhy) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "test.csv: no header line"},
      {"family,size_1\n", "test.csv, line 1: the header names no column lengths"},
      {"family,size_1,lengths,colour\n", "test.csv, line 1: unknown column \"colour\""},
      {"family,size_1,lengths\n# note\nplank,10,cut\n", "test.csv, line 3: family \"plank\""},
      {"family,size_1,lengths\nplate,-1,cut\n", "test.csv, line 2: size_1 \"-1\""},
      {"family,size_1,lengths\nflat,10,cut\n", "test.csv, line 2: a flat bar needs its width"},
      {"family,size_1,lengths\nsheet,1,1000\n", "test.csv, line 2: lengths \"1000\": give formats"},
      {"family,size_1,lengths\nflat,\"10,20\n", "test.csv, line 2: a quote is not closed"},
      {"family,designation,size_1,lengths\nplate,thin,1 2,cut\n", "test.csv, line 2: one designation"},
      {"family,size_1,lengths\n", "test.csv: no stock item"},
      {"family,size_1,lengths,minus\nplate,10,cut,0.5x\n", "test.csv, line 2: minus \"0.5x\""},
  };
  for (const auto& [text, says] : cases) {
    std::vector<StockItem> items;
    std::string error;
    EXPECT_FALSE(parse_catalogue(text, "test.csv", &items, &error)) << text;
    EXPECT_EQ(error.rfind(says, 0), 0u) << error;
  }
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
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--allowance", "1,2"}, {"--allowance", "-1"}, {"--allowance", "1,2,"},
        {"--orientation", "sideways"}, {"--prefer", "round"}, {"--group-tolerance", "x"}}) {
    error.clear();
    parse(bad, &error);
    EXPECT_EQ(error.rfind(bad[0], 0), 0u) << error;
  }
}
