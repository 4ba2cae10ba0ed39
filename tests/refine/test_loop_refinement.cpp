// Refinement of a loop with the repository's tables: in-process on the
// native loop of H-Ras 45-52, and through the program on a sampled result
// file (the file keeps its loops, numbers and format; refined loops stay
// closed and clear; the threads do not change the result).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "build/side_chain.h"
#include "evaluate/ranking.h"
#include "filter/filter.h"
#include "filter/loop_check.h"
#include "growth/growth_support.h"
#include "model/geometry.h"
#include "refine/backbone_restraint.h"
#include "refine/closure_move.h"
#include "refine/loop_refinement.h"
#include "support/support.h"

using namespace lorvane;
using namespace lorvane_test;

namespace {

struct NativeLoop : growth_test::RasNativeLoop {
    RefineContext context() const {
        return {tmpl(), withAngles(), repoPotentials(), run->atoms, TorsionBinRule::Centred, true, start, end};
    }
    // The repository's distributions with the backbone angle table, which geometry moves need.
    static const Distributions& withAngles() {
        static const Distributions d = [] {
            Distributions x = loadDistributions(buildDataPath());
            loadBackboneAngles(buildDataPath() + "/backbone_angles.txt", x.backboneAngles);
            return x;
        }();
        return d;
    }
};

// N-CA-C of every loop residue, and the other two backbone angles of each
// peptide unit from C(start - 1) to N(end + 1), in degrees.
void backboneAngles(const Structure& s, int start, int end, std::vector<double>& ncac, std::vector<double>& others) {
    ncac.clear(), others.clear();
    for (int i = start; i <= end; ++i) {
        const Atom* a = s[i].atoms;
        ncac.push_back(angle(a[SLOT_N], a[SLOT_CA], a[SLOT_C]));
        others.push_back(angle(s[i - 1].atoms[SLOT_C], a[SLOT_N], a[SLOT_CA]));
        others.push_back(angle(a[SLOT_CA], a[SLOT_C], s[i + 1].atoms[SLOT_N]));
    }
}

const LoopScores WEIGHTS = {1.0 / 30.0, 1.0 / 10.0, 1.0 / 10.0, 1.0 / 2.0};

// What every refinement must leave: an energy no higher than the start, the
// structure in the state whose scores are reported, and the anchors untouched.
void expectLowestStateAndAnchors(const RefineContext& c, const RefineOutcome& o, Structure& s, const Structure& before) {
    EXPECT_LE(refineEnergy(o.after, WEIGHTS), refineEnergy(o.before, WEIGHTS));
    const LoopScores again = scoreLoop(c, s);
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(again[k], o.after[k], 1e-6) << "score " << k;
    for (int x : {SLOT_N, SLOT_CA}) EXPECT_EQ(s[c.start].atoms[x].dis(before[c.start].atoms[x]), 0.0);
    for (int x : {SLOT_CA, SLOT_C}) EXPECT_EQ(s[c.end].atoms[x].dis(before[c.end].atoms[x]), 0.0);
}

}  // namespace

TEST(LoopRefinement, KeepsTheLowestStateAndTheAnchors) {
    NativeLoop l;
    const RefineContext c = l.context();
    Structure& s = l.run->work;
    const Structure before = s;
    RefineSettings settings;
    settings.moves = 40;
    RandomStream random(streamKey(7, StreamKind::Refine, 0, 1));
    const RefineOutcome o = refineLoop(c, settings, WEIGHTS, s, random);
    EXPECT_EQ(o.tried, 40);
    EXPECT_GT(o.closed, 0);
    expectLowestStateAndAnchors(c, o, s, before);
    // The joins to the frame keep their lengths.
    EXPECT_NEAR(s[l.end].atoms[SLOT_C].dis(s[l.end + 1].atoms[SLOT_N]), before[l.end].atoms[SLOT_C].dis(before[l.end + 1].atoms[SLOT_N]),
                1e-4);
    EXPECT_NEAR(s[l.start - 1].atoms[SLOT_C].dis(s[l.start].atoms[SLOT_N]),
                before[l.start - 1].atoms[SLOT_C].dis(before[l.start].atoms[SLOT_N]), 1e-4);
}

TEST(LoopRefinement, SameStreamSameLoopAndNoMovesNoChange) {
    NativeLoop a, b;
    RefineSettings settings;
    settings.moves = 15;
    RandomStream ra(streamKey(3, StreamKind::Refine, 0, 9)), rb(streamKey(3, StreamKind::Refine, 0, 9));
    refineLoop(a.context(), settings, WEIGHTS, a.run->work, ra);
    refineLoop(b.context(), settings, WEIGHTS, b.run->work, rb);
    for (int i = a.start; i <= a.end; ++i)
        for (int x = 0; x < a.run->work[i].numAtoms; ++x) EXPECT_EQ(a.run->work[i].atoms[x].dis(b.run->work[i].atoms[x]), 0.0);

    NativeLoop c;
    const Structure before = c.run->work;
    settings.moves = 0;
    const RefineOutcome o = refineLoop(c.context(), settings, WEIGHTS, c.run->work, ra);
    EXPECT_EQ(o.tried, 0);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(o.before[k], o.after[k]);
    for (int i = c.start; i <= c.end; ++i)
        for (int x = 0; x < c.run->work[i].numAtoms; ++x) EXPECT_EQ(c.run->work[i].atoms[x].dis(before[i].atoms[x]), 0.0);
}

TEST(LoopRefinement, GeometryMovesBendOnlyNCACAndOmegaAndKeepTheAnchors) {
    for (const bool geometry : {false, true}) {
        SCOPED_TRACE(geometry ? "geometry moves" : "torsion moves only");
        NativeLoop l;
        const RefineContext c = l.context();
        Structure& s = l.run->work;
        // Start away from the native, so that the lowest state met is a moved one.
        TripeptideClosure solver;
        const WindowGeometry g = measureWindow(s, l.start + 3);
        turnDihedral(s, l.start + 1, false, -8.0 * DEG2RAD, l.start + 3);
        turnDihedral(s, l.start + 1, true, 12.0 * DEG2RAD, l.start + 3);
        ASSERT_TRUE(closeWindow(solver, s, l.start + 3, g));
        calH(tmpl(), s, l.start, l.end);
        ASSERT_TRUE(refineSideChains(tmpl(), repoPotentials(), l.run->atoms, s, l.start, l.end));
        const Structure before = s;
        std::vector<double> ncac0, other0, ncac1, other1;
        backboneAngles(before, l.start, l.end, ncac0, other0);
        RefineSettings settings;
        settings.moves = 100;
        settings.geometry = geometry;
        RandomStream random(streamKey(11, StreamKind::Refine, 0, 2));
        const RefineOutcome o = refineLoop(c, settings, WEIGHTS, s, random);
        ASSERT_GT(o.accepted, 0);
        // The kept state is the lowest met, restraint included, and its restraint is the one reported.
        EXPECT_LE(refineEnergy(o.after, WEIGHTS) + o.restraintAfter, refineEnergy(o.before, WEIGHTS) + o.restraintBefore + 1e-9);
        const double r = geometry ? settings.temperature * backboneRestraint(c.dist.backboneAngles, s, l.start, l.end) : 0.0;
        EXPECT_NEAR(o.restraintAfter, r, 1e-6);
        if (geometry) {
            EXPECT_GT(o.restraintBefore, 0.0);
        }
        for (int x : {SLOT_N, SLOT_CA}) EXPECT_EQ(s[l.start].atoms[x].dis(before[l.start].atoms[x]), 0.0);
        for (int x : {SLOT_CA, SLOT_C}) EXPECT_EQ(s[l.end].atoms[x].dis(before[l.end].atoms[x]), 0.0);
        backboneAngles(s, l.start, l.end, ncac1, other1);
        double moved = 0.0;
        for (size_t k = 0; k < ncac0.size(); ++k) moved = std::fmax(moved, std::fabs(ncac1[k] - ncac0[k]));
        if (geometry) {
            EXPECT_GT(moved, 0.1) << "some N-CA-C angle must bend";
        } else {
            EXPECT_LT(moved, 0.02) << "torsion moves keep every N-CA-C angle";
        }
        for (size_t k = 0; k < other0.size(); ++k) EXPECT_NEAR(other1[k], other0[k], 0.02) << "angle " << k;
    }
}

TEST(LoopRefinement, JumpMovesKeepAnchorsAndAnglesAndLeaveAllowedTorsions) {
    NativeLoop l;
    const RefineContext c = l.context();
    Structure& s = l.run->work;
    const Structure before = s;
    std::vector<double> ncac0, other0, ncac1, other1;
    backboneAngles(before, l.start, l.end, ncac0, other0);
    RefineSettings settings;
    settings.moves = 120;
    settings.jump = true;
    settings.startTemperature = 2.0;  // annealed down to settings.temperature
    RandomStream random(streamKey(5, StreamKind::Refine, 0, 4));
    const RefineOutcome o = refineLoop(c, settings, WEIGHTS, s, random);
    EXPECT_EQ(o.tried, 120);
    ASSERT_GT(o.closed, 0);
    expectLowestStateAndAnchors(c, o, s, before);
    // Jumps set torsions only: every bond angle of the loop is kept.
    backboneAngles(s, l.start, l.end, ncac1, other1);
    for (size_t k = 0; k < ncac0.size(); ++k) EXPECT_NEAR(ncac1[k], ncac0[k], 0.02) << "N-CA-C " << k;
    for (size_t k = 0; k < other0.size(); ++k) EXPECT_NEAR(other1[k], other0[k], 0.02) << "angle " << k;
    // Drawn pairs come from allowed bins, and the torsion score of the kept state is finite.
    EXPECT_TRUE(std::isfinite(loopTorsionEnergy(c.dist, c.bins, s, l.start, l.end)));
}

namespace {

// The LOOP line and atom records of each loop of a result file, as text.
std::vector<std::string> blocks(const std::string& text) {
    std::vector<std::string> out;
    std::string cur;
    for (const std::string& line : lines(text)) {
        cur += line + "\n";
        if (line.rfind("END", 0) == 0) out.push_back(cur), cur.clear();
    }
    return out;
}

}  // namespace

TEST(ResultRefinementSlow, RefinesInPlaceKeepingEveryLoop) {
    ExampleRunDir dir;
    const std::string loop = "-f 5p21.pdb -start 45 -end 52 -quiet -models 0 ";
    ProgramRun r = runProgram(dir.root(), loop + "-seeds 300 -numloop 40 -cores 2 -xnosupplement -o sampled");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string sampled = slurp(dir.path("sampled.txt"));
    const std::vector<std::string> before = blocks(sampled);
    ASSERT_GE(before.size(), 6u);

    r = runProgram(dir.root(), loop + "-xrefinefrom sampled.txt -xrefine 4 -xrefinemoves 30 -cores 1 -o one");
    ASSERT_EQ(r.status, 0) << r.err;
    r = runProgram(dir.root(), loop + "-xrefinefrom sampled.txt -xrefine 4 -xrefinemoves 30 -cores 2 -o two");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string refined = slurp(dir.path("one.txt"));
    EXPECT_EQ(refined, slurp(dir.path("two.txt"))) << "the thread count must not change the refinement";
    EXPECT_EQ(sampled, slurp(dir.path("sampled.txt"))) << "the input file is not touched";

    const std::vector<std::string> after = blocks(refined);
    ASSERT_EQ(after.size(), before.size());
    int changed = 0;
    for (size_t k = 0; k < after.size(); ++k) changed += after[k] != before[k];
    EXPECT_GE(changed, 1);
    EXPECT_LE(changed, 4);
    std::vector<WrittenLoop> loops;
    std::vector<CheckAtom> frame;
    std::string err;
    ASSERT_TRUE(readResultFile(dir.path("one.txt"), loops, err)) << err;
    ASSERT_TRUE(readFrame(dir.path("5p21.pdb"), '\0', frame, err)) << err;
    for (size_t k = 0; k < loops.size(); ++k) {
        EXPECT_EQ(loops[k].ordinal, static_cast<int>(k) + 1);
        const LoopVerdict v = checkLoop(loops[k], frame, 45, 52);
        EXPECT_TRUE(v.ok) << "loop " << loops[k].ordinal << ": " << v.problem;
    }
}

TEST(ResultRefinementSlow, ScoresOfAnUnmovedLoopAreTheFilesOwn) {
    ExampleRunDir dir;
    const std::string loop = "-f 5p21.pdb -start 45 -end 52 -quiet -models 0 ";
    ASSERT_EQ(runProgram(dir.root(), loop + "-seeds 300 -numloop 20 -cores 2 -xnosupplement -o sampled").status, 0);
    const ProgramRun r = runProgram(dir.root(), loop + "-xrefinefrom sampled.txt -xrefine 20 -xrefinemoves 0 -o same");
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<WrittenLoop> a, b;
    std::string err;
    ASSERT_TRUE(readResultFile(dir.path("sampled.txt"), a, err)) << err;
    ASSERT_TRUE(readResultFile(dir.path("same.txt"), b, err)) << err;
    ASSERT_EQ(a.size(), b.size());
    for (size_t k = 0; k < a.size(); ++k) {
        SCOPED_TRACE("loop " + std::to_string(k + 1));
        // Scored again from coordinates written to 3 decimals: the torsion
        // score exactly, the pair scores within that rounding.
        EXPECT_DOUBLE_EQ(a[k].g, b[k].g);
        EXPECT_NEAR(a[k].dfire, b[k].dfire, 2.0);
        EXPECT_NEAR(a[k].sideChain, b[k].sideChain, 1.0);
        EXPECT_NEAR(a[k].quenda, b[k].quenda, 1.0);
        ASSERT_EQ(a[k].atoms.size(), b[k].atoms.size());
    }
}

namespace {

// Samples H-Ras 45-52 (numloop loops), passes the result file through
// -xrefinefrom with option on one and on two threads, checks that both give the
// same file and reads the sampled (before) and the passed (after) loops.
void samplePassAndRead(ExampleRunDir& dir, const std::string& numloop, const std::string& option,
                       std::vector<WrittenLoop>& before, std::vector<WrittenLoop>& after) {
    const std::string loop = "-f 5p21.pdb -start 45 -end 52 -quiet -models 0 ";
    ASSERT_EQ(runProgram(dir.root(), loop + "-seeds 300 -numloop " + numloop + " -cores 2 -xnosupplement -o sampled").status, 0);
    for (const char* threads : {"1", "2"}) {
        const ProgramRun r = runProgram(dir.root(), loop + "-xrefinefrom sampled.txt " + option + " -cores " + threads + " -o passed" + threads);
        ASSERT_EQ(r.status, 0) << r.err;
    }
    EXPECT_EQ(slurp(dir.path("passed1.txt")), slurp(dir.path("passed2.txt"))) << "the threads must not matter";
    std::string err;
    ASSERT_TRUE(readResultFile(dir.path("sampled.txt"), before, err)) << err;
    ASSERT_TRUE(readResultFile(dir.path("passed1.txt"), after, err)) << err;
    ASSERT_EQ(before.size(), after.size());
}

}  // namespace

// -xsmooth alone scores every loop again with the smooth DFIRE and torsion
// score: the loops, their numbers and coordinates stay; QUENDA and the side
// chains are the file's own within its rounding; the threads do not matter.
TEST(ResultRefinementSlow, SmoothScoresEveryLoopAndMovesNone) {
    ExampleRunDir dir;
    std::vector<WrittenLoop> a, b;
    samplePassAndRead(dir, "20", "-xsmooth", a, b);
    if (HasFatalFailure()) return;
    int dfireMoved = 0, torsionMoved = 0;
    for (size_t k = 0; k < a.size(); ++k) {
        SCOPED_TRACE("loop " + std::to_string(k + 1));
        EXPECT_EQ(b[k].ordinal, static_cast<int>(k) + 1);
        EXPECT_NEAR(a[k].sideChain, b[k].sideChain, 1.0);
        EXPECT_NEAR(a[k].quenda, b[k].quenda, 1.0);
        EXPECT_TRUE(std::isfinite(b[k].g) && std::isfinite(b[k].dfire));
        dfireMoved += std::abs(a[k].dfire - b[k].dfire) > 2.0;
        torsionMoved += std::abs(a[k].g - b[k].g) > 0.01;
        ASSERT_EQ(a[k].atoms.size(), b[k].atoms.size());
        for (size_t x = 0; x < a[k].atoms.size(); ++x) {
            EXPECT_EQ(a[k].atoms[x].x, b[k].atoms[x].x);
            EXPECT_EQ(a[k].atoms[x].y, b[k].atoms[x].y);
            EXPECT_EQ(a[k].atoms[x].z, b[k].atoms[x].z);
        }
    }
    // The smooth reads differ from the binned ones in (nearly) every loop.
    EXPECT_GE(dfireMoved, static_cast<int>(a.size()) / 2);
    EXPECT_GE(torsionMoved, static_cast<int>(a.size()) / 2);
}

// -xrescore scores loops from elsewhere (a force-field relaxation) with the
// program's own terms: a file the program wrote gets its own scores back within
// the three decimals of its coordinates, and every loop keeps its number and atoms.
TEST(ResultRefinementSlow, RescoreGivesAWrittenFileItsOwnScores) {
    ExampleRunDir dir;
    std::vector<WrittenLoop> a, b;
    samplePassAndRead(dir, "20", "-xrescore", a, b);
    if (HasFatalFailure()) return;
    std::vector<double> dfireShift;
    for (size_t k = 0; k < a.size(); ++k) {
        SCOPED_TRACE("loop " + std::to_string(k + 1));
        EXPECT_EQ(b[k].ordinal, static_cast<int>(k) + 1);
        EXPECT_NEAR(a[k].sideChain, b[k].sideChain, 1.0);
        EXPECT_NEAR(a[k].quenda, b[k].quenda, 1.0);
        EXPECT_NEAR(a[k].g, b[k].g, 1.0);
        dfireShift.push_back(std::abs(a[k].dfire - b[k].dfire));
        ASSERT_EQ(a[k].atoms.size(), b[k].atoms.size());
        for (size_t x = 0; x < a[k].atoms.size(); ++x) {
            EXPECT_EQ(a[k].atoms[x].x, b[k].atoms[x].x);
            EXPECT_EQ(a[k].atoms[x].y, b[k].atoms[x].y);
            EXPECT_EQ(a[k].atoms[x].z, b[k].atoms[x].z);
        }
    }
    // A pair on a bin edge may move by a bin; most loops keep their DFIRE to the file's two decimals.
    std::sort(dfireShift.begin(), dfireShift.end());
    ASSERT_FALSE(dfireShift.empty());
    EXPECT_LT(dfireShift[dfireShift.size() / 2], 0.5);
    EXPECT_LT(dfireShift.back(), 10.0);
}

TEST(ResultRefinementSlow, RepackKeepsBackbonesNumbersAndThreadsDoNotMatter) {
    ExampleRunDir dir;
    std::vector<WrittenLoop> a, b;
    samplePassAndRead(dir, "40", "-xrepack", a, b);
    if (HasFatalFailure()) return;
    int moved = 0;
    for (size_t k = 0; k < a.size(); ++k) {
        SCOPED_TRACE("loop " + std::to_string(k + 1));
        EXPECT_EQ(b[k].ordinal, static_cast<int>(k) + 1);
        // The torsion score follows the backbone only; scored again from the file's three decimals a
        // torsion on a bin edge may move a little.
        EXPECT_NEAR(a[k].g, b[k].g, 0.1);
        ASSERT_EQ(a[k].atoms.size(), b[k].atoms.size());
        for (size_t x = 0; x < a[k].atoms.size(); ++x) {
            const std::string& name = a[k].atoms[x].name;
            const double d = std::sqrt(std::pow(a[k].atoms[x].x - b[k].atoms[x].x, 2) + std::pow(a[k].atoms[x].y - b[k].atoms[x].y, 2) +
                                       std::pow(a[k].atoms[x].z - b[k].atoms[x].z, 2));
            if (name == "N" || name == "CA" || name == "C" || name == "O" || name == "CB") {
                EXPECT_EQ(d, 0.0) << name;
            } else {
                moved += d > 0.5;
            }
        }
    }
    EXPECT_GT(moved, 0) << "some side chain must take another rotamer";
}

TEST(ResultRefinement, RefiningNothingIsMisuse) {
    ExampleRunDir dir;
    const ProgramRun r = runProgram(dir.root(), "-f 5p21.pdb -start 45 -end 52 -quiet -xrefinefrom some.txt");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("-xrefine N"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("-xsmooth"), std::string::npos) << r.err;
}

TEST(ResultRefinement, MissingInputFileStopsWithItsName) {
    ExampleRunDir dir;
    const ProgramRun r = runProgram(dir.root(), "-f 5p21.pdb -start 45 -end 52 -quiet -xrefinefrom nothing.txt -xrefine 3");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nothing.txt"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
}

// -xconsensus moves the first loop by the ranking only, and it stays first;
// every other loop, and the loop numbers, are the file's own.
TEST(ResultRefinementSlow, ConsensusPullMovesOnlyTheFirstLoopAndKeepsItFirst) {
    ExampleRunDir dir;
    std::vector<WrittenLoop> a, b;
    samplePassAndRead(dir, "40", "-xconsensus 10", a, b);
    if (HasFatalFailure()) return;
    auto scores = [](const std::vector<WrittenLoop>& loops) {
        std::vector<std::array<double, 4>> out;
        for (const WrittenLoop& l : loops) out.push_back({l.dfire, l.sideChain, l.quenda, l.g});
        return out;
    };
    const int first = rankConformations(scores(a)).order.front();
    EXPECT_EQ(rankConformations(scores(b)).order.front(), first);
    int moved = 0;
    for (size_t k = 0; k < a.size(); ++k) {
        EXPECT_EQ(b[k].ordinal, static_cast<int>(k) + 1);
        ASSERT_EQ(a[k].atoms.size(), b[k].atoms.size());
        bool same = true;
        for (size_t x = 0; x < a[k].atoms.size(); ++x)
            same = same && a[k].atoms[x].x == b[k].atoms[x].x && a[k].atoms[x].y == b[k].atoms[x].y && a[k].atoms[x].z == b[k].atoms[x].z;
        moved += !same;
        if (static_cast<int>(k) != first) {
            EXPECT_TRUE(same) << "loop " << k + 1 << " is not the first and must not move";
        }
    }
    EXPECT_LE(moved, 1);
}

TEST(ResultRefinement, ConsensusAndRefineExcludeEachOther) {
    ExampleRunDir dir;
    const ProgramRun r = runProgram(dir.root(), "-f 5p21.pdb -start 45 -end 52 -quiet -xrefinefrom some.txt -xrefine 3 -xconsensus 10");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("-xconsensus"), std::string::npos) << r.err;
}
