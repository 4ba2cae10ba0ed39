// Clash terms of the filter: pair lists built once per growth step from the
// exclusion map and the growth order, then evaluated per candidate.
#include <cstdlib>

#include "potentials/atom_tables.h"
#include "potentials/energy.h"
#include "potentials/pf.h"

namespace lorvane {

int numpairs = 0;
std::vector<PairRecord> pairlist;
int numpairsSC = 0;
std::vector<PairRecord> pairlistSC;

namespace {

bool numbered(int type, int slot) { return !((type == GLY && slot == 5) || (type == PRO && slot == 4)); }

int gIndex(int r, int k) { return r >= 0 && r <= MAX_RESIDUES && k >= 0 && k < 30 ? atomcountmap[r][k] : -1; }

// Appends (p, h) for every side-chain atom h of residue q in slots from..to-1
// that has a pair type and is not bonded to p or 1-3 to it.
void addPairs(std::vector<PairRecord>& list, const Structure& s, int p, int q, int from, int to) {
    if (p < 0) return;
    const Residue& rq = s.residues[q];
    for (int k = from; k < to && k < MAX_ATOMS; ++k) {
        if (k <= 5 || !numbered(rq.type, k)) continue;
        const int h = gIndex(q, k);
        if (h < 0 || dftype[h] == NO_PAIR_TYPE || !pairmap[p][h]) continue;
        const int rp = revatomcountmap[p][0];
        list.push_back({rp, revatomcountmap[p][1], q, k, dftype[p], dftype[h], std::abs(rp - q)});
    }
}

double evaluate(const std::vector<PairRecord>& list, const Structure& s, double& e) {
    e = 0.0;
    for (const PairRecord& p : list) {
        const double r2 = s.residues[p[0]].atoms[p[1]].sdis(s.residues[p[2]].atoms[p[3]]);
        if (!(r2 < PF::MAXDIS2)) continue;
        const double v = PF::Etable[p[4]][p[5]][static_cast<int>(r2 * PF::BINSPERA)];
        if (p[6] != 1)
            e += v;
        else if (v > 10.0)
            return 12345.0;  // adjacent residues: a hard clash test, not a sum
    }
    return 0.0;
}

// Closure backbone C(c) .. CA(c+2) and the CBs of c..c+2 that exist.
void closureProbes(const Structure& s, int c, std::vector<int>& probes) {
    const int bb[8][2] = {{c, 2}, {c, 3}, {c + 1, 0}, {c + 1, 1}, {c + 1, 2}, {c + 1, 3}, {c + 2, 0}, {c + 2, 1}};
    for (const auto& x : bb) probes.push_back(gIndex(x[0], x[1]));
    for (int r = c; r <= c + 2; ++r)
        if (s.residues[r].type != GLY) probes.push_back(gIndex(r, 5));
}

}  // namespace

double vdw_bbsc_prep(Structure& s, int k, int, int, const int* order, const bool* backward, int c) {
    pairlist.clear();
    pairlist.reserve(MAX_PAIRS);
    numpairs = 0;
    if (k == 0) return 0.0;
    const int r = order[k];
    std::vector<int> probes;
    if (!backward[k]) {
        probes = {gIndex(r, 2), gIndex(r, 3), gIndex(r + 1, 0), gIndex(r + 1, 1)};
    } else {
        probes = {gIndex(r, 1), gIndex(r, 0), gIndex(r - 1, 3), gIndex(r - 1, 2)};
    }
    if (s.residues[r].type != GLY) probes.push_back(gIndex(r, 5));
    if (c > 0) closureProbes(s, c, probes);
    for (int p : probes)
        for (int m = 0; m < k; ++m) {
            const int q = order[m];
            // Side-chain slots of q up to, not including, its last template slot.
            addPairs(pairlist, s, p, q, 3, Residue::numAtom[s.residues[q].type] - 1);
        }
    numpairs = static_cast<int>(pairlist.size());
    return 0.0;
}

void vdw_scsc_prep(Structure& s, int k, int, int, const int* order, const bool*) {
    pairlistSC.clear();
    pairlistSC.reserve(MAX_PAIRS);
    numpairsSC = 0;
    if (k == 0) return;
    const int r = order[k];
    const Residue& rr = s.residues[r];
    const int nr = Residue::numAtom[rr.type];
    for (int slot = 6; slot < nr && slot < MAX_ATOMS; ++slot) {
        if (!numbered(rr.type, slot)) continue;
        const int p = gIndex(r, slot);
        if (p < 0 || dftype[p] == NO_PAIR_TYPE) continue;
        for (int m = 0; m < k; ++m) {
            const int q = order[m];
            const int tq = s.residues[q].type;
            if (tq == GLY || tq == ALA) continue;
            addPairs(pairlistSC, s, p, q, 6, Residue::numAtom[tq] - 1);
        }
    }
    numpairsSC = static_cast<int>(pairlistSC.size());
}

double vdw_bbsc(Structure& s, int, int, int, double& e) { return evaluate(pairlist, s, e); }

double vdw_scsc(Structure& s, int, int, int, double& e) { return evaluate(pairlistSC, s, e); }

double vdw_onebbsc(Structure& s, int r, int c) {
    const int t = s.residues[r].type;
    if (t == GLY || t == ALA) return 0.0;
    std::vector<int> probes;
    probes.reserve(11);
    closureProbes(s, c, probes);
    const Residue& rr = s.residues[r];
    double E = 0.0;
    for (int p : probes) {
        if (p < 0) continue;
        const Atom& P = s.residues[revatomcountmap[p][0]].atoms[revatomcountmap[p][1]];
        for (int k = 6; k <= Residue::lastDFire[t] && k < MAX_ATOMS; ++k) {
            const int h = gIndex(r, k);
            if (h < 0) continue;
            const double r2 = P.sdis(rr.atoms[k]);
            if (!(r2 < PF::MAXDIS2)) continue;
            E += PF::Etable[dftype[p]][dftype[h]][static_cast<int>(r2 * PF::BINSPERA)];
        }
    }
    return E;
}

}  // namespace lorvane
