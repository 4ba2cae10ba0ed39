// QUENDA loop potential "QUENDA_ed4_8_V3.txt" from native training loops
// against their own decoys.
//
// The final scoring and the compare mode rank conformations of one loop by
// QUENDA, so what matters is which contacts a native loop makes more often
// than misplaced copies of itself. An ideal-gas reference (the previous
// derivation, kept in pair_potentials.cpp for the short-range wall) makes
// most contacts at 4-7 A unfavourable, so that loops with fewer contacts
// score better: on sampled conformations it ranked against the RMSD.
//
// Counts: the atom pairs quenda_e scores with all atoms (a loop residue i with
// every residue j, |i - j| >= 2, CA-CA < 20 A, loop-loop pairs once, heavy
// atoms of van der Waals codes 1..20 closer than 8 A, bin floor(10 d)), by
// class pair and bin, for
//   natives: the training loops (src/params/loop_decoys.h), with CB and side
//            chains rebuilt from their own chi angles as the decoys' are, so
//            that the two sides differ by the backbone placement only;
//   decoys:  perturbed-dihedral decoys of the same loops, closed with the
//            tripeptide solver, backbone RMSD (rmsdg) >= minRmsd; up to
//            perKind from each of eight kinds of draws (Gaussian noise of sd
//            20, 30, 45, 60, 90, 120 degrees on the native (phi, psi),
//            resampling of each residue's pair from the coil pool with
//            probability 0.5 and 1), so that moderate and gross errors are
//            both represented; decoys with a scored pair closer than 2.0 A
//            are dropped (the compare mode's clash rule).
// Each loop adds its native counts and the mean counts of its decoys, times
// its chain's weight; loops with fewer than minDecoys decoys are left out.
//
// Energy of class pair (p, q) at bin k, with both count sets smoothed by a
// Gaussian of sd sigma along the distance:
//   R_all(k)   = (n_nat + a) / (s n_dec + a)                   over all pairs
//   R_grp(k)   = (n_nat + a R_all) / (s n_dec + a)             over the group pair
//   R_pq(k)    = (n_nat + a R_grp) / (s n_dec + a)
//   E(p, q, k) = -ln R_pq, clamped to [-cap, cap],
// s = N_native / N_decoy (totals over all class pairs and bins), a = pseudo.
// With s the counts compare where contacts lie, not how many there are: a
// decoy does not gain by losing contacts, nor by piling into the frame.
// Short-range wall: below the first bin where the ideal-gas energy of the
// class pair (all coil-residue contacts of the training chains, normalised at
// 14.5-15 A; quendaEnergies) drops under wallFrom (8 kT: natives at under
// 0.04 % of the reference density), and below 2.0 A, where no decoy is
// counted, that energy, at least wallFrom and made non-increasing with
// distance, so clashes stay strongly repulsive whatever the decoys did there.
// Between the wall and the data the statistic (with its cap) speaks: natives
// rarely come that close, decoys do.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <numeric>

#include "growth/smc.h"
#include "model/error.h"
#include "model/residue.h"
#include "params/commands.h"
#include "params/params_a_util.h"
#include "params/params_b.h"
#include "potentials/pf.h"

using namespace lorvane;

namespace paramsb {

// Groups: carbonyl/carboxyl C; aromatic C; aliphatic C (CA included); backbone N (and Pro N);
// sulfur; side-chain N; side-chain O; backbone O.
const int QUENDA_GROUP[NCLASSES] = {0, 1, 2, 2, 2, 1, 3, 4, 5, 5, 5, 5, 6, 7, 6, 4, 3, 0, 2, 6};

void QuendaDecoyCounts::reset() {
    native.assign(QUENDA_SIZE, 0);
    decoy.assign(QUENDA_SIZE, 0);
    loops = decoys = skipped = 0;
    made = ramaRejected = clashes = closureFailures = tooClose = 0;
}

namespace {

bool scoredAtom(const Atom& a) { return a.type >= 1 && a.type <= 20 && !(a.x == 0.0f && a.y == 0.0f && a.z == 0.0f); }

double toCount(int64_t v) { return static_cast<double>(v) / WEIGHT_SCALE; }

// The decoy kinds beyond the near-native ones (native angles, noise of 4-12 degrees).
std::vector<loopdecoys::DecoyKind> farKinds() {
    std::vector<loopdecoys::DecoyKind> k = loopdecoys::standardKinds();
    std::vector<loopdecoys::DecoyKind> out;
    for (const auto& x : k)
        if (x.sd >= 20.0 || x.resample > 0) out.push_back(x);
    return out;
}

uint64_t kindSeed(const QuendaDecoyParams& p, int site, int kind) {
    return p.seed + static_cast<uint64_t>(site) * 64u + static_cast<uint64_t>(kind);
}

}  // namespace

bool countQuendaPairs(const Structure& s, int start, int end, double clash, std::vector<int>& counts) {
    const int N = s._numRes;
    for (int i = start; i <= end; ++i) {
        const Residue& ri = s[i];
        const int nI = std::min<int>(ri.numAtoms, MAX_ATOMS);
        if (nI <= 0) continue;
        for (int j = 1; j <= N; ++j) {
            if (std::abs(j - i) <= 1) continue;
            const bool jLoop = start <= j && j <= end;
            if (jLoop && j < i - 1) continue;  // loop-loop pairs once, from the lower residue
            const Residue& rj = s[j];
            if (!(ri.atoms[1].dis(rj.atoms[1]) < 20.0)) continue;
            const int nJ = std::min<int>(rj.numAtoms, MAX_ATOMS);
            for (int a = 0; a < nI; ++a) {
                const Atom& A = ri.atoms[a];
                if (!scoredAtom(A)) continue;
                for (int b = 0; b < nJ; ++b) {
                    const Atom& B = rj.atoms[b];
                    if (!scoredAtom(B)) continue;
                    const double d = A.dis(B);
                    if (!(d < 8.0)) continue;
                    if (d < clash) return false;
                    ++counts[quendaIndex(A.type - 1, B.type - 1, static_cast<int>(10.0 * d))];
                }
            }
        }
    }
    return true;
}

void countQuendaDecoys(const TrainingSet& ts, const std::vector<loopdecoys::LoopSite>& sites, const std::vector<char>& use,
                       const loopdecoys::Rama& rama, const QuendaDecoyParams& p, int threads, QuendaDecoyCounts& c) {
    if (threads < 1) threads = 1;
    const std::vector<loopdecoys::DecoyKind> kinds = farKinds();
    std::vector<QuendaDecoyCounts> local(static_cast<size_t>(threads));
    for (QuendaDecoyCounts& l : local) l.reset();
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads)
    for (int k = 0; k < static_cast<int>(sites.size()); ++k) {
        if (!use.empty() && !use[k]) continue;
        QuendaDecoyCounts& L = local[static_cast<size_t>(omp_get_thread_num())];
        const loopdecoys::LoopSite& site = sites[k];
        const TrainChain& ch = ts.chains[site.chain];
        std::vector<int> nat(QUENDA_SIZE, 0), one(QUENDA_SIZE, 0);
        std::vector<int64_t> sum(QUENDA_SIZE, 0);
        const int start = site.first + 1, end = site.last + 1;
        const Structure ref = loopdecoys::nativeWithRebuiltSideChains(ch, site);
        countQuendaPairs(ref, start, end, 0.0, nat);
        int n = 0;
        for (size_t kind = 0; kind < kinds.size(); ++kind) {
            int taken = 0;
            const loopdecoys::DecoyStats st = loopdecoys::makeLoopDecoys(
                ch, site, rama, kindSeed(p, k, static_cast<int>(kind)), {kinds[kind]}, [&] { return taken < p.perKind; },
                [&](Structure& s, Structure& native, int a, int b) {
                    if (taken >= p.perKind) return;
                    if (rmsdg(s, native, a, b) < p.minRmsd) {
                        ++L.tooClose;
                        return;
                    }
                    std::fill(one.begin(), one.end(), 0);
                    if (!countQuendaPairs(s, a, b, p.clash, one)) {
                        ++L.clashes;
                        return;
                    }
                    for (int x = 0; x < QUENDA_SIZE; ++x) sum[x] += one[x];
                    ++taken;
                });
            L.made += st.made, L.ramaRejected += st.ramaRejected, L.closureFailures += st.closureFailures;
            n += taken;
        }
        if (n < p.minDecoys) {
            ++L.skipped;
            continue;
        }
        ++L.loops;
        L.decoys += n;
        for (int x = 0; x < QUENDA_SIZE; ++x) {
            if (nat[x]) L.native[x] += fixedWeight(ch.weight * nat[x]);
            if (sum[x]) L.decoy[x] += fixedWeight(ch.weight * static_cast<double>(sum[x]) / n);
        }
    }
    c.reset();
    for (const QuendaDecoyCounts& l : local) {
        for (int x = 0; x < QUENDA_SIZE; ++x) c.native[x] += l.native[x], c.decoy[x] += l.decoy[x];
        c.loops += l.loops, c.decoys += l.decoys, c.skipped += l.skipped;
        c.made += l.made, c.ramaRejected += l.ramaRejected, c.clashes += l.clashes;
        c.closureFailures += l.closureFailures, c.tooClose += l.tooClose;
    }
}

void quendaDecoyEnergies(const QuendaDecoyCounts& c, const std::vector<double>& wall, const QuendaDecoyParams& p, std::vector<double>& e,
                         double* scaleOut) {
    const int B = QUENDA_NBINS;
    if (c.native.size() != static_cast<size_t>(QUENDA_SIZE) || c.decoy.size() != static_cast<size_t>(QUENDA_SIZE))
        fail("quenda: count arrays of the wrong size");
    // Smoothing kernel along the distance, truncated at 3 sd, renormalised at the ends of the range.
    std::vector<double> kern;
    int reach = 0;
    if (p.sigma > 0) {
        const double sb = p.sigma / 0.1;
        reach = static_cast<int>(std::ceil(3.0 * sb));
        for (int d = -reach; d <= reach; ++d) kern.push_back(std::exp(-0.5 * (d / sb) * (d / sb)));
    }
    auto smooth = [&](const std::vector<int64_t>& in, int row, double* out) {
        for (int k = 0; k < B; ++k) {
            if (kern.empty()) {
                out[k] = toCount(in[static_cast<size_t>(row) * B + k]);
                continue;
            }
            double s = 0, w = 0;
            for (int d = -reach; d <= reach; ++d) {
                const int j = k + d;
                if (j < 0 || j >= B) continue;
                s += kern[d + reach] * toCount(in[static_cast<size_t>(row) * B + j]);
                w += kern[d + reach];
            }
            out[k] = s / w;
        }
    };
    double tn = 0, td = 0;
    for (int x = 0; x < QUENDA_SIZE; ++x) tn += toCount(c.native[x]), td += toCount(c.decoy[x]);
    const double scale = p.perStructure || !(td > 0) ? 1.0 : tn / td;
    if (scaleOut) *scaleOut = scale;

    const int NG = QUENDA_NGROUPS;
    std::vector<double> nat(static_cast<size_t>(NCLASSES) * NCLASSES * B, 0.0), dec(nat.size(), 0.0);
    std::vector<double> gNat(static_cast<size_t>(NG) * NG * B, 0.0), gDec(gNat.size(), 0.0), aNat(B, 0.0), aDec(B, 0.0);
    for (int c1 = 0; c1 < NCLASSES; ++c1)
        for (int c2 = c1; c2 < NCLASSES; ++c2) {
            const int row = c1 * NCLASSES + c2;
            double* n = &nat[static_cast<size_t>(row) * B];
            double* d = &dec[static_cast<size_t>(row) * B];
            smooth(c.native, row, n);
            smooth(c.decoy, row, d);
            int g1 = QUENDA_GROUP[c1], g2 = QUENDA_GROUP[c2];
            if (g1 > g2) std::swap(g1, g2);
            for (int k = 0; k < B; ++k) {
                d[k] *= scale;
                gNat[static_cast<size_t>(g1 * NG + g2) * B + k] += n[k];
                gDec[static_cast<size_t>(g1 * NG + g2) * B + k] += d[k];
                aNat[k] += n[k];
                aDec[k] += d[k];
            }
        }
    std::vector<double> rAll(B);
    for (int k = 0; k < B; ++k) rAll[k] = aDec[k] + p.pseudo > 0 ? shrinkRatio(aNat[k], aDec[k], 1.0, p.pseudo) : 1.0;
    e.assign(static_cast<size_t>(QUENDA_SIZE), 0.0);
    for (int c1 = 0; c1 < NCLASSES; ++c1)
        for (int c2 = c1; c2 < NCLASSES; ++c2) {
            const int row = c1 * NCLASSES + c2;
            int g1 = QUENDA_GROUP[c1], g2 = QUENDA_GROUP[c2];
            if (g1 > g2) std::swap(g1, g2);
            const size_t g = static_cast<size_t>(g1 * NG + g2) * B;
            double v[QUENDA_NBINS];
            for (int k = 0; k < B; ++k) {
                const double prior =
                    p.groups && gDec[g + k] + p.pseudo > 0 ? shrinkRatio(gNat[g + k], gDec[g + k], rAll[k], p.pseudo) : rAll[k];
                const double n = nat[static_cast<size_t>(row) * B + k], d = dec[static_cast<size_t>(row) * B + k];
                const double r = d + p.pseudo > 0 ? shrinkRatio(n, d, prior, p.pseudo) : prior;
                v[k] = std::clamp(-std::log(r), -p.cap, p.cap);
            }
            // The wall: bins below the first one where the ideal-gas energy is under wallFrom, and
            // the bins no decoy reaches.
            if (!wall.empty()) {
                const double* w = &wall[static_cast<size_t>(row) * B];
                int first = 0;
                while (first < B && !(w[first] < p.wallFrom)) ++first;
                first = std::max(first, std::min(B, static_cast<int>(std::lround(p.wallBelow * 10.0))));
                double run = p.wallFrom;
                for (int k = first - 1; k >= 0; --k) {
                    run = std::max(run, w[k]);
                    v[k] = std::max(run, v[k]);
                }
            }
            for (int k = 0; k < B; ++k) {
                e[static_cast<size_t>(row) * B + k] = v[k];
                e[static_cast<size_t>(c2 * NCLASSES + c1) * B + k] = v[k];
            }
        }
}

std::string formatQuendaDecoy(const QuendaDecoyCounts& c, const std::vector<double>& e, const QuendaDecoyParams& p) {
    double tn = 0, td = 0;
    for (int x = 0; x < QUENDA_SIZE; ++x) tn += toCount(c.native[x]), td += toCount(c.decoy[x]);
    const double scale = p.perStructure || !(td > 0) ? 1.0 : tn / td;
    std::string out;
    out += "# QUENDA loop distance potential (kT) by heavy-atom van der Waals class; fields: bin p q native decoy energy\n";
    out += "# bin k = distance [0.1 k, 0.1 k + 0.1) A; p, q = class - 1; pairs as quenda_e visits them with all atoms;\n";
    out += "# native and decoy: counts of " + std::to_string(c.loops) + " training loops (weighted) and the mean of their " +
           std::to_string(c.decoys) + " decoys (backbone RMSD >= " + fmt(p.minRmsd, 1) + " A) scaled by N_native/N_decoy = " +
           fmt(scale, 4) + ";\n";
    out += "# E = -ln ratio of the counts smoothed with sd " + fmt(p.sigma, 2) + " A, pseudo-count " + fmt(p.pseudo, 1) +
           " towards the group pair's and all pairs' ratio, |E| <= " + fmt(p.cap, 1) + ";\n";
    out += "# below the class pair's closest native contacts the ideal-gas wall of all coil contacts (up to 10)\n";
    const int B = QUENDA_NBINS;
    for (int c1 = 0; c1 < NCLASSES; ++c1)
        for (int c2 = c1; c2 < NCLASSES; ++c2)
            for (int b = 0; b < B; ++b) {
                const int x = quendaIndex(c1, c2, b);
                out += std::to_string(b) + " " + std::to_string(c1) + " " + std::to_string(c2) + " " + fmt(toCount(c.native[x]), 2) + " " +
                       fmt(toCount(c.decoy[x]) * scale, 2) + " " + fmt(e[static_cast<size_t>(x)], 4) + "\n";
            }
    return out;
}

namespace {

// The ideal-gas energies of all coil contacts: the wall.
std::vector<double> idealGasWall(const PairCounts& counts) {
    QuendaParams qp;
    std::vector<double> e, expected;
    quendaEnergies(counts, qp, e, expected);
    return e;
}

}  // namespace

void deriveQuendaTable(const TrainingSet& ts, const PairCounts& counts, const ParamsOptions& o, const QuendaDecoyParams& qp) {
    const std::vector<double> wall = idealGasWall(counts);
    const loopdecoys::Rama rama = loopdecoys::buildRama(ts);
    const std::vector<loopdecoys::LoopSite> sites = loopdecoys::selectLoops(ts, qp.loops, qp.minLen, qp.maxLen, "quenda");
    QuendaDecoyCounts c;
    const double t0 = omp_get_wtime();
    countQuendaDecoys(ts, sites, {}, rama, qp, o.threads, c);
    char buf[320];
    std::snprintf(buf, sizeof buf,
                  "quenda: %ld loops with %ld decoys (%ld loops with too few); %ld closed, %ld outside allowed torsions, %ld too close to "
                  "the native, %ld clashing; %.1f s",
                  c.loops, c.decoys, c.skipped, c.made, c.ramaRejected, c.tooClose, c.clashes, omp_get_wtime() - t0);
    std::cout << buf << std::endl;
    if (c.loops == 0) fail("lorvane-params quenda: no loop gave enough decoys; nothing to derive from");
    std::vector<double> e;
    double scale = 1;
    quendaDecoyEnergies(c, wall, qp, e, &scale);
    const std::string path = paramsa::outPath(o.out, "QUENDA_ed4_8_V3.txt");
    paramsa::writeTable(path, formatQuendaDecoy(c, e, qp));
    std::cout << "quenda: N_native / N_decoy = " << fmt(scale, 4) << "; wrote " << path << std::endl;
}

// ---------------- held-out evaluation ----------------

namespace {

// Spearman rank correlation (ties share their mean rank); NaN when either side is constant.
double spearman(const std::vector<double>& x, const std::vector<double>& y) {
    const size_t n = x.size();
    auto ranks = [n](const std::vector<double>& v) {
        std::vector<size_t> idx(n);
        std::iota(idx.begin(), idx.end(), size_t{0});
        std::stable_sort(idx.begin(), idx.end(), [&](size_t a, size_t b) { return v[a] < v[b]; });
        std::vector<double> r(n);
        for (size_t i = 0; i < n;) {
            size_t j = i;
            while (j + 1 < n && v[idx[j + 1]] == v[idx[i]]) ++j;
            for (size_t k = i; k <= j; ++k) r[idx[k]] = 0.5 * static_cast<double>(i + j) + 1.0;
            i = j + 1;
        }
        return r;
    };
    if (n < 3) return NAN;
    const std::vector<double> a = ranks(x), b = ranks(y);
    double ma = 0, mb = 0;
    for (size_t i = 0; i < n; ++i) ma += a[i], mb += b[i];
    ma /= n, mb /= n;
    double sab = 0, saa = 0, sbb = 0;
    for (size_t i = 0; i < n; ++i) sab += (a[i] - ma) * (b[i] - mb), saa += (a[i] - ma) * (a[i] - ma), sbb += (b[i] - mb) * (b[i] - mb);
    return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : NAN;
}

struct EvalLoop {
    int length = 0;
    std::vector<double> rmsd;                 // per decoy
    std::vector<std::vector<double>> score;   // [table][decoy]
    std::vector<double> native;               // [table]
};

double dot(const std::vector<int>& counts, const std::vector<double>& table) {
    double s = 0;
    for (int x = 0; x < QUENDA_SIZE; ++x)
        if (counts[x]) s += counts[x] * table[static_cast<size_t>(x)];
    return s;
}

// Decoys of every kind, near-native ones included, scored with each table.
EvalLoop evaluateLoop(const TrainingSet& ts, const loopdecoys::LoopSite& site, int siteIndex, const loopdecoys::Rama& rama,
                      const QuendaDecoyParams& p, int perKind, const std::vector<const std::vector<double>*>& tables) {
    EvalLoop out;
    const TrainChain& ch = ts.chains[site.chain];
    const int start = site.first + 1, end = site.last + 1;
    out.length = end - start + 1;
    const size_t T = tables.size();
    out.score.assign(T, {});
    std::vector<int> counts(QUENDA_SIZE, 0);
    const Structure ref = loopdecoys::nativeWithRebuiltSideChains(ch, site);
    countQuendaPairs(ref, start, end, 0.0, counts);
    for (size_t t = 0; t < T; ++t) out.native.push_back(dot(counts, *tables[t]));
    const std::vector<loopdecoys::DecoyKind> kinds = loopdecoys::standardKinds();
    for (size_t kind = 0; kind < kinds.size(); ++kind) {
        int taken = 0;
        loopdecoys::makeLoopDecoys(ch, site, rama, kindSeed(p, siteIndex, 32 + static_cast<int>(kind)), {kinds[kind]},
                                   [&] { return taken < perKind; },
                                   [&](Structure& s, Structure& native, int a, int b) {
                                       if (taken >= perKind) return;
                                       std::fill(counts.begin(), counts.end(), 0);
                                       if (!countQuendaPairs(s, a, b, p.clash, counts)) return;
                                       out.rmsd.push_back(rmsdg(s, native, a, b));
                                       for (size_t t = 0; t < T; ++t) out.score[t].push_back(dot(counts, *tables[t]));
                                       ++taken;
                                   });
    }
    return out;
}

struct EvalSummary {
    int loops = 0;
    double fracBelow = 0;    // mean over loops: decoys (RMSD >= minRmsd) scoring below the native
    int nativeLowest = 0;    // loops where no such decoy scores below the native
    double rho = 0;          // mean Spearman of score with RMSD over all decoys of a loop
    int rhoPositive = 0;
    std::vector<double> rhos;
};

EvalSummary summarise(const std::vector<EvalLoop>& loops, size_t t, double minRmsd, int minLen, int maxLen) {
    EvalSummary s;
    for (const EvalLoop& L : loops) {
        if (L.length < minLen || L.length > maxLen) continue;
        int far = 0, below = 0;
        for (size_t d = 0; d < L.rmsd.size(); ++d)
            if (L.rmsd[d] >= minRmsd) {
                ++far;
                if (L.score[t][d] < L.native[t]) ++below;
            }
        if (far > 0) {
            ++s.loops;
            s.fracBelow += static_cast<double>(below) / far;
            if (below == 0) ++s.nativeLowest;
        }
        const double rho = L.rmsd.size() >= 5 ? spearman(L.score[t], L.rmsd) : NAN;
        if (std::isfinite(rho)) {
            s.rho += rho;
            s.rhos.push_back(rho);
            if (rho > 0) ++s.rhoPositive;
        }
    }
    if (s.loops) s.fracBelow /= s.loops;
    if (!s.rhos.empty()) s.rho /= static_cast<double>(s.rhos.size());
    return s;
}

std::string describe(const EvalSummary& s) {
    if (!s.loops || s.rhos.empty()) return "no loops";
    std::vector<double> r = s.rhos;
    std::sort(r.begin(), r.end());
    const double med = r.size() % 2 ? r[r.size() / 2] : 0.5 * (r[r.size() / 2 - 1] + r[r.size() / 2]);
    char b[320];
    std::snprintf(b, sizeof b,
                  "%4d loops: decoys >= 2 A below the native %6.2f %%, native lowest %5.1f %% | %4zu loops: Spearman(E, RMSD) mean %+.3f "
                  "median %+.3f, > 0 in %5.1f %%",
                  s.loops, 100.0 * s.fracBelow, 100.0 * s.nativeLowest / s.loops, s.rhos.size(), s.rho, med,
                  100.0 * s.rhoPositive / static_cast<double>(s.rhos.size()));
    return b;
}

// Table as the program reads it.
std::vector<double> loadTable(const std::string& path) {
    PF::initQUENDA(path);
    std::vector<double> t(static_cast<size_t>(QUENDA_SIZE));
    for (int p = 0; p < NCLASSES; ++p)
        for (int q = 0; q < NCLASSES; ++q)
            for (int k = 0; k < QUENDA_NBINS; ++k) t[static_cast<size_t>((p * NCLASSES + q) * QUENDA_NBINS + k)] = PF::QUENDA[p][q][k];
    return t;
}

void printCounts(const QuendaDecoyCounts& c, double seconds) {
    std::cout << "quenda: fitted on " << c.loops << " loops with " << c.decoys << " decoys (" << c.skipped << " loops with too few), "
              << fmt(seconds, 1) << " s" << std::endl;
}

int cmdQuenda(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args;
    QuendaDecoyParams qp;
    bool holdout = false, variants = false;
    std::string oldTable, holdoutTable;
    int evalPerKind = 10;
    for (size_t i = 0; i < argsIn.size(); ++i) {
        const std::string& a = argsIn[i];
        auto number = [&](double lo, double hi) {
            if (i + 1 >= argsIn.size()) fail("lorvane-params quenda: " + a + " needs a value", 2);
            char* endp = nullptr;
            const double v = std::strtod(argsIn[++i].c_str(), &endp);
            if (!endp || *endp || !(v >= lo && v <= hi)) fail("lorvane-params quenda: bad value \"" + argsIn[i] + "\" for " + a, 2);
            return v;
        };
        if (a == "--loops") qp.loops = static_cast<int>(number(1, 100000));
        else if (a == "--per-kind") qp.perKind = static_cast<int>(number(1, 1000));
        else if (a == "--eval-per-kind") evalPerKind = static_cast<int>(number(1, 1000));
        else if (a == "--holdout") holdout = true;
        else if (a == "--per-structure") qp.perStructure = true;
        else if (a == "--variants") variants = holdout = true;
        else if (a == "--old" && i + 1 < argsIn.size()) oldTable = argsIn[++i];
        else if (a == "--holdout-table" && i + 1 < argsIn.size()) holdoutTable = argsIn[++i], holdout = true;
        else args.push_back(a);
    }
    const ParamsOptions o = parseParamsOptions(args, "quenda");
    const TrainingSet& ts = trainingSetFor(o);
    PairCounts counts;
    const double t0 = omp_get_wtime();
    countPairs(ts, o.threads, counts);
    std::cout << "quenda: contacts of " << counts.chains << " chains counted for the wall in " << fmt(omp_get_wtime() - t0, 1) << " s"
              << std::endl;
    if (!holdout) {
        deriveQuendaTable(ts, counts, o, qp);
        return 0;
    }
    const std::vector<double> wall = idealGasWall(counts);
    const loopdecoys::Rama rama = loopdecoys::buildRama(ts);
    const std::vector<loopdecoys::LoopSite> sites = loopdecoys::selectLoops(ts, qp.loops, qp.minLen, qp.maxLen, "quenda");

    // Held-out check: entries alternate between the halves in file order; fit on the
    // even ones, score the loops of the odd ones.
    std::vector<int> entry(ts.chains.size());
    for (size_t c = 0, id = 0; c < ts.chains.size(); ++c) {
        if (c > 0 && ts.chains[c].pdbId != ts.chains[c - 1].pdbId) ++id;
        entry[c] = static_cast<int>(id);
    }
    std::vector<char> fitHalf(sites.size()), evalHalf(sites.size());
    for (size_t k = 0; k < sites.size(); ++k) {
        fitHalf[k] = entry[sites[k].chain] % 2 == 0;
        evalHalf[k] = !fitHalf[k];
    }
    QuendaDecoyCounts c;
    double t1 = omp_get_wtime();
    countQuendaDecoys(ts, sites, fitHalf, rama, qp, o.threads, c);
    printCounts(c, omp_get_wtime() - t1);

    struct Variant {
        std::string name;
        QuendaDecoyParams p;
        bool wall = true;
    };
    std::vector<Variant> vs{{"new", qp}};
    if (variants) {
        auto add = [&](const std::string& n, auto change) {
            QuendaDecoyParams v = qp;
            change(v);
            vs.push_back({n, v, n != "no wall"});
        };
        add("per structure", [](QuendaDecoyParams& v) { v.perStructure = true; });
        add("no groups", [](QuendaDecoyParams& v) { v.groups = false; });
        add("no smoothing", [](QuendaDecoyParams& v) { v.sigma = 0; });
        add("sigma 0.2", [](QuendaDecoyParams& v) { v.sigma = 0.2; });
        add("pseudo 1", [](QuendaDecoyParams& v) { v.pseudo = 1; });
        add("pseudo 20", [](QuendaDecoyParams& v) { v.pseudo = 20; });
        add("cap 2", [](QuendaDecoyParams& v) { v.cap = 2; });
        add("wall from 3", [](QuendaDecoyParams& v) { v.wallFrom = 3; });
        add("wall from 4.5", [](QuendaDecoyParams& v) { v.wallFrom = 4.5; });
        add("wall from 6", [](QuendaDecoyParams& v) { v.wallFrom = 6; });
        add("no wall", [](QuendaDecoyParams&) {});
    }
    std::vector<std::vector<double>> tables;
    std::vector<std::string> names;
    if (!oldTable.empty()) {
        tables.push_back(loadTable(oldTable));
        names.push_back("old (" + oldTable + ")");
    }
    for (const Variant& v : vs) {
        std::vector<double> e;
        quendaDecoyEnergies(c, v.wall ? wall : std::vector<double>(), v.p, e);
        tables.push_back(e);
        names.push_back(v.name);
    }
    if (!holdoutTable.empty()) {
        paramsa::writeTable(holdoutTable, formatQuendaDecoy(c, tables[oldTable.empty() ? 0 : 1], qp));
        std::cout << "quenda: table of the fitted half written to " << holdoutTable << std::endl;
    }
    std::vector<const std::vector<double>*> tp;
    for (const auto& t : tables) tp.push_back(&t);
    std::vector<int> evalSites;
    for (size_t k = 0; k < sites.size(); ++k)
        if (evalHalf[k]) evalSites.push_back(static_cast<int>(k));
    std::vector<EvalLoop> results(evalSites.size());
    t1 = omp_get_wtime();
#pragma omp parallel for schedule(dynamic, 1) num_threads(o.threads)
    for (int k = 0; k < static_cast<int>(evalSites.size()); ++k)
        results[k] = evaluateLoop(ts, sites[evalSites[k]], evalSites[k], rama, qp, evalPerKind, tp);
    long nd = 0;
    for (const EvalLoop& L : results) nd += static_cast<long>(L.rmsd.size());
    std::cout << "quenda: held-out " << results.size() << " loops, " << nd << " decoys (all RMSD), " << fmt(omp_get_wtime() - t1, 1) << " s"
              << std::endl;
    for (size_t t = 0; t < tables.size(); ++t) {
        std::cout << "quenda: " << names[t] << std::endl;
        std::cout << "  all    " << describe(summarise(results, t, qp.minRmsd, 1, 1000)) << std::endl;
        std::cout << "  4-6    " << describe(summarise(results, t, qp.minRmsd, 4, 6)) << std::endl;
        std::cout << "  7-9    " << describe(summarise(results, t, qp.minRmsd, 7, 9)) << std::endl;
        std::cout << "  10-12  " << describe(summarise(results, t, qp.minRmsd, 10, 12)) << std::endl;
    }
    return 0;
}

}  // namespace

LORVANE_PARAMS_COMMAND("quenda", "QUENDA loop potential from native loops against their decoys (--holdout: held-out check)", cmdQuenda, 0);

}  // namespace paramsb
