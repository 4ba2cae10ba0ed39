#pragma once
// Shared pieces of the atom-pair and side-chain derivations of lorvane-params:
// the 167 residue-specific heavy-atom pair types in the order the DFIRE file
// defines them, the covalent topology that decides which atom pairs are
// bonded (1-2, 1-3), 1-4 or non-bonded, a neighbour search over one chain,
// fixed-point statistical weights and the text/gzip writers.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "model/geometry.h"
#include "params/training_set.h"

using namespace lorvane;

namespace paramsb {

constexpr int NTYPES = 167;                          // residue-specific heavy-atom types
constexpr int NPAIRS = NTYPES * (NTYPES + 1) / 2;    // unordered type pairs
constexpr int NCLASSES = 20;                         // heavy-atom van der Waals classes 1..20

// Statistical weights are accumulated as integers (weight * WEIGHT_SCALE) so
// that sums do not depend on the order in which threads add them.
constexpr double WEIGHT_SCALE = 65536.0;
inline int64_t fixedWeight(double w) { return static_cast<int64_t>(w * WEIGHT_SCALE + 0.5); }

// Index of the unordered pair (a, b) in the upper triangle, row-major.
inline int pairIndex(int a, int b) {
    if (a > b) { int t = a; a = b; b = t; }
    return a * NTYPES - a * (a - 1) / 2 + (b - a);
}

// The pair types, numbered residue by residue (A C D ... Y), slots 0-3 then
// 5 .. lastDFire (glycine: 0-3): every heavy atom, OXT excluded.
struct PairTypes {
    int typeOf[20][TRAIN_SLOTS];  // -1 = no pair type
    std::string key[NTYPES];      // "RES ATOM" as the potential loader builds it
    std::string resName[NTYPES], atomName[NTYPES];
    int res[NTYPES], slot[NTYPES];
    int vdwClass[NTYPES];         // van der Waals type code 1..20
};

// Built from the loaded templates; stops with a message unless exactly 167 types result.
const PairTypes& pairTypes();

// Covalent graph distances between heavy slots of one residue type (bonds of
// the template plus the ring closures of Pro, Phe, Tyr, His and Trp).
struct Topology {
    int8_t dist[20][TRAIN_SLOTS][TRAIN_SLOTS];  // 0 same atom, 1 bonded, ... ; 99 = unconnected
    bool heavy[20][TRAIN_SLOTS];
};
const Topology& topology();

// Number of bonds on the shortest path between atom a of residue i and atom b
// of residue j of one chain (i <= j); 99 when they are not connected through
// the chain (different residues not peptide-bonded, or further apart).
int bondPath(const TrainChain& ch, int i, int a, int j, int b);

// One heavy atom of a chain in the neighbour search.
struct ChainAtom {
    Point p;
    int res;     // residue index in the chain
    int8_t slot;
    int16_t type;  // pair type 0..166
};

// All heavy atoms of a chain that carry a pair type, in residue/slot order.
void chainAtoms(const TrainChain& ch, std::vector<ChainAtom>& out);

// Uniform cell grid over a set of points for neighbour searches within `cutoff`.
class CellGrid {
public:
    void build(const std::vector<ChainAtom>& atoms, float cutoff);
    // Calls f(i, j, d2) for every pair i < j with squared distance below cutoff^2.
    template <class F>
    void forEachPair(const std::vector<ChainAtom>& atoms, F&& f) const;

private:
    float cell_ = 1.0f, cut2_ = 0.0f;
    int nx_ = 0, ny_ = 0, nz_ = 0, reach_ = 1;
    float ox_ = 0, oy_ = 0, oz_ = 0;
    std::vector<int> start_, items_;
};

template <class F>
void CellGrid::forEachPair(const std::vector<ChainAtom>& atoms, F&& f) const {
    // Each cell meets itself and the half of its neighbourhood that lies after it, so every
    // pair is looked at once; f always receives the lower atom index first.
    for (int x = 0; x < nx_; ++x)
        for (int y = 0; y < ny_; ++y)
            for (int z = 0; z < nz_; ++z) {
                const int c = (x * ny_ + y) * nz_ + z;
                if (start_[c] == start_[c + 1]) continue;
                for (int dx = 0; dx <= reach_; ++dx)
                    for (int dy = (dx == 0 ? 0 : -reach_); dy <= reach_; ++dy)
                        for (int dz = (dx == 0 && dy == 0 ? 0 : -reach_); dz <= reach_; ++dz) {
                            const int X = x + dx, Y = y + dy, Z = z + dz;
                            if (X >= nx_ || Y < 0 || Y >= ny_ || Z < 0 || Z >= nz_) continue;
                            const int c2 = (X * ny_ + Y) * nz_ + Z;
                            const bool self = c2 == c;
                            for (int k = start_[c]; k < start_[c + 1]; ++k) {
                                const int i = items_[k];
                                const Point& p = atoms[i].p;
                                for (int l = self ? k + 1 : start_[c2]; l < start_[c2 + 1]; ++l) {
                                    const int j = items_[l];
                                    const Point& q = atoms[j].p;
                                    const float ddx = p.x - q.x, ddy = p.y - q.y, ddz = p.z - q.z;
                                    const float d2 = ddx * ddx + ddy * ddy + ddz * ddz;
                                    if (d2 < cut2_) {
                                        if (i < j) f(i, j, d2);
                                        else f(j, i, d2);
                                    }
                                }
                            }
                        }
            }
}

// Runs body(chainIndex, thread) over all chains with `threads` workers; chains
// are handed out dynamically, so bodies must only add to per-thread state.
void forEachChain(int nChains, int threads, const std::function<void(int, int)>& body);

// Numbers as written to the tables: fixed notation, no "-0.000".
std::string fmt(double v, int decimals);

// Writes text to path (creating nothing but the file); stops with a message on failure.
void writeTextFile(const std::string& path, const std::string& text);
// Same text, gzip-compressed with a fixed header (no name, time 0), level 6.
void writeGzipFile(const std::string& path, const std::string& text);

// Hierarchical pseudo-count estimate of an observed/expected ratio:
// (obs + m * prior) / (expected + m).
inline double shrinkRatio(double obs, double expected, double prior, double m) {
    return (obs + m * prior) / (expected + m);
}

// Weighted linear least squares: minimises sum_r w[r] (y[r] - X[r] . beta)^2 over k coefficients
// (X row-major, rows x k). Columns are scaled before the normal equations are solved; a tiny
// ridge keeps unidentified coefficients at 0. Returns false when the system is empty.
bool weightedLeastSquares(const std::vector<double>& X, const std::vector<double>& y, const std::vector<double>& w, int k,
                          std::vector<double>& beta);

}  // namespace paramsb
