#include "growth/protocol.h"

#include "model/error.h"

namespace lorvane {

Protocol protocolNamed(const std::string& name) {
    Protocol p;
    if (name == "classic") return p;
    if (name != "default") fail("Option -protocol needs classic or default, got " + name, 2);
    // The set measured best on the training loops (docs/benchmark.md, "Sampling: classic vs default").
    p.name = name;
    p.diverse = true;
    p.closeDraws = 4;
    p.drawNCAC = true;
    p.reseed = true;
    p.torsionBins = TorsionBinRule::Centred;
    p.clashTolerance = true;
    p.fallback = true;
    p.shortLoopLength = 6;
    p.shortLoopSeeds = 5000;
    p.supplementLength = 8;
    return p;
}

bool supplementWanted(const Protocol& p, int length, int samplingPotential) {
    return !p.twoTables && p.supplementLength > 0 && length >= p.supplementLength && samplingPotential == 1;
}

Protocol protocolForLoop(const Protocol& p, int length, int samplingPotential, int seeds) {
    Protocol q = p;
    if (supplementWanted(p, length, samplingPotential) && seeds >= SUPPLEMENT_MIN_SEEDS) q.twoTables = q.supplement = true;
    return q;
}

int defaultPopulation(const Protocol& p, int length, int seeds) {
    return p.shortLoopLength > 0 && length <= p.shortLoopLength ? p.shortLoopSeeds : seeds;
}

}  // namespace lorvane
