#include "distributions/ncac_conformation.h"

#include <cmath>

#include "model/error.h"
#include "model/geometry.h"
#include "model/residue_names.h"
#include "model/table_text.h"

namespace lorvane {

namespace {

const char* const GROUP_NAMES[NCAC_GROUPS] = {"GLY", "PRO", "OTHER"};

int groupNamed(const std::string& name) {
    for (int g = 0; g < NCAC_GROUPS; ++g)
        if (name == GROUP_NAMES[g]) return g;
    return -1;
}

}  // namespace

int ncacGroup(int type) { return type == GLY ? 0 : type == PRO ? 1 : 2; }

const char* ncacGroupName(int group) { return GROUP_NAMES[group]; }

void loadNcacConformation(const std::string& path, NcacConformationTable& table) {
    TableText in = TableText::read(path, "the N-CA-C conformation file");
    parseNcacConformation(in, table);
}

void parseNcacConformation(TableText& in, NcacConformationTable& table) {
    NcacConformationTable t;
    std::array<bool, 20> seenMean{};
    std::array<std::vector<char>, NCAC_GROUPS> seenRow;
    std::string_view line;
    while (in.next(line)) {
        const std::vector<std::string_view>& f = in.fields(line);
        if (f.empty() || f[0].front() == '#') continue;
        const std::string key(f[0]);
        if (key == "CELL") {
            in.expectFields(f, 2, "CELL row (width in degrees)");
            if (t.cells > 0) in.fail("second CELL row");
            t.cell = in.number(f[1]);
            const double n = 360.0 / t.cell;
            if (!(t.cell > 0.0) || std::fabs(n - std::round(n)) > 1e-9 || n > 360.0)
                in.fail("cell width must divide 360 degrees, got " + quoted(f[1]));
            t.cells = static_cast<int>(std::round(n));
            for (int g = 0; g < NCAC_GROUPS; ++g) {
                t.offset[g].assign(static_cast<size_t>(t.cells) * t.cells, 0.0);
                seenRow[g].assign(t.cells, 0);
            }
        } else if (key == "MEAN") {
            in.expectFields(f, 3, "MEAN row (type, degrees)");
            const std::string name(f[1]);
            const int type = residueType(name);
            if (type < 0 || type >= 20 || name.size() != 3) in.fail("unknown residue type \"" + name + "\"");
            if (seenMean[type]) in.fail("second MEAN row for " + name);
            t.mean[type] = in.number(f[2]);
            seenMean[type] = true;
        } else if (key == "OFFSET") {
            if (t.cells < 1) in.fail("OFFSET row before CELL");
            if (f.size() != static_cast<size_t>(3 + t.cells)) in.fail("OFFSET row needs group, phi cell and " + std::to_string(t.cells) + " offsets");
            const std::string name(f[1]);
            const int g = groupNamed(name);
            if (g < 0) in.fail("unknown group \"" + name + "\" (GLY, PRO or OTHER)");
            const int row = in.integer(f[2], 0, t.cells - 1, "phi cell");
            if (seenRow[g][row]) in.fail("second OFFSET row for " + name + " cell " + std::to_string(row));
            for (int c = 0; c < t.cells; ++c) t.offset[g][static_cast<size_t>(row) * t.cells + c] = in.number(f[3 + c]);
            seenRow[g][row] = 1;
        } else {
            in.fail("unknown row \"" + key + "\"");
        }
    }
    if (t.cells < 1) in.failFile("no CELL row");
    for (int type = 0; type < 20; ++type)
        if (!seenMean[type]) in.failFile("no MEAN row for " + threeLetter(type));
    for (int g = 0; g < NCAC_GROUPS; ++g)
        for (int row = 0; row < t.cells; ++row)
            if (!seenRow[g][row]) in.failFile("no OFFSET row for " + std::string(GROUP_NAMES[g]) + " cell " + std::to_string(row));
    t.loaded = true;
    for (int type = 0; type < 20; ++type) {
        t.byBin[type].resize(static_cast<size_t>(NUM_BINS) * NUM_BINS);
        for (int a = 0; a < NUM_BINS; ++a)
            for (int b = 0; b < NUM_BINS; ++b)
                t.byBin[type][static_cast<size_t>(NUM_BINS) * a + b] = static_cast<float>(ncacAt(t, type, -180.0 + 5.0 * a, -180.0 + 5.0 * b));
    }
    table = std::move(t);
}

double ncacAt(const NcacConformationTable& table, int type, double phiDeg, double psiDeg) {
    if (!table.loaded || type < 0 || type >= 20) fail("N-CA-C conformation table: no table for residue type " + std::to_string(type));
    if (!std::isfinite(phiDeg) || !std::isfinite(psiDeg)) fail("N-CA-C conformation table: phi or psi is not a number");
    const int n = table.cells;
    // Position in cell-centre units: centre of cell i sits at -180 + (i + 0.5) * cell.
    auto split = [&](double deg, int& i0, double& frac) {
        const double x = (std::remainder(deg, 360.0) + 180.0) / table.cell - 0.5;  // any turn folded first
        const double fl = std::floor(x);
        frac = x - fl;
        i0 = ((static_cast<int>(fl) % n) + n) % n;
    };
    int a0, b0;
    double fa, fb;
    split(phiDeg, a0, fa);
    split(psiDeg, b0, fb);
    const int a1 = (a0 + 1) % n, b1 = (b0 + 1) % n;
    const std::vector<double>& o = table.offset[ncacGroup(type)];
    auto at = [&](int a, int b) { return o[static_cast<size_t>(a) * n + b]; };
    const double off = (1 - fa) * ((1 - fb) * at(a0, b0) + fb * at(a0, b1)) + fa * ((1 - fb) * at(a1, b0) + fb * at(a1, b1));
    return table.mean[type] + off;
}

}  // namespace lorvane
