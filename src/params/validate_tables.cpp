// Validation of the derived torsion-bin, distance and rotamer tables on the
// benchmark loops (measurement only: nothing here feeds back into a table).
// The tables are read with the program's own loaders and queried with the
// sampler's own lookup rules, on the native coordinates:
//   - torsion bins: share of loop residues whose (phi, psi) bin has class-C
//     probability >= 2e-5;
//   - distances: share of loops whose every step of the alternating growth
//     plan passes the marginal and conditional tests, and the far-side check
//     (opposite direction, gap g - 1) from gap 4 on;
//   - rotamers: share of side chains within 40 degrees on every chi of some
//     library rotamer;
//   - agreement of the class-C tables with the Top8000 contour grids.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>

#include "distributions/distributions.h"
#include "model/error.h"
#include "model/pdb_reader.h"
#include "model/residue.h"
#include "model/strings.h"
#include "model/structure.h"
#include "params/benchmark_loops.h"
#include "params/chain_geometry.h"
#include "params/commands.h"
#include "params/rotamer_library.h"
#include "params/table_io.h"
#include "potentials/potentials.h"

namespace lorvane::params {

namespace {

int positionOf(const Structure& s, int pdbNum) {
    for (int i = 1; i <= s._numRes; ++i)
        if (s[i].pdbNum == pdbNum) return i;
    return -1;
}

bool has(const Residue& r, int slot) { return r.atoms[slot].type != ABSENT; }

// All chi angles of a residue from its coordinates; false when an atom is missing.
bool residueChis(const Templates& tm, const Residue& r, double chi[5]) {
    Point at[TRAIN_SLOTS];
    uint16_t present = 0;
    for (int j = 0; j < TRAIN_SLOTS; ++j)
        if (has(r, j)) {
            at[j] = Point(r.atoms[j].x, r.atoms[j].y, r.atoms[j].z);
            present |= static_cast<uint16_t>(1u << j);
        }
    return chiAngles(tm, r.type, at, present, chi) == numChis(r.type);
}

std::string pct(double num, double den) {
    char b[32];
    std::snprintf(b, sizeof b, "%.2f %%", den > 0 ? 100.0 * num / den : 0.0);
    return b;
}

// One growth step's distance tests on native atoms; returns "" when it
// passes, else the name of the first failed test (MD1 ... CD3).
const char* stepTest(const Distributions& dist, bool backward, int g, double d0, double d1, double d2) {
    double p;
    if (!marginalProb(dist, backward, g, d1, d2, p)) return "MD1";
    if (p < MIN_DIST_PROB) return "MD2";
    const int r0 = endDistanceRow(d0);
    if (condRowDegenerate(dist, backward, g, r0)) return "CD1";
    if (!condProb(dist, backward, g, r0, d1 - d0, d2 - d0, p)) return "CD2";
    if (p < MIN_DIST_PROB) return "CD3";
    return "";
}

// Far-side check: the far residue's native next atoms seen from the new end,
// in the opposite direction's tables at gap g - 1. A degenerate row waives it.
const char* farTest(const Distributions& dist, bool backward, int g, double D, double e1, double e2) {
    const bool opp = !backward;
    const int r1 = endDistanceRow(D);
    if (condRowDegenerate(dist, opp, g - 1, r1)) return "";
    double p;
    if (!marginalProb(dist, opp, g - 1, e1, e2, p) || p <= MIN_DIST_PROB) return "FM";
    if (!condProb(dist, opp, g - 1, r1, e1 - D, e2 - D, p) || p <= MIN_DIST_PROB) return "FC";
    return "";
}

// Top8000 grid averaged into our 5-degree bins.
bool readTop8000(const std::string& path, std::vector<double>& grid) {
    std::ifstream in(path);
    if (!in) return false;
    grid.assign(NUM_BINS * NUM_BINS, 0.0);
    std::vector<int> n(NUM_BINS * NUM_BINS, 0);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ls(line);
        double phi, psi, v;
        if (!(ls >> phi >> psi >> v)) continue;
        const int k = torsionBin(phi) * NUM_BINS + torsionBin(psi);
        grid[k] += v;
        n[k]++;
    }
    for (int k = 0; k < NUM_BINS * NUM_BINS; ++k)
        if (n[k]) grid[k] /= n[k];
    return true;
}

// What is measured: the derived tables read through the program's loaders,
// the rotamers as the loader resolved them.
struct LoadedTables {
    const Templates& tm;
    Distributions dist;
    RotamerLibrary lib;
};

void loadTables(const Options& o, LoadedTables& t) {
    const std::string tors = outPath(o.out, "phipsi.bb.txt"), rot = outPath(o.out, "newsimplRot.txt");
    for (const std::string& f : {tors, rot, outPath(o.out, "joint.distance.txt"), outPath(o.out, "joint.distance.backward.txt"),
                                 outPath(o.out, "joint.distance.conditional.txt"), outPath(o.out, "joint.distance.conditional.backward.txt")})
        if (!FileExists(f)) fail("lorvane-params validate: table " + f + " is missing (run lorvane-params derive first)");
    loadTorsionBins(t.dist, tors);
    loadJointMarginal(t.dist, outPath(o.out, "joint.distance.txt"), false);
    loadJointMarginal(t.dist, outPath(o.out, "joint.distance.backward.txt"), true);
    loadJointCond(t.dist, outPath(o.out, "joint.distance.conditional.txt"), false);
    loadJointCond(t.dist, outPath(o.out, "joint.distance.conditional.backward.txt"), true);
    Potentials pot;
    loadRotamers(pot, rot);
    for (int type = 0; type < NUM_AMINO_ACIDS; ++type)
        for (int k = 0; k < pot.rotamers.count[type]; ++k) {
            Rotamer r;
            for (int m = 0; m < NUM_CHI[type] && m < 4; ++m) r.chi[m] = pot.rotamers.resolved[type][k][m] * RAD2DEG;
            t.lib.rot[type].push_back(r);
        }
}

struct LoopMeasures {
    long ramaTotal = 0, ramaOk = 0;
    long ramaFailByType[20] = {};
    long loopsTotal = 0, loopsOk = 0, loopsOkFar = 0, steps = 0, stepsOk = 0, farSteps = 0, farOk = 0;
    std::map<std::string, long> failKind;
    std::map<int, std::pair<long, long>> byLength;  // length -> (loops, passing incl. far side)
    long scLoopTotal = 0, scLoopOk = 0;
    long noLoop = 0;
};

// Distance tests of the loop a..b along the alternating growth plan; true
// when every step passes (farOk: and every far-side check).
bool distanceTests(const Distributions& dist, const Structure& s, int a, int b, LoopMeasures& m, bool& farOk) {
    const int n = b - a;
    bool ok = true;
    farOk = true;
    for (int i = 0; i <= n - 3; ++i) {
        const bool backward = i % 2 == 1;
        const int pos = backward ? b - (i - 1) / 2 : a + i / 2;
        const int rpos = backward ? a + (i + 1) / 2 : b - i / 2;
        const int g = n - i;
        const Residue &P = s[pos], &F = s[rpos];
        const Residue& next = s[backward ? pos - 1 : pos + 1];
        const Point& far = F.atoms[1];
        const double d0 = P.atoms[1].dis(far);
        const double d1 = (backward ? P.atoms[0] : P.atoms[2]).dis(far);
        const double d2 = next.atoms[1].dis(far);
        ++m.steps;
        const char* why = stepTest(dist, backward, g, d0, d1, d2);
        if (*why) {
            ok = false;
            m.failKind[why]++;
        } else {
            ++m.stepsOk;
        }
        if (g >= 4) {
            const Point& end = next.atoms[1];
            const double D = far.dis(end);
            const Point& f1 = backward ? F.atoms[2] : F.atoms[0];
            const Point& f2 = s[backward ? rpos + 1 : rpos - 1].atoms[1];
            ++m.farSteps;
            const char* fw = farTest(dist, backward, g, D, f1.dis(end), f2.dis(end));
            if (*fw) {
                farOk = false;
                m.failKind[fw]++;
            } else {
                ++m.farOk;
            }
        }
    }
    return ok;
}

// Torsion bins, side chains and distance tests of the loop residues a..b.
void measureLoop(const LoadedTables& t, const Structure& s, int a, int b, int length, LoopMeasures& m) {
    for (int p = a; p <= b; ++p) {
        const Residue& r = s[p];
        if (r.phi > 900 || r.psi > 900) continue;
        ++m.ramaTotal;
        if (t.dist.torsionBins[r.type][SS_COIL][torsionBin(r.phi)][torsionBin(r.psi)] >= MIN_TORSION_PROB) ++m.ramaOk;
        else ++m.ramaFailByType[r.type];
    }
    for (int p = a; p <= b; ++p) {
        const Residue& r = s[p];
        if (numChis(r.type) == 0) continue;
        double chi[5];
        if (!residueChis(t.tm, r, chi)) continue;
        ++m.scLoopTotal;
        if (rotamerCovered(t.lib, r.type, chi, 40.0)) ++m.scLoopOk;
    }
    bool okFar = true;
    const bool ok = distanceTests(t.dist, s, a, b, m, okFar);
    ++m.loopsTotal;
    if (ok) ++m.loopsOk;
    if (ok && okFar) ++m.loopsOkFar;
    auto& bl = m.byLength[length];
    bl.first++;
    if (ok && okFar) bl.second++;
}

struct SideChainCoverage {
    long total = 0, ok = 0;
    long typeTotal[20] = {}, typeOk[20] = {};
};

// Side chains of the whole benchmark proteins.
SideChainCoverage proteinSideChains(const Options& o, const std::vector<BenchmarkLoop>& loops, const LoadedTables& t, Structure& s) {
    SideChainCoverage c;
    std::vector<std::string> files;
    for (const BenchmarkLoop& l : loops)
        if (std::find(files.begin(), files.end(), l.file) == files.end()) files.push_back(l.file);
    for (const std::string& f : files) {
        if (!readPdb(t.tm, o.bench + "/" + f, s)) continue;
        for (int p = 1; p <= s._numRes; ++p) {
            const Residue& r = s[p];
            if (r.type < 0 || r.type >= 20 || numChis(r.type) == 0) continue;
            double chi[5];
            if (!residueChis(t.tm, r, chi)) continue;
            ++c.total;
            ++c.typeTotal[r.type];
            if (rotamerCovered(t.lib, r.type, chi, 40.0)) ++c.ok, ++c.typeOk[r.type];
        }
    }
    return c;
}

// Agreement of the class-C tables with the Top8000 Ramachandran grids: rows of the report's table.
std::string top8000Rows(const Options& o, const Distributions& dist) {
    struct RefCmp {
        const char* name;
        const char* file;
        std::vector<int> types;
    };
    std::vector<RefCmp> refs = {{"general (no G, P, I, V; pre-Pro included here)", "rama8000-general-noGPIVpreP.data",
                                 {ALA, CYS, ASP, GLU, PHE, HIS, LYS, LEU, MET, ASN, GLN, ARG, SER, THR, TRP, TYR}},
                                {"glycine", "rama8000-gly-sym.data", {GLY}},
                                {"trans-proline", "rama8000-transpro.data", {PRO}},
                                {"Ile/Val", "rama8000-ileval-nopreP.data", {ILE, VAL}}};
    std::ostringstream top;
    for (const RefCmp& rc : refs) {
        std::vector<double> grid;
        if (!readTop8000(o.reference + "/Top8000_ramachandran_pct_contour_grids/" + rc.file, grid)) {
            top << "| " << rc.name << " | reference grid not found | | | |\n";
            continue;
        }
        std::vector<double> ours(NUM_BINS * NUM_BINS, 0.0);
        for (int t : rc.types)
            for (int k = 0; k < NUM_BINS * NUM_BINS; ++k) ours[k] += dist.torsionBins[t][SS_COIL][k / NUM_BINS][k % NUM_BINS] / rc.types.size();
        double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
        long n = 0, allowed = 0, allowedOk = 0, favoured = 0, favouredOk = 0;
        for (int k = 0; k < NUM_BINS * NUM_BINS; ++k) {
            if (grid[k] >= 0.0005) {
                ++allowed;
                if (ours[k] >= MIN_TORSION_PROB) ++allowedOk;
                const double x = std::log(grid[k]), y = std::log(std::max(ours[k], 1e-12));
                sx += x, sy += y, sxx += x * x, syy += y * y, sxy += x * y, ++n;
            }
            if (grid[k] >= 0.02) {
                ++favoured;
                if (ours[k] >= MIN_TORSION_PROB) ++favouredOk;
            }
        }
        const double cov = sxy / n - (sx / n) * (sy / n);
        const double corr = cov / std::sqrt((sxx / n - (sx / n) * (sx / n)) * (syy / n - (sy / n) * (sy / n)));
        char buf[256];
        std::snprintf(buf, sizeof buf, "| %s | %.3f | %ld | %s | %s |\n", rc.name, corr, n, pct(favouredOk, favoured).c_str(),
                      pct(allowedOk, allowed).c_str());
        top << buf;
    }

    return top.str();
}

// Top8000 rotamers (frequency >= 1 %) that some library rotamer matches within 40 degrees.
struct RotamerMatch {
    long total = 0, ok = 0;
    std::string missing;
};

RotamerMatch top8000Rotamers(const Options& o, const RotamerLibrary& lib) {
    RotamerMatch m;
    for (int t = 0; t < 20; ++t) {
        const int nchi = std::min(4, numChis(t));
        if (nchi == 0) continue;
        std::ifstream in(o.reference + "/Top8000_rotamer_central_values/" + THREE_LETTER[t] + ".csv");
        std::string line;
        std::vector<std::string> head;
        while (std::getline(in, line)) {
            std::vector<std::string> f = split(line, ",", true);
            if (head.empty()) {
                head = f;
                continue;
            }
            auto col = [&](const std::string& h) {
                for (size_t i = 0; i < head.size(); ++i)
                    if (head[i] == h && i < f.size()) return static_cast<int>(i);
                return -1;
            };
            const int fc = col("frequency%");
            if (fc < 0 || toDouble(f[fc]) < 1.0) continue;
            double chi[4];
            bool ok = true;
            for (int m = 0; m < nchi; ++m) {
                const int c = col("chi" + std::to_string(m + 1) + "_mean");
                if (c < 0 || f[c].empty()) ok = false;
                else chi[m] = toDouble(f[c]);
            }
            if (!ok) continue;
            ++m.total;
            if (rotamerCovered(lib, t, chi, 40.0)) ++m.ok;
            else m.missing += " " + std::string(THREE_LETTER[t]) + " " + f[1] + ";";
        }
    }
    return m;
}

std::string report(const Options& o, const LoopMeasures& m, const SideChainCoverage& sc, const std::string& top, const RotamerMatch& rm) {
    std::ostringstream rep;
    rep << "# Validation of the torsion-bin, distance and rotamer tables\n\n"
        << "Generated by `lorvane-params validate` from the tables in `" << o.out << "/` on the benchmark loops of `" << o.bench
        << "` (measurement only; no table is tuned on these loops). Tables are read with the program's loaders and queried with "
           "the sampler's lookup rules on native coordinates.\n\n";
    if (m.noLoop) rep << m.noLoop << " loop(s) could not be located in their structure file and were skipped.\n\n";
    rep << "| measure | value | target |\n|---|---|---|\n";
    rep << "| loop residues whose (phi, psi) bin has class-C probability >= 2e-5 | " << pct(m.ramaOk, m.ramaTotal) << " (" << m.ramaOk << " of "
        << m.ramaTotal << ") | >= 99 % |\n";
    rep << "| loops passing every marginal and conditional distance test of the alternating plan | " << pct(m.loopsOk, m.loopsTotal) << " ("
        << m.loopsOk << " of " << m.loopsTotal << ") | >= 97 % |\n";
    rep << "| ... and also the far-side check (gap >= 4) | " << pct(m.loopsOkFar, m.loopsTotal) << " (" << m.loopsOkFar << " of " << m.loopsTotal
        << ") | |\n";
    rep << "| growth steps passing the distance tests | " << pct(m.stepsOk, m.steps) << " (" << m.stepsOk << " of " << m.steps << ") | |\n";
    rep << "| far-side checks passing | " << pct(m.farOk, m.farSteps) << " (" << m.farOk << " of " << m.farSteps << ") | |\n";
    rep << "| loop side chains within 40 deg of a rotamer on every chi | " << pct(m.scLoopOk, m.scLoopTotal) << " (" << m.scLoopOk << " of "
        << m.scLoopTotal << ") | >= 90 % |\n";
    rep << "| all side chains of the benchmark proteins within 40 deg | " << pct(sc.ok, sc.total) << " (" << sc.ok << " of "
        << sc.total << ") | >= 90 % |\n\n";
    rep << "Failed distance tests by kind (MD1/MD2 marginal range/probability, CD1 degenerate conditional row, CD2/CD3 "
           "conditional range/probability, FM/FC far-side marginal/conditional):";
    if (m.failKind.empty()) rep << " none";
    for (const auto& [k, v] : m.failKind) rep << " " << k << " " << v << ";";
    rep << "\n\nLoops passing all distance tests including the far-side check, by loop length:";
    for (const auto& [len, v] : m.byLength) rep << " " << len << ": " << v.second << "/" << v.first << ";";
    rep << "\n\nTorsion-bin misses by residue type:";
    bool anyMiss = false;
    for (int t = 0; t < 20; ++t)
        if (m.ramaFailByType[t]) rep << " " << oneLetter(t) << " " << m.ramaFailByType[t] << ";", anyMiss = true;
    if (!anyMiss) rep << " none";
    rep << "\n\nRotamer coverage of all benchmark side chains by type (within 40 deg):";
    for (int t = 0; t < 20; ++t)
        if (sc.typeTotal[t]) rep << " " << oneLetter(t) << " " << pct(sc.typeOk[t], sc.typeTotal[t]) << ";";
    rep << "\n\n## Agreement with the Top8000 Ramachandran grids (sanity check)\n\n"
        << "Class-C tables (averaged over the listed types) against the Top8000 contour grids averaged into 5-degree bins. "
           "Correlation of log densities over the cells inside the Top8000 'allowed' contour (grid value >= 0.0005); "
           "share of 'favoured' (>= 0.02) and 'allowed' cells that our table keeps possible (>= 2e-5).\n\n"
        << "| reference | log-density correlation | cells | favoured cells possible | allowed cells possible |\n|---|---|---|---|---|\n"
        << top
        << "\nTop8000 rotamers with frequency >= 1 % matched by a library rotamer within 40 degrees on every chi: "
        << rm.ok << " of " << rm.total << (rm.missing.empty() ? "" : "; unmatched:" + rm.missing) << "\n";
    return rep.str();
}

}  // namespace

void cmdValidate(const std::vector<std::string>& args, Session& session) {
    const Options o = parseOptions(args, "validate");
    const std::unique_ptr<LoadedTables> tables(new LoadedTables{session.templates(o.templates), {}, {}});
    loadTables(o, *tables);
    const std::vector<BenchmarkLoop> loops = readBenchmarkLoops(o.bench);
    auto sp = std::make_unique<Structure>(MAX_RESIDUES);
    Structure& s = *sp;
    std::string loaded;
    LoopMeasures m;
    for (const BenchmarkLoop& l : loops) {
        const std::string path = o.bench + "/" + l.file;
        if (path != loaded) {
            if (!FileExists(path)) fail("lorvane-params validate: benchmark structure " + path + " is missing");
            if (!readPdb(tables->tm, path, s)) fail("lorvane-params validate: cannot read benchmark structure " + path);
            loaded = path;
        }
        const int a = positionOf(s, l.start), b = positionOf(s, l.end);
        if (a < 2 || b < 0 || b >= s._numRes || b - a + 1 != l.length) {
            ++m.noLoop;
            continue;
        }
        measureLoop(*tables, s, a, b, l.length, m);
    }
    const SideChainCoverage sc = proteinSideChains(o, loops, *tables, s);
    const std::string rep = report(o, m, sc, top8000Rows(o, tables->dist), top8000Rotamers(o, tables->lib));
    std::cout << rep;
    if (!o.report.empty()) writeTextFile(o.report, rep);
}

}  // namespace lorvane::params
