#pragma once
// Clash terms of the filter: pair lists built once per growth step from the
// exclusion map and the growth order, then evaluated per candidate.
#include <array>
#include <string>
#include <vector>

#include "model/structure.h"
#include "potentials/atom_index.h"
#include "potentials/potentials.h"

namespace lorvane {

// Residue A, slot A, residue B, slot B, pair type A, pair type B, residue separation.
using PairRecord = std::array<int, 7>;
constexpr int MAX_PAIRS = 2000;  // typical list size, reserved up front

// The pairs [begin, end) of one atom against the side chain of one residue,
// whose atoms all lie within reach of that residue's CB.
struct PairBlock {
    int begin, end;
    int residue, other;  // of the one atom; of the side chain
    // While the backbone stays, the atom lies within atomReach of slot at of
    // its residue: the atom itself, or for a side-chain atom its CB and the
    // reach of its side chain.
    int at;
    double atomReach;
    double reach;  // of the other side chain from its CB (negative: no bound)
};

struct ClashPairs {
    std::vector<PairRecord> bbsc;  // new backbone (and closure) atoms against earlier side chains
    std::vector<PairRecord> scsc;  // new side chain against earlier side chains
    // Each list's blocks in order (the prep functions write both; pairs of a
    // list that no block holds are always evaluated).
    std::vector<PairBlock> bbscBlocks, scscBlocks;
};

// Lists of step k of a plan (residue order[m], grown backward when backward[m]);
// c > 0 adds the closure residues c..c+2 as probes.
void vdw_bbsc_prep(ClashPairs& pairs, const Templates& t, const AtomIndex& x, const Structure& s, int k, const int* order,
                   const bool* backward, int c);
void vdw_scsc_prep(ClashPairs& pairs, const Templates& t, const AtomIndex& x, const Structure& s, int k, const int* order);
// The pairs of each list that can score while the backbone and the CBs stay
// where they are (side chains may change), in list order; pairs no block
// holds are kept.
struct PairsInReach {
    std::vector<int> bbsc, scsc;
};
void findPairsInReach(const Potentials& p, const ClashPairs& pairs, const Structure& s, PairsInReach& out);
// Sum of the pair energies of each list into e (adjacent residues: a value
// above 10 is a clash, which returns REJECTED and leaves e as summed so far);
// returns 0 otherwise. Only the pairs in reach are read: the sums are those of
// the whole lists for as long as the backbone and the CBs have not moved since
// findPairsInReach.
double vdw_bbsc(const Potentials& p, const ClashPairs& pairs, const PairsInReach& reach, const Structure& s, double& e);
double vdw_scsc(const Potentials& p, const ClashPairs& pairs, const PairsInReach& reach, const Structure& s, double& e);
// Hetero atoms keep a protein atom at least this far (A): the borrowed
// template's clash distance may be short for a ligand it only resembles, and
// no protein-ligand heavy-atom contact is shorter (short hydrogen bonds, 2.5 A).
constexpr double HETERO_MIN_CLASH = 2.5;
// Metal ions: the sum of the ionic and van der Waals radii reproduces
// metal-ligand distances within about 0.2 A (Mg-O 0.72 + 1.52 = 2.24 A against
// 2.07 A observed); coordinating N, O and S may come this much closer.
constexpr double METAL_DONOR_TOLERANCE = 0.4;

// Squared clash distance between a hetero atom and a protein atom of pair type
// pairType named atomName: for a metal ion its radius plus the van der Waals
// radius of the atom's element (less the tolerance for N, O, S); otherwise the
// clash distance of the borrowed pair types, at least HETERO_MIN_CLASH.
double heteroClash2(const Potentials& p, const HeteroAtom& h, int pairType, const std::string& atomName);

// Side chain of residue r against the closure backbone c..c+2 and its CBs.
double vdw_onebbsc(const Potentials& p, const AtomIndex& x, const Structure& s, int r, int c);

}  // namespace lorvane
