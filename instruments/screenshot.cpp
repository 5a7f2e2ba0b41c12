#include "instruments/instruments.h"

void Instruments_EndFrame() { instruments.screenshotRequested = false; }
