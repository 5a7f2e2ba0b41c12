// chamber-build: turns a chamber description (a small text file of rooms) into
// the three files the program reads: the container file "0.ctr" with the
// rooms' walls and gravity, and an OBJ model with its MTL library that draws
// the same walls.
//
// The description format is documented for users in docs/chamber-format.md.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geometry/vector.h"

namespace chamber {

// A named surface. Faces of a light material are emissive: the program does
// not draw them.
struct Material {
  std::string name;
  float diffuse[3] = {0.8f, 0.8f, 0.8f};
  float emissive[3] = {0, 0, 0};
  bool light() const { return emissive[0] + emissive[1] + emissive[2] > 0; }
};

struct Face {
  std::vector<vec3f> corners;  // counter-clockwise seen from inside the room
  bool open = false;           // a face the ball passes through; not drawn
  int material = -1;           // index into Chamber::materials; -1: the room's
  int line = 0;                // where the description gives it
};

struct Room {
  std::string name;
  bool hasGravity = false;
  vec3f gravity;  // of length exactly 1 (see UnitGravity) when hasGravity
  int gravityLine = 0;
  std::vector<Face> faces;
  int material = -1;  // the room's default surface; -1: the chamber default
  int line = 0;
};

struct Chamber {
  std::vector<Material> materials;
  std::vector<Room> rooms;
};

// One problem found in a description, at a line of it (0: the whole file).
struct Problem {
  int line;
  std::string message;
};

// Reads a description. Syntax problems are appended to problems; the
// chamber holds whatever could be read.
Chamber ParseDescription(const std::string& text, std::vector<Problem>& problems);

// Checks the geometry: flat convex faces with at least three corners, convex
// closed rooms whose faces are wound to face into the room, and open faces
// that lead into another room (a ball that leaves every room drifts forever).
void CheckChamber(const Chamber& chamber, std::vector<Problem>& problems);

// The material a face is drawn with (the chamber default when nothing is
// named); the chamber must come from ParseDescription.
const Material& FaceMaterial(const Chamber& chamber, const Room& room, const Face& face);

// The container file: per room its gravity and faces, solid or open. A room
// with gravity has every face coloured (0, 1, 0, 1), the mark that makes the
// program use its gravity; a room without has white faces and gravity 0.
std::string ContainerFileBytes(const Chamber& chamber);

// The OBJ model of every drawn face (open faces are left out; light faces
// are written with their emissive material) and its MTL library. mtlName is
// the library's file name, written into the OBJ's "mtllib" line.
std::string ObjText(const Chamber& chamber, const std::string& mtlName);
std::string MtlText(const Chamber& chamber);

// A container file read back. False (with a reason) if the bytes are not a
// whole container file.
struct ContainerFace {
  float colour[4];
  uint32_t flags;
  std::vector<vec3f> corners;
};
struct ContainerRoom {
  vec3f gravity;
  std::vector<ContainerFace> faces;
};
bool ReadContainerFile(const std::string& bytes, std::vector<ContainerRoom>& rooms, std::string& reason);

// A description that builds the same container file again. Colours and
// lights are not stored in a container file, so none are written.
std::string DescribeContainerFile(const std::vector<ContainerRoom>& rooms);

// Whether p is inside the room: on the inner side of every face plane, open
// faces included, with slack allowed outside each plane.
bool RoomContains(const Room& room, vec3f p, float slack = 0);

// The shortest decimal text that reads back as the same float.
std::string FloatText(float value);

// How far UnitGravity looks from the rounded unit vector, in units in the
// last place of each component.
constexpr int kGravitySearchUlps = 4;

// A float vector along direction whose length, as the program computes it
// (single-precision square root of the sum of squares), is exactly 1: of
// the floats within radius units in the last place of each non-zero
// component of the rounded unit vector, the one closest in angle. False for
// a zero or non-finite direction, and when no such vector lies that near.
bool UnitGravity(vec3f direction, vec3f& unit, int radius = kGravitySearchUlps);

// Whether the program uses a room gravity read from a container file: its
// loader normalises it, and its step ignores a direction whose length is
// then not exactly 1.
bool GravityUsable(vec3f gravity);

// Whether the ball's start position, (0, 0.5, 0), lies in some room.
bool HoldsBallStart(const Chamber& chamber);

// The unit normal of a face from its first three corners, (b - a) x (c - a).
vec3f FaceNormal(const Face& face);
vec3f FaceCentroid(const Face& face);

// A file a build writes, and its contents.
struct OutputFile {
  std::string path;
  std::string bytes;
};

// Writes every file through a temporary file beside it, renamed into place
// once all are written, so that a reader sees each file either old or new
// and whole. False, with error naming the file, when one cannot be written;
// no temporary file is left behind.
bool WriteOutputFiles(const std::vector<OutputFile>& files, std::string* error);

}  // namespace chamber
