// Numbers as the host shows them: each formatter reads back as the number
// it was given, to the digits it promises, whatever its size.
#include "ufhost/base/numbers.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>

namespace {

using namespace ufhost;

const double kValues[] = {0.0,     -0.0,   1.0,     -2.5,    0.1,     1.0 / 3.0,   123456.789,
                          1e-300,  5e-324, 1e300,   -1e300,  DBL_MAX, -DBL_MAX,    19.843135};

TEST(Numbers, FixedSixDecimalsNeverShowsANegativeZero) {
  EXPECT_EQ("80.000000", fixed6(80));
  EXPECT_EQ("-2.500000", fixed6(-2.5));
  EXPECT_EQ("0.000000", fixed6(-0.0));
  EXPECT_EQ("0.000000", fixed6(-4e-7));  // rounds to nothing
  EXPECT_EQ("-0.000001", fixed6(-6e-7));
}

TEST(Numbers, FixedSixDecimalsHoldEveryDigitOfHugeValues) {
  // A damaged part's coordinates can be anything: the text must still be
  // the number, not its first few dozen digits.
  for (double v : kValues) {
    SCOPED_TRACE(v);
    const std::string text = fixed6(v);
    EXPECT_NEAR(v, std::strtod(text.c_str(), nullptr), 5e-7 + std::abs(v) * 1e-15);
    ASSERT_GE(text.size(), 8u);
    EXPECT_EQ('.', text[text.size() - 7]) << text;
  }
}

TEST(Numbers, TrimmedFixedDropsOnlyZerosAfterThePoint) {
  EXPECT_EQ("20", fixed6_trimmed(20));
  EXPECT_EQ("100", fixed6_trimmed(100));
  EXPECT_EQ("19.843135", fixed6_trimmed(19.843135));
  EXPECT_EQ("0.5", fixed6_trimmed(0.5));
  EXPECT_EQ("0", fixed6_trimmed(-0.0));
  EXPECT_EQ("-0.000001", fixed6_trimmed(-1e-6));
  EXPECT_DOUBLE_EQ(-1e80, std::strtod(fixed6_trimmed(-1e80).c_str(), nullptr));
}

TEST(Numbers, AllDigitsAndShortestReadBackAsTheSameDouble) {
  for (double v : kValues) {
    SCOPED_TRACE(v);
    EXPECT_EQ(v, std::strtod(all_digits(v).c_str(), nullptr));
    EXPECT_EQ(v, std::strtod(shortest(v).c_str(), nullptr));
    EXPECT_EQ(std::signbit(v), std::signbit(std::strtod(shortest(v).c_str(), nullptr)));
  }
  EXPECT_EQ("100", shortest(100));
  EXPECT_EQ("0.1", shortest(0.1));
  EXPECT_EQ("1e-08", shortest(1e-8));
}

}  // namespace
