// Text of the instruments' overlay that tests read without drawing it.
#pragma once

#include <string>
#include <vector>

#include "instruments/overlay_layout.h"

// The help screen (F1): every key with what it does.
std::vector<std::string> Instruments_HelpLines();
// The status lines shown outside the debug panel: "PAUSED" while paused, the
// step rate while it is not the normal one. Empty when there is nothing to say.
std::vector<std::string> Instruments_StatusLines();
// What the overlay lays out this frame: the window, the panel where the last
// Overlay_Draw put it, the status lines, the plots and the help when on.
OverlayLayoutInput Instruments_OverlayLayoutInput();
