// The elimination of the tripeptide closure: the three quadratics of the
// cone rotations (tripeptide.h) reduce by two Sylvester-type resultants to one
// polynomial of degree 16 in the third half-angle tangent.
#include "closure/polynomial.h"
#include "closure/tripeptide.h"
#include "model/error.h"

namespace lorvane {

using namespace tripep;

void TripeptideClosure::get_poly_coeff(double* poly_coeff) {
    double B[9];
    for (int i = 0; i < 3; ++i) {
        const double A0 = cos_alpha[i] * cos_xi[i] * cos_eta[i] - cos_theta[i];
        const double A1 = -sin_alpha[i] * cos_xi[i] * sin_eta[i];
        const double A2 = sin_alpha[i] * sin_xi[i] * cos_eta[i];
        const double A3 = sin_xi[i] * sin_eta[i];
        const double A4 = A3 * cos_alpha[i];
        const double A21 = A2 * cos_delta[i];
        const double A22 = A2 * sin_delta[i];
        const double A31 = A3 * cos_delta[i];
        const double A32 = A3 * sin_delta[i];
        const double A41 = A4 * cos_delta[i];
        const double A42 = A4 * sin_delta[i];
        B[0] = A0 + A22 + A31;
        B[1] = 2.0 * (A1 + A42);
        B[2] = 2.0 * (A32 - A21);
        B[3] = -4.0 * A41;
        B[4] = A0 + A22 - A31;
        B[5] = A0 - A22 - A31;
        B[6] = -2.0 * (A21 + A32);
        B[7] = 2.0 * (A1 - A42);
        B[8] = A0 - A22 + A31;
        if (i == 0) {
            C0[0][0] = B[0]; C0[0][1] = B[2]; C0[0][2] = B[5];
            C1[0][0] = B[1]; C1[0][1] = B[3]; C1[0][2] = B[7];
            C2[0][0] = B[4]; C2[0][1] = B[6]; C2[0][2] = B[8];
        } else {
            C0[i][0] = B[0]; C0[i][1] = B[1]; C0[i][2] = B[4];
            C1[i][0] = B[2]; C1[i][1] = B[3]; C1[i][2] = B[6];
            C2[i][0] = B[5]; C2[i][1] = B[7]; C2[i][2] = B[8];
        }
    }

    // Eliminate t1 between equations 0 (in t = t0) and 1 (in s = t2).
    Poly2 X0 = {}, X1 = {}, X2 = {}, Y0 = {}, Y1 = {}, Y2 = {};
    for (int k = 0; k < 3; ++k) {
        X0[0][k] = C0[0][k];
        X1[0][k] = C1[0][k];
        X2[0][k] = C2[0][k];
        Y0[k][0] = C0[1][k];
        Y1[k][0] = C1[1][k];
        Y2[k][0] = C2[1][k];
    }
    // Degree pairs (in t, in s): X (2, 0), Y (0, 2); then M1 (0, 4), M2..M4
    // (2, 2), M5 (2, 4), M6 (4, 2), q (4, 4).
    Poly2 M1, M2, M3, M4, M5, M6, q;
    int p_M1[2], p_M2[2], p_M3[2], p_M4[2], p_M5[2], p_M6[2], p_q[2];
    poly_mul_sub2<0, 2, 0, 2, 0, 2, 0, 2>(Y1, Y1, Y0, Y2, M1, p_M1);
    poly_mul_sub2<2, 0, 0, 2, 2, 0, 0, 2>(X1, Y1, X0, Y2, M2, p_M2);
    poly_mul_sub2<2, 0, 0, 2, 2, 0, 0, 2>(X1, Y2, X2, Y1, M3, p_M3);
    poly_mul_sub2<2, 0, 0, 2, 0, 2, 2, 0>(X0, Y2, Y0, X2, M4, p_M4);
    poly_mul_sub2<2, 0, 0, 4, 0, 2, 2, 2>(X2, M1, Y2, M2, M5, p_M5);
    poly_mul_sub2<2, 0, 2, 2, 2, 0, 2, 2>(X2, M4, X1, M3, M6, p_M6);
    poly_mul_sub2<2, 0, 2, 4, 0, 2, 4, 2>(X0, M5, Y0, M6, q, p_q);

    for (int r = 0; r < 5; ++r) {
        for (int c = 0; c < 5; ++c) Q[r][c] = q[r][c];
        for (int c = 5; c < 17; ++c) Q[r][c] = 0.0;
    }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 17; ++c) R[r][c] = 0.0;
    for (int k = 0; k < 3; ++k) {
        R[0][k] = C0[2][k];
        R[1][k] = C1[2][k];
        R[2][k] = C2[2][k];
    }

    // Eliminate t2 between the quartic sum_k Q_k(t0) t2^k and R_0 + R_1 t2 + R_2 t2^2.
    // Q rows have degree 4, R rows degree 2; each f's degree follows from its operands.
    constexpr int dQ = 4, dR = 2;
    constexpr int d1 = dmax(dR + dR, dR + dR), d2 = dR + dR, d3 = dmax(dR + d1, dR + d2), d4 = dR + d1,
                  d5 = dmax(dR + d3, dR + d4);
    constexpr int d6 = dQ + dR, d7 = dmax(dQ + d1, dR + d6), d8 = dmax(dQ + d3, dR + d7), d9 = dmax(dQ + d5, dR + d8);
    constexpr int d10 = dQ + dR, d11 = dmax(dQ + d1, dR + d10), d12 = dmax(dQ + d3, dR + d11);
    constexpr int d13 = dQ + dR, d14 = dmax(dQ + d1, dR + d13), d15 = dQ + dR, d16 = dmax(dQ + d1, dR + d15),
                  d17 = dmax(dQ + d14, dQ + d16);
    constexpr int d18 = dQ + dR, d19 = dQ + dR, d20 = dmax(dQ + d19, dQ + d18), d21 = dQ + dR, d22 = dQ + d21,
                  d23 = dmax(d20, d22), d24 = dR + d23, d25 = dmax(d17, d24);
    constexpr int d26 = dmax(dQ + d12, dR + d25);
    static_assert(dmax(dQ + d9, dR + d26) == 16, "the eliminant has structural degree 16");

    double f1[17], f2[17], f3[17], f4[17], f5[17], f6[17], f7[17], f8[17], f9[17], f10[17], f11[17], f12[17],
        f13[17], f14[17], f15[17], f16[17], f17[17], f18[17], f19[17], f20[17], f21[17], f22[17], f23[17], f24[17],
        f25[17], f26[17];
    int p_f, p_final;  // degrees are compile-time here; p_f receives each one in turn

    poly_mul_sub1<dR, dR, dR, dR>(R[1], R[1], R[0], R[2], f1, p_f);
    poly_mul1<dR, dR>(R[1], R[2], f2, p_f);
    poly_mul_sub1<dR, d1, dR, d2>(R[1], f1, R[0], f2, f3, p_f);
    poly_mul1<dR, d1>(R[2], f1, f4, p_f);
    poly_mul_sub1<dR, d3, dR, d4>(R[1], f3, R[0], f4, f5, p_f);

    poly_mul_sub1<dQ, dR, dQ, dR>(Q[1], R[1], Q[0], R[2], f6, p_f);
    poly_mul_sub1<dQ, d1, dR, d6>(Q[2], f1, R[2], f6, f7, p_f);
    poly_mul_sub1<dQ, d3, dR, d7>(Q[3], f3, R[2], f7, f8, p_f);
    poly_mul_sub1<dQ, d5, dR, d8>(Q[4], f5, R[2], f8, f9, p_f);

    poly_mul_sub1<dQ, dR, dQ, dR>(Q[3], R[1], Q[4], R[0], f10, p_f);
    poly_mul_sub1<dQ, d1, dR, d10>(Q[2], f1, R[0], f10, f11, p_f);
    poly_mul_sub1<dQ, d3, dR, d11>(Q[1], f3, R[0], f11, f12, p_f);

    poly_mul_sub1<dQ, dR, dQ, dR>(Q[2], R[1], Q[1], R[2], f13, p_f);
    poly_mul_sub1<dQ, d1, dR, d13>(Q[3], f1, R[2], f13, f14, p_f);
    poly_mul_sub1<dQ, dR, dQ, dR>(Q[3], R[1], Q[2], R[2], f15, p_f);
    poly_mul_sub1<dQ, d1, dR, d15>(Q[4], f1, R[2], f15, f16, p_f);
    poly_mul_sub1<dQ, d14, dQ, d16>(Q[1], f14, Q[0], f16, f17, p_f);

    poly_mul_sub1<dQ, dR, dQ, dR>(Q[2], R[2], Q[3], R[1], f18, p_f);
    poly_mul_sub1<dQ, dR, dQ, dR>(Q[1], R[2], Q[3], R[0], f19, p_f);
    poly_mul_sub1<dQ, d19, dQ, d18>(Q[3], f19, Q[2], f18, f20, p_f);
    poly_mul_sub1<dQ, dR, dQ, dR>(Q[1], R[1], Q[2], R[0], f21, p_f);
    poly_mul1<dQ, d21>(Q[4], f21, f22, p_f);
    poly_sub1<d20, d22>(f20, f22, f23, p_f);
    poly_mul1<dR, d23>(R[0], f23, f24, p_f);
    poly_sub1<d17, d24>(f17, f24, f25, p_f);

    poly_mul_sub1<dQ, d12, dR, d25>(Q[4], f12, R[2], f25, f26, p_f);
    poly_mul_sub1<dQ, d9, dR, d26>(Q[0], f9, R[0], f26, poly_coeff, p_final);

    if (p_final != 16) fail("Error. Degree of polynomial is not 16!", 1);

    if (poly_coeff[16] < 0.0)
        for (int k = 0; k < 17; ++k) poly_coeff[k] = -poly_coeff[k];
}

}  // namespace lorvane
