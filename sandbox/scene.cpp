// The scene: the chamber model, the rooms and the ball; its per-frame update
// and its drawing.
#include <GL/gl.h>

#include <cstdio>

#include "core/core.h"
#include "instruments/instruments.h"
#include "live/live.h"
#include "platform/platform.h"
#include "replay/replay.h"
#include "sandbox/containers.h"
#include "sandbox/notices.h"
#include "sandbox/sandbox.h"
#include "tuning/tuning.h"

using Veruruve::Physics::CollisionSphere;
using Veruruve::Physics::PhysicsObject;
using Veruruve::Physics::Volume;

SandboxState sandbox;

Volume* Sandbox_Ball() {
  return sandbox.world.objects.empty() ? nullptr : sandbox.world.objects[0];
}

// Deletes the bodies; the contacts, which point at them, go too.
static void destroyBodies() {
  for (Volume* body : sandbox.world.objects) delete body;
  sandbox.world.objects.clear();
  sandbox.world.contacts.clear();
  sandbox.world.stepContacts.clear();
}

void Sandbox_Initialize() {
  Core_LogMessage("Sandbox_Initialize");
  Live_Start();
  sandbox.camera.cameraPosition = vec3f(-1, 0.15f, 0);
  sandbox.camera.cameraRestPosition = vec3f(-1, 0.15f, 0);
  sandbox.camera.targetAngles = sandbox.camera.cameraAngles;
  // A reset draws the chamber it finds now, which may have been rebuilt
  // since: the models of the cycles before go, and this cycle's first model
  // becomes entry 0. (Rebuilding the window keeps entry 0.)
  sandbox.modelList.clear();
  Sandbox_LoadTextures();
  // Replaces (and deletes) the rooms of an earlier cycle.
  const ContainerLoadReport rooms = Game_File_Load_Containers(sandbox.world, Replay_ContainerPath());
  const std::string roomsProblem = Containers_Problem(rooms, Replay_ContainerPath());
  if (!roomsProblem.empty()) Notices_AddRooms(roomsProblem);

  // A reset starts with a fresh ball as entry 0, so the view and the arrow
  // keys follow it from the start position again; shot balls go with the
  // rest, and every instrument starts off again.
  Tuning_Start();
  Sandbox_StartBall();
  Instruments_Reset();
  Replay_BeginSession();
}

void Sandbox_StartBall() {
  destroyBodies();
  sandbox.world.objects.push_back(Sandbox_MakeBall(vec3f(0, 0.5f, 0), sandbox.world.settings));
}

void Sandbox_Destroy() {
  destroyBodies();
  Veruruve::Physics::destroyContainers(sandbox.world);
}

static void loadModels() {
  std::vector<std::string> noted;
  for (const std::string& name : sandbox.directoryList) {
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".obj") == 0) {
      printf("%s\n", name.c_str());
      noted.push_back(name);
    }
  }
  Model working;
  for (const std::string& name : noted) {
    working.Load(name);
    const std::string shortFaces = ShortFaceLinesText(working);
    if (!shortFaces.empty()) fprintf(stderr, "%s\n", shortFaces.c_str());
    sandbox.modelList.push_back(working);
  }
}

void Sandbox_LoadTextures() {
  Core_LogMessage("Sandbox_LoadTextures");
  sandbox.directoryList = Platform_ListDirectory(".");
  loadModels();

  Instruments_ContextRebuilt();
  sandbox.chamberList = glGenLists(1);
  glNewList(sandbox.chamberList, GL_COMPILE);
  // Without a model there is nothing to draw; the list stays empty.
  if (!sandbox.modelList.empty()) Sandbox_DrawModel(sandbox.modelList[0]);
  glEndList();

  glfwSetMousePos(core.width / 2, core.height / 2);
  Core_UpdateMouse();
  sandbox.nextStepTime = 0;  // the first frame steps
  sandbox.lastMouse.x = core.mouseX;
  sandbox.lastMouse.y = core.mouseY;
}

// The last material of the model with this name, or null.
static const Material* findMaterial(const Model& model, const std::string& name) {
  const Material* found = nullptr;
  for (const Material& material : model.materials)
    if (material.name == name) found = &material;
  return found;
}

void Sandbox_DrawModel(const Model& model) {
  glBegin(GL_TRIANGLES);
  glColor3f(1, 1, 1);
  std::string current;
  bool skip = false;
  const int32_t vertexCount = static_cast<int32_t>(model.vertices.size());
  for (int32_t t = 0; t < model.triangleCount && t < static_cast<int32_t>(model.triangles.size());
       ++t) {
    const Triangle& triangle = model.triangles[t];
    if (triangle.material != current) {
      current = triangle.material;
      // A name that matches no material keeps the colour in force.
      if (const Material* material = findMaterial(model, current)) {
        glColor3f(material->diffuse[0], material->diffuse[1], material->diffuse[2]);
        skip = material->emissive[0] + material->emissive[1] + material->emissive[2] > 0;
      } else {
        skip = false;
      }
    }
    if (skip) continue;
    bool inRange = true;
    for (int32_t index : triangle.vertexIndex) inRange = inRange && index >= 0 && index < vertexCount;
    if (!inRange) continue;
    for (int k = 0; k < 3; ++k) {
      const vec3f& n = triangle.normal[k];
      const vec3f& v = model.vertices[triangle.vertexIndex[k]];
      glNormal3f(n.x, n.y, n.z);
      glVertex3f(v.x, v.y, v.z);
    }
  }
  glEnd();
}

std::string Sandbox_ContainersLine(const PhysicsObject& body) {
  std::string line = "Containers: ";
  for (uint32_t index : body.containerIndices) line += std::to_string(index) + " ";
  return line;
}

void Sandbox_Update() {
  Live_Update();
  if (Volume* ball = Sandbox_Ball()) sandbox.hudLines.push_back(Sandbox_ContainersLine(*ball));
  // At most one step per frame, at least 0.016 s of frame time apart (more
  // in slow motion, none while paused); slow frames slow the simulation down
  // rather than taking several steps.
  if (Instruments_StepDue()) Instruments_TakeStep();
}

void Sandbox_Render() {
  glPushMatrix();
  Camera_ApplyView();
  glEnable(GL_LIGHTING);
  glCallList(sandbox.chamberList);
  glEnable(GL_LINE_SMOOTH);
  glEnable(GL_CULL_FACE);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  Instruments_DrawScene();
  std::vector<vec3f> positions;
  for (const PhysicsObject* body : sandbox.world.objects) positions.push_back(body->position);
  // The panel's three fixed lines come before this frame's hudLines.
  const int linesBefore = 3 + static_cast<int>(sandbox.hudLines.size());
  for (std::string& line : Overlay_BodyLines(
           positions, Overlay_LineRoom(linesBefore, static_cast<unsigned>(core.height))))
    sandbox.hudLines.push_back(std::move(line));
  glPopMatrix();
  Core_Begin2D();
  Overlay_Draw();
  Instruments_DrawOverlay();
  Notices_Draw();
  Live_DrawOverlay();
  Core_End2D();
  Instruments_EndFrame();
}
