#include "fuzz_support.h"

#include <cstdlib>

#include "model/pdb_reader.h"

namespace lorvane_fuzz {

const lorvane::Templates& templates() {
    static const lorvane::Templates t = lorvane::loadTemplates(std::string(LORVANE_SOURCE_DIR) + "/data/atomProp2.txt");
    return t;
}

const lorvane::Structure& ras() {
    static const lorvane::Structure s = [] {
        lorvane::Structure x(lorvane::MAX_RESIDUES);
        if (!lorvane::readPdb(templates(), std::string(LORVANE_SOURCE_DIR) + "/examples/5p21.pdb", x)) std::abort();
        return x;
    }();
    return s;
}

int positionOf(const lorvane::Structure& s, int num) {
    for (int i = 1; i <= s._numRes; ++i)
        if (s.residues[i].pdbNum == num) return i;
    std::abort();
}

std::string text(const uint8_t* data, size_t size) { return std::string(reinterpret_cast<const char*>(data), size); }

}  // namespace lorvane_fuzz
