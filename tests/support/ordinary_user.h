// Running a part of a test as an ordinary user, for checks of file
// permissions: root may write any file, and CI runs the tests as root.
#pragma once

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

// Runs body in a child process, as "nobody" when the tests run as root.
// The body checks with EXPECT and ASSERT; its failures come back as the
// child's exit code, and this fails the test with it.
inline void RunAsOrdinaryUser(const std::function<void()>& body) {
  std::fflush(nullptr);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
      _exit(3);
    if (geteuid() == 0) _exit(4);
    body();
    _exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "3 or 4: could not drop root; 1: a check failed";
}
