// Single-precision 3-D arithmetic: vec3f, quatf and mat4f.
//
// Every operation works in 32-bit floats in the order written here; the build
// forbids contraction into fused multiply-adds, so results are the same bits
// on every machine.
#pragma once

#include <string>

// Square root rounded to single precision. Every length in the program goes
// through it.
float squareRoot(float value);

struct vec3f {
  float x = 0, y = 0, z = 0;

  vec3f() = default;
  vec3f(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

  // Scales the vector to unit length in place. A zero vector, and one whose
  // length underflows to 0 or is not a number, is left as it is.
  void normalise();
  // The text form vec3f<x, y, z>, numbers as toText writes them.
  std::string toString() const;

  vec3f& operator+=(const vec3f& b) { x += b.x; y += b.y; z += b.z; return *this; }
  vec3f& operator-=(const vec3f& b) { x -= b.x; y -= b.y; z -= b.z; return *this; }
  vec3f& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
};

inline vec3f operator+(const vec3f& a, const vec3f& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline vec3f operator-(const vec3f& a, const vec3f& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline vec3f operator-(const vec3f& a) { return {-a.x, -a.y, -a.z}; }
inline vec3f operator*(const vec3f& a, float s) { return {s * a.x, s * a.y, s * a.z}; }
inline vec3f operator*(float s, const vec3f& a) { return {s * a.x, s * a.y, s * a.z}; }
// Component-wise division (not multiplication by the reciprocal, which can
// differ in the last bit).
inline vec3f operator/(const vec3f& a, float s) { return {a.x / s, a.y / s, a.z / s}; }
inline bool operator==(const vec3f& a, const vec3f& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
inline bool operator!=(const vec3f& a, const vec3f& b) { return !(a == b); }

inline float dot(const vec3f& a, const vec3f& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline vec3f cross(const vec3f& a, const vec3f& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float length(const vec3f& a) { return squareRoot(a.x * a.x + a.y * a.y + a.z * a.z); }
// A unit copy of a, through vec3f::normalise (a zero vector stays zero).
inline vec3f normalised(vec3f a) { a.normalise(); return a; }

// A 4x4 matrix in OpenGL's column-major order: row r, column c at m[4c + r].
// A new matrix is the identity.
struct mat4f {
  float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

  float& operator[](int i) { return m[i]; }
  float operator[](int i) const { return m[i]; }

  // this := this x other, as glMultMatrixf(other) would.
  void multiply(mat4f other);
  // Replaces the matrix by its transpose.
  void transpose();
};

// The matrix applied to p as a point: rotation part first, translation added.
inline vec3f transformPoint(const mat4f& a, const vec3f& p) {
  return {a.m[0] * p.x + a.m[4] * p.y + a.m[8] * p.z + a.m[12],
          a.m[1] * p.x + a.m[5] * p.y + a.m[9] * p.z + a.m[13],
          a.m[2] * p.x + a.m[6] * p.y + a.m[10] * p.z + a.m[14]};
}

// A quaternion, scalar part first, with the rotation matrix last derived from
// it by updateMatrix (changing the components does not refresh it).
struct quatf {
  float w = 0, x = 0, y = 0, z = 0;
  mat4f matrix;

  quatf() = default;
  quatf(float w_, float x_, float y_, float z_) : w(w_), x(x_), y(y_), z(z_) {}

  // Rewrites matrix from w, x, y, z as they stand (no normalisation first,
  // so a quaternion of non-unit length gives a scaled matrix).
  void updateMatrix();
  // 0 for the zero quaternion, else the single-precision square root of
  // w² + x² + y² + z².
  float magnitude() const;
  // this := this ⊗ b; only the components change, matrix stays as it was.
  quatf& operator*=(quatf b);
};

// The Hamilton product a ⊗ b, with an identity matrix.
quatf operator*(const quatf& a, quatf b);

// A number in the default form of a standard text stream: at most six
// significant digits, trailing zeros dropped (0.5, 0.333333, 0, 1e+06).
std::string toText(double value);
