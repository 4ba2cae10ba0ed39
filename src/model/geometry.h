#pragma once
// Single-precision coordinates with the program's fixed precision rules:
// stored as float, measured in float and widened, dihedrals in double.

namespace lorvane {

constexpr double PI = 3.14159265358979;        // fifteen digits, as everywhere outside the closure solver
constexpr double RAD2DEG = 57.29577951308239;
constexpr double DEG2RAD = 0.017453292519943278;

struct Point {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    Point() = default;
    Point(float px, float py, float pz) : x(px), y(py), z(pz) {}

    double pabs() const;
    double operator^(const Point& q) const;  // dot product in float
    double dis(const Point& q) const;
    double sdis(const Point& q) const;
    bool dislt(const Point& q, double d) const;
    void minus(double v);
    void plus(double v);
    void multiply(double v);
    void divide(double v);
    void out() const;
    double angle(const Point& b, const Point& c) const;  // angle b-this-c, degrees
};

// Angle a-b-c at b, degrees (not clamped: NaN when rounding pushes past +-1).
double angle(const Point& a, const Point& b, const Point& c);
// Dihedral a-b-c-d in degrees, [-180, 180); planar trans gives -180.
double Torsion(const Point& a, const Point& b, const Point& c, const Point& d);
void cross(const Point& a, const Point& b, Point& out);
// Places D bonded to C with |CD| = d, angle B-C-D = theta, dihedral A-B-C-D = tau (radians).
// An Atom passed as out receives the position only.
void calCo(const Point& A, const Point& B, const Point& C, double d, double theta, double tau, Point& out);
void calCo(const Point* const ref[3], double d, double theta, double tau, Point& out);

}  // namespace lorvane
