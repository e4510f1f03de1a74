// Shared helpers of the run state.
#include "app/run_state.h"

namespace krm::app {

void WriteLine(const std::unique_ptr<platform::WritableFile>& file, std::string_view line) {
  if (!file) return;
  std::string out;
  out.reserve(line.size() + 2);
  out.append(line);
  out.append("\r\n");
  (void)file->Append(out);
}

}  // namespace krm::app
