// QUENDA loop distance potential: heavy-atom pairs by van der Waals class and
// 0.1 A distance bins up to 8 A, loop against everything around it.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "potentials/quenda.h"

namespace lorvane {

namespace {

// Heavy atoms present at a real position; classes outside the table's 1..20 are not scored.
bool scored(const Atom& a) {
    return a.type >= 1 && a.type <= 20 && !(a.x == 0.0f && a.y == 0.0f && a.z == 0.0f);
}

// Slots 0-5 are the backbone here (N, CA, C, O, H, CB); glycine's slot 5 is not used.
int backboneSlots(const Residue& r) { return std::min<int>(r.numAtoms, r.type == GLY ? 5 : 6); }

}  // namespace

double quenda_e(const Potentials& p, const Structure& s, int start, int end, bool allAtoms, double& e1, double& e2, double& e3,
                double& e4) {
    const int N = s._numRes;
    double total = 0.0;
    for (int i = start; i <= end; ++i) {
        const Residue& ri = s.residues[i];
        const int nI = allAtoms ? std::min<int>(ri.numAtoms, MAX_ATOMS) : backboneSlots(ri);
        if (nI <= 0) continue;
        for (int j = 1; j <= N; ++j) {
            if (std::abs(j - i) <= 1) continue;
            const bool jLoop = start <= j && j <= end;
            if (jLoop && j < i - 1) continue;  // loop-loop pairs once, from the lower residue
            const Residue& rj = s.residues[j];
            if (!(ri.atoms[1].dis(rj.atoms[1]) < 20.0)) continue;
            const int nJ = allAtoms || !jLoop ? std::min<int>(rj.numAtoms, MAX_ATOMS) : backboneSlots(rj);
            for (int a = 0; a < nI; ++a) {
                const Atom& A = ri.atoms[a];
                if (!scored(A)) continue;
                const bool aSide = a > 5;
                for (int b = 0; b < nJ; ++b) {
                    const Atom& B = rj.atoms[b];
                    if (!scored(B)) continue;
                    const double d = A.dis(B);
                    if (!(d < 8.0)) continue;
                    const double e = p.quenda[A.type - 1][B.type - 1][static_cast<int>(10.0 * d)];
                    total += e;
                    const bool bSide = b > 5;
                    if (!aSide) {
                        if (!jLoop || !bSide)
                            e1 += e;
                        else
                            e4 += e;
                    } else {
                        if (!jLoop)
                            e2 += e;
                        else if (bSide)
                            e3 += e;
                        else
                            e4 += e;
                    }
                }
            }
        }
        // The hetero atoms are frame atoms: backbone pairs to e1, side-chain pairs to e2.
        for (int a = 0; a < nI; ++a) {
            const Atom& A = ri.atoms[a];
            if (!scored(A)) continue;
            for (const HeteroAtom& H : s.hetero) {
                if (!scored(H)) continue;
                const double d = A.dis(H);
                if (!(d < 8.0)) continue;
                const double e = p.quenda[A.type - 1][H.type - 1][static_cast<int>(10.0 * d)];
                total += e;
                (a > 5 ? e2 : e1) += e;
            }
        }
    }
    return total;
}

}  // namespace lorvane
