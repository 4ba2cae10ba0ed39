#include "model/structure.h"

#include <algorithm>

#include "model/error.h"

namespace lorvane {

Structure::Structure(int capacity) { init(capacity); }

Structure::Structure(const Structure& o) {
    init(o._numRes);
    *this = o;
}

void Structure::init(int n) {
    if (n < 0) n = 0;
    _numRes = n;
    residues.assign(static_cast<size_t>(n) + 1, Residue());
    chainIds.clear();
    for (int& c : chainStart) c = 0;
    name.clear();
    for (bool& g : gapAfter) g = false;
    hasGap = false;
    incomplete = false;
    chainNames.clear();
    hetero.clear();
    // Seed coordinates: residue 0 and the start of residue 1 let a chain be built from nothing.
    residues[0].atoms[SLOT_N].init(-1, 1, 1, ABSENT);
    residues[0].atoms[SLOT_CA].init(0, 1, 1, ABSENT);
    residues[0].atoms[SLOT_C].init(0, 1, 0, ABSENT);
    if (n >= 1) {
        residues[1].atoms[SLOT_N].init(0, 0, 0, ABSENT);
        residues[1].atoms[SLOT_CA].init(1.458, 0, 0, ABSENT);
        residues[1].atoms[SLOT_H].init(0, -1.01, 0, ABSENT);
    }
}

void Structure::copyChainFields(const Structure& o) {
    chainIds = o.chainIds;
    name = o.name;
    for (int c = 0; c < MAX_CHAINS; ++c) chainStart[c] = o.chainStart[c];
    hasGap = o.hasGap;
    incomplete = o.incomplete;
    chainNames = o.chainNames;
    hetero = o.hetero;
}

Structure& Structure::operator=(const Structure& o) {
    if (this == &o) return *this;
    if (o._numRes != _numRes || capacity() < o._numRes) init(o._numRes);
    _numRes = o._numRes;
    for (int i = 1; i <= _numRes; ++i) {
        residues[i] = o.residues[i];
        gapAfter[i] = o.gapAfter[i];
    }
    copyChainFields(o);
    return *this;
}

void Structure::copyStructure(const Structure& src, int from, int to) {
    if (src._numRes != _numRes) {
        if (from == 1 && src._numRes == to)
            init(to);
        else
            fail("Cannot call copyStructure on fragments when _numRes incompatible");
    }
    if (from < 1) from = 1;
    if (to > _numRes) to = _numRes;
    for (int i = from; i <= to; ++i) {
        residues[i] = src.residues[i];
        gapAfter[i] = src.gapAfter[i];
    }
    copyChainFields(src);
}

int chainOf(const Structure& s, int i) {
    int c = -1;
    for (int k = 0; k < static_cast<int>(s.chainIds.size()) && k < MAX_CHAINS; ++k)
        if (s.chainStart[k] <= i) c = k;
    return c;
}

std::string residueLabel(const Structure& s, int i) {
    const int c = chainOf(s, i);
    std::string chain;
    if (c >= 0) chain = c < static_cast<int>(s.chainNames.size()) ? s.chainNames[c] : s.chainIds.substr(c, 1);
    const Residue& r = s.residues[i];
    return chain + std::to_string(r.pdbNum) + (r.icode == ' ' ? std::string() : std::string(1, r.icode));
}

void measureChis(const Templates& t, Residue& r, double scale) {
    if (r.type == GLY || r.type == ALA || r.numAtoms < 7 || !isAminoAcid(r.type)) return;
    int k = 0;
    for (int j = FIRST_SIDE_CHAIN_SLOT; j < r.numAtoms && j < MAX_ATOMS && k < 5; ++j) {
        if (t.torsion[r.type][j] != FREE_CHI) continue;
        const int* ref = t.refAtoms[r.type][j];
        if (r.atoms[j].present() && r.atoms[ref[0]].present() && r.atoms[ref[1]].present() && r.atoms[ref[2]].present())
            r.chi[k] = Torsion(r.atoms[j], r.atoms[ref[2]], r.atoms[ref[1]], r.atoms[ref[0]]) * scale;
        else
            r.chi[k] = UNDEF_DIHEDRAL;
        ++k;
    }
}

void measureChis(const Templates& t, Structure& s, int from, int to) {
    for (int i = from; i <= to; ++i) measureChis(t, s.residues[i], 1.0);
}

}  // namespace lorvane
