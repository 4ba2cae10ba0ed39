#pragma once
// Helpers of the entry tests: the committed test entries, their text (for
// derived variants made in memory) and checks of Error.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include <gemmi/gz.hpp>

#include "model/entry.h"
#include "model/error.h"
#include "support/expect_error.h"

namespace entry_test {

inline std::string repoPath(const std::string& rel) { return std::string(LORVANE_SOURCE_DIR) + "/" + rel; }
inline std::string entryPath(const std::string& name) { return repoPath("tests/data/entries/" + name); }

// The text of a committed file, decompressed when it ends in .gz.
inline std::string fileText(const std::string& path) {
    if (path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0) {
        gemmi::MaybeGzipped in(path);
        gemmi::CharArray mem = in.uncompress_into_buffer();
        return std::string(mem.data(), mem.size());
    }
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    std::ostringstream os;
    os << in.rdbuf();
    return os.str();
}

inline std::string p21Text() { return fileText(repoPath("examples/5p21.pdb")); }

// Applies edit to every line; a line edited to "" is dropped.
inline std::string editLines(const std::string& text, const std::function<void(std::string&)>& edit) {
    std::istringstream in(text);
    std::string out;
    for (std::string line; std::getline(in, line);) {
        edit(line);
        if (!line.empty()) out += line + "\n";
    }
    return out;
}

inline bool isAtom(const std::string& l) { return l.compare(0, 6, "ATOM  ") == 0 || l.compare(0, 6, "HETATM") == 0; }
inline int resNum(const std::string& l) { return std::atoi(l.substr(22, 4).c_str()); }
inline std::string atomName(const std::string& l) {
    std::string n = l.substr(12, 4);
    n.erase(0, n.find_first_not_of(' '));
    return n.substr(0, n.find(' '));
}

// Drops the named atom of residue num of chain A.
inline std::string withoutAtom(const std::string& text, int num, const std::string& atom) {
    return editLines(text, [&](std::string& l) {
        if (isAtom(l) && l[21] == 'A' && resNum(l) == num && atomName(l) == atom) l.clear();
    });
}

// Moves residue num of chain A by dx along x.
inline std::string shifted(const std::string& text, int num, double dx) {
    return editLines(text, [&](std::string& l) {
        if (!isAtom(l) || l[21] != 'A' || resNum(l) != num) return;
        char buf[9];
        std::snprintf(buf, sizeof buf, "%8.3f", std::atof(l.substr(30, 8).c_str()) + dx);
        l.replace(30, 8, buf);
    });
}

inline std::string withoutRecords(const std::string& text, const std::string& prefix) {
    return editLines(text, [&](std::string& l) {
        if (l.compare(0, prefix.size(), prefix) == 0) l.clear();
    });
}

// A pattern for EXPECT_ERROR: the parts, literally and in this order.
inline std::string inOrder(const std::vector<std::string>& parts) {
    std::string re;
    for (const std::string& p : parts) {
        if (!re.empty()) re += ".*";
        for (char c : p) {
            if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) re += '\\';
            re += c;
        }
    }
    return re;
}

}  // namespace entry_test
