#include "geometry/model.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The reader works on the whole file in memory and walks each line with a
// cursor instead of building token lists: a chamber is loaded once, but the
// files can be large and a list of strings per line and per corner is most of
// the cost. The cursor gives exactly the tokens SplitString would.

namespace {

// Longest line kept, as by a 1024-byte line buffer with its terminator.
constexpr size_t kMaxLine = 1023;

bool ReadFile(const std::string& path, std::string& data) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  data.clear();
  if (std::fseek(file, 0, SEEK_END) == 0) {
    const long size = std::ftell(file);
    if (size > 0) data.reserve(static_cast<size_t>(size));
    std::fseek(file, 0, SEEK_SET);
  }
  char chunk[1 << 16];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) data.append(chunk, got);
  std::fclose(file);
  return true;
}

// Calls visit(begin, length) for each line of data. A line ends at a line
// feed, which is dropped together with a carriage return right before it. A
// line longer than kMaxLine is passed cut to kMaxLine characters and nothing
// after it is read.
template <class Visit>
void ForEachLine(const std::string& data, Visit visit) {
  const char* p = data.data();
  const char* const end = p + data.size();
  while (p < end) {
    const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    const char* stop = lf ? lf : end;
    size_t length = static_cast<size_t>(stop - p);
    if (lf && length > 0 && p[length - 1] == '\r') --length;
    if (length > kMaxLine) {
      visit(p, kMaxLine);
      return;
    }
    visit(p, length);
    if (!lf) return;
    p = lf + 1;
  }
}

// Yields the tokens of [begin, end) one by one, exactly as SplitString with a
// single delimiter character would list them.
struct TokenCursor {
  const char* at;
  const char* end;
  char delimiter;

  bool next(const char*& tokenBegin, const char*& tokenEnd) {
    if (at >= end) return false;
    const char* hit = static_cast<const char*>(std::memchr(at, delimiter, static_cast<size_t>(end - at)));
    tokenBegin = at;
    tokenEnd = hit ? hit : end;
    at = hit ? hit + 1 : end;
    return true;
  }
};

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool Equals(const char* begin, const char* end, const char* word) {
  const size_t length = std::strlen(word);
  return static_cast<size_t>(end - begin) == length && std::memcmp(begin, word, length) == 0;
}

// atof on the token [begin, end): leading blanks skipped, conversion stops at
// the first character that does not fit, 0 when nothing converts. The value
// is rounded to double first and then to float, as atof's result would be.
float ToFloat(const char* begin, const char* end) {
  while (begin < end && IsBlank(*begin)) ++begin;
  const char* s = begin;
  bool negative = false;
  if (s < end && (*s == '+' || *s == '-')) negative = *s++ == '-';
  if (s == end) return 0;
  const char c = *s;
  const bool hex = c == '0' && s + 1 < end && (s[1] == 'x' || s[1] == 'X');
  if (!hex) {
    // from_chars takes no sign of its own here: a second sign is not a number.
    if (!((c >= '0' && c <= '9') || c == '.' || c == 'i' || c == 'I' || c == 'n' || c == 'N'))
      return 0;
    double value = 0;
    const std::from_chars_result result = std::from_chars(s, end, value);
    if (result.ec == std::errc()) return static_cast<float>(negative ? -value : value);
    if (result.ec == std::errc::invalid_argument) return 0;
  }
  // Hexadecimal numbers and values beyond double's range: the C library
  // decides, on a terminated copy.
  const std::string copy(begin, end);
  return static_cast<float>(std::strtod(copy.c_str(), nullptr));
}

// atoi on the token [begin, end), widened and saturated so that no input can
// overflow: a saturated index is out of range anyway.
int64_t ToInt(const char* begin, const char* end) {
  while (begin < end && IsBlank(*begin)) ++begin;
  bool negative = false;
  if (begin < end && (*begin == '+' || *begin == '-')) negative = *begin++ == '-';
  int64_t value = 0;
  for (; begin < end && *begin >= '0' && *begin <= '9'; ++begin) {
    if (value < (int64_t{1} << 40)) value = value * 10 + (*begin - '0');
  }
  return negative ? -value : value;
}

// One corner of a face, resolved against the lists as they stand.
struct Corner {
  int64_t vertex;  // 0-based; negative when the corner names no vertex
  vec3f normal;
};

// Reads "v", "v/t", "v//n" or "v/t/n". OBJ indices are 1-based; negative ones
// count back from the end of the list read so far (-1 is the latest).
Corner ReadCorner(const char* begin, const char* end, size_t vertexCount,
                  const std::vector<vec3f>& normals) {
  Corner corner{-1, vec3f()};
  TokenCursor fields{begin, end, '/'};
  const char* fieldBegin;
  const char* fieldEnd;
  if (!fields.next(fieldBegin, fieldEnd)) return corner;  // an empty corner
  const int64_t v = ToInt(fieldBegin, fieldEnd);
  if (v > 0) corner.vertex = v - 1;
  if (v < 0) corner.vertex = static_cast<int64_t>(vertexCount) + v;
  if (corner.vertex < 0) return corner;
  if (fields.next(fieldBegin, fieldEnd) && fields.next(fieldBegin, fieldEnd)) {
    const int64_t n = ToInt(fieldBegin, fieldEnd);
    const int64_t count = static_cast<int64_t>(normals.size());
    const int64_t index = n > 0 ? n - 1 : count + n;
    if (n != 0 && index >= 0 && index < count) corner.normal = normals[static_cast<size_t>(index)];
  }
  return corner;
}

std::string Token(const char* begin, const char* end) { return std::string(begin, end); }

}  // namespace

void SplitString(const std::string& text, const std::string& delimiters,
                 std::vector<std::string>& tokens) {
  size_t start = 0;
  size_t hit = text.find_first_of(delimiters, start);
  while (hit != std::string::npos) {
    tokens.push_back(text.substr(start, hit - start));
    start = hit + 1;
    hit = text.find_first_of(delimiters, start);
  }
  if (start != text.size()) tokens.push_back(text.substr(start));
}

void Model::Clear() {
  triangleCount = 0;
  vertices.clear();
  triangles.clear();
  normals.clear();
  materials.clear();
}

int32_t Model::AddTriangle() {
  triangles.emplace_back();
  triangleCount += 1;
  return triangleCount - 1;
}

bool Model::Load(const std::string& path) {
  Clear();
  if (path.size() < 4 || path.compare(path.size() - 4, 4, ".obj") != 0) return false;
  return LoadOBJ(path);
}

bool Model::LoadOBJ(const std::string& path) {
  std::printf("Loading OBJ File '%s'\n", path.c_str());
  const size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  name = slash == std::string::npos ? path : path.substr(slash + 1);

  std::string data;
  if (!ReadFile(directory + name, data)) return false;

  std::string material;
  ForEachLine(data, [&](const char* line, size_t length) {
    TokenCursor tokens{line, line + length, ' '};
    const char* b;
    const char* e;
    if (!tokens.next(b, e)) return;
    const char *b1, *e1, *b2, *e2, *b3, *e3;

    if (Equals(b, e, "v") || Equals(b, e, "vn")) {
      std::vector<vec3f>& list = e - b == 1 ? vertices : normals;
      if (tokens.next(b1, e1) && tokens.next(b2, e2) && tokens.next(b3, e3))
        list.emplace_back(ToFloat(b1, e1), ToFloat(b2, e2), ToFloat(b3, e3));
    } else if (Equals(b, e, "f")) {
      if (!(tokens.next(b1, e1) && tokens.next(b2, e2) && tokens.next(b3, e3))) return;
      Corner c[4];
      c[0] = ReadCorner(b1, e1, vertices.size(), normals);
      c[1] = ReadCorner(b2, e2, vertices.size(), normals);
      c[2] = ReadCorner(b3, e3, vertices.size(), normals);
      const bool quad = tokens.next(b1, e1);
      if (quad) c[3] = ReadCorner(b1, e1, vertices.size(), normals);
      static const int kOrder[2][3] = {{0, 1, 2}, {3, 0, 2}};
      for (int t = 0; t < (quad ? 2 : 1); ++t) {
        const int* order = kOrder[t];
        // A corner that names no vertex makes no triangle: the drawing code
        // indexes the vertex list with every corner.
        if (c[order[0]].vertex < 0 || c[order[1]].vertex < 0 || c[order[2]].vertex < 0) continue;
        Triangle& triangle = triangles[static_cast<size_t>(AddTriangle())];
        triangle.material = material;
        for (int k = 0; k < 3; ++k) {
          const Corner& corner = c[order[k]];
          triangle.vertexIndex[k] = static_cast<int32_t>(std::min<int64_t>(corner.vertex, INT32_MAX));
          triangle.normal[k] = corner.normal;
        }
      }
    } else if (Equals(b, e, "usemtl")) {
      if (tokens.next(b1, e1) && b1 != e1) material = Token(b1, e1);
    } else if (Equals(b, e, "mtllib")) {
      if (tokens.next(b1, e1) && b1 != e1) LoadMTL(directory + Token(b1, e1));
    }
  });

  // Faces may name vertices listed further down the file, so the range is
  // checked once everything is read. Out-of-range corners never reach the
  // drawing code.
  const int64_t vertexCount = static_cast<int64_t>(vertices.size());
  auto outOfRange = [vertexCount](const Triangle& t) {
    return t.vertexIndex[0] >= vertexCount || t.vertexIndex[1] >= vertexCount ||
           t.vertexIndex[2] >= vertexCount;
  };
  triangles.erase(std::remove_if(triangles.begin(), triangles.end(), outOfRange), triangles.end());
  triangleCount = static_cast<int32_t>(triangles.size());
  return true;
}

void Model::LoadMTL(const std::string& path) {
  std::printf("Loading MTL File '%s'\n", path.c_str());
  std::string data;
  if (!ReadFile(path, data)) return;

  Material* current = nullptr;  // the material of this file's latest "newmtl"
  std::string line;
  ForEachLine(data, [&](const char* text, size_t length) {
    // Tabs are dropped, so that indented lines read like the others.
    line.assign(text, length);
    line.erase(std::remove(line.begin(), line.end(), '\t'), line.end());
    TokenCursor tokens{line.data(), line.data() + line.size(), ' '};
    const char *b, *e, *b1, *e1, *b2, *e2, *b3, *e3;
    if (!tokens.next(b, e)) return;
    if (Equals(b, e, "newmtl")) {
      // A nameless "newmtl" starts no material; its colour lines are dropped
      // rather than changing the material before it.
      current = nullptr;
      if (!tokens.next(b1, e1) || b1 == e1) return;
      materials.emplace_back();
      current = &materials.back();
      current->name = Token(b1, e1);
    } else if (Equals(b, e, "Kd") || Equals(b, e, "Ke")) {
      if (!current) return;
      if (!(tokens.next(b1, e1) && tokens.next(b2, e2) && tokens.next(b3, e3))) return;
      float* colour = b[1] == 'd' ? current->diffuse : current->emissive;
      colour[0] = ToFloat(b1, e1);
      colour[1] = ToFloat(b2, e2);
      colour[2] = ToFloat(b3, e3);
      colour[3] = 1;
    }
  });
}
