#include "params/pair_types.h"

#include <cstring>

#include "model/error.h"
#include "model/residue_names.h"
#include "params/table_io.h"

namespace lorvane::params {

namespace {

bool isHeavySlot(int r, int s) {
    if (s == 4 || s >= TRAIN_SLOTS) return false;
    if (s > LAST_HEAVY_SLOT[r]) return false;
    if (r == GLY && s == 5) return false;
    return true;
}

void numberTypes(const Templates& tmpl, PairTypes& pt) {
    for (auto& row : pt.typeOf)
        for (int& v : row) v = -1;
    int n = 0;
    for (int r = 0; r < 20; ++r) {
        if (tmpl.numAtom[r] <= 0) fail("residue templates are not loaded (no atoms for residue type " + std::to_string(r) + ")");
        for (int s = 0; s < TRAIN_SLOTS; ++s) {
            if (!isHeavySlot(r, s)) continue;
            const int vdw = tmpl.vdwType[r][s];
            if (vdw < 1 || vdw > QUENDA_CLASSES)
                fail("template atom " + threeLetter(r) + " " + tmpl.atomName[r][s] + " has van der Waals type " + std::to_string(vdw) +
                     ", a heavy-atom class 1..20 was expected");
            if (n >= NUM_PAIR_TYPES) fail("the templates define more than 167 heavy-atom pair types");
            pt.typeOf[r][s] = n;
            pt.atomName[n] = tmpl.atomName[r][s];
            pt.key[n] = threeLetter(r) + " " + pt.atomName[n];
            pt.vdwClass[n] = vdw;
            ++n;
        }
    }
    if (n != NUM_PAIR_TYPES) fail("the templates define " + std::to_string(n) + " heavy-atom pair types, 167 expected");
}

void connectSlots(const Templates& tmpl, PairTypes& t) {
    std::memset(t.bonds, UNBONDED, sizeof t.bonds);
    for (int r = 0; r < 20; ++r) {
        for (int s = 0; s < TRAIN_SLOTS; ++s) t.heavy[r][s] = isHeavySlot(r, s);
        auto bond = [&](int a, int b) {
            if (a < 0 || b < 0 || a >= TRAIN_SLOTS || b >= TRAIN_SLOTS || !t.heavy[r][a] || !t.heavy[r][b])
                fail("template bond " + std::to_string(a) + "-" + std::to_string(b) + " of " + threeLetter(r) +
                     " joins slots that are not heavy atoms");
            t.bonds[r][a][b] = t.bonds[r][b][a] = 1;
        };
        bond(0, 1);
        bond(1, 2);
        bond(2, 3);
        for (int s = 5; s < TRAIN_SLOTS; ++s)
            if (t.heavy[r][s]) bond(s, tmpl.refAtoms[r][s][2]);
        // Ring closures that the build order does not express.
        if (r == PRO) bond(0, 7);
        if (r == PHE || r == TYR) bond(10, 11);
        if (r == HIS || r == TRP) bond(9, 10);
        if (r == TRP) bond(13, 14);
        for (int s = 0; s < TRAIN_SLOTS; ++s)
            if (t.heavy[r][s]) t.bonds[r][s][s] = 0;
        for (int k = 0; k < TRAIN_SLOTS; ++k)
            for (int a = 0; a < TRAIN_SLOTS; ++a)
                for (int b = 0; b < TRAIN_SLOTS; ++b) {
                    const int via = t.bonds[r][a][k] + t.bonds[r][k][b];
                    if (via < t.bonds[r][a][b]) t.bonds[r][a][b] = static_cast<int8_t>(via);
                }
    }
}

}  // namespace

PairTypes pairTypesFromTemplates(const Templates& tmpl) {
    PairTypes pt;
    numberTypes(tmpl, pt);
    connectSlots(tmpl, pt);
    return pt;
}

int bondPath(const PairTypes& t, const TrainChain& ch, int i, int a, int j, int b) {
    if (i > j) {
        std::swap(i, j);
        std::swap(a, b);
    }
    const TrainResidue& ri = ch.residues[i];
    if (i == j) return t.bonds[ri.type][a][b];
    const TrainResidue& rj = ch.residues[j];
    if (j != i + 1 || rj.breakBefore) return UNBONDED;
    return t.bonds[ri.type][a][2] + 1 + t.bonds[rj.type][0][b];
}

void appendPairLines(std::string& out, const PairTypes& t, const std::vector<double>& e, int bins, int decimals) {
    for (int a = 0; a < NUM_PAIR_TYPES; ++a)
        for (int b2 = a; b2 < NUM_PAIR_TYPES; ++b2) {
            out += t.key[a];
            out += ' ';
            out += t.key[b2];
            const double* v = &e[static_cast<size_t>(pairIndex(a, b2)) * bins];
            for (int b = 0; b < bins; ++b) {
                out += ' ';
                out += formatFixed(v[b], decimals);
            }
            out += '\n';
        }
}

void chainAtoms(const PairTypes& t, const TrainChain& ch, std::vector<ChainAtom>& out) {
    out.clear();
    for (int i = 0; i < static_cast<int>(ch.residues.size()); ++i) {
        const TrainResidue& r = ch.residues[i];
        if (r.type < 0 || r.type >= 20) continue;
        for (int s = 0; s < TRAIN_SLOTS; ++s) {
            const int ty = t.typeOf[r.type][s];
            if (ty < 0 || !r.has(s)) continue;
            out.push_back({r.atoms[s], i, static_cast<int8_t>(s), static_cast<int16_t>(ty)});
        }
    }
}

}  // namespace lorvane::params
