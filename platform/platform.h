// The platform layer: the window library's GLFW 2.x interface as the rest of
// the program uses it, plus the directory listing and the millisecond sleep.
//
// GLFW 2.x is no longer packaged anywhere, so these are our own functions with
// the 2.x names, constants and behaviour, implemented over GLFW 3 in
// glfw2.cpp. They have C++ linkage, so they never collide with GLFW 3's C
// symbols. Tests link a scripted replacement of glfw2.cpp instead (keys, clock,
// pointer, window state) and drive the program's logic without a window.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Window modes of glfwOpenWindow.
#define GLFW_WINDOW 0x00010001
#define GLFW_FULLSCREEN 0x00010002

// Parameters of glfwGetWindowParam.
#define GLFW_OPENED 0x00020001
#define GLFW_ACTIVE 0x00020002

// Key states.
#define GLFW_RELEASE 0
#define GLFW_PRESS 1

// Key codes. A printable key is the code of its upper-case character ('A',
// '7', ' '); the special keys start above 255.
#define GLFW_KEY_UNKNOWN -1
#define GLFW_KEY_SPACE 32
#define GLFW_KEY_SPECIAL 256
#define GLFW_KEY_ESC (GLFW_KEY_SPECIAL + 1)
#define GLFW_KEY_F1 (GLFW_KEY_SPECIAL + 2)
#define GLFW_KEY_F2 (GLFW_KEY_SPECIAL + 3)
#define GLFW_KEY_F3 (GLFW_KEY_SPECIAL + 4)
#define GLFW_KEY_F4 (GLFW_KEY_SPECIAL + 5)
#define GLFW_KEY_F5 (GLFW_KEY_SPECIAL + 6)
#define GLFW_KEY_F6 (GLFW_KEY_SPECIAL + 7)
#define GLFW_KEY_F7 (GLFW_KEY_SPECIAL + 8)
#define GLFW_KEY_F8 (GLFW_KEY_SPECIAL + 9)
#define GLFW_KEY_F9 (GLFW_KEY_SPECIAL + 10)
#define GLFW_KEY_F11 (GLFW_KEY_SPECIAL + 12)
#define GLFW_KEY_F12 (GLFW_KEY_SPECIAL + 13)
#define GLFW_KEY_UP (GLFW_KEY_SPECIAL + 27)
#define GLFW_KEY_DOWN (GLFW_KEY_SPECIAL + 28)
#define GLFW_KEY_LEFT (GLFW_KEY_SPECIAL + 29)
#define GLFW_KEY_RIGHT (GLFW_KEY_SPECIAL + 30)
#define GLFW_KEY_LSHIFT (GLFW_KEY_SPECIAL + 31)
#define GLFW_KEY_RSHIFT (GLFW_KEY_SPECIAL + 32)
#define GLFW_KEY_LCTRL (GLFW_KEY_SPECIAL + 33)
#define GLFW_KEY_RCTRL (GLFW_KEY_SPECIAL + 34)
#define GLFW_KEY_LALT (GLFW_KEY_SPECIAL + 35)
#define GLFW_KEY_RALT (GLFW_KEY_SPECIAL + 36)
#define GLFW_KEY_TAB (GLFW_KEY_SPECIAL + 37)
#define GLFW_KEY_ENTER (GLFW_KEY_SPECIAL + 38)
#define GLFW_KEY_BACKSPACE (GLFW_KEY_SPECIAL + 39)
#define GLFW_KEY_PAGEUP (GLFW_KEY_SPECIAL + 42)
#define GLFW_KEY_PAGEDOWN (GLFW_KEY_SPECIAL + 43)
#define GLFW_KEY_LAST GLFW_KEY_PAGEDOWN

// Largest window side the layer agrees to open, in pixels. Larger (or
// negative) sizes, as a damaged settings file may hold, open no window.
#define GLFW_MAX_WINDOW_SIDE 16384

typedef void (*GLFWwindowsizefun)(int width, int height);

// Initialises the library and starts its clock at 0, trying again for about a
// second when the display cannot be reached (see Platform_TryDisplayCall).
// Returns 1 on success.
int glfwInit();
// Closes the window, if any, and shuts the library down.
void glfwTerminate();
// Opens the one window with a current OpenGL context. Colour bits of 0 take
// the default; a depth buffer of at least 24 bits is always asked for. A width
// or height of 0 is derived from the other side (4:3), 640 x 480 when both
// are 0. Any mode other than GLFW_WINDOW or GLFW_FULLSCREEN, and a side out of
// range, opens nothing, and so does a library that failed to initialise. A
// window the library fails to create is tried again for about a second.
// Returns 1 when the window is open, 0 otherwise.
int glfwOpenWindow(int width, int height, int redbits, int greenbits, int bluebits,
                   int alphabits, int depthbits, int stencilbits, int mode);
// GLFW_OPENED: 1 while the window is open and the user has not closed it.
// GLFW_ACTIVE: 1 while the window has the input focus and is not iconified.
int glfwGetWindowParam(int param);
void glfwSetWindowTitle(const char* title);
// Installs the size callback and, when a window is open, calls it at once
// with the current size; later it is called on every change of size, from
// inside glfwSwapBuffers.
void glfwSetWindowSizeCallback(GLFWwindowsizefun callback);
// Shows the back buffer, then processes the window's pending events.
void glfwSwapBuffers();
// Seconds since glfwInit.
double glfwGetTime();
// GLFW_PRESS or GLFW_RELEASE: the key's state now.
int glfwGetKey(int key);
// The pointer position in whole window pixels.
void glfwGetMousePos(int* x, int* y);
void glfwSetMousePos(int x, int y);
// The mouse wheel's position: the notches turned since glfwInit, away from
// the user positive.
int glfwGetMouseWheel();

// Letter keys follow the keyboard layout: a printable key code means the key
// that types that character now ('Q' is the key that types q, wherever it
// sits). The window library reports key states by position on a US keyboard,
// so the layer asks typedAt(position) for the upper-case character the key at
// each US position types in the current layout (0 when it types none) and
// returns the position that types character: its own US position when that
// key types it, else the first other one that does, else its own US position
// (a character no key types plainly, such as '[' on a French keyboard, stays
// on its US key). Codes that are not printable characters are returned as
// they are.
int Platform_KeyPosition(int character, int (*typedAt)(int position));

// Every entry name of a directory, "." and ".." included, in the order the
// system lists them. Empty when the directory cannot be read.
std::vector<std::string> Platform_ListDirectory(const char* path);
// Sleeps for the given number of milliseconds.
void Platform_Sleep(int milliseconds);

// A call that reaches the display server can fail for a moment (the server
// refusing a connection while other clients come and go), so glfwInit and
// glfwOpenWindow try it this many times, this far apart: about a second.
constexpr int Platform_DisplayAttempts = 8;
constexpr int Platform_DisplayRetryMilliseconds = 125;
// Runs attempt until it returns true, at most Platform_DisplayAttempts times
// with Platform_DisplayRetryMilliseconds of sleep between tries. When every
// try fails, prints one line on stderr, "chamber: WHAT: ERROR", with the
// window library's own text of its last error, and returns false.
bool Platform_TryDisplayCall(const char* what, const std::function<bool()>& attempt,
                             const std::function<std::string()>& lastError);
// How many such lines Platform_TryDisplayCall has printed since the program
// started, so that a caller can tell whether a failure was already explained.
int Platform_DisplayFailuresReported();
