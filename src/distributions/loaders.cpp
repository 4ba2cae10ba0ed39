// Loaders of the sampling distributions: the backbone torsion-bin table
// ("data/phipsi.bb.txt") and the four joint distance tables
// ("data/joint.distance*.txt").
//
// Common format: lines of blank-separated fields forming fixed blocks, a
// header line followed by the data rows (72 rows of 72 probabilities for the
// torsion bins, 16 rows of 16 for the distances). Empty lines may only close
// the file. Every block the tables hold must be there exactly once (torsion
// bins: each amino-acid type and class; distances: each gap MIN_GAP..MAX_GAP
// and class, and for the conditional tables each end-to-end row 0..99), every
// value must be a finite number and every probability non-negative. Any
// other text stops the program naming the file and line.
#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "distributions/distributions.h"
#include "model/backbone_dihedrals.h"
#include "model/error.h"
#include "model/structure.h"
#include "model/table_text.h"
#include "model/text_scan.h"

namespace lorvane {

JointTables::JointTables()
    : marginalLimits(zeroedArray<double[SS_CLASSES][4]>(MAX_GAP + 1)),
      marginal(zeroedArray<double[SS_CLASSES][DIST_BINS][DIST_BINS]>(MAX_GAP + 1)),
      condLimits(zeroedArray<double[SS_CLASSES][MAX_END_DISTANCE + 1][4]>(MAX_GAP + 1)),
      cond(zeroedArray<double[SS_CLASSES][MAX_END_DISTANCE + 1][DIST_BINS][DIST_BINS]>(MAX_GAP + 1)) {}

Distributions::Distributions() : torsionBins(zeroedArray<double[SS_CLASSES][NUM_BINS][NUM_BINS]>(NUM_TYPES)) {}

namespace {

using Fields = std::vector<std::string_view>;

// Walks the blocks of a table: a header line and `rows` data rows of `cols`
// numbers each; lines of blanks may only follow the last block.
class BlockReader {
public:
    BlockReader(TableText& in, int rows, int cols) : in_(in), rows_(rows), cols_(cols) {}

    // The next header's fields; false at the end of the data.
    bool header(const Fields*& f) {
        std::string_view line;
        while (in_.next(line)) {
            if (!blank(line)) {
                if (blankAt_ > 0) in_.fail("data after the empty line " + std::to_string(blankAt_) + " (empty lines may only close the file)");
                f = &in_.fields(line);
                headerLine_ = in_.line();
                return true;
            }
            if (blankAt_ == 0) blankAt_ = in_.line();
        }
        return false;
    }
    // Reads the block's rows into out[row * cols + col].
    void rows(double* out) {
        std::string_view line;
        for (int r = 0; r < rows_; ++r) {
            if (!in_.next(line) || blank(line))
                in_.failAt(headerLine_, "block ends after " + std::to_string(r) + " of its " + std::to_string(rows_) + " rows");
            const Fields& f = in_.fields(line);
            in_.expectFields(f, static_cast<size_t>(cols_), "data row");
            for (int c = 0; c < cols_; ++c) {
                const double v = in_.number(f[c]);
                if (v < 0) in_.fail("probability " + std::string(f[c]) + " is negative");
                out[r * cols_ + c] = v;
            }
        }
    }
    int headerLine() const { return headerLine_; }
    TableText& in() { return in_; }

private:
    static bool blank(std::string_view line) { return textscan::isBlankLine(line); }
    TableText& in_;
    int rows_, cols_;
    int blankAt_ = 0, headerLine_ = 0;
};

int classIndex(const TableText& in, std::string_view letter) {
    if (letter == "H") return SS_HELIX;
    if (letter == "E") return SS_STRAND;
    if (letter == "C") return SS_COIL;
    in.fail("unknown secondary-structure class " + quoted(letter) + " (H, E or C expected)");
}

const char* CLASS_LETTERS = "HEC";

// Marks block `key` as read; a second block for it is an error naming both lines.
void markBlock(BlockReader& b, std::vector<int>& firstLine, size_t key, const std::string& what) {
    if (firstLine[key] != 0) b.in().fail("second block for " + what + " (the first is at line " + std::to_string(firstLine[key]) + ")");
    firstLine[key] = b.headerLine();
}

}  // namespace

void parseJoint(JointTables& t, TableText& in, bool conditional) {
    constexpr int ROWS = MAX_END_DISTANCE + 1;
    BlockReader b(in, DIST_BINS, DIST_BINS);
    std::vector<int> firstLine(static_cast<size_t>(MAX_GAP + 1) * SS_CLASSES * ROWS, 0);
    const size_t headerLen = conditional ? 7 : 6;
    const Fields* f = nullptr;
    while (b.header(f)) {
        in.expectFields(*f, headerLen, "header");
        const int g = in.integer((*f)[0], MIN_GAP, MAX_GAP, "gap");
        const int s = classIndex(in, (*f)[1]);
        const int r = conditional ? in.integer((*f)[2], 0, MAX_END_DISTANCE, "end-to-end distance") : 0;
        const int first = conditional ? 3 : 2;
        double limits[4];
        for (int q = 0; q < 4; ++q) limits[q] = in.number((*f)[first + q]);
        markBlock(b, firstLine, (static_cast<size_t>(g) * SS_CLASSES + s) * ROWS + r,
                  "gap " + std::to_string(g) + " class " + CLASS_LETTERS[s] + (conditional ? " distance " + std::to_string(r) : ""));
        double* lim = conditional ? t.condLimits[g][s][r] : t.marginalLimits[g][s];
        std::copy(limits, limits + 4, lim);
        b.rows(conditional ? &t.cond[g][s][r][0][0] : &t.marginal[g][s][0][0]);
    }
    for (int g = MIN_GAP; g <= MAX_GAP; ++g)
        for (int s = 0; s < SS_CLASSES; ++s)
            for (int r = 0; r < (conditional ? ROWS : 1); ++r)
                if (firstLine[(static_cast<size_t>(g) * SS_CLASSES + s) * ROWS + r] == 0)
                    in.failFile("no block for gap " + std::to_string(g) + " class " + CLASS_LETTERS[s] +
                                (conditional ? " distance " + std::to_string(r) : "") + " (the table needs every gap " +
                                std::to_string(MIN_GAP) + ".." + std::to_string(MAX_GAP) + ", every class H, E, C" +
                                (conditional ? " and every distance 0.." + std::to_string(MAX_END_DISTANCE) : "") + "; the file may be cut short)");
}

void parseTorsionBins(Distributions& d, TableText& in) {
    BlockReader b(in, NUM_BINS, NUM_BINS);
    std::vector<int> firstLine(static_cast<size_t>(NUM_AMINO_ACIDS) * SS_CLASSES, 0);
    const Fields* f = nullptr;
    while (b.header(f)) {
        in.expectFields(*f, 2, "header");
        const int type = residueType(std::string((*f)[0]));
        if (!isAminoAcid(type)) in.fail("unknown residue name " + quoted((*f)[0]));
        const int ss = classIndex(in, (*f)[1]);
        markBlock(b, firstLine, static_cast<size_t>(type) * SS_CLASSES + ss, threeLetter(type) + " class " + CLASS_LETTERS[ss]);
        b.rows(&d.torsionBins[type][ss][0][0]);
    }
    for (int t = 0; t < NUM_AMINO_ACIDS; ++t)
        for (int s = 0; s < SS_CLASSES; ++s)
            if (firstLine[static_cast<size_t>(t) * SS_CLASSES + s] == 0)
                in.failFile("no block for " + threeLetter(t) + " class " + CLASS_LETTERS[s] +
                            " (the table needs every amino-acid type in every class H, E, C; the file may be cut short)");
}

namespace {

// Blocks "RES KEY -1|+1" of 72 x 72 for every residue type, key and side:
// the tables [side][type][key][phi][psi] of a residue by its previous or next
// neighbour. readKey reads (and checks) the key field; label names a block.
template <class ReadKey, class Label>
std::vector<double> parseSideBlocks(TableText& in, int keys, ReadKey readKey, Label label, const std::string& keyWord) {
    std::vector<double> tables(sideTableOffset(2, 0, 0, keys), 0.0);
    BlockReader b(in, NUM_BINS, NUM_BINS);
    std::vector<int> firstLine(static_cast<size_t>(2 * NUM_AMINO_ACIDS * keys), 0);
    const Fields* f = nullptr;
    while (b.header(f)) {
        in.expectFields(*f, 3, "header");
        const int type = residueType(std::string((*f)[0]));
        if (!isAminoAcid(type)) in.fail("unknown residue name " + quoted((*f)[0]));
        const int key = readKey((*f)[1]);
        if ((*f)[2] != "-1" && (*f)[2] != "+1") in.fail("neighbour side " + quoted((*f)[2]) + " is not -1 or +1");
        const int side = (*f)[2] == "-1" ? 0 : 1;
        markBlock(b, firstLine, (static_cast<size_t>(side) * NUM_AMINO_ACIDS + type) * keys + key,
                  label(type, key) + " " + std::string((*f)[2]));
        b.rows(tables.data() + sideTableOffset(side, type, key, keys));
    }
    for (size_t k = 0; k < firstLine.size(); ++k)
        if (firstLine[k] == 0) in.failFile("no block for every residue type, " + keyWord + " and side -1, +1 (the file may be cut short)");
    return tables;
}

}  // namespace

NeighbourTorsionBins parseNeighbourTorsionBins(TableText& in) {
    NeighbourTorsionBins nb;
    nb.tables = parseSideBlocks(
        in, NUM_AMINO_ACIDS,
        [&](std::string_view field) {
            const int t = residueType(std::string(field));
            if (!isAminoAcid(t)) in.fail("unknown residue name " + quoted(field));
            return t;
        },
        [](int type, int nbType) { return threeLetter(type) + " next to " + threeLetter(nbType); }, "neighbour type");
    return nb;
}

NeighbourTorsionBins loadNeighbourTorsionBins(const std::string& path) {
    TableText in = TableText::read(path, "neighbour torsion-bin file");
    return parseNeighbourTorsionBins(in);
}

bool combineNeighbourTables(const double* own, const double* previous, const double* next, double* out) {
    constexpr size_t T = NUM_BINS * NUM_BINS;
    double sum = 0;
    for (size_t k = 0; k < T; ++k) {
        out[k] = own[k] > 0 ? previous[k] * next[k] / own[k] : 0.0;
        sum += out[k];
    }
    if (!(sum > 0)) return false;
    for (size_t k = 0; k < T; ++k) out[k] /= sum;
    return true;
}

void useNeighbourTorsion(Distributions& d, const NeighbourTorsionBins& nb, const Structure& s, int start, int end) {
    constexpr size_t T = NUM_BINS * NUM_BINS;
    d.residueTable.assign(static_cast<size_t>(s.capacity()) + 1, -1);
    d.residueBins.clear();
    for (int i = start; i <= end; ++i) {
        const int t = s[i].type;
        // Both neighbours must be bonded amino acids of the same chain; a residue
        // next to a break or a non-standard residue keeps the single-residue table.
        if (i < 1 || i >= s._numRes || !isAminoAcid(t) || !isAminoAcid(s[i - 1].type) || !isAminoAcid(s[i + 1].type)) continue;
        if (chainOf(s, i - 1) != chainOf(s, i) || chainOf(s, i + 1) != chainOf(s, i) || s.gapAfter[i - 1] || s.gapAfter[i]) continue;
        const size_t at = d.residueBins.size();
        d.residueBins.resize(at + T);
        if (combineNeighbourTables(&d.torsionBins[t][SS_COIL][0][0], nb.tables.data() + neighbourTableOffset(0, t, s[i - 1].type),
                                   nb.tables.data() + neighbourTableOffset(1, t, s[i + 1].type), d.residueBins.data() + at))
            d.residueTable[i] = static_cast<int>(at / T);
        else
            d.residueBins.resize(at);
    }
}

int conformationKey(double phiDeg, double psiDeg) {
    if (!std::isfinite(phiDeg) || !std::isfinite(psiDeg)) return -1;
    auto cell = [](double a) { return std::clamp(static_cast<int>(std::floor((a + 180.0) / 90.0)), 0, 3); };
    return cell(phiDeg) * 4 + cell(psiDeg);
}

int conformationKeyAt(const Structure& s, int i) {
    if (i < 0 || i >= s._numRes || !isAminoAcid(s[i].type)) return -1;
    return conformationKey(phiAt(s, i), psiAt(s, i));
}

std::vector<double> parseConformationTorsionBins(TableText& in) {
    return parseSideBlocks(
        in, CONFORMATION_KEYS, [&](std::string_view field) { return in.integer(field, 0, CONFORMATION_KEYS - 1, "conformation key"); },
        [](int type, int key) { return threeLetter(type) + " key " + std::to_string(key); }, "conformation key");
}

std::vector<double> loadConformationTorsionBins(const std::string& path) {
    TableText in = TableText::read(path, "conformation torsion-bin file");
    return parseConformationTorsionBins(in);
}

void useConformationTorsion(Distributions& d, std::vector<double> tables, int start, int end) {
    constexpr size_t T = NUM_BINS * NUM_BINS;
    d.conformationBins = std::move(tables);
    d.conformationNorm.assign(static_cast<size_t>(NUM_AMINO_ACIDS) * CONFORMATION_KEYS * CONFORMATION_KEYS, 0.0);
    for (int t = 0; t < NUM_AMINO_ACIDS; ++t)
        for (int kp = 0; kp < CONFORMATION_KEYS; ++kp)
            for (int kn = 0; kn < CONFORMATION_KEYS; ++kn) {
                const double* own = &d.torsionBins[t][SS_COIL][0][0];
                const double* p = d.conformationBins.data() + conformationTableOffset(0, t, kp);
                const double* n = d.conformationBins.data() + conformationTableOffset(1, t, kn);
                double z = 0;
                for (size_t k = 0; k < T; ++k)
                    if (own[k] > 0) z += p[k] * n[k] / own[k];
                d.conformationNorm[(static_cast<size_t>(t) * CONFORMATION_KEYS + kp) * CONFORMATION_KEYS + kn] = z;
            }
    d.conformationStart = start;
    d.conformationEnd = end;
}

void loadTorsionBins(Distributions& d, const std::string& path) {
    TableText in = TableText::read(path, "torsion-bin file");
    parseTorsionBins(d, in);
}

void loadJointMarginal(Distributions& d, const std::string& path, bool backward) {
    TableText in = TableText::read(path, "distance distribution file");
    parseJoint(backward ? d.backward : d.forward, in, false);
}

void loadJointCond(Distributions& d, const std::string& path, bool backward) {
    TableText in = TableText::read(path, "distance distribution file");
    parseJoint(backward ? d.backward : d.forward, in, true);
}

Distributions loadDistributions(const std::string& dataDir) {
    Distributions d;
    loadJointMarginal(d, dataDir + "/joint.distance.txt", false);
    loadJointMarginal(d, dataDir + "/joint.distance.backward.txt", true);
    loadJointCond(d, dataDir + "/joint.distance.conditional.txt", false);
    loadJointCond(d, dataDir + "/joint.distance.conditional.backward.txt", true);
    loadTorsionBins(d, dataDir + "/phipsi.bb.txt");
    return d;
}

}  // namespace lorvane
