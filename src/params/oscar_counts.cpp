// Contacts and side-chain dihedrals of the training chains as the OSCAR
// energy sees them: group atoms, classes and orientation points follow
// data/dipole.fress, measured as oscar_e measures them.
#include <cmath>
#include <cstring>
#include <sstream>

#include "model/error.h"
#include "model/residue_names.h"
#include "params/chain_geometry.h"
#include "params/neighbour_grid.h"
#include "params/oscar_parameters.h"
#include "params/statistics.h"
#include "params/table_io.h"
#include "potentials/oscar.h"
#include "model/text_scan.h"

namespace lorvane::params {

void OscarCounts::reset() {
    dist.assign(static_cast<size_t>(OSCAR_NPAIRS) * OSCAR_DBINS, 0);
    orient.assign(static_cast<size_t>(OSCAR_NPAIRS) * OSCAR_OCELLS, 0);
    chi.assign(static_cast<size_t>(20) * 5 * CHI_BINS, 0);
    pairs = residuesWithChis = 0;
}

int oscarClassIndex(const std::string& name) {
    for (int c = 0; c < OSCAR_CLASSES; ++c)
        if (name == OSCAR_CLASS_NAMES[c]) return c;
    return -1;
}

bool oscarPlanarClass(int cls) {
    if (cls < 0 || cls >= OSCAR_CLASSES) return false;
    return std::strcmp(OSCAR_CLASS_NAMES[cls], "C") == 0 || std::strcmp(OSCAR_CLASS_NAMES[cls], "CG") == 0 ||
           std::strcmp(OSCAR_CLASS_NAMES[cls], "N2") == 0;
}

DipoleTable readDipole(const std::string& path) {
    DipoleTable d;
    for (auto& row : d.group)
        for (int& v : row) v = -1;
    std::string text;
    if (!textscan::readWholeFile(path, text)) fail("cannot read the polar-group records " + path);
    std::istringstream in(text);
    std::string line;
    int ln = 0, t = -1;
    while (std::getline(in, line)) {
        ++ln;
        const std::string where = path + " line " + std::to_string(ln);
        if (line.compare(0, 3, "RES") == 0) {
            std::istringstream ls(line.size() > 4 ? line.substr(4) : "");
            std::string name;
            ls >> name;
            t = residueType(name);
            if (!isAminoAcid(t)) fail(where + ": unknown residue \"" + name + "\"");
        } else if (line.compare(0, 3, "ATO") == 0) {
            if (t < 0) fail(where + ": group atom before the first RES line");
            std::istringstream ls(line.substr(3));
            GroupAtom g;
            std::string label;
            if (!(ls >> g.slot >> g.nnb) || g.nnb < 1 || g.nnb > 3) fail(where + ": expected a slot and a neighbour count 1..3");
            for (int m = 0; m < g.nnb; ++m)
                if (!(ls >> g.nb[m])) fail(where + ": fewer neighbour slots than the count");
            if (!(ls >> label)) fail(where + ": group atom without a class");
            g.cls = oscarClassIndex(label);
            if (g.cls < 0) fail(where + ": \"" + label + "\" is not a side-chain atom class");
            if (g.slot < 0 || g.slot >= TRAIN_SLOTS) fail(where + ": slot " + std::to_string(g.slot) + " is not a heavy-atom slot");
            for (int m = 0; m < g.nnb; ++m)
                if (g.nb[m] < 0 || g.nb[m] >= TRAIN_SLOTS) fail(where + ": neighbour slot " + std::to_string(g.nb[m]) + " out of range");
            if (oscarPlanarClass(g.cls) && g.nnb < 2) fail(where + ": a planar group atom needs two neighbours");
            d.group[t][g.slot] = static_cast<int>(d.atoms[t].size());
            d.atoms[t].push_back(g);
        }
    }
    return d;
}

bool oscarPairScored(int ti, int i, int a, int j, int b) {
    if (j == i - 1) {
        if (b == 2 && a == 5) return false;
        if (ti == PRO && (a == 7 || (b == 2 && a == 6))) return false;
    } else if (j == i + 1) {
        if (b == 0 && a == 5) return false;
    } else if (j == i) {
        return false;  // same-residue pairs: left to the torsion term (see countOscarChain)
    }
    return true;
}

namespace {

struct GroupPoint {
    Point p;
    float ori[3];
    int res, slot, cls;
};

int cosBin(float c) {
    int b = static_cast<int>((c + 1.0f) * 0.5f * OSCAR_OBINS);
    return b < 0 ? 0 : (b >= OSCAR_OBINS ? OSCAR_OBINS - 1 : b);
}

}  // namespace

void countOscarChain(const Templates& tm, const TrainChain& ch, const DipoleTable& dip, const OscarParams& p, OscarCounts& c) {
    const int n = static_cast<int>(ch.residues.size());
    const int64_t w = fixedWeight(ch.weight);
    // Side-chain dihedrals.
    for (int i = 0; i < n; ++i) {
        const TrainResidue& r = ch.residues[i];
        if (r.type < 0 || r.type >= 20) continue;
        double chi[5];
        int k = chiAngles(tm, r.type, r.atoms, r.present, chi);
        if (k <= 0) continue;
        bool lowB = true;
        for (int s = 5; s <= LAST_HEAVY_SLOT[r.type] && s < TRAIN_SLOTS; ++s)
            if (r.has(s) && r.bfactor[s] > p.maxSideChainB) lowB = false;
        if (!lowB) continue;
        ++c.residuesWithChis;
        for (int m = 0; m < k && m < 5; ++m) {
            const double period = chiPeriod(r.type, m);
            auto add = [&](double x, int64_t wt) {
                x = wrapAngle(x, 360.0);
                int b = static_cast<int>(std::floor((x + 180.0) / 10.0));
                if (b < 0) b = 0;
                if (b >= CHI_BINS) b = CHI_BINS - 1;
                c.chi[(static_cast<size_t>(r.type) * 5 + m) * CHI_BINS + b] += wt;
            };
            if (period < 360.0) {  // atom naming is arbitrary: count both equivalent angles
                add(chi[m], w / 2);
                add(chi[m] + 180.0, w - w / 2);
            } else {
                add(chi[m], w);
            }
        }
    }
    // Group atoms with their orientation points.
    std::vector<GroupPoint> g;
    std::vector<ChainAtom> pos;
    for (int i = 0; i < n; ++i) {
        const TrainResidue& r = ch.residues[i];
        if (r.type < 0 || r.type >= 20) continue;
        for (const GroupAtom& ga : dip.atoms[r.type]) {
            if (!r.has(ga.slot)) continue;
            bool ok = true;
            for (int m = 0; m < ga.nnb; ++m) ok = ok && r.has(ga.nb[m]);
            if (!ok) continue;
            GroupPoint gp;
            gp.p = r.atoms[ga.slot];
            gp.res = i;
            gp.slot = ga.slot;
            gp.cls = ga.cls;
            // The chain's C terminus is a carboxylate, as the PDB reader types it.
            if (i == n - 1 && ga.slot == 2) gp.cls = oscarClassIndex("CG");
            if (i == n - 1 && ga.slot == 3) gp.cls = oscarClassIndex("OC");
            if (oscarPlanarClass(gp.cls)) {
                orient(&gp.p.x, &r.atoms[ga.nb[0]].x, &r.atoms[ga.nb[1]].x, gp.ori);
            } else {
                for (int k = 0; k < 3; ++k) {
                    float s = 0.0f;
                    for (int m = 0; m < ga.nnb; ++m) s += (&r.atoms[ga.nb[m]].x)[k];
                    gp.ori[k] = s / static_cast<float>(ga.nnb);
                }
            }
            g.push_back(gp);
            pos.push_back({gp.p, i, static_cast<int8_t>(ga.slot), 0});
        }
    }
    if (g.size() < 2) return;
    CellGrid grid;
    grid.build(pos, 10.0f);
    const float shell2 = static_cast<float>(p.shell * p.shell);
    grid.forEachPair(pos, [&](int x, int y, float d2) {
        const GroupPoint& A = g[x];
        const GroupPoint& B = g[y];
        if (A.res == B.res) return;
        const int ta = ch.residues[A.res].type, tb = ch.residues[B.res].type;
        const bool scored = (A.slot >= 5 && oscarPairScored(ta, A.res, A.slot, B.res, B.slot)) ||
                            (B.slot >= 5 && oscarPairScored(tb, B.res, B.slot, A.res, A.slot));
        if (!scored) return;
        ++c.pairs;
        const int pi = oscarPairIndex(A.cls, B.cls);
        const float r = std::sqrt(d2);
        int db = static_cast<int>(r * 10.0f);
        if (db >= OSCAR_DBINS) db = OSCAR_DBINS - 1;
        c.dist[static_cast<size_t>(pi) * OSCAR_DBINS + db] += w;
        if (d2 >= shell2) return;
        const float ca = coss(A.ori, &A.p.x, &B.p.x);
        const float cb = coss(B.ori, &B.p.x, &A.p.x);
        const float c3 = cosv(A.ori, &A.p.x, B.ori, &B.p.x);
        if (!std::isfinite(ca) || !std::isfinite(cb) || !std::isfinite(c3)) return;
        auto cell = [&](float c1, float c2) { return (cosBin(c1) * OSCAR_OBINS + cosBin(c2)) * OSCAR_OBINS + cosBin(c3); };
        int64_t* o = &c.orient[static_cast<size_t>(pi) * OSCAR_OCELLS];
        if (A.cls < B.cls) o[cell(ca, cb)] += w;
        else if (A.cls > B.cls) o[cell(cb, ca)] += w;
        else {
            o[cell(ca, cb)] += w / 2;
            o[cell(cb, ca)] += w - w / 2;
        }
    });
}

void countOscar(const Templates& tm, const TrainingSet& ts, const DipoleTable& dip, const OscarParams& p, int threads, OscarCounts& c) {
    if (threads < 1) threads = 1;
    std::vector<OscarCounts> local(static_cast<size_t>(threads));
    for (OscarCounts& l : local) l.reset();
    forEachChain(static_cast<int>(ts.chains.size()), threads, [&](int k, int t) { countOscarChain(tm, ts.chains[k], dip, p, local[t]); });
    c.reset();
    for (const OscarCounts& l : local) {
        for (size_t k = 0; k < c.dist.size(); ++k) c.dist[k] += l.dist[k];
        for (size_t k = 0; k < c.orient.size(); ++k) c.orient[k] += l.orient[k];
        for (size_t k = 0; k < c.chi.size(); ++k) c.chi[k] += l.chi[k];
        c.pairs += l.pairs;
        c.residuesWithChis += l.residuesWithChis;
    }
}

}  // namespace lorvane::params
