// Bodies and rooms: defaults, building faces, the shared vertex list, unit
// size and scale.
#include <gtest/gtest.h>

#include "tests/physics/fixtures.h"

namespace {

using namespace Veruruve::Physics;
using fixtures::sameBits;

void expectIdentity(const mat4f& m) {
  for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], mat4f()[i]) << "index " << i;
}

TEST(PhysicsObject, Defaults) {
  PhysicsObject o;
  EXPECT_EQ(o.orientation.w, 0);
  EXPECT_EQ(o.orientation.x, 0);
  expectIdentity(o.orientation.matrix);
  expectIdentity(o.worldTransform);
  expectIdentity(o.inverseInertia);
  EXPECT_EQ(o.gravity, vec3f(0, -1, 0));
  EXPECT_EQ(o.mass, 1.0f);
  EXPECT_EQ(o.position, vec3f());
  EXPECT_EQ(o.velocity, vec3f());
  EXPECT_TRUE(o.containerIndices.empty());

  EXPECT_EQ(CollisionBox().shape, Box);
  EXPECT_EQ(CollisionSphere().shape, Sphere);
  EXPECT_EQ(CollisionSphere().radius, 1.0f);
}

TEST(CollisionBox, AddFaceBuildsTheFaceAndSharedVertices) {
  CollisionBox box;
  box.addFace({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, 7);
  ASSERT_EQ(box.collisionFaces.size(), 1u);
  const CollisionFace& f = box.collisionFaces[0];
  EXPECT_EQ(f.centroid, vec3f(0.5f, 0.5f, 0));
  EXPECT_EQ(f.normal, vec3f(0, 0, 1));
  EXPECT_EQ(f.vertexCount, 4u);
  EXPECT_EQ(f.flags, 7u);
  EXPECT_EQ(f.vertices.size(), 4u);
  for (float c : f.colour) EXPECT_EQ(c, 1);
  EXPECT_TRUE(box.faces.empty());  // a room keeps its faces in collisionFaces only
  EXPECT_EQ(box.centre, vec3f(0.5f, 0.5f, 0));

  // A second square on the shared edge (1,0,0)-(1,1,0) adds only its two
  // new vertices; (1, 1, -0) equals (1, 1, 0) exactly.
  box.addFace({{1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, -0.0f}});
  EXPECT_EQ(box.collisionFaces[1].flags, 0u);  // addFace without flags
  const std::vector<vec3f> shared = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}};
  EXPECT_EQ(box.vertices, shared);
  EXPECT_EQ(box.centre, vec3f(1, 0.5f, 0));
}

TEST(CollisionBox, DegeneratePolygons) {
  CollisionBox box;
  box.addFace({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}});  // collinear: zero normal
  ASSERT_EQ(box.collisionFaces.size(), 1u);
  EXPECT_EQ(box.collisionFaces[0].normal, vec3f());
  box.addFace({{0, 0, 0}, {1, 0, 0}}, 0);  // no normal can be formed: ignored
  box.addFace({}, 0);
  EXPECT_EQ(box.collisionFaces.size(), 1u);
  EXPECT_EQ(box.vertices.size(), 3u);

  VolumeBox plain;
  plain.addFace({{0, 0, 0}, {1, 0, 0}});
  EXPECT_TRUE(plain.faces.empty());
}

TEST(CollisionBox, RemoveFace) {
  auto box = fixtures::room({0, 0, 0}, {2, 2, 2});
  const std::size_t shared = box->vertices.size();
  box->removeFace(0);
  ASSERT_EQ(box->collisionFaces.size(), 5u);
  EXPECT_EQ(box->collisionFaces[0].centroid, vec3f(2, 1, 1));  // was face 1
  EXPECT_EQ(box->vertices.size(), shared);
  box->removeFace(5);   // out of range
  box->removeFace(-1);  // out of range
  EXPECT_EQ(box->collisionFaces.size(), 5u);
  while (!box->collisionFaces.empty()) box->removeFace(0);
  EXPECT_EQ(box->centre, vec3f());  // no faces: no NaN
}

TEST(VolumeBox, PlainBoxContainsNothingAndKeepsItsOwnFaces) {
  VolumeBox box;
  box.addFace({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
  EXPECT_EQ(box.faces.size(), 1u);
  EXPECT_TRUE(box.vertices.empty());
  const float points[][3] = {{0, 0, 0}, {0.5f, 0.2f, 0}, {1e9f, -1e9f, 3}};
  for (const auto& p : points) EXPECT_FALSE(box.containsPoint(p[0], p[1], p[2]));
}

TEST(CollisionBox, NormaliseAndScale) {
  CollisionBox box;
  box.addFace({{4, 0, 0}, {0, 2, 0}, {0, 0, 2}});
  box.addFace({{0, 0, 0}, {2, 0, 0}, {0, 0, -2}});
  box.normalise();  // the farthest vertex lies 4 from the origin
  EXPECT_EQ(box.collisionFaces[0].vertices[0], vec3f(1, 0, 0));
  EXPECT_EQ(box.collisionFaces[0].vertices[1], vec3f(0, 0.5f, 0));
  EXPECT_EQ(box.collisionFaces[1].vertices[2], vec3f(0, 0, -0.5f));
  EXPECT_EQ(box.collisionFaces[0].centroid, vec3f(4.0f / 3, 2.0f / 3, 2.0f / 3) / 4);
  EXPECT_EQ(box.vertices[0], vec3f(1, 0, 0));
  const vec3f normal = box.collisionFaces[0].normal;

  box.scale(2);
  EXPECT_EQ(box.collisionFaces[0].vertices[0], vec3f(2, 0, 0));
  EXPECT_EQ(box.vertices[0], vec3f(2, 0, 0));  // kept in step with the faces
  EXPECT_EQ(box.collisionFaces[0].normal, normal);

  CollisionBox atOrigin;  // nothing to scale by: left as it is
  atOrigin.addFace({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
  atOrigin.normalise();
  EXPECT_TRUE(sameBits(atOrigin.collisionFaces[0].centroid, vec3f()));
}

TEST(CollisionSphere, BallSetUpGivesRadius) {
  for (float before : {1.0f, 0.5f, 7.0f}) {
    CollisionSphere s;
    s.radius = before;
    s.normalise();
    s.scale(0.02f);
    EXPECT_EQ(s.radius, 0.02f);
  }
}

}  // namespace
