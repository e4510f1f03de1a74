// The station's code page against UTF-8: every byte survives the round trip, and text the code
// page cannot hold is refused rather than changed.
#include "text/code_page.h"

#include <gtest/gtest.h>

namespace krm::text {
namespace {

TEST(CodePage, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string utf8 = Cp1252ToUtf8(all);
  EXPECT_EQ(Utf8ToCp1252(utf8), all);
  EXPECT_EQ(Cp1252ToUtf8("40.8\xB0 \x80"), "40.8\u00b0 \u20ac");  // degree sign, euro sign
  EXPECT_EQ(Cp1252ToUtf8("\x81"), "\u0081");                      // undefined: its control
}

TEST(CodePage, StoresWithoutNulTakeTheByteZeroAsTheSymbolForNull) {
  const std::string bytes("a\0b\x80", 4);
  EXPECT_EQ(Cp1252ToUtf8(bytes), std::string("a\0b\u20ac", 6));
  EXPECT_EQ(Cp1252ToUtf8(bytes, Nul::kSymbol), "a\u2400b\u20ac");
  EXPECT_EQ(Utf8ToCp1252("a\u2400b\u20ac", Nul::kSymbol), bytes);
  // Each way keeps the other's character for what it is: U+2400 is no station character, and a
  // store without NUL never holds U+0000.
  EXPECT_EQ(Utf8ToCp1252("\u2400"), std::nullopt);
  EXPECT_EQ(Utf8ToCp1252(std::string("\0", 1), Nul::kSymbol), std::nullopt);
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string stored = Cp1252ToUtf8(all, Nul::kSymbol);
  EXPECT_EQ(stored.find('\0'), std::string::npos);
  EXPECT_EQ(Utf8ToCp1252(stored, Nul::kSymbol), all);
}

TEST(CodePage, TextTheCodePageCannotHoldIsRefused) {
  for (const char* text : {"\u2192", "\xC3", "\xC0\x80", "\xF0\x9F\x98\x80"}) {
    EXPECT_EQ(Utf8ToCp1252(text), std::nullopt) << text;
  }
}

}  // namespace
}  // namespace krm::text
