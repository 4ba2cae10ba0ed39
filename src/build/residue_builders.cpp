// Residue builders: one residue step of the backbone from its dihedrals, with
// the residue types' own template geometry, forward (calBBCo) and backward
// (calBBCoR); and the candidate builders that lay out the backbone atoms of
// all 72 x 72 (phi, psi) bins of one residue from the set builders.
#include <string>

#include "build/builders.h"
#include "model/error.h"

namespace lorvane {

namespace {

constexpr double NCO_ANGLE = 2.145;  // N(i)-C(i-1)=O(i-1)

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

// CB of residue a (type t) from its backbone, and its atom count: glycine
// stops at the backbone; the side chain beyond CB is rebuilt later.
void placeCB(const Templates& tm, Residue& a, int t, const Point& N, const Point& C, const Point& CA) {
    if (t == GLY) {
        a.numAtoms = 5;
        return;
    }
    calCo(N, C, CA, tm.bondLength[t][SLOT_CB], tm.bondAngle[t][SLOT_CB], CB_DIHEDRAL, a.atoms[SLOT_CB]);
    a.numAtoms = 6;
}

}  // namespace

void calBBCo(const Templates& tm, const Structure& s, int i, Residue& a, Residue& b, double phi, double psi, double omega, double tau,
             bool into) {
    checkStep(s, i, __func__);
    checkTypes(s, i, __func__);
    const int t = s.residues[i].type;
    const int u = s.residues[i + 1].type;
    // Structure references are captured first: with into false, a may alias residue i.
    const Point prevC = s.residues[i - 1].atoms[SLOT_C];
    const Point N = s.residues[i].atoms[SLOT_N];
    const Point CA = s.residues[i].atoms[SLOT_CA];
    const double (&bl)[NUM_TYPES][MAX_ATOMS] = tm.bondLength;
    const double (&ba)[NUM_TYPES][MAX_ATOMS] = tm.bondAngle;

    Point C, O, nextN, nextCA, nextH;
    calCo(prevC, N, CA, bl[t][SLOT_C], tau, phi, C);
    calCo(N, CA, C, bl[t][SLOT_O], ba[t][SLOT_O], psi + PI, O);
    calCo(N, CA, C, bl[u][SLOT_N], ba[u][SLOT_N], psi, nextN);
    calCo(CA, C, nextN, bl[u][SLOT_CA], ba[u][SLOT_CA], omega, nextCA);
    calCo(CA, C, nextN, bl[u][SLOT_H], ba[u][SLOT_H], 0.0, nextH);

    a.atoms[SLOT_C] = C;
    a.atoms[SLOT_O] = O;
    Residue& dst = into ? b : a;
    dst.atoms[SLOT_N] = nextN;
    dst.atoms[SLOT_CA] = nextCA;
    dst.atoms[SLOT_H] = nextH;

    placeCB(tm, a, t, N, C, CA);
}

void calBBCoR(const Templates& tm, const Structure& s, int i, Residue& a, Residue& b, double phi, double psi, double omega, double tau,
              bool into) {
    checkStep(s, i, __func__);
    checkTypes(s, i, __func__);
    const int t = s.residues[i].type;
    const int u = s.residues[i + 1].type;
    const Point nextN = s.residues[i + 1].atoms[SLOT_N];
    const Point nextCA = s.residues[i + 1].atoms[SLOT_CA];
    const Point C = s.residues[i].atoms[SLOT_C];
    const double (&bl)[NUM_TYPES][MAX_ATOMS] = tm.bondLength;
    const double (&ba)[NUM_TYPES][MAX_ATOMS] = tm.bondAngle;

    Point CA, N, prevC, prevO, prevCA;
    calCo(nextCA, nextN, C, bl[t][SLOT_C], ba[u][SLOT_N], omega, CA);
    a.atoms[SLOT_CA] = CA;
    calCo(nextN, C, CA, bl[t][SLOT_CA], tau, psi, N);
    calCo(C, CA, N, bl[t][SLOT_N], ba[t][SLOT_CA], phi, prevC);
    calCo(CA, N, prevC, bl[t][SLOT_O], NCO_ANGLE, 0.0, prevO);
    // The peptide bond i-1 to i is always trans here; CA(i) is the one the
    // structure holds now (the new one when a is residue i itself).
    const Point storedCA = s.residues[i].atoms[SLOT_CA];
    calCo(storedCA, N, prevC, bl[t][SLOT_C], ba[t][SLOT_N], PI, prevCA);

    a.atoms[SLOT_N] = N;
    Residue& dst = into ? b : a;
    dst.atoms[SLOT_C] = prevC;
    dst.atoms[SLOT_O] = prevO;
    b.atoms[SLOT_CA] = prevCA;

    placeCB(tm, a, t, N, C, CA);
}

void calBBCoNext(const Templates& tm, const Structure& s, int pos, Point* out, int step, double tau) {
    checkStep(s, pos, "calBBCoNext");
    if (step < 1) step = 1;
    const Point& prevC = s.residues[pos - 1].atoms[SLOT_C];
    const Point& N = s.residues[pos].atoms[SLOT_N];
    const Point& CA = s.residues[pos].atoms[SLOT_CA];

    Point Cset[NUM_BINS], Nset[NUM_BINS], Oset[NUM_BINS];
    if (tau > 0.0)
        calCoCSetAngle(tm, prevC, N, CA, tau, Cset, step);
    else
        calCoCSet(tm, prevC, N, CA, Cset, step);
    for (int k = 0; k < NUM_BINS; k += step) {
        const Point& C = Cset[k];
        calCoONSet(tm, N, CA, C, Nset, Oset, step);
        const Point CB = calCoCB(tm, N, C, CA);
        for (int j = 0; j < NUM_BINS; j += step) {
            Point* cand = out + candPointIndex(k, j, 0);
            cand[0] = Nset[j];
            cand[2] = C;
            cand[3] = Oset[j];
            cand[5] = CB;
        }
    }
}

void calBBCoNextR(const Templates& tm, const Structure& s, int pos, Point* out, int step, double tau) {
    checkStep(s, pos, "calBBCoNextR");
    if (step < 1) step = 1;
    const Point& nextN = s.residues[pos + 1].atoms[SLOT_N];
    const Point& C = s.residues[pos].atoms[SLOT_C];
    const Point& CA = s.residues[pos].atoms[SLOT_CA];

    Point Nset[NUM_BINS], Cset[NUM_BINS];
    if (tau > 0.0)
        calCoNSetRAngle(tm, nextN, C, CA, tau, Nset, step);
    else
        calCoNSetR(tm, nextN, C, CA, Nset, step);
    for (int j = 0; j < NUM_BINS; j += step) {
        const Point& N = Nset[j];
        calCoCSetR(tm, C, CA, N, Cset, step);
        const Point CB = calCoCB(tm, N, C, CA);
        for (int k = 0; k < NUM_BINS; k += step) {
            Point* cand = out + candPointIndex(k, j, 0);
            cand[0] = N;
            cand[2] = Cset[k];
            cand[5] = CB;
        }
    }
}

}  // namespace lorvane
