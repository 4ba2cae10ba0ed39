// The consensus pull on the native loop of H-Ras 45-52: the deviation it
// minimises has known answers, and the loop moves toward a target without
// crossing the energy ceiling.
#include <gtest/gtest.h>

#include <cmath>

#include "build/side_chain.h"
#include "growth/growth_support.h"
#include "model/error.h"
#include "refine/closure_move.h"
#include "refine/consensus_pull.h"
#include "support/support.h"

using namespace lorvane;
using namespace lorvane_test;

namespace {

struct NativeLoop : growth_test::RasNativeLoop {
    RefineContext context() const { return {tmpl(), repoDistributions(), repoPotentials(), run->atoms, TorsionBinRule::Centred, true, start, end}; }
};

const LoopScores WEIGHTS = {1.0 / 30.0, 1.0 / 10.0, 1.0 / 10.0, 1.0 / 2.0};

BackboneTarget backboneOf(const Structure& s, int start, int end, Point shift = Point(0, 0, 0)) {
    BackboneTarget t;
    for (int i = start; i <= end; ++i)
        for (int x : {SLOT_N, SLOT_CA, SLOT_C, SLOT_O}) {
            const Atom& a = s[i].atoms[x];
            t.emplace_back(a.x + shift.x, a.y + shift.y, a.z + shift.z);
        }
    return t;
}

// The native loop bent inside by two turns and closed again: a closed loop
// some tenths of an angstrom away, as the mean of a cluster would be.
BackboneTarget bentTarget(NativeLoop& l) {
    Structure s = l.run->work;
    TripeptideClosure solver;
    const WindowGeometry g = measureWindow(s, l.start + 3);
    turnDihedral(s, l.start + 1, false, -10.0 * DEG2RAD, l.start + 3);
    turnDihedral(s, l.start + 2, true, 12.0 * DEG2RAD, l.start + 3);
    EXPECT_TRUE(closeWindow(solver, s, l.start + 3, g));
    return backboneOf(s, l.start, l.end);
}

}  // namespace

TEST(ConsensusPull, DeviationKnownAnswers) {
    NativeLoop l;
    const Structure& s = l.run->work;
    const struct {
        Point shift;
        double msd;
    } cases[] = {{{0, 0, 0}, 0.0}, {{1, 0, 0}, 1.0}, {{0, 3, 4}, 25.0}, {{-0.5, 0.5, 0.5}, 0.75}};
    for (const auto& c : cases)
        EXPECT_NEAR(targetDeviation(s, l.start, l.end, backboneOf(s, l.start, l.end, c.shift)), c.msd, 1e-4) << c.msd;
    BackboneTarget shortTarget = backboneOf(s, l.start, l.end - 1);
    EXPECT_THROW(targetDeviation(s, l.start, l.end, shortTarget), Error);
}

// Three ceilings: far above the start (the loop reaches the target), just
// above it (no state above the start is taken) and below it (nothing moves).
// Every case keeps the anchors and reports the state it leaves.
TEST(ConsensusPull, MovesTowardTheTargetBelowTheCeilingWithAnchorsFixed) {
    enum class Expect { Reach, NoHigher, Still };
    const struct {
        double slack;  // ceiling minus the start energy; 0: the next double above it
        Expect expect;
    } cases[] = {{100.0, Expect::Reach}, {0.0, Expect::NoHigher}, {-1.0, Expect::Still}};
    NativeLoop l;
    const RefineContext c = l.context();
    const BackboneTarget target = bentTarget(l);
    Structure& s = l.run->work;
    const Structure before = s;
    const double start = refineEnergy(scoreLoop(c, s), WEIGHTS);
    for (const auto& k : cases) {
        SCOPED_TRACE("ceiling start + " + std::to_string(k.slack));
        s = before;
        const double ceiling = k.slack == 0.0 ? std::nextafter(start, INFINITY) : start + k.slack;
        RefineSettings settings;
        settings.pullMoves = 200;
        RandomStream random(streamKey(5, StreamKind::Refine, 0, 1));
        const PullOutcome o = pullTowardTarget(c, settings, WEIGHTS, ceiling, target, s, random);
        EXPECT_EQ(o.tried, 200);
        EXPECT_NEAR(o.deviationBefore, targetDeviation(before, l.start, l.end, target), 1e-9);
        EXPECT_NEAR(o.deviationAfter, targetDeviation(s, l.start, l.end, target), 1e-9) << "s is the state reported";
        EXPECT_LE(o.deviationAfter, o.deviationBefore);
        const LoopScores again = scoreLoop(c, s);
        for (int q = 0; q < 4; ++q) EXPECT_NEAR(again[q], o.after[q], 1e-6) << "score " << q;
        if (o.deviationAfter < o.deviationBefore) {
            EXPECT_LT(refineEnergy(o.after, WEIGHTS), ceiling);
        }
        if (k.expect == Expect::Reach) {
            EXPECT_LT(o.deviationAfter, 0.5 * o.deviationBefore) << "a loose ceiling lets the loop reach the target";
        }
        if (k.expect == Expect::Still) {
            EXPECT_EQ(o.accepted, 0);
            for (int i = l.start; i <= l.end; ++i)
                for (int x = 0; x < s[i].numAtoms; ++x) EXPECT_EQ(s[i].atoms[x].dis(before[i].atoms[x]), 0.0);
        }
        for (int x : {SLOT_N, SLOT_CA}) EXPECT_EQ(s[l.start].atoms[x].dis(before[l.start].atoms[x]), 0.0);
        for (int x : {SLOT_CA, SLOT_C}) EXPECT_EQ(s[l.end].atoms[x].dis(before[l.end].atoms[x]), 0.0);
        EXPECT_NEAR(s[l.end].atoms[SLOT_C].dis(s[l.end + 1].atoms[SLOT_N]), before[l.end].atoms[SLOT_C].dis(before[l.end + 1].atoms[SLOT_N]),
                    1e-4);
    }
}
