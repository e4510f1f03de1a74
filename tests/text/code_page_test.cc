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

TEST(CodePage, TextTheCodePageCannotHoldIsRefused) {
  for (const char* text : {"\u2192", "\xC3", "\xC0\x80", "\xF0\x9F\x98\x80"}) {
    EXPECT_EQ(Utf8ToCp1252(text), std::nullopt) << text;
  }
}

}  // namespace
}  // namespace krm::text
