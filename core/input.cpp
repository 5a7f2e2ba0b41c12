// The key-adjustable debug values and the per-frame pointer position.
#include "core/core.h"
#include "platform/platform.h"

void Core_InitializeDebugValues() {
  const int keys[3][2] = {{'F', 'S'}, {'E', 'D'}, {'R', 'W'}};
  for (int i = 0; i < 3; ++i) {
    DebugValue& debug = core.activeDebug[i];
    debug.value = 0;
    debug.increaseKey = keys[i][0];
    debug.decreaseKey = keys[i][1];
    debug.step = 1.0f;
    debug.rate = 0;
  }
}

void Core_UpdateDebugValue(DebugValue& debug) {
  float d = debug.step * 0.001f;
  const float rateAtEntry = debug.rate;
  // Only the left-hand keys count; with both down, d is back near its base.
  if (glfwGetKey(GLFW_KEY_LCTRL) == GLFW_PRESS) d *= 10.0f;
  if (glfwGetKey(GLFW_KEY_LSHIFT) == GLFW_PRESS) d *= 0.1f;
  if (glfwGetKey(debug.increaseKey) == GLFW_PRESS) debug.rate += d;
  if (glfwGetKey(debug.decreaseKey) == GLFW_PRESS) debug.rate -= d;
  // Neither key changed the rate (or both cancelled exactly): coast.
  if (debug.rate == rateAtEntry) debug.rate *= 0.5f;
  debug.value += debug.rate;
}

void Core_UpdateMouse() { glfwGetMousePos(&core.mouseX, &core.mouseY); }
