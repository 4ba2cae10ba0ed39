// Loaders of the potential tables: the pair tables and atom-type keys, the
// polar-group records and OSCAR coefficients (loadPairTables), the QUENDA loop
// table, the rotamer library and the decoy pair table.
//
// Every file is required and read strictly: each line must have the fields
// its format holds, every number must be a whole finite field, indices must
// fit the tables, and every entry the tables hold must be given exactly once
// (the tables are fixed-size arrays read without checks later, and an entry
// left zero would be taken for a measured value). Anything else stops the
// program naming the file and line.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "model/error.h"
#include "model/geometry.h"
#include "model/table_text.h"
#include "model/text_scan.h"
#include "potentials/potentials.h"

namespace lorvane {

namespace {

using Fields = std::vector<std::string_view>;

bool skipped(std::string_view line) { return line.empty() || line[0] == '#' || textscan::isBlankLine(line); }

constexpr int NUM_PAIRS = NUM_PAIR_TYPES * (NUM_PAIR_TYPES + 1) / 2;  // unordered type pairs, a type with itself included

// Lines of the two pair files seen per unordered type pair, for the count check.
class PairCoverage {
public:
    PairCoverage() : line_(static_cast<size_t>(NUM_PAIR_TYPES) * NUM_PAIR_TYPES, 0) {}
    void mark(const TableText& in, int a, int b, const std::string& k1, const std::string& k2) {
        int& first = line_[static_cast<size_t>(std::min(a, b)) * NUM_PAIR_TYPES + std::max(a, b)];
        if (first != 0) in.fail("second line for the pair " + k1 + " / " + k2 + " (the first is line " + std::to_string(first) + ")");
        first = in.line();
        ++count_;
    }
    void expectAll(const TableText& in) const {
        if (count_ == NUM_PAIRS) return;
        for (int a = 0; a < NUM_PAIR_TYPES; ++a)
            for (int b = a; b < NUM_PAIR_TYPES; ++b)
                if (line_[static_cast<size_t>(a) * NUM_PAIR_TYPES + b] == 0)
                    in.failFile(std::to_string(count_) + " type pairs, " + std::to_string(NUM_PAIRS) + " expected (every pair of the " +
                                std::to_string(NUM_PAIR_TYPES) + " atom types once; the file may be cut short)");
    }

private:
    std::vector<int> line_;
    int count_ = 0;
};

// "RES1 ATOM1 RES2 ATOM2" followed by `count` finite energies.
void readPairLine(const TableText& in, const Fields& f, int count, std::string key[2], double* e) {
    if (f.size() != static_cast<size_t>(4 + count))
        in.fail(std::to_string(f.size()) + " fields, " + std::to_string(4 + count) + " expected (two residue and atom names, " +
                std::to_string(count) + " energies)");
    for (int m = 0; m < 2; ++m) {
        key[m].assign(f[2 * m]);
        key[m] += ' ';
        key[m] += f[2 * m + 1];
    }
    for (int i = 0; i < count; ++i) e[i] = in.number(f[4 + i]);
}

// Copies a field into a four-character field of a dipole record.
void storeShort(const TableText& in, char* field, std::string_view tok) {
    if (tok.size() > 3) in.fail(quoted(tok) + " is longer than 3 characters");
    std::memcpy(field, tok.data(), tok.size());
    field[tok.size()] = '\0';
}

int oscarClass(const TableText& in, std::string_view name) {
    for (int c = 0; c < OSCAR_CLASSES; ++c)
        if (name == OSCAR_CLASS_NAMES[c]) return c;
    in.fail(quoted(name) + " is not a side-chain atom class");
}

}  // namespace

void parseDfirePairs(Potentials& p, TableText& in, int mode) {
    // Squared-distance bins [lo, hi) covered by distance bin i.
    int lo[DFIRE_BINS], hi[DFIRE_BINS];
    for (int i = 0; i < DFIRE_BINS; ++i) {
        lo[i] = static_cast<int>(std::floor(i * i / 4.0 + 0.8));
        hi[i] = static_cast<int>(std::floor((i + 1) * (i + 1) / 4.0 + 0.8));
    }
    PairCoverage seen;
    std::string key[2];
    double e[DFIRE_BINS];
    std::string_view line;
    while (in.next(line)) {
        if (skipped(line)) continue;
        readPairLine(in, in.fields(line), DFIRE_BINS, key, e);
        int t[2];
        for (int m = 0; m < 2; ++m) {
            auto it = p.pairTypes.find(key[m]);
            if (it != p.pairTypes.end()) {
                t[m] = it->second;
                continue;
            }
            const int next = static_cast<int>(p.pairTypes.size());
            if (next >= NUM_PAIR_TYPES)
                in.fail("atom type " + quoted(key[m]) + " would be type " + std::to_string(next) + ", the table holds types 0.." +
                        std::to_string(NUM_PAIR_TYPES - 1));
            p.pairTypes.emplace(key[m], next);
            t[m] = next;
        }
        seen.mark(in, t[0], t[1], key[0], key[1]);
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
    }
    if (static_cast<int>(p.pairTypes.size()) != NUM_PAIR_TYPES)
        in.failFile("defines " + std::to_string(p.pairTypes.size()) + " atom types, " + std::to_string(NUM_PAIR_TYPES) + " expected");
    seen.expectAll(in);
}

namespace {

// Mode 3: the sampling table's bins outside its clash wall take the DFIRE
// energy at the bin's centre distance, in kT and capped as the sampling table
// is. The sampling table is counted over loop contacts only, which lie at the
// surface, so it scores atoms in contact (3.5-5.5 A) above zero and steers
// growth away from buried paths; DFIRE, counted over all contacts, does not.
double dfireInsideWall(const double* dfire, int bin) {
    constexpr double RT = 0.6;    // kcal/mol of the DFIRE table
    constexpr double CAP = 5.0;   // kT, the sampling table's cap above its wall
    const double r = std::sqrt((bin + 0.5) / 10.0);  // 0.1 A^2 bins
    const int b = std::min(DFIRE_BINS - 1, static_cast<int>(r / 0.5));
    return std::min(CAP, dfire[b] / RT);
}

}  // namespace

void parseQuendaPairs(Potentials& p, TableText& in, int mode) {
    PairCoverage seen;
    std::string key[2];
    std::vector<double> e(ETABLE_BINS);
    std::string_view line;
    while (in.next(line)) {
        if (skipped(line)) continue;
        readPairLine(in, in.fields(line), ETABLE_BINS, key, e.data());
        int t[2];
        for (int m = 0; m < 2; ++m) {
            auto it = p.pairTypes.find(key[m]);
            if (it == p.pairTypes.end()) in.fail("atom type " + quoted(key[m]) + " is not one of the DFIRE table's types");
            t[m] = it->second;
        }
        seen.mark(in, t[0], t[1], key[0], key[1]);
        if (mode == 1) {
            std::copy(e.begin(), e.end(), p.etable[t[0]][t[1]]);
            std::copy(e.begin(), e.end(), p.etable[t[1]][t[0]]);
        } else if (mode == 3) {
            for (int k = 0; k < ETABLE_BINS; ++k) {
                const double v = e[k] > 100.0 ? e[k] : dfireInsideWall(p.edfire[t[0]][t[1]], k);
                p.etable[t[0]][t[1]][k] = p.etable[t[1]][t[0]][k] = v;
            }
        }
        for (int k = 1; k < ETABLE_BINS; ++k)
            if (e[k] < 100.0 && e[k - 1] > 100.0) p.ljClash[t[0]][t[1]] = p.ljClash[t[1]][t[0]] = (k - 1) * 0.1;
    }
    seen.expectAll(in);
}

// "RES name" starts a record (one per amino-acid type, in type order); each
// "ATO slot count n1 .. n<count> class" adds a group atom.
void parseDipoles(Potentials& p, TableText& in) {
    int rec = -1, count = 0;
    std::string_view line;
    while (in.next(line)) {
        if (skipped(line)) continue;
        const Fields& f = in.fields(line);
        if (f[0] == "RES") {
            if (rec >= 0) p.dipoles[rec].atomCount = count;
            if (++rec >= NUM_AMINO_ACIDS) in.fail("more than " + std::to_string(NUM_AMINO_ACIDS) + " residue records");
            in.expectFields(f, 2, "RES line");
            if (f[1] != THREE_LETTER[rec])
                in.fail("record " + std::to_string(rec + 1) + " is for " + quoted(f[1]) + ", " + THREE_LETTER[rec] + " expected (type order)");
            count = 0;
            storeShort(in, p.dipoles[rec].resName, f[1]);
        } else if (f[0] == "ATO") {
            if (rec < 0) in.fail("group atom before the first RES line");
            if (count >= MAX_GROUP_ATOMS) in.fail("more than " + std::to_string(MAX_GROUP_ATOMS) + " group atoms in one residue record");
            if (f.size() < 3) in.fail("an ATO line needs a slot, a neighbour count, the neighbours and a class");
            const int c = in.integer(f[2], 0, 3, "neighbour count");
            in.expectFields(f, static_cast<size_t>(4 + c), "ATO line");
            DipoleRecord& d = p.dipoles[rec];
            storeShort(in, d.atomIdText[count], f[1]);
            d.atomId[count] = in.integer(f[1], 0, MAX_ATOMS - 1, "slot");
            for (int m = 0; m < count; ++m)
                if (d.atomId[m] == d.atomId[count]) in.fail("slot " + std::to_string(d.atomId[count]) + " listed twice in the " + d.resName + " record");
            d.neighbourCount[count] = c;
            for (int m = 0; m < c; ++m) {
                storeShort(in, d.neighbourText[count][m], f[3 + m]);
                d.neighbourId[count][m] = in.integer(f[3 + m], 0, MAX_ATOMS - 1, "neighbour slot");
            }
            oscarClass(in, f[3 + c]);
            storeShort(in, d.atomLabel[count], f[3 + c]);
            ++count;
        } else {
            in.fail("neither a RES nor an ATO line: " + quoted(line));
        }
    }
    if (rec >= 0) p.dipoles[rec].atomCount = count;
    p.numDipoles = rec + 1;
    if (p.numDipoles != NUM_AMINO_ACIDS)
        in.failFile(std::to_string(p.numDipoles) + " residue records, one per amino-acid type (20) expected");
}

// Side-chain torsion rows "RES chiK c1..c6" for every side-chain dihedral in
// type order, then one record "CLASS1 CLASS2 v1..v14" per ordered class pair,
// the O-O record last.
void parseOscar(Potentials& p, TableText& in) {
    std::string_view line;
    auto nextLine = [&](const char* part) -> const Fields& {
        while (in.next(line))
            if (!textscan::isBlankLine(line)) return in.fields(line);
        in.failFile(std::string("the file ends inside the ") + part);
    };
    for (int t = 0; t < NUM_AMINO_ACIDS; ++t)
        for (int k = 0; k < NUM_SC_DIHEDRALS[t]; ++k) {
            const Fields& f = nextLine("side-chain torsion coefficients");
            in.expectFields(f, 8, "side-chain torsion row");
            const std::string label = "chi" + std::to_string(k + 1);
            if (f[0] != THREE_LETTER[t] || f[1] != label)
                in.fail("row " + quoted(std::string(f[0]) + " " + std::string(f[1])) + ", " + THREE_LETTER[t] + " " + label + " expected (type order)");
            for (int m = 0; m < SC_TORSION_TERMS; ++m) p.pcs[t][k][m] = in.number(f[2 + m]);
        }
    std::vector<int> firstLine(OSCAR_CLASSES * OSCAR_CLASSES, 0);
    int records = 0;
    bool closed = false;
    while (!closed) {
        const Fields& f = nextLine("class-pair records (the O-O record closes them)");
        in.expectFields(f, 2 + OSCAR_TERMS, "class-pair record");
        const int i = oscarClass(in, f[0]), j = oscarClass(in, f[1]);
        int& first = firstLine[i * OSCAR_CLASSES + j];
        if (first != 0) in.fail("second record for " + std::string(f[0]) + " " + std::string(f[1]) + " (the first is line " + std::to_string(first) + ")");
        first = in.line();
        ++records;
        double v[OSCAR_TERMS];
        for (int m = 0; m < OSCAR_TERMS; ++m) v[m] = in.number(f[2 + m]);
        for (int m = 0; m < 10; ++m) p.pb[i][j][4 + m] = v[m];
        for (int m = 0; m < 4; ++m) p.pb[i][j][m] = v[10 + m];
        closed = f[0] == "O" && f[1] == "O";
    }
    if (records != OSCAR_CLASSES * OSCAR_CLASSES)
        in.fail("the O-O record closes the list after " + std::to_string(records) + " records, " +
                std::to_string(OSCAR_CLASSES * OSCAR_CLASSES) + " expected (every ordered class pair once)");
    while (in.next(line))
        if (!textscan::isBlankLine(line)) in.fail("text after the closing O-O record");
}

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
    } else if (mode == 3) {
        p.maxDis2 = 64.0;
        p.binsPerA = 10.0;
    } else {
        fail("pair-table mode " + std::to_string(mode) + " is not 1 (QUENDA), 2 (DFIRE) or 3 (DFIRE inside the QUENDA walls)");
    }
    // Fresh zero pages rather than clearing: the sampling table alone is 144 MB.
    p.etable = zeroedArray<double[PAIR_TABLE_TYPES][ETABLE_BINS]>(PAIR_TABLE_TYPES);
    p.edfire = zeroedArray<double[NUM_PAIR_TYPES][DFIRE_BINS]>(NUM_PAIR_TYPES);
    p.ljClash = zeroedArray<double[PAIR_TABLE_TYPES]>(PAIR_TABLE_TYPES);
    p.pairTypes.clear();
    for (DipoleRecord& d : p.dipoles) d = DipoleRecord();
    p.numDipoles = 0;
    std::memset(p.pcs, 0, sizeof p.pcs);
    std::memset(p.pb, 0, sizeof p.pb);

    // Both pair files in both modes: the DFIRE file defines the atom types
    // and the DFIRE score, the QUENDA pair file the clash distances.
    TableText dfire = TableText::read(dataDir + "/dfire_pair.lib", "DFIRE pair table");
    parseDfirePairs(p, dfire, mode);
    TableText quenda = TableText::read(dataDir + "/QUENDApair.lib", "QUENDA pair table");
    parseQuendaPairs(p, quenda, mode);
    TableText dipoles = TableText::read(dataDir + "/dipole.fress", "polar-group records");
    parseDipoles(p, dipoles);
    TableText oscar = TableText::read(dataDir + "/oscarparams.txt", "OSCAR coefficients");
    parseOscar(p, oscar);
}

// Lines "bin p q native decoy energy", one for every bin 0..79 and class pair p <= q.
void parseQuenda(Potentials& p, TableText& in) {
    std::fill_n(&p.quenda[0][0][0], QUENDA_CLASSES * QUENDA_CLASSES * QUENDA_BINS, 0.0);
    std::vector<int> firstLine(QUENDA_CLASSES * QUENDA_CLASSES * QUENDA_BINS, 0);
    int entries = 0;
    std::string_view line;
    while (in.next(line)) {
        if (skipped(line)) continue;
        const Fields& f = in.fields(line);
        in.expectFields(f, 6, "line");
        const int k = in.integer(f[0], 0, QUENDA_BINS - 1, "bin");
        int a = in.integer(f[1], 0, QUENDA_CLASSES - 1, "class");
        int b = in.integer(f[2], 0, QUENDA_CLASSES - 1, "class");
        in.number(f[3]);
        in.number(f[4]);
        const double e = in.number(f[5]);
        if (a > b) std::swap(a, b);
        int& first = firstLine[(a * QUENDA_CLASSES + b) * QUENDA_BINS + k];
        if (first != 0)
            in.fail("second line for bin " + std::to_string(k) + " of classes " + std::to_string(a) + " " + std::to_string(b) +
                    " (the first is line " + std::to_string(first) + ")");
        first = in.line();
        ++entries;
        p.quenda[a][b][k] = e;
        p.quenda[b][a][k] = e;
    }
    constexpr int ALL = QUENDA_CLASSES * (QUENDA_CLASSES + 1) / 2 * QUENDA_BINS;
    if (entries != ALL)
        in.failFile(std::to_string(entries) + " entries, " + std::to_string(ALL) + " expected (every bin 0.." + std::to_string(QUENDA_BINS - 1) +
                    " of every class pair once; the file may be cut short)");
}

void loadQuenda(Potentials& p, const std::string& path) {
    TableText in = TableText::read(path, "QUENDA potential file");
    parseQuenda(p, in);
}

// Blocks of rotamers, one per amino-acid type in type order, each opened by a
// "//" line (a final "//" closes the last); a rotamer is one line of the
// type's chi angles in degrees.
void parseRotamers(Potentials& p, TableText& in) {
    RotamerTable& lib = p.rotamers;
    std::fill(std::begin(lib.count), std::end(lib.count), 0);
    std::fill_n(&lib.chi[0][0][0], NUM_AMINO_ACIDS * MAX_ROTAMERS * 4, 0.0);
    std::fill_n(&lib.resolved[0][0][0], NUM_AMINO_ACIDS * MAX_ROTAMERS * 4, 0.0);
    int t = -1, n = 0, blankAt = 0;
    std::string_view line;
    auto closeBlock = [&] {
        if (t < 0) return;
        if (NUM_CHI[t] > 0 && n == 0) in.fail("no rotamer for " + threeLetter(t));
        lib.count[t] = n;
    };
    while (in.next(line)) {
        const Fields& f = in.fields(line);
        if (f.empty()) {
            if (blankAt == 0) blankAt = in.line();
            continue;
        }
        if (blankAt != 0) in.fail("text after the empty line " + std::to_string(blankAt) + " (empty lines may only close the file)");
        if (f[0] == "//") {
            in.expectFields(f, 1, "block line");
            if (t >= NUM_AMINO_ACIDS) in.fail("// line after the line closing the last residue-type block");
            closeBlock();
            ++t;
            n = 0;
            continue;
        }
        if (t < 0) in.fail("rotamer line before the first // line");
        if (t >= NUM_AMINO_ACIDS) in.fail("rotamer line after the last residue-type block");
        if (n >= MAX_ROTAMERS) in.fail("more than " + std::to_string(MAX_ROTAMERS) + " rotamers for " + threeLetter(t));
        if (f.size() != static_cast<size_t>(NUM_CHI[t]))
            in.fail(std::to_string(f.size()) + " fields, " + threeLetter(t) + " has " + std::to_string(NUM_CHI[t]) + " chi angles");
        for (int m = 0; m < NUM_CHI[t]; ++m) {
            const double x = in.number(f[m]) * DEG2RAD;
            lib.chi[t][n][m] = x;
            if (x > 20.0) {
                // Placeholder: the angle repeats the previous rotamer's.
                if (n == 0) in.fail("placeholder angle in the first rotamer of " + threeLetter(t));
                lib.resolved[t][n][m] = lib.resolved[t][n - 1][m];
            } else {
                lib.resolved[t][n][m] = x;
            }
        }
        ++n;
    }
    if (t != NUM_AMINO_ACIDS)
        in.failFile(std::to_string(std::max(t, 0)) + " closed residue-type blocks, one per amino-acid type (20) expected, each opened by a // "
                    "line and the last closed by one");
}

void loadRotamers(Potentials& p, const std::string& path) {
    TableText in = TableText::read(path, "rotamer library");
    parseRotamers(p, in);
}

// One line of FITTED_E_SIZE finite numbers.
void parseFittedTable(Potentials& p, TableText& in) {
    std::string_view line;
    in.next(line);
    const Fields& f = in.fields(line);
    in.expectFields(f, FITTED_E_SIZE, "line");
    std::vector<double> e(FITTED_E_SIZE);
    for (int k = 0; k < FITTED_E_SIZE; ++k) e[k] = in.number(f[k]);
    while (in.next(line))
        if (!textscan::isBlankLine(line)) in.fail("text after the table's one line");
    p.fittedE = std::move(e);
}

void loadFittedTable(Potentials& p, const std::string& path) {
    TableText in = TableText::read(path, "fitted pair table");
    parseFittedTable(p, in);
}

}  // namespace lorvane
