#include "params/commands.h"

#include <omp.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "model/error.h"
#include "params/options.h"

namespace lorvane::params {

const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        {"backbone-angles", "N-CA-C angle and peptide torsion per residue type backbone_angles.txt", cmdBackboneAngles, 0},
        {"distances", "joint distance distributions joint.distance*.txt (four files)", cmdDistances, 20},
        {"fittede", "decoy pair table fittedE.txt (compare mode -dumpdis)", cmdFittedE, 20},
        {"loop-set", "a table of training loops for measuring sampling choices (--out DIR --count N --length L)", cmdLoopSet, 0},
        {"ncac-phipsi", "N-CA-C angle by residue type and (phi, psi) cell ncac_phipsi.txt", cmdNcacPhipsi, 0},
        {"oscar", "OSCAR side-chain torsion and pair coefficients oscarparams.txt", cmdOscar, 11},
        {"pairs", "DFIRE, sampling pair table and QUENDA loop potential", cmdPairs, 10},
        {"phipsi", "backbone torsion-bin table phipsi.bb.txt", cmdPhipsi, 10},
        {"phipsi-cv", "cross-validation of the torsion-bin smoothing on the training set", cmdPhipsiCv, 0},
        {"phipsi-nb", "neighbour-dependent torsion-bin table phipsi.nb.txt.gz", cmdPhipsiNb, 0},
        {"phipsi-nb-cv", "cross-validation of the neighbour-dependent torsion bins on the training set", cmdPhipsiNbCv, 0},
        {"phipsi-nc", "conformation-dependent torsion-bin table phipsi.nc.txt.gz", cmdPhipsiNc, 0},
        {"phipsi-nc-cv", "cross-validation of the conformation-dependent torsion bins on the training set", cmdPhipsiNcCv, 0},
        {"quenda", "QUENDA loop potential from native loops against their decoys (--holdout: held-out check)", cmdQuenda, 0},
        {"ranking-weights", "weights of the final ranking from workflow runs on training loops (--runs DIR)", cmdRankingWeights, 0},
        {"rotamers", "rotamer library newsimplRot.txt", cmdRotamers, 30},
        {"validate", "measure the torsion, distance and rotamer tables on the benchmark loops", cmdValidate, 0},
        {"validate-pairs", "native loops against 100 backbone decoys with DFIRE, QUENDA, sampling table, OSCAR", cmdValidatePairs, 0},
    };
    return table;
}

namespace {

void usage() {
    std::cout << "usage: lorvane-params <command> [options]\n\ncommands:\n";
    auto line = [](const std::string& name, const std::string& help) {
        std::cout << "  " << name << std::string(name.size() < 16 ? 16 - name.size() : 1, ' ') << help << "\n";
    };
    line("derive", "run every derivation below marked [derive] in order, with timing");
    for (const Command& c : commands()) line(c.name, std::string(c.help) + (c.deriveOrder > 0 ? "  [derive]" : ""));
    std::cout << "\n" << kCommonOptionsHelp;
}

void derive(const std::vector<std::string>& args) {
    parseOptions(args, "derive");  // reject bad options before any work
    std::vector<Command> steps;
    for (const Command& c : commands())
        if (c.deriveOrder > 0) steps.push_back(c);
    std::stable_sort(steps.begin(), steps.end(), [](const Command& a, const Command& b) { return a.deriveOrder < b.deriveOrder; });
    Session session;
    const double t0 = omp_get_wtime();
    for (const Command& c : steps) {
        const double t = omp_get_wtime();
        std::cout << "== " << c.name << std::endl;
        c.run(args, session);
        char buf[96];
        std::snprintf(buf, sizeof buf, "== %s done in %.1f s", c.name, omp_get_wtime() - t);
        std::cout << buf << std::endl;
    }
    char buf[96];
    std::snprintf(buf, sizeof buf, "derive: total %.1f s", omp_get_wtime() - t0);
    std::cout << buf << std::endl;
}

}  // namespace

int runTool(const std::vector<std::string>& args) {
    if (args.empty()) {
        usage();
        return STATUS_USAGE;
    }
    const std::string& cmd = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (cmd == "-h" || cmd == "--help" || cmd == "help") {
        usage();
        return 0;
    }
    if (cmd == "derive") {
        derive(rest);
        return 0;
    }
    for (const Command& c : commands())
        if (cmd == c.name) {
            Session session;
            c.run(rest, session);
            return 0;
        }
    fail("lorvane-params: unknown command \"" + cmd + "\" (run without arguments for the list)", STATUS_USAGE);
}

}  // namespace lorvane::params
