/* Preloaded into the program by measure.py: times every buffer swap and
 * every sleep, so that the cost of a frame can be told apart from its pause.
 *
 * The buffer swap is caught at the window library's glfwSwapBuffers, which
 * the program calls through the dynamic linker (the library itself finds the
 * GLX call with dlsym, out of a preload's reach).
 *
 * For each swap it writes one line to the file named by
 * CHAMBER_FRAME_LOG: "swap <seconds> <seconds slept since the last swap>",
 * the time taken with CLOCK_REALTIME when the swap returns. With
 * CHAMBER_EXIT_AFTER_SWAPS=N the process ends right after its N-th swap. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

static FILE* logFile;
static double slept;
static long swaps;
static long exitAfter = -1;

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static void start(void) {
  if (logFile || !getenv("CHAMBER_FRAME_LOG")) return;
  logFile = fopen(getenv("CHAMBER_FRAME_LOG"), "w");
  if (getenv("CHAMBER_EXIT_AFTER_SWAPS")) exitAfter = atol(getenv("CHAMBER_EXIT_AFTER_SWAPS"));
}

int nanosleep(const struct timespec* request, struct timespec* remaining) {
  static int (*real)(const struct timespec*, struct timespec*);
  if (!real) real = (int (*)(const struct timespec*, struct timespec*))dlsym(RTLD_NEXT, "nanosleep");
  const double before = now();
  const int result = real(request, remaining);
  slept += now() - before;
  return result;
}

void glfwSwapBuffers(void* window) {
  static void (*real)(void*);
  if (!real) real = (void (*)(void*))dlsym(RTLD_NEXT, "glfwSwapBuffers");
  start();
  real(window);
  if (logFile) {
    fprintf(logFile, "swap %.6f %.6f\n", now(), slept);
    fflush(logFile);
  }
  slept = 0;
  if (++swaps == exitAfter) _exit(0);
}
