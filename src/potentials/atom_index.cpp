// Global atom numbering, bond graph and pair maps of the working protein.
#include "potentials/atom_index.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "model/error.h"

namespace lorvane {

namespace {

// Bond lists while the index is built.
struct Bonds {
    std::vector<int> count;
    std::vector<std::array<int, MAX_BONDED>> to;
    std::vector<std::array<int, MAX_PARTNERS + 1>> three, four;  // element 0 holds the count
};

std::string describe(const AtomIndex& x, const Structure& s, int g) {
    const int i = x.atomOf[g][0], k = x.atomOf[g][1];
    const Residue& r = s.residues[i];
    std::string name = r.atoms[k].name.empty() ? "slot " + std::to_string(k) : r.atoms[k].name;
    return "atom " + name + " of residue " + residueLabel(s, i);
}

void addBond(const AtomIndex& x, Bonds& B, const Structure& s, int a, int b) {
    if (B.count[a] >= MAX_BONDED) fail(describe(x, s, a) + " has more than " + std::to_string(MAX_BONDED) + " bonded neighbours");
    B.to[a][B.count[a]++] = b;
}

void addPartner(const AtomIndex& x, const Structure& s, std::vector<std::array<int, MAX_PARTNERS + 1>>& list, int a, int b,
                const char* what) {
    int& m = list[a][0];
    if (m >= MAX_PARTNERS) fail(describe(x, s, a) + " has more than " + std::to_string(MAX_PARTNERS) + " " + what + " partners");
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

AtomIndex buildAtomIndex(const Templates& tm, const Structure& s) {
    const int N = s._numRes;
    if (N > MAX_RESIDUES)
        fail("the protein has " + std::to_string(N) + " residues, the atom tables hold " + std::to_string(MAX_RESIDUES));
    AtomIndex x;

    // 1-2. Numbering and pair-potential types; positions outside the chain have no numbers.
    std::array<int, MAX_ATOMS> none;
    none.fill(-1);
    x.slotIndex.assign(MAX_RESIDUES + 1, none);
    auto take = [&](int i, int k) {
        const int g = static_cast<int>(x.atomOf.size());
        if (g >= MAX_GLOBAL_ATOMS)
            fail("the protein has more than " + std::to_string(MAX_GLOBAL_ATOMS) + " atoms (at residue " + residueLabel(s, i) +
                 "), more than the atom tables hold");
        x.atomOf.push_back({i, k});
        x.pairType.push_back(NO_PAIR_TYPE);
        x.slotIndex[i][k] = g;
        return g;
    };
    for (int i = 1; i <= N; ++i) {
        const Residue& r = s.residues[i];
        if (r.type < 0 || r.type >= NUM_TYPES)
            fail("residue " + residueLabel(s, i) + " has no residue type");
        const int n = std::min<int>(r.numAtoms, MAX_ATOMS);
        for (int k = 0; k < n; ++k) {
            if (!hasIndex(r.type, k)) continue;
            const int a = take(i, k);
            const Atom& at = r.atoms[k];
            x.pairType[a] = at.hasDfireType && at.dfireType >= 0 && at.dfireType < NUM_PAIR_TYPES ? at.dfireType : NO_PAIR_TYPE;
            if (at.name.empty()) {
                std::cerr << i << " " << k << " has no name \n";
                x.pairType[a] = NO_PAIR_TYPE;
            }
        }
    }

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
    const int numAtoms = static_cast<int>(x.atomOf.size());
    x.numAtoms = numAtoms;

    // 4. Bonds.
    Bonds B;
    B.count.assign(numAtoms, 0);
    B.to.resize(numAtoms);
    std::array<int, MAX_PARTNERS + 1> empty{};
    B.three.assign(numAtoms, empty);
    B.four.assign(numAtoms, empty);
    for (int i = 1; i <= N; ++i) {
        const Residue& r = s.residues[i];
        const int t = r.type;
        const int n = std::min<int>(r.numAtoms, MAX_ATOMS);
        auto slotIndex = [&](int k) { return k >= 0 && k < n && hasIndex(t, k) ? x.slotIndex[i][k] : -1; };
        for (int k = 0; k < n; ++k) {
            if (!hasIndex(t, k)) continue;
            const int a = x.slotIndex[i][k];
            if (k == SLOT_N && i > 1 && !s.gapAfter[i - 1] && x.slotIndex[i - 1][SLOT_C] >= 0) addBond(x, B, s, a, x.slotIndex[i - 1][SLOT_C]);
            for (int m = 1; m < n; ++m) {
                if (!hasIndex(t, m)) continue;
                if (m == k) {
                    const int p = slotIndex(tm.refAtoms[t][k][2]);
                    if (p >= 0 && p != a) addBond(x, B, s, a, p);
                } else if (tm.refAtoms[t][m][2] == k) {
                    addBond(x, B, s, a, x.slotIndex[i][m]);
                }
            }
            if (k == SLOT_C && i < N && !s.gapAfter[i] && x.slotIndex[i + 1][SLOT_N] >= 0) addBond(x, B, s, a, x.slotIndex[i + 1][SLOT_N]);
            const int ring = slotIndex(ringPartner(t, k));
            if (ring >= 0) addBond(x, B, s, a, ring);
        }
    }
    for (int h : extraH) {
        addBond(x, B, s, x.slotIndex[1][SLOT_N], h);
        addBond(x, B, s, h, x.slotIndex[1][SLOT_N]);
    }
    if (oxt >= 0) {
        addBond(x, B, s, x.slotIndex[N][SLOT_C], oxt);
        addBond(x, B, s, oxt, x.slotIndex[N][SLOT_C]);
    }

    // 5. 1-3 partners: two neighbours of one atom.
    for (int b = 0; b < numAtoms; ++b)
        for (int j = 0; j < B.count[b]; ++j)
            for (int l = j + 1; l < B.count[b]; ++l) {
                const int p = B.to[b][j], q = B.to[b][l];
                addPartner(x, s, B.three, p, q, "1-3");
                addPartner(x, s, B.three, q, p, "1-3");
            }

    // 6. 1-4 partners: the outer atoms of every bond b-c, each bond taken once.
    for (int b = 0; b < numAtoms; ++b)
        for (int j = 0; j < B.count[b]; ++j) {
            const int c = B.to[b][j];
            if (c <= b) continue;
            for (int l = 0; l < B.count[b]; ++l) {
                const int a = B.to[b][l];
                if (a == c) continue;
                for (int m = 0; m < B.count[c]; ++m) {
                    const int d = B.to[c][m];
                    if (d == a || d == b) continue;
                    addPartner(x, s, B.four, a, d, "1-4");
                    addPartner(x, s, B.four, d, a, "1-4");
                }
            }
        }

    // 7. Pair maps, sized to this protein.
    x.nonBonded.resize(numAtoms);
    std::fill(x.nonBonded.data.begin(), x.nonBonded.data.end(), uint8_t{1});
    x.oneFour.resize(numAtoms);
    for (int a = 0; a < numAtoms; ++a) {
        for (int j = 0; j < B.count[a]; ++j) x.nonBonded[a][B.to[a][j]] = 0;
        for (int j = 1; j <= B.three[a][0]; ++j) x.nonBonded[a][B.three[a][j]] = 0;
        for (int j = 1; j <= B.four[a][0]; ++j) x.oneFour[a][B.four[a][j]] = 1;
    }

    // 8. Solvation radii by element and bond count; hydrogens by their heavy atom.
    x.solvRadius.assign(numAtoms, 0.0);
    for (int a = 0; a < numAtoms; ++a) {
        const Atom& at = s.residues[x.atomOf[a][0]].atoms[x.atomOf[a][1]];
        const int nc = B.count[a];
        double radius = 0.0;
        if (at.type > 21) {
            radius = 1.25;
            if (nc > 0) {
                const int p = B.to[a][0];
                const int pt = s.residues[x.atomOf[p][0]].atoms[x.atomOf[p][1]].type;
                if (pt == 7 || pt == 9 || pt == 10 || pt == 11 || pt == 12 || pt == 17) radius = 1.15;
                if (pt == 13 || pt == 14 || pt == 15 || pt == 20) radius = 1.05;
            }
        }
        const char e = at.name.empty() ? '\0' : at.name[0];
        if (e == 'C') radius = nc == 2 ? 1.825 : nc == 3 ? 1.875 : 1.9;
        if (e == 'N') radius = nc == 4 ? 1.625 : nc == 1 ? 1.6 : 1.7063;
        if (e == 'O') radius = nc == 1 ? 1.48 : 1.535;
        if (e == 'S') radius = 1.775;
        x.solvRadius[a] = radius;
    }
    return x;
}

}  // namespace lorvane
