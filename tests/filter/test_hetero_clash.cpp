// Ligands and ions in every clash test of a run: the growth-time distance
// shells, the closure environment and the closing side chains' environment
// hold them; the last check before a loop is written keeps every loop atom out
// of their clash distance.
#include "filter/filter.h"
#include "growth/growth_support.h"
#include "model/entry.h"
#include "model/entry_structure.h"
#include "model/loop_selection.h"
#include "potentials/pot_support.h"

using namespace lorvane;
using namespace pot_test;

TEST(FrameClash, LigandsAndIons) {
    Structure s(10);
    emptyChain(s, 3, ALA, 6);
    const AtomIndex x = numberByHand(s, typeBySlot);
    put(s, 2, 1, 3, 0.0f, 0.0f, 0.0f);
    put(s, 2, 3, 15, 0.0f, 3.0f, 0.0f);
    s.residues[2].atoms[1].name = "CA";
    s.residues[2].atoms[3].name = "O";
    Potentials p;  // no clash walls: only the hetero rules count
    struct Case {
        HeteroAtom h;
        bool clash;
    };
    const Case cases[] = {
        {heteroAt(2.45f, 0, 0, 5, 1), true},             // a ligand atom 2.45 A from CA
        {heteroAt(2.55f, 0, 0, 5, 1), false},            // 2.55 A
        {heteroAt(0, 3.0f + 1.90f, 0, 11, 3, true, 0.72), false},  // Mg 1.90 A from O: coordination
        {heteroAt(0, 3.0f + 1.80f, 0, 11, 3, true, 0.72), true},   // 1.80 A: inside 1.84
        {heteroAt(-2.40f, 0, 0, 11, 1, true, 0.72), true},         // Mg 2.40 A from CA: inside 2.42
        {heteroAt(-2.45f, 0, 0, 11, 1, true, 0.72), false},
    };
    for (const Case& c : cases) {
        s.hetero = {c.h};
        EXPECT_EQ(frameClash(p, x, s, 2, 2), c.clash) << c.h.x << " " << c.h.y << (c.h.metal ? " metal" : "");
        EXPECT_FALSE(frameClash(p, x, s, 1, 1)) << "residue 1 has no atoms";
    }
}

// The switch-I loop of H-Ras read with its GNP and Mg: every hetero atom has a
// pair type, and each list holds exactly the hetero atoms within its 15 A reach
// (growth: of the growing CA; closure: of the CA before the site; closing side
// chains: of the site's middle CA).
TEST(HeteroEnvironment, LigandAtomsJoinTheGrowthClosureAndSideChainLists) {
    const Entry entry = readEntry(lorvane_test::sourcePath("examples/5p21.pdb"));
    const LoopSelection sel = selectLoop(entry, {"", "28", "36", ""});
    const EntryStructure built = structureFromEntry(lorvane_test::tmpl(), entry, &sel, false);
    ASSERT_EQ(built.protein.hetero.size(), 33u);  // GNP (32 heavy atoms) and Mg
    SamplerSettings settings;
    settings.numSeeds = FIRST_STEP_SEEDS;
    settings.threads = 1;
    Sampler run({lorvane_test::tmpl(), lorvane_test::repoDistributions(), lorvane_test::repoPotentials()}, settings, built.protein,
                built.loopStart, built.loopEnd, "test");
    testing::internal::CaptureStdout();
    prepare(run);
    testing::internal::GetCapturedStdout();
    Structure& s = run.work;
    GrowOne& g = run.workspaces[0];
    const int ls = built.loopStart, le = built.loopEnd, c = ls + 3;
    auto holds = [](const std::vector<Point>& list, int n, const Point& p) {
        for (int i = 0; i < n; ++i)
            if (growth_test::samePoint(p, list[i].x, list[i].y, list[i].z)) return true;
        return false;
    };
    g.prepGrow(s, ls, ls, le, ls - 1, le);
    g.df_closure_prep(s, ls, le, c, s[c - 1].atoms[SLOT_CA], false);
    FilterWork w;
    closeSCprep(run, w, s, ls, le, c);
    int inReach = 0;
    for (const HeteroAtom& h : s.hetero) {
        EXPECT_TRUE(h.hasDfireType) << h.residue;
        const bool growReach = h.sdis(s[ls].atoms[SLOT_CA]) <= 225.0;
        inReach += growReach;
        EXPECT_EQ(growth_test::anyListHas(g, h), growReach) << "growth shells, " << h.residue;
        EXPECT_EQ(holds(g.closeEnvPos, g.closeEnvCount, h), h.sdis(s[c - 1].atoms[SLOT_CA]) <= 225.0) << "closure, " << h.residue;
        EXPECT_EQ(holds(w.cscPos, w.cscCount, h), h.sdis(s[c + 1].atoms[SLOT_CA]) <= 225.0) << "closing side chains, " << h.residue;
    }
    EXPECT_GT(inReach, 10);
}
