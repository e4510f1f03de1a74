// The system's text for a Windows error code, shared by the Windows files of the platform layer.
#ifndef KRM_PLATFORM_ERROR_WIN32_H_
#define KRM_PLATFORM_ERROR_WIN32_H_

#include <string>

namespace krm::platform {

// Why something failed, starting in lower case as the middle of a fault line: the system's own
// text, except for a missing file or folder, which is said as on other systems ("no such file or
// directory"), so that a station's fault lines read alike wherever it runs.
std::string ErrorReason(unsigned long err);

}  // namespace krm::platform

#endif  // KRM_PLATFORM_ERROR_WIN32_H_
