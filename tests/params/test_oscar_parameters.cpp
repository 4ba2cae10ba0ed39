// OSCAR side-chain parameters of lorvane-params: Fourier fits of -ln P(chi),
// the polar-group records, the pair fits on synthetic statistics, and the
// round trip of oscarparams.txt through the program's loader.
#include <cmath>
#include <sstream>

#include "model/residue.h"
#include "model/table_text.h"
#include "params/oscar_parameters.h"
#include "params/statistics.h"
#include "params_support.h"
#include "potentials/potentials.h"

using namespace params_test;

namespace {

int cls(const char* name) { return oscarClassIndex(name); }

double energy(const double* P, double r, double c1, double c2, double c3) {
    const double u = 1.0 / (r * r);
    const double f = P[4] * c1 * c1 + P[5] * c2 * c2 + P[6] * c3 * c3 + P[7] * c1 * c2 + P[8] * c1 * c3 + P[9] * c2 * c3 +
                     P[10] * c1 + P[11] * c2 + P[12] * c3 + P[13];
    return f * (P[0] * u + P[1] * u * u + P[2] * u * u * u + P[3] * u * u * u * u);
}

// Contacts of one class pair with a well at `well` A and an orientation preference for
// c1 in the lowest bin; every other class pair a flat background.
OscarCounts syntheticCounts(int a, int b, double well) {
    OscarCounts c;
    c.reset();
    const int h = cls("H"), hc = cls("HC");
    for (int i = 0; i < OSCAR_CLASSES; ++i)
        for (int j = i; j < OSCAR_CLASSES; ++j) {
            if (i == h || i == hc || j == h || j == hc) continue;  // hydrogens are never group atoms
            const int pi = oscarPairIndex(i, j);
            for (int d = 25; d < OSCAR_DBINS; ++d) {
            const double r = (d + 0.5) * 0.1;
                c.dist[static_cast<size_t>(pi) * OSCAR_DBINS + d] = fixedWeight(50.0 * std::pow(r, 1.61));
            }
        }
    for (int pi = 0; pi < OSCAR_NPAIRS; ++pi)
        for (int k = 0; k < OSCAR_OCELLS; ++k) c.orient[static_cast<size_t>(pi) * OSCAR_OCELLS + k] = fixedWeight(20.0);
    const int p = oscarPairIndex(a, b);
    for (int d = 0; d < OSCAR_DBINS; ++d) {
        const double r = (d + 0.5) * 0.1;
        const double x = (r - well) / 0.25;
        double v = r < well - 0.4 ? 0.0 : 50.0 * std::pow(r, 1.61) * (1.0 + 4.0 * std::exp(-0.5 * x * x));
        c.dist[static_cast<size_t>(p) * OSCAR_DBINS + d] = fixedWeight(v);
    }
    for (int k = 0; k < OSCAR_OCELLS; ++k) {
        const int b1 = k / (OSCAR_OBINS * OSCAR_OBINS);
        c.orient[static_cast<size_t>(p) * OSCAR_OCELLS + k] = fixedWeight(b1 == 0 ? 120.0 : 20.0);
    }
    return c;
}

}  // namespace

TEST(OscarFit, FourierFitRecoversHarmonics) {
    const double want[6] = {0.7, -0.3, 1.1, 0.25, -2.0, 0.4};
    double y[CHI_BINS];
    for (int k = 0; k < CHI_BINS; ++k) {
        const double x = (-180.0 + (k + 0.5) * 10.0) * M_PI / 180.0;
        y[k] = 3.0 + want[0] * std::cos(x) + want[1] * std::sin(x) + want[2] * std::cos(2 * x) + want[3] * std::sin(2 * x) +
               want[4] * std::cos(3 * x) + want[5] * std::sin(3 * x) + 0.5 * std::cos(5 * x);  // constant and 5th harmonic drop out
    }
    double c[6];
    fourierFit(y, CHI_BINS, c);
    for (int m = 0; m < 6; ++m) EXPECT_NEAR(c[m], want[m], 1e-9) << m;
}

TEST(OscarTest, DipoleRecordsGiveClassesAndNeighbours) {
    const DipoleTable d = readDipole(lorvane_test::sourcePath("data/dipole.fress"));
    for (int t = 0; t < 20; ++t) {
        ASSERT_FALSE(d.atoms[t].empty()) << threeLetter(t);
        for (const GroupAtom& g : d.atoms[t]) {
            EXPECT_EQ(d.group[t][g.slot], &g - d.atoms[t].data());
            EXPECT_GE(g.cls, 0);
            if (oscarPlanarClass(g.cls)) {
                EXPECT_GE(g.nnb, 2);
            }
        }
    }
    // The backbone carbonyl is planar class C with CA and O as its plane.
    const GroupAtom& c = d.atoms[ALA][d.group[ALA][2]];
    EXPECT_EQ(c.cls, cls("C"));
    EXPECT_EQ(c.nb[0], 1);
    EXPECT_EQ(c.nb[1], 3);
    EXPECT_EQ(d.group[ALA][1], -1);  // CA is not a group atom
}

TEST(OscarTest, ScoredPairsFollowTheEnergyTermsExclusions) {
    EXPECT_FALSE(oscarPairScored(ALA, 5, 5, 4, 2));  // CB(i) - C(i-1)
    EXPECT_TRUE(oscarPairScored(ALA, 5, 5, 4, 3));   // CB(i) - O(i-1)
    EXPECT_FALSE(oscarPairScored(ALA, 5, 5, 6, 0));  // CB(i) - N(i+1)
    EXPECT_TRUE(oscarPairScored(LEU, 5, 6, 6, 0));
    EXPECT_FALSE(oscarPairScored(PRO, 5, 7, 4, 3));  // proline CD with anything of i-1
    EXPECT_FALSE(oscarPairScored(PRO, 5, 6, 4, 2));
    EXPECT_TRUE(oscarPairScored(PRO, 5, 6, 4, 3));
    EXPECT_FALSE(oscarPairScored(LYS, 5, 9, 5, 5));  // same residue: left to the torsion term
    EXPECT_TRUE(oscarPairScored(LYS, 5, 9, 9, 5));
}

TEST(OscarTest, PairFitHasAWellAWallAndABoundedOrientationFactor) {
    // Counts are kept with c1 the angle at the atom of the lower class index.
    const int a = cls("OC"), b = cls("OG");
    ASSERT_LT(a, b);
    OscarCounts c = syntheticCounts(a, b, 2.7);
    OscarParams p;
    OscarFit fit;
    fitOscar(c, p, fit);
    const double* P = fit.pb[a][b];
    // Distance part at the preferred orientation factor 1 (P13 dominates at c = 0).
    const double eWell = energy(P, 2.7, 0, 0, 0), eFar = energy(P, 6.0, 0, 0, 0), eClose = energy(P, 2.0, 0, 0, 0);
    EXPECT_LT(eWell, -0.3);
    EXPECT_GT(eClose, eWell + 1.0) << "the wall rises inside the closest contacts";
    EXPECT_GT(eFar, eWell);
    EXPECT_LT(std::fabs(eFar), 0.3);
    // The enriched orientation (c1 near -1) scores lower than the depleted one (c1 near +1).
    EXPECT_LT(energy(P, 2.7, -0.9, 0, 0), energy(P, 2.7, 0.9, 0, 0));
    // The factor stays inside [fMin, fMax] everywhere on the cube.
    for (double c1 = -1; c1 <= 1.0001; c1 += 0.5)
        for (double c2 = -1; c2 <= 1.0001; c2 += 0.5)
            for (double c3 = -1; c3 <= 1.0001; c3 += 0.5) {
                const double f = energy(P, 2.7, c1, c2, c3) / energy(P, 2.7, 0, 0, 0) * (P[13]);
                EXPECT_GE(f, p.fMin - 1e-9);
                EXPECT_LE(f, p.fMax + 1e-9);
            }
    // Seen from the other atom the same contact scores the same.
    EXPECT_NEAR(energy(fit.pb[b][a], 2.7, 0.3, -0.6, 0.2), energy(P, 2.7, -0.6, 0.3, 0.2), 1e-12);
}

TEST(OscarTest, FileRoundTripThroughTheLoader) {
    OscarCounts c = syntheticCounts(cls("N3"), cls("OC"), 2.9);
    // Side-chain dihedrals: a three-well chi1 for every type.
    for (int t = 0; t < 20; ++t)
        for (int k = 0; k < 5; ++k)
            for (int bin = 0; bin < CHI_BINS; ++bin)
                c.chi[(static_cast<size_t>(t) * 5 + k) * CHI_BINS + bin] = fixedWeight(bin % 12 == 5 ? 100.0 : 1.0 + bin % 3);
    OscarParams p;
    OscarFit fit;
    fitOscar(c, p, fit);
    const std::string text = formatOscar(fit);
    // The O-O record closes the file.
    std::istringstream in(text);
    std::string line, last;
    int records = 0;
    while (std::getline(in, line)) {
        last = line;
        ++records;
    }
    EXPECT_EQ(last.substr(0, 4), "O O ");
    int torsionLines = 0;
    for (int t = 0; t < 20; ++t) torsionLines += NUM_SC_DIHEDRALS[t];
    EXPECT_EQ(records, torsionLines + OSCAR_CLASSES * OSCAR_CLASSES);
    Potentials pot;
    TableText table("oscarparams.txt", text);
    parseOscar(pot, table);
    for (int t = 0; t < 20; ++t)
        for (int k = 0; k < NUM_SC_DIHEDRALS[t]; ++k)
            for (int m = 0; m < 6; ++m) ASSERT_NEAR(pot.pcs[t][k][m], fit.pcs[t][k][m], 1e-7 * (1 + std::fabs(fit.pcs[t][k][m])));
    // The hydroxyl-H dihedrals of Ser, Thr and Tyr carry nothing.
    for (int t : {SER, THR, TYR})
        for (int m = 0; m < 6; ++m) EXPECT_EQ(pot.pcs[t][NUM_SC_DIHEDRALS[t] - 1][m], 0.0);
    // A three-well chi1 is fitted mainly by the third harmonic.
    EXPECT_GT(std::hypot(pot.pcs[LEU][0][4], pot.pcs[LEU][0][5]), std::hypot(pot.pcs[LEU][0][0], pot.pcs[LEU][0][1]));
    for (int i = 0; i < OSCAR_CLASSES; ++i)
        for (int j = 0; j < OSCAR_CLASSES; ++j)
            for (int m = 0; m < 14; ++m) ASSERT_NEAR(pot.pb[i][j][m], fit.pb[i][j][m], 1e-7 * (1 + std::fabs(fit.pb[i][j][m])));
    // Unused hydrogen classes score nothing.
    for (int m = 0; m < 4; ++m) EXPECT_EQ(pot.pb[cls("H")][cls("HC")][m], 0.0);
}
