// Atom-record output, backbone dihedrals and secondary-structure assignment.
#include <cmath>

#include "model/backbone_dihedrals.h"
#include "model/geometry.h"
#include "model/model_support.h"
#include "model/output.h"
#include "model/secondary_structure.h"

using namespace lorvane;

using namespace model_test;

namespace {

// Every heavy template slot once, in slot order, in the sampler's columns
// (coordinates are checked by the reader's round trip).
TEST(Output, EveryHeavySlotOnceInFixedColumns) {
    Structure s(20);
    std::vector<std::string> want;
    for (int t = 0; t < 20; ++t) {
        Residue& r = s.residues[t + 1];
        r.type = static_cast<int16_t>(t), r.pdbNum = 100 + t, r.numAtoms = static_cast<int16_t>(tmpl().numAtom[t]);
        for (int j = 0; j < tmpl().numAtom[t]; ++j) r.atoms[j].init(10.0 * t + j, 0.5 * j, -1.25 * j, tmpl().vdwType[t][j]);
        for (int j = 0; j <= LAST_HEAVY_SLOT[t]; ++j)
            if (j != 4 && !(t == GLY && j == 5))  // columns 13-26: name from column 14, residue, chain A, PDB number
                want.push_back((" " + tmpl().atomName[t][j] + "   ").substr(0, 4) + " " + threeLetter(t) + " A " + std::to_string(100 + t));
    }
    s.residues[3].atoms[5].type = ABSENT;  // absent atoms are written at their stored place
    std::ostringstream os;
    writeAtomRecords(tmpl(), s, 1, 20, os);
    const auto all = lines(os.str());
    ASSERT_EQ(all.size(), want.size());
    for (size_t k = 0; k < all.size(); ++k) {
        const std::string& l = all[k];
        ASSERT_EQ(l.size(), 54u) << l;
        EXPECT_EQ(l.substr(0, 6) + std::to_string(std::stoi(l.substr(6, 5))), "ATOM  " + std::to_string(k + 1)) << l;
        EXPECT_EQ(l.substr(12, 14), want[k]);
    }
    std::ostringstream one;
    writeAtomRecords(tmpl(), s, 2, 2, one);
    EXPECT_EQ(one.str().substr(6, 5), "    1");  // serials restart per call

    // Name placement and number format.
    Residue& r = s.residues[1];
    r.pdbNum = -12;
    r.atoms[0].x = -123.456f, r.atoms[1].x = 1.23456f, r.atoms[2].x = 10000.5f;
    Templates renamed = tmpl();
    renamed.atomName[ALA][0] = "1HB", renamed.atomName[ALA][1] = "OXTA", renamed.atomName[ALA][3] = "CB";
    std::ostringstream f;
    writeAtomRecords(renamed, s, 1, 1, f);
    const auto l = lines(f.str());
    ASSERT_EQ(l.size(), 5u);
    EXPECT_EQ(l[0].substr(12, 5), "1HB  ");  // digit first: from column 13
    EXPECT_EQ(l[1].substr(12, 5), "OXTA ");  // four characters: unchanged
    EXPECT_EQ(l[3].substr(12, 5), " CB  ");  // otherwise from column 14
    EXPECT_EQ(l[0].substr(22, 4), " -12");
    EXPECT_EQ(l[0].substr(30, 8), "-123.456");
    EXPECT_EQ(l[1].substr(30, 8), "   1.235");
    EXPECT_EQ(l[2].substr(30, 9), "10000.500");  // widens the field
}

// ---- secondary structure ----

double rad(double deg) { return deg * PI / 180.0; }

// Alanine backbone with ideal bond geometry (Engh & Huber 1991) and the given dihedrals.
Structure buildChain(const std::vector<std::pair<double, double>>& phipsi, double omega = 180.0) {
    const int n = static_cast<int>(phipsi.size());
    Structure s(n);
    auto& R = s.residues;
    for (int i = 1; i <= n; ++i) {
        R[i].type = ALA;
        R[i].numAtoms = 6;
        for (int j : {0, 1, 2, 3, 5}) R[i].atoms[j].type = 1;
    }
    R[1].atoms[1].CopyPos(Point(1.458f, 0, 0));
    calCo(Point(-0.5f, 1.3f, 0.0f), R[1].atoms[0], R[1].atoms[1], 1.525, rad(111.2), rad(-60), R[1].atoms[2]);
    for (int i = 1; i < n; ++i) {
        Atom *a = R[i].atoms, *b = R[i + 1].atoms;
        calCo(a[0], a[1], a[2], 1.329, rad(116.2), rad(phipsi[i - 1].second), b[0]);
        calCo(a[1], a[2], b[0], 1.458, rad(121.7), rad(omega), b[1]);
        calCo(a[2], b[0], b[1], 1.525, rad(111.2), rad(phipsi[i].first), b[2]);
        calCo(b[0], a[1], a[2], 1.231, rad(120.5), rad(180), a[3]);
    }
    calCo(R[n].atoms[0], R[n].atoms[1], R[n].atoms[2], 1.231, rad(120.5), rad(-40), R[n].atoms[3]);
    for (int i = 1; i <= n; ++i) calCo(R[i].atoms[2], R[i].atoms[0], R[i].atoms[1], 1.53, rad(110.5), rad(-122.6), R[i].atoms[5]);
    return s;
}

TEST(AssignSS, MeasuresDihedralsAndClassifies) {
    const std::vector<std::pair<double, double>> pp = {{-70, 140}, {-60, -45}, {-65, -40}, {-120, 130}, {60, 40}, {-75, 150}};
    Structure s = buildChain(pp, 178.0);
    const int n = 6;
    assign_ss(s, 1, n);
    auto& R = s.residues;
    EXPECT_EQ(R[1].phi, UNDEF_DIHEDRAL);
    EXPECT_EQ(R[n].psi, UNDEF_DIHEDRAL);
    EXPECT_EQ(R[n].omega, UNDEF_DIHEDRAL);
    for (int i = 1; i <= n; ++i) {
        SCOPED_TRACE(i);
        if (i > 1) { EXPECT_NEAR(std::remainder(R[i].phi - pp[i - 1].first, 360.0), 0.0, 0.01); }
        if (i < n) {
            EXPECT_NEAR(std::remainder(R[i].psi - pp[i - 1].second, 360.0), 0.0, 0.01);
            EXPECT_NEAR(std::remainder(R[i].omega - 178.0, 360.0), 0.0, 0.01);
        }
    }
    // Helix at 2-3; the isolated strand at 4 between helix and coil turns coil; ends coil.
    std::string ss;
    for (int i = 1; i <= n; ++i) ss += "HEC"[R[i].ss];
    EXPECT_EQ(ss, "CHHCCC");
}

// phi, psi and omega of a chain built from known dihedrals, read back per residue.
TEST(BackboneDihedrals, KnownAnswersOnABuiltChain) {
    const std::vector<std::pair<double, double>> pp = {{-70, 140}, {-60, -45}, {60, 40}, {-120, 130}, {-75, 150}};
    const Structure s = buildChain(pp, -175.0);
    const int n = static_cast<int>(pp.size());
    for (int i = 1; i <= n; ++i) {
        SCOPED_TRACE(i);
        if (i > 1) { EXPECT_NEAR(std::remainder(phiAt(s, i) - pp[i - 1].first, 360.0), 0.0, 0.01); }
        if (i < n) {
            EXPECT_NEAR(std::remainder(psiAt(s, i) - pp[i - 1].second, 360.0), 0.0, 0.01);
            EXPECT_NEAR(std::remainder(omegaAt(s, i) + 175.0, 360.0), 0.0, 0.01);
        }
    }
}

TEST(AssignSS, ClassificationBoundsAndSmoothing) {
    struct Case {
        double phi, psi;
        int ss;
    };
    // Helix: -180 < phi < -20, -90 < psi < -10; strand: same phi, 20 < psi < 180 or psi < -170; bounds strict.
    for (const Case& c : {Case{-60, -45, 0}, Case{-120, 130, 1}, Case{-120, -175, 1}, Case{60, 40, 2}, Case{-20, -45, 2},
                          Case{-180, -45, 2}, Case{-21, -89, 0}, Case{-60, -90, 2}, Case{-60, -10, 2}, Case{-60, 20, 2},
                          Case{-60, 21, 1}, Case{-60, 180, 2}, Case{-60, -170, 2}, Case{-60, -171, 1}, Case{UNDEF_DIHEDRAL, -45, 2}}) {
        Structure s(3);
        for (int i = 1; i <= 3; ++i) s.residues[i].phi = c.phi, s.residues[i].psi = c.psi;
        classifySS(s, 1, 3);  // equal neighbours keep smoothing out of it
        EXPECT_EQ(s.residues[2].ss, c.ss) << c.phi << " " << c.psi;
    }
    auto smooth = [](const std::string& classes, int from, int to) {
        const int n = static_cast<int>(classes.size());
        Structure s(n);
        for (int i = 1; i <= n; ++i) {
            const char c = classes[i - 1];
            s.residues[i].phi = c == 'C' ? 60 : -60;
            s.residues[i].psi = c == 'H' ? -45 : c == 'E' ? 130 : 40;
        }
        classifySS(s, from, to);
        std::string out;
        for (int i = 1; i <= n; ++i) out += "HEC"[s.residues[i].ss];
        return out;
    };
    EXPECT_EQ(smooth("HHEHH", 1, 5), "HHCHH");  // lone strand between helices
    EXPECT_EQ(smooth("EEHEE", 1, 5), "EEHEE");  // lone helix stays
    EXPECT_EQ(smooth("CCECC", 1, 5), "CCCCC");
    EXPECT_EQ(smooth("HHEEHH", 1, 6), "HHEEHH");  // two strand residues are not isolated
    EXPECT_EQ(smooth("EHHHE", 1, 5), "EHHHE");    // ends are never smoothed
    EXPECT_EQ(smooth("HECEH", 1, 5), "HCCCH");
    EXPECT_EQ(smooth("HEHHEHH", 4, 6), "CCCHCHC");  // residues outside a range stay unclassified
}

}  // namespace
