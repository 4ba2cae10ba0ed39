// Residue builders: one residue step of the backbone from its dihedrals, with
// the residue types' own template geometry, forward (calBBCo) and backward
// (calBBCoR); and the candidate builders that lay out the backbone atoms of
// all 72 x 72 (phi, psi) bins of one residue from the set builders.
#include <string>

#include "build/builders.h"
#include "model/error.h"
#include "model/structure.h"

namespace lorvane {

namespace {

constexpr int N_ = 0, CA_ = 1, C_ = 2, O_ = 3, H_ = 4, CB_ = 5;
constexpr int GLYCINE = 5;
constexpr double CB_DIHEDRAL = 2.138900998319049;  // N-C-CA-CB, 122.55 deg
constexpr double NCO_ANGLE = 2.145;                // N(i)-C(i-1)=O(i-1)

// A residue step reads positions i - 1 .. i + 1; anything else is a caller's bug.
void checkStep(const Structure& s, int i, const char* who) {
    if (i < 1 || i + 1 > s.capacity())
        fail(std::string(who) + ": residue position " + std::to_string(i) + " has no neighbour on both sides (chain capacity " +
              std::to_string(s.capacity()) + ")");
}

void checkTypes(const Structure& s, int i, const char* who) {
    for (int q = i; q <= i + 1; ++q)
        if (s[q].type < 0 || s[q].type >= NUM_TYPES)
            fail(std::string(who) + ": residue position " + std::to_string(q) + " has no residue type");
}

}  // namespace

void Structure::calBBCo(int i, Residue& a, Residue& b, double phi, double psi, double omega, double tau, bool into) {
    checkStep(*this, i, __func__);
    checkTypes(*this, i, __func__);
    const int t = residues[i].type;
    const int u = residues[i + 1].type;
    // Structure references are captured first: with into false, a may alias residue i.
    const Point prevC = residues[i - 1].atoms[C_];
    const Point N = residues[i].atoms[N_];
    const Point CA = residues[i].atoms[CA_];
    const double (&bl)[NUM_TYPES][MAX_ATOMS] = Residue::bond_length;
    const double (&ba)[NUM_TYPES][MAX_ATOMS] = Residue::bond_angle;

    Point C, O, nextN, nextCA, nextH;
    calCo(prevC, N, CA, bl[t][C_], tau, phi, C);
    calCo(N, CA, C, bl[t][O_], ba[t][O_], psi + PI, O);
    calCo(N, CA, C, bl[u][N_], ba[u][N_], psi, nextN);
    calCo(CA, C, nextN, bl[u][CA_], ba[u][CA_], omega, nextCA);
    calCo(CA, C, nextN, bl[u][H_], ba[u][H_], 0.0, nextH);

    a.atoms[C_] = C;
    a.atoms[O_] = O;
    Residue& dst = into ? b : a;
    dst.atoms[N_] = nextN;
    dst.atoms[CA_] = nextCA;
    dst.atoms[H_] = nextH;

    if (t == GLYCINE) {
        a.numAtoms = 5;
        return;
    }
    calCo(N, C, CA, bl[t][CB_], ba[t][CB_], CB_DIHEDRAL, a.atoms[CB_]);
    a.numAtoms = 6;  // the side chain beyond CB is rebuilt later
    calCo(N, C, CA, Atom::R_SC[t], ba[t][CB_], CB_DIHEDRAL, a.sc);
}

void Structure::calBBCoR(int i, Residue& a, Residue& b, double phi, double psi, double omega, double tau, bool into) {
    checkStep(*this, i, __func__);
    checkTypes(*this, i, __func__);
    const int t = residues[i].type;
    const int u = residues[i + 1].type;
    const Point nextN = residues[i + 1].atoms[N_];
    const Point nextCA = residues[i + 1].atoms[CA_];
    const Point C = residues[i].atoms[C_];
    const double (&bl)[NUM_TYPES][MAX_ATOMS] = Residue::bond_length;
    const double (&ba)[NUM_TYPES][MAX_ATOMS] = Residue::bond_angle;

    Point CA, N, prevC, prevO, prevCA;
    calCo(nextCA, nextN, C, bl[t][C_], ba[u][N_], omega, CA);
    a.atoms[CA_] = CA;
    calCo(nextN, C, CA, bl[t][CA_], tau, psi, N);
    calCo(C, CA, N, bl[t][N_], ba[t][CA_], phi, prevC);
    calCo(CA, N, prevC, bl[t][O_], NCO_ANGLE, 0.0, prevO);
    // The peptide bond i-1 to i is always trans here; CA(i) is the one the
    // structure holds now (the new one when a is residue i itself).
    const Point storedCA = residues[i].atoms[CA_];
    calCo(storedCA, N, prevC, bl[t][C_], ba[t][N_], PI, prevCA);

    a.atoms[N_] = N;
    Residue& dst = into ? b : a;
    dst.atoms[C_] = prevC;
    dst.atoms[O_] = prevO;
    b.atoms[CA_] = prevCA;

    if (t == GLYCINE) {
        a.numAtoms = 5;
        return;
    }
    calCo(N, C, CA, bl[t][CB_], ba[t][CB_], CB_DIHEDRAL, a.atoms[CB_]);
    calCo(N, C, CA, Atom::R_SC[t], ba[t][CB_], CB_DIHEDRAL, a.sc);
    a.numAtoms = 6;
}

void Structure::calBBCoNext(int pos, Point* out, int step) {
    checkStep(*this, pos, "calBBCoNext");
    if (step < 1) step = 1;
    const Point& prevC = residues[pos - 1].atoms[C_];
    const Point& N = residues[pos].atoms[N_];
    const Point& CA = residues[pos].atoms[CA_];

    Point Cset[BB_BINS], Nset[BB_BINS], Oset[BB_BINS];
    calCoCSet(prevC, N, CA, Cset, step);
    for (int k = 0; k < BB_BINS; k += step) {
        const Point& C = Cset[k];
        calCoONSet(N, CA, C, Nset, Oset, step);
        const Point CB = calCoCB(N, C, CA);
        for (int j = 0; j < BB_BINS; j += step) {
            Point* cand = out + candPointIndex(k, j, 0);
            cand[0] = Nset[j];
            cand[2] = C;
            cand[3] = Oset[j];
            cand[5] = CB;
        }
    }
}

void Structure::calBBCoNextR(int pos, Point* out, int step) {
    checkStep(*this, pos, "calBBCoNextR");
    if (step < 1) step = 1;
    const Point& nextN = residues[pos + 1].atoms[N_];
    const Point& C = residues[pos].atoms[C_];
    const Point& CA = residues[pos].atoms[CA_];

    Point Nset[BB_BINS], Cset[BB_BINS];
    calCoNSetR(nextN, C, CA, Nset, step);
    for (int j = 0; j < BB_BINS; j += step) {
        const Point& N = Nset[j];
        calCoCSetR(C, CA, N, Cset, step);
        const Point CB = calCoCB(N, C, CA);
        for (int k = 0; k < BB_BINS; k += step) {
            Point* cand = out + candPointIndex(k, j, 0);
            cand[0] = N;
            cand[2] = Cset[k];
            cand[5] = CB;
        }
    }
}

}  // namespace lorvane
