// Clash terms of the filter: pair lists built once per growth step from the
// exclusion map and the growth order, then evaluated per candidate.
#include "potentials/clash.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace lorvane {

namespace {

int gIndex(const AtomIndex& x, int r, int k) { return r >= 0 && r <= MAX_RESIDUES && k >= 0 && k < MAX_ATOMS ? x.index(r, k) : -1; }

// Appends (p, h) for every side-chain atom h of residue q in slots from..to-1
// that has a pair type and is not bonded to p or 1-3 to it.
void addPairs(std::vector<PairRecord>& list, std::vector<PairBlock>& blocks, const Templates& t, const AtomIndex& x,
              const Structure& s, int p, int q, int from, int to) {
    if (p < 0) return;
    const Residue& rq = s.residues[q];
    const int begin = static_cast<int>(list.size());
    for (int k = from; k < to && k < MAX_ATOMS; ++k) {
        if (k < FIRST_SIDE_CHAIN_SLOT || !hasIndex(rq.type, k)) continue;
        const int h = gIndex(x, q, k);
        if (h < 0 || x.pairType[h] == NO_PAIR_TYPE || !x.nonBonded[p][h]) continue;
        const int rp = x.atomOf[p][0];
        list.push_back({rp, x.atomOf[p][1], q, k, x.pairType[p], x.pairType[h], std::abs(rp - q)});
    }
    if (static_cast<int>(list.size()) > begin) {
        const int rp = x.atomOf[p][0], slot = x.atomOf[p][1];
        const bool sideChain = slot >= FIRST_SIDE_CHAIN_SLOT;
        blocks.push_back({begin, static_cast<int>(list.size()), rp, q, sideChain ? SLOT_CB : slot,
                          sideChain ? sideChainReach(t, s.residues[rp].type) : 0.0, sideChainReach(t, rq.type)});
    }
}

// The listed pair energies summed into e; a pair of adjacent residues is a
// hard clash test (above 10: REJECTED, e as summed so far), not a term.
double evaluateSome(const Potentials& pot, const std::vector<PairRecord>& list, const std::vector<int>& which, const Structure& s,
                    double& e) {
    e = 0.0;
    for (int i : which) {
        const PairRecord& p = list[i];
        const double r2 = s.residues[p[0]].atoms[p[1]].sdis(s.residues[p[2]].atoms[p[3]]);
        if (!(r2 < pot.maxDis2)) continue;
        const double v = pot.pairEnergy(p[4], p[5], r2);
        if (p[6] != 1)
            e += v;
        else if (v > 10.0)
            return REJECTED;
    }
    return 0.0;
}

// The pairs of list whose blocks can score: a side chain farther from the
// atom than the cut-off plus the reach of both adds nothing. The reaches hold
// for side chains built from the templates; 0.25 A covers rounding and side
// chains read from a file, whose bonds may stray a little from the
// template's. The rest keep their order, so that the sum, and where a clash
// stops it, are those of the whole list.
void inReach(const Potentials& pot, const std::vector<PairRecord>& list, const std::vector<PairBlock>& blocks, const Structure& s,
             std::vector<int>& out) {
    out.clear();
    const double cut = std::sqrt(pot.maxDis2);
    const int n = static_cast<int>(list.size());
    size_t next = 0;
    for (int i = 0; i < n;) {
        if (next < blocks.size() && blocks[next].begin == i) {
            const PairBlock& b = blocks[next++];
            const double lim = cut + b.reach + b.atomReach + 0.25;
            if (b.reach >= 0.0 && b.atomReach >= 0.0 &&
                s.residues[b.residue].atoms[b.at].sdis(s.residues[b.other].atoms[SLOT_CB]) > lim * lim) {
                i = b.end;
                continue;
            }
        }
        out.push_back(i++);
    }
}

// Closure backbone C(c) .. CA(c+2) and the CBs of c..c+2 that exist.
void closureProbes(const AtomIndex& x, const Structure& s, int c, std::vector<int>& probes) {
    const int bb[8][2] = {{c, SLOT_C},      {c, SLOT_O},      {c + 1, SLOT_N}, {c + 1, SLOT_CA},
                          {c + 1, SLOT_C},  {c + 1, SLOT_O},  {c + 2, SLOT_N}, {c + 2, SLOT_CA}};
    for (const auto& b : bb) probes.push_back(gIndex(x, b[0], b[1]));
    for (int r = c; r <= c + 2; ++r)
        if (s.residues[r].type != GLY) probes.push_back(gIndex(x, r, SLOT_CB));
}

}  // namespace

void vdw_bbsc_prep(ClashPairs& pairs, const Templates& t, const AtomIndex& x, const Structure& s, int k, const int* order,
                   const bool* backward, int c) {
    pairs.bbsc.clear();
    pairs.bbscBlocks.clear();
    pairs.bbsc.reserve(MAX_PAIRS);
    if (k == 0) return;
    const int r = order[k];
    std::vector<int> probes;
    if (!backward[k])
        probes = {gIndex(x, r, SLOT_C), gIndex(x, r, SLOT_O), gIndex(x, r + 1, SLOT_N), gIndex(x, r + 1, SLOT_CA)};
    else
        probes = {gIndex(x, r, SLOT_CA), gIndex(x, r, SLOT_N), gIndex(x, r - 1, SLOT_O), gIndex(x, r - 1, SLOT_C)};
    if (s.residues[r].type != GLY) probes.push_back(gIndex(x, r, SLOT_CB));
    if (c > 0) closureProbes(x, s, c, probes);
    for (int p : probes)
        for (int m = 0; m < k; ++m) {
            const int q = order[m];
            // Side-chain slots of q up to, not including, its last template slot.
            addPairs(pairs.bbsc, pairs.bbscBlocks, t, x, s, p, q, 3, t.numAtom[s.residues[q].type] - 1);
        }
}

void vdw_scsc_prep(ClashPairs& pairs, const Templates& t, const AtomIndex& x, const Structure& s, int k, const int* order) {
    pairs.scsc.clear();
    pairs.scscBlocks.clear();
    pairs.scsc.reserve(MAX_PAIRS);
    if (k == 0) return;
    const int r = order[k];
    const Residue& rr = s.residues[r];
    const int nr = t.numAtom[rr.type];
    for (int slot = FIRST_SIDE_CHAIN_SLOT; slot < nr && slot < MAX_ATOMS; ++slot) {
        if (!hasIndex(rr.type, slot)) continue;
        const int p = gIndex(x, r, slot);
        if (p < 0 || x.pairType[p] == NO_PAIR_TYPE) continue;
        for (int m = 0; m < k; ++m) {
            const int q = order[m];
            const int tq = s.residues[q].type;
            if (noSideChain(tq)) continue;
            addPairs(pairs.scsc, pairs.scscBlocks, t, x, s, p, q, FIRST_SIDE_CHAIN_SLOT, t.numAtom[tq] - 1);
        }
    }
}

void findPairsInReach(const Potentials& p, const ClashPairs& pairs, const Structure& s, PairsInReach& out) {
    inReach(p, pairs.bbsc, pairs.bbscBlocks, s, out.bbsc);
    inReach(p, pairs.scsc, pairs.scscBlocks, s, out.scsc);
}

double vdw_bbsc(const Potentials& p, const ClashPairs& pairs, const PairsInReach& reach, const Structure& s, double& e) {
    return evaluateSome(p, pairs.bbsc, reach.bbsc, s, e);
}

double vdw_scsc(const Potentials& p, const ClashPairs& pairs, const PairsInReach& reach, const Structure& s, double& e) {
    return evaluateSome(p, pairs.scsc, reach.scsc, s, e);
}

double heteroClash2(const Potentials& p, const HeteroAtom& h, int pairType, const std::string& atomName) {
    const char element = atomName.empty() ? 'C' : atomName[0];
    if (h.metal) {
        // Van der Waals radii of Bondi (1964), J. Phys. Chem. 68:441.
        double r = 1.70;
        if (element == 'N') r = 1.55;
        if (element == 'O') r = 1.52;
        if (element == 'S') r = 1.80;
        const bool donor = element == 'N' || element == 'O' || element == 'S';
        const double d = h.radius + r - (donor ? METAL_DONOR_TOLERANCE : 0.0);
        return d * d;
    }
    double lim = HETERO_MIN_CLASH * HETERO_MIN_CLASH;
    if (h.hasDfireType && pairType >= 0 && pairType < NUM_PAIR_TYPES) lim = std::max(lim, p.ljClash[h.dfireType][pairType]);
    return lim;
}

double vdw_onebbsc(const Potentials& pot, const AtomIndex& x, const Structure& s, int r, int c) {
    const int t = s.residues[r].type;
    if (noSideChain(t)) return 0.0;
    std::vector<int> probes;
    probes.reserve(11);
    closureProbes(x, s, c, probes);
    const Residue& rr = s.residues[r];
    double E = 0.0;
    for (int p : probes) {
        if (p < 0) continue;
        const Atom& P = s.residues[x.atomOf[p][0]].atoms[x.atomOf[p][1]];
        for (int k = FIRST_SIDE_CHAIN_SLOT; k <= LAST_HEAVY_SLOT[t] && k < MAX_ATOMS; ++k) {
            const int h = gIndex(x, r, k);
            if (h < 0) continue;
            const double r2 = P.sdis(rr.atoms[k]);
            if (!(r2 < pot.maxDis2)) continue;
            E += pot.pairEnergy(x.pairType[p], x.pairType[h], r2);
        }
    }
    return E;
}

}  // namespace lorvane
