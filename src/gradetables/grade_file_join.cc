#include "gradetables/grade_file_join.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace krm::gradetables {
namespace {

// The two blocks of a join: the part's bytes, and the target's bytes at the same place.
struct JoinBuffers {
  std::vector<char> part = std::vector<char>(kJoinBlockSize);
  std::vector<char> target = std::vector<char>(kJoinBlockSize);
};

// Copies all `length` bytes of `part` to `target` from `offset` on. With `compare`, a block that
// the target already holds is left alone. `*target_failed` says whether a failure was the
// target's.
Status CopyPart(platform::Env& env, const fs::path& part, std::uint64_t length,
                platform::BinaryFile& target, std::uint64_t offset, bool compare,
                JoinBuffers& buffers, bool* target_failed) {
  *target_failed = false;
  std::unique_ptr<platform::BinaryFile> in;
  Status s = env.OpenBinary(part, /*create=*/false, &in);
  if (!s.ok()) return s;
  std::uint64_t done = 0;
  while (done < length) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(kJoinBlockSize, length - done));
    std::size_t got = 0;
    s = in->ReadAt(done, buffers.part.data(), want, &got);
    if (!s.ok()) return s;
    if (got == 0) break;  // the part became shorter since its length was taken
    std::size_t held = 0;
    *target_failed = true;
    if (compare) {
      s = target.ReadAt(offset + done, buffers.target.data(), got, &held);
      if (!s.ok()) return s;
    }
    if (held != got || std::memcmp(buffers.part.data(), buffers.target.data(), got) != 0) {
      s = target.WriteAt(offset + done, buffers.part.data(), got);
      if (!s.ok()) return s;
    }
    *target_failed = false;
    done += got;
  }
  return Status::Ok();
}

// Writes both parts into `path`, which is opened (and created when missing) for binary access.
// The target is closed when this returns. On failure `*failed` names the file that failed (a part
// or the target).
Status WriteParts(platform::Env& env, const fs::path& first, const fs::path& second,
                  const fs::path& path, bool compare, fs::path* failed) {
  std::unique_ptr<platform::BinaryFile> out;
  *failed = path;
  Status s = env.OpenBinary(path, /*create=*/true, &out);
  if (!s.ok()) return s;
  JoinBuffers buffers;
  std::uint64_t position = 0;
  for (const fs::path* part : {&first, &second}) {
    std::uint64_t length = 0;
    *failed = *part;
    s = env.FileSize(*part, &length);
    if (!s.ok()) return s;
    bool target_failed = false;
    s = CopyPart(env, *part, length, *out, position, compare, buffers, &target_failed);
    if (!s.ok()) {
      if (target_failed) *failed = path;
      return s;
    }
    position += length;
  }
  return Status::Ok();
}

std::optional<JoinMemo> Remember(platform::Env& env, const fs::path& first, const fs::path& second,
                                 const fs::path& target) {
  JoinMemo memo;
  if (!env.Identify(first, &memo.first).ok() || !env.Identify(second, &memo.second).ok() ||
      !env.Identify(target, &memo.target).ok()) {
    return std::nullopt;
  }
  return memo;
}

}  // namespace

std::string MemoText(const JoinMemo& memo) {
  std::string text;
  for (const platform::FileIdentity* id : {&memo.first, &memo.second, &memo.target}) {
    for (std::int64_t field :
         {static_cast<std::int64_t>(id->device), static_cast<std::int64_t>(id->inode),
          static_cast<std::int64_t>(id->size), id->modified_ns, id->changed_ns}) {
      text += std::to_string(field);
      text += ' ';
    }
  }
  text.back() = '\n';
  return text;
}

std::optional<JoinMemo> ParseMemo(std::string_view text) {
  std::int64_t fields[15];
  for (std::int64_t& field : fields) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), field);
    if (ec != std::errc()) return std::nullopt;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  }
  if (text != "\n") return std::nullopt;
  JoinMemo memo;
  platform::FileIdentity* ids[] = {&memo.first, &memo.second, &memo.target};
  for (int i = 0; i < 3; ++i) {
    *ids[i] = {static_cast<std::uint64_t>(fields[i * 5]),
               static_cast<std::uint64_t>(fields[i * 5 + 1]),
               static_cast<std::uint64_t>(fields[i * 5 + 2]), fields[i * 5 + 3], fields[i * 5 + 4]};
  }
  return memo;
}

JoinResult JoinParts(platform::Env& env, const fs::path& first, const fs::path& second,
                     const fs::path& target, std::optional<JoinMemo>* memo, JoinFailure* failure) {
  if (memo && *memo && Remember(env, first, second, target) == *memo) return JoinResult::kJoined;
  if (memo) memo->reset();
  JoinFailure ignored;
  JoinFailure& failed = failure ? *failure : ignored;

  const fs::path folder = target.parent_path();
  if (!folder.empty() && !env.IsDirectory(folder)) {
    failed = {folder, env.CreateDirectory(folder)};
    if (!failed.status.ok()) return JoinResult::kFailed;
  }
  // Comparing first pays off on an existing target, which mostly holds the parts already.
  const bool compare = env.IsRegularFile(target);
  failed.status = WriteParts(env, first, second, target, compare, &failed.path);
  if (!failed.status.ok()) return JoinResult::kFailed;
  if (!env.IsRegularFile(target)) return JoinResult::kTargetNotFound;
  if (memo) *memo = Remember(env, first, second, target);
  return JoinResult::kJoined;
}

JoinResult MakeGradeTableFile(platform::Env& env, const intake::StationPaths& paths,
                              std::optional<JoinMemo>* memo, JoinFailure* failure) {
  return JoinParts(env, paths.Part(1), paths.Part(2), paths.GradeTable(), memo, failure);
}

JoinResult MakeGradeDatabaseFile(platform::Env& env, const intake::StationPaths& paths,
                                 JoinFailure* failure) {
  return JoinParts(env, paths.Part(3), paths.Part(4), paths.GradeDatabase(), nullptr, failure);
}

}  // namespace krm::gradetables
