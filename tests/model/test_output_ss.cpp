// Atom-record output and secondary-structure assignment.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "model/model_support.h"
#include "model/structure.h"

using namespace model_test;

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) out.push_back(l);
    return out;
}

std::string trimmed(const std::string& s) {
    size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// Fills every template slot of residue i with a distinct position.
void fillResidue(Structure& s, int i, int type, int pdbNum) {
    Residue& r = s.residues[i];
    r.type = static_cast<int16_t>(type);
    r.pdbNum = pdbNum;
    r.numAtoms = static_cast<int16_t>(Residue::numAtom[type]);
    for (int j = 0; j < Residue::numAtom[type]; ++j) {
        r.atoms[j].init(10.0 * i + j, 0.5 * j, -1.25 * j, Residue::vdwType[type][j]);
        r.atoms[j].name = Residue::cType[type][j];
    }
}

class Output : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_TEMPLATES(); }
};

TEST_F(Output, GlycineAndAlanineRecords) {
    Structure s(2);
    fillResidue(s, 1, GLY, 7);
    fillResidue(s, 2, ALA, 8);
    std::ostringstream g;
    s.output(1, 1, 0, g);
    auto gl = lines(g.str());
    ASSERT_EQ(gl.size(), 4u);
    for (int j = 0; j < 4; ++j) EXPECT_EQ(trimmed(gl[j].substr(12, 4)), Residue::cType[GLY][j]);

    std::ostringstream a;
    s.output(2, 2, 0, a);
    auto al = lines(a.str());
    ASSERT_EQ(al.size(), 5u);
    const int slots[5] = {0, 1, 2, 3, 5};
    for (int k = 0; k < 5; ++k) {
        const std::string& l = al[k];
        ASSERT_EQ(l.size(), 54u) << l;
        EXPECT_EQ(l.substr(0, 6), "ATOM  ");
        EXPECT_EQ(std::stoi(l.substr(6, 5)), k + 1);  // serials restart per call
        EXPECT_EQ(l[11], ' ');
        EXPECT_EQ(trimmed(l.substr(12, 4)), Residue::cType[ALA][slots[k]]);
        EXPECT_EQ(l[16], ' ');
        EXPECT_EQ(l.substr(17, 3), Residue::Name3[ALA]);
        EXPECT_EQ(l.substr(20, 2), " A");
        EXPECT_EQ(l.substr(22, 4), "   8");  // the PDB number, not the position
        EXPECT_EQ(l.substr(26, 4), "    ");
        const Atom& at = s.residues[2].atoms[slots[k]];
        EXPECT_NEAR(std::stod(l.substr(30, 8)), at.x, 5e-4);
        EXPECT_NEAR(std::stod(l.substr(38, 8)), at.y, 5e-4);
        EXPECT_NEAR(std::stod(l.substr(46, 8)), at.z, 5e-4);
    }

    std::ostringstream both;
    s.output(1, 2, 0, both);
    auto bl = lines(both.str());
    ASSERT_EQ(bl.size(), 9u);
    EXPECT_EQ(std::stoi(bl[8].substr(6, 5)), 9);
}

TEST_F(Output, EveryHeavySlotOnceAbsentOnesIncluded) {
    Structure s(20);
    for (int t = 0; t < 20; ++t) fillResidue(s, t + 1, t, 100 + t);
    s.residues[3].atoms[5].type = ABSENT;  // absent atoms are written at their stored place
    std::ostringstream os;
    s.output(1, 20, 0, os);
    auto all = lines(os.str());
    size_t k = 0;
    for (int t = 0; t < 20; ++t) {
        for (int j = 0; j <= Residue::lastDFire[t]; ++j) {
            if (j == 4 || (t == GLY && j == 5)) continue;
            ASSERT_LT(k, all.size());
            EXPECT_EQ(trimmed(all[k].substr(12, 4)), Residue::cType[t][j]) << t << " " << j;
            EXPECT_EQ(std::stoi(all[k].substr(22, 4)), 100 + t);
            EXPECT_LT(Residue::vdwType[t][j], 22) << "hydrogen written for " << Residue::Name3[t] << " slot " << j;
            ++k;
        }
    }
    EXPECT_EQ(k, all.size());
}

TEST_F(Output, NamePlacementAndNumberFormat) {
    Structure s(1);
    fillResidue(s, 1, ALA, -12);
    Residue& r = s.residues[1];
    r.atoms[0].x = -123.456f;
    r.atoms[1].x = 1.23456f;
    r.atoms[2].x = 10000.5f;
    const std::string keep0 = Residue::cType[ALA][0], keep1 = Residue::cType[ALA][1], keep3 = Residue::cType[ALA][3];
    Residue::cType[ALA][0] = "1HB";
    Residue::cType[ALA][1] = "OXTA";
    Residue::cType[ALA][3] = "CB";
    std::ostringstream os;
    s.output(1, 1, 0, os);
    Residue::cType[ALA][0] = keep0;
    Residue::cType[ALA][1] = keep1;
    Residue::cType[ALA][3] = keep3;
    auto l = lines(os.str());
    ASSERT_EQ(l.size(), 5u);
    EXPECT_EQ(l[0].substr(12, 5), "1HB  ");  // digit first: from column 13
    EXPECT_EQ(l[1].substr(12, 5), "OXTA ");  // four characters: unchanged
    EXPECT_EQ(l[3].substr(12, 5), " CB  ");  // otherwise from column 14
    EXPECT_EQ(l[0].substr(22, 4), " -12");
    EXPECT_EQ(l[0].substr(30, 8), "-123.456");
    EXPECT_EQ(l[1].substr(30, 8), "   1.235");
    EXPECT_EQ(l[2].substr(30, 9), "10000.500");  // widens the field
    EXPECT_EQ(l[2].size(), 55u);
    os << 2.0;  // the stream is left in fixed notation with three decimals
    EXPECT_EQ(os.str().substr(os.str().size() - 5), "2.000");
}

// ---- secondary structure ----

constexpr double kPi = 3.14159265358979;
double rad(double deg) { return deg * kPi / 180.0; }

// Backbone with ideal bond geometry (typical values, Engh & Huber 1991) and the given dihedrals.
Structure buildChain(const std::vector<std::pair<double, double>>& phipsi, double omega = 180.0) {
    const int n = static_cast<int>(phipsi.size());
    Structure s(n);
    auto& R = s.residues;
    for (int i = 1; i <= n; ++i) {
        R[i].type = ALA;
        R[i].numAtoms = 6;
        for (int j : {0, 1, 2, 3, 5}) R[i].atoms[j].type = 1;
    }
    Point dummy(-0.5f, 1.3f, 0.0f);
    R[1].atoms[0].CopyPos(Point(0, 0, 0));
    R[1].atoms[1].CopyPos(Point(1.458f, 0, 0));
    calCo(dummy, R[1].atoms[0], R[1].atoms[1], 1.525, rad(111.2), rad(-60), R[1].atoms[2]);
    for (int i = 1; i < n; ++i) {
        Residue &a = R[i], &b = R[i + 1];
        calCo(a.atoms[0], a.atoms[1], a.atoms[2], 1.329, rad(116.2), rad(phipsi[i - 1].second), b.atoms[0]);
        calCo(a.atoms[1], a.atoms[2], b.atoms[0], 1.458, rad(121.7), rad(omega), b.atoms[1]);
        calCo(a.atoms[2], b.atoms[0], b.atoms[1], 1.525, rad(111.2), rad(phipsi[i].first), b.atoms[2]);
        calCo(b.atoms[0], a.atoms[1], a.atoms[2], 1.231, rad(120.5), rad(180), a.atoms[3]);
    }
    calCo(R[n].atoms[0], R[n].atoms[1], R[n].atoms[2], 1.231, rad(120.5), rad(-40), R[n].atoms[3]);
    for (int i = 1; i <= n; ++i)
        calCo(R[i].atoms[2], R[i].atoms[0], R[i].atoms[1], 1.53, rad(110.5), rad(-122.6), R[i].atoms[5]);
    return s;
}

double wrap(double d) { return std::remainder(d, 360.0); }

TEST(AssignSS, MeasuresInternalCoordinates) {
    std::vector<std::pair<double, double>> pp = {{-70, 140}, {-60, -45}, {-65, -40}, {-120, 130}, {60, 40}, {-75, 150}};
    Structure s = buildChain(pp, 178.0);
    const int n = 6;
    assign_ss(s, 1, n, 0);
    auto& R = s.residues;
    EXPECT_EQ(R[1].phi, UNDEF_DIHEDRAL);
    EXPECT_EQ(R[n].psi, UNDEF_DIHEDRAL);
    EXPECT_EQ(R[n].omega, UNDEF_DIHEDRAL);
    EXPECT_EQ(R[1].dCN, -12345.0);
    for (int i = 1; i <= n; ++i) {
        SCOPED_TRACE(i);
        if (i > 1) {
            EXPECT_NEAR(wrap(R[i].phi - pp[i - 1].first), 0.0, 0.01);
            EXPECT_NEAR(R[i].dCN, 1.329, 1e-4);
            EXPECT_NEAR(R[i].aCNCA, 121.7, 0.01);
        }
        if (i < n) {
            EXPECT_NEAR(wrap(R[i].psi - pp[i - 1].second), 0.0, 0.01);
            EXPECT_NEAR(wrap(R[i].omega - 178.0), 0.0, 0.01);
            EXPECT_NEAR(R[i].aCACN, 116.2, 0.01);
            EXPECT_NEAR(R[i].dCO, 1.231, 1e-4);
            EXPECT_NEAR(wrap(R[i].tNCACO - (pp[i - 1].second + 180.0)), 0.0, 0.01);
            EXPECT_TRUE(R[i].geomSet);
        }
        EXPECT_NEAR(R[i].dNCA, 1.458, 1e-4);
        EXPECT_NEAR(R[i].dCAC, 1.525, 1e-4);
        EXPECT_NEAR(R[i].dCACB, 1.53, 1e-4);
        EXPECT_NEAR(R[i].aNCAC, 111.2, 0.01);
        EXPECT_NEAR(R[i].aCACO, 120.5, 0.01);
        EXPECT_DOUBLE_EQ(R[i].aCCACB, angle(R[i].atoms[2], R[i].atoms[1], R[i].atoms[5]));
        const double expectCB = Torsion(R[i].atoms[0], R[i].atoms[2], R[i].atoms[1], R[i].atoms[5]);
        if (i < n) {
            EXPECT_DOUBLE_EQ(R[i].tNCCACB, expectCB);
        }
    }
    // Classes: helix at 2-3; the isolated strand at 4 between helix and coil turns coil; ends coil.
    EXPECT_EQ(R[1].ss, 2);
    EXPECT_EQ(R[2].ss, 0);
    EXPECT_EQ(R[3].ss, 0);
    EXPECT_EQ(R[4].ss, 2);
    EXPECT_EQ(R[5].ss, 2);
    EXPECT_EQ(R[n].ss, 2);
}

int classOf(double phi, double psi) {
    Structure s(3);
    for (int i = 1; i <= 3; ++i) {
        s.residues[i].phi = phi;
        s.residues[i].psi = psi;
    }
    assign_ss(s, 1, 3, 1);  // classification only; equal neighbours keep smoothing out of it
    return s.residues[2].ss;
}

TEST(AssignSS, ClassificationBounds) {
    EXPECT_EQ(classOf(-60, -45), 0);
    EXPECT_EQ(classOf(-120, 130), 1);
    EXPECT_EQ(classOf(-120, -175), 1);
    EXPECT_EQ(classOf(60, 40), 2);
    EXPECT_EQ(classOf(-20, -45), 2);  // bounds are strict
    EXPECT_EQ(classOf(-180, -45), 2);
    EXPECT_EQ(classOf(-21, -89), 0);
    EXPECT_EQ(classOf(-60, -90), 2);
    EXPECT_EQ(classOf(-60, -10), 2);
    EXPECT_EQ(classOf(-60, 20), 2);
    EXPECT_EQ(classOf(-60, 21), 1);
    EXPECT_EQ(classOf(-60, 180), 2);
    EXPECT_EQ(classOf(-60, -170), 2);
    EXPECT_EQ(classOf(-60, -171), 1);
    EXPECT_EQ(classOf(UNDEF_DIHEDRAL, -45), 2);
}

std::string smooth(const std::string& classes) {
    const int n = static_cast<int>(classes.size());
    Structure s(n);
    for (int i = 1; i <= n; ++i) {
        char c = classes[i - 1];
        s.residues[i].phi = c == 'C' ? 60 : -60;
        s.residues[i].psi = c == 'H' ? -45 : (c == 'E' ? 130 : 40);
    }
    assign_ss(s, 1, n, 1);
    std::string out;
    for (int i = 1; i <= n; ++i) out += "HEC"[s.residues[i].ss];
    return out;
}

TEST(AssignSS, Smoothing) {
    EXPECT_EQ(smooth("HHEHH"), "HHCHH");  // lone strand between helices
    EXPECT_EQ(smooth("EEHEE"), "EEHEE");  // lone helix stays
    EXPECT_EQ(smooth("CCECC"), "CCCCC");
    EXPECT_EQ(smooth("HHEEHH"), "HHEEHH");  // two strand residues are not isolated
    EXPECT_EQ(smooth("EHHHE"), "EHHHE");    // ends are never smoothed
    EXPECT_EQ(smooth("HECEH"), "HCCCH");
    // A range call smooths only inside the range but looks at neighbours outside it.
    const int n = 7;
    Structure s(n);
    const char* c = "HEHHEHH";
    for (int i = 1; i <= n; ++i) {
        s.residues[i].phi = -60;
        s.residues[i].psi = c[i - 1] == 'H' ? -45 : 130;
    }
    assign_ss(s, 4, 6, 1);
    EXPECT_EQ(s.residues[5].ss, 2);
    EXPECT_EQ(s.residues[7].ss, 2);  // outside the range: a helix left unclassified
}

TEST(AssignSS, KeepGeometry) {
    std::vector<std::pair<double, double>> pp(5, {-60.0, -45.0});
    Structure s = buildChain(pp);
    assign_ss(s, 1, 5, 0);
    auto& R = s.residues;
    const double dCO3 = R[3].dCO, dCAC3 = R[3].dCAC, aNCAC3 = R[3].aNCAC, dCO5 = R[5].dCO, psi3 = R[3].psi;
    // Move C of residue 3 and O of residues 3 and 5.
    R[3].atoms[2].x += 0.3f;
    R[3].atoms[3].y += 0.4f;
    R[5].atoms[3].y += 0.4f;
    s.keepGeometry = true;
    assign_ss(s, 1, 5, 0);
    EXPECT_EQ(R[3].dCO, dCO3);
    EXPECT_EQ(R[3].dCAC, dCAC3);
    EXPECT_NE(R[3].aNCAC, aNCAC3);  // the N-CA-C angle and the dihedrals follow the atoms
    EXPECT_NE(R[3].psi, psi3);
    EXPECT_NE(R[5].dCO, dCO5);  // the last residue is always measured
    s.keepGeometry = false;
    assign_ss(s, 1, 5, 0);
    EXPECT_NE(R[3].dCO, dCO3);
    EXPECT_NE(R[3].dCAC, dCAC3);
}

}  // namespace
