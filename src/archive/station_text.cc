#include "archive/station_text.h"

#include <array>
#include <cstdint>

namespace krm::archive {
namespace {

// Unicode of the bytes 0x80 to 0x9F in code page 1252; the five undefined ones keep their number.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char32_t kNulSymbol = 0x2400;

// Bytes that a JSON string takes as they are: printable ASCII but for '"' and '\\'.
constexpr std::array<bool, 256> kJsonPlain = [] {
  std::array<bool, 256> plain{};
  for (int b = 0x20; b < 0x80; ++b) plain[b] = b != '"' && b != '\\';
  return plain;
}();

char32_t CharOf(unsigned char byte) {
  if (byte == 0) return kNulSymbol;
  if (byte >= 0x80 && byte < 0xA0) return kHigh[byte - 0x80];
  return byte;
}

// The byte a character stands for; no value for a character that no byte gives.
std::optional<unsigned char> ByteOf(char32_t c) {
  if (c == kNulSymbol) return 0;
  if ((c >= 0x01 && c < 0x80) || (c >= 0xA0 && c < 0x100)) return static_cast<unsigned char>(c);
  for (std::size_t i = 0; i < kHigh.size(); ++i) {
    if (kHigh[i] == c) return static_cast<unsigned char>(0x80 + i);
  }
  return std::nullopt;
}

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Reads one UTF-8 character at `*pos`; no value for a malformed sequence.
std::optional<char32_t> NextUtf8(std::string_view text, std::size_t* pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(*pos);
  int extra = 0;
  char32_t c = 0;
  if (lead < 0x80) {
    c = lead;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1, c = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, c = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, c = lead & 0x07;
  } else {
    return std::nullopt;
  }
  if (*pos + extra >= text.size()) return std::nullopt;
  for (int i = 1; i <= extra; ++i) {
    const unsigned char next = byte(*pos + i);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (next & 0x3F);
  }
  // Overlong forms are not what AppendUtf8 writes.
  static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (c < kLeast[extra]) return std::nullopt;
  *pos += 1 + extra;
  return c;
}

// Reads a JSON string literal at `*pos` (its opening quote) into station bytes.
bool ParseString(std::string_view json, std::size_t* pos, std::string* out) {
  out->clear();
  if (*pos >= json.size() || json[*pos] != '"') return false;
  ++*pos;
  while (*pos < json.size()) {
    const char ch = json[*pos];
    char32_t c;
    if (ch == '"') {
      ++*pos;
      return true;
    }
    if (ch == '\\') {
      if (*pos + 1 >= json.size()) return false;
      const char e = json[*pos + 1];
      *pos += 2;
      switch (e) {
        case '"':
        case '\\':
        case '/':
          c = static_cast<unsigned char>(e);
          break;
        case 'b':
          c = '\b';
          break;
        case 'f':
          c = '\f';
          break;
        case 'n':
          c = '\n';
          break;
        case 'r':
          c = '\r';
          break;
        case 't':
          c = '\t';
          break;
        case 'u': {
          if (*pos + 4 > json.size()) return false;
          c = 0;
          for (int i = 0; i < 4; ++i) {
            const char h = json[*pos + i];
            c <<= 4;
            if (h >= '0' && h <= '9') {
              c |= h - '0';
            } else if (h >= 'a' && h <= 'f') {
              c |= h - 'a' + 10;
            } else if (h >= 'A' && h <= 'F') {
              c |= h - 'A' + 10;
            } else {
              return false;
            }
          }
          *pos += 4;
          break;
        }
        default:
          return false;
      }
    } else {
      if (static_cast<unsigned char>(ch) < 0x20) return false;
      const auto next = NextUtf8(json, pos);
      if (!next) return false;
      c = *next;
    }
    const auto b = ByteOf(c);
    if (!b) return false;
    out->push_back(static_cast<char>(*b));
  }
  return false;
}

void SkipBlanks(std::string_view json, std::size_t* pos) {
  while (*pos < json.size() &&
         (json[*pos] == ' ' || json[*pos] == '\t' || json[*pos] == '\n' || json[*pos] == '\r')) {
    ++*pos;
  }
}

bool Expect(std::string_view json, std::size_t* pos, char c) {
  SkipBlanks(json, pos);
  if (*pos < json.size() && json[*pos] == c) {
    ++*pos;
    return true;
  }
  return false;
}

// Walks "[a, b]" or "{k: v, ...}" of strings; `on_string` gets each string in turn.
template <typename OnString>
bool ParseContainer(std::string_view json, char open, char close, OnString on_string) {
  std::size_t pos = 0;
  if (!Expect(json, &pos, open)) return false;
  SkipBlanks(json, &pos);
  if (Expect(json, &pos, close)) {
    SkipBlanks(json, &pos);
    return pos == json.size();
  }
  std::string text;
  for (;;) {
    SkipBlanks(json, &pos);
    if (!ParseString(json, &pos, &text)) return false;
    if (open == '{') {
      std::string value;
      if (!Expect(json, &pos, ':')) return false;
      SkipBlanks(json, &pos);
      if (!ParseString(json, &pos, &value)) return false;
      on_string(std::move(text), std::move(value));
    } else {
      on_string(std::move(text), std::string());
    }
    if (Expect(json, &pos, ',')) continue;
    if (!Expect(json, &pos, close)) return false;
    SkipBlanks(json, &pos);
    return pos == json.size();
  }
}

}  // namespace

void AppendStationText(std::string_view bytes, std::string* out) {
  std::size_t plain = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte != 0 && byte < 0x80) continue;
    out->append(bytes.data() + plain, i - plain);
    plain = i + 1;
    AppendUtf8(CharOf(byte), out);
  }
  out->append(bytes.data() + plain, bytes.size() - plain);
}

std::string StationText(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  AppendStationText(bytes, &out);
  return out;
}

std::optional<std::string> StationBytes(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const auto c = NextUtf8(utf8, &pos);
    if (!c) return std::nullopt;
    const auto b = ByteOf(*c);
    if (!b) return std::nullopt;
    out.push_back(static_cast<char>(*b));
  }
  return out;
}

void AppendJsonString(std::string_view bytes, std::string* out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out->push_back('"');
  std::size_t plain = 0;  // start of the run of bytes that go out as they are
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (kJsonPlain[byte]) continue;
    out->append(bytes.data() + plain, i - plain);
    plain = i + 1;
    if (byte == '"' || byte == '\\') {
      out->push_back('\\');
      out->push_back(static_cast<char>(byte));
    } else if (byte == 0 || byte >= 0x80) {
      AppendUtf8(CharOf(byte), out);
    } else if (byte == '\n') {
      out->append("\\n");
    } else if (byte == '\r') {
      out->append("\\r");
    } else if (byte == '\t') {
      out->append("\\t");
    } else {
      out->append("\\u00");
      out->push_back(kHex[byte >> 4]);
      out->push_back(kHex[byte & 15]);
    }
  }
  out->append(bytes.data() + plain, bytes.size() - plain);
  out->push_back('"');
}

std::string JsonObject(const KeyValueList& pairs) {
  std::string out = "{";
  std::size_t size = 2;
  for (const auto& [key, value] : pairs) size += key.size() + value.size() + 6;
  out.reserve(size);
  for (const auto& [key, value] : pairs) {
    if (out.size() > 1) out.push_back(',');
    AppendJsonString(key, &out);
    out.push_back(':');
    AppendJsonString(value, &out);
  }
  out.push_back('}');
  return out;
}

std::string JsonArray(const std::vector<std::string>& items) {
  std::string out = "[";
  for (const std::string& item : items) {
    if (out.size() > 1) out.push_back(',');
    AppendJsonString(item, &out);
  }
  out.push_back(']');
  return out;
}

std::optional<KeyValueList> ParseJsonObject(std::string_view json) {
  KeyValueList pairs;
  const bool ok = ParseContainer(json, '{', '}', [&](std::string key, std::string value) {
    pairs.emplace_back(std::move(key), std::move(value));
  });
  if (!ok) return std::nullopt;
  return pairs;
}

std::optional<std::vector<std::string>> ParseJsonArray(std::string_view json) {
  std::vector<std::string> items;
  const bool ok = ParseContainer(
      json, '[', ']', [&](std::string item, std::string) { items.push_back(std::move(item)); });
  if (!ok) return std::nullopt;
  return items;
}

}  // namespace krm::archive
