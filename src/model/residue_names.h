#pragma once
// Residue types, their names and the per-type constants of the templates
// that are fixed by chemistry rather than read from a file.
#include <map>
#include <string>

namespace lorvane {

constexpr int NUM_AMINO_ACIDS = 20;  // residue types 0..19
constexpr int NUM_TYPES = 30;        // rows of the template tables; 20..29 stay empty
constexpr int MAX_ATOMS = 30;        // atom slots of a residue

// Residue type indices, in the order A C D E F G H I K L M N P Q R S T V W Y.
enum ResType { ALA = 0, CYS, ASP, GLU, PHE, GLY, HIS, ILE, LYS, LEU, MET, ASN, PRO, GLN, ARG, SER, THR, VAL, TRP, TYR };

// Template slots every residue type shares; the side chain follows from slot 6.
enum Slot { SLOT_N = 0, SLOT_CA = 1, SLOT_C = 2, SLOT_O = 3, SLOT_H = 4, SLOT_CB = 5, FIRST_SIDE_CHAIN_SLOT = 6 };
// The backbone atoms over which loops are compared, in order.
inline constexpr int BACKBONE_SLOTS[4] = {SLOT_N, SLOT_CA, SLOT_C, SLOT_O};

inline constexpr const char* ONE_LETTER[NUM_AMINO_ACIDS] = {"A", "C", "D", "E", "F", "G", "H", "I", "K", "L",
                                                            "M", "N", "P", "Q", "R", "S", "T", "V", "W", "Y"};
inline constexpr const char* THREE_LETTER[NUM_AMINO_ACIDS] = {"ALA", "CYS", "ASP", "GLU", "PHE", "GLY", "HIS", "ILE", "LYS", "LEU",
                                                              "MET", "ASN", "PRO", "GLN", "ARG", "SER", "THR", "VAL", "TRP", "TYR"};

// Last heavy-atom slot of each residue type; the hydrogens follow it.
inline constexpr int LAST_HEAVY_SLOT[NUM_TYPES] = {5, 6, 8, 9, 11, 5, 10, 8, 9, 8, 8, 8, 7, 9, 11, 6, 7, 7, 14, 12};
// Rotamer angles (chi) of each residue type.
inline constexpr int NUM_CHI[NUM_TYPES] = {0, 1, 2, 3, 2, 0, 2, 2, 4, 2, 3, 2, 2, 3, 4, 1, 1, 1, 2, 2};
// Side-chain dihedrals of each residue type: the chis and the hydroxyl-H dihedral of Ser, Thr and Tyr.
inline constexpr int NUM_SC_DIHEDRALS[NUM_TYPES] = {0, 1, 2, 3, 2, 0, 2, 2, 4, 2, 3, 2, 2, 3, 4, 2, 2, 1, 2, 3};

// Glycine and alanine have no side chain beyond CB to place.
inline bool noSideChain(int type) { return type == GLY || type == ALA; }
inline bool isAminoAcid(int type) { return type >= 0 && type < NUM_AMINO_ACIDS; }

inline std::string oneLetter(int type) { return isAminoAcid(type) ? ONE_LETTER[type] : "X"; }
inline std::string threeLetter(int type) { return isAminoAcid(type) ? THREE_LETTER[type] : "UNK"; }

// Name tables of residues, built once from the constants above.
struct ResidueNames {
    // One-letter code of three-letter, title-case and full names (and of nucleotides),
    // and the three-letter name of a one-letter code.
    std::map<std::string, std::string> code;
    // Residue type of one- and three-letter codes: amino acids 0..19, nucleotides
    // 20..24, "Z" 25, "U" 26.
    std::map<std::string, int> type;
};
const ResidueNames& residueNames();

// Residue type of a one- or three-letter code, -1 when it names none.
int residueType(const std::string& code);

}  // namespace lorvane
