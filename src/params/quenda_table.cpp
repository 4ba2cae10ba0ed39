// QUENDA loop potential "QUENDA_ed4_8_V3.txt" from native training loops
// against their own decoys.
//
// The final scoring and the compare mode rank conformations of one loop by
// QUENDA, so what matters is which contacts a native loop makes more often
// than misplaced copies of itself. An ideal-gas reference (the previous
// derivation, kept as the short-range wall: idealGasQuenda) makes
// most contacts at 4-7 A unfavourable, so that loops with fewer contacts
// score better: on sampled conformations it ranked against the RMSD.
//
// Counts: the atom pairs quenda_e scores with all atoms, walked by the same
// iterator (potentials/quenda_pairs.h: a loop residue i with
// every residue j, |i - j| >= 2, CA-CA < 20 A, loop-loop pairs once, heavy
// atoms of van der Waals codes 1..20 closer than 8 A, bin floor(10 d)), by
// class pair and bin, for
//   natives: the training loops (params/loop_decoys.h), with CB and side
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
// 14.5-15 A; idealGasQuenda) drops under wallFrom (8 kT: natives at under
// 0.04 % of the reference density), and below 2.0 A, where no decoy is
// counted, that energy, at least wallFrom and made non-increasing with
// distance, so clashes stay strongly repulsive whatever the decoys did there.
// Between the wall and the data the statistic (with its cap) speaks: natives
// rarely come that close, decoys do.
#include "params/quenda_table.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "model/deviation.h"
#include "model/error.h"
#include "model/residue_names.h"
#include "params/commands.h"
#include "params/statistics.h"
#include "params/table_io.h"

namespace lorvane::params {

std::vector<double> idealGasQuenda(const PairTypes& pt, const PairCounts& c, const IdealGasParams& p) {
    const int B = QUENDA_CBINS;  // counted to 15 A; the table keeps the first QUENDA_BINS
    auto cnt = [&](int c1, int c2, int b) { return toCount(c.quenda[(static_cast<size_t>(c1) * QUENDA_CLASSES + c2) * B + b]); };
    // Classes without observations of their own borrow a chemically equivalent class.
    int borrow[QUENDA_CLASSES];
    double total[QUENDA_CLASSES] = {};
    for (int c1 = 0; c1 < QUENDA_CLASSES; ++c1) {
        borrow[c1] = c1;
        for (int c2 = 0; c2 < QUENDA_CLASSES; ++c2)
            for (int b = 0; b < B; ++b) total[c1] += cnt(c1, c2, b);
    }
    int carboxylO = -1;
    for (int s = 0; s < TRAIN_SLOTS; ++s)
        if (pt.typeOf[ASP][s] >= 0 && pt.atomName[pt.typeOf[ASP][s]] == "OD1") carboxylO = pt.vdwClass[pt.typeOf[ASP][s]] - 1;
    if (total[QUENDA_CLASSES - 1] == 0 && carboxylO >= 0) borrow[QUENDA_CLASSES - 1] = carboxylO;  // OXT
    std::vector<double> n(static_cast<size_t>(QUENDA_CLASSES) * QUENDA_CLASSES * B), all(B, 0.0);
    for (int c1 = 0; c1 < QUENDA_CLASSES; ++c1)
        for (int c2 = 0; c2 < QUENDA_CLASSES; ++c2)
            for (int b = 0; b < B; ++b) {
                double v = cnt(borrow[c1], borrow[c2], b);
                n[(static_cast<size_t>(c1) * QUENDA_CLASSES + c2) * B + b] = v;
                if (borrow[c1] == c1 && borrow[c2] == c2) all[b] += v;
            }
    double g[QUENDA_CBINS];
    for (int b = 0; b < B; ++b) g[b] = std::pow((b + 0.5) * 0.1 / 8.0, p.alpha);
    const int tail = static_cast<int>(std::lround(p.tailFrom * 10.0));
    auto ratios = [&](const double* x, const double* prior, double* out) {
        double tn = 0, tg = 0;
        for (int b = tail; b < B; ++b) {
            tn += x[b];
            tg += g[b];
        }
        const double rho = tn / tg;
        for (int b = 0; b < B; ++b) {
            const double expct = rho * g[b];
            if (!prior) out[b] = expct > 0 ? x[b] / expct : 1.0;
            else out[b] = shrinkRatio(x[b], expct, prior[b], p.pseudo);
        }
    };
    std::vector<double> rAll(B), r(B);
    ratios(all.data(), nullptr, rAll.data());
    const int T = QUENDA_BINS;
    std::vector<double> e(static_cast<size_t>(QUENDA_CLASSES) * QUENDA_CLASSES * T, 0.0);
    for (int c1 = 0; c1 < QUENDA_CLASSES; ++c1)
        for (int c2 = 0; c2 < QUENDA_CLASSES; ++c2) {
            ratios(&n[(static_cast<size_t>(c1) * QUENDA_CLASSES + c2) * B], rAll.data(), r.data());
            for (int b = 0; b < T; ++b) e[(static_cast<size_t>(c1) * QUENDA_CLASSES + c2) * T + b] = -std::log(std::max(r[b], std::exp(-p.maxEnergy)));
        }
    return e;
}

bool countQuendaPairs(const Structure& s, int start, int end, double clash, std::vector<int>& counts) {
    return forEachQuendaPair(s, start, end, true, [&](const QuendaPair& p) {
        if (p.distance < clash) return false;
        ++counts[quendaIndex(p.classA(), p.classB(), p.bin())];
        return true;
    });
}

void QuendaCounts::reset() {
    native.assign(QUENDA_SIZE, 0);
    decoy.assign(QUENDA_SIZE, 0);
    loops = decoys = skipped = 0;
    made = ramaRejected = clashes = closureFailures = tooClose = 0;
}

void QuendaCounts::add(const QuendaCounts& l) {
    for (int x = 0; x < QUENDA_SIZE; ++x) native[x] += l.native[x], decoy[x] += l.decoy[x];
    loops += l.loops, decoys += l.decoys, skipped += l.skipped;
    made += l.made, ramaRejected += l.ramaRejected, clashes += l.clashes;
    closureFailures += l.closureFailures, tooClose += l.tooClose;
}

namespace {

// The decoy kinds beyond the near-native ones (native angles, noise of 4-12 degrees).
std::vector<DecoyKind> farKinds() {
    std::vector<DecoyKind> out;
    for (const DecoyKind& x : standardKinds())
        if (x.sd >= 20.0 || x.resample > 0) out.push_back(x);
    return out;
}

// Native counts and the mean decoy counts of loop `site` (the siteIndex-th), added to L.
void countLoop(const Templates& tm, const TrainChain& ch, const LoopSite& site, int siteIndex, const Rama& rama, const std::vector<DecoyKind>& kinds,
               const QuendaParams& p, QuendaCounts& L) {
    std::vector<int> nat(QUENDA_SIZE, 0), one(QUENDA_SIZE, 0);
    std::vector<int64_t> sum(QUENDA_SIZE, 0);
    const int start = site.first + 1, end = site.last + 1;
    const Structure ref = nativeWithRebuiltSideChains(tm, ch, site);
    countQuendaPairs(ref, start, end, 0.0, nat);
    int n = 0;
    for (size_t kind = 0; kind < kinds.size(); ++kind) {
        int taken = 0;
        const DecoyStats st = makeLoopDecoys(
            tm, ch, site, rama, quendaKindSeed(p, siteIndex, static_cast<int>(kind)), {kinds[kind]}, [&] { return taken < p.perKind; },
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
        return;
    }
    ++L.loops;
    L.decoys += n;
    for (int x = 0; x < QUENDA_SIZE; ++x) {
        if (nat[x]) L.native[x] += fixedWeight(ch.weight * nat[x]);
        if (sum[x]) L.decoy[x] += fixedWeight(ch.weight * static_cast<double>(sum[x]) / n);
    }
}

}  // namespace

void countQuendaDecoys(const Templates& tm, const TrainingSet& ts, const std::vector<LoopSite>& sites, const std::vector<char>& use, const Rama& rama,
                       const QuendaParams& p, int threads, QuendaCounts& c) {
    if (threads < 1) threads = 1;
    const std::vector<DecoyKind> kinds = farKinds();
    std::vector<QuendaCounts> local(static_cast<size_t>(threads));
    for (QuendaCounts& l : local) l.reset();
    FirstError errors;
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads)
    for (int k = 0; k < static_cast<int>(sites.size()); ++k) {
        if (!use.empty() && !use[k]) continue;
        errors.run([&] {
            countLoop(tm, ts.chains[sites[k].chain], sites[k], k, rama, kinds, p, local[static_cast<size_t>(omp_get_thread_num())]);
        });
    }
    errors.rethrow();
    c.reset();
    for (const QuendaCounts& l : local) c.add(l);
}

void quendaEnergies(const QuendaCounts& c, const std::vector<double>& wall, const QuendaParams& p, std::vector<double>& e, double* scaleOut) {
    const int B = QUENDA_BINS;
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
    std::vector<double> nat(static_cast<size_t>(QUENDA_CLASSES) * QUENDA_CLASSES * B, 0.0), dec(nat.size(), 0.0);
    std::vector<double> gNat(static_cast<size_t>(NG) * NG * B, 0.0), gDec(gNat.size(), 0.0), aNat(B, 0.0), aDec(B, 0.0);
    for (int c1 = 0; c1 < QUENDA_CLASSES; ++c1)
        for (int c2 = c1; c2 < QUENDA_CLASSES; ++c2) {
            const int row = c1 * QUENDA_CLASSES + c2;
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
    for (int c1 = 0; c1 < QUENDA_CLASSES; ++c1)
        for (int c2 = c1; c2 < QUENDA_CLASSES; ++c2) {
            const int row = c1 * QUENDA_CLASSES + c2;
            int g1 = QUENDA_GROUP[c1], g2 = QUENDA_GROUP[c2];
            if (g1 > g2) std::swap(g1, g2);
            const size_t g = static_cast<size_t>(g1 * NG + g2) * B;
            double v[QUENDA_BINS];
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
                e[static_cast<size_t>(c2 * QUENDA_CLASSES + c1) * B + k] = v[k];
            }
        }
}

std::string formatQuenda(const QuendaCounts& c, const std::vector<double>& e, const QuendaParams& p) {
    double tn = 0, td = 0;
    for (int x = 0; x < QUENDA_SIZE; ++x) tn += toCount(c.native[x]), td += toCount(c.decoy[x]);
    const double scale = p.perStructure || !(td > 0) ? 1.0 : tn / td;
    std::string out;
    out += "# QUENDA loop distance potential (kT) by heavy-atom van der Waals class; fields: bin p q native decoy energy\n";
    out += "# bin k = distance [0.1 k, 0.1 k + 0.1) A; p, q = class - 1; pairs as quenda_e visits them with all atoms;\n";
    out += "# native and decoy: counts of " + std::to_string(c.loops) + " training loops (weighted) and the mean of their " +
           std::to_string(c.decoys) + " decoys (backbone RMSD >= " + formatFixed(p.minRmsd, 1) + " A) scaled by N_native/N_decoy = " +
           formatFixed(scale, 4) + ";\n";
    out += "# E = -ln ratio of the counts smoothed with sd " + formatFixed(p.sigma, 2) + " A, pseudo-count " + formatFixed(p.pseudo, 1) +
           " towards the group pair's and all pairs' ratio, |E| <= " + formatFixed(p.cap, 1) + ";\n";
    out += "# below the class pair's closest native contacts the ideal-gas wall of all coil contacts (up to 10)\n";
    const int B = QUENDA_BINS;
    for (int c1 = 0; c1 < QUENDA_CLASSES; ++c1)
        for (int c2 = c1; c2 < QUENDA_CLASSES; ++c2)
            for (int b = 0; b < B; ++b) {
                const int x = quendaIndex(c1, c2, b);
                out += std::to_string(b) + " " + std::to_string(c1) + " " + std::to_string(c2) + " " + formatFixed(toCount(c.native[x]), 2) + " " +
                       formatFixed(toCount(c.decoy[x]) * scale, 2) + " " + formatFixed(e[static_cast<size_t>(x)], 4) + "\n";
            }
    return out;
}

void deriveQuendaTable(const Templates& tm, const TrainingSet& ts, const std::vector<double>& wall, const Options& o, const QuendaParams& p) {
    const Rama rama = buildRama(ts);
    const std::vector<LoopSite> sites = selectLoops(ts, p.loops, p.minLen, p.maxLen, "quenda");
    QuendaCounts c;
    const double t0 = omp_get_wtime();
    countQuendaDecoys(tm, ts, sites, {}, rama, p, o.threads, c);
    char buf[320];
    std::snprintf(buf, sizeof buf,
                  "quenda: %ld loops with %ld decoys (%ld loops with too few); %ld closed, %ld outside allowed torsions, %ld too close to "
                  "the native, %ld clashing; %.1f s",
                  c.loops, c.decoys, c.skipped, c.made, c.ramaRejected, c.tooClose, c.clashes, omp_get_wtime() - t0);
    std::cout << buf << std::endl;
    if (c.loops == 0) fail("lorvane-params quenda: no loop gave enough decoys; nothing to derive from");
    std::vector<double> e;
    double scale = 1;
    quendaEnergies(c, wall, p, e, &scale);
    const std::string path = outPath(o.out, "QUENDA_ed4_8_V3.txt");
    writeTextFile(path, formatQuenda(c, e, p));
    std::cout << "quenda: N_native / N_decoy = " << formatFixed(scale, 4) << "; wrote " << path << std::endl;
}

void cmdQuenda(const std::vector<std::string>& args, Session& session) {
    QuendaParams qp;
    HoldoutSettings h;
    bool holdout = false;
    const Options o = OptionParser("quenda")
                          .integer("--loops", qp.loops, 1, 100000)
                          .integer("--per-kind", qp.perKind, 1, 1000)
                          .integer("--eval-per-kind", h.perKind, 1, 1000)
                          .flag("--holdout", holdout)
                          .flag("--per-structure", qp.perStructure)
                          .flag("--variants", h.variants)
                          .text("--old", h.oldTable)
                          .text("--holdout-table", h.fittedHalfTable)
                          .parse(args);
    holdout = holdout || h.variants || !h.fittedHalfTable.empty();
    const TrainingSet& ts = session.trainingSet(o);
    const Templates& tm = session.templates(o.templates);
    const PairTypes types = pairTypesFromTemplates(tm);
    PairCounts counts;
    const double t0 = omp_get_wtime();
    countPairs(types, ts, o.threads, counts);
    std::cout << "quenda: contacts of " << counts.chains << " chains counted for the wall in " << formatFixed(omp_get_wtime() - t0, 1) << " s"
              << std::endl;
    const std::vector<double> wall = idealGasQuenda(types, counts, IdealGasParams());
    if (holdout) quendaHoldout(tm, ts, wall, o, qp, h);
    else deriveQuendaTable(tm, ts, wall, o, qp);
}

}  // namespace lorvane::params
