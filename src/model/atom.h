#pragma once
// One atom slot of a residue. Begins with its position, so an Atom is used
// wherever a Point is expected.
#include <cstdint>
#include <string>

#include "model/geometry.h"

namespace lorvane {

constexpr int ABSENT = -12345;  // type code of an absent atom; an unset index

class Atom : public Point {
public:
    int16_t type = ABSENT;  // van der Waals type code; ABSENT = absent; >= 22 hydrogens
    std::string name;       // PDB atom name without blanks
    double bfactor = -1.0;
    int16_t missing = 0;     // 1 = not filled from the input file
    int dfireType = ABSENT;  // pair-potential type (valid when hasDfireType)
    bool hasDfireType = false;
    int oscarType = ABSENT;  // OSCAR class (OSCAR_CLASSES)
    int fgIndex = ABSENT;    // index in the residue's polar-group record
    float orientPoint[3] = {ABSENT, 0.0f, 0.0f};  // x = ABSENT: not set

    Atom() = default;
    Atom(double px, double py, double pz, int t)
        : Point(static_cast<float>(px), static_cast<float>(py), static_cast<float>(pz)), type(static_cast<int16_t>(t)) {}
    explicit Atom(const Point& p) : Point(p) {}
    Atom& operator=(const Point& p) {  // position only
        x = p.x, y = p.y, z = p.z;
        return *this;
    }
    void CopyPos(const Point& p) { x = p.x, y = p.y, z = p.z; }
    // Everything reset, then placed at (px, py, pz) with type code t.
    void init(double px, double py, double pz, int t) { *this = Atom(px, py, pz, t); }
    void reset() { *this = Atom(0.0, 0.0, 0.0, ABSENT); }
    bool present() const { return type != ABSENT; }
};

}  // namespace lorvane
