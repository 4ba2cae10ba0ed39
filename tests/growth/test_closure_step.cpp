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
#include <memory>
#include <tuple>
#include <vector>

#include "build/builders.h"
#include "closure/tripeptide.h"
#include "growth_support.h"

using namespace lorvane;
using namespace growth_test;

namespace {

constexpr int N_ = SLOT_N, CA_ = SLOT_CA, C_ = SLOT_C, O_ = SLOT_O, CB_ = SLOT_CB;
constexpr double UNSET = -777.0;  // weight of an entry nobody wrote
constexpr float UNSET_F = -777.0f;

double wrapDeg(double a) { return std::remainder(a, 360.0); }
double wrapRad(double a) { return std::remainder(a, 2 * PI); }
Point P(const double* v) { return Point(float(v[0]), float(v[1]), float(v[2])); }
void fillEtableRow(Potentials& p, int row, double v) { std::fill_n(&p.etable[row][0][0], PAIR_TABLE_TYPES * ETABLE_BINS, v); }

// Bin of an angle in degrees on the periodic 5-degree grid, written out here independently.
int binOfDeg(double deg) { return ((static_cast<int>(std::floor((wrapDeg(deg) + 180.0) / 5.0)) % 72) + 72) % 72; }

TEST(ClosureTorsionBin, PeriodicGridFoldsPlusMinus180) {
    auto torsionBin = [](double r) { return closureTorsionBin(r, TorsionBinRule::Floor); };
    for (int a = 0; a < 72; ++a) {
        EXPECT_EQ(torsionBin((-180.0 + 5.0 * a + 2.5) * DEG2RAD), a);
        EXPECT_EQ(torsionBin((-180.0 + 5.0 * a + 0.01) * DEG2RAD), a);
    }
    // +180 deg is -180 deg: bin 0, not a 73rd bin; -180 deg comes back from radians a hair below -180.
    for (double r : {180.0 * DEG2RAD, PI, -PI, -180.0 * DEG2RAD, -179.99 * DEG2RAD}) EXPECT_EQ(torsionBin(r), 0) << r;
    const Point a(1.0f, 1.0f, 0.0f), b(0.0f, 0.0f, 0.0f), c(2.0f, 0.0f, 0.0f), d(1.0f, -1.0f, 0.0f);
    EXPECT_EQ(torsionBin(Torsion(a, b, c, d) * DEG2RAD), 0);  // an exactly planar trans dihedral measures -180
    EXPECT_EQ(torsionBin(179.99 * DEG2RAD), 71);
    EXPECT_EQ(torsionBin(-174.99 * DEG2RAD), 1);
    EXPECT_EQ(torsionBin(std::nan("")), -1);
}

// The torsion-bin planes of the repository (the closure reads nothing else of the distributions).
std::unique_ptr<Distributions> torsionCopy() {
    auto d = std::make_unique<Distributions>();
    std::copy_n(&repoDistributions().torsionBins[0][0][0][0], NUM_TYPES * SS_CLASSES * NUM_BINS * NUM_BINS, &d->torsionBins[0][0][0][0]);
    return d;
}

// What the growth step does before closing candidates of residue c - 1 (forward).
void prepareClosure(RasRun& r, int c) {
    buildClosurePairs(*r.run, c, false);
    r.g().df_closure_prep(r.s(), r.ls, r.le, c, r.s()[c - 1].atoms[CA_], false);
}

// The closure drawn from the stream of key `seed`: the draws of one closure are repeatable.
int closeWith(RasRun& r, int c, unsigned seed, int k, double E, bool retry) {
    r.g().random.reset(seed);
    return r.g().closeCandidate(r.s(), c, k, E, retry);
}

// Closures of the native anchors of candidate 10 over 40 draws: how many were
// recorded and the RMSD of the one nearest the native closure atoms.
std::pair<int, double> scanNative(RasRun& r, int c, double* worstWeight = nullptr) {
    const Structure& nat = ras();
    const Point ref[8] = {nat[c].atoms[C_],     nat[c].atoms[O_],     nat[c + 1].atoms[N_], nat[c + 1].atoms[CA_],
                          nat[c + 1].atoms[C_], nat[c + 1].atoms[O_], nat[c + 2].atoms[N_], nat[c + 2].atoms[CA_]};
    int recorded = 0;
    double best = 1e9;
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::fill(r.g().closureW.begin(), r.g().closureW.end(), UNSET);
        const int n = closeWith(r, c, seed, 10, 0.0, false);
        recorded += n;
        for (int e = CLOSURE_SLOTS * 10; e < CLOSURE_SLOTS * 10 + n; ++e) {
            double sum = 0.0;
            for (int a = 0; a < 8; ++a) sum += r.g().closureAtoms[e][a].sdis(ref[a]);
            best = std::min(best, std::sqrt(sum / 8.0));
            if (worstWeight) *worstWeight = std::max(*worstWeight, r.g().closureW[e]);
        }
    }
    return {recorded, best};
}

// The alternating plan closes G48, E49, T50 after growing 47 forward, on synthetic tables.
class RasClosure : public ::testing::Test {
protected:
    std::unique_ptr<Distributions> dist = torsionCopy();
    RasRun run{45, 52, 0.0, false, FIRST_STEP_SEEDS, 1, dist.get()};
    int ls = run.ls, le = run.le, c = run.run->plan.closure;

    Structure& s() { return run.s(); }
    GrowOne& g() { return run.g(); }
    std::vector<double>& w() { return g().closureW; }
    Potentials& pot() { return run.synthetic; }

    void SetUp() override {
        const GrowthPlan& plan = run.run->plan;
        ASSERT_EQ(c, positionOf(ras(), 48));
        ASSERT_EQ(plan.order[plan.steps - 1], c - 1);  // the closure step grows 47 forward
        ASSERT_FALSE(plan.backward[plan.steps - 1]);
        ASSERT_EQ(s()[c].type, GLY);
        prepareClosure(run, c);
        w().assign(CLOSURE_ENTRIES, UNSET);
    }

    int close(unsigned seed, int k, double E, bool retry) { return closeWith(run, c, seed, k, E, retry); }

    // First seed whose closure records at least `want` solutions (score 0 everywhere).
    unsigned seedWith(int want, int k) {
        for (unsigned seed = 1; seed < 400; ++seed) {
            std::fill(w().begin(), w().end(), UNSET);
            if (close(seed, k, 0.0, false) >= want) return seed;
        }
        return 0;
    }

    void markEntries(int k) {
        for (int e = CLOSURE_SLOTS * k; e < CLOSURE_SLOTS * (k + 1); ++e) g().closureData[e].fill(UNSET_F);
    }
    bool entryUnset(int e) { return w()[e] == UNSET && g().closureData[e][0] == UNSET_F; }
};

// Accepted closures land at 8k, 8k+1, ... in the solver's order: solved again
// here with the same draws and anchors, those whose torsion bins are probable
// enough are the recorded ones, with trans carbonyl oxygens and the recorded
// angles of the recorded atoms.
TEST_F(RasClosure, RecordsEveryClosureInSolverOrderWithTheDrawnGeometry) {
    const int k = 1234;
    const double E = 3.5;
    const unsigned seed = seedWith(2, k);
    ASSERT_NE(seed, 0u) << "no candidate with two accepted closures";
    const Structure before = s();
    for (int q : {k - 1, k, k + 1}) markEntries(q);
    std::fill(w().begin(), w().end(), UNSET);
    const int n = close(seed, k, E, false);
    ASSERT_GE(n, 2);

    double d[4];  // theta1, theta2, omega1, omega2 as closeCandidate draws them
    RandomStream random(seed);
    for (int i = 0; i < 4; ++i) d[i] = i < 2 ? random.normal(1.92, 0.06) : random.normal(3.129375, 0.0541);
    const int t0 = s()[c].type, t1 = s()[c + 1].type, t2 = s()[c + 2].type;
    const auto &BL = tmpl().bondLength, &BA = tmpl().bondAngle;
    const double len[6] = {BL[t0][C_], BL[t1][N_], BL[t1][CA_], BL[t1][C_], BL[t2][N_], BL[t2][CA_]};
    const double ang[7] = {d[0], BA[t1][N_], BA[t1][CA_], d[1], BA[t2][N_], BA[t2][CA_], BA[t2][C_]};
    TripeptideClosure solver;
    solver.initialize(len, ang, d + 2);
    double anchors[4][3], sn[16][3][3], sa[16][3][3], sc[16][3][3];
    const Point pts[4] = {before[c].atoms[N_], before[c].atoms[CA_], before[c + 2].atoms[CA_], before[c + 2].atoms[C_]};
    for (int i = 0; i < 4; ++i) anchors[i][0] = pts[i].x, anchors[i][1] = pts[i].y, anchors[i][2] = pts[i].z;
    int ns = 0;
    solver.solve(anchors[0], anchors[1], anchors[2], anchors[3], sn, sa, sc, &ns);
    std::vector<int> expected;
    for (int j = 0; j < ns; ++j) {
        double e = 0.0;
        for (int i = 0; i < 3; ++i) {
            const Point prevC = i == 0 ? Point(before[c - 1].atoms[C_]) : P(sc[j][i - 1]);
            const Point nextN = i == 2 ? Point(before[c + 3].atoms[N_]) : P(sn[j][i + 1]);
            const double phi = Torsion(prevC, P(sn[j][i]), P(sa[j][i]), P(sc[j][i])), psi = Torsion(P(sn[j][i]), P(sa[j][i]), P(sc[j][i]), nextN);
            e -= std::log(dist->torsionBins[s()[c + i].type][SS_COIL][binOfDeg(phi)][binOfDeg(psi)]);
        }
        if (e < 50.0) expected.push_back(j);
    }
    ASSERT_EQ(static_cast<int>(expected.size()), n);
    const Point N0 = before[c].atoms[N_], CA0 = before[c].atoms[CA_], CA2 = before[c + 2].atoms[CA_];
    for (int j = 0; j < n; ++j) {
        SCOPED_TRACE("closure " + std::to_string(j));
        const int e = CLOSURE_SLOTS * k + j, sj = expected[j];
        EXPECT_DOUBLE_EQ(w()[e], E);  // score 0 + growth energy
        const std::array<Point, 8>& A = g().closureAtoms[e];  // C0 O0 N1 CA1 C1 O1 N2 CA2
        const Point want[8] = {P(sc[sj][0]), A[1], P(sn[sj][1]), P(sa[sj][1]), P(sc[sj][1]), A[5], P(sn[sj][2]), CA2};
        for (int a = 0; a < 8; ++a) EXPECT_LT(A[a].dis(want[a]), 1e-4) << "atom " << a;
        const double psi0 = Torsion(N0, CA0, A[0], A[2]), psi1 = Torsion(A[2], A[3], A[4], A[6]);
        EXPECT_NEAR(wrapDeg(Torsion(N0, CA0, A[0], A[1]) - psi0 - 180.0), 0.0, 0.02);  // carbonyl O trans to the next N
        EXPECT_NEAR(wrapDeg(Torsion(A[2], A[3], A[4], A[5]) - psi1 - 180.0), 0.0, 0.02);
        EXPECT_NEAR(A[0].dis(A[1]), BL[t0][O_], 1e-3);
        const std::array<float, 8>& D = g().closureData[e];  // phi, psi, omega, theta of c and c + 1
        const double measured[8] = {Torsion(before[c - 1].atoms[C_], N0, CA0, A[0]), psi0, Torsion(CA0, A[0], A[2], A[3]), d[0] * RAD2DEG,
                                    Torsion(A[0], A[2], A[3], A[4]), psi1, Torsion(A[3], A[4], A[6], CA2), d[1] * RAD2DEG};
        for (int q = 0; q < 8; ++q)
            EXPECT_NEAR(q % 4 == 3 ? D[q] - measured[q] : wrapRad(D[q] - measured[q] * DEG2RAD), 0.0, q % 4 == 3 ? 1e-4 : 1e-5) << q;
        EXPECT_NEAR(wrapDeg(D[2] * RAD2DEG - d[2] * RAD2DEG), 0.0, 0.02);  // the drawn omegas
        EXPECT_NEAR(wrapDeg(D[6] * RAD2DEG - d[3] * RAD2DEG), 0.0, 0.02);
        EXPECT_NEAR(D[3], angle(N0, CA0, A[0]), 0.02);
    }
    for (int e = CLOSURE_SLOTS * (k - 1); e < CLOSURE_SLOTS * (k + 2); ++e)
        EXPECT_TRUE(entryUnset(e) || (e >= CLOSURE_SLOTS * k && e < CLOSURE_SLOTS * k + n)) << e;
    // The structure keeps the last closure tried, anchors untouched, with O and CB:
    // glycine 48 has five atoms, E49 and T50 six.
    EXPECT_EQ(s()[c].atoms[N_].sdis(N0) + s()[c].atoms[CA_].sdis(CA0) + s()[c + 2].atoms[CA_].sdis(CA2), 0.0f);
    EXPECT_EQ(s()[c].numAtoms, 5);
    for (int q = c + 1; q <= c + 2; ++q) {
        const Residue& r = s()[q];
        EXPECT_EQ(r.numAtoms, 6);
        EXPECT_NEAR(r.atoms[CA_].dis(r.atoms[CB_]), BL[r.type][CB_], 1e-3);
        EXPECT_NEAR(Torsion(r.atoms[N_], r.atoms[C_], r.atoms[CA_], r.atoms[CB_]), CB_DIHEDRAL * RAD2DEG, 0.02);
    }
}

TEST_F(RasClosure, RetryRecordsClosuresThatFailTheScore) {
    const int k = 77;
    const double E = 2.25;
    const unsigned seed = seedWith(1, k);
    ASSERT_NE(seed, 0u);
    std::fill(w().begin(), w().end(), UNSET);
    const int n0 = close(seed, k, E, false);
    ASSERT_GE(n0, 1);
    fillTables(pot(), 11.0);  // every pair in range is a clash: the score is REJECTED
    std::fill(w().begin(), w().end(), UNSET);
    EXPECT_EQ(close(seed, k, E, false), 0);
    EXPECT_TRUE(std::all_of(w().begin(), w().end(), [](double v) { return v == UNSET; }));
    EXPECT_EQ(close(seed, k, E, true), n0);
    for (int j = 0; j < CLOSURE_SLOTS; ++j) EXPECT_DOUBLE_EQ(w()[CLOSURE_SLOTS * k + j], j < n0 ? REJECTED + E : UNSET);
}

// The score of one closed backbone: (i, i+2) pairs inside the region, the
// backbone and the CBs against the frame; a pair value above 10 is a clash,
// an internal sum above 200 or a running frame sum above 1000 fails.
TEST_F(RasClosure, ClosureScoreTermsAndLimits) {
    ASSERT_GE(close(seedWith(1, 0), 0, 0.0, false), 1);  // s now holds a closure with O and CB
    const std::vector<ClosurePair>& pairs = run.run->closurePairs;
    ASSERT_TRUE(!pairs.empty() && g().closeEnvCount > 0);
    ASSERT_EQ(g().closeAtomType[7], NO_PAIR_TYPE);  // glycine 48 has no CB: its row never counts
    fillEtableRow(pot(), NO_PAIR_TYPE, 5.0);
    EXPECT_EQ(g().closureScore(s(), c), 0.0);
    fillTables(pot(), 0.0);
    fillEtableRow(pot(), g().closeAtomType[9], 1.0);  // only the CB of T50 (and whatever shares its type) scores
    int cb = 0;
    for (int m = 0; m < g().closeEnvCount; ++m) cb += s()[c + 2].atoms[CB_].sdis(g().closeEnvPos[m]) < pot().maxDis2;
    ASSERT_GT(cb, 0);
    EXPECT_GE(g().closureScore(s(), c), cb);

    // Contacts counted here: (i, i+2) pairs, backbone and CB atoms against the frame.
    int internal = 0, frame = 0;
    for (const ClosurePair& r : pairs) internal += r[6] == 2 && s()[r[0]].atoms[r[1]].sdis(s()[r[2]].atoms[r[3]]) < pot().maxDis2;
    for (int m = 0; m < g().closeEnvCount; ++m)
        for (const Atom* a : {&s()[c].atoms[C_], &s()[c].atoms[O_], &s()[c + 1].atoms[N_], &s()[c + 1].atoms[CA_], &s()[c + 1].atoms[C_],
                              &s()[c + 1].atoms[O_], &s()[c + 2].atoms[N_], &s()[c + 2].atoms[CA_]})
            frame += a->sdis(g().closeEnvPos[m]) < pot().maxDis2;
    for (int m = 0; m < g().closeEnvCount; ++m) cb += s()[c + 1].atoms[CB_].sdis(g().closeEnvPos[m]) < pot().maxDis2;  // now both CBs
    bool sawSum = false, sawInternalLimit = false, sawFrameLimit = false;
    for (double v : {0.25, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 8.0, 9.9, 10.0}) {
        fillTables(pot(), v);
        const double got = g().closureScore(s(), c);
        if (v * internal > 200.0) {
            EXPECT_EQ(got, REJECTED) << v;
            sawInternalLimit = true;
        } else if (v * (internal + frame) > 1000.0) {
            EXPECT_EQ(got, REJECTED) << v;
            sawFrameLimit = true;
        } else {
            EXPECT_NEAR(got, v * (internal + frame + cb), 1e-9 * v * (internal + frame + cb)) << v;
            sawSum = true;
        }
    }
    fillTables(pot(), 10.01);
    EXPECT_EQ(g().closureScore(s(), c), REJECTED);  // clash
    EXPECT_TRUE(sawSum && sawInternalLimit && sawFrameLimit) << internal << " internal, " << frame << " frame, " << cb << " CB contacts";
}

// The solver can return up to 16 closures; only eight fit a candidate's slots.
constexpr int repeatCount = 12;
void repeatingSolver(TripeptideClosure& solver, const double n1[3], const double ca1[3], const double ca3[3], const double c3[3],
                     double sn[16][3][3], double sa[16][3][3], double sc[16][3][3], int* num) {
    solver.solve(n1, ca1, ca3, c3, sn, sa, sc, num);
    const int real = *num;
    if (real == 0) return;
    for (int j = real; j < repeatCount; ++j)
        for (auto* arr : {sn, sa, sc}) std::copy(&arr[j % real][0][0], &arr[j % real][0][0] + 9, &arr[j][0][0]);
    *num = repeatCount;
}

TEST_F(RasClosure, AtMostEightClosuresPerCandidate) {
    for (int i = 0; i < 3; ++i)  // every closure passes the torsion test
        std::fill_n(&dist->torsionBins[s()[c + i].type][SS_COIL][0][0], NUM_BINS * NUM_BINS, 1.0 / 5184.0);
    const unsigned seed = seedWith(2, 0);
    ASSERT_NE(seed, 0u);
    std::fill(w().begin(), w().end(), UNSET);
    const int real = close(seed, 0, 0.0, false);
    ASSERT_GE(real, 2);
    const std::vector<std::array<Point, 8>> realAtoms(g().closureAtoms.begin(), g().closureAtoms.begin() + real);
    g().solver = repeatingSolver;
    for (int k : {300, NUM_CAND - 1}) {
        SCOPED_TRACE("candidate " + std::to_string(k));
        std::fill(w().begin(), w().end(), UNSET);
        if (k + 1 < NUM_CAND) markEntries(k + 1);
        EXPECT_EQ(close(seed, k, 1.0, true), CLOSURE_SLOTS);
        for (int j = 0; j < CLOSURE_SLOTS; ++j) {
            EXPECT_EQ(w()[CLOSURE_SLOTS * k + j], 1.0);
            for (int a = 0; a < 8; ++a) EXPECT_LT(g().closureAtoms[CLOSURE_SLOTS * k + j][a].dis(realAtoms[j % real][a]), 1e-6) << j << " " << a;
        }
        for (int e = CLOSURE_SLOTS * (k + 1); e < CLOSURE_SLOTS * (k + 2) && k + 1 < NUM_CAND; ++e) EXPECT_TRUE(entryUnset(e)) << e;
        EXPECT_EQ(std::count_if(w().begin(), w().end(), [](double v) { return v != UNSET; }), CLOSURE_SLOTS);
    }
}

// The native anchors close near the native loop, with synthetic tables and,
// with the real pair table and atom types.
TEST_F(RasClosure, ClosesNearTheNativeBackbone) {
    auto [recorded, best] = scanNative(run, c);
    EXPECT_GT(recorded, 0);
    EXPECT_LT(best, 0.5);
    RasRun real(45, 52, 0.0, true);  // the repository's pair table and atom types
    prepareClosure(real, c);
    double worst = -1e9;
    std::tie(recorded, best) = scanNative(real, c, &worst);
    EXPECT_GT(recorded, 0);
    EXPECT_LT(worst, 200.0);
    EXPECT_LT(best, 0.5);
}

// Keeps child 0 of every seed (a dead seed takes the path of the first live one).
void keepFirstChild(SeedBuffers& B, int step, int seeds) {
    int donor = -1;
    for (int i = 0; i < seeds && donor < 0; ++i)
        if (B.childRecord(i, 0)[5] < 50.0f) donor = i;
    ASSERT_GE(donor, 0) << "every seed died at step " << step;
    for (int i = 0; i < seeds; ++i) {
        const int src = B.childRecord(i, 0)[5] < 50.0f ? i : donor;
        if (src != i)
            for (int j = 0; j < step; ++j) std::copy_n(B.pathRecord(B.tempFrag, j, src), PATH_FIELDS, B.pathRecord(B.tempFrag, j, i));
        std::copy_n(B.childRecord(src, 0), PATH_FIELDS, B.pathRecord(B.tempFrag, step, i));
    }
}

// The closure step of the growth plan, run by the growth step itself on 100
// seeds whose first steps were grown with the real tables. Every child,
// rebuilt from its seed's path, its bin's candidate and its closure values,
// must close onto the fixed end: C(c+2)-N(c+3) 1.33 +- 0.02 A.
TEST(GrowthClosureStepSlow, RasLoopClosesFrom100Seeds) {
    RasRun run(45, 52, 0.0, true, 100, 2);
    Sampler& smc = *run.run;
    SeedBuffers& B = smc.seeds;
    const GrowthPlan& plan = smc.plan;
    Structure& s = smc.work;
    const int last = plan.steps - 1, c = plan.closure, pos = plan.order[last];
    ASSERT_EQ(plan.farPos[last] - pos, 3);
    ASSERT_EQ(pos, c - 1);
    ASSERT_FALSE(plan.backward[last]);
    for (int step = 0; step < last; ++step) {
        smc.liveSeeds = 100;
        growStep(smc, step, false);
        keepFirstChild(B, step, 100);
    }
    smc.liveSeeds = 100;
    growStep(smc, last, false);

    int closed = 0;
    const double caC = tmpl().bondLength[s[c + 2].type][C_];
    std::vector<Point> pts(BB_CAND_POINTS);
    for (int seed = 0; seed < 100; ++seed) {
        Structure t = s;
        for (int j = 0; j < last; ++j) {
            const float* r = B.pathRecord(B.tempFrag, j, seed);
            const int i = plan.order[j];
            if (!plan.backward[j])
                calBBCo(tmpl(), t, i, t[i], t[i + 1], r[0], r[1], r[2], r[4] * DEG2RAD, true);
            else
                calBBCoR(tmpl(), t, i, t[i], t[i - 1], r[0], r[1], r[2], r[4] * DEG2RAD, true);
        }
        const Point grownCA = t[c + 2].atoms[CA_];
        calBBCoNext(tmpl(), t, pos, pts.data(), 1);
        for (int k = 0; k < CHILDREN; ++k) {
            const float* rec = B.childRecord(seed, k);
            if (rec[5] > 50.0f) break;
            if (rec[9] >= REJECTED) continue;  // an unused closure slot of a feasible bin carries no closure
            // Residue c - 1 is the candidate built for the child's bin; c and c + 1 come from the closure values.
            const int a = static_cast<int>(std::lround((rec[0] + PI) / (5.0 * DEG2RAD))), b = static_cast<int>(std::lround((rec[1] + PI) / (5.0 * DEG2RAD)));
            ASSERT_TRUE(a >= 0 && a < 72 && b >= 0 && b < 72);
            const Point* Q = &pts[candPointIndex(a, b, 0)];
            Structure u = t;
            u[pos].atoms[C_] = Q[2];
            u[pos].atoms[O_] = Q[3];
            u[c].atoms[N_] = Q[0];
            u[c].atoms[CA_] = calCoCA(tmpl(), u[pos].atoms[CA_], Q[2], Q[0]);
            calBBCo(tmpl(), u, c, u[c], u[c + 1], rec[11], rec[12], rec[13], rec[14] * DEG2RAD, true);
            calBBCo(tmpl(), u, c + 1, u[c + 1], u[c + 2], rec[15], rec[16], rec[17], rec[18] * DEG2RAD, true);
            const Residue &r2 = u[c + 2], &r3 = u[c + 3];
            SCOPED_TRACE("seed " + std::to_string(seed) + " child " + std::to_string(k));
            EXPECT_NEAR(r2.atoms[C_].dis(r3.atoms[N_]), 1.33, 0.02);
            EXPECT_LT(r2.atoms[CA_].dis(grownCA), 0.01);
            EXPECT_NEAR(r2.atoms[CA_].dis(r2.atoms[C_]), caC, 0.02);
            EXPECT_NEAR(angle(r2.atoms[N_], r2.atoms[CA_], r2.atoms[C_]), tmpl().bondAngle[r2.type][C_] * RAD2DEG, 1.0);
            EXPECT_LT(rec[9], 200.0f + 100.0f);  // closure score below 200 plus growth energy at most 100
            ++closed;
        }
    }
    EXPECT_GT(closed, 0);
}

}  // namespace

// ---- flexible closure: several geometries per candidate, distinct solutions kept ----

namespace {

ClosureSolution solutionAt(double x, double score) {
    ClosureSolution s;
    for (int i = 0; i < 8; ++i) s.atoms[i] = Point(static_cast<float>(x), static_cast<float>(i), 0.0f);
    s.score = score;
    return s;
}

}  // namespace

// Table-driven: which solutions survive, in which order.
TEST(FlexibleClosure, KeepsTheLowestScoringDistinctSolutions) {
    // x positions and scores; solutions 0.1 or 0.05 A apart are one, 0.3 A apart two.
    const std::vector<ClosureSolution> sols = {solutionAt(0.0, 5.0), solutionAt(0.1, 1.0), solutionAt(0.4, 3.0),
                                               solutionAt(2.0, 2.0), solutionAt(2.05, 0.5), solutionAt(5.0, 9.0)};
    struct Case {
        int cap;
        double radius;
        std::vector<int> want;
    };
    for (const Case& k : {Case{8, 0.25, {4, 1, 2, 5}}, Case{2, 0.25, {4, 1}}, Case{0, 0.25, {}}, Case{8, 0.0, {4, 1, 3, 2, 0, 5}}})
        EXPECT_EQ(keepDistinctClosures(sols, k.cap, k.radius), k.want) << "cap " << k.cap << " radius " << k.radius;
    EXPECT_TRUE(keepDistinctClosures({}, 8, 0.25).empty());
}

// The same loop with the backbone angle table loaded and the flexible closure on.
class RasFlexibleClosure : public RasClosure {
protected:
    void SetUp() override {
        const std::string angles = sourcePath("data/backbone_angles.txt");
        loadBackboneAngles(angles, dist->backboneAngles);
        RasClosure::SetUp();
    }
    int closeFlexible(unsigned seed, int k, int draws) {
        run.run->settings.protocol.closeDraws = draws;
        const int n = close(seed, k, 1.5, false);
        run.run->settings.protocol.closeDraws = 0;
        return n;
    }
};

// Every recorded closure: weight = score + E, rebuilt from its record with the
// residue builder (as the filter does) it gives the recorded atoms and meets
// the fixed anchor CA(c+2); the recorded N-CA-C angles lie inside the table;
// the solutions differ pairwise; no entry of another candidate is touched.
TEST_F(RasFlexibleClosure, RecordedClosuresRebuildOntoTheAnchors) {
    const Structure before = s();
    int total = 0, maxN = 0;
    const int k = 40;
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::fill(w().begin(), w().end(), UNSET);
        const int n = closeFlexible(seed, k, 6);
        ASSERT_GE(n, 0);
        ASSERT_LE(n, CLOSURE_SLOTS);
        total += n;
        maxN = std::max(maxN, n);
        for (int j = 0; j < n; ++j) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " closure " + std::to_string(j));
            const int e = CLOSURE_SLOTS * k + j;
            EXPECT_DOUBLE_EQ(w()[e], 1.5);  // score 0 everywhere, plus E
            const std::array<float, 8>& D = g().closureData[e];
            const std::array<Point, 8>& A = g().closureAtoms[e];
            Structure r = before;
            calBBCo(tmpl(), r, c, r[c], r[c + 1], D[0], D[1], D[2], D[3] * DEG2RAD, true);
            calBBCo(tmpl(), r, c + 1, r[c + 1], r[c + 2], D[4], D[5], D[6], D[7] * DEG2RAD, true);
            const Point rebuilt[8] = {r[c].atoms[C_],     r[c].atoms[O_],     r[c + 1].atoms[N_], r[c + 1].atoms[CA_],
                                      r[c + 1].atoms[C_], r[c + 1].atoms[O_], r[c + 2].atoms[N_], r[c + 2].atoms[CA_]};
            for (int a = 0; a < 8; ++a) EXPECT_LT(rebuilt[a].dis(A[a]), 2e-3) << "atom " << a;
            EXPECT_LT(A[7].dis(before[c + 2].atoms[CA_]), 2e-3);
            for (int q : {3, 7}) {
                EXPECT_GE(D[q], 100.0f);
                EXPECT_LE(D[q], 125.0f);
            }
            for (int q : {2, 6}) EXPECT_LT(std::fabs(wrapRad(D[q] - PI)), 40.0 * DEG2RAD);
            for (int i = 0; i < j; ++i) {
                double d = 0.0;
                for (int a = 0; a < 8; ++a) d += A[a].sdis(g().closureAtoms[CLOSURE_SLOTS * k + i][a]);
                EXPECT_GE(d, 8 * 0.25 * 0.25) << "closures " << i << " and " << j << " are one";
            }
        }
        for (int e = 0; e < CLOSURE_ENTRIES; ++e) {
            const bool own = e >= CLOSURE_SLOTS * k && e < CLOSURE_SLOTS * k + n;
            if (!own) {
                ASSERT_EQ(w()[e], UNSET) << e;
            }
        }
    }
    EXPECT_GT(total, 0);
    EXPECT_GE(maxN, 2) << "six geometries should close this candidate more than one way";
    EXPECT_EQ(s()[c].atoms[N_].sdis(before[c].atoms[N_]) + s()[c].atoms[CA_].sdis(before[c].atoms[CA_]) +
                  s()[c + 2].atoms[CA_].sdis(before[c + 2].atoms[CA_]) + s()[c + 2].atoms[C_].sdis(before[c + 2].atoms[C_]),
              0.0f);
}

// Six geometries record more distinct closures than one (summed over seeds).
TEST_F(RasFlexibleClosure, MoreGeometriesRecordMoreClosures) {
    int one = 0, six = 0;
    for (unsigned seed = 1; seed <= 20; ++seed) {
        one += closeFlexible(seed, 40, 1);
        six += closeFlexible(seed, 40, 6);
    }
    EXPECT_GT(one, 0);
    EXPECT_GT(six, one);
}

// Without the table the flexible closure stops with a data error, naming it.
TEST_F(RasClosure, FlexibleClosureNeedsTheAngleTable) {
    run.run->settings.protocol.closeDraws = 2;
    EXPECT_ERROR(close(1, 40, 0.0, false), 1, "backbone angle table");
    run.run->settings.protocol.closeDraws = 0;
}
