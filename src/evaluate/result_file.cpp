#include "evaluate/result_file.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "model/error.h"
#include "model/strings.h"

namespace lorvane {

namespace {

std::string trimAtomName(const std::string& line) {
    const char c13 = line[12], c14 = line[13], c15 = line[14], c16 = line[15];
    if (c13 != ' ') return c16 != ' ' ? std::string{c13, c14, c15, c16} : std::string{c13, c14, c15};
    if (c15 == ' ') return std::string{c14};
    if (c16 == ' ') return std::string{c14, c15};
    return std::string{c14, c15, c16};
}

std::string where(const std::string& file, int line) { return file + " line " + std::to_string(line); }

}  // namespace

const ResultAtom* ResultResidue::atom(const std::string& atomName) const {
    for (const ResultAtom& a : atoms)
        if (a.name == atomName) return &a;
    return nullptr;
}

std::vector<ResultConformation> readConformations(const std::string& path, int loopLength, int capacity, const std::string& tooMany) {
    if (!FileExists(path)) fail("Could not read Loops file " + path);
    std::ifstream in(path);
    if (!in) fail("cannot open pdb file " + path);
    std::vector<ResultConformation> out;
    ResultConformation cur;
    bool open = false;
    int lineNo = 0;
    std::string residueKey;
    std::set<std::string> seenAtoms;
    std::string line;
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.size() > 1000) line.resize(1000);
        if (line.compare(0, 5, "LOOP ") == 0) {
            std::istringstream ls(line);
            std::string w1, w2;
            cur = ResultConformation();
            if (!(ls >> w1 >> w2 >> cur.scores[0] >> cur.scores[1] >> cur.scores[2] >> cur.scores[3]))
                fail(where(path, lineNo) + ": a LOOP line needs a label, a number and four scores");
            open = true;
        } else if (line.compare(0, 6, "ATOM  ") == 0) {
            if (!open) fail(where(path, lineNo) + ": ATOM record outside a decoy (no LOOP line since the last END)");
            if (line.size() < 54)
                fail(where(path, lineNo) + ": ATOM record of " + std::to_string(line.size()) +
                     " characters ends before the coordinates (column 54)");
            const int resNum = static_cast<int>(std::strtol(line.substr(22, 4).c_str(), nullptr, 10));
            const std::string key = line.substr(17, 10);
            ResultAtom atom;
            atom.name = trimAtomName(line);
            if (cur.residues.empty() || key != residueKey || seenAtoms.count(atom.name)) {
                if (loopLength > 0 && static_cast<int>(cur.residues.size()) == loopLength)
                    fail(where(path, lineNo) + ": residue " + std::to_string(resNum) + " is residue " + std::to_string(loopLength + 1) +
                         " of the decoy, but the loop has " + std::to_string(loopLength));
                ResultResidue r;
                r.name = line.substr(17, 3);
                r.number = resNum;
                cur.residues.push_back(std::move(r));
                residueKey = key;
                seenAtoms.clear();
            }
            seenAtoms.insert(atom.name);
            atom.x = static_cast<float>(std::strtod(line.substr(30, 8).c_str(), nullptr));
            atom.y = static_cast<float>(std::strtod(line.substr(38, 8).c_str(), nullptr));
            atom.z = static_cast<float>(std::strtod(line.substr(46, 8).c_str(), nullptr));
            cur.residues.back().atoms.push_back(std::move(atom));
        } else if (line.compare(0, 3, "END") == 0) {
            if (!open) continue;  // nothing to end (e.g. a closing PDB END record)
            if (static_cast<int>(out.size()) >= capacity)
                fail(where(path, lineNo) + ": more than " + std::to_string(capacity) + " decoys" + tooMany);
            out.push_back(std::move(cur));
            cur = ResultConformation();
            open = false;
        }
    }
    if (out.empty()) fail(path + " holds no complete decoy (a LOOP line, its ATOM records and an END line)");
    return out;
}

std::vector<double> backboneCoordinates(const ResultConformation& c) {
    std::vector<double> xyz;
    const size_t n = c.residues.size();
    auto add = [&](size_t i, const char* name) {
        const ResultAtom* a = c.residues[i].atom(name);
        if (!a)
            fail("residue " + std::to_string(i + 1) + " (" + c.residues[i].name + " " + std::to_string(c.residues[i].number) +
                 ") of a conformation has no atom " + name);
        xyz.insert(xyz.end(), {double(a->x), double(a->y), double(a->z)});
    };
    if (n < 2) return xyz;
    add(0, "C"), add(0, "O");
    for (size_t i = 1; i + 1 < n; ++i)
        for (const char* name : {"N", "CA", "C", "O"}) add(i, name);
    add(n - 1, "N"), add(n - 1, "CA");
    return xyz;
}

double coordinateRmsd(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) fail("conformations of " + std::to_string(a.size() / 3) + " and " + std::to_string(b.size() / 3) + " backbone atoms compared");
    if (a.empty()) return 0.0;
    double sum = 0.0;
    for (size_t k = 0; k < a.size(); ++k) sum += (a[k] - b[k]) * (a[k] - b[k]);
    return std::sqrt(sum / double(a.size() / 3));
}

double backboneRmsd(const ResultConformation& a, const ResultConformation& b) {
    return coordinateRmsd(backboneCoordinates(a), backboneCoordinates(b));
}

}  // namespace lorvane
