#pragma once
// Reading the sampler's result file back: every conformation (a LOOP line
// with its four scores, its ATOM records, an END line) with its residues in
// loop order. Compare mode, the ranking table and the models file all read
// it through here, so that they agree on what conformation k is.
#include <array>
#include <string>
#include <vector>

namespace lorvane {

struct ResultAtom {
    std::string name;  // as written, without blanks ("CA", "OG1")
    float x = 0, y = 0, z = 0;
};

struct ResultResidue {
    std::string name;  // three-letter residue name as written
    int number = 0;    // residue number as written (the file has no insertion codes)
    std::vector<ResultAtom> atoms;

    const ResultAtom* atom(const std::string& atomName) const;
};

struct ResultConformation {
    std::array<double, 4> scores{};  // DFIRE, side-chain, QUENDA, torsion, as on the LOOP line
    std::vector<ResultResidue> residues;  // in loop order
};

// Reads every complete conformation of path. Residues follow each other in
// loop order: a new one starts where the residue columns change or an atom
// name comes again (the file carries no insertion codes, and loops may cross
// numbering jumps). Stops (Error, status 1) naming the file and line on a bad
// LOOP line, an ATOM record outside a conformation or cut before its
// coordinates, a conformation of more than loopLength residues (0: no limit),
// more than capacity conformations (tooMany is appended to that message), and
// when the file holds no complete conformation.
std::vector<ResultConformation> readConformations(const std::string& path, int loopLength, int capacity,
                                               const std::string& tooMany = "");

// Backbone RMSD of two conformations of one loop over the atoms that move (C,
// O of the first residue; N, CA, C, O of the inner ones; N, CA of the last),
// no superposition, as compare mode measures a decoy against the native. The
// conformations must have the same residues, each with those atoms (Error otherwise).
double backboneRmsd(const ResultConformation& a, const ResultConformation& b);
// Those atoms' coordinates, x y z in turn (empty for a loop of fewer than two
// residues), and the RMSD between two such lists.
std::vector<double> backboneCoordinates(const ResultConformation& c);
double coordinateRmsd(const std::vector<double>& a, const std::vector<double>& b);

}  // namespace lorvane
