// Sturm-sequence real-root isolation (Sturm 1835; the bracketing/bisection/
// regula-falsi scheme follows D. G. Hook and P. R. McAree, "Using Sturm
// sequences to bracket real roots of polynomial equations", Graphics Gems I,
// 1990). Coefficient scaling and the 1e-18 zero threshold keep the sequence
// well-defined for the closure eliminant, whose coefficients are O(1).
#include "closure/sturm.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif
#include <string>

#include "model/error.h"

namespace lorvane {

// Every Horner evaluation here, scalar or in vector lanes, must round the same
// way whatever the build flags (-march=native would fuse multiply and add).
#if defined(__GNUC__) && !defined(__clang__)
#define NO_CONTRACT __attribute__((optimize("fp-contract=off")))
#else
#define NO_CONTRACT
#endif

namespace {

constexpr double SMALL_ENOUGH = 1e-18;  // remainder coefficients below this are zero
constexpr int MAX_POW = 32;             // bracket widening steps (factor 10 each) per side

// Sign-change count of the values f[0..np]: a zero counts as a change
// against whatever follows it.
inline int count_changes(int np, const double* f) {
    int changes = 0;
    double lf = f[0];
    for (int i = 1; i <= np; ++i) {
        changes += (lf == 0.0) | (lf * f[i] < 0.0);
        lf = f[i];
    }
    return changes;
}

// The sequence transposed for counting: t[k] holds the coefficients of x^k
// of all members side by side, zero above each member's degree. Horner on a
// zero-padded member performs exactly the operations of plain Horner once its
// leading coefficient is reached (a*0 + c == c for finite a), so the counts
// equal those of numchanges; but all members advance together, in registers,
// instead of one chain after the other. The bisection loops spend most of
// the solver's time here.
typedef double v2d __attribute__((vector_size(16)));
constexpr int NVEC = (STURM_MAX_ORDER + 2) / 2;  // members 0..16 in pairs

struct SturmTable {
    int np;
    int ord0;
    v2d t[STURM_MAX_ORDER + 1][NVEC];
};

void make_table(int np, const p* sseq, SturmTable& T) {
    T.np = np;
    T.ord0 = sseq[0].ord;
    for (int k = 0; k <= T.ord0; ++k) {
        double* row = reinterpret_cast<double*>(T.t[k]);
        for (int m = 0; m < 2 * NVEC; ++m) row[m] = (m <= np && k <= sseq[m].ord) ? sseq[m].coef[k] : 0.0;
    }
}

NO_CONTRACT int changes_at(const SturmTable& T, double a) {
    v2d f[NVEC];
    for (int j = 0; j < NVEC; ++j) f[j] = v2d{0.0, 0.0};
    const v2d av = {a, a};
    for (int k = T.ord0; k >= 0; --k) {
        const v2d* row = T.t[k];
#pragma GCC unroll 9
        for (int j = 0; j < NVEC; ++j) f[j] = av * f[j] + row[j];
    }
    double v[2 * NVEC];
    std::memcpy(v, f, sizeof v);
    return count_changes(T.np, v);
}

// Four points at once: every lane runs plain Horner on each member at its own
// x, so each lane's count is exactly numchanges at that x. Bisection counts at
// the midpoint and, in the same pass, at the midpoints it may visit next: the
// lanes come almost free, the latency of the Horner chains does not. (Eight
// AVX-512 lanes, three levels ahead, measured no faster.)
#if defined(__x86_64__) && defined(__GNUC__)
#define LORVANE_STURM_SIMD 1

__attribute__((target("avx2"))) NO_CONTRACT void counts4(int np, const p* sseq, const double* xs, int* out) {
    const __m256d x = _mm256_loadu_pd(xs);
    const __m256d zero = _mm256_setzero_pd();
    const __m256i one = _mm256_set1_epi64x(1);
    __m256i cnt = _mm256_setzero_si256();
    __m256d prev = zero;
    for (int m = 0; m <= np; ++m) {
        const p& s = sseq[m];
        __m256d f = _mm256_set1_pd(s.coef[s.ord]);
        for (int k = s.ord - 1; k >= 0; --k) f = _mm256_add_pd(_mm256_mul_pd(x, f), _mm256_set1_pd(s.coef[k]));
        if (m > 0) {
            const __m256d change = _mm256_or_pd(_mm256_cmp_pd(prev, zero, _CMP_EQ_OQ),
                                                _mm256_cmp_pd(_mm256_mul_pd(prev, f), zero, _CMP_LT_OQ));
            cnt = _mm256_add_epi64(cnt, _mm256_and_si256(_mm256_castpd_si256(change), one));
        }
        prev = f;
    }
    long long c[4];
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(c), cnt);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<int>(c[i]);
}

bool have_avx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}
#else
bool have_avx2() { return false; }
#endif

// Sign-change counts of one sequence. With vector lanes, a count also
// evaluates the points the caller may ask for next and keeps that pass.
class Counter {
public:
    Counter(int np, const p* sseq) : np_(np), sseq_(sseq), simd_(have_avx2()) {
        if (!simd_) make_table(np, sseq, table_);
        for (double& x : cx_) x = NAN;  // matches no point
    }

    // Count at x; on a miss also at up to three of the other points given.
    int at(double x, const double* extra = nullptr, int nextra = 0) {
        if (!simd_) return changes_at(table_, x);
        for (int i = 0; i < LANES; ++i)
            if (cx_[i] == x) return cc_[i];
        cx_[0] = x;
        int n = 1;
        for (int i = 0; i < nextra && n < LANES; ++i) cx_[n++] = extra[i];
        for (int i = n; i < LANES; ++i) cx_[i] = x;
#ifdef LORVANE_STURM_SIMD
        counts4(np_, sseq_, cx_, cc_);
#endif
        return cc_[0];
    }

    // Count at the bisection midpoint (min + max) / 2, along with the two
    // midpoints of the next level and one of the level after.
    int at_mid(double min, double max) {
        const double mid = (min + max) / 2.0;
        if (!simd_) return changes_at(table_, mid);
        const double c0 = (min + mid) / 2.0, c1 = (mid + max) / 2.0;
        const double ext[3] = {c0, c1, (min + c0) / 2.0};
        return at(mid, ext, 3);
    }

private:
    static constexpr int LANES = 4;
    int np_;
    const p* sseq_;
    bool simd_;
    SturmTable table_;
    double cx_[LANES];  // points of the last pass and their counts
    int cc_[LANES];
};

}  // namespace

NO_CONTRACT double evalpoly(int ord, const double* coef, double x) {
    const double* fp = coef + ord;
    double f = *fp;
    for (fp--; fp >= coef; fp--) f = x * f + *fp;
    return f;
}

int buildsturm(int ord, p* sseq) {
    sseq[0].ord = ord;
    sseq[1].ord = ord - 1;

    // Derivative scaled so that its leading coefficient is +-1.
    const double f = std::fabs(sseq[0].coef[ord] * ord);
    for (int k = 1; k <= ord; ++k) sseq[1].coef[k - 1] = sseq[0].coef[k] * k / f;

    int m = 2;
    for (p* sp = sseq + 2;; ++m, ++sp) {
        const p& u = sp[-2];
        const p& v = sp[-1];
        p& r = *sp;
        for (int k = 0; k <= u.ord; ++k) r.coef[k] = u.coef[k];

        // Remainder of u / v; v's leading coefficient is +-1, so the quotient
        // terms need no division. A negative leading term flips alternate signs.
        if (v.coef[v.ord] < 0.0) {
            for (int k = u.ord - v.ord - 1; k >= 0; k -= 2) r.coef[k] = -r.coef[k];
            for (int k = u.ord - v.ord; k >= 0; --k)
                for (int j = v.ord + k - 1; j >= k; --j)
                    r.coef[j] = -r.coef[j] - r.coef[v.ord + k] * v.coef[j - k];
        } else {
            for (int k = u.ord - v.ord; k >= 0; --k)
                for (int j = v.ord + k - 1; j >= k; --j)
                    r.coef[j] -= r.coef[v.ord + k] * v.coef[j - k];
        }

        int k = v.ord - 1;
        while (k >= 0 && std::fabs(r.coef[k]) < SMALL_ENOUGH) {
            r.coef[k] = 0.0;
            --k;
        }
        r.ord = k < 0 ? 0 : k;
        if (r.ord == 0) break;

        const double scale = -std::fabs(r.coef[r.ord]);
        for (int j = 0; j <= r.ord; ++j) r.coef[j] /= scale;
    }
    sseq[m].coef[0] = -sseq[m].coef[0];
    return m;
}

int numroots(int np, const p* sseq, int* atneg, int* atpos) {
    double lead[2 * STURM_MAX_ORDER];
    for (int i = 0; i <= np; ++i) lead[i] = sseq[i].coef[sseq[i].ord];
    const int pos = count_changes(np, lead);
    for (int i = 0; i <= np; ++i)
        if (sseq[i].ord & 1) lead[i] = -lead[i];
    const int neg = count_changes(np, lead);
    *atneg = neg;
    *atpos = pos;
    return neg - pos;
}

int numchanges(int np, const p* sseq, double a) {
    double f[2 * STURM_MAX_ORDER];
    for (int i = 0; i <= np; ++i) f[i] = evalpoly(sseq[i].ord, sseq[i].coef, a);
    return count_changes(np, f);
}

NO_CONTRACT int modrf(int ord, const double* coef, double a, double b, double* val, const SturmLimits& L) {
    double fa = evalpoly(ord, coef, a);
    double fb = evalpoly(ord, coef, b);
    if (fa * fb > 0.0 || L.secantSteps < 1) return 0;

    double lfx = fa;
    for (int its = 0; its < L.secantSteps; ++its) {
        double x = (fb * a - fa * b) / (fb - fa);
        if (x > b || x < a) x = (a + b) * 0.5;
        const double fx = evalpoly(ord, coef, x);
        if (std::fabs(x) > L.relError) {
            if (std::fabs(fx / x) < L.relError) {
                *val = x;
                return 1;
            }
        } else if (std::fabs(fx) < L.relError) {
            *val = x;
            return 1;
        }
        // Halving the stale end's value (Illinois rule) avoids one-sided stalls.
        if (fa * fx < 0.0) {
            b = x;
            fb = fx;
            if (lfx * fx > 0.0) fa *= 0.5;
        } else {
            a = x;
            fa = fx;
            if (lfx * fx > 0.0) fb *= 0.5;
        }
        lfx = fx;
    }
    return 0;
}

namespace {

void bisect_counted(Counter& C, const p* sseq, double min, double max, int atmin, int atmax, double* roots, const SturmLimits& L) {
    const int nroot = atmin - atmax;
    double mid = 0.0;

    if (nroot == 1) {
        // A zero of the polynomial exactly at max is counted in the interval
        // above (the counts cover [min, max)); regula falsi would return it
        // as this interval's root, so such brackets go straight to bisection.
        if (evalpoly(sseq[0].ord, sseq[0].coef, max) != 0.0 &&
            modrf(sseq[0].ord, sseq[0].coef, min, max, &roots[0], L))
            return;
        for (int its = 0; its < L.bisections; ++its) {
            mid = (min + max) / 2.0;
            const int atmid = C.at_mid(min, max);
            if (std::fabs(mid) > L.relError) {
                if (std::fabs((max - min) / mid) < L.relError) {
                    roots[0] = mid;
                    return;
                }
            } else if (std::fabs(max - min) < L.relError) {
                roots[0] = mid;
                return;
            }
            if (atmin - atmid != 0)
                max = mid;
            else
                min = mid;
        }
        std::fprintf(stderr, "sbisect: overflow min %f max %f\t\t\t\t\tdiff %e nroot %d n1 %d n2 %d\n", min, max,
                     max - min, 1, 0, 0);
        roots[0] = mid;
        return;
    }

    for (int its = 0; its < L.bisections; ++its) {
        mid = (min + max) / 2.0;
        int atmid = C.at_mid(min, max);
        // Rounding can make a count step outside [atmax, atmin]; clamp so the
        // split below never indexes outside this interval's share of roots.
        if (atmid > atmin) atmid = atmin;
        if (atmid < atmax) atmid = atmax;
        const int n1 = atmin - atmid;
        const int n2 = atmid - atmax;
        if (n1 != 0 && n2 != 0) {
            bisect_counted(C, sseq, min, mid, atmin, atmid, roots, L);
            bisect_counted(C, sseq, mid, max, atmid, atmax, roots + n1, L);
            return;
        }
        if (n1 == 0)
            min = mid;
        else
            max = mid;
    }
    for (int n = 0; n < nroot; ++n) roots[n] = mid;
}

}  // namespace

void sbisect(int np, const p* sseq, double min, double max, int atmin, int atmax, double* roots, const SturmLimits& limits) {
    Counter C(np, sseq);
    bisect_counted(C, sseq, min, max, atmin, atmax, roots, limits);
}

void solve_sturm(int order, int* nroot, const double* coeffs, double* roots, const SturmLimits& limits) {
    if (order < 1 || order > STURM_MAX_ORDER)
        fail("solve_sturm: polynomial degree " + std::to_string(order) + " outside 1..16", 1);

    p sseq[2 * STURM_MAX_ORDER];
    for (int k = 0; k <= order; ++k) sseq[0].coef[k] = coeffs[k];
    const int np = buildsturm(order, sseq);

    int atmin = 0, atmax = 0;
    if (numroots(np, sseq, &atmin, &atmax) == 0) {
        *nroot = 0;
        return;
    }
    Counter C(np, sseq);
    // The bracket search visits +-1, +-10, ... in turn; count the first few at once.
    static constexpr double powers[7] = {-10.0, -100.0, -1000.0, 1.0, 10.0, 100.0, 1000.0};

    // Widens a bracket end x tenfold until its sign-change count is the target
    // (at most MAX_POW times); short of it, the target becomes what was reached.
    auto widen = [&](double& x, int nchanges, int& target, const char* side) {
        for (int i = 0; nchanges != target && i != MAX_POW; ++i) {
            x *= 10.0;
            nchanges = C.at(x);
        }
        if (nchanges != target) {
            std::fprintf(stderr, "solve: unable to bracket all %s roots\n", side);
            target = nchanges;
        }
    };
    double min = -1.0;
    widen(min, C.at(min, powers, 7), atmin, "negative");
    double max = 1.0;
    widen(max, C.at(max), atmax, "positive");

    *nroot = atmin - atmax;
    if (*nroot <= 0) {  // every root outside the reachable bracket
        *nroot = 0;
        return;
    }
    bisect_counted(C, sseq, min, max, atmin, atmax, roots, limits);
}

}  // namespace lorvane
