#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "model/pdb_reader.h"

#include "model/error.h"
#include "model/secondary_structure.h"
#include "model/strings.h"
#include "model/text_scan.h"

namespace lorvane {

namespace {

std::string trimAtomName(const std::string& line) {
    char c13 = line[12], c14 = line[13], c15 = line[14], c16 = line[15];
    std::string out;
    if (c13 != ' ') {
        out = {c13, c14, c15};
        if (c16 != ' ') out += c16;
    } else if (c15 == ' ') {
        out = {c14};
    } else if (c16 == ' ') {
        out = {c14, c15};
    } else {
        out = {c14, c15, c16};
    }
    return out;
}

}  // namespace

bool readPdb(const Templates& t, const std::string& path, Structure& s, const std::set<std::string>& filter, int verbose) {
    if (!FileExists(path)) fail("Could not read PDB file " + path);
    std::ifstream in(path);
    if (!in) fail("cannot open pdb file " + path);
    return readPdbStream(t, in, path, s, filter, verbose);
}

bool readPdbStream(const Templates& tm, std::istream& in, const std::string& path, Structure& s, const std::set<std::string>& filter,
                   int verbose) {
    std::vector<Residue>& residues = s.residues;
    for (int i = 1; i <= s._numRes && i <= s.capacity(); ++i)
        for (Atom& a : residues[i].atoms) a.missing = 1;
    if (verbose == 1) std::cerr << "Reading protein's coordinates..." << std::endl;
    if (s.capacity() < MAX_RESIDUES) residues.resize(MAX_RESIDUES + 1, Residue());  // grow without disturbing what is held now

    int n = 0, blank = 0, prevNum = -1000, chains = 0;
    std::string prevChain = "**";
    std::string skippedKey;  // residue without a template, warned once
    int numChainIds = 0;
    std::string newChainIds;
    int newChainStart[MAX_CHAINS] = {};
    bool newGap[MAX_RESIDUES + 1] = {};
    bool anyGap = false;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.size() > 1000) line.resize(1000);
        if (line.empty()) {
            if (++blank >= 1001) {
                std::cerr << "The input structure has a bad chunk in it somewhere, "
                          << "which has caused over 1,000 blank lines in the file." << std::endl;
                return false;
            }
            continue;
        }
        if (line.compare(0, 6, "ATOM  ") != 0) continue;
        for (size_t c = 0; c < line.size(); ++c) {
            unsigned char ch = static_cast<unsigned char>(line[c]);
            if (!std::isprint(ch) && !std::isspace(ch)) {
                std::cerr << path << " has a malformed atom line in residue " << n << " and it is " << line[c] << " at character " << c
                          << std::endl;
                return false;
            }
        }
        if (line.size() < 54 || line.size() > 900) {
            std::cerr << path << " has a malformed atom line in residue " << n << " that, with " << line.size() << " characters, falls outside"
                      << " the line width region" << std::endl;
            return false;
        }
        if (n == 1 && line.compare(12, 3, "3H ") == 0) line[12] = ' ';
        if (line[13] == 'D' || (line[16] != 'A' && line[16] != ' ') || line[26] != ' ') continue;
        int num = static_cast<int>(std::strtol(line.substr(22, 4).c_str(), nullptr, 10));
        std::string chain = line.substr(21, 1);
        if (!filter.empty() && filter.find(chain + std::to_string(num)) == filter.end()) continue;

        if (n == 0 || num != prevNum || chain != prevChain) {
            std::string resName = line.substr(17, 3);
            auto aa = residueNames().code.find(resName);
            if (aa == residueNames().code.end()) continue;
            const int type = residueType(aa->second);
            if (!isAminoAcid(type) || tm.numAtom[type] == 0) {
                // Unknown residues and nucleotides have no amino-acid template: keep them out of the chain.
                std::string key = chain + std::to_string(num) + resName;
                if (key != skippedKey) {
                    std::cerr << "Warning: " << path << " residue " << resName << " " << chain << num
                              << " has no amino-acid template and is skipped" << std::endl;
                    skippedKey = key;
                }
                continue;
            }
            bool chainChange = chain != prevChain;
            if (n > 0 && (num != prevNum + 1 || chainChange)) {
                // A chain change always breaks the bond, even when the numbering runs on.
                if (n <= MAX_RESIDUES) newGap[n] = true;
                anyGap = true;
                if (verbose) std::cerr << "readPdb found missing residue between " << prevNum << " and " << num << std::endl;
            }
            ++n;
            prevNum = num;
            if (chainChange) {
                if (chains >= MAX_CHAINS) {
                    std::cerr << path << " has more than " << MAX_CHAINS << " chains (chain " << chain << " at residue " << num
                              << "), which is more than the program handles" << std::endl;
                    return false;
                }
                newChainIds += chain;
                newChainStart[chains++] = n;
                numChainIds = chains;
            }
            prevChain = chain;
            if (n <= MAX_RESIDUES) {
                Residue& r = residues[n];
                r.init();
                for (Atom& a : r.atoms) a.missing = 1;
                r.numAtoms = 0;
                r.pdbNum = num;
                r.type = static_cast<int16_t>(type);
            }
        }
        if (n > MAX_RESIDUES) continue;  // counted for the message only
        Residue& r = residues[n];
        const int t = r.type;
        std::string atomName = trimAtomName(line);
        const int j = tm.slot(t, atomName);
        double xyz[3];
        for (int c = 0; c < 3; ++c) {
            std::string_view field = std::string_view(line).substr(30 + 8 * c, 8);
            while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
            while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
            if (!textscan::parseFinite(field, xyz[c])) {
                std::cerr << path << " line " << lineNo << ": coordinate \"" << line.substr(30 + 8 * c, 8) << "\" is not a finite number"
                          << std::endl;
                return false;
            }
        }
        const float x = static_cast<float>(xyz[0]), y = static_cast<float>(xyz[1]), z = static_cast<float>(xyz[2]);
        if (j >= 0) {
            Atom& a = r.atoms[j];
            a.type = static_cast<int16_t>(tm.vdwType[t][j]);
            if (line.size() > 66) a.bfactor = std::strtod(line.substr(60, 6).c_str(), nullptr);
            a.name = atomName;
            a.x = x;
            a.y = y;
            a.z = z;
            a.missing = 0;
            r.numAtoms++;
        } else {
            const int last = tm.numAtom[t];
            std::string col = line.substr(12, 3);
            if (atomName == "OXT" && last < MAX_ATOMS) {
                Atom& a = r.atoms[last];
                a.x = x, a.y = y, a.z = z;
                a.name = "OXT";
                a.missing = 0;
                a.oscarType = 7;
                a.type = 20;
                if (verbose) std::cerr << "Found OXT\n";
            } else if (n == 1 && (col == "1H " || col == "2H ")) {
                int slotH = col == "1H " ? last : last + 1;
                if (slotH < MAX_ATOMS) {
                    Atom& a = r.atoms[slotH];
                    a.x = x, a.y = y, a.z = z;
                    a.name = atomName;
                    a.missing = 0;
                    a.type = 23;
                    if (verbose) std::cerr << (col == "1H " ? "Found 1H for N-terminus\n" : "Found 2H for N-terminus\n");
                }
            }
        }
    }
    if (n == 0) {
        std::cerr << path << " has no atoms" << std::endl;
        return false;
    }
    if (n > MAX_RESIDUES) {
        std::cerr << path << " has " << n << " residues, but the most allowed " << "is " << MAX_RESIDUES << std::endl;
        return false;
    }
    s.chainIds = newChainIds;
    for (int c = 0; c < MAX_CHAINS; ++c) s.chainStart[c] = c < numChainIds ? newChainStart[c] : 0;
    for (int i = 0; i <= MAX_RESIDUES; ++i) s.gapAfter[i] = newGap[i];
    s.hasGap = anyGap;
    s.incomplete = anyGap;
    if (verbose) std::cerr << "Number of residues is " << n << "." << std::endl;
    s._numRes = n;
    finishChain(tm, s, path, verbose);
    return true;
}

void finishChain(const Templates& tm, Structure& s, const std::string& path, int verbose) {
    const int n = s._numRes;
    s.residues[n].atoms[SLOT_C].oscarType = 5;  // OSCAR classes "CG" and "OC" of the C-terminal carboxylate
    s.residues[n].atoms[SLOT_O].oscarType = 7;
    for (int i = 1; i <= n; ++i) {
        Residue& r = s.residues[i];
        const int t = r.type;
        for (int j = 0; j < tm.numAtom[t]; ++j) {
            if ((t == GLY && j == SLOT_CB) || (t == PRO && j == SLOT_H)) continue;
            if (r.atoms[j].type != ABSENT) continue;
            s.incomplete = true;
            if (tm.vdwType[t][j] < 22) r.missingHeavy = true;
            if (verbose) {
                std::cerr << path << " Atom missing for residue " << i << ", " << threeLetter(t) << ", atom " << j << ", "
                          << tm.atomName[t][j] << std::endl;
                if (j < 4) std::cerr << "Missing backbone atom cannot continue\n";
            }
        }
        r.numAtoms = static_cast<int16_t>(tm.numAtom[t]);
    }
    assign_ss(s, 1, n);
    s.name = File2ProtName(path);
}

void readSeq(const Templates& t, const std::string& path, Structure& s) {
    std::ifstream in(path);
    if (!in) fail("cannot open pdb file " + path);
    std::string line;
    std::getline(in, line);  // whole line: a cut sequence would pass silently as a shorter protein
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (static_cast<int>(line.size()) > MAX_RESIDUES)
        fail(path + " has " + std::to_string(line.size()) + " residues, but the most allowed is " + std::to_string(MAX_RESIDUES));
    if (line.empty()) fail(path + " has no sequence");
    const int n = static_cast<int>(line.size());
    if (s.capacity() < n) s.init(n);
    for (int k = 0; k < n; ++k) {
        const std::string c(1, line[k]);
        const int type = residueType(c);
        if (!isAminoAcid(type) || t.numAtom[type] == 0) fail("Residue type error! " + c);
        Residue& r = s.residues[k + 1];
        r.type = static_cast<int16_t>(type);
        r.pdbNum = k + 1;
        r.numAtoms = static_cast<int16_t>(t.numAtom[type]);
        for (int j = 0; j < t.numAtom[type]; ++j) {
            r.atoms[j].type = static_cast<int16_t>(t.vdwType[type][j]);
            r.atoms[j].name = t.atomName[type][j];
        }
    }
    s._numRes = n;
}

}  // namespace lorvane
