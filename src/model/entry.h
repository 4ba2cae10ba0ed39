#pragma once
// A whole input entry as read from a PDB or mmCIF file (gzipped or not):
// per chain its amino-acid residues in file order with one conformer each,
// its other residues (ligands, ions, water), what the file says about
// residues missing from the coordinates, and where the backbone is broken.
// The gemmi structure is kept (first model only) so that models of the whole
// entry can be written back.
#include <string>
#include <vector>

#include <gemmi/model.hpp>

#include "model/residue_id.h"

namespace lorvane {

enum class EntryFormat { Pdb, MmCif };

// Standard: one of the 20 amino acids (selenomethionine is read as one, MET).
// Modified: another amino acid of the polymer (SEP, UNK, ...).
// Hetero: ligand, ion, cofactor, nucleotide. Water: crystal water.
enum class ResidueKind { Standard, Modified, Hetero, Water };

struct EntryAtom {
    std::string name;      // as the program names it: the SE of MSE reads as SD
    std::string fileName;  // as written in the file
    std::string element;   // upper case: "C", "SE", "MG"
    double x = 0, y = 0, z = 0;
    float occupancy = 1.0f;
    float bFactor = 0.0f;
    int gemmiAtom = -1;  // index in the gemmi residue's atoms

    bool isHydrogen() const { return element == "H" || element == "D"; }
};

struct EntryResidue {
    std::string name;      // as the program names it: MSE reads as MET
    std::string fileName;  // as written in the file
    ResidueId id;
    ResidueKind kind = ResidueKind::Hetero;
    std::string parent;     // Modified: the standard amino acid it derives from when known ("SER" for SEP), else ""
    char altloc = '\0';     // the conformer kept; '\0' when the residue has no alternate locations
    int gemmiChain = -1;    // index in Entry::structure.models[0].chains
    int gemmiResidue = -1;  // index in that chain's residues
    std::vector<EntryAtom> atoms;

    const EntryAtom* atom(const std::string& atomName) const;
    bool hasBackbone() const { return atom("N") && atom("CA") && atom("C"); }
};

// One residue of a chain's sequence as far as it is known. Present residues
// point into EntryChain::polymer; missing ones carry what the file says.
struct SequenceResidue {
    std::string name;  // three-letter name; "" when unknown (missing residues counted from the numbering only)
    ResidueId id;
    bool idKnown = true;  // false for missing residues whose number the file does not give
    int present = -1;     // index in EntryChain::polymer, -1 when missing from the coordinates
};

// Where the missing residues of a chain come from.
enum class SequenceSource {
    None,          // nothing: only numbering gaps at geometric breaks
    MissingList,   // REMARK 465 / _pdbx_unobs_or_zero_occ_residues: names and numbers
    FullSequence,  // SEQRES / _entity_poly_seq aligned to the coordinates: names, numbers where they follow
};

// The backbone between polymer[before] and polymer[before + 1] is not bonded.
struct ChainBreak {
    int before = -1;
    double cn = -1.0;    // C-N distance in A, -1 when an atom is missing
    std::string reason;  // "C-N 3.41 A" or "H45 has no CA"
};

struct EntryChain {
    std::string id;
    std::vector<EntryResidue> polymer;      // amino acids (standard and modified) in file order
    std::vector<EntryResidue> others;       // hetero residues and water in file order
    std::vector<SequenceResidue> sequence;  // every polymer residue in order, with the missing ones known
    SequenceSource sequenceSource = SequenceSource::None;
    std::vector<ChainBreak> breaks;  // in chain order

    // The break after polymer[i], or nullptr when polymer[i] and polymer[i + 1] are bonded.
    const ChainBreak* breakAfter(int i) const;
    std::string label(const ResidueId& id) const { return residueLabel(this->id, id); }
};

struct Entry {
    std::string path;
    EntryFormat format = EntryFormat::Pdb;
    gemmi::Structure structure;      // first model only, as read (five-digit residue numbers restored)
    std::vector<EntryChain> chains;  // in order of first appearance
    std::vector<std::string> notes;  // what the reader could not use, one line each, for the user

    const EntryChain* chain(const std::string& id) const;
};

// Reads PDB (.pdb, .ent), mmCIF (.cif, .mmcif), gzipped or not; the format is
// taken from the name, else from the content. Throws Error naming the file.
Entry readEntry(const std::string& path);
// The same from text in memory; name stands for the file in messages and decides the format.
Entry readEntryText(const std::string& text, const std::string& name);

double distance(const EntryAtom& a, const EntryAtom& b);

// The 20 amino acids of the program.
bool isStandardAminoAcid(const std::string& name);
// One-letter code of a standard amino acid or of MSE ('M'); 'X' for anything else.
char oneLetterCode(const std::string& name);
// Three-letter name of a one-letter code, "" when the letter is not one of the 20.
std::string threeLetterName(char code);

}  // namespace lorvane
