#pragma once
// One atom slot of a residue. Begins with its position, so an Atom is used
// wherever a Point is expected.
#include <cstdint>
#include <string>

#include "model/geometry.h"

namespace lorvane {

class Residue;

constexpr int ABSENT = -12345;  // absent atom / unset index

class Atom : public Point {
public:
    int16_t type = ABSENT;  // van der Waals type code; -12345 = absent; >= 22 hydrogens
    std::string name;       // PDB atom name without blanks
    double bfactor = -1.0;
    int index = ABSENT;     // slot within its residue
    Residue* parent = nullptr;
    int16_t missing = 0;    // 1 = not filled from the input file
    int dfireType = ABSENT;
    bool hasDfireType = false;
    int oscarType = ABSENT;  // index into PF::atomtype
    int fgIndex = ABSENT;    // index in the residue's functional-group record
    float orientPoint[3] = {-12345.0f, 0.0f, 0.0f};

    Atom() = default;
    Atom(double px, double py, double pz, int t);
    explicit Atom(const Point& p);
    Atom(const Atom& o);
    Atom& operator=(const Atom& o);   // copies everything but parent
    Atom& operator=(const Point& p);  // position only
    void CopyPos(const Point& p);
    void init(double px, double py, double pz, int t);
    void reset();
    void SetParent(Residue* r) { parent = r; }
    void out() const;
    bool present() const { return type != ABSENT; }

    // Van der Waals parameters by type code (index 0 unused), read from the vdw_par section.
    static double radius[30];
    static double welldepth[30];
    static double s_volume[30];
    static double s_lambda[30];
    static double s_dgfree[30];
    static int16_t acceptor[30];
    static int16_t donor[30];
    static int16_t hbondH[30];
    static double vdw_adj;
    static const double R_SC[30];  // distance of the side-chain pseudo-atom per residue type

    static void InitPar(const char* path, const std::string& prefix);
};

}  // namespace lorvane
