#pragma once
// Helpers shared by the model, potentials, evaluate and driver tests:
// repository paths, the residue templates (loaded once per process),
// scratch directories and stdout redirection for death tests.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "model/atom.h"
#include "support/expect_error.h"
#include "model/residue.h"
#include "model/structure.h"

using namespace lorvane;

namespace lorvane_test {

inline std::string sourcePath(const std::string& rel) { return std::string(LORVANE_SOURCE_DIR) + "/" + rel; }

// Loads data/atomProp2.txt once per process; false when the file is absent.
inline bool templatesLoaded() {
    static int state = -1;
    if (state < 0) {
        Residue::InitMap();
        const std::string path = sourcePath("data/atomProp2.txt");
        state = std::ifstream(path) ? 1 : 0;
        if (state) {
            Atom::vdw_adj = 1.0;
            Atom::InitPar(path.c_str(), "./");
            Residue::InitPar(path.c_str(), "./", 0);
        }
    }
    return state == 1;
}

#define REQUIRE_TEMPLATES()                                                                      \
    do {                                                                                         \
        if (!lorvane_test::templatesLoaded()) GTEST_SKIP() << "data/atomProp2.txt not present"; \
    } while (0)

// A statement that must throw lorvane::Error with status 1 and a message matching regex.
#define EXPECT_FATAL(stmt, regex) EXPECT_ERROR(stmt, 1, regex)

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream os;
    os << in.rdbuf();
    return os.str();
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// Writes a file, creating its directories.
inline void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A fresh directory under /tmp, removed on destruction; with enter = true the
// working directory is moved into it for the scratch directory's lifetime.
class ScratchDir {
public:
    explicit ScratchDir(bool enter = false) : old_(std::filesystem::current_path()), enter_(enter) {
        char tmpl[] = "/tmp/lorvane_test_XXXXXX";
        const char* d = mkdtemp(tmpl);
        if (!d) throw std::runtime_error("mkdtemp failed");
        root_ = d;
        if (enter_) std::filesystem::current_path(root_);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir() {
        if (enter_) std::filesystem::current_path(old_);
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    const std::string& root() const { return root_; }
    std::string path(const std::string& rel) const { return root_ + "/" + rel; }
    void write(const std::string& rel, const std::string& text) const { writeFile(path(rel), text); }

private:
    std::filesystem::path old_;
    std::string root_;
    bool enter_;
};

// Runs with the working directory set to dir, then returns to the previous one.
class InDir {
public:
    explicit InDir(const std::string& dir) : old_(std::filesystem::current_path()) { std::filesystem::current_path(dir); }
    ~InDir() { std::filesystem::current_path(old_); }

private:
    std::filesystem::path old_;
};

}  // namespace lorvane_test
