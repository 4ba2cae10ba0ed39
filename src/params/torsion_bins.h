#pragma once
// Backbone torsion-bin table "phipsi.bb.txt": for every residue type and DSSP
// class (H, E, C) the probability of each 5 x 5 degree (phi, psi) bin.
#include <string>
#include <vector>

#include "params/chain_geometry.h"
#include "params/training_set.h"

namespace lorvane::params {

struct PhipsiParams {
    double maxBackboneB = 80.0;  // residues with a larger N/CA/C B-factor are left out
    double sigmaAt1000 = 8.0;    // kernel sd (deg) of a table with 1000 effective residues
    double sigmaMin = 6.0, sigmaMax = 24.0;
    double sigmaBroad = 25.0;    // kernel sd of the reference tables
    double lambda = 0.1;         // weight of the reference in the mixture
};

struct PhipsiCounts {
    std::vector<double> hist;  // [type 20][class 3][phi 72][psi 72], weighted
    long defined = 0, used = 0, highB = 0, cisNonPro = 0;
};

// Whether residue i of a chain counts in the tables: both dihedrals defined
// (phi, psi set), backbone B-factors at most maxBackboneB, and no cis
// peptide bond on either side unless it precedes a proline.
enum class PhipsiUse { Undefined, HighB, CisNonPro, Used };
PhipsiUse phipsiUse(const TrainChain& ch, size_t i, const PhipsiParams& p, double& phi, double& psi);
// useChain (optional): chain mask for cross-validation.
void collectPhipsi(const TrainingSet& ts, const PhipsiParams& p, const std::vector<char>* useChain, PhipsiCounts& c);
double phipsiSigma(const PhipsiParams& p, double effectiveCount);
// Fold 0 or 1 of each chain for two-fold cross-validation: entries alternate
// in file order, so the chains of one entry never sit on both sides.
std::vector<char> entryFolds(const TrainingSet& ts);
// fn(chain, i, phi, psi) for every class-C residue with both dihedrals in the
// chains of fold f: the held-out residues of a cross-validation (no B-factor
// or cis filter, as loops come).
template <class Fn>
void forEachHeldOutCoil(const TrainingSet& ts, const std::vector<char>& fold, int f, Fn fn) {
    for (size_t ci = 0; ci < ts.chains.size(); ++ci) {
        if (fold[ci] != f) continue;
        const TrainChain& ch = ts.chains[ci];
        for (size_t i = 0; i < ch.residues.size(); ++i) {
            double phi, psi;
            if (ch.residues[i].ss == 'C' && phiPsi(ch, i, phi, psi)) fn(ch, i, phi, psi);
        }
    }
}
// tables: [type][class][phi][psi], each (type, class) table summing to 1.
void buildPhipsi(const PhipsiCounts& c, const PhipsiParams& p, std::vector<double>& tables);
std::string formatPhipsi(const std::vector<double>& tables);

}  // namespace lorvane::params
