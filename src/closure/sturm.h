#pragma once
// Real-root isolation of a polynomial of degree <= 16 by a Sturm sequence:
// sign changes of the sequence count the roots above a point, so roots are
// bracketed, separated by bisection and refined by a safeguarded regula falsi.
// Used by the tripeptide closure on its degree-16 eliminant.

namespace lorvane {

// Iteration limits and tolerance; per thread, set by initialize_loop_closure
// (they start at these same values on every thread).
extern constinit thread_local int MAXIT;            // bisection steps (100)
extern constinit thread_local int MAX_ITER_SECANT;  // regula falsi steps (20)
extern constinit thread_local double RELERROR;      // relative tolerance (1e-15)

constexpr int STURM_MAX_ORDER = 16;

// One member of a Sturm sequence: coef[k] multiplies x^k, k = 0..ord.
struct p {
    int ord;
    double coef[STURM_MAX_ORDER + 1];
};

// coeffs[0..order] (coeffs[k] of x^k) in; *nroot distinct real roots out in
// roots[0..*nroot-1], increasing. roots must hold `order` entries.
// order must be 1..16; a larger one is a programming error and is fatal.
void solve_sturm(int order, int* nroot, const double* coeffs, double* roots);

// Builds the sequence from sseq[0] (filled by the caller) into sseq[1..np]; returns np.
// sseq must hold 2*16 members.
int buildsturm(int ord, p* sseq);
// Sign changes at -inf (*atneg) and +inf (*atpos); returns the number of distinct real roots.
int numroots(int np, const p* sseq, int* atneg, int* atpos);
// Sign changes of the sequence at x = a.
int numchanges(int np, const p* sseq, double a);
// Writes the atmin - atmax roots in [min, max) to roots, increasing (a zero
// counts as a sign change, so a root at a point is counted above it).
void sbisect(int np, const p* sseq, double min, double max, int atmin, int atmax, double* roots);
// Regula falsi on a root bracketed by a and b; 1 and *val on success, 0 on failure.
int modrf(int ord, const double* coef, double a, double b, double* val);
// Horner's rule.
double evalpoly(int ord, const double* coef, double x);

}  // namespace lorvane
