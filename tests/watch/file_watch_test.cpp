// Following a file: what counts as a change, and when it is reported. Time is
// passed in, so the polls are placed exactly; the files are real.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "watch/file_watch.h"

namespace {

class FileWatchTest : public ::testing::Test {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/file_watch_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/0.ctr";
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  void write(const std::string& path, const std::string& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
  }
  // Sets the file's modification time (seconds since the epoch), as a file
  // written long ago or touched would have.
  void setModified(const std::string& path, time_t seconds) {
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }
  // Polls at every poll interval from `from` until `until` (seconds) and
  // returns how many polls reported a change.
  int reportsBetween(watch::FileWatch& w, double from, double until) {
    int reports = 0;
    for (double t = from; t <= until; t += watch::kPollInterval) reports += watch::fileChanged(w, t);
    return reports;
  }

  std::string dir_, path_;
};

TEST_F(FileWatchTest, AnUntouchedFileIsNeverReported) {
  write(path_, "rooms");
  setModified(path_, 1000000000);  // long ago: no clock tick can hide a write
  watch::FileWatch w = watch::startWatching(path_, 0);
  EXPECT_EQ(reportsBetween(w, 0.5, 10), 0);
}

// Each way a file changes is reported exactly once, after it has settled and
// not before the poll after next.
TEST_F(FileWatchTest, EachKindOfChangeIsReportedOnceAfterItSettles) {
  struct Case {
    const char* name;
    void (*change)(FileWatchTest&);
  };
  const Case cases[] = {
      {"replaced by rename",
       [](FileWatchTest& t) {
         t.write(t.dir_ + "/new", "other rooms");
         ASSERT_EQ(rename((t.dir_ + "/new").c_str(), t.path_.c_str()), 0);
       }},
      {"rewritten in place with the same size",
       [](FileWatchTest& t) {
         t.write(t.path_, "ROOMS");
         t.setModified(t.path_, 1000000001);
       }},
      {"rewritten in place within the same modification time",
       [](FileWatchTest& t) {
         t.write(t.path_, "ROOMS");
         t.setModified(t.path_, 1000000000);
       }},
      {"removed", [](FileWatchTest& t) { ASSERT_EQ(unlink(t.path_.c_str()), 0); }},
      {"made unreadable", [](FileWatchTest& t) {
         ASSERT_EQ(unlink(t.path_.c_str()), 0);
         ASSERT_EQ(mkdir(t.path_.c_str(), 0755), 0);  // a directory reads as nothing, even for root
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::system(("rm -rf '" + path_ + "'").c_str());
    write(path_, "rooms");
    setModified(path_, 1000000000);
    watch::FileWatch w = watch::startWatching(path_, 0);
    c.change(*this);
    EXPECT_FALSE(watch::fileChanged(w, 0.5)) << "the first sight of a change is not yet settled";
    EXPECT_TRUE(watch::fileChanged(w, 1.0));
    EXPECT_EQ(reportsBetween(w, 1.5, 5), 0);
  }
}

// A second write inside the file system's clock tick can leave the whole
// stamp as it was; the contents are read again while the stamp is that young.
// The watch is shown the stamp after the write as if it were the one it
// started with, which is what such a tick looks like from outside.
TEST_F(FileWatchTest, AWriteInsideTheClockTickOfTheFirstReadingIsNotMissed) {
  write(path_, "rooms");
  watch::FileWatch w = watch::startWatching(path_, 0);
  write(path_, "ROOMS");
  w.known = w.pending = watch::stampOf(path_);
  EXPECT_EQ(reportsBetween(w, 0.5, 2), 1);
  // Long after the tick, an unchanged stamp is trusted again.
  setModified(path_, 1000000000);
  EXPECT_EQ(reportsBetween(w, 2.5, 6), 0) << "the new stamp, read and settled, is the last report";
}

TEST_F(FileWatchTest, TouchingWithoutChangingTheContentsIsNotReported) {
  write(path_, "rooms");
  setModified(path_, 1000000000);
  watch::FileWatch w = watch::startWatching(path_, 0);
  setModified(path_, 1000000500);
  EXPECT_EQ(reportsBetween(w, 0.5, 5), 0);
  write(path_, "rooms");  // rewritten with the same bytes
  setModified(path_, 1000000600);
  EXPECT_EQ(reportsBetween(w, 5.5, 10), 0);
}

// A file written in pieces, one piece per poll, is read only once the pieces
// stop coming, and then once.
TEST_F(FileWatchTest, AFileBeingWrittenIsNotReportedUntilItHoldsStill) {
  write(path_, "");
  setModified(path_, 1000000000);
  watch::FileWatch w = watch::startWatching(path_, 0);
  std::string contents;
  for (int piece = 1; piece <= 8; ++piece) {
    contents += "piece ";
    write(path_, contents);
    setModified(path_, 1000000000 + piece);
    EXPECT_FALSE(watch::fileChanged(w, 0.5 * piece)) << "piece " << piece;
  }
  EXPECT_EQ(reportsBetween(w, 4.5, 8), 1);
}

TEST_F(FileWatchTest, TheDiskIsLookedAtAtMostTwiceASecond) {
  write(path_, "rooms");
  setModified(path_, 1000000000);
  watch::FileWatch w = watch::startWatching(path_, 0);
  write(path_, "other rooms");
  for (double t = 0.01; t < watch::kPollInterval; t += 0.01) EXPECT_FALSE(watch::fileChanged(w, t));
  EXPECT_EQ(w.lastPoll, 0.0);
  EXPECT_EQ(reportsBetween(w, 0.5, 1.0), 1);
}

TEST_F(FileWatchTest, AFileThatAppearsLaterIsReported) {
  watch::FileWatch w = watch::startWatching(path_, 0);
  EXPECT_EQ(reportsBetween(w, 0.5, 3), 0) << "a missing file stays unreported";
  write(path_, "rooms");
  EXPECT_EQ(reportsBetween(w, 3.5, 6), 1);
}

TEST(Sha256Test, KnownDigestsOfBytesAndFiles) {
  EXPECT_EQ(watch::sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(watch::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  char path[] = "/tmp/sha256_test.XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  std::string big(200000, 'x');  // several reads' worth
  ASSERT_EQ(::write(fd, big.data(), big.size()), static_cast<ssize_t>(big.size()));
  close(fd);
  EXPECT_EQ(watch::fileSha256Hex(path), watch::sha256Hex(big));
  unlink(path);
  EXPECT_FALSE(watch::fileSha256Hex(path).has_value());
}

}  // namespace
