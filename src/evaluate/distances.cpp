// Heavy-atom pair distances between a loop and its surroundings, counted by
// van der Waals type pair in 0.1 A bins (the compare mode's dump and the
// input of the fitted pair table).
#include <cmath>
#include <ostream>
#include <utility>
#include <vector>

#include "evaluate/evaluate.h"
#include "model/structure.h"
#include "potentials/pf.h"

namespace lorvane {

namespace {

constexpr int GLY_TYPE = 5;
constexpr int CA_SLOT = 1;
constexpr int CB_SLOT = 5;

// Heavy atoms that take part: codes 1..20 (21 is glycine's virtual CB, 22 and
// above are hydrogens), not at the origin (where absent atoms sit).
bool counted(const Residue& r, int slot) {
    const Atom& a = r.atoms[slot];
    if (a.type < 1 || a.type > DIST_TYPES) return false;
    if (slot == CB_SLOT && r.type == GLY_TYPE) return false;
    return !(a.x == 0.0f && a.y == 0.0f && a.z == 0.0f);
}

}  // namespace

int dumpDistances(Structure& s, int from, int to, std::ostream& out, int decoy, int* counts, double& energy) {
    (void)out;
    (void)decoy;
    // Counted into a private list first: a clash must leave the caller's counts as they were.
    static thread_local std::vector<int> hits;
    hits.clear();
    const int n = s._numRes;
    for (int i = from; i <= to; ++i) {
        if (i < 1 || i > n) continue;
        const Residue& ri = s[i];
        const Atom& cai = ri.atoms[CA_SLOT];
        if (cai.type == ABSENT) continue;
        for (int j = 1; j <= n; ++j) {
            if (j >= i - 1 && j <= i + 1) continue;
            if (j >= from && j < i - 1) continue;  // loop pair already counted from j's side
            const Residue& rj = s[j];
            const Atom& caj = rj.atoms[CA_SLOT];
            if (caj.type == ABSENT || cai.dis(caj) >= DIST_CA_CUT) continue;
            for (int a = 0; a < MAX_ATOMS; ++a) {
                if (!counted(ri, a)) continue;
                const Atom& pa = ri.atoms[a];
                for (int b = 0; b < MAX_ATOMS; ++b) {
                    if (!counted(rj, b)) continue;
                    const Atom& pb = rj.atoms[b];
                    const double d = pa.dis(pb);
                    if (d < DIST_CLASH) return 0;
                    if (d < DIST_MAX) {
                        const int bin = static_cast<int>(10.0 * d - 20.0);
                        const int k = fittedIndex(bin < DIST_BINS ? bin : DIST_BINS - 1, pa.type, pb.type);
                        hits.push_back(k);
                        energy += PF::fittedE[k];
                    }
                }
            }
        }
    }
    for (int k : hits) ++counts[k];
    return 1;
}

}  // namespace lorvane
