#include "params/dfire_table.h"

#include <algorithm>
#include <cmath>

#include "params/statistics.h"
#include "params/table_io.h"

namespace lorvane::params {

void dfireEnergies(const PairTypes& pt, const PairCounts& c, const DfireParams& p, std::vector<double>& e) {
    const int B = DFIRE_BINS;
    double g[DFIRE_BINS];
    const double rcut = (B - 0.5) * 0.5;
    for (int b = 0; b < B; ++b) g[b] = std::pow((b + 0.5) * 0.5 / rcut, p.alpha);  // dr / dr_cut = 1
    std::vector<double> n(static_cast<size_t>(NPAIRS) * B), pool(static_cast<size_t>(QUENDA_CLASSES) * QUENDA_CLASSES * B, 0.0), all(B, 0.0);
    for (int a = 0; a < NUM_PAIR_TYPES; ++a)
        for (int b2 = a; b2 < NUM_PAIR_TYPES; ++b2) {
            int pi = pairIndex(a, b2), cp = classPair(pt.vdwClass[a] - 1, pt.vdwClass[b2] - 1);
            for (int b = 0; b < B; ++b) {
                double v = toCount(c.dfire[static_cast<size_t>(pi) * B + b]);
                n[static_cast<size_t>(pi) * B + b] = v;
                pool[static_cast<size_t>(cp) * B + b] += v;
                all[b] += v;
            }
        }
    // Observed / expected with expected = N(r_cut) (r / r_cut)^alpha, shrunk towards a prior ratio.
    auto ratios = [&](const double* cnt, const double* prior, double* out) {
        const double ncut = cnt[B - 1];
        for (int b = 0; b < B; ++b) {
            double expct = ncut * g[b];
            if (!prior) out[b] = expct > 0 ? cnt[b] / expct : 1.0;
            else out[b] = shrinkRatio(cnt[b], expct, prior[b], p.pseudo);
        }
    };
    std::vector<double> rAll(B), rPool(static_cast<size_t>(QUENDA_CLASSES) * QUENDA_CLASSES * B, 1.0);
    ratios(all.data(), nullptr, rAll.data());
    for (int c1 = 0; c1 < QUENDA_CLASSES; ++c1)
        for (int c2 = c1; c2 < QUENDA_CLASSES; ++c2) {
            int cp = classPair(c1, c2);
            ratios(&pool[static_cast<size_t>(cp) * B], rAll.data(), &rPool[static_cast<size_t>(cp) * B]);
        }
    e.assign(static_cast<size_t>(NPAIRS) * B, 0.0);
    std::vector<double> r(B);
    for (int a = 0; a < NUM_PAIR_TYPES; ++a)
        for (int b2 = a; b2 < NUM_PAIR_TYPES; ++b2) {
            int pi = pairIndex(a, b2), cp = classPair(pt.vdwClass[a] - 1, pt.vdwClass[b2] - 1);
            ratios(&n[static_cast<size_t>(pi) * B], &rPool[static_cast<size_t>(cp) * B], r.data());
            for (int b = 0; b < B; ++b) e[static_cast<size_t>(pi) * B + b] = -p.rt * std::log(std::max(r[b], p.minRatio));
        }
}

std::string formatDfire(const PairTypes& pt, const std::vector<double>& e, const DfireParams& p) {
    std::string out;
    out.reserve(static_cast<size_t>(NPAIRS) * 260);
    out += "# DFIRE pair energies (kcal/mol), 167 residue-specific heavy-atom types, 30 bins of 0.5 A (0-15 A)\n";
    out += "# derived by lorvane-params from the training chains: distance-scaled finite ideal-gas reference,\n";
    out += "# alpha = " + formatFixed(p.alpha, 2) + ", RT = " + formatFixed(p.rt, 3) + ", pseudo-count " + formatFixed(p.pseudo, 1) +
           " expected counts towards the van der Waals class-pair ratio\n";
    appendPairLines(out, pt, e, DFIRE_BINS, 4);
    return out;
}

}  // namespace lorvane::params
