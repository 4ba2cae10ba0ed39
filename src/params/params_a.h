#pragma once
// Backbone-torsion, joint-distance and rotamer derivations of lorvane-params,
// exposed for the validation command, the tests and the timing benchmark.
#include <string>
#include <vector>

#include "params/training_set.h"

namespace paramsa {

// ---------------- backbone torsion bins ----------------

struct PhipsiParams {
    double maxBackboneB = 80.0;  // residues with a larger N/CA/C B-factor are left out
    double sigmaAt1000 = 8.0;    // kernel sd (deg) of a table with 1000 effective residues
    double sigmaMin = 6.0, sigmaMax = 24.0;
    double sigmaBroad = 25.0;    // kernel sd of the reference tables
    double lambda = 0.1;         // weight of the reference in the mixture
    PhipsiParams();
};

struct PhipsiCounts {
    std::vector<double> hist;  // [type 20][class 3][phi 72][psi 72], weighted
    long defined = 0, used = 0, highB = 0, cisNonPro = 0;
};

// useChain (optional): chain mask for cross-validation.
void collectPhipsi(const TrainingSet& ts, const PhipsiParams& p, const std::vector<char>* useChain, PhipsiCounts& c);
double phipsiSigma(const PhipsiParams& p, double effectiveCount);
// tables: [type][class][phi][psi], each (type, class) table summing to 1.
void buildPhipsi(const PhipsiCounts& c, const PhipsiParams& p, std::vector<double>& tables);
std::string formatPhipsi(const std::vector<double>& tables);

// ---------------- joint distance distributions ----------------

// One table set: marginal [gap][class] and conditional [gap][class][r].
struct DistanceTables {
    double margLim[22][3][4] = {};
    double marg[22][3][16][16] = {};
    std::vector<double> condLim;  // [22][3][100][4]
    std::vector<double> cond;     // [22][3][100][16][16]
    long observations[22][3] = {};
    DistanceTables();
    double* cl(int g, int s, int r) { return condLim.data() + ((g * 3 + s) * 100 + r) * 4; }
    double* cp(int g, int s, int r) { return cond.data() + ((g * 3 + s) * 100 + r) * 256; }
    const double* cl(int g, int s, int r) const { return condLim.data() + ((g * 3 + s) * 100 + r) * 4; }
    const double* cp(int g, int s, int r) const { return cond.data() + ((g * 3 + s) * 100 + r) * 256; }
};

struct DistanceParams {
    double qLo = 0.0, qHi = 1.0;        // marginal limits: weighted quantiles (here the extremes) ...
    double margMargin = 0.03;           // ... widened by this fraction of the range on each side
    double margMarginMin = 0.5;         // ... but by at least this many A
    double condMargin = 0.10;           // conditional rows: fraction of the range
    double condMarginMin = 0.10;        // ... at least this many A
    double condQLo = 0.0, condQHi = 1.0;
    double condFull = 20.0;             // effective count at which a row needs no wider pooling
    double condMin = 1.0;               // rows with fewer effective observations are degenerate
    double blurSigma = 0.75;            // cell smoothing (cells), truncated at 2 cells
    double floorProb = 1e-6;            // least probability of a cell next to observed ones
    double coilFraction = 0.5;          // segment counts as class C from this coil fraction on
};

// Segment class of residues lo..hi of a chain (inclusive): C when at least
// coilFraction of them are DSSP coil, otherwise H or E by the larger count.
// coilPrefix/helixPrefix: counts of coil/helix residues before each index.
int segmentClass(const std::vector<int>& coilPrefix, const std::vector<int>& helixPrefix, int lo, int hi, double coilFraction);

void buildDistances(const TrainingSet& ts, const DistanceParams& p, DistanceTables& forward, DistanceTables& backward);
std::string formatMarginal(const DistanceTables& t);
std::string formatConditional(const DistanceTables& t);

// ---------------- rotamer library ----------------

struct RotamerParams {
    double maxSideChainB = 40.0;  // side chains with a larger B-factor anywhere are left out
    double radius = 30.0;         // half-width (deg) of a cluster on each chi
    double minWeight = 0.004;     // least share of the type's side chains for a cluster
    double expandWeight = 0.05;   // rotamers with this share or more get +-1 s.d. neighbours on chi1 and chi2
    double minExpandSd = 5.0;     // ... when the spread on that chi is at least this (degrees)
    int maxPerType = 108;
};

struct Rotamer {
    double chi[4] = {};
    int node[4] = {-1, -1, -1, -1};  // cluster id per level: equal ids = shared leading chis
    double sd[4] = {};               // rms spread of the members about chi, degrees
    double weight = 0;
};

struct RotamerLibrary {
    std::vector<Rotamer> rot[20];
    long used[20] = {};
};

void buildRotamers(const TrainingSet& ts, const RotamerParams& p, RotamerLibrary& lib);
std::string formatRotamers(const RotamerLibrary& lib);
// Reads the library text back (degrees, placeholders resolved); false on a format error.
bool parseRotamers(const std::string& text, RotamerLibrary& lib, std::string& error);
// True when every chi of `chi` is within tol degrees of some rotamer (periodic, symmetric-aware).
bool rotamerCovered(const RotamerLibrary& lib, int type, const double* chi, double tol);

}  // namespace paramsa
