// Loaders of the potential tables: the pair tables and atom-type keys, the
// polar-group records and OSCAR coefficients (loadPairTables), the QUENDA loop
// table, the rotamer library and the decoy pair table.
//
// Every loader checks the indices it reads against the table shapes before
// writing, and stops with the file and line at fault when a value does not
// fit: the tables are fixed-size arrays read without bounds checks later.
#include <cmath>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

#include "model/error.h"
#include "model/geometry.h"
#include "model/strings.h"
#include "potentials/potentials.h"
#include "potentials/text_scan.h"

namespace lorvane {

namespace {

using textscan::Lines;
using textscan::nextToken;
using textscan::parseDouble;
using textscan::parseInt;

std::string at(const std::string& path, int line) { return path + " line " + std::to_string(line); }

std::string str(std::string_view v) { return std::string(v); }

void makeKey(std::string& key, std::string_view res, std::string_view atom) {
    key.assign(res);
    key += ' ';
    key += atom;
}

// Reads `count` numbers after the atom keys of a pair-file line.
void readEnergies(std::string_view& rest, double* e, int count, const std::string& path, int line) {
    std::string_view tok;
    int n = 0;
    while (n < count && nextToken(rest, tok)) {
        if (!parseDouble(tok, e[n]))
            fail(at(path, line) + ": '" + str(tok) + "' is not a number");
        ++n;
    }
    if (n < count)
        fail(at(path, line) + ": " + std::to_string(n) + " energies, " + std::to_string(count) + " expected");
}

// Splits "RES1 ATOM1 RES2 ATOM2 ..." into the two keys; false for a blank line.
bool readKeys(std::string_view& rest, std::string& key1, std::string& key2, const std::string& path, int line) {
    std::string_view r1, a1, r2, a2;
    if (!nextToken(rest, r1)) return false;
    if (!nextToken(rest, a1) || !nextToken(rest, r2) || !nextToken(rest, a2))
        fail(at(path, line) + ": expected two residue and atom names before the energies");
    makeKey(key1, r1, a1);
    makeKey(key2, r2, a2);
    return true;
}

// Reads a pair file whole. A file that cannot be read stops the run when
// neededBy names what needs it; otherwise it is noted and false returned.
bool readPairFile(const std::string& path, const char* library, const char* neededBy, std::string& text) {
    if (textscan::readWholeFile(path, text)) return true;
    const std::string message = std::string("cannot open ") + library + " library! ";
    if (neededBy) fail(message + path + " is needed by " + neededBy);
    std::cout << message << std::endl;
    return false;
}

// Every data line "RES1 ATOM1 RES2 ATOM2 e0 .. e(count-1)" of a pair file
// (comments and blank lines skipped): onLine(key1, key2, e, lineNumber).
template <class OnLine>
void forEachPairLine(const std::string& text, const std::string& path, double* e, int count, OnLine&& onLine) {
    Lines lines(text);
    std::string_view line;
    std::string key[2];
    while (lines.next(line)) {
        if (!line.empty() && line[0] == '#') continue;
        std::string_view rest = line;
        if (!readKeys(rest, key[0], key[1], path, lines.number())) continue;
        readEnergies(rest, e, count, path, lines.number());
        onLine(key, lines.number());
    }
}

// DFIRE pair file: defines the atom-type keys (in order of first use) and edfire;
// in mode 2 also the sampling table, re-binned from 0.5 A distance bins to 1 A^2 bins.
void loadDfire(Potentials& p, const std::string& path, int mode) {
    std::string text;
    if (!readPairFile(path, "DFIRE2", mode == 2 ? "the DFIRE sampling table" : nullptr, text)) return;
    // Squared-distance bins [lo, hi) covered by distance bin i.
    int lo[DFIRE_BINS], hi[DFIRE_BINS];
    for (int i = 0; i < DFIRE_BINS; ++i) {
        lo[i] = static_cast<int>(std::floor(i * i / 4.0 + 0.8));
        hi[i] = static_cast<int>(std::floor((i + 1) * (i + 1) / 4.0 + 0.8));
    }
    double e[DFIRE_BINS];
    forEachPairLine(text, path, e, DFIRE_BINS, [&](const std::string* key, int lineNo) {
        int t[2];
        for (int m = 0; m < 2; ++m) {
            auto it = p.pairTypes.find(key[m]);
            if (it != p.pairTypes.end()) {
                t[m] = it->second;
                continue;
            }
            int next = static_cast<int>(p.pairTypes.size());
            if (next >= NUM_PAIR_TYPES)
                fail("something wrong with the energy file " + at(path, lineNo) + ": atom type '" + key[m] +
                      "' would be type " + std::to_string(next) + ", the table holds types 0.." +
                      std::to_string(NUM_PAIR_TYPES - 1));
            p.pairTypes.emplace(key[m], next);
            t[m] = next;
        }
        for (int i = 0; i < DFIRE_BINS; ++i) {
            p.edfire[t[0]][t[1]][i] = e[i];
            p.edfire[t[1]][t[0]][i] = e[i];
        }
        if (mode == 2) {
            for (int i = 0; i < DFIRE_BINS; ++i)
                for (int j = lo[i]; j < hi[i]; ++j) {
                    p.etable[t[0]][t[1]][j] = e[i];
                    p.etable[t[1]][t[0]][j] = e[i];
                }
        }
    });
}

// QUENDA pair file: the mode-1 sampling table and, in both modes, the clash distances.
void loadQuendaPair(Potentials& p, const std::string& path, int mode) {
    std::string text;
    if (!readPairFile(path, "QUENDA", mode == 1 ? "the sampling pair table" : nullptr, text)) return;
    double e[ETABLE_BINS];
    forEachPairLine(text, path, e, ETABLE_BINS, [&](const std::string* key, int lineNo) {
        // A key the DFIRE file did not define is filed under type 0.
        int t1 = p.pairTypes[key[0]];
        int t2 = p.pairTypes[key[1]];
        if (t1 < 0 || t2 < 0 || t1 >= NUM_PAIR_TYPES || t2 >= NUM_PAIR_TYPES)
            fail("something wrong with the energy file " + at(path, lineNo) + ": pair type out of range");
        if (mode == 1) {
            std::memcpy(p.etable[t1][t2], e, sizeof e);
            std::memcpy(p.etable[t2][t1], e, sizeof e);
        }
        for (int k = 1; k < ETABLE_BINS; ++k)
            if (e[k] < 100.0 && e[k - 1] > 100.0) p.ljClash[t1][t2] = p.ljClash[t2][t1] = (k - 1) * 0.1;
    });
}

// Copies a token into a four-character field of a dipole record.
void storeShort(char* field, std::string_view tok, const std::string& path, int line) {
    if (tok.size() > 3)
        fail(at(path, line) + ": '" + str(tok) + "' is longer than 3 characters");
    std::memcpy(field, tok.data(), tok.size());
    field[tok.size()] = '\0';
}

// Polar-group records: "RES name" starts a record, each "ATO id count n1 [n2 [n3]] label" adds a group atom.
void loadDipole(Potentials& p, const std::string& path) {
    std::string text;
    if (!textscan::readWholeFile(path, text)) return;
    int rec = -1, count = 0;
    Lines lines(text);
    std::string_view line;
    while (lines.next(line)) {
        const int ln = lines.number();
        if (line.substr(0, 3) == "RES") {
            if (rec >= 0) p.dipoles[rec].atomCount = count;
            if (++rec >= MAX_DIPOLE_RECORDS)
                fail(at(path, ln) + ": more than " + std::to_string(MAX_DIPOLE_RECORDS) + " residue records");
            count = 0;
            std::string_view rest = line.size() > 4 ? line.substr(4) : std::string_view(), tok;
            if (!nextToken(rest, tok)) fail(at(path, ln) + ": RES line without a residue name");
            storeShort(p.dipoles[rec].resName, tok, path, ln);
        } else if (line.substr(0, 3) == "ATO") {
            if (rec < 0) fail(at(path, ln) + ": group atom before the first RES line");
            if (count >= MAX_GROUP_ATOMS)
                fail(at(path, ln) + ": more than " + std::to_string(MAX_GROUP_ATOMS) + " group atoms in one residue record");
            DipoleRecord& d = p.dipoles[rec];
            std::string_view rest = line.size() > 4 ? line.substr(4) : std::string_view(), id, cnt;
            int c = 0;
            if (!nextToken(rest, id) || !nextToken(rest, cnt) || !parseInt(cnt, c))
                fail(at(path, ln) + ": expected an atom id and a neighbour count");
            if (c < 0 || c > 3) fail(at(path, ln) + ": neighbour count " + std::to_string(c) + " outside 0..3");
            storeShort(d.atomIdText[count], id, path, ln);
            d.atomId[count] = textscan::leadingInt(id);
            d.neighbourCount[count] = c;
            if (c >= 1) {
                std::string_view tail = line.size() > 12 ? line.substr(12) : std::string_view(), tok;
                for (int m = 0; m < c; ++m) {
                    if (!nextToken(tail, tok)) fail(at(path, ln) + ": fewer neighbour atoms than the count " + std::to_string(c));
                    storeShort(d.neighbourText[count][m], tok, path, ln);
                    d.neighbourId[count][m] = textscan::leadingInt(tok);
                }
                if (!nextToken(tail, tok)) fail(at(path, ln) + ": group atom without a class label");
                storeShort(d.atomLabel[count], tok, path, ln);
            }
            ++count;
        }
    }
    if (rec >= 0) p.dipoles[rec].atomCount = count;
    p.numDipoles = rec + 1;
}

// Whitespace-separated tokens of a whole file, with the line of the last token read.
class TokenStream {
public:
    explicit TokenStream(std::string_view text) : rest_(text) {}
    bool next(std::string_view& tok) {
        size_t i = 0;
        while (i < rest_.size() && textscan::isBlank(rest_[i])) {
            if (rest_[i] == '\n') ++line_;
            ++i;
        }
        rest_.remove_prefix(i);
        if (rest_.empty()) return false;
        size_t j = 0;
        while (j < rest_.size() && !textscan::isBlank(rest_[j])) ++j;
        tok = rest_.substr(0, j);
        rest_.remove_prefix(j);
        return true;
    }
    int line() const { return line_; }

private:
    std::string_view rest_;
    int line_ = 1;
};

void loadOscar(Potentials& p, const std::string& path) {
    std::string text;
    if (!textscan::readWholeFile(path, text)) return;
    TokenStream ts(text);
    std::string_view tok;
    auto number = [&](double& v, const char* part) {
        if (!ts.next(tok)) fail(path + ": the file ends inside the " + part);
        if (!parseDouble(tok, v)) fail(at(path, ts.line()) + ": '" + str(tok) + "' is not a number");
    };
    for (int t = 0; t < 20; ++t)
        for (int k = 0; k < NUM_SC_DIHEDRALS[t]; ++k) {
            for (int skip = 0; skip < 2; ++skip)
                if (!ts.next(tok)) fail(path + ": the file ends inside the side-chain torsion coefficients");
            for (int m = 0; m < 6; ++m) number(p.pcs[t][k][m], "side-chain torsion coefficients");
        }
    auto classOf = [&](std::string_view name) {
        for (int c = 0; c < 16; ++c)
            if (name == OSCAR_CLASS_NAMES[c]) return c;
        fail(at(path, ts.line()) + ": '" + str(name) + "' is not a side-chain atom class");
    };
    std::string_view n1, n2;
    while (ts.next(n1)) {
        int i = classOf(n1);
        if (!ts.next(n2)) fail(path + ": the file ends inside a class-pair record");
        int j = classOf(n2);
        double v[14];
        for (int m = 0; m < 14; ++m) number(v[m], "class-pair records");
        for (int m = 0; m < 10; ++m) p.pb[i][j][4 + m] = v[m];
        for (int m = 0; m < 4; ++m) p.pb[i][j][m] = v[10 + m];
        if (n1 == "O" && n2 == "O") break;  // the O-O record closes the list
    }
}

}  // namespace

RotamerTable::RotamerTable()
    : chi(zeroedArray<double[MAX_ROTAMERS][4]>(NUM_AMINO_ACIDS)),
      resolved(zeroedArray<double[MAX_ROTAMERS][4]>(NUM_AMINO_ACIDS)) {}

Potentials::Potentials()
    : etable(zeroedArray<double[PAIR_TABLE_TYPES][ETABLE_BINS]>(PAIR_TABLE_TYPES)),
      edfire(zeroedArray<double[NUM_PAIR_TYPES][DFIRE_BINS]>(NUM_PAIR_TYPES)),
      ljClash(zeroedArray<double[PAIR_TABLE_TYPES]>(PAIR_TABLE_TYPES)),
      quenda(zeroedArray<double[QUENDA_CLASSES][QUENDA_BINS]>(QUENDA_CLASSES)) {}

void loadPairTables(Potentials& p, int mode, const std::string& dataDir) {
    if (mode == 1) {
        p.maxDis2 = 64.0;
        p.binsPerA = 10.0;
    } else if (mode == 2) {
        p.maxDis2 = 225.0;
        p.binsPerA = 1.0;
    } else {
        fail("pair-table mode " + std::to_string(mode) + " is neither 1 (QUENDA) nor 2 (DFIRE)");
    }
    std::cout << "Loading parameters... " << std::endl;
    // Fresh zero pages rather than clearing: the sampling table alone is 144 MB.
    p.etable = zeroedArray<double[PAIR_TABLE_TYPES][ETABLE_BINS]>(PAIR_TABLE_TYPES);
    p.edfire = zeroedArray<double[NUM_PAIR_TYPES][DFIRE_BINS]>(NUM_PAIR_TYPES);
    p.ljClash = zeroedArray<double[PAIR_TABLE_TYPES]>(PAIR_TABLE_TYPES);
    p.pairTypes.clear();
    for (DipoleRecord& d : p.dipoles) d = DipoleRecord();
    p.numDipoles = 0;
    std::memset(p.pcs, 0, sizeof p.pcs);
    std::memset(p.pb, 0, sizeof p.pb);

    loadDfire(p, dataDir + "/dfire_pair.lib", mode);
    loadQuendaPair(p, dataDir + "/QUENDApair.lib", mode);
    loadDipole(p, dataDir + "/dipole.fress");
    loadOscar(p, dataDir + "/oscarparams.txt");
}

void loadQuenda(Potentials& p, const std::string& path) {
    std::string text;
    if (!textscan::readWholeFile(path, text)) fail("Error!!! Cannot open QUENDA potential file! " + path);
    std::fill_n(&p.quenda[0][0][0], QUENDA_CLASSES * QUENDA_CLASSES * QUENDA_BINS, 0.0);
    Lines lines(text);
    std::string_view line;
    while (lines.next(line)) {
        if (line.size() < 3 || line[0] == '#') continue;
        std::vector<std::string> f = split(std::string(line), " ", true);
        if (f.size() != 6) continue;
        long k = toLong(f[0]), a = toLong(f[1]), b = toLong(f[2]);
        if (k < 0 || k >= QUENDA_BINS || a < 0 || a >= QUENDA_CLASSES || b < 0 || b >= QUENDA_CLASSES)
            fail(at(path, lines.number()) + ": bin " + std::to_string(k) + " or class pair " + std::to_string(a) + " " +
                 std::to_string(b) + " outside the table (bins 0..79, classes 0..19)");
        const double e = toDouble(f[5]);
        p.quenda[a][b][k] = e;
        p.quenda[b][a][k] = e;
    }
}

void loadRotamers(Potentials& p, const std::string& path, bool required) {
    RotamerTable& lib = p.rotamers;
    std::fill(std::begin(lib.count), std::end(lib.count), 0);
    std::fill_n(&lib.chi[0][0][0], NUM_AMINO_ACIDS * MAX_ROTAMERS * 4, 0.0);
    std::fill_n(&lib.resolved[0][0][0], NUM_AMINO_ACIDS * MAX_ROTAMERS * 4, 0.0);
    std::string text;
    if (!textscan::readWholeFile(path, text)) {
        if (required) fail("cannot open rotamer library " + path);
        return;
    }
    int t = -1, n = 0;
    Lines lines(text);
    std::string_view line;
    while (lines.next(line)) {
        if (line.empty()) break;  // an empty line ends the library
        const int ln = lines.number();
        std::vector<std::string> f = split(std::string(line), " ", true);
        if (f[0] == "//") {
            if (t >= 0) lib.count[t] = n;
            ++t;
            n = 0;
            if (t > NUM_AMINO_ACIDS) fail(at(path, ln) + ": more than 20 residue-type blocks");
            continue;
        }
        if (t < 0) fail(at(path, ln) + ": rotamer line before the first // line");
        if (t >= NUM_AMINO_ACIDS) fail(at(path, ln) + ": rotamer line after the last residue-type block");
        if (n >= MAX_ROTAMERS)
            fail(at(path, ln) + ": more than " + std::to_string(MAX_ROTAMERS) + " rotamers for residue type " + std::to_string(t));
        for (int m = 0; m < NUM_CHI[t]; ++m) {
            if (m >= static_cast<int>(f.size()) || f[m].empty())
                fail(at(path, ln) + ": " + std::to_string(NUM_CHI[t]) + " angles expected for residue type " + std::to_string(t));
            const double x = std::strtod(f[m].c_str(), nullptr) * DEG2RAD;
            lib.chi[t][n][m] = x;
            if (x > 20.0) {
                // Placeholder: the angle repeats the previous rotamer's.
                if (n == 0) fail(at(path, ln) + ": placeholder angle in the first rotamer of residue type " + std::to_string(t));
                lib.resolved[t][n][m] = lib.resolved[t][n - 1][m];
            } else {
                lib.resolved[t][n][m] = x;
            }
        }
        ++n;
    }
}

void loadFittedTable(Potentials& p, const std::string& path) {
    std::string text;
    if (!textscan::readWholeFile(path, text)) fail("cannot open fitted pair table " + path);
    Lines lines(text);
    std::string_view line;
    if (!lines.next(line)) line = std::string_view();
    std::vector<std::string> f = split(std::string(line), " ", true);
    if (static_cast<int>(f.size()) < FITTED_E_SIZE)
        fail(at(path, 1) + ": " + std::to_string(f.size()) + " fields, " + std::to_string(FITTED_E_SIZE) + " expected");
    p.fittedE.assign(FITTED_E_SIZE, 0.0);
    for (int k = 0; k < FITTED_E_SIZE; ++k) p.fittedE[k] = toDouble(f[k]);
}

}  // namespace lorvane
