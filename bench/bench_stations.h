// Station folders shared by the benchmarks: built once on first use and removed when the
// benchmark program ends.
#ifndef KRM_BENCH_BENCH_STATIONS_H_
#define KRM_BENCH_BENCH_STATIONS_H_

#include <memory>
#include <string>

#include "grading/grade_station.h"

namespace krm::bench {

// A well-cut stone with uneven pavilion and crown facets on a grade table of one digit: '1' grades
// it Excellent, '2' Very Good with all five recut candidates Very Good too.
inline testing::GradeStation& UnevenStoneStation(char digit) {
  static std::unique_ptr<testing::GradeStation> stations[2];
  std::unique_ptr<testing::GradeStation>& s = stations[digit == '1' ? 0 : 1];
  if (!s) {
    s = std::make_unique<testing::GradeStation>(digit);
    auto keys = testing::WellCutStone();
    const char* pavilion[] = {"41", "40.8", "40.6", "40.9", "41.2", "40.7", "40.5", "41.1"};
    const char* crown[] = {"34.5", "34.3", "34.7", "34.5", "34.4", "34.6", "34.5", "34.2"};
    for (int n = 1; n <= 8; ++n) {
      keys.push_back({"PAVILION_ANGLE_DEG_" + std::to_string(n), pavilion[n - 1]});
      keys.push_back({"CROWN_ANGLE_DEG_" + std::to_string(n), crown[n - 1]});
    }
    s->WriteMeasurement(keys);
  }
  return *s;
}

}  // namespace krm::bench

#endif  // KRM_BENCH_BENCH_STATIONS_H_
