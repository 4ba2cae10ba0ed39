#include "build/side_chain.h"

#include <cmath>

namespace lorvane {

void calSCCoHeavy(const Templates& tm, Residue& r, const double* chi) {
    const int t = r.type;
    if (LAST_HEAVY_SLOT[t] >= FIRST_SIDE_CHAIN_SLOT) {
        int k = 0;
        for (int j = FIRST_SIDE_CHAIN_SLOT; j <= LAST_HEAVY_SLOT[t]; ++j) {
            double dih = tm.torsion[t][j];
            if (dih == FREE_CHI) dih = chi[k++];
            placeSideChainAtom(tm, r, j, dih, r.atoms[j]);
        }
    }
    r.numAtoms = static_cast<int16_t>(tm.numAtom[t]);
}

void placeSideChainAtom(const Templates& tm, const Residue& r, int k, double dih, Point& out) {
    const int t = r.type;
    const int* ref = tm.refAtoms[t][k];
    const double* a = tm.sinCosAngleOf[t][k];
    const double* f = tm.sinCosTorsionOf[t][k];
    // A chi equal to the template's torsion has its sine and cosine too.
    const bool fixed = dih == tm.torsion[t][k];
    calCoTrig(r.atoms[ref[0]], r.atoms[ref[1]], r.atoms[ref[2]], tm.bondLength[t][k], a[0], a[1], fixed ? f[0] : std::sin(dih),
              fixed ? f[1] : std::cos(dih), out);
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
