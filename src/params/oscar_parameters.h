#pragma once
// OSCAR-style side-chain parameters "oscarparams.txt" from the training
// chains: side-chain torsion coefficients and orientation-dependent pair
// coefficients of the 16 side-chain atom classes. Counting in
// oscar_counts.cpp, fits and the command in oscar_fit.cpp.
#include <string>
#include <cstdint>
#include <vector>

#include "params/training_set.h"
#include "potentials/potentials.h"

namespace lorvane::params {

constexpr int OSCAR_DBINS = 100;      // 0.1 A distance bins, 0-10 A
constexpr int OSCAR_OBINS = 8;        // bins per cosine in the contact shell
constexpr int OSCAR_OCELLS = OSCAR_OBINS * OSCAR_OBINS * OSCAR_OBINS;
constexpr int OSCAR_NPAIRS = OSCAR_CLASSES * (OSCAR_CLASSES + 1) / 2;
constexpr int CHI_BINS = 36;          // 10-degree bins

inline int oscarPairIndex(int a, int b) {
    if (a > b) { int t = a; a = b; b = t; }
    return a * OSCAR_CLASSES - a * (a - 1) / 2 + (b - a);
}

struct GroupAtom {
    int slot = -1, cls = -1, nnb = 0;
    int nb[3] = {-1, -1, -1};
};

// Polar/functional-group records of data/dipole.fress by residue type.
struct DipoleTable {
    std::vector<GroupAtom> atoms[20];
    int group[20][TRAIN_SLOTS];  // index into atoms[type], -1 = not a group atom
};
// Reads the records (the format the potentials' dipole reader takes); throws Error on a malformed record.
DipoleTable readDipole(const std::string& path);
int oscarClassIndex(const std::string& name);  // -1 when not one of the 16 classes
bool oscarPlanarClass(int cls);

// oscar_e's rule for scoring side-chain atom a of residue i (type ti) with atom b of residue j.
bool oscarPairScored(int ti, int i, int a, int j, int b);

struct OscarCounts {
    std::vector<int64_t> dist;     // [OSCAR_NPAIRS][100], weighted
    std::vector<int64_t> orient;   // [OSCAR_NPAIRS][512] contact shell, (c1, c2, c3) with c1 the lower class
    std::vector<int64_t> chi;      // [20][5][36]
    long pairs = 0, residuesWithChis = 0;
    void reset();
};

struct OscarParams {
    double shell = 5.0;          // orientation statistics from pairs closer than this (A)
    double alpha = 1.61;         // distance reference exponent
    double tailFrom = 9.5;       // reference normalised over tailFrom-10 A
    double pseudo = 5.0;         // pseudo-count towards the pooled ratio
    double cap = 5.0;            // |distance energy| target at most this (kT)
    double orientPseudo = 5.0;
    double fMin = 0.2, fMax = 1.8;  // range of the orientation factor
    double chiEpsilon = 0.01;    // uniform share mixed into P(chi)
    double maxSideChainB = 40.0; // side chains with a larger B-factor are left out of P(chi)
};

struct OscarFit {
    double pcs[20][5][6] = {};
    double pb[OSCAR_CLASSES][OSCAR_CLASSES][14] = {};
    // quality
    double chiR2[20][5] = {};
    double pairR2[OSCAR_NPAIRS] = {}, pairDepth[OSCAR_NPAIRS] = {}, pairRmin[OSCAR_NPAIRS] = {};
    double orientR2[OSCAR_NPAIRS] = {}, orientScale[OSCAR_NPAIRS] = {};
    double pairCount[OSCAR_NPAIRS] = {};
};

// Counts over all chains of the set, and of one chain.
void countOscar(const Templates& t, const TrainingSet& ts, const DipoleTable& dip, const OscarParams& p, int threads, OscarCounts& c);
void countOscarChain(const Templates& t, const TrainChain& ch, const DipoleTable& dip, const OscarParams& p, OscarCounts& c);
void fitOscar(const OscarCounts& c, const OscarParams& p, OscarFit& fit);
std::string formatOscar(const OscarFit& fit);
std::string describeOscarFit(const OscarCounts& c, const OscarFit& fit);

// Fourier coefficients (C0 cos x + C1 sin x + C2 cos 2x + C3 sin 2x + C4 cos 3x + C5 sin 3x, constant
// dropped) of the least-squares fit to y on `n` equally spaced angles -180 + (k + 0.5) 360/n degrees.
void fourierFit(const double* y, int n, double c[6]);

}  // namespace lorvane::params
