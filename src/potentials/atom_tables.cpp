// Global atom numbering, bond graph and pair maps of the working protein.
#include "potentials/atom_tables.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "model/error.h"
#include "potentials/pf.h"

namespace lorvane {

int numatom = 0;
int atomcountmap[MAX_RESIDUES + 1][30];
int revatomcountmap[MAX_GLOBAL_ATOMS][2];
int dftype[MAX_GLOBAL_ATOMS];
double rsolv[MAX_GLOBAL_ATOMS];
int numconnect[MAX_GLOBAL_ATOMS];
int connect[MAX_GLOBAL_ATOMS][4];
int connect3[MAX_GLOBAL_ATOMS][50];
int connect4[MAX_GLOBAL_ATOMS][50];
ByteMatrix pairmap;
ByteMatrix onefourmap;

namespace {

// Glycine's CB and proline's amide H get no number, present or not.
bool numbered(int type, int slot) { return !((type == GLY && slot == 5) || (type == PRO && slot == 4)); }

std::string describe(const Structure& s, int g) {
    const int i = revatomcountmap[g][0], k = revatomcountmap[g][1];
    const Residue& r = s.residues[i];
    std::string name = r.atoms[k].name.empty() ? "slot " + std::to_string(k) : r.atoms[k].name;
    return "atom " + name + " of residue " + std::to_string(i) + " (PDB " + std::to_string(r.pdbNum) + ")";
}

void addBond(const Structure& s, int a, int b) {
    if (numconnect[a] >= MAX_BONDED)
        fail(describe(s, a) + " has more than " + std::to_string(MAX_BONDED) + " bonded neighbours");
    connect[a][numconnect[a]++] = b;
}

void addPartner(const Structure& s, int (*list)[50], int a, int b, const char* what) {
    int& m = list[a][0];
    if (m >= MAX_PARTNERS)
        fail(describe(s, a) + " has more than " + std::to_string(MAX_PARTNERS) + " " + what + " partners");
    list[a][++m] = b;
}

// Ring-closing bond partner of a slot, or -1 (the template tree cannot express it).
int ringPartner(int type, int slot) {
    switch (type) {
        case PRO:
            return slot == 0 ? 7 : slot == 7 ? 0 : -1;
        case PHE:
        case TYR:
            return slot == 10 ? 11 : slot == 11 ? 10 : -1;
        case HIS:
            return slot == 9 ? 10 : slot == 10 ? 9 : -1;
        case TRP:
            if (slot == 9 || slot == 10) return 19 - slot;
            if (slot == 13 || slot == 14) return 27 - slot;
            return -1;
        default:
            return -1;
    }
}

}  // namespace

void vsgb_setup(Structure& s) {
    const int N = s._numRes;
    if (N > MAX_RESIDUES)
        fail("the protein has " + std::to_string(N) + " residues, the atom tables hold " + std::to_string(MAX_RESIDUES));

    // 1-2. Numbering and pair-potential types. Rows of positions outside the chain are
    // cleared so that no stale index of an earlier protein survives.
    for (int i = 0; i <= MAX_RESIDUES; ++i)
        if (i < 1 || i > N) std::fill(std::begin(atomcountmap[i]), std::end(atomcountmap[i]), -1);
    int g = 0;
    auto take = [&](int i, int k) {
        if (g >= MAX_GLOBAL_ATOMS)
            fail("the protein has more than " + std::to_string(MAX_GLOBAL_ATOMS) + " atoms (residue " + std::to_string(i) +
                  ", PDB " + std::to_string(s.residues[i].pdbNum) + "), more than the atom tables hold");
        revatomcountmap[g][0] = i;
        revatomcountmap[g][1] = k;
        atomcountmap[i][k] = g;
        return g++;
    };
    for (int i = 1; i <= N; ++i) {
        Residue& r = s.residues[i];
        std::fill(std::begin(atomcountmap[i]), std::end(atomcountmap[i]), -1);
        if (r.type < 0 || r.type >= NUM_TYPES)
            fail("residue " + std::to_string(i) + " (PDB " + std::to_string(r.pdbNum) + ") has no residue type");
        const int n = std::min<int>(r.numAtoms, MAX_ATOMS);
        for (int k = 0; k < n; ++k) {
            if (!numbered(r.type, k)) continue;
            const int a = take(i, k);
            const Atom& at = r.atoms[k];
            dftype[a] = at.hasDfireType && at.dfireType >= 0 && at.dfireType < NUM_PAIR_TYPES ? at.dfireType : NO_PAIR_TYPE;
            if (at.name.empty()) {
                std::cout << i << " " << k << " has no name \n";
                dftype[a] = NO_PAIR_TYPE;
            }
        }
    }
    const int numTemplate = g;

    // 3. Extra N-terminal hydrogens and the OXT: numbered last, never scored.
    std::vector<int> extraH;
    int oxt = -1;
    if (N >= 1) {
        const int n1 = s.residues[1].numAtoms;
        for (int k = n1; k <= n1 + 1; ++k)
            if (k >= 0 && k < MAX_ATOMS && s.residues[1].atoms[k].type == 23) extraH.push_back(take(1, k));
        const int nN = s.residues[N].numAtoms;
        if (nN >= 0 && nN < MAX_ATOMS && s.residues[N].atoms[nN].type == 20) oxt = take(N, nN);
    }
    numatom = g;
    for (int a = numTemplate; a < numatom; ++a) dftype[a] = NO_PAIR_TYPE;

    // 4. Bonds.
    for (int a = 0; a < numatom; ++a) {
        numconnect[a] = 0;
        connect3[a][0] = 0;
        connect4[a][0] = 0;
    }
    for (int i = 1; i <= N; ++i) {
        const Residue& r = s.residues[i];
        const int t = r.type;
        const int n = std::min<int>(r.numAtoms, MAX_ATOMS);
        auto slotIndex = [&](int k) { return k >= 0 && k < n && numbered(t, k) ? atomcountmap[i][k] : -1; };
        for (int k = 0; k < n; ++k) {
            if (!numbered(t, k)) continue;
            const int a = atomcountmap[i][k];
            if (k == 0 && i > 1 && !s.gapAfter[i - 1] && atomcountmap[i - 1][2] >= 0) addBond(s, a, atomcountmap[i - 1][2]);
            for (int m = 1; m < n; ++m) {
                if (!numbered(t, m)) continue;
                if (m == k) {
                    const int p = slotIndex(Residue::prev_atom[t][k][2]);
                    if (p >= 0 && p != a) addBond(s, a, p);
                } else if (Residue::prev_atom[t][m][2] == k) {
                    addBond(s, a, atomcountmap[i][m]);
                }
            }
            if (k == 2 && i < N && !s.gapAfter[i] && atomcountmap[i + 1][0] >= 0) addBond(s, a, atomcountmap[i + 1][0]);
            const int ring = slotIndex(ringPartner(t, k));
            if (ring >= 0) addBond(s, a, ring);
        }
    }
    for (int h : extraH) {
        addBond(s, atomcountmap[1][0], h);
        addBond(s, h, atomcountmap[1][0]);
    }
    if (oxt >= 0) {
        addBond(s, atomcountmap[N][2], oxt);
        addBond(s, oxt, atomcountmap[N][2]);
    }

    // 5. 1-3 partners: two neighbours of one atom.
    for (int b = 0; b < numatom; ++b)
        for (int j = 0; j < numconnect[b]; ++j)
            for (int l = j + 1; l < numconnect[b]; ++l) {
                const int x = connect[b][j], y = connect[b][l];
                addPartner(s, connect3, x, y, "1-3");
                addPartner(s, connect3, y, x, "1-3");
            }

    // 6. 1-4 partners: the outer atoms of every bond b-c, each bond taken once.
    for (int b = 0; b < numatom; ++b)
        for (int j = 0; j < numconnect[b]; ++j) {
            const int c = connect[b][j];
            if (c <= b) continue;
            for (int l = 0; l < numconnect[b]; ++l) {
                const int a = connect[b][l];
                if (a == c) continue;
                for (int m = 0; m < numconnect[c]; ++m) {
                    const int d = connect[c][m];
                    if (d == a || d == b) continue;
                    addPartner(s, connect4, a, d, "1-4");
                    addPartner(s, connect4, d, a, "1-4");
                }
            }
        }

    // 7. Pair maps, sized to this protein.
    pairmap.resize(numatom);
    std::fill(pairmap.data.begin(), pairmap.data.end(), uint8_t{1});
    onefourmap.resize(numatom);
    for (int a = 0; a < numatom; ++a) {
        for (int j = 0; j < numconnect[a]; ++j) pairmap[a][connect[a][j]] = 0;
        for (int j = 1; j <= connect3[a][0]; ++j) pairmap[a][connect3[a][j]] = 0;
        for (int j = 1; j <= connect4[a][0]; ++j) onefourmap[a][connect4[a][j]] = 1;
    }

    // 8. Solvation radii by element and bond count; hydrogens by their heavy atom.
    for (int a = 0; a < numatom; ++a) {
        const Atom& at = s.residues[revatomcountmap[a][0]].atoms[revatomcountmap[a][1]];
        const int nc = numconnect[a];
        double radius = 0.0;
        if (at.type > 21) {
            radius = 1.25;
            if (nc > 0) {
                const int p = connect[a][0];
                const int pt = s.residues[revatomcountmap[p][0]].atoms[revatomcountmap[p][1]].type;
                if (pt == 7 || pt == 9 || pt == 10 || pt == 11 || pt == 12 || pt == 17) radius = 1.15;
                if (pt == 13 || pt == 14 || pt == 15 || pt == 20) radius = 1.05;
            }
        }
        const char e = at.name.empty() ? '\0' : at.name[0];
        if (e == 'C') radius = nc == 2 ? 1.825 : nc == 3 ? 1.875 : 1.9;
        if (e == 'N') radius = nc == 4 ? 1.625 : nc == 1 ? 1.6 : 1.7063;
        if (e == 'O') radius = nc == 1 ? 1.48 : 1.535;
        if (e == 'S') radius = 1.775;
        rsolv[a] = radius;
    }
}

}  // namespace lorvane
