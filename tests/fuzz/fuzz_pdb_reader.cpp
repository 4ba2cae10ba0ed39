// The PDB reader on arbitrary text.
#include <sstream>

#include "fuzz_support.h"
#include "model/pdb_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static lorvane::Structure s(lorvane::MAX_RESIDUES);
    return lorvane_fuzz::rejectOnlyByError([&] {
        std::istringstream in(lorvane_fuzz::text(data, size));
        lorvane::readPdbStream(lorvane_fuzz::templates(), in, "fuzz.pdb", s);
    });
}
