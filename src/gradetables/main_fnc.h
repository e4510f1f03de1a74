// MainFNC: the grading's access to the grade tables database and the grade table grid.
//
// It finds the band of a description table that holds a measured value, the grade class of a pair
// of girdle bands, names the grade classes, and snaps crown and pavilion angles onto the grid of
// the grade table file. The run holds one instance for its whole length, because the ID_ of the
// last band found (LastDescriptionID) carries from one look-up to the next.
#ifndef KRM_GRADETABLES_MAIN_FNC_H_
#define KRM_GRADETABLES_MAIN_FNC_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "gradetables/grade_tables.h"
#include "platform/database.h"
#include "platform/status.h"

namespace krm::gradetables {

// The lab type whose grid the station's grade table is laid out on.
inline constexpr std::int16_t kLabType = 2;

class MainFNC {
 public:
  // The band of `eTable` that holds `eVal` rounded to 2 decimals (halves to the even neighbour):
  // the first row, in the table's row order, with Min <= value < Max. Gives its Description and
  // sets LastDescriptionID to its ID_. When no row holds the value: empty text, LastDescriptionID
  // unchanged. No value (an error the caller handles; `failure` says which) when `Con` is null,
  // the table could not be read or lacks a column, or a row the scan reaches has an empty Min or
  // Max, or the found row an empty Description; LastDescriptionID is then unchanged.
  std::optional<std::string> eDescription(double eVal, std::string_view eTable,
                                          const GradeTables* Con, Status* failure = nullptr);

  // The Grade of the first row of `eTable` whose ThinID equals `eVal1` and ThikID equals `eVal2`
  // (exact numeric equality). No value when no row matches (`failure` stays Ok), or when the table
  // could not be read, a reached row has an empty ThinID or ThikID, or the Grade is empty or does
  // not fit a 16-bit integer (`failure` says which).
  std::optional<std::int16_t> eDescription_ID(double eVal1, double eVal2, std::string_view eTable,
                                              const GradeTables* Con, Status* failure = nullptr);

  // "Excellent", "Very Good", "Good", "Fair", "Poor" for classes 1 to 5; empty text for any other
  // number. Makes no query; the connection is not used.
  static std::string eClassName(std::int16_t eClass, const GradeTables* Con = nullptr);

  // A crown angle text placed on the half-degree grid: the nearest multiple of 0.5, x.25 and x.75
  // going up, with the rules of lab type 2. Never fails: a step that cannot be taken (a text that
  // is no number) is skipped, and gives 0 when nothing was computed. Other lab types give 0.
  static double FormatCrown(std::string_view eCrown, std::int16_t LabType);

  // A pavilion angle text placed on the even-tenths grid: cut to tenths, an odd tenth raised to
  // the even tenth above (lab type 2). Never fails, as FormatCrown.
  static double FormatPavilion(std::string_view ePavilion, std::int16_t LabType);

  // The ID_ of the band that the last successful eDescription found, in its text form: no value
  // before the first band was found (the original's Empty), an absent inner value for an empty
  // (NULL) ID_.
  const std::optional<platform::Value>& LastDescriptionID() const { return last_description_id_; }

  // LastDescriptionID as a number, as the grading passes it on: 0 before the first band was
  // found; no value (a failing statement for the caller) when the ID_ was empty or is no number.
  std::optional<double> LastDescriptionIDNumber() const;

 private:
  std::optional<platform::Value> last_description_id_;
};

}  // namespace krm::gradetables

#endif  // KRM_GRADETABLES_MAIN_FNC_H_
