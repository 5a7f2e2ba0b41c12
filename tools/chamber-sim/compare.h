// Comparing a run with a saved trajectory as it goes: each CSV row the run
// would print against the next line of the saved file, stopping at the first
// difference, which is named by its step, body and column.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

struct CsvComparison {
  std::istream* saved = nullptr;  // the saved CSV; not owned
  std::string name;               // the file's name, for messages
  std::uint64_t line = 0;         // lines of the saved file read so far
  std::uint64_t rows = 0;         // rows compared and found identical, header included
};

// Compares row (one CSV line, its "\n" included, the header too) with the
// saved file's next line. False at the first difference, with error one line
// naming the file's line, the row's step and body, the column and both
// values, or saying that the file ended first.
bool CsvComparison_Row(CsvComparison& comparison, const std::string& row, std::string* error);
// After the run's last row: false, with error, when the file goes on.
bool CsvComparison_End(CsvComparison& comparison, std::string* error);
