// The container file: a headerless sequence of little-endian u32 and f32
// fields. Per room: gravity (3 f32), face count (u32), then per face its
// colour (4 f32), corner count (u32), flags (u32, 1 = open) and corners.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/chamber-build/chamber.h"

namespace chamber {
namespace {

void PutU32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

void PutF32(std::string& out, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  PutU32(out, bits);
}

struct Reader {
  const std::string& bytes;
  size_t at = 0;

  bool U32(uint32_t& value) {
    if (bytes.size() - at < 4) return false;
    value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    at += 4;
    return true;
  }
  bool F32(float& value) {
    uint32_t bits;
    if (!U32(bits)) return false;
    std::memcpy(&value, &bits, 4);
    return true;
  }
  bool Vec(vec3f& v) { return F32(v.x) && F32(v.y) && F32(v.z); }
};

}  // namespace

std::string FloatText(float value) {
  char text[32];
  for (int digits = 6; digits < 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
    if (std::strtof(text, nullptr) == value) return text;
  }
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

std::string ContainerFileBytes(const Chamber& chamber) {
  static const float kGravityMark[4] = {0, 1, 0, 1};
  static const float kPlain[4] = {1, 1, 1, 1};
  std::string out;
  PutU32(out, static_cast<uint32_t>(chamber.rooms.size()));
  for (const Room& room : chamber.rooms) {
    const vec3f g = room.hasGravity ? room.gravity : vec3f();
    PutF32(out, g.x);
    PutF32(out, g.y);
    PutF32(out, g.z);
    PutU32(out, static_cast<uint32_t>(room.faces.size()));
    const float* colour = room.hasGravity ? kGravityMark : kPlain;
    for (const Face& face : room.faces) {
      for (int i = 0; i < 4; ++i) PutF32(out, colour[i]);
      PutU32(out, static_cast<uint32_t>(face.corners.size()));
      PutU32(out, face.open ? 1 : 0);
      for (const vec3f& p : face.corners) {
        PutF32(out, p.x);
        PutF32(out, p.y);
        PutF32(out, p.z);
      }
    }
  }
  return out;
}

bool ReadContainerFile(const std::string& bytes, std::vector<ContainerRoom>& rooms, std::string& reason) {
  rooms.clear();
  Reader in{bytes};
  uint32_t roomCount;
  if (!in.U32(roomCount)) {
    reason = "the file is shorter than its room count";
    return false;
  }
  for (uint32_t r = 0; r < roomCount; ++r) {
    ContainerRoom room;
    uint32_t faceCount;
    if (!in.Vec(room.gravity) || !in.U32(faceCount)) {
      reason = "the file ends inside room " + std::to_string(r);
      return false;
    }
    for (uint32_t f = 0; f < faceCount; ++f) {
      ContainerFace face;
      uint32_t cornerCount;
      bool ok = in.F32(face.colour[0]) && in.F32(face.colour[1]) && in.F32(face.colour[2]) &&
                in.F32(face.colour[3]) && in.U32(cornerCount) && in.U32(face.flags);
      // Each corner takes 12 bytes: a count beyond the file is no file.
      ok = ok && cornerCount <= (bytes.size() - in.at) / 12;
      for (uint32_t c = 0; ok && c < cornerCount; ++c) {
        face.corners.emplace_back();
        ok = in.Vec(face.corners.back());
      }
      if (!ok) {
        reason = "the file ends inside face " + std::to_string(f) + " of room " + std::to_string(r);
        return false;
      }
      room.faces.push_back(std::move(face));
    }
    rooms.push_back(std::move(room));
  }
  if (in.at != bytes.size()) {
    reason = std::to_string(bytes.size() - in.at) + " bytes follow the last room";
    return false;
  }
  return true;
}

std::string DescribeContainerFile(const std::vector<ContainerRoom>& rooms) {
  std::string out =
      "# Described from a container file. A container file keeps no colours or\n"
      "# lights, so every face here is drawn in the default colour.\n";
  for (size_t r = 0; r < rooms.size(); ++r) {
    const ContainerRoom& room = rooms[r];
    // The program uses a room's gravity only when a face carries the mark.
    bool marked = false;
    for (const ContainerFace& face : room.faces)
      marked = marked || (face.colour[0] == 0 && face.colour[1] == 1 && face.colour[2] == 0 && face.colour[3] == 1);
    const vec3f g = room.gravity;
    out += "\nroom r" + std::to_string(r) + "\n";
    if (marked && !(g.x == 0 && g.y == 0 && g.z == 0)) {
      out += "  gravity " + FloatText(g.x) + " " + FloatText(g.y) + " " + FloatText(g.z) + "\n";
      if (!GravityUsable(g))
        out += "  # IGNORED: normalised, this direction's length is not exactly 1, so the program\n"
               "  # gives this room no gravity (building this description again fixes that)\n";
    } else
      out += "  gravity none\n";
    for (const ContainerFace& face : room.faces) {
      out += "  face";
      for (const vec3f& p : face.corners) out += "  " + FloatText(p.x) + " " + FloatText(p.y) + " " + FloatText(p.z);
      if (face.flags == 1) out += "  open";
      out += "\n";
    }
    out += "end\n";
  }
  return out;
}

}  // namespace chamber
