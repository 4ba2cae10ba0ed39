// Data: every training residue with both dihedrals defined (no chain break
// or terminus next to it), backbone B-factors (N, CA, C) at most
// PhipsiParams::maxBackboneB, and no cis peptide bond on either side unless that bond
// precedes a proline (non-proline cis peptides are rare and often model
// errors). Counts are weighted by the chain weight, so the copies of a
// homo-oligomer count once.
//
// Estimate: kernel density with a periodic product von Mises kernel
// exp(kappa (cos dphi - 1) + kappa (cos dpsi - 1)), kappa = 1 / sigma^2. The
// bandwidth shrinks with the effective count N of the table like N^(-1/6)
// (the rate of a 2-D kernel estimate): sigma = sigmaAt1000 (N / 1000)^(-1/6),
// kept within [sigmaMin, sigmaMax]. Each table is then mixed with a broad
// reference (weight lambda) so that sparse residue types keep a small
// probability wherever residues of their kind are seen at all: glycine and
// proline with their own all-class distribution, every other type with the
// class-C distribution of all non-glycine, non-proline residues (for class
// C) or with its own all-class distribution (classes H and E), each smoothed
// with sigmaBroad. The constants were chosen by two-fold cross-validation
// over training entries (command phipsi-cv), never on benchmark loops.
#include "params/torsion_bins.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "model/residue.h"
#include "params/chain_geometry.h"
#include "params/commands.h"
#include "params/smoothing.h"
#include "params/table_io.h"

namespace lorvane::params {

namespace {

int classIndex(char ss) { return ss == 'H' ? 0 : ss == 'E' ? 1 : 2; }

}  // namespace

PhipsiUse phipsiUse(const TrainChain& ch, size_t i, const PhipsiParams& p, double& phi, double& psi) {
    if (!phiPsi(ch, i, phi, psi)) return PhipsiUse::Undefined;
    const TrainResidue& r = ch.residues[i];
    if (std::max({r.bfactor[0], r.bfactor[1], r.bfactor[2]}) > p.maxBackboneB) return PhipsiUse::HighB;
    double om;
    if (omegaAfter(ch, i - 1, om) && std::fabs(om) < 30.0 && r.type != PRO) return PhipsiUse::CisNonPro;
    if (omegaAfter(ch, i, om) && std::fabs(om) < 30.0 && ch.residues[i + 1].type != PRO) return PhipsiUse::CisNonPro;
    return PhipsiUse::Used;
}

void collectPhipsi(const TrainingSet& ts, const PhipsiParams& p, const std::vector<char>* useChain, PhipsiCounts& c) {
    c = PhipsiCounts();
    c.hist.assign(static_cast<size_t>(20 * 3 * NUM_BINS * NUM_BINS), 0.0);
    for (size_t ci = 0; ci < ts.chains.size(); ++ci) {
        if (useChain && !(*useChain)[ci]) continue;
        const TrainChain& ch = ts.chains[ci];
        for (size_t i = 0; i < ch.residues.size(); ++i) {
            double phi, psi;
            const PhipsiUse use = phipsiUse(ch, i, p, phi, psi);
            if (use == PhipsiUse::Undefined) continue;
            ++c.defined;
            if (use == PhipsiUse::HighB) ++c.highB;
            if (use == PhipsiUse::CisNonPro) ++c.cisNonPro;
            if (use != PhipsiUse::Used) continue;
            const TrainResidue& r = ch.residues[i];
            const int s = classIndex(r.ss);
            c.hist[static_cast<size_t>(((r.type * 3 + s) * NUM_BINS + torsionBin(phi)) * NUM_BINS + torsionBin(psi))] += ch.weight;
            ++c.used;
        }
    }
}

namespace {

// Smoothed, normalised density of a weighted histogram; returns the effective count.
double smoothTable(const double* h, double sigma, double* out) {
    double n = 0;
    for (int k = 0; k < NUM_BINS * NUM_BINS; ++k) n += h[k];
    if (n <= 0) {
        for (int k = 0; k < NUM_BINS * NUM_BINS; ++k) out[k] = 1.0 / (NUM_BINS * NUM_BINS);
        return 0;
    }
    vonMisesSmooth(h, out, sigma);
    double s = 0;
    for (int k = 0; k < NUM_BINS * NUM_BINS; ++k) s += out[k];
    for (int k = 0; k < NUM_BINS * NUM_BINS; ++k) out[k] /= s;
    return n;
}

}  // namespace

std::vector<char> entryFolds(const TrainingSet& ts) {
    std::vector<char> fold(ts.chains.size());
    int entry = -1;
    std::string last;
    for (size_t i = 0; i < ts.chains.size(); ++i) {
        if (ts.chains[i].pdbId != last) ++entry, last = ts.chains[i].pdbId;
        fold[i] = static_cast<char>(entry % 2);
    }
    return fold;
}

double phipsiSigma(const PhipsiParams& p, double n) {
    double s = p.sigmaAt1000 * std::pow(std::max(n, 1.0) / 1000.0, -1.0 / 6.0);
    return std::min(p.sigmaMax, std::max(p.sigmaMin, s));
}

void buildPhipsi(const PhipsiCounts& c, const PhipsiParams& p, std::vector<double>& tables) {
    const size_t T = NUM_BINS * NUM_BINS;
    tables.assign(20 * 3 * T, 0.0);
    const std::vector<double>& h = c.hist;
    auto hist = [&](int t, int s) { return h.data() + (t * 3 + s) * T; };
    // Broad references.
    std::vector<double> all(20 * T, 0.0), gen(T, 0.0);
    for (int t = 0; t < 20; ++t)
        for (int s = 0; s < 3; ++s)
            for (size_t k = 0; k < T; ++k) {
                all[t * T + k] += hist(t, s)[k];
                if (s == 2 && t != GLY && t != PRO) gen[k] += hist(t, s)[k];
            }
    std::vector<double> allBroad(20 * T), genBroad(T), own(T);
    for (int t = 0; t < 20; ++t) smoothTable(all.data() + t * T, p.sigmaBroad, allBroad.data() + t * T);
    smoothTable(gen.data(), p.sigmaBroad, genBroad.data());
    for (int t = 0; t < 20; ++t)
        for (int s = 0; s < 3; ++s) {
            double n = 0;
            for (size_t k = 0; k < T; ++k) n += hist(t, s)[k];
            smoothTable(hist(t, s), phipsiSigma(p, n), own.data());
            const double* ref = (s == 2 && t != GLY && t != PRO) ? genBroad.data() : allBroad.data() + t * T;
            double* out = tables.data() + (t * 3 + s) * T;
            // A table without any data is the reference alone.
            const double lambda = n > 0 ? p.lambda : 1.0;
            for (size_t k = 0; k < T; ++k) out[k] = (1.0 - lambda) * own[k] + lambda * ref[k];
        }
}

std::string formatPhipsi(const std::vector<double>& tables) {
    std::string text;
    text.reserve(20 * 3 * 73 * 72 * 11);
    const size_t T = NUM_BINS * NUM_BINS;
    for (int t = 0; t < 20; ++t)
        for (int s = 0; s < 3; ++s) {
            text += THREE_LETTER[t];
            text += ' ';
            text += CLASS_LETTER[s];
            text += '\n';
            appendProbabilityRows(text, tables.data() + (t * 3 + s) * T, NUM_BINS, NUM_BINS);
        }
    return text;
}

void cmdPhipsi(const std::vector<std::string>& args, Session& session) {
    const Options o = parseOptions(args, "phipsi");
    const TrainingSet& ts = session.trainingSet(o);
    PhipsiParams p;
    PhipsiCounts c;
    collectPhipsi(ts, p, nullptr, c);
    std::vector<double> tables;
    buildPhipsi(c, p, tables);
    const std::string path = outPath(o.out, "phipsi.bb.txt");
    writeTextFile(path, formatPhipsi(tables));
    std::cout << "phipsi: " << c.used << " residues used of " << c.defined << " with phi and psi (" << c.highB << " high B, " << c.cisNonPro
              << " next to a non-proline cis peptide); wrote " << path << std::endl;
    // Effective counts and kernel widths of the class-C tables.
    std::cout << "phipsi: class C effective residues / kernel sd (deg):";
    for (int t = 0; t < 20; ++t) {
        double n = 0;
        for (int k = 0; k < NUM_BINS * NUM_BINS; ++k) n += c.hist[(t * 3 + 2) * NUM_BINS * NUM_BINS + k];
        char buf[64];
        std::snprintf(buf, sizeof buf, " %s %.0f/%.1f", THREE_LETTER[t], n, phipsiSigma(p, n));
        std::cout << buf;
    }
    std::cout << std::endl;
}

// Two-fold cross-validation over training entries: tables from one half,
// measured on the class-C residues of the other half (all of them, without
// the B-factor or cis filters, as loops come).
void cmdPhipsiCv(const std::vector<std::string>& args, Session& session) {
    const Options o = parseOptions(args, "phipsi-cv");
    const TrainingSet& ts = session.trainingSet(o);
    const std::vector<char> fold = entryFolds(ts);
    // Held-out class-C residues measured against tables built from the other fold.
    auto evaluate = [&](const PhipsiParams& p, std::vector<double>* missByType) {
        double covered = 0, total = 0, ll = 0, area = 0;
        for (int f = 0; f < 2; ++f) {
            std::vector<char> use(ts.chains.size());
            for (size_t i = 0; i < use.size(); ++i) use[i] = fold[i] != f;
            PhipsiCounts c;
            collectPhipsi(ts, p, &use, c);
            std::vector<double> tables;
            buildPhipsi(c, p, tables);
            std::vector<long> cells(20, 0);
            for (int t = 0; t < 20; ++t)
                for (int k = 0; k < NUM_BINS * NUM_BINS; ++k) cells[t] += tables[(t * 3 + 2) * NUM_BINS * NUM_BINS + k] >= 2e-5;
            forEachHeldOutCoil(ts, fold, f, [&](const TrainChain& ch, size_t i, double phi, double psi) {
                const TrainResidue& r = ch.residues[i];
                const double v = tables[((r.type * 3 + 2) * NUM_BINS + torsionBin(phi)) * NUM_BINS + torsionBin(psi)];
                total += ch.weight;
                if (v >= 2e-5) covered += ch.weight;
                else if (missByType) (*missByType)[r.type] += ch.weight;
                ll += ch.weight * std::log(std::max(v, 1e-12));
                area += ch.weight * cells[r.type];
            });
        }
        std::printf("%10.1f %6.3f %5.1f  %15.5f  %10.4f  %8.0f\n", p.sigmaAt1000, p.lambda, p.sigmaBroad, covered / total, ll / total,
                    area / total);
        return total;
    };
    std::printf("sigma@1000 lambda broad  coverage(>=2e-5)  mean log p  possible cells   (held-out class-C residues)\n");
    for (double s0 : {6.0, 8.0, 10.0, 12.0, 16.0})
        for (double l : {0.02, 0.05, 0.1, 0.2})
            for (double sb : {15.0, 25.0}) {
                PhipsiParams p;
                p.sigmaAt1000 = s0, p.lambda = l, p.sigmaBroad = sb;
                evaluate(p, nullptr);
            }
    std::vector<double> miss(20, 0.0);
    std::printf("default:\n");
    const double total = evaluate(PhipsiParams(), &miss);
    std::printf("held-out misses by type (share of all held-out class-C residues):");
    for (int t = 0; t < 20; ++t) std::printf(" %s %.5f", THREE_LETTER[t], miss[t] / total);
    std::printf("\n");
}

}  // namespace lorvane::params
