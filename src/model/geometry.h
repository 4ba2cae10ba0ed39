#pragma once
// Single-precision coordinates with the program's fixed precision rules:
// stored as float, measured in float and widened, dihedrals in double.

#include <cmath>

namespace lorvane {

constexpr double PI = 3.14159265358979;        // fifteen digits, as everywhere outside the closure solver
constexpr double RAD2DEG = 57.29577951308239;
constexpr double DEG2RAD = 0.017453292519943278;

// Dihedrals are sampled in 72 bins of 5 degrees; bin k starts at -180 + 5k degrees.
constexpr int NUM_BINS = 72;
constexpr double BIN_WIDTH = 0.08726646259971639;  // 5 degrees in radians

struct Point {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    Point() = default;
    Point(float px, float py, float pz) : x(px), y(py), z(pz) {}

    // Inline: these run in the innermost loops of growth and filter.
    double pabs() const {
        float s = x * x + y * y + z * z;
        return std::sqrt(s);
    }
    double operator^(const Point& q) const {  // dot product in float
        float s = x * q.x + y * q.y + z * q.z;
        return s;
    }
    double dis(const Point& q) const {
        float dx = x - q.x, dy = y - q.y, dz = z - q.z;
        float s = dx * dx + dy * dy + dz * dz;
        return std::sqrt(s);
    }
    double sdis(const Point& q) const {
        float dx = x - q.x, dy = y - q.y, dz = z - q.z;
        float s = dx * dx + dy * dy + dz * dz;
        return s;
    }
};

// Angle a-b-c at b, degrees (not clamped: NaN when rounding pushes past +-1).
double angle(const Point& a, const Point& b, const Point& c);
// Dihedral a-b-c-d in degrees, [-180, 180); planar trans gives -180.
double Torsion(const Point& a, const Point& b, const Point& c, const Point& d);
void cross(const Point& a, const Point& b, Point& out);
// Places D bonded to C with |CD| = d, angle B-C-D = theta, dihedral A-B-C-D = tau (radians).
// An Atom passed as out receives the position only.
void calCo(const Point& A, const Point& B, const Point& C, double d, double theta, double tau, Point& out);
// calCo with the sines and cosines given (of pi - theta and of tau): the same point, for callers that reuse them.
void calCoTrig(const Point& A, const Point& B, const Point& C, double d, double sinA, double cosA, double sinT, double cosT,
               Point& out);

}  // namespace lorvane
