// Held-out check of the QUENDA derivation (lorvane-params quenda --holdout):
// training entries alternate between two halves in file order; the table is
// fitted on the loops of the even entries and measured on those of the odd
// ones, against their decoys of every kind of draw (near-native ones
// included). --variants repeats the fit for each alternative setting of the
// derivation and measures all of them on the same decoys.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "model/deviation.h"
#include "model/error.h"
#include "params/quenda_table.h"
#include "params/statistics.h"
#include "params/table_io.h"
#include "potentials/potentials.h"

namespace lorvane::params {

namespace {

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
EvalLoop evaluateLoop(const Templates& tm, const TrainingSet& ts, const LoopSite& site, int siteIndex, const Rama& rama,
                      const QuendaParams& p, int perKind, const std::vector<const std::vector<double>*>& tables) {
    EvalLoop out;
    const TrainChain& ch = ts.chains[site.chain];
    const int start = site.first + 1, end = site.last + 1;
    out.length = end - start + 1;
    const size_t T = tables.size();
    out.score.assign(T, {});
    std::vector<int> counts(QUENDA_SIZE, 0);
    const Structure ref = nativeWithRebuiltSideChains(tm, ch, site);
    countQuendaPairs(ref, start, end, 0.0, counts);
    for (size_t t = 0; t < T; ++t) out.native.push_back(dot(counts, *tables[t]));
    const std::vector<DecoyKind> kinds = standardKinds();
    for (size_t kind = 0; kind < kinds.size(); ++kind) {
        int taken = 0;
        makeLoopDecoys(tm, ch, site, rama, quendaKindSeed(p, siteIndex, 32 + static_cast<int>(kind)), {kinds[kind]},
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
    Potentials pot;
    loadQuenda(pot, path);
    std::vector<double> t(static_cast<size_t>(QUENDA_SIZE));
    for (int p = 0; p < QUENDA_CLASSES; ++p)
        for (int q = 0; q < QUENDA_CLASSES; ++q)
            for (int k = 0; k < QUENDA_BINS; ++k) t[static_cast<size_t>((p * QUENDA_CLASSES + q) * QUENDA_BINS + k)] = pot.quenda[p][q][k];
    return t;
}

void printCounts(const QuendaCounts& c, double seconds) {
    std::cout << "quenda: fitted on " << c.loops << " loops with " << c.decoys << " decoys (" << c.skipped << " loops with too few), "
              << formatFixed(seconds, 1) << " s" << std::endl;
}

// The half of each loop: fitted (even entries) or held out (odd entries).
std::vector<char> fittedHalf(const TrainingSet& ts, const std::vector<LoopSite>& sites) {
    std::vector<int> entry(ts.chains.size());
    for (size_t c = 0, id = 0; c < ts.chains.size(); ++c) {
        if (c > 0 && ts.chains[c].pdbId != ts.chains[c - 1].pdbId) ++id;
        entry[c] = static_cast<int>(id);
    }
    std::vector<char> fit(sites.size());
    for (size_t k = 0; k < sites.size(); ++k) fit[k] = entry[sites[k].chain] % 2 == 0;
    return fit;
}

struct Variant {
    std::string name;
    QuendaParams p;
    bool wall = true;
};

// The derivation as set, and with --variants each alternative the settings were chosen against.
std::vector<Variant> variantsOf(const QuendaParams& qp, bool all) {
    std::vector<Variant> vs{{"new", qp}};
    if (!all) return vs;
    auto add = [&](const std::string& n, auto change) {
        QuendaParams v = qp;
        change(v);
        vs.push_back({n, v, n != "no wall"});
    };
    add("per structure", [](QuendaParams& v) { v.perStructure = true; });
    add("no groups", [](QuendaParams& v) { v.groups = false; });
    add("no smoothing", [](QuendaParams& v) { v.sigma = 0; });
    add("sigma 0.2", [](QuendaParams& v) { v.sigma = 0.2; });
    add("pseudo 1", [](QuendaParams& v) { v.pseudo = 1; });
    add("pseudo 20", [](QuendaParams& v) { v.pseudo = 20; });
    add("cap 2", [](QuendaParams& v) { v.cap = 2; });
    add("wall from 3", [](QuendaParams& v) { v.wallFrom = 3; });
    add("wall from 4.5", [](QuendaParams& v) { v.wallFrom = 4.5; });
    add("wall from 6", [](QuendaParams& v) { v.wallFrom = 6; });
    add("no wall", [](QuendaParams&) {});
    return vs;
}

}  // namespace

void quendaHoldout(const Templates& tm, const TrainingSet& ts, const std::vector<double>& wall, const Options& o, const QuendaParams& qp,
                   const HoldoutSettings& h) {
    const Rama rama = buildRama(ts);
    const std::vector<LoopSite> sites = selectLoops(ts, qp.loops, qp.minLen, qp.maxLen, "quenda");
    const std::vector<char> fitHalf = fittedHalf(ts, sites);
    QuendaCounts c;
    double t1 = omp_get_wtime();
    countQuendaDecoys(tm, ts, sites, fitHalf, rama, qp, o.threads, c);
    printCounts(c, omp_get_wtime() - t1);

    std::vector<std::vector<double>> tables;
    std::vector<std::string> names;
    if (!h.oldTable.empty()) {
        tables.push_back(loadTable(h.oldTable));
        names.push_back("old (" + h.oldTable + ")");
    }
    for (const Variant& v : variantsOf(qp, h.variants)) {
        std::vector<double> e;
        quendaEnergies(c, v.wall ? wall : std::vector<double>(), v.p, e);
        tables.push_back(e);
        names.push_back(v.name);
    }
    if (!h.fittedHalfTable.empty()) {
        writeTextFile(h.fittedHalfTable, formatQuenda(c, tables[h.oldTable.empty() ? 0 : 1], qp));
        std::cout << "quenda: table of the fitted half written to " << h.fittedHalfTable << std::endl;
    }
    std::vector<const std::vector<double>*> tp;
    for (const auto& t : tables) tp.push_back(&t);
    std::vector<int> evalSites;
    for (size_t k = 0; k < sites.size(); ++k)
        if (!fitHalf[k]) evalSites.push_back(static_cast<int>(k));
    std::vector<EvalLoop> results(evalSites.size());
    t1 = omp_get_wtime();
    FirstError errors;
#pragma omp parallel for schedule(dynamic, 1) num_threads(o.threads)
    for (int k = 0; k < static_cast<int>(evalSites.size()); ++k)
        errors.run([&] { results[k] = evaluateLoop(tm, ts, sites[evalSites[k]], evalSites[k], rama, qp, h.perKind, tp); });
    errors.rethrow();
    long nd = 0;
    for (const EvalLoop& L : results) nd += static_cast<long>(L.rmsd.size());
    std::cout << "quenda: held-out " << results.size() << " loops, " << nd << " decoys (all RMSD), " << formatFixed(omp_get_wtime() - t1, 1)
              << " s" << std::endl;
    for (size_t t = 0; t < tables.size(); ++t) {
        std::cout << "quenda: " << names[t] << std::endl;
        std::cout << "  all    " << describe(summarise(results, t, qp.minRmsd, 1, 1000)) << std::endl;
        std::cout << "  4-6    " << describe(summarise(results, t, qp.minRmsd, 4, 6)) << std::endl;
        std::cout << "  7-9    " << describe(summarise(results, t, qp.minRmsd, 7, 9)) << std::endl;
        std::cout << "  10-12  " << describe(summarise(results, t, qp.minRmsd, 10, 12)) << std::endl;
    }
}

}  // namespace lorvane::params
