// The stone page: one graded stone as a self-contained HTML page for a person (inline SVG and
// CSS, no script, nothing fetched, one A4 sheet when printed), and the index of a batch of pages.
// The page shows the grade, the stone's profile to scale, where its proportions sit on the grade
// grid, what limited the grade in the station's own words, its symmetry and the recut advice.
//
// A page depends only on the record and the context: the same measurement file and grade data
// give the same bytes (no dates, no generated ids).
#ifndef KRM_TOOLS_STONE_PAGE_H_
#define KRM_TOOLS_STONE_PAGE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/stone_record.h"

namespace krm::tools {

struct PageContext {
  // What the grade data came from (LoadedGradeData::source).
  std::string grade_data;
};

// The page of one record; a record with an error gets a page that says the file was not graded
// and why.
std::string StonePage(const StoneRecord& record, const PageContext& context);

// One stone of the index: what its line shows and where its page is.
struct IndexEntry {
  std::string page;  // file name of the stone's page, next to the index
  std::string file;
  std::optional<std::string> error;
  std::string stone_id;     // station text
  std::string cut_caption;  // station text
  std::int16_t cut_class = 0;
  std::string symmetry_caption;
  std::int16_t symmetry_class = 0;
  std::int16_t table_class = 0;
  std::string recut;          // station text: the recut verdict line ("Recut = 1")
  std::string recut_caption;  // station text: the cut caption of the candidate, if one changed it
};

IndexEntry IndexEntryOf(const StoneRecord& record, std::string page);

// The index of the pages of a batch, in the order of the entries.
std::string IndexPage(const std::vector<IndexEntry>& entries, const PageContext& context);

}  // namespace krm::tools

#endif  // KRM_TOOLS_STONE_PAGE_H_
