#include "tools/stone_record.h"

#include "gradetables/main_fnc.h"
#include "intake/polish_data.h"
#include "intake/profile.h"
#include "text/code_page.h"
#include "text/number_text.h"

namespace krm::tools {
namespace {

using gradetables::AxisIndex;
using gradetables::GridOf;
using grading::Symmetry;
using ordered_json = nlohmann::json;
using text::Cp1252ToUtf8;

// The advice's steps in memory: the candidate file is made from the measurement file's text and
// graded from its own text. Attempts 4 and 5 make the files of attempts 1 and 2 again (crown
// changes are never written); a file graded before gives the grades it gave then, since what a
// candidate's grading carries over from the earlier gradings of the stone (the band of a look-up
// that finds none, the pavilion index of an angle off the grid, the weight note) is the same for
// files that differ in pavilion angles only.
class MemorySteps : public recut::RecutSteps {
 public:
  MemorySteps(const LoadedGradeData& data, std::string_view measurement, grading::StoneState& stone)
      : data_(data), measurement_(measurement), stone_(stone) {}
  bool BackUp() override { return true; }
  bool GradeCandidate(int, const recut::Offsets& offsets, const recut::Candidate& candidate,
                      std::optional<intake::RunEnd>*) override {
    std::string contents = recut::RewriteMeasurement(measurement_, offsets, candidate);
    for (const Graded& before : graded_) {
      if (before.contents != contents) continue;
      stone_.OverallCutClass = before.cut_class;
      stone_.SymmetryGrade = before.symmetry_class;
      stone_.fields.SetCutCaption(before.cut_caption);
      stone_.fields.SetSymmetryCaption(before.symmetry_caption);
      return true;
    }
    grading::GradeMeasurement(data_.View(), intake::Profile::Parse(contents), stone_, {}, {},
                              nullptr);
    graded_.push_back({std::move(contents), stone_.OverallCutClass, stone_.SymmetryGrade,
                       stone_.fields.CutCaption(), stone_.fields.SymmetryCaption()});
    return true;
  }

 private:
  struct Graded {
    std::string contents;
    std::int16_t cut_class, symmetry_class;
    std::string cut_caption, symmetry_caption;
  };
  const LoadedGradeData& data_;
  std::string_view measurement_;
  grading::StoneState& stone_;
  std::vector<Graded> graded_;
};

// A number as the station writes it (its shortest text), read back for JSON.
ordered_json Number(float value) {
  return text::ToNumber(text::FromSingle(value));
}
ordered_json Number(double value) {
  return text::ToNumber(text::FromDouble(value));
}
ordered_json Number(const std::optional<float>& value) {
  return value ? Number(*value) : ordered_json(nullptr);
}
ordered_json Class(std::int16_t c) {
  return c >= 1 && c <= 5 ? ordered_json(c) : ordered_json(nullptr);
}

std::string RecutVerdict(const recut::RecutAdvice& advice) {
  return advice.lines.empty() ? std::string() : advice.lines[0];
}
std::string RecutMessage(const recut::RecutAdvice& advice) {
  return advice.lines.size() < 2 ? std::string() : advice.lines[1];
}

// The explanation's verdict and rules; its view of the grade table along each axis goes with the
// proportions.
ordered_json ExplanationJson(const grading::Explanation& e) {
  ordered_json better = nullptr;
  if (e.nearest_better) {
    ordered_json changes = ordered_json::object();
    for (const grading::AxisView& view : e.axes) {
      const int to = e.nearest_better->index[AxisIndex(view.axis)];
      if (to == view.index) continue;
      changes[std::string(GridOf(view.axis).name)] = Number(GridOf(view.axis).Point(to));
    }
    better["class"] = e.nearest_better->grade_class;
    better["steps"] = e.nearest_better->steps;
    better["cell"] = gradetables::CellNumber(e.nearest_better->index);
    better["changes"] = std::move(changes);
  }
  auto rule = [](const grading::RuleOutcome& r) {
    ordered_json o = ordered_json::object();
    o["rule"] = grading::RuleName(r.rule);
    o["class"] = Class(r.limit);
    o["numbers"] = Cp1252ToUtf8(r.numbers);
    return o;
  };
  ordered_json acted = ordered_json::array();
  for (const grading::RuleOutcome& r : e.acted) acted.push_back(rule(r));
  ordered_json explanation = ordered_json::object();
  explanation["verdict"] = Cp1252ToUtf8(e.verdict);
  explanation["final_rule"] = rule(e.final_rule);
  explanation["rules"] = std::move(acted);
  explanation["nearest_better"] = std::move(better);
  return explanation;
}

}  // namespace

StoneRecord GradeStone(const LoadedGradeData& data, std::string file, std::string_view contents) {
  StoneRecord record;
  record.file = std::move(file);
  const intake::Profile measurement = intake::Profile::Parse(contents);
  record.stone_id = measurement.Get(intake::kSection, "STONE_ID");
  grading::StoneState& stone = record.stone;
  grading::GradeMeasurement(data.View(), measurement, stone, {}, {}, nullptr);
  stone.saved_cut_caption = stone.fields.CutCaption();
  stone.saved_symmetry_caption = stone.fields.SymmetryCaption();
  record.explanation = grading::Explain(stone, data.table);
  record.facets = recut::ReadFacets(measurement);
  for (gradetables::Axis axis : gradetables::kAllAxes) {
    const int a = AxisIndex(axis);
    gradetables::GridIndexes at = stone.details.index;
    std::vector<std::int16_t>& line = record.axis_classes[a];
    line.resize(GridOf(axis).points);
    for (at[a] = 0; at[a] < GridOf(axis).points; ++at[a]) {
      char byte = 0;
      const bool read = data.table.ReadCell(gradetables::CellNumber(at), &byte).ok();
      line[at[a]] = read && byte >= '1' && byte <= '5' ? static_cast<std::int16_t>(byte - '0') : 0;
    }
  }

  // The candidates grade a copy, so that the record keeps the stone's own grading.
  record.recut = recut::PlanRecut(stone, measurement);
  if (record.recut.eligibility == recut::Eligibility::kEligible) {
    grading::StoneState candidates = stone;
    MemorySteps steps(data, contents, candidates);
    std::optional<intake::RunEnd> end;
    recut::TryCandidates(candidates, steps, &record.recut, &end);
  }
  return record;
}

StoneRecord FailedRecord(std::string file, std::string error) {
  StoneRecord record;
  record.file = std::move(file);
  record.error = std::move(error);
  return record;
}

ordered_json ToJson(const StoneRecord& record) {
  ordered_json j;
  j["file"] = record.file;
  if (record.error) {
    j["error"] = *record.error;
    return j;
  }
  const grading::StoneState& s = record.stone;
  const grading::GradeDetails& d = s.details;
  j["stone_id"] = Cp1252ToUtf8(record.stone_id);
  j["cut_grade"] = Cp1252ToUtf8(s.fields.CutCaption());
  j["overall_class"] = Class(s.OverallCutClass);
  j["symmetry_grade"] = s.fields.SymmetryCaption();
  j["symmetry_class"] = Class(s.SymmetryGrade);
  j["table_class"] = Class(d.table_class);
  j["table_class_name"] = d.table_class_name;
  j["gradable"] = d.gradable;
  // Each proportion with the classes of the cells one grid step either side of the stone's.
  ordered_json proportions = ordered_json::object();
  for (const grading::AxisView& view : record.explanation.axes) {
    auto neighbour = [](const std::optional<double>& value, const std::optional<std::int16_t>& c) {
      ordered_json n = nullptr;
      if (!value) return n;
      n["value"] = Number(*value);
      n["class"] = Class(c.value_or(0));
      return n;
    };
    ordered_json& p = proportions[std::string(GridOf(view.axis).name)];
    p["averaged"] = Number(view.averaged);
    p["snapped"] = Cp1252ToUtf8(s.fields.SnappedText(view.axis));
    p["index"] = view.index;
    p["below"] = neighbour(view.below_value, view.below_class);
    p["above"] = neighbour(view.above_value, view.above_class);
    p["limits"] = view.limits;
  }
  j["proportions"] = std::move(proportions);
  j["cell"] = d.cell;
  ordered_json messages = ordered_json::array();
  for (const std::string& m : s.messages) messages.push_back(Cp1252ToUtf8(m));
  j["messages"] = std::move(messages);
  j["girdle_limit_text"] = Cp1252ToUtf8(s.GirdleLimitText);
  j["degrade_text"] = Cp1252ToUtf8(s.DegradeText);
  j["symmetry_text"] = Cp1252ToUtf8(s.SymmetryText);
  ordered_json symmetry = ordered_json::object();
  for (int i = 0; i < grading::kSymmetryParameters; ++i) {
    ordered_json& parameter = symmetry[std::string(grading::kSymmetryTable[i].name)];
    parameter["value"] = Number(d.symmetry.value[i]);
    parameter["class"] = d.symmetry_classes[i];
  }
  j["symmetry"] = std::move(symmetry);
  const recut::RecutAdvice& advice = record.recut;
  ordered_json recut = ordered_json::object();
  recut["verdict"] = RecutVerdict(advice);
  recut["message"] = Cp1252ToUtf8(RecutMessage(advice));
  recut["candidates_graded"] = advice.attempts;
  if (advice.candidate) {
    ordered_json pavilion = ordered_json::array(), crown = ordered_json::array();
    for (const recut::FacetEntry& e : advice.candidate->pavilion) pavilion.push_back(e.Text());
    for (const recut::FacetEntry& e : advice.candidate->crown) crown.push_back(e.Text());
    ordered_json& candidate = recut["candidate"];
    candidate["attempt"] = advice.successful_attempt;
    candidate["cut_grade"] = Cp1252ToUtf8(advice.cut_caption);
    candidate["symmetry_grade"] = advice.symmetry_caption;
    candidate["pavilion_angles"] = std::move(pavilion);
    candidate["crown_angles"] = std::move(crown);
  } else {
    recut["candidate"] = nullptr;
  }
  j["recut"] = std::move(recut);
  j["explain"] = ExplanationJson(record.explanation);
  return j;
}

std::vector<std::string> CsvHeader() {
  std::vector<std::string> h = {"file",        "error",           "stone_id",
                                "cut_grade",   "overall_class",   "symmetry_grade",
                                "table_class", "table_class_name"};
  for (const gradetables::GridAxis& grid : gradetables::kGradeGrid) {
    std::string name(grid.name);
    for (char& c : name) c = c == ' ' ? '_' : c;
    h.push_back(name + "_snapped");
    h.push_back(name + "_index");
  }
  for (const char* name :
       {"cell", "messages", "girdle_limit_text", "degrade_text", "symmetry_text"}) {
    h.push_back(name);
  }
  for (const grading::SymmetryParameter& p : grading::kSymmetryTable) {
    std::string name(p.name);
    for (char& c : name) c = (c == ' ' || c == '/') ? '_' : c;
    h.push_back(name);
    h.push_back(name + "_class");
  }
  for (const char* name : {"recut_verdict", "recut_message", "recut_attempt", "verdict"}) {
    h.push_back(name);
  }
  return h;
}

std::vector<std::string> CsvRow(const StoneRecord& record) {
  std::vector<std::string> row = {record.file, record.error.value_or("")};
  if (record.error) {
    row.resize(CsvHeader().size());
    return row;
  }
  const grading::StoneState& s = record.stone;
  const grading::GradeDetails& d = s.details;
  const auto cls = [](std::int16_t c) {
    return c >= 1 && c <= 5 ? std::to_string(c) : std::string();
  };
  for (const std::string& field :
       {record.stone_id, s.fields.CutCaption(), cls(s.OverallCutClass), s.fields.SymmetryCaption(),
        cls(d.table_class), d.table_class_name}) {
    row.push_back(Cp1252ToUtf8(field));
  }
  for (gradetables::Axis axis : gradetables::kAllAxes) {
    row.push_back(Cp1252ToUtf8(s.fields.SnappedText(axis)));
    row.push_back(std::to_string(d.index[AxisIndex(axis)]));
  }
  row.push_back(std::to_string(d.cell));
  std::string messages;
  for (const std::string& m : s.messages) messages += (messages.empty() ? "" : "\n") + m;
  const std::string* texts[] = {&messages, &s.GirdleLimitText, &s.DegradeText, &s.SymmetryText};
  for (const std::string* text : texts) row.push_back(Cp1252ToUtf8(*text));
  for (int i = 0; i < grading::kSymmetryParameters; ++i) {
    const auto& v = d.symmetry.value[i];
    row.push_back(v ? text::FromSingle(*v) : "");
    row.push_back(std::to_string(d.symmetry_classes[i]));
  }
  row.push_back(RecutVerdict(record.recut));
  row.push_back(Cp1252ToUtf8(RecutMessage(record.recut)));
  row.push_back(record.recut.candidate ? std::to_string(record.recut.successful_attempt) : "");
  row.push_back(Cp1252ToUtf8(record.explanation.verdict));
  return row;
}

std::string CsvLine(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) line.push_back(',');
    const std::string& f = fields[i];
    if (f.find_first_of(",\"\r\n") == std::string::npos) {
      line += f;
      continue;
    }
    line.push_back('"');
    for (char c : f) {
      if (c == '"') line.push_back('"');
      line.push_back(c);
    }
    line.push_back('"');
  }
  line += "\r\n";
  return line;
}

}  // namespace krm::tools
