// Geometry primitives and the text helpers.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>

#include "model/atom.h"
#include "model/geometry.h"
#include "model/strings.h"

using namespace lorvane;

namespace {

TEST(Geometry, TorsionSignPlanarCasesAndClamp) {
    const Point a(0, 1, 0), b(0, 0, 0), c(1, 0, 0);
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
        const float s = u(rng);
        const Point p(s, 1.7f * s + tiny(rng), tiny(rng)), q(s + 1.3f, 1.7f * (s + 1.3f), 0),
            r(s + 2.9f, 1.7f * (s + 2.9f) + tiny(rng), tiny(rng)), w(s + (k % 2 ? 4.0f : 0.5f), 1.7f * s + 9.0f, tiny(rng));
        const double t = Torsion(p, q, r, w);
        ASSERT_TRUE(t >= -180.0 && t < 180.0) << k << " " << t;
    }
}

// dislt(b, d): |a - b| <= d, rejected early per coordinate.
TEST(Geometry, DisltAgreesWithTheDistance) {
    const Point o(0, 0, 0);
    EXPECT_TRUE(o.dislt(Point(3, 4, 0), 5.0));  // distance exactly d counts
    EXPECT_FALSE(o.dislt(Point(3, 4, 0), 4.99));
    EXPECT_FALSE(o.dislt(Point(3, 3, 3), 5.0));  // only z pushes it out
    EXPECT_FALSE(o.dislt(Point(10, NAN, NAN), 5.0));  // a far x rejects whatever the rest holds
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-6.0f, 6.0f);
    for (int k = 0; k < 2000; ++k) {
        const Point a(u(rng), u(rng), u(rng)), b(u(rng), u(rng), u(rng));
        const double d = std::fabs(u(rng)) + 2.0;
        const double exact = std::sqrt(double(a.x - b.x) * (a.x - b.x) + double(a.y - b.y) * (a.y - b.y) + double(a.z - b.z) * (a.z - b.z));
        if (std::fabs(exact - d) > 1e-4) {
            EXPECT_EQ(a.dislt(b, d), exact < d) << k;
        }
    }
}

TEST(Geometry, CalCoPlacesLengthAngleAndTorsion) {
    const Point A(0.3f, 1.7f, -0.4f), B(0.1f, 0.2f, 0.05f), C(1.5f, -0.3f, 0.4f);
    for (int deg = -179; deg <= 180; deg += 7)
        for (double theta : {1.6, 1.9, 2.1, 2.7}) {
            Point D;
            calCo(A, B, C, 1.53, theta, deg * PI / 180.0, D);
            EXPECT_NEAR(C.dis(D), 1.53, 1e-5);
            EXPECT_NEAR(angle(B, C, D), theta * 180.0 / PI, 2e-3);
            EXPECT_NEAR(std::remainder(Torsion(A, B, C, D) - deg, 360.0), 0.0, 2e-3) << "tau " << deg << " theta " << theta;
        }
    EXPECT_NEAR(angle(Point(1, 0, 0), Point(0, 0, 0), Point(-1, 1, 0)), 135.0, 1e-4);
    EXPECT_NEAR(Point(0, 0, 0).angle(Point(1, 0, 0), Point(0, 2, 0)), 90.0, 1e-5);  // member: vertex is this point
    // Trans lies in the plane on the far side from A; into an Atom only the position changes.
    Atom at(9, 9, 9, 7);
    at.name = "CG";
    calCo(Point(0, 1, 0), Point(0, 0, 0), Point(1, 0, 0), 1.0, 2.0 * PI / 3.0, PI, at);
    EXPECT_NEAR(at.x, 1.5, 1e-6);
    EXPECT_NEAR(at.y, -std::sqrt(3.0) / 2.0, 1e-6);
    EXPECT_NEAR(at.z, 0.0, 1e-6);
    EXPECT_EQ(at.type, 7);
    EXPECT_EQ(at.name, "CG");
}

TEST(Strings, SplitFileNamesAndNumbers) {
    using V = std::vector<std::string>;
    EXPECT_EQ(split("a  b ", " ", false), (V{"a", "b", ""}));
    EXPECT_EQ(split("a  b ", " ", true), (V{"a", "", "b", ""}));
    EXPECT_EQ(split("x, y,, z", ", ", false), (V{"x", "y,", "z"}));
    EXPECT_EQ(File2ProtName("dir/abcdefgh.pdb"), "abcdef");
    EXPECT_EQ(File2ProtName("a/b/1crn.pdb.gz"), "1crn");
    EXPECT_EQ(File2ProtName("x.y/abcdefghij"), "abcdef");  // dots in directories do not count
    EXPECT_EQ(File2Extension("a.b.pdb"), "pdb");
    EXPECT_EQ(itozeropad(7, 4), "0007");
    EXPECT_EQ(itoa(INT_MIN), "-2147483648");
}

}  // namespace
