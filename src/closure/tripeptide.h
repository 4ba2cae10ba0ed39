#pragma once
// Analytic closure of a tripeptide (Coutsias, Seok, Jacobson & Dill,
// J. Comput. Chem. 25:510-528, 2004): given N1, CA1 of residue 1 and CA3, C3
// of residue 3, plus the segment's bond lengths, bond angles and the two
// peptide torsions, find every placement of C1, N2, CA2, C2, N3 (at most 16).
//
// Solver state is thread-local: each thread calls initialize_loop_closure and
// then solve_3pep_poly on its own. No heap allocation.

namespace lorvane {

// bond_len: CA1-C1, C1-N2, N2-CA2, CA2-C2, C2-N3, N3-CA3 (angstrom).
// bond_ang: N1-CA1-C1, CA1-C1-N2, C1-N2-CA2, N2-CA2-C2, CA2-C2-N3, C2-N3-CA3,
//           N3-CA3-C3 (radians).
// tors_ang: CA1-C1-N2-CA2, CA2-C2-N3-CA3 (radians).
void initialize_loop_closure(const double bond_len[6], const double bond_ang[7], const double tors_ang[2]);

// All closures for anchors N1, CA1, CA3, C3. Solution k (0..*num_soln-1),
// ordered by increasing polynomial root: soln_n[k][i], soln_a[k][i],
// soln_c[k][i] are N, CA, C of residue i (0..2). The anchors are copied back
// unchanged. *num_soln = 0 (arrays untouched) when the anchors cannot be
// closed or are degenerate (CA1 = CA3, N1 or C3 on the CA1-CA3 line).
void solve_3pep_poly(const double n1[3], const double ca1[3], const double ca3[3], const double c3[3],
                     double soln_n[16][3][3], double soln_a[16][3][3], double soln_c[16][3][3], int* num_soln);

}  // namespace lorvane
