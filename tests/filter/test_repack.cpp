// Repacking a loop's side chains from the rotamer table, on the native loop of
// H-Ras 45-52 with its side chains turned away: the repack finds the crystal's
// chi1 for most residues, where relaxing from the turned chis alone does not;
// from the crystal's side chains it keeps most of them.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "build/side_chain.h"
#include "filter/filter.h"
#include "growth/growth_support.h"
#include "model/geometry.h"
#include "support/support.h"

using namespace lorvane;
using namespace lorvane_test;

namespace {

// The crystal loop with every chi turned by turnDeg.
struct TurnedLoop : growth_test::RasNativeLoop {
    explicit TurnedLoop(double turnDeg = 120.0) {
        Structure& s = run->work;
        for (int i = start; i <= end; ++i) {
            if (NUM_SC_DIHEDRALS[s[i].type] == 0) continue;
            measureChis(tmpl(), s[i], DEG2RAD);
            double chi[5];
            for (int k = 0; k < 5; ++k) chi[k] = s[i].chi[k] + turnDeg * DEG2RAD;
            calSCCoHeavy(tmpl(), s[i], chi);
        }
        calH(tmpl(), s, start, end);
    }
};

double chi1(const Residue& r) { return Torsion(r.atoms[SLOT_N], r.atoms[SLOT_CA], r.atoms[SLOT_CB], r.atoms[FIRST_SIDE_CHAIN_SLOT]); }

// Loop residues whose chi1 lies within 30 degrees of the crystal's, of those with a chi1.
std::pair<int, int> chi1Recovered(const Structure& s, int start, int end) {
    int near = 0, all = 0;
    for (int i = start; i <= end; ++i) {
        if (NUM_SC_DIHEDRALS[s[i].type] == 0) continue;
        ++all;
        double d = std::fabs(chi1(s[i]) - chi1(ras()[i]));
        if (d > 180) d = 360 - d;
        near += d < 30.0;
    }
    return {near, all};
}

}  // namespace

TEST(Repack, FindsTheCrystalChi1WhereRelaxingAloneDoesNot) {
    TurnedLoop a, b;
    repackSideChains(tmpl(), repoPotentials(), a.run->atoms, a.run->work, a.start, a.end);
    refineSideChains(tmpl(), repoPotentials(), b.run->atoms, b.run->work, b.start, b.end);
    const auto [repacked, all] = chi1Recovered(a.run->work, a.start, a.end);
    const auto [relaxed, all2] = chi1Recovered(b.run->work, b.start, b.end);
    ASSERT_EQ(all, 7);
    ASSERT_EQ(all2, 7);
    EXPECT_GE(repacked, 4);
    EXPECT_GT(repacked, relaxed);
    // The backbone is not touched.
    for (int i = a.start; i <= a.end; ++i)
        for (int x : {SLOT_N, SLOT_CA, SLOT_C, SLOT_O, SLOT_CB}) EXPECT_EQ(a.run->work[i].atoms[x].dis(ras()[i].atoms[x]), 0.0) << i;
}

TEST(Repack, KeepsMostOfACrystalPacking) {
    TurnedLoop crystal(0.0);
    repackSideChains(tmpl(), repoPotentials(), crystal.run->atoms, crystal.run->work, crystal.start, crystal.end);
    const auto [kept, all] = chi1Recovered(crystal.run->work, crystal.start, crystal.end);
    // The one-residue energy moves three exposed side chains off the crystal's chi1.
    EXPECT_GE(kept, 4) << "of " << all;
}
