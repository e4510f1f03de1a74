// PosixEnv: the station's platform services on a POSIX system.
#ifndef KRM_PLATFORM_ENV_POSIX_H_
#define KRM_PLATFORM_ENV_POSIX_H_

#include "platform/env.h"

namespace krm::platform {

class PosixEnv : public Env {
 public:
  std::optional<fs::path> FindFile(const fs::path& path) override;
  bool IsRegularFile(const fs::path& path) override;
  bool IsDirectory(const fs::path& path) override;
  Status ReadFile(const fs::path& path, std::string* contents) override;
  void Prefetch(const fs::path& path) override;
  Status OpenWritable(const fs::path& path, bool append,
                      std::unique_ptr<WritableFile>* file) override;
  Status OpenBinary(const fs::path& path, bool create, std::unique_ptr<BinaryFile>* file) override;
  Status FileSize(const fs::path& path, std::uint64_t* size) override;
  Status LastWriteTime(const fs::path& path, std::time_t* time) override;
  Status Identify(const fs::path& path, FileIdentity* identity) override;
  Status CreateDirectory(const fs::path& path) override;
  Status CopyFile(const fs::path& from, const fs::path& to) override;
  Status RemoveFile(const fs::path& path) override;
  Status LockFile(const fs::path& path, std::unique_ptr<FileLock>* lock) override;
  void MessageBox(std::string_view message, int style, std::string_view title) override;
  Status StartBatch(const fs::path& batch, const fs::path& folder) override;
  Status StartProgram(const fs::path& program, const std::vector<std::string>& arguments) override;
  std::tm Now() override;
  std::string ShortDate(const std::tm& time) override;
  std::string LongTime(const std::tm& time) override;
  std::tm ToLocal(std::time_t time) override;
  fs::path ExecutablePath() override;
};

}  // namespace krm::platform

#endif  // KRM_PLATFORM_ENV_POSIX_H_
