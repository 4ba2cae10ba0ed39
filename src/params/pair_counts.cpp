// Atom-pair potentials derived from the training chains in one pass over all
// intra-chain heavy-atom pairs (command "pairs"):
//   data/dfire_pair.lib        DFIRE, 167 types, 0.5 A bins to 15 A (dfire_table.cpp)
//   data/QUENDApair.lib(.gz)   sampling pair table, 0.1 A^2 bins to 64 A^2, with a
//                              clash wall derived from observed pairs (sampling_pair_table.cpp)
//   data/QUENDA_ed4_8_V3.txt   loop distance potential by van der Waals class: native
//                              loops against their decoys (quenda_table.cpp); from the
//                              counts here only its short-range wall
// Reference state of the pair statistics here: the distance-scaled finite
// ideal gas of Zhou & Zhou (2002) Protein Sci 11:2714, N_exp(r) ~ r^alpha dr,
// alpha = 1.61.
#include "params/pair_counts.h"

#include <omp.h>

#include <cmath>
#include <iostream>

#include "params/clash_check.h"
#include "params/commands.h"
#include "params/dfire_table.h"
#include "params/quenda_table.h"
#include "params/sampling_pair_table.h"
#include "params/statistics.h"
#include "params/table_io.h"

namespace lorvane::params {

void PairCounts::reset() {
    dfire.assign(static_cast<size_t>(NPAIRS) * DFIRE_BINS, 0);
    samp.assign(static_cast<size_t>(NPAIRS) * ETABLE_BINS, 0);
    sampShell.assign(NPAIRS, 0);
    quenda.assign(static_cast<size_t>(QUENDA_CLASSES) * QUENDA_CLASSES * QUENDA_CBINS, 0);
    clashHist.assign(static_cast<size_t>(NCAT) * NPAIRS * CLASH_NBINS, 0);
    clashTot.assign(static_cast<size_t>(NCAT) * NPAIRS, 0);
    chains = residues = atoms = 0;
}

namespace {

constexpr float DFIRE_CUT = 15.0f;

int sampBin(float d2) {
    int b = static_cast<int>(d2 * 10.0f);
    return b < ETABLE_BINS ? b : ETABLE_BINS - 1;
}

}  // namespace

void countChain(const PairTypes& pt, const TrainChain& ch, PairCounts& c) {
    std::vector<ChainAtom> atoms;
    chainAtoms(pt, ch, atoms);
    c.chains += 1;
    c.residues += static_cast<long>(ch.residues.size());
    c.atoms += static_cast<long>(atoms.size());
    if (atoms.size() < 2) return;
    const int64_t w = fixedWeight(ch.weight);
    // Intra-residue pairs: few, taken directly.
    for (size_t i = 0; i < atoms.size(); ++i)
        for (size_t j = i + 1; j < atoms.size() && atoms[j].res == atoms[i].res; ++j) {
            const ChainAtom& a = atoms[i];
            const ChainAtom& b = atoms[j];
            if (a.slot > 3 && b.slot > 3) continue;
            if (pt.bonds[ch.residues[a.res].type][a.slot][b.slot] < 3) continue;
            float d2 = static_cast<float>(a.p.sdis(b.p));
            if (d2 >= 64.0f) continue;
            const int p = pairIndex(a.type, b.type);
            ++c.clashTot[static_cast<size_t>(CAT_INTRA) * NPAIRS + p];
            int bin = sampBin(d2);
            if (bin < CLASH_NBINS) ++c.clashHist[(static_cast<size_t>(CAT_INTRA) * NPAIRS + p) * CLASH_NBINS + bin];
        }
    CellGrid grid;
    grid.build(atoms, DFIRE_CUT);
    grid.forEachPair(atoms, [&](int i, int j, float d2) {
        const ChainAtom& a = atoms[i];
        const ChainAtom& b = atoms[j];
        const int sep = b.res - a.res;  // atoms are in residue order
        if (sep == 0) return;
        const int p = pairIndex(a.type, b.type);
        const float d = std::sqrt(d2);
        int db = static_cast<int>(d * 2.0f);
        if (db < DFIRE_BINS) c.dfire[static_cast<size_t>(p) * DFIRE_BINS + db] += w;
        const bool loopContact = sep >= 2 && (ch.residues[a.res].ss == 'C' || ch.residues[b.res].ss == 'C');
        if (loopContact) {
            const int qb = static_cast<int>(d * 10.0f);
            if (qb < QUENDA_CBINS) {
                const int c1 = pt.vdwClass[a.type] - 1, c2 = pt.vdwClass[b.type] - 1;
                c.quenda[(static_cast<size_t>(c1) * QUENDA_CLASSES + c2) * QUENDA_CBINS + qb] += w;
                if (c1 != c2) c.quenda[(static_cast<size_t>(c2) * QUENDA_CLASSES + c1) * QUENDA_CBINS + qb] += w;
            }
            if (d >= 14.5f) c.sampShell[p] += w;
        }
        if (d2 >= 64.0f) return;
        int cat;
        if (sep == 1 && !ch.residues[b.res].breakBefore) {
            int path = bondPath(pt, ch, a.res, a.slot, b.res, b.slot);
            if (path < 3) return;  // covalent geometry, not a contact
            cat = path == 3 ? CAT_ADJ14 : CAT_ADJFAR;
        } else {
            cat = sep == 2 ? CAT_SEP2 : CAT_FAR;
        }
        const int bin = sampBin(d2);
        ++c.clashTot[static_cast<size_t>(cat) * NPAIRS + p];
        if (bin < CLASH_NBINS) ++c.clashHist[(static_cast<size_t>(cat) * NPAIRS + p) * CLASH_NBINS + bin];
        if (loopContact) c.samp[static_cast<size_t>(p) * ETABLE_BINS + bin] += w;
    });
}

void countPairs(const PairTypes& pt, const TrainingSet& ts, int threads, PairCounts& c) {
    if (threads < 1) threads = 1;
    std::vector<PairCounts> local(static_cast<size_t>(threads));
    for (PairCounts& l : local) l.reset();
    forEachChain(static_cast<int>(ts.chains.size()), threads, [&](int k, int t) { countChain(pt, ts.chains[k], local[t]); });
    c.reset();
    for (const PairCounts& l : local) {
        for (size_t k = 0; k < c.dfire.size(); ++k) c.dfire[k] += l.dfire[k];
        for (size_t k = 0; k < c.samp.size(); ++k) c.samp[k] += l.samp[k];
        for (size_t k = 0; k < c.quenda.size(); ++k) c.quenda[k] += l.quenda[k];
        for (size_t k = 0; k < c.sampShell.size(); ++k) c.sampShell[k] += l.sampShell[k];
        for (size_t k = 0; k < c.clashHist.size(); ++k) c.clashHist[k] += l.clashHist[k];
        for (size_t k = 0; k < c.clashTot.size(); ++k) c.clashTot[k] += l.clashTot[k];
        c.chains += l.chains;
        c.residues += l.residues;
        c.atoms += l.atoms;
    }
}

void cmdPairs(const std::vector<std::string>& args, Session& session) {
    const Options o = parseOptions(args, "pairs");
    const double t0 = omp_get_wtime();
    const TrainingSet& ts = session.trainingSet(o);
    const Templates& tm = session.templates(o.templates);
    const PairTypes types = pairTypesFromTemplates(tm);
    const double t1 = omp_get_wtime();
    PairCounts counts;
    countPairs(types, ts, o.threads, counts);
    std::cout << "pairs: training set " << formatFixed(t1 - t0, 1) << " s, counting " << formatFixed(omp_get_wtime() - t1, 1) << " s"
              << std::endl;
    std::cout << "pairs: " << counts.chains << " chains, " << counts.residues << " residues, " << counts.atoms << " heavy atoms with a pair type"
              << std::endl;

    const DfireParams dp;
    std::vector<double> dfire;
    dfireEnergies(types, counts, dp, dfire);
    writeTextFile(outPath(o.out, "dfire_pair.lib"), formatDfire(types, dfire, dp));

    const SamplingParams sp;
    SamplingTable table;
    samplingTable(types, counts, sp, table);
    const std::string text = formatSampling(types, table, sp);
    writeTextFile(outPath(o.out, "QUENDApair.lib"), text);
    writeGzipFile(outPath(o.out, "QUENDApair.lib.gz"), text);

    ClashCheck check;
    checkClashes(types, ts, counts, table, o.threads, check);
    std::cout << describeClashCheck(check);

    // QUENDA: native loops against their decoys, with the ideal-gas wall of these counts.
    deriveQuendaTable(tm, ts, idealGasQuenda(types, counts, IdealGasParams()), o, QuendaParams());
    std::cout << "pairs: wrote dfire_pair.lib, QUENDApair.lib(.gz), QUENDA_ed4_8_V3.txt to " << o.out << std::endl;
}

}  // namespace lorvane::params
