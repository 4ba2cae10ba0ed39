#pragma once
// A residue: 30 atom slots in fixed template order (0 N, 1 CA, 2 C, 3 O,
// 4 amide H, 5 CB, then side chain) plus the per-type template tables.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "model/atom.h"

namespace lorvane {

class Structure;

constexpr int MAX_ATOMS = 30;
constexpr int NUM_TYPES = 30;
constexpr double UNDEF_DIHEDRAL = 999.99;
constexpr double FREE_CHI = -1234.0;

// Residue type indices used throughout.
enum ResType { ALA = 0, CYS, ASP, GLU, PHE, GLY, HIS, ILE, LYS, LEU, MET, ASN, PRO, GLN, ARG, SER, THR, VAL, TRP, TYR };

class Residue {
public:
    Atom atoms[MAX_ATOMS];
    int16_t type = -1;
    int16_t index = 0;
    int16_t numAtoms = MAX_ATOMS;
    int16_t ss = 2;
    double phi = UNDEF_DIHEDRAL, psi = UNDEF_DIHEDRAL, omega = UNDEF_DIHEDRAL;
    // Backbone internal coordinates (assign_ss).
    double tNCACO = UNDEF_DIHEDRAL, tNCCACB = UNDEF_DIHEDRAL;
    double dCN = -12345.0, dNCA = -12345.0, dCAC = -12345.0, dCO = -12345.0, dCACB = -12345.0;
    double aCNCA = -12345.0, aNCAC = -12345.0, aCACN = -12345.0, aCACO = -12345.0, aCCACB = -12345.0;
    bool geomSet = false;
    double chi[5] = {UNDEF_DIHEDRAL, UNDEF_DIHEDRAL, UNDEF_DIHEDRAL, UNDEF_DIHEDRAL, UNDEF_DIHEDRAL};
    int pdbNum = 0;
    Structure* parent = nullptr;
    bool missingHeavy = false;
    Atom bbCenter, scCenter, center;
    std::set<int> neighbors;
    Atom sc;
    Atom fgCenter;

    explicit Residue(int n = MAX_ATOMS);
    Residue(const Residue& o);
    Residue& operator=(const Residue& o);
    void init(int n);

    void cal_fg();
    void cal_sc_angles();

    // ---- template tables (filled once by InitPar / InitMap) ----
    static std::string Name1[25];
    static std::string Name3[25];
    static int numAtom[NUM_TYPES];
    static std::string cType[NUM_TYPES][MAX_ATOMS];
    static int vdwType[NUM_TYPES][MAX_ATOMS];
    static int oplsType[NUM_TYPES][MAX_ATOMS];
    static int prev_atom[NUM_TYPES][MAX_ATOMS][3];
    static double bond_length[NUM_TYPES][MAX_ATOMS];
    static double bond_angle[NUM_TYPES][MAX_ATOMS];
    static double torsion[NUM_TYPES][MAX_ATOMS];
    static double size[NUM_TYPES], sc_size[NUM_TYPES], sc_max_dis[NUM_TYPES];
    static std::vector<int> funcAtom[NUM_TYPES];
    static std::map<std::string, int> AtomMap;
    static std::map<std::string, int> AtomIndexMap;
    static std::map<std::string, std::string> AAMap;
    static std::map<std::string, int> AIMap;
    static std::map<int, std::string> ResMap;
    static std::map<std::string, int> SIMap;
    static std::map<std::string, int> BIMap;
    static double sqrtt[10000];
    static double sincos_ttable[108][2];  // (sin, cos) of -180 deg + 5 deg * k
    static double sincos_btable[6][2];    // (sin, cos) of pi - bond_angle[0][j]
    static double bb_size;
    static const int lastDFire[NUM_TYPES];
    static const int numTorAng[NUM_TYPES];

    static void InitMap();
    static void InitPar(const char* path, const std::string& prefix, int unused);
};

}  // namespace lorvane
