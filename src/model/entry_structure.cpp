// Building the working structure from an entry: the same slots, flags and
// derived values as the ATOM-record reader gives a plain file, with every
// residue the entry holds (insertion codes, selenomethionine, all chains), the
// loop's missing residues in place, bonds from the geometry and the hetero
// atoms of the environment.
#include "model/entry_structure.h"

#include <map>
#include <set>

#include "model/error.h"
#include "model/hetero_atoms.h"
#include "model/pdb_reader.h"

namespace lorvane {

namespace {

// Closer than this between a hetero atom and a loop atom (neither a metal) is a covalent bond.
constexpr double MAX_COVALENT = 2.2;

constexpr int OXT_TYPE = 20;        // van der Waals code of a C-terminal OXT
constexpr int EXTRA_H_TYPE = 23;    // of the extra N-terminal hydrogens

// One residue of the structure in the making: present (an entry residue) or a missing loop residue.
struct Item {
    const EntryResidue* present = nullptr;
    const LoopResidue* missing = nullptr;
    int chain = -1;     // index in Entry::chains
    int sequence = -1;  // position in the chain's sequence
};

void placeAtom(Atom& a, const EntryAtom& e, const std::string& name) {
    a.x = static_cast<float>(e.x);
    a.y = static_cast<float>(e.y);
    a.z = static_cast<float>(e.z);
    a.name = name;
    a.bfactor = e.bFactor;
    a.missing = 0;
}

// Atoms of a present residue into their template slots, as the ATOM-record
// reader does: the OXT after the last slot, the extra N-terminal hydrogens of
// the first residue after it, a first-residue "3H" as the amide H.
void fillPresent(const Templates& tm, Residue& r, const EntryResidue& e, bool firstResidue) {
    const int t = r.type;
    for (const EntryAtom& a : e.atoms) {
        if (a.element == "D") continue;  // deuterium has no slot
        const std::string name = firstResidue && a.name == "3H" ? "H" : a.name;
        const int j = tm.slot(t, name);
        if (j >= 0) {
            Atom& s = r.atoms[j];
            s.type = static_cast<int16_t>(tm.vdwType[t][j]);
            placeAtom(s, a, name);
            r.numAtoms++;
            continue;
        }
        const int last = tm.numAtom[t];
        if (name == "OXT" && last < MAX_ATOMS) {
            Atom& s = r.atoms[last];
            placeAtom(s, a, "OXT");
            s.bfactor = -1.0;
            s.oscarType = 7;
            s.type = OXT_TYPE;
        } else if (firstResidue && (name == "1H" || name == "2H")) {
            const int slot = name == "1H" ? last : last + 1;
            if (slot < MAX_ATOMS) {
                Atom& s = r.atoms[slot];
                placeAtom(s, a, name);
                s.bfactor = -1.0;
                s.type = EXTRA_H_TYPE;
            }
        }
    }
}

std::string heteroResidueName(const EnvironmentAtom& a) { return a.residueName + " " + residueLabel(a.chain, a.residue); }

// Hetero residues with an atom covalently bonded to a present loop atom (a
// glycan on a loop asparagine, a covalent inhibitor): keys "GNP A167".
std::set<std::string> bondedToLoop(const Entry& entry, const LoopSelection& loop, const std::vector<EnvironmentAtom>& env,
                                   std::vector<std::string>& notes) {
    std::set<std::string> out;
    const EntryChain& ch = entry.chains[loop.chain];
    for (const EnvironmentAtom& h : env) {
        if (h.metal || out.count(heteroResidueName(h))) continue;
        for (const LoopResidue& lr : loop.residues) {
            if (lr.present < 0) continue;
            const EntryResidue& r = ch.polymer[lr.present];
            bool found = false;
            for (const EntryAtom& a : r.atoms) {
                if (a.isHydrogen()) continue;
                const double dx = a.x - h.x, dy = a.y - h.y, dz = a.z - h.z;
                if (dx * dx + dy * dy + dz * dz < MAX_COVALENT * MAX_COVALENT) {
                    notes.push_back(heteroResidueName(h) + " is bonded to loop residue " + r.name + " " + ch.label(r.id) + " (" +
                                    h.atomName + "-" + a.fileName + "): it would move with the loop and is left out of the environment");
                    out.insert(heteroResidueName(h));
                    found = true;
                    break;
                }
            }
            if (found) break;
        }
    }
    return out;
}

void addHeteroAtoms(const Templates& tm, const Entry& entry, const LoopSelection* loop, bool keepWater, EntryStructure& built) {
    const std::vector<EnvironmentAtom> env = environmentAtoms(entry, keepWater);
    const std::set<std::string> dropped = loop ? bondedToLoop(entry, *loop, env, built.notes) : std::set<std::string>{};
    std::vector<int> newIndex(env.size(), -1);
    std::vector<HeteroAtom>& out = built.protein.hetero;
    out.clear();
    for (size_t k = 0; k < env.size(); ++k) {
        const EnvironmentAtom& e = env[k];
        if (dropped.count(heteroResidueName(e))) continue;
        HeteroAtom h;
        h.templateType = residueType(e.templateResidue);
        h.templateSlot = isAminoAcid(h.templateType) ? tm.slot(h.templateType, e.templateAtom) : -1;
        if (h.templateSlot < 0)
            fail("hetero atom " + e.atomName + " of " + heteroResidueName(e) + " borrows template atom " + e.templateResidue + " " +
                 e.templateAtom + ", which the templates do not have");
        h.x = static_cast<float>(e.x);
        h.y = static_cast<float>(e.y);
        h.z = static_cast<float>(e.z);
        h.type = static_cast<int16_t>(tm.vdwType[h.templateType][h.templateSlot]);
        h.name = e.atomName;
        h.missing = 0;
        h.radius = e.radius;
        h.metal = e.metal;
        h.residue = heteroResidueName(e);
        h.bonded = e.bonded;  // renumbered below
        newIndex[k] = static_cast<int>(out.size());
        out.push_back(std::move(h));
    }
    for (HeteroAtom& h : out) {
        std::vector<int> kept;
        for (int b : h.bonded)
            if (newIndex[b] >= 0) kept.push_back(newIndex[b]);
        h.bonded = std::move(kept);
    }
}

// The residues of the structure in order: every standard amino acid of every
// chain, and the missing residues of the loop at their places.
std::vector<Item> structureItems(const Entry& entry, const LoopSelection* loop) {
    std::vector<Item> items;
    for (int c = 0; c < static_cast<int>(entry.chains.size()); ++c) {
        const EntryChain& ch = entry.chains[c];
        for (int k = 0; k < static_cast<int>(ch.sequence.size()); ++k) {
            const SequenceResidue& s = ch.sequence[k];
            Item it;
            it.chain = c;
            it.sequence = k;
            if (s.present >= 0) {
                if (ch.polymer[s.present].kind != ResidueKind::Standard) continue;  // modified: a hetero residue
                it.present = &ch.polymer[s.present];
            } else if (loop && loop->chain == c && k >= loop->first && k <= loop->last) {
                it.missing = &loop->residues[k - loop->first];
            } else {
                continue;
            }
            items.push_back(it);
        }
    }
    return items;
}

// Whether consecutive items a, b are joined by a peptide bond: next to each
// other in the same chain's sequence, and, when both have coordinates, not
// broken by the geometry.
bool bonded(const Entry& entry, const Item& a, const Item& b) {
    if (a.chain != b.chain || b.sequence != a.sequence + 1) return false;
    if (!a.present || !b.present) return true;  // the loop's missing residues are to be built bonded
    const EntryChain& ch = entry.chains[a.chain];
    return !ch.breakAfter(ch.sequence[a.sequence].present);
}

}  // namespace

EntryStructure structureFromEntry(const Templates& tm, const Entry& entry, const LoopSelection* loop, bool keepWater) {
    const std::vector<Item> items = structureItems(entry, loop);
    const int n = static_cast<int>(items.size());
    if (n == 0) fail(entry.path + " has no atoms");
    if (n > MAX_RESIDUES)
        fail(entry.path + " has " + std::to_string(n) + " residues, but the most allowed " + "is " + std::to_string(MAX_RESIDUES));

    EntryStructure built;
    Structure& s = built.protein;
    s.init(n);
    int chains = 0;
    for (int i = 1; i <= n; ++i) {
        const Item& it = items[i - 1];
        const EntryChain& ch = entry.chains[it.chain];
        if (i == 1 || it.chain != items[i - 2].chain) {
            if (chains >= MAX_CHAINS)
                fail(entry.path + " has more than " + std::to_string(MAX_CHAINS) + " chains (chain " + ch.id + " at residue " +
                     ch.label(ch.sequence[it.sequence].id) + "), which is more than the program handles");
            s.chainIds += ch.id.empty() ? ' ' : ch.id[0];
            s.chainNames.push_back(ch.id);
            s.chainStart[chains++] = i;
        }
        if (i > 1 && !bonded(entry, items[i - 2], it)) {
            s.gapAfter[i - 1] = true;
            s.hasGap = true;
        }
        Residue& r = s.residues[i];
        r.init();
        for (Atom& a : r.atoms) a.missing = 1;
        const std::string& name = it.present ? it.present->name : it.missing->name;
        const int t = residueType(name);
        if (!isAminoAcid(t) || tm.numAtom[t] == 0) fail("residue " + name + " " + ch.label(ch.sequence[it.sequence].id) + " has no amino-acid template");
        r.type = static_cast<int16_t>(t);
        const ResidueId id = it.present ? it.present->id : it.missing->id;
        r.pdbNum = id.num;
        r.icode = id.icode;
        r.numAtoms = 0;
        if (it.present) {
            fillPresent(tm, r, *it.present, i == 1);
        } else {
            for (int j = 0; j < tm.numAtom[t]; ++j) r.atoms[j].name = tm.atomName[t][j];
        }
        if (loop && it.chain == loop->chain) {
            if (it.sequence == loop->first) built.loopStart = i;
            if (it.sequence == loop->last) built.loopEnd = i;
        }
    }
    s.incomplete = s.hasGap;
    finishChain(tm, s, entry.path);
    addHeteroAtoms(tm, entry, loop, keepWater, built);
    return built;
}

bool residueAt(const Structure& s, int i, std::string& chain, ResidueId& id) {
    if (i < 1 || i > s._numRes) return false;
    const int c = chainOf(s, i);
    if (c < 0) return false;
    chain = c < static_cast<int>(s.chainNames.size()) ? s.chainNames[c] : s.chainIds.substr(c, 1);
    id.num = s.residues[i].pdbNum;
    id.icode = s.residues[i].icode;
    return true;
}

}  // namespace lorvane
