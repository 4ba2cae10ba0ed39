#pragma once
// One tripeptide closure as the growth step records it, and the steps shared
// by the classic closure (one random geometry per candidate) and the
// flexible one (-xclose: several geometries, distinct solutions kept).
#include <array>
#include <sstream>
#include <vector>

#include "model/structure.h"

class GrowOne;

namespace closure_detail {

struct Solution {
    double phi[3] = {}, psi[3] = {}, omega[3] = {};  // radians, residues c, c+1, c+2
    double theta1Deg = 0.0, theta2Deg = 0.0;          // N-CA-C of c and c+1
    double score = 0.0;                               // closure score (pair table)
    std::array<Point, 8> atoms;                       // C(c), O(c), N(c+1), CA(c+1), C(c+1), O(c+1), N(c+2), CA(c+2)
};

// Writes one solver solution (N, CA, C of residues c..c+2) into s, measures
// its dihedrals, places O and CB, and keeps the closure atoms in sol. False
// when the torsion-bin energy of the three residues rejects it.
bool completeSolution(Structure& s, int c, const double n[3][3], const double ca[3][3], const double cc[3][3], Solution& sol);

// Stores sol at record entry e of the thread's workspace, weight score + E.
void record(GrowOne& g, std::vector<double>& weights, size_t e, const Solution& sol, double E);

// Sum of squared distances between the closure atoms of two solutions.
double atomDistance2(const Solution& a, const Solution& b);

// The closures a candidate keeps with -xclose: from solutions in any order,
// the lowest-scoring ones in ascending score, skipping any whose closure
// atoms lie within RMSD `distinct` (A) of one already kept, at most cap.
std::vector<int> keepDistinct(const std::vector<Solution>& sols, int cap, double distinct);

}  // namespace closure_detail

// -xclose: closure of candidate k with `draws` geometries drawn from the
// train-derived backbone angles (N-CA-C of c, c+1, c+2 by residue type, both
// peptide torsions by the type after the bond); every solution is screened
// and scored as in the classic closure, and the distinct accepted ones are
// recorded at entries 8k.. (at most 8). Returns the number recorded.
int flexibleClosureOne(Structure& s, int c, int k, std::vector<double>& weights, double E, GrowOne& g, std::stringstream& diag,
                       bool retry, int loopStart, int loopEnd, int draws);
