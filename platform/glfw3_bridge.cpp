// The only file that includes GLFW 3's header.
#include "platform/glfw3_bridge.h"

#include <GLFW/glfw3.h>

namespace glfw3bridge {

void (*onResize)(int width, int height) = nullptr;

namespace {

GLFWwindow* window = nullptr;
std::string lastErrorText;

// GLFW's errors are kept, not printed: a failure reaches the caller through
// the return value, and the caller prints this text only when it gives up.
void recordError(int, const char* description) { lastErrorText = description ? description : ""; }
// Latest size reported by GLFW during event processing, delivered after it.
bool resizePending = false;
int pendingWidth = 0;
int pendingHeight = 0;

// Vertical scrolling summed over the whole run, as 2.x's wheel position.
double wheelPosition = 0;

void scrollCallback(GLFWwindow*, double, double yOffset) { wheelPosition += yOffset; }

void sizeCallback(GLFWwindow*, int width, int height) {
  resizePending = true;
  pendingWidth = width;
  pendingHeight = height;
}

int glfw3Key(Key key) {
  switch (key) {
    case Key::Escape: return GLFW_KEY_ESCAPE;
    case Key::Enter: return GLFW_KEY_ENTER;
    case Key::Tab: return GLFW_KEY_TAB;
    case Key::Backspace: return GLFW_KEY_BACKSPACE;
    case Key::Up: return GLFW_KEY_UP;
    case Key::Down: return GLFW_KEY_DOWN;
    case Key::Left: return GLFW_KEY_LEFT;
    case Key::Right: return GLFW_KEY_RIGHT;
    case Key::LeftShift: return GLFW_KEY_LEFT_SHIFT;
    case Key::RightShift: return GLFW_KEY_RIGHT_SHIFT;
    case Key::LeftControl: return GLFW_KEY_LEFT_CONTROL;
    case Key::RightControl: return GLFW_KEY_RIGHT_CONTROL;
    case Key::LeftAlt: return GLFW_KEY_LEFT_ALT;
    case Key::RightAlt: return GLFW_KEY_RIGHT_ALT;
    case Key::F1: return GLFW_KEY_F1;
    case Key::F2: return GLFW_KEY_F2;
    case Key::F3: return GLFW_KEY_F3;
    case Key::F4: return GLFW_KEY_F4;
    case Key::F5: return GLFW_KEY_F5;
    case Key::F6: return GLFW_KEY_F6;
    case Key::F7: return GLFW_KEY_F7;
    case Key::F8: return GLFW_KEY_F8;
    case Key::F9: return GLFW_KEY_F9;
    case Key::F10: return GLFW_KEY_F10;
    case Key::F11: return GLFW_KEY_F11;
    case Key::F12: return GLFW_KEY_F12;
    case Key::PageUp: return GLFW_KEY_PAGE_UP;
    case Key::PageDown: return GLFW_KEY_PAGE_DOWN;
  }
  return GLFW_KEY_UNKNOWN;
}

}  // namespace

bool init() {
  lastErrorText.clear();
  glfwSetErrorCallback(recordError);
  return glfwInit() == GLFW_TRUE;
}

std::string lastError() { return lastErrorText; }

void terminate() {
  window = nullptr;
  resizePending = false;
  glfwTerminate();
}

bool openWindow(int width, int height, int red, int green, int blue, int alpha, int depth,
                int stencil, bool fullscreen, const char* title) {
  closeWindow();
  glfwDefaultWindowHints();
  glfwWindowHint(GLFW_RED_BITS, red);
  glfwWindowHint(GLFW_GREEN_BITS, green);
  glfwWindowHint(GLFW_BLUE_BITS, blue);
  glfwWindowHint(GLFW_ALPHA_BITS, alpha);
  glfwWindowHint(GLFW_DEPTH_BITS, depth);
  glfwWindowHint(GLFW_STENCIL_BITS, stencil);
  GLFWmonitor* monitor = fullscreen ? glfwGetPrimaryMonitor() : nullptr;
  if (fullscreen && !monitor) {
    lastErrorText = "no monitor for a full-screen window";
    return false;
  }
  window = glfwCreateWindow(width, height, title, monitor, nullptr);
  if (!window) return false;
  glfwMakeContextCurrent(window);
  glfwSetWindowSizeCallback(window, sizeCallback);
  glfwSetScrollCallback(window, scrollCallback);
  resizePending = false;
  return true;
}

void closeWindow() {
  if (window) glfwDestroyWindow(window);
  window = nullptr;
  resizePending = false;
}

bool windowOpen() { return window != nullptr; }

bool windowShouldClose() { return window && glfwWindowShouldClose(window); }

bool windowActive() {
  return window && glfwGetWindowAttrib(window, GLFW_FOCUSED) &&
         !glfwGetWindowAttrib(window, GLFW_ICONIFIED);
}

void setTitle(const char* title) {
  if (window) glfwSetWindowTitle(window, title);
}

void windowSize(int* width, int* height) {
  *width = 0;
  *height = 0;
  if (window) glfwGetWindowSize(window, width, height);
}

void swapBuffers() {
  if (window) glfwSwapBuffers(window);
}

void pollEvents() {
  if (!window) return;
  glfwPollEvents();
  if (resizePending && onResize) {
    resizePending = false;
    onResize(pendingWidth, pendingHeight);
  }
}

double time() { return glfwGetTime(); }

bool specialKeyDown(Key key) {
  return window && glfwGetKey(window, glfw3Key(key)) == GLFW_PRESS;
}

bool printableKeyDown(int position) {
  // GLFW 3 names the printable keys of a US layout by their ASCII codes, as
  // 2.x did, but only from the space (32) to the grave accent (96).
  if (!window || position < GLFW_KEY_SPACE || position > GLFW_KEY_GRAVE_ACCENT) return false;
  return glfwGetKey(window, position) == GLFW_PRESS;
}

int typedCharacter(int position) {
  // Only GLFW's own key names may be asked, and only for keys this keyboard
  // has.
  const bool isKey = position == GLFW_KEY_SPACE || position == GLFW_KEY_APOSTROPHE ||
                     (position >= GLFW_KEY_COMMA && position <= GLFW_KEY_9) ||
                     position == GLFW_KEY_SEMICOLON || position == GLFW_KEY_EQUAL ||
                     (position >= GLFW_KEY_A && position <= GLFW_KEY_RIGHT_BRACKET) ||
                     position == GLFW_KEY_GRAVE_ACCENT;
  if (!window || !isKey || glfwGetKeyScancode(position) == -1) return 0;
  // The layout's name of the key: the character it types, in UTF-8. The
  // bindings are ASCII, so longer names type nothing they could want.
  const char* name = glfwGetKeyName(position, 0);
  if (!name || name[0] == 0 || name[1] != 0) return 0;
  const unsigned char c = static_cast<unsigned char>(name[0]);
  if (c >= 0x80) return 0;
  return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
}

void cursorPos(double* x, double* y) {
  *x = 0;
  *y = 0;
  if (window) glfwGetCursorPos(window, x, y);
}

void setCursorPos(double x, double y) {
  if (window) glfwSetCursorPos(window, x, y);
}

double wheel() { return wheelPosition; }

}  // namespace glfw3bridge
