// Code page 1251 and UTF-8 both ways: the plug-in's texts round trip, and
// what does not fit is replaced without losing the rest of the text, however
// long it is.
#include "ufhost/base/cp1251.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using ufhost::cp1251_to_utf8;
using ufhost::utf8_to_cp1251;

// "Габариты" in code page 1251, as the plug-in hands it over.
const char kTitle1251[] = "\xC3\xE0\xE1\xE0\xF0\xE8\xF2\xFB";

TEST(CodePage, RoundTripsCyrillic) {
  struct Case { std::string cp1251; std::string utf8; };
  const Case cases[] = {
      {"", ""},
      {"plain ASCII", "plain ASCII"},
      {kTitle1251, "Габариты"},
      {"\xB8\xA8", "ёЁ"},
      {"\xB9 \x96", "№ –"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.utf8, cp1251_to_utf8(c.cp1251));
    EXPECT_EQ(c.cp1251, utf8_to_cp1251(c.utf8));
  }
}

TEST(CodePage, ReplacesWhatDoesNotFitAndKeepsTheRest) {
  // 0x98 is not defined in the code page; a character it lacks, or broken
  // UTF-8, becomes '?' and the rest of the text survives.
  EXPECT_EQ("a\xEF\xBF\xBD" "b", cp1251_to_utf8("a\x98" "b"));
  EXPECT_EQ("a?b", utf8_to_cp1251("a中b"));
  EXPECT_EQ("a?b\xC3", utf8_to_cp1251("a\xFF" "bГ"));
  EXPECT_EQ("\xC3?", utf8_to_cp1251("Г\xD0"));  // cut off at the end
}

TEST(CodePage, EveryDefinedByteRoundTrips) {
  for (int b = 0x80; b <= 0xFF; ++b) {
    if (b == 0x98) continue;  // the one byte the code page leaves undefined
    SCOPED_TRACE(b);
    const std::string one(1, static_cast<char>(b));
    const std::string utf8 = cp1251_to_utf8(one);
    EXPECT_NE("\xEF\xBF\xBD", utf8);
    EXPECT_EQ(one, utf8_to_cp1251(utf8));
  }
}

TEST(CodePage, LongTextsConvertWhole) {
  // Far more than one buffer of the conversion, with replacements all along.
  std::string cp1251, utf8;
  for (int i = 0; i < 5000; ++i) {
    cp1251 += std::string(kTitle1251) + "\x98" + std::to_string(i);
    utf8 += "Габариты\xEF\xBF\xBD" + std::to_string(i);
  }
  EXPECT_EQ(utf8, cp1251_to_utf8(cp1251));
  std::string back;
  for (int i = 0; i < 5000; ++i) back += std::string(kTitle1251) + "?" + std::to_string(i);
  EXPECT_EQ(back, utf8_to_cp1251(utf8));
}

}  // namespace
