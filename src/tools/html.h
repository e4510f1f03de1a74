// Small pieces of the stone pages' HTML and SVG: escaping of text, numbers as coordinates, and the
// names, codes and style classes of the five grade classes.
#ifndef KRM_TOOLS_HTML_H_
#define KRM_TOOLS_HTML_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace krm::tools::html {

// UTF-8 text made safe for an element's content or a quoted attribute: & < > " ' become
// references, control characters and bytes that are no valid UTF-8 become U+FFFD.
std::string Escape(std::string_view utf8);

// Station text (code page 1252) converted to UTF-8 and escaped.
std::string Station(std::string_view station_text);

// A coordinate or length: fixed with at most two decimals, trailing zeros dropped, "." as the
// decimal point whatever the locale, never "-0". The same number always gives the same text.
std::string Num(double value);

// True for a grade class 1 (Excellent) to 5 (Poor).
constexpr bool IsClass(std::int16_t c) {
  return c >= 1 && c <= 5;
}

// "Excellent" ... "Poor" (the station's class names); "none" for anything else.
std::string ClassName(std::int16_t c);
// The short code printed on a class's colour, so that a grey print still tells the classes apart:
// "EX", "VG", "G", "F", "P"; "–" for no class.
std::string_view ClassCode(std::int16_t c);
// The style class that colours an element by a grade class: "k1" ... "k5", "k0" for no class.
std::string ClassStyle(std::int16_t c);

// A coloured pill with the class code and name, e.g. for a table cell.
std::string ClassPill(std::int16_t c);

}  // namespace krm::tools::html

#endif  // KRM_TOOLS_HTML_H_
