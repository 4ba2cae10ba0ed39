#include "model/structure.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>

#include "model/error.h"
#include "potentials/pf.h"

namespace lorvane {

std::string Structure::_sequence;

Structure::Structure(int capacity) { init(capacity); }

Structure::Structure(const Structure& o) {
    init(o._numRes);
    *this = o;
}

void Structure::init(int n) {
    if (n < 0) n = 0;
    _numRes = n;
    residues.assign(static_cast<size_t>(n) + 1, Residue(MAX_ATOMS));
    for (int i = 0; i <= n; ++i) {
        Residue& r = residues[i];
        r.parent = this;
        r.index = static_cast<int16_t>(i);
        for (int j = 0; j < MAX_ATOMS; ++j) r.atoms[j].parent = &r;
    }
    chainIds.clear();
    for (int& c : chainStart) c = 0;
    name.clear();
    for (bool& g : gapAfter) g = false;
    hasGap = false;
    incomplete = false;
    oxt = Atom(0, 0, 0, 20);
    oxt.name = "OXT";
    keepGeometry = false;
    // Seed coordinates: residue 0 and the start of residue 1 let a chain be built from nothing.
    residues[0].atoms[0].init(-1, 1, 1, residues[0].atoms[0].type);
    residues[0].atoms[1].init(0, 1, 1, residues[0].atoms[1].type);
    residues[0].atoms[2].init(0, 1, 0, residues[0].atoms[2].type);
    if (n >= 1) {
        residues[1].atoms[0].init(0, 0, 0, residues[1].atoms[0].type);
        residues[1].atoms[1].init(1.458, 0, 0, residues[1].atoms[1].type);
        residues[1].atoms[4].init(0, -1.01, 0, residues[1].atoms[4].type);
    }
    for (int i = 0; i <= std::min(n, 1); ++i)
        for (int j = 0; j < MAX_ATOMS; ++j) residues[i].atoms[j].index = j;
}

void Structure::copyChainFields(const Structure& o) {
    chainIds = o.chainIds;
    name = o.name;
    for (int c = 0; c < MAX_CHAINS; ++c) chainStart[c] = o.chainStart[c];
    oxt = o.oxt;
    hasGap = o.hasGap;
    incomplete = o.incomplete;
    keepGeometry = o.keepGeometry;
}

Structure& Structure::operator=(const Structure& o) {
    if (this == &o) return *this;
    if (o._numRes != _numRes || capacity() < o._numRes) init(o._numRes);
    _numRes = o._numRes;
    for (int i = 1; i <= _numRes; ++i) {
        residues[i] = o.residues[i];
        gapAfter[i] = o.gapAfter[i];
    }
    copyChainFields(o);
    return *this;
}

void Structure::copyStructure(const Structure& src, int from, int to) {
    if (src._numRes != _numRes) {
        if (from == 1 && src._numRes == to)
            init(to);
        else
            fail("Cannot call copyStructure on fragments when _numRes incompatible");
    }
    if (from < 1) from = 1;
    if (to > _numRes) to = _numRes;
    for (int i = from; i <= to; ++i) {
        residues[i] = src.residues[i];
        gapAfter[i] = src.gapAfter[i];
    }
    copyChainFields(src);
    if (!(from < 2 && to >= _numRes)) calCenter(from, to);
}

void Structure::calCenter(int from, int to) {
    for (int i = from; i <= to; ++i) {
        Residue& r = residues[i];
        double bx = 0, by = 0, bz = 0, sx = 0, sy = 0, sz = 0;
        int nb = 0, ns = 0;
        const int na = std::min<int>(r.numAtoms, MAX_ATOMS);
        for (int j = 0; j < na; ++j) {
            const Atom& a = r.atoms[j];
            if (a.type == ABSENT || a.type >= 21) continue;
            if (j <= 5) {
                bx += a.x, by += a.y, bz += a.z;
                ++nb;
            } else {
                sx += a.x, sy += a.y, sz += a.z;
                ++ns;
            }
        }
        auto mean = [](Atom& out, double x, double y, double z, int n) {
            float inv = 1.0f / static_cast<float>(n);
            out.x = static_cast<float>(x) * inv;
            out.y = static_cast<float>(y) * inv;
            out.z = static_cast<float>(z) * inv;
        };
        r.bbCenter = Atom(0, 0, 0, 0);
        r.scCenter = Atom(0, 0, 0, 0);
        r.center = Atom(0, 0, 0, 0);
        if (nb > 0)
            mean(r.bbCenter, bx, by, bz, nb);
        else
            r.bbCenter.type = ABSENT;
        if (ns > 0) {
            mean(r.scCenter, sx, sy, sz, ns);
        } else if (r.type == ALA) {
            r.scCenter = r.atoms[5];
        } else if (r.type == GLY) {
            r.scCenter = r.atoms[1];
        } else {
            r.scCenter.type = ABSENT;
        }
        if (nb + ns > 0) {
            mean(r.center, bx + sx, by + sy, bz + sz, nb + ns);
            r.center.type = 0;
        } else {
            r.center.type = ABSENT;
        }
    }
    for (int i = from; i <= to; ++i) {
        Residue& ri = residues[i];
        if (ri.center.type == ABSENT || ri.type < 0 || ri.type >= NUM_TYPES) continue;
        for (int j = 1; j <= _numRes; ++j) {
            if (j == i) continue;
            Residue& rj = residues[j];
            if (rj.type < 0 || rj.type >= NUM_TYPES) continue;
            double cut = Residue::size[ri.type] + Residue::size[rj.type] + 5.5;
            if (ri.center.dis(rj.center) < cut) {
                ri.neighbors.insert(j);
                rj.neighbors.insert(i);
            } else {
                ri.neighbors.erase(j);
                rj.neighbors.erase(i);
            }
        }
    }
}

void Structure::calSC(int from, int to) {
    for (int i = from; i <= to; ++i) {
        Residue& r = residues[i];
        if (r.type == GLY) {
            r.sc = r.atoms[1];
            r.sc.name = "SC";
        } else if (r.type == ALA) {
            r.sc = r.atoms[5];
            r.sc.name = "SC";
        } else if (r.type >= 0 && r.type < 20) {
            calCo(r.atoms[0], r.atoms[2], r.atoms[1], Atom::R_SC[r.type], Residue::bond_angle[r.type][5], 2.138900998319049, r.sc);
            r.sc.type = 5;
        }
    }
}

void Structure::calSCCo(int i, const double* chi, Residue& r) {
    (void)i;
    const int t = r.type;
    double sx = 0, sy = 0, sz = 0;
    int n = 0;
    int k = 0;
    for (int j = 6; j < Residue::numAtom[t]; ++j) {
        const int* ref = Residue::prev_atom[t][j];
        double dih = Residue::torsion[t][j];
        if (dih == FREE_CHI) {
            if (k >= PF::numChi[t])
                fail("rotatable angle count error! " + std::to_string(t) + " " + std::to_string(PF::numChi[t]) + " " + std::to_string(k));
            dih = chi[k++];
        }
        calCo(r.atoms[ref[0]], r.atoms[ref[1]], r.atoms[ref[2]], Residue::bond_length[t][j], Residue::bond_angle[t][j], dih, r.atoms[j]);
        if (r.atoms[j].type < 22) {
            sx += r.atoms[j].x, sy += r.atoms[j].y, sz += r.atoms[j].z;
            ++n;
        }
    }
    r.numAtoms = static_cast<int16_t>(Residue::numAtom[t]);
    r.scCenter = Atom(0, 0, 0, ABSENT);
    if (n > 0) {
        double inv = 1.0 / n;
        r.scCenter = Atom(sx * inv, sy * inv, sz * inv, 0);
    }
}

void Structure::calSCCoHeavy(int i, const double* chi, Residue& r) {
    (void)i;
    const int t = r.type;
    r.scCenter = Atom(0, 0, 0, ABSENT);
    if (Residue::lastDFire[t] >= 6) {
        int k = 0;
        for (int j = 6; j <= Residue::lastDFire[t]; ++j) {
            const int* ref = Residue::prev_atom[t][j];
            double dih = Residue::torsion[t][j];
            if (dih == FREE_CHI) dih = chi[k++];
            calCo(r.atoms[ref[0]], r.atoms[ref[1]], r.atoms[ref[2]], Residue::bond_length[t][j], Residue::bond_angle[t][j], dih,
                  r.atoms[j]);
        }
    }
    r.numAtoms = static_cast<int16_t>(Residue::numAtom[t]);
}

void Structure::calH(int from, int to) {
    for (int i = from; i <= to; ++i) {
        Residue& r = residues[i];
        const int t = r.type;
        if (t < 0 || t >= 20) continue;
        if (t != PRO) {
            const Residue& p = residues[i - 1];
            calCo(p.atoms[1], p.atoms[2], r.atoms[0], Residue::bond_length[t][4], Residue::bond_angle[t][4], 0.0, r.atoms[4]);
        }
        for (int j = Residue::lastDFire[t] + 1; j < Residue::numAtom[t]; ++j) {
            const int* ref = Residue::prev_atom[t][j];
            calCo(r.atoms[ref[0]], r.atoms[ref[1]], r.atoms[ref[2]], Residue::bond_length[t][j], Residue::bond_angle[t][j],
                  Residue::torsion[t][j], r.atoms[j]);
        }
    }
}

void Structure::StoreSequence() {
    std::string s;
    for (int i = 1; i <= _numRes; ++i) {
        int t = residues[i].type;
        s += (t >= 0 && t < 25) ? Residue::Name1[t] : std::string("X");
    }
    _sequence = s;
}

void Structure::readSeq(const char* path) {
    std::ifstream in(path);
    if (!in) fail(std::string("cannot open pdb file ") + path);
    std::string line;
    std::getline(in, line);  // whole line: a cut sequence would pass silently as a shorter protein
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (static_cast<int>(line.size()) > MAX_RESIDUES)
        fail(std::string(path) + " has " + std::to_string(line.size()) + " residues, but the most allowed is " +
              std::to_string(MAX_RESIDUES));
    if (line.empty()) fail(std::string(path) + " has no sequence");
    int n = static_cast<int>(line.size());
    if (capacity() < n) init(n);
    for (int k = 0; k < n; ++k) {
        std::string c(1, line[k]);
        auto it = Residue::AIMap.find(c);
        if (it == Residue::AIMap.end() || it->second >= 20 || Residue::numAtom[it->second] == 0)
            fail("Residue type error! " + c);
        Residue& r = residues[k + 1];
        int t = it->second;
        r.type = static_cast<int16_t>(t);
        r.index = static_cast<int16_t>(k + 1);
        r.pdbNum = k + 1;
        r.numAtoms = static_cast<int16_t>(Residue::numAtom[t]);
        for (int j = 0; j < Residue::numAtom[t]; ++j) {
            r.atoms[j].type = static_cast<int16_t>(Residue::vdwType[t][j]);
            r.atoms[j].name = Residue::cType[t][j];
        }
    }
    _numRes = n;
    _sequence = line;
}

void cal_sc_angles(Residue& r) { r.cal_sc_angles(); }

void cal_sc_angles(Structure& s, int from, int to) {
    for (int i = from; i <= to; ++i) {
        Residue& r = s.residues[i];
        if (r.type == GLY || r.type == ALA || r.numAtoms < 7 || r.type < 0 || r.type >= 20) continue;
        int k = 0;
        for (int j = 6; j < r.numAtoms && j < MAX_ATOMS && k < 5; ++j) {
            if (Residue::torsion[r.type][j] != FREE_CHI) continue;
            const int* ref = Residue::prev_atom[r.type][j];
            if (r.atoms[j].present() && r.atoms[ref[0]].present() && r.atoms[ref[1]].present() && r.atoms[ref[2]].present())
                r.chi[k] = Torsion(r.atoms[j], r.atoms[ref[2]], r.atoms[ref[1]], r.atoms[ref[0]]);
            else
                r.chi[k] = UNDEF_DIHEDRAL;
            ++k;
        }
    }
}

}  // namespace lorvane
