#include "model/residue.h"

namespace lorvane {

void Residue::init() {
    for (Atom& a : atoms) a = Atom();
    type = -1;
    numAtoms = MAX_ATOMS;
    ss = 2;
    phi = psi = omega = UNDEF_DIHEDRAL;
    for (double& c : chi) c = UNDEF_DIHEDRAL;
    missingHeavy = false;
}

Residue& Residue::operator=(const Residue& o) {
    if (this == &o) return *this;
    int n = o.numAtoms;
    if (n < 0) n = 0;
    if (n > MAX_ATOMS) n = MAX_ATOMS;
    for (int j = 0; j < n; ++j) atoms[j] = o.atoms[j];
    for (int j = n; j < MAX_ATOMS; ++j) atoms[j].reset();
    for (int j = n; j < n + 2 && j < MAX_ATOMS; ++j)
        if (o.atoms[j].type > 0) atoms[j] = o.atoms[j];
    type = o.type;
    numAtoms = o.numAtoms;
    ss = o.ss;
    phi = o.phi;
    psi = o.psi;
    omega = o.omega;
    for (int k = 0; k < 5; ++k) chi[k] = o.chi[k];
    pdbNum = o.pdbNum;
    icode = o.icode;
    missingHeavy = o.missingHeavy;
    return *this;
}

}  // namespace lorvane
