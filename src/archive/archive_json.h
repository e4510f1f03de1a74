// Station texts in the archive's databases, and the archive's two JSON columns: the measurement's
// keys (an object) and the run's messages (an array).
//
// Texts are byte strings of the station's code page (1252); both databases want Unicode, so the
// archive stores them as UTF-8 by text/code_page.h, with the byte 0 as U+2400 because PostgreSQL
// texts cannot hold a NUL. That mapping gives each of the 256 bytes its own character, so every
// text comes back exactly as it went in, and the same in the local archive and on the server.
//
// The JSON is written and read by nlohmann-json. An object keeps its members in the given order,
// repeated names included (a measurement file may repeat a key), which JSON allows and the
// server's `json` type keeps.
#ifndef KRM_ARCHIVE_ARCHIVE_JSON_H_
#define KRM_ARCHIVE_ARCHIVE_JSON_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "text/code_page.h"

namespace krm::archive {

// The stored UTF-8 of station bytes, and the bytes back; no value for a text that no station
// bytes make.
inline std::string StoredText(std::string_view bytes) {
  return text::Cp1252ToUtf8(bytes, text::Nul::kSymbol);
}
inline std::optional<std::string> StationBytes(std::string_view stored) {
  return text::Utf8ToCp1252(stored, text::Nul::kSymbol);
}

// Members of an object in order, repeated names kept, as station bytes.
using KeyValueList = std::vector<std::pair<std::string, std::string>>;

// nlohmann-json's object that keeps its members in order, and a member appended to one (repeated
// names kept: the object's own insertion would find the name and replace its value).
using Json = nlohmann::ordered_json;
void AppendMember(std::string_view key, std::string_view value, Json* object);

// {"KEY":"VALUE",...} and ["a","b"] of station bytes, as stored texts.
std::string JsonObject(const KeyValueList& pairs);
std::string JsonArray(const std::vector<std::string>& items);

// The reverse, back to station bytes; no value for text that is not such an object (or array) of
// strings, or whose strings hold a character that StoredText never writes.
std::optional<KeyValueList> ParseJsonObject(std::string_view json);
std::optional<std::vector<std::string>> ParseJsonArray(std::string_view json);

}  // namespace krm::archive

#endif  // KRM_ARCHIVE_ARCHIVE_JSON_H_
