// Side chains of the three closure residues: a quick rotamer scan against
// the atoms around the closure site with the sampling pair table, one
// residue after the other, each built residue joining the environment of the
// next.
#include <algorithm>
#include <vector>

#include "filter/filter.h"
#include "growth/grow_one.h"
#include "model/geometry.h"
#include "potentials/atom_tables.h"
#include "potentials/pf.h"

namespace lorvane {

namespace {

constexpr double REJECT = 12345.0;
constexpr double PREFIX_LIMIT = 200.0;
constexpr int MAX_CHI_PREFIX = 6;

inline double pairE(int ta, int tb, double d2) { return PF::Etable[ta][tb][static_cast<int>(d2 * PF::BINSPERA)]; }

int typeOf(int r, int slot) {
    const int g = atomcountmap[r][slot];
    return g < 0 ? NO_PAIR_TYPE : dftype[g];
}

// Room for every atom of the protein plus the closure side chains: the list is sized to the input.
void ensureRoom(GrowOne& g, int need) {
    if (static_cast<int>(g.cscType.size()) >= need) return;
    g.cscType.resize(need);
    g.cscPos.resize(need);
    g.cscAtom.resize(need);
}

}  // namespace

void GrowOne::closeSCprep(Structure& s, int start, int end, int c) {
    ensureRoom(*this, numatom + 3 * MAX_ATOMS);
    cscCount = 0;
    const int N = s._numRes;
    thread_local std::vector<uint8_t> far;
    far.assign(N + 2, 0);
    const Point caC = s[c].atoms[1];
    for (int x = 1; x <= N; ++x)
        if ((x < start || x > end) && s[x].atoms[1].sdis(caC) > 900.0) far[x] = 1;
    const Point caMid = s[c + 1].atoms[1];
    const bool prolineC = s[c].type == PRO;
    for (int g = 0; g < numatom; ++g) {
        const int r = revatomcountmap[g][0], k = revatomcountmap[g][1];
        if (r < 1 || r > N || far[r]) continue;
        if (dftype[g] == NO_PAIR_TYPE) continue;
        if (r >= c && r <= c + 2 && k != 3) continue;
        if (prolineC && r == c - 1 && k == 2) continue;
        const Atom& a = s[r].atoms[k];
        if (!a.present()) continue;  // an atom the input lacks has no position
        if (a.sdis(caMid) > 225.0) continue;
        cscType[cscCount] = dftype[g];
        cscPos[cscCount] = a;
        cscAtom[cscCount] = {r, k};
        ++cscCount;
    }
}

void GrowOne::addCSC(Structure& s, int r) {
    const int t = s[r].type;
    const int last = Residue::lastDFire[t];
    if (last <= 5) return;
    ensureRoom(*this, cscCount + (last - 5));
    for (int x = 6; x <= last; ++x) {
        cscType[cscCount] = typeOf(r, x);
        cscPos[cscCount] = s[r].atoms[x];
        cscAtom[cscCount] = {r, x};
        ++cscCount;
    }
}

int GrowOne::df_scfclose(Structure& s, Residue& res, double& energy, int a, int b) {
    const int T = res.type;
    const int nr = PF::numsimplRot[T];
    const int last = Residue::lastDFire[T];
    const int r0 = static_cast<int>(&res - s.residues.data());  // position of the residue in the chain
    if (r0 < 1 || r0 > s._numRes) {
        energy = REJECT;
        return ABSENT;
    }
    if (nr <= 0) {
        energy = REJECT;
        return ABSENT;
    }
    thread_local std::vector<double> E;
    thread_local std::vector<std::array<double, MAX_CHI_PREFIX>> part;
    E.assign(nr, 0.0);
    part.assign(nr, std::array<double, MAX_CHI_PREFIX>{});

    // Backbone partners of the scan: N, CA, C of the other two closure residues and their CBs.
    Point partnerPos[8];
    int partnerType[8];
    int np = 0;
    for (int other : {a, b}) {
        for (int slot = 0; slot < 3; ++slot) {
            partnerPos[np] = s[other].atoms[slot];
            partnerType[np++] = typeOf(other, slot);
        }
    }
    for (int other : {a, b}) {
        if (s[other].type == GLY) continue;
        partnerPos[np] = s[other].atoms[5];
        partnerType[np++] = typeOf(other, 5);
    }
    const double maxd2 = PF::MAXDIS2;

    for (int r = 0; r < nr; ++r) {
        int h = 0;
        bool skip = false, rejected = false;
        for (int x = 6; x <= last; ++x) {
            const double tmpl = Residue::torsion[T][x];
            double dih = tmpl;
            if (tmpl == FREE_CHI) {
                h = std::min(h + 1, MAX_CHI_PREFIX - 1);
                part[r][h] = h == 1 ? 0.0 : part[r][h - 1];
                const double chi = PF::simplRot[T][r][h - 1];
                if (chi > 10.0 && r > 0) {
                    // Same chi as the previous rotamer: its atoms and energy so far carry over.
                    part[r][h] = part[r - 1][h];
                    if (part[r][h] > PREFIX_LIMIT) {
                        rejected = true;
                        break;
                    }
                    skip = true;
                    continue;
                }
                skip = false;
                dih = chi > 10.0 ? PF::simplRotR[T][r][h - 1] : chi;
            } else if (skip) {
                continue;
            }
            const int* ref = Residue::prev_atom[T][x];
            calCo(res.atoms[ref[0]], res.atoms[ref[1]], res.atoms[ref[2]], Residue::bond_length[T][x], Residue::bond_angle[T][x], dih,
                  res.atoms[x]);
            const Point p = res.atoms[x];
            const int tx = typeOf(r0, x);
            double e = 0.0;
            if (tx != NO_PAIR_TYPE) {
                for (int q = 0; q < cscCount; ++q) {
                    const double d2 = p.sdis(cscPos[q]);
                    if (d2 < maxd2) e += pairE(tx, cscType[q], d2);
                }
                for (int q = 0; q < np; ++q) {
                    const double d2 = p.sdis(partnerPos[q]);
                    if (d2 < maxd2) e += pairE(tx, partnerType[q], d2);
                }
            }
            part[r][h] += e;
            if (part[r][h] > PREFIX_LIMIT) {
                rejected = true;
                break;
            }
        }
        E[r] = rejected ? REJECT : part[r][h];
    }

    int chosen = 0;
    SampleEWR(E, 1, &chosen);
    energy = E[chosen];
    double chi[5] = {0, 0, 0, 0, 0};
    for (int m = 0; m < 4; ++m) chi[m] = PF::simplRotR[T][chosen][m];
    s.calSCCoHeavy(r0, chi, res);
    return chosen;
}

}  // namespace lorvane
