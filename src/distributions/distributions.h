#pragma once
// The sampling distributions: backbone torsion-bin probabilities and the
// joint distance distributions of forward and backward growth, with their
// lookup rules. Loaded once (loaders below); read-only afterwards, except that
// a run may give its loop residues neighbour-dependent torsion tables before
// it starts (useNeighbourTorsion, useConformationTorsion).
//
// A distance d is located on a 16-bin axis with limits (lo, hi) by the
// coordinate x = 16 (d - lo) / (hi - lo). x is usable when 0 <= x <= 16 and
// reads cell floor(x); the upper edge x = 16 belongs to the last cell (15),
// so a distance exactly at hi is inside the table, not one past it. For the
// conditional tables d is taken relative to the end-to-end distance d0 and
// the row is chosen by r = floor(d0 + 0.5).
#include <cmath>
#include <string>
#include <vector>

#include "distributions/backbone_angles.h"
#include "distributions/ncac_conformation.h"
#include "model/geometry.h"
#include "model/residue_names.h"
#include "model/zeroed.h"
#include "model/secondary_structure.h"

namespace lorvane {

constexpr int SS_CLASSES = 3;            // helix, strand, coil
constexpr int DIST_BINS = 16;            // cells per distance axis
constexpr int MIN_GAP = 3;               // the smallest gap a growth step asks for (the closure's)
constexpr int MAX_GAP = 21;              // gaps 0..21 have table rows; the files hold MIN_GAP..MAX_GAP
constexpr int MAX_END_DISTANCE = 99;     // end-to-end distances 0..99 A have conditional rows
constexpr double MIN_TORSION_PROB = 2e-5;  // below: the bin is impossible
constexpr double MIN_DIST_PROB = 1e-7;     // below: the distance cell is impossible
constexpr double MIN_COND_WIDTH = 0.001;   // conditional rows narrower than this carry no data

// Joint distance tables of one growth direction: per gap and class the axis
// limits lo1, hi1, lo2, hi2 and 16 x 16 cells, unconditional (marginal) and
// per end-to-end distance row (conditional).
struct JointTables {
    ZeroedArray<double[SS_CLASSES][4]> marginalLimits;
    ZeroedArray<double[SS_CLASSES][DIST_BINS][DIST_BINS]> marginal;
    ZeroedArray<double[SS_CLASSES][MAX_END_DISTANCE + 1][4]> condLimits;
    ZeroedArray<double[SS_CLASSES][MAX_END_DISTANCE + 1][DIST_BINS][DIST_BINS]> cond;
    JointTables();  // all zero
};

struct Distributions {
    // Probability of phi bin a, psi bin b by residue type and class.
    ZeroedArray<double[SS_CLASSES][NUM_BINS][NUM_BINS]> torsionBins;
    JointTables forward, backward;
    BackboneAngleTable backboneAngles;  // read only when the protocol needs it
    NcacConformationTable ncacConformation;  // likewise
    // Torsion-bin energies of the loop residues from their neighbours' types
    // (set once per loop by useNeighbourTorsion, empty otherwise): table of
    // each structure residue, -1 for the single-residue table.
    std::vector<int> residueTable;
    std::vector<double> residueBins;  // [table][phi 72][psi 72]
    // Torsion-bin energies of the loop residues from their neighbours'
    // conformations (set once per loop by useConformationTorsion, empty
    // otherwise): [side][type][key][phi][psi], and the normaliser of each
    // (type, previous key, next key).
    std::vector<double> conformationBins, conformationNorm;
    int conformationStart = 0, conformationEnd = -1;
    Distributions();  // all zero
    bool usesConformation(int residue) const { return residue >= conformationStart && residue <= conformationEnd; }
    const JointTables& joint(bool isBackward) const { return isBackward ? backward : forward; }
};

// ---- loaders ----
// Text of blank-separated fields in fixed blocks: a header line and its data
// rows (72 rows of 72 probabilities for the torsion bins, header "RES C";
// 16 rows of 16 for the distances, header "gap C lo1 hi1 lo2 hi2", with the
// end-to-end row after the class in the conditional tables). Every block the
// tables hold must be present exactly once; values must be finite numbers,
// probabilities non-negative; empty lines may only close the file. Anything
// else, and a missing or empty file, stops naming the file and line.
void loadTorsionBins(Distributions& d, const std::string& path);
void loadJointMarginal(Distributions& d, const std::string& path, bool backward);
void loadJointCond(Distributions& d, const std::string& path, bool backward);
// Neighbour-dependent torsion bins ("phipsi.nb.txt"): blocks "RES NB -1" (NB
// the previous residue) and "RES NB +1" (the next one) for every pair of
// amino-acid types, coil class.
struct NeighbourTorsionBins {
    std::vector<double> tables;  // [side -1, +1][type][neighbour type][phi][psi]
};
// Offset of the table (side 0: previous residue, 1: next; type; neighbour type)
// in NeighbourTorsionBins::tables.
// Offset of the 72 x 72 table of a residue type by a key (one of `keys`) of
// its previous (side 0) or next (side 1) residue: [side][type][key][phi][psi].
inline size_t sideTableOffset(int side, int type, int key, int keys) {
    return ((static_cast<size_t>(side) * NUM_AMINO_ACIDS + type) * keys + key) * NUM_BINS * NUM_BINS;
}
inline size_t neighbourTableOffset(int side, int type, int nbType) { return sideTableOffset(side, type, nbType, NUM_AMINO_ACIDS); }
// out = P(t|previous) P(t|next) / P(t) over the 72 x 72 bins, normalised (0
// where P(t) is 0); false, out untouched past the products, when nothing is left.
bool combineNeighbourTables(const double* own, const double* previous, const double* next, double* out);
NeighbourTorsionBins loadNeighbourTorsionBins(const std::string& path);
NeighbourTorsionBins parseNeighbourTorsionBins(class TableText& in);
// Gives the loop residues start..end of s their tables
// P(t|previous) P(t|next) / P(t), normalised (read by torsionScoreProb).
void useNeighbourTorsion(Distributions& d, const NeighbourTorsionBins& nb, const class Structure& s, int start, int end);
// Conformation-dependent torsion bins ("phipsi.nc.txt"): blocks "RES K -1"
// (K the key of the previous residue's conformation) and "RES K +1" (the next
// one's) for every amino-acid type and key, coil class. A residue with both
// neighbours' conformations known is scored with P(t|Kprev) P(t|Knext) / P(t),
// normalised; with one, by that table.
constexpr int CONFORMATION_KEYS = 16;
// Key of a residue's conformation: the 90 x 90 degree cell of its (phi, psi),
// cells from -180 degrees; -1 when either angle is not finite.
int conformationKey(double phiDeg, double psiDeg);
int conformationKeyAt(const class Structure& s, int i);
inline size_t conformationTableOffset(int side, int type, int key) { return sideTableOffset(side, type, key, CONFORMATION_KEYS); }
// [side][type][key][phi][psi]; throws naming the file and line.
std::vector<double> parseConformationTorsionBins(class TableText& in);
std::vector<double> loadConformationTorsionBins(const std::string& path);
// Scores the loop residues start..end by their neighbours' conformations.
void useConformationTorsion(Distributions& d, std::vector<double> tables, int start, int end);
// The four distance files and the torsion bins of the data directory.
Distributions loadDistributions(const std::string& dataDir = "data");
// The same parsers on a text already read (tests, fuzzers).
void parseTorsionBins(Distributions& d, class TableText& in);
void parseJoint(JointTables& t, class TableText& in, bool conditional);

// ---- torsion bins ----

// Probability of phi bin a, psi bin b (0..71) for a residue type and class.
inline double torsionBinProb(const Distributions& d, int type, int phiBin, int psiBin, int ss = SS_COIL) {
    return d.torsionBins[type][ss][phiBin][psiBin];
}
inline bool torsionBinAllowed(double p) { return p >= MIN_TORSION_PROB; }

// Probability that scores residue `residue` (a structure index) in bin (a, b):
// its neighbour-dependent table when the loop has one, else torsionBinProb.
// Which bins are possible is always decided by torsionBinProb.
// With conformation tables in use for the residue, keyPrev and keyNext (-1:
// unknown) choose the table.
inline double torsionScoreProb(const Distributions& d, int residue, int type, int phiBin, int psiBin, int keyPrev = -1, int keyNext = -1) {
    if (d.usesConformation(residue) && (keyPrev >= 0 || keyNext >= 0)) {
        const size_t bin = static_cast<size_t>(phiBin) * NUM_BINS + psiBin;
        if (keyNext < 0) return d.conformationBins[conformationTableOffset(0, type, keyPrev) + bin];
        if (keyPrev < 0) return d.conformationBins[conformationTableOffset(1, type, keyNext) + bin];
        const double own = torsionBinProb(d, type, phiBin, psiBin);
        const double z = d.conformationNorm[(static_cast<size_t>(type) * CONFORMATION_KEYS + keyPrev) * CONFORMATION_KEYS + keyNext];
        if (!(own > 0) || !(z > 0)) return own;
        return d.conformationBins[conformationTableOffset(0, type, keyPrev) + bin] * d.conformationBins[conformationTableOffset(1, type, keyNext) + bin] /
               (own * z);
    }
    if (residue >= 0 && residue < static_cast<int>(d.residueTable.size()) && d.residueTable[residue] >= 0)
        return d.residueBins[(static_cast<size_t>(d.residueTable[residue]) * NUM_BINS + phiBin) * NUM_BINS + psiBin];
    return torsionBinProb(d, type, phiBin, psiBin);
}

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
inline const double* marginalLimits(const Distributions& d, bool backward, int g, int ss = SS_COIL) {
    return d.joint(backward).marginalLimits[g][ss];
}

// Joint marginal of (d1, d2) at gap g. Returns false when either coordinate
// lies outside [0, 16] (or g has no row); otherwise p is the cell value.
inline bool marginalProb(const Distributions& d, bool backward, int g, double d1, double d2, double& p, int ss = SS_COIL) {
    p = 0.0;
    if (!gapInTable(g)) return false;
    const double* lim = marginalLimits(d, backward, g, ss);
    double x1 = distBinCoord(d1, lim[0], lim[1]);
    double x2 = distBinCoord(d2, lim[2], lim[3]);
    if (!distCoordInRange(x1) || !distCoordInRange(x2)) return false;
    p = d.joint(backward).marginal[g][ss][distCell(x1)][distCell(x2)];
    return true;
}

// ---- joint conditional tables ----

// Limits lo1, hi1, lo2, hi2 of (gap g, end-to-end row r); null when r has no row.
inline const double* condLimits(const Distributions& d, bool backward, int g, int r, int ss = SS_COIL) {
    if (!gapInTable(g) || !endDistanceInTable(r)) return nullptr;
    return d.joint(backward).condLimits[g][ss][r];
}

// A conditional row whose first width hi1 - lo1 is below 0.001 carries no
// data (rows never loaded are zero). A row outside the table counts as such.
inline bool condRowDegenerate(const Distributions& d, bool backward, int g, int r, int ss = SS_COIL) {
    const double* lim = condLimits(d, backward, g, r, ss);
    return lim == nullptr || lim[1] - lim[0] < MIN_COND_WIDTH;
}

// Joint conditional of the relative distances e1 = d1 - d0, e2 = d2 - d0 in
// row (g, r). Returns false when either coordinate lies outside [0, 16] or
// the row does not exist; otherwise p is the cell value. Test
// condRowDegenerate first: a degenerate row has no usable axis.
inline bool condProb(const Distributions& d, bool backward, int g, int r, double e1, double e2, double& p, int ss = SS_COIL) {
    p = 0.0;
    const double* lim = condLimits(d, backward, g, r, ss);
    if (lim == nullptr) return false;
    double y1 = distBinCoord(e1, lim[0], lim[1]);
    double y2 = distBinCoord(e2, lim[2], lim[3]);
    if (!distCoordInRange(y1) || !distCoordInRange(y2)) return false;
    p = d.joint(backward).cond[g][ss][r][distCell(y1)][distCell(y2)];
    return true;
}

}  // namespace lorvane
