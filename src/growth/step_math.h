#pragma once
// Small arithmetic shared by the growth-step files, in the precision the
// sampler has always used (float distances, widened where noted).
#include <cmath>

#include "model/geometry.h"

namespace lorvane {

// Squared distance in float.
inline float sqDist(float x, float y, float z, const Point& p) {
    const float dx = x - p.x, dy = y - p.y, dz = z - p.z;
    return dx * dx + dy * dy + dz * dz;
}
inline float sqDist(const Point& a, const Point& b) { return sqDist(a.x, a.y, a.z, b); }

// |a - b| with the precision of Point::dis (float differences, sum and root), inlined.
inline double floatDistance(const Point& a, const Point& b) { return std::sqrt(sqDist(a, b)); }

// Start of 5-degree bin `bin`, in radians.
inline double binAngle(int bin) { return -PI + bin * BIN_WIDTH; }

}  // namespace lorvane
