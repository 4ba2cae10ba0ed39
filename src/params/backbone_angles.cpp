// Backbone angle table "backbone_angles.txt": per residue type the
// distribution of the N-CA-C bond angle of coil residues and the mean and
// spread of the trans peptide torsion omega, read by the sampler's
// -xncac and -xclose variants.
//
// Data: training residues of DSSP class C (loops are what the sampler grows)
// with N, CA and C present and backbone B-factors (N, CA, C) at most
// maxBackboneB, weighted by the chain weight (homo-oligomer copies count
// once). N-CA-C: a histogram of 0.5-degree bins from 100 to 125 degrees,
// normalised to sum 1; angles outside the range (a handful, mostly model
// errors) are counted and left out. omega: the bond from residue i to i+1,
// tabled by the type of residue i+1 (proline after the bond is what changes
// it), class C on either side, trans bonds (|omega| > 90) folded onto
// 0..360 for the mean and standard deviation; the cis fraction beside them.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>

#include "model/errors.h"
#include "model/geometry.h"
#include "model/residue.h"
#include "params/backbone_angles.h"
#include "params/commands.h"
#include "params/params_a.h"
#include "params/params_a_util.h"

namespace paramsa {

namespace {

bool lowB(const TrainResidue& r, double maxB) { return std::max({r.bfactor[0], r.bfactor[1], r.bfactor[2]}) <= maxB; }

}  // namespace

BackboneAngleCounts collectBackboneAngles(const TrainingSet& ts, double maxB) {
    BackboneAngleCounts c;
    c.hist.assign(20 * NCAC_BINS, 0.0);
    for (const TrainChain& ch : ts.chains) {
        const auto& R = ch.residues;
        for (size_t i = 0; i < R.size(); ++i) {
            const TrainResidue& r = R[i];
            if (r.type < 0 || r.type >= 20 || r.ss != 'C' || !lowB(r, maxB)) continue;
            if (r.has(0) && r.has(1) && r.has(2)) {
                const double a = angle(r.atoms[0], r.atoms[1], r.atoms[2]);
                const int b = static_cast<int>(std::floor((a - NCAC_LO) / NCAC_WIDTH));
                if (std::isfinite(a) && b >= 0 && b < NCAC_BINS) {
                    c.hist[r.type * NCAC_BINS + b] += ch.weight;
                    c.ncac[r.type].add(a, ch.weight);
                    ++c.used;
                } else {
                    ++c.outside;
                }
            }
            double om;
            if (i + 1 < R.size() && R[i + 1].ss == 'C' && lowB(R[i + 1], maxB) && R[i + 1].type >= 0 && R[i + 1].type < 20 &&
                omegaAfter(ch, i, om)) {
                const int t = R[i + 1].type;
                c.allW[t] += ch.weight;
                if (std::fabs(om) > 90.0) {
                    c.omega[t].add(om < 0 ? om + 360.0 : om, ch.weight);
                    ++c.trans;
                } else {
                    c.cisW[t] += ch.weight;
                    ++c.cis;
                }
            }
        }
    }
    return c;
}

std::string formatBackboneAngles(const BackboneAngleCounts& c) {
    std::ostringstream out;
    out << "# Backbone angles of coil residues (DSSP class C) of the training set, derived by\n"
        << "# lorvane-params backbone-angles; see docs/parameters.md.\n"
        << "# NCAC_BINS count first_edge width (degrees)\n"
        << "# NCAC type weight mean sd p[0] .. p[count-1]   (N-CA-C angle; p sums to 1)\n"
        << "# OMEGA type weight mean sd cis_fraction        (trans peptide bond before the type, 0..360 degrees)\n";
    out << "NCAC_BINS " << NCAC_BINS << " " << fmtFixed(NCAC_LO, 1) << " " << fmtFixed(NCAC_WIDTH, 1) << "\n";
    for (int t = 0; t < 20; ++t) {
        if (c.ncac[t].w <= 0) fatal("backbone-angles: no coil residue of type " + Residue::Name3[t] + " in the training set");
        out << "NCAC " << Residue::Name3[t].c_str() << " " << fmtFixed(c.ncac[t].w, 1) << " " << fmtFixed(c.ncac[t].mean(), 3) << " "
            << fmtFixed(c.ncac[t].sd(), 3);
        for (int b = 0; b < NCAC_BINS; ++b) out << " " << fmtProb(c.hist[t * NCAC_BINS + b] / c.ncac[t].w);
        out << "\n";
    }
    for (int t = 0; t < 20; ++t) {
        if (c.omega[t].w <= 0) fatal("backbone-angles: no trans peptide bond before type " + Residue::Name3[t]);
        out << "OMEGA " << Residue::Name3[t].c_str() << " " << fmtFixed(c.omega[t].w, 1) << " " << fmtFixed(c.omega[t].mean(), 3) << " "
            << fmtFixed(c.omega[t].sd(), 3) << " " << fmtProb(c.cisW[t] / c.allW[t]) << "\n";
    }
    return out.str();
}

namespace {


int cmdBackboneAngles(const std::vector<std::string>& args) {
    const ParamsOptions o = parseParamsOptions(args, "backbone-angles");
    const TrainingSet& ts = trainingSetFor(o);
    const BackboneAngleCounts c = collectBackboneAngles(ts, PhipsiParams().maxBackboneB);
    const std::string path = outPath(o.out, "backbone_angles.txt");
    writeTable(path, formatBackboneAngles(c));
    std::cout << "backbone-angles: " << c.used << " coil N-CA-C angles (" << c.outside << " outside " << NCAC_LO << "-"
              << NCAC_LO + NCAC_BINS * NCAC_WIDTH << " left out), " << c.trans << " trans and " << c.cis << " cis peptide bonds; wrote "
              << path << std::endl;
    for (int t = 0; t < 20; ++t) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "  %s N-CA-C %.2f +- %.2f, omega %.2f +- %.2f, cis %.4f\n", Residue::Name3[t].c_str(), c.ncac[t].mean(), c.ncac[t].sd(),
                      c.omega[t].mean(), c.omega[t].sd(), c.allW[t] > 0 ? c.cisW[t] / c.allW[t] : 0.0);
        std::cout << buf;
    }
    return 0;
}

}  // namespace

LORVANE_PARAMS_COMMAND("backbone-angles", "N-CA-C angle and peptide torsion per residue type backbone_angles.txt", cmdBackboneAngles, 40);

}  // namespace paramsa
