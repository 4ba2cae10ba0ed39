#pragma once
// Lookup rules of the sampling distributions: the backbone torsion-bin
// probabilities (SMC::TorsionBins) and the joint distance distributions of
// forward and backward growth (SMC::JointMarginal*, SMC::JointCond*). The
// tables are loaded once by the SMC loaders and only read here.
//
// A distance d is located on a 16-bin axis with limits (lo, hi) by the
// coordinate x = 16 (d - lo) / (hi - lo). x is usable when 0 <= x <= 16 and
// reads cell floor(x); the upper edge x = 16 belongs to the last cell (15),
// so a distance exactly at hi is inside the table, not one past it. For the
// conditional tables d is taken relative to the end-to-end distance d0 and
// the row is chosen by r = floor(d0 + 0.5).
#include <cmath>

#include "growth/smc.h"

namespace lorvane {

constexpr int DIST_BINS = 16;           // cells per distance axis
constexpr int MAX_GAP = 21;             // gaps 0..21 have table rows
constexpr int MAX_END_DISTANCE = 99;    // end-to-end distances 0..99 A have conditional rows
constexpr int SS_COIL = 2;              // the sampler reads only the coil class
constexpr double MIN_TORSION_PROB = 2e-5;  // below: the bin is impossible
constexpr double MIN_DIST_PROB = 1e-7;     // below: the distance cell is impossible
constexpr double MIN_COND_WIDTH = 0.001;   // conditional rows narrower than this carry no data

// ---- torsion bins ----

// Probability of phi bin a, psi bin b (0..71) for a residue type and class.
inline double torsionBinProb(int type, int phiBin, int psiBin, int ss = SS_COIL) {
    return SMC::TorsionBins[type][ss][phiBin][psiBin];
}
inline bool torsionBinAllowed(double p) { return p >= MIN_TORSION_PROB; }

// ---- distance axes ----

inline double distBinCoord(double d, double lo, double hi) { return 16.0 * (d - lo) / (hi - lo); }
// False for NaN and infinities (a zero-width axis) as well.
inline bool distCoordInRange(double x) { return x >= 0.0 && x <= 16.0; }
// Cell of an in-range coordinate; x = 16 reads the last cell.
inline int distCell(double x) {
    int c = static_cast<int>(x);
    return c > DIST_BINS - 1 ? DIST_BINS - 1 : c;
}
// End-to-end distance rounded to its conditional row.
inline int endDistanceRow(double d0) { return static_cast<int>(std::floor(d0 + 0.5)); }

inline bool gapInTable(int g) { return g >= 0 && g <= MAX_GAP; }
inline bool endDistanceInTable(int r) { return r >= 0 && r <= MAX_END_DISTANCE; }

// ---- joint marginal tables ----

// Limits lo1, hi1, lo2, hi2 of gap g (forward or backward tables).
inline const double* marginalLimits(bool backward, int g, int ss = SS_COIL) {
    return backward ? SMC::JointMarginalLimitsB[g][ss] : SMC::JointMarginalLimits[g][ss];
}

// Joint marginal of (d1, d2) at gap g. Returns false when either coordinate
// lies outside [0, 16] (or g has no row); otherwise p is the cell value.
inline bool marginalProb(bool backward, int g, double d1, double d2, double& p, int ss = SS_COIL) {
    p = 0.0;
    if (!gapInTable(g)) return false;
    const double* lim = marginalLimits(backward, g, ss);
    double x1 = distBinCoord(d1, lim[0], lim[1]);
    double x2 = distBinCoord(d2, lim[2], lim[3]);
    if (!distCoordInRange(x1) || !distCoordInRange(x2)) return false;
    const int i = distCell(x1), j = distCell(x2);
    p = backward ? SMC::JointMarginalB[g][ss][i][j] : SMC::JointMarginal[g][ss][i][j];
    return true;
}

// ---- joint conditional tables ----

// Limits lo1, hi1, lo2, hi2 of (gap g, end-to-end row r); null when r has no row.
inline const double* condLimits(bool backward, int g, int r, int ss = SS_COIL) {
    if (!gapInTable(g) || !endDistanceInTable(r)) return nullptr;
    return backward ? SMC::JointCondLimitsB[g][ss][r] : SMC::JointCondLimits[g][ss][r];
}

// A conditional row whose first width hi1 - lo1 is below 0.001 carries no
// data (rows never loaded are zero). A row outside the table counts as such.
inline bool condRowDegenerate(bool backward, int g, int r, int ss = SS_COIL) {
    const double* lim = condLimits(backward, g, r, ss);
    return lim == nullptr || lim[1] - lim[0] < MIN_COND_WIDTH;
}

// Joint conditional of the relative distances e1 = d1 - d0, e2 = d2 - d0 in
// row (g, r). Returns false when either coordinate lies outside [0, 16] or
// the row does not exist; otherwise p is the cell value. Test
// condRowDegenerate first: a degenerate row has no usable axis.
inline bool condProb(bool backward, int g, int r, double e1, double e2, double& p, int ss = SS_COIL) {
    p = 0.0;
    const double* lim = condLimits(backward, g, r, ss);
    if (lim == nullptr) return false;
    double y1 = distBinCoord(e1, lim[0], lim[1]);
    double y2 = distBinCoord(e2, lim[2], lim[3]);
    if (!distCoordInRange(y1) || !distCoordInRange(y2)) return false;
    const int i = distCell(y1), j = distCell(y2);
    p = backward ? SMC::JointCondB[g][ss][r][i][j] : SMC::JointCond[g][ss][r][i][j];
    return true;
}

}  // namespace lorvane
