#pragma once
// Helpers of the molecular-model tests: synthetic ATOM records and the stream reader.
#include <cstdio>
#include <sstream>
#include <string>

#include "model/pdb_reader.h"
#include "support/support.h"

namespace model_test {

using namespace lorvane_test;

// One PDB ATOM record; name4 is the four-character atom-name field (columns 13-16).
inline std::string atomLine(int serial, const std::string& name4, const std::string& res, char chain, int resNum, double x,
                            double y, double z, char altLoc = ' ', char iCode = ' ', const char* record = "ATOM  ") {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%-6.6s%5d %-4.4s%c%-3.3s %c%4d%c   %8.3f%8.3f%8.3f  1.00 20.00           %c", record, serial,
                  name4.c_str(), altLoc, res.c_str(), chain, resNum, iCode, x, y, z, name4[1]);
    return buf;
}

// Heavy backbone (and CB/OG where the residue has them) of one residue, offset along x.
inline std::string residueLines(const std::string& res, char chain, int resNum, double off, int& serial) {
    std::string s;
    const char* names[6] = {" N  ", " CA ", " C  ", " O  ", " CB ", " OG "};
    const double xyz[6][3] = {{0, 0, 0}, {1.458, 0, 0}, {2.0, 1.42, 0}, {1.25, 2.4, 0}, {1.96, -0.8, 1.2}, {3.3, -1.0, 1.1}};
    const int n = res == "GLY" ? 4 : res == "SER" ? 6 : 5;
    for (int k = 0; k < n; ++k) s += atomLine(serial++, names[k], res, chain, resNum, off + xyz[k][0], xyz[k][1], xyz[k][2]) + "\n";
    return s;
}

// One-letter sequence of the chain.
inline std::string sequenceOf(const Structure& s) {
    std::string q;
    for (int i = 1; i <= s._numRes; ++i) q += oneLetter(s[i].type);
    return q;
}

// Reads PDB text through the stream reader; the reader's messages (standard error) go to *log when given.
inline bool readText(Structure& s, const std::string& text, std::string* log = nullptr, const std::string& name = "test.pdb") {
    std::istringstream in(text);
    testing::internal::CaptureStderr();
    const bool ok = readPdbStream(tmpl(), in, name, s);
    const std::string out = testing::internal::GetCapturedStderr();
    if (log) *log = out;
    return ok;
}

}  // namespace model_test
