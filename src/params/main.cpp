// lorvane-params: derives the knowledge-based tables of data/ from the
// training structures. Each derivation registers itself as a subcommand;
// "derive" runs all of them that belong to the pipeline, in their order,
// with one shared command line (and one loading of the training set).
#include <omp.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "model/error.h"
#include "params/commands.h"
#include "params/training_set.h"

namespace {

const char* kCommonOptions =
    "common options:\n"
    "  --train DIR       training structures (*.pdb.gz, *.pdb)   [../shared/structures/train]\n"
    "  --out DIR         folder the tables are written to          [data]\n"
    "  --exclude FILE    PDB ids never used, one per line\n"
    "  --threads N       threads for reading the training set      [2]\n"
    "  --templates FILE  residue templates                         [data/atomProp2.txt]\n"
    "  --bench DIR       benchmark loops (validate only)           [../shared/structures/bench]\n"
    "  --reference DIR   Top8000 grids (validate only)             [../shared/structures/reference/top8000]\n"
    "  --report FILE     validation report (validate only)         [docs/validation-params.md]\n"
    "  --no-dssp         classes from phi/psi instead of mkdssp (tests only)\n"
    "  --cache FILE      binary copy of the loaded training set, reused when still valid (development)\n";

void usage() {
    std::cout << "usage: lorvane-params <command> [options]\n\ncommands:\n";
    std::cout << "  " << "derive" << std::string(14 - 6, ' ') << "run every derivation below marked [derive] in order, with timing\n";
    for (const ParamsCommand& c : paramsCommands()) {
        std::string n = c.name;
        if (n.size() < 14) n += std::string(14 - n.size(), ' ');
        std::cout << "  " << n << c.help << (c.order > 0 ? "  [derive]" : "") << "\n";
    }
    std::cout << "\n" << kCommonOptions;
}

int derive(const std::vector<std::string>& args) {
    parseParamsOptions(args, "derive");  // reject bad options before any work
    std::vector<ParamsCommand> steps;
    for (const ParamsCommand& c : paramsCommands())
        if (c.order > 0) steps.push_back(c);
    std::stable_sort(steps.begin(), steps.end(), [](const ParamsCommand& a, const ParamsCommand& b) { return a.order < b.order; });
    if (steps.empty()) {
        std::cout << "lorvane-params derive: no derivation is built in" << std::endl;
        return 1;
    }
    const double t0 = omp_get_wtime();
    for (const ParamsCommand& c : steps) {
        const double t = omp_get_wtime();
        std::cout << "== " << c.name << std::endl;
        int rc = c.fn(args);
        char buf[96];
        std::snprintf(buf, sizeof buf, "== %s done in %.1f s", c.name.c_str(), omp_get_wtime() - t);
        std::cout << buf << std::endl;
        if (rc != 0) {
            std::cout << "lorvane-params derive: " << c.name << " failed (status " << rc << ")" << std::endl;
            return rc;
        }
    }
    char buf[96];
    std::snprintf(buf, sizeof buf, "derive: total %.1f s", omp_get_wtime() - t0);
    std::cout << buf << std::endl;
    return 0;
}

}  // namespace

int runParams(int argc, char** argv) {
    if (argc < 2) {
        usage();
        return 2;
    }
    const std::string cmd = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (cmd == "-h" || cmd == "--help" || cmd == "help") {
        usage();
        return 0;
    }
    if (cmd == "derive") return derive(args);
    for (const ParamsCommand& c : paramsCommands())
        if (c.name == cmd) return c.fn(args);
    std::cout << "lorvane-params: unknown command \"" << cmd << "\" (run without arguments for the list)" << std::endl;
    return 2;
}

int main(int argc, char** argv) {
    try {
        return runParams(argc, argv);
    } catch (const lorvane::Error& e) {
        std::cout.flush();
        std::cerr << e.what() << std::endl;
        return e.status();
    }
}
