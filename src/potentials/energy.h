#pragma once
// Energy terms of the loop scorers.
#include <array>
#include <ostream>
#include <vector>

#include "model/structure.h"

namespace lorvane {

// Loop distance potential by van der Waals classes; partial sums are added to e1..e4.
double quenda_e(Structure& s, int start, int end, bool allAtoms, double& e1, double& e2, double& e3, double& e4);

// DFIRE: backbone-backbone part added to bb, everything else to sc.
void dfire_e(Structure& s, int start, int end, double& bb, double& sc);
// Neighbour atoms of residue r's CB as (residue, slot, pair type) triples; stops the program
// (status 1) rather than write more than capacity triples. Absent atoms and unnumbered
// slots (glycine CB, proline H) are listed with type 167.
int getNeigh(Structure& s, int r, int* out, int capacity = 2000);

// OSCAR orientation-dependent side-chain pair energy and side-chain torsion energy.
double oscar_e(Structure& s, int start, int end);
double scto_e(Structure& s, int start, int end);
float getori(const float* oa, const float* pa, const float* ob, const float* pb, int ca, int cb);
void orient(const float* o, const float* p1, const float* p2, float* out);
float coss(const float* a, const float* b, const float* c);
float cosv(const float* a, const float* b, const float* c, const float* d);

// Clash pair lists of the filter. Records: residue A, slot A, residue B, slot B, pair type A,
// pair type B, residue separation. The lists grow with the step (long loops of large
// residues exceed MAX_PAIRS); numpairs / numpairsSC equal their sizes.
constexpr int MAX_PAIRS = 2000;  // typical size, reserved up front
using PairRecord = std::array<int, 7>;
extern int numpairs;
extern std::vector<PairRecord> pairlist;
extern int numpairsSC;
extern std::vector<PairRecord> pairlistSC;
double vdw_bbsc_prep(Structure& s, int k, int, int, const int* order, const bool* backward, int c);
void vdw_scsc_prep(Structure& s, int k, int, int, const int* order, const bool* backward);
double vdw_bbsc(Structure& s, int, int, int, double& e);
double vdw_scsc(Structure& s, int, int, int, double& e);
double vdw_onebbsc(Structure& s, int r, int c);

}  // namespace lorvane
