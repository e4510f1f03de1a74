// The program's version numbers, set in one place by the build.
#include "platform/env.h"

namespace krm::platform {

Version ProgramVersion() {
  return {KRM_VERSION_MAJOR, KRM_VERSION_MINOR, KRM_VERSION_PATCH};
}

}  // namespace krm::platform
