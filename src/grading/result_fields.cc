// Result fields and their text round trip.
#include "grading/result_fields.h"

#include <algorithm>

#include "text/number_text.h"

namespace krm::grading {

using gradetables::AxisIndex;

ResultFields::ResultFields() {
  // Captions as the window is designed, before the first grading writes them.
  label1_[0] = "57.4";
  label1_[1] = "34.1";
  for (int i = 2; i <= 5; ++i) label1_[i] = "57";
}

void ResultFields::SetSnapped(Axis axis, float value) {
  label1_[SnappedIndex(axis)] = text::FromSingle(value);
}
void ResultFields::SetSnapped(Axis axis, double value) {
  label1_[SnappedIndex(axis)] = text::FromDouble(value);
}
double ResultFields::Snapped(Axis axis) const {
  return CaptionNumber(label1_[SnappedIndex(axis)]);
}
void ResultFields::SetAveraged(Axis axis, float value) {
  label1_[6 + AxisIndex(axis)] = text::FromSingle(value);
}
void ResultFields::SetExported(Axis axis, float value) {
  label11_[AxisIndex(axis)] = text::FromSingle(value);
}
void ResultFields::SetGridIndex(Axis axis, int index) {
  label1_[12 + AxisIndex(axis)] = std::to_string(index);
}
void ResultFields::SetCellNumber(std::int64_t cell) {
  label1_[18] = text::FromDouble(static_cast<double>(cell));
}
double ResultFields::ClassNumber() const {
  return CaptionNumber(label1_[19]);
}

const std::string& ResultFields::Label1(int index) const {
  return label1_[std::clamp(index, 0, 25)];
}
const std::string& ResultFields::Label11(int index) const {
  return label11_[std::clamp(index, 3, 8) - 3];
}

double CaptionNumber(const std::string& caption) {
  return text::ToNumber(caption);
}

}  // namespace krm::grading
