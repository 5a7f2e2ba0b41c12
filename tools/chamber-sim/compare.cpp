#include "tools/chamber-sim/compare.h"

#include <vector>

#include "replay/replay.h"

namespace {

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  std::size_t begin = 0;
  while (true) {
    const std::size_t comma = line.find(',', begin);
    out.push_back(line.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin));
    if (comma == std::string::npos) return out;
    begin = comma + 1;
  }
}

std::string withoutNewline(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

// A value quoted for a message; an absent one says so.
std::string shown(const std::vector<std::string>& values, std::size_t i) {
  return i < values.size() ? "'" + values[i] + "'" : "nothing";
}

}  // namespace

bool CsvComparison_Row(CsvComparison& comparison, const std::string& row, std::string* error) {
  const std::string ours = withoutNewline(row);
  const bool header = comparison.line == 0;
  const std::vector<std::string> ourFields = fields(ours);
  std::string theirs;
  if (!std::getline(*comparison.saved, theirs)) {
    *error = comparison.name + " ends after line " + std::to_string(comparison.line) +
             (header ? "" : "; the run goes on with step " + ourFields[0] + ", body " + ourFields[1]);
    return false;
  }
  ++comparison.line;
  if (!theirs.empty() && theirs.back() == '\r') theirs.pop_back();
  if (theirs == ours) {
    ++comparison.rows;
    return true;
  }
  const std::string where = comparison.name + ":" + std::to_string(comparison.line) + ": ";
  if (header) {
    *error = where + "not the header of chamber-sim's CSV";
    return false;
  }
  const std::vector<std::string> theirFields = fields(theirs);
  const std::vector<std::string> columns = fields(withoutNewline(Replay_CsvHeader()));
  std::size_t column = 0;
  while (column < ourFields.size() && column < theirFields.size() &&
         ourFields[column] == theirFields[column])
    ++column;
  const std::string columnName = column < columns.size() ? columns[column] : std::to_string(column + 1);
  *error = where + "step " + ourFields[0] + ", body " + ourFields[1] + ", column " + columnName +
           ": the run gives " + shown(ourFields, column) + ", the file has " +
           shown(theirFields, column);
  return false;
}

bool CsvComparison_End(CsvComparison& comparison, std::string* error) {
  std::string extra;
  if (!std::getline(*comparison.saved, extra)) return true;
  *error = comparison.name + ":" + std::to_string(comparison.line + 1) +
           ": the run has ended, the file goes on";
  return false;
}
