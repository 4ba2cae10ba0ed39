#pragma once
// Secondary structure of the training entries from DSSP (mkdssp 4.x, Debian
// package dssp), run on a temporary copy of the backbone atoms.
#include <map>
#include <string>
#include <utility>

namespace lorvane::params {

// DSSP class mapped to H (H, G, I), E (E, B) or C (everything else), by chain
// identifier and residue number (residues with a blank insertion code only).
using DsspClasses = std::map<std::pair<char, int>, char>;

// Whether mkdssp is on PATH.
bool mkdsspAvailable();

// The N, CA, C and O lines of newline-terminated ATOM records: DSSP's classes
// depend on the backbone only, and without side chains its surface
// calculation is cheap.
std::string backboneRecords(const std::string& atoms);

// Runs mkdssp on the ATOM records (written to tmpBase.pdb with the HEADER and
// CRYST1 lines mkdssp wants); false when it fails or assigns nothing.
bool runDssp(const std::string& atoms, const std::string& tmpBase, DsspClasses& classes);

}  // namespace lorvane::params
