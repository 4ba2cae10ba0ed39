// Backbone angle table "backbone_angles.txt": per residue type the
// distribution of the N-CA-C bond angle of coil residues and the mean and
// spread of the trans peptide torsion omega, read by the sampler's drawn
// N-CA-C angles and flexible closure.
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

#include "model/error.h"
#include "model/geometry.h"
#include "model/residue_names.h"
#include "params/backbone_angles.h"
#include "params/chain_geometry.h"
#include "params/commands.h"
#include "params/table_io.h"
#include "params/torsion_bins.h"

namespace lorvane::params {

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
    out << "NCAC_BINS " << NCAC_BINS << " " << formatFixed(NCAC_LO, 1) << " " << formatFixed(NCAC_WIDTH, 1) << "\n";
    for (int t = 0; t < 20; ++t) {
        if (c.ncac[t].w <= 0) fail("backbone-angles: no coil residue of type " + threeLetter(t) + " in the training set");
        out << "NCAC " << threeLetter(t).c_str() << " " << formatFixed(c.ncac[t].w, 1) << " " << formatFixed(c.ncac[t].mean(), 3) << " "
            << formatFixed(c.ncac[t].sd(), 3);
        for (int b = 0; b < NCAC_BINS; ++b) out << " " << formatProbability(c.hist[t * NCAC_BINS + b] / c.ncac[t].w);
        out << "\n";
    }
    for (int t = 0; t < 20; ++t) {
        if (c.omega[t].w <= 0) fail("backbone-angles: no trans peptide bond before type " + threeLetter(t));
        out << "OMEGA " << threeLetter(t).c_str() << " " << formatFixed(c.omega[t].w, 1) << " " << formatFixed(c.omega[t].mean(), 3) << " "
            << formatFixed(c.omega[t].sd(), 3) << " " << formatProbability(c.cisW[t] / c.allW[t]) << "\n";
    }
    return out.str();
}

void cmdBackboneAngles(const std::vector<std::string>& args, Session& session) {
    const Options o = parseOptions(args, "backbone-angles");
    const TrainingSet& ts = session.trainingSet(o);
    const BackboneAngleCounts c = collectBackboneAngles(ts, PhipsiParams().maxBackboneB);
    const std::string path = outPath(o.out, "backbone_angles.txt");
    writeTextFile(path, formatBackboneAngles(c));
    std::cout << "backbone-angles: " << c.used << " coil N-CA-C angles (" << c.outside << " outside " << NCAC_LO << "-"
              << NCAC_LO + NCAC_BINS * NCAC_WIDTH << " left out), " << c.trans << " trans and " << c.cis << " cis peptide bonds; wrote "
              << path << std::endl;
    for (int t = 0; t < 20; ++t) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "  %s N-CA-C %.2f +- %.2f, omega %.2f +- %.2f, cis %.4f\n", threeLetter(t).c_str(), c.ncac[t].mean(),
                      c.ncac[t].sd(), c.omega[t].mean(), c.omega[t].sd(), c.allW[t] > 0 ? c.cisW[t] / c.allW[t] : 0.0);
        std::cout << buf;
    }
}

}  // namespace lorvane::params
