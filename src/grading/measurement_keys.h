// Numbers read by key from the measurement file's NumericalParameters section, as the grading and
// the symmetry evaluation read the keys that are not in the parameter record.
#ifndef KRM_GRADING_MEASUREMENT_KEYS_H_
#define KRM_GRADING_MEASUREMENT_KEYS_H_

#include <optional>
#include <string>
#include <string_view>

#include "app/polish_data.h"
#include "app/profile.h"
#include "text/number_text.h"

namespace krm::grading {

class MeasurementKeys {
 public:
  explicit MeasurementKeys(const app::Profile& file) : file_(file) {}

  // The value text of `key`, "" when missing.
  std::string Text(std::string_view key) const { return file_.Get(app::kSection, key); }
  // The number read from `key`: 0 when missing or no number; no value only when it overflows a
  // double (a failing statement for the caller).
  std::optional<double> Number(std::string_view key) const {
    return text::ReadNumber(file_.Find(app::kSection, key));
  }
  // As Number, an overflow reading as 0.
  double NumberOr0(std::string_view key) const { return Number(key).value_or(0); }

 private:
  const app::Profile& file_;
};

}  // namespace krm::grading

#endif  // KRM_GRADING_MEASUREMENT_KEYS_H_
