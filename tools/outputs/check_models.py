#!/usr/bin/python3
"""Checks a sampling run's outputs the way a user's tools would see them.

    /usr/bin/python3 tools/outputs/check_models.py PREFIX -chain A -start 45 -end 52 [-models 10]

PREFIX is the run's output prefix (-o, or pdbout/<name>_<start>_<end>): it reads
PREFIX.txt (the result file), PREFIX.ranking.tsv and PREFIX.models.pdb (or
.models.cif) and checks that
  - the ranking table has one row per conformation of the result file, ranks
    1, 2, ... with combined scores that do not decrease;
  - the models file opens in gemmi and in Biopython, both seeing the expected
    number of models, in rank order (the REMARK 6 lines or the _lorvane_model
    table name rank r and the ranking table's index for model r);
  - model 1's loop (chain, start..end in file order) equals, atom for atom
    (name and coordinates to 0.001 A), the conformation of the result file that
    the ranking table ranks first, in both readers.
Prints one line per check and exits 1 on the first failure. Debian's Python
modules (python3-gemmi, python3-biopython) import under /usr/bin/python3.
"""
import argparse
import os
import re
import sys
import warnings

import gemmi
import Bio
from Bio.PDB import MMCIFParser, PDBParser


def fail(msg):
    print("FAIL: " + msg)
    sys.exit(1)


def residue_key(text):
    m = re.fullmatch(r"(-?\d+)([A-Za-z]?)", text)
    if not m:
        fail("not a residue number: %s" % text)
    return int(m.group(1)), m.group(2) or " "


def read_result(path):
    """Conformations of the result file: scores and residues in loop order,
    each a list of (atom name, (x, y, z)); a residue starts where the residue
    columns change or an atom name comes again."""
    confs, cur, key, seen = [], None, None, set()
    with open(path) as fh:
        for line in fh:
            if line.startswith("LOOP "):
                cur = {"scores": [float(x) for x in line.split()[2:6]], "residues": []}
                key = None
            elif line.startswith("ATOM  ") and cur is not None:
                name = line[12:16].strip()
                k = line[17:27]
                if k != key or name in seen:
                    cur["residues"].append([])
                    key, seen = k, set()
                seen.add(name)
                cur["residues"][-1].append((name, (float(line[30:38]), float(line[38:46]), float(line[46:54]))))
            elif line.startswith("END") and cur is not None:
                confs.append(cur)
                cur = None
    return confs


def read_ranking(path):
    with open(path) as fh:
        header = fh.readline().rstrip("\n").split("\t")
        want = ["rank", "index", "dfire", "sidechain", "quenda", "torsion", "combined",
                "cluster_size", "rmsd_to_top"]
        if header != want:
            fail("%s: header %s, expected %s" % (path, header, want))
        return [dict(zip(header, line.rstrip("\n").split("\t"))) for line in fh if line.strip()]


def same_loop(reader, got, want):
    """got: residues of the model's loop, each a list of (name, xyz)."""
    if len(got) != len(want):
        fail("%s: model 1 has %d loop residues, the conformation %d" % (reader, len(got), len(want)))
    n = 0
    for i, (g, w) in enumerate(zip(got, want)):
        if [a for a, _ in g] != [a for a, _ in w]:
            fail("%s: residue %d atoms %s, conformation %s" % (reader, i + 1, [a for a, _ in g], [a for a, _ in w]))
        for (name, p), (_, q) in zip(g, w):
            if max(abs(p[d] - q[d]) for d in range(3)) > 0.0011:
                fail("%s: residue %d atom %s at %s, conformation %s" % (reader, i + 1, name, p, q))
            n += 1
    return n


def in_loop(num, icode, start, end, state):
    """Residues from start to end in file order (insertion codes included)."""
    key = (num, icode or " ")
    if key == start:
        state["on"] = True
    hit = state["on"]
    if key == end:
        state["on"] = False
    return hit


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("prefix")
    p.add_argument("-chain", required=True)
    p.add_argument("-start", required=True)
    p.add_argument("-end", required=True)
    p.add_argument("-models", type=int, default=10)
    a = p.parse_args()
    start, end = residue_key(a.start), residue_key(a.end)

    confs = read_result(a.prefix + ".txt")
    ranking = read_ranking(a.prefix + ".ranking.tsv")
    if len(ranking) != len(confs):
        fail("ranking table has %d rows, the result file %d conformations" % (len(ranking), len(confs)))
    ranks = [int(r["rank"]) for r in ranking]
    combined = [float(r["combined"]) for r in ranking]
    if ranks != list(range(1, len(ranks) + 1)) or any(x > y for x, y in zip(combined, combined[1:])):
        fail("ranking table not in rank order")
    print("ranking: %d rows, one per conformation of the result file, in rank order" % len(ranking))
    top = confs[int(ranking[0]["index"]) - 1]

    models = next((a.prefix + ext for ext in (".models.pdb", ".models.cif") if os.path.exists(a.prefix + ext)), None)
    if models is None:
        fail("no %s.models.pdb or .models.cif" % a.prefix)
    cif = models.endswith(".cif")
    expected = min(a.models, len(confs))
    indices = [int(r["index"]) for r in ranking[:expected]]

    # gemmi
    st = gemmi.read_structure(models)
    if len(st) != expected:
        fail("gemmi: %d models, expected %d" % (len(st), expected))
    if cif:
        table = gemmi.cif.read(models).sole_block().find("_lorvane_model.", ["pdbx_PDB_model_num", "rank", "result_index"])
        order = [(int(r[0]), int(r[1]), int(r[2])) for r in table]
    else:
        order, model = [], None
        with open(models) as fh:
            for line in fh:
                if line.startswith("MODEL "):
                    model = int(line[6:].split()[0])
                m = re.match(r"REMARK   6 LORVANE RANK (\d+) INDEX (\d+)", line)
                if m:
                    order.append((model, int(m.group(1)), int(m.group(2))))
    if order != [(r + 1, r + 1, indices[r]) for r in range(expected)]:
        fail("models not in rank order: (model, rank, index) %s, ranking table %s" % (order, indices))
    print("gemmi %s: %d models, model r = rank r = ranking row r (%s)" % (gemmi.__version__, len(st), os.path.basename(models)))
    state = {"on": False}
    loop = [[(at.name, (at.pos.x, at.pos.y, at.pos.z)) for at in res]
            for res in st[0][a.chain] if res.het_flag != "H" and in_loop(res.seqid.num, res.seqid.icode, start, end, state)]
    n = same_loop("gemmi", loop, top["residues"])
    print("gemmi: model 1 loop %s%s-%s = LOOP %s of the result file, %d atoms identical"
          % (a.chain, a.start, a.end, ranking[0]["index"], n))

    # Biopython
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        parser = MMCIFParser(QUIET=True) if cif else PDBParser(QUIET=True)
        bst = parser.get_structure("models", models)
    bmodels = list(bst)
    if len(bmodels) != expected:
        fail("Biopython: %d models, expected %d" % (len(bmodels), expected))
    state = {"on": False}
    loop = [[(at.get_id(), tuple(float(x) for x in at.coord)) for at in res]
            for res in bmodels[0][a.chain]
            if res.id[0] == " " and in_loop(res.id[1], res.id[2].strip(), start, end, state)]
    n = same_loop("Biopython", loop, top["residues"])
    print("Biopython %s: %d models; model 1 loop = LOOP %s, %d atoms identical" % (Bio.__version__, len(bmodels), ranking[0]["index"], n))
    print("OK")


if __name__ == "__main__":
    main()
