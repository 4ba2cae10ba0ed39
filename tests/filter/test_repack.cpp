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
#include "model/backbone_dihedrals.h"
#include "model/geometry.h"
#include "potentials/rotamer_prior.h"
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

namespace {

// A rotamer preference for every type with a side chain, energy(cell, rotamer)
// given by f.
template <class F>
RotamerPrior priorTable(F f) {
    std::string text;
    for (int t = 0; t < NUM_AMINO_ACIDS; ++t) {
        if (noSideChain(t)) continue;
        for (int c = 0; c < PRIOR_CELLS; ++c) {
            text += std::string(THREE_LETTER[t]) + " " + std::to_string(c);
            for (int r = 0; r < PRIOR_ROTAMERS; ++r) text += " " + std::to_string(f(c, r));
            text += "\n";
        }
    }
    return parseRotamerPrior("test prior", text);
}

}  // namespace

// The preference read for a placed side chain: the table encodes 100 * cell +
// rotamer, and a leucine placed at chi1 -60, chi2 170 (g-, t) is rotamer 7 in
// the cell of its residue's phi/psi.
TEST(Repack, RotamerPreferenceOfAPlacedSideChain) {
    const RotamerPrior prior = priorTable([](int c, int r) { return 100 * c + r; });
    Structure s = ras();
    const int i = positionOf(s, 50);
    s.residues[i].type = LEU;
    const double chi[5] = {-60.0 * DEG2RAD, 170.0 * DEG2RAD, 0, 0, 0};
    calSCCoHeavy(tmpl(), s.residues[i], chi);
    EXPECT_DOUBLE_EQ(rotamerPriorEnergy(prior, tmpl(), s, i), 100.0 * priorCell(phiAt(s, i), psiAt(s, i)) + 7);
}

// A preference that forbids every chi1 but trans steers the choice of
// rotamers: every loop residue with a chi1 takes a trans one, where without it
// only some do. The chis relax afterwards without the preference
// (repackSideChains), and that may move them out of trans again.
TEST(Repack, RotamerPreferenceSteersTheChoice) {
    const RotamerPrior transOnly = priorTable([](int, int r) { return r / 3 == 1 ? 0 : 1000; });
    auto transCount = [](const RotamerPrior* prior) {
        TurnedLoop a;
        chooseRotamers(tmpl(), repoPotentials(), a.run->atoms, a.run->work, a.start, a.end, prior);
        int trans = 0;
        for (int i = a.start; i <= a.end; ++i)
            if (NUM_SC_DIHEDRALS[a.run->work[i].type] > 0) trans += std::fabs(std::fabs(chi1(a.run->work[i])) - 180.0) < 60.0;
        return trans;
    };
    EXPECT_EQ(transCount(&transOnly), 7);
    EXPECT_LT(transCount(nullptr), 7);
}
