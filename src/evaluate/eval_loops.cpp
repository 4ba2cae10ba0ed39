// Compare mode: reads a file of loop decoys for the protein held in native,
// measures each decoy's backbone RMSD to the native loop, normalises and
// combines the four scores that come with every decoy and prints a summary
// line; optionally counts loop/surroundings pair distances per decoy and
// writes the summed counts of near-native and of other low-scoring decoys.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "evaluate/evaluate.h"
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

std::string trimAtomName(const std::string& line) {
    const char c13 = line[12], c14 = line[13], c15 = line[14], c16 = line[15];
    if (c13 != ' ') return c16 != ' ' ? std::string{c13, c14, c15, c16} : std::string{c13, c14, c15};
    if (c15 == ' ') return std::string{c14};
    if (c16 == ' ') return std::string{c14, c15};
    return std::string{c14, c15, c16};
}

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

DecoyEvaluation evaluateDecoys(const Templates& tm, Potentials& pot, const std::string& decoyFile, int start, int end,
                               const Structure& native, bool dumpDis) {
    if (!FileExists(decoyFile)) fail("Could not read Loops file " + decoyFile);
    if (start < 1 || end > native._numRes || start >= end)
        fail("loop positions " + std::to_string(start) + ".." + std::to_string(end) + " do not lie within the chain's positions 1.." +
             std::to_string(native._numRes));
    Structure work(MAX_RESIDUES);
    work.copyStructure(native, 1, native._numRes);
    std::vector<Residue>& residues = work.residues;
    DecoyEvaluation result;
    std::ifstream in(decoyFile);
    if (!in) fail("cannot open pdb file " + decoyFile);

    std::ofstream disout;
    std::string eoutPath;
    if (dumpDis) {
        const std::string disPath = dumpPath("disout2", decoyFile);
        eoutPath = dumpPath("Eout", decoyFile);
        makeParentDirectories(disPath);
        makeParentDirectories(eoutPath);
        disout.open(disPath, std::ios::trunc);
        if (!disout) fail("cannot write distance counts " + disPath);
        loadFittedTable(pot, "data/fittedE.txt");
    }
    const int capacity = dumpDis ? MAX_DUMP_DECOYS : MAX_DECOYS;

    std::vector<DecoyRecord> decoys;
    DecoyRecord cur;
    std::vector<int> counts(dumpDis ? FITTED_E_SIZE : 0);
    bool open = false, firstAtom = false;
    int lineNo = 0;
    long pos = 0;  // chain position of the current decoy residue
    std::string residueKey;
    std::set<std::string> seenAtoms;
    std::string line;
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.size() > 1000) line.resize(1000);
        if (line.compare(0, 5, "LOOP ") == 0) {
            std::istringstream ls(line);
            std::string w1, w2;
            cur = DecoyRecord();
            if (!(ls >> w1 >> w2 >> cur.s[0] >> cur.s[1] >> cur.s[2] >> cur.s[3]))
                fail(where(decoyFile, lineNo) + ": a LOOP line needs a label, a number and four scores");
            open = true;
            firstAtom = true;
        } else if (line.compare(0, 6, "ATOM  ") == 0) {
            if (!open) fail(where(decoyFile, lineNo) + ": ATOM record outside a decoy (no LOOP line since the last END)");
            if (line.size() < 54)
                fail(where(decoyFile, lineNo) + ": ATOM record of " + std::to_string(line.size()) +
                      " characters ends before the coordinates (column 54)");
            const int resNum = static_cast<int>(std::strtol(line.substr(22, 4).c_str(), nullptr, 10));
            // Residues follow each other in loop order: a new one starts where the
            // residue columns change or an atom name comes again (loops with
            // insertion codes or numbering jumps are written as they are numbered).
            const std::string key = line.substr(17, 10);
            const std::string atom = trimAtomName(line);
            if (firstAtom) {
                pos = start;
                firstAtom = false;
                residueKey = key;
                seenAtoms.clear();
            } else if (key != residueKey || seenAtoms.count(atom)) {
                ++pos;
                residueKey = key;
                seenAtoms.clear();
            }
            seenAtoms.insert(atom);
            if (pos > end)
                fail(where(decoyFile, lineNo) + ": residue " + std::to_string(resNum) + " is residue " + std::to_string(pos - start + 1) +
                     " of the decoy, but the loop has " + std::to_string(end - start + 1));
            auto aa = residueNames().code.find(line.substr(17, 3));
            if (aa == residueNames().code.end()) continue;
            const int t = residueType(aa->second);
            if (!isAminoAcid(t)) continue;
            Residue& r = residues[pos];
            r.type = static_cast<int16_t>(t);
            const std::string& name = atom;
            const int j = tm.slot(t, name);
            if (j < 0 || j >= MAX_ATOMS) continue;
            Atom& a = r.atoms[j];
            a.x = static_cast<float>(std::strtod(line.substr(30, 8).c_str(), nullptr));
            a.y = static_cast<float>(std::strtod(line.substr(38, 8).c_str(), nullptr));
            a.z = static_cast<float>(std::strtod(line.substr(46, 8).c_str(), nullptr));
            a.type = static_cast<int16_t>(tm.vdwType[t][j]);
            a.name = name;
            a.missing = 0;
        } else if (line.compare(0, 3, "END") == 0) {
            if (!open) continue;  // nothing to end (e.g. a closing PDB END record)
            if (static_cast<int>(decoys.size()) >= capacity)
                fail(where(decoyFile, lineNo) + ": more than " + std::to_string(capacity) + " decoys" +
                      (dumpDis ? " with -dumpdis" : "") + ", the most compare mode takes");
            cur.rmsd = rmsdg(work, native, start, end);
            if (dumpDis) {
                std::fill(counts.begin(), counts.end(), 0);
                if (dumpDistances(work, start, end, counts.data(), pot.fittedE, cur.e) == 1)
                    for (int k = 0; k < FITTED_E_SIZE; ++k)
                        if (counts[k] != 0) cur.counts.emplace_back(k, counts[k]);
            }
            decoys.push_back(std::move(cur));
            cur = DecoyRecord();
            open = false;
        }
    }

    const int n = static_cast<int>(decoys.size());
    if (n == 0) fail(decoyFile + " holds no complete decoy (a LOOP line, its ATOM records and an END line)");

    // Combined scores use the raw values; the normalised ones make z.
    double minC1 = std::numeric_limits<double>::infinity(), minC2 = minC1, minS0 = minC1, minS2 = minC1;
    std::vector<double> norm[4], rmsd(n);
    for (int k = 0; k < n; ++k) {
        const DecoyRecord& d = decoys[k];
        minC1 = std::min(minC1, 10.0 * d.s[3] + d.s[2]);
        minC2 = std::min(minC2, 10.0 * d.s[3] + d.s[0]);
        minS2 = std::min(minS2, d.s[2]);
        minS0 = std::min(minS0, d.s[0]);
        for (int q = 0; q < 4; ++q) norm[q].push_back(d.s[q]);
        rmsd[k] = d.rmsd;
    }
    for (auto& v : norm) vMedMAD(v);
    std::vector<double> z(n);
    for (int k = 0; k < n; ++k) z[k] = norm[0][k] + norm[1][k] + norm[2][k] + norm[3][k];
    double meanRmsd, sdRmsd;
    vMeanSd(rmsd, meanRmsd, sdRmsd);
    int best = 0, bestZ = -1;
    for (int k = 1; k < n; ++k)
        if (rmsd[k] < rmsd[best]) best = k;
    for (int k = 0; k < n; ++k)
        if (!std::isnan(z[k]) && (bestZ < 0 || z[k] < z[bestZ])) bestZ = k;
    if (bestZ < 0) bestZ = 0;
    result.rmsd = rmsd;
    result.z = z;
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
