// Fuzz target: any bytes as a measurement file, read item by item as the report export and the
// recut candidate writer do, and rewritten into every recut candidate.
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
    const std::string rewritten =
        krm::recut::RewriteMeasurement(contents, offsets, krm::recut::MakeCandidate(plan, attempt));
    // The candidate file is read again by the next grading.
    (void)krm::intake::Profile::Parse(rewritten);
  }
  return 0;
}
