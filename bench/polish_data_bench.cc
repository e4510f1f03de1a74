// Reading a measurement file of about 10 KB into the parameter record, against the floor of
// reading the file's bytes once.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/polish_data.h"
#include "app/profile.h"
#include "platform/env_posix.h"

namespace {

namespace fs = std::filesystem;

// A measurement file with the record's keys and enough per-facet keys to reach about 10 KB.
const fs::path& MeasurementFile() {
  static const fs::path path = [] {
    fs::path p = fs::temp_directory_path() / "krm-bench-measurement.txt";
    std::ofstream out(p, std::ios::binary);
    out << "[NumericalParameters]\r\n";
    const char* keys[] = {"DIAMETER_MM_MIN", "DIAMETER_MM_MAX", "TABLE_MM", "CROWN_ANGLE_DEG",
                          "PAVILION_ANGLE_DEG", "CROWN_HEIGHT_MM", "PAVILION_DEPTH_MM",
                          "TOTAL_DEPTH_MM", "CULET_MM", "GIRDLE_WIDE_BEZEL_MM",
                          "GIRDLE_WIDE_BONE_MM", "GIRDLE_NARROW_MM", "STAR_ANGLE_DEG",
                          "UPPER_ANGLE_DEG", "HALVES_ANGLE_DEG", "WEIGHT_4_CT"};
    double value = 6.5;
    for (const char* key : keys) out << key << " = " << (value += 0.37) << "\r\n";
    out << "CUTTING_TYPE = Brilliant\r\n";
    for (int facet = 1; facet <= 64; ++facet) {
      for (const char* family : {"PAV_ANGLE_", "CRN_ANGLE_", "GIRDLE_MM_", "STAR_LEN_"}) {
        out << family << facet << " = " << 40.0 + facet * 0.01 << "\r\n";
      }
    }
    return p;
  }();
  return path;
}

void BM_ReadFileBytes(benchmark::State& state) {
  krm::platform::PosixEnv env;
  std::string contents;
  for (auto _ : state) {
    env.ReadFile(MeasurementFile(), &contents);
    benchmark::DoNotOptimize(contents.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(fs::file_size(MeasurementFile())));
}
BENCHMARK(BM_ReadFileBytes);

void BM_GetPolishData(benchmark::State& state) {
  krm::platform::PosixEnv env;
  for (auto _ : state) {
    krm::app::Profile profile = krm::app::Profile::Load(env, MeasurementFile());
    krm::app::PolishData record;
    krm::app::GetPolishData(profile, record);
    benchmark::DoNotOptimize(record);
  }
}
BENCHMARK(BM_GetPolishData);

}  // namespace
