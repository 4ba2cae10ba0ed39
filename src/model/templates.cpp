#include "model/templates.h"

#include <cmath>
#include <cstdio>
#include <fstream>

#include "model/error.h"
#include "model/geometry.h"
#include "model/strings.h"

namespace lorvane {

int Templates::slot(int t, const std::string& name) const {
    if (!isAminoAcid(t)) return -1;
    auto it = slotOf.find(std::string(ONE_LETTER[t]) + name);
    return it == slotOf.end() ? -1 : it->second;
}

namespace {

std::string firstChar(const std::string& s) { return s.empty() ? std::string() : s.substr(0, 1); }

// Reads the next row line of a section; a file that ends early is bad data.
void nextRow(std::ifstream& in, std::string& line, const std::string& file, const std::string& section, int k) {
    if (!std::getline(in, line)) fail(file + ": section " + section + " ends after " + std::to_string(k) + " rows");
}

void readAtomTypes(Templates& t, int k, const std::vector<std::string>& tok, const std::string& used) {
    const std::string code = tok.empty() ? "" : tok[0];
    if (residueNames().code.find(code) == residueNames().code.end()) fail("file reading error, wrong AA type " + code);
    if (k < NUM_AMINO_ACIDS && code != ONE_LETTER[k])
        fail(used + ": atomtype row " + std::to_string(k + 1) + " is for " + code + ", but residue type " + std::to_string(k) + " is " +
             ONE_LETTER[k]);
    int na = (static_cast<int>(tok.size()) - 2) / 3;
    if (na < 0) na = 0;
    if (na > MAX_ATOMS) fail(used + ": residue " + code + " has " + std::to_string(na) + " atoms, at most 30 fit");
    t.numAtom[k] = na;
    for (int j = 0; j < na; ++j) {
        const std::string& nm = tok[2 + 3 * j];
        t.atomName[k][j] = nm;
        t.vdwType[k][j] = static_cast<int>(toLong(tok[3 + 3 * j]));
        t.slotOf.emplace(code + nm, j);
    }
}

void readDependencies(Templates& t, int k, const std::vector<std::string>& tok, const std::string& used) {
    const std::string code = tok.size() > 1 ? tok[1] : "";
    if (code != oneLetter(k)) fail("atomDependency error, wrong AA type " + std::to_string(k) + " " + firstChar(code) + " " + oneLetter(k));
    for (int j = 0; 2 + 4 * j + 3 < static_cast<int>(tok.size()) && j < MAX_ATOMS; ++j) {
        const std::string& nm = tok[2 + 4 * j];
        if (nm != t.atomName[k][j])
            fail("atomDependency error,\twrong atom type " + nm + " " + t.atomName[k][j] + " " + std::to_string(k) + " " + std::to_string(j));
        for (int r = 0; r < 3; ++r) {
            const int v = static_cast<int>(toLong(tok[3 + 4 * j + r]));
            if (v < 0 || v >= MAX_ATOMS) fail(used + ": atomDependency of " + oneLetter(k) + " " + nm + " names slot " + std::to_string(v));
            t.refAtoms[k][j][r] = v;
        }
    }
}

void readBonds(Templates& t, int k, const std::vector<std::string>& tok) {
    const std::string code = tok.size() > 1 ? tok[1] : "";
    if (code != oneLetter(k)) fail("bondParameter error, wrong AA type " + std::to_string(k) + " " + firstChar(code));
    for (int j = 0; 2 + 3 * j + 2 < static_cast<int>(tok.size()) && j < MAX_ATOMS; ++j) {
        const std::string& nm = tok[2 + 3 * j];
        if (nm != t.atomName[k][j])
            fail("bondParamter error, wrong atom type " + std::to_string(k) + " " + std::to_string(j) + " " + std::to_string(2 + 3 * j) +
                 " " + nm + " " + t.atomName[k][j]);
        t.bondLength[k][j] = toDouble(tok[3 + 3 * j]);
        t.bondAngle[k][j] = toDouble(tok[4 + 3 * j]) * DEG2RAD;
    }
}

void readTorsions(Templates& t, int k, const std::vector<std::string>& tok) {
    for (int j = 0; 2 + 2 * j + 1 < static_cast<int>(tok.size()) && j < MAX_ATOMS; ++j) {
        const std::string& nm = tok[2 + 2 * j];
        if (nm != t.atomName[k][j]) fail("torsionAngle error, wrong atom type " + nm + " " + t.atomName[k][j]);
        const double v = toDouble(tok[3 + 2 * j]);
        t.torsion[k][j] = (v == FREE_CHI) ? FREE_CHI : v * DEG2RAD;
    }
}

}  // namespace

Templates loadTemplates(const std::string& path) {
    Templates t;
    std::ifstream in;
    const std::string used = openParameterFile(path, "./", in);
    std::string line;
    while (std::getline(in, line)) {
        char secbuf[64];
        int n = 0;
        if (std::sscanf(line.c_str(), "%*s %63s %d", secbuf, &n) != 2) continue;
        const std::string section = secbuf;
        if (section != "atomtype" && section != "atomDependency" && section != "bondParameter" && section != "torsionAngle") continue;
        if (n > NUM_TYPES) fail(used + ": section " + section + " has " + std::to_string(n) + " rows, at most 30 fit");
        for (int k = 0; k < n; ++k) {
            nextRow(in, line, used, section, k);
            const std::vector<std::string> tok = split(line, " ", false);
            if (section == "atomtype")
                readAtomTypes(t, k, tok, used);
            else if (section == "atomDependency")
                readDependencies(t, k, tok, used);
            else if (section == "bondParameter")
                readBonds(t, k, tok);
            else
                readTorsions(t, k, tok);
        }
    }
    for (int j = 0; j < SINCOS_BONDS; ++j) {
        t.sinCosBond[j][0] = std::sin(PI - t.bondAngle[0][j]);
        t.sinCosBond[j][1] = std::cos(PI - t.bondAngle[0][j]);
    }
    for (int k = 0; k < SINCOS_TORSIONS; ++k) {
        const double a = k * BIN_WIDTH - PI;
        t.sinCosTorsion[k][0] = std::sin(a);
        t.sinCosTorsion[k][1] = std::cos(a);
    }
    return t;
}

}  // namespace lorvane
