// The drawings of a stone page, as inline SVG: the stone's profile to scale, a grade grid strip
// per proportion, the crown and pavilion main angles around their mean, and a symmetry
// parameter's value against its class bounds.
#ifndef KRM_TOOLS_STONE_DRAWINGS_H_
#define KRM_TOOLS_STONE_DRAWINGS_H_

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "gradetables/grade_grid.h"
#include "grading/explain.h"
#include "grading/symmetry.h"
#include "intake/polish_data.h"
#include "tools/stone_record.h"

namespace krm::tools {

// A round brilliant seen from the side, in millimetres.
struct ProfileShape {
  double diameter = 0;
  double table = 0;
  double crown_height = 0;
  double girdle = 0;
  double pavilion_depth = 0;
  double culet = 0;
  // True where a height was missing from the measurement and is worked out from its angle.
  bool crown_from_angle = false;
  bool pavilion_from_angle = false;

  double Depth() const { return crown_height + girdle + pavilion_depth; }
  // The outline from the table's left edge clockwise, x from the stone's axis, y downwards from
  // the table.
  std::array<std::pair<double, double>, 8> Outline() const;
};

// The stone's profile from its averaged measurements (diameter, table, crown height, girdle,
// pavilion depth, culet as percentages of the diameter; a missing height from its angle). No
// value when the diameter is missing. Sizes beyond what a stone can have are held to the nearest
// that it can, so that a misread value never throws the drawing off the page.
std::optional<ProfileShape> MeasuredProfile(const intake::PolishData& polish);

// The same stone moved to the grid cell `cell`: along each axis whose grid index differs from the
// stone's, the proportion takes the cell's grid value (table width; crown height for the crown
// angle and table; girdle; pavilion depth for the pavilion angle), and everything else stays as
// measured. Star and lower half lengths do not show in a profile.
ProfileShape ReshapedProfile(const ProfileShape& stone, const intake::PolishData& polish,
                             const grading::Explanation& explanation,
                             const gradetables::GridIndexes& cell);

// Shared definitions (the hatchings of the two worst classes), once per page.
std::string DrawingDefs();

// The profile to scale with its measured values, and dashed the stone at the nearest better cell;
// empty when the measurement gives no diameter.
std::string ProfileSvg(const StoneRecord& record);

// The grade grid strip of one proportion: a cell per grid point, coloured by the class of the
// grade table cell along that axis, the stone's cell outlined, the measured value marked.
std::string StripSvg(const StoneRecord& record, gradetables::Axis axis);

// Eight main angles around their mean, at their facets' positions, on rings 0.5 degrees apart;
// `mean` is the station's averaged angle.
std::string RadialSvg(std::string_view id, const std::array<double, 8>& angles, float mean);

// A symmetry parameter's value against the bounds of its classes.
std::string BoundsSvg(grading::Symmetry parameter, std::optional<float> value);

}  // namespace krm::tools

#endif  // KRM_TOOLS_STONE_DRAWINGS_H_
