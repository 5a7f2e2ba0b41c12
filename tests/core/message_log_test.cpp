#include "tests/core/core_fixture.h"

namespace {

TEST_F(CoreTest, LogMessageKeepsACopyAndEchoesIt) {
  ::testing::internal::CaptureStdout();
  std::string label = "Core_Initialize";
  Core_LogMessage(label);
  label[0] = 'X';
  Core_LogMessage("Menu_Initialize");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Core_Initialize\nMenu_Initialize\n");
  ASSERT_EQ(core.messageLog.size(), 2u);
  EXPECT_EQ(core.messageLog[0], "Core_Initialize");
}

TEST_F(CoreTest, ExportWritesEveryLabelAndKeepsTheLog) {
  ::testing::internal::CaptureStdout();
  Core_ExportMessageBuffer();
  EXPECT_EQ(readFile("messages.txt"), "");  // an empty log: an empty file
  Core_LogMessage("A");
  Core_LogMessage("B");
  Core_ExportMessageBuffer();
  EXPECT_EQ(readFile("messages.txt"), "A\nB\n");
  Core_LogMessage("C");
  Core_ExportMessageBuffer();
  EXPECT_EQ(readFile("messages.txt"), "A\nB\nC\n");
  // The export's own line goes to the console only.
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Exporting Message Buffer\nA\nB\nExporting Message Buffer\nC\n"
            "Exporting Message Buffer\n");
  EXPECT_EQ(core.messageLog.size(), 3u);
}

TEST_F(CoreTest, ExportWithoutAWritableFileChangesNothing) {
  ASSERT_EQ(mkdir("messages.txt", 0755), 0);  // cannot be replaced by a file
  Core_LogMessage("A");
  Core_ExportMessageBuffer();
  EXPECT_EQ(core.messageLog.size(), 1u);
  EXPECT_EQ(Platform_ListDirectory(".").size(), 3u);
}

}  // namespace
