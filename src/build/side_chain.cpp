#include "build/side_chain.h"

#include <algorithm>

namespace lorvane {

void calSCCoHeavy(const Templates& tm, Residue& r, const double* chi) {
    const int t = r.type;
    if (LAST_HEAVY_SLOT[t] >= FIRST_SIDE_CHAIN_SLOT) {
        int k = 0;
        for (int j = FIRST_SIDE_CHAIN_SLOT; j <= LAST_HEAVY_SLOT[t]; ++j) {
            const int* ref = tm.refAtoms[t][j];
            double dih = tm.torsion[t][j];
            if (dih == FREE_CHI) dih = chi[k++];
            calCo(r.atoms[ref[0]], r.atoms[ref[1]], r.atoms[ref[2]], tm.bondLength[t][j], tm.bondAngle[t][j], dih, r.atoms[j]);
        }
    }
    r.numAtoms = static_cast<int16_t>(tm.numAtom[t]);
}

double sideChainReach(const Templates& tm, int t) {
    if (!isAminoAcid(t)) return -1.0;
    double bound[MAX_ATOMS] = {};
    double reach = 0.0;
    for (int k = FIRST_SIDE_CHAIN_SLOT; k <= LAST_HEAVY_SLOT[t]; ++k) {
        const int parent = tm.refAtoms[t][k][2];
        if (parent != SLOT_CB && (parent < FIRST_SIDE_CHAIN_SLOT || parent >= k)) return -1.0;
        bound[k] = (parent == SLOT_CB ? 0.0 : bound[parent]) + tm.bondLength[t][k];
        reach = std::max(reach, bound[k]);
    }
    return reach;
}

void calH(const Templates& tm, Structure& s, int from, int to) {
    for (int i = from; i <= to; ++i) {
        Residue& r = s[i];
        const int t = r.type;
        if (!isAminoAcid(t)) continue;
        if (t != PRO) {
            const Residue& p = s[i - 1];
            calCo(p.atoms[SLOT_CA], p.atoms[SLOT_C], r.atoms[SLOT_N], tm.bondLength[t][SLOT_H], tm.bondAngle[t][SLOT_H], 0.0,
                  r.atoms[SLOT_H]);
        }
        for (int j = LAST_HEAVY_SLOT[t] + 1; j < tm.numAtom[t]; ++j) {
            const int* ref = tm.refAtoms[t][j];
            calCo(r.atoms[ref[0]], r.atoms[ref[1]], r.atoms[ref[2]], tm.bondLength[t][j], tm.bondAngle[t][j], tm.torsion[t][j], r.atoms[j]);
        }
    }
}

}  // namespace lorvane
