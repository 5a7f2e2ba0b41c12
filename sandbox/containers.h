// The container file: the rooms of the chamber and their gravity directions.
//
// A headerless little-endian file: u32 room count, then per room its gravity
// (3 x f32) and u32 face count, then per face its colour (4 x f32), u32
// vertex count, u32 flags and the vertices (3 x f32 each). A room has gravity
// only if one of its faces is coloured exactly (0, 1, 0, 1).
#pragma once

#include <cstddef>
#include <cstdint>

#include "physics/physics.h"

// How a load went, for callers that must tell a missing file from an empty
// one. The scene ignores it: whatever could be read is loaded.
struct ContainerLoadReport {
  bool opened = false;     // the file could be opened
  bool readError = false;  // reading failed other than by reaching the end
  bool truncated = false;  // the file ended inside a room or face record
  std::uint32_t facesSkipped = 0;  // faces with fewer than three vertices
};

// Prints "Game_File_Load_Containers" on standard output, then replaces the
// world's rooms by those of the file at path (see Containers_Load).
void Game_File_Load_Containers(Veruruve::Physics::PhysicsWorld& world, const char* path);

// Replaces the world's rooms by those of the file, silently. The rooms the
// world had are deleted (destroyContainers). Counts in the file are never
// trusted: reading stops at the last complete face, so a short or damaged file
// gives the rooms it actually holds. A file that cannot be opened leaves the
// world without rooms. A face with fewer than three vertices is skipped.
// The rooms read are indexed for the step (buildRoomIndex).
ContainerLoadReport Containers_Load(Veruruve::Physics::PhysicsWorld& world, const char* path);

// The same from bytes in memory.
ContainerLoadReport Containers_LoadMemory(Veruruve::Physics::PhysicsWorld& world,
                                          const std::uint8_t* data, std::size_t size);
