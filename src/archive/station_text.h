// Station texts in the archive: byte strings of the station's Windows code page (1252) kept
// losslessly in databases that want Unicode.
//
// Measurement files come from the scanner in code page 1252, so bytes from 0x80 up are normal and
// any byte may turn up in a damaged file. The archive keeps every such byte string as Unicode
// text (UTF-8) by a mapping that can be undone exactly:
//   - 0x01 to 0x7F and the 1252 characters from 0x80 up become their Unicode characters
//     (0x80 is U+20AC EURO SIGN, 0xE9 is U+00E9, ...);
//   - the five bytes that 1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control
//     characters of the same number (U+0081, ...), as the Windows conversion does;
//   - 0x00 becomes U+2400 SYMBOL FOR NULL, because PostgreSQL texts cannot hold a NUL.
// These 256 characters are all different, so every text the archive wrote turns back into the
// bytes that went in. The same mapping holds in the local archive and on the server, so that their
// rows are equal text for text.
#ifndef KRM_ARCHIVE_STATION_TEXT_H_
#define KRM_ARCHIVE_STATION_TEXT_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace krm::archive {

// Appends the UTF-8 text of station bytes to `out`.
void AppendStationText(std::string_view bytes, std::string* out);
std::string StationText(std::string_view bytes);
// The station bytes of a UTF-8 text made by StationText; no value for a text that none of the 256
// characters above (or no valid UTF-8) makes.
std::optional<std::string> StationBytes(std::string_view utf8);

// A JSON string literal (with its quotes) of station bytes: the characters above, with '"', '\\'
// and the control characters below U+0020 escaped.
void AppendJsonString(std::string_view bytes, std::string* out);

// An object of key/value pairs in the given order, repeated keys kept:
// {"KEY":"VALUE","KEY2":"VALUE2"}.
using KeyValueList = std::vector<std::pair<std::string, std::string>>;
std::string JsonObject(const KeyValueList& pairs);
// An array of strings: ["a","b"].
std::string JsonArray(const std::vector<std::string>& items);

// The reverse of JsonObject and JsonArray, back to station bytes; no value for text that is not
// such a JSON object (or array) of strings, or whose strings hold characters StationText never
// writes.
std::optional<KeyValueList> ParseJsonObject(std::string_view json);
std::optional<std::vector<std::string>> ParseJsonArray(std::string_view json);

}  // namespace krm::archive

#endif  // KRM_ARCHIVE_STATION_TEXT_H_
