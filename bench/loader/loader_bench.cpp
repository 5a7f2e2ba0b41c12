// The chamber's OBJ/MTL loader against tinyobjloader on the same file, side
// by side in one run. Make the file first with make_obj.py:
//
//   python3 bench/loader/make_obj.py /tmp/bench50.obj
//   build/bench/loader/loader_bench /tmp/bench50.obj
//
// Both read the OBJ and its MTL library and triangulate; the counters show
// that both found the same vertices and triangles.
#include <benchmark/benchmark.h>
#include <tiny_obj_loader.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "geometry/model.h"

namespace {

std::string g_path;

void ChamberLoader(benchmark::State& state) {
  Model model;
  for (auto _ : state) {
    // A fresh model each time, like tinyobjloader's reader below: nothing
    // is reused from the previous round.
    model = Model();
    if (!model.Load(g_path)) {
      state.SkipWithError("cannot load the OBJ file");
      return;
    }
    benchmark::DoNotOptimize(model.triangles.data());
  }
  state.counters["vertices"] = static_cast<double>(model.vertices.size());
  state.counters["triangles"] = static_cast<double>(model.triangleCount);
}

void TinyObjLoader(benchmark::State& state) {
  size_t vertices = 0, triangles = 0;
  for (auto _ : state) {
    tinyobj::ObjReader reader;
    tinyobj::ObjReaderConfig config;
    config.triangulate = true;
    if (!reader.ParseFromFile(g_path, config)) {
      state.SkipWithError(reader.Error().c_str());
      return;
    }
    vertices = reader.GetAttrib().vertices.size() / 3;
    triangles = 0;
    for (const tinyobj::shape_t& shape : reader.GetShapes()) triangles += shape.mesh.indices.size() / 3;
    benchmark::DoNotOptimize(reader.GetShapes().data());
  }
  state.counters["vertices"] = static_cast<double>(vertices);
  state.counters["triangles"] = static_cast<double>(triangles);
}

BENCHMARK(ChamberLoader)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(TinyObjLoader)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: loader_bench [benchmark options] FILE.obj  (make it with bench/loader/make_obj.py)\n");
    return 2;
  }
  g_path = argv[1];
  // The loader reports every file it opens on standard output; keep the
  // table readable by sending those lines away.
  if (!std::freopen("/dev/null", "w", stdout)) return 1;
  benchmark::ConsoleReporter reporter(benchmark::ConsoleReporter::OO_Tabular);
  reporter.SetOutputStream(&std::cerr);
  reporter.SetErrorStream(&std::cerr);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
