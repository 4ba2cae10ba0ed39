#pragma once
// A protein chain (or several chains read from one file) as a 1-based array
// of residues; position 0 is a seed residue that lets a chain be built from
// nothing by the backbone builders.
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "model/residue.h"

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
    Atom oxt;
    bool keepGeometry = false;

    static std::string _sequence;

    explicit Structure(int capacity = MAX_RESIDUES);
    Structure(const Structure& o);
    Structure& operator=(const Structure& o);
    ~Structure() = default;

    void init(int n);
    int capacity() const { return static_cast<int>(residues.size()) - 1; }
    Residue& operator[](int i) { return residues[i]; }
    const Residue& operator[](int i) const { return residues[i]; }

    void copyStructure(const Structure& src, int from, int to);
    void calCenter(int from, int to);
    void calSC(int from, int to);
    void calSCCo(int i, const double* chi, Residue& r);
    void calSCCoHeavy(int i, const double* chi, Residue& r);
    void calH(int from, int to);
    void StoreSequence();
    void readSeq(const char* path);
    bool readPdb(const std::string& path, const std::set<std::string>& filter, int verbose);
    // Same reader on an already open stream (e.g. a decompressed file); path names it in messages.
    bool readPdbStream(std::istream& in, const std::string& path, const std::set<std::string>& filter, int verbose);
    void output(int from, int to, int mode, std::ostream& out);

    // Backbone builders (src/build).
    void calBBCo(int i, Residue& a, Residue& b, double phi, double psi, double omega, double tau, bool into);
    void calBBCoR(int i, Residue& a, Residue& b, double phi, double psi, double omega, double tau, bool into);
    void calBBCoNext(int pos, Point* out, int step);   // out: 72 x 72 x 6 points
    void calBBCoNextR(int pos, Point* out, int step);

    // Side-chain optimisation of one residue (src/filter).
    bool optOneSC(int i);

    // Compare mode (src/evaluate).
    void evalLoops(const std::string& decoyFile, const std::set<std::string>& filter, int verbose, int start, int end,
                   Structure& native, bool dumpDistances);

private:
    void copyChainFields(const Structure& o);
};

// Range form stores degrees as Torsion returns them; residue form radians.
void cal_sc_angles(Structure& s, int from, int to);
void cal_sc_angles(Residue& r);
void assign_ss(Structure& s, int from, int to, int skipGeometry);

}  // namespace lorvane
