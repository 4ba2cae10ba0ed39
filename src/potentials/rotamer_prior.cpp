#include "potentials/rotamer_prior.h"

#include <cmath>

#include "model/backbone_dihedrals.h"
#include "model/error.h"
#include "model/geometry.h"
#include "model/residue_names.h"
#include "model/table_text.h"

namespace lorvane {

namespace {

// The atom that ends chi1 (N CA CB X) and the one that ends chi2 (CA CB X Y); empty: no such angle.
struct ChiAtoms {
    const char* chi1;
    const char* chi2;
};

ChiAtoms chiAtoms(int t) {
    switch (t) {
        case ARG: return {"CG", "CD"};
        case ASN: return {"CG", "OD1"};
        case ASP: return {"CG", "OD1"};
        case CYS: return {"SG", ""};
        case GLN: return {"CG", "CD"};
        case GLU: return {"CG", "CD"};
        case HIS: return {"CG", "ND1"};
        case ILE: return {"CG1", "CD1"};
        case LEU: return {"CG", "CD1"};
        case LYS: return {"CG", "CD"};
        case MET: return {"CG", "SD"};
        case PHE: return {"CG", "CD1"};
        case PRO: return {"CG", "CD"};
        case SER: return {"OG", ""};
        case THR: return {"OG1", ""};
        case TRP: return {"CG", "CD1"};
        case TYR: return {"CG", "CD1"};
        case VAL: return {"CG1", ""};
        default: return {"", ""};
    }
}

double degrees360(double a) {
    const double m = std::fmod(a, 360.0);
    return m < 0.0 ? m + 360.0 : m;
}

int bin(double deg, double width, int count) {
    if (!std::isfinite(deg)) return 0;  // an angle of coincident atoms: no cast of NaN to int
    const int b = static_cast<int>(std::floor(deg / width));
    return b < 0 ? 0 : (b >= count ? count - 1 : b);
}

}  // namespace

RotamerPrior parseRotamerPrior(const std::string& name, const std::string& text) {
    TableText in(name, text);
    RotamerPrior p;
    p.energy.assign(NUM_AMINO_ACIDS, {});
    p.known.assign(NUM_AMINO_ACIDS, false);
    std::vector<std::vector<bool>> seen(NUM_AMINO_ACIDS, std::vector<bool>(PRIOR_CELLS, false));
    std::string_view line;
    while (in.next(line)) {
        const auto& f = in.fields(line);
        if (f.empty() || f[0].front() == '#') continue;
        in.expectFields(f, 2 + PRIOR_ROTAMERS, "fields (type, cell, 9 energies)");
        const int t = residueType(std::string(f[0]));
        if (!isAminoAcid(t) || chiAtoms(t).chi1[0] == '\0') in.fail("not a residue type with a side chain: " + quoted(f[0]));
        const int c = in.integer(f[1], 0, PRIOR_CELLS - 1, "cell");
        if (seen[t][c]) in.fail("a second line for " + std::string(f[0]) + " cell " + std::to_string(c));
        seen[t][c] = true;
        for (int r = 0; r < PRIOR_ROTAMERS; ++r) p.energy[t][c][r] = in.number(f[2 + r]);
        p.known[t] = true;
    }
    for (int t = 0; t < NUM_AMINO_ACIDS; ++t)
        if (p.known[t])
            for (int c = 0; c < PRIOR_CELLS; ++c)
                if (!seen[t][c]) in.failFile("no line for " + threeLetter(t) + " cell " + std::to_string(c));
    return p;
}

RotamerPrior loadRotamerPrior(const std::string& path) {
    const TableText t = TableText::read(path, "rotamer prior");
    return parseRotamerPrior(t.name(), t.text());
}

int priorCell(double phiDeg, double psiDeg) {
    return bin(degrees360(phiDeg), 30.0, 12) * 12 + bin(degrees360(psiDeg), 30.0, 12);
}

int priorRotamer(int t, double chi1Deg, double chi2Deg) {
    const ChiAtoms a = chiAtoms(t);
    int r = bin(degrees360(chi1Deg), 120.0, 3) * 3;
    if (a.chi2[0] != '\0') {
        const bool symmetric = t == PHE || t == TYR || t == ASP;
        r += symmetric ? bin(std::fmod(degrees360(chi2Deg), 180.0), 60.0, 3) : bin(degrees360(chi2Deg), 120.0, 3);
    }
    return r;
}

PriorSite priorSite(const RotamerPrior& prior, const Templates& tm, const Structure& s, int i) {
    PriorSite site;
    const int t = s[i].type;
    if (!isAminoAcid(t) || !prior.known[t]) return site;
    const ChiAtoms a = chiAtoms(t);
    site.row = &prior.energy[t][priorCell(phiAt(s, i), psiAt(s, i))];
    site.type = t;
    site.chi1Slot = tm.slot(t, a.chi1);
    site.hasChi2 = a.chi2[0] != '\0';
    if (site.hasChi2) site.chi2Slot = tm.slot(t, a.chi2);
    return site;
}

double priorEnergy(const PriorSite& site, const Residue& r) {
    if (!site.row) return 0.0;
    const int g = site.chi1Slot;
    if (g < 0 || g >= r.numAtoms) return 0.0;
    const double chi1 = Torsion(r.atoms[SLOT_N], r.atoms[SLOT_CA], r.atoms[SLOT_CB], r.atoms[g]);
    double chi2 = 0.0;
    if (site.hasChi2) {
        const int d = site.chi2Slot;
        if (d < 0 || d >= r.numAtoms) return 0.0;
        chi2 = Torsion(r.atoms[SLOT_CA], r.atoms[SLOT_CB], r.atoms[g], r.atoms[d]);
    }
    return (*site.row)[priorRotamer(site.type, chi1, chi2)];
}

double rotamerPriorEnergy(const RotamerPrior& prior, const Templates& tm, const Structure& s, int i) {
    return priorEnergy(priorSite(prior, tm, s, i), s[i]);
}

}  // namespace lorvane
