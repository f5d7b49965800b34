#include "ufhost/plan/units.h"

#include <gtest/gtest.h>

namespace ufhost::plan {
namespace {

TEST(Units, DecimalMillimetresBecomeWholeMicrometres) {
  EXPECT_EQ(parse_millimetres("1250"), 1'250'000);
  EXPECT_EQ(parse_millimetres("0.1"), 100);
  EXPECT_EQ(parse_millimetres("12.500"), 12'500);
  EXPECT_EQ(parse_millimetres("3.0000"), 3'000);  // trailing zeros past the unit are no loss
  EXPECT_EQ(parse_millimetres(".5"), 500);
  EXPECT_EQ(parse_millimetres("100000"), kMaxLength);
}

TEST(Units, TextThatIsNoLengthIsRefused) {
  for (const char* text : {"", ".", "-1", "+1", "1e3", "1,5", "12.0001", "100000.001", " 1", "1 ",
                           "99999999999999999999999"})
    EXPECT_FALSE(parse_millimetres(text).has_value()) << text;
}

// A piece rounds up, stock down: a plan never holds what does not fit.
TEST(Units, FinerThanAMicrometreRoundsTheSafeWayWhenAsked) {
  EXPECT_FALSE(parse_millimetres("12.0001").has_value());
  EXPECT_EQ(parse_millimetres("12.0001", Rounding::kUp), 12'001);
  EXPECT_EQ(parse_millimetres("12.0001", Rounding::kDown), 12'000);
  EXPECT_EQ(parse_millimetres("12.999999", Rounding::kUp), 13'000);
  EXPECT_EQ(parse_millimetres("12.0000", Rounding::kUp), 12'000);  // zeros are exact
  EXPECT_FALSE(parse_millimetres("100000.0001", Rounding::kUp).has_value());
}

TEST(Units, PricesKeepTheirCents) {
  EXPECT_EQ(parse_money("45.90"), 45'900'000);
  EXPECT_EQ(format_money(45'900'000), "45.90");
  EXPECT_EQ(format_money(1'234'567), "1.234567");
  EXPECT_EQ(format_money(0), "0.00");
  EXPECT_EQ(format_millimetres(1'250'000), "1250");
  EXPECT_EQ(format_millimetres(12'500), "12.5");
  EXPECT_EQ(format_millimetres(1), "0.001");
}

}  // namespace
}  // namespace ufhost::plan
