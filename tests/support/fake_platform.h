// A scripted window library for tests: the clock, the keys, the pointer and
// the window's state are plain fields that a test sets, and every call the
// program makes is recorded.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

struct FakeOpenCall {
  int width, height, red, green, blue, alpha, depth, stencil, mode;
};

struct FakePlatform {
  double time = 0;            // what glfwGetTime returns
  double timePerRead = 0;     // added to time after every glfwGetTime
  // Keys held now: special keys by their 2.x codes, printable keys by their
  // position on a US keyboard ('Q' is the key left of W).
  std::set<int> keysDown;
  // The keyboard layout: the upper-case character the key at a US position
  // types, for the keys that type something else than on a US keyboard.
  // Empty: a US keyboard.
  std::map<int, int> layout;
  int mouseX = 0, mouseY = 0;
  int mouseWheel = 0;         // what glfwGetMouseWheel returns
  bool active = true;         // GLFW_ACTIVE while a window is open
  bool openFails = false;     // glfwOpenWindow opens nothing
  // Attempts of the library that fail before one succeeds (a passing display
  // failure); a large count never succeeds. errorText is what the library
  // reports as its last error meanwhile.
  int initFailures = 0;
  int openFailures = 0;
  std::string errorText;
  int initAttempts = 0;
  int openAttempts = 0;
  bool initialised = false;
  bool windowOpen = false;
  bool userClosed = false;    // the user closed the window
  int windowWidth = 0, windowHeight = 0;
  std::string title;
  GLFWwindowsizefun sizeCallback = nullptr;
  std::vector<FakeOpenCall> opens;
  int swaps = 0;
  int terminates = 0;
  // Called at the end of every glfwSwapBuffers, with the swap count, so a
  // test can press and release keys frame by frame.
  std::function<void(int swap)> onSwap;
};

extern FakePlatform fake;

// Back to a fresh FakePlatform.
void Fake_Reset();
// Resizes the open window and reports it through the size callback, as the
// next glfwSwapBuffers of a real window would.
void Fake_Resize(int width, int height);
