// Checks a result file against its input structure and prints the figures
// of the written loops: format, fixed anchors, peptide bonds 1.33 +- 0.05 A,
// no heavy atom closer than 2.0 A to the frame, and the backbone RMSD
// (N, CA, C, O; no superposition) of the best loop and of the loop with the
// lowest QUENDA energy.
//
//   bench_check_loops RESULT.txt INPUT.pdb START END [CHAIN]
//
// Exit status 0 when every loop passes, 1 otherwise.
#include <cstdlib>
#include <iomanip>
#include <iostream>

#include "filter/loop_check.h"

using namespace lorvane;

int main(int argc, char** argv) {
    if (argc < 5) {
        std::cout << "usage: bench_check_loops RESULT.txt INPUT.pdb START END [CHAIN]" << std::endl;
        return 2;
    }
    const std::string result = argv[1], pdb = argv[2];
    const int start = std::atoi(argv[3]), end = std::atoi(argv[4]);
    const char chain = argc > 5 ? argv[5][0] : '\0';
    std::vector<WrittenLoop> loops;
    std::vector<CheckAtom> frame;
    std::string error;
    if (!readResultFile(result, loops, error)) {
        std::cout << "FORMAT ERROR: " << error << std::endl;
        return 1;
    }
    if (!readFrame(pdb, chain, frame, error)) {
        std::cout << error << std::endl;
        return 1;
    }
    int bad = 0, best = -1, lowQ = -1;
    double bestRmsd = 1e9, minFrame = 1e9, minPep = 1e9, maxPep = 0, maxShift = 0, maxCA = 0;
    std::vector<LoopVerdict> verdicts;
    for (size_t k = 0; k < loops.size(); ++k) {
        const LoopVerdict v = checkLoop(loops[k], frame, start, end);
        verdicts.push_back(v);
        if (!v.ok) {
            if (bad < 5) std::cout << "loop " << loops[k].ordinal << ": " << v.problem << std::endl;
            ++bad;
        }
        if (v.rmsd < bestRmsd) {
            bestRmsd = v.rmsd;
            best = static_cast<int>(k);
        }
        if (lowQ < 0 || loops[k].quenda < loops[lowQ].quenda) lowQ = static_cast<int>(k);
        minFrame = std::min(minFrame, v.minFrameDist);
        minPep = std::min(minPep, v.minPeptide);
        maxPep = std::max(maxPep, v.maxPeptide);
        maxShift = std::max(maxShift, v.anchorShift);
        maxCA = std::max(maxCA, v.endCAShift);
    }
    std::cout << std::fixed << std::setprecision(3);
    std::cout << "loops: " << loops.size() << "  failing: " << bad << std::endl;
    if (loops.empty()) return 1;
    std::cout << "peptide bonds: " << minPep << " .. " << maxPep << " A   closest frame contact: " << minFrame
              << " A   largest anchor shift: " << maxShift << " A   last CA rebuilt within: " << maxCA << " A" << std::endl;
    std::cout << "best loop: #" << loops[best].ordinal << " RMSD " << bestRmsd << " A" << std::endl;
    std::cout << "lowest QUENDA: #" << loops[lowQ].ordinal << " (" << loops[lowQ].quenda << ") RMSD " << verdicts[lowQ].rmsd << " A"
              << std::endl;
    return bad == 0 ? 0 : 1;
}
