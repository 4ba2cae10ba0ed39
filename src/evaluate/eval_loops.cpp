// Compare mode: reads a file of loop decoys for the protein held in native,
// measures each decoy's backbone RMSD to the native loop, normalises and
// combines the four scores that come with every decoy and prints a summary
// line; optionally counts loop/surroundings pair distances per decoy and
// writes the summed counts of near-native and of other low-scoring decoys.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "evaluate/evaluate.h"
#include "evaluate/ranking.h"
#include "evaluate/result_file.h"
#include "model/deviation.h"
#include "model/error.h"
#include "model/strings.h"
#include "potentials/potentials.h"

namespace lorvane {

namespace fs = std::filesystem;

namespace {

struct DecoyRecord {
    double s[4] = {0, 0, 0, 0};  // DFIRE, side-chain, QUENDA, torsion energy (as written by the sampler)
    double e = 0.0;              // fitted pair-table energy (with distance counting)
    double rmsd = 0.0;
    std::vector<std::pair<int, int>> counts;  // (index, count), nonzero entries only
};

}  // namespace

std::string dumpPath(const std::string& dir, const std::string& decoyFile) {
    fs::path rel;
    for (const fs::path& part : fs::path(decoyFile).relative_path()) {
        const std::string p = part.string();
        if (p.empty() || p == ".") continue;
        rel /= (p == ".." ? std::string("up") : p);
    }
    return (fs::path(dir) / rel).string();
}

void makeParentDirectories(const std::string& file) {
    const fs::path parent = fs::path(file).parent_path();
    if (parent.empty()) return;
    std::error_code ec;
    fs::create_directories(parent, ec);
    if (ec || !fs::is_directory(parent)) fail("cannot create directory " + parent.string() + " for " + file);
}

DecoyEvaluation evaluateDecoys(const Templates& tm, Potentials& pot, const std::string& decoyFile, int start, int end,
                               const Structure& native, bool dumpDis, const std::string& dataDir) {
    if (!FileExists(decoyFile)) fail("Could not read Loops file " + decoyFile);
    if (start < 1 || end > native._numRes || start >= end)
        fail("loop positions " + std::to_string(start) + ".." + std::to_string(end) + " do not lie within the chain's positions 1.." +
             std::to_string(native._numRes));
    Structure work(MAX_RESIDUES);
    work.copyStructure(native, 1, native._numRes);
    std::vector<Residue>& residues = work.residues;
    DecoyEvaluation result;

    std::ofstream disout;
    std::string eoutPath;
    if (dumpDis) {
        const std::string disPath = dumpPath("disout2", decoyFile);
        eoutPath = dumpPath("Eout", decoyFile);
        makeParentDirectories(disPath);
        makeParentDirectories(eoutPath);
        disout.open(disPath, std::ios::trunc);
        if (!disout) fail("cannot write distance counts " + disPath);
        loadFittedTable(pot, dataDir + "/fittedE.txt");
    }
    const int capacity = dumpDis ? MAX_DUMP_DECOYS : MAX_DECOYS;

    const std::vector<ResultConformation> confs =
        readConformations(decoyFile, end - start + 1, capacity, std::string(dumpDis ? " with -dumpdis" : "") + ", the most compare mode takes");
    std::vector<DecoyRecord> decoys(confs.size());
    std::vector<int> counts(dumpDis ? FITTED_E_SIZE : 0);
    for (size_t k = 0; k < confs.size(); ++k) {
        // Atoms a decoy does not give keep the previous decoy's coordinates.
        const ResultConformation& c = confs[k];
        for (size_t i = 0; i < c.residues.size(); ++i) {
            const ResultResidue& res = c.residues[i];
            auto aa = residueNames().code.find(res.name);
            if (aa == residueNames().code.end()) continue;
            const int t = residueType(aa->second);
            if (!isAminoAcid(t)) continue;
            Residue& r = residues[start + static_cast<int>(i)];
            r.type = static_cast<int16_t>(t);
            for (const ResultAtom& atom : res.atoms) {
                const int j = tm.slot(t, atom.name);
                if (j < 0 || j >= MAX_ATOMS) continue;
                Atom& a = r.atoms[j];
                a.x = atom.x, a.y = atom.y, a.z = atom.z;
                a.type = static_cast<int16_t>(tm.vdwType[t][j]);
                a.name = atom.name;
                a.missing = 0;
            }
        }
        DecoyRecord& d = decoys[k];
        for (int q = 0; q < 4; ++q) d.s[q] = c.scores[q];
        d.rmsd = rmsdg(work, native, start, end);
        if (dumpDis) {
            std::fill(counts.begin(), counts.end(), 0);
            if (dumpDistances(work, start, end, counts.data(), pot.fittedE, d.e) == 1)
                for (int i = 0; i < FITTED_E_SIZE; ++i)
                    if (counts[i] != 0) d.counts.emplace_back(i, counts[i]);
        }
    }

    const int n = static_cast<int>(decoys.size());
    if (n == 0) fail(decoyFile + " holds no complete decoy (a LOOP line, its ATOM records and an END line)");

    // Combined scores use the raw values; the normalised ones make z.
    double minC1 = std::numeric_limits<double>::infinity(), minC2 = minC1, minS0 = minC1, minS2 = minC1;
    std::vector<double> rmsd(n);
    std::vector<std::array<double, 4>> scores(n);
    for (int k = 0; k < n; ++k) {
        const DecoyRecord& d = decoys[k];
        minC1 = std::min(minC1, 10.0 * d.s[3] + d.s[2]);
        minC2 = std::min(minC2, 10.0 * d.s[3] + d.s[0]);
        minS2 = std::min(minS2, d.s[2]);
        minS0 = std::min(minS0, d.s[0]);
        for (int q = 0; q < 4; ++q) scores[k][q] = d.s[q];
        rmsd[k] = d.rmsd;
    }
    const Ranking ranking = rankConformations(scores);
    double meanRmsd, sdRmsd;
    vMeanSd(rmsd, meanRmsd, sdRmsd);
    int best = 0;
    for (int k = 1; k < n; ++k)
        if (rmsd[k] < rmsd[best]) best = k;
    const int bestZ = ranking.order[0];
    result.rmsd = rmsd;
    result.z = ranking.combined;
    result.lowestRmsd = best;
    result.lowestZ = bestZ;

    {
        std::ostringstream os;  // default stream format, whatever was set on std::cout before
        os << n << " " << rmsd[best] << " " << meanRmsd << " " << rmsd[bestZ] << " " << minC1 << " " << minS2 << " " << minC2 << " "
           << minS0 << "\n";
        std::cout << os.str() << std::flush;
    }
    if (!dumpDis) return result;

    std::vector<double> s1(n);
    for (int k = 0; k < n; ++k) s1[k] = decoys[k].s[1];
    std::sort(s1.begin(), s1.end());
    {
        std::ostringstream os;
        os << "Cut-off: " << s1[n / 5] << "\n";
        std::cout << os.str();
    }
    const double nearCut = rmsd[best] + 0.25;
    double m = REJECTED;  // no decoy near the best: every decoy below REJECTED + 1 counts
    bool anyNear = false;
    for (const DecoyRecord& d : decoys)
        if (d.rmsd < nearCut && (!anyNear || d.s[1] < m)) m = d.s[1], anyNear = true;
    std::vector<long long> histNear(FITTED_E_SIZE, 0), histOther(FITTED_E_SIZE, 0);
    long long numNear = 0, numOther = 0;
    for (const DecoyRecord& d : decoys) {
        if (!(d.s[1] < m + 1.0)) continue;
        std::vector<long long>* h;
        if (d.rmsd >= nearCut) {
            ++numOther;
            h = &histOther;
        } else {
            std::ostringstream os;
            os << d.rmsd << " " << d.s[1] << "\n";
            std::cout << os.str();
            ++numNear;
            h = &histNear;
        }
        for (const auto& [k, c] : d.counts) (*h)[k] += c;
    }
    std::cout << std::flush;
    disout << numNear << " ";
    for (long long c : histNear) disout << c << " ";
    disout << "\n" << numOther << " ";
    for (long long c : histOther) disout << c << " ";
    disout << "\n";
    disout.close();
    if (!disout) fail("could not finish writing the distance counts for " + decoyFile);

    std::ofstream eout(eoutPath, std::ios::trunc);
    if (!eout) fail("cannot write decoy energies " + eoutPath);
    for (const DecoyRecord& d : decoys)
        eout << d.rmsd << " " << d.s[0] << " " << d.s[1] << " " << d.s[2] << " " << d.s[3] << " " << d.e << "\n";
    eout.close();
    if (!eout) fail("could not finish writing the decoy energies " + eoutPath);
    return result;
}

}  // namespace lorvane
