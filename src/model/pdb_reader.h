#pragma once
// Readers of the input: PDB "ATOM  " records and one-line sequence files.
#include <istream>
#include <set>
#include <string>

#include "model/structure.h"
#include "model/templates.h"

namespace lorvane {

// Reads the ATOM records of path into s (all chains as one chain; residues
// without an amino-acid template are skipped with a warning). filter, when
// not empty, keeps only the residues chain + number it lists. Stops (Error)
// when the file does not exist; returns false after printing the problem when
// its content cannot be used.
bool readPdb(const Templates& t, const std::string& path, Structure& s, const std::set<std::string>& filter = {}, int verbose = 0);
// The same reader on an already open stream (e.g. a decompressed file); path names it in messages.
bool readPdbStream(const Templates& t, std::istream& in, const std::string& path, Structure& s,
                   const std::set<std::string>& filter = {}, int verbose = 0);
// What a reader derives once the residues of s are in place: the OSCAR classes
// of the last residue's C and O, absent atoms (missingHeavy, incomplete; named
// on standard output with verbose), numAtoms from the templates, secondary
// structure and the name from path.
void finishChain(const Templates& t, Structure& s, const std::string& path, int verbose = 0);
// A one-line sequence of one-letter codes: residue types and atom names, no coordinates.
void readSeq(const Templates& t, const std::string& path, Structure& s);

}  // namespace lorvane
