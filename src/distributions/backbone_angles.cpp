#include "distributions/backbone_angles.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "model/error.h"
#include "model/residue_names.h"

namespace lorvane {

namespace {

int typeOf(const std::string& name3) {
    const int t = residueType(name3);
    return t >= 0 && t < 20 && name3.size() == 3 ? t : -1;
}

}  // namespace

void loadBackboneAngles(const std::string& path, BackboneAngleTable& table) {
    std::ifstream in(path);
    if (!in) fail("cannot open the backbone angle file " + path);
    BackboneAngleTable t;
    int bins = 0, lineNo = 0;
    std::array<bool, 20> seenN{}, seenO{};
    std::string line;
    auto bad = [&](const std::string& what) { fail(path + " line " + std::to_string(lineNo) + ": " + what); };
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ss(line);
        std::string key, name;
        ss >> key;
        if (key == "NCAC_BINS") {
            if (!(ss >> bins >> t.lo >> t.width) || bins < 1 || !(t.width > 0.0)) bad("bad NCAC_BINS row");
            continue;
        }
        if (key != "NCAC" && key != "OMEGA") bad("unknown row \"" + key + "\"");
        ss >> name;
        const int type = typeOf(name);
        if (type < 0) bad("unknown residue type \"" + name + "\"");
        double w = 0, mean = 0, sd = 0;
        if (!(ss >> w >> mean >> sd)) bad("short " + key + " row");
        if (key == "NCAC") {
            if (bins < 1) bad("NCAC row before NCAC_BINS");
            std::vector<double> cdf(bins);
            double sum = 0;
            for (int b = 0; b < bins; ++b) {
                double p;
                if (!(ss >> p) || p < 0.0) bad("NCAC row of " + name + " needs " + std::to_string(bins) + " probabilities");
                sum += p;
                cdf[b] = sum;
            }
            if (std::fabs(sum - 1.0) > 1e-3) bad("N-CA-C probabilities of " + name + " sum to " + std::to_string(sum));
            for (double& c : cdf) c /= sum;
            t.ncacCdf[type] = cdf;
            t.ncacMean[type] = mean;
            t.ncacSd[type] = sd;
            seenN[type] = true;
        } else {
            double cis;
            if (!(ss >> cis)) bad("short OMEGA row");
            t.omegaMean[type] = mean;
            t.omegaSd[type] = sd;
            t.cisFraction[type] = cis;
            seenO[type] = true;
        }
    }
    for (int type = 0; type < 20; ++type)
        if (!seenN[type] || !seenO[type])
            fail(path + ": no " + std::string(!seenN[type] ? "NCAC" : "OMEGA") + " row for " + threeLetter(type));
    t.loaded = true;
    table = t;
}

double ncacQuantile(const BackboneAngleTable& table, int type, double u) {
    if (!table.loaded || type < 0 || type >= 20) fail("backbone angles: no table for residue type " + std::to_string(type));
    const std::vector<double>& cdf = table.ncacCdf[type];
    u = std::clamp(u, 0.0, 1.0);
    const int b = static_cast<int>(std::lower_bound(cdf.begin(), cdf.end(), u) - cdf.begin());
    const int bin = std::min(b, static_cast<int>(cdf.size()) - 1);
    const double below = bin == 0 ? 0.0 : cdf[bin - 1];
    const double mass = cdf[bin] - below;
    const double frac = mass > 0.0 ? (u - below) / mass : 0.5;
    return table.lo + table.width * (bin + std::clamp(frac, 0.0, 1.0));
}

}  // namespace lorvane
