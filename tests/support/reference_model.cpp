#include "tests/support/reference_model.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kMaxLine = 1023;

// Reads the whole file, then cuts it into lines. False if it cannot be
// opened; a read error ends the file.
bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  std::string text;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  std::fclose(file);
  size_t start = 0;
  while (start < text.size()) {
    const size_t lf = text.find('\n', start);
    std::string line = text.substr(start, lf == std::string::npos ? std::string::npos : lf - start);
    if (lf != std::string::npos && !line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > kMaxLine) {
      lines.push_back(line.substr(0, kMaxLine));
      break;
    }
    lines.push_back(line);
    if (lf == std::string::npos) break;
    start = lf + 1;
  }
  return true;
}

float Atof(const std::string& token) { return static_cast<float>(std::atof(token.c_str())); }
int64_t Atoi(const std::string& token) { return std::strtoll(token.c_str(), nullptr, 10); }

int32_t Vertex(int64_t v, size_t count) {
  int64_t index = -1;
  if (v > 0) index = v - 1;
  if (v < 0) index = static_cast<int64_t>(count) + v;
  if (index < 0) return -1;
  return static_cast<int32_t>(std::min<int64_t>(index, INT32_MAX));
}

int32_t Normal(int64_t n, size_t count) {
  const int64_t index = n > 0 ? n - 1 : static_cast<int64_t>(count) + n;
  return n != 0 && index >= 0 && index < static_cast<int64_t>(count) ? static_cast<int32_t>(index) : -1;
}

void LoadMtl(Model& model, const std::string& path) {
  std::printf("Loading MTL File '%s'\n", path.c_str());
  std::vector<std::string> lines;
  if (!ReadLines(path, lines)) return;
  long current = -1;
  for (std::string line : lines) {
    line.erase(std::remove(line.begin(), line.end(), '\t'), line.end());
    std::vector<std::string> tokens;
    SplitString(line, " ", tokens);
    if (tokens.empty()) continue;
    if (tokens[0] == "newmtl") {
      current = -1;
      if (tokens.size() < 2) continue;
      model.materials.emplace_back();
      model.materials.back().name = tokens[1];
      current = static_cast<long>(model.materials.size()) - 1;
    } else if ((tokens[0] == "Kd" || tokens[0] == "Ke") && current >= 0 && tokens.size() >= 4) {
      Material& m = model.materials[static_cast<size_t>(current)];
      float* colour = tokens[0] == "Kd" ? m.diffuse : m.emissive;
      for (int k = 0; k < 3; ++k) colour[k] = Atof(tokens[static_cast<size_t>(k) + 1]);
      colour[3] = 1;
    }
  }
}

}  // namespace

bool LoadReferenceModel(Model& model, const std::string& path) {
  model.Clear();
  if (path.size() < 4 || path.compare(path.size() - 4, 4, ".obj") != 0) return false;
  std::printf("Loading OBJ File '%s'\n", path.c_str());
  const size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  model.name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::vector<std::string> lines;
  if (!ReadLines(directory + model.name, lines)) return false;

  std::string material;
  for (const std::string& line : lines) {
    std::vector<std::string> tokens;
    SplitString(line, " ", tokens);
    if (tokens.empty()) continue;
    const std::string& keyword = tokens[0];
    if ((keyword == "v" || keyword == "vn") && tokens.size() >= 4) {
      (keyword == "v" ? model.vertices : model.normals).emplace_back(Atof(tokens[1]), Atof(tokens[2]), Atof(tokens[3]));
    } else if (keyword == "mtllib" && tokens.size() >= 2) {
      if (tokens[1].empty())
        std::printf("Loading MTL File '%s'\n", directory.c_str());
      else
        LoadMtl(model, directory + tokens[1]);
    } else if (keyword == "usemtl" && tokens.size() >= 2) {
      material = tokens[1];
    } else if (keyword == "f" && tokens.size() >= 4) {
      int32_t vertex[4], normal[4];
      const size_t corners = std::min<size_t>(tokens.size() - 1, 4);
      for (size_t c = 0; c < corners; ++c) {
        std::vector<std::string> fields;
        SplitString(tokens[c + 1], "/", fields);
        vertex[c] = fields.empty() ? -1 : Vertex(Atoi(fields[0]), model.vertices.size());
        normal[c] = vertex[c] >= 0 && fields.size() >= 3 ? Normal(Atoi(fields[2]), model.normals.size()) : -1;
      }
      const size_t order[2][3] = {{0, 1, 2}, {3, 0, 2}};
      for (size_t t = 0; t < (corners == 4 ? 2u : 1u); ++t) {
        if (vertex[order[t][0]] < 0 || vertex[order[t][1]] < 0 || vertex[order[t][2]] < 0) continue;
        Triangle& triangle = model.triangles[static_cast<size_t>(model.AddTriangle())];
        triangle.material = material;
        for (int k = 0; k < 3; ++k) {
          triangle.vertexIndex[k] = vertex[order[t][k]];
          if (normal[order[t][k]] >= 0) triangle.normal[k] = model.normals[static_cast<size_t>(normal[order[t][k]])];
        }
      }
    }
  }
  // Faces that name a vertex the file does not have are dropped.
  const int64_t count = static_cast<int64_t>(model.vertices.size());
  std::vector<Triangle> kept;
  for (const Triangle& t : model.triangles)
    if (t.vertexIndex[0] < count && t.vertexIndex[1] < count && t.vertexIndex[2] < count) kept.push_back(t);
  model.triangles = kept;
  model.triangleCount = static_cast<int32_t>(kept.size());
  return true;
}

namespace {

bool SameBits(const void* a, const void* b, size_t bytes) { return std::memcmp(a, b, bytes) == 0; }

bool SameVectors(const std::vector<vec3f>& a, const std::vector<vec3f>& b, const char* what, std::string& difference) {
  if (a.size() != b.size()) {
    difference = std::string(what) + ": " + std::to_string(a.size()) + " against " + std::to_string(b.size());
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i)
    if (!SameBits(&a[i], &b[i], sizeof(vec3f))) {
      difference = std::string(what) + " " + std::to_string(i) + ": " + a[i].toString() + " against " + b[i].toString();
      return false;
    }
  return true;
}

}  // namespace

bool SameModel(const Model& a, const Model& b, std::string& difference) {
  if (a.name != b.name) return difference = "name '" + a.name + "' against '" + b.name + "'", false;
  if (a.triangleCount != b.triangleCount)
    return difference = "triangleCount " + std::to_string(a.triangleCount) + " against " + std::to_string(b.triangleCount), false;
  if (!SameVectors(a.vertices, b.vertices, "vertices", difference)) return false;
  if (!SameVectors(a.normals, b.normals, "normals", difference)) return false;
  if (a.triangles.size() != b.triangles.size())
    return difference = "triangles: " + std::to_string(a.triangles.size()) + " against " + std::to_string(b.triangles.size()), false;
  for (size_t i = 0; i < a.triangles.size(); ++i) {
    const Triangle& s = a.triangles[i];
    const Triangle& t = b.triangles[i];
    if (!SameBits(s.vertexIndex, t.vertexIndex, sizeof s.vertexIndex) || !SameBits(s.normal, t.normal, sizeof s.normal) ||
        s.material != t.material)
      return difference = "triangle " + std::to_string(i), false;
  }
  if (a.materials.size() != b.materials.size())
    return difference = "materials: " + std::to_string(a.materials.size()) + " against " + std::to_string(b.materials.size()), false;
  for (size_t i = 0; i < a.materials.size(); ++i) {
    const Material& s = a.materials[i];
    const Material& t = b.materials[i];
    if (s.name != t.name || !SameBits(s.diffuse, t.diffuse, sizeof s.diffuse) || !SameBits(s.emissive, t.emissive, sizeof s.emissive))
      return difference = "material " + std::to_string(i) + " '" + s.name + "'", false;
  }
  return true;
}
