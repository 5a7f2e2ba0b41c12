// Reading a chamber description: one statement per line, words separated by
// blanks, "#" to the end of the line a comment.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "tools/chamber-build/chamber.h"

namespace chamber {
namespace {

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line.substr(0, line.find('#')));
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

bool ToNumber(const std::string& word, float& value) {
  if (word.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtof(word.c_str(), &end);
  return *end == '\0' && errno == 0 && std::isfinite(value);
}

bool IsName(const std::string& word) {
  if (word.empty()) return false;
  for (char c : word)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-')) return false;
  // A name that reads as a number would be ambiguous after "colour".
  float ignored;
  return !ToNumber(word, ignored);
}

// The six sides of a box, in the order its faces are added.
const char* const kSides[6] = {"-x", "+x", "-y", "+y", "-z", "+z"};

class Parser {
 public:
  Parser(std::vector<Problem>& problems) : problems_(problems) {}

  Chamber Run(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      ++line_;
      words_ = Words(line);
      if (!words_.empty()) Statement();
    }
    if (room_) Fail("room '" + room_->name + "' has no 'end'", room_->line);
    return std::move(chamber_);
  }

 private:
  void Fail(const std::string& message, int line = -1) {
    problems_.push_back({line < 0 ? line_ : line, message});
  }

  void Statement() {
    const std::string& word = words_[0];
    if (word == "material" || word == "light") return MaterialStatement(word == "light");
    if (word == "room") return RoomStatement();
    if (!room_) return Fail("'" + word + "' outside a room (rooms start with 'room NAME')");
    if (word == "end") return EndStatement();
    if (word == "gravity") return GravityStatement();
    if (word == "colour" || word == "color") {
      size_t at = 1;
      int material = -1;
      if (Surface(at, false, room_->name + ".colour", material) && Finished(at)) room_->material = material;
      return;
    }
    if (word == "box") return BoxStatement();
    if (word == "side") return SideStatement();
    if (word == "face") return FaceStatement();
    Fail("unknown statement '" + word + "'");
  }

  bool Finished(size_t at) {
    if (at == words_.size()) return true;
    Fail("unexpected '" + words_[at] + "'");
    return false;
  }

  // Three colour components from 0 to 1 starting at words_[at].
  bool Colour(size_t at, float* rgb) {
    if (!Numbers(at, 3, rgb)) return false;
    for (int i = 0; i < 3; ++i)
      if (!(rgb[i] >= 0 && rgb[i] <= 1)) {
        Fail("colour components go from 0 to 1, and " + words_[at + static_cast<size_t>(i)] + " does not");
        return false;
      }
    return true;
  }

  // Reads n numbers starting at words_[at].
  bool Numbers(size_t at, size_t n, float* out) {
    if (words_.size() < at + n) {
      Fail("'" + words_[0] + "' needs " + std::to_string(n) + " numbers");
      return false;
    }
    for (size_t i = 0; i < n; ++i)
      if (!ToNumber(words_[at + i], out[i])) {
        Fail("'" + words_[at + i] + "' is not a number");
        return false;
      }
    return true;
  }

  int FindMaterial(const std::string& name) const {
    for (size_t i = 0; i < chamber_.materials.size(); ++i)
      if (chamber_.materials[i].name == name) return static_cast<int>(i);
    return -1;
  }

  void MaterialStatement(bool light) {
    if (room_) return Fail("'" + words_[0] + "' inside a room (define materials before the rooms)");
    if (words_.size() != 5 || !IsName(words_[1]))
      return Fail("write '" + words_[0] + " NAME RED GREEN BLUE'");
    if (FindMaterial(words_[1]) >= 0) return Fail("material '" + words_[1] + "' is defined twice");
    float rgb[3];
    if (!Colour(2, rgb)) return;
    chamber_.materials.push_back(Make(words_[1], rgb, light));
  }

  static Material Make(const std::string& name, const float rgb[3], bool light) {
    Material m;
    m.name = name;
    for (int i = 0; i < 3; ++i) {
      m.diffuse[i] = rgb[i];
      m.emissive[i] = light ? rgb[i] : 0;
    }
    return m;
  }

  // "colour NAME", "colour R G B", "light NAME" or "light R G B" at
  // words_[at]; an unnamed colour becomes a material called anonymous.
  bool Surface(size_t& at, bool light, const std::string& anonymous, int& material) {
    const std::string keyword = words_[at - 1];
    if (at >= words_.size()) {
      Fail("'" + keyword + "' needs a material name or three numbers");
      return false;
    }
    float rgb[3];
    if (!ToNumber(words_[at], rgb[0])) {
      material = FindMaterial(words_[at]);
      if (material < 0) {
        Fail("no material named '" + words_[at] + "'");
        return false;
      }
      if (light && !chamber_.materials[static_cast<size_t>(material)].light()) {
        Fail("'" + words_[at] + "' is no light (define it with 'light NAME R G B')");
        return false;
      }
      at += 1;
      return true;
    }
    if (!Colour(at, rgb)) return false;
    if (light && rgb[0] + rgb[1] + rgb[2] <= 0) {
      Fail("a light needs a colour brighter than black");
      return false;
    }
    at += 3;
    chamber_.materials.push_back(Make(anonymous, rgb, light));
    material = static_cast<int>(chamber_.materials.size()) - 1;
    return true;
  }

  // open, colour ..., light ... after a face or side, from words_[at].
  void FaceAttributes(size_t at, Face& face) {
    while (at < words_.size()) {
      const std::string& word = words_[at++];
      if (word == "open") {
        face.open = true;
      } else if (word == "colour" || word == "color" || word == "light") {
        const std::string anonymous = room_->name + ".face" + std::to_string(++anonymousFaces_);
        if (!Surface(at, word == "light", anonymous, face.material)) return;
      } else {
        return Fail("unexpected '" + word + "' (a face takes 'open', 'colour' and 'light')");
      }
    }
  }

  void RoomStatement() {
    if (room_) Fail("room '" + room_->name + "' has no 'end'", room_->line);
    // A room that cannot be added is still read, into a room of its own
    // that is then dropped, so its statements give their own errors rather
    // than one "outside a room" each.
    const bool named = words_.size() == 2 && IsName(words_[1]);
    bool twice = false;
    for (const Room& r : chamber_.rooms) twice = twice || (named && r.name == words_[1]);
    if (!named)
      Fail("write 'room NAME' (a name of letters, digits, '_' and '-')");
    else if (twice)
      Fail("room '" + words_[1] + "' is defined twice");
    if (!named || twice) {
      dropped_ = Room();
      room_ = &dropped_;
    } else {
      chamber_.rooms.emplace_back();
      room_ = &chamber_.rooms.back();
    }
    room_->name = named ? words_[1] : "?";
    room_->line = line_;
    gravitySeen_ = false;
    boxFirstFace_ = -1;
    anonymousFaces_ = 0;
  }

  void EndStatement() {
    if (!Finished(1)) return;
    if (!gravitySeen_) Fail("room '" + room_->name + "' gives no gravity (write 'gravity none' for a room without)");
    room_ = nullptr;
  }

  void GravityStatement() {
    if (gravitySeen_) return Fail("a second 'gravity' in room '" + room_->name + "'");
    gravitySeen_ = true;
    if (words_.size() == 2 && words_[1] == "none") return;
    float g[3];
    if (words_.size() != 4) return Fail("write 'gravity X Y Z' or 'gravity none'");
    if (!Numbers(1, 3, g)) return;
    room_->gravityLine = line_;
    room_->hasGravity = !(g[0] == 0 && g[1] == 0 && g[2] == 0);
    if (room_->hasGravity && !UnitGravity(vec3f(g[0], g[1], g[2]), room_->gravity))
      Fail("no float direction along gravity " + words_[1] + " " + words_[2] + " " + words_[3] +
           " has length exactly 1, so the program would ignore the gravity of room '" + room_->name +
           "': turn it slightly");
  }

  void BoxStatement() {
    if (boxFirstFace_ >= 0) return Fail("a second 'box' in room '" + room_->name + "'");
    float b[6];
    if (words_.size() != 7) return Fail("write 'box X0 Y0 Z0 X1 Y1 Z1' (two opposite corners)");
    if (!Numbers(1, 6, b)) return;
    const float lo[3] = {std::min(b[0], b[3]), std::min(b[1], b[4]), std::min(b[2], b[5])};
    const float hi[3] = {std::max(b[0], b[3]), std::max(b[1], b[4]), std::max(b[2], b[5])};
    if (lo[0] == hi[0] || lo[1] == hi[1] || lo[2] == hi[2]) return Fail("the box is flat");
    boxFirstFace_ = static_cast<int>(room_->faces.size());
    for (int side = 0; side < 6; ++side) {
      // Side s lies at the low (even s) or high (odd s) end of axis s / 2;
      // its corners go round it counter-clockwise seen from inside.
      const int axis = side / 2, u = (axis + 1) % 3, v = (axis + 2) % 3;
      const bool high = side % 2 == 1;
      float square[4][2] = {{lo[u], lo[v]}, {hi[u], lo[v]}, {hi[u], hi[v]}, {lo[u], hi[v]}};
      Face face;
      face.line = line_;
      for (int k = 0; k < 4; ++k) {
        const int corner = high ? (4 - k) % 4 : k;
        float p[3];
        p[axis] = high ? hi[axis] : lo[axis];
        p[u] = square[corner][0];
        p[v] = square[corner][1];
        face.corners.emplace_back(p[0], p[1], p[2]);
      }
      room_->faces.push_back(face);
    }
  }

  void SideStatement() {
    if (boxFirstFace_ < 0) return Fail("'side' needs a 'box' earlier in the room");
    if (words_.size() < 2) return Fail("write 'side -x' (or +x, -y, +y, -z, +z) and what the side is");
    for (int side = 0; side < 6; ++side)
      if (words_[1] == kSides[side]) {
        Face& face = room_->faces[static_cast<size_t>(boxFirstFace_ + side)];
        face.line = line_;
        return FaceAttributes(2, face);
      }
    Fail("no side '" + words_[1] + "' (sides are -x, +x, -y, +y, -z, +z)");
  }

  void FaceStatement() {
    Face face;
    face.line = line_;
    size_t at = 1;
    std::vector<float> numbers;
    float value;
    while (at < words_.size() && ToNumber(words_[at], value)) {
      numbers.push_back(value);
      ++at;
    }
    if (numbers.size() % 3 != 0)
      return Fail("corners take three numbers each, and this face has " + std::to_string(numbers.size()));
    for (size_t i = 0; i < numbers.size(); i += 3)
      face.corners.emplace_back(numbers[i], numbers[i + 1], numbers[i + 2]);
    if (face.corners.size() < 3)
      return Fail("a face needs at least three corners, and this one has " + std::to_string(face.corners.size()));
    const size_t problemsBefore = problems_.size();
    FaceAttributes(at, face);
    if (problems_.size() == problemsBefore) room_->faces.push_back(face);
  }

  std::vector<Problem>& problems_;
  Chamber chamber_;
  Room* room_ = nullptr;  // the room being read; rooms are not added meanwhile
  Room dropped_;          // a room read only for its errors
  std::vector<std::string> words_;
  int line_ = 0;
  bool gravitySeen_ = false;
  int boxFirstFace_ = -1;
  int anonymousFaces_ = 0;
};

}  // namespace

Chamber ParseDescription(const std::string& text, std::vector<Problem>& problems) {
  return Parser(problems).Run(text);
}

const Material& FaceMaterial(const Chamber& chamber, const Room& room, const Face& face) {
  static const Material fallback = [] {
    Material m;
    m.name = "chamber.default";
    return m;
  }();
  const int index = face.material >= 0 ? face.material : room.material;
  return index >= 0 ? chamber.materials[static_cast<size_t>(index)] : fallback;
}

}  // namespace chamber
