#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "geometry/vector.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(Vec3f, NormaliseTable) {
  struct Case {
    vec3f in, out;
  } cases[] = {
      {{0, 0, 0}, {0, 0, 0}},
      {{-0.0f, 0, -0.0f}, {-0.0f, 0, -0.0f}},  // negative zero counts as zero
      {{3, 0, 4}, {0.6f, 0, 0.8f}},
      {{0, -2, 0}, {0, -1, 0}},
      {{1e-30f, 0, 0}, {1e-30f, 0, 0}},  // the squared length underflows to 0
  };
  for (const Case& c : cases) {
    vec3f v = c.in;
    v.normalise();
    SCOPED_TRACE(c.in.toString());
    EXPECT_TRUE(sameBits(v.x, c.out.x) && sameBits(v.y, c.out.y) && sameBits(v.z, c.out.z))
        << v.toString();
  }
  vec3f withNaN(kNaN, 1, 1);
  withNaN.normalise();  // length is not a number: left as it is
  EXPECT_TRUE(std::isnan(withNaN.x));
  EXPECT_EQ(withNaN.y, 1);
  EXPECT_EQ(withNaN.z, 1);
}

TEST(Vec3f, OperatorsAndLength) {
  const vec3f a(1, 2, 3), b(4, -5, 6);
  EXPECT_EQ(a + b, vec3f(5, -3, 9));
  EXPECT_EQ(a - b, vec3f(-3, 7, -3));
  EXPECT_EQ(a * 2.0f, vec3f(2, 4, 6));
  EXPECT_EQ(dot(a, b), 12.0f);
  EXPECT_EQ(cross(vec3f(1, 0, 0), vec3f(0, 1, 0)), vec3f(0, 0, 1));
  EXPECT_EQ(cross(a, b), vec3f(27, 6, -13));
  EXPECT_EQ(length(vec3f(2, 3, 6)), 7.0f);
  EXPECT_EQ(length(vec3f()), 0.0f);
}

TEST(Vec3f, ToStringTable) {
  struct Case {
    vec3f v;
    const char* text;
  } cases[] = {
      {{0, 0, 0}, "vec3f<0, 0, 0>"},
      {{1, 2.5f, -3}, "vec3f<1, 2.5, -3>"},
      {{1.0f / 3, 1e6f, 1e-5f}, "vec3f<0.333333, 1e+06, 1e-05>"},
      {{123456.7f, -0.5f, 100}, "vec3f<123457, -0.5, 100>"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.v.toString(), c.text);
}

TEST(Quatf, ProductTable) {
  struct Case {
    quatf a, b, product;
  } cases[] = {
      {{0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}},      // i j = k
      {{0, 0, 1, 0}, {0, 1, 0, 0}, {0, 0, 0, -1}},     // j i = -k
      {{0, 1, 0, 0}, {0, 1, 0, 0}, {-1, 0, 0, 0}},     // i i = -1
      {{1, 0, 0, 0}, {0.5f, 1, -2, 3}, {0.5f, 1, -2, 3}},  // identity on the left
      {{1, 2, 3, 4}, {5, 6, 7, 8}, {-60, 12, 30, 24}},
  };
  for (const Case& c : cases) {
    const quatf r = c.a * c.b;
    EXPECT_EQ(r.w, c.product.w);
    EXPECT_EQ(r.x, c.product.x);
    EXPECT_EQ(r.y, c.product.y);
    EXPECT_EQ(r.z, c.product.z);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(r.matrix[i], mat4f()[i]) << "identity matrix at " << i;
  }
}

TEST(Quatf, InPlaceProductKeepsTheMatrix) {
  quatf q(0, 1, 0, 0);
  q.updateMatrix();
  const mat4f before = q.matrix;
  q *= quatf(0, 0, 1, 0);
  EXPECT_EQ(q.w, 0);
  EXPECT_EQ(q.z, 1);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(q.matrix[i], before[i]);
}

TEST(Quatf, UpdateMatrix) {
  quatf identity(1, 0, 0, 0);
  identity.updateMatrix();
  for (int i = 0; i < 16; ++i) EXPECT_EQ(identity.matrix[i], mat4f()[i]);

  const float h = std::sqrt(0.5f);
  quatf turn(h, 0, 0, h);  // a quarter turn about z
  turn.updateMatrix();
  EXPECT_FLOAT_EQ(turn.matrix[1], -1);
  EXPECT_FLOAT_EQ(turn.matrix[4], 1);
  EXPECT_EQ(turn.matrix[0], 0);
  EXPECT_EQ(turn.matrix[5], 0);
  EXPECT_FLOAT_EQ(turn.matrix[10], 1);
  EXPECT_EQ(turn.matrix[15], 1);

  // Not of unit length: the diagonal is w² + x² - y² - z², not 1 - 2(y² + z²).
  quatf scaled(2, 1, 0, 0);
  scaled.updateMatrix();
  const float expected[16] = {5, 0, 0, 0, 0, 3, -4, 0, 0, 4, 3, 0, 0, 0, 0, 1};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(scaled.matrix[i], expected[i]) << "index " << i;
}

TEST(Quatf, Magnitude) {
  EXPECT_EQ(quatf(0, 0, 0, 0).magnitude(), 0.0f);
  EXPECT_EQ(quatf(1, 0, 0, 0).magnitude(), 1.0f);
  EXPECT_EQ(quatf(1, 2, 2, 4).magnitude(), 5.0f);
  EXPECT_EQ(quatf(-0.0f, 0, 0, -0.0f).magnitude(), 0.0f);
}

mat4f numbered() {
  mat4f m;
  for (int i = 0; i < 16; ++i) m[i] = static_cast<float>(i + 1);
  return m;
}

TEST(Mat4f, MultiplyAndTranspose) {
  mat4f a = numbered();
  a.multiply(mat4f());
  for (int i = 0; i < 16; ++i) EXPECT_EQ(a[i], i + 1);

  // A translation by (1, 2, 3) times a scale by 2: scale first, then move.
  mat4f t;
  t[12] = 1;
  t[13] = 2;
  t[14] = 3;
  mat4f s;
  s[0] = s[5] = s[10] = 2;
  t.multiply(s);
  const float ts[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(t[i], ts[i]) << "index " << i;
  // The other way round the translation is scaled too.
  s.multiply(t);
  EXPECT_EQ(s[12], 2);
  EXPECT_EQ(s[14], 6);

  // The product reads the old value of this throughout (aliasing).
  mat4f sq = numbered();
  sq.multiply(sq);
  EXPECT_EQ(sq[0], 1 * 1 + 5 * 2 + 9 * 3 + 13 * 4);
  EXPECT_EQ(sq[15], 4 * 13 + 8 * 14 + 12 * 15 + 16 * 16);

  mat4f m = numbered();
  m.transpose();
  EXPECT_EQ(m[1], 5);  // row 1, column 0 was row 0, column 1
  EXPECT_EQ(m[4], 2);
  EXPECT_EQ(m[15], 16);
  m.transpose();
  for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], i + 1);
}

}  // namespace
