#include "tools/html.h"

#include <charconv>
#include <cmath>

#include "gradetables/main_fnc.h"
#include "text/code_page.h"

namespace krm::tools::html {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Length of the valid UTF-8 sequence at the start of `s`, 0 when there is none; `*code` is its
// code point.
std::size_t Utf8Sequence(std::string_view s, char32_t* code) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b0 = byte(0);
  std::size_t n;
  char32_t c;
  if (b0 < 0x80) {
    *code = b0;
    return 1;
  } else if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2;
    c = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3;
    c = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4;
    c = b0 & 0x07;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(i) & 0x3F);
  }
  // Overlong forms, surrogates and code points beyond U+10FFFF are not valid UTF-8.
  if ((n == 3 && c < 0x800) || (n == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
      (c >= 0xD800 && c <= 0xDFFF)) {
    return 0;
  }
  *code = c;
  return n;
}

}  // namespace

std::string Escape(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  while (!utf8.empty()) {
    char32_t code = 0;
    const std::size_t n = Utf8Sequence(utf8, &code);
    if (n == 0) {
      out += kReplacement;
      utf8.remove_prefix(1);
      continue;
    }
    switch (code) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        if ((code < 0x20 && code != '\t' && code != '\n') || (code >= 0x7F && code <= 0x9F)) {
          out += kReplacement;
        } else {
          out.append(utf8.substr(0, n));
        }
    }
    utf8.remove_prefix(n);
  }
  return out;
}

std::string Station(std::string_view station_text) {
  return Escape(text::Cp1252ToUtf8(station_text));
}

std::string Num(double value) {
  if (!std::isfinite(value)) value = 0;
  value = std::round(value * 100) / 100;
  if (value == 0) value = 0;  // no "-0"
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
  std::string s(buf, result.ptr);
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

std::string ClassName(std::int16_t c) {
  return IsClass(c) ? gradetables::MainFNC::eClassName(c) : "none";
}

std::string_view ClassCode(std::int16_t c) {
  static constexpr std::string_view kCodes[] = {"\xE2\x80\x93", "EX", "VG", "G", "F", "P"};
  return kCodes[IsClass(c) ? c : 0];
}

std::string ClassStyle(std::int16_t c) {
  return "k" + std::to_string(IsClass(c) ? c : 0);
}

std::string ClassPill(std::int16_t c) {
  return "<span class=\"pill " + ClassStyle(c) + "\"><b>" + std::string(ClassCode(c)) + "</b> " +
         Escape(ClassName(c)) + "</span>";
}

}  // namespace krm::tools::html
