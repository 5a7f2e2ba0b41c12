#include "geometry/model.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// The reader streams each file through a buffer and walks each line with a
// cursor instead of building token lists: a chamber is loaded once, but the
// files can be large, and a list of strings per line and per corner would be
// most of the cost. The cursor gives exactly the tokens SplitString would.

namespace {

// Longest line kept, as by a 1024-byte line buffer with its terminator.
constexpr size_t kMaxLine = 1023;

// Calls visit(begin, length) for each line of the file and returns true, or
// returns false if the file cannot be opened. A line ends at a line feed,
// which is dropped together with a carriage return right before it. A line
// longer than kMaxLine is passed cut to kMaxLine characters and nothing after
// it is read. The file streams through one buffer, so memory stays small
// whatever its size.
template <class Visit>
bool ForEachLine(const std::string& path, Visit visit) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  // Room for the whole of a small file, or a stretch of a large one; always
  // more than a line that is kept, plus its CR LF.
  size_t bufferSize = size_t{1} << 20;
  if (std::fseek(file, 0, SEEK_END) == 0) {
    const long size = std::ftell(file);
    if (size >= 0 && static_cast<size_t>(size) < bufferSize)
      bufferSize = std::max<size_t>(static_cast<size_t>(size) + 1, 2 * kMaxLine);
    std::rewind(file);
  }
  std::unique_ptr<char[]> buffer(new char[bufferSize]);
  size_t held = 0;  // bytes of an unfinished line kept at the buffer's start
  bool atEnd = false;
  while (!atEnd) {
    const size_t got = std::fread(buffer.get() + held, 1, bufferSize - held, file);
    atEnd = got == 0;
    const char* p = buffer.get();
    const char* const end = p + held + got;
    while (p < end) {
      const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      // Without a line feed in view the line is finished only at the end of
      // the file, or known to be too long once it holds more than kMaxLine
      // characters and a carriage return.
      if (!lf && !atEnd && static_cast<size_t>(end - p) <= kMaxLine + 1) break;
      size_t length = static_cast<size_t>((lf ? lf : end) - p);
      if (lf && length > 0 && p[length - 1] == '\r') --length;
      if (length > kMaxLine) {
        visit(p, kMaxLine);
        std::fclose(file);
        return true;
      }
      visit(p, length);
      p = lf ? lf + 1 : end;
    }
    held = static_cast<size_t>(end - p);
    std::memmove(buffer.get(), p, held);
  }
  std::fclose(file);
  return true;
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
  int32_t vertex;  // 0-based; -1 when the corner names no vertex
  int32_t normal;  // 0-based into the normals read so far; -1 for none
};

// Reads "v", "v/t", "v//n" or "v/t/n". OBJ indices are 1-based; negative ones
// count back from the end of the list read so far (-1 is the latest).
Corner ReadCorner(const char* begin, const char* end, size_t vertexCount, size_t normalCount) {
  Corner corner{-1, -1};
  TokenCursor fields{begin, end, '/'};
  const char* fieldBegin;
  const char* fieldEnd;
  if (!fields.next(fieldBegin, fieldEnd)) return corner;  // an empty corner
  const int64_t v = ToInt(fieldBegin, fieldEnd);
  int64_t vertex = -1;
  if (v > 0) vertex = v - 1;
  if (v < 0) vertex = static_cast<int64_t>(vertexCount) + v;
  if (vertex < 0) return corner;
  // Beyond int32 no index can be in range; the range check after reading
  // drops it.
  corner.vertex = static_cast<int32_t>(std::min<int64_t>(vertex, INT32_MAX));
  if (fields.next(fieldBegin, fieldEnd) && fields.next(fieldBegin, fieldEnd)) {
    const int64_t n = ToInt(fieldBegin, fieldEnd);
    const int64_t count = static_cast<int64_t>(normalCount);
    const int64_t index = n > 0 ? n - 1 : count + n;
    if (n != 0 && index >= 0 && index < count) corner.normal = static_cast<int32_t>(index);
  }
  return corner;
}

// Linux backs memory with 4 KiB pages by default, and on a virtual machine
// the first touch of each page is a costly fault: the triangle list of a
// large model is most of the load time that way. Large pages for the big
// lists avoid that. Only whole 2 MiB pages inside the block are marked, and
// the block must not have been touched yet.
void PreferLargePages(const void* data, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr uintptr_t kLarge = uintptr_t{2} << 20;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kLarge - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

// Makes room for `extra` more entries in one allocation.
template <class T>
void Reserve(std::vector<T>& list, size_t extra) {
  if (list.capacity() - list.size() >= extra) return;
  list.reserve(list.size() + extra);
  PreferLargePages(list.data() + list.size(), extra * sizeof(T));
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

  // A first pass counts the lines, so that each list is allocated once: a
  // list that grows copies itself again and again. Quadrilaterals make two
  // triangles; room that is never written costs no memory.
  size_t vertexLines = 0, normalLines = 0, faceLines = 0;
  const std::string file = directory + name;
  const bool opened = ForEachLine(file, [&](const char* line, size_t length) {
    if (length < 2) return;
    vertexLines += line[0] == 'v' && line[1] == ' ';
    normalLines += line[0] == 'v' && line[1] == 'n';
    faceLines += line[0] == 'f' && line[1] == ' ';
  });
  if (!opened) return false;
  Reserve(vertices, vertexLines);
  Reserve(normals, normalLines);
  Reserve(triangles, 2 * faceLines);

  std::string material;
  ForEachLine(file, [&](const char* line, size_t length) {
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
      c[0] = ReadCorner(b1, e1, vertices.size(), normals.size());
      c[1] = ReadCorner(b2, e2, vertices.size(), normals.size());
      c[2] = ReadCorner(b3, e3, vertices.size(), normals.size());
      const bool quad = tokens.next(b1, e1);
      if (quad) c[3] = ReadCorner(b1, e1, vertices.size(), normals.size());
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
          triangle.vertexIndex[k] = corner.vertex;
          if (corner.normal >= 0) triangle.normal[k] = normals[static_cast<size_t>(corner.normal)];
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
  Material* current = nullptr;  // the material of this file's latest "newmtl"
  std::string line;
  ForEachLine(path, [&](const char* text, size_t length) {
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
