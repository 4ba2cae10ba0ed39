#pragma once
// Helpers of the compare-mode tests: templates, the 5p21 example chain, a
// scratch working directory, and decoy files written from the native loop.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "model/atom.h"
#include "model/residue.h"
#include "model/structure.h"

namespace eval_test {

inline std::string sourcePath(const std::string& rel) { return std::string(LORVANE_SOURCE_DIR) + "/" + rel; }

inline bool templatesLoaded() {
    static int state = -1;
    if (state < 0) {
        const std::string path = sourcePath("data/atomProp2.txt");
        std::ifstream probe(path);
        std::ifstream pdb(sourcePath("examples/5p21.pdb"));
        if (!probe || !pdb) {
            state = 0;
        } else {
            Atom::vdw_adj = 1.0;
            Atom::InitPar(path.c_str(), "./");
            Residue::InitMap();
            Residue::InitPar(path.c_str(), "./", 0);
            state = 1;
        }
    }
    return state == 1;
}

#define REQUIRE_EVAL_INPUTS()                                                                                   \
    do {                                                                                                        \
        if (!eval_test::templatesLoaded()) GTEST_SKIP() << "data/atomProp2.txt or examples/5p21.pdb not present"; \
    } while (0)

// For death tests: the program's messages go to stdout, gtest matches stderr.
inline void stdoutToStderr() {
    std::fflush(stdout);
    dup2(STDERR_FILENO, STDOUT_FILENO);
}

// Runs a test body inside a fresh scratch directory (the compare mode writes
// relative to the working directory) and returns to the previous one.
class ScratchDir {
public:
    ScratchDir() {
        old_ = std::filesystem::current_path();
        char tmpl[] = "/tmp/lorvane_eval_XXXXXX";
        char* d = mkdtemp(tmpl);
        dir_ = d ? d : "/tmp";
        std::filesystem::current_path(dir_);
    }
    ~ScratchDir() {
        std::filesystem::current_path(old_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const std::filesystem::path& path() const { return dir_; }

private:
    std::filesystem::path old_, dir_;
};

inline void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::ofstream f(path);
    f << text;
}

// data/fittedE.txt in the working directory: value of index k = k * scale.
inline void writeFittedE(double scale, int fields = 24000) {
    std::ostringstream os;
    for (int k = 0; k < fields; ++k) os << (k ? " " : "") << k * scale;
    os << "\n";
    writeFile("data/fittedE.txt", os.str());
}

// One ATOM record as the sampler writes it (nothing after column 54).
inline std::string atomRecord(int serial, const std::string& name, const std::string& res, int resNum, double x, double y, double z) {
    char nm[8];
    if (name.size() >= 4)
        std::snprintf(nm, sizeof nm, "%s ", name.c_str());
    else
        std::snprintf(nm, sizeof nm, " %-3s ", name.c_str());
    char buf[96];
    std::snprintf(buf, sizeof buf, "ATOM  %5d %s%-3s A%4d    %8.3f%8.3f%8.3f", serial, nm, res.c_str(), resNum, x, y, z);
    return buf;
}

struct PdbAtom {
    std::string name, res;
    int resNum;
    double x, y, z;
};

// Heavy ATOM records of residues from..to of a PDB file, read here with
// plain column slicing (independent of the program's reader).
inline std::vector<PdbAtom> readAtoms(const std::string& path, int from, int to) {
    std::vector<PdbAtom> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 6, "ATOM  ") != 0 || line.size() < 54) continue;
        const int num = std::stoi(line.substr(22, 4));
        if (num < from || num > to) continue;
        std::string name = line.substr(12, 4);
        name.erase(0, name.find_first_not_of(' '));
        name.erase(name.find_last_not_of(' ') + 1);
        if (name[0] == 'H') continue;
        out.push_back({name, line.substr(17, 3), num, std::stod(line.substr(30, 8)), std::stod(line.substr(38, 8)),
                       std::stod(line.substr(46, 8))});
    }
    return out;
}

// Backbone RMSD over a loop from..to as compare mode defines it (C, O of the
// first residue; N, CA, C, O of those between; N, CA of the last), computed
// from two atom lists keyed by (residue number, name).
inline double loopRmsd(const std::vector<PdbAtom>& a, const std::vector<PdbAtom>& b, int from, int to) {
    std::map<std::pair<int, std::string>, const PdbAtom*> mb;
    for (const PdbAtom& x : b) mb[{x.resNum, x.name}] = &x;
    double sum = 0;
    int n = 0;
    for (const PdbAtom& x : a) {
        const bool use = (x.resNum == from && (x.name == "C" || x.name == "O")) ||
                         (x.resNum > from && x.resNum < to && (x.name == "N" || x.name == "CA" || x.name == "C" || x.name == "O")) ||
                         (x.resNum == to && (x.name == "N" || x.name == "CA"));
        if (!use) continue;
        auto it = mb.find({x.resNum, x.name});
        if (it == mb.end()) continue;
        const PdbAtom& y = *it->second;
        sum += (x.x - y.x) * (x.x - y.x) + (x.y - y.y) * (x.y - y.y) + (x.z - y.z) * (x.z - y.z);
        ++n;
    }
    return n ? std::sqrt(sum / n) : 0.0;
}

struct Decoy {
    double s[4];
    std::vector<PdbAtom> atoms;  // residue numbers as the decoy's own (absolute) numbers
};

// Writes decoys in the sampler's result-file layout; residue numbers are
// shifted by renumber (the file's numbers are relative: only differences count).
inline std::string decoyText(const std::vector<Decoy>& decoys, int renumber = 0) {
    std::ostringstream os;
    int w = 0;
    for (const Decoy& d : decoys) {
        char head[160];
        std::snprintf(head, sizeof head, "LOOP %d %.2f %.2f %.2f %.2f", ++w, d.s[0], d.s[1], d.s[2], d.s[3]);
        os << head << "\n";
        int serial = 1;
        for (const PdbAtom& a : d.atoms) os << atomRecord(serial++, a.name, a.res, a.resNum + renumber, a.x, a.y, a.z) << "\n";
        os << "END \n";
    }
    return os.str();
}

// Summary line of the compare mode: eight numbers.
inline std::vector<double> numbers(const std::string& line) {
    std::istringstream is(line);
    std::vector<double> v;
    double x;
    while (is >> x) v.push_back(x);
    return v;
}

}  // namespace eval_test
