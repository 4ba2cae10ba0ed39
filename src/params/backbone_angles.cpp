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
#include "params/commands.h"
#include "params/params_a.h"
#include "params/params_a_util.h"

namespace paramsa {

namespace {

constexpr int NCAC_BINS = 50;
constexpr double NCAC_LO = 100.0, NCAC_WIDTH = 0.5;

const char* const kName3[20] = {"ALA", "CYS", "ASP", "GLU", "PHE", "GLY", "HIS", "ILE", "LYS", "LEU",
                                "MET", "ASN", "PRO", "GLN", "ARG", "SER", "THR", "VAL", "TRP", "TYR"};

struct Moments {
    double w = 0, s = 0, s2 = 0;
    void add(double x, double weight) { w += weight, s += weight * x, s2 += weight * x * x; }
    double mean() const { return w > 0 ? s / w : 0.0; }
    double sd() const { return w > 0 ? std::sqrt(std::max(0.0, s2 / w - mean() * mean())) : 0.0; }
};

bool lowB(const TrainResidue& r, double maxB) { return std::max({r.bfactor[0], r.bfactor[1], r.bfactor[2]}) <= maxB; }

int cmdBackboneAngles(const std::vector<std::string>& args) {
    const ParamsOptions o = parseParamsOptions(args, "backbone-angles");
    const TrainingSet& ts = trainingSetFor(o);
    const double maxB = PhipsiParams().maxBackboneB;
    std::vector<double> hist(20 * NCAC_BINS, 0.0);
    std::vector<Moments> ncac(20), omega(20);
    std::vector<double> cisW(20, 0.0), allW(20, 0.0);
    long used = 0, outside = 0, trans = 0, cis = 0;
    for (const TrainChain& ch : ts.chains) {
        const auto& R = ch.residues;
        for (size_t i = 0; i < R.size(); ++i) {
            const TrainResidue& r = R[i];
            if (r.type < 0 || r.type >= 20 || r.ss != 'C' || !lowB(r, maxB)) continue;
            if (r.has(0) && r.has(1) && r.has(2)) {
                const double a = angle(r.atoms[0], r.atoms[1], r.atoms[2]);
                const int b = static_cast<int>(std::floor((a - NCAC_LO) / NCAC_WIDTH));
                if (std::isfinite(a) && b >= 0 && b < NCAC_BINS) {
                    hist[r.type * NCAC_BINS + b] += ch.weight;
                    ncac[r.type].add(a, ch.weight);
                    ++used;
                } else {
                    ++outside;
                }
            }
            double om;
            if (i + 1 < R.size() && R[i + 1].ss == 'C' && lowB(R[i + 1], maxB) && R[i + 1].type >= 0 && R[i + 1].type < 20 &&
                omegaAfter(ch, i, om)) {
                const int t = R[i + 1].type;
                allW[t] += ch.weight;
                if (std::fabs(om) > 90.0) {
                    omega[t].add(om < 0 ? om + 360.0 : om, ch.weight);
                    ++trans;
                } else {
                    cisW[t] += ch.weight;
                    ++cis;
                }
            }
        }
    }
    std::ostringstream out;
    out << "# Backbone angles of coil residues (DSSP class C) of the training set, derived by\n"
        << "# lorvane-params backbone-angles; see docs/parameters.md.\n"
        << "# NCAC_BINS count first_edge width (degrees)\n"
        << "# NCAC type weight mean sd p[0] .. p[count-1]   (N-CA-C angle; p sums to 1)\n"
        << "# OMEGA type weight mean sd cis_fraction        (trans peptide bond before the type, 0..360 degrees)\n";
    out << "NCAC_BINS " << NCAC_BINS << " " << fmtFixed(NCAC_LO, 1) << " " << fmtFixed(NCAC_WIDTH, 1) << "\n";
    for (int t = 0; t < 20; ++t) {
        if (ncac[t].w <= 0) fatal("backbone-angles: no coil residue of type " + std::string(kName3[t]) + " in the training set");
        out << "NCAC " << kName3[t] << " " << fmtFixed(ncac[t].w, 1) << " " << fmtFixed(ncac[t].mean(), 3) << " "
            << fmtFixed(ncac[t].sd(), 3);
        for (int b = 0; b < NCAC_BINS; ++b) out << " " << fmtProb(hist[t * NCAC_BINS + b] / ncac[t].w);
        out << "\n";
    }
    for (int t = 0; t < 20; ++t) {
        if (omega[t].w <= 0) fatal("backbone-angles: no trans peptide bond before type " + std::string(kName3[t]));
        out << "OMEGA " << kName3[t] << " " << fmtFixed(omega[t].w, 1) << " " << fmtFixed(omega[t].mean(), 3) << " "
            << fmtFixed(omega[t].sd(), 3) << " " << fmtProb(cisW[t] / allW[t]) << "\n";
    }
    const std::string path = outPath(o.out, "backbone_angles.txt");
    writeTable(path, out.str());
    std::cout << "backbone-angles: " << used << " coil N-CA-C angles (" << outside << " outside " << NCAC_LO << "-"
              << NCAC_LO + NCAC_BINS * NCAC_WIDTH << " left out), " << trans << " trans and " << cis << " cis peptide bonds; wrote "
              << path << std::endl;
    for (int t = 0; t < 20; ++t) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "  %s N-CA-C %.2f +- %.2f, omega %.2f +- %.2f, cis %.4f\n", kName3[t], ncac[t].mean(), ncac[t].sd(),
                      omega[t].mean(), omega[t].sd(), cisW[t] / allW[t]);
        std::cout << buf;
    }
    return 0;
}

}  // namespace

LORVANE_PARAMS_COMMAND("backbone-angles", "N-CA-C angle and peptide torsion per residue type backbone_angles.txt", cmdBackboneAngles, 40);

}  // namespace paramsa
