// N-CA-C table "ncac_phipsi.txt": the bond angle N-CA-C per residue type and,
// on top of it, an offset per 10-degree (phi, psi) cell for glycine, proline
// and the other types. The angle follows the residue's own conformation (it
// opens by several degrees in some regions), so the sampler can build each
// candidate (phi, psi) with the angle real chains have there.
//
// Data: training residues of every DSSP class (the relation is a property of
// the backbone, and helix and strand cells need their counts too) with phi and
// psi defined, a trans peptide bond before them (|omega| > 90), backbone
// B-factors at most maxBackboneB and N-CA-C in 100-125 degrees, weighted by
// the chain weight. A cell's offset is the weighted mean residual from the
// type mean, shrunk towards zero by a pseudo-weight of 5 (the best of the
// two-fold cross-validation the command prints).
#include "params/ncac_conformation.h"

#include <cmath>
#include <iostream>
#include <map>
#include <sstream>

#include "distributions/ncac_conformation.h"
#include "model/error.h"
#include "model/geometry.h"
#include "model/residue_names.h"
#include "params/chain_geometry.h"
#include "params/commands.h"
#include "params/table_io.h"
#include "params/torsion_bins.h"

namespace lorvane::params {

namespace {

int cellOf(double deg) {
    const int c = static_cast<int>(std::floor((deg + 180.0) / NCAC_CELL));
    return ((c % NCAC_CELLS) + NCAC_CELLS) % NCAC_CELLS;
}

}  // namespace

std::vector<NcacSample> collectNcacSamples(const TrainingSet& ts, double maxB) {
    std::vector<NcacSample> out;
    std::map<std::string, int> entryIndex;
    for (const TrainChain& ch : ts.chains) {
        const int fold = entryIndex.emplace(ch.pdbId, static_cast<int>(entryIndex.size())).first->second % 2;
        const auto& R = ch.residues;
        for (size_t i = 1; i < R.size(); ++i) {
            const TrainResidue& r = R[i];
            if (r.type < 0 || r.type >= 20 || !r.has(0) || !r.has(1) || !r.has(2)) continue;
            if (std::max({r.bfactor[0], r.bfactor[1], r.bfactor[2]}) > maxB) continue;
            double phi, psi, om;
            if (!phiPsi(ch, i, phi, psi) || !omegaAfter(ch, i - 1, om) || std::fabs(om) <= 90.0) continue;
            const double tau = angle(r.atoms[0], r.atoms[1], r.atoms[2]);
            if (!std::isfinite(tau) || tau < 100.0 || tau > 125.0) continue;
            out.push_back({r.type, phi, psi, tau, ch.weight, fold});
        }
    }
    return out;
}

NcacConformationFit fitNcacConformation(const std::vector<NcacSample>& s, double shrink, int skipFold) {
    NcacConformationFit f;
    std::array<double, 20> w{}, sum{};
    for (const NcacSample& x : s)
        if (x.fold != skipFold) w[x.type] += x.weight, sum[x.type] += x.weight * x.tau;
    for (int t = 0; t < 20; ++t) {
        if (w[t] <= 0) fail("ncac-phipsi: no residue of type " + threeLetter(t) + " in the training set");
        f.mean[t] = sum[t] / w[t];
    }
    std::array<std::vector<double>, NCAC_GROUPS> cw, cs;
    for (int g = 0; g < NCAC_GROUPS; ++g) cw[g].assign(NCAC_CELLS * NCAC_CELLS, 0.0), cs[g].assign(NCAC_CELLS * NCAC_CELLS, 0.0);
    for (const NcacSample& x : s) {
        if (x.fold == skipFold) continue;
        const int c = cellOf(x.phi) * NCAC_CELLS + cellOf(x.psi), g = ncacGroup(x.type);
        cw[g][c] += x.weight;
        cs[g][c] += x.weight * (x.tau - f.mean[x.type]);
    }
    for (int g = 0; g < NCAC_GROUPS; ++g) {
        f.offset[g].assign(NCAC_CELLS * NCAC_CELLS, 0.0);
        for (int c = 0; c < NCAC_CELLS * NCAC_CELLS; ++c) f.offset[g][c] = cs[g][c] / (cw[g][c] + shrink);
    }
    return f;
}

double ncacFitted(const NcacConformationFit& f, int type, double phi, double psi) {
    return f.mean[type] + f.offset[ncacGroup(type)][cellOf(phi) * NCAC_CELLS + cellOf(psi)];
}

std::string formatNcacConformation(const NcacConformationFit& f, double cellWidth) {
    std::ostringstream out;
    out << "# N-CA-C angle by backbone conformation, derived from the training set by\n"
        << "# lorvane-params ncac-phipsi; see docs/parameters.md.\n"
        << "# CELL width (degrees; cells start at -180)\n"
        << "# MEAN type degrees\n"
        << "# OFFSET group phi_cell offset[psi_cell 0 .. n-1] (degrees added to the type mean)\n";
    out << "CELL " << formatFixed(cellWidth, 1) << "\n";
    for (int t = 0; t < 20; ++t) out << "MEAN " << threeLetter(t) << " " << formatFixed(f.mean[t], 3) << "\n";
    for (int g = 0; g < NCAC_GROUPS; ++g)
        for (int a = 0; a < NCAC_CELLS; ++a) {
            out << "OFFSET " << ncacGroupName(g) << " " << a;
            for (int b = 0; b < NCAC_CELLS; ++b) out << " " << formatFixed(f.offset[g][a * NCAC_CELLS + b], 3);
            out << "\n";
        }
    return out.str();
}

void cmdNcacPhipsi(const std::vector<std::string>& args, Session& session) {
    const Options o = parseOptions(args, "ncac-phipsi");
    const TrainingSet& ts = session.trainingSet(o);
    const std::vector<NcacSample> s = collectNcacSamples(ts, PhipsiParams().maxBackboneB);
    // Two-fold cross-validation by entry: spread of the held-out angles about
    // the type mean and about the conformation's angle, for a few shrinks.
    for (double shrink : {5.0, 20.0, 80.0}) {
        double w = 0, eType = 0, eConf = 0;
        for (int fold = 0; fold < 2; ++fold) {
            const NcacConformationFit f = fitNcacConformation(s, shrink, fold);
            for (const NcacSample& x : s) {
                if (x.fold != fold) continue;
                const double dt = x.tau - f.mean[x.type], dc = x.tau - ncacFitted(f, x.type, x.phi, x.psi);
                w += x.weight, eType += x.weight * dt * dt, eConf += x.weight * dc * dc;
            }
        }
        std::cout << "ncac-phipsi: held-out RMS deviation, shrink " << shrink << ": type mean " << formatFixed(std::sqrt(eType / w), 3)
                  << ", by conformation " << formatFixed(std::sqrt(eConf / w), 3) << " degrees" << std::endl;
    }
    const std::string path = outPath(o.out, "ncac_phipsi.txt");
    writeTextFile(path, formatNcacConformation(fitNcacConformation(s, NCAC_SHRINK), NCAC_CELL));
    std::cout << "ncac-phipsi: " << s.size() << " residues; wrote " << path << std::endl;
}

}  // namespace lorvane::params
