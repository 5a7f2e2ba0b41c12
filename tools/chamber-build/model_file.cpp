// The OBJ model and MTL library of a chamber, in the subset the program
// reads: "v", "vn", "f" with vertex//normal corners, "mtllib", "usemtl";
// "newmtl", "Kd", "Ke".
#include <cstdio>

#include "tools/chamber-build/chamber.h"

namespace chamber {
namespace {

std::string Triple(const float* v) { return FloatText(v[0]) + " " + FloatText(v[1]) + " " + FloatText(v[2]); }
std::string Triple(vec3f v) { return FloatText(v.x) + " " + FloatText(v.y) + " " + FloatText(v.z); }

// The materials faces are drawn with, each once, in order of first use.
std::vector<const Material*> UsedMaterials(const Chamber& chamber) {
  std::vector<const Material*> used;
  for (const Room& room : chamber.rooms)
    for (const Face& face : room.faces) {
      if (face.open) continue;
      const Material* m = &FaceMaterial(chamber, room, face);
      bool seen = false;
      for (const Material* u : used) seen = seen || u == m;
      if (!seen) used.push_back(m);
    }
  return used;
}

}  // namespace

std::string ObjText(const Chamber& chamber, const std::string& mtlName) {
  std::string out = "# Made by chamber-build: edit the chamber description, not this file.\n";
  out += "mtllib " + mtlName + "\n";
  const Material* current = nullptr;
  size_t vertexCount = 0, normalCount = 0;
  for (const Room& room : chamber.rooms) {
    out += "# room " + room.name + "\n";
    for (const Face& face : room.faces) {
      if (face.open) continue;
      const Material* m = &FaceMaterial(chamber, room, face);
      if (m != current) {
        out += "usemtl " + m->name + "\n";
        current = m;
      }
      for (const vec3f& p : face.corners) out += "v " + Triple(p) + "\n";
      out += "vn " + Triple(FaceNormal(face)) + "\n";
      ++normalCount;
      const std::string n = "//" + std::to_string(normalCount);
      auto corner = [&](size_t k) { return " " + std::to_string(vertexCount + k + 1) + n; };
      // The program reads a four-corner face as the triangles (1, 2, 3) and
      // (4, 1, 3); longer faces become a fan of triangles.
      if (face.corners.size() == 4) {
        out += "f" + corner(0) + corner(1) + corner(2) + corner(3) + "\n";
      } else {
        for (size_t k = 1; k + 1 < face.corners.size(); ++k)
          out += "f" + corner(0) + corner(k) + corner(k + 1) + "\n";
      }
      vertexCount += face.corners.size();
    }
  }
  return out;
}

std::string MtlText(const Chamber& chamber) {
  std::string out = "# Made by chamber-build: edit the chamber description, not this file.\n";
  for (const Material* m : UsedMaterials(chamber)) {
    out += "\nnewmtl " + m->name + "\n";
    out += "Kd " + Triple(m->diffuse) + "\n";
    out += "Ke " + Triple(m->emissive) + "\n";
  }
  return out;
}

}  // namespace chamber
