// A loop table of training loops, for measuring sampling choices on loops
// that are not benchmark loops (lorvane-params loop-set; not part of derive).
//
//   lorvane-params loop-set --out DIR [--count N] [--length L] [--train DIR] [--cache FILE]
//
// Loops: N DSSP-coil runs of exactly L residues, chosen as the decoy tables
// choose theirs (selectLoops: anchors on both sides, no break,
// backbone complete, evenly spaced through the candidates in file order, so
// the choice is deterministic). Writes DIR/loops.tsv (the columns of the
// benchmark's loop table, set "train_<L>") and one file per chain,
// DIR/structures/<id>_<chain>.pdb, holding that chain's heavy atoms as read.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "model/error.h"
#include "model/residue_names.h"
#include "model/templates.h"
#include "params/commands.h"
#include "params/loop_decoys.h"
#include "params/training_set.h"

namespace lorvane::params {

namespace {

const char kOneLetter[21] = "ACDEFGHIKLMNPQRSTVWY";

// ATOM records of the atoms read from the file (residue numbers as read).
std::string chainRecords(const Templates& tm, const TrainChain& ch) {
    std::ostringstream out;
    out << std::fixed << std::setprecision(3);
    int serial = 1;
    const char chain = ch.chain == ' ' ? 'A' : ch.chain;
    for (const TrainResidue& r : ch.residues) {
        const int t = r.type;
        if (t < 0 || t >= 20) continue;
        for (int j = 0; j < TRAIN_SLOTS && j < tm.numAtom[t]; ++j) {
            if (!r.has(j) || j == 4) continue;
            const std::string& nm = tm.atomName[t][j];
            std::string field = nm.size() >= 4 ? nm : " " + nm;
            field.resize(4, ' ');
            out << "ATOM  " << std::setw(5) << serial++ << " " << field << " " << threeLetter(t) << " " << chain << std::setw(4)
                << r.pdbNum << "    " << std::setw(8) << r.atoms[j].x << std::setw(8) << r.atoms[j].y << std::setw(8) << r.atoms[j].z
                << "  1.00" << std::setw(6) << std::setprecision(2) << r.bfactor[j] << std::setprecision(3) << "\n";
        }
    }
    out << "TER\nEND\n";
    return out.str();
}

}  // namespace

void cmdLoopSet(const std::vector<std::string>& args, Session& session) {
    int count = 8, length = 12;
    const Options o = OptionParser("loop-set").integer("--count", count, 1, 100000).integer("--length", length, 4, 22).parse(args);
    // The shared default folder is the program's table folder: a measuring table must not land there unasked.
    if (std::find(args.begin(), args.end(), "--out") == args.end())
        fail("lorvane-params loop-set: needs --out DIR, the folder for the loop table and its structures", STATUS_USAGE);
    const Templates& tm = session.templates(o.templates);
    const TrainingSet& ts = session.trainingSet(o);
    const std::vector<LoopSite> sites = selectLoops(ts, count, length, length, "loop-set");
    namespace fs = std::filesystem;
    fs::create_directories(fs::path(o.out) / "structures");
    std::ofstream tsv(fs::path(o.out) / "loops.tsv");
    if (!tsv) fail("loop-set: cannot write " + (fs::path(o.out) / "loops.tsv").string());
    tsv << "case_id\tfile\tchain\tstart_pdbnum\tend_pdbnum\tlength\tsequence\tset\n";
    for (const LoopSite& site : sites) {
        const TrainChain& ch = ts.chains[site.chain];
        const char chain = ch.chain == ' ' ? 'A' : ch.chain;
        const std::string file = "structures/" + ch.pdbId + "_" + std::string(1, chain) + ".pdb";
        const fs::path path = fs::path(o.out) / file;
        if (!fs::exists(path)) std::ofstream(path) << chainRecords(tm, ch);
        const int start = ch.residues[site.first].pdbNum, end = ch.residues[site.last].pdbNum;
        std::string seq;
        for (int i = site.first; i <= site.last; ++i) seq += kOneLetter[ch.residues[i].type];
        tsv << ch.pdbId << "_" << chain << "_" << start << "_" << end << "\t" << file << "\t" << chain << "\t" << start << "\t" << end << "\t"
            << length << "\t" << seq << "\ttrain_" << length << "\n";
    }
    std::cout << "loop-set: wrote " << sites.size() << " loops of " << length << " residues to " << (fs::path(o.out) / "loops.tsv").string()
              << std::endl;
}

}  // namespace lorvane::params
