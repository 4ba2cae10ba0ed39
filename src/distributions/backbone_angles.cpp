#include "distributions/backbone_angles.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "model/errors.h"
#include "model/residue.h"

BackboneAngleTable backboneAngles;

namespace {

int typeOf(const std::string& name3) {
    for (int t = 0; t < 20; ++t)
        if (name3 == Residue::Name3[t]) return t;
    return -1;
}

}  // namespace

void loadBackboneAngles(const std::string& path, BackboneAngleTable& table) {
    std::ifstream in(path);
    if (!in) fatal("cannot open the backbone angle file " + path);
    BackboneAngleTable t;
    int bins = 0, lineNo = 0;
    std::array<bool, 20> seenN{}, seenO{};
    std::string line;
    auto fail = [&](const std::string& what) { fatal(path + " line " + std::to_string(lineNo) + ": " + what); };
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ss(line);
        std::string key, name;
        ss >> key;
        if (key == "NCAC_BINS") {
            if (!(ss >> bins >> t.lo >> t.width) || bins < 1 || !(t.width > 0.0)) fail("bad NCAC_BINS row");
            continue;
        }
        if (key != "NCAC" && key != "OMEGA") fail("unknown row \"" + key + "\"");
        ss >> name;
        const int type = typeOf(name);
        if (type < 0) fail("unknown residue type \"" + name + "\"");
        double w = 0, mean = 0, sd = 0;
        if (!(ss >> w >> mean >> sd)) fail("short " + key + " row");
        if (key == "NCAC") {
            if (bins < 1) fail("NCAC row before NCAC_BINS");
            std::vector<double> cdf(bins);
            double sum = 0;
            for (int b = 0; b < bins; ++b) {
                double p;
                if (!(ss >> p) || p < 0.0) fail("NCAC row of " + name + " needs " + std::to_string(bins) + " probabilities");
                sum += p;
                cdf[b] = sum;
            }
            if (std::fabs(sum - 1.0) > 1e-3) fail("N-CA-C probabilities of " + name + " sum to " + std::to_string(sum));
            for (double& c : cdf) c /= sum;
            t.ncacCdf[type] = cdf;
            t.ncacMean[type] = mean;
            t.ncacSd[type] = sd;
            seenN[type] = true;
        } else {
            double cis;
            if (!(ss >> cis)) fail("short OMEGA row");
            t.omegaMean[type] = mean;
            t.omegaSd[type] = sd;
            t.cisFraction[type] = cis;
            seenO[type] = true;
        }
    }
    for (int type = 0; type < 20; ++type)
        if (!seenN[type] || !seenO[type])
            fatal(path + ": no " + std::string(!seenN[type] ? "NCAC" : "OMEGA") + " row for " + Residue::Name3[type]);
    t.loaded = true;
    table = t;
}

double ncacQuantile(const BackboneAngleTable& table, int type, double u) {
    if (!table.loaded || type < 0 || type >= 20) fatal("backbone angles: no table for residue type " + std::to_string(type));
    const std::vector<double>& cdf = table.ncacCdf[type];
    u = std::clamp(u, 0.0, 1.0);
    const int b = static_cast<int>(std::lower_bound(cdf.begin(), cdf.end(), u) - cdf.begin());
    const int bin = std::min(b, static_cast<int>(cdf.size()) - 1);
    const double below = bin == 0 ? 0.0 : cdf[bin - 1];
    const double mass = cdf[bin] - below;
    const double frac = mass > 0.0 ? (u - below) / mass : 0.5;
    return table.lo + table.width * (bin + std::clamp(frac, 0.0, 1.0));
}
