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
using json = nlohmann::json;
using text::Cp1252ToUtf8;

// The advice's steps in memory: the candidate is graded from the items the candidate file would
// hold, without the file. Attempts 4 and 5 make the files of attempts 1 and 2 again (crown
// changes are never written): a candidate whose pavilion entries and statistics are those of one
// graded before (the only parts of a candidate that the file holds) gives the grades it gave then,
// since what a candidate's grading carries over from the earlier gradings of the stone (the band
// of a look-up that finds none, the pavilion index of an angle off the grid, the weight note) is
// the same for files that differ in pavilion angles only.
class MemorySteps : public recut::RecutSteps {
 public:
  // `measurement` is the profile parsed from `contents`.
  MemorySteps(const LoadedGradeData& data, const intake::Profile& measurement,
              std::string_view contents, grading::StoneState& stone)
      : data_(data), measurement_(measurement), contents_(contents), stone_(stone) {}
  bool BackUp() override { return true; }
  bool GradeCandidate(int, const recut::Offsets& offsets, const recut::Candidate& candidate,
                      std::optional<intake::RunEnd>*) override {
    for (const Graded& before : graded_) {
      if (before.pavilion != candidate.pavilion || before.stats != candidate.pavilion_stats) {
        continue;
      }
      stone_.OverallCutClass = before.cut_class;
      stone_.SymmetryGrade = before.symmetry_class;
      stone_.fields.SetCutCaption(before.cut_caption);
      stone_.fields.SetSymmetryCaption(before.symmetry_caption);
      return true;
    }
    // The items that the rewrite leaves as they are take their records from the stone's own file.
    intake::Profile::LineBuilder file(measurement_, contents_);
    recut::RewriteItems(contents_, offsets, candidate,
                        [&file](std::string_view item) { file.Add(item); });
    grading::GradeMeasurement(data_.View(), file.Finish(), stone_, {}, {}, nullptr);
    graded_.push_back({candidate.pavilion, candidate.pavilion_stats, stone_.OverallCutClass,
                       stone_.SymmetryGrade, stone_.fields.CutCaption(),
                       stone_.fields.SymmetryCaption()});
    return true;
  }

 private:
  struct Graded {
    std::array<recut::FacetEntry, recut::kFacets> pavilion;
    recut::FacetStats stats;
    std::int16_t cut_class, symmetry_class;
    std::string cut_caption, symmetry_caption;
  };
  const LoadedGradeData& data_;
  const intake::Profile& measurement_;
  std::string_view contents_;
  grading::StoneState& stone_;
  std::vector<Graded> graded_;
};

// A number as the station writes it (its shortest text), read back for JSON.
double Number(float value) {
  return text::SingleAsWritten(value);
}
double Number(double value) {
  return text::DoubleAsWritten(value);
}

// The record's values are written into the objects, arrays and strings that the slots already
// hold from an earlier record of the same shape, so that a batch does not build and free every
// record's tree anew: a slot of another kind is replaced, so any slot may be written.
json& ObjectIn(json& slot) {
  if (!slot.is_object()) slot = json::object();
  return slot;
}
// An array of `size` elements, keeping those already there.
json::array_t& ArrayIn(json& slot, std::size_t size) {
  if (!slot.is_array()) slot = json::array();
  json::array_t& array = slot.get_ref<json::array_t&>();
  array.resize(size);
  return array;
}
// The member `key` of `object` (made an object when it is none), added when missing. The library's
// own operator[] makes a new member, key and all, at every call and drops it when the key is
// there already.
json& Field(json& object, std::string_view key) {
  json::object_t& members = ObjectIn(object).get_ref<json::object_t&>();
  const auto found = members.find(key);
  if (found != members.end()) return found->second;
  return members.emplace(std::string(key), nullptr).first->second;
}

void SetText(json& slot, std::string_view value) {
  if (!slot.is_string()) slot = std::string();
  slot.get_ref<std::string&>().assign(value);
}
// Station text, converted to UTF-8.
void SetStationText(json& slot, std::string_view value) {
  if (!slot.is_string()) slot = std::string();
  std::string& text = slot.get_ref<std::string&>();
  text.clear();
  text::AppendCp1252AsUtf8(value, &text);
}
void SetNumber(json& slot, const std::optional<float>& value) {
  if (value) {
    slot = Number(*value);
  } else {
    slot = nullptr;
  }
}
void SetClass(json& slot, std::int16_t c) {
  if (c >= 1 && c <= 5) {
    slot = c;
  } else {
    slot = nullptr;
  }
}

std::string RecutVerdict(const recut::RecutAdvice& advice) {
  return advice.lines.empty() ? std::string() : advice.lines[0];
}
std::string RecutMessage(const recut::RecutAdvice& advice) {
  return advice.lines.size() < 2 ? std::string() : advice.lines[1];
}

// The explanation's verdict and rules; its view of the grade table along each axis goes with the
// proportions.
void FillExplanation(const grading::Explanation& e, json& explanation) {
  ObjectIn(explanation);
  json& better = Field(explanation, "nearest_better");
  if (e.nearest_better) {
    ObjectIn(better);
    json& changes = Field(better, "changes");
    changes = json::object();
    for (const grading::AxisView& view : e.axes) {
      const int to = e.nearest_better->index[AxisIndex(view.axis)];
      if (to == view.index) continue;
      Field(changes, GridOf(view.axis).name) = Number(GridOf(view.axis).Point(to));
    }
    Field(better, "class") = e.nearest_better->grade_class;
    Field(better, "steps") = e.nearest_better->steps;
    Field(better, "cell") = gradetables::CellNumber(e.nearest_better->index);
  } else {
    better = nullptr;
  }
  auto rule = [](const grading::RuleOutcome& r, json& o) {
    ObjectIn(o);
    SetText(Field(o, "rule"), grading::RuleName(r.rule));
    SetClass(Field(o, "class"), r.limit);
    SetStationText(Field(o, "numbers"), r.numbers);
  };
  json::array_t& acted = ArrayIn(Field(explanation, "rules"), e.acted.size());
  for (std::size_t i = 0; i < e.acted.size(); ++i) rule(e.acted[i], acted[i]);
  SetStationText(Field(explanation, "verdict"), e.verdict);
  rule(e.final_rule, Field(explanation, "final_rule"));
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
    MemorySteps steps(data, measurement, contents, candidates);
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

json ToJson(const StoneRecord& record) {
  json j;
  FillJson(record, &j);
  return j;
}

void FillJson(const StoneRecord& record, json* into) {
  json& j = *into;
  // A failed file's record has its own shape, as has the record after it.
  if (record.error || !j.is_object() || j.contains("error")) j = json::object();
  SetText(Field(j, "file"), record.file);
  if (record.error) {
    Field(j, "error") = *record.error;
    return;
  }
  const grading::StoneState& s = record.stone;
  const grading::GradeDetails& d = s.details;
  SetStationText(Field(j, "stone_id"), record.stone_id);
  SetStationText(Field(j, "cut_grade"), s.fields.CutCaption());
  SetClass(Field(j, "overall_class"), s.OverallCutClass);
  SetText(Field(j, "symmetry_grade"), s.fields.SymmetryCaption());
  SetClass(Field(j, "symmetry_class"), s.SymmetryGrade);
  SetClass(Field(j, "table_class"), d.table_class);
  SetText(Field(j, "table_class_name"), d.table_class_name);
  Field(j, "gradable") = d.gradable;
  // Each proportion with the classes of the cells one grid step either side of the stone's.
  json& proportions = ObjectIn(Field(j, "proportions"));
  for (const grading::AxisView& view : record.explanation.axes) {
    auto neighbour = [](json& n, const std::optional<double>& value,
                        const std::optional<std::int16_t>& c) {
      if (!value) {
        n = nullptr;
        return;
      }
      ObjectIn(n);
      Field(n, "value") = Number(*value);
      SetClass(Field(n, "class"), c.value_or(0));
    };
    json& p = ObjectIn(Field(proportions, GridOf(view.axis).name));
    Field(p, "averaged") = Number(view.averaged);
    SetStationText(Field(p, "snapped"), s.fields.SnappedText(view.axis));
    Field(p, "index") = view.index;
    neighbour(Field(p, "below"), view.below_value, view.below_class);
    neighbour(Field(p, "above"), view.above_value, view.above_class);
    Field(p, "limits") = view.limits;
  }
  Field(j, "cell") = d.cell;
  json::array_t& messages = ArrayIn(Field(j, "messages"), s.messages.size());
  for (std::size_t i = 0; i < s.messages.size(); ++i) SetStationText(messages[i], s.messages[i]);
  SetStationText(Field(j, "girdle_limit_text"), s.GirdleLimitText);
  SetStationText(Field(j, "degrade_text"), s.DegradeText);
  SetStationText(Field(j, "symmetry_text"), s.SymmetryText);
  json& symmetry = ObjectIn(Field(j, "symmetry"));
  for (int i = 0; i < grading::kSymmetryParameters; ++i) {
    json& parameter = ObjectIn(Field(symmetry, grading::kSymmetryTable[i].name));
    SetNumber(Field(parameter, "value"), d.symmetry.value[i]);
    Field(parameter, "class") = d.symmetry_classes[i];
  }
  const recut::RecutAdvice& advice = record.recut;
  json& recut = ObjectIn(Field(j, "recut"));
  SetText(Field(recut, "verdict"), RecutVerdict(advice));
  SetStationText(Field(recut, "message"), RecutMessage(advice));
  Field(recut, "candidates_graded") = advice.attempts;
  json& candidate = Field(recut, "candidate");
  if (advice.candidate) {
    ObjectIn(candidate);
    const auto angles = [](json& slot, const std::array<recut::FacetEntry, recut::kFacets>& table) {
      json::array_t& texts = ArrayIn(slot, table.size());
      for (std::size_t i = 0; i < table.size(); ++i) SetText(texts[i], table[i].Text());
    };
    Field(candidate, "attempt") = advice.successful_attempt;
    SetStationText(Field(candidate, "cut_grade"), advice.cut_caption);
    SetText(Field(candidate, "symmetry_grade"), advice.symmetry_caption);
    angles(Field(candidate, "pavilion_angles"), advice.candidate->pavilion);
    angles(Field(candidate, "crown_angles"), advice.candidate->crown);
  } else {
    candidate = nullptr;
  }
  FillExplanation(record.explanation, Field(j, "explain"));
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
