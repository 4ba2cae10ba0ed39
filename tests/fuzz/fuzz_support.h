#pragma once
// Shared set-up of the fuzzing harnesses: the repository's templates (and
// H-Ras) loaded once, and the one rule every harness follows: an input the
// program rejects must be rejected through lorvane::Error; anything else
// escaping, a crash, a sanitizer report or a hang is a finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/error.h"
#include "model/structure.h"
#include "model/templates.h"

namespace lorvane_fuzz {

const lorvane::Templates& templates();
// examples/5p21.pdb with the templates above.
const lorvane::Structure& ras();
// Position of PDB residue number num in s.
int positionOf(const lorvane::Structure& s, int num);
std::string text(const uint8_t* data, size_t size);

// Runs the harness body; a lorvane::Error is the expected answer to a bad input.
template <class F>
int rejectOnlyByError(F&& body) {
    try {
        body();
    } catch (const lorvane::Error&) {
    }
    return 0;
}

}  // namespace lorvane_fuzz
