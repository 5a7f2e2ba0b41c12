// The program cycle, the main loop and the fixed order of work in each frame.
#include <GL/gl.h>

#include <cstdio>

#include "core/core.h"
#include "instruments/instruments.h"
#include "platform/platform.h"
#include "sandbox/sandbox.h"

CoreState core;

int Core_Run() {
  // One line per label, even when the console is a pipe: whoever reads it
  // sees each label as it is logged.
  setvbuf(stdout, nullptr, _IOLBF, 0);
  do {
    Core_Initialize();
    Core_MainLoop();
    Core_Shutdown();
  } while (core.resetRequested);
  // Shutdowns keep the font's arrays and the scene's bodies and rooms for a
  // reset to replace; once the last cycle is over they are released.
  Font_Destroy();
  Sandbox_Destroy();
  return 0;
}

void Core_Initialize() {
  Core_LogMessage("Core_Initialize");
  for (float& fade : core.screenFade) fade = 0;
  core.resetRequested = false;
  core.quitRequested = false;
  core.screen = 0;
  Core_OpenWindow();
  Core_InitializeGL();
  Core_InitializeDebugValues();
  Core_LogMessage("Core_Initialize_Fonts");
  Font_Create(10, "vera.ttf");
  Core_ResetFrameTimer();
  // frames and framesPerSecond carry over; Core_ReopenWindow zeroes them.
  core.fps.windowStart = 0;
  core.fps.interval = 0.2f;
  // The display-mode menu stage: it only records its labels.
  Core_LogMessage("Menu_Initialize");
  Core_LogMessage("Menu_LoadTextures");
  Sandbox_Initialize();
  core.screen = Screen_Sandbox;
}

void Core_MainLoop() {
  Core_LogMessage("Core_MainLoop");
  while (!core.quitRequested) {
    Core_Update();
    Core_Render();
    Platform_Sleep(glfwGetWindowParam(GLFW_ACTIVE) == 1 ? 1 : 60);
  }
}

void Core_Update() {
  for (DebugValue& debug : core.activeDebug) Core_UpdateDebugValue(debug);
  // After the adjustment, so that a held Q wins over the adjustment keys.
  if (glfwGetKey('Q') == GLFW_PRESS) {
    for (DebugValue& debug : core.activeDebug) {
      debug.value = 0;
      debug.rate = 0;
    }
  }
  Core_UpdateFrameTimer();
  Core_UpdateFps();
  Core_UpdateMouse();
  Core_UpdateFades();
  if (core.screen == Screen_Sandbox) {
    Instruments_Update();
    Camera_Update();
    if (core.screen == Screen_Sandbox) Sandbox_Update();
  }
  if (glfwGetKey(GLFW_KEY_ESC) == GLFW_PRESS || glfwGetWindowParam(GLFW_OPENED) == 0)
    core.quitRequested = true;
  if (glfwGetKey(GLFW_KEY_F9) == GLFW_PRESS)
    Core_ExportMessageBuffer();
  else
    Core_ExportKeyReleased();
  if (glfwGetKey(GLFW_KEY_F11) == GLFW_PRESS) {
    Core_LogMessage("Core_Reset");
    core.resetRequested = true;
    core.quitRequested = true;
  }
  if ((glfwGetKey(GLFW_KEY_LALT) == GLFW_PRESS || glfwGetKey(GLFW_KEY_RALT) == GLFW_PRESS) &&
      glfwGetKey(GLFW_KEY_ENTER) == GLFW_PRESS)
    Core_Initialize_WindowFullscreenSwap();
}

void Core_Render() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  glPushMatrix();
  if (core.screen >= 0 && core.screen < ScreenCount && core.screenFade[core.screen] > 0 &&
      core.screen == Screen_Sandbox)
    Sandbox_Render();
  // An empty overlay pass: leaves the 3D viewport, lighting and depth state
  // restored for the next frame.
  Core_Begin2D();
  Core_End2D();
  glPopMatrix();
  glFlush();
  glfwSwapBuffers();
}

void Core_Shutdown() {
  Core_LogMessage("Core_Shutdown");
  Core_LogMessage("Core_Unload");
  Core_LogMessage("Menu_Shutdown");
  Core_LogMessage("Menu_Unload");
  printf("Sandbox_Shutdown\n");
  glfwTerminate();
}

void Core_ReopenWindow() {
  Core_LogMessage("Core_Unload");
  Core_LogMessage("Menu_Unload");
  Core_LogMessage("Sandbox_Unload");
  glfwTerminate();
  // The new window takes its size, depth and mode from the settings file,
  // which every caller has just saved.
  Core_OpenWindow();
  Core_InitializeGL();
  Core_LogMessage("Core_Initialize_Fonts");
  Font_Create(10, "vera.ttf");
  Core_LogMessage("Menu_LoadTextures");
  Sandbox_LoadTextures();
  Core_ResetFrameTimer();
  core.fps.frames = 0;
  core.fps.windowStart = 0;
  core.fps.framesPerSecond = 0;
}

void Core_ResetFrameTimer() {
  core.frameTimer = FrameTimer();
  core.frameTimer.lastTime = glfwGetTime();
}

void Core_UpdateFrameTimer() {
  FrameTimer& timer = core.frameTimer;
  timer.delta = 0;
  if (timer.lastTime != 0) timer.delta = glfwGetTime() - timer.lastTime;
  timer.total += timer.delta;
  timer.smoothedDelta += (timer.delta - timer.smoothedDelta) * 0.2;
  // A fresh reading: the short span between the two readings is not counted.
  timer.lastTime = glfwGetTime();
}

void Core_UpdateFps() {
  FpsCounter& fps = core.fps;
  fps.frames += 1;
  if (fps.windowStart == 0) fps.windowStart = static_cast<float>(glfwGetTime());
  const float elapsed = static_cast<float>(glfwGetTime()) - fps.windowStart;
  if (elapsed >= fps.interval) {
    // Over the nominal window length, not the measured one; the overshoot is
    // carried into the next window.
    fps.framesPerSecond = static_cast<float>(fps.frames) / fps.interval;
    fps.frames = 0;
    fps.windowStart = static_cast<float>(glfwGetTime()) + (elapsed - fps.interval);
  }
}

void Core_UpdateFades() {
  const float step = 3.0f * static_cast<float>(core.frameTimer.smoothedDelta);
  for (int i = 0; i < ScreenCount; ++i) {
    float& fade = core.screenFade[i];
    if (i == core.screen) {
      if (fade < 1) {
        fade += step;
        if (fade > 1) fade = 1;
      }
    } else if (fade > 0) {
      fade -= step;
      if (fade < 0) fade = 0;
    }
  }
}
