// StoneState: what lives for one stone's grading. A station run grades its stone once and then
// each recut candidate; the candidates' gradings append to the run texts of the first, as the
// station's report program expects, and leave their results in the same result fields.
#ifndef KRM_GRADING_STONE_STATE_H_
#define KRM_GRADING_STONE_STATE_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gradetables/grade_grid.h"
#include "gradetables/main_fnc.h"
#include "grading/classifiers.h"
#include "grading/result_fields.h"
#include "grading/symmetry.h"
#include "intake/polish_data.h"

namespace krm::grading {

// A rule of the grading that can limit the cut grade, in the order the grading applies them.
enum class Rule {
  kNotGradable,        // shape or a proportion outside the grade table: table class 5
  kTableCell,          // the class of the grade table cell
  kThinGirdle,         // girdle below 1.5 % with the total depth
  kThickGirdle,        // girdle above 7 %
  kDeepStone,          // total depth with a thick girdle
  kGirdleDescription,  // thinnest and thickest girdle bands
  kCulet,              // culet size band
  kPainting,           // digging and painting of crown, pavilion and their sum
  kSymmetry,           // symmetry grade caps the cut grade
  kWeight,             // below 0.150 ct: the weight note
};

// One rule's outcome in a grading: the class it imposed and the numbers it compared, in words
// ("girdle 1 % with total depth 57.4 %").
struct RuleOutcome {
  Rule rule;
  std::int16_t limit = 0;  // the class the rule imposes (0: none)
  bool acted = false;      // it worsened the grade
  std::string numbers;
};

// What one grading worked out besides its texts and result fields: the values the report rows,
// the explanation and the records show.
struct GradeDetails {
  bool gradable = true;
  std::int16_t table_class = 0;
  std::string table_class_name;
  gradetables::GridIndexes index{};
  std::int64_t cell = 0;
  std::string thinnest_girdle;  // band descriptions of the girdle description and culet rules
  std::string thickest_girdle;
  std::string culet;
  double crown_painting = 0;  // as read from the measurement file
  double pavilion_painting = 0;
  float acp = 0;  // rounded to one place, as the painting bands take them
  float app = 0;
  float sum = 0;
  PaintingResult painting{};
  SymmetryValues symmetry;
  std::array<std::int16_t, kSymmetryParameters> symmetry_classes{};
  std::int16_t class_before_symmetry = 0;
  std::vector<RuleOutcome> rules;
};

struct StoneState {
  // Records a blocking or warning message: the count goes up by one and the message and a ","
  // are appended to the list.
  void AppendMessage(std::string_view message) {
    ++MessageCount;
    MessageList.append(message);
    MessageList.push_back(',');
    messages.emplace_back(message);
  }

  // Run texts: never cleared; a later grading of the stone appends to them.
  std::string MessageList;
  std::int16_t MessageCount = 0;
  std::vector<std::string> messages;  // the messages of MessageList one by one
  std::string GirdleLimitText;
  std::string DegradeText;
  std::string SymmetryText;
  std::string WeightNote;
  // Grade classes 1 (Excellent) to 5 (Poor) that the last grading left; 0 before any grading.
  std::int16_t OverallCutClass = 0;
  std::int16_t SymmetryGrade = 0;
  // The pavilion grid index keeps its value when a later grading finds no matching grid point.
  int pavilion_index = 0;
  // Number of gradings so far.
  int gradings = 0;
  // The look-ups on the grade tables; LastDescriptionID carries from one grading to the next.
  gradetables::MainFNC main_fnc;
  // The parameter record, overwritten by every grading.
  intake::PolishData polish;
  ResultFields fields;
  // The last grading's working values.
  GradeDetails details;
  // The cut and symmetry captions right after the first grading, for the recut advice.
  std::string saved_cut_caption;
  std::string saved_symmetry_caption;
};

}  // namespace krm::grading

#endif  // KRM_GRADING_STONE_STATE_H_
