// DFIRE pair energy of a loop against itself and the rest of the protein, and
// the CB neighbourhood used by side-chain optimisation.
#include <string>

#include "model/error.h"
#include "potentials/atom_tables.h"
#include "potentials/energy.h"
#include "potentials/pf.h"

namespace lorvane {

namespace {

// Pair type of a slot, 167 for atoms that are absent or have no number.
int pairType(const Structure& s, int i, int k) {
    const Residue& r = s.residues[i];
    if (k < 0 || k >= MAX_ATOMS || !r.atoms[k].present()) return NO_PAIR_TYPE;
    const int g = atomcountmap[i][k];
    return g < 0 ? NO_PAIR_TYPE : dftype[g];
}

struct Scored {
    int slot;
    int type;
};

// Scored atoms of a residue: not the amide H, not glycine's CB, with a pair type.
int collect(const Structure& s, int i, Scored* out) {
    const Residue& r = s.residues[i];
    int n = 0;
    for (int a = 0; a < r.numAtoms && a < MAX_ATOMS; ++a) {
        if (a == 4 || (r.type == GLY && a == 5)) continue;
        const int t = pairType(s, i, a);
        if (t >= NUM_PAIR_TYPES) continue;
        out[n++] = {a, t};
    }
    return n;
}

}  // namespace

void dfire_e(Structure& s, int start, int end, double& bb, double& sc) {
    const int N = s._numRes;
    Scored si[MAX_ATOMS], sj[MAX_ATOMS];
    for (int i = 1; i <= N; ++i) {
        const bool iLoop = start <= i && i <= end;
        const int ni = collect(s, i, si);
        if (ni == 0) continue;
        const Residue& ri = s.residues[i];
        for (int j = i + 1; j <= N; ++j) {
            if (!iLoop && !(start <= j && j <= end)) continue;
            const int nj = collect(s, j, sj);
            const Residue& rj = s.residues[j];
            for (int x = 0; x < ni; ++x) {
                const Atom& A = ri.atoms[si[x].slot];
                for (int y = 0; y < nj; ++y) {
                    const double d = A.dis(rj.atoms[sj[y].slot]);
                    if (!(d < 15.0)) continue;
                    double e = PF::edfire[si[x].type][sj[y].type][static_cast<int>(2.0 * d)];
                    if (e > 10.0) e = 10.0;
                    if (si[x].slot <= 3 && sj[y].slot <= 3)
                        bb += e;
                    else
                        sc += e;
                }
            }
        }
    }
}

int getNeigh(Structure& s, int r, int* out, int capacity) {
    const int N = s._numRes;
    const Atom& cb = s.residues[r].atoms[5];
    int n = 0;
    for (int j = 1; j <= N; ++j) {
        if (j >= r - 1 && j <= r + 1) continue;
        const Residue& rj = s.residues[j];
        if (cb.sdis(rj.atoms[1]) > 400.0) continue;
        const int last = rj.type >= 0 && rj.type < NUM_TYPES ? Residue::lastDFire[rj.type] : -1;
        for (int k = 0; k <= last && k < MAX_ATOMS; ++k) {
            if (!(cb.sdis(rj.atoms[k]) < 225.0)) continue;
            if (n >= capacity)
                fail("getNeigh: more than " + std::to_string(capacity) + " atoms within 15 A of the CB of residue " +
                      std::to_string(r) + " (PDB " + std::to_string(s.residues[r].pdbNum) + ")");
            const bool unnumbered = (rj.type == GLY && k == 5) || (rj.type == PRO && k == 4);
            out[3 * n] = j;
            out[3 * n + 1] = k;
            out[3 * n + 2] = unnumbered ? NO_PAIR_TYPE : pairType(s, j, k);
            ++n;
        }
    }
    return n;
}

}  // namespace lorvane
