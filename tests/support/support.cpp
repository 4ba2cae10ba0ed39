#include "support/support.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "model/pdb_reader.h"

namespace lorvane_test {

std::string sourcePath(const std::string& rel) { return std::string(LORVANE_SOURCE_DIR) + "/" + rel; }

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream os;
    os << in.rdbuf();
    return os.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

std::string zeroTorsionBlock(const std::string& header) {
    std::string row;
    for (int c = 0; c < NUM_BINS; ++c) row += c ? " 0" : "0";
    std::string text = header + "\n";
    for (int r = 0; r < NUM_BINS; ++r) text += row + "\n";
    return text;
}

void writeFile(const std::string& path, const std::string& text) {
    fs::path p(path);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

ScratchDir::ScratchDir(bool enter) : old_(fs::current_path()), enter_(enter) {
    char tmpl[] = "/tmp/lorvane_test_XXXXXX";
    const char* d = mkdtemp(tmpl);
    if (!d) throw std::runtime_error("mkdtemp failed");
    root_ = d;
    if (enter_) fs::current_path(root_);
}

ScratchDir::~ScratchDir() {
    if (enter_) fs::current_path(old_);
    std::error_code ec;
    fs::remove_all(root_, ec);
}

void ScratchDir::linkData() const { fs::create_directory_symlink(buildDataPath(), path("data")); }

ExampleRunDir::ExampleRunDir() {
    linkData();
    fs::copy_file(sourcePath("examples/5p21.pdb"), path("5p21.pdb"));
}

std::string buildDataPath(const std::string& rel) {
    const std::string dir = std::string(LORVANE_BINARY_DIR) + "/data";
    return rel.empty() ? dir : dir + "/" + rel;
}

ProgramRun runProgram(const std::string& dir, const std::string& args, const std::string& env) {
    ProgramRun r;
    const std::string out = dir + "/.run.out", err = dir + "/.run.err";
    const int rc = std::system(("cd '" + dir + "' && " + (env.empty() ? "" : "env " + env + " ") + "'" + LORVANE_EXE + "' " + args + " > '" + out + "' 2> '" + err + "'").c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    fs::remove(out);
    fs::remove(err);
    return r;
}


const Templates& repoTemplates() {
    static const Templates t = loadTemplates(sourcePath("data/atomProp2.txt"));
    return t;
}

const Potentials& repoPotentials() {
    static const Potentials p = [] {
        Potentials q;
        loadPairTables(q, 1, buildDataPath());
        loadRotamers(q, buildDataPath("newsimplRot.txt"));
        loadQuenda(q, buildDataPath("QUENDA_ed4_8_V3.txt"));
        return q;
    }();
    return p;
}

const Distributions& repoDistributions() {
    static const Distributions d = [] {
        Distributions x;
        x = loadDistributions(buildDataPath());
        return x;
    }();
    return d;
}

const Structure& ras() {
    static const Structure s = [] {
        Structure x(MAX_RESIDUES);
        if (!readPdb(repoTemplates(), sourcePath("examples/5p21.pdb"), x)) throw std::runtime_error("examples/5p21.pdb unreadable");
        return x;
    }();
    return s;
}

int positionOf(const Structure& s, int num) {
    for (int i = 1; i <= s._numRes; ++i)
        if (s.residues[i].pdbNum == num) return i;
    return -1;
}

}  // namespace lorvane_test
