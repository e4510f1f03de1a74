#include "text/code_page.h"

#include <array>
#include <cstdint>

namespace krm::text {
namespace {

// Code points of the bytes 0x80 to 0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The byte 0 for stores that hold no U+0000.
constexpr char32_t kNulSymbol = 0x2400;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// The code point at the start of `s`, and its length; no value for a byte sequence that is no
// UTF-8 or a code point beyond three bytes (which the code page cannot hold anyway).
std::optional<char32_t> NextCodePoint(std::string_view s, std::size_t* length) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  if (b(0) < 0x80) {
    *length = 1;
    return b(0);
  }
  if ((b(0) & 0xE0) == 0xC0 && s.size() >= 2 && (b(1) & 0xC0) == 0x80) {
    *length = 2;
    const char32_t c = ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
    return c >= 0x80 ? std::optional(c) : std::nullopt;
  }
  if ((b(0) & 0xF0) == 0xE0 && s.size() >= 3 && (b(1) & 0xC0) == 0x80 && (b(2) & 0xC0) == 0x80) {
    *length = 3;
    const char32_t c = ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
    return c >= 0x800 ? std::optional(c) : std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

void AppendCp1252AsUtf8(std::string_view station_text, std::string* out, Nul nul) {
  // Runs of ASCII go across in one piece.
  std::size_t plain = 0;
  for (std::size_t i = 0; i < station_text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(station_text[i]);
    if (byte < 0x80 && (byte != 0 || nul == Nul::kAsIs)) continue;
    out->append(station_text.data() + plain, i - plain);
    plain = i + 1;
    AppendUtf8(*out, byte == 0                     ? kNulSymbol
                     : byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80]
                                                   : char32_t{byte});
  }
  out->append(station_text.data() + plain, station_text.size() - plain);
}

std::string Cp1252ToUtf8(std::string_view station_text, Nul nul) {
  std::string out;
  out.reserve(station_text.size());
  AppendCp1252AsUtf8(station_text, &out, nul);
  return out;
}

std::optional<std::string> Utf8ToCp1252(std::string_view utf8, Nul nul) {
  std::string out;
  out.reserve(utf8.size());
  while (!utf8.empty()) {
    std::size_t length = 0;
    const std::optional<char32_t> c = NextCodePoint(utf8, &length);
    if (!c) return std::nullopt;
    utf8.remove_prefix(length);
    if (nul == Nul::kSymbol && (*c == 0 || *c == kNulSymbol)) {
      if (*c == 0) return std::nullopt;
      out.push_back('\0');
      continue;
    }
    if (*c < 0x80 || (*c >= 0xA0 && *c <= 0xFF)) {
      out.push_back(static_cast<char>(*c));
      continue;
    }
    bool found = false;
    for (std::size_t i = 0; i < kHigh.size() && !found; ++i) {
      if (kHigh[i] == *c) {
        out.push_back(static_cast<char>(0x80 + i));
        found = true;
      }
    }
    if (!found) return std::nullopt;
  }
  return out;
}

}  // namespace krm::text
