// Following files on disk while the program runs: noticing that a file was
// replaced, rewritten in place or has appeared, and reading it only once it
// has stopped changing, so that a file being written is never read half-way.
//
// A watch is polled from the frame loop with the current time; it looks at
// the disk at most every kPollInterval seconds, so a frame that polls costs
// nothing most of the time. A change is reported once the file's stamp has
// stayed the same for kSettleTime seconds and its contents differ from the
// contents last reported (a file touched without a change is not reported).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace watch {

// How often the disk is looked at, in seconds.
constexpr double kPollInterval = 0.5;
// How long a file's stamp must stay the same before it is read, in seconds.
constexpr double kSettleTime = 0.25;
// How close a modification time may be to the reading of the contents before
// the contents are checked again, in nanoseconds (well above any file
// system's timestamp granularity).
constexpr int64_t kRacyWindowNs = 100000000;

// What stat() says of a file: enough to notice a replacement (another inode),
// a rewrite in place (size, modification or change time) or a removal.
struct FileStamp {
  bool exists = false;
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modifiedNs = 0;  // st_mtim in nanoseconds
  int64_t changedNs = 0;   // st_ctim in nanoseconds
};

bool operator==(const FileStamp& a, const FileStamp& b);
bool operator!=(const FileStamp& a, const FileStamp& b);

// The file's stamp now; exists is false when it cannot be stat'ed.
FileStamp stampOf(const std::string& path);

struct FileWatch {
  std::string path;
  FileStamp known;          // the stamp of the contents last reported (or found at the start)
  std::string knownDigest;  // SHA-256 (hex) of those contents; empty when there were none
  int64_t digestTakenNs = 0;  // wall-clock time the digest was taken, in nanoseconds
  FileStamp pending;        // the newest stamp seen that differs from known
  double pendingSince = 0;  // when pending was first seen, in seconds
  double lastPoll = 0;      // when the disk was last looked at, in seconds
  bool polled = false;      // false until the first poll
};

// Starts following path as it is now: its present contents count as known,
// so only a later change is reported.
FileWatch startWatching(const std::string& path, double nowSeconds);

// True once after the file changed (replaced, rewritten, appeared or removed)
// and then stayed still for kSettleTime: the caller reads it now. Contents
// equal to the last reported ones are not a change. A removal is reported
// (the file no longer exists), so the caller can say so; its return counts as
// a change again.
bool fileChanged(FileWatch& watch, double nowSeconds);

// The SHA-256 of a file's contents as 64 lower-case hex digits, or nothing
// when it cannot be read.
std::optional<std::string> fileSha256Hex(const std::string& path);

// The SHA-256 of bytes in memory, as 64 lower-case hex digits.
std::string sha256Hex(const std::string& bytes);

}  // namespace watch
