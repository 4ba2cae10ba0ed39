// For a residue pos grown towards a fixed residue rpos at gap g = |rpos - pos|
// (3..21), with d0 = |CA(pos) - CA(rpos)|:
//   forward  (rpos = pos + g): d1 = |C(pos) - CA(rpos)|, d2 = |CA(pos+1) - CA(rpos)|
//   backward (rpos = pos - g): d1 = |N(pos) - CA(rpos)|, d2 = |CA(pos-1) - CA(rpos)|
// The marginal table is the joint distribution of (d1, d2) on 16 x 16 cells
// between limits; the conditional table of row r is the joint distribution
// of (d1 - d0, d2 - d0) over the segments with floor(d0 + 0.5) = r.
//
// Segments: every run pos..rpos of one training chain without a chain break
// whose four atoms are present, weighted by the chain weight. Class of a
// segment (the sampler reads only C): C when at least half of its g + 1
// residues are DSSP coil, else H or E by the larger count of helix and
// strand residues. Loops are mostly coil but carry turns and short helical
// or extended stretches, so "mostly coil" describes them better than "all
// coil" (which leaves long gaps almost without data) or "any" (which mixes
// in the very compact helices and very extended strands).
//
// Limits: marginal axes from the smallest and largest distance seen,
// widened on each side by 3 % of the range (at least 0.5 A) so that loops
// slightly beyond the training extremes are not rejected outright (the
// extremes are bounded physically: chain extension and steric contact).
// Conditional rows pool the neighbouring end-to-end distances r +- 1 (weight
// 1/2) and, when that gives fewer than 20 effective observations, r +- 2
// (weight 1/4); a row with less than one effective observation is
// degenerate (all zero: width 0 is the marker the sampler knows). Their axes
// span the pooled observations, widened by 10 % (at least 0.1 A).
//
// Probabilities: weighted cell counts smoothed with a Gaussian of 0.75 cells
// (truncated at 2 cells), every cell next to an observed one raised to at
// least 1e-6 before the final normalisation, so that no cell real segments
// reach falls below the sampler's 1e-7 cut-off by sampling noise alone.
#include "params/joint_distances.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "params/commands.h"
#include "params/statistics.h"
#include "params/smoothing.h"
#include "params/table_io.h"

namespace lorvane::params {

int segmentClass(const std::vector<int>& coilPrefix, const std::vector<int>& helixPrefix, int lo, int hi, double coilFraction) {
    const int len = hi - lo + 1;
    const int nC = coilPrefix[hi + 1] - coilPrefix[lo];
    const int nH = helixPrefix[hi + 1] - helixPrefix[lo];
    const int nE = len - nC - nH;
    if (nC >= coilFraction * len - 1e-9) return 2;
    return nH >= nE ? 0 : 1;
}

namespace {

struct Obs {
    float d0, d1, d2, w;
};

double roundTo(double v, int decimals) {
    const double f = std::pow(10.0, decimals);
    return std::round(v * f) / f;
}

// Axis limits from weighted quantiles, widened, rounded as they are written.
void axisLimits(std::vector<std::pair<float, float>>& v, double qLo, double qHi, double frac, double minMargin, bool nonNegative,
                double& lo, double& hi) {
    lo = weightedQuantile(v, qLo);
    hi = weightedQuantile(v, qHi);
    const double m = std::max(minMargin, frac * (hi - lo));
    lo -= m;
    hi += m;
    if (nonNegative) lo = std::max(0.0, lo);
    lo = roundTo(lo, 3);
    hi = roundTo(hi, 3);
}

int cellOf(double d, double lo, double hi) {
    const double x = 16.0 * (d - lo) / (hi - lo);
    if (!(x >= 0.0 && x <= 16.0)) return -1;
    return std::min(15, static_cast<int>(x));
}

// Smoothed, floored, normalised 16 x 16 table from weighted counts.
void finishTable(const double* counts, const DistanceParams& p, double* out) {
    double blurred[256];
    gaussBlur16(counts, blurred, p.blurSigma, 2);
    double s = 0;
    for (double v : blurred) s += v;
    if (s <= 0) {
        std::fill(out, out + 256, 0.0);
        return;
    }
    for (int k = 0; k < 256; ++k) out[k] = blurred[k] / s;
    for (int i = 0; i < 16; ++i)
        for (int j = 0; j < 16; ++j) {
            bool near = false;
            for (int a = std::max(0, i - 1); a <= std::min(15, i + 1) && !near; ++a)
                for (int b = std::max(0, j - 1); b <= std::min(15, j + 1); ++b)
                    if (counts[a * 16 + b] > 0) {
                        near = true;
                        break;
                    }
            if (near) out[i * 16 + j] = std::max(out[i * 16 + j], p.floorProb);
        }
    s = 0;
    for (int k = 0; k < 256; ++k) s += out[k];
    for (int k = 0; k < 256; ++k) out[k] /= s;
}

void buildClassTables(std::vector<Obs>& obs, const DistanceParams& p, DistanceTables& t, int g, int s) {
    t.observations[g][s] = static_cast<long>(obs.size());
    if (obs.empty()) return;
    // Marginal.
    std::vector<std::pair<float, float>> v1, v2;
    v1.reserve(obs.size());
    v2.reserve(obs.size());
    for (const Obs& o : obs) {
        v1.emplace_back(o.d1, o.w);
        v2.emplace_back(o.d2, o.w);
    }
    double* lim = t.margLim[g][s];
    axisLimits(v1, p.qLo, p.qHi, p.margMargin, p.margMarginMin, true, lim[0], lim[1]);
    axisLimits(v2, p.qLo, p.qHi, p.margMargin, p.margMarginMin, true, lim[2], lim[3]);
    double counts[256] = {};
    for (const Obs& o : obs) {
        int i = cellOf(o.d1, lim[0], lim[1]), j = cellOf(o.d2, lim[2], lim[3]);
        if (i >= 0 && j >= 0) counts[i * 16 + j] += o.w;
    }
    finishTable(counts, p, &t.marg[g][s][0][0]);

    // Conditional rows.
    std::vector<std::vector<int>> byR(MAX_END_DISTANCE + 1);
    for (size_t k = 0; k < obs.size(); ++k) {
        const int r = static_cast<int>(std::floor(obs[k].d0 + 0.5));
        if (r >= 0 && r <= MAX_END_DISTANCE) byR[r].push_back(static_cast<int>(k));
    }
    const double factor[3] = {1.0, 0.5, 0.25};
    for (int r = 0; r <= MAX_END_DISTANCE; ++r) {
        std::vector<std::pair<int, double>> pooled;  // (observation, pooling factor)
        double neff = 0;
        for (int w = 1; w <= 2; ++w) {
            pooled.clear();
            neff = 0;
            for (int d = -w; d <= w; ++d) {
                const int rr = r + d;
                if (rr < 0 || rr > MAX_END_DISTANCE) continue;
                for (int k : byR[rr]) {
                    pooled.emplace_back(k, factor[std::abs(d)]);
                    neff += factor[std::abs(d)] * obs[k].w;
                }
            }
            if (neff >= p.condFull) break;
        }
        if (neff < p.condMin) continue;  // degenerate row: stays zero
        std::vector<std::pair<float, float>> u1, u2;
        for (const auto& [k, f] : pooled) {
            const Obs& o = obs[k];
            u1.emplace_back(o.d1 - o.d0, static_cast<float>(f * o.w));
            u2.emplace_back(o.d2 - o.d0, static_cast<float>(f * o.w));
        }
        double* cl = t.cl(g, s, r);
        axisLimits(u1, p.condQLo, p.condQHi, p.condMargin, p.condMarginMin, false, cl[0], cl[1]);
        axisLimits(u2, p.condQLo, p.condQHi, p.condMargin, p.condMarginMin, false, cl[2], cl[3]);
        double cc[256] = {};
        for (const auto& [k, f] : pooled) {
            const Obs& o = obs[k];
            int i = cellOf(o.d1 - o.d0, cl[0], cl[1]), j = cellOf(o.d2 - o.d0, cl[2], cl[3]);
            if (i >= 0 && j >= 0) cc[i * 16 + j] += f * o.w;
        }
        finishTable(cc, p, t.cp(g, s, r));
    }
}

}  // namespace

void buildDistances(const TrainingSet& ts, const DistanceParams& p, DistanceTables& fw, DistanceTables& bw) {
    // Per chain: prefix counts of coil and helix residues and of chain breaks.
    struct Prefix {
        std::vector<int> coil, helix, brk;
    };
    std::vector<Prefix> pre(ts.chains.size());
    for (size_t c = 0; c < ts.chains.size(); ++c) {
        const auto& R = ts.chains[c].residues;
        Prefix& P = pre[c];
        P.coil.assign(R.size() + 1, 0);
        P.helix.assign(R.size() + 1, 0);
        P.brk.assign(R.size() + 1, 0);
        for (size_t i = 0; i < R.size(); ++i) {
            P.coil[i + 1] = P.coil[i] + (R[i].ss == 'C');
            P.helix[i + 1] = P.helix[i] + (R[i].ss == 'H');
            P.brk[i + 1] = P.brk[i] + (R[i].breakBefore ? 1 : 0);
        }
    }
    // No break between residues lo and hi (lo < hi): no breakBefore on lo+1..hi.
    auto bonded = [](const Prefix& P, int lo, int hi) { return P.brk[hi + 1] - P.brk[lo + 1] == 0; };

    for (int g = MIN_GAP; g <= MAX_GAP; ++g) {
        std::vector<Obs> of[3], ob[3];
        for (size_t c = 0; c < ts.chains.size(); ++c) {
            const TrainChain& ch = ts.chains[c];
            const auto& R = ch.residues;
            const Prefix& P = pre[c];
            const int n = static_cast<int>(R.size());
            const float w = static_cast<float>(ch.weight);
            for (int lo = 0; lo + g < n; ++lo) {
                const int hi = lo + g;
                if (!bonded(P, lo, hi)) continue;
                const int s = segmentClass(P.coil, P.helix, lo, hi, p.coilFraction);
                // forward: pos = lo, rpos = hi
                if (R[lo].has(1) && R[lo].has(2) && R[lo + 1].has(1) && R[hi].has(1)) {
                    const Point& far = R[hi].atoms[1];
                    of[s].push_back({static_cast<float>(R[lo].atoms[1].dis(far)), static_cast<float>(R[lo].atoms[2].dis(far)),
                                     static_cast<float>(R[lo + 1].atoms[1].dis(far)), w});
                }
                // backward: pos = hi, rpos = lo
                if (R[hi].has(1) && R[hi].has(0) && R[hi - 1].has(1) && R[lo].has(1)) {
                    const Point& far = R[lo].atoms[1];
                    ob[s].push_back({static_cast<float>(R[hi].atoms[1].dis(far)), static_cast<float>(R[hi].atoms[0].dis(far)),
                                     static_cast<float>(R[hi - 1].atoms[1].dis(far)), w});
                }
            }
        }
        for (int s = 0; s < 3; ++s) {
            buildClassTables(of[s], p, fw, g, s);
            buildClassTables(ob[s], p, bw, g, s);
        }
    }
}

std::string formatMarginal(const DistanceTables& t) {
    std::string text;
    for (int g = MIN_GAP; g <= MAX_GAP; ++g)
        for (int s = 0; s < 3; ++s) {
            const double* l = t.margLim[g][s];
            text += std::to_string(g) + " " + CLASS_LETTER[s] + " " + formatFixed(l[0], 3) + " " + formatFixed(l[1], 3) + " " + formatFixed(l[2], 3) +
                    " " + formatFixed(l[3], 3) + "\n";
            appendProbabilityRows(text, &t.marg[g][s][0][0], DIST_BINS, DIST_BINS);
        }
    return text;
}

std::string formatConditional(const DistanceTables& t) {
    std::string text;
    for (int g = MIN_GAP; g <= MAX_GAP; ++g)
        for (int s = 0; s < 3; ++s)
            for (int r = 0; r <= MAX_END_DISTANCE; ++r) {
                const double* l = t.cl(g, s, r);
                text += std::to_string(g) + " " + CLASS_LETTER[s] + " " + std::to_string(r) + " " + formatFixed(l[0], 3) + " " +
                        formatFixed(l[1], 3) + " " + formatFixed(l[2], 3) + " " + formatFixed(l[3], 3) + "\n";
                appendProbabilityRows(text, t.cp(g, s, r), DIST_BINS, DIST_BINS);
            }
    return text;
}

void cmdDistances(const std::vector<std::string>& args, Session& session) {
    const Options o = parseOptions(args, "distances");
    const TrainingSet& ts = session.trainingSet(o);
    DistanceParams p;
    auto fw = std::make_unique<DistanceTables>();
    auto bw = std::make_unique<DistanceTables>();
    buildDistances(ts, p, *fw, *bw);
    writeTextFile(outPath(o.out, "joint.distance.txt"), formatMarginal(*fw));
    writeTextFile(outPath(o.out, "joint.distance.backward.txt"), formatMarginal(*bw));
    writeTextFile(outPath(o.out, "joint.distance.conditional.txt"), formatConditional(*fw));
    writeTextFile(outPath(o.out, "joint.distance.conditional.backward.txt"), formatConditional(*bw));
    long rows = 0, usable = 0;
    for (int g = MIN_GAP; g <= MAX_GAP; ++g)
        for (int r = 0; r <= MAX_END_DISTANCE; ++r) {
            ++rows;
            if (fw->cl(g, 2, r)[1] - fw->cl(g, 2, r)[0] >= 0.001) ++usable;
        }
    std::printf("distances: class-C segments per gap (forward) 3: %ld, 12: %ld, 21: %ld; usable class-C conditional rows %ld of %ld; wrote %s/joint.distance*.txt\n",
                fw->observations[3][2], fw->observations[12][2], fw->observations[21][2], usable, rows, o.out.c_str());
}

}  // namespace lorvane::params
