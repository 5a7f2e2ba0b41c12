// The OBJ/MTL loader against the reading rules written the plain way
// (tests/support/reference_model.h): random and hostile files must load to
// the same bits. Also the rules about empty names and reading each file once.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include "geometry/model.h"
#include "tests/support/reference_model.h"

namespace {

class ModelReading : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = ::testing::TempDir() + "reading_" + info->name();
    std::string cleaned;
    for (char c : dir_) cleaned += (c == '/' || std::isalnum(static_cast<unsigned char>(c))) ? c : '_';
    dir_ = cleaned + "/";
    std::system(("rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "'").c_str());
  }
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ + name, std::ios::binary) << text;
    return dir_ + name;
  }
  // Loads path with the loader and with the reference, expecting the same
  // result, the same console lines and the same bits.
  void ExpectSameAsReference(const std::string& path, const std::string& what) {
    Model fast, reference;
    ::testing::internal::CaptureStdout();
    const bool fastLoaded = fast.Load(path);
    const std::string fastOut = ::testing::internal::GetCapturedStdout();
    ::testing::internal::CaptureStdout();
    const bool referenceLoaded = LoadReferenceModel(reference, path);
    const std::string referenceOut = ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(fastLoaded, referenceLoaded) << what;
    ASSERT_EQ(fastOut, referenceOut) << what;
    std::string difference;
    ASSERT_TRUE(SameModel(fast, reference, difference)) << difference << "\n" << what;
  }
  std::string dir_;
};

// Loads quietly.
Model Load(const std::string& path, std::string* out = nullptr) {
  Model model;
  ::testing::internal::CaptureStdout();
  model.Load(path);
  const std::string printed = ::testing::internal::GetCapturedStdout();
  if (out) *out = printed;
  return model;
}

TEST_F(ModelReading, EmptyNamesAfterUsemtlNewmtlAndMtllib) {
  Write("m.mtl", "newmtl  ignored\nKd 0.5 0.25 1\nnewmtl red\nKd 1 0 0\n");
  std::string out;
  const Model model = Load(Write("m.obj",
                                 "mtllib m.mtl\nmtllib  m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
                                 "usemtl red\nf 1 2 3\nusemtl  red\nf 1 2 3\nusemtl\nf 1 2 3\n"),
                           &out);
  // "newmtl" and two blanks: a material named "" with its colour line.
  ASSERT_EQ(model.materials.size(), 2u);
  EXPECT_EQ(model.materials[0].name, "");
  EXPECT_EQ(model.materials[0].diffuse[1], 0.25f);
  EXPECT_EQ(model.materials[1].name, "red");
  // "usemtl" and two blanks selects the name "", which the scene looks up
  // like any other; a bare "usemtl" changes nothing.
  ASSERT_EQ(model.triangles.size(), 3u);
  EXPECT_EQ(model.triangles[0].material, "red");
  EXPECT_EQ(model.triangles[1].material, "");
  EXPECT_EQ(model.triangles[2].material, "");
  // "mtllib" and two blanks reports the library it would read, the
  // directory alone, and reads nothing.
  EXPECT_EQ(out, "Loading OBJ File '" + dir_ + "m.obj'\nLoading MTL File '" + dir_ + "m.mtl'\nLoading MTL File '" + dir_ + "'\n");
}

// The OBJ file is closed before its first line is interpreted: when the
// loader opens the library its first line names (a pipe here, so that the
// loader waits for it), the OBJ file is no longer among the open files.
TEST_F(ModelReading, TheObjFileIsClosedBeforeItsLinesAreInterpreted) {
  const std::string obj = Write("m.obj", "mtllib lib.mtl\nv 1 2 3\n");
  const std::string fifo = dir_ + "lib.mtl";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  bool objOpen = true;
  std::thread writer([&] {
    const int fd = open(fifo.c_str(), O_WRONLY);  // waits for the loader
    objOpen = false;
    for (int i = 0; i < 1024; ++i) {
      char link[PATH_MAX];
      const std::string entry = "/proc/self/fd/" + std::to_string(i);
      const ssize_t n = readlink(entry.c_str(), link, sizeof link - 1);
      if (n > 0 && std::string(link, static_cast<size_t>(n)) == obj) objOpen = true;
    }
    // More than one read's worth, so that the reader's buffer has to grow.
    std::string text = "newmtl piped\nKd 1 1 1\n";
    while (text.size() < 100000) text += "# padding\n";
    if (fd >= 0) {
      (void)!write(fd, text.data(), text.size());
      close(fd);
    }
  });
  const Model model = Load(obj);
  writer.join();
  EXPECT_FALSE(objOpen);
  ASSERT_EQ(model.materials.size(), 1u);
  EXPECT_EQ(model.materials[0].name, "piped");
  EXPECT_EQ(model.vertices.size(), 1u);
}

TEST_F(ModelReading, ADirectoryReadsAsAnEmptyFile) {
  std::system(("mkdir -p '" + dir_ + "d.obj' '" + dir_ + "d.mtl'").c_str());
  Model model;
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(model.Load(dir_ + "d.obj"));
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(model.triangleCount, 0);
  ExpectSameAsReference(Write("m.obj", "mtllib d.mtl\nv 1 1 1\n"), "a directory as library");
}

// The plain lines are read without checking for the end of the text before
// each byte: files that end inside one, or right after one, at every place.
TEST_F(ModelReading, FilesEndingInsideAPlainLine) {
  const std::string lines[] = {"v 1.5 -2 0.25", "vn -0.5 1 .5", "f 1 2 3", "f 1//1 2//1 3//1 1//1", "f 1/1/1 2/2/1 3/3/1",
                               "v 1 2 3\r", "f 1 2 3 4\r"};
  for (const std::string& line : lines) {
    for (size_t cut = 0; cut <= line.size(); ++cut) {
      const std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\n" + line.substr(0, cut);
      ExpectSameAsReference(Write("m.obj", text), "ending in '" + line.substr(0, cut) + "'");
      ExpectSameAsReference(Write("m.obj", text + "\n"), "ending in '" + line.substr(0, cut) + "' and a line feed");
      if (HasFatalFailure()) return;
    }
  }
}

// Random files from the pieces real and broken files are made of.
class RandomObj {
 public:
  explicit RandomObj(unsigned seed) : random_(seed) {}

  std::string number() {
    static const char* const odd[] = {"", "+1.5", "-.5", ".", "-", "0x1A", "0X.8p1", "inf", "-nan", "nan(1)", "1e",
                                      "1e999", "-1e-999", "2.5abc", "\t3", " ", "1,5", "12345678901234567890123",
                                      "0.1000000000000000055511151231257827", "1e-45", "3.4028236e38", "7.0e-46"};
    switch (pick(6)) {
      case 0: return odd[pick(sizeof odd / sizeof *odd)];
      case 1: return std::to_string(static_cast<int>(pick(2000)) - 1000);
      case 2: {
        char text[40];
        std::snprintf(text, sizeof text, "%.*e", static_cast<int>(pick(12)), uniform(-1e30, 1e30));
        return text;
      }
      default: {
        char text[40];
        std::snprintf(text, sizeof text, "%.*f", static_cast<int>(pick(10)), uniform(-100, 100));
        return text;
      }
    }
  }

  std::string index() {
    static const char* const odd[] = {"", "0", "-0", "+2", " 1", "\t2", "x", "2147483647", "2147483648", "-2147483649",
                                      "99999999999999999999", "-99999999999999999999", "1.9", "3x", "123456789", "1234567890"};
    if (pick(8) == 0) return odd[pick(sizeof odd / sizeof *odd)];
    const int count = static_cast<int>(pick(12)) + 1;
    return std::to_string(pick(3) == 0 ? -static_cast<int>(pick(count)) - 1 : static_cast<int>(pick(count)) + 1);
  }

  std::string corner() {
    switch (pick(7)) {
      case 0: return index();
      case 1: return index() + "/" + index();
      case 2: return index() + "/" + index() + "/" + index();
      case 3: return index() + "/" + index() + "/" + index() + "/" + index();
      case 4: return pick(2) ? index() + "/" : "/" + index() + "//";
      default: return index() + "//" + index();
    }
  }

  std::string name() {
    static const char* const names[] = {"", "red", "blue", "a b", "red\r", "\tred", "x"};
    return names[pick(sizeof names / sizeof *names)];
  }

  std::string objLine() {
    static const char* const keywords[] = {"v", "vn", "f", "usemtl", "mtllib", "#", "g", "vt", "V", "", " v", "v\t", "fo"};
    std::string line = keywords[pick(sizeof keywords / sizeof *keywords)];
    const std::string keyword = line;
    const int tokens = static_cast<int>(pick(7));
    for (int t = 0; t < tokens; ++t) {
      line += pick(10) == 0 ? "  " : " ";
      if (keyword == "f" || keyword == "fo") line += corner();
      else if (keyword == "usemtl") line += name();
      else if (keyword == "mtllib") line += pick(4) ? "m.mtl" : name();
      else line += number();
    }
    return finish(line);
  }

  std::string mtlLine() {
    static const char* const keywords[] = {"newmtl", "Kd", "Ke", "\tKd", "Ka", "#", "", "\tnewmtl", "K\td"};
    std::string line = keywords[pick(sizeof keywords / sizeof *keywords)];
    const bool named = line.find("newmtl") != std::string::npos;
    const int tokens = static_cast<int>(pick(6));
    for (int t = 0; t < tokens; ++t) line += (pick(10) == 0 ? " \t " : " ") + (named ? name() : number());
    return finish(line);
  }

  std::string file(bool mtl, int lines) {
    std::string text;
    for (int i = 0; i < lines; ++i) text += mtl ? mtlLine() : objLine();
    if (!text.empty() && pick(4) == 0) text.pop_back();  // no final line feed
    return text;
  }

 private:
  size_t pick(size_t n) { return static_cast<size_t>(random_() % n); }
  double uniform(double low, double high) { return std::uniform_real_distribution<double>(low, high)(random_); }

  // Line ends and the rare line too long to read whole.
  std::string finish(std::string line) {
    if (pick(50) == 0) line += std::string(1000 + pick(40), pick(2) ? ' ' : '7');
    if (pick(200) == 0) line += std::string(1, '\0') + "1";
    if (pick(20) == 0) line += " ";
    if (pick(10) == 0) line += "\r";
    return line + "\n";
  }

  std::mt19937 random_;
};

TEST_F(ModelReading, RandomFilesLoadAsTheReferenceLoadsThem) {
  RandomObj random(2026);
  for (int i = 0; i < 1000; ++i) {
    Write("m.mtl", random.file(true, 12));
    const std::string obj = random.file(false, 40);
    ExpectSameAsReference(Write("m.obj", obj), "case " + std::to_string(i) + ":\n" + obj);
    if (HasFatalFailure()) return;
  }
}

// Hostile files: binary noise, bytes that look like the keywords, lines of
// every length around the cut, and a file larger than any buffer.
TEST_F(ModelReading, HostileFilesLoadAsTheReferenceLoadsThem) {
  std::mt19937 random(99);
  const std::string pieces[] = {"v ", "vn ", "f ", "/", "//", " ", "  ", "1", "-1", "0.5", "\n", "\r\n", "\r", "\t",
                                "e9", "usemtl ", "mtllib m.mtl", "newmtl ", std::string(1, '\0'), "\xff", "9999999999"};
  for (int i = 0; i < 300; ++i) {
    std::string text;
    const int count = static_cast<int>(random() % 300);
    for (int k = 0; k < count; ++k) {
      if (random() % 5 == 0) text += static_cast<char>(random() % 256);
      else text += pieces[random() % (sizeof pieces / sizeof *pieces)];
    }
    Write("m.mtl", text);
    ExpectSameAsReference(Write("m.obj", text), "hostile case " + std::to_string(i));
    if (HasFatalFailure()) return;
  }
  // A vertex line cut at every length around the limit, with and without CR.
  for (size_t length = 1018; length <= 1028; ++length) {
    for (const char* end : {"\n", "\r\n"}) {
      std::string line = "v 1 2 3";
      while (line.size() < length) line += line.size() % 3 ? "5" : " ";
      ExpectSameAsReference(Write("m.obj", "v 9 9 9\n" + line + end + "v 4 5 6\nf 1 2 3\n"),
                            "line of " + std::to_string(length));
    }
  }
  // Several megabytes of a regular model, as exporters write it.
  std::string big = "mtllib m.mtl\n";
  RandomObj numbers(5);
  for (int i = 0; big.size() < (4u << 20); ++i) {
    big += "v " + numbers.number() + " " + numbers.number() + " " + numbers.number() + "\n";
    big += "vn 0." + std::to_string(i % 1000) + " 1 -0.25\n";
    if (i % 50 == 0) big += "usemtl m" + std::to_string(i % 7) + "\n";
    if (i > 3) big += "f " + std::to_string(i) + "//" + std::to_string(i) + " -2//-2 -3//1 " + std::to_string(i - 3) + "\n";
  }
  Write("m.mtl", "newmtl m0\nKd 1 0 0\n");
  ExpectSameAsReference(Write("big.obj", big), "the large model");
}

// The lists are given room for the longest ones a text of the file's size
// could give, far more than a regular model uses. Where the system refuses that
// much address space (a strict overcommit setting, a limit on the
// process), the load must still succeed, with the lists growing as they
// are filled: here a child process limited to a little more address space
// than the model needs.
TEST_F(ModelReading, ALoadSucceedsWhenTheRoomForTheLongestListsIsRefused) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves address space beyond any limit";
#else
  std::string text;
  for (int i = 1; text.size() < (3u << 20); ++i) {
    text += "v " + std::to_string(i % 977) + ".25 0.5 -" + std::to_string(i % 13) + "\n";
    text += "vn 0 1 0\n";
    if (i > 3) text += "f " + std::to_string(i) + "//" + std::to_string(i) + " -2//-2 -3//1 " + std::to_string(i - 3) + "\n";
  }
  const std::string path = Write("big.obj", text);
  Model reference;
  ::testing::internal::CaptureStdout();
  ASSERT_TRUE(LoadReferenceModel(reference, path));
  ::testing::internal::GetCapturedStdout();
  ASSERT_GT(reference.triangles.size(), 100000u);

  std::fflush(nullptr);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The address space in use now, and 40 MB more: enough for the text and
    // the model, not for the 48 MB of room for the longest triangle list.
    long pages = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm || std::fscanf(statm, "%ld", &pages) != 1) _exit(3);
    std::fclose(statm);
    const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (40u << 20);
    const struct rlimit room = {limit, limit};
    if (setrlimit(RLIMIT_AS, &room) != 0) _exit(3);
    if (!std::freopen("/dev/null", "w", stdout)) _exit(3);
    Model model;
    if (!model.Load(path)) _exit(1);
    std::string difference;
    _exit(SameModel(model, reference, difference) ? 0 : 2);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the load died of signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not loaded; 2: not the reference's model; 3: no limit set";
#endif
}

}  // namespace
