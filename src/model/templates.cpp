#include "model/templates.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <vector>

#include "model/geometry.h"
#include "model/table_text.h"
#include "model/text_scan.h"

namespace lorvane {

double sideChainReach(const Templates& tm, int t) {
    if (!isAminoAcid(t)) return -1.0;
    double bound[MAX_ATOMS] = {};
    double reach = 0.0;
    for (int k = FIRST_SIDE_CHAIN_SLOT; k <= LAST_HEAVY_SLOT[t]; ++k) {
        const int parent = tm.refAtoms[t][k][2];
        if (parent != SLOT_CB && (parent < FIRST_SIDE_CHAIN_SLOT || parent >= k)) return -1.0;
        bound[k] = (parent == SLOT_CB ? 0.0 : bound[parent]) + tm.bondLength[t][k];
        reach = std::max(reach, bound[k]);
    }
    return reach;
}

int Templates::slot(int t, const std::string& name) const {
    if (!isAminoAcid(t)) return -1;
    auto it = slotOf.find(std::string(ONE_LETTER[t]) + name);
    return it == slotOf.end() ? -1 : it->second;
}

namespace {

using Fields = std::vector<std::string_view>;

// The four sections the program reads; every other line is a comment.
enum Section { ATOM_TYPES, DEPENDENCIES, BONDS, TORSIONS, NUM_SECTIONS };
constexpr const char* SECTION_NAMES[NUM_SECTIONS] = {"atomtype", "atomDependency", "bondParameter", "torsionAngle"};

int sectionOf(std::string_view word) {
    for (int k = 0; k < NUM_SECTIONS; ++k)
        if (word == SECTION_NAMES[k]) return k;
    return -1;
}

// Slots of a row: (fields - 2) / width groups, which must divide evenly and,
// after the atomtype section, name the type's atoms in slot order.
int rowSlots(const TableText& in, const Fields& f, int width, int expected, const char* section) {
    const int groups = (static_cast<int>(f.size()) - 2) / width;
    if (f.size() < 2 || (f.size() - 2) % width != 0)
        in.fail(std::string(section) + " row has " + std::to_string(f.size()) + " fields: two names, then groups of " + std::to_string(width));
    if (expected >= 0 && groups != expected)
        in.fail(std::string(section) + " row has " + std::to_string(groups) + " atoms, the atomtype row " + std::to_string(expected));
    return groups;
}

void checkAtomName(const TableText& in, const Templates& t, int k, int j, std::string_view name, const char* section) {
    if (name != t.atomName[k][j])
        in.fail(std::string(section) + " slot " + std::to_string(j) + " of " + THREE_LETTER[k] + " is " + quoted(name) + ", the atomtype row says " +
                t.atomName[k][j]);
}

void readAtomTypes(const TableText& in, Templates& t, int k, const Fields& f) {
    if (f.empty() || f[0] != ONE_LETTER[k] || f.size() < 2 || f[1] != THREE_LETTER[k])
        in.fail("atomtype row " + std::to_string(k + 1) + " must be for " + ONE_LETTER[k] + " " + THREE_LETTER[k] + " (rows follow the type order)");
    const int na = rowSlots(in, f, 3, -1, "atomtype");
    if (na > MAX_ATOMS) in.fail(std::string(THREE_LETTER[k]) + " has " + std::to_string(na) + " atoms, at most 30 fit");
    if (na <= LAST_HEAVY_SLOT[k])
        in.fail(std::string(THREE_LETTER[k]) + " has " + std::to_string(na) + " atoms; its heavy atoms alone take slots 0.." +
                std::to_string(LAST_HEAVY_SLOT[k]));
    t.numAtom[k] = na;
    for (int j = 0; j < na; ++j) {
        const std::string name(f[2 + 3 * j]);
        t.atomName[k][j] = name;
        t.vdwType[k][j] = in.integer(f[3 + 3 * j], 0, 99, "van der Waals code");
        in.integer(f[4 + 3 * j]);  // OPLS code, not used
        if (!t.slotOf.emplace(ONE_LETTER[k] + name, j).second) in.fail(std::string(THREE_LETTER[k]) + " names atom " + name + " twice");
    }
}

void readDependencies(const TableText& in, Templates& t, int k, const Fields& f) {
    const int na = rowSlots(in, f, 4, t.numAtom[k], "atomDependency");
    for (int j = 0; j < na; ++j) {
        checkAtomName(in, t, k, j, f[2 + 4 * j], "atomDependency");
        for (int r = 0; r < 3; ++r) t.refAtoms[k][j][r] = in.integer(f[3 + 4 * j + r], 0, na - 1, "reference slot");
    }
}

void readBonds(const TableText& in, Templates& t, int k, const Fields& f) {
    const int na = rowSlots(in, f, 3, t.numAtom[k], "bondParameter");
    for (int j = 0; j < na; ++j) {
        checkAtomName(in, t, k, j, f[2 + 3 * j], "bondParameter");
        t.bondLength[k][j] = in.number(f[3 + 3 * j]);
        t.bondAngle[k][j] = in.number(f[4 + 3 * j]) * DEG2RAD;
    }
}

void readTorsions(const TableText& in, Templates& t, int k, const Fields& f) {
    const int na = rowSlots(in, f, 2, t.numAtom[k], "torsionAngle");
    for (int j = 0; j < na; ++j) {
        checkAtomName(in, t, k, j, f[2 + 2 * j], "torsionAngle");
        const double v = in.number(f[3 + 2 * j]);
        t.torsion[k][j] = (v == FREE_CHI) ? FREE_CHI : v * DEG2RAD;
    }
}

}  // namespace

Templates parseTemplates(TableText& in) {
    Templates t;
    bool seen[NUM_SECTIONS] = {};
    std::string_view line;
    while (in.next(line)) {
        // A section starts with a line whose second and third words are its name and row count.
        const Fields& head = in.fields(line);
        const int section = head.size() >= 3 ? sectionOf(head[1]) : -1;
        int n = 0;
        if (section < 0 || !textscan::parseInt(head[2], n)) continue;  // a comment, or a section the program does not read
        if (n != NUM_AMINO_ACIDS)
            in.fail(std::string("section ") + SECTION_NAMES[section] + " has " + std::to_string(n) + " rows, one per amino-acid type (20) expected");
        if (seen[section]) in.fail(std::string("second ") + SECTION_NAMES[section] + " section");
        if (section != ATOM_TYPES && !seen[ATOM_TYPES]) in.fail(std::string("section ") + SECTION_NAMES[section] + " before the atomtype section");
        seen[section] = true;
        for (int k = 0; k < n; ++k) {
            if (!in.next(line)) in.failFile(std::string("section ") + SECTION_NAMES[section] + " ends after " + std::to_string(k) + " of its rows");
            const Fields& f = in.fields(line);
            if (section != ATOM_TYPES && (f.size() < 2 || f[0] != THREE_LETTER[k] || f[1] != ONE_LETTER[k]))
                in.fail(std::string(SECTION_NAMES[section]) + " row " + std::to_string(k + 1) + " must be for " + THREE_LETTER[k] + " " + ONE_LETTER[k]);
            switch (section) {
                case ATOM_TYPES: readAtomTypes(in, t, k, f); break;
                case DEPENDENCIES: readDependencies(in, t, k, f); break;
                case BONDS: readBonds(in, t, k, f); break;
                default: readTorsions(in, t, k, f); break;
            }
        }
    }
    for (int s = 0; s < NUM_SECTIONS; ++s)
        if (!seen[s]) in.failFile(std::string("no ") + SECTION_NAMES[s] + " section (a line \"SECTION " + SECTION_NAMES[s] + " 20\")");
    for (int j = 0; j < SINCOS_BONDS; ++j) {
        t.sinCosBond[j][0] = std::sin(PI - t.bondAngle[0][j]);
        t.sinCosBond[j][1] = std::cos(PI - t.bondAngle[0][j]);
    }
    for (int r = 0; r < NUM_TYPES; ++r)
        for (int j = 0; j < MAX_ATOMS; ++j) {
            t.sinCosAngleOf[r][j][0] = std::sin(PI - t.bondAngle[r][j]);
            t.sinCosAngleOf[r][j][1] = std::cos(PI - t.bondAngle[r][j]);
            t.sinCosTorsionOf[r][j][0] = std::sin(t.torsion[r][j]);
            t.sinCosTorsionOf[r][j][1] = std::cos(t.torsion[r][j]);
        }
    for (int k = 0; k < SINCOS_TORSIONS; ++k) {
        const double a = k * BIN_WIDTH - PI;
        t.sinCosTorsion[k][0] = std::sin(a);
        t.sinCosTorsion[k][1] = std::cos(a);
    }
    return t;
}

Templates loadTemplates(const std::string& path) {
    TableText in = TableText::read(path, "template file");
    return parseTemplates(in);
}

}  // namespace lorvane
