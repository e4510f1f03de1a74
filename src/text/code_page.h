// The station's code page. Station files (measurement files, reports, grade logs) are text in the
// Windows code page 1252: the report's degree sign is the byte 0xB0. Tools that hand station text
// to the rest of the world (JSON records, CSV, web pages) convert it to UTF-8 here, and back.
//
// The conversion is lossless both ways: the five bytes that the code page leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the same number, as Windows maps them.
#ifndef KRM_TEXT_CODE_PAGE_H_
#define KRM_TEXT_CODE_PAGE_H_

#include <optional>
#include <string>
#include <string_view>

namespace krm::text {

// UTF-8 of station text in code page 1252.
std::string Cp1252ToUtf8(std::string_view station_text);

// Station text of UTF-8; no value when the text holds a character the code page lacks, or is no
// valid UTF-8.
std::optional<std::string> Utf8ToCp1252(std::string_view utf8);

}  // namespace krm::text

#endif  // KRM_TEXT_CODE_PAGE_H_
