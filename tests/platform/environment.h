// The test process's environment variables, on either system.
#ifndef KRM_TESTS_PLATFORM_ENVIRONMENT_H_
#define KRM_TESTS_PLATFORM_ENVIRONMENT_H_

#include <stdlib.h>

namespace krm::testing {

// Sets `name` to `value` for this process and the programs it starts.
inline void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  (void)::_putenv_s(name, value);
#else
  ::setenv(name, value, 1);
#endif
}

// Removes `name` from the environment.
inline void UnsetEnvironment(const char* name) {
#ifdef _WIN32
  (void)::_putenv_s(name, "");  // an empty value removes it
#else
  ::unsetenv(name);
#endif
}

}  // namespace krm::testing

#endif  // KRM_TESTS_PLATFORM_ENVIRONMENT_H_
