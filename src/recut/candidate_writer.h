// The recut candidate file: the measurement file rewritten item by item, one item per line, with
// the pavilion main angles of a candidate, the pavilion summary keys recomputed from them and the
// centring offsets capped at 0.005 mm.
#ifndef KRM_RECUT_CANDIDATE_WRITER_H_
#define KRM_RECUT_CANDIDATE_WRITER_H_

#include <functional>
#include <string>
#include <string_view>

#include "intake/profile.h"
#include "recut/facets.h"

namespace krm::recut {

// The three centring offsets of the measurement file as exported, in millimetres (0 when missing).
struct Offsets {
  double girdle_culet = 0;
  double table_culet = 0;
  double girdle_table = 0;
};

Offsets ReadOffsets(const intake::Profile& measurement);

// Rewrites `measurement` (the file's text) for `candidate`: every item becomes one line ended by
// CR LF, after these replacements:
//  - an offset item (OFFSET_GIRDLE_CULET_MM=, OFFSET_TABLE_CULET_MM=, OFFSET_GIRDLE_TABLE_MM=)
//    gets 0.005 when its offset in `offsets` is above 0.005;
//  - PAVILION_ANGLE_DEG=, _MIN=, _MAX= and _DEV= get the candidate's mean, minimum, maximum and
//    their difference with two decimals;
//  - the facet items PAVILION_ANGLE_DEG_1 to _8 get the candidate's entries, each only when the
//    items of all lower facets came before it.
// Every other item is copied as read. Never fails; a text without line ends is one line.
// The rewritten text goes to `write` piece by piece, so that it is never held whole.
void RewriteMeasurement(std::string_view measurement, const Offsets& offsets,
                        const Candidate& candidate,
                        const std::function<void(std::string_view)>& write);
// The same rewrite as the items of the candidate file, each without its line end.
void RewriteItems(std::string_view measurement, const Offsets& offsets, const Candidate& candidate,
                  const std::function<void(std::string_view)>& item);
// The same rewrite as one text.
std::string RewriteMeasurement(std::string_view measurement, const Offsets& offsets,
                               const Candidate& candidate);

}  // namespace krm::recut

#endif  // KRM_RECUT_CANDIDATE_WRITER_H_
