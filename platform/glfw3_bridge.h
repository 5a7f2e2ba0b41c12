// The narrow bridge to GLFW 3, so that glfw2.cpp never sees GLFW 3's header
// (whose C functions share names with the 2.x ones, and whose key macros share
// names with the 2.x key codes but not their values).
#pragma once

#include <string>

namespace glfw3bridge {

// Special keys the 2.x layer knows, by meaning rather than by number.
enum class Key {
  Escape, Enter, Tab, Backspace, Up, Down, Left, Right,
  LeftShift, RightShift, LeftControl, RightControl, LeftAlt, RightAlt,
  F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12, PageUp, PageDown,
};

// Initialises GLFW with an error callback that records its errors.
bool init();
// The description of the last error GLFW reported, "" when none since init.
std::string lastError();
void terminate();
// Creates the window and makes its context current; fullscreen takes the
// primary monitor. Returns false when no window could be made.
bool openWindow(int width, int height, int red, int green, int blue, int alpha, int depth,
                int stencil, bool fullscreen, const char* title);
void closeWindow();
bool windowOpen();
bool windowShouldClose();
bool windowActive();
void setTitle(const char* title);
void windowSize(int* width, int* height);
void swapBuffers();
// Processes pending events. Size changes are reported through onResize
// afterwards, never from inside GLFW's own callbacks.
void pollEvents();
// Called with the new size after pollEvents saw the window change size.
extern void (*onResize)(int width, int height);
double time();
bool specialKeyDown(Key key);
// A printable key, by its position on a US keyboard (the upper-case
// character it types there).
bool printableKeyDown(int position);
// The upper-case character the key at a US position types in the current
// layout; 0 when it types none or has no such key.
int typedCharacter(int position);
void cursorPos(double* x, double* y);
void setCursorPos(double x, double y);
// The vertical scrolling reported since init, in wheel notches.
double wheel();

}  // namespace glfw3bridge
