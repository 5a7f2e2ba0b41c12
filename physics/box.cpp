// Boxes: building faces, the shared vertex list, centre, unit size and scale.
#include "physics/physics.h"

namespace Veruruve {
namespace Physics {
namespace {

// Fills normal, centroid, colour, vertexCount and vertices from the polygon.
// When shared is given, every vertex not yet in it (by exact equality of all
// three coordinates) is appended, in the order met.
void buildFace(VolumeFace& face, Polygon polygon, std::vector<vec3f>* shared) {
  vec3f sum;
  for (const vec3f& v : polygon) {
    sum += v;
    if (shared) {
      bool found = false;
      for (const vec3f& s : *shared) {
        if (s == v) {
          found = true;
          break;
        }
      }
      if (!found) shared->push_back(v);
    }
  }
  const auto n = static_cast<std::uint32_t>(polygon.size());
  face.centroid = sum / static_cast<float>(n);
  const vec3f& a = polygon[0];
  face.normal = normalised(cross(polygon[1] - a, polygon[2] - a));
  for (float& c : face.colour) c = 1;
  face.vertexCount = n;
  face.vertices = std::move(polygon);
}

template <typename Face>
vec3f meanCentroid(const std::vector<Face>& faces) {
  if (faces.empty()) return vec3f();  // no faces, no mean: keep the origin
  vec3f sum;
  for (const Face& f : faces) sum += f.centroid;
  return sum / static_cast<float>(faces.size());
}

template <typename Face>
float farthestVertex(const std::vector<Face>& faces) {
  float m = 0;
  for (const Face& f : faces)
    for (const vec3f& v : f.vertices) {
      const float len = length(v);
      if (len > m) m = len;
    }
  return m;
}

template <typename Face>
void divideFaces(std::vector<Face>& faces, float m) {
  for (Face& f : faces) {
    f.centroid = f.centroid / m;
    for (vec3f& v : f.vertices) v = v / m;
  }
}

template <typename Face>
void scaleFaces(std::vector<Face>& faces, float factor) {
  for (Face& f : faces) {
    f.centroid = f.centroid * factor;
    for (vec3f& v : f.vertices) v = v * factor;
  }
}

template <typename Face>
bool eraseFace(std::vector<Face>& faces, std::int32_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= faces.size()) return false;
  faces.erase(faces.begin() + index);
  return true;
}

}  // namespace

bool VolumeBox::containsPoint(float, float, float) const { return false; }

void VolumeBox::normalise() {
  const float m = farthestVertex(faces);
  if (!(m > 0)) return;  // all vertices at the origin: nothing to scale by
  divideFaces(faces, m);
  for (vec3f& v : vertices) v = v / m;
}

void VolumeBox::scale(float factor) {
  scaleFaces(faces, factor);
  for (vec3f& v : vertices) v = v * factor;
}

void VolumeBox::addFace(Polygon polygon) {
  if (polygon.size() < 3) return;
  VolumeFace face;
  buildFace(face, std::move(polygon), nullptr);
  faces.push_back(std::move(face));
  updateCentre();
}

void VolumeBox::removeFace(std::int32_t index) {
  if (eraseFace(faces, index)) updateCentre();
}

void VolumeBox::updateCentre() { centre = meanCentroid(faces); }

void CollisionBox::normalise() {
  const float m = farthestVertex(collisionFaces);
  if (!(m > 0)) return;
  divideFaces(collisionFaces, m);
  for (vec3f& v : vertices) v = v / m;
}

void CollisionBox::scale(float factor) {
  scaleFaces(collisionFaces, factor);
  for (vec3f& v : vertices) v = v * factor;
}

void CollisionBox::addFace(Polygon polygon) { addFace(std::move(polygon), 0); }

void CollisionBox::addFace(Polygon polygon, std::uint32_t flags) {
  if (polygon.size() < 3) return;
  CollisionFace face;
  buildFace(face, std::move(polygon), &vertices);
  face.flags = flags;
  collisionFaces.push_back(std::move(face));
  updateCentre();
}

void CollisionBox::removeFace(std::int32_t index) {
  if (eraseFace(collisionFaces, index)) updateCentre();
}

void CollisionBox::updateCentre() { centre = meanCentroid(collisionFaces); }

}  // namespace Physics
}  // namespace Veruruve
