#include "params/dssp_classes.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string_view>

#include "model/strings.h"

extern char** environ;

namespace lorvane::params {

bool mkdsspAvailable() {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    for (const std::string& dir : split(path, ":", true)) {
        const std::string f = (dir.empty() ? std::string(".") : dir) + "/mkdssp";
        if (access(f.c_str(), X_OK) == 0) return true;
    }
    return false;
}

std::string backboneRecords(const std::string& atoms) {
    std::string out;
    out.reserve(atoms.size() / 2);
    size_t p = 0;
    while (p < atoms.size()) {
        size_t e = atoms.find('\n', p);
        if (e == std::string::npos) e = atoms.size();
        if (e - p >= 16) {
            const std::string_view name(atoms.data() + p + 12, 4);
            if (name == " N  " || name == " CA " || name == " C  " || name == " O  ") out.append(atoms, p, e - p + 1);
        }
        p = e + 1;
    }
    return out;
}

namespace {

bool spawnDssp(const std::string& in, const std::string& out) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    std::string a0 = "mkdssp", a1 = "--output-format", a2 = "dssp";
    char* argv[] = {a0.data(), a1.data(), a2.data(), const_cast<char*>(in.c_str()), const_cast<char*>(out.c_str()), nullptr};
    pid_t pid;
    const int rc = posix_spawnp(&pid, "mkdssp", &fa, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Class letters of the residue lines of a classic DSSP file; the number of rows read.
int readDsspFile(const std::string& path, DsspClasses& classes) {
    std::ifstream f(path);
    std::string line;
    bool body = false;
    int rows = 0;
    while (std::getline(f, line)) {
        if (!body) {
            body = line.compare(0, 12, "  #  RESIDUE") == 0;
            continue;
        }
        if (line.size() < 17 || line[13] == '!') continue;  // chain-break marker line
        if (line[10] != ' ') continue;                       // insertion code: not in our chains
        const int num = static_cast<int>(std::strtol(line.substr(5, 5).c_str(), nullptr, 10));
        const char c = line[16];
        classes[{line[11], num}] = (c == 'H' || c == 'G' || c == 'I') ? 'H' : (c == 'E' || c == 'B') ? 'E' : 'C';
        ++rows;
    }
    return rows;
}

}  // namespace

bool runDssp(const std::string& atoms, const std::string& tmpBase, DsspClasses& classes) {
    const std::string in = tmpBase + ".pdb", out = tmpBase + ".dssp";
    {
        std::ofstream f(in);
        if (!f) return false;
        f << "HEADER    LORVANE TRAINING ENTRY\n"
          << "CRYST1    1.000    1.000    1.000  90.00  90.00  90.00 P 1           1\n"
          << atoms << "END\n";
        if (!f) return false;
    }
    const bool ok = spawnDssp(in, out) && readDsspFile(out, classes) > 0;
    std::remove(in.c_str());
    std::remove(out.c_str());
    return ok;
}

}  // namespace lorvane::params
