// The station's code page. Station files (measurement files, reports, grade logs) are text in the
// Windows code page 1252: the report's degree sign is the byte 0xB0. Tools that hand station text
// to the rest of the world (JSON records, CSV, web pages, the archive's databases) convert it to
// UTF-8 here, and back.
//
// The conversion is lossless both ways: the five bytes that the code page leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the same number, as Windows maps them.
// A store that cannot hold the character U+0000 (a PostgreSQL text) asks for the byte 0 as U+2400
// SYMBOL FOR NULL instead; its way back then takes U+2400 as the byte 0 and refuses U+0000. Either
// way the 256 bytes map to 256 different characters, so every text comes back as it went in.
#ifndef KRM_TEXT_CODE_PAGE_H_
#define KRM_TEXT_CODE_PAGE_H_

#include <optional>
#include <string>
#include <string_view>

namespace krm::text {

// How the byte 0 is written in UTF-8.
enum class Nul {
  kAsIs,    // U+0000
  kSymbol,  // U+2400 SYMBOL FOR NULL, for stores that hold no U+0000
};

// UTF-8 of station text in code page 1252.
std::string Cp1252ToUtf8(std::string_view station_text, Nul nul = Nul::kAsIs);
// As Cp1252ToUtf8, appended to `*out`.
void AppendCp1252AsUtf8(std::string_view station_text, std::string* out, Nul nul = Nul::kAsIs);

// Station text of UTF-8; no value when the text holds a character the code page lacks, or is no
// valid UTF-8. With Nul::kSymbol, U+2400 is the byte 0 and U+0000 is refused.
std::optional<std::string> Utf8ToCp1252(std::string_view utf8, Nul nul = Nul::kAsIs);

}  // namespace krm::text

#endif  // KRM_TEXT_CODE_PAGE_H_
