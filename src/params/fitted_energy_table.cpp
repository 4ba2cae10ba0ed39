// Decoy pair table "fittedE.txt" (compare mode's -dumpdis energy): for every
// van der Waals type pair and 0.1 A distance bin from 2.0 to 8.0 A, minus the
// log-ratio of how often loop heavy atoms meet their surroundings at that
// distance in near-native decoys and in other (non-native) decoys of the same
// loops. Lower values mean more native-like contacts.
//
// Loops and decoys: params/loop_decoys.h (runs of 4..12 DSSP-coil
// residues, kTargetLoops / 9 per length; perturbed-dihedral decoys grown with
// the model's builder and closed with the tripeptide solver, side chains
// rebuilt from the native chi angles). Kinds of draws per loop: the native
// angles once; Gaussian noise around the native angles of sd 4, 8, 12 degrees
// (300 attempts each) and 20, 30, 45, 60, 90, 120 degrees (1500 each), a
// noisy pair outside the allowed cells drawn again; and each residue's pair
// replaced with probability 0.5 or 1 by a random coil pair of its class
// (glycine, proline, other) from the training set (3000 each). Random
// numbers: a 64-bit Mersenne twister seeded with the loop's ordinal, so the
// table does not depend on the thread count.
//
// Kept decoys: every loop residue's (phi, psi) lies in a 10 x 10 degree cell
// holding at least 1/20 of the uniform share of its class in the training set
// (the decoys a torsion score would not throw out: the "low-scoring" ones),
// and no heavy-atom pair is closer than 2.0 A (the compare mode's own clash
// rule). Near-native: backbone RMSD (rmsdg, as compare mode measures it)
// below 1.0 A; other: 1.5 A and above; in between: not used. At most kMaxNear
// and kMaxOther decoys per loop and group are counted (the first ones made);
// a loop contributes when it has at least kMinGroup decoys of each group.
//
// Counts are those of dumpDistances (the compare mode's counting). Each loop
// contributes the mean count per decoy of each group, so that loops with many
// decoys do not dominate; the means are summed over loops in loop order.
// Compare-mode dumps (disout2/ files of sampled decoys of training loops) can
// be added with --dump FILE: each file counts as one loop, its two lines
// divided by their decoy counts. --loops N changes the number of training
// loops (0: dumps only).
//
// Table: E[k] = -ln((n_near[k] + a) / (n_other[k] * N_near / N_other + a)),
// with N the sums over all indices, pseudo-count a = kPseudo (in mean
// counts per decoy summed over loops), clamped to [-kCap, kCap]; indices
// never counted in either group (including every tmin > tmax layout slot)
// are 0.
#include <omp.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "evaluate/evaluate.h"
#include "model/deviation.h"
#include "model/error.h"
#include "model/structure.h"
#include "params/commands.h"
#include "params/loop_decoys.h"
#include "params/table_io.h"

namespace lorvane::params {

namespace {

constexpr int kTargetLoops = 450;
constexpr int kMinLen = 4, kMaxLen = 12;
constexpr double kNearRmsd = 1.0, kOtherRmsd = 1.5;
constexpr int kMaxNear = 100, kMaxOther = 200;  // decoys counted per loop and group
constexpr int kMinGroup = 5;
constexpr double kPseudo = 2.0;
constexpr double kCap = 3.0;

struct LoopResult {
    int made = 0, ramaRejected = 0, clashes = 0, closureFailures = 0;
    int nNear = 0, nOther = 0;
    std::vector<std::pair<int, double>> near, other;  // mean counts per decoy, nonzero only
};

void sparseMean(const std::vector<long long>& sum, int decoys, std::vector<std::pair<int, double>>& out) {
    for (int k = 0; k < FITTED_E_SIZE; ++k)
        if (sum[k] != 0) out.emplace_back(k, static_cast<double>(sum[k]) / decoys);
}

LoopResult makeDecoys(const Templates& tm, const TrainChain& ch, const LoopSite& site, const Rama& rama, uint64_t seed) {
    LoopResult res;
    std::vector<int> counts(FITTED_E_SIZE);
    std::vector<long long> sumNear(FITTED_E_SIZE, 0), sumOther(FITTED_E_SIZE, 0);
    const DecoyStats st = makeLoopDecoys(
        tm, ch, site, rama, seed, standardKinds(), [&] { return res.nNear < kMaxNear || res.nOther < kMaxOther; },
        [&](Structure& s, Structure& nat, int start, int end) {
            const double rmsd = rmsdg(s, nat, start, end);
            const bool isNear = rmsd < kNearRmsd, isOther = rmsd >= kOtherRmsd;
            if (!isNear && !isOther) return;
            if ((isNear && res.nNear >= kMaxNear) || (isOther && res.nOther >= kMaxOther)) return;
            std::fill(counts.begin(), counts.end(), 0);
            double e = 0;
            if (dumpDistances(s, start, end, counts.data(), {}, e) == 0) {
                ++res.clashes;
                return;
            }
            std::vector<long long>& sum = isNear ? sumNear : sumOther;
            (isNear ? res.nNear : res.nOther)++;
            for (int q = 0; q < FITTED_E_SIZE; ++q) sum[q] += counts[q];
        });
    res.made = st.made, res.ramaRejected = st.ramaRejected, res.closureFailures = st.closureFailures;
    if (res.nNear >= kMinGroup && res.nOther >= kMinGroup) {
        sparseMean(sumNear, res.nNear, res.near);
        sparseMean(sumOther, res.nOther, res.other);
    }
    return res;
}

// Mean counts per decoy of the near-native and the other decoys, summed over loops.
struct DecoySums {
    std::vector<double> near = std::vector<double>(FITTED_E_SIZE, 0.0), other = std::vector<double>(FITTED_E_SIZE, 0.0);
    long totalNear = 0, totalOther = 0;
    int loops = 0;
};

void addTrainingLoops(const Templates& tm, const TrainingSet& ts, int target, int threads, DecoySums& sums) {
    const Rama rama = buildRama(ts);
    const std::vector<LoopSite> sites = selectLoops(ts, target, kMinLen, kMaxLen, "fittede");
    std::vector<LoopResult> results(sites.size());
    const double t0 = omp_get_wtime();
    FirstError errors;
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads)
    for (int k = 0; k < static_cast<int>(sites.size()); ++k)
        errors.run([&] { results[k] = makeDecoys(tm, ts.chains[sites[k].chain], sites[k], rama, 20261206ULL + static_cast<uint64_t>(k)); });
    errors.rethrow();
    long made = 0, rama_ = 0, clash = 0, unclosed = 0;
    for (const LoopResult& r : results) {
        made += r.made, rama_ += r.ramaRejected, clash += r.clashes, unclosed += r.closureFailures;
        if (r.near.empty() && r.other.empty()) continue;
        ++sums.loops;
        sums.totalNear += r.nNear, sums.totalOther += r.nOther;
        for (const auto& [k, v] : r.near) sums.near[k] += v;
        for (const auto& [k, v] : r.other) sums.other[k] += v;
    }
    char buf[256];
    std::snprintf(buf, sizeof buf, "fittede: %ld closed decoys in %.1f s: %ld outside allowed torsions, %ld clashing; %ld perturbations "
                  "without closure", made, omp_get_wtime() - t0, rama_, clash, unclosed);
    std::cout << buf << std::endl;
    std::cout << "fittede: " << sums.loops << " of " << sites.size() << " loops with >= " << kMinGroup << " decoys per group: " << sums.totalNear
              << " near-native (RMSD < " << kNearRmsd << " A), " << sums.totalOther << " other (RMSD >= " << kOtherRmsd << " A)" << std::endl;
}

// A compare-mode dump counts as one loop, its two lines divided by their decoy counts.
void addDump(const std::string& path, DecoySums& sums) {
    DistanceCounts nearD, otherD;
    readDistanceDump(path, nearD, otherD);
    if (nearD.decoys <= 0 || otherD.decoys <= 0) {
        std::cout << "fittede: " << path << " skipped (no decoys in one group)" << std::endl;
        return;
    }
    ++sums.loops;
    sums.totalNear += static_cast<long>(nearD.decoys), sums.totalOther += static_cast<long>(otherD.decoys);
    for (int k = 0; k < FITTED_E_SIZE; ++k) {
        sums.near[k] += nearD.counts[k] / nearD.decoys;
        sums.other[k] += otherD.counts[k] / otherD.decoys;
    }
}

}  // namespace

void cmdFittedE(const std::vector<std::string>& args, Session& session) {
    std::vector<std::string> dumps;
    int target = kTargetLoops;
    const Options o = OptionParser("fittede").texts("--dump", dumps).integer("--loops", target, 0, 100000).parse(args);
    DecoySums sums;
    if (target > 0) addTrainingLoops(session.templates(o.templates), session.trainingSet(o), target, o.threads, sums);
    for (const std::string& path : dumps) addDump(path, sums);
    if (sums.loops == 0) fail("lorvane-params fittede: no loop gave both near-native and other decoys; nothing to derive from");

    const std::vector<double> e = fittedLogRatio(sums.near, sums.other, kPseudo, kCap);
    double tn = 0, to = 0;
    int nonzero = 0, capped = 0;
    for (int k = 0; k < FITTED_E_SIZE; ++k) {
        tn += sums.near[k], to += sums.other[k];
        if (e[k] != 0) ++nonzero;
        if (std::fabs(e[k]) >= kCap) ++capped;
    }
    const std::string path = outPath(o.out, "fittedE.txt");
    writeTextFile(path, formatFittedTable(e) + "\n");
    char buf[256];
    std::snprintf(buf, sizeof buf, "fittede: mean pair counts per decoy summed over loops: near %.1f, other %.1f; %d nonzero entries, %d at the cap",
                  tn, to, nonzero, capped);
    std::cout << buf << std::endl << "fittede: wrote " << path << std::endl;
}

}  // namespace lorvane::params
