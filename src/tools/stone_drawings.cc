#include "tools/stone_drawings.h"

#include <algorithm>
#include <cmath>

#include "text/number_text.h"
#include "tools/html.h"

namespace krm::tools {
namespace {

using gradetables::Axis;
using gradetables::AxisIndex;
using gradetables::GridOf;
using html::Num;

constexpr double kPi = 3.14159265358979323846;

double Tan(double degrees) {
  return std::tan(degrees * kPi / 180);
}

// A number read from a measurement that may be anything: a value that is not finite counts 0.
double Finite(float value) {
  return std::isfinite(value) ? value : 0;
}

std::string Pct(float value) {
  return html::Escape(text::FromSingle(value)) + "\xC2\xA0%";  // no break before the sign
}
std::string Deg(float value) {
  return html::Escape(text::FromSingle(value)) + "\xC2\xB0";
}
std::string Mm(double value) {
  return text::FixedDouble(value, 2) + "\xC2\xA0mm";
}

// Text of a drawing at (x, y).
std::string Text(double x, double y, std::string_view anchor, std::string_view css,
                 const std::string& content) {
  return "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" text-anchor=\"" + std::string(anchor) +
         "\" class=\"" + std::string(css) + "\">" + content + "</text>";
}

std::string Line(double x1, double y1, double x2, double y2, std::string_view css) {
  return "<line x1=\"" + Num(x1) + "\" y1=\"" + Num(y1) + "\" x2=\"" + Num(x2) + "\" y2=\"" +
         Num(y2) + "\" class=\"" + std::string(css) + "\"/>";
}

// A polygon through points given in drawing coordinates.
template <typename Points>
std::string Polygon(const Points& points, std::string_view attributes) {
  std::string s = "<polygon " + std::string(attributes) + " points=\"";
  bool first = true;
  for (const auto& [x, y] : points) {
    if (!first) s += ' ';
    first = false;
    s += Num(x) + "," + Num(y);
  }
  return s + "\"/>";
}

// A dimension line with end ticks, horizontal or vertical.
std::string Dimension(double x1, double y1, double x2, double y2) {
  std::string s = Line(x1, y1, x2, y2, "dim");
  const bool horizontal = y1 == y2;
  for (auto [x, y] : {std::pair{x1, y1}, std::pair{x2, y2}}) {
    s += horizontal ? Line(x, y - 4, x, y + 4, "dim") : Line(x - 4, y, x + 4, y, "dim");
  }
  return s;
}

// Spreads label positions so that neighbours stand at least `gap` apart, keeping their order.
void SpreadLabels(std::vector<double>& y, double gap) {
  for (std::size_t i = 1; i < y.size(); ++i) y[i] = std::max(y[i], y[i - 1] + gap);
}

}  // namespace

std::array<std::pair<double, double>, 8> ProfileShape::Outline() const {
  const double d = diameter / 2, t = table / 2, c = culet / 2;
  const double girdle_top = crown_height, girdle_bottom = crown_height + girdle;
  return {{{-t, 0},
           {t, 0},
           {d, girdle_top},
           {d, girdle_bottom},
           {c, Depth()},
           {-c, Depth()},
           {-d, girdle_bottom},
           {-d, girdle_top}}};
}

std::optional<ProfileShape> MeasuredProfile(const intake::PolishData& polish) {
  const double d = Finite(polish.CALC_DIAMETER_MM);
  if (!(d > 0)) return std::nullopt;
  ProfileShape s;
  s.diameter = d;
  const auto part = [&](float pc, double most) {
    return std::clamp(Finite(pc), 0.0, most) * d / 100;
  };
  s.table = part(polish.CALC_TABLE_PC, 100);
  s.culet = std::min(part(polish.CALC_CULET_PC, 50), s.table);
  s.girdle = part(polish.CALC_GIRDLE_WIDE_BEZEL_PC, 30);
  if (Finite(polish.CALC_CROWN_HEIGHT_PC) > 0) {
    s.crown_height = part(polish.CALC_CROWN_HEIGHT_PC, 40);
  } else {
    s.crown_from_angle = true;
    s.crown_height =
        (d - s.table) / 2 * Tan(std::clamp(Finite(polish.CALC_CROWN_ANGLE_DEG), 0.0, 60.0));
  }
  if (Finite(polish.CALC_PAVILION_DEPTH_PC) > 0) {
    s.pavilion_depth = part(polish.CALC_PAVILION_DEPTH_PC, 80);
  } else {
    s.pavilion_from_angle = true;
    s.pavilion_depth =
        (d - s.culet) / 2 * Tan(std::clamp(Finite(polish.CALC_PAVILION_ANGLE_DEG), 0.0, 60.0));
  }
  return s;
}

ProfileShape ReshapedProfile(const ProfileShape& stone, const intake::PolishData& polish,
                             const grading::Explanation& explanation,
                             const gradetables::GridIndexes& cell) {
  ProfileShape s = stone;
  const auto moved = [&](Axis axis) {
    return cell[AxisIndex(axis)] != explanation.axes[AxisIndex(axis)].index;
  };
  const auto grid = [&](Axis axis) { return GridOf(axis).Point(cell[AxisIndex(axis)]); };
  const double d = stone.diameter;
  if (moved(Axis::kTable)) s.table = std::clamp(grid(Axis::kTable), 0.0, 100.0) * d / 100;
  // The crown keeps its drawn slope unless its angle moves; a narrower crown is then lower.
  const double crown_angle = std::clamp(Finite(polish.CALC_CROWN_ANGLE_DEG), 0.0, 60.0);
  const double new_crown_angle = moved(Axis::kCrown) ? grid(Axis::kCrown) : crown_angle;
  const double old_run = (d - stone.table) / 2, new_run = (d - s.table) / 2;
  if (old_run > 0 && Tan(crown_angle) > 0) {
    s.crown_height =
        stone.crown_height * (new_run * Tan(new_crown_angle)) / (old_run * Tan(crown_angle));
  } else {
    s.crown_height = new_run * Tan(new_crown_angle);
  }
  if (moved(Axis::kGirdle)) s.girdle = grid(Axis::kGirdle) * d / 100;
  if (moved(Axis::kPavilion)) {
    const double pavilion_angle = std::clamp(Finite(polish.CALC_PAVILION_ANGLE_DEG), 0.0, 60.0);
    const double new_angle = grid(Axis::kPavilion);
    if (Tan(pavilion_angle) > 0) {
      s.pavilion_depth = stone.pavilion_depth * Tan(new_angle) / Tan(pavilion_angle);
    } else {
      s.pavilion_depth = (d - s.culet) / 2 * Tan(new_angle);
    }
  }
  return s;
}

std::string DrawingDefs() {
  // Fair is hatched one way, Poor crosswise: a grey print still tells them from the better
  // classes of a similar grey.
  return "<svg class=\"defs\" width=\"0\" height=\"0\" aria-hidden=\"true\"><defs>"
         "<pattern id=\"hatch4\" width=\"5\" height=\"5\" patternUnits=\"userSpaceOnUse\" "
         "patternTransform=\"rotate(45)\"><line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"5\" "
         "class=\"hatch\"/></pattern>"
         "<pattern id=\"hatch5\" width=\"4\" height=\"4\" patternUnits=\"userSpaceOnUse\" "
         "patternTransform=\"rotate(45)\"><line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"4\" "
         "class=\"hatch\"/><line x1=\"0\" y1=\"0\" x2=\"4\" y2=\"0\" class=\"hatch\"/></pattern>"
         "</defs></svg>";
}

namespace {

// Where the outline at the nearest better cell lies within a few units of the stone's (a change of
// a tenth of a degree is a hundredth of a millimetre), a magnified detail around the point that
// moves most, so that the dashed outline can be seen at all. Empty when the change shows anyway.
std::string Detail(const std::array<std::pair<double, double>, 8>& stone,
                   const std::array<std::pair<double, double>, 8>& better,
                   const std::string& better_class, std::pair<double, double> lens) {
  int focus = 0;
  double most = 0;
  for (int i = 0; i < 8; ++i) {
    const double moved =
        std::hypot(better[i].first - stone[i].first, better[i].second - stone[i].second);
    if (moved > most) {
      most = moved;
      focus = i;
    }
  }
  if (most < 0.02 || most >= 4) return "";
  const int zoom = most < 0.5 ? 20 : most < 1 ? 10 : 5;
  constexpr double kRadius = 30;
  const auto [fx, fy] = stone[focus];
  const auto [lx, ly] = lens;
  std::string s = "<circle cx=\"" + Num(fx) + "\" cy=\"" + Num(fy) + "\" r=\"4\" class=\"focus\"/>";
  const double dx = fx - lx, dy = fy - ly, dist = std::hypot(dx, dy);
  if (dist > kRadius + 6) {
    s += Line(lx + dx / dist * kRadius, ly + dy / dist * kRadius, fx - dx / dist * 4,
              fy - dy / dist * 4, "leader");
  }
  s += "<clipPath id=\"detail-lens\"><circle cx=\"" + Num(lx) + "\" cy=\"" + Num(ly) + "\" r=\"" +
       Num(kRadius) + "\"/></clipPath><circle cx=\"" + Num(lx) + "\" cy=\"" + Num(ly) + "\" r=\"" +
       Num(kRadius) + "\" class=\"lens\"/>";
  s += "<g clip-path=\"url(#detail-lens)\"><g transform=\"translate(" + Num(lx) + " " + Num(ly) +
       ") scale(" + std::to_string(zoom) + ") translate(" + Num(-fx) + " " + Num(-fy) + ")\">";
  s += Polygon(stone, "class=\"pavilion outline\" vector-effect=\"non-scaling-stroke\"");
  s += Polygon(better, "class=\"" + better_class + "\" vector-effect=\"non-scaling-stroke\"");
  s += "</g></g><circle cx=\"" + Num(lx) + "\" cy=\"" + Num(ly) + "\" r=\"" + Num(kRadius) +
       "\" class=\"lens-rim\"/>";
  return s + Text(lx, ly + kRadius + 11, "middle", "lbl small",
                  "detail \xC3\x97" + std::to_string(zoom));
}

}  // namespace

std::string ProfileSvg(const StoneRecord& record) {
  constexpr double kWidth = 440;
  const intake::PolishData& p = record.stone.polish;
  const std::optional<ProfileShape> shape = MeasuredProfile(p);
  const auto open = [&](double height) {
    return "<svg id=\"profile\" class=\"drawing\" viewBox=\"0 0 " + Num(kWidth) + " " +
           Num(height) + "\" role=\"img\" aria-label=\"profile of the stone to scale\">";
  };
  if (!shape) return "";
  const ProfileShape& m = *shape;
  // The diameter spans 224 units unless the stone is too deep for the drawing's height.
  const double scale = std::min(224 / m.diameter, m.Depth() > 0 ? 170 / m.Depth() : 1e9);
  const double cx = 192, top = 34;
  const double height = top + m.Depth() * scale + 52;
  std::string s = open(height);
  const auto X = [&](double x) { return cx + x * scale; };
  const auto Y = [&](double y) { return top + y * scale; };
  const auto outline = [&](const ProfileShape& shape) {
    std::array<std::pair<double, double>, 8> points = shape.Outline();
    for (auto& [x, y] : points) {
      x = X(x);
      y = Y(y);
    }
    return points;
  };
  const double d = m.diameter / 2, girdle_top = m.crown_height,
               girdle_bottom = girdle_top + m.girdle;
  const double bottom = m.Depth();

  // The stone: crown, girdle and pavilion shaded apart, then its outline.
  const auto region = [&](std::initializer_list<std::pair<double, double>> mm,
                          std::string_view css) {
    std::vector<std::pair<double, double>> points;
    for (auto [x, y] : mm) points.emplace_back(X(x), Y(y));
    return Polygon(points, "class=\"" + std::string(css) + "\"");
  };
  s += region({{-m.table / 2, 0}, {m.table / 2, 0}, {d, girdle_top}, {-d, girdle_top}}, "crown");
  s += region({{-d, girdle_top}, {d, girdle_top}, {d, girdle_bottom}, {-d, girdle_bottom}},
              "girdle");
  s += region(
      {{-d, girdle_bottom}, {d, girdle_bottom}, {m.culet / 2, bottom}, {-m.culet / 2, bottom}},
      "pavilion");
  s += Polygon(outline(m), "id=\"stone-outline\" class=\"outline\"");

  const grading::Explanation& e = record.explanation;
  if (e.nearest_better) {
    const ProfileShape better = ReshapedProfile(m, p, e, e.nearest_better->index);
    const std::string better_class = "better " + html::ClassStyle(e.nearest_better->grade_class);
    const auto stone_points = outline(m), better_points = outline(better);
    s += Polygon(better_points, "id=\"better-outline\" class=\"" + better_class + "\"");
    s += Detail(stone_points, better_points, better_class,
                {46, std::max(Y(bottom) - 18, Y(girdle_bottom) + 70)});
  }

  // Table above, diameter below.
  const double table_y = Y(0) - 12;
  s += Dimension(X(-m.table / 2), table_y, X(m.table / 2), table_y);
  s +=
      Text(cx, table_y - 7, "middle", "lbl",
           "table <tspan class=\"v\">" + Pct(p.CALC_TABLE_PC) + "</tspan> \xC2\xB7 " + Mm(m.table));
  const double diameter_y = Y(bottom) + 24;
  s += Dimension(X(-d), diameter_y, X(d), diameter_y);
  s += Text(cx, diameter_y + 14, "middle", "lbl",
            "diameter <tspan class=\"v\">" + Mm(m.diameter) + "</tspan>");

  // Crown and pavilion angles at the left girdle corners, as drawn; labelled as measured.
  const double crown_slope = std::atan2(m.crown_height, d - m.table / 2);
  const double pavilion_slope = std::atan2(m.pavilion_depth, d - m.culet / 2);
  const double r = 26;
  const double lx = X(-d), crown_corner = Y(girdle_top), pavilion_corner = Y(girdle_bottom);
  s += "<path class=\"arc\" d=\"M" + Num(lx + r) + "," + Num(crown_corner) + " A" + Num(r) + "," +
       Num(r) + " 0 0 0 " + Num(lx + r * std::cos(crown_slope)) + "," +
       Num(crown_corner - r * std::sin(crown_slope)) + "\"/>";
  s += "<path class=\"arc\" d=\"M" + Num(lx + r) + "," + Num(pavilion_corner) + " A" + Num(r) +
       "," + Num(r) + " 0 0 1 " + Num(lx + r * std::cos(pavilion_slope)) + "," +
       Num(pavilion_corner + r * std::sin(pavilion_slope)) + "\"/>";
  s += Line(lx, crown_corner, lx + r + 6, crown_corner, "ref");
  s += Line(lx, pavilion_corner, lx + r + 6, pavilion_corner, "ref");
  s += Text(lx - 8, crown_corner - 16, "end", "lbl", "crown angle");
  s += Text(lx - 8, crown_corner - 4, "end", "lbl v", Deg(p.CALC_CROWN_ANGLE_DEG));
  s += Text(lx - 8, pavilion_corner + 13, "end", "lbl", "pavilion angle");
  s += Text(lx - 8, pavilion_corner + 25, "end", "lbl v", Deg(p.CALC_PAVILION_ANGLE_DEG));

  // Heights on the right: a chained dimension, then the total depth.
  const double dx = X(d) + 14;
  s += Line(dx, Y(0), dx, Y(bottom), "dim");
  for (double y : {0.0, girdle_top, girdle_bottom, bottom})
    s += Line(dx - 4, Y(y), dx + 4, Y(y), "dim");
  std::vector<double> label_y = {Y(girdle_top / 2) + 4, Y((girdle_top + girdle_bottom) / 2) + 4,
                                 Y((girdle_bottom + bottom) / 2) + 4};
  SpreadLabels(label_y, 13);
  const std::string crown_note = m.crown_from_angle ? " (from angle)" : "";
  const std::string pavilion_note = m.pavilion_from_angle ? " (from angle)" : "";
  s += Text(dx + 8, label_y[0], "start", "lbl",
            "crown <tspan class=\"v\">" + Pct(p.CALC_CROWN_HEIGHT_PC) + "</tspan>" + crown_note);
  s += Text(dx + 8, label_y[1], "start", "lbl",
            "girdle <tspan class=\"v\">" + Pct(p.CALC_GIRDLE_WIDE_BEZEL_PC) + "</tspan>");
  s += Text(
      dx + 8, label_y[2], "start", "lbl",
      "pavilion <tspan class=\"v\">" + Pct(p.CALC_PAVILION_DEPTH_PC) + "</tspan>" + pavilion_note);
  s += Text(dx + 8, std::max(Y(bottom) + 4, label_y[2] + 13), "start", "lbl",
            "total depth <tspan class=\"v\">" + Pct(p.CALC_TOTAL_DEPTH_PC) + "</tspan>");

  // The culet, under its point.
  std::string culet = "culet <tspan class=\"v\">" + Pct(p.CALC_CULET_PC) + "</tspan>";
  if (!record.stone.details.culet.empty()) culet += " " + html::Station(record.stone.details.culet);
  s += Text(cx, Y(bottom) + 13, "middle", "lbl", culet);

  // One millimetre, for scale.
  const double bar_y = height - 8;
  s += Dimension(12, bar_y, 12 + scale, bar_y);
  s += Text(16 + scale, bar_y + 3, "start", "lbl small", "1\xC2\xA0mm");
  return s + "</svg>";
}

std::string StripSvg(const StoneRecord& record, Axis axis) {
  constexpr double kWidth = 330, kHeight = 29, kLeft = 6, kRight = 324, kTop = 7, kCell = 12;
  const int a = AxisIndex(axis);
  const gradetables::GridAxis& grid = GridOf(axis);
  const grading::AxisView& view = record.explanation.axes[a];
  const bool gradable = record.stone.details.gradable;
  const std::vector<std::int16_t>& classes = record.axis_classes[a];
  const double cw = (kRight - kLeft) / grid.points;
  std::string id(grid.name);
  std::replace(id.begin(), id.end(), ' ', '-');
  std::string s = "<svg id=\"strip-" + id + "\" class=\"strip\" viewBox=\"0 0 " + Num(kWidth) +
                  " " + Num(kHeight) + "\" role=\"img\" aria-label=\"grade grid of the " +
                  std::string(grid.name) + "\">";
  // Grid labels at round values.
  static constexpr double kLabelEvery[] = {4, 2, 1, 5, 5, 1};
  for (int i = 0; i < grid.points; ++i) {
    const double v = grid.Point(i) / kLabelEvery[a];
    if (std::abs(v - std::round(v)) > 1e-6) continue;
    s += Text(kLeft + (i + 0.5) * cw, kHeight - 1, "middle", "tick",
              html::Escape(text::FromDouble(grid.Point(i))));
  }
  for (int i = 0; i < grid.points; ++i) {
    const std::int16_t c =
        gradable && i < static_cast<int>(classes.size()) ? classes[i] : std::int16_t{0};
    const std::string rect = "<rect x=\"" + Num(kLeft + i * cw) + "\" y=\"" + Num(kTop) +
                             "\" width=\"" + Num(cw) + "\" height=\"" + Num(kCell) + "\"";
    s += rect + " class=\"cell " + html::ClassStyle(c) + "\"><title>" +
         html::Escape(text::FromDouble(grid.Point(i))) +
         (grid.unit == "%" ? std::string(" %") : html::Station(grid.unit)) + ": " +
         html::ClassName(c) + "</title></rect>";
    if (c >= 4) s += rect + " class=\"hatched h" + std::to_string(c) + "\"/>";
    // The classes one step either side are printed on their cells where there is room.
    if (gradable && std::abs(i - view.index) == 1 && cw >= 9 && html::IsClass(c)) {
      s += Text(kLeft + (i + 0.5) * cw, kTop + 9, "middle", "code " + html::ClassStyle(c),
                std::string(html::ClassCode(c)));
    }
  }
  if (gradable) {
    s += "<rect x=\"" + Num(kLeft + view.index * cw) + "\" y=\"" + Num(kTop - 1.5) + "\" width=\"" +
         Num(cw) + "\" height=\"" + Num(kCell + 3) + "\" class=\"here\"/>";
  }
  // The measured value; beyond the grid it points off the strip's end.
  const double t = (Finite(view.averaged) - grid.base) / grid.step + 0.5;
  const double x = kLeft + t * cw;
  if (x < kLeft || x > kRight) {
    const bool low = x < kLeft;
    const double edge = low ? kLeft : kRight;
    s += "<path class=\"measured off\" d=\"M" + Num(edge) + "," + Num(kTop + kCell / 2) + " l" +
         (low ? "7" : "-7") + ",-6 v12 z\"/>";
  } else {
    s += Line(x, kTop - 2, x, kTop + kCell + 2, "measured");
    s += "<path class=\"measured\" d=\"M" + Num(x) + "," + Num(kTop - 1) + " l-3.5,-6 h7 z\"/>";
  }
  return s + "</svg>";
}

std::string RadialSvg(std::string_view id, const std::array<double, 8>& angles, float mean) {
  constexpr double kSize = 140, kCentre = 70, kRing = 35, kPerDegree = 14, kReach = 1.5;
  std::string s = "<svg id=\"" + std::string(id) + "\" class=\"radial\" viewBox=\"0 0 " +
                  Num(kSize) + " " + Num(kSize) + "\" role=\"img\">";
  const auto at = [&](int facet, double radius) {
    const double phi = facet * kPi / 4;
    return std::pair{kCentre + radius * std::sin(phi), kCentre - radius * std::cos(phi)};
  };
  for (double dev : {-1.0, -0.5, 0.5, 1.0}) {
    s += "<circle cx=\"" + Num(kCentre) + "\" cy=\"" + Num(kCentre) + "\" r=\"" +
         Num(kRing + dev * kPerDegree) + "\" class=\"ring\"/>";
  }
  s += "<circle cx=\"" + Num(kCentre) + "\" cy=\"" + Num(kCentre) + "\" r=\"" + Num(kRing) +
       "\" class=\"ring mean\"/>";
  std::array<std::pair<double, double>, 8> points;
  std::string dots;
  for (int k = 0; k < 8; ++k) {
    const auto [sx, sy] = at(k, kRing - kReach * kPerDegree - 3);
    const auto [ex, ey] = at(k, kRing + kReach * kPerDegree + 3);
    s += Line(sx, sy, ex, ey, "spoke");
    const auto [nx, ny] = at(k, kRing + kReach * kPerDegree + 8);
    s += Text(nx, ny + 3, "middle", "tick", std::to_string(k + 1));
    const double dev = std::isfinite(angles[k]) ? angles[k] - Finite(mean) : 0;
    const bool off = std::abs(dev) > kReach;
    points[k] = at(k, kRing + std::clamp(dev, -kReach, kReach) * kPerDegree);
    dots += "<circle cx=\"" + Num(points[k].first) + "\" cy=\"" + Num(points[k].second) +
            "\" r=\"2.2\" class=\"" + std::string(off ? "dot off" : "dot") + "\"><title>facet " +
            std::to_string(k + 1) + ": " + html::Escape(text::FromDouble(angles[k])) +
            "\xC2\xB0</title></circle>";
  }
  s += Polygon(points, "class=\"facets\"") + dots;
  s += Text(kCentre, kCentre + 2, "middle", "lbl v", Deg(mean));
  s += Text(kCentre, kCentre + 12, "middle", "tick", "mean");
  return s + "</svg>";
}

std::string BoundsSvg(grading::Symmetry parameter, std::optional<float> value) {
  constexpr double kWidth = 110, kHeight = 12, kSegment = kWidth / 5;
  const std::array<float, 4> bounds = grading::BoundsOf(parameter);
  const std::int16_t c = grading::ClassOf(parameter, value);
  std::string s = "<svg class=\"bounds\" viewBox=\"0 0 " + Num(kWidth) + " " + Num(kHeight) +
                  "\" aria-hidden=\"true\">";
  for (int k = 1; k <= 5; ++k) {
    s += "<rect x=\"" + Num((k - 1) * kSegment + 0.5) + "\" y=\"3\" width=\"" + Num(kSegment - 1) +
         "\" height=\"6\" class=\"" + (k == c ? "seg " + html::ClassStyle(k) : std::string("seg")) +
         "\"/>";
  }
  if (value) {
    const double lo = c == 1 ? 0 : bounds[c - 2];
    const double hi = c <= 4 ? bounds[c - 1] : 2 * bounds[3];
    const double t = hi > lo ? std::clamp((*value - lo) / (hi - lo), 0.0, 1.0) : 0;
    const double x = (c - 1 + t) * kSegment;
    s += Line(std::clamp(x, 1.0, kWidth - 1), 0.5, std::clamp(x, 1.0, kWidth - 1), kHeight - 0.5,
              "mark");
  }
  return s + "</svg>";
}

}  // namespace krm::tools
