// Numbers read by key from the measurement file's NumericalParameters section, as the grading and
// the symmetry evaluation read the keys that are not in the parameter record.
#ifndef KRM_INTAKE_MEASUREMENT_KEYS_H_
#define KRM_INTAKE_MEASUREMENT_KEYS_H_

#include <optional>
#include <string>
#include <string_view>

#include "intake/polish_data.h"
#include "intake/profile.h"
#include "text/number_text.h"

namespace krm::intake {

class MeasurementKeys {
 public:
  explicit MeasurementKeys(const intake::Profile& file) : file_(file) {}

  // The value text of `key`, "" when missing.
  std::string Text(std::string_view key) const { return file_.Get(intake::kSection, key); }
  // The number read from `key`: 0 when missing or no number; no value only when it overflows a
  // double (a failing statement for the caller).
  std::optional<double> Number(std::string_view key) const {
    return text::ReadNumber(file_.Find(intake::kSection, key));
  }
  // As Number, an overflow reading as 0.
  double NumberOr0(std::string_view key) const { return Number(key).value_or(0); }

 private:
  const intake::Profile& file_;
};

}  // namespace krm::intake

#endif  // KRM_INTAKE_MEASUREMENT_KEYS_H_
