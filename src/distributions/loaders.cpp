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
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "distributions/distributions.h"
#include "growth/smc.h"
#include "model/error.h"
#include "model/residue.h"
#include "model/strings.h"
#include "potentials/pf.h"

namespace lorvane {

double SMC::TorsionBins[30][3][NUM_BINS][NUM_BINS] = {};
double SMC::JointMarginalLimits[22][3][4] = {};
double SMC::JointMarginalLimitsB[22][3][4] = {};
double SMC::JointMarginal[22][3][16][16] = {};
double SMC::JointMarginalB[22][3][16][16] = {};
double SMC::JointCondLimits[22][3][100][4] = {};
double SMC::JointCondLimitsB[22][3][100][4] = {};
double SMC::JointCond[22][3][100][16][16] = {};
double SMC::JointCondB[22][3][100][16][16] = {};

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
        auto it = Residue::SIMap.find(letter);
        if (it == Residue::SIMap.end() || it->second < 0 || it->second > 2)
            fail("unknown secondary-structure class \"" + letter + "\" (H, E or C expected)");
        return it->second;
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
void loadJoint(const std::string& path, bool conditional, double (*margLimits)[3][4], double (*marg)[3][16][16],
               double (*condLimits)[3][100][4], double (*cond)[3][100][16][16], bool required) {
    BlockFile f(path, "distance distribution", required);
    if (!f.open()) return;
    const int headerLen = conditional ? 7 : 6;
    double* limits = nullptr;
    double (*rows)[16] = nullptr;
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
                limits = condLimits[g][s][r];
                rows = cond[g][s][r];
                first = 3;
            } else {
                limits = margLimits[g][s];
                rows = marg[g][s];
            }
            for (int q = 0; q < 4; ++q) limits[q] = toDouble(tok[first + q]);
        } else {
            f.needTokens(tok, DIST_BINS, "data row");
            for (int j = 0; j < DIST_BINS; ++j) rows[k - 1][j] = toDouble(tok[j]);
        }
    }
}

}  // namespace

void SMC::LoadTorsionBBbin(const std::string& path, bool required) {
    BlockFile f(path, "torsion-bin", required);
    if (!f.open()) return;
    int type = 0, ss = 0;
    std::vector<std::string> tok;
    while (f.next(tok)) {
        const int k = f.index() % 73;
        if (k == 0) {
            f.needTokens(tok, 2, "header");
            auto it = Residue::AIMap.find(tok[0]);
            if (it == Residue::AIMap.end() || it->second < 0 || it->second >= 30) f.fail("unknown residue name \"" + tok[0] + "\"");
            type = it->second;
            ss = f.classIndex(tok[1]);
        } else {
            f.needTokens(tok, NUM_BINS, "data row");
            for (int b = 0; b < NUM_BINS; ++b) TorsionBins[type][ss][k - 1][b] = toDouble(tok[b]);
        }
    }
}

void SMC::LoadJointMarginal(const std::string& path, bool required) {
    loadJoint(path, false, JointMarginalLimits, JointMarginal, nullptr, nullptr, required);
}

void SMC::LoadJointMarginalB(const std::string& path, bool required) {
    loadJoint(path, false, JointMarginalLimitsB, JointMarginalB, nullptr, nullptr, required);
}

void SMC::LoadJointCond(const std::string& path, bool required) {
    loadJoint(path, true, nullptr, nullptr, JointCondLimits, JointCond, required);
}

void SMC::LoadJointCondB(const std::string& path, bool required) {
    loadJoint(path, true, nullptr, nullptr, JointCondLimitsB, JointCondB, required);
}

void SMC::LoadSamplingTables() {
    LoadJointMarginal("data/joint.distance.txt", true);
    LoadJointMarginalB("data/joint.distance.backward.txt", true);
    LoadJointCond("data/joint.distance.conditional.txt", true);
    LoadJointCondB("data/joint.distance.conditional.backward.txt", true);
    LoadTorsionBBbin("data/phipsi.bb.txt", true);
    PF::LoadSimplRot("data/newsimplRot.txt", true);
}

}  // namespace lorvane
