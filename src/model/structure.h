#pragma once
// A protein chain (or several chains read from one file) as a 1-based array
// of residues; position 0 is a seed residue that lets a chain be built from
// nothing by the backbone builders.
#include <string>
#include <vector>

#include "model/residue.h"
#include "model/templates.h"

namespace lorvane {

constexpr int MAX_RESIDUES = 1500;
constexpr int MAX_CHAINS = 20;

// A fixed atom of the environment that belongs to no amino-acid residue of the
// chain: a ligand, cofactor, ion or modified residue (or a water on request).
// It never moves and takes the types of the template atom it borrows: van der
// Waals code in type, pair type and OSCAR class once typed (typeAtoms).
struct HeteroAtom : Atom {
    int templateType = -1;  // residue type and slot of the borrowed template atom
    int templateSlot = -1;
    double radius = 0.0;    // contact radius, A (the ionic radius of a metal ion)
    bool metal = false;     // a metal ion: coordinated by oxygens, not bonded
    std::string residue;    // "GNP A167": residue name, chain, number and insertion code
    std::vector<int> bonded;  // covalent neighbours (indices in Structure::hetero)
};

class Structure {
public:
    int _numRes = 0;
    std::vector<Residue> residues;  // capacity + 1 entries
    std::string chainIds;
    int chainStart[MAX_CHAINS] = {};
    std::string name;
    bool gapAfter[MAX_RESIDUES + 1] = {};
    bool hasGap = false;
    bool incomplete = false;
    std::vector<std::string> chainNames;  // full chain IDs in the order of chainIds (mmCIF IDs may be longer)
    std::vector<HeteroAtom> hetero;       // fixed environment atoms outside the residues

    explicit Structure(int capacity = MAX_RESIDUES);
    Structure(const Structure& o);
    Structure& operator=(const Structure& o);

    // n residues, all empty, and the seed coordinates of residues 0 and 1.
    void init(int n);
    int capacity() const { return static_cast<int>(residues.size()) - 1; }
    Residue& operator[](int i) { return residues[i]; }
    const Residue& operator[](int i) const { return residues[i]; }

    // Residues from..to of src (src of another length only for the whole chain 1..to).
    void copyStructure(const Structure& src, int from, int to);

private:
    void copyChainFields(const Structure& o);
};

// Index of the chain holding position i (in the order of chainIds), -1 when none.
int chainOf(const Structure& s, int i);
// Chain, number and insertion code of position i as messages name it: "H60A".
std::string residueLabel(const Structure& s, int i);

// Chi angles of the residue measured from its atoms (in degrees) times scale:
// 1 keeps degrees, DEG2RAD gives radians. UNDEF_DIHEDRAL where an atom is
// missing. Glycine, alanine and residues of fewer than 7 slots keep theirs.
void measureChis(const Templates& t, Residue& r, double scale);
// The same, in degrees, for residues from..to.
void measureChis(const Templates& t, Structure& s, int from, int to);

}  // namespace lorvane
