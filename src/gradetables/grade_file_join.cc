#include "gradetables/grade_file_join.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace krm::gradetables {
namespace {

// Copies all `length` bytes of `part` to `target` from `offset` on.
Status CopyPart(platform::Env& env, const fs::path& part, std::uint64_t length,
                platform::BinaryFile& target, std::uint64_t offset, std::vector<char>& buffer) {
  std::unique_ptr<platform::BinaryFile> in;
  Status s = env.OpenBinary(part, /*create=*/false, &in);
  if (!s.ok()) return s;
  std::uint64_t done = 0;
  while (done < length) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), length - done));
    std::size_t got = 0;
    s = in->ReadAt(done, buffer.data(), want, &got);
    if (!s.ok()) return s;
    if (got == 0) break;  // the part became shorter since its length was taken
    s = target.WriteAt(offset + done, buffer.data(), got);
    if (!s.ok()) return s;
    done += got;
  }
  return Status::Ok();
}

}  // namespace

JoinResult JoinParts(platform::Env& env, const fs::path& first, const fs::path& second,
                     const fs::path& target) {
  const fs::path folder = target.parent_path();
  if (!folder.empty() && !env.IsDirectory(folder)) {
    if (!env.CreateDirectory(folder).ok()) return JoinResult::kFailed;
  }
  {
    std::unique_ptr<platform::BinaryFile> out;
    if (!env.OpenBinary(target, /*create=*/true, &out).ok()) return JoinResult::kFailed;
    std::vector<char> buffer(kJoinBlockSize);
    std::uint64_t position = 0;
    for (const fs::path* part : {&first, &second}) {
      std::uint64_t length = 0;
      if (!env.FileSize(*part, &length).ok()) return JoinResult::kFailed;
      if (!CopyPart(env, *part, length, *out, position, buffer).ok()) return JoinResult::kFailed;
      position += length;
    }
  }  // the target is closed here
  return env.IsRegularFile(target) ? JoinResult::kJoined : JoinResult::kTargetNotFound;
}

JoinResult MakeGradeTableFile(platform::Env& env, const app::StationPaths& paths) {
  return JoinParts(env, paths.Part(1), paths.Part(2), paths.GradeTable());
}

JoinResult MakeGradeDatabaseFile(platform::Env& env, const app::StationPaths& paths) {
  return JoinParts(env, paths.Part(3), paths.Part(4), paths.GradeDatabase());
}

}  // namespace krm::gradetables
