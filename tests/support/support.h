#pragma once
// Shared support of the test programs: repository paths and files, the one
// scratch-directory helper, the one helper that runs the program, and the
// repository's tables (committed under data/), loaded once per test program
// and only read afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "distributions/distributions.h"
#include "model/structure.h"
#include "model/templates.h"
#include "potentials/potentials.h"
#include "support/expect_error.h"

namespace lorvane_test {

using namespace lorvane;
namespace fs = std::filesystem;

std::string sourcePath(const std::string& rel);
// The build tree's table directory (data/ with the expanded sampling pair table), or a file in it.
std::string buildDataPath(const std::string& rel = "");
std::string slurp(const std::string& path);
std::vector<std::string> lines(const std::string& text);
// A header line and 72 rows of 72 zeros: one block of a torsion-bin table file.
std::string zeroTorsionBlock(const std::string& header);
// Writes a file, creating its directories.
void writeFile(const std::string& path, const std::string& text);

// A fresh directory under /tmp, removed on destruction; with enter = true the
// working directory is moved into it for the scratch directory's lifetime.
class ScratchDir {
public:
    explicit ScratchDir(bool enter = false);
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir();
    const std::string& root() const { return root_; }
    std::string path(const std::string& rel) const { return root_ + "/" + rel; }
    void write(const std::string& rel, const std::string& text) const { writeFile(path(rel), text); }
    // The build's complete table directory (buildDataPath) as data/ here.
    void linkData() const;

private:
    fs::path old_;
    std::string root_;
    bool enter_;
};

// A scratch directory holding data/ and the example protein as 5p21.pdb: the
// setting of every whole run of the program on the example.
struct ExampleRunDir : ScratchDir {
    ExampleRunDir();
};

// The program run in a directory: exit status, standard output and standard error.
struct ProgramRun {
    int status = -1;
    std::string out, err;
};
// env: assignments for the program's environment ("LORVANE_DATA=/x"), "" for none.
ProgramRun runProgram(const std::string& dir, const std::string& args, const std::string& env = "");

// The repository's tables: templates, the sampling pair tables (mode 1) with
// rotamers and QUENDA, and the distributions.
const Templates& repoTemplates();
const Potentials& repoPotentials();
const Distributions& repoDistributions();

// examples/5p21.pdb (H-Ras) read with the repository's templates.
const Structure& ras();
// Position of the residue with PDB number num, -1 when there is none.
int positionOf(const Structure& s, int num);

}  // namespace lorvane_test

namespace lorvane_test {
// Short name of the repository's templates for the tests.
inline const Templates& tmpl() { return repoTemplates(); }
}  // namespace lorvane_test
