// Reading a measurement file of about 10 KB into the parameter record, against the floor of
// reading the file's bytes once.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "intake/polish_data.h"
#include "intake/profile.h"
#include "platform/default_env.h"

namespace {

namespace fs = std::filesystem;

// A measurement file with the record's keys and enough per-facet keys to reach about 10 KB.
const fs::path& MeasurementFile() {
  static const fs::path path = [] {
    fs::path p = fs::temp_directory_path() / "krm-bench-measurement.txt";
    std::ofstream out(p, std::ios::binary);
    out << "[NumericalParameters]\r\n";
    const std::pair<const char*, int> families[] = {
        {"TABLE_MM_", 4},
        {"CROWN_ANGLE_DEG_", 8},
        {"PAVILION_ANGLE_DEG_", 8},
        {"STAR_ANGLE_DEG_", 8},
        {"UPPER_ANGLE_DEG_", 16},
        {"HALVES_ANGLE_DEG_", 16},
        {"STAR_RATIO_PC_", 8},
        {"DEPTH_GIRDLE_FACET_", 16},
        {"LENGTH_GIRDLE_FACET_", 16},
        {"PAVILION_DEPTH_MM_", 8},
        {"GIRDLE_WIDE_BEZEL_MM_", 8},
        {"CROWN_HEIGHT_MM_", 8},
        {"GIRDLE_WIDE_BONE_MM_", 8},
        {"CROWN_TWIST_DEG_", 8},
        {"PAVILION_TWIST_DEG_", 8},
        {"TABLE_EDGE_MM_", 8},
        {"GIRDLE_NARROW_MM_", 16},
        {"CRN_PAINTING_DEG_", 16},
        {"PAV_PAINTING_DEG_", 16},
        {"GIRDLE_HEIGHT_MM_", 64},
        {"STAR_LENGTH_MM_", 32},
    };
    double value = 0.5;
    for (auto [family, count] : families) {
      for (int facet = 1; facet <= count; ++facet) {
        out << family << facet << " = " << (value += 0.137) << "\r\n";
      }
    }
    const char* keys[] = {
        "DIAMETER_MM_MIN",      "DIAMETER_MM_MAX",    "DIAMETER_MM",     "TABLE_PC",
        "CROWN_ANGLE_DEG",      "PAVILION_ANGLE_DEG", "CROWN_HEIGHT_PC", "PAVILION_DEPTH_PC",
        "TOTAL_DEPTH_MM",       "TOTAL_DEPTH_PC",     "CULET_MM",        "GIRDLE_NARROW_MM_MIN",
        "GIRDLE_NARROW_MM_MAX", "STAR_ANGLE_DEG",     "UPPER_ANGLE_DEG", "HALVES_ANGLE_DEG",
        "CORRECTED_MASS",       "WEIGHT_4_CT"};
    for (const char* key : keys) out << key << " = " << (value += 0.37) << "\r\n";
    out << "CUTTING_TYPE = Brilliant\r\n";
    return p;
  }();
  return path;
}

void BM_ReadFileBytes(benchmark::State& state) {
  krm::platform::DefaultEnv env;
  std::string contents;
  for (auto _ : state) {
    (void)env.ReadFile(MeasurementFile(), &contents);
    benchmark::DoNotOptimize(contents.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(fs::file_size(MeasurementFile())));
}
BENCHMARK(BM_ReadFileBytes);

void BM_GetPolishData(benchmark::State& state) {
  krm::platform::DefaultEnv env;
  for (auto _ : state) {
    krm::intake::Profile profile = krm::intake::Profile::Load(env, MeasurementFile());
    krm::intake::PolishData record;
    krm::intake::GetPolishData(profile, record);
    benchmark::DoNotOptimize(record);
  }
}
BENCHMARK(BM_GetPolishData);

// The two halves of the above: parsing the file, and filling the record from the parsed file.
void BM_ParseProfile(benchmark::State& state) {
  krm::platform::DefaultEnv env;
  std::string contents;
  (void)env.ReadFile(MeasurementFile(), &contents);
  for (auto _ : state) {
    krm::intake::Profile profile = krm::intake::Profile::Parse(contents);
    benchmark::DoNotOptimize(profile);
  }
}
BENCHMARK(BM_ParseProfile);

void BM_FillRecord(benchmark::State& state) {
  krm::platform::DefaultEnv env;
  const krm::intake::Profile profile = krm::intake::Profile::Load(env, MeasurementFile());
  for (auto _ : state) {
    krm::intake::PolishData record;
    krm::intake::GetPolishData(profile, record);
    benchmark::DoNotOptimize(record);
  }
}
BENCHMARK(BM_FillRecord);

}  // namespace
