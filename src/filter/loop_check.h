#pragma once
// Reader and checker of result files ("pdbout/<id>.txt"): record format,
// fixed anchors, peptide bonds, clashes with the frame, and the backbone
// deviation of each loop from the input structure. Self-contained (reads the
// input's ATOM records itself) so that it can judge any run's output.
#include <string>
#include <vector>

namespace lorvane {

struct CheckAtom {
    std::string name;     // atom name without blanks
    std::string resName;  // three letters
    int resNum = 0;
    double x = 0, y = 0, z = 0;
};

struct WrittenLoop {
    int ordinal = 0;
    double dfire = 0, sideChain = 0, quenda = 0, g = 0;
    std::vector<CheckAtom> atoms;
};

// Reads a result file with a strict format check (LOOP line with two
// decimals, atom records in the fixed columns, "END " terminator). Returns
// false and sets error (naming the line) on the first deviation.
bool readResultFile(const std::string& path, std::vector<WrittenLoop>& loops, std::string& error);

// ATOM records of one chain of a PDB file (first model; alternate location
// blank or 'A'); chain ' ' or empty takes the first chain seen.
bool readFrame(const std::string& pdbPath, char chain, std::vector<CheckAtom>& atoms, std::string& error);

struct LoopVerdict {
    bool ok = true;
    std::string problem;        // first problem found
    double rmsd = 0;            // N, CA, C, O of the loop, no superposition
    double minFrameDist = 1e9;  // closest heavy-atom pair loop-frame (bonded junctions excluded)
    double minPeptide = 1e9, maxPeptide = 0;
    double anchorShift = 0;     // largest displacement of N, CA of the first and C, O of the last residue
    double endCAShift = 0;      // displacement of the last residue's CA
};

// Judges one loop against the frame atoms of the input for the loop
// start..end (PDB residue numbers).
LoopVerdict checkLoop(const WrittenLoop& loop, const std::vector<CheckAtom>& frame, int start, int end);

}  // namespace lorvane
