// One table loader on arbitrary text; LORVANE_FUZZ_TABLE selects which (one
// harness per loader, built from this file by tests/fuzz/CMakeLists.txt).
#include <memory>

#include "distributions/backbone_angles.h"
#include "distributions/distributions.h"
#include "fuzz_support.h"
#include "model/table_text.h"
#include "model/text_scan.h"
#include "potentials/potentials.h"

namespace {

using namespace lorvane;

// The tables are large: one of each, reused from input to input.
Potentials& potentials() {
    static Potentials* p = new Potentials();
    return *p;
}
Distributions& distributions() {
    static Distributions* d = new Distributions();
    return *d;
}
// The atom types the QUENDA pair table refers to, from the repository's DFIRE table.
void withDfireTypes() {
    static bool done = false;
    if (done) return;
    std::string text;
    if (!textscan::readWholeFile(std::string(LORVANE_SOURCE_DIR) + "/data/dfire_pair.lib", text)) std::abort();
    TableText in("dfire_pair.lib", text);
    parseDfirePairs(potentials(), in, 1);
    done = true;
}

void parse(TableText& in) {
    Potentials& p = potentials();
    Distributions& d = distributions();
    switch (LORVANE_FUZZ_TABLE) {
        case 0: parseTemplates(in); break;
        case 1: parseTorsionBins(d, in); break;
        case 2: parseJoint(d.forward, in, false); break;
        case 3: parseJoint(d.forward, in, true); break;
        case 4: p.pairTypes.clear(); parseDfirePairs(p, in, 2); break;
        case 5: withDfireTypes(); parseQuendaPairs(p, in, 1); break;
        case 6: parseDipoles(p, in); break;
        case 7: parseOscar(p, in); break;
        case 8: parseQuenda(p, in); break;
        case 9: parseRotamers(p, in); break;
        case 10: parseFittedTable(p, in); break;
        case 11: parseBackboneAngles(in, d.backboneAngles); break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return lorvane_fuzz::rejectOnlyByError([&] {
        lorvane::TableText in("fuzz.txt", lorvane_fuzz::text(data, size));
        parse(in);
    });
}
