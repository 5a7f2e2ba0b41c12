#include "core/core.h"

int main() { return Core_Run(); }
