// Loaders of the sampling distributions: the backbone torsion-bin table
// ("data/phipsi.bb.txt") and the four joint distance tables
// ("data/joint.distance*.txt").
//
// Common format: text read line by line up to the end of the file or the
// first empty line, tokens separated by blanks. Lines form fixed blocks, a
// header line followed by the data rows (72 rows of 72 probabilities for the
// torsion bins, 16 rows of 16 for the distances). A later block for the same
// key overwrites an earlier one. Header values that fall outside the tables
// and short data rows are data errors and stop the program naming the file
// and line; a missing file is an error unless the caller marks the table as
// optional, which leaves it zero.
#include <fstream>
#include <string>
#include <vector>

#include "distributions/distributions.h"
#include "model/error.h"
#include "model/strings.h"

namespace lorvane {

JointTables::JointTables()
    : marginalLimits(zeroedArray<double[SS_CLASSES][4]>(MAX_GAP + 1)),
      marginal(zeroedArray<double[SS_CLASSES][DIST_BINS][DIST_BINS]>(MAX_GAP + 1)),
      condLimits(zeroedArray<double[SS_CLASSES][MAX_END_DISTANCE + 1][4]>(MAX_GAP + 1)),
      cond(zeroedArray<double[SS_CLASSES][MAX_END_DISTANCE + 1][DIST_BINS][DIST_BINS]>(MAX_GAP + 1)) {}

Distributions::Distributions() : torsionBins(zeroedArray<double[SS_CLASSES][NUM_BINS][NUM_BINS]>(NUM_TYPES)) {}

namespace {

// Line source shared by the loaders: stops at the end of the file or at the
// first empty line (a line of blanks, or a bare carriage return left by a
// DOS line end, counts as empty).
class BlockFile {
public:
    BlockFile(const std::string& path, const char* what, bool required) : path_(path), in_(path) {
        if (!in_ && required) lorvane::fail("cannot open " + std::string(what) + " file " + path);
    }
    bool open() const { return static_cast<bool>(in_); }

    // Next line as tokens; false at the end of the data.
    bool next(std::vector<std::string>& tok) {
        std::string line;
        if (!std::getline(in_, line)) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(' ') == std::string::npos) return false;
        ++lineNo_;
        tok = split(line, " ", false);
        // split keeps the text after the last blank, so a trailing blank gives one empty token.
        while (!tok.empty() && tok.back().empty()) tok.pop_back();
        return true;
    }

    // Zero-based line number of the last line returned.
    int index() const { return lineNo_ - 1; }

    [[noreturn]] void fail(const std::string& what) const { lorvane::fail(path_ + " line " + std::to_string(lineNo_) + ": " + what); }

    void needTokens(const std::vector<std::string>& tok, size_t n, const char* kind) const {
        if (tok.size() < n)
            fail(std::string(kind) + " has " + std::to_string(tok.size()) + " values, " + std::to_string(n) + " needed");
    }

    int classIndex(const std::string& letter) const {
        if (letter == "H") return SS_HELIX;
        if (letter == "E") return SS_STRAND;
        if (letter == "C") return SS_COIL;
        fail("unknown secondary-structure class \"" + letter + "\" (H, E or C expected)");
    }

    int gap(const std::string& tok) const {
        long g = toLong(tok);
        if (g < 0 || g > MAX_GAP)
            fail("gap " + tok + " outside 0.." + std::to_string(MAX_GAP));
        return static_cast<int>(g);
    }

private:
    std::string path_;
    std::ifstream in_;
    int lineNo_ = 0;
};

// Marginal and conditional files share one procedure; only the header and
// the target tables differ.
void loadJoint(JointTables& t, const std::string& path, bool conditional, bool required) {
    BlockFile f(path, "distance distribution", required);
    if (!f.open()) return;
    const int headerLen = conditional ? 7 : 6;
    double* limits = nullptr;
    double (*rows)[DIST_BINS] = nullptr;
    std::vector<std::string> tok;
    while (f.next(tok)) {
        const int k = f.index() % 17;
        if (k == 0) {
            f.needTokens(tok, headerLen, "header");
            const int g = f.gap(tok[0]);
            const int s = f.classIndex(tok[1]);
            int first = 2;
            if (conditional) {
                long r = toLong(tok[2]);
                if (r < 0 || r > MAX_END_DISTANCE)
                    f.fail("end-to-end distance " + tok[2] + " outside 0.." + std::to_string(MAX_END_DISTANCE));
                limits = t.condLimits[g][s][r];
                rows = t.cond[g][s][r];
                first = 3;
            } else {
                limits = t.marginalLimits[g][s];
                rows = t.marginal[g][s];
            }
            for (int q = 0; q < 4; ++q) limits[q] = toDouble(tok[first + q]);
        } else {
            f.needTokens(tok, DIST_BINS, "data row");
            for (int j = 0; j < DIST_BINS; ++j) rows[k - 1][j] = toDouble(tok[j]);
        }
    }
}

}  // namespace

void loadTorsionBins(Distributions& d, const std::string& path, bool required) {
    BlockFile f(path, "torsion-bin", required);
    if (!f.open()) return;
    int type = 0, ss = 0;
    std::vector<std::string> tok;
    while (f.next(tok)) {
        const int k = f.index() % 73;
        if (k == 0) {
            f.needTokens(tok, 2, "header");
            type = residueType(tok[0]);
            if (type < 0 || type >= NUM_TYPES) f.fail("unknown residue name \"" + tok[0] + "\"");
            ss = f.classIndex(tok[1]);
        } else {
            f.needTokens(tok, NUM_BINS, "data row");
            for (int b = 0; b < NUM_BINS; ++b) d.torsionBins[type][ss][k - 1][b] = toDouble(tok[b]);
        }
    }
}

void loadJointMarginal(Distributions& d, const std::string& path, bool backward, bool required) {
    loadJoint(backward ? d.backward : d.forward, path, false, required);
}

void loadJointCond(Distributions& d, const std::string& path, bool backward, bool required) {
    loadJoint(backward ? d.backward : d.forward, path, true, required);
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
