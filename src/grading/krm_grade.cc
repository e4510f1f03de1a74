// The grading procedure: start-up, snapping, table class, limiting rules and final grade.
#include "grading/krm_grade.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "gradetables/main_fnc.h"
#include "grading/classifiers.h"
#include "grading/grade_report.h"
#include "grading/grade_rules.h"
#include "grading/symmetry.h"
#include "intake/facet_readings.h"
#include "intake/measurement_keys.h"
#include "intake/polish_data.h"
#include "text/number_text.h"
#include "text/round_decimal.h"

namespace krm::grading {
namespace {

using gradetables::MainFNC;
using intake::MeasurementKeys;
using intake::PolishData;
using text::FromSingle;
using text::RoundDecimal;
using text::RoundDecimalInPlace;

constexpr std::string_view kCellNotRead = "grade table cell not read, the cut grade is not valid";
constexpr std::string_view kLookUpFailed =
    "grade tables database not read, the cut grade is not valid";

std::string Name(std::int16_t c) {
  return MainFNC::eClassName(c);
}

// A number taken as a grade class; no value when it does not fit a 16-bit integer.
std::optional<std::int16_t> AsClass(double value) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= -32768 && rounded <= 32767)) return std::nullopt;
  return static_cast<std::int16_t>(rounded);
}

// The snapped proportions, the averaged ones and the exported ones into the result fields.
void SnapProportions(ResultFields& f, PolishData& r) {
  const double star = SnapToFive(r.CALC_STAR_RATIO_PC);
  const double lower_half = SnapToFive(r.CALC_LENGTH_GIRDLE_FACET);
  f.SetSnapped(Axis::kTable, RoundDecimalInPlace(r.CALC_TABLE_PC, 0));
  f.SetSnapped(Axis::kCrown,
               MainFNC::FormatCrown(FromSingle(r.CALC_CROWN_ANGLE_DEG), gradetables::kLabType));
  f.SetSnapped(Axis::kPavilion, MainFNC::FormatPavilion(FromSingle(r.CALC_PAVILION_ANGLE_DEG),
                                                        gradetables::kLabType));
  f.SetSnapped(Axis::kStar, star);
  f.SetSnapped(Axis::kLowerHalf, lower_half);
  f.SetSnapped(Axis::kGirdle,
               static_cast<double>(RoundDecimal(2 * r.CALC_GIRDLE_WIDE_BEZEL_PC, 0)) * 0.5);
  const float averaged[] = {
      r.CALC_TABLE_PC,      r.CALC_CROWN_ANGLE_DEG,     r.CALC_PAVILION_ANGLE_DEG,
      r.CALC_STAR_RATIO_PC, r.CALC_LENGTH_GIRDLE_FACET, r.CALC_GIRDLE_WIDE_BEZEL_PC};
  const float exported[] = {r.TABLE_PC,      r.CROWN_ANGLE_DEG,     r.PAVILION_ANGLE_DEG,
                            r.STAR_RATIO_PC, r.LENGTH_GIRDLE_FACET, r.GIRDLE_WIDE_BEZEL};
  for (Axis axis : gradetables::kAllAxes) {
    f.SetAveraged(axis, averaged[gradetables::AxisIndex(axis)]);
    f.SetExported(axis, exported[gradetables::AxisIndex(axis)]);
  }
}

// Weight, shape and range checks; gives whether the stone is gradable.
bool CheckGradable(StoneState& stone, const PolishData& r) {
  GradeDetails& d = stone.details;
  if (r.CORRECTED_MASS < 0.15f) {
    stone.AppendMessage(
        "Estimated KRM Cut Grade is not vailid for Round Brilliants smaller then 0.150 Ct");
    stone.WeightNote = "Poor";
    d.rules.push_back(
        {Rule::kWeight, 0, true, "weight " + FromSingle(r.CORRECTED_MASS) + " ct below 0.150 ct"});
  }
  bool gradable = true;
  std::string reasons;
  auto refuse = [&](const std::string& message) {
    gradable = false;
    stone.AppendMessage(message);
    if (!reasons.empty()) reasons += "; ";
    reasons += message;
  };
  if (r.CUTTING_TYPE != "Brilliant") {
    refuse("Shape - " + r.CUTTING_TYPE + " - is currently not graded by KRM!");
  }
  constexpr std::string_view kRangeNames[] = {
      "Parameter Table = ", "Parameter Crown_Angle = ", "Parameter Pavilion Angle = ",
      "Parameter Star Length = ", "Parameter Lower Half Length = "};
  for (int i = 0; i < 5; ++i) {
    const Axis axis = gradetables::kAllAxes[i];
    const gradetables::GridAxis& grid = gradetables::GridOf(axis);
    const double value = stone.fields.Snapped(axis);
    if (value < grid.low || value > grid.high) {
      refuse(std::string(kRangeNames[i]) + stone.fields.SnappedText(axis) + " is out of range");
    }
  }
  if (!gradable) d.rules.push_back({Rule::kNotGradable, 5, true, reasons});
  return gradable;
}

// The grid indexes of the snapped values, searched on their text forms; the cell number.
std::int64_t LocateCell(StoneState& stone) {
  ResultFields& f = stone.fields;
  const double girdle = text::ToNumber(text::FromDouble(std::clamp(
      f.Snapped(Axis::kGirdle), gradetables::kGirdleAxis.low, gradetables::kGirdleAxis.high)));
  gradetables::GridIndexes index = {0, 0, stone.pavilion_index, 0, 0, 0};
  for (Axis axis : gradetables::kAllAxes) {
    const double value = axis == Axis::kGirdle ? girdle : f.Snapped(axis);
    const int a = gradetables::AxisIndex(axis);
    if (auto i = GridIndex(gradetables::GridOf(axis), value)) index[a] = *i;
  }
  stone.pavilion_index = index[gradetables::AxisIndex(Axis::kPavilion)];
  for (Axis axis : gradetables::kAllAxes) {
    f.SetGridIndex(axis, index[gradetables::AxisIndex(axis)]);
  }
  const std::int64_t cell = gradetables::CellNumber(index);
  f.SetCellNumber(cell);
  stone.details.index = index;
  stone.details.cell = cell;
  return cell;
}

// The working values of one grading's rules.
struct Grading {
  explicit Grading(StoneState& stone) : stone(stone) {}
  StoneState& stone;
  std::int16_t table_class = 0;
  std::string table_name;
  std::int16_t running = 0;
  LimitTexts limits;

  // Raises the running class to `x` and adds `text` to `target` when `x` is worse than the table
  // class; keeps the rule's outcome.
  void Apply(Rule rule, std::int16_t x, std::string& target, const std::string& text,
             std::string numbers) {
    running = std::max(running, x);
    const bool acted = table_class < x;
    if (acted) limits.Add(target, text);
    stone.details.rules.push_back({rule, x, acted, std::move(numbers)});
  }
};

void GirdleThicknessRules(Grading& g) {
  StoneState& stone = g.stone;
  PolishData& r = stone.polish;
  const double girdle = stone.fields.Snapped(Axis::kGirdle);
  if (girdle < 1.5) {
    const float depth = RoundDecimalInPlace(r.CALC_TOTAL_DEPTH_PC, 1);
    const std::int16_t x = ThinGirdleClass(depth).value_or(g.table_class);
    stone.fields.SetCutCaption(g.table_name);
    g.Apply(Rule::kThinGirdle, x, stone.GirdleLimitText, ThinGirdleText(Name(x), g.table_name),
            "girdle " + text::FromDouble(girdle) + " % (below 1.5 %) with total depth " +
                FromSingle(depth) + " %");
  }
  if (girdle > 7) {
    const std::int16_t x = ThickGirdleClass(girdle).value_or(g.table_class);
    stone.fields.SetCutCaption(g.table_name);
    g.Apply(Rule::kThickGirdle, x, stone.GirdleLimitText, ThickGirdleText(Name(x), g.table_name),
            "girdle " + text::FromDouble(girdle) + " % (above 7 %)");
    const float depth = RoundDecimalInPlace(r.CALC_TOTAL_DEPTH_PC, 1);
    if (auto y = DeepStoneClass(depth)) {
      g.Apply(Rule::kDeepStone, *y, stone.GirdleLimitText, DeepStoneText(Name(*y), g.table_name),
              "total depth " + FromSingle(depth) + " % with a girdle above 7 %");
    }
  }
  g.limits.Reset();
}

void DescriptionRules(const GradeData& data, Grading& g, FaultLog* faults) {
  StoneState& stone = g.stone;
  GradeDetails& d = stone.details;
  PolishData& r = stone.polish;
  MainFNC& fnc = stone.main_fnc;
  const gradetables::GradeTables* tables = data.tables;
  // A failing look-up is skipped: the text, the ID and the class keep what they had. One that
  // fails on a damaged row makes the grade not valid; a table that could not be read at all was
  // said when the tables were read.
  Status failure;
  auto check = [&] {
    if (faults && failure.code() == Status::Code::kCorrupt) {
      faults->Add(kLookUpFailed, data.tables_path, failure);
    }
  };

  double id1 = 0, id2 = 0;
  if (auto found = fnc.eDescription(r.CALC_GIRDLE_NARROW_MIN_PC, gradetables::kGirdleThicknessTable,
                                    tables, &failure)) {
    d.thinnest_girdle = *found;
  }
  check();
  if (auto id = fnc.LastDescriptionIDNumber()) id1 = *id;
  if (auto found = fnc.eDescription(r.CALC_GIRDLE_NARROW_MAX_PC, gradetables::kGirdleThicknessTable,
                                    tables, &failure)) {
    d.thickest_girdle = *found;
  }
  check();
  if (auto id = fnc.LastDescriptionIDNumber()) id2 = *id;
  std::int16_t x = g.table_class;
  if (auto c = fnc.eDescription_ID(id1, id2, gradetables::kGirdleClassTable, tables, &failure)) {
    x = *c;
  }
  check();
  g.running = std::max(g.running, x);
  const std::string girdle_numbers =
      "thinnest girdle " + FromSingle(r.CALC_GIRDLE_NARROW_MIN_PC) + " % (" + d.thinnest_girdle +
      "), thickest " + FromSingle(r.CALC_GIRDLE_NARROW_MAX_PC) + " % (" + d.thickest_girdle + ")";
  const bool acted = g.table_class < x;
  if (acted) {
    g.limits.Count();
    stone.DegradeText += GirdleDescriptionText(Name(x), g.table_name);
  }
  d.rules.push_back({Rule::kGirdleDescription, x, acted, girdle_numbers});

  if (auto found = fnc.eDescription(r.CALC_CULET_PC, gradetables::kCuletTable, tables, &failure)) {
    d.culet = *found;
  }
  check();
  x = g.table_class;
  if (auto id = fnc.LastDescriptionIDNumber()) {
    if (auto c = AsClass(*id)) x = *c;
  }
  g.Apply(Rule::kCulet, x, stone.DegradeText, CuletText(Name(x), g.table_name),
          "culet " + FromSingle(r.CALC_CULET_PC) + " % (" + d.culet + ")");
}

void PaintingRule(const MeasurementKeys& keys, Grading& g) {
  StoneState& stone = g.stone;
  GradeDetails& d = stone.details;
  d.crown_painting = keys.NumberOr0("CRN_PAINTING_DEG_AVG");
  d.pavilion_painting = keys.NumberOr0("PAV_PAINTING_DEG_AVG");
  d.acp = RoundDecimal(d.crown_painting, 1);
  d.app = RoundDecimal(d.pavilion_painting, 1);
  d.sum = RoundDecimal(d.app + d.acp, 1);
  d.painting = ApplyPainting(g.table_class, g.running, d.acp, d.app, d.sum);
  g.running = d.painting.running_class;
  if (d.painting.degraded) {
    g.limits.Add(stone.DegradeText,
                 PaintingText(d.app, d.acp, d.sum, Name(g.running), g.table_name));
  }
  d.rules.push_back({Rule::kPainting, d.painting.running_class, d.painting.degraded,
                     "crown " + FromSingle(d.acp) + "\xB0 (" + Name(d.painting.crown_class) +
                         "), pavilion " + FromSingle(d.app) + "\xB0 (" +
                         Name(d.painting.pavilion_class) + "), sum " + FromSingle(d.sum) +
                         "\xB0 (" + Name(d.painting.sum_class) + ")"});
}

// krm_Symmetry: the symmetry grade is the worst class of the seventeen parameters; its name goes
// to the symmetry caption.
void krm_Symmetry(StoneState& stone, const MeasurementKeys& keys,
                  const intake::FacetReadings& facets) {
  GradeDetails& d = stone.details;
  d.symmetry = FormSymmetryValues(keys, facets);
  d.symmetry_classes = SymmetryClasses(d.symmetry);
  stone.SymmetryGrade = 1;
  for (std::int16_t c : d.symmetry_classes) stone.SymmetryGrade = std::max(stone.SymmetryGrade, c);
  stone.fields.SetSymmetryCaption(Name(stone.SymmetryGrade));
}

void FinalGrade(Grading& g) {
  StoneState& stone = g.stone;
  stone.details.class_before_symmetry = g.running;
  stone.OverallCutClass = g.running;
  bool reduced = false;
  if (stone.SymmetryGrade > 2) {
    for (std::int16_t s = 5; s >= 3; --s) {
      if (stone.SymmetryGrade == s && stone.OverallCutClass < s - 1) {
        stone.OverallCutClass = static_cast<std::int16_t>(s - 1);
        reduced = true;
      }
    }
  }
  if (reduced) stone.SymmetryText += SymmetryLimitText(Name(stone.OverallCutClass), g.table_name);
  stone.details.rules.push_back({Rule::kSymmetry,
                                 stone.SymmetryGrade > 2
                                     ? static_cast<std::int16_t>(stone.SymmetryGrade - 1)
                                     : std::int16_t{0},
                                 reduced, "symmetry " + Name(stone.SymmetryGrade)});
  stone.fields.SetClassDigit(std::to_string(stone.OverallCutClass));
  std::string cut = Name(stone.OverallCutClass);
  if (!stone.WeightNote.empty()) cut += " [ " + stone.WeightNote + " ]";
  stone.fields.SetCutCaption(std::move(cut));
}

}  // namespace

void GradeMeasurement(const GradeData& data, const intake::Profile& file, StoneState& stone,
                      GradeOutputs out, const ReportStamp& stamp, FaultLog* faults) {
  ResultFields& f = stone.fields;
  f.Label10 = "Date : " + stamp.date + "  Time : " + stamp.time;
  const MeasurementKeys keys(file);
  const intake::FacetReadings facets(file);
  PolishData& r = stone.polish;
  intake::GetPolishData(file, facets, r);
  ++stone.gradings;
  stone.details = GradeDetails();
  GradeDetails& d = stone.details;

  SnapProportions(f, r);
  d.gradable = CheckGradable(stone, r);
  const std::int64_t cell = LocateCell(stone);
  char byte = 0;
  const Status read = data.table ? data.table->ReadCell(cell, &byte)
                                 : Status::IoError("no grade table", "no grade table");
  if (!read.ok()) {
    if (faults) faults->Add(kCellNotRead, data.table ? data.table->path() : "", read);
  } else if (byte >= '0' && byte <= '9') {
    f.SetClassDigit(std::string(1, byte));
  } else if (faults) {
    faults->Add(kCellNotRead, data.table->path(),
                "cell " + std::to_string(cell) + " holds no class digit");
  }
  if (!d.gradable) f.SetClassDigit("5");

  Grading g(stone);
  g.table_class = AsClass(f.ClassNumber()).value_or(0);
  g.table_name = Name(g.table_class);
  g.running = g.table_class;
  d.table_class = g.table_class;
  d.table_class_name = g.table_name;
  d.rules.push_back({Rule::kTableCell, g.table_class, false,
                     "cell " + std::to_string(cell) + " of the grade table holds " +
                         std::to_string(g.table_class)});

  GirdleThicknessRules(g);
  DescriptionRules(data, g, faults);
  PaintingRule(keys, g);
  f.SetCutCaption(g.table_name);

  krm_Symmetry(stone, keys, facets);
  FinalGrade(g);

  WriteGradeReport(stone, keys, out, stamp);
  f.MSG_1 = stone.GirdleLimitText;
}

intake::RunEnd Block(intake::Station& station, StoneState& stone, std::string_view message,
                     std::string_view title, intake::ExitStatus status) {
  stone.AppendMessage(message);
  station.env.MessageBox(message, platform::kCriticalOk, title);
  return intake::RunEnd{status};
}

ReportStamp StampNow(intake::Station& station) {
  platform::Env& env = station.env;
  ReportStamp stamp;
  const std::tm now = env.Now();
  stamp.date = env.ShortDate(now);
  stamp.time = env.LongTime(now);
  std::time_t when = 0;
  const auto program = intake::FindStationFile(env, station.paths.ProgramFile());
  const platform::fs::path file = program ? *program : env.ExecutablePath();
  if (env.LastWriteTime(file, &when).ok()) {
    const std::tm local = env.ToLocal(when);
    stamp.version_date = env.ShortDate(local);
    if (local.tm_hour != 0 || local.tm_min != 0 || local.tm_sec != 0) {
      stamp.version_date += " " + env.LongTime(local);
    }
  }
  return stamp;
}

std::optional<intake::RunEnd> krm_Grade(intake::Station& station,
                                        gradetables::StationGradeFiles& grade_files,
                                        StoneState& stone, GradeOutputs out,
                                        const std::filesystem::path& path) {
  platform::Env& env = station.env;
  const ReportStamp stamp = StampNow(station);
  stone.fields.Label10 = "Date : " + stamp.date + "  Time : " + stamp.time;

  const gradetables::Provisioning provisioning = grade_files.Provide();
  if (provisioning == gradetables::Provisioning::kEndNow) {
    return intake::RunEnd{intake::ExitStatus::kGradeDataMissing};
  }
  if (provisioning == gradetables::Provisioning::kDatabaseMissing) {
    return Block(station, stone, gradetables::kDatabaseMissingMessage,
                 gradetables::kDatabaseMissingTitle, intake::ExitStatus::kGradeDataMissing);
  }
  if (!intake::FindStationFile(env, station.paths.MeasurementCheck())) {
    return Block(station, stone, intake::kMeasurementMissingMessage,
                 intake::kMeasurementMissingTitle, intake::ExitStatus::kMeasurementMissing);
  }

  gradetables::GradeTableReader table;
  gradetables::GradeTables tables;
  grade_files.Open(&table, &tables);
  const GradeData data{&table, &tables, station.paths.GradeDatabase()};
  const intake::Profile file = intake::ReadMeasurement(env, path, &station.faults);
  GradeMeasurement(data, file, stone, out, stamp, &station.faults);
  return std::nullopt;
}

}  // namespace krm::grading
