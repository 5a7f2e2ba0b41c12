#include "geometry/model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "geometry/file_text.h"
#include "geometry/large_pages.h"
#include "geometry/number_text.h"
#include "geometry/plain_lines.h"

// Each file is read whole into memory and closed, then its lines are walked
// with cursors instead of token lists: the files can be tens of megabytes,
// and a list of strings per line and per corner would be most of the cost.
// The cursors give exactly the tokens SplitString would.

namespace {

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

  // The next token read as atof reads it.
  bool nextFloat(float& value) {
    const char *b, *e;
    if (!next(b, e)) return false;
    value = ReadFloat(b, e);
    return true;
  }
};

// "usemtl" and "mtllib".
constexpr size_t kLongestKeyword = 6;

bool Equals(const char* begin, const char* end, const char* word) {
  const size_t length = std::strlen(word);
  return static_cast<size_t>(end - begin) == length && std::memcmp(begin, word, length) == 0;
}

int32_t ResolveVertex(int64_t v, size_t vertexCount) {
  // OBJ indices are 1-based; negative ones count back from the end of the
  // list read so far (-1 is the latest).
  int64_t vertex = -1;
  if (v > 0) vertex = v - 1;
  if (v < 0) vertex = static_cast<int64_t>(vertexCount) + v;
  if (vertex < 0) return -1;
  // Beyond int32 no index can be in range; the range check after reading
  // drops it.
  return static_cast<int32_t>(std::min<int64_t>(vertex, INT32_MAX));
}

int32_t ResolveNormal(int64_t n, size_t normalCount) {
  const int64_t count = static_cast<int64_t>(normalCount);
  const int64_t index = n > 0 ? n - 1 : count + n;
  return n != 0 && index >= 0 && index < count ? static_cast<int32_t>(index) : -1;
}

// Reads the corner token [begin, end): "v", "v/t", "v//n" or "v/t/n".
Corner ReadCorner(const char* begin, const char* end, size_t vertexCount, size_t normalCount) {
  Corner corner{-1, -1};
  TokenCursor fields{begin, end, '/'};
  const char* fieldBegin;
  const char* fieldEnd;
  if (!fields.next(fieldBegin, fieldEnd)) return corner;  // an empty corner
  corner.vertex = ResolveVertex(ReadIndex(fieldBegin, fieldEnd), vertexCount);
  if (corner.vertex < 0) return corner;
  if (fields.next(fieldBegin, fieldEnd) && fields.next(fieldBegin, fieldEnd))
    corner.normal = ResolveNormal(ReadIndex(fieldBegin, fieldEnd), normalCount);
  return corner;
}

// The next corner token of a face line.
bool NextCorner(TokenCursor& tokens, size_t vertexCount, size_t normalCount, Corner& corner) {
  const char *b, *e;
  if (!tokens.next(b, e)) return false;
  corner = ReadCorner(b, e, vertexCount, normalCount);
  return true;
}

// The longest lists a text of a given size can give: a vertex line takes at
// least 6 bytes ("v", four blanks for three empty numbers, a line feed), a
// normal line 7, and a face line 8 for one triangle or 10 for two. Each list
// is allocated once to that length, since a list that grows copies itself
// again and again, and no pass over the text is needed to count its lines
// first. The room never written is address space only: no memory is used
// for it.
struct ListBounds {
  size_t vertices, normals, triangles;
};

ListBounds BoundsFromSize(size_t textSize) {
  return {textSize / 6 + 1, textSize / 7 + 1, textSize / 5 + 2};
}

// Makes room for up to `extra` more entries in one allocation, prepared for
// filling from its start. When the system refuses that much address space
// (a strict overcommit setting, a huge file), the list grows as it is
// filled instead.
template <class T>
void Reserve(std::vector<T>& list, size_t extra) {
  if (list.capacity() - list.size() >= extra || extra > list.max_size() - list.size()) return;
  try {
    list.reserve(list.size() + extra);
  } catch (const std::bad_alloc&) {
    return;
  }
  PrepareForFilling(list.data() + list.size(), extra * sizeof(T), Filling::kFromTheStart);
}

// The line feeds in [begin, end), eight bytes at a time: the first short
// face line may lie tens of megabytes into a file.
int64_t CountLineFeeds(const char* begin, const char* end) {
  constexpr uint64_t kFeeds = 0x0a0a0a0a0a0a0a0aull, kLow7 = 0x7f7f7f7f7f7f7f7full;
  int64_t count = 0;
  const char* p = begin;
  for (; end - p >= 8; p += 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    const uint64_t x = word ^ kFeeds;  // a zero byte where a line feed was
    // The high bit of each byte set exactly where x has a zero byte.
    const uint64_t zero = ~(((x & kLow7) + kLow7) | x | kLow7);
    count += __builtin_popcountll(zero);
  }
  for (; p < end; ++p) count += *p == '\n';
  return count;
}

// What keeps a face line that gave fewer triangles than its corners ask for
// from giving them all, or null when it asks for no more than it gave.
// tokens starts after "f "; corners are the words between blanks and tabs.
const char* ShortFaceReason(const char* begin, const char* end, size_t trianglesGiven) {
  size_t corners = 0;
  bool emptyCorner = false, tab = false;
  for (const char* p = begin; p < end;) {
    if (*p == ' ' || *p == '\t') {
      tab = tab || *p == '\t';
      // A blank at the start, or after another, leaves an empty corner.
      if (*p == ' ' && (p == begin || p[-1] == ' ') && p + 1 < end) emptyCorner = true;
      ++p;
      continue;
    }
    ++corners;
    while (p < end && *p != ' ' && *p != '\t') ++p;
  }
  if (corners < 3 || corners - 2 <= trianglesGiven) return nullptr;
  if (tab) return "a tab between corners";
  if (emptyCorner) return "two blanks in a row";
  if (corners > 4) return "more than four corners";
  return "a corner names no vertex";
}

}  // namespace

std::string ShortFaceLinesText(const Model& model) {
  const ShortFaceLines& s = model.shortFaceLines;
  if (s.lines == 0) return "";
  return model.name + ": " + std::to_string(s.lines) + (s.lines == 1 ? " face line" : " face lines") +
         " not fully read (first at line " + std::to_string(s.firstLine) + ": " + s.firstReason + ")";
}

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
  shortFaceLines = ShortFaceLines();
  vertices.clear();
  triangles.clear();
  normals.clear();
  materials.clear();
  libraries.clear();
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

  FileText text;
  if (!ReadWholeFile(directory + name, text)) return false;

  const char* const textEnd = text.end();
  const ListBounds bounds = BoundsFromSize(text.size);
  Reserve(vertices, bounds.vertices);
  Reserve(normals, bounds.normals);
  Reserve(triangles, bounds.triangles);

  std::string material;
  int32_t largestVertex = -1;  // the largest vertex index of any triangle
  // Appends the triangles of a face line's first three or four corners.
  auto addFace = [&](const Corner* c, bool quad) {
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
        largestVertex = std::max(largestVertex, corner.vertex);
        if (corner.normal >= 0) triangle.normal[k] = normals[static_cast<size_t>(corner.normal)];
      }
    }
  };

  // Only lines off the fast path can be short; the first one's number is
  // counted when it is found.
  auto noteShortFace = [&](const char* line, const char* cornersBegin, const char* lineEnd, size_t given) {
    const char* reason = ShortFaceReason(cornersBegin, lineEnd, given);
    if (!reason) return;
    if (shortFaceLines.lines++ == 0) {
      shortFaceLines.firstLine = 1 + CountLineFeeds(text.begin(), line);
      shortFaceLines.firstReason = reason;
    }
  };
  // A face line of the general reading; rest is where its tokens after the
  // fourth corner start. The common cases are told without a second look at
  // the line: every corner read gave its triangles and nothing follows
  // (complete; a tab inside one of its three or four words goes unseen
  // here), or both triangles came and a fifth corner follows (short, and its
  // reason is needed only for the first).
  auto noteFaceLine = [&](const char* line, const char* cornersBegin, const char* lineEnd, size_t given, bool quad,
                          const char* rest) {
    if (rest >= lineEnd && given == (quad ? 2u : 1u)) return;
    if (given == 2 && rest < lineEnd && *rest != ' ' && shortFaceLines.lines > 0) {
      ++shortFaceLines.lines;
      return;
    }
    noteShortFace(line, cornersBegin, lineEnd, given);
  };

  LineCursor lines(text.begin(), textEnd);
  while (lines.at < textEnd && !lines.stopped) {
    // Most lines of a large file are plain vertex, normal and face lines:
    // these are read in one sweep, up to and including their line feed.
    const char* const start = lines.at;
    const char* next = nullptr;
    // start[1] and start[2] are at worst the text's padding.
    if (start[1] == ' ' && start[0] == 'f') {
      Corner c[4];
      int corners;
      next = ReadPlainFaceLine(start, textEnd, normals.size(), c, corners);
      if (next) addFace(c, corners == 4);
    } else if (start[0] == 'v' && (start[1] == ' ' || (start[1] == 'n' && start[2] == ' '))) {
      vec3f value;
      const bool normal = start[1] == 'n';
      next = ReadPlainVectorLine(start, textEnd, start + (normal ? 3 : 2), value);
      if (next) (normal ? normals : vertices).push_back(value);
    }
    if (next) {
      lines.at = next;
      continue;
    }

    // Any other line, by the general rules.
    const char* line = start;
    const char* lineEnd = start;
    lines.next(line, lineEnd);
    // The keyword: the first token, found by hand since it is short. A
    // first token longer than any keyword makes the line one to ignore.
    const char* b = line;
    const char* e = line;
    while (e < lineEnd && *e != ' ' && static_cast<size_t>(e - b) <= kLongestKeyword) ++e;
    const size_t length = static_cast<size_t>(e - b);
    // "f" and a tab is no keyword: the line is ignored.
    if (b[0] == 'f' && b + 1 < lineEnd && b[1] == '\t') {
      noteShortFace(line, b + 1, lineEnd, 0);
      continue;
    }
    if (length > kLongestKeyword) continue;
    TokenCursor tokens{e < lineEnd ? e + 1 : lineEnd, lineEnd, ' '};

    if (length == 1 && *b == 'f') {
      Corner c[4];
      const size_t vertexCount = vertices.size(), normalCount = normals.size(), before = triangles.size();
      const char* const cornersBegin = e < lineEnd ? e + 1 : lineEnd;
      if (NextCorner(tokens, vertexCount, normalCount, c[0]) && NextCorner(tokens, vertexCount, normalCount, c[1]) &&
          NextCorner(tokens, vertexCount, normalCount, c[2])) {
        const bool quad = NextCorner(tokens, vertexCount, normalCount, c[3]);
        addFace(c, quad);
        noteFaceLine(line, cornersBegin, lineEnd, triangles.size() - before, quad, tokens.at);
      } else {
        noteShortFace(line, cornersBegin, lineEnd, 0);
      }
    } else if ((length == 1 && *b == 'v') || (length == 2 && b[0] == 'v' && b[1] == 'n')) {
      vec3f value;
      if (tokens.nextFloat(value.x) && tokens.nextFloat(value.y) && tokens.nextFloat(value.z))
        (length == 1 ? vertices : normals).push_back(value);
    } else if (Equals(b, e, "usemtl")) {
      // An empty name ("usemtl" and two spaces) selects the material named
      // ""; a line with no name at all changes nothing.
      if (tokens.next(b, e)) material.assign(b, e);
    } else if (Equals(b, e, "mtllib")) {
      // An empty name is reported like any other but names no file.
      if (tokens.next(b, e)) {
        const std::string library = directory + std::string(b, e);
        if (b == e)
          std::printf("Loading MTL File '%s'\n", library.c_str());
        else
          LoadMTL(library);
        if (b != e) libraries.push_back(library);
      }
    }
  }

  // Faces may name vertices listed further down the file, so the range is
  // checked once everything is read. Out-of-range corners never reach the
  // drawing code.
  const int64_t vertexCount = static_cast<int64_t>(vertices.size());
  if (largestVertex >= vertexCount) {
    auto outOfRange = [vertexCount](const Triangle& t) {
      return t.vertexIndex[0] >= vertexCount || t.vertexIndex[1] >= vertexCount ||
             t.vertexIndex[2] >= vertexCount;
    };
    triangles.erase(std::remove_if(triangles.begin(), triangles.end(), outOfRange), triangles.end());
    triangleCount = static_cast<int32_t>(triangles.size());
  }
  return true;
}

void Model::LoadMTL(const std::string& path) {
  std::printf("Loading MTL File '%s'\n", path.c_str());
  FileText text;
  if (!ReadWholeFile(path, text)) return;
  // The index of the material of this file's latest "newmtl", or -1.
  std::ptrdiff_t current = -1;
  std::string line;
  LineCursor lines(text.begin(), text.end());
  const char *lineBegin, *lineEnd;
  while (lines.next(lineBegin, lineEnd)) {
    // Tabs are dropped, so that indented lines read like the others.
    line.assign(lineBegin, lineEnd);
    line.erase(std::remove(line.begin(), line.end(), '\t'), line.end());
    TokenCursor tokens{line.data(), line.data() + line.size(), ' '};
    const char *b, *e, *b1, *e1, *b2, *e2, *b3, *e3;
    if (!tokens.next(b, e)) continue;
    if (Equals(b, e, "newmtl")) {
      // A "newmtl" with no name at all starts no material, and its colour
      // lines are dropped rather than changing the material before it. An
      // empty name ("newmtl" and two spaces) is a name like any other.
      current = -1;
      if (!tokens.next(b1, e1)) continue;
      materials.emplace_back();
      materials.back().name.assign(b1, e1);
      current = static_cast<std::ptrdiff_t>(materials.size() - 1);
    } else if (Equals(b, e, "Kd") || Equals(b, e, "Ke")) {
      if (current < 0) continue;
      if (!(tokens.next(b1, e1) && tokens.next(b2, e2) && tokens.next(b3, e3))) continue;
      Material& m = materials[static_cast<size_t>(current)];
      float* colour = b[1] == 'd' ? m.diffuse : m.emissive;
      colour[0] = ReadFloat(b1, e1);
      colour[1] = ReadFloat(b2, e2);
      colour[2] = ReadFloat(b3, e3);
      colour[3] = 1;
    }
  }
}
