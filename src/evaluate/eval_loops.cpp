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
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "evaluate/decoy_reader.h"
#include "evaluate/evaluate.h"
#include "evaluate/ranking.h"
#include "evaluate/result_file.h"
#include "model/atomic_file.h"
#include "model/deviation.h"
#include "model/error.h"
#include "model/strings.h"
#include "model/table_text.h"
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

std::string where(const std::string& file, int line) { return file + " line " + std::to_string(line); }

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

DecoyEvaluation evaluateDecoys(const Templates& tm, const Potentials& pot, const std::string& decoyFile, int start, int end,
                               const Structure& native, bool dumpDis) {
    if (dumpDis && static_cast<int>(pot.fittedE.size()) != FITTED_E_SIZE)
        fail("compare mode with -dumpdis needs the fitted pair table loaded first");
    if (!FileExists(decoyFile)) fail("Could not read Loops file " + decoyFile);
    TableText in = TableText::read(decoyFile, "decoy file");
    Structure work(MAX_RESIDUES);
    work.copyStructure(native, 1, native._numRes);
    DecoyReader reader(tm, in, native, start, end);
    DecoyEvaluation result;

    const int capacity = dumpDis ? MAX_DUMP_DECOYS : MAX_DECOYS;
    std::vector<DecoyRecord> decoys;
    DecoyRecord cur;
    std::vector<int> counts(dumpDis ? FITTED_E_SIZE : 0);
    while (reader.next(work, cur.s)) {
        if (static_cast<int>(decoys.size()) >= capacity)
            fail(where(decoyFile, in.line()) + ": more than " + std::to_string(capacity) + " decoys" + (dumpDis ? " with -dumpdis" : "") +
                 ", the most compare mode takes");
        cur.rmsd = rmsdg(work, native, start, end);
        if (dumpDis) {
            std::fill(counts.begin(), counts.end(), 0);
            if (dumpDistances(work, start, end, counts.data(), pot.fittedE, cur.e) == 1)
                for (int k = 0; k < FITTED_E_SIZE; ++k)
                    if (counts[k] != 0) cur.counts.emplace_back(k, counts[k]);
        }
        decoys.push_back(std::move(cur));
        cur = DecoyRecord();
    }

    const int n = static_cast<int>(decoys.size());
    if (n == 0) fail(decoyFile + " holds no complete decoy (a LOOP line, its ATOM records and an END line)");
    // The dumps are opened before anything is printed: a run that cannot store them prints nothing.
    std::unique_ptr<AtomicFile> disout, eout;
    if (dumpDis) {
        for (auto [dir, file] : {std::pair{"disout2", &disout}, std::pair{"Eout", &eout}}) {
            const std::string path = dumpPath(dir, decoyFile);
            makeParentDirectories(path);
            *file = std::make_unique<AtomicFile>(path);
        }
    }

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
    std::ostream& dis = disout->stream();
    dis << numNear << " ";
    for (long long c : histNear) dis << c << " ";
    dis << "\n" << numOther << " ";
    for (long long c : histOther) dis << c << " ";
    dis << "\n";
    for (const DecoyRecord& d : decoys)
        eout->stream() << d.rmsd << " " << d.s[0] << " " << d.s[1] << " " << d.s[2] << " " << d.s[3] << " " << d.e << "\n";
    disout->commit();
    eout->commit();
    return result;
}

}  // namespace lorvane
