// The key table printed by --help; keep it in step with the README's.
#include <cstdio>

#include "launch/launch.h"

namespace {

struct KeyRow {
  const char* keys;
  const char* action;
};

const KeyRow kKeys[] = {
    {"ESC", "quit"},
    {"F9", "write the message log to \"messages.txt\""},
    {"F11", "reset: shut everything down and start again"},
    {"Alt + Enter", "toggle windowed / full-screen (left or right Alt)"},
    {"Q", "zero the three debug values"},
    {"F / S", "raise / lower the first debug value"},
    {"E / D", "raise / lower the second debug value (moves the view up and down)"},
    {"R / W", "raise / lower the third debug value (moves the view back and forth)"},
    {"left Ctrl, left Shift", "10 times / one tenth of the debug step (with the keys above)"},
    {"Up / Down / Left / Right", "push the sphere forward / back / left / right"},
    {"mouse", "look around"},
    {", / .", "while paused: one step back / forward (with Shift: 10), once per press"},
    {"F8", "save the session as replay-NNNN.txt and .csv, once per press"},
};

}  // namespace

std::string Launch_KeyTable() {
  std::string table = "Keys (each acts in every frame while held):\n";
  char line[160];
  for (const KeyRow& row : kKeys) {
    snprintf(line, sizeof line, "  %-26s %s\n", row.keys, row.action);
    table += line;
  }
  return table;
}
