#pragma once
// Helpers of the compare-mode tests: a scratch working directory, decoy files
// written in the sampler's layout, and loop RMSDs computed from PDB text
// independently of the program's reader.
#include <cmath>
#include <map>

#include "test_support.h"

namespace eval_test {

using lorvane_test::lines;
using lorvane_test::sourcePath;
using lorvane_test::templatesLoaded;
using lorvane_test::writeFile;

// The compare mode writes relative to the working directory: tests run inside this one.
struct ScratchDir : lorvane_test::ScratchDir {
    ScratchDir() : lorvane_test::ScratchDir(true) {}
};

struct PdbAtom {
    std::string name, res;
    int resNum;
    double x, y, z;
};

// Heavy ATOM records of residues from..to, read with plain column slicing.
inline std::vector<PdbAtom> readAtoms(const std::string& path, int from, int to) {
    std::vector<PdbAtom> out;
    for (const std::string& line : lines(lorvane_test::slurp(path))) {
        if (line.compare(0, 6, "ATOM  ") != 0 || line.size() < 54) continue;
        const int num = std::stoi(line.substr(22, 4));
        std::istringstream name(line.substr(12, 4));
        std::string nm;
        name >> nm;
        if (num >= from && num <= to && nm[0] != 'H')
            out.push_back({nm, line.substr(17, 3), num, std::stod(line.substr(30, 8)), std::stod(line.substr(38, 8)), std::stod(line.substr(46, 8))});
    }
    return out;
}

// Backbone RMSD over a loop from..to as compare mode defines it (C, O of the
// first residue; N, CA, C, O of those between; N, CA of the last), atoms matched
// by (residue number, name).
inline double loopRmsd(const std::vector<PdbAtom>& a, const std::vector<PdbAtom>& b, int from, int to) {
    std::map<std::pair<int, std::string>, const PdbAtom*> mb;
    for (const PdbAtom& x : b) mb[{x.resNum, x.name}] = &x;
    double sum = 0;
    int n = 0;
    for (const PdbAtom& x : a) {
        const bool bb = x.name == "N" || x.name == "CA" || x.name == "C" || x.name == "O";
        const bool use = (x.resNum == from && (x.name == "C" || x.name == "O")) || (x.resNum > from && x.resNum < to && bb) ||
                         (x.resNum == to && (x.name == "N" || x.name == "CA"));
        auto it = mb.find({x.resNum, x.name});
        if (!use || it == mb.end()) continue;
        sum += std::pow(x.x - it->second->x, 2) + std::pow(x.y - it->second->y, 2) + std::pow(x.z - it->second->z, 2);
        ++n;
    }
    return n ? std::sqrt(sum / n) : 0.0;
}

// One ATOM record as the sampler writes it (nothing after column 54).
inline std::string atomRecord(int serial, const std::string& name, const std::string& res, int resNum, double x, double y, double z) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "ATOM  %5d  %-3s %-3s A%4d    %8.3f%8.3f%8.3f", serial, name.c_str(), res.c_str(), resNum, x, y, z);
    return buf;
}

struct Decoy {
    double s[4];
    std::vector<PdbAtom> atoms;
};

// Decoys in the result-file layout, residue numbers shifted by renumber (the
// file's numbers are relative: only differences count).
inline std::string decoyText(const std::vector<Decoy>& decoys, int renumber = 0) {
    std::ostringstream os;
    int w = 0;
    for (const Decoy& d : decoys) {
        os << "LOOP " << ++w << " " << d.s[0] << " " << d.s[1] << " " << d.s[2] << " " << d.s[3] << "\n";
        int serial = 1;
        for (const PdbAtom& a : d.atoms) os << atomRecord(serial++, a.name, a.res, a.resNum + renumber, a.x, a.y, a.z) << "\n";
        os << "END \n";
    }
    return os.str();
}

// The numbers of a line.
inline std::vector<double> numbers(const std::string& line) {
    std::istringstream is(line);
    std::vector<double> v;
    for (double x; is >> x;) v.push_back(x);
    return v;
}

}  // namespace eval_test
