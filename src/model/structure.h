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

// Chi angles of the residue measured from its atoms (in degrees) times scale:
// 1 keeps degrees, DEG2RAD gives radians. UNDEF_DIHEDRAL where an atom is
// missing. Glycine, alanine and residues of fewer than 7 slots keep theirs.
void measureChis(const Templates& t, Residue& r, double scale);
// The same, in degrees, for residues from..to.
void measureChis(const Templates& t, Structure& s, int from, int to);

}  // namespace lorvane
