// Data and estimate as the neighbour-type tables (neighbour_torsion.cpp): the
// residues collectPhipsi uses, class C only, each histogram smoothed and shrunk
// towards P(t). The key is that of the program (conformationKey), so training
// and sampling cut the Ramachandran plane the same way. The shrink constant was
// chosen by two-fold cross-validation over training entries (phipsi-nc-cv).
#include "params/conformation_torsion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "distributions/distributions.h"
#include "model/residue.h"
#include "params/chain_geometry.h"
#include "params/commands.h"
#include "params/table_io.h"

namespace lorvane::params {

namespace {

constexpr size_t T = NUM_BINS * NUM_BINS;

// Key of residue j of a chain; -1 outside the chain or when undefined.
int trainKey(const TrainChain& ch, size_t j) {
    double phi, psi;
    if (j >= ch.residues.size() || !phiPsi(ch, j, phi, psi)) return -1;
    return conformationKey(phi, psi);
}

}  // namespace

void collectConformationPhipsi(const TrainingSet& ts, const NeighbourParams& p, const std::vector<char>* useChain, ConformationCounts& c) {
    c = ConformationCounts();
    c.used = collectSidePhipsi(ts, p.base, useChain, CONFORMATION_KEYS, trainKey, c.hist);
}

std::string formatConformationPhipsi(const std::vector<double>& tables) {
    return formatSidePhipsi(tables, CONFORMATION_KEYS, [](int k) { return std::to_string(k); });
}

long deriveConformationPhipsi(const TrainingSet& ts, const NeighbourParams& p, const std::vector<char>* useChain, std::vector<double>& base,
                              std::vector<double>& tables) {
    return deriveSidePhipsi(ts, p, useChain, CONFORMATION_KEYS, trainKey, base, tables);
}

void cmdPhipsiNc(const std::vector<std::string>& args, Session& session) {
    const Options o = parseOptions(args, "phipsi-nc");
    const TrainingSet& ts = session.trainingSet(o);
    NeighbourParams p;
    p.shrink = 100.0;
    std::vector<double> base, tables;
    const long used = deriveConformationPhipsi(ts, p, nullptr, base, tables);
    const std::string path = outPath(o.out, "phipsi.nc.txt.gz");
    writeGzipFile(path, formatConformationPhipsi(tables));
    std::cout << "phipsi-nc: " << used << " class-C residues; wrote " << path << std::endl;
}

// Two-fold cross-validation over training entries, as phipsi-nb-cv: held-out
// class-C residues scored with P(t), with the previous or next residue's key,
// and with both (a side whose neighbour is undefined reads P(t)).
void cmdPhipsiNcCv(const std::vector<std::string>& args, Session& session) {
    const Options o = parseOptions(args, "phipsi-nc-cv");
    const TrainingSet& ts = session.trainingSet(o);
    const std::vector<char> fold = entryFolds(ts);
    std::printf("shrink   residues  ln p: P(t)   previous next   both\n");
    for (double shrink : {25.0, 50.0, 100.0, 200.0, 400.0}) {
        NeighbourParams p;
        p.shrink = shrink;
        double total = 0, llBase = 0, llP = 0, llN = 0, llB = 0;
        for (int f = 0; f < 2; ++f) {
            std::vector<char> use(ts.chains.size());
            for (size_t i = 0; i < use.size(); ++i) use[i] = fold[i] != f;
            std::vector<double> base, tables, both(T);
            deriveConformationPhipsi(ts, p, &use, base, tables);
            forEachHeldOutCoil(ts, fold, f, [&](const TrainChain& ch, size_t i, double phi, double psi) {
                const TrainResidue& r = ch.residues[i];
                const int kp = trainKey(ch, i - 1), kn = trainKey(ch, i + 1);
                const size_t bin = static_cast<size_t>(torsionBin(phi)) * NUM_BINS + torsionBin(psi);
                const double* b = coilTable(base, r.type);
                const double* P = kp >= 0 ? tables.data() + conformationTableOffset(0, r.type, kp) : b;
                const double* N = kn >= 0 ? tables.data() + conformationTableOffset(1, r.type, kn) : b;
                const double vB = combineNeighbourTables(b, P, N, both.data()) ? both[bin] : b[bin];
                const double w = ch.weight;
                total += w;
                llBase += w * std::log(std::max(b[bin], 1e-12));
                llP += w * std::log(std::max(P[bin], 1e-12));
                llN += w * std::log(std::max(N[bin], 1e-12));
                llB += w * std::log(std::max(vB, 1e-12));
            });
        }
        std::printf("%6.0f %10.0f  %11.4f %8.4f %7.4f %7.4f\n", shrink, total, llBase / total, llP / total, llN / total, llB / total);
        std::fflush(stdout);
    }
}

}  // namespace lorvane::params
