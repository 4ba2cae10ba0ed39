// DFIRE pair energy of a loop against itself and the rest of the protein, and
// the CB neighbourhood used by side-chain optimisation.
#include <algorithm>
#include <string>

#include "model/error.h"
#include "potentials/dfire.h"

namespace lorvane {

namespace {

// Pair type of a slot, 167 for atoms that are absent or have no number.
int pairType(const AtomIndex& x, const Structure& s, int i, int k) {
    const Residue& r = s.residues[i];
    if (k < 0 || k >= MAX_ATOMS || !r.atoms[k].present()) return NO_PAIR_TYPE;
    return x.typeOf(i, k);
}

struct Scored {
    int slot;
    int type;
};

// Scored atoms of a residue: not the amide H, not glycine's CB, with a pair type.
int collect(const AtomIndex& x, const Structure& s, int i, Scored* out) {
    const Residue& r = s.residues[i];
    int n = 0;
    for (int a = 0; a < r.numAtoms && a < MAX_ATOMS; ++a) {
        if (a == 4 || (r.type == GLY && a == 5)) continue;
        const int t = pairType(x, s, i, a);
        if (t >= NUM_PAIR_TYPES) continue;
        out[n++] = {a, t};
    }
    return n;
}

}  // namespace

double dfirePairEnergy(const Potentials& p, int a, int b, double d, bool smooth) {
    const double* row = p.edfire[a][b];
    if (!smooth) return std::min(row[static_cast<int>(2.0 * d)], 10.0);
    // Bin k is centred on (k + 0.5) / 2 A.
    const double u = 2.0 * d - 0.5;
    if (!(u > 0.0)) return std::min(row[0], 10.0);
    const int k = static_cast<int>(u);
    if (k >= DFIRE_BINS - 1) return std::min(row[DFIRE_BINS - 1], 10.0);
    const double t = u - k;
    return (1.0 - t) * std::min(row[k], 10.0) + t * std::min(row[k + 1], 10.0);
}

void dfire_e(const Potentials& p, const AtomIndex& x, const Structure& s, int start, int end, double& bb, double& sc,
             bool smooth) {
    const int N = s._numRes;
    Scored si[MAX_ATOMS], sj[MAX_ATOMS];
    for (int i = 1; i <= N; ++i) {
        const bool iLoop = start <= i && i <= end;
        const int ni = collect(x, s, i, si);
        if (ni == 0) continue;
        const Residue& ri = s.residues[i];
        for (int j = i + 1; j <= N; ++j) {
            if (!iLoop && !(start <= j && j <= end)) continue;
            const int nj = collect(x, s, j, sj);
            const Residue& rj = s.residues[j];
            for (int x = 0; x < ni; ++x) {
                const Atom& A = ri.atoms[si[x].slot];
                for (int y = 0; y < nj; ++y) {
                    const double d = A.dis(rj.atoms[sj[y].slot]);
                    if (!(d < 15.0)) continue;
                    const double e = dfirePairEnergy(p, si[x].type, sj[y].type, d, smooth);
                    if (si[x].slot <= 3 && sj[y].slot <= 3)
                        bb += e;
                    else
                        sc += e;
                }
            }
        }
    }
    // Loop atoms against the hetero atoms: no backbone-backbone pairs there.
    for (int i = start; i <= end && i <= N; ++i) {
        const int ni = collect(x, s, i, si);
        const Residue& ri = s.residues[i];
        for (int a = 0; a < ni; ++a) {
            const Atom& A = ri.atoms[si[a].slot];
            for (const HeteroAtom& h : s.hetero) {
                if (!h.hasDfireType) continue;
                const double d = A.dis(h);
                if (!(d < 15.0)) continue;
                sc += dfirePairEnergy(p, si[a].type, h.dfireType, d, smooth);
            }
        }
    }
}

int getNeigh(const AtomIndex& x, const Structure& s, int r, int* out, int capacity) {
    const int N = s._numRes;
    const Atom& cb = s.residues[r].atoms[5];
    int n = 0;
    for (int j = 1; j <= N; ++j) {
        if (j >= r - 1 && j <= r + 1) continue;
        const Residue& rj = s.residues[j];
        if (cb.sdis(rj.atoms[1]) > 400.0) continue;
        const int last = rj.type >= 0 && rj.type < NUM_TYPES ? LAST_HEAVY_SLOT[rj.type] : -1;
        for (int k = 0; k <= last && k < MAX_ATOMS; ++k) {
            if (!(cb.sdis(rj.atoms[k]) < 225.0)) continue;
            if (n >= capacity)
                fail("getNeigh: more than " + std::to_string(capacity) + " atoms within 15 A of the CB of residue " + residueLabel(s, r));
            const bool unnumbered = (rj.type == GLY && k == 5) || (rj.type == PRO && k == 4);
            out[3 * n] = j;
            out[3 * n + 1] = k;
            out[3 * n + 2] = unnumbered ? NO_PAIR_TYPE : pairType(x, s, j, k);
            ++n;
        }
    }
    for (int k = 0; k < static_cast<int>(s.hetero.size()); ++k) {
        const HeteroAtom& h = s.hetero[k];
        if (!h.hasDfireType || !(cb.sdis(h) < 225.0)) continue;
        if (n >= capacity)
            fail("getNeigh: more than " + std::to_string(capacity) + " atoms within 15 A of the CB of residue " + residueLabel(s, r));
        out[3 * n] = HETERO_NEIGHBOUR;
        out[3 * n + 1] = k;
        out[3 * n + 2] = h.dfireType;
        ++n;
    }
    return n;
}

}  // namespace lorvane
