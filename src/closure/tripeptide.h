#pragma once
// Analytic closure of a tripeptide (Coutsias, Seok, Jacobson & Dill,
// J. Comput. Chem. 25:510-528, 2004): given N1, CA1 of residue 1 and CA3, C3
// of residue 3, plus the segment's bond lengths, bond angles and the two
// peptide torsions, find every placement of C1, N2, CA2, C2, N3 (at most 16).
//
// The solver's state lives in the object: one object per thread, no locks,
// no heap allocation.

namespace lorvane {

class TripeptideClosure {
public:
    // bond_len: CA1-C1, C1-N2, N2-CA2, CA2-C2, C2-N3, N3-CA3 (angstrom).
    // bond_ang: N1-CA1-C1, CA1-C1-N2, C1-N2-CA2, N2-CA2-C2, CA2-C2-N3, C2-N3-CA3,
    //           N3-CA3-C3 (radians).
    // tors_ang: CA1-C1-N2-CA2, CA2-C2-N3-CA3 (radians).
    void initialize(const double bond_len[6], const double bond_ang[7], const double tors_ang[2]);

    // All closures for anchors N1, CA1, CA3, C3 with the geometry of the last
    // initialize. Solution k (0..*num_soln-1), ordered by increasing polynomial
    // root: soln_n[k][i], soln_a[k][i], soln_c[k][i] are N, CA, C of residue i
    // (0..2). The anchors are copied back unchanged. *num_soln = 0 (arrays
    // untouched) when the anchors cannot be closed or are degenerate (CA1 = CA3,
    // N1 or C3 on the CA1-CA3 line).
    void solve(const double n1[3], const double ca1[3], const double ca3[3], const double c3[3], double soln_n[16][3][3],
               double soln_a[16][3][3], double soln_c[16][3][3], int* num_soln);

private:
    // Fixed geometry (initialize).
    double len0[6] = {}, b_ang0[7] = {}, t_ang0[2] = {};
    // Squared CA1-CA3 range in which the middle residue can close; the same
    // condition as the middle cone test, which is what decides.
    double aa13_min_sqr = 0, aa13_max_sqr = 0;
    // Derived geometry (index i = residue 1, 2, 3 of the segment).
    double len_aa[3] = {}, len_na[3] = {}, len_ac[3] = {};
    double r_a1a3[3] = {}, r_a1n1[3] = {}, r_a3c3[3] = {};
    double b_a1a3[3] = {}, b_a1n1[3] = {}, b_a3c3[3] = {};
    double xi[3] = {}, eta[3] = {}, delta[4] = {}, theta[3] = {}, alpha[3] = {};
    double sin_xi[3] = {}, cos_xi[3] = {}, sin_eta[3] = {}, cos_eta[3] = {}, cos_theta[3] = {}, sin_alpha[3] = {}, cos_alpha[3] = {};
    double sin_delta[4] = {}, cos_delta[4] = {};
    double C0[3][3] = {}, C1[3][3] = {}, C2[3][3] = {};
    double Q[5][17] = {}, R[3][17] = {};

    bool test_two_cone_existence_soln();
    void get_input_angles(int* n_soln, const double* n1, const double* ca1, const double* ca3, const double* c3);
    void get_poly_coeff(double* poly_coeff);
    double calc_t2(double t0);
    double calc_t1(double t0, double t2);
    double closure_residual(double t0, double t1, double t2);
    double newton_polish(double& t0, double& t1, double& t2, double res);
    void guard_half_tangents(double& t0, double& t1, double& t2);
    void coord_from_poly_roots(int n_soln, const double* roots, const double* r_n1, const double* r_a1, const double* r_a3,
                               const double* r_c3, double r_soln_n[16][3][3], double r_soln_a[16][3][3], double r_soln_c[16][3][3]);
};

}  // namespace lorvane
