// Geometry primitives and the text helpers.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>

#include "model/atom.h"
#include "model/geometry.h"
#include "model/strings.h"

namespace {

TEST(Geometry, TorsionPlanarCisTransAndSign) {
    Point a(0, 1, 0), b(0, 0, 0), c(1, 0, 0);
    EXPECT_EQ(Torsion(a, b, c, Point(1, -1, 0)), -180.0);  // exactly planar trans: never +180
    EXPECT_NEAR(Torsion(a, b, c, Point(1, 1, 0)), 0.0, 1e-12);
    // Seen along b->c, a at +y and d at +z is a +90 rotation (IUPAC sign).
    EXPECT_NEAR(Torsion(a, b, c, Point(1, 0, 1)), 90.0, 1e-9);
    EXPECT_NEAR(Torsion(a, b, c, Point(1, 0, -1)), -90.0, 1e-9);
    EXPECT_NEAR(Torsion(a, b, c, Point(1, -1, 1)), 135.0, 1e-9);
    // Nearly planar input can push the cosine past +-1 by rounding: clamped, never NaN.
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> tiny(-1e-6f, 1e-6f), u(-5.0f, 5.0f);
    for (int k = 0; k < 20000; ++k) {
        float s = u(rng);
        Point p(s, 1.7f * s + tiny(rng), tiny(rng)), q(s + 1.3f, 1.7f * (s + 1.3f), 0), r(s + 2.9f, 1.7f * (s + 2.9f) + tiny(rng), tiny(rng));
        Point w(s + (k % 2 ? 4.0f : 0.5f), 1.7f * s + 9.0f, tiny(rng));
        double t = Torsion(p, q, r, w);
        ASSERT_FALSE(std::isnan(t)) << k;
        ASSERT_GE(t, -180.0);
        ASSERT_LT(t, 180.0);
    }
}

TEST(Geometry, AnglesAndMeasures) {
    Point a(1, 0, 0), b(0, 0, 0), c(0, 2, 0), d(-1, 0, 0);
    EXPECT_NEAR(angle(a, b, c), 90.0, 1e-5);
    EXPECT_NEAR(angle(a, b, d), 180.0, 1e-3);
    EXPECT_NEAR(angle(a, b, Point(1, 1, 0)), 45.0, 1e-4);
    EXPECT_NEAR(b.angle(a, c), 90.0, 1e-5);  // member: vertex is this point
    EXPECT_NEAR(b.angle(a, Point(-1, 1, 0)), 135.0, 1e-4);
    EXPECT_TRUE(std::isnan(angle(a, b, b)));  // point on the vertex: not clamped
    Point p(3, 4, 12);
    EXPECT_DOUBLE_EQ(p.pabs(), 13.0);
    EXPECT_DOUBLE_EQ(p.dis(Point(0, 0, 0)), 13.0);
    EXPECT_DOUBLE_EQ(p.sdis(Point(3, 4, 0)), 144.0);
    EXPECT_DOUBLE_EQ(p ^ Point(1, 2, 3), 47.0);
    Point out;
    cross(Point(1, 0, 0), Point(0, 1, 0), out);
    EXPECT_EQ(out.x, 0.0f);
    EXPECT_EQ(out.y, 0.0f);
    EXPECT_EQ(out.z, 1.0f);
    cross(Point(2, 3, 4), Point(5, 6, 7), out);
    EXPECT_EQ(out.x, -3.0f);
    EXPECT_EQ(out.y, 6.0f);
    EXPECT_EQ(out.z, -3.0f);
}

TEST(Geometry, ScalarMembersAndDivideByZero) {
    Point p(1, -2, 4);
    p.plus(1.5);
    p.minus(0.5);
    p.multiply(2.0);
    EXPECT_EQ(p.x, 4.0f);
    EXPECT_EQ(p.y, -2.0f);
    EXPECT_EQ(p.z, 10.0f);
    p.divide(4.0);
    EXPECT_EQ(p.x, 1.0f);
    EXPECT_EQ(p.z, 2.5f);
    Point q(1, -1, 0);
    q.divide(0.0);
    EXPECT_TRUE(std::isinf(q.x) && q.x > 0);
    EXPECT_TRUE(std::isinf(q.y) && q.y < 0);
}

TEST(Geometry, DisltStages) {
    Point o(0, 0, 0);
    EXPECT_TRUE(o.dislt(Point(3, 4, 0), 5.0));   // distance exactly d counts
    EXPECT_FALSE(o.dislt(Point(3, 4, 0), 4.99));
    EXPECT_FALSE(o.dislt(Point(6, 0, 0), 5.0));  // stage 1: |dx| > d
    EXPECT_FALSE(o.dislt(Point(3, 4.5, 0), 5.0));  // stage 2: dx^2 + dy^2 > d^2
    EXPECT_FALSE(o.dislt(Point(3, 3, 3), 5.0));  // stage 3: only z pushes it out
    EXPECT_TRUE(o.dislt(Point(-3, -3, 2.5), 5.0));
    // A far x difference must reject whatever the other coordinates hold.
    EXPECT_FALSE(o.dislt(Point(10, NAN, NAN), 5.0));
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-6.0f, 6.0f);
    for (int k = 0; k < 2000; ++k) {
        Point a(u(rng), u(rng), u(rng)), b(u(rng), u(rng), u(rng));
        double d = std::fabs(u(rng)) + 2.0;
        double exact = std::sqrt(double(a.x - b.x) * (a.x - b.x) + double(a.y - b.y) * (a.y - b.y) + double(a.z - b.z) * (a.z - b.z));
        if (std::fabs(exact - d) < 1e-4) continue;
        EXPECT_EQ(a.dislt(b, d), exact < d) << k;
    }
}

TEST(Geometry, CalCoRoundTrip) {
    Point A(0.3f, 1.7f, -0.4f), B(0.1f, 0.2f, 0.05f), C(1.5f, -0.3f, 0.4f);
    const double pi = 3.14159265358979;
    for (int deg = -179; deg <= 180; deg += 7) {
        for (double theta : {1.6, 1.9, 2.1, 2.7}) {
            double tau = deg * pi / 180.0;
            Point D;
            calCo(A, B, C, 1.53, theta, tau, D);
            EXPECT_NEAR(C.dis(D), 1.53, 1e-5);
            EXPECT_NEAR(angle(B, C, D), theta * 180.0 / pi, 2e-3);
            double t = Torsion(A, B, C, D);
            double diff = std::remainder(t - deg, 360.0);
            EXPECT_NEAR(diff, 0.0, 2e-3) << "tau " << deg << " theta " << theta;
        }
    }
}

TEST(Geometry, CalCoTransInPlaneAwayFromA) {
    const double pi = 3.14159265358979;
    Point A(0, 1, 0), B(0, 0, 0), C(1, 0, 0), D;
    calCo(A, B, C, 1.0, 2.0 * pi / 3.0, pi, D);
    EXPECT_NEAR(D.z, 0.0, 1e-6);
    EXPECT_LT(D.y, 0.0f);  // opposite side from A
    EXPECT_NEAR(D.x, 1.5, 1e-6);
    EXPECT_NEAR(D.y, -std::sqrt(3.0) / 2.0, 1e-6);
    calCo(A, B, C, 1.0, 2.0 * pi / 3.0, 0.0, D);  // cis: A's side
    EXPECT_NEAR(D.y, std::sqrt(3.0) / 2.0, 1e-6);
    // Into an Atom only the position changes.
    Atom at(9, 9, 9, 7);
    at.name = "CG";
    calCo(A, B, C, 1.0, 2.0 * pi / 3.0, pi, at);
    EXPECT_EQ(at.type, 7);
    EXPECT_EQ(at.name, "CG");
    EXPECT_NEAR(at.x, 1.5, 1e-6);
    const Point* refs[3] = {&A, &B, &C};
    Point E;
    calCo(refs, 1.0, 2.0 * pi / 3.0, pi, E);
    EXPECT_EQ(E.x, at.x);
    EXPECT_EQ(E.y, at.y);
    EXPECT_EQ(E.z, at.z);
}

TEST(Strings, SplitRules) {
    using V = std::vector<std::string>;
    EXPECT_EQ(split("a  b ", " ", false), (V{"a", "b", ""}));
    EXPECT_EQ(split("a  b ", " ", true), (V{"a", "", "b", ""}));
    EXPECT_EQ(split("  a b", " ", false), (V{"a", "b"}));
    EXPECT_EQ(split("", " ", false), (V{""}));
    EXPECT_EQ(split("abc", "", false), (V{"abc"}));
    EXPECT_EQ(split("x, y,, z", ", ", false), (V{"x", "y,", "z"}));
    EXPECT_EQ(split("1\t2\t\t3", "\t", true), (V{"1", "2", "", "3"}));
}

TEST(Strings, FileNamesAndNumbers) {
    EXPECT_EQ(File2ProtName("dir/5p21.pdb"), "5p21");
    EXPECT_EQ(File2ProtName("dir/abcdefgh.pdb"), "abcdef");
    EXPECT_EQ(File2ProtName("a/b/1crn.pdb.gz"), "1crn");
    EXPECT_EQ(File2ProtName("abcdef.pdb"), "abcdef");
    EXPECT_EQ(File2ProtName("abc"), "abc");
    EXPECT_EQ(File2ProtName("x.y/abcdefghij"), "abcdef");  // dots in directories do not count
    EXPECT_EQ(File2Extension("x/y.seq"), "seq");
    EXPECT_EQ(File2Extension("a.b.pdb"), "pdb");
    EXPECT_EQ(File2Extension("noext"), "noext");
    EXPECT_EQ(itozeropad(7, 4), "0007");
    EXPECT_EQ(itozeropad(12345, 3), "12345");
    EXPECT_EQ(itozeropad(-7, 4), "00-7");
    EXPECT_EQ(itoa(-1), "-1");
    EXPECT_EQ(itoa(0), "0");
    EXPECT_EQ(itoa(INT_MIN), "-2147483648");
    EXPECT_TRUE(FileExists(std::string(LORVANE_SOURCE_DIR) + "/CMakeLists.txt"));
    EXPECT_FALSE(FileExists(std::string(LORVANE_SOURCE_DIR) + "/no/such/file"));
}

}  // namespace
