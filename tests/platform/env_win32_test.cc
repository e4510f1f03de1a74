// Win32Env's message boxes: a window only where somebody can click it away.
#include "platform/env_win32.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace krm::platform {
namespace {

TEST(Win32Env, MessageBoxIsAWindowOnlyWhenChosen) {
  const char* before = std::getenv("KRM_MESSAGE_BOX");
  const std::string kept = before ? before : "";
  ASSERT_EQ(::_putenv_s("KRM_MESSAGE_BOX", "window"), 0);
  EXPECT_TRUE(ShowsMessageBoxWindows());
  ASSERT_EQ(::_putenv_s("KRM_MESSAGE_BOX", "stderr"), 0);
  EXPECT_FALSE(ShowsMessageBoxWindows());
  // The stand-in: one line on standard error, and no wait.
  ::testing::internal::CaptureStderr();
  Win32Env().MessageBox("Data base file does not exist  - Can not proceed further....", 16,
                        "DATABASE NOT FOUND !");
  std::string line = ::testing::internal::GetCapturedStderr();
  if (line.ends_with("\r\n")) line.erase(line.size() - 2, 1);
  EXPECT_EQ(line,
            "DATABASE NOT FOUND !: Data base file does not exist  - Can not proceed further....\n");
  ASSERT_EQ(::_putenv_s("KRM_MESSAGE_BOX", kept.c_str()), 0);
}

}  // namespace
}  // namespace krm::platform
