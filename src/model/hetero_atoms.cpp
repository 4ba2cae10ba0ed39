// Perceives the chemistry of each non-standard residue from its own atoms
// (elements, covalent bonds by distance, planar rings) and maps every heavy
// atom to a template atom of the same chemical class.
#include "model/hetero_atoms.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

#include <gemmi/elem.hpp>

namespace lorvane {

namespace {

// Heavy atoms of the 20 amino acids by their PDB names: atoms of modified
// amino acids that keep these names keep the parent's types.
const std::map<std::string, std::vector<std::string>>& templateAtomNames() {
    static const std::map<std::string, std::vector<std::string>> names = {
        {"ALA", {"CB"}},
        {"ARG", {"CB", "CG", "CD", "NE", "CZ", "NH1", "NH2"}},
        {"ASN", {"CB", "CG", "OD1", "ND2"}},
        {"ASP", {"CB", "CG", "OD1", "OD2"}},
        {"CYS", {"CB", "SG"}},
        {"GLN", {"CB", "CG", "CD", "OE1", "NE2"}},
        {"GLU", {"CB", "CG", "CD", "OE1", "OE2"}},
        {"GLY", {}},
        {"HIS", {"CB", "CG", "ND1", "CD2", "CE1", "NE2"}},
        {"ILE", {"CB", "CG1", "CG2", "CD1"}},
        {"LEU", {"CB", "CG", "CD1", "CD2"}},
        {"LYS", {"CB", "CG", "CD", "CE", "NZ"}},
        {"MET", {"CB", "CG", "SD", "CE"}},
        {"PHE", {"CB", "CG", "CD1", "CD2", "CE1", "CE2", "CZ"}},
        {"PRO", {"CB", "CG", "CD"}},
        {"SER", {"CB", "OG"}},
        {"THR", {"CB", "OG1", "CG2"}},
        {"TRP", {"CB", "CG", "CD1", "CD2", "NE1", "CE2", "CE3", "CZ2", "CZ3", "CH2"}},
        {"TYR", {"CB", "CG", "CD1", "CD2", "CE1", "CE2", "CZ", "OH"}},
        {"VAL", {"CB", "CG1", "CG2"}},
    };
    return names;
}

// Effective ionic radii (A), six-fold coordination, Shannon R.D. (1976) Acta
// Cryst. A32:751-767, Table 1; high-spin for Mn2+, Fe2+, Co2+; the usual
// oxidation state of the ion in protein sites.
double ionicRadius(gemmi::El el) {
    using gemmi::El;
    switch (el) {
        case El::Li: return 0.76;
        case El::Na: return 1.02;
        case El::K: return 1.38;
        case El::Rb: return 1.52;
        case El::Cs: return 1.67;
        case El::Mg: return 0.72;
        case El::Ca: return 1.00;
        case El::Sr: return 1.18;
        case El::Ba: return 1.35;
        case El::Mn: return 0.83;
        case El::Fe: return 0.78;
        case El::Co: return 0.745;
        case El::Ni: return 0.69;
        case El::Cu: return 0.73;
        case El::Zn: return 0.74;
        case El::Cd: return 0.95;
        case El::Hg: return 1.02;
        case El::Al: return 0.535;
        default: return -1.0;
    }
}

// Halide anions: Shannon (1976), six-fold coordination.
double anionRadius(gemmi::El el) {
    using gemmi::El;
    switch (el) {
        case El::F: return 1.33;
        case El::Cl: return 1.81;
        case El::Br: return 1.96;
        case El::I: return 2.20;
        default: return -1.0;
    }
}

struct Perceived {
    std::vector<const EntryAtom*> atoms;  // heavy atoms of the residue
    std::vector<gemmi::El> el;
    std::vector<std::vector<int>> bonded;  // covalent neighbours (heavy, non-metal)
    std::vector<bool> aromatic;            // in a planar five- or six-membered ring
};

// Smallest ring (3 to 6 atoms) through atom a, as atom indices, or empty.
std::vector<int> smallestRing(const Perceived& p, int a) {
    std::vector<int> best, path{a};
    std::function<void(int)> walk = [&](int at) {
        for (int nb : p.bonded[at]) {
            if (nb == a && path.size() >= 3) {
                if (best.empty() || path.size() < best.size()) best = path;
                continue;
            }
            if (path.size() >= 6 || std::find(path.begin(), path.end(), nb) != path.end()) continue;
            path.push_back(nb);
            walk(nb);
            path.pop_back();
        }
    };
    walk(a);
    return best;
}

// Planar within 0.1 A: aromatic rings deviate by a few hundredths, puckered
// saturated rings (chair cyclohexane, envelope ribose) by 0.2 A and more.
bool planar(const Perceived& p, const std::vector<int>& ring) {
    double c[3] = {0, 0, 0}, nrm[3] = {0, 0, 0};
    for (int i : ring) c[0] += p.atoms[i]->x, c[1] += p.atoms[i]->y, c[2] += p.atoms[i]->z;
    for (double& v : c) v /= ring.size();
    for (size_t k = 0; k < ring.size(); ++k) {  // Newell's normal
        const EntryAtom& u = *p.atoms[ring[k]];
        const EntryAtom& v = *p.atoms[ring[(k + 1) % ring.size()]];
        nrm[0] += (u.y - v.y) * (u.z + v.z);
        nrm[1] += (u.z - v.z) * (u.x + v.x);
        nrm[2] += (u.x - v.x) * (u.y + v.y);
    }
    const double len = std::sqrt(nrm[0] * nrm[0] + nrm[1] * nrm[1] + nrm[2] * nrm[2]);
    if (len < 1e-9) return false;
    for (int i : ring) {
        const double d = ((p.atoms[i]->x - c[0]) * nrm[0] + (p.atoms[i]->y - c[1]) * nrm[1] + (p.atoms[i]->z - c[2]) * nrm[2]) / len;
        if (std::fabs(d) > 0.1) return false;
    }
    return true;
}

Perceived perceive(const EntryResidue& r) {
    Perceived p;
    for (const EntryAtom& a : r.atoms)
        if (!a.isHydrogen()) {
            p.atoms.push_back(&a);
            p.el.push_back(gemmi::find_element(a.element.c_str()));
        }
    const int n = static_cast<int>(p.atoms.size());
    p.bonded.assign(n, {});
    // Covalent bond: distance below the sum of covalent radii (Cordero et al.
    // 2008, Dalton Trans. 2832) plus 0.4 A; metal coordination is not a bond here.
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j) {
            if (gemmi::is_metal(p.el[i]) || gemmi::is_metal(p.el[j])) continue;
            const double d = distance(*p.atoms[i], *p.atoms[j]);
            if (d > 0.4 && d < gemmi::covalent_radius(p.el[i]) + gemmi::covalent_radius(p.el[j]) + 0.4) {
                p.bonded[i].push_back(j);
                p.bonded[j].push_back(i);
            }
        }
    p.aromatic.assign(n, false);
    for (int i = 0; i < n; ++i) {
        if (p.aromatic[i]) continue;
        const std::vector<int> ring = smallestRing(p, i);
        if ((ring.size() == 5 || ring.size() == 6) && planar(p, ring))
            for (int k : ring) p.aromatic[k] = true;
    }
    return p;
}

int count(const Perceived& p, int i, gemmi::El el) {
    int c = 0;
    for (int nb : p.bonded[i]) c += p.el[nb] == el;
    return c;
}

// Oxygens bonded to nothing else (carbonyl, carboxylate, phosphate O).
int terminalOxygens(const Perceived& p, int i) {
    int c = 0;
    for (int nb : p.bonded[i]) c += p.el[nb] == gemmi::El::O && p.bonded[nb].size() == 1;
    return c;
}

// Trigonal carbon: three neighbours in a plane (bond angles summing to 350
// degrees or more), or a double-bonded oxygen (C=O 1.23 A against C-O 1.43 A,
// Allen et al. 1987, J. Chem. Soc. Perkin Trans. 2, S1).
bool trigonal(const Perceived& p, int i) {
    for (int nb : p.bonded[i])
        if (p.el[nb] == gemmi::El::O && p.bonded[nb].size() == 1 && distance(*p.atoms[i], *p.atoms[nb]) < 1.30) return true;
    if (p.aromatic[i]) return true;
    if (p.bonded[i].size() != 3) return false;
    const EntryAtom& c = *p.atoms[i];
    double sum = 0;
    for (int a = 0; a < 3; ++a) {
        const EntryAtom& u = *p.atoms[p.bonded[i][a]];
        const EntryAtom& v = *p.atoms[p.bonded[i][(a + 1) % 3]];
        const double ux = u.x - c.x, uy = u.y - c.y, uz = u.z - c.z, vx = v.x - c.x, vy = v.y - c.y, vz = v.z - c.z;
        const double cosang = (ux * vx + uy * vy + uz * vz) / std::sqrt((ux * ux + uy * uy + uz * uz) * (vx * vx + vy * vy + vz * vz));
        sum += std::acos(std::max(-1.0, std::min(1.0, cosang)));
    }
    return sum * 180.0 / M_PI >= 350.0;
}

struct Mapping {
    const char* residue;
    const char* atom;
    const char* rule;
};

Mapping carbon(const Perceived& p, int i) {
    using gemmi::El;
    const int heavy = static_cast<int>(p.bonded[i].size());
    if (p.aromatic[i]) return heavy <= 2 ? Mapping{"PHE", "CZ", "aromatic CH"} : Mapping{"PHE", "CG", "substituted aromatic C"};
    if (trigonal(p, i)) {
        const int oxy = terminalOxygens(p, i);
        if (oxy >= 2) return {"ASP", "CG", "carboxylate C"};
        if (oxy == 1) return {"ASN", "CG", "carbonyl C"};
        if (count(p, i, El::N) >= 2) return {"ARG", "CZ", "amidine or guanidine C"};
        return {"PHE", "CG", "trigonal C"};
    }
    const bool o = count(p, i, El::O) > 0, nN = count(p, i, El::N) > 0, s = count(p, i, El::S) > 0;
    if (heavy <= 1) return s ? Mapping{"MET", "CE", "methyl C on S"} : Mapping{"ALA", "CB", "methyl C"};
    if (heavy == 2) {
        if (o) return {"SER", "CB", "methylene C on O"};
        if (nN) return {"LYS", "CE", "methylene C on N"};
        if (s) return {"MET", "CG", "methylene C on S"};
        return {"LYS", "CD", "methylene C"};
    }
    if (o) return {"THR", "CB", "branched C on O"};
    if (nN) return {"ALA", "CA", "branched C on N"};
    return {"LEU", "CG", "branched C"};
}

Mapping nitrogen(const Perceived& p, int i) {
    const int heavy = static_cast<int>(p.bonded[i].size());
    if (p.aromatic[i]) return heavy <= 2 ? Mapping{"HIS", "ND1", "aromatic N"} : Mapping{"PRO", "N", "substituted aromatic N"};
    if (heavy == 0) return {"LYS", "NZ", "isolated N"};
    if (heavy == 1) {
        const int nb = p.bonded[i][0];
        if (p.el[nb] == gemmi::El::C && trigonal(p, nb)) return {"ASN", "ND2", "amide or amine N on trigonal C"};
        return {"LYS", "NZ", "amine N"};
    }
    if (heavy == 2) return {"ALA", "N", "N with one H (amide, imide)"};
    if (heavy == 3) return {"PRO", "N", "N without H"};
    return {"LYS", "NZ", "quaternary N"};
}

Mapping oxygen(const Perceived& p, int i) {
    using gemmi::El;
    const int heavy = static_cast<int>(p.bonded[i].size());
    if (heavy == 0) return {"SER", "OG", "isolated O"};
    if (heavy >= 2) return {"ASN", "OD1", "ether or bridging O (acceptor only)"};
    const int nb = p.bonded[i][0];
    if (p.el[nb] == El::P || p.el[nb] == El::S) return {"ASP", "OD1", "phosphate or sulfate O"};
    if (p.el[nb] == El::N) return {"ASN", "OD1", "N-oxide or nitro O"};
    if (p.el[nb] == El::C) {
        if (terminalOxygens(p, nb) >= 2) return {"ASP", "OD1", "carboxylate O"};
        if (distance(*p.atoms[i], *p.atoms[nb]) < 1.30) return {"ASN", "OD1", "carbonyl O"};
        if (p.aromatic[nb]) return {"TYR", "OH", "phenolic OH"};
        return {"SER", "OG", "hydroxyl O"};
    }
    return {"SER", "OG", "hydroxyl O"};
}

Mapping sulfur(const Perceived& p, int i) {
    const int heavy = static_cast<int>(p.bonded[i].size());
    if (count(p, i, gemmi::El::O) >= 2 || heavy >= 3) return {"MET", "SD", "sulfate, sulfonate or sulfoxide S"};
    if (heavy == 1 || count(p, i, gemmi::El::S) > 0) return {"CYS", "SG", "thiol or disulfide S"};
    return {"MET", "SD", "thioether S"};
}

Mapping chemistry(const Perceived& p, int i) {
    using gemmi::El;
    const El el = p.el[i];
    if (gemmi::is_metal(el)) return {"LYS", "NZ", "metal cation"};
    const bool isolated = p.bonded[i].empty();
    switch (el) {
        case El::C: return carbon(p, i);
        case El::N: return nitrogen(p, i);
        case El::O: return oxygen(p, i);
        case El::S: return sulfur(p, i);
        case El::P: return {"MET", "SD", "phosphorus (in its oxygens; S class of equal size)"};
        case El::Se: return {"MET", "SD", "selenium (S analogue)"};
        case El::F: return isolated ? Mapping{"ASP", "OD1", "halide anion"} : Mapping{"ASN", "OD1", "organic F (weak acceptor)"};
        case El::Cl:
        case El::Br:
        case El::I: return isolated ? Mapping{"ASP", "OD1", "halide anion"} : Mapping{"MET", "SD", "organic Cl, Br or I"};
        case El::B: return {"LEU", "CG", "boron (C class of equal size)"};
        case El::X: return {"ALA", "CB", "unknown element"};
        default: return {"MET", "SD", "other non-metal (S class)"};
    }
}

double contactRadius(const Perceived& p, int i) {
    const gemmi::El el = p.el[i];
    if (gemmi::is_metal(el)) {
        const double r = ionicRadius(el);
        return r > 0 ? r : gemmi::covalent_radius(el);
    }
    if (p.bonded[i].empty() && anionRadius(el) > 0) return anionRadius(el);
    return gemmi::vdw_radius(el);
}

}  // namespace

std::vector<EnvironmentAtom> environmentAtoms(const Entry& entry, bool keepWater) {
    std::vector<EnvironmentAtom> out;
    const auto& names = templateAtomNames();
    for (const EntryChain& ch : entry.chains) {
        std::vector<const EntryResidue*> residues;
        for (const EntryResidue& r : ch.polymer)
            if (r.kind == ResidueKind::Modified) residues.push_back(&r);
        for (const EntryResidue& r : ch.others)
            if (r.kind == ResidueKind::Hetero || (keepWater && r.kind == ResidueKind::Water)) residues.push_back(&r);
        for (const EntryResidue* r : residues) {
            const Perceived p = perceive(*r);
            // Amino-acid atoms under their standard names keep the types of that amino acid.
            std::string parent = r->parent.empty() && isStandardAminoAcid(r->name) ? r->name : r->parent;
            const bool polymer = r->kind == ResidueKind::Modified;
            const int first = static_cast<int>(out.size());
            for (size_t i = 0; i < p.atoms.size(); ++i) {
                const EntryAtom& a = *p.atoms[i];
                EnvironmentAtom e;
                e.chain = ch.id;
                e.residue = r->id;
                e.residueName = r->fileName;
                e.atomName = a.fileName;
                e.element = a.element;
                e.x = a.x, e.y = a.y, e.z = a.z;
                Mapping m = chemistry(p, static_cast<int>(i));
                const bool backbone = a.name == "N" || a.name == "CA" || a.name == "C" || a.name == "O";
                const std::string base = parent.empty() ? "ALA" : parent;
                auto side = names.find(base);
                const bool sideName = side != names.end() && a.name != "CA" && a.name.size() <= 3 &&
                                      std::find(side->second.begin(), side->second.end(), a.name) != side->second.end() &&
                                      a.element == std::string(1, a.name[0]);
                if (r->kind == ResidueKind::Water) {
                    m = {"SER", "OG", "water O (hydroxyl-like donor and acceptor)"};
                    e.templateResidue = m.residue;
                    e.templateAtom = m.atom;
                } else if ((polymer || !parent.empty()) && backbone && a.element == std::string(1, a.name[0])) {
                    e.templateResidue = base;
                    e.templateAtom = a.name;
                    m.rule = "backbone atom of an amino acid";
                } else if (!parent.empty() && sideName) {
                    e.templateResidue = parent;
                    e.templateAtom = a.name;
                    m.rule = "side-chain atom named as in the parent amino acid";
                } else {
                    e.templateResidue = m.residue;
                    e.templateAtom = m.atom;
                }
                e.rule = m.rule;
                e.radius = contactRadius(p, static_cast<int>(i));
                e.metal = gemmi::is_metal(p.el[i]);
                for (int nb : p.bonded[i]) e.bonded.push_back(first + nb);
                out.push_back(e);
            }
        }
    }
    return out;
}

}  // namespace lorvane
