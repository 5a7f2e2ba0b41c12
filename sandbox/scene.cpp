// The scene's hooks into the application frame.
#include "core/core.h"
#include "sandbox/sandbox.h"

void Sandbox_Initialize() {
  Core_LogMessage("Sandbox_Initialize");
  Sandbox_LoadTextures();
}

void Sandbox_LoadTextures() { Core_LogMessage("Sandbox_LoadTextures"); }

void Sandbox_Update() {}

void Sandbox_Render() {}

void Camera_Update() {}
