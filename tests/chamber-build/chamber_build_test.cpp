// chamber-build: what it makes of a description (the container file, the
// OBJ and MTL and their agreement), its errors, and the round trip through
// --describe.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "geometry/model.h"
#include "tools/chamber-build/chamber.h"

namespace {

using chamber::Chamber;
using chamber::Problem;

Chamber Parse(const std::string& text, std::vector<Problem>& problems) {
  Chamber c = chamber::ParseDescription(text, problems);
  if (problems.empty()) chamber::CheckChamber(c, problems);
  return c;
}

std::string ProblemsText(const std::vector<Problem>& problems) {
  std::string text;
  for (const Problem& p : problems) text += std::to_string(p.line) + ": " + p.message + "\n";
  return text;
}

// Two boxes side by side joined through a whole open face, with gravity on
// one side only.
const char* const kTwoRooms =
    "material stone 0.5 0.5 0.5\n"
    "light lamp 1 1 1\n"
    "room a\n"
    "  gravity 0 -2 0\n"
    "  colour 0.9 0.1 0.1\n"
    "  box 0 0 0  1 1 1\n"
    "  side +x open\n"
    "  side +y light lamp\n"
    "  side -y colour stone\n"
    "end\n"
    "room b   # a side room without gravity\n"
    "  gravity none\n"
    "  face 1 0 0  1 1 0  1 1 1  1 0 1  open\n"
    "  face 2 0 0  2 0 1  2 1 1  2 1 0  colour 0.1 0.1 0.9\n"
    "  face 1 0 0  2 0 0  2 1 0  1 1 0\n"
    "  face 1 0 1  1 1 1  2 1 1  2 0 1\n"
    "  face 1 0 0  1 0 1  2 0 1  2 0 0\n"
    "  face 1 1 0  2 1 0  2 1 1  1 1 1\n"
    "end\n";

TEST(ChamberBuild, ContainerFileHoldsRoomsFacesAndTheGravityMark) {
  std::vector<Problem> problems;
  const Chamber c = Parse(kTwoRooms, problems);
  ASSERT_EQ(ProblemsText(problems), "");
  std::vector<chamber::ContainerRoom> rooms;
  std::string reason;
  ASSERT_TRUE(chamber::ReadContainerFile(chamber::ContainerFileBytes(c), rooms, reason)) << reason;
  ASSERT_EQ(rooms.size(), 2u);

  // The gravity is written as a unit vector the program uses as it is;
  // every face of a room with gravity carries the mark, and a room without
  // has none.
  EXPECT_EQ(rooms[0].gravity, vec3f(0, -1, 0));
  EXPECT_EQ(rooms[1].gravity, vec3f(0, 0, 0));
  ASSERT_EQ(rooms[0].faces.size(), 6u);
  for (const auto& f : rooms[0].faces)
    EXPECT_TRUE(f.colour[0] == 0 && f.colour[1] == 1 && f.colour[2] == 0 && f.colour[3] == 1);
  for (const auto& f : rooms[1].faces)
    EXPECT_TRUE(f.colour[0] == 1 && f.colour[1] == 1 && f.colour[2] == 1 && f.colour[3] == 1);

  // Box sides come in the order -x, +x, -y, +y, -z, +z, each wound so that
  // (b - a) x (c - a) points into the box; only +x is open.
  const vec3f inward[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  for (int s = 0; s < 6; ++s) {
    const auto& f = rooms[0].faces[static_cast<size_t>(s)];
    ASSERT_EQ(f.corners.size(), 4u);
    EXPECT_EQ(normalised(cross(f.corners[1] - f.corners[0], f.corners[2] - f.corners[0])), inward[s]) << s;
    EXPECT_EQ(f.flags, s == 1 ? 1u : 0u) << s;
  }
  EXPECT_EQ(rooms[1].faces[0].flags, 1u);
  EXPECT_EQ(rooms[1].faces[1].corners[2], vec3f(2, 1, 1));  // corners as written
}

// Loads the OBJ and MTL the tool writes with the program's own loader.
Model LoadWritten(const Chamber& c, const std::string& dir) {
  std::system(("mkdir -p " + dir).c_str());
  std::ofstream(dir + "/chamber.obj") << chamber::ObjText(c, "chamber.mtl");
  std::ofstream(dir + "/chamber.mtl") << chamber::MtlText(c);
  Model model;
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(model.Load(dir + "/chamber.obj"));
  ::testing::internal::GetCapturedStdout();
  return model;
}

const Material* Find(const Model& model, const std::string& name) {
  const Material* found = nullptr;
  for (const Material& m : model.materials)
    if (m.name == name) found = &m;
  return found;
}

TEST(ChamberBuild, ModelDrawsEverySolidFaceFacingIntoItsRoom) {
  std::vector<Problem> problems;
  const Chamber c = Parse(kTwoRooms, problems);
  ASSERT_EQ(ProblemsText(problems), "");
  const Model model = LoadWritten(c, ::testing::TempDir() + "chamber_build_model");

  // Room a: 5 solid faces (one of them the lamp), room b: 5; quads make two
  // triangles each. Open faces are not in the model at all.
  ASSERT_EQ(model.triangleCount, 20);
  float drawnArea = 0, lampArea = 0;
  for (const Triangle& t : model.triangles) {
    const vec3f a = model.vertices[t.vertexIndex[0]], b = model.vertices[t.vertexIndex[1]],
                d = model.vertices[t.vertexIndex[2]];
    const vec3f n = cross(b - a, d - a);  // counter-clockwise front: faces the viewer inside
    const vec3f centre = (a + b + d) / 3.0f;
    const vec3f roomCentre = centre.x < 1 ? vec3f(0.5f, 0.5f, 0.5f) : vec3f(1.5f, 0.5f, 0.5f);
    EXPECT_GT(dot(n, roomCentre - centre), 0) << "triangle at " << centre.toString() << " faces out";
    for (int k = 0; k < 3; ++k) EXPECT_EQ(t.normal[k], normalised(n));
    EXPECT_NE(centre.x, 1.0f) << "the open doorway is drawn";
    const Material* m = Find(model, t.material);
    ASSERT_NE(m, nullptr) << t.material;
    (m->emissive[0] > 0 ? lampArea : drawnArea) += 0.5f * length(n);
  }
  EXPECT_FLOAT_EQ(lampArea, 1.0f);
  EXPECT_FLOAT_EQ(drawnArea, 9.0f);

  // Colours: room, face, named material and lamp.
  struct Expect {
    std::string name;
    float kd0, ke0;
  } expected[] = {{"a.colour", 0.9f, 0}, {"lamp", 1, 1}, {"stone", 0.5f, 0}, {"b.face1", 0.1f, 0},
                  {"chamber.default", 0.8f, 0}};
  for (const Expect& e : expected) {
    const Material* m = Find(model, e.name);
    ASSERT_NE(m, nullptr) << e.name;
    EXPECT_EQ(m->diffuse[0], e.kd0) << e.name;
    EXPECT_EQ(m->emissive[0], e.ke0) << e.name;
  }
}

TEST(ChamberBuild, LongFacesBecomeFansOfTriangles) {
  // A hexagonal prism: two six-corner caps.
  std::string text = "room prism\n  gravity 0 -1 0\n";
  const float c6[6][2] = {{1, 0}, {0.5f, 0.866025f}, {-0.5f, 0.866025f}, {-1, 0}, {-0.5f, -0.866025f}, {0.5f, -0.866025f}};
  std::ostringstream out;
  out << "  face";
  for (int i = 0; i < 6; ++i) out << "  " << c6[i][0] << " 0 " << -c6[i][1];
  out << "\n  face";
  for (int i = 0; i < 6; ++i) out << "  " << c6[i][0] << " 1 " << c6[i][1];
  out << "\n";
  for (int i = 0; i < 6; ++i) {
    const int j = (i + 1) % 6;
    out << "  face " << c6[i][0] << " 0 " << c6[i][1] << "  " << c6[j][0] << " 0 " << c6[j][1] << "  "
        << c6[j][0] << " 1 " << c6[j][1] << "  " << c6[i][0] << " 1 " << c6[i][1] << "\n";
  }
  text += out.str() + "end\n";
  std::vector<Problem> problems;
  const Chamber c = Parse(text, problems);
  ASSERT_EQ(ProblemsText(problems), "");
  const Model model = LoadWritten(c, ::testing::TempDir() + "chamber_build_prism");
  EXPECT_EQ(model.triangleCount, 2 * 4 + 6 * 2);
  for (const Triangle& t : model.triangles) {
    const vec3f a = model.vertices[t.vertexIndex[0]], b = model.vertices[t.vertexIndex[1]],
                d = model.vertices[t.vertexIndex[2]];
    const vec3f centre = (a + b + d) / 3.0f;
    EXPECT_GT(dot(cross(b - a, d - a), vec3f(0, 0.5f, 0) - centre), 0);
  }
}

// The faces of the unit cube, each wound to face into it.
const char* const kCubeMinusX = " face 0 0 0  0 1 0  0 1 1  0 0 1\n";
const char* const kCubePlusX = " face 1 0 0  1 0 1  1 1 1  1 1 0\n";
const char* const kCubeMinusY = " face 0 0 0  0 0 1  1 0 1  1 0 0\n";
const char* const kCubeMinusZ = " face 0 0 0  1 0 0  1 1 0  0 1 0\n";
const char* const kCubePlusZ = " face 0 0 1  0 1 1  1 1 1  1 0 1\n";

TEST(ChamberBuild, BadDescriptionsAreReportedAtTheirLines) {
  const std::string head = "room r\n gravity none\n";
  const std::string box = "room r\n gravity 0 -1 0\n box 0 0 0 1 1 1\nend\n";
  const std::string walls = std::string(kCubeMinusX) + kCubePlusX + kCubeMinusY + kCubeMinusZ;
  struct Case {
    const char* what;
    std::string text;
    int line;
    std::string message;
  } cases[] = {
      {"face with two corners", head + " face 0 0 0 1 0 0\nend\n", 3, "at least three corners"},
      {"corner missing a number", head + " face 0 0 0 1 0 0 1 1\nend\n", 3, "three numbers each"},
      {"wrongly wound face", head + kCubeMinusX + kCubePlusX + " face 0 0 0  1 0 0  1 0 1  0 0 1\n" +
                                 kCubeMinusZ + kCubePlusZ + "end\n",
       5, "wound the wrong way"},
      {"non-convex room: a dent in the top",
       head + kCubeMinusX + kCubePlusX + kCubeMinusY + kCubeMinusZ + kCubePlusZ +
           " face 0 1 0  1 1 0  0.5 0.5 0.5\n face 1 1 0  1 1 1  0.5 0.5 0.5\n"
           " face 1 1 1  0 1 1  0.5 0.5 0.5\n face 0 1 1  0 1 0  0.5 0.5 0.5\nend\n",
       8, "is not convex"},
      {"non-convex face", head + " face 0 0 0  0 0 2  1 0 2  1 0 1  2 0 1  2 0 0\nend\n", 3, "face is not convex"},
      {"room with a missing wall", head + walls + "end\n", 5, "not closed"},
      {"collinear first corners", head + " face 0 0 0  1 0 0  2 0 0  0 1 0\nend\n", 3, "on one line"},
      {"bent face", head + " face 0 0 0  1 0 0  1 1 0  0 1 0.5\nend\n", 3, "not flat"},
      {"open face to nowhere", "room r\n gravity 0 -1 0\n box 0 0 0 1 1 1\n side +y open\nend\n", 4,
       "leads out of every room"},
      {"bad number", "room r\n gravity 0 -1 zero\nend\n", 2, "'zero' is not a number"},
      {"statement outside a room", box + "wall 1 2 3\n", 5, "outside a room"},
      {"unknown statement in a room", head + " wall 1\nend\n", 3, "unknown statement 'wall'"},
      {"side before box", head + " side +x open\nend\n", 3, "needs a 'box'"},
      {"no such side", head + " box 0 0 0 1 1 1\n side +w open\nend\n", 4, "no side '+w'"},
      {"no end", head + " box 0 0 0 1 1 1\n", 1, "has no 'end'"},
      {"no gravity", "room r\n box 0 0 0 1 1 1\nend\n", 3, "gives no gravity"},
      {"unknown material", head + " colour granite\n box 0 0 0 1 1 1\nend\n", 3, "no material named 'granite'"},
      {"colour used as light", "material m 1 1 1\n" + head + " box 0 0 0 1 1 1\n side -x light m\nend\n", 5,
       "is no light"},
      {"room twice", box + box, 5, "defined twice"},
      {"flat box", head + " box 0 0 0 1 0 1\nend\n", 3, "flat"},
      {"empty description", "# nothing\n", 0, "no rooms"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Problem> problems;
    Parse(c.text, problems);
    ASSERT_FALSE(problems.empty());
    EXPECT_EQ(problems[0].line, c.line) << ProblemsText(problems);
    EXPECT_NE(problems[0].message.find(c.message), std::string::npos) << ProblemsText(problems);
  }
}

std::string RunTool(const std::string& command, int& status) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  status = pclose(pipe);
  status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return output;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ChamberBuildTool, DescribeThenBuildGivesTheSameBytes) {
  const std::string dir = ::testing::TempDir() + "chamber_build_round_trip";
  std::system(("rm -rf " + dir + " && mkdir -p " + dir + "/first " + dir + "/second").c_str());
  std::ofstream(dir + "/two.txt") << kTwoRooms;
  int status;
  for (const std::string& source : {std::string(CHAMBER_DESCRIPTION), dir + "/two.txt"}) {
    SCOPED_TRACE(source);
    RunTool(std::string(CHAMBER_BUILD_TOOL) + " " + source + " " + dir + "/first", status);
    ASSERT_EQ(status, 0);
    const std::string described =
        RunTool(std::string(CHAMBER_BUILD_TOOL) + " --describe " + dir + "/first/0.ctr > " + dir + "/described.txt", status);
    ASSERT_EQ(status, 0) << described;
    RunTool(std::string(CHAMBER_BUILD_TOOL) + " " + dir + "/described.txt " + dir + "/second", status);
    ASSERT_EQ(status, 0) << ReadFile(dir + "/described.txt");
    const std::string first = ReadFile(dir + "/first/0.ctr");
    EXPECT_GT(first.size(), 4u);
    EXPECT_EQ(first, ReadFile(dir + "/second/0.ctr"));
    // And the description of the rebuilt file reads the same.
    EXPECT_EQ(RunTool(std::string(CHAMBER_BUILD_TOOL) + " --describe " + dir + "/second/0.ctr", status),
              ReadFile(dir + "/described.txt"));
  }
}

TEST(ChamberBuildTool, ErrorsNameTheFileAndLineAndExitWith2) {
  const std::string dir = ::testing::TempDir() + "chamber_build_errors";
  std::system(("mkdir -p " + dir).c_str());
  std::ofstream(dir + "/bad.txt") << "room r\n gravity none\n face 0 0 0 1 0 0\nend\n";
  std::ofstream(dir + "/short.ctr") << std::string("\x02\0\0\0", 4);
  int status;
  std::string out = RunTool(std::string(CHAMBER_BUILD_TOOL) + " " + dir + "/bad.txt " + dir, status);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(out, dir + "/bad.txt:3: error: a face needs at least three corners, and this one has 2\n");
  EXPECT_FALSE(std::ifstream(dir + "/0.ctr").good()) << "nothing is written for a bad description";

  out = RunTool(std::string(CHAMBER_BUILD_TOOL) + " --describe " + dir + "/short.ctr", status);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(out, "chamber-build: container file '" + dir + "/short.ctr' is damaged: it ends after 0 whole rooms of the 2 it lists\n");
  RunTool(std::string(CHAMBER_BUILD_TOOL) + " --describe", status);
  EXPECT_EQ(status, 2);
  RunTool(std::string(CHAMBER_BUILD_TOOL) + " " + dir + "/missing.txt", status);
  EXPECT_EQ(status, 1);
}

TEST(ChamberBuildTool, HelpGoesToStandardOutputAndExitsWith0) {
  int status;
  // stderr is thrown away: the usage must arrive on stdout.
  const std::string out =
      RunTool("(" + std::string(CHAMBER_BUILD_TOOL) + " --help 2>/dev/null)", status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out.rfind("usage: chamber-build DESCRIPTION", 0), 0u) << out;
  // Without arguments the usage is an error.
  const std::string bare = RunTool("(" + std::string(CHAMBER_BUILD_TOOL) + " 2>/dev/null)", status);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(bare, "");
}

TEST(ChamberBuildTool, CreatesTheOutputDirectoryOrSaysWhichPathItCannotCreate) {
  const std::string dir = ::testing::TempDir() + "chamber_build_directories";
  std::system(("rm -rf " + dir + " && mkdir -p " + dir).c_str());
  std::ofstream(dir + "/two.txt") << kTwoRooms;
  std::ofstream(dir + "/a-file") << "in the way";
  int status;
  const std::string nested = dir + "/new/deeper/out";
  std::string out = RunTool(std::string(CHAMBER_BUILD_TOOL) + " " + dir + "/two.txt " + nested, status);
  EXPECT_EQ(status, 0) << out;
  for (const char* name : {"/0.ctr", "/chamber.obj", "/chamber.mtl"})
    EXPECT_FALSE(ReadFile(nested + name).empty()) << name;

  // A path under a plain file cannot be a directory.
  const std::string blocked = dir + "/a-file/out";
  out = RunTool(std::string(CHAMBER_BUILD_TOOL) + " " + dir + "/two.txt " + blocked, status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out.rfind("chamber-build: cannot create directory " + blocked + ": ", 0), 0u) << out;
  out = RunTool(std::string(CHAMBER_BUILD_TOOL) + " " + dir + "/two.txt " + dir + "/a-file", status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find(dir + "/a-file"), std::string::npos) << out;
}

TEST(ChamberBuild, ReadingAContainerFileRejectsTruncationAndGarbage) {
  std::vector<Problem> problems;
  const std::string bytes = chamber::ContainerFileBytes(Parse(kTwoRooms, problems));
  std::vector<chamber::ContainerRoom> rooms;
  std::string reason;
  for (size_t cut = 0; cut < bytes.size(); ++cut)
    EXPECT_FALSE(chamber::ReadContainerFile(bytes.substr(0, cut), rooms, reason)) << cut;
  EXPECT_FALSE(chamber::ReadContainerFile(bytes + "x", rooms, reason));
  // A corner count far beyond the file is refused before anything is allocated.
  std::string huge = bytes;
  huge[4 + 12 + 4 + 16] = '\xff';
  huge[4 + 12 + 4 + 16 + 3] = '\x7f';
  EXPECT_FALSE(chamber::ReadContainerFile(huge, rooms, reason));
  EXPECT_TRUE(chamber::ReadContainerFile(bytes, rooms, reason));
}

}  // namespace
