// The Env of the system the program was built for: PosixEnv, or Win32Env on Windows. Programs
// and tests take it from here rather than naming one.
#ifndef KRM_PLATFORM_DEFAULT_ENV_H_
#define KRM_PLATFORM_DEFAULT_ENV_H_

#include <memory>

#include "platform/env.h"
#ifdef _WIN32
#include "platform/env_win32.h"
#else
#include "platform/env_posix.h"
#endif

namespace krm::platform {

#ifdef _WIN32
using DefaultEnv = Win32Env;
#else
using DefaultEnv = PosixEnv;
#endif

inline std::unique_ptr<Env> NewDefaultEnv() {
  return std::make_unique<DefaultEnv>();
}

}  // namespace krm::platform

#endif  // KRM_PLATFORM_DEFAULT_ENV_H_
