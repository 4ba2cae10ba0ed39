// Side-chain refinement: the one-residue energy with its clash penalties,
// the minimiser, and the refinement sweep.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>

#include "filter/filter.h"
#include "filter/final_safeguards.h"
#include "support/support.h"

using namespace lorvane;
using lorvane_test::tmpl;

namespace {

constexpr int T_OG = 40, T_C = 41, T_N = 42, T_CB = 43, T_O = 44, T_H = 45;

// Residues 1 GLY, 2 SER (the residue scored), 3 ALA. Every atom used is numbered
// and typed in the fixture's own atom index; its tables start empty.
class OneResidue : public ::testing::Test {
protected:
    Structure s{3};
    Potentials p;
    AtomIndex x;
    void SetUp() override {
        const int types[4] = {0, GLY, SER, ALA};
        std::array<int, MAX_ATOMS> none;
        none.fill(-1);
        x.slotIndex.assign(MAX_RESIDUES + 1, none);
        for (int r = 1; r <= 3; ++r) {
            s[r].type = static_cast<int16_t>(types[r]);
            for (int k = 0; k <= LAST_HEAVY_SLOT[types[r]]; ++k) {
                if (types[r] == GLY && k == 5) continue;
                x.slotIndex[r][k] = static_cast<int>(x.atomOf.size());
                x.atomOf.push_back({r, k});
                x.pairType.push_back(k == 0 ? T_N : k == 2 ? T_C : k == 3 ? T_O : k == 5 ? T_CB : k == 4 ? T_H : k == 6 ? T_OG : 30);
                s[r].atoms[k].type = 1;
                s[r].atoms[k].x = 100.0f + 10.0f * k;  // far from everything unless a test moves it
                s[r].atoms[k].y = 100.0f * r;
            }
        }
        x.numAtoms = static_cast<int>(x.atomOf.size());
        s[2].atoms[6].x = s[2].atoms[6].y = s[2].atoms[6].z = 0.0f;  // OG at the origin
    }
    void setTable(int a, int b, int bin, double v) { p.etable[a][b][bin] = v; }
    double oneRes(const int* neigh, int nn) { return oneResSC(p, x, s, 2, neigh, nn); }
    void place(int r, int k, float x) {
        s[r].atoms[k].x = x;
        s[r].atoms[k].y = 0.0f;
        s[r].atoms[k].z = 0.0f;
    }
};

}  // namespace

TEST_F(OneResidue, PairTermSumsTheNeighbourTriples) {
    place(3, 5, 3.0f);  // CB of residue 3 at d^2 = 9: bin 90
    setTable(T_OG, T_CB, 90, -1.5);
    const int neigh[3] = {3, 5, T_CB};
    EXPECT_DOUBLE_EQ(oneRes(neigh, 1), -1.5);
    // The adjacent residue itself is only tested for clashes, not summed.
    EXPECT_DOUBLE_EQ(oneRes(neigh, 0), 0.0);
    // At d^2 = MAXDIS2 nothing is added.
    place(3, 5, 8.0f);
    setTable(T_OG, T_CB, 640 - 1, -7.0);
    EXPECT_DOUBLE_EQ(oneRes(neigh, 1), 0.0);
}

TEST_F(OneResidue, AdjacentClashesCostThePenalty) {
    place(1, 2, 2.0f);  // C of residue 1 at d^2 = 4: bin 40
    setTable(T_OG, T_C, 40, 10.5);
    EXPECT_DOUBLE_EQ(oneRes(nullptr, 0), REJECTED);
    // 9.5 is not a clash, and clash tests add nothing else.
    setTable(T_OG, T_C, 40, 9.5);
    EXPECT_DOUBLE_EQ(oneRes(nullptr, 0), 0.0);
    // Residue 3's amide H (slot 4) is never tested.
    setTable(T_OG, T_C, 40, 0.0);
    place(3, 4, 1.0f);
    setTable(T_OG, T_H, 10, 50.0);
    EXPECT_DOUBLE_EQ(oneRes(nullptr, 0), 0.0);
    // Residue 3's CB is.
    place(3, 5, 1.0f);
    setTable(T_OG, T_CB, 10, 50.0);
    EXPECT_DOUBLE_EQ(oneRes(nullptr, 0), REJECTED);
    // A penalty alone exceeds the acceptance limit of the refinement.
    EXPECT_GT(oneRes(nullptr, 0), 1000.0);
}

TEST_F(OneResidue, OwnBackboneClashesAndProline) {
    place(2, 0, 1.0f);  // own N at d^2 = 1
    p.ljClash[T_OG][T_N] = 2.0;
    EXPECT_DOUBLE_EQ(oneRes(nullptr, 0), REJECTED);
    place(2, 3, -1.2f);  // own O at d^2 = 1.44
    p.ljClash[T_OG][T_O] = 1.5;
    EXPECT_DOUBLE_EQ(oneRes(nullptr, 0), 2 * REJECTED);
    p.ljClash[T_OG][T_N] = 0.5;
    p.ljClash[T_OG][T_O] = 1.44;  // d^2 must be below the clash distance
    EXPECT_DOUBLE_EQ(oneRes(nullptr, 0), 0.0);

    // A proline is exempt from the own-backbone test and from the preceding C.
    p.ljClash[T_OG][T_N] = 2.0;
    place(1, 2, 2.0f);
    setTable(T_OG, T_C, 40, 10.5);
    s[2].type = PRO;  // slot 6 (CG) keeps its number
    EXPECT_DOUBLE_EQ(oneRes(nullptr, 0), 0.0);
    s[2].type = SER;
    EXPECT_DOUBLE_EQ(oneRes(nullptr, 0), 2 * REJECTED);
}

TEST(RefineSideChains, GlycineAndAlanineLoopsNeedNothing) {
    Structure s(6);
    const int types[7] = {0, ALA, GLY, ALA, GLY, GLY, ALA};
    for (int r = 1; r <= 6; ++r) {
        s[r].type = static_cast<int16_t>(types[r]);
        s[r].chi[0] = 1.25;
    }
    const Potentials p;
    const AtomIndex x;
    EXPECT_TRUE(refineSideChains(tmpl(), p, x, s, 2, 5));
    EXPECT_TRUE(refineSideChains(tmpl(), p, x, s, 5, 2));  // empty range
    for (int r = 1; r <= 6; ++r) EXPECT_EQ(s[r].chi[0], 1.25);
}

namespace {

void shifted(double* p, double* hx, int /*m*/, int n, void*) {
    for (int k = 0; k < n; ++k) hx[k] = p[k] - (k + 1.5);
}

// The refinement's pattern: m identical residuals, all equal to an energy, target -10000.
void bowl(double* p, double* hx, int /*m*/, int n, void*) {
    const double e = (p[0] - 1.0) * (p[0] - 1.0) + 2.0 * (p[1] + 0.5) * (p[1] + 0.5);
    for (int k = 0; k < n; ++k) hx[k] = e;
}

}  // namespace

TEST(LevenbergMarquardt, SolvesLinearResidualsAndLowersTheEnergy) {
    const double opts[5] = {0.01, 1e-10, 1e-10, 1e-20, 0.01};
    double p[3] = {10, -4, 0};
    const double zero[3] = {0, 0, 0};
    lmMinimise(shifted, p, zero, 3, 3, 15, opts, nullptr);
    EXPECT_NEAR(p[0], 1.5, 1e-6);
    EXPECT_NEAR(p[1], 2.5, 1e-6);
    EXPECT_NEAR(p[2], 3.5, 1e-6);

    double q[2] = {3.0, 1.0};
    const double target[2] = {-10000, -10000};
    const double e0 = 4.0 + 2.0 * 2.25;
    const int iters = lmMinimise(bowl, q, target, 2, 2, 15, opts, nullptr);
    EXPECT_LE(iters, 15);
    const double e1 = (q[0] - 1) * (q[0] - 1) + 2 * (q[1] + 0.5) * (q[1] + 0.5);
    EXPECT_LT(e1, 0.1 * e0);
}

TEST_F(OneResidue, FrameClashUsesTheClashWallAndAtLeastTwoAngstrom) {
    x.nonBonded.resize(x.numAtoms);
    std::fill(x.nonBonded.data.begin(), x.nonBonded.data.end(), 1);
    x.oneFour.resize(x.numAtoms);
    for (int r = 1; r <= 3; ++r) {  // neighbouring CAs, so the residue pre-test lets them through
        s[r].atoms[1].x = 50.0f + 10.0f * r;
        s[r].atoms[1].y = 50.0f;
    }
    EXPECT_FALSE(frameClash(p, x, s, 2, 2));
    place(3, 5, 1.9f);  // frame CB 1.9 A from the loop's OG
    EXPECT_TRUE(frameClash(p, x, s, 2, 2));
    place(3, 5, 2.1f);
    EXPECT_FALSE(frameClash(p, x, s, 2, 2));
    p.ljClash[T_OG][T_CB] = 5.0;  // a wall at 2.24 A
    EXPECT_TRUE(frameClash(p, x, s, 2, 2));
    // Bonded, 1-3 and 1-4 pairs are never clashes.
    const int og = x.index(2, 6), cb = x.index(3, 5);
    x.oneFour[og][cb] = 1;
    EXPECT_FALSE(frameClash(p, x, s, 2, 2));
    x.oneFour[og][cb] = 0;
    x.nonBonded[og][cb] = 0;
    EXPECT_FALSE(frameClash(p, x, s, 2, 2));
    x.nonBonded[og][cb] = 1;
    // The loop's own atoms are not frame: the same contact inside the loop is no frame clash.
    EXPECT_FALSE(frameClash(p, x, s, 2, 3));
}

// The tolerant check of the default protocol: a wall at 2.24 A forgives a
// near miss (2.1 A) but not a contact deeper than FRAME_CLASH_TOLERANCE; the
// 2.0 A floor moves by the tolerance too; backboneOnly ignores the side chain.
TEST_F(OneResidue, TolerantFrameClashForgivesNearMissesOnly) {
    x.nonBonded.resize(x.numAtoms);
    std::fill(x.nonBonded.data.begin(), x.nonBonded.data.end(), 1);
    x.oneFour.resize(x.numAtoms);
    for (int r = 1; r <= 3; ++r) {
        s[r].atoms[1].x = 50.0f + 10.0f * r;
        s[r].atoms[1].y = 50.0f;
    }
    p.ljClash[T_OG][T_CB] = 5.0;  // a wall at 2.24 A
    const struct {
        float d;
        bool classic, tolerant;
    } cases[] = {{2.3f, false, false}, {2.1f, true, false}, {1.95f, true, false}, {1.9f, true, true}, {1.5f, true, true}};
    for (const auto& c : cases) {
        place(3, 5, c.d);  // frame CB c.d from the loop's OG
        EXPECT_EQ(frameClash(p, x, s, 2, 2), c.classic) << c.d;
        EXPECT_EQ(frameClash(p, x, s, 2, 2, true), c.tolerant) << c.d;
        EXPECT_FALSE(frameClash(p, x, s, 2, 2, true, true)) << "OG is no backbone atom";
    }
    p.ljClash[T_OG][T_CB] = 0.0;  // no wall: the floor, 2.0 A less the tolerance
    place(3, 5, 1.8f);
    EXPECT_TRUE(frameClash(p, x, s, 2, 2));
    EXPECT_FALSE(frameClash(p, x, s, 2, 2, true));
    place(3, 5, 1.6f);
    EXPECT_TRUE(frameClash(p, x, s, 2, 2, true));
}

// Disulfides: SG-SG (or CB-SG across the bond) of two cysteines whose SGs lie
// within bonding distance is a bond; anything else is not.
TEST(FinalSafeguards, DisulfidePairs) {
    Structure s(3);
    const int types[4] = {0, CYS, CYS, SER};
    for (int r = 1; r <= 3; ++r) {
        s[r].type = static_cast<int16_t>(types[r]);
        for (int k = 0; k <= 6; ++k) {
            s[r].atoms[k].type = 1;
            s[r].atoms[k].x = 10.0f * r + k;
            s[r].atoms[k].y = 30.0f;
        }
    }
    constexpr int SG = SLOT_CB + 1;
    s[1].atoms[SG].x = 0.0f, s[1].atoms[SG].y = 0.0f;
    s[2].atoms[SG].x = 2.04f, s[2].atoms[SG].y = 0.0f;  // a disulfide
    s[3].atoms[SG].x = 0.0f, s[3].atoms[SG].y = 2.04f;  // serine OG as close: no bond
    EXPECT_TRUE(disulfidePair(s, 1, SG, 2, SG));
    EXPECT_TRUE(disulfidePair(s, 2, SG, 1, SG));
    EXPECT_TRUE(disulfidePair(s, 1, SLOT_CB, 2, SG));
    EXPECT_TRUE(disulfidePair(s, 1, SG, 2, SLOT_CB));
    EXPECT_FALSE(disulfidePair(s, 1, SLOT_CB, 2, SLOT_CB));
    EXPECT_FALSE(disulfidePair(s, 1, SLOT_N, 2, SG));
    EXPECT_FALSE(disulfidePair(s, 1, SG, 3, SG));
    s[2].atoms[SG].x = 2.6f;  // beyond bonding distance
    EXPECT_FALSE(disulfidePair(s, 1, SG, 2, SG));
    EXPECT_EQ(flaggedFilePath("pdbout/1crn_35_42.txt"), "pdbout/1crn_35_42.flagged.txt");
    EXPECT_EQ(flaggedFilePath("runs/x"), "runs/x.flagged.txt");
}

// Held loops reach the result file verbatim; the flagged list is written
// beside it only when the fallback wrote loops; nothing held is an error
// naming the result file, and no file is made.
TEST(HeldLoops, WrittenTogetherOrNotAtAll) {
    using lorvane_test::ScratchDir;
    struct Case {
        HeldLoops held;
        bool flaggedFile;
    };
    const std::string text = "LOOP 1 -1.00 0.00 2.00 3.00\nATOM\nEND \nLOOP 2 -2.00 0.00 2.00 3.00\nATOM\nEND \n";
    for (const Case& c : std::vector<Case>{{{text, {}, 2}, false}, {{text, {2}, 2}, true}}) {
        ScratchDir dir;
        const std::string path = dir.path("run.txt");
        writeHeldLoops(c.held, path);
        EXPECT_EQ(lorvane_test::slurp(path), text);
        EXPECT_EQ(std::filesystem::exists(dir.path("run.flagged.txt")), c.flaggedFile);
        if (c.flaggedFile) {
            EXPECT_EQ(lorvane_test::lines(lorvane_test::slurp(dir.path("run.flagged.txt"))).back(), "2");
        }
    }
    ScratchDir dir;
    EXPECT_ERROR(writeHeldLoops(HeldLoops{}, dir.path("empty.txt")), 1, "nothing was written to .*empty.txt");
    EXPECT_FALSE(std::filesystem::exists(dir.path("empty.txt")));
}
