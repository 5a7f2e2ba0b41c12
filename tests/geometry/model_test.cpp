// The OBJ/MTL loader: the reading rules (tokens, numbers, faces, the line
// cut), the file and path rules, and malformed input that must never make the
// loader or the drawing code index outside an array.
#include "geometry/model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

class ModelFiles : public ::testing::Test {
 protected:
  // Each test gets its own directory, so that files never leak between tests.
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = ::testing::TempDir() + "model_" + info->test_suite_name() + "_" + info->name();
    std::string cleaned;
    for (char c : dir_) cleaned += (c == '/' || std::isalnum(static_cast<unsigned char>(c))) ? c : '_';
    dir_ = cleaned + "/";
    std::system(("mkdir -p '" + dir_ + "'").c_str());
  }
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ + name, std::ios::binary) << text;
    return dir_ + name;
  }
  std::string dir_;
};

// A triangle as expected: vertex indices, the index into the model's normals
// of each corner's normal (-1: zero normal), the material name.
struct Tri {
  int v[3];
  int n[3];
  std::string material;
};

void ExpectTriangles(const Model& model, const std::vector<Tri>& expected) {
  ASSERT_EQ(model.triangleCount, static_cast<int32_t>(model.triangles.size()));
  ASSERT_EQ(model.triangles.size(), expected.size());
  for (size_t t = 0; t < expected.size(); ++t) {
    const Triangle& got = model.triangles[t];
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(got.vertexIndex[k], expected[t].v[k]) << "triangle " << t << " corner " << k;
      const vec3f normal = expected[t].n[k] < 0 ? vec3f() : model.normals.at(expected[t].n[k]);
      EXPECT_EQ(got.normal[k], normal) << "triangle " << t << " corner " << k;
    }
    EXPECT_EQ(got.material, expected[t].material) << "triangle " << t;
  }
}

TEST(SplitString, ListsTokensBetweenDelimiters) {
  struct Case {
    std::string text, delimiters;
    std::vector<std::string> tokens;
  } cases[] = {
      {"v 1 2 3", " ", {"v", "1", "2", "3"}},
      {"v  1", " ", {"v", "", "1"}},        // two delimiters: an empty token
      {" v", " ", {"", "v"}},               // leading delimiter: empty first token
      {"v 1 ", " ", {"v", "1"}},            // trailing delimiter: nothing
      {"v 1  ", " ", {"v", "1", ""}},
      {"", " ", {}},
      {" ", " ", {""}},
      {"1//4", "/", {"1", "", "4"}},
      {"a\tb c", " ", {"a\tb", "c"}},       // the tab is no delimiter
      {"a/b c", " /", {"a", "b", "c"}},     // any of the delimiter characters
  };
  for (const Case& c : cases) {
    std::vector<std::string> tokens{"kept"};
    SplitString(c.text, c.delimiters, tokens);
    std::vector<std::string> expected{"kept"};
    expected.insert(expected.end(), c.tokens.begin(), c.tokens.end());
    EXPECT_EQ(tokens, expected) << "'" << c.text << "'";
  }
}

// Four vertices and six normals ahead of the line under test.
const char* const kPrelude =
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\n"
    "vn 1 0 0\nvn 0 1 0\nvn 0 0 1\nvn -1 0 0\nvn 0 -1 0\nvn 0 0 -1\n";

// The loader's reading rules, one row per rule: the OBJ (and MTL) text, the
// path loaded, and everything the model holds afterwards.
TEST_F(ModelFiles, ReadingRules) {
  std::system(("mkdir -p '" + dir_ + "scenes'").c_str());
  const std::vector<vec3f> prelude = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}};
  const std::vector<vec3f> none;
  const std::vector<Tri> noTriangles;
  struct Mat {
    std::string name;
    float diffuse[3], emissive[3];
  };
  const std::vector<Mat> noMaterials;
  struct Case {
    const char* what;
    std::string file, obj, mtl;
    bool loads;
    std::string name;
    std::vector<vec3f> vertices;
    std::vector<Tri> triangles;
    std::vector<Mat> materials;
  } cases[] = {
      {"a triangle", "m.obj", std::string(kPrelude) + "f 1 2 3\n", "", true, "m.obj", prelude,
       {{{0, 1, 2}, {-1, -1, -1}, ""}}, noMaterials},
      {"vertex//normal corners", "m.obj", std::string(kPrelude) + "f 1//4 2//5 3//6\n", "", true, "m.obj", prelude,
       {{{0, 1, 2}, {3, 4, 5}, ""}}, noMaterials},
      {"a quad of full corners", "m.obj", std::string(kPrelude) + "f 1/7/1 2/8/2 3/9/3 4/10/4\n", "", true, "m.obj",
       prelude, {{{0, 1, 2}, {0, 1, 2}, ""}, {{3, 0, 2}, {3, 0, 2}, ""}}, noMaterials},
      {"corners from the fifth on are ignored", "m.obj", std::string(kPrelude) + "f 1 2 3 4 5\n", "", true, "m.obj",
       prelude, {{{0, 1, 2}, {-1, -1, -1}, ""}, {{3, 0, 2}, {-1, -1, -1}, ""}}, noMaterials},
      {"too few tokens for f and v", "m.obj", std::string(kPrelude) + "f 1 2\nv 1 2\n", "", true, "m.obj", prelude,
       noTriangles, noMaterials},
      {"tokens beyond the third number", "m.obj", "v 1 2 3 4\n", "", true, "m.obj", {{1, 2, 3}}, noTriangles,
       noMaterials},
      {"an empty token reads as 0", "m.obj", "v  1 2 3\n", "", true, "m.obj", {{0, 1, 2}}, noTriangles, noMaterials},
      {"a leading space hides the keyword", "m.obj", " v 1 2 3\n", "", true, "m.obj", none, noTriangles, noMaterials},
      {"keywords are case-sensitive", "m.obj", "V 1 2 3\nVN 0 1 0\n", "", true, "m.obj", none, noTriangles,
       noMaterials},
      {"no usemtl: no material", "m.obj", std::string(kPrelude) + "f 1 2 3\nusemtl red\nf 2 3 4\n", "", true,
       "m.obj", prelude, {{{0, 1, 2}, {-1, -1, -1}, ""}, {{1, 2, 3}, {-1, -1, -1}, "red"}}, noMaterials},
      {"a tab-indented colour line", "m.obj", "mtllib m.mtl\n", "newmtl a\n\tKd 0.5 0.25 1\n", true, "m.obj", none,
       noTriangles, {{"a", {0.5f, 0.25f, 1}, {0, 0, 0}}}},
      {"two materials of one name are both kept", "m.obj", "mtllib m.mtl\n",
       "newmtl a\nKd 1 0 0\nnewmtl a\nKe 0 0 1\n", true, "m.obj", none, noTriangles,
       {{"a", {1, 0, 0}, {0, 0, 0}}, {"a", {0, 0, 0}, {0, 0, 1}}}},
      {"the suffix is lower case", "model.OBJ", "v 1 2 3\n", "", false, "", none, noTriangles, noMaterials},
      // CR LF line ends: the CR is no part of a name that ends the line.
      {"usemtl name before CR LF", "m.obj", std::string(kPrelude) + "usemtl red\r\nf 1 2 3\r\n", "", true,
       "m.obj", prelude, {{{0, 1, 2}, {-1, -1, -1}, "red"}}, noMaterials},
      {"newmtl name before CR LF", "m.obj", "mtllib m.mtl\n", "newmtl red\r\nKd 1 0 0\r\n", true, "m.obj", none,
       noTriangles, {{"red", {1, 0, 0}, {0, 0, 0}}}},
      {"mtllib name before CR LF", "m.obj", "mtllib m.mtl\r\n", "newmtl a\n", true, "m.obj", none, noTriangles,
       {{"a", {0, 0, 0}, {0, 0, 0}}}},
      {"a path with a directory", "scenes/room.obj", "mtllib room.mtl\nv 1 2 3\n", "", true, "room.obj",
       {{1, 2, 3}}, noTriangles, {{"from-scenes", {0, 0, 0}, {0, 0, 0}}}},
  };
  Write("scenes/room.mtl", "newmtl from-scenes\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Write("m.mtl", c.mtl);
    Write(c.file, c.obj);
    Model model;
    ::testing::internal::CaptureStdout();
    const bool loaded = model.Load(dir_ + c.file);
    ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(loaded, c.loads);
    EXPECT_EQ(model.name, c.name);
    EXPECT_EQ(model.vertices, c.vertices);
    ExpectTriangles(model, c.triangles);
    ASSERT_EQ(model.materials.size(), c.materials.size());
    for (size_t i = 0; i < c.materials.size(); ++i) {
      const Material& m = model.materials[i];
      EXPECT_EQ(m.name, c.materials[i].name);
      for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(m.diffuse[k], c.materials[i].diffuse[k]);
        EXPECT_EQ(m.emissive[k], c.materials[i].emissive[k]);
      }
      EXPECT_EQ(m.diffuse[3], 1.0f);
      EXPECT_EQ(m.emissive[3], 1.0f);
    }
  }
}

// More face lines: forms and malformed lines the rules above imply.
TEST_F(ModelFiles, FaceLinesFollowTheReadingRules) {
  struct Case {
    const char* what;
    std::string lines;
    std::vector<Tri> triangles;
  } cases[] = {
      {"vertex/texture has no normal", "f 1/1 2/2 3/3", {{{0, 1, 2}, {-1, -1, -1}, ""}}},
      {"trailing space adds no corner", "f 1 2 ", {}},
      {"usemtl applies to later faces", "f 1 2 3\nusemtl red\nf 2 3 4\nusemtl blue\nf 3 4 1",
       {{{0, 1, 2}, {-1, -1, -1}, ""}, {{1, 2, 3}, {-1, -1, -1}, "red"}, {{2, 3, 0}, {-1, -1, -1}, "blue"}}},
      {"capital F is no keyword", "F 1 2 3", {}},
      {"leading space hides the keyword", " f 1 2 3", {}},
      {"negative indices count back", "f -1 -2 -3//-1", {{{4, 3, 2}, {-1, -1, 5}, ""}}},
      {"blank-led numbers as atoi reads them", "f 1\t 2x 3.9", {{{0, 1, 2}, {-1, -1, -1}, ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Model model;
    ASSERT_TRUE(model.Load(Write("m.obj", std::string(kPrelude) + c.lines + "\n")));
    EXPECT_EQ(model.vertices.size(), 5u);
    ExpectTriangles(model, c.triangles);
  }
}

// Face lines that give fewer triangles than their corners ask for are
// counted, the first one's line and reason kept, without changing what is
// read (the reading rules above still hold).
TEST_F(ModelFiles, ShortFaceLinesAreCountedWithTheFirstOnesLineAndReason) {
  struct Case {
    const char* what;
    std::string lines;  // after the 11 lines of kPrelude
    std::string says;   // ShortFaceLinesText, empty for none
  } cases[] = {
      {"plain triangles and quads", "f 1 2 3\nf 1 2 3 4\nf 1//1 2//2 3//3 4//4", ""},
      {"a face of too few corners asks for nothing", "f 1 2\nf", ""},
      {"an empty corner that still leaves the asked triangle", "f 1  2 3", ""},
      {"two blanks between corners", "f 1 2 3\nf 1  2  3  4", "m.obj: 1 face line not fully read (first at line 13: two blanks in a row)"},
      {"a blank before the first corner", "f  1 2 3", "m.obj: 1 face line not fully read (first at line 12: two blanks in a row)"},
      {"more than four corners, counted per line",
       "f 1 2 3 4 5\nf 1 2 3\nf 5 4 3 2 1\nf -1 -2 -3 -4 -5",
       "m.obj: 3 face lines not fully read (first at line 12: more than four corners)"},
      {"a corner that names no vertex", "f 0 1 2\nf 1 2 -9", "m.obj: 2 face lines not fully read (first at line 12: a corner names no vertex)"},
      {"tabs between corners", "f\t1\t2\t3\nf 1\t2\t3", "m.obj: 2 face lines not fully read (first at line 12: a tab between corners)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Model model;
    ASSERT_TRUE(model.Load(Write("m.obj", std::string(kPrelude) + c.lines + "\n")));
    EXPECT_EQ(ShortFaceLinesText(model), c.says);
  }
  // A reload starts the count again.
  Model model;
  ASSERT_TRUE(model.Load(Write("m.obj", std::string(kPrelude) + "f 1 2 3 4 5\n")));
  ASSERT_TRUE(model.Load(Write("n.obj", std::string(kPrelude) + "f 1 2 3\n")));
  EXPECT_EQ(ShortFaceLinesText(model), "");
}

// The count decides most lines without looking at them whole; here it is
// compared with the plain rule, line by line: a face line is short when its
// blank-separated words ask for more triangles (words - 2) than loading that
// line alone gives.
TEST_F(ModelFiles, ShortFaceLinesCountAsThePlainRuleCountsThem) {
  std::mt19937 random(11);
  const std::vector<std::string> words = {"1", "2", "3", "4", "5", "-1", "-3", "0", "1//2", "2/1/1", "x", ""};
  auto randomLine = [&] {
    std::string line = "f";
    const int count = std::uniform_int_distribution<int>(0, 7)(random);
    for (int i = 0; i < count; ++i) line += " " + words[random() % words.size()];
    if (random() % 4 == 0) line += " ";
    return line;
  };
  auto triangles = [&](const std::string& line) {
    Model model;
    EXPECT_TRUE(model.Load(Write("one.obj", std::string(kPrelude) + line + "\n")));
    return model.triangles.size();
  };
  for (int file = 0; file < 40; ++file) {
    std::string text = kPrelude;
    int64_t expected = 0, firstLine = 0;
    for (int i = 0; i < 25; ++i) {
      const std::string line = randomLine();
      std::vector<std::string> tokens;
      SplitString(line.substr(1), " ", tokens);
      const int64_t corners = std::count_if(tokens.begin(), tokens.end(), [](const std::string& t) { return !t.empty(); });
      if (corners >= 3 && static_cast<size_t>(corners - 2) > triangles(line)) {
        ++expected;
        if (firstLine == 0) firstLine = 12 + i;
      }
      text += line + "\n";
    }
    SCOPED_TRACE(text);
    Model model;
    ASSERT_TRUE(model.Load(Write("m.obj", text)));
    EXPECT_EQ(model.shortFaceLines.lines, expected);
    EXPECT_EQ(model.shortFaceLines.firstLine, firstLine);
  }
}

// More vertex lines: how numbers read, as atof reads them.
TEST_F(ModelFiles, VertexLinesFollowTheReadingRules) {
  const float inf = INFINITY;
  struct Case {
    std::string line;
    std::vector<vec3f> vertices;
  } cases[] = {
      {"v 1 2 3", {{1, 2, 3}}},
      {"v 1 2  ", {{1, 2, 0}}},               // the last, empty token counts
      {"v\t1 2 3", {}},                        // "v\t1" is no keyword
      {"v +1.5e1 -.25 \t7", {{15, -0.25f, 7}}},
      {"v 0x10 1abc abc", {{16, 1, 0}}},      // hexadecimal, a stop at 'a', nothing
      {"v - -1 --1", {{0, -1, 0}}},
      {"v 1e999 -1e999 1e-999", {{inf, -inf, 0}}},
      {"v 0.1 3.4028235e38 1e-45", {{0.1f, 3.4028235e38f, 1e-45f}}},
      {"v 1 2 3\r", {{1, 2, 3}}},             // a CR LF line
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Model model;
    ASSERT_TRUE(model.Load(Write("m.obj", c.line + "\n")));
    EXPECT_EQ(model.vertices, c.vertices);
    EXPECT_TRUE(model.normals.empty());
  }
  Model model;
  ASSERT_TRUE(model.Load(Write("n.obj", "vn 0 1 0\nVN 1 0 0\nvn 1 2\nvn 1 2 3")));  // no final LF
  EXPECT_EQ(model.normals, (std::vector<vec3f>{{0, 1, 0}, {1, 2, 3}}));
}

TEST_F(ModelFiles, NormalsAreCopiedAsTheyStandWhenTheFaceIsRead) {
  Model model;
  ASSERT_TRUE(model.Load(Write("m.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\n"
                                        "f 1//1 2//2 3//1\nvn 0 1 0\nf 1//1 2//2 3//2\n")));
  ExpectTriangles(model, {{{0, 1, 2}, {0, -1, 0}, ""}, {{0, 1, 2}, {0, 1, 1}, ""}});
}

TEST_F(ModelFiles, ReadingStopsAfterALineLongerThan1023Characters) {
  // A comment of exactly 1023 characters is an ordinary line.
  const std::string full = "#" + std::string(1022, 'x');
  Model model;
  ASSERT_TRUE(model.Load(Write("a.obj", full + "\nv 1 2 3\n")));
  EXPECT_EQ(model.vertices.size(), 1u);

  // Followed by CR LF it is still 1023 characters long.
  ASSERT_TRUE(model.Load(Write("crlf.obj", full + "\r\nv 1 2 3\r\n")));
  EXPECT_EQ(model.vertices, (std::vector<vec3f>{{1, 2, 3}}));

  // One character more: the line is kept cut and nothing after it is read.
  ASSERT_TRUE(model.Load(Write("b.obj", "v 1 1 1\n" + full + "y\nv 1 2 3\n")));
  EXPECT_EQ(model.vertices, (std::vector<vec3f>{{1, 1, 1}}));

  // The cut falls inside a vertex line: its first 1023 characters still count.
  const std::string longVertex = "v 1 2 3" + std::string(1016, ' ') + "9";
  ASSERT_TRUE(model.Load(Write("c.obj", longVertex.substr(0, 1023) + "9\nv 4 5 6\n")));
  EXPECT_EQ(model.vertices, (std::vector<vec3f>{{1, 2, 3}}));
}

// Files larger than the loader's read buffer: lines that straddle a buffer
// boundary are read whole, and a too-long line there still ends reading.
TEST_F(ModelFiles, LargeFilesReadLikeSmallOnes) {
  std::string text;
  int count = 0;
  while (text.size() < (3u << 20)) {
    text += "v " + std::to_string(count) + " " + std::to_string(count % 7) + ".5 -" + std::to_string(count) + "\r\n";
    ++count;
  }
  Model model;
  ASSERT_TRUE(model.Load(Write("big.obj", text)));
  ASSERT_EQ(model.vertices.size(), static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    ASSERT_EQ(model.vertices[static_cast<size_t>(i)], vec3f(static_cast<float>(i), i % 7 + 0.5f, -static_cast<float>(i))) << i;

  // A 2000-character line starting just before the 1 MiB mark.
  const size_t start = text.rfind('\n', (1u << 20) - 10) + 1;
  const std::string cut = text.substr(0, start) + "#" + std::string(2000, 'x') + "\nv 1 1 1\n";
  ASSERT_TRUE(model.Load(Write("cut.obj", cut)));
  EXPECT_EQ(model.vertices.size(), static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<long>(start), '\n')));
}

TEST_F(ModelFiles, MaterialsComeFromTheNamedLibraries) {
  Write("a.mtl",
        "# first library\nnewmtl red\nKd 1 0 0\n\tKd 0.5 0.25 1\nKs 1 1 1\n"
        "newmtl lamp\n  Ke 1 1 0.5\nnewmtl red\nKd 0 0 1\n");
  Write("b.mtl", "Kd 0.9 0.9 0.9\nnewmtl grey\nKd 0.5 0.5 0.5 0.1\n");
  Model model;
  ASSERT_TRUE(model.Load(Write("m.obj", "mtllib a.mtl extra\nmtllib b.mtl\n")));
  ASSERT_EQ(model.materials.size(), 4u);
  struct Expected {
    std::string name;
    float diffuse[4], emissive[4];
  } expected[] = {
      {"red", {0.5f, 0.25f, 1, 1}, {0, 0, 0, 1}},
      {"lamp", {0, 0, 0, 1}, {0, 0, 0, 1}},  // "  Ke": the first token is empty
      {"red", {0, 0, 1, 1}, {0, 0, 0, 1}},   // both materials named red are kept
      {"grey", {0.5f, 0.5f, 0.5f, 1}, {0, 0, 0, 1}},
  };
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(model.materials[i].name, expected[i].name);
    for (int c = 0; c < 4; ++c) {
      EXPECT_EQ(model.materials[i].diffuse[c], expected[i].diffuse[c]);
      EXPECT_EQ(model.materials[i].emissive[c], expected[i].emissive[c]);
    }
  }
  // A tab-indented emissive line is read.
  Write("c.mtl", "newmtl glow\n\tKe 0.5 0 0\n");
  ASSERT_TRUE(model.Load(Write("n.obj", "mtllib c.mtl\n")));
  ASSERT_EQ(model.materials.size(), 1u);
  EXPECT_EQ(model.materials[0].emissive[0], 0.5f);
}

TEST_F(ModelFiles, PathsNamesAndConsoleLines) {
  std::system(("mkdir -p '" + dir_ + "scenes'").c_str());
  Write("scenes/room.obj", "mtllib room.mtl\nmtllib missing.mtl\nv 0 0 0\n");
  Write("scenes/room.mtl", "newmtl wall\n");
  Write("model.OBJ", "v 0 0 0\n");

  Model model;
  model.name = "old";
  model.vertices.resize(3);
  ::testing::internal::CaptureStdout();
  const bool loaded = model.Load(dir_ + "scenes/room.obj");
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(loaded);
  EXPECT_EQ(model.name, "room.obj");
  EXPECT_EQ(model.vertices.size(), 1u);
  ASSERT_EQ(model.materials.size(), 1u);  // the missing library adds nothing
  EXPECT_EQ(out, "Loading OBJ File '" + dir_ + "scenes/room.obj'\n" +
                     "Loading MTL File '" + dir_ + "scenes/room.mtl'\n" +
                     "Loading MTL File '" + dir_ + "scenes/missing.mtl'\n");

  // Not loaded: the suffix is compared byte for byte, short paths fail, and
  // every refusal still clears the model.
  for (const std::string& path : {dir_ + "model.OBJ", std::string("obj"), std::string(".ob")}) {
    model.vertices.resize(2);
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(model.Load(path)) << path;
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << path;
    EXPECT_TRUE(model.vertices.empty()) << path;
  }

  // A missing OBJ file: the line is printed, the model is empty but named.
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(model.Load(dir_ + "none.obj"));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Loading OBJ File '" + dir_ + "none.obj'\n");
  EXPECT_EQ(model.name, "none.obj");
  EXPECT_EQ(model.triangleCount, 0);
}

// Input the format does not allow. Whatever the file says, every triangle
// left in the model indexes the vertex list within range, and malformed
// lines change nothing they do not name.
TEST_F(ModelFiles, MalformedInputNeverIndexesOutsideTheLists) {
  struct Case {
    const char* what;
    std::string obj;
    std::string mtl;
    std::vector<Tri> triangles;
    size_t materials;
  } cases[] = {
      {"empty corner", "f 1  2\nf 1 2  3\nf 1  2 3\n", "", {{{2, 0, 1}, {-1, -1, -1}, ""}}, 0},
      {"corner without a vertex field", "f /1/1 2 3\nf 1 2 3 //1\n", "", {{{0, 1, 2}, {-1, -1, -1}, ""}}, 0},
      {"vertex index 0", "f 0 1 2\n", "", {}, 0},
      {"vertex index beyond the vertices", "f 1 2 6\nf 1 2 3 99\n", "", {{{0, 1, 2}, {-1, -1, -1}, ""}}, 0},
      {"vertex index defined later", "f 1 2 6\nv 9 9 9\n", "", {{{0, 1, 5}, {-1, -1, -1}, ""}}, 0},
      {"huge indices", "f 99999999999999999999 1 2\nf 1 2 -99999999999999999\nf 2147483648 1 2\n", "", {}, 0},
      {"relative index before the list start", "f -6 1 2\n", "", {}, 0},
      {"normal index beyond the normals", "f 1//7 2//0 3//-7\n", "", {{{0, 1, 2}, {-1, -1, -1}, ""}}, 0},
      {"usemtl without a name keeps the material", "usemtl a\nusemtl\nusemtl \nf 1 2 3\n", "",
       {{{0, 1, 2}, {-1, -1, -1}, "a"}}, 0},
      {"mtllib without a name", "mtllib\nmtllib \n", "", {}, 0},
      {"colours before newmtl and short colours", "mtllib m.mtl\n",
       "Kd 1 1 1\nKe 1 1 1\nnewmtl a\nKd 0.5 0.5\nKe 1\nKd\n", {}, 1},
      {"nameless newmtl drops its colours", "mtllib m.mtl\n", "newmtl a\nKd 0.5 0.5 0.5\nnewmtl\nKd 1 1 1\n", {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Write("m.mtl", c.mtl);
    Model model;
    ASSERT_TRUE(model.Load(Write("m.obj", std::string(kPrelude) + c.obj)));
    ExpectTriangles(model, c.triangles);
    for (const Triangle& t : model.triangles)
      for (int k = 0; k < 3; ++k) {
        EXPECT_GE(t.vertexIndex[k], 0);
        EXPECT_LT(t.vertexIndex[k], static_cast<int32_t>(model.vertices.size()));
      }
    ASSERT_EQ(model.materials.size(), c.materials);
    for (const Material& m : model.materials) {
      EXPECT_EQ(m.name, "a");
      // Only a full colour line after "newmtl a" could change it.
      const float expected = c.mtl.find("newmtl a\nKd 0.5 0.5 0.5") != std::string::npos ? 0.5f : 0.0f;
      EXPECT_EQ(m.diffuse[0], expected);
      EXPECT_EQ(m.emissive[0], 0.0f);
    }
  }
}

TEST_F(ModelFiles, ACopyIsIndependentAndReloadingClears) {
  Model model;
  ASSERT_TRUE(model.Load(Write("a.obj", std::string(kPrelude) + "f 1 2 3 4\n")));
  Model copy = model;
  ASSERT_TRUE(model.Load(Write("b.obj", "v 1 1 1\nf 1 1 1\n")));
  EXPECT_EQ(model.name, "b.obj");
  EXPECT_EQ(model.vertices.size(), 1u);
  EXPECT_EQ(model.normals.size(), 0u);
  EXPECT_EQ(model.triangleCount, 1);
  EXPECT_EQ(copy.name, "a.obj");
  EXPECT_EQ(copy.vertices.size(), 5u);
  EXPECT_EQ(copy.triangleCount, 2);
}

}  // namespace
