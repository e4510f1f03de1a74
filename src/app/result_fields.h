// The result fields: the captions of the main window's label arrays Label1 (0 to 25) and
// Label11 (3 to 8), plus Label10 and MSG_1. The grading keeps its intermediate and final results
// in them as text; numbers go in by the number-to-text rule and come back by the text-to-number
// rule, and several results depend on that round trip.
#ifndef KRM_APP_RESULT_FIELDS_H_
#define KRM_APP_RESULT_FIELDS_H_

#include <array>
#include <string>

namespace krm::app {

class ResultFields {
 public:
  ResultFields();

  // Caption of Label1(index), 0 to 25; Label11(index), 3 to 8. An index outside the array is a
  // programming error and is clamped into it.
  std::string& Label1(int index);
  const std::string& Label1(int index) const;
  std::string& Label11(int index);
  const std::string& Label11(int index) const;

  std::string Label10;  // date and time of the grading
  std::string MSG_1;    // girdle limitation text

 private:
  std::array<std::string, 26> label1_;
  std::array<std::string, 6> label11_;
};

// Caption writes and reads.
void SetCaption(std::string& caption, float value);
void SetCaption(std::string& caption, double value);
void SetCaption(std::string& caption, int value);
double CaptionNumber(const std::string& caption);

}  // namespace krm::app

#endif  // KRM_APP_RESULT_FIELDS_H_
