#pragma once
// Neighbour-dependent backbone torsion bins "phipsi.nb.txt": for every coil
// residue type and every type of its left (previous) or right (next)
// neighbour the probability of each 5 x 5 degree (phi, psi) bin. A residue
// between neighbours L and R is scored with P(t|L) P(t|R) / P(t), the
// independence rule of neighbour-dependent Ramachandran maps (Ting et al.,
// PLoS Comput Biol 6:e1000763, 2010).
#include <functional>
#include <string>
#include <vector>

#include "params/torsion_bins.h"
#include "params/training_set.h"

namespace lorvane::params {

struct NeighbourParams {
    PhipsiParams base;      // filters and kernel width rule of the single-residue tables
    double shrink = 400.0;  // a table of n residues keeps weight n / (n + shrink), the rest is P(t)
};

struct NeighbourCounts {
    std::vector<double> hist;  // [side 2: left, right][type 20][neighbour 20][phi 72][psi 72], class C, weighted
    long used = 0;
};

// The class-C table of a type in the single-residue tables of buildPhipsi.
const double* coilTable(const std::vector<double>& base, int type);
// out = the histogram smoothed with the kernel width rule and shrunk towards
// own with weight n / (n + shrink), n its effective count; own when empty.
void shrinkTowardsOwn(const double* hist, const double* own, const NeighbourParams& p, std::vector<double>& scratch, double* out);
// Tables of a residue's type by a key of its previous (side 0) or next (side
// 1) residue, laid out as sideTableOffset says. The key function gives the
// key of residue j of a chain, -1 when that side is not counted.
using SideKeyFn = std::function<int(const TrainChain&, size_t)>;
// Class-C residues that collectPhipsi uses, counted per side; returns how many.
long collectSidePhipsi(const TrainingSet& ts, const PhipsiParams& p, const std::vector<char>* useChain, int keys, const SideKeyFn& key,
                       std::vector<double>& hist);
// Every table smoothed and shrunk towards the type's class-C table of base (shrinkTowardsOwn).
void buildSidePhipsi(const std::vector<double>& hist, int keys, const NeighbourParams& p, const std::vector<double>& base,
                     std::vector<double>& tables);
// Blocks "RES LABEL -1|+1" of 72 rows.
std::string formatSidePhipsi(const std::vector<double>& tables, int keys, const std::function<std::string(int)>& label);
// The single-residue tables into base, then the side tables; returns the residues used.
long deriveSidePhipsi(const TrainingSet& ts, const NeighbourParams& p, const std::vector<char>* useChain, int keys, const SideKeyFn& key,
                      std::vector<double>& base, std::vector<double>& tables);
// Same residue filters as collectPhipsi; class-C residues only.
void collectNeighbourPhipsi(const TrainingSet& ts, const NeighbourParams& p, const std::vector<char>* useChain, NeighbourCounts& c);
// base: the single-residue tables of buildPhipsi. tables: [side][type][neighbour][phi][psi], each summing to 1.
void buildNeighbourPhipsi(const NeighbourCounts& c, const NeighbourParams& p, const std::vector<double>& base, std::vector<double>& tables);
// P(t|L) P(t|R) / P(t) over the 72 x 72 bins, normalised; out has 72 * 72 values.
void combineNeighbours(const std::vector<double>& base, const std::vector<double>& tables, int type, int left, int right, double* out);
std::string formatNeighbourPhipsi(const std::vector<double>& tables);
// Both steps from the training chains (useChain: optional mask): base gets the
// single-residue tables, tables the neighbour tables; returns the residues used.
long deriveNeighbourPhipsi(const TrainingSet& ts, const NeighbourParams& p, const std::vector<char>* useChain, std::vector<double>& base,
                           std::vector<double>& tables);

}  // namespace lorvane::params
