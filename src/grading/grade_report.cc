// Lines of the report file and the grade log. The degree sign of the row labels is the byte 0xB0
// of the station's Windows code page, as the report program reads it.
#include "grading/grade_report.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <string_view>

#include "gradetables/main_fnc.h"
#include "text/number_text.h"
#include "text/round_decimal.h"

namespace krm::grading {
namespace {

using gradetables::MainFNC;
using text::FixedDouble;
using text::FixedSingle;
using text::FromSingle;

// The six entries of one results row.
using Entries = std::array<std::string, 6>;

class ReportWriter {
 public:
  explicit ReportWriter(app::RunState& state) : state_(state) {}

  void Report(std::string_view line) { app::WriteLine(state_.report_file, line); }
  void Log(std::string_view line) { app::WriteLine(state_.grade_log, line); }

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
  app::RunState& state_;
};

std::string ClassName(std::int16_t c) {
  return MainFNC::eClassName(c);
}

// A deviation and the name of its class; a deviation that could not be formed leaves its entry
// empty and counts as class 1.
void Deviation(Entries& v, const std::optional<float>& value, std::int16_t (*classify)(float)) {
  v[4] = value ? FromSingle(*value) : "";
  v[5] = ClassName(value ? classify(*value) : 1);
}

void Deviation(Entries& v, float value, float step) {
  v[4] = FromSingle(value);
  v[5] = ClassName(findg4(value, step));
}

// A key read as a number and written with `decimals` places.
std::string KeyFixed(const MeasurementKeys& keys, std::string_view key, int decimals) {
  return FixedDouble(keys.NumberOr0(key), decimals);
}

std::string VersionDate(app::RunState& state) {
  platform::Env& env = state.env;
  std::time_t when = 0;
  auto program = env.FindFile(state.paths.ProgramFile());
  const platform::fs::path file = program ? *program : env.ExecutablePath();
  if (!env.LastWriteTime(file, &when).ok()) return "";
  const std::tm local = env.ToLocal(when);
  std::string date = env.ShortDate(local);
  if (local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0) return date;
  return date + " " + env.LongTime(local);
}

void SummaryAndMessages(app::RunState& state, ReportWriter& out, const MeasurementKeys& keys,
                        const GradeReportInputs& in) {
  platform::Env& env = state.env;
  const std::string stone_id = keys.Text("STONE_ID");
  const platform::Version version = platform::ProgramVersion();
  const std::string version_date = VersionDate(state);
  const std::tm now = env.Now();
  const std::string date = env.ShortDate(now);
  const std::string time = env.LongTime(now);
  const std::string& cut = state.fields.Label1(20);
  const std::string& symmetry = state.fields.Label1(25);

  out.Report(stone_id + "," + std::to_string(version.major) + "." + std::to_string(version.minor) +
             "." + std::to_string(version.revision) + "," + version_date + "," + date + "," + time +
             "," + cut + "," + symmetry + "," + in.table_class_name + "," + in.table_class_name);

  out.Log("STONE_ID=" + stone_id);
  out.Log("Version_Major=" + std::to_string(version.major));
  out.Log("Version_Minor=" + std::to_string(version.minor));
  out.Log("Version_Rev=" + std::to_string(version.revision));
  out.Log("Version_Date=" + version_date);
  out.Log("Current_Date=" + date);
  out.Log("Current_Time=" + time);
  out.Log("KRM_OVERALL_Cut=" + cut);
  out.Log("KRM_OVERALL_SYM=" + symmetry);

  for (int count = state.MessageCount; count <= 7; ++count) state.MessageList.push_back(',');
  out.Report("MSG[1]," + state.MessageList);
  out.Report("MSG[2]," + state.GirdleLimitText);
  out.Report("MSG[3]," + state.DegradeText);
  out.Report("MSG[4]," + state.SymmetryText);
}

}  // namespace

void WriteGradeReport(app::RunState& state, app::PolishData& r, const MeasurementKeys& keys,
                      const GradeReportInputs& in) {
  ReportWriter out(state);
  SummaryAndMessages(state, out, keys, in);
  const SymmetryValues sym = FormSymmetryValues(keys);
  const app::ResultFields& f = state.fields;
  Entries v;

  const std::string shape = r.CUTTING_TYPE == "Brilliant" ? "Round Brilliant" : r.CUTTING_TYPE;
  out.Report("Shape," + shape + ",,," + shape + ",");
  out.Log("Shape=" + shape);

  const std::string weight = FixedSingle(r.CORRECTED_MASS, 4);
  out.Report("Calculated Weight ( Ct )," + weight + ",,,,");
  out.Log("Calculated Weight ( Ct )=" + weight);

  v = {FixedSingle(r.DIAMETER_MM_MIN, 3), FixedSingle(r.DIAMETER_MM_MAX, 3),
       FixedSingle(r.DIAMETER_MM, 3), FixedSingle(r.CALC_DIAMETER_MM, 2)};
  Deviation(v, sym.out_of_round, BandSetA);
  out.ParameterRow("Diameter ( mm )", v);

  v = {KeyFixed(keys, "TABLE_MM_MIN", 3), KeyFixed(keys, "TABLE_MM_MAX", 3),
       FixedSingle(r.TABLE_PC, 2), FixedDouble(app::CaptionNumber(f.Label1(0)), 1)};
  Deviation(v, sym.table_variation, BandSetC);
  out.ParameterRow("Table Size (mm) - %", v);

  v = {KeyFixed(keys, "CROWN_ANGLE_DEG_MIN", 2), KeyFixed(keys, "CROWN_ANGLE_DEG_MAX", 2),
       FixedSingle(r.CROWN_ANGLE_DEG, 2), f.Label1(1)};
  v[4] = FromSingle(sym.crown_angle_spread);
  v[5] = ClassName(BandSetC(sym.crown_angle_spread));
  out.ParameterRow("Crown Angle ( \xB0 )", v);

  v = {KeyFixed(keys, "PAVILION_ANGLE_DEG_MIN", 2), KeyFixed(keys, "PAVILION_ANGLE_DEG_MAX", 2),
       FixedSingle(r.PAVILION_ANGLE_DEG, 2), f.Label1(2)};
  v[4] = FromSingle(sym.pavilion_angle_spread);
  v[5] = ClassName(BandSetA(sym.pavilion_angle_spread));
  out.ParameterRow("Pavilion Angle ( \xB0 )", v);

  v = {KeyFixed(keys, "STAR_ANGLE_DEG_MIN", 2), KeyFixed(keys, "STAR_ANGLE_DEG_MAX", 2),
       FixedSingle(r.STAR_ANGLE_DEG, 2),
       FromSingle(text::RoundDecimalInPlace(r.CALC_STAR_ANGLE_DEG, 1))};
  Deviation(v, sym.star_angle_spread, 2.9f);
  out.ParameterRow("Star Angle ( \xB0 )", v);

  v = {KeyFixed(keys, "UPPER_ANGLE_DEG_MIN", 2), KeyFixed(keys, "UPPER_ANGLE_DEG_MAX", 2),
       FixedSingle(r.UPPER_ANGLE_DEG, 2),
       FromSingle(text::RoundDecimalInPlace(r.CALC_UPPER_ANGLE_DEG, 1))};
  Deviation(v, sym.upper_angle_spread, 4.8f);
  out.ParameterRow("Upper Angle ( \xB0 )", v);

  v = {KeyFixed(keys, "HALVES_ANGLE_DEG_MIN", 2), KeyFixed(keys, "HALVES_ANGLE_DEG_MAX", 2),
       FixedSingle(r.HALVES_ANGLE_DEG, 2),
       text::FromDouble(
           MainFNC::FormatPavilion(FromSingle(r.CALC_HALVES_ANGLE_DEG), gradetables::kLabType))};
  Deviation(v, sym.lower_angle_spread, 1.4f);
  out.ParameterRow("Lower Angle ( \xB0 )", v);

  v = {KeyFixed(keys, "STAR_RATIO_PC_MIN", 2), KeyFixed(keys, "STAR_RATIO_PC_MAX", 2),
       FixedSingle(r.STAR_RATIO_PC, 2), FixedDouble(app::CaptionNumber(f.Label1(3)), 1)};
  Deviation(v, sym.star_length_spread, 7.2f);
  out.ParameterRow("Star Length ( % )", v);

  v = {KeyFixed(keys, "LENGTH_GIRDLE_FACET_MIN", 2), KeyFixed(keys, "LENGTH_GIRDLE_FACET_MAX", 2),
       FixedSingle(r.LENGTH_GIRDLE_FACET, 2), FixedDouble(app::CaptionNumber(f.Label1(4)), 1)};
  Deviation(v, sym.lower_length_spread, 4.8f);
  out.ParameterRow("Lower Half Length ( % )", v);

  v = {KeyFixed(keys, "GIRDLE_WIDE_BEZEL_MM_MIN", 3), KeyFixed(keys, "GIRDLE_WIDE_BEZEL_MM_MAX", 3),
       FixedSingle(r.GIRDLE_WIDE_BEZEL, 2),
       text::FromDouble(text::RoundDecimal(2 * r.CALC_GIRDLE_WIDE_BEZEL_PC, 0) * 0.5)};
  Deviation(v, sym.girdle_variation, BandSetC);
  out.ParameterRow("Girdle Thickness (mm) - % ", v);

  out.SingleValueRow("Girdle Minimum ( % ) *",
                     {FixedSingle(r.GIRDLE_NARROW_MIN, 2), in.thinnest_girdle}, 2);
  out.SingleValueRow("Girdle Maximum ( % ) *",
                     {FixedSingle(r.GIRDLE_NARROW_MAX, 2), in.thickest_girdle}, 2);
  out.SingleValueRow("Culet Size ( % ) *", {FixedSingle(r.CULET_PC, 2), in.culet}, 2);

  v = {KeyFixed(keys, "CROWN_HEIGHT_MM_MIN", 3), KeyFixed(keys, "CROWN_HEIGHT_MM_MAX", 3),
       FixedSingle(r.CROWN_HEIGHT_PC, 2),
       FixedDouble(text::RoundDecimal(2 * r.CALC_CROWN_HEIGHT_PC, 0) / 2.0, 1)};
  Deviation(v, sym.crown_height_variation, BandSetC);
  out.ParameterRow("Crown Height (mm) - %", v);

  v = {KeyFixed(keys, "PAVILION_DEPTH_MM_MIN", 3), KeyFixed(keys, "PAVILION_DEPTH_MM_MAX", 3),
       FixedSingle(r.PAVILION_DEPTH_PC, 2),
       FixedDouble(text::RoundDecimal(2 * r.CALC_PAVILION_DEPTH_PC, 0) * 0.5, 1)};
  Deviation(v, sym.pavilion_depth_variation, BandSetC);
  out.ParameterRow("Pavilion Depth (mm) - % ", v);

  const std::string depth = FixedSingle(r.CALC_TOTAL_DEPTH_PC, 2);
  out.SingleValueRow("Total Depth ( % )",
                     {depth, FixedSingle(text::RoundDecimalInPlace(r.CALC_TOTAL_DEPTH_PC, 1), 1)},
                     2);

  v = {FixedDouble(in.crown_painting, 2),
       FromSingle(in.acp),
       FixedDouble(in.pavilion_painting, 2),
       FromSingle(in.app),
       FixedDouble(in.crown_painting + in.pavilion_painting, 2),
       FromSingle(in.sum)};
  out.Report("Avg Crown Painting ( \xB0 )," + v[0] + ",,," + v[1] + ",");
  out.Report("Avg Pavilion Painting ( \xB0 )," + v[2] + ",,," + v[3] + ",");
  out.Report("Avg Sum Of Painting ( \xB0 )," + v[4] + ",,," + v[5] + ",");
  out.LogEntries("Painting - ACP-APP-SUM ( \xB0 )", v, 6);

  // The centring, twist and table edge classes are formed again here; they raise the symmetry
  // grade as the evaluation did, which leaves it as it is.
  auto centring = [&](std::string_view label, std::string_view key,
                      const std::optional<float>& value, std::int16_t (*classify)(float)) {
    const std::int16_t c = value ? classify(*value) : 1;
    state.SymmetryGrade = std::max(state.SymmetryGrade, c);
    out.SingleValueRow(label,
                       {KeyFixed(keys, key, 2), value ? FromSingle(*value) : "", ClassName(c)}, 3);
  };
  centring("Table Off Center ( % )", "OFFSET_GIRDLE_TABLE_PC", sym.table_off_center, BandSetB);
  centring("Culet Off Center ( % )", "OFFSET_GIRDLE_CULET_PC", sym.culet_off_center, BandSetB);
  centring("Table/Culet Alignment ( % )", "OFFSET_TABLE_CULET_PC", sym.table_culet_alignment,
           BandSetA);

  auto one_decimal = [&](std::string_view label, const std::optional<float>& value, float step) {
    const std::int16_t c = value ? findg4(*value, step) : 1;
    state.SymmetryGrade = std::max(state.SymmetryGrade, c);
    const std::string shown = FixedSingle(value.value_or(0), 1);
    out.SingleValueRow(label, {shown, shown, ClassName(c)}, 3);
  };
  one_decimal("ALIGNMENT ( \xB0 )", sym.twist, 1.2f);
  one_decimal("TEV (%)", sym.table_edge, 2.2f);
}

}  // namespace krm::grading
