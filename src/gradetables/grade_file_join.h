// Joining of the grade files: each of the two grade files (the grade table file and the grade
// tables database) is delivered as two part files in the application folder and is put together
// into its fixed path under the station's `windows` folder.
#ifndef KRM_GRADETABLES_GRADE_FILE_JOIN_H_
#define KRM_GRADETABLES_GRADE_FILE_JOIN_H_

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "intake/station_paths.h"
#include "platform/env.h"
#include "platform/status.h"

namespace krm::gradetables {

namespace fs = std::filesystem;

// Block size of the join's reads and writes; the join never holds more than one block.
inline constexpr std::size_t kJoinBlockSize = std::size_t{1} << 20;

// How a join ended.
enum class JoinResult {
  // The target holds the first part followed by the second.
  kJoined,
  // A part was missing, unreadable or a folder, or the target could not be created or written:
  // the error that the grading passes over. The target may be left partly written.
  kFailed,
  // Both parts were written but the target is not found as a normal file afterwards: the program
  // ends at once, showing nothing and writing nothing.
  kTargetNotFound,
};

// The two parts and the target as a join of this run left them.
struct JoinMemo {
  platform::FileIdentity first;
  platform::FileIdentity second;
  platform::FileIdentity target;
  friend bool operator==(const JoinMemo&, const JoinMemo&) = default;
};

// Which file a failed join failed on (a part, the target or its folder), and why.
struct JoinFailure {
  fs::path path;
  Status status;
};

// The memo as one line of text, and back; no value for a text that is no memo.
std::string MemoText(const JoinMemo& memo);
std::optional<JoinMemo> ParseMemo(std::string_view text);

// Writes `first` followed by `second` into `target` from its first byte on; streams in blocks of
// kJoinBlockSize.
//
// A missing target is created (and the folder that holds it, when missing); an existing one is
// not shortened, so bytes beyond the two parts stay as they were, and a block whose bytes are
// already in place is not written again.
//
// With a `memo`, a join that finds the parts and the target exactly as the memo's join left them
// does nothing, and a join that ends kJoined records them in the memo (a failed one clears it).
// A join that ends kFailed says in `failure`, when given, which file failed and why.
JoinResult JoinParts(platform::Env& env, const fs::path& first, const fs::path& second,
                     const fs::path& target, std::optional<JoinMemo>* memo = nullptr,
                     JoinFailure* failure = nullptr);

// Joins win_sys1.syc and win_sys2.syc into the grade table file (windows/win_rt1.dll); `memo`
// and `failure` as for JoinParts.
JoinResult MakeGradeTableFile(platform::Env& env, const intake::StationPaths& paths,
                              std::optional<JoinMemo>* memo = nullptr,
                              JoinFailure* failure = nullptr);

// Joins win_sys3.syc and win_sys4.syc into the grade tables database (windows/win_rt2.dll).
JoinResult MakeGradeDatabaseFile(platform::Env& env, const intake::StationPaths& paths,
                                 JoinFailure* failure = nullptr);

}  // namespace krm::gradetables

#endif  // KRM_GRADETABLES_GRADE_FILE_JOIN_H_
