// The result fields: the captions of the main window's label arrays Label1 (0 to 25) and
// Label11 (3 to 8), plus Label10 and MSG_1. The grading keeps its intermediate and final results
// in them as text; numbers go in by the number-to-text rule and come back by the text-to-number
// rule, and several results depend on that round trip (the grid search compares the read-back
// snapped values). The accessors name what each caption holds; Label1 and Label11 give the raw
// captions by their index, as the station's other programs know them.
#ifndef KRM_GRADING_RESULT_FIELDS_H_
#define KRM_GRADING_RESULT_FIELDS_H_

#include <array>
#include <cstdint>
#include <string>

#include "gradetables/grade_grid.h"

namespace krm::grading {

using gradetables::Axis;

class ResultFields {
 public:
  ResultFields();

  // Label1(0) to Label1(5): the snapped value of an axis (the girdle as a multiple of 0.5, not
  // clamped), written in its shortest text and read back as a number.
  void SetSnapped(Axis axis, float value);
  void SetSnapped(Axis axis, double value);
  const std::string& SnappedText(Axis axis) const { return label1_[SnappedIndex(axis)]; }
  double Snapped(Axis axis) const;

  // Label1(6) to Label1(11): the averaged (CALC_) value of an axis; Label11(3) to Label11(8): the
  // value as exported.
  void SetAveraged(Axis axis, float value);
  void SetExported(Axis axis, float value);

  // Label1(12) to Label1(17): the grid index of an axis; Label1(18): the cell number.
  void SetGridIndex(Axis axis, int index);
  void SetCellNumber(std::int64_t cell);

  // Label1(19): the table class digit while the rules run ("5" for a stone that cannot be
  // graded), the overall cut class at the end.
  const std::string& ClassDigit() const { return label1_[19]; }
  void SetClassDigit(std::string digit) { label1_[19] = std::move(digit); }
  // The class digit read back as a number.
  double ClassNumber() const;

  // Label1(20): the table class name while the rules run, the cut caption (overall cut grade
  // name with the weight note) at the end.
  const std::string& CutCaption() const { return label1_[20]; }
  void SetCutCaption(std::string caption) { label1_[20] = std::move(caption); }

  // Label1(25): the symmetry grade name.
  const std::string& SymmetryCaption() const { return label1_[25]; }
  void SetSymmetryCaption(std::string caption) { label1_[25] = std::move(caption); }

  std::string Label10;  // "Date : ... Time : ..." of the grading
  std::string MSG_1;    // girdle limitation text

  // The raw captions: Label1(0 to 25), Label11(3 to 8). An index outside the array is a
  // programming error and is clamped into it.
  const std::string& Label1(int index) const;
  const std::string& Label11(int index) const;

 private:
  static int SnappedIndex(Axis axis) { return gradetables::AxisIndex(axis); }
  std::array<std::string, 26> label1_;
  std::array<std::string, 6> label11_;
};

// Numbers read back from a caption, by the station's text-to-number rule.
double CaptionNumber(const std::string& caption);

}  // namespace krm::grading

#endif  // KRM_GRADING_RESULT_FIELDS_H_
