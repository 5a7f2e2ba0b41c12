// Saving a session as its two replay files, each replaced whole.
#include <cstdio>

#include "core/core.h"
#include "replay/replay.h"

bool Replay_Save(const SessionLog& log, std::uint64_t steps, const std::string& ctrPath,
                 const std::string& directory, std::vector<std::string>* names,
                 std::string* error) {
  const std::string base = Replay_BaseName(Replay_FreeNumber(directory));
  const std::string txt = base + ".txt", csv = base + ".csv";
  const std::string txtPath = directory + "/" + txt, csvPath = directory + "/" + csv;
  // The trajectory first: an options file is never left without its CSV.
  if (!Core_ReplaceFile(csvPath.c_str(), Replay_CsvText(log, steps))) {
    *error = csv;
    return false;
  }
  if (!Core_ReplaceFile(txtPath.c_str(), Replay_OptionsText(log, steps, ctrPath))) {
    std::remove(csvPath.c_str());
    *error = txt;
    return false;
  }
  *names = {txt, csv};
  return true;
}
