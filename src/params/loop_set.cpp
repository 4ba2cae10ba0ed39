// A loop table of training loops, for measuring sampling choices on loops
// that are not benchmark loops (lorvane-params loop-set; not part of derive).
//
//   lorvane-params loop-set --out DIR [--count N] [--length L] [--train DIR] [--cache FILE]
//
// Loops: N DSSP-coil runs of exactly L residues, chosen as the decoy tables
// choose theirs (loopdecoys::selectLoops: anchors on both sides, no break,
// backbone complete, evenly spaced through the candidates in file order, so
// the choice is deterministic). Writes DIR/loops.tsv (the columns of the
// benchmark's loop table, set "train_<L>") and one file per chain,
// DIR/structures/<id>_<chain>.pdb, holding that chain's heavy atoms as read.
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "model/errors.h"
#include "model/residue.h"
#include "params/commands.h"
#include "params/loop_decoys.h"
#include "params/training_set.h"

namespace {

const char kOneLetter[21] = "ACDEFGHIKLMNPQRSTVWY";

// ATOM records of the atoms read from the file (residue numbers as read).
std::string chainRecords(const TrainChain& ch) {
    std::ostringstream out;
    out << std::fixed << std::setprecision(3);
    int serial = 1;
    const char chain = ch.chain == ' ' ? 'A' : ch.chain;
    for (const TrainResidue& r : ch.residues) {
        const int t = r.type;
        if (t < 0 || t >= 20) continue;
        for (int j = 0; j < TRAIN_SLOTS && j < Residue::numAtom[t]; ++j) {
            if (!r.has(j) || j == 4) continue;
            const std::string& nm = Residue::cType[t][j];
            std::string field = nm.size() >= 4 ? nm : " " + nm;
            field.resize(4, ' ');
            out << "ATOM  " << std::setw(5) << serial++ << " " << field << " " << Residue::Name3[t] << " " << chain << std::setw(4)
                << r.pdbNum << "    " << std::setw(8) << r.atoms[j].x << std::setw(8) << r.atoms[j].y << std::setw(8) << r.atoms[j].z
                << "  1.00" << std::setw(6) << std::setprecision(2) << r.bfactor[j] << std::setprecision(3) << "\n";
        }
    }
    out << "TER\nEND\n";
    return out.str();
}

int cmdLoopSet(const std::vector<std::string>& argsIn) {
    int count = 8, length = 12;
    std::vector<std::string> args;
    for (size_t i = 0; i < argsIn.size(); ++i) {
        if ((argsIn[i] == "--count" || argsIn[i] == "--length") && i + 1 < argsIn.size()) {
            (argsIn[i] == "--count" ? count : length) = std::stoi(argsIn[i + 1]);
            ++i;
        } else {
            args.push_back(argsIn[i]);
        }
    }
    if (count < 1 || length < 4 || length > 22) fatal("loop-set: --count must be positive and --length 4..22", 2);
    const ParamsOptions o = parseParamsOptions(args, "loop-set");
    const TrainingSet& ts = trainingSetFor(o);
    const std::vector<loopdecoys::LoopSite> sites = loopdecoys::selectLoops(ts, count, length, length, "loop-set");
    namespace fs = std::filesystem;
    fs::create_directories(fs::path(o.out) / "structures");
    std::ofstream tsv(fs::path(o.out) / "loops.tsv");
    if (!tsv) fatal("loop-set: cannot write " + (fs::path(o.out) / "loops.tsv").string());
    tsv << "case_id\tfile\tchain\tstart_pdbnum\tend_pdbnum\tlength\tsequence\tset\n";
    for (const loopdecoys::LoopSite& site : sites) {
        const TrainChain& ch = ts.chains[site.chain];
        const char chain = ch.chain == ' ' ? 'A' : ch.chain;
        const std::string file = "structures/" + ch.pdbId + "_" + std::string(1, chain) + ".pdb";
        const fs::path path = fs::path(o.out) / file;
        if (!fs::exists(path)) std::ofstream(path) << chainRecords(ch);
        const int start = ch.residues[site.first].pdbNum, end = ch.residues[site.last].pdbNum;
        std::string seq;
        for (int i = site.first; i <= site.last; ++i) seq += kOneLetter[ch.residues[i].type];
        tsv << ch.pdbId << "_" << chain << "_" << start << "_" << end << "\t" << file << "\t" << chain << "\t" << start << "\t" << end << "\t"
            << length << "\t" << seq << "\ttrain_" << length << "\n";
    }
    std::cout << "loop-set: wrote " << sites.size() << " loops of " << length << " residues to " << (fs::path(o.out) / "loops.tsv").string()
              << std::endl;
    return 0;
}

}  // namespace

LORVANE_PARAMS_COMMAND("loop-set", "a table of training loops for measuring sampling choices (--count N --length L)", cmdLoopSet, 0);
