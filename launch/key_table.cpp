#include "launch/key_table.h"

#include <cctype>

const std::vector<KeyRow>& KeyTable_Rows() {
  static const std::vector<KeyRow> rows = {
      {"ESC", "quit"},
      {"mouse", "look around"},
      {"Up / Down / Left / Right", "push the ball"},
      {"F / S", "first debug value up / down"},
      {"E / D", "second debug value (view down / up)"},
      {"R / W", "third debug value (forward / back)"},
      {"left Ctrl, left Shift", "debug keys 10x / 0.1x"},
      {"Q", "zero the three debug values"},
      {"P", "pause / resume the physics"},
      {"O", "while paused: one physics step"},
      {"[ / ]", "halve / double the step rate"},
      {", / .", "paused: step back / forward (Shift: 10)"},
      {"T", "paused in a replay: take over from here"},
      {"B", "shoot a ball along the view (at most 64)"},
      {"F1", "this help on / off"},
      {"F2", "rooms: outlined / with the ball's / off"},
      {"F3", "contacts, velocity and gravity on / off"},
      {"F4", "plots of the last 10 seconds on / off"},
      {"F5 / F6", "settings panel on / off / save"},
      {"Tab / = / -", "panel: next, raise, lower (Shift)"},
      {"Backspace", "panel: default value"},
      {"F7", "view the ball from outside on / off"},
      {"PageUp / PageDown, wheel", "nearer / farther (F7)"},
      {"F8", "save the session as replay-NNNN files"},
      {"F9", "write the message log to messages.txt"},
      {"F11", "reset: start again, shot balls removed"},
      {"F12", "screenshot to screenshot-NNNN.png"},
      {"Alt + Enter", "windowed / full screen"},
  };
  return rows;
}

namespace {

bool allLower(const std::string& word) {
  for (char c : word)
    if (!std::islower(static_cast<unsigned char>(c))) return false;
  return !word.empty();
}

bool allUpper(const std::string& word) {
  for (char c : word)
    if (!std::isupper(static_cast<unsigned char>(c))) return false;
  return word.size() > 2;
}

std::string keycapWord(std::string word) {
  if (allLower(word)) {
    word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
  } else if (allUpper(word)) {
    for (size_t i = 1; i < word.size(); ++i)
      word[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(word[i])));
  }
  return word;
}

}  // namespace

std::string KeyTable_KeycapName(const std::string& keys) {
  std::string out, word;
  for (char c : keys) {
    if (std::isalpha(static_cast<unsigned char>(c))) {
      word += c;
      continue;
    }
    out += keycapWord(word);
    word.clear();
    out += c;
  }
  return out + keycapWord(word);
}
