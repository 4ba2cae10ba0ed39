#include "params/sampling_pair_table.h"

#include <algorithm>
#include <cmath>

#include "params/statistics.h"
#include "params/table_io.h"

namespace lorvane::params {

namespace {

struct SampGeometry {
    double r[ETABLE_BINS], g[ETABLE_BINS], gs[ETABLE_BINS];
    std::vector<int> kStart, kBin;  // kernel rows: bins and weights contributing to bin b
    std::vector<double> kW;
    double shellG = 0;  // reference mass of the normalisation shell

    explicit SampGeometry(const SamplingParams& p) {
        for (int b = 0; b < ETABLE_BINS; ++b) {
            r[b] = std::sqrt((b + 0.5) * 0.1);
            double dr = std::sqrt((b + 1) * 0.1) - std::sqrt(b * 0.1);
            g[b] = std::pow(r[b] / 8.0, p.alpha) * dr;
        }
        kStart.push_back(0);
        for (int b = 0; b < ETABLE_BINS; ++b) {
            for (int b2 = 0; b2 < ETABLE_BINS; ++b2) {
                double x = (r[b] - r[b2]) / p.sigma;
                if (std::fabs(x) > 3.0) continue;
                kBin.push_back(b2);
                kW.push_back(std::exp(-0.5 * x * x));
            }
            kStart.push_back(static_cast<int>(kBin.size()));
        }
        smooth(g, gs);
        // integral of (r/8)^alpha dr over the shell, in the units of g
        auto prim = [&](double r) { return 8.0 / (p.alpha + 1.0) * std::pow(r / 8.0, p.alpha + 1.0); };
        shellG = prim(15.0) - prim(p.shellFrom);
    }
    void smooth(const double* in, double* out) const {
        for (int b = 0; b < ETABLE_BINS; ++b) {
            double s = 0;
            for (int k = kStart[b]; k < kStart[b + 1]; ++k) s += kW[k] * in[kBin[k]];
            out[b] = s;
        }
    }
    // Smoothed observed / expected, the expected counts normalised on the 14.5-15 A shell; shrunk
    // towards prior when given.
    void ratios(const double* cnt, double shell, const double* prior, double pseudo, double* out) const {
        double ns[ETABLE_BINS];
        bool any = false;
        for (int b = 0; b < ETABLE_BINS && !any; ++b) any = cnt[b] != 0;
        if (!any) {  // nothing observed: the prior (or 1)
            for (int b = 0; b < ETABLE_BINS; ++b) out[b] = prior ? prior[b] : 1.0;
            return;
        }
        smooth(cnt, ns);
        const double rho = shell / shellG;
        for (int b = 0; b < ETABLE_BINS; ++b) {
            double expct = rho * gs[b];
            if (!prior) out[b] = expct > 0 ? ns[b] / expct : 1.0;
            else out[b] = shrinkRatio(ns[b], expct, prior[b], pseudo);
        }
    }
};

// d^2 (A^2, lower bin edge) below which a fraction q of the histogram lies.
double lowQuantile(const uint32_t* h, uint64_t n, double q) {
    double target = q * static_cast<double>(n);
    double cum = 0;
    for (int b = 0; b < CLASH_NBINS; ++b) {
        cum += h[b];
        if (cum > target) return b * 0.1;
    }
    return CLASH_NBINS * 0.1;
}

}  // namespace

void samplingTable(const PairTypes& pt, const PairCounts& c, const SamplingParams& p, SamplingTable& t) {
    const SampGeometry geo(p);
    const int B = ETABLE_BINS;
    const int NCP = QUENDA_CLASSES * QUENDA_CLASSES;
    // Class-pair and global pools.
    std::vector<double> pool(static_cast<size_t>(NCP) * B, 0.0), all(B, 0.0), poolShell(NCP, 0.0);
    double allShell = 0;
    std::vector<uint32_t> poolHist(static_cast<size_t>(NCAT) * NCP * CLASH_NBINS, 0);
    std::vector<uint64_t> poolTot(static_cast<size_t>(NCAT) * NCP, 0);
    for (int a = 0; a < NUM_PAIR_TYPES; ++a)
        for (int b2 = a; b2 < NUM_PAIR_TYPES; ++b2) {
            int pi = pairIndex(a, b2), cp = classPair(pt.vdwClass[a] - 1, pt.vdwClass[b2] - 1);
            for (int b = 0; b < B; ++b) {
                double v = toCount(c.samp[static_cast<size_t>(pi) * B + b]);
                pool[static_cast<size_t>(cp) * B + b] += v;
                all[b] += v;
            }
            poolShell[cp] += toCount(c.sampShell[pi]);
            allShell += toCount(c.sampShell[pi]);
            for (int k = 0; k < NCAT; ++k) {
                const uint32_t* h = &c.clashHist[(static_cast<size_t>(k) * NPAIRS + pi) * CLASH_NBINS];
                uint32_t* ph = &poolHist[(static_cast<size_t>(k) * NCP + cp) * CLASH_NBINS];
                for (int b = 0; b < CLASH_NBINS; ++b) {
                    ph[b] += h[b];
                    poolTot[static_cast<size_t>(k) * NCP + cp] += h[b];
                }
            }
        }
    std::vector<double> rAll(B), rPool(static_cast<size_t>(NCP) * B, 1.0);
    geo.ratios(all.data(), allShell, nullptr, p.pseudo, rAll.data());
    for (int c1 = 0; c1 < QUENDA_CLASSES; ++c1)
        for (int c2 = c1; c2 < QUENDA_CLASSES; ++c2) {
            int cp = classPair(c1, c2);
            geo.ratios(&pool[static_cast<size_t>(cp) * B], poolShell[cp], rAll.data(), p.pseudo, &rPool[static_cast<size_t>(cp) * B]);
        }
    t.e.assign(static_cast<size_t>(NPAIRS) * B, 0.0);
    t.wall.assign(NPAIRS, 0);
    std::vector<double> cnt(B), r(B);
    for (int a = 0; a < NUM_PAIR_TYPES; ++a)
        for (int b2 = a; b2 < NUM_PAIR_TYPES; ++b2) {
            int pi = pairIndex(a, b2), cp = classPair(pt.vdwClass[a] - 1, pt.vdwClass[b2] - 1);
            for (int b = 0; b < B; ++b) cnt[b] = toCount(c.samp[static_cast<size_t>(pi) * B + b]);
            geo.ratios(cnt.data(), toCount(c.sampShell[pi]), &rPool[static_cast<size_t>(cp) * B], p.pseudo, r.data());
            // Clash distance: the lowest per-category quantile, less the margin.
            double best = 1e9;
            int src = -1;
            for (int k = 0; k < NCAT; ++k) {
                const uint32_t* h = &c.clashHist[(static_cast<size_t>(k) * NPAIRS + pi) * CLASH_NBINS];
                const uint32_t* ph = &poolHist[(static_cast<size_t>(k) * NCP + cp) * CLASH_NBINS];
                const uint64_t pn = poolTot[static_cast<size_t>(k) * NCP + cp];
                uint64_t n = 0;
                for (int b = 0; b < CLASH_NBINS; ++b) n += h[b];
                double q;
                int s = k;
                if (n >= static_cast<uint64_t>(p.minCount)) {
                    q = lowQuantile(h, n, p.quantile);
                } else if (pn >= static_cast<uint64_t>(p.minCount)) {
                    // Too few pairs of this type pair: the class pair's quantile, unless the
                    // pair's own closest observation lies further in.
                    q = std::min(lowQuantile(ph, pn, p.quantile), lowQuantile(h, n, 0.0));
                    s = k + NCAT;
                } else if (n > 0) {
                    q = lowQuantile(h, n, 0.0);  // the closest observation
                } else {
                    continue;
                }
                double d = std::sqrt(q) - p.margin;
                if (d < best) {
                    best = d;
                    src = s;
                }
            }
            if (src < 0) best = 2.5;  // no statistics at all: a plain heavy-atom contact
            best = std::max(best, p.minClash);
            double d2 = std::min(best * best, (CLASH_NBINS - 2) * 0.1);
            int k = static_cast<int>(std::floor(d2 * 10.0 + 1e-9)) + 1;  // LJclash = (k - 1) * 0.1 <= d2
            t.wall[pi] = k;
            double* e = &t.e[static_cast<size_t>(pi) * B];
            for (int b = 0; b < B; ++b) {
                if (b < k) {
                    e[b] = p.wallBase + p.wallSlope * (k - b);
                } else {
                    double v = -std::log(std::max(r[b], std::exp(-p.cap)));
                    e[b] = std::min(v, p.cap);
                }
            }
        }
}

std::string formatSampling(const PairTypes& pt, const SamplingTable& t, const SamplingParams& p) {
    std::string out;
    out.reserve(static_cast<size_t>(NPAIRS) * 4800);
    out += "# Sampling pair table (kT), 167 residue-specific heavy-atom types, 640 bins of 0.1 A^2 (d^2 0-64 A^2)\n";
    out += "# derived by lorvane-params from loop contacts (|i-j| >= 2, a DSSP coil residue on either side):\n";
    out += "# distance-scaled finite ideal-gas reference (alpha = " + formatFixed(p.alpha, 2) + ", normalised on the " + formatFixed(p.shellFrom, 1) +
           "-15 A shell), Gaussian smoothing sd " +
           formatFixed(p.sigma, 2) + " A, pseudo-count " + formatFixed(p.pseudo, 1) + " towards the class-pair ratio, energies capped at " +
           formatFixed(p.cap, 1) + ";\n";
    out += "# values above 100 mark the clash wall: below the " + formatFixed(p.quantile * 100, 3) +
           "% quantile of observed non-bonded distances (per pair category) less " + formatFixed(p.margin, 2) + " A\n";
    appendPairLines(out, pt, t.e, ETABLE_BINS, 3);
    return out;
}

}  // namespace lorvane::params
