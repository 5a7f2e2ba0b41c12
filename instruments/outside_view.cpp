// The view from outside (F7): the eye leaves the ball and orbits it at a
// distance, so the ball itself can be watched. The mouse still turns the
// view, which now turns the eye around the ball; up still follows the
// ball's gravity and the arrow keys still push along the view's level
// directions, because the view's angles and basis are the same ones.
#include <algorithm>
#include <cmath>

#include <GL/gl.h>

#include "core/core.h"
#include "instruments/instruments.h"
#include "platform/platform.h"

void Instruments_UpdateOutsideView(bool togglePressed) {
  if (togglePressed) instruments.outsideView = !instruments.outsideView;
  // The wheel's position counts from the start of the run: only its changes
  // since the last frame move the eye.
  const int wheel = glfwGetMouseWheel();
  const int notches = instruments.wheelKnown ? wheel - instruments.lastWheel : 0;
  instruments.lastWheel = wheel;
  instruments.wheelKnown = true;
  if (!instruments.outsideView) return;

  float& distance = instruments.outsideDistance;
  const float dt = static_cast<float>(std::min(core.frameTimer.delta, 0.25));
  if (glfwGetKey(GLFW_KEY_PAGEUP) == GLFW_PRESS) distance *= std::exp(-kOutsideZoomRate * dt);
  if (glfwGetKey(GLFW_KEY_PAGEDOWN) == GLFW_PRESS) distance *= std::exp(kOutsideZoomRate * dt);
  // A notch away from the user moves nearer.
  distance *= std::pow(kOutsideWheelStep, static_cast<float>(-notches));
  distance = std::clamp(distance, kOutsideMinDistance, kOutsideMaxDistance);
}

bool Instruments_OutsideView() { return instruments.outsideView; }

void Instruments_ApplyOutsideView() {
  // Before the view's turns: the eye steps back along its own line of sight.
  if (instruments.outsideView) glTranslatef(0, 0, -instruments.outsideDistance);
}
