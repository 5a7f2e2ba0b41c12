// Feeds arbitrary text to the OBJ/MTL loader: the bytes before the first NUL
// are the OBJ file (after a line naming the MTL library), the rest the MTL
// file. Whatever the input, every triangle left must index the vertex list
// within range, since the drawing code reads the vertices it names, and the
// model must hold exactly the bits the plain reading of the rules gives
// (tests/support/reference_model.h).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "geometry/model.h"
#include "tests/support/reference_model.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

void write(const std::string& path, const char* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  check(file != nullptr);
  std::fwrite(data, 1, size, file);
  std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string dir = "/tmp/fuzz_loader_" + std::to_string(getpid()) + "/";
  static const bool made = std::system(("mkdir -p " + dir).c_str()) == 0;
  check(made);
  // The loader prints a line per file it opens; keep the fuzzer's log clean.
  static FILE* quiet = std::freopen("/dev/null", "w", stdout);
  (void)quiet;

  const char* text = reinterpret_cast<const char*>(data);
  const void* nul = std::memchr(text, 0, size);
  const size_t objSize = nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : size;
  const std::string obj = "mtllib fuzz.mtl\n" + std::string(text, objSize);
  write(dir + "fuzz.obj", obj.data(), obj.size());
  const size_t mtlStart = nul ? objSize + 1 : size;
  write(dir + "fuzz.mtl", text + mtlStart, size - mtlStart);

  Model model;
  check(model.Load(dir + "fuzz.obj"));
  check(model.triangleCount == static_cast<int32_t>(model.triangles.size()));
  check(model.name == "fuzz.obj");
  for (const Triangle& t : model.triangles)
    for (int k = 0; k < 3; ++k) {
      check(t.vertexIndex[k] >= 0);
      check(static_cast<size_t>(t.vertexIndex[k]) < model.vertices.size());
    }
  for (const Material& m : model.materials) check(m.diffuse[3] == 1 && m.emissive[3] == 1);

  Model reference;
  check(LoadReferenceModel(reference, dir + "fuzz.obj"));
  std::string difference;
  if (!SameModel(model, reference, difference)) {
    std::fprintf(stderr, "the loader and the reference differ: %s\n", difference.c_str());
    std::abort();
  }
  return 0;
}
