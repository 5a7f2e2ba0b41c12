// A chamber model: the triangles, per-corner normals and materials of one
// Wavefront OBJ file and the MTL libraries it names.
//
// Only a small subset of the two formats is read: "v", "vn", "f" (triangles
// and quadrilaterals), "mtllib" and "usemtl" from the OBJ; "newmtl", "Kd" and
// "Ke" from the MTL. Everything else is ignored. The data is kept as read; the
// scene does the drawing and looks materials up by name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geometry/vector.h"

struct Triangle {
  // 0-based indices into Model::vertices (OBJ index minus 1). After a load
  // every index is within the model's vertex list: faces that name a vertex
  // the file does not have are dropped.
  int32_t vertexIndex[3] = {0, 0, 0};
  // The normal of each corner as it was when the face was read; (0, 0, 0)
  // for a corner without a usable normal index.
  vec3f normal[3];
  // The material in force for this face (the last "usemtl"); empty if none.
  std::string material;
};

struct Material {
  std::string name;
  float diffuse[4] = {0, 0, 0, 1};   // "Kd"; alpha is always 1
  float emissive[4] = {0, 0, 0, 1};  // "Ke"; alpha is always 1
};

// Face lines that gave fewer triangles than their corners ask for (a face
// of n corners asks for n - 2): two blanks in a row leave an empty corner,
// only the first four corners are read, a corner may name no vertex (0, a
// negative index reaching before the first vertex, no number). The reading
// is not changed by this count, only told about. Faces naming a vertex
// beyond the end of the file's list are dropped once the whole file is read
// and are not counted here.
// A tab inside one of the three or four words of an otherwise complete line
// goes unseen.
struct ShortFaceLines {
  int64_t lines = 0;       // how many
  int64_t firstLine = 0;   // the first one's line number, from 1
  const char* firstReason = "";  // and what is wrong with it
};

// A value type: copying a Model copies all of its arrays.
struct Model {
  std::string name;            // the OBJ file name without its directory
  int32_t triangleCount = 0;   // always triangles.size()
  std::vector<vec3f> vertices;
  std::vector<Triangle> triangles;
  std::vector<vec3f> normals;
  std::vector<Material> materials;
  ShortFaceLines shortFaceLines;  // of the last OBJ file loaded
  // The MTL files the OBJ named, as opened (directory included), in the
  // order named; whoever follows the model's files on disk watches them.
  std::vector<std::string> libraries;

  // Clears the model and loads path if it ends in ".obj" (lower case).
  // False for any other path and for an OBJ file that cannot be opened.
  bool Load(const std::string& path);
  // Empties the arrays and zeroes triangleCount; the name stays.
  void Clear();
  // Reads an OBJ file and the MTL libraries it names. False if the file
  // cannot be opened. Each file is read whole and closed before its first
  // line is interpreted. The name after "usemtl" or "mtllib" may be empty
  // (two spaces): "usemtl" then selects the name "", and "mtllib" reports
  // the library's path, the directory alone, and reads nothing.
  bool LoadOBJ(const std::string& path);
  // Appends the materials of one MTL file; a missing file adds nothing. An
  // empty name after "newmtl" starts a material named "".
  void LoadMTL(const std::string& path);
  // Appends a triangle with zero normals and returns its index.
  int32_t AddTriangle();
};

// Appends to tokens the pieces of text between the delimiter characters.
// Two delimiters in a row give an empty token, a leading delimiter gives an
// empty first token, and a trailing delimiter gives nothing.
void SplitString(const std::string& text, const std::string& delimiters,
                 std::vector<std::string>& tokens);

// One line for the user about a model's short face lines, "chamber.obj: 12
// face lines not fully read (first at line 22: two blanks in a row)"; empty
// when every face line gave its triangles.
std::string ShortFaceLinesText(const Model& model);
