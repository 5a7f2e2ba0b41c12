// A saved replay names the container file it was recorded on by its SHA-256;
// on any other file it would not give the same bits.
#include "replay/replay.h"
#include "watch/file_watch.h"

bool Replay_CheckContainer(const SimOptions& options, std::string* error) {
  if (options.ctrSha256.empty()) return true;
  const std::optional<std::string> actual = watch::fileSha256Hex(options.ctrPath);
  // A file that cannot be read is the loader's to report.
  if (!actual || *actual == options.ctrSha256) return true;
  const std::string where = options.ctrSha256Where.empty() ? "--ctr-sha256" : options.ctrSha256Where;
  *error = where + ": the replay was recorded on another container file than '" +
           options.ctrPath + "' (SHA-256 " + options.ctrSha256.substr(0, 12) + "..., the file has " +
           actual->substr(0, 12) + "...)";
  return false;
}
