// Closure of the last three loop residues inside growth, on H-Ras loop 45-52.
// The alternating plan closes G48, E49, T50 after growing 47 forward, so the
// closure anchors are N and CA of 48 and CA and C of 50. Scoring tables are
// replaced by constant or single-row tables where a test needs to control
// the closure score; the real pair table is used where it is present.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "../growth/growth_support.h"
#include "build/builders.h"
#include "closure/tripeptide.h"
#include "growth/seed_buffers.h"

// Test seams of src/closure/analytic_closure.cpp.
namespace closure_detail {
int torsionBin(double radians);
using SolveFn = void (*)(const double[3], const double[3], const double[3], const double[3], double[16][3][3], double[16][3][3],
                         double[16][3][3], int*);
extern SolveFn solver;
}  // namespace closure_detail

using namespace growth_test;

namespace {

constexpr int N_ = 0, CA_ = 1, C_ = 2, O_ = 3, CB_ = 5;
constexpr double UNSET = -777.0;  // weight of an entry nobody wrote
constexpr float UNSET_F = -777.0f;

bool fileExists(const std::string& path) { return static_cast<bool>(std::ifstream(path)); }

bool torsionTableLoaded() {
    static int state = -1;
    if (state < 0) {
        const std::string path = sourcePath("data/phipsi.bb.txt");
        state = fileExists(path) ? 1 : 0;
        if (state) SMC::LoadTorsionBBbin(path);
    }
    return state == 1;
}

// The free angles one closure call draws: randn's stored deviate is per
// thread, so a fresh thread after srand(seed) draws the same four numbers as
// analyticClosureOne does on its own fresh thread after srand(seed).
struct Draws {
    double theta1, theta2, omega1, omega2;
};

Draws predictDraws(unsigned seed) {
    Draws d{};
    std::srand(seed);
    std::thread([&] {
        d.theta1 = randn(1.92, 0.06);
        d.theta2 = randn(1.92, 0.06);
        d.omega1 = randn(3.129375, 0.0541);
        d.omega2 = randn(3.129375, 0.0541);
    }).join();
    return d;
}

double wrapDeg(double a) {
    while (a > 180.0) a -= 360.0;
    while (a <= -180.0) a += 360.0;
    return a;
}
double wrapRad(double a) { return wrapDeg(a * RAD2DEG) * DEG2RAD; }

// Bin of an angle in degrees on the periodic 5-degree grid, written out here
// independently of the library.
int binOfDeg(double deg) {
    int b = static_cast<int>(std::floor((wrapDeg(deg) + 180.0) / 5.0));
    return ((b % 72) + 72) % 72;
}

// Restores a torsion-bin plane on leaving scope.
struct TorsionPlaneGuard {
    int type;
    std::vector<double> saved;
    explicit TorsionPlaneGuard(int t) : type(t), saved(&SMC::TorsionBins[t][2][0][0], &SMC::TorsionBins[t][2][0][0] + 72 * 72) {}
    void uniform() { std::fill(&SMC::TorsionBins[type][2][0][0], &SMC::TorsionBins[type][2][0][0] + 72 * 72, 1.0 / 5184.0); }
    ~TorsionPlaneGuard() { std::copy(saved.begin(), saved.end(), &SMC::TorsionBins[type][2][0][0]); }
};

// Independent statement of the closure score: the same three sums, read
// straight from the structure and the pair list.
double referenceScore(const Structure& s, const GrowOne& g, int c) {
    auto val = [](int a, int b, double d2) { return PF::Etable[a][b][static_cast<int>(d2 * PF::BINSPERA)]; };
    double sum = 0.0;
    for (int i = 0; i < numpairsClose; ++i) {
        const int* r = pairlistClose[i];
        const double d2 = s[r[0]].atoms[r[1]].sdis(s[r[2]].atoms[r[3]]);
        if (d2 >= PF::MAXDIS2) continue;
        if (val(r[4], r[5], d2) > 10.0) return 12345.0;
        if (r[7] == 2) sum += val(r[4], r[5], d2);
    }
    if (sum > 200.0) return 12345.0;
    const int slots[8][3] = {{0, C_, 0}, {0, O_, 1}, {1, C_, 2}, {1, O_, 3}, {1, CA_, 4}, {1, N_, 5}, {2, N_, 6}, {2, CA_, 10}};
    for (int m = 0; m < g.closeEnvCount; ++m) {
        for (const auto& sl : slots) {
            const double d2 = s[c + sl[0]].atoms[sl[1]].sdis(g.closeEnvPos[m]);
            if (d2 < PF::MAXDIS2) sum += val(g.closeAtomType[sl[2]], g.closeEnvType[m], d2);
        }
        if (sum > 1000.0) return 12345.0;
    }
    for (int i = 0; i < 3; ++i) {
        if (s[c + i].type == GLY) continue;
        for (int m = 0; m < g.closeEnvCount; ++m) {
            const double d2 = s[c + i].atoms[CB_].sdis(g.closeEnvPos[m]);
            if (d2 < PF::MAXDIS2) sum += val(g.closeAtomType[7 + i], g.closeEnvType[m], d2);
        }
    }
    return sum;
}

void fillEtableRow(int row, double v) { std::fill(&PF::Etable[row][0][0], &PF::Etable[row][0][0] + 168 * ETABLE_BINS, v); }

class RasClosure : public ::testing::Test {
protected:
    std::unique_ptr<Structure> sp, nativep;
    SMC smc{1};
    int ls = -1, le = -1, c = -1;
    std::vector<double> w;
    std::stringstream diag;

    Structure& s() { return *sp; }
    GrowOne& g() { return G[0]; }

    void SetUp() override {
        REQUIRE_TEMPLATES();
        if (!torsionTableLoaded()) GTEST_SKIP() << "data/phipsi.bb.txt not present";
        sp = std::make_unique<Structure>(MAX_RESIDUES);
        nativep = std::make_unique<Structure>(MAX_RESIDUES);
        ASSERT_TRUE(nativep->readPdb(sourcePath("examples/5p21.pdb"), {}, 0));
        ls = at(*nativep, 45);
        le = at(*nativep, 52);
        ASSERT_TRUE(loadRas(s(), ls, le));  // synthetic pair types: every heavy atom scored
        int order[MAX_PLAN], rpos[MAX_PLAN];
        bool dir[MAX_PLAN];
        c = makeGrowthPlan(1, ls, le, order, dir, rpos);
        ASSERT_EQ(c, at(s(), 48));
        const int n = le - ls;
        ASSERT_EQ(order[n - 3], c - 1);  // the closure step grows 47 forward
        ASSERT_FALSE(dir[n - 3]);
        ASSERT_EQ(s()[c].type, GLY);
        prepareClosure();
        fillTables(0.0);
        smc.loopStart = ls;
        smc.loopEnd = le;
        w.assign(CLOSURE_ENTRIES, UNSET);
    }

    // What the growth step does before closing candidates of residue c - 1.
    void prepareClosure() {
        if (G.empty()) G.resize(1);
        g().ensureCapacity(numatom);
        closureList(s(), ls, le, c, false);
        g().df_closure_prep(s(), ls, le, c, s()[c - 1].atoms[CA_], false);
    }

    int close(unsigned seed, int k, double E, bool retry) {
        int n = -1;
        std::srand(seed);
        std::thread([&] { n = smc.analyticClosureOne(s(), c, k, w, E, 0, diag, retry); }).join();
        return n;
    }

    // First seed whose closure records at least `want` solutions (score 0 everywhere).
    unsigned seedWith(int want, int k) {
        for (unsigned seed = 1; seed < 400; ++seed) {
            std::fill(w.begin(), w.end(), UNSET);
            if (close(seed, k, 0.0, false) >= want) return seed;
        }
        return 0;
    }

    // Closures of the native anchors over 40 draws: how many were recorded,
    // the RMSD of the one nearest the native closure atoms, and its weight.
    struct NativeScan {
        int recorded = 0;
        double best = 1e9, bestWeight = 0.0, worstWeight = -1e9;
    };
    NativeScan scanNative() {
        const Structure& nat = *nativep;
        const Point ref[8] = {nat[c].atoms[C_],     nat[c].atoms[O_],     nat[c + 1].atoms[N_], nat[c + 1].atoms[CA_],
                              nat[c + 1].atoms[C_], nat[c + 1].atoms[O_], nat[c + 2].atoms[N_], nat[c + 2].atoms[CA_]};
        NativeScan r;
        for (unsigned seed = 1; seed <= 40; ++seed) {
            std::fill(w.begin(), w.end(), UNSET);
            const int n = close(seed, 10, 0.0, false);
            r.recorded += n;
            for (int e = CLOSURE_SLOTS * 10; e < CLOSURE_SLOTS * 10 + n; ++e) {
                double sum = 0.0;
                for (int a = 0; a < 8; ++a) sum += g().closureAtoms[e][a].sdis(ref[a]);
                if (std::sqrt(sum / 8.0) < r.best) r.best = std::sqrt(sum / 8.0), r.bestWeight = w[e];
                r.worstWeight = std::max(r.worstWeight, w[e]);
            }
        }
        return r;
    }

    void markEntries(int k) {
        for (int e = CLOSURE_SLOTS * k; e < CLOSURE_SLOTS * (k + 1); ++e) g().closureData[e].fill(UNSET_F);
    }
    bool entryUnset(int e) const { return w[e] == UNSET && G[0].closureData[e][0] == UNSET_F; }
};

}  // namespace

// ---------------------------------------------------------------------------

TEST(ClosureTorsionBin, PeriodicGrid) {
    using closure_detail::torsionBin;
    for (int a = 0; a < 72; ++a) {
        EXPECT_EQ(torsionBin((-180.0 + 5.0 * a + 2.5) * DEG2RAD), a);
        EXPECT_EQ(torsionBin((-180.0 + 5.0 * a + 0.01) * DEG2RAD), a);
    }
    // +180 deg is -180 deg: bin 0, not a 73rd bin.
    EXPECT_EQ(torsionBin(180.0 * DEG2RAD), 0);
    EXPECT_EQ(torsionBin(PI), 0);  // the program's pi converts to a hair above 180 deg
    EXPECT_EQ(torsionBin(-PI), 0);
    // -180 deg comes back from radians a hair below -180; it stays in bin 0.
    EXPECT_EQ(torsionBin(-180.0 * DEG2RAD), 0);
    // An exactly planar trans dihedral measures -180 deg.
    const Point a(1.0f, 1.0f, 0.0f), b(0.0f, 0.0f, 0.0f), cc(2.0f, 0.0f, 0.0f), d(1.0f, -1.0f, 0.0f);
    ASSERT_EQ(Torsion(a, b, cc, d), -180.0);
    EXPECT_EQ(torsionBin(Torsion(a, b, cc, d) * DEG2RAD), 0);
    EXPECT_EQ(torsionBin(179.99 * DEG2RAD), 71);
    EXPECT_EQ(torsionBin(-179.99 * DEG2RAD), 0);
    EXPECT_EQ(torsionBin(-174.99 * DEG2RAD), 1);
    EXPECT_EQ(torsionBin(std::numeric_limits<double>::quiet_NaN()), -1);
}

TEST_F(RasClosure, AnchorsOutOfReachRecordNothing) {
    const int k = 2000;
    // CA(c+2) 25 A further out: beyond the reach of two CA-CA virtual bonds.
    for (int slot : {CA_, C_}) s()[c + 2].atoms[slot].x += 25.0f;
    ASSERT_GT(s()[c].atoms[CA_].dis(s()[c + 2].atoms[CA_]), 8.0);
    Structure before = s();
    markEntries(k);
    EXPECT_EQ(close(7, k, 1.0, true), 0);
    EXPECT_TRUE(std::all_of(w.begin(), w.end(), [](double v) { return v == UNSET; }));
    for (int e = CLOSURE_SLOTS * k; e < CLOSURE_SLOTS * (k + 1); ++e) EXPECT_EQ(g().closureData[e][0], UNSET_F);
    for (int q = c; q <= c + 2; ++q)
        for (int slot : {N_, CA_, C_, O_}) {
            EXPECT_EQ(s()[q].atoms[slot].x, before[q].atoms[slot].x);
            EXPECT_EQ(s()[q].atoms[slot].z, before[q].atoms[slot].z);
        }
}

// Accepted closures land at 8k, 8k+1, ... in the solver's order, with the
// drawn geometry, trans carbonyl oxygens and consistent recorded angles.
TEST_F(RasClosure, RecordsEveryClosureInSolverOrderWithTheDrawnGeometry) {
    const int k = 1234;
    const double E = 3.5;
    const unsigned seed = seedWith(2, k);
    ASSERT_NE(seed, 0u) << "no candidate with two accepted closures";
    const Structure before = s();
    markEntries(k - 1);
    markEntries(k);
    markEntries(k + 1);
    std::fill(w.begin(), w.end(), UNSET);
    const int n = close(seed, k, E, false);
    ASSERT_GE(n, 2);
    ASSERT_LE(n, CLOSURE_SLOTS);

    // Solve again independently with the same draws and anchors; keep the
    // closures whose torsion bins are probable enough.
    const Draws d = predictDraws(seed);
    const int t0 = s()[c].type, t1 = s()[c + 1].type, t2 = s()[c + 2].type;
    const auto& BL = Residue::bond_length;
    const auto& BA = Residue::bond_angle;
    const double len[6] = {BL[t0][C_], BL[t1][N_], BL[t1][CA_], BL[t1][C_], BL[t2][N_], BL[t2][CA_]};
    const double ang[7] = {d.theta1, BA[t1][N_], BA[t1][CA_], d.theta2, BA[t2][N_], BA[t2][CA_], BA[t2][C_]};
    const double tor[2] = {d.omega1, d.omega2};
    initialize_loop_closure(len, ang, tor);
    auto arr = [](const Point& p, double* v) { v[0] = p.x, v[1] = p.y, v[2] = p.z; };
    double n1[3], ca1[3], ca3[3], c3[3];
    arr(before[c].atoms[N_], n1);
    arr(before[c].atoms[CA_], ca1);
    arr(before[c + 2].atoms[CA_], ca3);
    arr(before[c + 2].atoms[C_], c3);
    double sn[16][3][3], sa[16][3][3], sc[16][3][3];
    int ns = 0;
    solve_3pep_poly(n1, ca1, ca3, c3, sn, sa, sc, &ns);
    auto P = [](const double* v) { return Point(float(v[0]), float(v[1]), float(v[2])); };
    std::vector<int> expected;
    for (int j = 0; j < ns; ++j) {
        double e = 0.0;
        for (int i = 0; i < 3; ++i) {
            const Point Np = P(sn[j][i]), CAp = P(sa[j][i]), Cp = P(sc[j][i]);
            const Point prevC = i == 0 ? Point(before[c - 1].atoms[C_]) : P(sc[j][i - 1]);
            const Point nextN = i == 2 ? Point(before[c + 3].atoms[N_]) : P(sn[j][i + 1]);
            const double phi = Torsion(prevC, Np, CAp, Cp), psi = Torsion(Np, CAp, Cp, nextN);
            e -= std::log(SMC::TorsionBins[s()[c + i].type][2][binOfDeg(phi)][binOfDeg(psi)]);
        }
        if (e < 50.0) expected.push_back(j);
    }
    ASSERT_EQ(static_cast<int>(expected.size()), n);

    const Point N0 = before[c].atoms[N_], CA0 = before[c].atoms[CA_];
    const Point CA2a = before[c + 2].atoms[CA_], C2a = before[c + 2].atoms[C_], N3 = before[c + 3].atoms[N_];
    const Point Cprev = before[c - 1].atoms[C_];
    for (int j = 0; j < n; ++j) {
        SCOPED_TRACE("closure " + std::to_string(j));
        const int e = CLOSURE_SLOTS * k + j;
        EXPECT_DOUBLE_EQ(w[e], E);  // score 0 + growth energy
        const std::array<Point, 8>& A = g().closureAtoms[e];
        const Point &C0 = A[0], &O0 = A[1], &N1 = A[2], &CA1 = A[3], &C1 = A[4], &O1 = A[5], &N2 = A[6], &CA2 = A[7];
        const int sj = expected[j];
        EXPECT_NEAR(C0.dis(P(sc[sj][0])), 0.0, 1e-4);
        EXPECT_NEAR(N1.dis(P(sn[sj][1])), 0.0, 1e-4);
        EXPECT_NEAR(CA1.dis(P(sa[sj][1])), 0.0, 1e-4);
        EXPECT_NEAR(C1.dis(P(sc[sj][1])), 0.0, 1e-4);
        EXPECT_NEAR(N2.dis(P(sn[sj][2])), 0.0, 1e-4);
        EXPECT_NEAR(CA2.dis(CA2a), 0.0, 1e-4);  // the anchor comes back

        // Bonds and angles as drawn or as in the templates.
        EXPECT_NEAR(CA0.dis(C0), BL[t0][C_], 1e-3);
        EXPECT_NEAR(C0.dis(N1), BL[t1][N_], 1e-3);
        EXPECT_NEAR(N1.dis(CA1), BL[t1][CA_], 1e-3);
        EXPECT_NEAR(CA1.dis(C1), BL[t1][C_], 1e-3);
        EXPECT_NEAR(C1.dis(N2), BL[t2][N_], 1e-3);
        EXPECT_NEAR(N2.dis(CA2a), BL[t2][CA_], 1e-3);
        EXPECT_NEAR(C2a.dis(N3), 1.33, 0.02);  // peptide bond to the fixed side
        EXPECT_NEAR(angle(N0, CA0, C0), d.theta1 * RAD2DEG, 0.02);
        EXPECT_NEAR(angle(CA0, C0, N1), BA[t1][N_] * RAD2DEG, 0.02);
        EXPECT_NEAR(angle(C0, N1, CA1), BA[t1][CA_] * RAD2DEG, 0.02);
        EXPECT_NEAR(angle(N1, CA1, C1), d.theta2 * RAD2DEG, 0.02);
        EXPECT_NEAR(angle(CA1, C1, N2), BA[t2][N_] * RAD2DEG, 0.02);
        EXPECT_NEAR(angle(C1, N2, CA2a), BA[t2][CA_] * RAD2DEG, 0.02);
        EXPECT_NEAR(angle(N2, CA2a, C2a), BA[t2][C_] * RAD2DEG, 0.02);
        EXPECT_NEAR(wrapDeg(Torsion(CA0, C0, N1, CA1) - d.omega1 * RAD2DEG), 0.0, 0.02);
        EXPECT_NEAR(wrapDeg(Torsion(CA1, C1, N2, CA2a) - d.omega2 * RAD2DEG), 0.0, 0.02);

        // Carbonyl O in the peptide plane, trans to the next N.
        const double psi0 = Torsion(N0, CA0, C0, N1), psi1 = Torsion(N1, CA1, C1, N2);
        EXPECT_NEAR(wrapDeg(Torsion(N0, CA0, C0, O0) - (psi0 + 180.0)), 0.0, 0.02);
        EXPECT_NEAR(wrapDeg(Torsion(N1, CA1, C1, O1) - (psi1 + 180.0)), 0.0, 0.02);
        EXPECT_NEAR(C0.dis(O0), BL[t0][O_], 1e-3);

        // The recorded values are those of the recorded atoms.
        const std::array<float, 8>& D = g().closureData[e];
        EXPECT_NEAR(wrapRad(D[0] - Torsion(Cprev, N0, CA0, C0) * DEG2RAD), 0.0, 1e-5);
        EXPECT_NEAR(wrapRad(D[1] - psi0 * DEG2RAD), 0.0, 1e-5);
        EXPECT_NEAR(wrapRad(D[2] - Torsion(CA0, C0, N1, CA1) * DEG2RAD), 0.0, 1e-5);
        EXPECT_NEAR(D[3], d.theta1 * RAD2DEG, 1e-4);
        EXPECT_NEAR(wrapRad(D[4] - Torsion(C0, N1, CA1, C1) * DEG2RAD), 0.0, 1e-5);
        EXPECT_NEAR(wrapRad(D[5] - psi1 * DEG2RAD), 0.0, 1e-5);
        EXPECT_NEAR(wrapRad(D[6] - Torsion(CA1, C1, N2, CA2a) * DEG2RAD), 0.0, 1e-5);
        EXPECT_NEAR(D[7], d.theta2 * RAD2DEG, 1e-4);
        EXPECT_NEAR(D[3], angle(N0, CA0, C0), 0.02);
        EXPECT_NEAR(D[7], angle(N1, CA1, C1), 0.02);
    }
    for (int e = CLOSURE_SLOTS * k + n; e < CLOSURE_SLOTS * (k + 1); ++e) EXPECT_TRUE(entryUnset(e)) << e;
    for (int e = CLOSURE_SLOTS * (k - 1); e < CLOSURE_SLOTS * k; ++e) EXPECT_TRUE(entryUnset(e)) << e;
    for (int e = CLOSURE_SLOTS * (k + 1); e < CLOSURE_SLOTS * (k + 2); ++e) EXPECT_TRUE(entryUnset(e)) << e;

    // The structure keeps the last closure tried, anchors untouched, with O
    // and CB built: glycine 48 has five atoms, E49 and T50 six.
    EXPECT_EQ(s()[c].atoms[N_].x, N0.x);
    EXPECT_EQ(s()[c].atoms[CA_].y, CA0.y);
    EXPECT_EQ(s()[c + 2].atoms[C_].z, C2a.z);
    EXPECT_EQ(s()[c + 2].atoms[CA_].x, CA2a.x);
    EXPECT_EQ(s()[c].numAtoms, 5);
    for (int q = c + 1; q <= c + 2; ++q) {
        const Residue& r = s()[q];
        EXPECT_EQ(r.numAtoms, 6);
        EXPECT_NEAR(r.atoms[CA_].dis(r.atoms[CB_]), BL[r.type][CB_], 1e-3);
        EXPECT_NEAR(Torsion(r.atoms[N_], r.atoms[C_], r.atoms[CA_], r.atoms[CB_]), 2.138900998319049 * RAD2DEG, 0.02);
    }
    const Residue& last = s()[c + 2];
    EXPECT_NEAR(wrapDeg(Torsion(last.atoms[N_], last.atoms[CA_], last.atoms[C_], last.atoms[O_]) -
                        (Torsion(last.atoms[N_], last.atoms[CA_], last.atoms[C_], N3) + 180.0)),
                0.0, 0.02);
}

TEST_F(RasClosure, RetryRecordsClosuresThatFailTheScore) {
    const int k = 77;
    const double E = 2.25;
    const unsigned seed = seedWith(1, k);
    ASSERT_NE(seed, 0u);
    std::fill(w.begin(), w.end(), UNSET);
    const int n0 = close(seed, k, E, false);
    ASSERT_GE(n0, 1);

    fillTables(11.0);  // every pair in range is a clash: the score is 12345
    std::fill(w.begin(), w.end(), UNSET);
    EXPECT_EQ(close(seed, k, E, false), 0);
    EXPECT_TRUE(std::all_of(w.begin(), w.end(), [](double v) { return v == UNSET; }));
    EXPECT_EQ(g().quendaClosure(s(), ls, le, c, diag), 12345.0);

    EXPECT_EQ(close(seed, k, E, true), n0);
    for (int j = 0; j < n0; ++j) EXPECT_DOUBLE_EQ(w[CLOSURE_SLOTS * k + j], 12345.0 + E);
    for (int j = n0; j < CLOSURE_SLOTS; ++j) EXPECT_EQ(w[CLOSURE_SLOTS * k + j], UNSET);
}

// Scores of one closed backbone under controlled tables.
TEST_F(RasClosure, ClosureScoreTermsAndLimits) {
    ASSERT_GE(close(seedWith(1, 0), 0, 0.0, false), 1);  // s now holds a closure with O and CB
    ASSERT_GT(numpairsClose, 0);
    ASSERT_GT(g().closeEnvCount, 0);

    // Glycine 48 has no CB: a table that only scores type 167 (its CB slot) gives 0.
    ASSERT_EQ(g().closeAtomType[7], NO_PAIR_TYPE);
    fillTables(0.0);
    fillEtableRow(NO_PAIR_TYPE, 5.0);
    EXPECT_EQ(g().quendaClosure(s(), ls, le, c, diag), 0.0);

    // Only the CB of T50 (and whatever shares its type) scores: CB terms count.
    fillTables(0.0);
    fillEtableRow(g().closeAtomType[9], 1.0);
    int cbContacts = 0;
    for (int m = 0; m < g().closeEnvCount; ++m) cbContacts += s()[c + 2].atoms[CB_].sdis(g().closeEnvPos[m]) < PF::MAXDIS2;
    ASSERT_GT(cbContacts, 0);
    const double cbOnly = g().quendaClosure(s(), ls, le, c, diag);
    EXPECT_GE(cbOnly, cbContacts);
    EXPECT_DOUBLE_EQ(cbOnly, referenceScore(s(), g(), c));

    // Constant tables: below the clash value the score grows with the value
    // until the internal (200) or running frame (1000) limit rejects it.
    int internal2 = 0, frame = 0;
    for (int i = 0; i < numpairsClose; ++i) {
        const int* r = pairlistClose[i];
        if (r[7] == 2 && s()[r[0]].atoms[r[1]].sdis(s()[r[2]].atoms[r[3]]) < PF::MAXDIS2) ++internal2;
    }
    const double bbScore1 = [&] {
        fillTables(1.0);
        return g().quendaClosure(s(), ls, le, c, diag);
    }();
    ASSERT_LT(bbScore1, 1000.0);
    frame = static_cast<int>(bbScore1) - internal2;
    std::cout << "closure region: " << numpairsClose << " internal pairs (" << internal2 << " at i,i+2 in range), " << g().closeEnvCount
              << " frame atoms, " << frame << " frame and CB contacts" << std::endl;
    bool sawInternalLimit = false, sawFrameLimit = false, sawSum = false;
    for (double v : {0.25, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 8.0, 9.9, 10.0}) {
        fillTables(v);
        const double got = g().quendaClosure(s(), ls, le, c, diag);
        EXPECT_DOUBLE_EQ(got, referenceScore(s(), g(), c)) << "value " << v;
        if (v * internal2 > 200.0) {
            EXPECT_EQ(got, 12345.0);
            sawInternalLimit = true;
        } else if (got == 12345.0) {
            sawFrameLimit = true;
        } else {
            EXPECT_NEAR(got, v * (internal2 + frame), 1e-6 * v * (internal2 + frame));
            sawSum = true;
        }
    }
    fillTables(10.01);
    EXPECT_EQ(g().quendaClosure(s(), ls, le, c, diag), 12345.0);  // clash
    EXPECT_TRUE(sawSum);
    EXPECT_TRUE(sawInternalLimit);
    EXPECT_TRUE(sawFrameLimit);
}

// The solver can return up to 16 closures; only eight fit a candidate's slots.
namespace {
int repeatCount = 12;
void repeatingSolver(const double n1[3], const double ca1[3], const double ca3[3], const double c3[3], double sn[16][3][3],
                     double sa[16][3][3], double sc[16][3][3], int* num) {
    solve_3pep_poly(n1, ca1, ca3, c3, sn, sa, sc, num);
    const int real = *num;
    if (real == 0) return;
    for (int j = real; j < repeatCount; ++j) {
        std::copy(&sn[j % real][0][0], &sn[j % real][0][0] + 9, &sn[j][0][0]);
        std::copy(&sa[j % real][0][0], &sa[j % real][0][0] + 9, &sa[j][0][0]);
        std::copy(&sc[j % real][0][0], &sc[j % real][0][0] + 9, &sc[j][0][0]);
    }
    *num = repeatCount;
}
struct SolverGuard {
    SolverGuard() { closure_detail::solver = repeatingSolver; }
    ~SolverGuard() { closure_detail::solver = solve_3pep_poly; }
};
}  // namespace

TEST_F(RasClosure, AtMostEightClosuresPerCandidate) {
    TorsionPlaneGuard p0(s()[c].type), p1(s()[c + 1].type), p2(s()[c + 2].type);
    p0.uniform(), p1.uniform(), p2.uniform();  // every closure passes the torsion test
    const unsigned seed = seedWith(2, 0);
    ASSERT_NE(seed, 0u);
    std::fill(w.begin(), w.end(), UNSET);
    const int real = close(seed, 0, 0.0, false);
    ASSERT_GE(real, 2);
    std::vector<std::array<Point, 8>> realAtoms(g().closureAtoms.begin(), g().closureAtoms.begin() + real);

    SolverGuard guard;
    for (int k : {300, NUM_CAND - 1}) {
        SCOPED_TRACE("candidate " + std::to_string(k));
        std::fill(w.begin(), w.end(), UNSET);
        if (k + 1 < NUM_CAND) markEntries(k + 1);
        EXPECT_EQ(close(seed, k, 1.0, true), CLOSURE_SLOTS);
        for (int j = 0; j < CLOSURE_SLOTS; ++j) {
            const int e = CLOSURE_SLOTS * k + j;
            EXPECT_EQ(w[e], 1.0);
            for (int a = 0; a < 8; ++a) EXPECT_NEAR(g().closureAtoms[e][a].dis(realAtoms[j % real][a]), 0.0, 1e-6) << j << " " << a;
        }
        if (k + 1 < NUM_CAND) {
            for (int e = CLOSURE_SLOTS * (k + 1); e < CLOSURE_SLOTS * (k + 2); ++e) EXPECT_TRUE(entryUnset(e)) << e;
        }
        EXPECT_EQ(std::count_if(w.begin(), w.end(), [](double v) { return v != UNSET; }), CLOSURE_SLOTS);
    }
}

// The native anchors close near the native loop.
TEST_F(RasClosure, ClosesNearTheNativeBackbone) {
    const NativeScan r = scanNative();
    std::cout << "native anchors: " << r.recorded << " closures over 40 draws, best RMSD " << r.best << " A" << std::endl;
    EXPECT_GT(r.recorded, 0);
    EXPECT_LT(r.best, 0.5);
}

// ---------------------------------------------------------------------------
// With the real sampling pair table (data/QUENDApair.lib) and real atom types,
// set up as production does.

TEST_F(RasClosure, RealPairTableAcceptsTheNativeLikeClosure) {
    if (!fileExists("data/QUENDApair.lib")) GTEST_SKIP() << "data/QUENDApair.lib not present";
    PF::InitPar("", "./", 0, 1);
    ASSERT_TRUE(s().readPdb(sourcePath("examples/5p21.pdb"), {}, 0));
    typeAtoms(s(), ls, le);
    vsgb_setup(s());
    prepareClosure();
    const NativeScan r = scanNative();
    std::cout << "real table: " << r.recorded << " accepted closures, nearest native " << r.best << " A with score " << r.bestWeight
              << std::endl;
    EXPECT_GT(r.recorded, 0);
    EXPECT_LT(r.worstWeight, 200.0);
    EXPECT_LT(r.best, 0.5);
}

// ---------------------------------------------------------------------------
// The closure step of the growth plan, run by the growth step itself on 100
// seeds whose first steps were grown with the real tables (one child kept per
// seed). Every child, rebuilt from its seed's path, its bin's candidate and
// its closure values, must close onto the fixed end.

namespace {

bool growthTablesPresent() {
    for (const char* f :
         {"data/phipsi.bb.txt", "data/joint.distance.txt", "data/joint.distance.backward.txt", "data/joint.distance.conditional.txt",
          "data/joint.distance.conditional.backward.txt", "data/newsimplRot.txt", "data/QUENDApair.lib"})
        if (!fileExists(f)) return false;
    return true;
}

// Keeps child 0 of every seed (a dead seed takes the path of the first live one).
void keepFirstChild(int step, int seeds) {
    int donor = -1;
    for (int i = 0; i < seeds && donor < 0; ++i)
        if (childRecord(i, 0)[5] < 50.0f) donor = i;
    ASSERT_GE(donor, 0) << "every seed died at step " << step;
    for (int i = 0; i < seeds; ++i) {
        const int src = childRecord(i, 0)[5] < 50.0f ? i : donor;
        if (src != i)
            for (int j = 0; j < step; ++j) std::copy_n(pathRecord(tempFrag, j, src), PATH_FIELDS, pathRecord(tempFrag, j, i));
        std::copy_n(childRecord(src, 0), PATH_FIELDS, pathRecord(tempFrag, step, i));
    }
}

}  // namespace

TEST(GrowthClosureStep, RasLoopClosesFrom100Seeds) {
    if (!growthTablesPresent()) GTEST_SKIP() << "the sampling tables in data/ are not present";
    REQUIRE_TEMPLATES();
    PF::InitPar("", "./", 0, 1);
    SMC::LoadJointMarginal("data/joint.distance.txt");
    SMC::LoadJointMarginalB("data/joint.distance.backward.txt");
    SMC::LoadJointCond("data/joint.distance.conditional.txt");
    SMC::LoadJointCondB("data/joint.distance.conditional.backward.txt");
    SMC::LoadTorsionBBbin("data/phipsi.bb.txt");
    PF::LoadSimplRot("data/newsimplRot.txt");
    PF::numMP = 2;
    std::srand(11);

    Structure protein(MAX_RESIDUES);
    ASSERT_TRUE(protein.readPdb(sourcePath("examples/5p21.pdb"), {}, 0));
    SMC smc(1);
    smc.work = protein;
    smc.native = protein;
    smc.structs[0] = protein;
    smc.growMode = 1;
    smc.numSeeds = 100;
    smc.loopStart = at(protein, 45);
    smc.loopEnd = at(protein, 52);
    smc.prepare();
    PF::chi1SD = 0.17;
    scCut = 200.0;
    Structure& s = smc.structs[0];
    const int n = smc.loopEnd - smc.loopStart, last = n - 3;
    const int c = closureStart(smc.growMode, smc.loopStart, smc.loopEnd);
    ASSERT_EQ(growrPos[last] - growOrder[last], 3);
    for (int step = 0; step < last; ++step) {
        SMC::curLoops = 100;
        smc.grow_oneF(s, growOrder[step], growrPos[step], step, growDir[step], false, false);
        keepFirstChild(step, 100);
    }
    SMC::curLoops = 100;
    const int pos = growOrder[last];
    ASSERT_EQ(pos, c - 1);
    ASSERT_FALSE(growDir[last]);
    const int dead = smc.grow_oneF(s, pos, growrPos[last], last, growDir[last], false, false);

    // Each child is rebuilt from the seed's path records; its residue c - 1
    // is the candidate the growth step built for the child's bin (set
    // builders), and the closure residues come from the child's closure
    // values. The rebuilt CA(c+2) must meet the fixed end.
    int closed = 0, seedsWithChildren = 0, emptySlotChildren = 0;
    double worstPeptide = 0.0, worstGap = 0.0, worstCAC = 0.0, worstRecordGap = 0.0;
    const double caC = Residue::bond_length[s[c + 2].type][C_];
    std::vector<Point> pts(BB_CAND_POINTS);
    for (int seed = 0; seed < 100; ++seed) {
        Structure t = s;
        for (int j = 0; j < last; ++j) {
            const float* r = pathRecord(tempFrag, j, seed);
            const int i = growOrder[j];
            if (!growDir[j])
                t.calBBCo(i, t[i], t[i + 1], r[0], r[1], r[2], r[4] * DEG2RAD, true);
            else
                t.calBBCoR(i, t[i], t[i - 1], r[0], r[1], r[2], r[4] * DEG2RAD, true);
        }
        const Point grownCA = t[c + 2].atoms[CA_];
        t.calBBCoNext(pos, pts.data(), 1);
        bool any = false;
        for (int k = 0; k < CHILDREN; ++k) {
            const float* rec = childRecord(seed, k);
            if (rec[5] > 50.0f) break;
            any = true;
            if (rec[9] >= 12345.0f) {
                // An unused closure slot of a feasible bin, drawn once the
                // recorded closures ran out: it carries no closure.
                ++emptySlotChildren;
                continue;
            }
            const int a = static_cast<int>(std::lround((rec[0] + PI) / (5.0 * DEG2RAD)));
            const int b = static_cast<int>(std::lround((rec[1] + PI) / (5.0 * DEG2RAD)));
            ASSERT_TRUE(a >= 0 && a < 72 && b >= 0 && b < 72);
            const Point* P = &pts[candPointIndex(a, b, 0)];
            Structure u = t;
            u[pos].atoms[C_] = P[2];
            u[pos].atoms[O_] = P[3];
            u[c].atoms[N_] = P[0];
            u[c].atoms[CA_] = calCoCA(u[pos].atoms[CA_], P[2], P[0]);
            u.calBBCo(c, u[c], u[c + 1], rec[11], rec[12], rec[13], rec[14] * DEG2RAD, true);
            u.calBBCo(c + 1, u[c + 1], u[c + 2], rec[15], rec[16], rec[17], rec[18] * DEG2RAD, true);
            const Residue &r2 = u[c + 2], &r3 = u[c + 3];
            const double peptide = r2.atoms[C_].dis(r3.atoms[N_]);
            const double gap = r2.atoms[CA_].dis(grownCA);
            const double cac = r2.atoms[CA_].dis(r2.atoms[C_]);
            worstPeptide = std::max(worstPeptide, std::fabs(peptide - 1.33));
            worstGap = std::max(worstGap, gap);
            worstCAC = std::max(worstCAC, std::fabs(cac - caC));
            EXPECT_NEAR(peptide, 1.33, 0.02) << "seed " << seed << " child " << k;
            EXPECT_LT(gap, 0.01) << "seed " << seed << " child " << k;
            EXPECT_NEAR(cac, caC, 0.02) << "seed " << seed << " child " << k;
            EXPECT_NEAR(angle(r2.atoms[N_], r2.atoms[CA_], r2.atoms[C_]), Residue::bond_angle[r2.type][C_] * RAD2DEG, 1.0);
            EXPECT_LT(rec[9], 200.0f + 100.0f);  // closure score below 200 plus growth energy at most 100

            // The same child rebuilt from its records alone (residue c - 1 from
            // fields 0, 1, 2, 4): only measured here.
            Structure v = t;
            v.calBBCo(pos, v[pos], v[pos + 1], rec[0], rec[1], rec[2], rec[4] * DEG2RAD, true);
            v.calBBCo(c, v[c], v[c + 1], rec[11], rec[12], rec[13], rec[14] * DEG2RAD, true);
            v.calBBCo(c + 1, v[c + 1], v[c + 2], rec[15], rec[16], rec[17], rec[18] * DEG2RAD, true);
            worstRecordGap = std::max(worstRecordGap, v[c + 2].atoms[CA_].dis(grownCA));
            ++closed;
        }
        seedsWithChildren += any;
    }
    std::cout << "Ras 45-52 closure step: " << closed << " closed children from " << seedsWithChildren << " seeds (" << dead
              << " dead ends, " << emptySlotChildren << " children from empty closure slots); worst |C(c+2)-N(c+3) - 1.33| " << worstPeptide
              << " A, worst CA(c+2) gap " << worstGap << " A, worst |CA-C - ideal| " << worstCAC
              << " A; rebuilt from records alone: worst CA(c+2) gap " << worstRecordGap << " A" << std::endl;
    EXPECT_GT(closed, 0);
}
