// The one table of the program's keys: `chamber --help` prints it and the
// window's help (F1) shows it. A new key gets one row here and is listed in
// both places.
#pragma once

#include <string>
#include <vector>

struct KeyRow {
  const char* keys;    // as the README writes them: "ESC", "left Ctrl", "mouse"
  const char* action;  // what they do, short enough for a help column
};

// Every key of the program, in the order the help lists them.
const std::vector<KeyRow>& KeyTable_Rows();
// The keys as the window's help writes them: each word that is a plain
// lower-case word or an all-capital name longer than two letters is written
// as a keycap shows it ("left Ctrl" -> "Left Ctrl", "ESC" -> "Esc", "mouse"
// -> "Mouse"); key names such as "F11", "B" or "[ / ]" stay as they are.
std::string KeyTable_KeycapName(const std::string& keys);
