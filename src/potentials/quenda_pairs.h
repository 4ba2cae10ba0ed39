#pragma once
// The atom pairs the QUENDA loop potential scores, in one place: the scorer
// (quenda_e) and the derivation of its table (lorvane-params) both walk them
// with forEachQuendaPair, so what is counted and what is scored cannot drift.
//
// A loop residue i (start..end) meets every residue j with |i - j| >= 2 whose
// CA lies within 20 A of CA(i); loop-loop pairs are visited once, from the
// lower residue. Atoms count when their van der Waals class is 1..20 and they
// sit at a real position (not the origin); pairs closer than 8 A are visited,
// binned by 0.1 A. Without allAtoms only the backbone slots (N, CA, C, O, H,
// CB; glycine without slot 5) of loop residues take part. The hetero atoms of
// the structure pair with loop atoms as frame atoms (slotB -1).
#include <algorithm>
#include <cstdlib>

#include "model/structure.h"
#include "potentials/potentials.h"

namespace lorvane {

constexpr double QUENDA_CUTOFF = 8.0;  // A
constexpr double QUENDA_NEIGHBOUR_CA = 20.0;  // A, CA-CA distance of residues that meet

struct QuendaPair {
    const Atom& a;       // atom of the loop residue
    const Atom& b;       // atom of the partner residue
    int slotA, slotB;    // template slots
    bool partnerInLoop;  // the partner residue belongs to the loop too
    double distance;     // A, below QUENDA_CUTOFF
    int classA() const { return a.type - 1; }
    int classB() const { return b.type - 1; }
    int bin() const { return static_cast<int>(10.0 * distance); }
};

namespace quenda_detail {

// Heavy atoms present at a real position; classes outside the table's 1..20 are not scored.
inline bool scored(const Atom& a) {
    return a.type >= 1 && a.type <= QUENDA_CLASSES && !(a.x == 0.0f && a.y == 0.0f && a.z == 0.0f);
}

// Slots 0-5 are the backbone here (N, CA, C, O, H, CB); glycine's slot 5 is not used.
inline int backboneSlots(const Residue& r) { return std::min<int>(r.numAtoms, r.type == GLY ? 5 : 6); }

}  // namespace quenda_detail

// Calls visit(const QuendaPair&) for every scored pair of the loop start..end,
// residue by residue in chain order; visit returns false to stop early, and
// then forEachQuendaPair returns false too.
template <class Visit>
bool forEachQuendaPair(const Structure& s, int start, int end, bool allAtoms, Visit&& visit) {
    using quenda_detail::backboneSlots;
    using quenda_detail::scored;
    const int N = s._numRes;
    for (int i = start; i <= end; ++i) {
        const Residue& ri = s[i];
        const int nI = allAtoms ? std::min<int>(ri.numAtoms, MAX_ATOMS) : backboneSlots(ri);
        if (nI <= 0) continue;
        for (int j = 1; j <= N; ++j) {
            if (std::abs(j - i) <= 1) continue;
            const bool jLoop = start <= j && j <= end;
            if (jLoop && j < i - 1) continue;  // loop-loop pairs once, from the lower residue
            const Residue& rj = s[j];
            if (!(ri.atoms[1].dis(rj.atoms[1]) < QUENDA_NEIGHBOUR_CA)) continue;
            const int nJ = allAtoms || !jLoop ? std::min<int>(rj.numAtoms, MAX_ATOMS) : backboneSlots(rj);
            for (int a = 0; a < nI; ++a) {
                const Atom& A = ri.atoms[a];
                if (!scored(A)) continue;
                for (int b = 0; b < nJ; ++b) {
                    const Atom& B = rj.atoms[b];
                    if (!scored(B)) continue;
                    const double d = A.dis(B);
                    if (!(d < QUENDA_CUTOFF)) continue;
                    if (!visit(QuendaPair{A, B, a, b, jLoop, d})) return false;
                }
            }
        }
        // Hetero atoms (ligands, ions) are frame atoms with no template slot.
        for (int a = 0; a < nI; ++a) {
            const Atom& A = ri.atoms[a];
            if (!scored(A)) continue;
            for (const HeteroAtom& H : s.hetero) {
                if (!scored(H)) continue;
                const double d = A.dis(H);
                if (!(d < QUENDA_CUTOFF)) continue;
                if (!visit(QuendaPair{A, H, a, -1, false, d})) return false;
            }
        }
    }
    return true;
}

}  // namespace lorvane
