// The application frame: start-up, main loop, frame timing, screens and their
// fades, shutdown and reset, the message log, the settings file, the window
// and OpenGL state, and keyboard and pointer input.
//
// All of it communicates through one process-wide record, core, that is zero
// at program start and touched by the main thread only.
#pragma once

#include <string>
#include <vector>

#include "text/font.h"

enum ScreenId { Screen_Sandbox = 6 };
constexpr int ScreenCount = 7;

// All times in seconds.
struct FrameTimer {
  double lastTime = 0;       // clock at the end of the previous update; 0: not started
  double delta = 0;          // time of the last frame
  double total = 0;          // sum of all deltas since the last reset
  double smoothedDelta = 0;  // exponentially smoothed delta
};

struct FpsCounter {
  int frames = 0;              // frames counted in the current window
  float windowStart = 0;       // clock at the window's start; 0: not started
  float interval = 0;          // window length, 0.2 s once started
  float framesPerSecond = 0;   // the last result
};

// A key-adjustable float that accelerates while its keys are held and coasts
// to a stop when they are released.
struct DebugValue {
  float value = 0;
  int increaseKey = 0;
  int decreaseKey = 0;
  float step = 0;   // base step; the rate changes by step x 0.001 per frame
  float rate = 0;   // change applied to value in each frame
};

// The labels recorded so far, in order, every cycle's included.
typedef std::vector<std::string> MessageLog;

struct CoreState {
  // Window and display; width and height are used as unsigned.
  int width = 0;
  int height = 0;
  int bitDepth = 0;    // 16 or 32
  int windowMode = 0;  // GLFW_WINDOW or GLFW_FULLSCREEN

  FrameTimer frameTimer;

  int mouseX = 0;  // pointer position in window pixels
  int mouseY = 0;
  DebugValue activeDebug[3];

  int screen = 0;
  float screenFade[ScreenCount] = {};  // each within [0, 1]

  FpsCounter fps;
  MessageLog messageLog;
  Font font;

  bool resetRequested = false;
  bool quitRequested = false;
  // F9 exports in every frame it is held; a failure is told once per press.
  bool exportFailureReported = false;
};

extern CoreState core;

// The program's window title.
extern const char* const Core_WindowTitle;

// Lifecycle and main loop.
int Core_Run();  // the entry point's cycle; returns the exit code 0
void Core_Initialize();
void Core_MainLoop();
void Core_Update();
void Core_Render();
void Core_Shutdown();
void Core_ReopenWindow();
void Core_ResetFrameTimer();
void Core_UpdateFrameTimer();
void Core_UpdateFps();
void Core_UpdateFades();

// Message log.
void Core_LogMessage(std::string label);
// Writes "messages.txt"; when it cannot, one line on stderr with the
// system's reason, once until Core_ExportKeyReleased.
void Core_ExportMessageBuffer();
// F9 is up: the next failed export is told again.
void Core_ExportKeyReleased();

// Settings file "config.dat".
void Core_Initialize_LoadConfig();
void Core_Initialize_SaveConfig();

// Window and OpenGL state.
void Core_OpenWindow();
void Core_InitializeGL();
void Core_Begin2D();
void Core_End2D();
void Core_Initialize_WindowResizeCallback(int width, int height);
void Core_Initialize_WindowFullscreenSwap();
// width / height for the perspective projection; 1 when height is 0.
double Core_AspectRatio();

// Input.
void Core_InitializeDebugValues();
void Core_UpdateDebugValue(DebugValue& debug);
void Core_UpdateMouse();

// Replaces the file at path with bytes: writes a temporary file in the same
// directory and renames it over the old one, so the file is always either the
// old or the new complete file. The new file keeps the old one's permission
// bits; through a symbolic link the link's target is replaced and the link
// stays. False (and the old file untouched) when the old file cannot be
// opened for writing, or the temporary file cannot be written or renamed;
// errno then holds the reason.
bool Core_ReplaceFile(const char* path, const std::string& bytes);
