// Standard stock: the catalogue's format, what a bad one says, and which
// item holds a blank with the least material.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "ufhost/app/batch/commands.h"
#include "ufhost/app/stock/stock.h"

using namespace ufhost::app;

namespace {

std::vector<StockItem> catalogue(const std::string& text) {
  std::vector<StockItem> items;
  std::string error;
  EXPECT_TRUE(parse_catalogue(text, "test.csv", &items, &error)) << error;
  return items;
}

// The item with least material holds the blank; noise fits, 0.2 mm does not;
// the minus tolerance, formats, lengths, material and --prefer are honoured.
TEST(Stock, LeastMaterialThatHolds) {
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

}

TEST(Stock, BadCataloguesSayWhereAndWhy) {
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

// Standard sizes beside cut to size, each priced on its own or by the
// price of cutting to size.
TEST(Stock, StandardSizesAndPrices) {
  const std::vector<StockItem> items = catalogue(
      "family,size_1,lengths,price\n"
      "round,40,cut 6000 3000@30.50,7.20/m\n"
      "plate,10,1500x3000@300 2000x4000,95/m2\n"
      "sheet,2,1250x2500,\n");
  ASSERT_EQ(items.size(), 3u);
  const StockItem& round = items[0];
  EXPECT_TRUE(round.any_length);
  ASSERT_EQ(round.standard.size(), 2u);
  EXPECT_EQ(round.standard[0].length_um, 6'000'000);
  EXPECT_FALSE(round.standard[0].priced);
  EXPECT_EQ(round.standard[1].price, 30'500'000);
  ufhost::plan::Money price = 0;
  ASSERT_TRUE(price_of(round, 6000, 0, &price));
  EXPECT_EQ(price, 43'200'000);  // 6 m at 7.20
  ASSERT_TRUE(price_of(round, 3000, 0, &price));
  EXPECT_EQ(price, 30'500'000);  // its own price
  const StockItem& plate = items[1];
  EXPECT_FALSE(plate.any_length);
  EXPECT_EQ(plate.standard[0].length_um, 3'000'000);  // the longer side first
  ASSERT_TRUE(price_of(plate, 4000, 2000, &price));
  EXPECT_EQ(price, 760'000'000);  // 8 m² at 95
  EXPECT_FALSE(price_of(items[2], 2500, 1250, &price));
  const std::vector<ufhost::plan::Stock> stock = standard_stock(plate);
  ASSERT_EQ(stock.size(), 2u);
  EXPECT_EQ(*stock[0].price, 300'000'000);
  EXPECT_EQ(stock[1].width, 2'000'000);
  EXPECT_FALSE(standard_stock(items[2])[0].price.has_value());
}

TEST(Stock, BadPricesAndSizesSayWhy) {
  const std::pair<std::string, std::string> cases[] = {
      {"family,size_1,lengths,price\nround,40,cut,7.20\n", "test.csv, line 2: price \"7.20\": give what cutting"},
      {"family,size_1,lengths,price\nround,40,cut,7.20/m2\n", "test.csv, line 2: price \"7.20/m2\""},
      {"family,size_1,lengths,price\nplate,10,cut,95/m\n", "test.csv, line 2: price \"95/m\""},
      {"family,size_1,lengths\nround,40,6000@\n", "test.csv, line 2: the price after @"},
      {"family,size_1,lengths\nround,40,6000@x\n", "test.csv, line 2: the price after @"},
      {"family,size_1,lengths\nplate,10,1500x\n", "test.csv, line 2: lengths \"1500x\": give formats"},
      {"family,size_1,lengths\nround,40,6000x10\n", "test.csv, line 2: lengths \"6000x10\": give lengths"},
  };
  for (const auto& [text, says] : cases) {
    std::vector<StockItem> items;
    std::string error;
    EXPECT_FALSE(parse_catalogue(text, "test.csv", &items, &error)) << text;
    EXPECT_EQ(error.rfind(says, 0), 0u) << error;
  }
}

// The shipped catalogue reads, has every family, and says where each list
// comes from.
TEST(Stock, TheShippedCatalogueHasEveryFamilyWithItsSource) {
  std::vector<StockItem> shipped;
  std::string error;
  ASSERT_TRUE(load_catalogue("default", &shipped, &error)) << error;
  std::set<StockFamily> families;
  for (const StockItem& i : shipped) {
    families.insert(i.family);
    EXPECT_FALSE(i.source.empty()) << i.designation;
  }
  EXPECT_EQ(families.size(), 6u);
  // Bars come in 6 m beside cut to length; plates up to 300 mm thick.
  for (const StockItem& i : shipped)
    if (is_bar(i.family)) {
      EXPECT_TRUE(i.any_length) << i.designation;
      ASSERT_EQ(i.standard.size(), 1u) << i.designation;
      EXPECT_EQ(i.standard[0].length_um, 6'000'000) << i.designation;
    }
  EXPECT_TRUE(std::any_of(shipped.begin(), shipped.end(), [](const StockItem& i) {
    return i.family == StockFamily::Plate && i.size_1 == 300;
  }));
}

}  // namespace
