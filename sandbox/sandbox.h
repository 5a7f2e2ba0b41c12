// The test-chamber screen: the scene (the chamber model, the rooms of the
// container file and the ball), the camera that rides on the ball, and the
// debug overlay.
//
// Like the core, the scene keeps its state in one process-wide record,
// sandbox, made empty at program start.
#pragma once

#include <string>
#include <vector>

#include "geometry/model.h"
#include "geometry/vector.h"
#include "physics/physics.h"

struct Camera {
  vec3f cameraPosition;      // where the view is; each render puts it on the ball
  vec3f cameraRestPosition;  // what cameraPosition is smoothed towards
  vec3f cameraAngles;        // current (pitch, yaw, roll) in degrees, no limits
  vec3f targetAngles;        // (pitch, yaw, roll) the mouse moves; the angles follow
};

struct MousePosition {
  int x = 0, y = 0;  // window pixels
};

struct SandboxState {
  std::vector<std::string> directoryList;  // the working directory, in listing order
  std::vector<Model> modelList;            // the models of this start-up; entry 0 is drawn
  unsigned chamberList = 0;                // display list of the chamber
  std::vector<std::string> hudLines;       // this frame's overlay lines
  // The rooms (owned: the container loader deletes the ones it replaces)
  // and the bodies; entry 0 of objects is the ball, owned by the scene.
  Veruruve::Physics::PhysicsWorld world;
  float nextStepTime = 0;  // frameTimer.total after which the next step runs
  Camera camera;
  mat4f cameraBasis;  // orientation of the camera frame; its translation stays 0
  MousePosition lastMouse;
};

extern SandboxState sandbox;

// Scene (the hooks the core calls).
// Once per start-up cycle, after the window, GL state and font exist. A
// reset starts from an empty object list, so the new ball is entry 0.
void Sandbox_Initialize();
// Rebuilds everything the scene keeps in the OpenGL context; also run after
// every rebuild of the window.
void Sandbox_LoadTextures();
// Per frame, after the camera update: the "Containers: " line and, when due,
// one physics step.
void Sandbox_Update();
// Per frame while the screen shows: the chamber, the bodies' lines, the overlay.
void Sandbox_Render();
// A new ball as the scene makes it: a CollisionSphere of mass 10 and radius
// 0.02 at position, not rotated, gravity (0, -1, 0). The caller owns it.
Veruruve::Physics::CollisionSphere* Sandbox_MakeBall(const vec3f& position);
// Deletes the bodies and rooms, once the last cycle has ended.
void Sandbox_Destroy();
// The ball, entry 0 of the world's objects; null before the first start-up.
Veruruve::Physics::Volume* Sandbox_Ball();
// Compiles the triangles of model into the current display list (or draws
// them): colours from the materials' diffuse colours, light-emitting
// materials left out, triangles with out-of-range vertices skipped.
void Sandbox_DrawModel(const Model& model);
// The "Containers: " line of a body: each index followed by one space.
std::string Sandbox_ContainersLine(const Veruruve::Physics::PhysicsObject& body);

// Camera.
// Per frame, before the Sandbox update: pushes, gravity alignment, mouse
// look, smoothing and the camera's overlay lines.
void Camera_Update();
// Applies the view to the current model-view matrix and puts the camera on
// the ball.
void Camera_ApplyView();
// The level forward and left directions of the view: the basis turned by
// yawDegrees about its y axis, applied to (0, 0, -1) and (-1, 0, 0).
void Camera_PushDirections(const mat4f& basis, float yawDegrees, vec3f* forward, vec3f* left);
// Turns the basis a fraction 5 x dt of the way towards the frame whose up is
// -gravity, keeping its z axis as close as it can; dt in seconds.
void Camera_AlignToGravity(mat4f& basis, const vec3f& gravity, float dt);

// Debug overlay.
struct OverlayPanel {
  float halfWidth = 0, halfHeight = 0;  // pixels
  float centreX = 0, centreY = 0;       // overlay pixels, y downwards
};
// The lines of the panel: the fixed ones, then this frame's hudLines.
std::vector<std::string> Overlay_Lines();
// Size and place of the panel for these lines in the current window.
OverlayPanel Overlay_Panel(const std::vector<std::string>& lines);
// Draws the panel in the overlay projection and empties hudLines.
void Overlay_Draw();
