// Data: the residues collectPhipsi uses (both dihedrals defined, so both
// neighbours are bonded; B-factor and cis filters), class C only, counted per
// (type, left neighbour type) and (type, right neighbour type).
//
// Estimate: each histogram is smoothed with the kernel width rule of the
// single-residue tables and shrunk towards the residue's own class-C table
// P(t) with weight n / (n + shrink), n the effective count: a pair seen a
// few times says little, a pair like (Xaa, Pro) seen thousands of times
// replaces P(t). The shrink constant was chosen by two-fold cross-validation
// over training entries (phipsi-nb-cv).
#include "params/neighbour_torsion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <iostream>

#include "distributions/distributions.h"
#include "model/residue.h"
#include "params/chain_geometry.h"
#include "params/commands.h"
#include "params/smoothing.h"
#include "params/table_io.h"

namespace lorvane::params {

namespace {

constexpr size_t T = NUM_BINS * NUM_BINS;

const double* coilBase(const std::vector<double>& base, int type) { return base.data() + (static_cast<size_t>(type) * 3 + 2) * T; }

}  // namespace

const double* coilTable(const std::vector<double>& base, int type) { return coilBase(base, type); }

void shrinkTowardsOwn(const double* hist, const double* own, const NeighbourParams& p, std::vector<double>& scratch, double* out) {
    double n = 0;
    for (size_t k = 0; k < T; ++k) n += hist[k];
    if (n <= 0) {
        std::copy(own, own + T, out);
        return;
    }
    scratch.resize(T);
    vonMisesSmooth(hist, scratch.data(), phipsiSigma(p.base, n));
    double s = 0;
    for (size_t k = 0; k < T; ++k) s += scratch[k];
    const double w = n / (n + p.shrink);
    for (size_t k = 0; k < T; ++k) out[k] = w * scratch[k] / s + (1.0 - w) * own[k];
}

long collectSidePhipsi(const TrainingSet& ts, const PhipsiParams& p, const std::vector<char>* useChain, int keys, const SideKeyFn& key,
                       std::vector<double>& hist) {
    hist.assign(sideTableOffset(2, 0, 0, keys), 0.0);
    long used = 0;
    for (size_t ci = 0; ci < ts.chains.size(); ++ci) {
        if (useChain && !(*useChain)[ci]) continue;
        const TrainChain& ch = ts.chains[ci];
        for (size_t i = 0; i < ch.residues.size(); ++i) {
            double phi, psi;
            const TrainResidue& r = ch.residues[i];
            if (r.ss != 'C' || phipsiUse(ch, i, p, phi, psi) != PhipsiUse::Used) continue;
            const size_t bin = static_cast<size_t>(torsionBin(phi)) * NUM_BINS + torsionBin(psi);
            for (int side = 0; side < 2; ++side) {
                const int k = key(ch, side == 0 ? i - 1 : i + 1);
                if (k >= 0) hist[sideTableOffset(side, r.type, k, keys) + bin] += ch.weight;
            }
            ++used;
        }
    }
    return used;
}

void buildSidePhipsi(const std::vector<double>& hist, int keys, const NeighbourParams& p, const std::vector<double>& base,
                     std::vector<double>& tables) {
    tables.assign(sideTableOffset(2, 0, 0, keys), 0.0);
    std::vector<double> scratch;
    for (int side = 0; side < 2; ++side)
        for (int t = 0; t < 20; ++t)
            for (int k = 0; k < keys; ++k)
                shrinkTowardsOwn(hist.data() + sideTableOffset(side, t, k, keys), coilBase(base, t), p, scratch,
                                 tables.data() + sideTableOffset(side, t, k, keys));
}

std::string formatSidePhipsi(const std::vector<double>& tables, int keys, const std::function<std::string(int)>& label) {
    std::string text;
    text.reserve(2 * 20 * static_cast<size_t>(keys) * 73 * 72 * 11);
    for (int side = 0; side < 2; ++side)
        for (int t = 0; t < 20; ++t)
            for (int k = 0; k < keys; ++k) {
                text += THREE_LETTER[t];
                text += ' ' + label(k);
                text += side == 0 ? " -1\n" : " +1\n";
                appendProbabilityRows(text, tables.data() + sideTableOffset(side, t, k, keys), NUM_BINS, NUM_BINS);
            }
    return text;
}

long deriveSidePhipsi(const TrainingSet& ts, const NeighbourParams& p, const std::vector<char>* useChain, int keys, const SideKeyFn& key,
                      std::vector<double>& base, std::vector<double>& tables) {
    PhipsiCounts c1;
    collectPhipsi(ts, p.base, useChain, c1);
    buildPhipsi(c1, p.base, base);
    std::vector<double> hist;
    const long used = collectSidePhipsi(ts, p.base, useChain, keys, key, hist);
    buildSidePhipsi(hist, keys, p, base, tables);
    return used;
}

namespace {

// Both neighbours of a used residue are bonded residues of the chain.
int neighbourType(const TrainChain& ch, size_t j) { return ch.residues[j].type; }

}  // namespace

void collectNeighbourPhipsi(const TrainingSet& ts, const NeighbourParams& p, const std::vector<char>* useChain, NeighbourCounts& c) {
    c = NeighbourCounts();
    c.used = collectSidePhipsi(ts, p.base, useChain, 20, neighbourType, c.hist);
}

void buildNeighbourPhipsi(const NeighbourCounts& c, const NeighbourParams& p, const std::vector<double>& base, std::vector<double>& tables) {
    buildSidePhipsi(c.hist, 20, p, base, tables);
}

void combineNeighbours(const std::vector<double>& base, const std::vector<double>& tables, int type, int left, int right, double* out) {
    const double* b = coilBase(base, type);
    if (!combineNeighbourTables(b, tables.data() + neighbourTableOffset(0, type, left), tables.data() + neighbourTableOffset(1, type, right), out))
        std::copy(b, b + T, out);
}

std::string formatNeighbourPhipsi(const std::vector<double>& tables) {
    return formatSidePhipsi(tables, 20, [](int nb) { return std::string(THREE_LETTER[nb]); });
}

long deriveNeighbourPhipsi(const TrainingSet& ts, const NeighbourParams& p, const std::vector<char>* useChain, std::vector<double>& base,
                           std::vector<double>& tables) {
    return deriveSidePhipsi(ts, p, useChain, 20, neighbourType, base, tables);
}

void cmdPhipsiNb(const std::vector<std::string>& args, Session& session) {
    const Options o = parseOptions(args, "phipsi-nb");
    const TrainingSet& ts = session.trainingSet(o);
    NeighbourParams p;
    std::vector<double> base, tables;
    const long used = deriveNeighbourPhipsi(ts, p, nullptr, base, tables);
    // 45 MB of text: written compressed, as the program reads it.
    const std::string path = outPath(o.out, "phipsi.nb.txt.gz");
    writeGzipFile(path, formatNeighbourPhipsi(tables));
    std::cout << "phipsi-nb: " << used << " class-C residues; wrote " << path << std::endl;
}

// Two-fold cross-validation over training entries, as phipsi-cv: tables from
// one half, held-out class-C residues of the other half scored with P(t)
// alone, with one neighbour, and with both.
void cmdPhipsiNbCv(const std::vector<std::string>& args, Session& session) {
    const Options o = parseOptions(args, "phipsi-nb-cv");
    const TrainingSet& ts = session.trainingSet(o);
    const std::vector<char> fold = entryFolds(ts);
    std::printf("shrink   residues  ln p: P(t)   left    right   both   coverage(>=2e-5): P(t)  both\n");
    for (double shrink : {25.0, 50.0, 100.0, 200.0, 400.0, 800.0}) {
        NeighbourParams p;
        p.shrink = shrink;
        double total = 0, llBase = 0, llL = 0, llR = 0, llB = 0, covBase = 0, covB = 0;
        for (int f = 0; f < 2; ++f) {
            std::vector<char> use(ts.chains.size());
            for (size_t i = 0; i < use.size(); ++i) use[i] = fold[i] != f;
            std::vector<double> base, tables;
            deriveNeighbourPhipsi(ts, p, &use, base, tables);
            std::vector<double> both(T);
            int lastT = -1, lastL = -1, lastR = -1;
            forEachHeldOutCoil(ts, fold, f, [&](const TrainChain& ch, size_t i, double phi, double psi) {
                const TrainResidue& r = ch.residues[i];
                const int left = ch.residues[i - 1].type, right = ch.residues[i + 1].type;
                const size_t bin = static_cast<size_t>(torsionBin(phi)) * NUM_BINS + torsionBin(psi);
                if (r.type != lastT || left != lastL || right != lastR) {
                    combineNeighbours(base, tables, r.type, left, right, both.data());
                    lastT = r.type, lastL = left, lastR = right;
                }
                const double vb = coilBase(base, r.type)[bin];
                const double vl = tables[neighbourTableOffset(0, r.type, left) + bin];
                const double vr = tables[neighbourTableOffset(1, r.type, right) + bin];
                const double w = ch.weight;
                total += w;
                llBase += w * std::log(std::max(vb, 1e-12));
                llL += w * std::log(std::max(vl, 1e-12));
                llR += w * std::log(std::max(vr, 1e-12));
                llB += w * std::log(std::max(both[bin], 1e-12));
                covBase += w * (vb >= 2e-5);
                covB += w * (both[bin] >= 2e-5);
            });
        }
        std::printf("%6.0f %10.0f  %11.4f %7.4f %7.4f %7.4f   %20.5f %7.5f\n", shrink, total, llBase / total, llL / total, llR / total,
                    llB / total, covBase / total, covB / total);
        std::fflush(stdout);
    }
}

}  // namespace lorvane::params
