#include "params/chain_geometry.h"

#include <algorithm>
#include <cmath>

#include "model/residue_names.h"

namespace lorvane::params {

int torsionBin(double deg) {
    int k = static_cast<int>(std::floor((deg + 182.5) / 5.0));
    k %= NUM_BINS;
    if (k < 0) k += NUM_BINS;
    return k;
}

bool phiPsi(const TrainChain& c, size_t i, double& phi, double& psi) {
    const auto& R = c.residues;
    if (i == 0 || i + 1 >= R.size() || R[i].breakBefore || R[i + 1].breakBefore) return false;
    const TrainResidue &p = R[i - 1], &r = R[i], &n = R[i + 1];
    if (!p.has(2) || !r.has(0) || !r.has(1) || !r.has(2) || !n.has(0)) return false;
    phi = Torsion(p.atoms[2], r.atoms[0], r.atoms[1], r.atoms[2]);
    psi = Torsion(r.atoms[0], r.atoms[1], r.atoms[2], n.atoms[0]);
    return std::isfinite(phi) && std::isfinite(psi);
}

bool omegaAfter(const TrainChain& c, size_t i, double& omega) {
    const auto& R = c.residues;
    if (i + 1 >= R.size() || R[i + 1].breakBefore) return false;
    const TrainResidue &r = R[i], &n = R[i + 1];
    if (!r.has(1) || !r.has(2) || !n.has(0) || !n.has(1)) return false;
    omega = Torsion(r.atoms[1], r.atoms[2], n.atoms[0], n.atoms[1]);
    return std::isfinite(omega);
}

int chiAngles(const Templates& t, int type, const Point* atoms, uint16_t present, double chi[5]) {
    int k = 0;
    const int last = std::min(LAST_HEAVY_SLOT[type], TRAIN_SLOTS - 1);
    for (int j = 6; j <= last && k < 5; ++j) {
        if (t.torsion[type][j] != FREE_CHI) continue;
        const int* ref = t.refAtoms[type][j];
        for (int s : {ref[0], ref[1], ref[2], j})
            if (s < 0 || s >= TRAIN_SLOTS || !((present >> s) & 1u)) return -1;
        chi[k++] = Torsion(atoms[ref[0]], atoms[ref[1]], atoms[ref[2]], atoms[j]);
    }
    return k;
}

int numChis(int type) { return isAminoAcid(type) ? NUM_CHI[type] : 0; }

double chiPeriod(int type, int k) {
    if ((type == PHE || type == TYR) && k == 1) return 180.0;
    if (type == ASP && k == 1) return 180.0;
    if (type == GLU && k == 2) return 180.0;
    return 360.0;
}

double wrapAngle(double a, double period) {
    const double h = period / 2.0;
    a = std::fmod(a + h, period);
    if (a < 0) a += period;
    return a - h;
}

double angDiff(double a, double b, double period) { return std::fabs(wrapAngle(a - b, period)); }

}  // namespace lorvane::params
