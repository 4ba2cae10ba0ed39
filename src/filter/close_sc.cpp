// Side chains of the three closure residues: a quick rotamer scan against
// the atoms around the closure site with the sampling pair table, one
// residue after the other, each built residue joining the environment of the
// next.
#include <algorithm>
#include <cmath>
#include <vector>

#include "build/side_chain.h"
#include "filter/filter.h"
#include "model/geometry.h"

namespace lorvane {

namespace {

constexpr int MAX_CHI_PREFIX = 6;

// Room for every atom of the protein plus the closure side chains: the list is sized to the input.
void ensureRoom(FilterWork& w, int need) {
    if (static_cast<int>(w.cscType.size()) >= need) return;
    w.cscType.resize(need);
    w.cscPos.resize(need);
}

}  // namespace

void closeSCprep(const Sampler& run, FilterWork& w, const Structure& s, int start, int end, int c) {
    const AtomIndex& x = run.atoms;
    ensureRoom(w, environmentCapacity(x, s) + 3 * MAX_ATOMS);
    w.cscCount = 0;
    const int N = s._numRes;
    std::vector<uint8_t> far(N + 2, 0);
    const Point caC = s[c].atoms[SLOT_CA];
    for (int i = 1; i <= N; ++i)
        if ((i < start || i > end) && s[i].atoms[SLOT_CA].sdis(caC) > 900.0) far[i] = 1;
    const Point caMid = s[c + 1].atoms[SLOT_CA];
    const bool prolineC = s[c].type == PRO;
    for (int g = 0; g < x.numAtoms; ++g) {
        const int r = x.atomOf[g][0], k = x.atomOf[g][1];
        if (r < 1 || r > N || far[r]) continue;
        if (x.pairType[g] == NO_PAIR_TYPE) continue;
        if (r >= c && r <= c + 2 && k != SLOT_O) continue;
        if (prolineC && r == c - 1 && k == SLOT_C) continue;
        const Atom& a = s[r].atoms[k];
        if (!a.present()) continue;  // an atom the input lacks has no position
        if (a.sdis(caMid) > 225.0) continue;
        w.cscType[w.cscCount] = x.pairType[g];
        w.cscPos[w.cscCount] = a;
        ++w.cscCount;
    }
    for (const HeteroAtom& h : s.hetero) {
        if (!h.hasDfireType || h.sdis(caMid) > 225.0) continue;
        w.cscType[w.cscCount] = h.dfireType;
        w.cscPos[w.cscCount] = h;
        ++w.cscCount;
    }
}

void addCSC(const Sampler& run, FilterWork& w, const Structure& s, int r) {
    const int t = s[r].type;
    const int last = LAST_HEAVY_SLOT[t];
    if (last <= SLOT_CB) return;
    ensureRoom(w, w.cscCount + (last - SLOT_CB));
    for (int k = FIRST_SIDE_CHAIN_SLOT; k <= last; ++k) {
        w.cscType[w.cscCount] = run.atoms.typeOf(r, k);
        w.cscPos[w.cscCount] = s[r].atoms[k];
        ++w.cscCount;
    }
}

int df_scfclose(const Sampler& run, FilterWork& w, Structure& s, int r0, double& energy, int a, int b) {
    const Templates& tm = run.tm;
    const Potentials& pot = run.pot;
    const AtomIndex& x = run.atoms;
    Residue& res = s[r0];
    const int T = res.type;
    const int nr = pot.rotamers.count[T];
    const int last = LAST_HEAVY_SLOT[T];
    if (r0 < 1 || r0 > s._numRes || nr <= 0) {
        energy = REJECTED;
        return ABSENT;
    }
    std::vector<double> E(nr, 0.0);
    std::vector<std::array<double, MAX_CHI_PREFIX>> part(nr, std::array<double, MAX_CHI_PREFIX>{});

    // Backbone partners of the scan: N, CA, C of the other two closure residues and their CBs.
    Point partnerPos[8];
    int partnerType[8];
    int np = 0;
    for (int other : {a, b}) {
        for (int slot = SLOT_N; slot <= SLOT_C; ++slot) {
            partnerPos[np] = s[other].atoms[slot];
            partnerType[np++] = x.typeOf(other, slot);
        }
    }
    for (int other : {a, b}) {
        if (s[other].type == GLY) continue;
        partnerPos[np] = s[other].atoms[SLOT_CB];
        partnerType[np++] = x.typeOf(other, SLOT_CB);
    }
    const double maxd2 = pot.maxDis2;

    // Only environment atoms within the cut-off plus the side chain's reach of
    // CB can score: the others are left out, in their order, so the sums stay
    // exactly those over the whole list.
    const double reach = sideChainReach(tm, T);
    int nq = w.cscCount;
    const Point* envPos = w.cscPos.data();
    const int* envType = w.cscType.data();
    if (reach >= 0.0) {
        // 0.05 A covers the float rounding of placed atoms and distances.
        const double lim = std::sqrt(maxd2) + reach + 0.05;
        const double lim2 = lim * lim;
        const Point cb = res.atoms[SLOT_CB];
        if (w.cscNearPos.size() < w.cscPos.size()) {
            w.cscNearPos.resize(w.cscPos.size());
            w.cscNearType.resize(w.cscPos.size());
        }
        nq = 0;
        for (int q = 0; q < w.cscCount; ++q) {
            if (cb.sdis(w.cscPos[q]) > lim2) continue;
            w.cscNearPos[nq] = w.cscPos[q];
            w.cscNearType[nq] = w.cscType[q];
            ++nq;
        }
        envPos = w.cscNearPos.data();
        envType = w.cscNearType.data();
    }

    for (int r = 0; r < nr; ++r) {
        int h = 0;
        bool skip = false, rejected = false;
        for (int k = FIRST_SIDE_CHAIN_SLOT; k <= last; ++k) {
            const double tmpl = tm.torsion[T][k];
            double dih = tmpl;
            if (tmpl == FREE_CHI) {
                h = std::min(h + 1, MAX_CHI_PREFIX - 1);
                part[r][h] = h == 1 ? 0.0 : part[r][h - 1];
                const double chi = pot.rotamers.chi[T][r][h - 1];
                if (chi > 10.0 && r > 0) {
                    // Same chi as the previous rotamer: its atoms and energy so far carry over.
                    part[r][h] = part[r - 1][h];
                    if (part[r][h] > ENERGY_CUT) {
                        rejected = true;
                        break;
                    }
                    skip = true;
                    continue;
                }
                skip = false;
                dih = chi > 10.0 ? pot.rotamers.resolved[T][r][h - 1] : chi;
            } else if (skip) {
                continue;
            }
            placeSideChainAtom(tm, res, k, dih, res.atoms[k]);
            const Point p = res.atoms[k];
            const int tx = x.typeOf(r0, k);
            double e = 0.0;
            if (tx != NO_PAIR_TYPE) {
                for (int q = 0; q < nq; ++q) {
                    const double d2 = p.sdis(envPos[q]);
                    if (d2 < maxd2) e += pot.pairEnergy(tx, envType[q], d2);
                }
                for (int q = 0; q < np; ++q) {
                    const double d2 = p.sdis(partnerPos[q]);
                    if (d2 < maxd2) e += pot.pairEnergy(tx, partnerType[q], d2);
                }
            }
            part[r][h] += e;
            if (part[r][h] > ENERGY_CUT) {
                rejected = true;
                break;
            }
        }
        E[r] = rejected ? REJECTED : part[r][h];
    }

    int chosen = 0;
    SampleEWR(E, 1, &chosen, w.random);
    energy = E[chosen];
    double chi[5] = {0, 0, 0, 0, 0};
    for (int m = 0; m < 4; ++m) chi[m] = pot.rotamers.resolved[T][chosen][m];
    calSCCoHeavy(tm, res, chi);
    return chosen;
}

}  // namespace lorvane
