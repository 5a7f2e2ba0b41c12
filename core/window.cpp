// Opening and reopening the window, the fixed OpenGL state, the 3D and 2D
// projections, the size callback and the windowed / full-screen toggle.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>

#include "core/core.h"
#include "platform/platform.h"

const char* const Core_WindowTitle = "Vantrel Test Chamber - By - Kolm";

double Core_AspectRatio() {
  const unsigned width = static_cast<unsigned>(core.width);
  const unsigned height = static_cast<unsigned>(core.height);
  // A minimised window, or a settings file, can give a height of 0.
  if (height == 0) return 1.0;
  return static_cast<double>(width) / static_cast<double>(height);
}

// One line on stderr, so that a settings file no screen can satisfy is easy
// to find; the console's label lines stay as they are.
static void reportWindowFailure() {
  const char* mode = core.windowMode == GLFW_WINDOW       ? "windowed"
                     : core.windowMode == GLFW_FULLSCREEN ? "full-screen"
                                                          : nullptr;
  char modeText[32];
  if (!mode) {
    snprintf(modeText, sizeof modeText, "mode %u", static_cast<unsigned>(core.windowMode));
    mode = modeText;
  }
  fprintf(stderr,
          "chamber: the window asked for (%u x %u, %s, %d-bit colour) did not open; size and "
          "mode come from config.dat, or the defaults when it is missing or invalid\n",
          static_cast<unsigned>(core.width), static_cast<unsigned>(core.height), mode,
          core.bitDepth);
}

void Core_OpenWindow() {
  const int failuresReported = Platform_DisplayFailuresReported();
  glfwInit();
  core.width = 640;
  core.height = 480;
  core.windowMode = GLFW_WINDOW;
  core.bitDepth = 32;
  Core_Initialize_LoadConfig();
  // A window that failed to open is found closed by the first frame's
  // update, which then quits; the user is only told what was asked for.
  int opened = 0;
  if (core.bitDepth == 32)
    opened = glfwOpenWindow(core.width, core.height, 8, 8, 8, 8, 0, 0, core.windowMode);
  if (core.bitDepth == 16)
    opened = glfwOpenWindow(core.width, core.height, 5, 6, 5, 0, 0, 0, core.windowMode);
  // When the window library gave a reason, the platform layer has printed
  // it; otherwise the request itself was refused (a mode or size no window
  // can have), and the settings file is the place to look.
  if (!opened && Platform_DisplayFailuresReported() == failuresReported) reportWindowFailure();
  glfwSetWindowSizeCallback(Core_Initialize_WindowResizeCallback);
  glfwSetWindowTitle(Core_WindowTitle);
}

static void setPerspective() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45, Core_AspectRatio(), 0.01, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void Core_InitializeGL() {
  glViewport(0, 0, core.width, core.height);
  setPerspective();
  glShadeModel(GL_SMOOTH);
  glClearDepth(1.0);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_COLOR_MATERIAL);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glAlphaFunc(GL_GREATER, 0.1f);
  const GLfloat ambient[] = {0.028f, 0.029f, 0.028f, 0.0f};
  const GLfloat diffuse[] = {1.0f, 1.0f, 1.0f, 0.0f};
  const GLfloat specular[] = {0.9f, 0.7f, 0.5f, 0.0f};
  const GLfloat position[] = {3.0f, 3.0f, 3.0f, 0.0f};  // directional
  glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
  glLightfv(GL_LIGHT0, GL_POSITION, position);
  glMaterialf(GL_FRONT, GL_SHININESS, 75);
  glEnable(GL_LIGHT0);
  glEnable(GL_LIGHTING);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  glCullFace(GL_BACK);
  glEnable(GL_CULL_FACE);
  glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
  glHint(GL_FOG_HINT, GL_FASTEST);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_BLEND);
  glPolygonMode(GL_FRONT, GL_FILL);
  glEnable(GL_LINE_SMOOTH);
}

void Core_Begin2D() {
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glDepthMask(GL_FALSE);
  glLoadIdentity();
  // Pixels with the origin at the top-left corner, y growing downwards; the
  // viewport is one pixel narrower and lower than the window.
  const GLdouble right = static_cast<GLdouble>(static_cast<unsigned>(core.width)) - 1;
  const GLdouble bottom = static_cast<GLdouble>(static_cast<unsigned>(core.height)) - 1;
  glViewport(0, 0, core.width - 1, core.height - 1);
  gluOrtho2D(0, right, bottom, 0);
}

void Core_End2D() {
  glViewport(0, 0, core.width, core.height);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  glLoadIdentity();
}

void Core_Initialize_WindowResizeCallback(int width, int height) {
  Core_LogMessage("Core_Initialize_WindowResizeCallback");
  core.width = width;
  core.height = height;
  // The settings file always holds the size the window really has.
  Core_Initialize_SaveConfig();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glViewport(0, 0, core.width, core.height);
  gluPerspective(45, Core_AspectRatio(), 0.01, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  // Present one cleared frame.
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  glPushMatrix();
  glPopMatrix();
  glFlush();
  glfwSwapBuffers();
}

void Core_Initialize_WindowFullscreenSwap() {
  Core_LogMessage("Core_Initialize_WindowFullscreenSwap");
  core.windowMode = core.windowMode == GLFW_WINDOW ? GLFW_FULLSCREEN : GLFW_WINDOW;
  Core_Initialize_SaveConfig();
  Core_ReopenWindow();
}
