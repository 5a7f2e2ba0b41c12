#include "geometry/vector.h"

#include <cmath>
#include <sstream>

float squareRoot(float value) { return std::sqrt(value); }

void vec3f::normalise() {
  if (x == 0 && y == 0 && z == 0) return;
  const float sum = x * x + y * y + z * z;
  const float len = squareRoot(sum);
  if (len > 0) {
    x /= len;
    y /= len;
    z /= len;
  }
}

std::string toText(double value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

std::string vec3f::toString() const {
  std::ostringstream out;
  out << "vec3f<" << x << ", " << y << ", " << z << ">";
  return out.str();
}

void mat4f::multiply(mat4f other) {
  float result[16];
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r)
      result[4 * c + r] = m[r] * other.m[4 * c + 0] + m[4 + r] * other.m[4 * c + 1] +
                          m[8 + r] * other.m[4 * c + 2] + m[12 + r] * other.m[4 * c + 3];
  for (int i = 0; i < 16; ++i) m[i] = result[i];
}

void mat4f::transpose() {
  float result[16];
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) result[4 * r + c] = m[4 * c + r];
  for (int i = 0; i < 16; ++i) m[i] = result[i];
}

void quatf::updateMatrix() {
  float* m = matrix.m;
  m[0] = w * w + x * x - y * y - z * z;
  m[1] = 2 * x * y - 2 * w * z;
  m[2] = 2 * x * z + 2 * w * y;
  m[3] = 0;
  m[4] = 2 * x * y + 2 * w * z;
  m[5] = w * w - x * x + y * y - z * z;
  m[6] = 2 * y * z - 2 * w * x;
  m[7] = 0;
  m[8] = 2 * x * z - 2 * w * y;
  m[9] = 2 * y * z + 2 * w * x;
  m[10] = w * w - x * x - y * y + z * z;
  m[11] = 0;
  m[12] = 0;
  m[13] = 0;
  m[14] = 0;
  m[15] = 1;
}

float quatf::magnitude() const {
  if (w == 0 && x == 0 && y == 0 && z == 0) return 0;
  const float sum = w * w + x * x + y * y + z * z;
  return squareRoot(sum);
}

quatf operator*(const quatf& a, quatf b) {
  return quatf(a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
               a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
               a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
               a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w);
}

quatf& quatf::operator*=(quatf b) {
  const quatf product = quatf(w, x, y, z) * b;
  w = product.w;
  x = product.x;
  y = product.y;
  z = product.z;
  return *this;
}
