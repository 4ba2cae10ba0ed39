"""Physics re-score of loop conformations with OpenMM (measurement tool).

For every chosen conformation of a result file, the loop's heavy atoms replace
the native loop in the protein; the region within --shell A of the native loop
is kept (whole residues), hydrogens are added (pH 7, every histidine as HIE so
that the protonation does not change from one conformation to the next), and
the energy is taken with AMBER ff99SB and OBC implicit solvent (the force-field
files OpenMM ships) after a short minimisation in which the frame atoms are
fixed and the loop's heavy atoms are held by harmonic restraints to their
starting positions (--k kcal/mol/A^2). The native loop is treated the same way.

Conformations: the first --first of the result file, or, with --ranking, the
ranks 1..--top of the program's ranking table (its "index" column is the LOOP
number in the result file). With --distinct D as well, the ranking is walked in
order and a conformation is taken only when its backbone RMSD to every one
already taken exceeds D A, until --top are taken: near-copies of one loop would
otherwise fill the set.

Usage (Debian's python3, which has the openmm module):
  /usr/bin/python3 tools/physics/rescore_openmm.py --pdb chain.pdb --start S --end E
      --result result.txt [--ranking result.ranking.tsv --top 30 [--distinct 1.0] | --first N]
      [--shell 10] [--k 1.0] [--steps 200] [--loop-alanine] --out scores.tsv [--rerank order.tsv]
--rerank (with --ranking) writes the physics re-rank of the scored conformations: the lowest sum
of the program's rank and the energy's rank among them comes first (order, index = LOOP number,
rank in the program's table, energy). With --top 20 --distinct 1.0 --steps 2000 it is the rank
sum measured on training loops (docs/benchmark.md). The structure must hold the loop: its residues
name the conformations' atoms and give the frame around them.
--loop-alanine cuts the loop's side chains at CB (glycine stays), in the native and every
conformation alike: the energy then judges the loop's backbone without its rebuilt side chains.
Output columns: index (LOOP number, "native" for the native), rank (in the ranking
table, 0 without one), energy (kJ/mol, force field only, after minimisation),
energy_start, rmsd (N, CA, C, O of the loop to the native loop, no superposition),
moved (heavy-atom RMSD of the loop during the minimisation), cpu (CPU seconds of
this conformation). A failed conformation is reported with energy "nan" and its
error on standard error.
"""

import argparse
import io
import math
import random
import sys
import time

try:
    import openmm
    import openmm.app as app
    import openmm.unit as unit
except ImportError:  # the selection helpers work without it
    openmm = app = unit = None

BACKBONE = ("N", "CA", "C", "O")
HEAVY = {"ALA": 5, "ARG": 11, "ASN": 8, "ASP": 8, "CYS": 6, "GLN": 9, "GLU": 9, "GLY": 4, "HIS": 10, "ILE": 8,
         "LEU": 8, "LYS": 9, "MET": 8, "PHE": 11, "PRO": 7, "SER": 6, "THR": 7, "TRP": 14, "TYR": 12, "VAL": 7}


def read_pdb_atoms(path):
    atoms = []
    with open(path) as fh:
        for line in fh:
            if line.startswith("ENDMDL"):
                break
            if line.startswith("ATOM  "):
                name = line[12:16].strip()
                if name.startswith("H") or (len(name) > 1 and name[0].isdigit() and name[1] == "H"):
                    continue
                if line[16] not in (" ", "A"):
                    continue
                atoms.append({"name": name, "res": line[17:20], "num": int(line[22:26]),
                              "xyz": (float(line[30:38]), float(line[38:46]), float(line[46:54]))})
    return atoms


def read_results(path):
    loops, cur = [], None
    with open(path) as fh:
        for line in fh:
            if line.startswith("LOOP "):
                cur = {"index": int(line.split()[1]), "atoms": {}}
            elif line.startswith("ATOM  ") and cur is not None:
                cur["atoms"][(int(line[22:26]), line[12:16].strip())] = (
                    float(line[30:38]), float(line[38:46]), float(line[46:54]))
            elif line.startswith("END") and cur is not None:
                loops.append(cur)
                cur = None
    return loops


def dist(a, b):
    return math.sqrt(sum((x - y) ** 2 for x, y in zip(a, b)))


def unit_vec(v):
    n = math.sqrt(sum(x * x for x in v))
    return tuple(x / n for x in v)


def pdb_text(atoms):
    """ATOM records, a new chain at every gap in the residue numbering (the shell keeps pieces of
    the protein) and an OXT on the last residue of each piece, so that every piece is a complete
    chain for the force field."""
    by_res = []
    for a in atoms:
        if not by_res or by_res[-1][0]["num"] != a["num"]:
            by_res.append([])
        by_res[-1].append(a)
    out, k, chain = [], 0, 0
    letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
    for i, res in enumerate(by_res):
        last = i + 1 == len(by_res) or by_res[i + 1][0]["num"] != res[0]["num"] + 1
        extra = []
        if last:
            xyz = {a["name"]: a["xyz"] for a in res}
            if "OXT" not in xyz and all(n in xyz for n in ("CA", "C", "O")):
                c = xyz["C"]
                u = unit_vec(tuple(-(p - q) for p, q in zip(xyz["O"], c)))
                w = unit_vec(tuple(-(p - q) for p, q in zip(xyz["CA"], c)))
                d = unit_vec(tuple(x + y for x, y in zip(u, w)))
                extra.append(dict(res[0], name="OXT", xyz=tuple(q + 1.25 * e for q, e in zip(c, d))))
        for a in res + extra:
            k += 1
            nm = a["name"]
            field = nm.ljust(4) if len(nm) >= 4 else (" " + nm).ljust(4)
            out.append("ATOM  %5d %s %3s %s%4d    %8.3f%8.3f%8.3f  1.00  0.00\n"
                       % (k, field, a["res"], letters[chain % 26], a["num"], a["xyz"][0], a["xyz"][1], a["xyz"][2]))
        if last:
            out.append("TER\n")
            chain += 1
    out.append("END\n")
    return "".join(out)


def shell_residues(native, start, end, shell):
    """Numbers of the residues the force field sees: the loop, and every residue with an atom
    within `shell` A of the native loop together with its two neighbours."""
    loop = [a for a in native if start <= a["num"] <= end]
    near = set()
    for a in native:
        if any(dist(a["xyz"], b["xyz"]) < shell for b in loop):
            near.add(a["num"])
    # With a neighbour on each side, a residue near the loop is not a piece of chain of its own.
    keep = set()
    for n in near:
        keep.update((n - 1, n, n + 1))
    # Frame residues missing heavy atoms are left out (the force field needs whole residues).
    count = {}
    for a in native:
        count[a["num"]] = count.get(a["num"], 0) + 1
    resname = {a["num"]: a["res"] for a in native}
    whole = {n for n in keep if n in resname and (start <= n <= end or count[n] >= HEAVY.get(resname[n], 99))}
    # A residue left alone by a dropped neighbour would be both chain ends at once, which the
    # force field has no template for.
    return {n for n in whole if n - 1 in whole or n + 1 in whole}


def loop_records(loop_atoms, names, alanine):
    """Atom records of a conformation's loop in residue order, named after the structure's residues
    (names: number -> residue name). With alanine, side chains are cut at CB and every residue but
    glycine is named ALA, so that only the loop's backbone is scored."""
    loop = sorted(loop_atoms.items(), key=lambda kv: kv[0][0])
    if alanine:
        loop = [kv for kv in loop if kv[0][1] in BACKBONE + ("CB",)]
    return [{"name": nm, "xyz": xyz, "num": num,
             "res": "ALA" if alanine and names[num] != "GLY" else names[num]} for (num, nm), xyz in loop]


class Scorer:
    def __init__(self, native, start, end, shell, k, steps, alanine=False):
        self.start, self.end, self.k, self.steps, self.alanine = start, end, k, steps, alanine
        whole = shell_residues(native, start, end, shell)
        self.frame = [a for a in native if a["num"] in whole]
        self.names = {a["num"]: a["res"] for a in self.frame}
        self.ff = app.ForceField("amber99sb.xml", "amber99_obc.xml")
        try:
            self.platform = openmm.Platform.getPlatformByName("CPU")
            self.props = {"Threads": "1"}
        except Exception:
            self.platform = openmm.Platform.getPlatformByName("Reference")
            self.props = {}
        self.hydrogen_platform = openmm.Platform.getPlatformByName("Reference")
        self.cache = {}

    def _model(self, loop_atoms):
        # The loop's atoms are the conformation's own (a residue truncated in the crystal is complete
        # in the models); residue names come from the structure.
        loop = loop_records(loop_atoms, self.names, self.alanine)
        atoms, placed = [], False
        for a in self.frame:
            if not self.start <= a["num"] <= self.end:
                atoms.append(a)
            elif not placed:
                atoms.extend(loop)
                placed = True
        pdb = app.PDBFile(io.StringIO(pdb_text(atoms)))
        model = app.Modeller(pdb.topology, pdb.positions)
        variants = ["HIE" if r.name == "HIS" else None for r in model.topology.residues()]
        # addHydrogens starts each new hydrogen at a random offset before minimising them: seeded, the
        # same conformation gets the same hydrogens in every run.
        random.seed(1)
        model.addHydrogens(self.ff, pH=7.0, variants=variants, platform=self.hydrogen_platform)
        return model

    def _system(self, model):
        """System, restraint force, context and loop heavy-atom indices for this topology; built once
        per distinct topology (every conformation with complete residues shares the native's)."""
        sig = tuple((r.id, tuple(x.name for x in r.atoms())) for r in model.topology.residues())
        if sig in self.cache:
            return self.cache[sig]
        system = self.ff.createSystem(model.topology, nonbondedMethod=app.CutoffNonPeriodic,
                                      nonbondedCutoff=1.2 * unit.nanometer, constraints=None)
        restraint = openmm.CustomExternalForce("0.5*kr*((x-x0)^2+(y-y0)^2+(z-z0)^2)")
        restraint.addGlobalParameter("kr", 0.0)
        for p in ("x0", "y0", "z0"):
            restraint.addPerParticleParameter(p)
        loop_heavy, frame = [], []
        for atom in model.topology.atoms():
            heavy = atom.element is not None and atom.element.symbol != "H"
            if not self.start <= int(atom.residue.id) <= self.end:
                # The frame's heavy atoms stay (the minimiser leaves massless particles in place); its
                # hydrogens relax with the loop, so that where addHydrogens left them adds no noise.
                if heavy:
                    system.setParticleMass(atom.index, 0.0)
                    frame.append(atom.index)
            elif heavy:
                restraint.addParticle(atom.index, [0.0, 0.0, 0.0])
                loop_heavy.append(atom.index)
        system.addForce(restraint)
        ctx = openmm.Context(system, openmm.VerletIntegrator(0.001), self.platform, self.props)
        self.cache[sig] = (restraint, ctx, loop_heavy, frame)
        return self.cache[sig]

    def energy(self, loop_atoms):
        """loop_atoms: {(resnum, name): xyz}; returns (E after, E before, heavy-atom shift)."""
        return self.relax(loop_atoms)[:3]

    def relax(self, loop_atoms):
        """As energy, and the loop's heavy atoms after the minimisation, {(resnum, name): xyz in A}."""
        model = self._model(loop_atoms)
        restraint, ctx, loop_heavy, frame = self._system(model)
        pos = model.positions
        for k, i in enumerate(loop_heavy):
            p = pos[i].value_in_unit(unit.nanometer)
            restraint.setParticleParameters(k, i, [p[0], p[1], p[2]])
        restraint.updateParametersInContext(ctx)
        ctx.setPositions(pos)
        ctx.setParameter("kr", 0.0)
        e0 = ctx.getState(getEnergy=True).getPotentialEnergy().value_in_unit(unit.kilojoule_per_mole)
        ctx.setParameter("kr", self.k * 418.4)  # kcal/mol/A^2 -> kJ/mol/nm^2
        openmm.LocalEnergyMinimizer.minimize(ctx, 1.0, self.steps)
        # Report the force-field energy without the restraint.
        ctx.setParameter("kr", 0.0)
        st = ctx.getState(getEnergy=True, getPositions=True)
        e1 = st.getPotentialEnergy().value_in_unit(unit.kilojoule_per_mole)
        new = st.getPositions(asNumpy=False)
        fixed = max((dist(new[i].value_in_unit(unit.angstrom), pos[i].value_in_unit(unit.angstrom)) for i in frame), default=0.0)
        if fixed > 1e-3:
            raise RuntimeError("the minimiser moved frame atoms (%.4f A)" % fixed)
        shift = math.sqrt(sum(dist(new[i].value_in_unit(unit.angstrom), pos[i].value_in_unit(unit.angstrom)) ** 2
                              for i in loop_heavy) / max(len(loop_heavy), 1))
        atoms = list(model.topology.atoms())
        relaxed = {(int(atoms[i].residue.id), atoms[i].name): tuple(new[i].value_in_unit(unit.angstrom)) for i in loop_heavy}
        return e1, e0, shift, relaxed


def read_ranking(path):
    """The ranking table as {index: rank} (index: LOOP number in the result file)."""
    ranks = {}
    with open(path) as fh:
        header = fh.readline().rstrip("\n").split("\t")
        col_rank, col_index = header.index("rank"), header.index("index")
        for line in fh:
            f = line.rstrip("\n").split("\t")
            ranks[int(f[col_index])] = int(f[col_rank])
    return ranks


def choose_ranked(loops, ranks, top, distinct):
    """The first `top` loops in rank order; with distinct > 0, skipping any loop within
    `distinct` A backbone RMSD of one already taken."""
    ranked = sorted((dict(L, rank=ranks[L["index"]]) for L in loops if L["index"] in ranks), key=lambda L: L["rank"])
    if len(ranked) != len(ranks):
        raise ValueError("%d of the ranked conformations are missing from the result file" % (len(ranks) - len(ranked)))
    taken = []
    for L in ranked:
        if len(taken) == top:
            break
        if distinct <= 0 or all(backbone_rmsd(L["atoms"], T["atoms"]) > distinct for T in taken):
            taken.append(L)
    return taken


def rank_sum_order(scored):
    """The physics re-rank. scored: [(index, program rank, energy)], energy nan for a conformation
    that failed. Order: lowest sum of the program rank and the energy rank among those scored,
    ties to the better program rank (equal energies too); failed ones last, in program order."""
    ok = [s for s in scored if not math.isnan(s[2])]
    erank = {s[0]: k for k, s in enumerate(sorted(ok, key=lambda s: (s[2], s[1])), 1)}
    failed = sorted((s for s in scored if math.isnan(s[2])), key=lambda s: s[1])
    return sorted(ok, key=lambda s: (s[1] + erank[s[0]], s[1])) + failed


def backbone_rmsd(atoms, nat_loop):
    bb = [key for key in nat_loop if key[1] in BACKBONE]
    missing = [key for key in bb if key not in atoms]
    if missing:
        raise RuntimeError("conformation lacks backbone atom %s %d" % (missing[0][1], missing[0][0]))
    return math.sqrt(sum(dist(atoms[key], nat_loop[key]) ** 2 for key in bb) / len(bb))


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--pdb", required=True)
    p.add_argument("--start", type=int, required=True)
    p.add_argument("--end", type=int, required=True)
    p.add_argument("--result", required=True)
    p.add_argument("--first", type=int, default=0)
    p.add_argument("--ranking")
    p.add_argument("--top", type=int, default=30)
    p.add_argument("--distinct", type=float, default=0.0)
    p.add_argument("--shell", type=float, default=10.0)
    p.add_argument("--k", type=float, default=1.0)
    p.add_argument("--steps", type=int, default=200)
    p.add_argument("--loop-alanine", action="store_true")
    p.add_argument("--out", required=True)
    p.add_argument("--rerank")
    a = p.parse_args()
    if a.rerank and not a.ranking:
        p.error("--rerank needs --ranking: the re-rank adds the program's rank to the energy's")
    if openmm is None:
        sys.exit("rescore_openmm: needs OpenMM's Python module (Debian package python3-simtk)")
    native = read_pdb_atoms(a.pdb)
    nat_loop = {(x["num"], x["name"]): x["xyz"] for x in native if a.start <= x["num"] <= a.end}
    if not nat_loop:
        sys.exit("rescore_openmm: no atoms of residues %d..%d in %s" % (a.start, a.end, a.pdb))
    t = time.process_time()
    scorer = Scorer(native, a.start, a.end, a.shell, a.k, a.steps, a.loop_alanine)
    setup = time.process_time() - t
    loops = read_results(a.result)
    if a.ranking:
        try:
            loops = choose_ranked(loops, read_ranking(a.ranking), a.top, a.distinct)
        except ValueError as err:
            sys.exit("rescore_openmm: %s: %s" % (a.result, err))
    elif a.first:
        loops = loops[:a.first]
    todo = [("native", 0, nat_loop)] + [(str(L["index"]), L.get("rank", 0), L["atoms"]) for L in loops]
    rows = []
    for name, rank, atoms in todo:
        t = time.process_time()
        r = backbone_rmsd(atoms, nat_loop)
        try:
            e, e0, sh = scorer.energy(atoms)
        except Exception as err:  # a failed conformation stays in the table, marked
            print("rescore_openmm: %s %s: %s" % (a.result, name, err), file=sys.stderr)
            e = e0 = sh = float("nan")
        rows.append((name, rank, e, e0, r, sh, time.process_time() - t))
    with open(a.out, "w") as fh:
        fh.write("index\trank\tenergy\tenergy_start\trmsd\tmoved\tcpu\n")
        for row in rows:
            fh.write("%s\t%d\t%.2f\t%.2f\t%.3f\t%.3f\t%.2f\n" % row)
    if a.rerank:
        order = rank_sum_order([(int(r[0]), r[1], r[2]) for r in rows if r[0] != "native"])
        with open(a.rerank, "w") as fh:
            fh.write("order\tindex\trank\tenergy\n")
            for k, (index, rank, e) in enumerate(order, 1):
                fh.write("%d\t%d\t%d\t%.2f\n" % (k, index, rank, e))
    print("rescore_openmm: %d conformations, CPU %.1f s (setup %.1f s)" % (len(rows), time.process_time(), setup))
    return 0


if __name__ == "__main__":
    sys.exit(main())
