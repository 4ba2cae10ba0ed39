// Analytic tripeptide loop closure after E. A. Coutsias, C. Seok,
// M. P. Jacobson and K. A. Dill, "A kinematic view of loop closure",
// J. Comput. Chem. 25:510-528 (2004). The three CA-CA virtual bonds of the
// segment form a triangle; each residue's N-side and C-side bonds lie on cones
// about the virtual bonds, and matching the fixed bond angle at every CA gives
// three quadratics in the half-angle tangents of the cone rotations. Two
// Sylvester-type eliminations leave one degree-16 polynomial in the third
// tangent; every real root is one closed conformation.
//
// All state is in the TripeptideClosure object and fixed-size: each growth
// thread closes loops with its own object, without locks or allocation.
#include "closure/tripeptide.h"

#include <cmath>

#include "closure/sturm.h"
#include "model/error.h"

namespace lorvane {

namespace tripep {
namespace {

constexpr double pi = 3.141592653589793;

// ---- double[3] vector helpers ----
inline double dot_product(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

inline void cross(const double* a, const double* b, double* c) {
    c[0] = a[1] * b[2] - a[2] * b[1];
    c[1] = a[2] * b[0] - a[0] * b[2];
    c[2] = a[0] * b[1] - a[1] * b[0];
}

inline void matmul(const double U[3][3], const double* v, double* out) {
    for (int i = 0; i < 3; ++i) out[i] = U[i][0] * v[0] + U[i][1] * v[1] + U[i][2] * v[2];
}

// Clamps to [-1, 1] but lets NaN through, so degenerate input stays visible.
inline double clamp_unit(double x) {
    if (x > 1.0) return 1.0;
    if (x < -1.0) return -1.0;
    return x;
}

inline void calc_bnd_ang(const double* r1, const double* r2, double& angle) {
    angle = std::acos(clamp_unit(dot_product(r1, r2)));
}

inline void calc_dih_ang(const double* r1, const double* r2, const double* r3, double& angle) {
    double pv[3], qv[3], sv[3];
    cross(r1, r2, pv);
    cross(r2, r3, qv);
    cross(r3, r1, sv);
    const double arg = dot_product(pv, qv) / std::sqrt(dot_product(pv, pv) * dot_product(qv, qv));
    angle = std::acos(clamp_unit(arg));
    if (dot_product(sv, r2) < 0.0) angle = -angle;
}

inline double sign(double a, double b) { return b >= 0.0 ? std::fabs(a) : -std::fabs(a); }

// Unit quaternion of a rotation by 4w about axis, from tan(w).
inline void quaternion(const double* axis, double w, double* q) {
    const double tan_w = std::tan(w);
    const double tan_sqr = tan_w * tan_w;
    const double tan1 = 1.0 + tan_sqr;
    const double cosine = (1.0 - tan_sqr) / tan1;
    const double sine = 2.0 * tan_w / tan1;
    q[0] = cosine;
    q[1] = axis[0] * sine;
    q[2] = axis[1] * sine;
    q[3] = axis[2] * sine;
}

inline void rotation_matrix(const double* q, double U[3][3]) {
    const double q0 = q[0], q1 = q[1], q2 = q[2], q3 = q[3];
    const double b0 = 2.0 * q0;
    const double b1 = 2.0 * q1;
    const double q00 = b0 * q0 - 1.0;
    const double q02 = b0 * q2;
    const double q03 = b0 * q3;
    const double q11 = b1 * q1;
    const double q12 = b1 * q2;
    const double q13 = b1 * q3;
    const double b2 = 2.0 * q2;
    const double q22 = b2 * q2;
    const double q23 = b2 * q3;
    const double q33 = 2.0 * q3 * q3;
    const double q01 = b0 * q1;
    U[0][0] = q00 + q11;
    U[0][1] = q12 - q03;
    U[0][2] = q13 + q02;
    U[1][0] = q12 + q03;
    U[1][1] = q00 + q22;
    U[1][2] = q23 - q01;
    U[2][0] = q13 - q02;
    U[2][1] = q23 + q01;
    U[2][2] = q00 + q33;
}

// ---- closure steps ----

// Minimum sine of the angle between the CA1-CA3 line and N1-CA1 or CA3-C3:
// below it the problem is symmetric about that line and has no isolated solutions.
constexpr double MIN_SIN_AXIS = 1e-10;

// ---- guard on the back-substitution ----
// calc_t2 and calc_t1 are closed forms that lose accuracy when a half-angle
// tangent is large (a cone angle near pi) or their denominators nearly vanish:
// on realistic anchors about 1% of closures come back with N-CA-C angles off
// by 1e-6..0.3 rad, and near-double roots of the eliminant carry ~1e-7 error
// in t0 itself. Each closure equation divided by (1 + t_a^2)(1 + t_b^2) is the
// error in the cosine of one residue's N-CA-C angle, so it measures the damage
// directly. Above TANGENT_TOL (cosine error; about one closure in eight) t2, t1 are
// re-solved from equations 2 and 0 at t0, keeping the pair that best satisfies
// equation 1, and then polished by Newton on all three equations. Closures
// within the tolerance keep the closed-form values untouched.
constexpr double TANGENT_TOL = 1e-10;

inline double quad(const double* c, double t) { return c[0] + c[1] * t + c[2] * t * t; }

// Real roots of a + b x + c x^2 by the cancellation-free formula; a negative
// discriminant (a double root pushed off by rounding) counts as zero.
inline int quad_roots(double a, double b, double c, double* x) {
    if (c == 0.0) {
        if (b == 0.0) return 0;
        x[0] = -a / b;
        return 1;
    }
    double disc = b * b - 4.0 * a * c;
    if (disc < 0.0) disc = 0.0;
    const double q = -0.5 * (b + (b >= 0.0 ? std::sqrt(disc) : -std::sqrt(disc)));
    int n = 0;
    x[n++] = q / c;
    if (q != 0.0) x[n++] = a / q;
    return n;
}

inline double dquad(const double* c, double t) { return c[1] + 2.0 * c[2] * t; }

}  // namespace
}  // namespace tripep

using namespace tripep;

// Cone test: residue i can close only if its bond angle fits between the
// cones about its two virtual bonds. Written so that NaN (an impossible
// virtual-bond triangle) fails.
bool TripeptideClosure::test_two_cone_existence_soln() {
    for (int i = 0; i < 3; ++i)
        if (!(std::fabs(alpha[i] - theta[i]) <= xi[i] + eta[i])) return false;
    return true;
}

void TripeptideClosure::get_input_angles(int* n_soln, const double* n1, const double* ca1, const double* ca3, const double* c3) {
    *n_soln = 0;
    for (int i = 0; i < 3; ++i) r_a1a3[i] = ca3[i] - ca1[i];
    len_aa[0] = std::sqrt(dot_product(r_a1a3, r_a1a3));

    for (int i = 0; i < 3; ++i) r_a1n1[i] = n1[i] - ca1[i];
    len_na[0] = std::sqrt(dot_product(r_a1n1, r_a1n1));
    len_na[1] = len0[2];
    len_na[2] = len0[5];

    for (int i = 0; i < 3; ++i) r_a3c3[i] = c3[i] - ca3[i];
    len_ac[0] = len0[0];
    len_ac[1] = len0[3];
    len_ac[2] = std::sqrt(dot_product(r_a3c3, r_a3c3));

    // Coincident anchors (or non-finite input) leave no frame to work in.
    if (!(len_aa[0] > 0.0) || !(len_na[0] > 0.0) || !(len_ac[2] > 0.0) || !std::isfinite(len_aa[0]) ||
        !std::isfinite(len_na[0]) || !std::isfinite(len_ac[2]))
        return;

    for (int i = 0; i < 3; ++i) {
        b_a1n1[i] = r_a1n1[i] / len_na[0];
        b_a3c3[i] = r_a3c3[i] / len_ac[2];
        b_a1a3[i] = r_a1a3[i] / len_aa[0];
    }

    double cz[3];
    cross(b_a1n1, b_a1a3, cz);
    if (!(dot_product(cz, cz) > MIN_SIN_AXIS * MIN_SIN_AXIS)) return;
    cross(b_a3c3, b_a1a3, cz);
    if (!(dot_product(cz, cz) > MIN_SIN_AXIS * MIN_SIN_AXIS)) return;

    double tmp[3];
    for (int i = 0; i < 3; ++i) tmp[i] = -b_a1n1[i];
    calc_dih_ang(tmp, b_a1a3, b_a3c3, delta[3]);
    delta[0] = delta[3];

    for (int i = 0; i < 3; ++i) tmp[i] = -b_a1a3[i];
    calc_bnd_ang(tmp, b_a1n1, xi[0]);
    calc_bnd_ang(b_a1a3, b_a3c3, eta[2]);

    // delta[1..2], xi[1..2], eta[0..1] and theta come from initialize_loop_closure.
    cos_delta[0] = cos_delta[3] = std::cos(delta[3]);
    sin_delta[0] = sin_delta[3] = std::sin(delta[3]);
    cos_xi[0] = std::cos(xi[0]);
    sin_xi[0] = std::sin(xi[0]);
    cos_eta[2] = std::cos(eta[2]);
    sin_eta[2] = std::sin(eta[2]);

    // Virtual-bond triangle CA1-CA2-CA3; acos arguments deliberately not
    // clamped: an impossible triangle gives NaN and fails the cone test.
    const double l0 = len_aa[0], l1 = len_aa[1], l2 = len_aa[2];
    const double l0s = l0 * l0, l1s = l1 * l1, l2s = l2 * l2;
    cos_alpha[0] = -(l0s + l1s - l2s) / (2.0 * l1 * l0);
    alpha[0] = std::acos(cos_alpha[0]);
    cos_alpha[1] = (l1s + l2s - l0s) / (2.0 * l2 * l1);
    alpha[1] = std::acos(cos_alpha[1]);
    alpha[2] = pi - alpha[0] + alpha[1];
    cos_alpha[2] = std::cos(alpha[2]);
    for (int i = 0; i < 3; ++i) sin_alpha[i] = std::sin(alpha[i]);

    if (test_two_cone_existence_soln()) *n_soln = 16;
}


// t2 from a root t0 of the eliminant.
double TripeptideClosure::calc_t2(double t0) {
    const double t0_2 = t0 * t0;
    const double t0_3 = t0_2 * t0;
    const double t0_4 = t0_3 * t0;
    double A[5], B[3];
    for (int k = 0; k < 5; ++k) A[k] = Q[k][0] + Q[k][1] * t0 + Q[k][2] * t0_2 + Q[k][3] * t0_3 + Q[k][4] * t0_4;
    for (int k = 0; k < 3; ++k) B[k] = R[k][0] + R[k][1] * t0 + R[k][2] * t0_2;
    const double B2_2 = B[2] * B[2];
    const double B2_3 = B2_2 * B[2];
    const double K0 = A[2] * B[2] - A[4] * B[0];
    const double K1 = A[3] * B[2] - A[4] * B[1];
    const double K2 = A[1] * B2_2 - K1 * B[0];
    const double K3 = K0 * B[2] - K1 * B[1];
    return (K3 * B[0] - A[0] * B2_3) / (K2 * B[2] - K3 * B[1]);
}

// t1 from t0 and t2 (equations 0 and 1 share t1).
double TripeptideClosure::calc_t1(double t0, double t2) {
    const double t0_2 = t0 * t0;
    const double t2_2 = t2 * t2;
    const double U11 = C0[0][0] + C0[0][1] * t0 + C0[0][2] * t0_2;
    const double U12 = C1[0][0] + C1[0][1] * t0 + C1[0][2] * t0_2;
    const double U13 = C2[0][0] + C2[0][1] * t0 + C2[0][2] * t0_2;
    const double U31 = C0[1][0] + C0[1][1] * t2 + C0[1][2] * t2_2;
    const double U32 = C1[1][0] + C1[1][1] * t2 + C1[1][2] * t2_2;
    const double U33 = C2[1][0] + C2[1][1] * t2 + C2[1][2] * t2_2;
    return (U31 * U13 - U11 * U33) / (U12 * U33 - U13 * U32);
}

// Cosine errors of the three closure equations at (t0, t1, t2); the largest.
double TripeptideClosure::closure_residual(double t0, double t1, double t2) {
    const double w0 = 1.0 + t0 * t0, w1 = 1.0 + t1 * t1, w2 = 1.0 + t2 * t2;
    const double e0 = (quad(C0[0], t0) + quad(C1[0], t0) * t1 + quad(C2[0], t0) * t1 * t1) / (w0 * w1);
    const double e1 = (quad(C0[1], t2) + quad(C1[1], t2) * t1 + quad(C2[1], t2) * t1 * t1) / (w2 * w1);
    const double e2 = (quad(C0[2], t0) + quad(C1[2], t0) * t2 + quad(C2[2], t0) * t2 * t2) / (w0 * w2);
    double e = std::fabs(e0);
    if (std::fabs(e1) > e) e = std::fabs(e1);
    if (std::fabs(e2) > e) e = std::fabs(e2);
    return e != e ? HUGE_VAL : e;  // NaN never wins
}

// Newton steps on the three closure equations in (t0, t1, t2), each kept only
// if it lowers the residual. Needed where the eliminant has two nearly equal
// roots: there the root t0 itself is only good to ~1e-7 in double.
double TripeptideClosure::newton_polish(double& t0, double& t1, double& t2, double res) {
    for (int it = 0; it < 4 && res > TANGENT_TOL; ++it) {
        const double a0 = quad(C0[0], t0), a1 = quad(C1[0], t0), a2 = quad(C2[0], t0);
        const double b0 = quad(C0[1], t2), b1 = quad(C1[1], t2), b2 = quad(C2[1], t2);
        const double c0 = quad(C0[2], t0), c1 = quad(C1[2], t0), c2 = quad(C2[2], t0);
        const double f0 = a0 + a1 * t1 + a2 * t1 * t1;
        const double f1 = b0 + b1 * t1 + b2 * t1 * t1;
        const double f2 = c0 + c1 * t2 + c2 * t2 * t2;
        // Jacobian rows (d/dt0, d/dt1, d/dt2); equation 0 lacks t2, 1 lacks t0, 2 lacks t1.
        const double j00 = dquad(C0[0], t0) + dquad(C1[0], t0) * t1 + dquad(C2[0], t0) * t1 * t1;
        const double j01 = a1 + 2.0 * a2 * t1;
        const double j11 = b1 + 2.0 * b2 * t1;
        const double j12 = dquad(C0[1], t2) + dquad(C1[1], t2) * t1 + dquad(C2[1], t2) * t1 * t1;
        const double j20 = dquad(C0[2], t0) + dquad(C1[2], t0) * t2 + dquad(C2[2], t0) * t2 * t2;
        const double j22 = c1 + 2.0 * c2 * t2;
        // det of [[j00, j01, 0], [0, j11, j12], [j20, 0, j22]]
        const double det = j00 * j11 * j22 + j01 * j12 * j20;
        if (!(std::fabs(det) > 0.0)) break;
        const double d0 = (f0 * j11 * j22 - j01 * (f1 * j22 - j12 * f2)) / det;
        const double d1 = (j00 * (f1 * j22 - j12 * f2) + f0 * j12 * j20) / det;
        const double d2 = (j00 * j11 * f2 - j01 * (-j20 * f1) - f0 * j11 * j20) / det;
        const double n0 = t0 - d0, n1 = t1 - d1, n2 = t2 - d2;
        const double r = closure_residual(n0, n1, n2);
        if (!(r < res)) break;
        t0 = n0;
        t1 = n1;
        t2 = n2;
        res = r;
    }
    return res;
}

void TripeptideClosure::guard_half_tangents(double& t0, double& t1, double& t2) {
    double best = closure_residual(t0, t1, t2);
    if (best <= TANGENT_TOL) return;
    double s[2], u[2];
    const int ns = quad_roots(quad(C0[2], t0), quad(C1[2], t0), quad(C2[2], t0), s);
    const int nu = quad_roots(quad(C0[0], t0), quad(C1[0], t0), quad(C2[0], t0), u);
    for (int i = 0; i < ns; ++i)
        for (int j = 0; j < nu; ++j) {
            const double e = closure_residual(t0, u[j], s[i]);
            if (e < best) {
                best = e;
                t1 = u[j];
                t2 = s[i];
            }
        }
    newton_polish(t0, t1, t2, best);
}

void TripeptideClosure::coord_from_poly_roots(int n_soln, const double* roots, const double* r_n1, const double* r_a1,
                           const double* r_a3, const double* r_c3, double r_soln_n[16][3][3],
                           double r_soln_a[16][3][3], double r_soln_c[16][3][3]) {
    double ex[3], ey[3], ez[3], tmp[3];
    for (int i = 0; i < 3; ++i) ex[i] = b_a1a3[i];
    cross(r_a1n1, ex, ez);
    const double ez_len = std::sqrt(dot_product(ez, ez));
    for (int i = 0; i < 3; ++i) ez[i] /= ez_len;
    cross(ez, ex, ey);

    double b_a1a2[3], b_a3a2[3];
    for (int i = 0; i < 3; ++i) {
        b_a1a2[i] = -cos_alpha[0] * ex[i] + sin_alpha[0] * ey[i];
        b_a3a2[i] = cos_alpha[2] * ex[i] + sin_alpha[2] * ey[i];
    }

    // Cone frames: N side axis P, in-plane pair S, S'; C side axis T, pair V, V'.
    double P[3][3], S[3][3], Sp[3][3], T[3][3], V[3][3], Vp[3][3];
    for (int i = 0; i < 3; ++i) {
        P[0][i] = -ex[i];
        S[0][i] = ez[i];
        Sp[0][i] = ey[i];
        T[0][i] = b_a1a2[i];
        V[0][i] = ez[i];
        Vp[0][i] = sin_alpha[0] * ex[i] + cos_alpha[0] * ey[i];

        P[1][i] = -b_a1a2[i];
        S[1][i] = -ez[i];
        Sp[1][i] = Vp[0][i];
        T[1][i] = -b_a3a2[i];
        V[1][i] = -ez[i];
        Vp[1][i] = sin_alpha[2] * ex[i] - cos_alpha[2] * ey[i];

        P[2][i] = b_a3a2[i];
        S[2][i] = ez[i];
        Sp[2][i] = Vp[1][i];
        T[2][i] = ex[i];
        V[2][i] = ez[i];
        Vp[2][i] = -ey[i];
    }

    // Where N1 actually sits on its cone: the reference for the final rotation.
    double r_tmp[3];
    for (int i = 0; i < 3; ++i) r_tmp[i] = (r_a1n1[i] / len_na[0] - cos_xi[0] * P[0][i]) / sin_xi[0];
    double sig1_init;
    calc_bnd_ang(S[0], r_tmp, sig1_init);
    sig1_init = sign(sig1_init, dot_product(r_tmp, Sp[0]));

    double r_a[3][3];
    for (int i = 0; i < 3; ++i) {
        r_a[0][i] = r_a1[i];
        r_a[1][i] = r_a1[i] + len_aa[1] * b_a1a2[i];
        r_a[2][i] = r_a3[i];
    }

    const double neg_ex[3] = {-ex[0], -ex[1], -ex[2]};

    for (int k = 0; k < n_soln; ++k) {
        double half_tan[3];
        half_tan[2] = roots[k];
        half_tan[1] = calc_t2(half_tan[2]);
        half_tan[0] = calc_t1(half_tan[2], half_tan[1]);
        guard_half_tangents(half_tan[2], half_tan[0], half_tan[1]);

        double cos_tau[4], sin_tau[4];
        for (int i = 1; i <= 3; ++i) {
            const double ht = half_tan[i - 1];
            const double tmp_sqr = ht * ht;
            cos_tau[i] = (1.0 - tmp_sqr) / (1.0 + tmp_sqr);
            sin_tau[i] = 2.0 * ht / (1.0 + tmp_sqr);
        }
        cos_tau[0] = cos_tau[3];
        sin_tau[0] = sin_tau[3];

        double cos_sig[3], sin_sig[3];
        for (int i = 0; i < 3; ++i) {
            cos_sig[i] = cos_delta[i] * cos_tau[i] + sin_delta[i] * sin_tau[i];
            sin_sig[i] = sin_delta[i] * cos_tau[i] - cos_delta[i] * sin_tau[i];
        }

        // N of residues 2, 3 and C of residues 1, 2 (N1 and C3 are anchors).
        double r_s[3][3], r_t[3][3];
        for (int i = 0; i < 3; ++i) {
            if (i > 0)
                for (int j = 0; j < 3; ++j)
                    r_s[i][j] = r_a[i][j] + len_na[i] * (cos_xi[i] * P[i][j] +
                                                         sin_xi[i] * (cos_sig[i] * S[i][j] + sin_sig[i] * Sp[i][j]));
            if (i < 2)
                for (int j = 0; j < 3; ++j)
                    r_t[i][j] = r_a[i][j] + len_ac[i] * (cos_eta[i] * T[i][j] +
                                                         sin_eta[i] * (cos_tau[i + 1] * V[i][j] +
                                                                       sin_tau[i + 1] * Vp[i][j]));
        }

        // Rotate about the CA1-CA3 axis so that N1 comes back onto the anchor.
        const double sig1 = std::atan2(sin_sig[0], cos_sig[0]);
        double qv[4], U[3][3];
        quaternion(neg_ex, (sig1_init - sig1) * 0.25, qv);
        rotation_matrix(qv, U);

        double* const pts[5] = {r_t[0], r_s[1], r_a[1], r_t[1], r_s[2]};
        double out[5][3];
        for (int m = 0; m < 5; ++m) {
            for (int i = 0; i < 3; ++i) tmp[i] = pts[m][i] - r_a1[i];
            matmul(U, tmp, out[m]);
            for (int i = 0; i < 3; ++i) out[m][i] += r_a1[i];
        }

        for (int i = 0; i < 3; ++i) {
            r_soln_n[k][0][i] = r_n1[i];
            r_soln_n[k][1][i] = out[1][i];
            r_soln_n[k][2][i] = out[4][i];
            r_soln_a[k][0][i] = r_a1[i];
            r_soln_a[k][1][i] = out[2][i];
            r_soln_a[k][2][i] = r_a3[i];
            r_soln_c[k][0][i] = out[0][i];
            r_soln_c[k][1][i] = out[3][i];
            r_soln_c[k][2][i] = r_c3[i];
        }
    }
}

void TripeptideClosure::initialize(const double bond_len[6], const double bond_ang[7], const double tors_ang[2]) {
    for (int i = 0; i < 6; ++i) len0[i] = bond_len[i];
    for (int i = 0; i < 7; ++i) b_ang0[i] = bond_ang[i];
    for (int i = 0; i < 2; ++i) t_ang0[i] = tors_ang[i];

    // Each peptide unit C_u-N_(u+1) in a local frame: C_u at the origin, the
    // C-N bond along x; its CA_u-CA_(u+1) virtual bond and the angles it
    // makes with the neighbouring real bonds depend only on fixed geometry.
    const double axis[3] = {1.0, 0.0, 0.0};
    for (int u = 1; u <= 2; ++u) {
        const int i = u - 1;
        const int ind = 3 * i;
        const double rr_a1[3] = {std::cos(b_ang0[ind + 1]) * len0[ind], std::sin(b_ang0[ind + 1]) * len0[ind], 0.0};
        const double rr_n2[3] = {len0[ind + 1], 0.0, 0.0};
        const double v[3] = {-std::cos(b_ang0[ind + 2]) * len0[ind + 2], std::sin(b_ang0[ind + 2]) * len0[ind + 2],
                             0.0};
        double qv[4], U[3][3], rv[3];
        quaternion(axis, t_ang0[i] * 0.25, qv);
        rotation_matrix(qv, U);
        matmul(U, v, rv);
        double rr_a2[3], a1a2[3];
        for (int k = 0; k < 3; ++k) {
            rr_a2[k] = rr_n2[k] + rv[k];
            a1a2[k] = rr_a2[k] - rr_a1[k];
        }
        len_aa[u] = std::sqrt(dot_product(a1a2, a1a2));

        double g1[3], g2[3], g3[3], ng1[3], ng2[3];
        for (int k = 0; k < 3; ++k) {
            g1[k] = rr_a1[k] / len0[ind];
            g2[k] = a1a2[k] / len_aa[u];
            g3[k] = (rr_n2[k] - rr_a2[k]) / len0[ind + 2];
            ng1[k] = -g1[k];
            ng2[k] = -g2[k];
        }
        calc_bnd_ang(ng2, g3, xi[u]);
        calc_bnd_ang(g2, ng1, eta[u - 1]);
        double dih;
        calc_dih_ang(g1, g2, g3, dih);
        delta[u] = pi - dih;
    }

    const double a_min = b_ang0[3] - (xi[1] + eta[1]);
    const double a_max_raw = b_ang0[3] + (xi[1] + eta[1]);
    const double a_max = a_max_raw < pi ? a_max_raw : pi;
    aa13_min_sqr = len_aa[1] * len_aa[1] + len_aa[2] * len_aa[2] - 2.0 * len_aa[1] * len_aa[2] * std::cos(a_min);
    aa13_max_sqr = len_aa[1] * len_aa[1] + len_aa[2] * len_aa[2] - 2.0 * len_aa[1] * len_aa[2] * std::cos(a_max);

    // Anchor-independent sines and cosines, hoisted out of every solve.
    for (int u = 1; u <= 2; ++u) {
        cos_delta[u] = std::cos(delta[u]);
        sin_delta[u] = std::sin(delta[u]);
        cos_xi[u] = std::cos(xi[u]);
        sin_xi[u] = std::sin(xi[u]);
        cos_eta[u - 1] = std::cos(eta[u - 1]);
        sin_eta[u - 1] = std::sin(eta[u - 1]);
    }
    theta[0] = b_ang0[0];
    theta[1] = b_ang0[3];
    theta[2] = b_ang0[6];
    for (int i = 0; i < 3; ++i) cos_theta[i] = std::cos(theta[i]);
}

void TripeptideClosure::solve(const double n1[3], const double ca1[3], const double ca3[3], const double c3[3],
                              double soln_n[16][3][3], double soln_a[16][3][3], double soln_c[16][3][3], int* num_soln) {
    int n_soln = 0;
    get_input_angles(&n_soln, n1, ca1, ca3, c3);
    if (n_soln == 0) {
        *num_soln = 0;
        return;
    }

    double poly_coeff[17];
    get_poly_coeff(poly_coeff);
    for (int k = 0; k < 17; ++k)
        if (!std::isfinite(poly_coeff[k])) {
            *num_soln = 0;
            return;
        }

    double roots[16];
    int n_root = 0;
    solve_sturm(16, &n_root, poly_coeff, roots);
    if (n_root <= 0) {
        *num_soln = 0;
        return;
    }
    coord_from_poly_roots(n_root, roots, n1, ca1, ca3, c3, soln_n, soln_a, soln_c);
    *num_soln = n_root;
}

}  // namespace lorvane
