// Lines of the report file and the grade log. The degree sign of the row labels is the byte 0xB0
// of the station's Windows code page, as the report program reads it.
#include "grading/grade_report.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "gradetables/main_fnc.h"
#include "text/number_text.h"
#include "text/round_decimal.h"

namespace krm::grading {
namespace {

using gradetables::MainFNC;
using intake::MeasurementKeys;
using text::FixedDouble;
using text::FixedSingle;
using text::FromSingle;

// The six entries of one results row.
using Entries = std::array<std::string, 6>;

class ReportWriter {
 public:
  explicit ReportWriter(GradeOutputs out) : out_(out) {}

  void Report(std::string_view line) {
    if (out_.report) out_.report->WriteLine(line);
  }
  void Log(std::string_view line) {
    if (out_.grade_log) out_.grade_log->WriteLine(line);
  }

  // A row of min, max, value, snapped value, deviation and its class name.
  void ParameterRow(std::string_view label, const Entries& v) {
    std::string line(label);
    for (std::string_view part :
         {std::string_view(",("), std::string_view(v[0]), std::string_view(",-"),
          std::string_view(v[1]), std::string_view("), "), std::string_view(v[2]),
          std::string_view(","), std::string_view(v[3]), std::string_view(","),
          std::string_view(v[5])}) {
      line.append(part);
    }
    Report(line);
    LogEntries(label, v, 6);
  }

  // A row of one value and its description or class, `count` entries in the grade log.
  void SingleValueRow(std::string_view label, const Entries& v, int count) {
    std::string line(label);
    line.append(",").append(v[0]).append(",,,").append(v[1]).append(",");
    Report(line);
    LogEntries(label, v, count);
  }

  void LogEntries(std::string_view label, const Entries& v, int count) {
    for (int n = 1; n <= count; ++n) {
      std::string line(label);
      line.append("_").append(std::to_string(n)).append("=").append(v[n - 1]);
      Log(line);
    }
  }

 private:
  GradeOutputs out_;
};

std::string ClassName(std::int16_t c) {
  return MainFNC::eClassName(c);
}

// A deviation and the name of its class by the classifier of symmetry parameter `s`; a deviation
// that could not be formed leaves its entry empty and counts as class 1.
void Deviation(Entries& v, Symmetry s, const std::optional<float>& value) {
  v[4] = value ? FromSingle(*value) : "";
  v[5] = ClassName(ClassOf(s, value));
}

// A key read as a number and written with `decimals` places.
std::string KeyFixed(const MeasurementKeys& keys, std::string_view key, int decimals) {
  return FixedDouble(keys.NumberOr0(key), decimals);
}

void SummaryAndMessages(StoneState& stone, ReportWriter& out, const MeasurementKeys& keys,
                        const ReportStamp& stamp) {
  const std::string stone_id = keys.Text("STONE_ID");
  const platform::Version version = platform::ProgramVersion();
  const std::string& cut = stone.fields.CutCaption();
  const std::string& symmetry = stone.fields.SymmetryCaption();
  const std::string& table_name = stone.details.table_class_name;

  out.Report(stone_id + "," + std::to_string(version.major) + "." + std::to_string(version.minor) +
             "." + std::to_string(version.revision) + "," + stamp.version_date + "," + stamp.date +
             "," + stamp.time + "," + cut + "," + symmetry + "," + table_name + "," + table_name);

  out.Log("STONE_ID=" + stone_id);
  out.Log("Version_Major=" + std::to_string(version.major));
  out.Log("Version_Minor=" + std::to_string(version.minor));
  out.Log("Version_Rev=" + std::to_string(version.revision));
  out.Log("Version_Date=" + stamp.version_date);
  out.Log("Current_Date=" + stamp.date);
  out.Log("Current_Time=" + stamp.time);
  out.Log("KRM_OVERALL_Cut=" + cut);
  out.Log("KRM_OVERALL_SYM=" + symmetry);

  out.Report("MSG[1]," + stone.MessageList);
  out.Report("MSG[2]," + stone.GirdleLimitText);
  out.Report("MSG[3]," + stone.DegradeText);
  out.Report("MSG[4]," + stone.SymmetryText);
}

// What the rows do to the stone, file or no file: the message list is padded to eight fields and
// three record fields are rounded to one place in place, as their rows take them.
struct RowFields {
  float star_angle;
  float upper_angle;
  float total_depth;
};
RowFields ApplyRowEffects(StoneState& stone) {
  for (int count = stone.MessageCount; count <= 7; ++count) stone.MessageList.push_back(',');
  intake::PolishData& r = stone.polish;
  return {text::RoundDecimalInPlace(r.CALC_STAR_ANGLE_DEG, 1),
          text::RoundDecimalInPlace(r.CALC_UPPER_ANGLE_DEG, 1),
          text::RoundDecimalInPlace(r.CALC_TOTAL_DEPTH_PC, 1)};
}

}  // namespace

std::optional<float> MillimetreRowSpread(const MeasurementKeys& keys, std::string_view max_key,
                                         std::string_view min_key) {
  const auto max = keys.Number(max_key), min = keys.Number(min_key);
  const auto min_d = keys.Number("DIAMETER_MM_MIN"), max_d = keys.Number("DIAMETER_MM_MAX");
  if (!max || !min || !min_d || !max_d) return std::nullopt;
  const auto single_min = text::NarrowToSingle(*min_d), single_max = text::NarrowToSingle(*max_d);
  if (!single_min || !single_max) return std::nullopt;
  const float sum = *single_min + *single_max;
  if (sum == 0) return std::nullopt;
  return text::RoundDecimal((*max - *min) * 200 / static_cast<double>(sum), 1);
}

void WriteGradeReport(StoneState& stone, const MeasurementKeys& keys, GradeOutputs outputs,
                      const ReportStamp& stamp) {
  // The total depth row shows the depth before and after its rounding.
  const std::string depth = FixedSingle(stone.polish.CALC_TOTAL_DEPTH_PC, 2);
  const RowFields rounded = ApplyRowEffects(stone);
  if (!outputs.report && !outputs.grade_log) return;
  ReportWriter out(outputs);
  SummaryAndMessages(stone, out, keys, stamp);
  intake::PolishData& r = stone.polish;
  const GradeDetails& d = stone.details;
  const SymmetryValues& sym = d.symmetry;
  const ResultFields& f = stone.fields;
  using S = Symmetry;
  Entries v;

  const std::string shape = r.CUTTING_TYPE == "Brilliant" ? "Round Brilliant" : r.CUTTING_TYPE;
  out.Report("Shape," + shape + ",,," + shape + ",");
  out.Log("Shape=" + shape);

  const std::string weight = FixedSingle(r.CORRECTED_MASS, 4);
  out.Report("Calculated Weight ( Ct )," + weight + ",,,,");
  out.Log("Calculated Weight ( Ct )=" + weight);

  v = {FixedSingle(r.DIAMETER_MM_MIN, 3), FixedSingle(r.DIAMETER_MM_MAX, 3),
       FixedSingle(r.DIAMETER_MM, 3), FixedSingle(r.CALC_DIAMETER_MM, 2)};
  Deviation(v, S::kOutOfRound, MillimetreRowSpread(keys, "DIAMETER_MM_MAX", "DIAMETER_MM_MIN"));
  out.ParameterRow("Diameter ( mm )", v);

  v = {KeyFixed(keys, "TABLE_MM_MIN", 3), KeyFixed(keys, "TABLE_MM_MAX", 3),
       FixedSingle(r.TABLE_PC, 2), FixedDouble(f.Snapped(Axis::kTable), 1)};
  Deviation(v, S::kTableVariation, MillimetreRowSpread(keys, "TABLE_MM_MAX", "TABLE_MM_MIN"));
  out.ParameterRow("Table Size (mm) - %", v);

  v = {KeyFixed(keys, "CROWN_ANGLE_DEG_MIN", 2), KeyFixed(keys, "CROWN_ANGLE_DEG_MAX", 2),
       FixedSingle(r.CROWN_ANGLE_DEG, 2), f.SnappedText(Axis::kCrown)};
  Deviation(v, S::kCrownAngleSpread, sym[S::kCrownAngleSpread]);
  out.ParameterRow("Crown Angle ( \xB0 )", v);

  v = {KeyFixed(keys, "PAVILION_ANGLE_DEG_MIN", 2), KeyFixed(keys, "PAVILION_ANGLE_DEG_MAX", 2),
       FixedSingle(r.PAVILION_ANGLE_DEG, 2), f.SnappedText(Axis::kPavilion)};
  Deviation(v, S::kPavilionAngleSpread, sym[S::kPavilionAngleSpread]);
  out.ParameterRow("Pavilion Angle ( \xB0 )", v);

  v = {KeyFixed(keys, "STAR_ANGLE_DEG_MIN", 2), KeyFixed(keys, "STAR_ANGLE_DEG_MAX", 2),
       FixedSingle(r.STAR_ANGLE_DEG, 2), FromSingle(rounded.star_angle)};
  Deviation(v, S::kStarAngleSpread, sym[S::kStarAngleSpread]);
  out.ParameterRow("Star Angle ( \xB0 )", v);

  v = {KeyFixed(keys, "UPPER_ANGLE_DEG_MIN", 2), KeyFixed(keys, "UPPER_ANGLE_DEG_MAX", 2),
       FixedSingle(r.UPPER_ANGLE_DEG, 2), FromSingle(rounded.upper_angle)};
  Deviation(v, S::kUpperAngleSpread, sym[S::kUpperAngleSpread]);
  out.ParameterRow("Upper Angle ( \xB0 )", v);

  v = {KeyFixed(keys, "HALVES_ANGLE_DEG_MIN", 2), KeyFixed(keys, "HALVES_ANGLE_DEG_MAX", 2),
       FixedSingle(r.HALVES_ANGLE_DEG, 2),
       text::FromDouble(
           MainFNC::FormatPavilion(FromSingle(r.CALC_HALVES_ANGLE_DEG), gradetables::kLabType))};
  Deviation(v, S::kLowerAngleSpread, sym[S::kLowerAngleSpread]);
  out.ParameterRow("Lower Angle ( \xB0 )", v);

  v = {KeyFixed(keys, "STAR_RATIO_PC_MIN", 2), KeyFixed(keys, "STAR_RATIO_PC_MAX", 2),
       FixedSingle(r.STAR_RATIO_PC, 2), FixedDouble(f.Snapped(Axis::kStar), 1)};
  Deviation(v, S::kStarLengthSpread, sym[S::kStarLengthSpread]);
  out.ParameterRow("Star Length ( % )", v);

  v = {KeyFixed(keys, "LENGTH_GIRDLE_FACET_MIN", 2), KeyFixed(keys, "LENGTH_GIRDLE_FACET_MAX", 2),
       FixedSingle(r.LENGTH_GIRDLE_FACET, 2), FixedDouble(f.Snapped(Axis::kLowerHalf), 1)};
  Deviation(v, S::kLowerLengthSpread, sym[S::kLowerLengthSpread]);
  out.ParameterRow("Lower Half Length ( % )", v);

  v = {KeyFixed(keys, "GIRDLE_WIDE_BEZEL_MM_MIN", 3), KeyFixed(keys, "GIRDLE_WIDE_BEZEL_MM_MAX", 3),
       FixedSingle(r.GIRDLE_WIDE_BEZEL, 2),
       text::FromDouble(text::RoundDecimal(2 * r.CALC_GIRDLE_WIDE_BEZEL_PC, 0) * 0.5)};
  Deviation(v, S::kGirdleVariation,
            MillimetreRowSpread(keys, "GIRDLE_WIDE_BEZEL_MM_MAX", "GIRDLE_WIDE_BEZEL_MM_MIN"));
  out.ParameterRow("Girdle Thickness (mm) - % ", v);

  out.SingleValueRow("Girdle Minimum ( % ) *",
                     {FixedSingle(r.GIRDLE_NARROW_MIN, 2), d.thinnest_girdle}, 2);
  out.SingleValueRow("Girdle Maximum ( % ) *",
                     {FixedSingle(r.GIRDLE_NARROW_MAX, 2), d.thickest_girdle}, 2);
  out.SingleValueRow("Culet Size ( % ) *", {FixedSingle(r.CULET_PC, 2), d.culet}, 2);

  v = {KeyFixed(keys, "CROWN_HEIGHT_MM_MIN", 3), KeyFixed(keys, "CROWN_HEIGHT_MM_MAX", 3),
       FixedSingle(r.CROWN_HEIGHT_PC, 2),
       FixedDouble(text::RoundDecimal(2 * r.CALC_CROWN_HEIGHT_PC, 0) / 2.0, 1)};
  Deviation(v, S::kCrownHeightVariation,
            MillimetreRowSpread(keys, "CROWN_HEIGHT_MM_MAX", "CROWN_HEIGHT_MM_MIN"));
  out.ParameterRow("Crown Height (mm) - %", v);

  v = {KeyFixed(keys, "PAVILION_DEPTH_MM_MIN", 3), KeyFixed(keys, "PAVILION_DEPTH_MM_MAX", 3),
       FixedSingle(r.PAVILION_DEPTH_PC, 2),
       FixedDouble(text::RoundDecimal(2 * r.CALC_PAVILION_DEPTH_PC, 0) * 0.5, 1)};
  Deviation(v, S::kPavilionDepthVariation,
            MillimetreRowSpread(keys, "PAVILION_DEPTH_MM_MAX", "PAVILION_DEPTH_MM_MIN"));
  out.ParameterRow("Pavilion Depth (mm) - % ", v);

  out.SingleValueRow("Total Depth ( % )", {depth, FixedSingle(rounded.total_depth, 1)}, 2);

  v = {FixedDouble(d.crown_painting, 2),
       FromSingle(d.acp),
       FixedDouble(d.pavilion_painting, 2),
       FromSingle(d.app),
       FixedDouble(d.crown_painting + d.pavilion_painting, 2),
       FromSingle(d.sum)};
  out.Report("Avg Crown Painting ( \xB0 )," + v[0] + ",,," + v[1] + ",");
  out.Report("Avg Pavilion Painting ( \xB0 )," + v[2] + ",,," + v[3] + ",");
  out.Report("Avg Sum Of Painting ( \xB0 )," + v[4] + ",,," + v[5] + ",");
  out.LogEntries("Painting - ACP-APP-SUM ( \xB0 )", v, 6);

  // The centring, twist and table edge classes are formed again here, by the rules of the
  // symmetry evaluation; they raise the symmetry grade as the evaluation did, which leaves it as
  // it is.
  auto centring = [&](std::string_view label, std::string_view key, Symmetry s) {
    const std::int16_t c = ClassOf(s, sym[s]);
    stone.SymmetryGrade = std::max(stone.SymmetryGrade, c);
    out.SingleValueRow(
        label, {KeyFixed(keys, key, 2), sym[s] ? FromSingle(*sym[s]) : "", ClassName(c)}, 3);
  };
  centring("Table Off Center ( % )", "OFFSET_GIRDLE_TABLE_PC", S::kTableOffCenter);
  centring("Culet Off Center ( % )", "OFFSET_GIRDLE_CULET_PC", S::kCuletOffCenter);
  centring("Table/Culet Alignment ( % )", "OFFSET_TABLE_CULET_PC", S::kTableCuletAlignment);

  // Twist and table edge show their value with one decimal in both entries; one that could not
  // be formed (no diameter for the table edge) leaves both empty.
  auto one_decimal = [&](std::string_view label, Symmetry s) {
    const std::int16_t c = ClassOf(s, sym[s]);
    stone.SymmetryGrade = std::max(stone.SymmetryGrade, c);
    const std::string shown = sym[s] ? FixedSingle(*sym[s], 1) : "";
    out.SingleValueRow(label, {shown, shown, ClassName(c)}, 3);
  };
  one_decimal("ALIGNMENT ( \xB0 )", S::kTwist);
  one_decimal("TEV (%)", S::kTableEdge);
}

}  // namespace krm::grading
