#include "model/residue.h"

#include <cmath>
#include <cstdio>
#include <fstream>

#include "model/error.h"
#include "model/strings.h"

namespace lorvane {

std::string Residue::Name1[25];
std::string Residue::Name3[25];
int Residue::numAtom[NUM_TYPES] = {};
std::string Residue::cType[NUM_TYPES][MAX_ATOMS];
int Residue::vdwType[NUM_TYPES][MAX_ATOMS] = {};
int Residue::oplsType[NUM_TYPES][MAX_ATOMS] = {};
int Residue::prev_atom[NUM_TYPES][MAX_ATOMS][3] = {};
double Residue::bond_length[NUM_TYPES][MAX_ATOMS] = {};
double Residue::bond_angle[NUM_TYPES][MAX_ATOMS] = {};
double Residue::torsion[NUM_TYPES][MAX_ATOMS] = {};
double Residue::size[NUM_TYPES] = {};
double Residue::sc_size[NUM_TYPES] = {};
double Residue::sc_max_dis[NUM_TYPES] = {};
std::vector<int> Residue::funcAtom[NUM_TYPES];
std::map<std::string, int> Residue::AtomMap;
std::map<std::string, int> Residue::AtomIndexMap;
std::map<std::string, std::string> Residue::AAMap;
std::map<std::string, int> Residue::AIMap;
std::map<int, std::string> Residue::ResMap;
std::map<std::string, int> Residue::SIMap;
std::map<std::string, int> Residue::BIMap;
double Residue::sqrtt[10000];
double Residue::sincos_ttable[108][2];
double Residue::sincos_btable[6][2];
double Residue::bb_size = 0.0;
// A C D E F G H I K L M N P Q R S T V W Y
const int Residue::lastDFire[NUM_TYPES] = {5, 6, 8, 9, 11, 5, 10, 8, 9, 8, 8, 8, 7, 9, 11, 6, 7, 7, 14, 12};
const int Residue::numTorAng[NUM_TYPES] = {0, 1, 2, 3, 2, 0, 2, 2, 4, 2, 3, 2, 2, 3, 4, 1, 1, 1, 2, 2};

Residue::Residue(int n) { init(n); }

Residue::Residue(const Residue& o) {
    init(MAX_ATOMS);
    *this = o;
}

void Residue::init(int n) {
    (void)n;  // every residue owns 30 slots
    for (int j = 0; j < MAX_ATOMS; ++j) {
        atoms[j] = Atom();
        atoms[j].index = j;
        atoms[j].parent = this;
    }
    type = -1;
    numAtoms = MAX_ATOMS;
    ss = 2;
    phi = psi = omega = UNDEF_DIHEDRAL;
    for (double& c : chi) c = UNDEF_DIHEDRAL;
    missingHeavy = false;
    geomSet = false;
    bbCenter = Atom(0, 0, 0, ABSENT);
    scCenter = Atom(0, 0, 0, ABSENT);
    center = Atom(0, 0, 0, ABSENT);
    neighbors.clear();
    sc = Atom(0, 0, 0, 5);
    sc.name = "SC";
    fgCenter = Atom(0, 0, 0, ABSENT);
}

Residue& Residue::operator=(const Residue& o) {
    if (this == &o) return *this;
    int n = o.numAtoms;
    if (n < 0) n = 0;
    if (n > MAX_ATOMS) n = MAX_ATOMS;
    for (int j = 0; j < n; ++j) atoms[j] = o.atoms[j];
    for (int j = n; j < MAX_ATOMS; ++j) {
        atoms[j].reset();
        atoms[j].index = j;
    }
    for (int j = n; j < n + 2 && j < MAX_ATOMS; ++j)
        if (o.atoms[j].type > 0) atoms[j] = o.atoms[j];
    type = o.type;
    index = o.index;
    numAtoms = o.numAtoms;
    ss = o.ss;
    phi = o.phi;
    psi = o.psi;
    omega = o.omega;
    tNCACO = o.tNCACO;
    tNCCACB = o.tNCCACB;
    dCN = o.dCN;
    dNCA = o.dNCA;
    dCAC = o.dCAC;
    dCO = o.dCO;
    dCACB = o.dCACB;
    aCNCA = o.aCNCA;
    aNCAC = o.aNCAC;
    aCACN = o.aCACN;
    aCACO = o.aCACO;
    aCCACB = o.aCCACB;
    geomSet = o.geomSet;
    for (int k = 0; k < 5; ++k) chi[k] = o.chi[k];
    pdbNum = o.pdbNum;
    missingHeavy = o.missingHeavy;
    bbCenter = o.bbCenter;
    scCenter = o.scCenter;
    center = o.center;
    neighbors = o.neighbors;
    sc = o.sc;
    fgCenter = o.fgCenter;
    return *this;
}

void Residue::InitMap() {
    static const char* one[20] = {"A", "C", "D", "E", "F", "G", "H", "I", "K", "L",
                                  "M", "N", "P", "Q", "R", "S", "T", "V", "W", "Y"};
    static const char* three[20] = {"ALA", "CYS", "ASP", "GLU", "PHE", "GLY", "HIS", "ILE", "LYS", "LEU",
                                    "MET", "ASN", "PRO", "GLN", "ARG", "SER", "THR", "VAL", "TRP", "TYR"};
    static const char* title[20] = {"Ala", "Cys", "Asp", "Glu", "Phe", "Gly", "His", "Ile", "Lys", "Leu",
                                    "Met", "Asn", "Pro", "Gln", "Arg", "Ser", "Thr", "Val", "Trp", "Tyr"};
    static const char* full[20] = {"Alanine",    "Cysteine", "Aspartate", "Glutamate", "Phenylalanine",
                                   "Glycine",    "Histidine", "Isoleucine", "Lysine",  "Leucine",
                                   "Methionine", "Asparagine", "Proline",  "Glutamine", "Arginine",
                                   "Serine",     "Threonine", "Valine",    "Tryptophan", "Tyrosine"};
    static const char* nucName[5] = {"  A", "  C", "  G", "  T", "  U"};
    static const char* nucCode[5] = {"a", "c", "g", "t", "u"};
    // emplace keeps the first value of a key, as the maps are defined.
    for (int i = 0; i < 20; ++i) AAMap.emplace(title[i], one[i]);
    for (int i = 0; i < 20; ++i) AAMap.emplace(three[i], one[i]);
    AAMap.emplace("UNK", "U");
    for (int i = 0; i < 5; ++i) AAMap.emplace(nucName[i], nucCode[i]);
    for (int i = 0; i < 20; ++i) AAMap.emplace(one[i], three[i]);
    AAMap.emplace("U", "UNK");
    for (int i = 0; i < 5; ++i) AAMap.emplace(nucCode[i], nucName[i]);
    for (int i = 0; i < 20; ++i) AAMap.emplace(full[i], one[i]);
    AAMap.emplace("Disulfide", "Z");
    AAMap.emplace("Unknown", "U");
    AAMap.emplace("Cytosine", "c");
    AAMap.emplace("Thymine", "t");
    AAMap.emplace("Adenine", "a");
    AAMap.emplace("Guanine", "g");
    AAMap.emplace("Uracil", "u");

    for (int i = 0; i < 20; ++i) AIMap.emplace(one[i], i);
    for (int i = 0; i < 5; ++i) AIMap.emplace(nucCode[i], 20 + i);
    AIMap.emplace("Z", 25);
    AIMap.emplace("U", 26);
    for (int i = 0; i < 20; ++i) AIMap.emplace(three[i], i);
    for (int i = 0; i < 5; ++i) AIMap.emplace(nucName[i], 20 + i);

    for (int i = 0; i < 20; ++i) ResMap.emplace(i, three[i]);
    for (int i = 0; i < 5; ++i) ResMap.emplace(20 + i, nucName[i]);

    SIMap.emplace("H", 0);
    SIMap.emplace("E", 1);
    SIMap.emplace("C", 2);
    BIMap.emplace("N", 0);
    BIMap.emplace("CA", 1);
    BIMap.emplace("C", 2);
}

namespace {

std::string firstChar(const std::string& s) { return s.empty() ? std::string() : s.substr(0, 1); }

// Reads the n row lines after a section header; a file that ends early is bad data.
bool nextRow(std::ifstream& in, std::string& line, const std::string& file, const std::string& section, int k) {
    if (std::getline(in, line)) return true;
    fail(file + ": section " + section + " ends after " + std::to_string(k) + " rows");
}

}  // namespace

void Residue::InitPar(const char* path, const std::string& prefix, int) {
    std::ifstream in;
    const std::string used = openParameterFile(path, prefix, in);
    std::string line;
    int atomIndexRunning = 0;
    while (std::getline(in, line)) {
        char secbuf[64];
        int n = 0;
        if (std::sscanf(line.c_str(), "%*s %63s %d", secbuf, &n) != 2) continue;
        std::string section = secbuf;
        if (section != "atomtype" && section != "atomDependency" && section != "bondParameter" &&
            section != "residueSize" && section != "torsionAngle" && section != "functionalAtoms")
            continue;
        if (n > NUM_TYPES) fail(used + ": section " + section + " has " + std::to_string(n) + " rows, at most 30 fit");
        for (int k = 0; k < n; ++k) {
            nextRow(in, line, used, section, k);
            std::vector<std::string> tok = split(line, " ", false);
            if (section == "atomtype") {
                if (tok.empty()) tok.push_back("");
                std::string code = tok[0];
                if (AAMap.find(code) == AAMap.end()) fail("file reading error, wrong AA type " + code);
                int na = (static_cast<int>(tok.size()) - 2) / 3;
                if (na < 0) na = 0;
                if (na > MAX_ATOMS) fail(used + ": residue " + code + " has " + std::to_string(na) + " atoms, at most 30 fit");
                if (k < 25) {
                    Name1[k] = code;
                    Name3[k] = AAMap[code];
                }
                numAtom[k] = na;
                for (int j = 0; j < na; ++j) {
                    const std::string& nm = tok[2 + 3 * j];
                    cType[k][j] = nm;
                    vdwType[k][j] = static_cast<int>(toLong(tok[3 + 3 * j]));
                    oplsType[k][j] = static_cast<int>(toLong(tok[4 + 3 * j]));
                    AtomMap.emplace(code + nm, j);
                    AtomIndexMap.emplace(code + nm, atomIndexRunning + j);
                }
                atomIndexRunning += na;
            } else if (section == "atomDependency") {
                std::string code = tok.size() > 1 ? tok[1] : "";
                if (code != Name1[k])
                    fail("atomDependency error, wrong AA type " + std::to_string(k) + " " + firstChar(code) + " " + Name1[k]);
                for (int j = 0; 2 + 4 * j + 3 < static_cast<int>(tok.size()) && j < MAX_ATOMS; ++j) {
                    const std::string& nm = tok[2 + 4 * j];
                    if (nm != cType[k][j])
                        fail("atomDependency error,\twrong atom type " + nm + " " + cType[k][j] + " " + std::to_string(k) + " " +
                              std::to_string(j));
                    for (int r = 0; r < 3; ++r) {
                        int v = static_cast<int>(toLong(tok[3 + 4 * j + r]));
                        if (v < 0 || v >= MAX_ATOMS)
                            fail(used + ": atomDependency of " + Name1[k] + " " + nm + " names slot " + std::to_string(v));
                        prev_atom[k][j][r] = v;
                    }
                }
            } else if (section == "bondParameter") {
                std::string code = tok.size() > 1 ? tok[1] : "";
                if (code != Name1[k]) fail("bondParameter error, wrong AA type " + std::to_string(k) + " " + firstChar(code));
                for (int j = 0; 2 + 3 * j + 2 < static_cast<int>(tok.size()) && j < MAX_ATOMS; ++j) {
                    const std::string& nm = tok[2 + 3 * j];
                    if (nm != cType[k][j])
                        fail("bondParamter error, wrong atom type " + std::to_string(k) + " " + std::to_string(j) + " " +
                              std::to_string(2 + 3 * j) + " " + nm + " " + cType[k][j]);
                    bond_length[k][j] = toDouble(tok[3 + 3 * j]);
                    bond_angle[k][j] = toDouble(tok[4 + 3 * j]) * DEG2RAD;
                }
            } else if (section == "residueSize") {
                if (tok.size() > 2) size[k] = toDouble(tok[2]);
                if (tok.size() > 4) sc_size[k] = toDouble(tok[4]);
                if (tok.size() > 6) sc_max_dis[k] = toDouble(tok[6]);
            } else if (section == "torsionAngle") {
                for (int j = 0; 2 + 2 * j + 1 < static_cast<int>(tok.size()) && j < MAX_ATOMS; ++j) {
                    const std::string& nm = tok[2 + 2 * j];
                    if (nm != cType[k][j]) fail("torsionAngle error, wrong atom type " + nm + " " + cType[k][j]);
                    double v = toDouble(tok[3 + 2 * j]);
                    torsion[k][j] = (v == -1234.0) ? FREE_CHI : v * DEG2RAD;
                }
            } else if (section == "functionalAtoms") {
                std::string code = tok.empty() ? "" : tok[0];
                for (size_t t = 2; t < tok.size(); ++t) {
                    if (tok[t].empty()) continue;  // trailing blank
                    std::string key = code + tok[t];
                    auto it = AtomMap.find(key);
                    if (it == AtomMap.end())
                        fail("atom type error in reading functional atoms! " + std::to_string(k) + " " + std::to_string(t) + " " + key);
                    funcAtom[k].push_back(it->second);
                }
            }
        }
    }
    bb_size = 1.93;
    for (int j = 0; j < 6; ++j) {
        sincos_btable[j][0] = std::sin(PI - bond_angle[0][j]);
        sincos_btable[j][1] = std::cos(PI - bond_angle[0][j]);
    }
    for (int k = 0; k < 108; ++k) {
        double a = k * 0.08726646259971639 - PI;
        sincos_ttable[k][0] = std::sin(a);
        sincos_ttable[k][1] = std::cos(a);
    }
    for (int i = 0; i < 10000; ++i) sqrtt[i] = std::sqrt(static_cast<double>(i));
}

void Residue::cal_fg() {
    if (type == GLY) return;
    if (type == ALA) {
        fgCenter = atoms[5];
        return;
    }
    if (type < 0 || type >= 20) return;
    double sx = 0, sy = 0, sz = 0;
    int count = 0;
    for (int j = 6; j < numAtoms && j < MAX_ATOMS; ++j) {
        if (atoms[j].type > 21 || atoms[j].type == ABSENT) continue;
        if (type == LYS && (j == 6 || j == 7 || j == 8)) continue;
        if (type == ARG && (j == 6 || j == 7)) continue;
        if (type == THR && j == 7) continue;
        sx += atoms[j].x;
        sy += atoms[j].y;
        sz += atoms[j].z;
        ++count;
    }
    if (count == 0) return;
    double inv = 1.0 / count;
    fgCenter.x = static_cast<float>(sx * inv);
    fgCenter.y = static_cast<float>(sy * inv);
    fgCenter.z = static_cast<float>(sz * inv);
}

void Residue::cal_sc_angles() {
    if (type == GLY || type == ALA || numAtoms < 7 || type < 0 || type >= 20) return;
    int k = 0;
    for (int j = 6; j < numAtoms && j < MAX_ATOMS && k < 5; ++j) {
        if (torsion[type][j] != FREE_CHI) continue;
        const int* r = prev_atom[type][j];
        if (atoms[j].present() && atoms[r[0]].present() && atoms[r[1]].present() && atoms[r[2]].present())
            chi[k] = Torsion(atoms[j], atoms[r[2]], atoms[r[1]], atoms[r[0]]) * DEG2RAD;
        else
            chi[k] = UNDEF_DIHEDRAL;
        ++k;
    }
}

}  // namespace lorvane
