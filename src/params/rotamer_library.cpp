// Rotamer library "newsimplRot.txt": per residue type a list of chi-angle
// sets (degrees), blocks separated by "//" lines in type order A C D ... Y.
//
// Data: training side chains with every heavy side-chain atom present and
// all side-chain B-factors (CB onwards) at most 40 A^2 (well-ordered side
// chains, as in the usual rotamer-library practice), weighted by chain
// weight. Chis are measured exactly as the templates build them (the free
// template dihedrals), so a library angle rebuilds the observed atom.
// Two-fold symmetric chis (Phe chi2, Tyr chi2, Asp chi2, Glu chi3) are
// treated with period 180 and written in [-90, 90).
//
// Clustering is hierarchical, chi by chi: the side chains of a type are
// clustered on chi1; those of each chi1 cluster on chi2; and so on. On one
// chi a cluster is found by greedy covering of the (periodic) 1-degree
// histogram: take the window of +-30 degrees holding the most not yet
// covered weight, move its centre to the circular mean of the points in it
// (three times), cover those points, repeat while a window still holds at
// least 0.4 % of all side chains of the type. Each side chain then joins its
// nearest centre, and the children are clustered on the next chi. A leaf is
// a rotamer: the centres along its path. Siblings therefore share their
// leading chis exactly, which the growth code exploits: a chi equal to the
// previous rotamer's (and all chis before it equal too) is written as the
// placeholder 9999, and the side chain is not rebuilt up to that chi.
// Order: depth first, heavier clusters first. Frequent rotamers (at least
// 5 % of the type) get neighbours at -1 and +1 s.d. of their members on chi1
// and on chi2 (not proline, whose chis close a ring), so that well-packed
// side chains off the cluster centre still find a close rotamer; chi2
// neighbours follow their rotamer, chi1 neighbours close the block. If a
// type would exceed 108 rotamers the 0.4 % threshold is raised until it
// fits. Glycine and alanine have empty blocks (count 0).
#include "params/rotamer_library.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "model/residue_names.h"
#include "params/chain_geometry.h"
#include "params/commands.h"
#include "params/table_io.h"

namespace lorvane::params {

namespace {

struct ChiPoint {
    double chi[4];
    double w;
};

constexpr double kShiftWindow = 15.0;  // half-width of the mean-shift window, degrees

double circularMean(const std::vector<ChiPoint>& pts, const std::vector<int>& idx, int level, double period, double fallback) {
    const double scale = 2.0 * PI / period;
    double s = 0, c = 0;
    for (int i : idx) {
        s += pts[i].w * std::sin(pts[i].chi[level] * scale);
        c += pts[i].w * std::cos(pts[i].chi[level] * scale);
    }
    if (s * s + c * c < 1e-24) return fallback;
    return wrapAngle(std::atan2(s, c) / scale, period);
}

class Clusterer {
public:
    Clusterer(const std::vector<ChiPoint>& pts, int type, int nchi, double minW, double radius)
        : pts_(pts), type_(type), nchi_(nchi), minW_(minW), radius_(radius) {}

    void run(std::vector<Rotamer>& out) {
        std::vector<int> all(pts_.size());
        for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
        Rotamer path;
        level(all, 0, path, out);
    }

    // A fresh cluster id (for the rotamers added beside the clusters).
    int nextNode() { return nodes_++; }

private:
    const std::vector<ChiPoint>& pts_;
    int type_, nchi_;
    double minW_, radius_;
    int nodes_ = 0;

    // Centres on chi `lv` of the side chains idx, by greedy covering.
    std::vector<double> centres(const std::vector<int>& idx, int lv) {
        const double period = chiPeriod(type_, lv);
        const int nb = static_cast<int>(period);
        const int R = static_cast<int>(radius_);
        std::vector<double> hist(nb, 0.0);
        std::vector<int> bin(idx.size());
        for (size_t k = 0; k < idx.size(); ++k) {
            int b = static_cast<int>(std::floor(wrapAngle(pts_[idx[k]].chi[lv], period) + period / 2.0));
            b = std::min(nb - 1, std::max(0, b));
            bin[k] = b;
            hist[b] += pts_[idx[k]].w;
        }
        std::vector<char> covered(idx.size(), 0);
        std::vector<double> found;
        // Peaks are found on the histogram smoothed with a Gaussian of 8 degrees
        // and refined by mean shift in a narrow window, so that two modes
        // closer than a cluster width (the proline ring puckers) are not
        // merged into one centre between them.
        std::vector<double> kern(49);
        for (int d = -24; d <= 24; ++d) kern[d + 24] = std::exp(-0.5 * d * d / 64.0);
        for (;;) {
            int best = -1;
            double bestS = -1;
            for (int b = 0; b < nb; ++b) {
                double v = 0;
                for (int d = -24; d <= 24; ++d) v += hist[((b + d) % nb + nb) % nb] * kern[d + 24];
                if (v > bestS + 1e-12) bestS = v, best = b;
            }
            double window = 0;
            for (int d = -R; d <= R; ++d) window += hist[((best + d) % nb + nb) % nb];
            if (best < 0 || window < minW_ || window <= 0) break;
            double c = best + 0.5 - period / 2.0;
            std::vector<int> in;
            for (int it = 0; it < 5; ++it) {
                in.clear();
                for (size_t k = 0; k < idx.size(); ++k)
                    if (!covered[k] && angDiff(pts_[idx[k]].chi[lv], c, period) <= kShiftWindow) in.push_back(idx[k]);
                c = circularMean(pts_, in, lv, period, c);
            }
            double w = 0;
            for (size_t k = 0; k < idx.size(); ++k)
                if (!covered[k] && angDiff(pts_[idx[k]].chi[lv], c, period) <= radius_) w += pts_[idx[k]].w;
            const bool keep = w >= minW_;
            // Cover the members (or, for a centre that drifted off, the window) so the loop ends.
            for (size_t k = 0; k < idx.size(); ++k) {
                if (covered[k]) continue;
                bool member = keep ? angDiff(pts_[idx[k]].chi[lv], c, period) <= radius_
                                   : angDiff(bin[k] + 0.5 - period / 2.0, best + 0.5 - period / 2.0, period) <= R;
                if (member) {
                    covered[k] = 1;
                    hist[bin[k]] -= pts_[idx[k]].w;
                }
            }
            if (keep) found.push_back(c);
        }
        if (found.empty() && !idx.empty()) found.push_back(circularMean(pts_, idx, lv, period, 0.0));
        return found;
    }

    void level(const std::vector<int>& idx, int lv, Rotamer path, std::vector<Rotamer>& out) {
        const double period = chiPeriod(type_, lv);
        std::vector<double> c = centres(idx, lv);
        std::vector<std::vector<int>> members(c.size());
        std::vector<double> weight(c.size(), 0.0);
        for (int i : idx) {
            size_t best = 0;
            double bd = 1e9;
            for (size_t k = 0; k < c.size(); ++k) {
                double d = angDiff(pts_[i].chi[lv], c[k], period);
                if (d < bd - 1e-12) bd = d, best = k;
            }
            members[best].push_back(i);
            weight[best] += pts_[i].w;
        }
        std::vector<size_t> order(c.size());
        for (size_t k = 0; k < order.size(); ++k) order[k] = k;
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return weight[a] > weight[b]; });
        for (size_t k : order) {
            Rotamer r = path;
            r.chi[lv] = wrapAngle(c[k], period);
            r.node[lv] = nodes_++;
            if (lv + 1 == nchi_) {
                r.weight = weight[k];
                // Spread of the members about the rotamer on each chi (rms, degrees).
                for (int m = 0; m < nchi_; ++m) {
                    double s2 = 0;
                    for (int i : members[k]) {
                        const double d = angDiff(pts_[i].chi[m], r.chi[m], chiPeriod(type_, m));
                        s2 += pts_[i].w * d * d;
                    }
                    r.sd[m] = weight[k] > 0 ? std::sqrt(s2 / weight[k]) : 0.0;
                }
                out.push_back(r);
            } else {
                level(members[k], lv + 1, r, out);
            }
        }
    }
};

}  // namespace

void buildRotamers(const Templates& tm, const TrainingSet& ts, const RotamerParams& p, RotamerLibrary& lib) {
    lib = RotamerLibrary();
    std::vector<ChiPoint> pts[20];
    for (const TrainChain& ch : ts.chains)
        for (const TrainResidue& r : ch.residues) {
            const int t = r.type;
            const int nchi = numChis(t);
            if (nchi == 0) continue;
            const int last = std::min(LAST_HEAVY_SLOT[t], TRAIN_SLOTS - 1);
            bool ok = true;
            for (int j = 5; j <= last && ok; ++j)
                if (!r.has(j) || r.bfactor[j] > p.maxSideChainB) ok = false;
            if (!ok) continue;
            double chi[5];
            if (chiAngles(tm, t, r.atoms, r.present, chi) != nchi) continue;
            ChiPoint cp{};
            for (int k = 0; k < nchi && k < 4; ++k) cp.chi[k] = wrapAngle(chi[k], chiPeriod(t, k));
            cp.w = ch.weight;
            pts[t].push_back(cp);
        }
    for (int t = 0; t < 20; ++t) {
        const int nchi = std::min(4, numChis(t));
        lib.used[t] = static_cast<long>(pts[t].size());
        if (nchi == 0 || pts[t].empty()) continue;
        double total = 0;
        for (const ChiPoint& c : pts[t]) total += c.w;
        double frac = p.minWeight;
        for (;;) {
            std::vector<Rotamer> rots;
            Clusterer cl(pts[t], t, nchi, frac * total, p.radius);
            cl.run(rots);
            // Frequent rotamers get neighbours at -1 and +1 s.d. on chi1 and
            // on chi2: those on chi2 follow their rotamer (sharing chi1 with
            // it), those on chi1 go to the end of the block.
            std::vector<Rotamer> withChi2, chi1Variants;
            for (const Rotamer& r : rots) {
                withChi2.push_back(r);
                // Proline's two chis close a ring: moving one alone strains it.
                if (t == PRO || r.weight < p.expandWeight * total) continue;
                for (int m = 0; m < std::min(2, nchi); ++m) {
                    if (r.sd[m] < p.minExpandSd) continue;
                    for (int sign : {-1, 1}) {
                        Rotamer v = r;
                        v.chi[m] = wrapAngle(r.chi[m] + sign * r.sd[m], chiPeriod(t, m));
                        v.weight = 0;
                        for (int q = m; q < 4; ++q) v.node[q] = q < nchi ? cl.nextNode() : -1;
                        (m == 0 ? chi1Variants : withChi2).push_back(v);
                    }
                }
            }
            withChi2.insert(withChi2.end(), chi1Variants.begin(), chi1Variants.end());
            if (static_cast<int>(withChi2.size()) <= p.maxPerType) {
                lib.rot[t] = withChi2;
                break;
            }
            frac *= 1.25;
        }
    }
}

std::string formatRotamers(const RotamerLibrary& lib) {
    std::string text;
    for (int t = 0; t < 20; ++t) {
        text += "//\n";
        const int nchi = std::min(4, numChis(t));
        const auto& rots = lib.rot[t];
        for (size_t k = 0; k < rots.size(); ++k) {
            bool sharedSoFar = k > 0;
            for (int m = 0; m < nchi; ++m) {
                sharedSoFar = sharedSoFar && rots[k].node[m] == rots[k - 1].node[m];
                if (m) text += ' ';
                text += sharedSoFar ? std::string("9999") : formatFixed(rots[k].chi[m], 1);
            }
            text += '\n';
        }
    }
    text += "//\n";
    return text;
}

bool rotamerCovered(const RotamerLibrary& lib, int type, const double* chi, double tol) {
    const int nchi = std::min(4, numChis(type));
    for (const Rotamer& r : lib.rot[type]) {
        bool ok = true;
        for (int m = 0; m < nchi && ok; ++m) ok = angDiff(chi[m], r.chi[m], chiPeriod(type, m)) <= tol;
        if (ok) return true;
    }
    return nchi == 0;
}

void cmdRotamers(const std::vector<std::string>& args, Session& session) {
    const Options o = parseOptions(args, "rotamers");
    const TrainingSet& ts = session.trainingSet(o);
    RotamerParams p;
    RotamerLibrary lib;
    buildRotamers(session.templates(o.templates), ts, p, lib);
    const std::string path = outPath(o.out, "newsimplRot.txt");
    writeTextFile(path, formatRotamers(lib));
    std::cout << "rotamers:";
    for (int t = 0; t < 20; ++t)
        if (numChis(t) > 0) std::cout << " " << oneLetter(t) << " " << lib.rot[t].size() << "/" << lib.used[t];
    std::cout << " (rotamers/side chains); wrote " << path << std::endl;
}

}  // namespace lorvane::params
