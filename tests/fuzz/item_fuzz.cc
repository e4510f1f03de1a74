// Fuzz target: any bytes as a measurement file, read item by item as the report export and the
// recut candidate writer do, and rewritten into every recut candidate, whose file reads the same
// as the candidate built item by item, with or without the records of the file it came from.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "intake/profile.h"
#include "recut/candidate_writer.h"
#include "recut/facets.h"
#include "text/item_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view contents(reinterpret_cast<const char*>(data), size);
  for (std::string_view item : krm::text::ReadItems(contents)) (void)krm::text::SplitItem(item);

  const krm::intake::Profile profile = krm::intake::Profile::Parse(contents);
  const krm::recut::RecutPlan plan = krm::recut::MakePlan(krm::recut::ReadFacets(profile));
  const krm::recut::Offsets offsets = krm::recut::ReadOffsets(profile);
  for (int attempt = 1; attempt <= 5; ++attempt) {
    const krm::recut::Candidate candidate = krm::recut::MakeCandidate(plan, attempt);
    const std::string rewritten = krm::recut::RewriteMeasurement(contents, offsets, candidate);
    // The candidate file is read again by the next grading, or built item by item without it:
    // both must read the same.
    krm::intake::Profile::LineBuilder built, taking(profile, contents);
    krm::recut::RewriteItems(contents, offsets, candidate, [&](std::string_view item) {
      built.Add(item);
      taking.Add(item);
    });
    const krm::intake::Profile read = krm::intake::Profile::Parse(rewritten);
    if (!(built.Finish() == read) || !(taking.Finish() == read)) __builtin_trap();
  }
  return 0;
}
