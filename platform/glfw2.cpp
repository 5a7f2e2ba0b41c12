// GLFW 2.x behaviour over GLFW 3 (see platform.h).
#include "platform/platform.h"

#include <cmath>

#include "platform/glfw3_bridge.h"

namespace {

using glfw3bridge::Key;

GLFWwindowsizefun sizeCallback = nullptr;
// True between a successful glfwInit and the next glfwTerminate.
bool initialised = false;
// True while the size callback runs: a glfwSwapBuffers made from inside it
// swaps without processing events, so the callback never re-enters itself.
bool inSizeCallback = false;

void deliverSize(int width, int height) {
  if (!sizeCallback || inSizeCallback) return;
  inSizeCallback = true;
  sizeCallback(width, height);
  inSizeCallback = false;
}

bool specialKey(int key, Key* out) {
  switch (key) {
    case GLFW_KEY_ESC: *out = Key::Escape; return true;
    case GLFW_KEY_ENTER: *out = Key::Enter; return true;
    case GLFW_KEY_TAB: *out = Key::Tab; return true;
    case GLFW_KEY_BACKSPACE: *out = Key::Backspace; return true;
    case GLFW_KEY_UP: *out = Key::Up; return true;
    case GLFW_KEY_DOWN: *out = Key::Down; return true;
    case GLFW_KEY_LEFT: *out = Key::Left; return true;
    case GLFW_KEY_RIGHT: *out = Key::Right; return true;
    case GLFW_KEY_LSHIFT: *out = Key::LeftShift; return true;
    case GLFW_KEY_RSHIFT: *out = Key::RightShift; return true;
    case GLFW_KEY_LCTRL: *out = Key::LeftControl; return true;
    case GLFW_KEY_RCTRL: *out = Key::RightControl; return true;
    case GLFW_KEY_LALT: *out = Key::LeftAlt; return true;
    case GLFW_KEY_RALT: *out = Key::RightAlt; return true;
    case GLFW_KEY_PAGEUP: *out = Key::PageUp; return true;
    case GLFW_KEY_PAGEDOWN: *out = Key::PageDown; return true;
    default: break;
  }
  if (key >= GLFW_KEY_F1 && key <= GLFW_KEY_F12) {
    *out = static_cast<Key>(static_cast<int>(Key::F1) + (key - GLFW_KEY_F1));
    return true;
  }
  return false;
}

}  // namespace

int glfwInit() {
  glfw3bridge::onResize = deliverSize;
  initialised = Platform_TryDisplayCall("cannot initialise the window library", glfw3bridge::init,
                                        glfw3bridge::lastError);
  return initialised ? 1 : 0;
}

void glfwTerminate() {
  sizeCallback = nullptr;
  initialised = false;
  glfw3bridge::terminate();
}

int glfwOpenWindow(int width, int height, int redbits, int greenbits, int bluebits,
                   int alphabits, int depthbits, int stencilbits, int mode) {
  // glfwInit has already said why nothing can open.
  if (!initialised) return 0;
  if (mode != GLFW_WINDOW && mode != GLFW_FULLSCREEN) return 0;
  // 2.x derived a missing side from the other one at 4:3.
  if (width == 0 && height == 0) {
    width = 640;
    height = 480;
  } else if (width == 0) {
    width = height * 4 / 3;
  } else if (height == 0) {
    height = width * 3 / 4;
  }
  if (width <= 0 || height <= 0 || width > GLFW_MAX_WINDOW_SIDE || height > GLFW_MAX_WINDOW_SIDE)
    return 0;
  // 2.x took 0 bits as "the default"; 3.x takes it literally.
  const int red = redbits > 0 ? redbits : 8;
  const int green = greenbits > 0 ? greenbits : 8;
  const int blue = bluebits > 0 ? bluebits : 8;
  // The scene depth-tests, so a depth buffer is always asked for.
  const int depth = depthbits > 24 ? depthbits : 24;
  const int stencil = stencilbits > 0 ? stencilbits : 0;
  const int alpha = alphabits > 0 ? alphabits : 0;
  const bool fullscreen = mode == GLFW_FULLSCREEN;
  const bool opened = Platform_TryDisplayCall(
      "cannot open the window",
      [&] {
        return glfw3bridge::openWindow(width, height, red, green, blue, alpha, depth, stencil,
                                       fullscreen, "GLFW Window");
      },
      glfw3bridge::lastError);
  return opened ? 1 : 0;
}

int glfwGetWindowParam(int param) {
  switch (param) {
    case GLFW_OPENED:
      return glfw3bridge::windowOpen() && !glfw3bridge::windowShouldClose() ? 1 : 0;
    case GLFW_ACTIVE:
      return glfw3bridge::windowActive() ? 1 : 0;
    default:
      return 0;
  }
}

void glfwSetWindowTitle(const char* title) { glfw3bridge::setTitle(title); }

void glfwSetWindowSizeCallback(GLFWwindowsizefun callback) {
  sizeCallback = callback;
  if (!callback || !glfw3bridge::windowOpen()) return;
  int width, height;
  glfw3bridge::windowSize(&width, &height);
  deliverSize(width, height);
}

void glfwSwapBuffers() {
  glfw3bridge::swapBuffers();
  if (!inSizeCallback) glfw3bridge::pollEvents();
}

double glfwGetTime() { return glfw3bridge::time(); }

int glfwGetKey(int key) {
  Key special;
  if (specialKey(key, &special)) return glfw3bridge::specialKeyDown(special) ? GLFW_PRESS : GLFW_RELEASE;
  if (key >= 0 && key < GLFW_KEY_SPECIAL) {
    const int position = Platform_KeyPosition(key, glfw3bridge::typedCharacter);
    return glfw3bridge::printableKeyDown(position) ? GLFW_PRESS : GLFW_RELEASE;
  }
  return GLFW_RELEASE;
}

void glfwGetMousePos(int* x, int* y) {
  double fx, fy;
  glfw3bridge::cursorPos(&fx, &fy);
  *x = static_cast<int>(std::floor(fx));
  *y = static_cast<int>(std::floor(fy));
}

void glfwSetMousePos(int x, int y) { glfw3bridge::setCursorPos(x, y); }

int glfwGetMouseWheel() { return static_cast<int>(std::floor(glfw3bridge::wheel())); }
