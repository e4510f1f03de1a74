// Result fields and their text round trip.
#include "app/result_fields.h"

#include <algorithm>

#include "text/number_text.h"

namespace krm::app {

ResultFields::ResultFields() {
  // Captions as the window is designed, before the first grading writes them.
  label1_[0] = "57.4";
  label1_[1] = "34.1";
  for (int i = 2; i <= 5; ++i) label1_[i] = "57";
}

std::string& ResultFields::Label1(int index) { return label1_[std::clamp(index, 0, 25)]; }
const std::string& ResultFields::Label1(int index) const {
  return label1_[std::clamp(index, 0, 25)];
}
std::string& ResultFields::Label11(int index) { return label11_[std::clamp(index, 3, 8) - 3]; }
const std::string& ResultFields::Label11(int index) const {
  return label11_[std::clamp(index, 3, 8) - 3];
}

void SetCaption(std::string& caption, float value) { caption = text::FromSingle(value); }
void SetCaption(std::string& caption, double value) { caption = text::FromDouble(value); }
void SetCaption(std::string& caption, int value) { caption = std::to_string(value); }
double CaptionNumber(const std::string& caption) { return text::ToNumber(caption); }

}  // namespace krm::app
