#include "distributions/backbone_angles.h"

#include <algorithm>
#include <cmath>

#include "model/error.h"
#include "model/residue_names.h"
#include "model/table_text.h"

namespace lorvane {

namespace {

int typeOf(const std::string& name3) {
    const int t = residueType(name3);
    return t >= 0 && t < 20 && name3.size() == 3 ? t : -1;
}

}  // namespace

void loadBackboneAngles(const std::string& path, BackboneAngleTable& table) {
    TableText in = TableText::read(path, "the backbone angle file");
    parseBackboneAngles(in, table);
}

void parseBackboneAngles(TableText& in, BackboneAngleTable& table) {
    BackboneAngleTable t;
    int bins = 0;
    std::array<bool, 20> seenN{}, seenO{};
    std::string_view line;
    while (in.next(line)) {
        const std::vector<std::string_view>& f = in.fields(line);
        if (f.empty() || f[0].front() == '#') continue;
        const std::string key(f[0]);
        if (key == "NCAC_BINS") {
            in.expectFields(f, 4, "NCAC_BINS row (count, first edge, width)");
            if (bins > 0) in.fail("second NCAC_BINS row");
            bins = in.integer(f[1], 1, 10000, "N-CA-C bin count");
            t.lo = in.number(f[2]);
            t.width = in.number(f[3]);
            if (!(t.width > 0.0)) in.fail("N-CA-C bin width must be positive, got " + quoted(f[3]));
            continue;
        }
        if (key != "NCAC" && key != "OMEGA") in.fail("unknown row \"" + key + "\"");
        if (f.size() < 5) in.fail("short " + key + " row");
        const std::string name(f[1]);
        const int type = typeOf(name);
        if (type < 0) in.fail("unknown residue type \"" + name + "\"");
        const double mean = in.number(f[3]), sd = in.number(f[4]);
        in.number(f[2]);  // the weight: checked, not used
        if (key == "NCAC") {
            if (bins < 1) in.fail("NCAC row before NCAC_BINS");
            if (f.size() != static_cast<size_t>(5 + bins)) in.fail("NCAC row of " + name + " needs " + std::to_string(bins) + " probabilities");
            if (seenN[type]) in.fail("second NCAC row for " + name);
            std::vector<double> cdf(bins);
            double sum = 0;
            for (int b = 0; b < bins; ++b) {
                const double p = in.number(f[5 + b]);
                if (p < 0.0) in.fail("negative N-CA-C probability of " + name);
                sum += p;
                cdf[b] = sum;
            }
            if (std::fabs(sum - 1.0) > 1e-3) in.fail("N-CA-C probabilities of " + name + " sum to " + std::to_string(sum));
            for (double& c : cdf) c /= sum;
            t.ncacCdf[type] = cdf;
            t.ncacMean[type] = mean;
            t.ncacSd[type] = sd;
            seenN[type] = true;
        } else {
            in.expectFields(f, 6, "OMEGA row (type, weight, mean, sd, cis fraction)");
            if (seenO[type]) in.fail("second OMEGA row for " + name);
            if (sd < 0.0) in.fail("OMEGA sd of " + name + " must not be negative");
            t.omegaMean[type] = mean;
            t.omegaSd[type] = sd;
            t.cisFraction[type] = in.number(f[5]);
            seenO[type] = true;
        }
    }
    for (int type = 0; type < 20; ++type)
        if (!seenN[type] || !seenO[type])
            in.failFile("no " + std::string(!seenN[type] ? "NCAC" : "OMEGA") + " row for " + threeLetter(type));
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
