// A build's outputs replace the old ones whole, all or none.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/chamber-build/chamber.h"

namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> names(const fs::path& directory) {
  std::vector<std::string> out;
  for (const auto& entry : fs::directory_iterator(directory)) out.push_back(entry.path().filename());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(OutputFiles, AllAreReplacedOrNoneAndNoTemporaryFileStays) {
  const fs::path dir = fs::path(::testing::TempDir()) / ("outputs-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::ofstream(dir / "0.ctr") << "old rooms";
  std::ofstream(dir / "chamber.obj") << "old model";
  std::string error;

  ASSERT_TRUE(chamber::WriteOutputFiles(
      {{(dir / "chamber.obj").string(), "new model"}, {(dir / "0.ctr").string(), "new rooms"}},
      &error))
      << error;
  EXPECT_EQ(read(dir / "chamber.obj"), "new model");
  EXPECT_EQ(read(dir / "0.ctr"), "new rooms");
  EXPECT_EQ(names(dir), (std::vector<std::string>{"0.ctr", "chamber.obj"}));

  // The second file cannot be written (its directory is missing): the first
  // is not replaced either.
  EXPECT_FALSE(chamber::WriteOutputFiles({{(dir / "chamber.obj").string(), "newer model"},
                                          {(dir / "gone" / "0.ctr").string(), "newer rooms"}},
                                         &error));
  EXPECT_NE(error.find("gone"), std::string::npos) << error;
  EXPECT_EQ(read(dir / "chamber.obj"), "new model");
  EXPECT_EQ(names(dir), (std::vector<std::string>{"0.ctr", "chamber.obj"}));
  fs::remove_all(dir);
}

}  // namespace
