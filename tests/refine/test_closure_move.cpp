// The refinement's move on the native loop of H-Ras (45-52): turns are exact
// rotations, and re-closing the window keeps both anchors, every bond length,
// bond angle and peptide torsion of the loop, and each window residue's side
// chain on its backbone.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/geometry.h"
#include "refine/closure_move.h"
#include "support/support.h"

using namespace lorvane;
using namespace lorvane_test;

namespace {

struct Loop {
    Structure s = ras();
    int start = positionOf(ras(), 45), end = positionOf(ras(), 52);
};

double phiOf(const Structure& s, int i) {
    return Torsion(s[i - 1].atoms[SLOT_C], s[i].atoms[SLOT_N], s[i].atoms[SLOT_CA], s[i].atoms[SLOT_C]);
}

// Bond lengths, bond angles and peptide torsions along the backbone from
// C(start - 1) to N(end + 1): what a move must keep.
std::vector<double> internalGeometry(const Structure& s, int start, int end) {
    std::vector<const Point*> chain{&s[start - 1].atoms[SLOT_C]};
    for (int i = start; i <= end; ++i)
        for (int x : {SLOT_N, SLOT_CA, SLOT_C}) chain.push_back(&s[i].atoms[x]);
    chain.push_back(&s[end + 1].atoms[SLOT_N]);
    std::vector<double> g;
    for (size_t k = 0; k + 1 < chain.size(); ++k) g.push_back(chain[k]->dis(*chain[k + 1]));
    for (size_t k = 0; k + 2 < chain.size(); ++k) g.push_back(angle(*chain[k], *chain[k + 1], *chain[k + 2]));
    // omega: CA(i) C(i) N(i+1) CA(i+1), chain index 3j + 2 is CA of the j-th loop residue
    for (size_t k = 2; k + 3 < chain.size(); k += 3) g.push_back(Torsion(*chain[k], *chain[k + 1], *chain[k + 2], *chain[k + 3]));
    return g;
}

double maxShift(const Structure& a, const Structure& b, int from, int to) {
    double d = 0;
    for (int i = from; i <= to; ++i)
        for (int x = 0; x < a[i].numAtoms; ++x)
            if (a[i].atoms[x].type != ABSENT) d = std::fmax(d, a[i].atoms[x].dis(b[i].atoms[x]));
    return d;
}

}  // namespace

TEST(ClosureMove, TurnIsARotationAndTurnsBack) {
    Loop l;
    const Structure before = l.s;
    const int r = l.start + 2, last = l.start + 4;
    turnDihedral(l.s, r, false, 20.0 * DEG2RAD, last);
    double change = phiOf(l.s, r) - phiOf(before, r);
    if (change > 180) change -= 360;
    if (change < -180) change += 360;
    EXPECT_NEAR(change, 20.0, 1e-2);
    EXPECT_EQ(maxShift(l.s, before, last + 1, l.end + 1), 0.0) << "residues after the last one moved must stay";
    EXPECT_GT(maxShift(l.s, before, r, last), 0.5);
    turnDihedral(l.s, r, false, -20.0 * DEG2RAD, last);
    EXPECT_LT(maxShift(l.s, before, l.start, l.end), 2e-4);
}

TEST(ClosureMove, ClosingAnUnturnedWindowChangesNothing) {
    Loop l;
    const Structure before = l.s;
    TripeptideClosure solver;
    for (int p = l.start + 1; p <= l.end - 2; ++p) {
        ASSERT_TRUE(closeWindow(solver, l.s, p, measureWindow(l.s, p))) << "window " << p;
        EXPECT_LT(maxShift(l.s, before, l.start, l.end), 2e-3) << "window " << p;
    }
}

// Turns of phi and psi before each window, then closure: table of (window, turned residue, turns in degrees).
TEST(ClosureMove, ClosedMoveKeepsAnchorsAndInternalGeometry) {
    struct Case {
        int window, turned;
        double phi, psi;
    };
    const Case cases[] = {{1, 0, 10, -5}, {3, 1, -8, 12}, {5, 0, 4, 4}, {5, 4, -15, 6}, {2, 1, 25, -20}};
    TripeptideClosure solver;
    for (const Case& c : cases) {
        Loop l;
        const Structure before = l.s;
        const std::vector<double> geometry = internalGeometry(l.s, l.start, l.end);
        const int p = l.start + c.window, r = l.start + c.turned;
        const WindowGeometry g = measureWindow(l.s, p);
        turnDihedral(l.s, r, false, c.phi * DEG2RAD, p);
        turnDihedral(l.s, r, true, c.psi * DEG2RAD, p);
        if (!closeWindow(solver, l.s, p, g)) {
            // No closure: the window must be left as the turns left it.
            continue;
        }
        SCOPED_TRACE("window " + std::to_string(c.window) + ", turned " + std::to_string(c.turned));
        // Anchors and everything after the window stay.
        EXPECT_EQ(maxShift(l.s, before, p + 3, l.end + 1), 0.0);
        EXPECT_EQ(l.s[p + 2].atoms[SLOT_CA].dis(before[p + 2].atoms[SLOT_CA]), 0.0);
        EXPECT_EQ(l.s[p + 2].atoms[SLOT_C].dis(before[p + 2].atoms[SLOT_C]), 0.0);
        EXPECT_EQ(maxShift(l.s, before, 1, l.start - 1), 0.0);
        EXPECT_GT(maxShift(l.s, before, r, p + 1), 0.05) << "the move must move something";
        const std::vector<double> after = internalGeometry(l.s, l.start, l.end);
        ASSERT_EQ(after.size(), geometry.size());
        for (size_t k = 0; k < after.size(); ++k) {
            double d = after[k] - geometry[k];
            if (d > 180) d -= 360;
            if (d < -180) d += 360;
            EXPECT_NEAR(d, 0.0, k < 3 * 8 + 1 ? 2e-3 : 0.05) << "internal coordinate " << k;
        }
        // Side chains and carbonyls ride with their residue: CA-CB, C=O and chi1 are unchanged.
        for (int i = l.start; i <= l.end; ++i) {
            const Atom* a = l.s[i].atoms;
            const Atom* b = before[i].atoms;
            EXPECT_NEAR(a[SLOT_C].dis(a[SLOT_O]), b[SLOT_C].dis(b[SLOT_O]), 2e-3) << i;
            EXPECT_NEAR(Torsion(a[SLOT_CA], a[SLOT_C], a[SLOT_O], l.s[i + 1].atoms[SLOT_N]), Torsion(b[SLOT_CA], b[SLOT_C], b[SLOT_O], before[i + 1].atoms[SLOT_N]), 0.5) << i;
            if (l.s[i].type == GLY) continue;
            EXPECT_NEAR(a[SLOT_CA].dis(a[SLOT_CB]), b[SLOT_CA].dis(b[SLOT_CB]), 2e-3) << i;
            if (l.s[i].numAtoms > FIRST_SIDE_CHAIN_SLOT && a[FIRST_SIDE_CHAIN_SLOT].type != ABSENT) {
                EXPECT_NEAR(Torsion(a[SLOT_N], a[SLOT_CA], a[SLOT_CB], a[FIRST_SIDE_CHAIN_SLOT]),
                            Torsion(b[SLOT_N], b[SLOT_CA], b[SLOT_CB], b[FIRST_SIDE_CHAIN_SLOT]), 0.1)
                    << i;
            }
        }
    }
}
