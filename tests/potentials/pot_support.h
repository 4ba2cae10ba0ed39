#pragma once
// Helpers of the potentials tests: scratch data directories, templates,
// synthetic residues and stdout redirection for death tests.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "model/atom.h"
#include "model/residue.h"
#include "model/structure.h"

namespace pot_test {

inline std::string sourcePath(const std::string& rel) { return std::string(LORVANE_SOURCE_DIR) + "/" + rel; }

// A scratch directory holding a data/ folder; removed on destruction.
class ScratchDir {
public:
    ScratchDir() {
        char tmpl[] = "/tmp/lorvane_pot_XXXXXX";
        char* d = mkdtemp(tmpl);
        if (!d) throw std::runtime_error("mkdtemp failed");
        root_ = d;
        std::filesystem::create_directories(root_ + "/data");
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    const std::string& root() const { return root_; }
    std::string path(const std::string& rel) const { return root_ + "/" + rel; }
    void write(const std::string& rel, const std::string& text) const {
        std::ofstream out(path(rel), std::ios::binary);
        out << text;
    }

private:
    std::string root_;
};

// Runs with the working directory set to dir, then returns to the previous one.
class InDir {
public:
    explicit InDir(const std::string& dir) : old_(std::filesystem::current_path()) { std::filesystem::current_path(dir); }
    ~InDir() { std::filesystem::current_path(old_); }

private:
    std::filesystem::path old_;
};

// Loads the residue templates once per process; false when the file is absent.
inline bool templatesLoaded() {
    static int state = -1;
    if (state < 0) {
        Residue::InitMap();
        const std::string path = sourcePath("data/atomProp2.txt");
        std::ifstream probe(path);
        if (!probe) {
            state = 0;
        } else {
            Atom::vdw_adj = 1.0;
            Atom::InitPar(path.c_str(), "./");
            Residue::InitPar(path.c_str(), "./", 0);
            state = 1;
        }
    }
    return state == 1;
}

#define REQUIRE_TEMPLATES()                                                                  \
    do {                                                                                     \
        if (!pot_test::templatesLoaded()) GTEST_SKIP() << "data/atomProp2.txt not present"; \
    } while (0)

// fatal() prints on stdout; death-test assertions match stderr.
inline void stdoutToStderr() {
    std::cout.flush();
    std::fflush(stdout);
    dup2(STDERR_FILENO, STDOUT_FILENO);
}

// Places atom `slot` of residue i with a van der Waals type (present).
inline void put(Structure& s, int i, int slot, int vdw, float x, float y, float z) {
    Atom& a = s.residues[i].atoms[slot];
    a.x = x;
    a.y = y;
    a.z = z;
    a.type = static_cast<int16_t>(vdw);
    a.index = slot;
}

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A chain of n residues of one type with no atoms present.
inline void emptyChain(Structure& s, int n, int type, int numAtoms) {
    s.init(n);
    for (int i = 1; i <= n; ++i) {
        s.residues[i].type = static_cast<int16_t>(type);
        s.residues[i].numAtoms = static_cast<int16_t>(numAtoms);
    }
}

}  // namespace pot_test
