// What the instruments draw in the 3D scene, after the chamber and with depth
// testing: the shot balls as lit spheres, the rooms as outlines (F2), and the
// contacts of the last step with the balls' velocity and gravity (F3). Every
// drawing comes from the world the physics steps, not from a copy.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "instruments/instruments.h"
#include "sandbox/sandbox.h"

using Veruruve::Physics::CollisionBox;
using Veruruve::Physics::CollisionFace;
using Veruruve::Physics::Contact;
using Veruruve::Physics::Volume;
using Veruruve::Physics::VolumeSphere;

namespace {

float lengthSquared(const vec3f& v) { return dot(v, v); }

// Latitude bands and longitude slices of a drawn sphere.
constexpr int kBands = 6;
constexpr int kSlices = 12;
// Drawn length of a contact normal: a minimum plus this many times the
// length of the correction, so deeper contacts stand out.
constexpr float kNormalBaseLength = 0.03f;
constexpr float kNormalPerCorrection = 20.0f;
// Velocities are per step and tiny; arrows show this many steps of travel.
constexpr float kVelocityArrowSteps = 20.0f;
constexpr float kGravityArrowLength = 0.05f;

// Point on the unit sphere at band b (0 at the top) and slice s.
vec3f unitSpherePoint(int band, int slice) {
  const double latitude = M_PI * band / kBands;
  const double longitude = 2 * M_PI * slice / kSlices;
  return vec3f(static_cast<float>(std::sin(latitude) * std::cos(longitude)),
               static_cast<float>(std::cos(latitude)),
               static_cast<float>(-std::sin(latitude) * std::sin(longitude)));
}

// Display list of a unit sphere in the current context; 0 until the first
// shot ball is drawn, and again after every rebuild of the context.
GLuint sphereList = 0;

void compileUnitSphere() {
  sphereList = glGenLists(1);
  glNewList(sphereList, GL_COMPILE);
  // One batch of triangles, each wound counter-clockwise seen from outside,
  // so back-face culling keeps the near side.
  glBegin(GL_TRIANGLES);
  auto corner = [](int band, int slice) {
    const vec3f n = unitSpherePoint(band, slice);
    glNormal3f(n.x, n.y, n.z);
    glVertex3f(n.x, n.y, n.z);
  };
  for (int band = 0; band < kBands; ++band) {
    for (int slice = 0; slice < kSlices; ++slice) {
      corner(band + 1, slice);
      corner(band + 1, slice + 1);
      corner(band, slice + 1);
      corner(band + 1, slice);
      corner(band, slice + 1);
      corner(band, slice);
    }
  }
  glEnd();
  glEndList();
}

// The shot balls, and from outside (F7) the ball itself in its own colour.
void drawShotBalls() {
  const auto& bodies = sandbox.world.objects;
  const size_t first = Instruments_OutsideView() ? 0 : 1;
  if (bodies.size() <= first) return;
  if (sphereList == 0) compileUnitSphere();
  glEnable(GL_LIGHTING);
  // The sphere is scaled to each ball's radius: normals need renormalising.
  glEnable(GL_NORMALIZE);
  glColor3f(1.0f, 0.55f, 0.1f);
  // Nearest first: shot along the view the balls line up in front of the
  // eye, and the depth test then spares the renderer the hidden ones.
  std::vector<const Volume*> balls;
  for (size_t i = first; i < bodies.size(); ++i)
    if (bodies[i]->shape == Veruruve::Physics::Sphere) balls.push_back(bodies[i]);
  const vec3f eye = sandbox.camera.cameraPosition;
  std::sort(balls.begin(), balls.end(), [&](const Volume* a, const Volume* b) {
    return lengthSquared(a->position - eye) < lengthSquared(b->position - eye);
  });
  for (const Volume* ball : balls) {
    const vec3f& p = ball->position;
    const float r = static_cast<const VolumeSphere*>(ball)->radius;
    const bool own = ball == bodies[0];
    if (own) glColor3f(0.3f, 0.8f, 1.0f);
    glPushMatrix();
    glTranslatef(p.x, p.y, p.z);
    glScalef(r, r, r);
    glCallList(sphereList);
    glPopMatrix();
    if (own) glColor3f(1.0f, 0.55f, 0.1f);
  }
  glDisable(GL_NORMALIZE);
  glDisable(GL_LIGHTING);
}

// A room's gravity direction as a colour: each axis from 0.2 (negative) to 1
// (positive), so the usual downward rooms are all alike and turned rooms
// stand out.
void gravityColour(const vec3f& g, float brightness, float out[3]) {
  const vec3f d = normalised(g);
  const float axes[3] = {d.x, d.y, d.z};
  for (int i = 0; i < 3; ++i) out[i] = brightness * (0.6f + 0.4f * axes[i]);
}

bool ballIsIn(uint32_t room) {
  const Volume* ball = Sandbox_Ball();
  if (!ball) return false;
  for (uint32_t k : ball->containerIndices)
    if (k == room) return true;
  return false;
}

void drawFaceEdges(const CollisionBox& room, const CollisionFace& face) {
  const size_t count = face.vertices.size();
  for (size_t j = 0; j < count; ++j) {
    const vec3f a = transformPoint(room.worldTransform, face.vertices[j]);
    const vec3f b = transformPoint(room.worldTransform, face.vertices[(j + 1) % count]);
    glVertex3f(a.x, a.y, a.z);
    glVertex3f(b.x, b.y, b.z);
  }
}

// The edges of one room's faces, solid or open ones, in one batch of lines.
void drawRoomEdges(const CollisionBox& room, bool open) {
  glBegin(GL_LINES);
  for (const CollisionFace& face : room.collisionFaces)
    if ((face.flags == Veruruve::Physics::kOpenFace) == open) drawFaceEdges(room, face);
  glEnd();
}

void setColour(const vec3f& gravity, float brightness) {
  float colour[3];
  gravityColour(gravity, brightness, colour);
  glColor3f(colour[0], colour[1], colour[2]);
}

void drawRooms() {
  const auto& rooms = sandbox.world.containers;
  std::vector<bool> highlighted(rooms.size(), false);
  if (instruments.rooms == RoomDrawing::RoomsAndBallRooms)
    for (uint32_t k = 0; k < rooms.size(); ++k) highlighted[k] = ballIsIn(k);
  // Rooms share edges, and an edge drawn later at the same depth wins: open
  // faces go first, then solid ones, then the rooms the ball is in.
  glEnable(GL_LINE_STIPPLE);
  glLineStipple(1, 0x0F0F);
  for (uint32_t k = 0; k < rooms.size(); ++k) {
    if (highlighted[k]) continue;
    setColour(rooms[k]->gravity, 0.4f);  // open faces: dim and dashed
    drawRoomEdges(*rooms[k], true);
  }
  glDisable(GL_LINE_STIPPLE);
  for (uint32_t k = 0; k < rooms.size(); ++k) {
    if (highlighted[k]) continue;
    setColour(rooms[k]->gravity, 1.0f);
    drawRoomEdges(*rooms[k], false);
  }
  // The ball's rooms: white and wide, their open faces dashed.
  glLineWidth(3.0f);
  glColor3f(1, 1, 1);
  for (uint32_t k = 0; k < rooms.size(); ++k) {
    if (!highlighted[k]) continue;
    glEnable(GL_LINE_STIPPLE);
    drawRoomEdges(*rooms[k], true);
    glDisable(GL_LINE_STIPPLE);
    drawRoomEdges(*rooms[k], false);
  }
  glLineWidth(1.0f);
}

void arrow(const vec3f& from, const vec3f& to) {
  glVertex3f(from.x, from.y, from.z);
  glVertex3f(to.x, to.y, to.z);
}

void drawContacts() {
  const std::vector<Contact>& contacts = sandbox.world.stepContacts;
  glPointSize(5.0f);
  glColor3f(1, 0.2f, 0.2f);
  glBegin(GL_POINTS);
  for (const Contact& c : contacts) glVertex3f(c.point.x, c.point.y, c.point.z);
  glEnd();
  glPointSize(1.0f);

  // The normal is the way the contact pushed its body: against the
  // correction, which a body has subtracted (the first sphere of a pair
  // adds it, and is pushed along it).
  glBegin(GL_LINES);
  glColor3f(1, 1, 0.2f);
  for (const Contact& c : contacts) {
    const bool pair = c.other && c.other->shape == Veruruve::Physics::Sphere;
    const vec3f direction = normalised(pair ? c.correction : -c.correction);
    arrow(c.point, c.point + (kNormalBaseLength + kNormalPerCorrection * length(c.correction)) *
                                 direction);
  }
  // Velocity (green) and gravity (blue) of every ball from its centre.
  for (const Volume* body : sandbox.world.objects) {
    glColor3f(0.2f, 1, 0.2f);
    arrow(body->position, body->position + kVelocityArrowSteps * body->velocity);
    glColor3f(0.3f, 0.5f, 1);
    arrow(body->position, body->position + kGravityArrowLength * normalised(body->gravity));
  }
  glEnd();
}

}  // namespace

void Instruments_ContextRebuilt() { sphereList = 0; }

void Instruments_DrawScene() {
  drawShotBalls();
  if (instruments.rooms == RoomDrawing::Off && !instruments.contacts) return;
  // The room outlines lie on the chamber's walls: a slightly nearer depth
  // range keeps them from fighting with the walls' own depth.
  glDepthRange(0.0, 0.9995);
  // Plain lines: smoothing costs a software renderer dearly per line.
  glDisable(GL_LINE_SMOOTH);
  if (instruments.rooms != RoomDrawing::Off) drawRooms();
  if (instruments.contacts) drawContacts();
  glEnable(GL_LINE_SMOOTH);
  glDepthRange(0.0, 1.0);
}
