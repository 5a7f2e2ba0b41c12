// The help screen's text: every key of the program with what it does.
#include "instruments/help.h"

#include <string>

std::vector<std::string> Instruments_HelpLines() {
  return {
      "Keys",
      "Mouse: look around",
      "Up / Down / Left / Right: push the ball forward / back / left / right",
      "F / S: raise / lower the first debug value",
      "E / D: raise / lower the second debug value (moves the view up and down)",
      "R / W: raise / lower the third debug value (moves the view forward and back)",
      "Left Ctrl / Left Shift: debug keys 10 times / one tenth as fast",
      "Q: zero the debug values",
      "P: pause / resume the physics",
      "O: while paused, take one physics step",
      "[ / ]: slow motion: halve / double the step rate (16 ms to 1024 ms per step)",
      ", / .: while paused, one step back / forward through the last 3600 (Shift: 10)",
      "T: while paused in a replay, take it over at this step and go on live",
      "B: shoot a ball along the view at 0.02 units per step (at most 64)",
      "F1: this help on / off",
      "F2: rooms off / outlined / outlined with the ball's rooms highlighted",
      "F3: contacts of the last step, ball velocity and gravity on / off",
      "F4: plots of the last 10 seconds on / off",
      "F8: save the session as replay-NNNN.txt and replay-NNNN.csv",
      "F9: write the message log to messages.txt",
      "F11: reset (start everything again, shot balls removed)",
      "F12: screenshot to screenshot-NNNN.png",
      "Alt + Enter: windowed / full screen",
      "Esc: quit",
  };
}
