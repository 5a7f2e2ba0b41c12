// The message log: every major routine records a fixed label on entry.
#include <cstdio>

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
  Core_ReplaceFile("messages.txt", bytes);
}
