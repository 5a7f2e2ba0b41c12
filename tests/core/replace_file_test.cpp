// Replacing a file keeps what a user set up around the old one: its
// permission bits, a symbolic link in its place, and its being read-only.

#include "tests/core/core_fixture.h"
#include "tests/support/ordinary_user.h"

namespace {

mode_t modeOf(const std::string& path) {
  struct stat status;
  EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
  return status.st_mode & 07777;
}

std::string linkTarget(const std::string& path) {
  char buffer[4096];
  const ssize_t n = readlink(path.c_str(), buffer, sizeof buffer);
  return n < 0 ? "(not a link)" : std::string(buffer, static_cast<size_t>(n));
}

TEST_F(CoreTest, ReplaceFileKeepsThePermissionBits) {
  for (mode_t mode : {0600, 0640, 0604, 0664, 0666, 0755, 0700, 02750}) {
    SCOPED_TRACE(mode);
    writeFile("config.dat", "old\n");
    ASSERT_EQ(chmod("config.dat", mode), 0);
    EXPECT_TRUE(Core_ReplaceFile("config.dat", "new\n"));
    EXPECT_EQ(readFile("config.dat"), "new\n");
    EXPECT_EQ(modeOf("config.dat"), mode);
    ASSERT_EQ(unlink("config.dat"), 0);
  }
  // A new file gets what creating it would give.
  const mode_t mask = umask(022);
  EXPECT_TRUE(Core_ReplaceFile("messages.txt", ""));
  umask(mask);
  EXPECT_EQ(modeOf("messages.txt"), 0644u);
}

TEST_F(CoreTest, ReplaceFileThroughALinkReplacesItsTargetAndKeepsTheLink) {
  ASSERT_EQ(mkdir("settings", 0755), 0);
  ASSERT_EQ(mkdir("settings/real", 0755), 0);
  struct Case {
    const char* name;
    std::string linkTo;    // what the link "config.dat" holds
    std::string reached;   // the file it reaches, from the working directory
    bool targetExists;
  };
  const Case cases[] = {
      {"relative", "settings/real/config.dat", "settings/real/config.dat", true},
      {"absolute", directory_ + "/settings/real/config.dat", "settings/real/config.dat", true},
      // A link to a link: the second one's relative target counts from its
      // own directory.
      {"chain", "settings/hop", "settings/real/config.dat", true},
      // A dangling link: writing through it creates the target.
      {"dangling", "settings/real/config.dat", "settings/real/config.dat", false},
  };
  ASSERT_EQ(symlink("real/config.dat", "settings/hop"), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    unlink("settings/real/config.dat");
    if (c.targetExists) {
      writeFile(c.reached, "old\n");
      ASSERT_EQ(chmod(c.reached.c_str(), 0600), 0);
    }
    ASSERT_EQ(symlink(c.linkTo.c_str(), "config.dat"), 0);
    EXPECT_TRUE(Core_ReplaceFile("config.dat", "new\n"));
    EXPECT_EQ(linkTarget("config.dat"), c.linkTo);
    EXPECT_EQ(readFile(c.reached), "new\n");
    if (c.targetExists) {
      EXPECT_EQ(modeOf(c.reached), 0600u);
    }
    // No temporary file is left beside the link or the target.
    EXPECT_EQ(Platform_ListDirectory(".").size(), 4u);  // ".", "..", link, settings
    EXPECT_EQ(Platform_ListDirectory("settings/real").size(), 3u);
    ASSERT_EQ(unlink("config.dat"), 0);
  }
  EXPECT_EQ(linkTarget("settings/hop"), "real/config.dat");
}

TEST_F(CoreTest, ReplaceFileFailsOnALinkLoop) {
  ASSERT_EQ(symlink("b", "config.dat"), 0);
  ASSERT_EQ(symlink("config.dat", "b"), 0);
  EXPECT_FALSE(Core_ReplaceFile("config.dat", "new\n"));
  EXPECT_EQ(linkTarget("config.dat"), "b");
  EXPECT_EQ(Platform_ListDirectory(".").size(), 4u);
}

TEST_F(CoreTest, ReplaceFileLeavesAReadOnlyFileAsItWas) {
  // The test's directory is root's when the tests run as root.
  if (geteuid() == 0) {
    ASSERT_EQ(chmod(directory_.c_str(), 0777), 0);
  }
  RunAsOrdinaryUser([&] {
    const std::string old = "640\n480\n32\n65537\n";
    writeFile("config.dat", old);
    ASSERT_EQ(chmod("config.dat", 0444), 0);
    // As a write in place would, the save fails; the file stays, and so the
    // window mode the next window reads from it stays windowed.
    EXPECT_FALSE(Core_ReplaceFile("config.dat", "new\n"));
    setDisplay(640, 480, 32, GLFW_FULLSCREEN);
    Core_Initialize_SaveConfig();
    EXPECT_EQ(readFile("config.dat"), old);
    EXPECT_EQ(modeOf("config.dat"), 0444u);
    EXPECT_EQ(Platform_ListDirectory(".").size(), 3u);
    // Through a link too: the read-only target decides.
    ASSERT_EQ(symlink("config.dat", "link.dat"), 0);
    EXPECT_FALSE(Core_ReplaceFile("link.dat", "new\n"));
    EXPECT_EQ(readFile("config.dat"), old);
    // Once writable again, it is replaced and keeps its bits.
    ASSERT_EQ(chmod("config.dat", 0640), 0);
    EXPECT_TRUE(Core_ReplaceFile("link.dat", "new\n"));
    EXPECT_EQ(readFile("config.dat"), "new\n");
    EXPECT_EQ(modeOf("config.dat"), 0640u);
  });
}

}  // namespace
