// Torsion bins, angle helpers, smoothing kernels, and the torsion-bin and
// joint-distance tables on synthetic training chains: filters, bin placement,
// normalisation, the files read back through the sampler's loaders, coverage
// of the data that built them, determinism.
#include <memory>
#include <numeric>

#include "distributions/distributions.h"
#include "params/chain_geometry.h"
#include "params/joint_distances.h"
#include "params/smoothing.h"
#include "params/statistics.h"
#include "params/torsion_bins.h"
#include "params_support.h"

using namespace params_test;

TEST(ParamsTorsionBins, CentredFiveDegreeBinsWrapAtPlusMinus180) {
    // Bin k is centred on -180 + 5k and covers [-182.5 + 5k, -177.5 + 5k).
    EXPECT_EQ(torsionBin(-62.4), 24);  // centre -60 covers [-62.5, -57.5)
    EXPECT_EQ(torsionBin(-62.5), 24);
    EXPECT_EQ(torsionBin(-62.6), 23);
    EXPECT_EQ(torsionBin(-57.5), 25);
    EXPECT_EQ(torsionBin(-180.0), 0);
    EXPECT_EQ(torsionBin(180.0), 0);    // same angle as -180
    EXPECT_EQ(torsionBin(177.5), 0);    // lower edge of bin 0 seen from above
    EXPECT_EQ(torsionBin(177.49), 71);
    EXPECT_EQ(torsionBin(-177.51), 0);
    EXPECT_EQ(torsionBin(-177.5), 1);
    EXPECT_EQ(torsionBin(0.0), 36);
    EXPECT_EQ(torsionBin(2.49), 36);
    EXPECT_EQ(torsionBin(540.0), 0);    // more than one turn still wraps
    for (int k = 0; k < NUM_BINS; ++k) EXPECT_EQ(torsionBin(-180.0 + 5.0 * k), k) << "centre of bin " << k;
}

TEST(ParamsAngles, WrapAndDifferenceHonourThePeriod) {
    EXPECT_NEAR(wrapAngle(190.0, 360.0), -170.0, 1e-12);
    EXPECT_NEAR(wrapAngle(-190.0, 360.0), 170.0, 1e-12);
    EXPECT_NEAR(wrapAngle(100.0, 180.0), -80.0, 1e-12);
    EXPECT_NEAR(angDiff(170.0, -170.0, 360.0), 20.0, 1e-12);
    // Two-fold symmetric chi: 85 and -85 differ by 10 degrees, not 170.
    EXPECT_NEAR(angDiff(85.0, -85.0, 180.0), 10.0, 1e-12);
    EXPECT_NEAR(angDiff(85.0, -85.0, 360.0), 170.0, 1e-12);
}

TEST(ParamsStatistics, WeightedQuantileFollowsWeights) {
    std::vector<std::pair<float, float>> v = {{3.0f, 1.0f}, {1.0f, 1.0f}, {2.0f, 8.0f}};
    EXPECT_FLOAT_EQ(weightedQuantile(v, 0.05), 1.0f);
    EXPECT_FLOAT_EQ(weightedQuantile(v, 0.5), 2.0f);
    EXPECT_FLOAT_EQ(weightedQuantile(v, 0.95), 3.0f);
    EXPECT_FLOAT_EQ(weightedQuantile(v, 1.0), 3.0f);
}

TEST(ParamsSmoothing, VonMisesKeepsMassAndWrapsAround) {
    std::vector<double> in(NUM_BINS * NUM_BINS, 0.0), out(NUM_BINS * NUM_BINS);
    in[0] = 1.0;  // phi bin 0, psi bin 0 (both -180)
    vonMisesSmooth(in.data(), out.data(), 10.0);
    EXPECT_NEAR(std::accumulate(out.begin(), out.end(), 0.0), 1.0, 1e-12);
    // Symmetric across the +-180 seam in both directions.
    EXPECT_NEAR(out[0 * NUM_BINS + 1], out[0 * NUM_BINS + 71], 1e-15);
    EXPECT_NEAR(out[1 * NUM_BINS + 0], out[71 * NUM_BINS + 0], 1e-15);
    EXPECT_GT(out[71 * NUM_BINS + 71], 0.0);
    EXPECT_GT(out[0], out[1]);
    // A wider kernel spreads further.
    std::vector<double> wide(NUM_BINS * NUM_BINS);
    vonMisesSmooth(in.data(), wide.data(), 20.0);
    EXPECT_LT(wide[0], out[0]);
    EXPECT_GT(wide[6], out[6]);
}

TEST(ParamsSmoothing, GaussBlurStaysLocal) {
    double in[256] = {}, out[256];
    in[5 * 16 + 5] = 1.0;
    gaussBlur16(in, out, 0.75, 2);
    double sum = 0;
    for (double v : out) sum += v;
    EXPECT_NEAR(sum, 1.0, 1e-12);  // nothing reaches an edge here
    EXPECT_GT(out[5 * 16 + 7], 0.0);
    EXPECT_EQ(out[5 * 16 + 8], 0.0);  // truncated at two cells
    EXPECT_NEAR(out[4 * 16 + 5], out[6 * 16 + 5], 1e-15);
}

namespace {

// Deterministic pseudo-random loop-like chains: dihedrals from the helix,
// strand, polyproline and left-handed regions, plus a few glycines.
TrainingSet loopSet(int chains, int length) {
    TrainingSet ts;
    unsigned s = 12345;
    auto rnd = [&]() {
        s = s * 1103515245u + 12345u;
        return ((s >> 8) & 0xffff) / 65536.0;
    };
    const double reg[4][2] = {{-63, -42}, {-120, 130}, {-70, 145}, {60, 40}};
    for (int c = 0; c < chains; ++c) {
        std::vector<ResidueRecipe> recipe(static_cast<size_t>(length));
        for (ResidueRecipe& r : recipe) {
            int k = static_cast<int>(rnd() * 3.3);
            r.type = k == 3 ? GLY : (rnd() < 0.5 ? SER : LEU);
            r.phi = reg[k][0] + 20 * (rnd() - 0.5);
            r.psi = reg[k][1] + 20 * (rnd() - 0.5);
            r.ss = 'C';
        }
        ts.chains.push_back(chainOf(buildChain(recipe, 'A', 1), "s" + std::to_string(c)));
    }
    return ts;
}


}  // namespace

TEST(ParamsPhipsi, FiltersAndBinPlacement) {
    TrainingSet ts;
    // 20 alanines at phi -62.4, psi -41.0: 18 have both dihedrals.
    ts.chains.push_back(chainOf(buildChain(uniform(20, ALA, -62.4, -41.0)), "h1"));
    // A non-proline cis peptide after residue 5 removes residues 5 and 6.
    std::vector<ResidueRecipe> cis = uniform(12, ALA, -62.4, -41.0);
    cis[5].omega = 0.0;
    ts.chains.push_back(chainOf(buildChain(cis), "c1"));
    // High B-factor on the CA of residue 3 removes it.
    auto hb = buildChain(uniform(12, ALA, -62.4, -41.0));
    hb[3].bfactor[1] = 95.0f;
    ts.chains.push_back(chainOf(hb, "b1"));
    // A break before residue 6: residues 5 and 6 lose psi and phi.
    auto br = buildChain(uniform(12, ALA, -62.4, -41.0));
    br[6].breakBefore = true;
    ts.chains.push_back(chainOf(br, "k1"));

    PhipsiParams p;
    PhipsiCounts c;
    collectPhipsi(ts, p, nullptr, c);
    EXPECT_EQ(c.defined, 18 + 10 + 10 + 8);
    EXPECT_EQ(c.cisNonPro, 2);
    EXPECT_EQ(c.highB, 1);
    EXPECT_EQ(c.used, c.defined - 3);
    // Every used residue lands in phi bin 24 (centre -60), psi bin 28 (centre -40), class C.
    const size_t T = NUM_BINS * NUM_BINS;
    const double* ac = c.hist.data() + (ALA * 3 + 2) * T;
    EXPECT_DOUBLE_EQ(ac[24 * NUM_BINS + 28], static_cast<double>(c.used));
    EXPECT_DOUBLE_EQ(std::accumulate(c.hist.begin(), c.hist.end(), 0.0), static_cast<double>(c.used));

    std::vector<double> tables;
    buildPhipsi(c, p, tables);
    for (int t = 0; t < 20; ++t)
        for (int s = 0; s < 3; ++s) {
            const double* tab = tables.data() + (t * 3 + s) * T;
            EXPECT_NEAR(std::accumulate(tab, tab + T, 0.0), 1.0, 1e-9) << "type " << t << " class " << s;
        }
    const double* tab = tables.data() + (ALA * 3 + 2) * T;
    EXPECT_EQ(std::max_element(tab, tab + T) - tab, 24 * NUM_BINS + 28);
}

TEST(ParamsPhipsi, FileReadsBackThroughTheSamplerLoader) {
    TrainingSet ts = loopSet(30, 40);
    PhipsiParams p;
    PhipsiCounts c;
    collectPhipsi(ts, p, nullptr, c);
    std::vector<double> tables;
    buildPhipsi(c, p, tables);
    const std::string text = formatPhipsi(tables);
    // No empty line (it would end reading) and 60 blocks of 73 lines.
    EXPECT_EQ(text.find("\n\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 60 * 73);
    lorvane_test::ScratchDir dir;
    dir.write("phipsi.bb.txt", text);
    Distributions dist;
    loadTorsionBins(dist, dir.path("phipsi.bb.txt"));
    for (int t = 0; t < 20; ++t)
        for (int s = 0; s < 3; ++s) {
            double sum = 0;
            for (int a = 0; a < NUM_BINS; ++a)
                for (int b = 0; b < NUM_BINS; ++b) {
                    const double want = tables[((t * 3 + s) * NUM_BINS + a) * NUM_BINS + b];
                    EXPECT_NEAR(dist.torsionBins[t][s][a][b], want, want * 1e-4 + 1e-300);
                    sum += dist.torsionBins[t][s][a][b];
                }
            EXPECT_NEAR(sum, 1.0, 1e-3);
        }
    // Every residue that built the table is possible for the sampler.
    for (const TrainChain& ch : ts.chains)
        for (size_t i = 0; i < ch.residues.size(); ++i) {
            double phi, psi;
            if (!phiPsi(ch, i, phi, psi)) continue;
            EXPECT_GE(dist.torsionBins[ch.residues[i].type][SS_COIL][torsionBin(phi)][torsionBin(psi)], MIN_TORSION_PROB);
        }
    // Same input, same bytes.
    std::vector<double> again;
    buildPhipsi(c, p, again);
    EXPECT_EQ(formatPhipsi(again), text);
}

TEST(ParamsDistances, SegmentClassIsMostlyCoil) {
    // classes: C C H H H C E E E C
    const std::string ss = "CCHHHCEEEC";
    std::vector<int> coil(ss.size() + 1, 0), helix(ss.size() + 1, 0);
    for (size_t i = 0; i < ss.size(); ++i) {
        coil[i + 1] = coil[i] + (ss[i] == 'C');
        helix[i + 1] = helix[i] + (ss[i] == 'H');
    }
    EXPECT_EQ(segmentClass(coil, helix, 0, 3, 0.5), 2);  // CCHH: half coil
    EXPECT_EQ(segmentClass(coil, helix, 1, 4, 0.5), 0);  // CHHH
    EXPECT_EQ(segmentClass(coil, helix, 5, 8, 0.5), 1);  // CEEE
    EXPECT_EQ(segmentClass(coil, helix, 3, 7, 0.5), 0);  // HHCEE: tie goes to H
    EXPECT_EQ(segmentClass(coil, helix, 4, 9, 0.5), 1);  // HCEEEC: 2 of 6 coil
}

TEST(ParamsDistancesTables, TablesCoverTheirOwnSegmentsThroughTheLoaders) {
    TrainingSet ts = loopSet(60, 45);
    DistanceParams p;
    auto fw = std::make_unique<DistanceTables>(), bw = std::make_unique<DistanceTables>();
    buildDistances(ts, p, *fw, *bw);
    lorvane_test::ScratchDir dir;
    const std::string mf = formatMarginal(*fw), mb = formatMarginal(*bw), cf = formatConditional(*fw), cb = formatConditional(*bw);
    EXPECT_EQ(std::count(mf.begin(), mf.end(), '\n'), 19 * 3 * 17);
    EXPECT_EQ(std::count(cf.begin(), cf.end(), '\n'), 19 * 3 * 100 * 17);
    dir.write("m.txt", mf);
    dir.write("mb.txt", mb);
    dir.write("c.txt", cf);
    dir.write("cb.txt", cb);
    Distributions dist;
    loadJointMarginal(dist, dir.path("m.txt"), false);
    loadJointMarginal(dist, dir.path("mb.txt"), true);
    loadJointCond(dist, dir.path("c.txt"), false);
    loadJointCond(dist, dir.path("cb.txt"), true);

    // Marginal tables sum to one; the helix and strand classes saw no data here.
    for (int g = 3; g <= 21; ++g) {
        double sum = 0;
        for (int i = 0; i < 16; ++i)
            for (int j = 0; j < 16; ++j) sum += dist.forward.marginal[g][SS_COIL][i][j];
        EXPECT_NEAR(sum, 1.0, 1e-3) << "gap " << g;
        EXPECT_EQ(dist.forward.marginalLimits[g][SS_HELIX][1], 0.0);
    }
    // Every segment of the training chains passes the sampler's tests with
    // the forward definitions (C(pos), CA(pos+1)) and the backward ones
    // (N(pos), CA(pos-1)).
    long tested = 0;
    for (const TrainChain& ch : ts.chains) {
        const auto& R = ch.residues;
        const int n = static_cast<int>(R.size());
        for (int g = 3; g <= 21; ++g)
            for (int lo = 0; lo + g < n; ++lo) {
                const int hi = lo + g;
                for (bool backward : {false, true}) {
                    const int pos = backward ? hi : lo, rpos = backward ? lo : hi;
                    const Point& far = R[rpos].atoms[1];
                    const double d0 = R[pos].atoms[1].dis(far);
                    const double d1 = (backward ? R[pos].atoms[0] : R[pos].atoms[2]).dis(far);
                    const double d2 = R[backward ? pos - 1 : pos + 1].atoms[1].dis(far);
                    double pm, pc;
                    ASSERT_TRUE(marginalProb(dist, backward, g, d1, d2, pm)) << "gap " << g << (backward ? " backward" : " forward");
                    EXPECT_GE(pm, MIN_DIST_PROB);
                    const int r0 = endDistanceRow(d0);
                    ASSERT_FALSE(condRowDegenerate(dist, backward, g, r0)) << "gap " << g << " r " << r0;
                    ASSERT_TRUE(condProb(dist, backward, g, r0, d1 - d0, d2 - d0, pc));
                    EXPECT_GE(pc, MIN_DIST_PROB);
                    ++tested;
                }
            }
    }
    EXPECT_GT(tested, 40000);
    // Forward and backward tables differ (different atoms), and rows far
    // beyond any segment are degenerate with all-zero limits.
    EXPECT_NE(mf, mb);
    EXPECT_TRUE(condRowDegenerate(dist, false, 3, 40));
    EXPECT_EQ(dist.forward.condLimits[3][SS_COIL][40][0], 0.0);
    EXPECT_EQ(dist.forward.condLimits[3][SS_COIL][40][1], 0.0);
    EXPECT_TRUE(condRowDegenerate(dist, false, 3, 1));
    // Determinism.
    auto fw2 = std::make_unique<DistanceTables>(), bw2 = std::make_unique<DistanceTables>();
    buildDistances(ts, p, *fw2, *bw2);
    EXPECT_EQ(formatConditional(*bw2), cb);
    EXPECT_EQ(formatMarginal(*fw2), mf);
}

TEST(ParamsDistancesTables, SegmentsNeverCrossBreaks) {
    // One chain of 12 residues with a break before index 6: no segment of gap
    // >= 6 exists, and gap 3 has (6 - 3) * 2 forward segments.
    TrainingSet ts;
    auto res = buildChain(uniform(12, SER, -70, 145));
    res[6].breakBefore = true;
    ts.chains.push_back(chainOf(res, "brk"));
    DistanceParams p;
    auto fw = std::make_unique<DistanceTables>(), bw = std::make_unique<DistanceTables>();
    buildDistances(ts, p, *fw, *bw);
    long n3 = 0;
    for (int s = 0; s < 3; ++s) n3 += fw->observations[3][s];
    EXPECT_EQ(n3, 6);
    for (int g = 6; g <= 21; ++g)
        for (int s = 0; s < 3; ++s) EXPECT_EQ(fw->observations[g][s] + bw->observations[g][s], 0) << "gap " << g;
}
