// The test-chamber screen: the scene, its camera and the debug overlay.
#pragma once

// Once per start-up cycle, after the window, GL state and font exist.
void Sandbox_Initialize();
// Rebuilds everything the scene keeps in the OpenGL context; also run after
// every rebuild of the window.
void Sandbox_LoadTextures();
// Per frame, after the camera update: the overlay's lines and the physics step.
void Sandbox_Update();
// Per frame while the screen shows: the chamber, then the debug overlay.
void Sandbox_Render();
// Per frame, before the Sandbox update: pushes, gravity alignment, mouse look.
void Camera_Update();
