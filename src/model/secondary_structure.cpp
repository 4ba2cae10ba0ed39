#include "model/structure.h"

namespace lorvane {

namespace {

void classify(Residue& r) {
    const double phi = r.phi, psi = r.psi;
    if (phi > -180.0 && phi < -20.0) {
        if (psi > -90.0 && psi < -10.0)
            r.ss = 0;
        else if ((psi > 20.0 && psi < 180.0) || (psi > -180.0 && psi < -170.0))
            r.ss = 1;
        else
            r.ss = 2;
    } else {
        r.ss = 2;
    }
}

}  // namespace

void assign_ss(Structure& s, int from, int to, int skipGeometry) {
    const int n = s._numRes;
    if (from < 1) from = 1;
    if (to > n) to = n;
    if (skipGeometry == 0) {
        auto& R = s.residues;
        for (int i = from; i <= to; ++i) {
            Residue& r = R[i];
            const Atom* a = r.atoms;
            const bool measureGeom = !r.geomSet || !s.keepGeometry;
            if (i == 1 && i != n) {
                const Atom* b = R[2].atoms;
                r.phi = UNDEF_DIHEDRAL;
                r.psi = Torsion(a[0], a[1], a[2], b[0]);
                r.omega = Torsion(a[1], a[2], b[0], b[1]);
                r.tNCACO = Torsion(a[0], a[1], a[2], a[3]);
                r.ss = 2;
                if (measureGeom) {
                    r.dCN = -12345.0;
                    r.dNCA = a[1].dis(a[0]);
                    r.dCAC = a[2].dis(a[1]);
                    r.dCO = a[2].dis(a[3]);
                    r.dCACB = a[1].dis(a[5]);
                    r.aCACN = angle(a[1], a[2], b[0]);
                    r.aCACO = angle(a[1], a[2], a[3]);
                    r.aCCACB = angle(a[2], a[1], a[5]);
                    r.geomSet = true;
                }
                r.aNCAC = angle(a[0], a[1], a[2]);
                r.tNCCACB = Torsion(a[0], a[2], a[1], a[5]);
            } else if (i != n) {
                const Atom* p = R[i - 1].atoms;
                const Atom* b = R[i + 1].atoms;
                r.phi = Torsion(p[2], a[0], a[1], a[2]);
                r.psi = Torsion(a[0], a[1], a[2], b[0]);
                r.omega = Torsion(a[1], a[2], b[0], b[1]);
                r.tNCACO = Torsion(a[0], a[1], a[2], a[3]);
                r.tNCCACB = Torsion(a[0], a[2], a[1], a[5]);
                r.aNCAC = angle(a[0], a[1], a[2]);
                if (measureGeom) {
                    r.geomSet = true;
                    r.dCN = a[0].dis(p[2]);
                    r.dNCA = a[1].dis(a[0]);
                    r.dCAC = a[2].dis(a[1]);
                    r.dCO = a[2].dis(a[3]);
                    r.dCACB = a[1].dis(a[5]);
                    r.aCNCA = angle(p[2], a[0], a[1]);
                    r.aCACN = angle(a[1], a[2], b[0]);
                    r.aCACO = angle(a[1], a[2], a[3]);
                    r.aCCACB = angle(a[2], a[1], a[5]);
                }
            }
            if (i == n) {
                if (n > 1) {
                    const Atom* p = R[i - 1].atoms;
                    r.phi = Torsion(p[2], a[0], a[1], a[2]);
                    r.dCN = a[0].dis(p[2]);
                    r.aCNCA = angle(p[2], a[0], a[1]);
                } else {
                    r.phi = UNDEF_DIHEDRAL;
                }
                r.psi = r.omega = UNDEF_DIHEDRAL;
                r.ss = 2;
                r.dNCA = a[1].dis(a[0]);
                r.dCAC = a[2].dis(a[1]);
                r.dCO = a[2].dis(a[3]);
                r.dCACB = a[1].dis(a[5]);
                r.aNCAC = angle(a[0], a[1], a[2]);
                r.aCACO = angle(a[1], a[2], a[3]);
                r.aCCACB = angle(a[2], a[1], a[5]);
            }
        }
    }
    for (int i = from; i <= to; ++i) classify(s.residues[i]);
    for (int i = from; i <= to; ++i) {
        if (i == 1 || i == n) continue;
        Residue& r = s.residues[i];
        if (r.ss == 0) continue;
        if (r.ss != s.residues[i - 1].ss && r.ss != s.residues[i + 1].ss) r.ss = 2;
    }
}

}  // namespace lorvane
