#include "tests/support/fake_platform.h"

FakePlatform fake;

void Fake_Reset() { fake = FakePlatform(); }

namespace {

// One attempt of the library: fails while failures remain.
bool attempt(int& failures, int& attempts) {
  attempts += 1;
  if (failures > 0) {
    failures -= 1;
    return false;
  }
  return true;
}

std::string lastError() { return fake.errorText; }

}  // namespace

int glfwInit() {
  fake.initialised = Platform_TryDisplayCall(
      "cannot initialise the window library",
      [] { return attempt(fake.initFailures, fake.initAttempts); }, lastError);
  return fake.initialised ? 1 : 0;
}

void glfwTerminate() {
  fake.terminates += 1;
  fake.initialised = false;
  fake.windowOpen = false;
  fake.userClosed = false;
  fake.sizeCallback = nullptr;
}

int glfwOpenWindow(int width, int height, int red, int green, int blue, int alpha, int depth,
                   int stencil, int mode) {
  fake.opens.push_back({width, height, red, green, blue, alpha, depth, stencil, mode});
  if (!fake.initialised || fake.openFails || (mode != GLFW_WINDOW && mode != GLFW_FULLSCREEN))
    return 0;
  if (!Platform_TryDisplayCall(
          "cannot open the window", [] { return attempt(fake.openFailures, fake.openAttempts); },
          lastError))
    return 0;
  fake.windowOpen = true;
  fake.windowWidth = width;
  fake.windowHeight = height;
  return 1;
}

int glfwGetWindowParam(int param) {
  if (param == GLFW_OPENED) return fake.windowOpen && !fake.userClosed ? 1 : 0;
  if (param == GLFW_ACTIVE) return fake.windowOpen && fake.active ? 1 : 0;
  return 0;
}

void glfwSetWindowTitle(const char* title) {
  if (fake.windowOpen) fake.title = title;
}

void glfwSetWindowSizeCallback(GLFWwindowsizefun callback) {
  fake.sizeCallback = callback;
  if (callback && fake.windowOpen) callback(fake.windowWidth, fake.windowHeight);
}

void glfwSwapBuffers() {
  fake.swaps += 1;
  if (fake.onSwap) fake.onSwap(fake.swaps);
}

double glfwGetTime() {
  const double now = fake.time;
  fake.time += fake.timePerRead;
  return now;
}

static int typedAt(int position) {
  const auto remapped = fake.layout.find(position);
  return remapped == fake.layout.end() ? position : remapped->second;
}

int glfwGetKey(int key) {
  // As the real layer does: a printable code means the key that types it.
  if (key >= 0 && key < GLFW_KEY_SPECIAL) key = Platform_KeyPosition(key, typedAt);
  return fake.keysDown.count(key) ? GLFW_PRESS : GLFW_RELEASE;
}

void glfwGetMousePos(int* x, int* y) {
  *x = fake.mouseX;
  *y = fake.mouseY;
}

int glfwGetMouseWheel() { return fake.mouseWheel; }

void glfwSetMousePos(int x, int y) {
  fake.mouseX = x;
  fake.mouseY = y;
}

void Fake_Resize(int width, int height) {
  fake.windowWidth = width;
  fake.windowHeight = height;
  if (fake.sizeCallback) fake.sizeCallback(width, height);
}
