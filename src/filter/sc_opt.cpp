// Side-chain refinement of a finished loop: the chi angles of each loop
// residue are relaxed by Levenberg-Marquardt minimisation of a one-residue
// energy (pair-table sum over the CB neighbourhood plus clash penalties).
// The minimiser is GSL's trust-region Levenberg-Marquardt with a forward-
// difference Jacobian (step max(1e-4 |p|, delta), as in the levmar library).
#include <gsl/gsl_errno.h>
#include <gsl/gsl_multifit_nlinear.h>
#include <gsl/gsl_vector.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "build/side_chain.h"
#include "filter/filter.h"
#include "filter/final_safeguards.h"
#include "potentials/dfire.h"

extern "C" void openblas_set_num_threads(int num_threads);

namespace lorvane {

void filterLibrariesInit() {
    static std::once_flag once;
    std::call_once(once, [] {
        gsl_set_error_handler_off();
        openblas_set_num_threads(1);
    });
}

namespace {

constexpr double ACCEPT = 1000.0;
constexpr double HETERO_CLASH_REACH2 = 16.0;  // no clash distance of a hetero atom reaches 4 A
constexpr double TARGET = -10000.0;

struct LmData {
    ResidualFn func;
    void* adata;
    const double* target;
    int m, n;
    double delta;
    std::vector<double> p, hx, lastX, lastF;
    bool haveLast = false;
};

// Residuals f(p) - x at a GSL vector, remembered for the Jacobian at the same point.
void residuals(LmData& d, const gsl_vector* x, double* out) {
    for (int j = 0; j < d.m; ++j) d.p[j] = gsl_vector_get(x, j);
    if (d.haveLast && std::equal(d.p.begin(), d.p.end(), d.lastX.begin())) {
        std::copy(d.lastF.begin(), d.lastF.end(), out);
        return;
    }
    d.func(d.p.data(), d.hx.data(), d.m, d.n, d.adata);
    for (int k = 0; k < d.n; ++k) out[k] = d.hx[k] - d.target[k];
    d.lastX = d.p;
    d.lastF.assign(out, out + d.n);
    d.haveLast = true;
}

int gslF(const gsl_vector* x, void* params, gsl_vector* f) {
    LmData& d = *static_cast<LmData*>(params);
    std::vector<double> out(d.n);
    residuals(d, x, out.data());
    for (int k = 0; k < d.n; ++k) gsl_vector_set(f, k, out[k]);
    return GSL_SUCCESS;
}

int gslDf(const gsl_vector* x, void* params, gsl_matrix* J) {
    LmData& d = *static_cast<LmData*>(params);
    std::vector<double> f0(d.n), f1(d.n);
    residuals(d, x, f0.data());
    const std::vector<double> base = d.p;
    for (int j = 0; j < d.m; ++j) {
        const double h = std::max(std::fabs(1e-4 * base[j]), d.delta);
        d.p = base;
        d.p[j] += h;
        d.func(d.p.data(), d.hx.data(), d.m, d.n, d.adata);
        for (int k = 0; k < d.n; ++k) gsl_matrix_set(J, k, j, (d.hx[k] - d.target[k] - f0[k]) / h);
    }
    d.p = base;
    return GSL_SUCCESS;
}

struct SCRecord {
    const Templates& tm;
    const Potentials& pot;
    const AtomIndex& atoms;
    int residue;
    Structure* s;
    int nchi;
    const int* neigh;
    int nn;
};

int slotType(const AtomIndex& x, int r, int slot) { return slot < 0 || slot >= MAX_ATOMS ? NO_PAIR_TYPE : x.typeOf(r, slot); }

// Residual callback of the side-chain minimiser (all residuals = oneResSC).
void evalE(double* p, double* hx, int, int, void* adata) {
    SCRecord& rec = *static_cast<SCRecord*>(adata);
    Structure& s = *rec.s;
    calSCCoHeavy(rec.tm, s[rec.residue], p);
    const double e = oneResSC(rec.pot, rec.atoms, s, rec.residue, rec.neigh, rec.nn);
    for (int k = 0; k < rec.nchi; ++k) hx[k] = e;
}

// Keeps, in order, the neighbour atoms that any conformation of residue i's
// side chain can score with oneResSC: those within the cut-off plus the side
// chain's reach of its CB, which the side chain never moves. The reach covers
// the built conformations and the present positions, whatever they came from
// (0.05 A covers rounding). The sums over the shorter list are those over the
// whole one.
int keepWithinReach(const Templates& tm, const Potentials& pot, const Structure& s, int i, int* neigh, int nn) {
    const Residue& res = s[i];
    double reach = sideChainReach(tm, res.type);
    if (reach < 0.0) return nn;
    const Point cb = res.atoms[SLOT_CB];
    for (int k = FIRST_SIDE_CHAIN_SLOT; k <= LAST_HEAVY_SLOT[res.type]; ++k) reach = std::max(reach, res.atoms[k].dis(cb));
    const double lim = std::sqrt(pot.maxDis2) + reach + 0.05;
    const double lim2 = lim * lim;
    int kept = 0;
    for (int q = 0; q < nn; ++q) {
        const int r = neigh[3 * q], k = neigh[3 * q + 1];
        const Point& a = r == HETERO_NEIGHBOUR ? static_cast<const Point&>(s.hetero[k]) : s[r].atoms[k];
        if (cb.sdis(a) > lim2) continue;
        std::copy_n(neigh + 3 * q, 3, neigh + 3 * kept);
        ++kept;
    }
    return kept;
}

}  // namespace

int lmMinimise(ResidualFn func, double* p, const double* x, int m, int n, int itmax, const double opts[5], void* adata) {
    if (m <= 0 || n < m) return 0;
    filterLibrariesInit();
    LmData d{func, adata, x, m, n, opts[4] > 0 ? opts[4] : 1e-6, std::vector<double>(m), std::vector<double>(n), {}, {}, false};

    gsl_multifit_nlinear_parameters params = gsl_multifit_nlinear_default_parameters();
    params.trs = gsl_multifit_nlinear_trs_lm;
    params.scale = gsl_multifit_nlinear_scale_levenberg;  // plain mu * I damping, as levmar
    gsl_multifit_nlinear_workspace* w = gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &params, n, m);
    if (!w) return 0;
    gsl_multifit_nlinear_fdf fdf;
    fdf.f = gslF;
    fdf.df = gslDf;
    fdf.fvv = nullptr;
    fdf.n = n;
    fdf.p = m;
    fdf.params = &d;
    gsl_vector_view p0 = gsl_vector_view_array(p, m);
    int iter = 0;
    if (gsl_multifit_nlinear_init(&p0.vector, &fdf, w) == GSL_SUCCESS) {
        for (; iter < itmax; ++iter) {
            const gsl_vector* f = gsl_multifit_nlinear_residual(w);
            double ss = 0.0;
            for (int k = 0; k < n; ++k) ss += gsl_vector_get(f, k) * gsl_vector_get(f, k);
            if (ss <= opts[3]) break;
            if (gsl_multifit_nlinear_iterate(w) != GSL_SUCCESS) break;
            int info = 0;
            if (gsl_multifit_nlinear_test(opts[2], opts[1], 0.0, &info, w) == GSL_SUCCESS) {
                ++iter;
                break;
            }
        }
        const gsl_vector* best = gsl_multifit_nlinear_position(w);
        for (int j = 0; j < m; ++j) p[j] = gsl_vector_get(best, j);
    }
    gsl_multifit_nlinear_free(w);
    return iter;
}

double oneResSC(const Potentials& pot, const AtomIndex& x, const Structure& s, int i, const int* neigh, int nn) {
    const Residue& res = s[i];
    const int t = res.type;
    if (!isAminoAcid(t)) return 0.0;
    const int last = LAST_HEAVY_SLOT[t];
    if (last < FIRST_SIDE_CHAIN_SLOT) return 0.0;
    const int a0 = x.index(i, FIRST_SIDE_CHAIN_SLOT), a1 = x.index(i, last);
    if (a0 < 0 || a1 < a0) return 0.0;
    const double maxd2 = pot.maxDis2;
    const bool proline = t == PRO;
    const int N = s._numRes;
    double E = 0.0;
    for (int k0 = FIRST_SIDE_CHAIN_SLOT; k0 <= last; ++k0) {
        const int ta = slotType(x, i, k0);
        if (ta == NO_PAIR_TYPE) continue;
        const Point a = res.atoms[k0];
        for (int q = 0; q < nn; ++q) {
            const int r = neigh[3 * q], k = neigh[3 * q + 1], tb = neigh[3 * q + 2];
            const double d2 = a.sdis(r == HETERO_NEIGHBOUR ? static_cast<const Point&>(s.hetero[k]) : s[r].atoms[k]);
            if (d2 < maxd2) E += pot.pairEnergy(ta, tb, d2);
        }
        for (int nb : {i - 1, i + 1}) {
            if (nb < 1 || nb > N) continue;
            const Residue& rn = s[nb];
            if (!isAminoAcid(rn.type)) continue;
            for (int k = 0; k <= LAST_HEAVY_SLOT[rn.type]; ++k) {
                if (k == SLOT_H) continue;
                if (nb == i - 1 && k == SLOT_C && proline) continue;
                const int tb = slotType(x, nb, k);
                if (tb == NO_PAIR_TYPE || !rn.atoms[k].present()) continue;
                const double d2 = a.sdis(rn.atoms[k]);
                if (d2 < maxd2 && pot.pairEnergy(ta, tb, d2) > 10.0) E += REJECTED;
            }
        }
        if (!proline) {
            for (int k : {SLOT_N, SLOT_O, SLOT_C}) {
                const int tb = slotType(x, i, k);
                if (tb == NO_PAIR_TYPE) continue;
                if (a.sdis(res.atoms[k]) < pot.ljClash[ta][tb]) E += REJECTED;
            }
        }
    }
    return E;
}

bool frameClash(const Potentials& pot, const AtomIndex& x, const Structure& s, int start, int end, bool tolerant, bool backboneOnly) {
    constexpr double MIN_D2 = 2.005 * 2.005;  // 2.0 A, with room for the 3-decimal rounding of the written coordinates
    const int N = s._numRes;
    for (int i = start; i <= end; ++i) {
        const Residue& ri = s[i];
        if (!isAminoAcid(ri.type)) continue;
        const int lastI = backboneOnly ? std::min<int>(SLOT_CB, LAST_HEAVY_SLOT[ri.type]) : LAST_HEAVY_SLOT[ri.type];
        for (int j = 1; j <= N; ++j) {
            if (j >= start && j <= end) continue;
            const Residue& rj = s[j];
            if (!isAminoAcid(rj.type) || !rj.atoms[SLOT_CA].present()) continue;
            if (ri.atoms[SLOT_CA].sdis(rj.atoms[SLOT_CA]) > 900.0) continue;  // no side chains reach across 30 A
            const int lastJ = LAST_HEAVY_SLOT[rj.type];
            for (int a = 0; a <= lastI; ++a) {
                const int ga = x.index(i, a);
                if (a == SLOT_H || ga < 0 || !ri.atoms[a].present()) continue;
                const int ta = x.pairType[ga];
                for (int b = 0; b <= lastJ; ++b) {
                    const int gb = x.index(j, b);
                    if (b == SLOT_H || gb < 0 || !rj.atoms[b].present()) continue;
                    if (ga < x.nonBonded.n && gb < x.nonBonded.n && (!x.nonBonded[ga][gb] || x.oneFour[ga][gb])) continue;
                    const int tb = x.pairType[gb];
                    double lim = MIN_D2;
                    if (!tolerant) {
                        if (ta != NO_PAIR_TYPE && tb != NO_PAIR_TYPE) lim = std::max(lim, pot.ljClash[ta][tb]);
                    } else {
                        if (disulfidePair(s, i, a, j, b)) continue;
                        double d = 2.0;
                        if (ta != NO_PAIR_TYPE && tb != NO_PAIR_TYPE) d = std::max(d, std::sqrt(pot.ljClash[ta][tb]));
                        lim = (d - FRAME_CLASH_TOLERANCE) * (d - FRAME_CLASH_TOLERANCE);
                    }
                    if (ri.atoms[a].sdis(rj.atoms[b]) < lim) return true;
                }
            }
        }
        for (int a = 0; a <= lastI; ++a) {
            const int ga = x.index(i, a);
            if (a == SLOT_H || ga < 0 || !ri.atoms[a].present()) continue;
            for (const HeteroAtom& h : s.hetero) {
                const double d2 = ri.atoms[a].sdis(h);
                if (d2 < HETERO_CLASH_REACH2 && d2 < heteroClash2(pot, h, x.pairType[ga], ri.atoms[a].name)) return true;
            }
        }
    }
    return false;
}

bool optimiseSideChain(const Templates& tm, const Potentials& pot, const AtomIndex& x, Structure& s, int i) {
    // Room for every atom of the protein: the neighbour list can never overflow.
    const int cap = std::max(2000, environmentCapacity(x, s));
    std::vector<int> neigh(3 * static_cast<size_t>(cap));
    const int nn = keepWithinReach(tm, pot, s, i, neigh.data(), getNeigh(x, s, i, neigh.data(), cap));
    Residue& r = s[i];
    r.numAtoms = static_cast<int16_t>(tm.numAtom[r.type]);
    const int m = NUM_SC_DIHEDRALS[r.type];
    double p[5] = {0, 0, 0, 0, 0};
    double target[5];
    for (int k = 0; k < m && k < 5; ++k) {
        p[k] = r.chi[k];
        target[k] = TARGET;
    }
    SCRecord rec{tm, pot, x, i, &s, m, neigh.data(), nn};
    if (m > 0) {
        const double opts[5] = {0.01, 1e-10, 1e-10, 1e-20, 0.01};
        lmMinimise(evalE, p, target, m, m, 15, opts, &rec);
    }
    for (int k = 0; k < m && k < 5; ++k) r.chi[k] = p[k];
    calSCCoHeavy(tm, r, p);
    const double e = oneResSC(pot, x, s, i, neigh.data(), nn);
    return e <= ACCEPT;
}

bool refineSideChains(const Templates& tm, const Potentials& pot, const AtomIndex& x, Structure& s, int start, int end) {
    bool ok = true;
    for (int i = end; i >= start; --i) {
        const int t = s[i].type;
        if (noSideChain(t) || !isAminoAcid(t)) continue;
        measureChis(tm, s[i], DEG2RAD);
        if (!optimiseSideChain(tm, pot, x, s, i)) ok = false;
    }
    return ok;
}

void chooseRotamers(const Templates& tm, const Potentials& pot, const AtomIndex& x, Structure& s, int start, int end,
                    const RotamerPrior* prior) {
    const int cap = std::max(2000, environmentCapacity(x, s));
    std::vector<int> neigh(3 * static_cast<size_t>(cap));
    // A second sweep lets each residue answer the rotamers its neighbours took after it.
    for (int sweep = 0; sweep < 2; ++sweep)
        for (int i = end; i >= start; --i) {
            Residue& r = s[i];
            const int t = r.type;
            if (noSideChain(t) || !isAminoAcid(t) || pot.rotamers.count[t] <= 0) continue;
            r.numAtoms = static_cast<int16_t>(tm.numAtom[t]);
            const int nn = keepWithinReach(tm, pot, s, i, neigh.data(), getNeigh(x, s, i, neigh.data(), cap));
            measureChis(tm, r, DEG2RAD);
            double best[5] = {0, 0, 0, 0, 0};
            std::copy_n(r.chi, 5, best);
            // The backbone stays: the preference's table row and chi atoms are found once per residue.
            const PriorSite site = prior ? priorSite(*prior, tm, s, i) : PriorSite{};
            auto energy = [&] { return oneResSC(pot, x, s, i, neigh.data(), nn) + priorEnergy(site, r); };
            double eBest = energy();
            for (int rot = 0; rot < pot.rotamers.count[t]; ++rot) {
                double chi[5] = {0, 0, 0, 0, 0};
                std::copy_n(pot.rotamers.resolved[t][rot], 4, chi);
                calSCCoHeavy(tm, r, chi);
                const double e = energy();
                if (e < eBest) eBest = e, std::copy_n(chi, 5, best);
            }
            calSCCoHeavy(tm, r, best);
            std::copy_n(best, 5, r.chi);
        }
}

bool repackSideChains(const Templates& tm, const Potentials& pot, const AtomIndex& x, Structure& s, int start, int end,
                      const RotamerPrior* prior) {
    chooseRotamers(tm, pot, x, s, start, end, prior);
    return refineSideChains(tm, pot, x, s, start, end);
}

}  // namespace lorvane
