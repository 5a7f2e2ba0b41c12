// The container file: the rooms of the chamber and their gravity directions.
//
// A headerless little-endian file: u32 room count, then per room its gravity
// (3 x f32) and u32 face count, then per face its colour (4 x f32), u32
// vertex count, u32 flags and the vertices (3 x f32 each). A room has gravity
// only if one of its faces is coloured exactly (0, 1, 0, 1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "physics/physics.h"

// How a load went, for callers that must tell a missing file from an empty
// one. The scene ignores it: whatever could be read is loaded.
struct ContainerLoadReport {
  bool opened = false;     // the file could be opened
  bool readError = false;  // reading failed other than by reaching the end
  bool truncated = false;  // the file ended inside a room or face record
  std::uint32_t facesSkipped = 0;  // faces with fewer than three vertices
  int systemError = 0;     // errno of a failed open or read
  bool countRead = false;  // the file holds the room count
  bool empty = false;      // the file holds no byte at all
  std::uint32_t roomsListed = 0;  // the room count the file gives
  std::uint32_t wholeRooms = 0;   // rooms read to the end of their last face
  bool trailingData = false;      // bytes follow the last room listed
};

// Prints "Game_File_Load_Containers" on standard output, then replaces the
// world's rooms by those of the file at path (see Containers_Load).
ContainerLoadReport Game_File_Load_Containers(Veruruve::Physics::PhysicsWorld& world, const char* path);

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

// What is wrong with the container file at path after a load gave report,
// as one sentence without a final full stop, in the words the program and
// both tools use: "cannot open container file '0.ctr': No such file or
// directory", "container file '0.ctr' holds no rooms", "container file
// '0.ctr' is damaged: it ends after 1 whole room of the 3 it lists", ...
// Empty when the file was read whole and holds rooms.
std::string Containers_Problem(const ContainerLoadReport& report, const std::string& path);
