// Fuzz target: any bytes as a measurement file, through the profile reader and GetPolishData.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "intake/polish_data.h"
#include "intake/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view contents(reinterpret_cast<const char*>(data), size);
  const krm::intake::Profile profile = krm::intake::Profile::Parse(contents);
  krm::intake::PolishData record;
  krm::intake::GetPolishData(profile, record);
  // A few lookups that a grading makes, in other letter cases too.
  (void)profile.Get("NumericalParameters", "CUTTING_TYPE");
  (void)profile.Get("numericalparameters", "crn_painting_deg_avg");
  return 0;
}
