#include "sandbox/containers.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

using Veruruve::Physics::CollisionBox;
using Veruruve::Physics::PhysicsWorld;
using Veruruve::Physics::Polygon;

namespace {

// Reads fields from a FILE, one read per field.
struct FileSource {
  std::FILE* file;
  std::size_t consumed = 0;  // bytes read so far
  bool read(void* out, std::size_t n) {
    const std::size_t got = std::fread(out, 1, n, file);
    consumed += got;
    return got == n;
  }
};

struct MemorySource {
  const std::uint8_t* data;
  std::size_t left;
  std::size_t consumed = 0;
  bool read(void* out, std::size_t n) {
    if (left < n) {
      consumed += left;
      left = 0;
      return false;
    }
    consumed += n;
    std::memcpy(out, data, n);
    data += n;
    left -= n;
    return true;
  }
};

std::uint32_t decodeU32(const std::uint8_t* b) {
  return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
         static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

float decodeF32(const std::uint8_t* b) {
  const std::uint32_t bits = decodeU32(b);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

template <typename Source>
bool readU32(Source& in, std::uint32_t* value) {
  std::uint8_t b[4];
  if (!in.read(b, sizeof b)) return false;
  *value = decodeU32(b);
  return true;
}

// Reads count little-endian floats with one read.
template <typename Source>
bool readFloats(Source& in, float* values, int count) {
  std::uint8_t b[16];
  if (!in.read(b, 4 * static_cast<std::size_t>(count))) return false;
  for (int i = 0; i < count; ++i) values[i] = decodeF32(b + 4 * i);
  return true;
}

bool isGreen(const float colour[4]) {
  return colour[0] == 0 && colour[1] == 1 && colour[2] == 0 && colour[3] == 1;
}

// Reads one room's faces into box. Returns false when the file ends inside
// a face; the faces before it stay.
template <typename Source>
bool readFaces(Source& in, CollisionBox& box, std::uint32_t faceCount, ContainerLoadReport& report,
               bool* green) {
  for (std::uint32_t j = 0; j < faceCount; ++j) {
    float colour[4];
    std::uint32_t vertexCount, flags;
    if (!readFloats(in, colour, 4) || !readU32(in, &vertexCount) || !readU32(in, &flags))
      return false;
    // The vertex list grows with what is actually read, never by the count.
    Polygon polygon;
    for (std::uint32_t v = 0; v < vertexCount; ++v) {
      float xyz[3];
      if (!readFloats(in, xyz, 3)) return false;
      polygon.push_back(vec3f(xyz[0], xyz[1], xyz[2]));
    }
    if (polygon.size() < 3) {  // no normal can be formed: not a face
      ++report.facesSkipped;
      continue;
    }
    box.addFace(std::move(polygon), flags);
    std::memcpy(box.collisionFaces.back().colour, colour, sizeof colour);
    if (isGreen(colour)) *green = true;
  }
  return true;
}

template <typename Source>
ContainerLoadReport readRooms(PhysicsWorld& world, Source& in) {
  ContainerLoadReport report;
  report.opened = true;
  destroyContainers(world);

  std::uint32_t containerCount = 0;
  if (!readU32(in, &containerCount)) {
    report.empty = in.consumed == 0;
    return report;
  }
  report.countRead = true;
  report.roomsListed = containerCount;
  // A room is made only once its record header has been read, so a count
  // larger than the file holds neither allocates nor loops past the end.
  for (std::uint32_t k = 0; k < containerCount; ++k) {
    float gravity[3];
    std::uint32_t faceCount;
    if (!readFloats(in, gravity, 3) || !readU32(in, &faceCount)) {
      report.truncated = true;
      break;
    }
    auto* box = new CollisionBox();
    world.containers.push_back(box);
    box->gravity = vec3f(gravity[0], gravity[1], gravity[2]);
    box->gravity.normalise();
    bool green = false;
    const bool complete = readFaces(in, *box, faceCount, report, &green);
    // Only rooms with a green face have gravity.
    if (!green) box->gravity = vec3f();
    if (!complete) {
      report.truncated = true;
      break;
    }
    ++report.wholeRooms;
  }
  // Only noted: whatever follows the rooms is not read.
  std::uint8_t extra;
  if (!report.truncated && in.read(&extra, 1)) report.trailingData = true;
  return report;
}

// Reads the rooms, then indexes them for the step's broad phase.
template <typename Source>
ContainerLoadReport load(PhysicsWorld& world, Source& in) {
  const ContainerLoadReport report = readRooms(world, in);
  buildRoomIndex(world);
  return report;
}

}  // namespace

ContainerLoadReport Game_File_Load_Containers(PhysicsWorld& world, const char* path) {
  std::printf("Game_File_Load_Containers\n");
  return Containers_Load(world, path);
}

ContainerLoadReport Containers_Load(PhysicsWorld& world, const char* path) {
  errno = 0;
  std::FILE* file = std::fopen(path, "rb");
  if (!file) {
    ContainerLoadReport report;
    report.systemError = errno;
    destroyContainers(world);
    return report;
  }
  FileSource in{file};
  errno = 0;
  ContainerLoadReport report = load(world, in);
  report.readError = std::ferror(file) != 0;
  if (report.readError) report.systemError = errno;
  std::fclose(file);
  return report;
}

ContainerLoadReport Containers_LoadMemory(PhysicsWorld& world, const std::uint8_t* data,
                                          std::size_t size) {
  MemorySource in{data, size};
  return load(world, in);
}
