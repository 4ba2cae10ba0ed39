// Environment atoms: which heavy atoms of ligands, ions, modified residues and
// waters are environment, and the template atom and radius each one takes.
#include <cmath>
#include <map>
#include <set>

#include "model/entry_support.h"
#include "model/hetero_atoms.h"

using namespace lorvane;
using namespace entry_test;

namespace {

std::string het(const std::string& name4, const std::string& res, int num, double x, double y, double z, const std::string& el) {
    static int serial = 0;  // record numbers play no part in reading
    char buf[96];
    std::snprintf(buf, sizeof buf, "HETATM%5d %-4s %-3s A%4d    %8.3f%8.3f%8.3f  1.00 20.00          %2s\n", ++serial % 100000,
                  name4.c_str(), res.c_str(), num, x, y, z, el.c_str());
    return buf;
}

std::map<std::string, const EnvironmentAtom*> byName(const std::vector<EnvironmentAtom>& atoms, const std::string& residue) {
    std::map<std::string, const EnvironmentAtom*> m;
    for (const EnvironmentAtom& a : atoms)
        if (a.residueName == residue) m[a.atomName] = &a;
    return m;
}

std::string key(const EnvironmentAtom* a) { return a ? a->templateResidue + " " + a->templateAtom : "(none)"; }

}  // namespace

TEST(HeteroAtoms, NucleotideAndMagnesiumOf5p21) {
    const Entry e = readEntry(repoPath("examples/5p21.pdb"));
    const std::vector<EnvironmentAtom> env = environmentAtoms(e, false);
    EXPECT_EQ(env.size(), 33u);  // 32 GNP + 1 MG, no water
    EXPECT_EQ(environmentAtoms(e, true).size(), 33u + 211u);
    const auto gnp = byName(env, "GNP");
    const std::pair<const char*, const char*> expected[] = {
        {"PG", "MET SD"},  {"O1G", "ASP OD1"}, {"N3B", "ALA N"},  {"O3A", "ASN OD1"}, {"O5'", "ASN OD1"}, {"C5'", "SER CB"},
        {"C4'", "THR CB"}, {"O4'", "ASN OD1"}, {"O2'", "SER OG"}, {"N9", "PRO N"},    {"C8", "PHE CZ"},   {"N7", "HIS ND1"},
        {"C5", "PHE CG"},  {"O6", "ASN OD1"},  {"N2", "ASN ND2"}, {"N3", "HIS ND1"},
    };
    for (const auto& [atom, want] : expected) EXPECT_EQ(key(gnp.count(atom) ? gnp.at(atom) : nullptr), want) << atom;
    const auto mg = byName(env, "MG");
    ASSERT_EQ(mg.size(), 1u);
    EXPECT_EQ(key(mg.at("MG")), "LYS NZ");
    EXPECT_DOUBLE_EQ(mg.at("MG")->radius, 0.72);
    EXPECT_DOUBLE_EQ(gnp.at("O1G")->radius, 1.52f);
    // Selenomethionine is a methionine of the chain, not environment.
    EXPECT_EQ(environmentAtoms(readEntry(entryPath("5p21_mse.pdb.gz")), false).size(), 33u);
}

TEST(HeteroAtoms, EveryTemplateKeyIsAPairPotentialType) {
    // The keys must exist in the DFIRE table the program reads.
    std::set<std::string> keys;
    std::istringstream lib(fileText(repoPath("data/dfire_pair.lib")));
    for (std::string line; std::getline(lib, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream f(line);
        std::string r1, a1, r2, a2;
        f >> r1 >> a1 >> r2 >> a2;
        keys.insert(r1 + " " + a1);
        keys.insert(r2 + " " + a2);
    }
    ASSERT_GT(keys.size(), 100u);
    for (const EnvironmentAtom& a : environmentAtoms(readEntry(repoPath("examples/5p21.pdb")), true))
        EXPECT_TRUE(keys.count(a.templateResidue + " " + a.templateAtom)) << a.residueName << " " << a.atomName;
    std::string t;
    // Benzene, acetate, methanol, sulfate, ions, a covalent chlorine and an unknown element.
    for (int k = 0; k < 6; ++k)
        t += het(" C" + std::to_string(k + 1) + " ", "BNZ", 1, 1.39 * std::cos(k * M_PI / 3), 1.39 * std::sin(k * M_PI / 3), 0, "C");
    t += het(" C1 ", "ACT", 2, 10, 0, 0, "C") + het(" C2 ", "ACT", 2, 11.52, 0, 0, "C") + het(" O1 ", "ACT", 2, 12.145, 1.083, 0, "O") +
         het(" O2 ", "ACT", 2, 12.145, -1.083, 0, "O");
    t += het(" C  ", "MOH", 3, 20, 0, 0, "C") + het(" O  ", "MOH", 3, 21.43, 0, 0, "O");
    t += het(" S  ", "SO4", 4, 30, 0, 0, "S");
    for (int k = 0; k < 4; ++k)
        t += het(" O" + std::to_string(k + 1) + " ", "SO4", 4, 30 + 1.47 * (k == 0 ? 1 : -1.0 / 3),
                 k == 0 ? 0 : 1.386 * std::cos(k * 2 * M_PI / 3), k == 0 ? 0 : 1.386 * std::sin(k * 2 * M_PI / 3), "O");
    t += het("CL  ", "CL", 5, 40, 0, 0, "CL") + het("ZN  ", "ZN", 6, 50, 0, 0, "ZN") + het("CA  ", "CA", 7, 60, 0, 0, "CA");
    t += het(" C1 ", "CLM", 8, 70, 0, 0, "C") + het("CL1 ", "CLM", 8, 71.77, 0, 0, "CL");
    t += het(" O  ", "HOH", 9, 80, 0, 0, "O");
    const Entry e = readEntryText(t, "ligands.pdb");
    const std::vector<EnvironmentAtom> env = environmentAtoms(e, false);
    struct Case {
        const char *residue, *atom, *key;
        double radius;
    };
    const Case cases[] = {
        {"BNZ", "C1", "PHE CZ", 1.70}, {"ACT", "C1", "ALA CB", 1.70}, {"ACT", "C2", "ASP CG", 1.70}, {"ACT", "O1", "ASP OD1", 1.52},
        {"MOH", "C", "ALA CB", 1.70},  {"MOH", "O", "SER OG", 1.52},  {"SO4", "S", "MET SD", 1.80},  {"SO4", "O3", "ASP OD1", 1.52},
        {"CL", "CL", "ASP OD1", 1.81}, {"ZN", "ZN", "LYS NZ", 0.74},  {"CA", "CA", "LYS NZ", 1.00},  {"CLM", "CL1", "MET SD", 1.75},
    };
    for (const Case& c : cases) {
        const auto m = byName(env, c.residue);
        ASSERT_TRUE(m.count(c.atom)) << c.residue << " " << c.atom;
        EXPECT_EQ(key(m.at(c.atom)), c.key) << c.residue << " " << c.atom << ": " << m.at(c.atom)->rule;
        EXPECT_NEAR(m.at(c.atom)->radius, c.radius, 1e-6) << c.residue << " " << c.atom;
    }
    EXPECT_TRUE(byName(env, "HOH").empty());
    EXPECT_EQ(key(byName(environmentAtoms(e, true), "HOH").at("O")), "SER OG");
    for (const EnvironmentAtom& a : env)
        EXPECT_TRUE(keys.count(a.templateResidue + " " + a.templateAtom)) << a.residueName << " " << a.atomName;
}

TEST(HeteroAtoms, ModifiedAminoAcidKeepsItsParentsNames) {
    // Ser 39 of 5p21 written as phosphoserine: a tetrahedral phosphate on OG, pointing away from CB.
    std::string og, cb;
    const std::string p21 = editLines(p21Text(), [&](std::string& l) {
        if (!isAtom(l) || resNum(l) != 39) return;
        l = "HETATM" + l.substr(6, 11) + "SEP" + l.substr(20);
        if (atomName(l) == "OG") og = l;
        if (atomName(l) == "CB") cb = l;
    });
    ASSERT_FALSE(og.empty());
    auto xyz = [](const std::string& l, int k) { return std::atof(l.substr(30 + 8 * k, 8).c_str()); };
    double u[3], v[3], w[3], P[3];
    for (int k = 0; k < 3; ++k) u[k] = xyz(og, k) - xyz(cb, k);
    const double lu = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    for (double& c : u) c /= lu;
    v[0] = u[1], v[1] = -u[0], v[2] = 0;  // perpendicular to u (u is not along z here)
    const double lv = std::sqrt(v[0] * v[0] + v[1] * v[1]);
    for (double& c : v) c /= lv;
    w[0] = u[1] * v[2] - u[2] * v[1], w[1] = u[2] * v[0] - u[0] * v[2], w[2] = u[0] * v[1] - u[1] * v[0];
    for (int k = 0; k < 3; ++k) P[k] = xyz(og, k) + 1.6 * u[k];
    auto oxygen = [&](const char* name, double a, double b, double c) {
        double o[3];
        for (int k = 0; k < 3; ++k) o[k] = P[k] + 1.5 * (a * u[k] + b * v[k] + c * w[k]);
        return het(name, "SEP", 39, o[0], o[1], o[2], "O");
    };
    const std::string extra = het(" P  ", "SEP", 39, P[0], P[1], P[2], "P") + oxygen(" O1P", 0.33, 0.94, 0) +
                              oxygen(" O2P", 0.33, -0.47, 0.816) + oxygen(" O3P", 0.33, -0.47, -0.816);
    const size_t at = p21.find(og) + og.size() + 1;
    const Entry e = readEntryText(p21.substr(0, at) + extra + p21.substr(at), "sep.pdb");
    const EntryResidue& r = e.chains[0].polymer[38];
    EXPECT_EQ(r.kind, ResidueKind::Modified);
    EXPECT_EQ(r.parent, "SER");
    const std::vector<EnvironmentAtom> env = environmentAtoms(e, false);
    const auto sep = byName(env, "SEP");
    const std::pair<const char*, const char*> expected[] = {{"N", "SER N"},     {"CA", "SER CA"},  {"C", "SER C"},  {"O", "SER O"},
                                                            {"CB", "SER CB"},   {"OG", "SER OG"},  {"P", "MET SD"}, {"O1P", "ASP OD1"},
                                                            {"O2P", "ASP OD1"}, {"O3P", "ASP OD1"}};
    EXPECT_EQ(sep.size(), 10u);
    for (const auto& [atom, want] : expected) EXPECT_EQ(key(sep.count(atom) ? sep.at(atom) : nullptr), want) << atom;
}
