// The help screen's text: every key of the program with what it does, from
// the table --help prints too.
#include "instruments/help.h"

#include <string>

#include "launch/key_table.h"

std::vector<std::string> Instruments_HelpLines() {
  std::vector<std::string> lines = {"Keys"};
  for (const KeyRow& row : KeyTable_Rows())
    lines.push_back(KeyTable_KeycapName(row.keys) + ": " + row.action);
  return lines;
}
