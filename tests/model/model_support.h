#pragma once
// Helpers shared by the molecular-model tests: template loading, synthetic
// ATOM records and stdout redirection for death tests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "model/atom.h"
#include "model/residue.h"
#include "model/structure.h"

namespace model_test {

inline std::string sourcePath(const std::string& rel) { return std::string(LORVANE_SOURCE_DIR) + "/" + rel; }

inline std::string templatePath() { return sourcePath("data/atomProp2.txt"); }

// Loads the residue templates once per process; false when the file is absent.
inline bool templatesLoaded() {
    static int state = -1;
    if (state < 0) {
        Residue::InitMap();
        std::ifstream probe(templatePath());
        if (!probe) {
            state = 0;
        } else {
            Atom::vdw_adj = 1.0;
            Atom::InitPar(templatePath().c_str(), "./");
            Residue::InitPar(templatePath().c_str(), "./", 0);
            state = 1;
        }
    }
    return state == 1;
}

#define REQUIRE_TEMPLATES()                                                               \
    do {                                                                                  \
        if (!model_test::templatesLoaded()) GTEST_SKIP() << "data/atomProp2.txt not present"; \
    } while (0)

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
    s += atomLine(serial++, " N  ", res, chain, resNum, off + 0.0, 0.0, 0.0) + "\n";
    s += atomLine(serial++, " CA ", res, chain, resNum, off + 1.458, 0.0, 0.0) + "\n";
    s += atomLine(serial++, " C  ", res, chain, resNum, off + 2.0, 1.42, 0.0) + "\n";
    s += atomLine(serial++, " O  ", res, chain, resNum, off + 1.25, 2.4, 0.0) + "\n";
    if (res != "GLY") s += atomLine(serial++, " CB ", res, chain, resNum, off + 1.96, -0.8, 1.2) + "\n";
    if (res == "SER") s += atomLine(serial++, " OG ", res, chain, resNum, off + 3.3, -1.0, 1.1) + "\n";
    return s;
}

// Reads PDB text through the stream reader; stdout of the reader goes to *log when given.
inline bool readText(Structure& s, const std::string& text, std::string* log = nullptr, const std::string& name = "test.pdb") {
    std::istringstream in(text);
    testing::internal::CaptureStdout();
    bool ok = s.readPdbStream(in, name, {}, 0);
    std::string out = testing::internal::GetCapturedStdout();
    if (log) *log = out;
    return ok;
}

// For death tests: fatal() writes to stdout, gtest matches stderr.
inline void stdoutToStderr() {
    std::cout.flush();
    std::fflush(stdout);
    dup2(STDERR_FILENO, STDOUT_FILENO);
}

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream os;
    os << in.rdbuf();
    return os.str();
}

}  // namespace model_test
