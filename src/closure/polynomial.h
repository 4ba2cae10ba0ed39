#pragma once
// Fixed-degree polynomial arithmetic of the tripeptide elimination
// (tripeptide_poly.cpp).
namespace lorvane::tripep {

// ---- polynomial arithmetic ----
// Degrees are structural and fixed by the construction, so they are template
// arguments: every loop has a constant trip count and is unrolled completely
// (about a sixth of the solve time otherwise goes to loop control here). The
// sums are formed in the same order as with run-time degrees.
constexpr int dmax(int a, int b) { return a > b ? a : b; }

// One variable: 17 coefficients, u[k] of t^k.
// u3 = u1 * u2 (entries above P1 + P2 are not used and left alone).
template <int P1, int P2>
__attribute__((always_inline)) inline void poly_mul1(const double* u1, const double* u2, double* u3, int& p3) {
#pragma GCC unroll 17
    for (int k = 0; k <= P1 + P2; ++k) u3[k] = 0.0;
#pragma GCC unroll 17
    for (int i1 = 0; i1 <= P1; ++i1) {
        const double u1i = u1[i1];
#pragma GCC unroll 17
        for (int i2 = 0; i2 <= P2; ++i2) u3[i1 + i2] += u1i * u2[i2];
    }
    p3 = P1 + P2;
}

// u3 = u1 - u2; a term beyond an operand's degree counts as 0.
template <int P1, int P2>
__attribute__((always_inline)) inline void poly_sub1(const double* u1, const double* u2, double* u3, int& p3) {
    p3 = dmax(P1, P2);
    for (int k = 0; k <= dmax(P1, P2); ++k) {
        if (k > P2)
            u3[k] = u1[k];
        else if (k > P1)
            u3[k] = -u2[k];
        else
            u3[k] = u1[k] - u2[k];
    }
}

// u5 = u1 * u2 - u3 * u4
template <int P1, int P2, int P3, int P4>
__attribute__((always_inline)) inline void poly_mul_sub1(const double* u1, const double* u2, const double* u3,
                                                         const double* u4, double* u5, int& p5) {
    double d1[17], d2[17];
    int pd1, pd2;
    poly_mul1<P1, P2>(u1, u2, d1, pd1);
    poly_mul1<P3, P4>(u3, u4, d2, pd2);
    poly_sub1<P1 + P2, P3 + P4>(d1, d2, u5, p5);
}

// Two variables: [row][col] is the coefficient of s^row t^col; degrees
// (T, S) = (degree in t, degree in s).
using Poly2 = double[5][5];

template <int T1, int S1, int T2, int S2>
__attribute__((always_inline)) inline void poly_mul2(const Poly2 u1, const Poly2 u2, Poly2 u3, int p3[2]) {
#pragma GCC unroll 17
    for (int i = 0; i < 5; ++i)
#pragma GCC unroll 17
        for (int j = 0; j < 5; ++j) u3[i][j] = 0.0;
    p3[0] = T1 + T2;
    p3[1] = S1 + S2;
#pragma GCC unroll 17
    for (int i1 = 0; i1 <= S1; ++i1)
#pragma GCC unroll 17
        for (int j1 = 0; j1 <= T1; ++j1) {
            const double u1ij = u1[i1][j1];
#pragma GCC unroll 17
            for (int i2 = 0; i2 <= S2; ++i2)
#pragma GCC unroll 17
                for (int j2 = 0; j2 <= T2; ++j2) u3[i1 + i2][j1 + j2] += u1ij * u2[i2][j2];
        }
}

template <int T1, int S1, int T2, int S2>
__attribute__((always_inline)) inline void poly_sub2(const Poly2 u1, const Poly2 u2, Poly2 u3, int p3[2]) {
    p3[0] = dmax(T1, T2);
    p3[1] = dmax(S1, S2);
    for (int i = 0; i <= dmax(S1, S2); ++i)
        for (int j = 0; j <= dmax(T1, T2); ++j) {
            const bool in1 = i <= S1 && j <= T1;
            const bool in2 = i <= S2 && j <= T2;
            if (in1 && in2)
                u3[i][j] = u1[i][j] - u2[i][j];
            else if (in1)
                u3[i][j] = u1[i][j];
            else if (in2)
                u3[i][j] = -u2[i][j];
            else
                u3[i][j] = 0.0;
        }
}

template <int T1, int S1, int T2, int S2, int T3, int S3, int T4, int S4>
__attribute__((always_inline)) inline void poly_mul_sub2(const Poly2 u1, const Poly2 u2, const Poly2 u3,
                                                         const Poly2 u4, Poly2 u5, int p5[2]) {
    Poly2 d1, d2;
    int pd1[2], pd2[2];
    poly_mul2<T1, S1, T2, S2>(u1, u2, d1, pd1);
    poly_mul2<T3, S3, T4, S4>(u3, u4, d2, pd2);
    poly_sub2<T1 + T2, S1 + S2, T3 + T4, S3 + S4>(d1, d2, u5, p5);
}

}  // namespace lorvane::tripep
