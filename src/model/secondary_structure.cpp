#include "model/secondary_structure.h"
#include "model/backbone_dihedrals.h"

namespace lorvane {

namespace {

void classify(Residue& r) {
    const double phi = r.phi, psi = r.psi;
    if (phi > -180.0 && phi < -20.0) {
        if (psi > -90.0 && psi < -10.0)
            r.ss = SS_HELIX;
        else if ((psi > 20.0 && psi < 180.0) || (psi > -180.0 && psi < -170.0))
            r.ss = SS_STRAND;
        else
            r.ss = SS_COIL;
    } else {
        r.ss = SS_COIL;
    }
}

}  // namespace

void assign_ss(Structure& s, int from, int to) {
    const int n = s._numRes;
    if (from < 1) from = 1;
    if (to > n) to = n;
    auto& R = s.residues;
    for (int i = from; i <= to; ++i) {
        Residue& r = R[i];
        if (i == 1 && i != n) {
            r.phi = UNDEF_DIHEDRAL;
            r.psi = psiAt(s, i);
            r.omega = omegaAt(s, i);
            r.ss = SS_COIL;
        } else if (i != n) {
            r.phi = phiAt(s, i);
            r.psi = psiAt(s, i);
            r.omega = omegaAt(s, i);
        }
        if (i == n) {
            r.phi = n > 1 ? phiAt(s, i) : UNDEF_DIHEDRAL;
            r.psi = r.omega = UNDEF_DIHEDRAL;
            r.ss = SS_COIL;
        }
    }
    classifySS(s, from, to);
}

void classifySS(Structure& s, int from, int to) {
    const int n = s._numRes;
    if (from < 1) from = 1;
    if (to > n) to = n;
    for (int i = from; i <= to; ++i) classify(s.residues[i]);
    for (int i = from; i <= to; ++i) {
        if (i == 1 || i == n) continue;
        Residue& r = s.residues[i];
        if (r.ss == SS_HELIX) continue;
        if (r.ss != s.residues[i - 1].ss && r.ss != s.residues[i + 1].ss) r.ss = SS_COIL;
    }
}

}  // namespace lorvane
