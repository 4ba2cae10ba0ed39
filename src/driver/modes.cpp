#include "driver/modes.h"

#include <iostream>
#include <set>
#include <string>

#include "evaluate/evaluate.h"
#include "growth/smc.h"
#include "model/structure.h"
#include "potentials/energy.h"
#include "potentials/pf.h"

namespace lorvane {

int runSamplingMode(const RunOptions& opt) {
    std::cout << "openMP:  using " << PF::numMP << " cores." << std::endl;
    PF::InitPar("data/param/1.txt", "./", 0, opt.samplingPotential);
    PF::UseBBT = opt.useBBT;
    PF::diag = opt.diag;
    // Sampling needs every table: a missing file stops here rather than
    // leaving a table empty that would reject every candidate.
    SMC::LoadSamplingTables();
    PF::initQUENDA("data/QUENDA_ed4_8_V3.txt");

    Structure protein(MAX_RESIDUES);
    if (opt.isSequence) {
        // A sequence gives residue types but no coordinates: there are no
        // anchors to grow a loop between, so any result would be meaningless.
        protein.readSeq(opt.pdbFile.c_str());
        std::cout << opt.pdbFile << " is a sequence file: loop sampling needs a structure with coordinates for the anchors"
                  << std::endl;
        return 1;
    } else if (!protein.readPdb(opt.pdbFile, std::set<std::string>(), 0)) {
        return 1;  // the reader has named the problem
    }

    SMC smc(1);
    smc.work = protein;
    smc.native = protein;
    smc.growMode = opt.growMode;
    smc.numSeeds = opt.seeds;
    smc.numLoops = opt.numLoop;
    smc.structs[0] = smc.work;

    const int n = protein._numRes;
    int start = -1, end = -1;
    if (opt.byPdbNumber) {
        if (!resolveLoopByPdbNumber(protein, opt.startRes, opt.endRes, start, end)) {
            std::cout << "Specified starting or ending residue numbers are not in the PDB file." << std::endl;
            return 1;
        }
    } else {
        const std::string problem = resolveLoopByPosition(n, opt.startRes, opt.endRes, start, end);
        if (!problem.empty()) {
            std::cout << problem << std::endl;
            return 1;
        }
    }
    smc.loopStart = start;
    smc.loopEnd = end;
    SMC::LoopID = opt.protName + "_" + std::to_string(opt.startRes) + "_" + std::to_string(opt.endRes);
    smc.production();
    return 0;
}

namespace {

// Energy and compare modes: the protein as read becomes the SMC's native and
// the loop is resolved by PDB number. False (message printed) when either fails.
bool loadNativeLoop(const RunOptions& opt, SMC& smc, int& start, int& end) {
    Structure protein(MAX_RESIDUES);
    if (!protein.readPdb(opt.pdbFile, std::set<std::string>(), 0)) return false;  // the reader has named the problem
    smc.native = protein;
    if (!resolveLoopByPdbNumber(smc.native, opt.startRes, opt.endRes, start, end)) {
        std::cout << "Could not find startind or ending PDB index" << std::endl;
        return false;
    }
    return true;
}

}  // namespace

int runEnergyMode(const RunOptions& opt) {
    SMC smc(1);
    int start = -1, end = -1;
    if (!loadNativeLoop(opt, smc, start, end)) return 1;
    PF::initQUENDA("data/QUENDA_ed4_8_V3.txt");
    double e1 = 0, e2 = 0, e3 = 0, e4 = 0;
    std::cout << quenda_e(smc.native, start, end, true, e1, e2, e3, e4) << std::endl;
    return 0;
}

int runCompareMode(const RunOptions& opt) {
    SMC smc(1);
    int start = -1, end = -1;
    if (!loadNativeLoop(opt, smc, start, end)) return 1;
    smc.loopStart = start;
    smc.loopEnd = end;
    smc.work.init(MAX_RESIDUES);
    SMC::LoopID = opt.protName + "_" + std::to_string(opt.startRes) + "_" + std::to_string(opt.endRes);
    smc.work.evalLoops(opt.scoreFile, std::set<std::string>(), 0, start, end, smc.native, opt.dumpDis);
    if (!opt.funnelPlot.empty()) writeFunnelPlot(opt.funnelPlot, SMC::LoopID, lastDecoyEvaluation());
    return 0;
}

}  // namespace lorvane
