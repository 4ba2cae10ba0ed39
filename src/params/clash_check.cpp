#include "params/clash_check.h"

#include <sstream>
#include <vector>

#include "params/table_io.h"

namespace lorvane::params {

void checkClashes(const PairTypes& pt, const TrainingSet& ts, const PairCounts& c, const SamplingTable& t, int threads,
                  ClashCheck& out) {
    out = ClashCheck();
    for (int k = 0; k < NCAT; ++k)
        for (int pi = 0; pi < NPAIRS; ++pi) {
            out.pairs[k] += c.clashTot[static_cast<size_t>(k) * NPAIRS + pi];
            const uint32_t* h = &c.clashHist[(static_cast<size_t>(k) * NPAIRS + pi) * CLASH_NBINS];
            const int w = t.wall[pi];
            for (int b = 0; b < CLASH_NBINS && b < w; ++b) {
                if (b < w - 1) out.insideClash[k] += h[b];
                out.aboveTen[k] += h[b];
            }
        }
    if (threads < 1) threads = 1;
    std::vector<ClashCheck> local(static_cast<size_t>(threads));
    forEachChain(static_cast<int>(ts.chains.size()), threads, [&](int ci, int th) {
        const TrainChain& ch = ts.chains[ci];
        ClashCheck& L = local[th];
        const int n = static_cast<int>(ch.residues.size());
        // Flags of the pairs within residue i (intra) and between i and i+1 (next): bit 0 backbone+CB
        // pair inside LJclash, bit 1 backbone+CB pair where the table exceeds 10, bits 2 and 3 the same
        // for any heavy-atom pair.
        std::vector<int> intra(n, 0), next(n, 0);
        auto test = [&](int i, int a, int j, int b, int& flags) {
            const TrainResidue& ri = ch.residues[i];
            const TrainResidue& rj = ch.residues[j];
            int ta = pt.typeOf[ri.type][a], tb = pt.typeOf[rj.type][b];
            if (ta < 0 || tb < 0 || !ri.has(a) || !rj.has(b)) return;
            if (bondPath(pt, ch, i, a, j, b) < 3) return;
            float d2 = static_cast<float>(ri.atoms[a].sdis(rj.atoms[b]));
            if (d2 >= 64.0f) return;
            int bin = static_cast<int>(d2 * 10.0f), w = t.wall[pairIndex(ta, tb)];
            bool bb = a <= 5 && b <= 5;
            if (bin < w - 1) flags |= 4 | (bb ? 1 : 0);
            if (bin < w) flags |= 8 | (bb ? 2 : 0);
        };
        for (int i = 0; i < n; ++i) {
            const int ty = ch.residues[i].type;
            if (ty < 0) continue;
            for (int a = 0; a < TRAIN_SLOTS; ++a)
                for (int b = a + 1; b < TRAIN_SLOTS; ++b)
                    if ((a <= 3 || b <= 3) && pt.heavy[ty][a] && pt.heavy[ty][b]) test(i, a, i, b, intra[i]);
            if (i + 1 < n && !ch.residues[i + 1].breakBefore && ch.residues[i + 1].type >= 0)
                for (int a = 0; a < TRAIN_SLOTS; ++a)
                    for (int b = 0; b < TRAIN_SLOTS; ++b) test(i, a, i + 1, b, next[i]);
        }
        int i = 0;
        while (i < n) {
            if (ch.residues[i].ss != 'C' || ch.residues[i].type < 0) {
                ++i;
                continue;
            }
            int j = i;
            while (j + 1 < n && ch.residues[j + 1].ss == 'C' && ch.residues[j + 1].type >= 0 && !ch.residues[j + 1].breakBefore) ++j;
            if (j - i + 1 >= 3) {
                // The segment's residues and its peptide bonds, including those to the flanking residues.
                int f = 0;
                for (int k = i; k <= j; ++k) {
                    int fk = intra[k] | next[k] | (k > 0 ? next[k - 1] : 0);
                    f |= fk;
                    ++L.residues;
                    if (fk & 2) ++L.resBackboneTen;
                    if (fk & 8) ++L.resAllTen;
                }
                ++L.segments;
                if (f & 1) ++L.segBackboneClash;
                if (f & 2) ++L.segBackboneTen;
                if (f & 4) ++L.segAllClash;
                if (f & 8) ++L.segAllTen;
            }
            i = j + 1;
        }
    });
    for (const ClashCheck& L : local) {
        out.segments += L.segments;
        out.segBackboneClash += L.segBackboneClash;
        out.segBackboneTen += L.segBackboneTen;
        out.segAllClash += L.segAllClash;
        out.segAllTen += L.segAllTen;
        out.residues += L.residues;
        out.resBackboneTen += L.resBackboneTen;
        out.resAllTen += L.resAllTen;
    }
}

std::string describeClashCheck(const ClashCheck& k) {
    std::ostringstream s;
    uint64_t tp = 0, tc = 0, tt = 0;
    auto pct = [](double a, double b) { return b > 0 ? formatFixed(100.0 * a / b, 4) : std::string("-"); };
    s << "non-bonded training pairs (d < 8 A) inside LJclash / where the table exceeds 10:\n";
    for (int c = 0; c < NCAT; ++c) {
        s << "  " << CATEGORY_NAME[c] << ": " << k.pairs[c] << " pairs, " << pct(k.insideClash[c], k.pairs[c]) << "% / "
          << pct(k.aboveTen[c], k.pairs[c]) << "%\n";
        tp += k.pairs[c];
        tc += k.insideClash[c];
        tt += k.aboveTen[c];
    }
    s << "  all: " << tp << " pairs, " << pct(tc, tp) << "% / " << pct(tt, tp) << "%\n";
    s << "native loop segments (>= 3 coil residues) with a flagged adjacent- or same-residue pair: " << k.segments << " segments\n";
    s << "  backbone+CB pairs: inside LJclash " << pct(k.segBackboneClash, k.segments) << "%, above 10 "
      << pct(k.segBackboneTen, k.segments) << "%\n";
    s << "  all heavy-atom pairs: inside LJclash " << pct(k.segAllClash, k.segments) << "%, above 10 " << pct(k.segAllTen, k.segments)
      << "%\n";
    s << "  per loop residue: backbone+CB above 10 " << pct(k.resBackboneTen, k.residues) << "%, all above 10 "
      << pct(k.resAllTen, k.residues) << "% of " << k.residues << " residues\n";
    return s.str();
}

}  // namespace lorvane::params
