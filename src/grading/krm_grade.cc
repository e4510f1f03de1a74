// The grading procedure: start-up, snapping, table class, limiting rules and final grade.
#include "grading/krm_grade.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "app/polish_data.h"
#include "app/profile.h"
#include "gradetables/grade_table_reader.h"
#include "gradetables/main_fnc.h"
#include "gradetables/provisioning.h"
#include "grading/classifiers.h"
#include "grading/grade_report.h"
#include "grading/grade_rules.h"
#include "grading/measurement_keys.h"
#include "grading/symmetry.h"
#include "text/number_text.h"
#include "text/round_decimal.h"

namespace krm::grading {
namespace {

using app::CaptionNumber;
using app::SetCaption;
using gradetables::MainFNC;
using text::FromSingle;
using text::RoundDecimal;
using text::RoundDecimalInPlace;

std::string Name(std::int16_t c) {
  return MainFNC::eClassName(c);
}

// A number taken as a grade class; no value when it does not fit a 16-bit integer.
std::optional<std::int16_t> AsClass(double value) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= -32768 && rounded <= 32767)) return std::nullopt;
  return static_cast<std::int16_t>(rounded);
}

void CloseFiles(app::RunState& state) {
  if (state.report_file) (void)state.report_file->Close();
  state.report_file.reset();
  if (state.grade_log) (void)state.grade_log->Close();
  state.grade_log.reset();
}

// The snapped proportions in Label1(0) to Label1(11) and the exported ones in Label11(3..8).
void SnapProportions(app::ResultFields& f, app::PolishData& r) {
  const double star = SnapToFive(r.CALC_STAR_RATIO_PC);
  const double lower_half = SnapToFive(r.CALC_LENGTH_GIRDLE_FACET);
  const float table = RoundDecimalInPlace(r.CALC_TABLE_PC, 0);
  SetCaption(f.Label1(0), table);
  SetCaption(f.Label1(1),
             MainFNC::FormatCrown(FromSingle(r.CALC_CROWN_ANGLE_DEG), gradetables::kLabType));
  SetCaption(f.Label1(2),
             MainFNC::FormatPavilion(FromSingle(r.CALC_PAVILION_ANGLE_DEG), gradetables::kLabType));
  SetCaption(f.Label1(3), star);
  SetCaption(f.Label1(4), lower_half);
  SetCaption(f.Label1(5),
             static_cast<double>(RoundDecimal(2 * r.CALC_GIRDLE_WIDE_BEZEL_PC, 0)) * 0.5);
  const float calc[] = {
      r.CALC_TABLE_PC,      r.CALC_CROWN_ANGLE_DEG,     r.CALC_PAVILION_ANGLE_DEG,
      r.CALC_STAR_RATIO_PC, r.CALC_LENGTH_GIRDLE_FACET, r.CALC_GIRDLE_WIDE_BEZEL_PC};
  const float exported[] = {r.TABLE_PC,      r.CROWN_ANGLE_DEG,     r.PAVILION_ANGLE_DEG,
                            r.STAR_RATIO_PC, r.LENGTH_GIRDLE_FACET, r.GIRDLE_WIDE_BEZEL};
  for (int i = 0; i < 6; ++i) {
    SetCaption(f.Label1(6 + i), calc[i]);
    SetCaption(f.Label11(3 + i), exported[i]);
  }
}

// Weight, shape and range checks; gives whether the stone is gradable.
bool CheckGradable(app::RunState& state, const app::PolishData& r) {
  if (r.CORRECTED_MASS < 0.15f) {
    state.AppendMessage(
        "Estimated KRM Cut Grade is not vailid for Round Brilliants smaller then 0.150 Ct");
    state.WeightNote = "Poor";
  }
  bool gradable = true;
  if (r.CUTTING_TYPE != "Brilliant") {
    gradable = false;
    state.AppendMessage("Shape - " + r.CUTTING_TYPE + " - is currently not graded by KRM!");
  }
  struct Range {
    const GridAxis& axis;
    const char* name;
  };
  const Range ranges[] = {{kTableAxis, "Parameter Table = "},
                          {kCrownAxis, "Parameter Crown_Angle = "},
                          {kPavilionAxis, "Parameter Pavilion Angle = "},
                          {kStarAxis, "Parameter Star Length = "},
                          {kLowerHalfAxis, "Parameter Lower Half Length = "}};
  for (int i = 0; i < 5; ++i) {
    const std::string& caption = state.fields.Label1(i);
    const double value = CaptionNumber(caption);
    if (value < ranges[i].axis.low || value > ranges[i].axis.high) {
      gradable = false;
      state.AppendMessage(std::string(ranges[i].name) + caption + " is out of range");
    }
  }
  return gradable;
}

// The grid indexes of the snapped values, searched on their text forms; the cell number.
std::int64_t LocateCell(app::RunState& state) {
  app::ResultFields& f = state.fields;
  const double girdle =
      text::ToNumber(text::FromDouble(std::clamp(CaptionNumber(f.Label1(5)), 1.5, 7.0)));
  const GridAxis* axes[] = {&kTableAxis, &kCrownAxis,     &kPavilionAxis,
                            &kStarAxis,  &kLowerHalfAxis, &kGirdleAxis};
  int index[6] = {0, 0, state.pavilion_index, 0, 0, 0};
  for (int a = 0; a < 6; ++a) {
    const double value = a == 5 ? girdle : CaptionNumber(f.Label1(a));
    if (auto i = GridIndex(*axes[a], value)) index[a] = *i;
  }
  state.pavilion_index = index[2];
  for (int a = 0; a < 6; ++a) SetCaption(f.Label1(12 + a), index[a]);
  const std::int64_t cell =
      gradetables::CellNumber(index[0], index[1], index[2], index[3], index[4], index[5]);
  SetCaption(f.Label1(18), static_cast<double>(cell));
  return cell;
}

// The working values of one grading.
struct Grading {
  std::int16_t table_class = 0;
  std::string table_name;
  std::int16_t running = 0;
  LimitTexts limits;

  // Raises the running class to `x` and adds `text` to `target` when `x` is worse than the table
  // class.
  void Apply(std::int16_t x, std::string& target, const std::string& text) {
    running = std::max(running, x);
    if (table_class < x) limits.Add(target, text);
  }
};

void GirdleThicknessRules(app::RunState& state, Grading& g) {
  app::PolishData& r = state.polish;
  const double girdle = CaptionNumber(state.fields.Label1(5));
  if (girdle < 1.5) {
    const float depth = RoundDecimalInPlace(r.CALC_TOTAL_DEPTH_PC, 1);
    const std::int16_t x = ThinGirdleClass(depth).value_or(g.table_class);
    state.fields.Label1(20) = g.table_name;
    g.Apply(x, state.GirdleLimitText, ThinGirdleText(Name(x), g.table_name));
  }
  if (girdle > 7) {
    const std::int16_t x = ThickGirdleClass(girdle).value_or(g.table_class);
    state.fields.Label1(20) = g.table_name;
    g.Apply(x, state.GirdleLimitText, ThickGirdleText(Name(x), g.table_name));
    if (auto y = DeepStoneClass(RoundDecimalInPlace(r.CALC_TOTAL_DEPTH_PC, 1))) {
      g.Apply(*y, state.GirdleLimitText, DeepStoneText(Name(*y), g.table_name));
    }
  }
  g.limits.Reset();
}

void DescriptionRules(app::RunState& state, Grading& g, GradeReportInputs& shown) {
  app::PolishData& r = state.polish;
  MainFNC& fnc = state.main_fnc;
  platform::Database* db = state.grade_db.get();

  // A failing look-up is skipped: the text, the ID and the class keep what they had.
  double id1 = 0, id2 = 0;
  if (auto d = fnc.eDescription(r.CALC_GIRDLE_NARROW_MIN_PC, "GirdleThickness", db)) {
    shown.thinnest_girdle = *d;
  }
  if (auto id = fnc.LastDescriptionIDNumber()) id1 = *id;
  if (auto d = fnc.eDescription(r.CALC_GIRDLE_NARROW_MAX_PC, "GirdleThickness", db)) {
    shown.thickest_girdle = *d;
  }
  if (auto id = fnc.LastDescriptionIDNumber()) id2 = *id;
  std::int16_t x = g.table_class;
  if (auto c = fnc.eDescription_ID(id1, id2, "GIRDLE_DESC_CLASS", db)) x = *c;
  g.running = std::max(g.running, x);
  if (g.table_class < x) {
    g.limits.Count();
    state.DegradeText += GirdleDescriptionText(Name(x), g.table_name);
  }

  if (auto d = fnc.eDescription(r.CALC_CULET_PC, "CULET_DESCRIPTION", db)) shown.culet = *d;
  x = g.table_class;
  if (auto id = fnc.LastDescriptionIDNumber()) {
    if (auto c = AsClass(*id)) x = *c;
  }
  g.Apply(x, state.DegradeText, CuletText(Name(x), g.table_name));
}

void PaintingRule(app::RunState& state, const MeasurementKeys& keys, Grading& g,
                  GradeReportInputs& shown) {
  shown.crown_painting = keys.NumberOr0("CRN_PAINTING_DEG_AVG");
  shown.pavilion_painting = keys.NumberOr0("PAV_PAINTING_DEG_AVG");
  shown.acp = RoundDecimal(shown.crown_painting, 1);
  shown.app = RoundDecimal(shown.pavilion_painting, 1);
  shown.sum = RoundDecimal(shown.app + shown.acp, 1);
  const PaintingResult p = ApplyPainting(g.table_class, g.running, shown.acp, shown.app, shown.sum);
  g.running = p.running_class;
  if (p.degraded) {
    g.limits.Add(state.DegradeText,
                 PaintingText(shown.app, shown.acp, shown.sum, Name(g.running), g.table_name));
  }
}

void FinalGrade(app::RunState& state, Grading& g) {
  state.OverallCutClass = g.running;
  bool reduced = false;
  if (state.SymmetryGrade > 2) {
    for (std::int16_t s = 5; s >= 3; --s) {
      if (state.SymmetryGrade == s && state.OverallCutClass < s - 1) {
        state.OverallCutClass = static_cast<std::int16_t>(s - 1);
        reduced = true;
      }
    }
  }
  if (reduced) state.SymmetryText += SymmetryLimitText(Name(state.OverallCutClass), g.table_name);
  state.fields.Label1(19) = std::to_string(state.OverallCutClass);
  std::string& cut = state.fields.Label1(20);
  cut = Name(state.OverallCutClass);
  if (!state.WeightNote.empty()) cut += " [ " + state.WeightNote + " ]";
}

}  // namespace

std::optional<app::RunEnd> krm_Grade(app::RunState& state, const std::filesystem::path& path) {
  platform::Env& env = state.env;
  app::ResultFields& f = state.fields;
  const std::tm now = env.Now();
  f.Label10 = "Date : " + env.ShortDate(now) + "  Time : " + env.LongTime(now);

  const gradetables::Provisioning provisioning =
      gradetables::ProvideGradeFiles(env, state.paths, &state.grade_table_join);
  if (provisioning == gradetables::Provisioning::kEndNow) {
    CloseFiles(state);
    return app::RunEnd{app::ExitStatus::kGradeDataMissing};
  }
  state.measurement_path = path;
  if (provisioning == gradetables::Provisioning::kDatabaseMissing) {
    CloseFiles(state);
    return state.Block(gradetables::kDatabaseMissingMessage, platform::kCriticalOk,
                       gradetables::kDatabaseMissingTitle, app::ExitStatus::kGradeDataMissing);
  }
  if (!env.FindFile(state.paths.MeasurementCheck())) {
    CloseFiles(state);
    return state.Block(app::kMeasurementMissingMessage, platform::kCriticalOk,
                       app::kMeasurementMissingTitle, app::ExitStatus::kMeasurementMissing);
  }
  GradeProvisioned(state);
  return std::nullopt;
}

void GradeProvisioned(app::RunState& state) {
  platform::Env& env = state.env;
  app::ResultFields& f = state.fields;
  gradetables::GradeTableReader table =
      gradetables::GradeTableReader::Open(env, state.paths.GradeTable());
  // A connection that cannot be opened leaves every look-up of this grading failing.
  (void)gradetables::ConnectGradeDatabase(state.paths, &state.grade_db);

  const app::Profile file = app::Profile::Load(env, state.measurement_path);
  const MeasurementKeys keys(file);
  app::PolishData& r = state.polish;
  app::GetPolishData(file, r);
  ++state.gradings;

  SnapProportions(f, r);
  const bool gradable = CheckGradable(state, r);
  const std::int64_t cell = LocateCell(state);
  if (auto byte = table.ReadCell(cell); byte && *byte >= '0' && *byte <= '9') {
    f.Label1(19) = std::string(1, *byte);
  }
  if (!gradable) f.Label1(19).assign(1, '5');

  Grading g;
  g.table_class = AsClass(CaptionNumber(f.Label1(19))).value_or(0);
  g.table_name = Name(g.table_class);
  g.running = g.table_class;

  GirdleThicknessRules(state, g);
  GradeReportInputs shown;
  shown.table_class_name = g.table_name;
  DescriptionRules(state, g, shown);
  PaintingRule(state, keys, g, shown);
  f.Label1(20) = g.table_name;

  krm_Symmetry(state, keys);
  FinalGrade(state, g);

  WriteGradeReport(state, r, keys, shown);
  f.MSG_1 = state.GirdleLimitText;
  table.Close();
  CloseFiles(state);
}

}  // namespace krm::grading
