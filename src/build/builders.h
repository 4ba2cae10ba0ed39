#pragma once
// Set builders: one backbone atom for a whole row of 5-degree torsion bins.
//
// Every builder takes three reference points (A, B, C), builds one
// orthonormal frame at C (u along B->C, p the part of A-B perpendicular to
// u, n = u x p) and places D = C + L*(cos(pi-theta)*u + sin(pi-theta)*
// (cos(tau)*p + sin(tau)*n)), the calCo convention: |CD| = L, angle B-C-D =
// theta, dihedral A-B-C-D = tau. The geometry is always that of residue
// type 0 and the sines and cosines come from the templates' sinCosBond and
// sinCosTorsion tables. u is B->C divided by the template length of that bond
// (by its measured length in calCoCSet, whose N-CA bond comes from outside).
//
// Bin k stands for the torsion -180 + 5k degrees. With bin step s the
// builders write indices 0, s, 2s, ... below 72 of their output arrays and
// leave every other entry untouched.
#include <cstddef>

#include "model/geometry.h"
#include "model/structure.h"
#include "model/templates.h"

namespace lorvane {

constexpr double CB_DIHEDRAL = 2.138900998319049;  // N-C-CA-CB, 122.55 deg: the L-residue CB
constexpr double NCAC_DEG = 111.2;                 // N-CA-C angle of every grown residue
constexpr double NCAC_ANGLE = NCAC_DEG * DEG2RAD;  // the same in radians
constexpr int NUM_CAND = NUM_BINS * NUM_BINS;  // (phi, psi) bin pairs of one residue
constexpr int BB_CAND_SLOTS = 6;                 // points per candidate in calBBCoNext/calBBCoNextR output
constexpr int BB_CAND_POINTS = NUM_CAND * BB_CAND_SLOTS;

// Index into the output of calBBCoNext / calBBCoNextR for the
// phi bin and psi bin of the residue being built. The layout is psi-major:
// out[(72 * psi + phi) * 6 + slot].
//   forward:  slot 0 N(pos+1), 2 C(pos), 3 O(pos), 5 CB(pos); 1 and 4 for the caller
//   backward: slot 0 N(pos), 2 C(pos-1), 5 CB(pos); 1 (CA(pos-1)) and 3 (O(pos-1)) for the caller
inline std::size_t candPointIndex(int phiBin, int psiBin, int slot) {
    return (static_cast<std::size_t>(NUM_BINS) * psiBin + phiBin) * BB_CAND_SLOTS + slot;
}

// C(i) from (C(i-1), N(i), CA(i)) for every phi bin.
void calCoCSet(const Templates& t, const Point& A, const Point& B, const Point& C, Point* out, int step);
// C(i-1) from (C(i), CA(i), N(i)) for every phi bin.
// The same with the N-CA-C angle theta (radians) instead of the template's.
void calCoCSetAngle(const Templates& t, const Point& A, const Point& B, const Point& C, double theta, Point* out, int step);
void calCoCSetR(const Templates& t, const Point& A, const Point& B, const Point& C, Point* out, int step);
// N(i+1) from (N(i), CA(i), C(i)) for every psi bin.
void calCoNSet(const Templates& t, const Point& A, const Point& B, const Point& C, Point* out, int step);
// N(i) from (N(i+1), C(i), CA(i)) for every psi bin.
void calCoNSetR(const Templates& t, const Point& A, const Point& B, const Point& C, Point* out, int step);
// N(i+1) and O(i) (dihedral psi + 180) from (N(i), CA(i), C(i)) for every psi bin.
// The same with the C-CA-N angle theta (radians) instead of the template's.
void calCoNSetRAngle(const Templates& t, const Point& A, const Point& B, const Point& C, double theta, Point* out, int step);
void calCoONSet(const Templates& t, const Point& A, const Point& B, const Point& C, Point* outN, Point* outO, int step);
// CA(i+1) from (CA(i), C(i), N(i+1)): trans (omega 180) and cis (omega 0).
Point calCoCA(const Templates& t, const Point& A, const Point& B, const Point& C);
Point calCoCA0(const Templates& t, const Point& A, const Point& B, const Point& C);
// CA(i-1) (omega 180) and O(i-1) from (CA(i), N(i), C(i-1)).
void calCoCAOR(const Templates& t, const Point& A, const Point& B, const Point& C, Point& outCA, Point& outO);
// CB(i) from (N(i), C(i), CA(i)).
Point calCoCB(const Templates& t, const Point& N, const Point& C, const Point& CA);

// One residue step forward: C, O (and CB) of residue i from its phi (and the
// N-CA-C angle tau), N, CA, H of residue i + 1 from psi and omega, all with the
// templates of the two residue types. a receives residue i's atoms; b (into true)
// or a (into false) those of residue i + 1, so a scratch residue can take both.
void calBBCo(const Templates& t, const Structure& s, int i, Residue& a, Residue& b, double phi, double psi, double omega, double tau,
             bool into);
// One residue step backward: CA, N (and CB) of residue i from omega, psi, phi,
// and C, O, CA of residue i - 1.
void calBBCoR(const Templates& t, const Structure& s, int i, Residue& a, Residue& b, double phi, double psi, double omega, double tau,
              bool into);
// Backbone atoms of all 72 x 72 (phi, psi) bins of residue pos (candPointIndex
// layout; out holds BB_CAND_POINTS points), forward and backward. tau > 0
// gives the N-CA-C angle of residue pos (radians) instead of the template's.
void calBBCoNext(const Templates& t, const Structure& s, int pos, Point* out, int step, double tau = -1.0);
void calBBCoNextR(const Templates& t, const Structure& s, int pos, Point* out, int step, double tau = -1.0);
// The same with an N-CA-C angle of its own for every (phi, psi) bin: tauDeg
// (degrees) indexed [NUM_BINS * phi bin + psi bin]. Forward from C(i-1),
// N(i), CA(i); backward from N(i+1), C(i), CA(i).
void calBBCoNextAngles(const Templates& t, const Point& prevC, const Point& N, const Point& CA, const float* tauDeg, Point* out);
void calBBCoNextAnglesR(const Templates& t, const Point& nextN, const Point& C, const Point& CA, const float* tauDeg, Point* out);

}  // namespace lorvane
