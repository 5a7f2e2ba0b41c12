// The key table printed by --help: the same rows as the window's help.
#include <cstdio>

#include "launch/key_table.h"
#include "launch/launch.h"

std::string Launch_KeyTable() {
  std::string table =
      "Keys (the debug keys and the arrows act in every frame while held, the others once\n"
      "per press):\n";
  char line[200];
  for (const KeyRow& row : KeyTable_Rows()) {
    snprintf(line, sizeof line, "  %-26s %s\n", row.keys, row.action);
    table += line;
  }
  return table;
}
