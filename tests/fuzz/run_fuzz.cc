// Fuzz target: any bytes as the measurement file of a whole run, on a station with a grade table
// that grades Very Good, so that a readable stone also goes through the export and the recut.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>

#include "app/run_flow.h"
#include "grading/grade_station.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto station = std::make_unique<krm::testing::GradeStation>('2');
  {
    std::ofstream out(station->root() / "Test.txt", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  krm::testing::RecordingEnv env;
  krm::intake::Station run(env, station->root());
  (void)krm::app::Form_Load(run);
  return 0;
}
