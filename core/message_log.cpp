// The message log: every major routine records a fixed label on entry.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/core.h"

void Core_LogMessage(std::string label) {
  core.messageLog.push_back(label);
  printf("%s\n", label.c_str());
}

void Core_ExportMessageBuffer() {
  printf("Exporting Message Buffer\n");
  std::string bytes;
  for (const std::string& label : core.messageLog) {
    bytes += label;
    bytes += '\n';
  }
  if (Core_ReplaceFile("messages.txt", bytes)) return;
  // Beside the console's labels, on stderr: the export itself says nothing.
  if (!core.exportFailureReported)
    fprintf(stderr, "chamber: cannot write messages.txt: %s\n", strerror(errno));
  core.exportFailureReported = true;
}

void Core_ExportKeyReleased() { core.exportFailureReported = false; }
