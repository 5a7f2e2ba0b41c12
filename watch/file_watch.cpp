// Following one file: poll its stamp now and then, wait until it has settled,
// then compare its contents with those last reported.
#include <time.h>

#include "watch/file_watch.h"

namespace watch {
namespace {

int64_t wallClockNs() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Takes the file's contents as known: its digest (empty for a file that is
// gone or cannot be read, so that "missing" and "unreadable" compare equal to
// each other and unlike any contents) and when it was taken.
void takeDigest(FileWatch& watch, const FileStamp& stamp) {
  watch.known = stamp;
  watch.digestTakenNs = wallClockNs();
  std::optional<std::string> digest = stamp.exists ? fileSha256Hex(watch.path) : std::nullopt;
  watch.knownDigest = digest ? *digest : std::string();
}

// A digest taken within the modification time's clock tick may predate a
// second write that left the stamp alone.
bool racy(const FileWatch& watch) {
  return watch.known.exists && watch.digestTakenNs - watch.known.modifiedNs < kRacyWindowNs;
}

}  // namespace

FileWatch startWatching(const std::string& path, double nowSeconds) {
  FileWatch watch;
  watch.path = path;
  takeDigest(watch, stampOf(path));
  watch.pending = watch.known;
  watch.pendingSince = nowSeconds;
  watch.lastPoll = nowSeconds;
  watch.polled = true;
  return watch;
}

bool fileChanged(FileWatch& watch, double nowSeconds) {
  // nowSeconds going backwards (a clock reset) counts as time to look again.
  if (watch.polled && nowSeconds >= watch.lastPoll && nowSeconds - watch.lastPoll < kPollInterval)
    return false;
  watch.lastPoll = nowSeconds;
  watch.polled = true;

  const FileStamp now = stampOf(watch.path);
  if (now == watch.known) {
    watch.pending = now;  // changed and changed back, or never changed
    if (!racy(watch)) return false;
    const std::string before = watch.knownDigest;
    takeDigest(watch, now);
    return watch.knownDigest != before;
  }
  if (now != watch.pending) {
    // Still being written (or just changed): wait until it holds still.
    watch.pending = now;
    watch.pendingSince = nowSeconds;
    return false;
  }
  if (nowSeconds - watch.pendingSince < kSettleTime) return false;

  // The stamp has settled on something new: a change when the contents are,
  // or when the file came or went.
  const bool existed = watch.known.exists;
  const std::string before = watch.knownDigest;
  takeDigest(watch, now);
  return watch.knownDigest != before || existed != now.exists;
}

}  // namespace watch
