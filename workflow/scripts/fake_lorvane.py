#!/usr/bin/env python3
"""Stand-in for the lorvane executable, for testing the batch workflow.

It takes lorvane's command line (-chain, insertion codes, -seq, -o, -models,
-data, -quiet, -h) for the two modes the workflow uses, reading PDB or mmCIF
files, gzipped or not:

  sampling: -f FILE [-chain C] -start S -end E [-seq SEQ] [-o PREFIX] [-models N]
            [-numloop M -seeds N -cores C -rs R -data DIR -quiet -keepwater]
      n = min(M, 24) conformations. Conformation k (1..n) is the loop moved by
      0.25*k Angstrom along (1,1,1)/sqrt(3), so its backbone RMSD to the input loop
      is 0.25*k and to conformation j 0.25*|k-j|. Its four scores are smallest for
      k0 = 1 + (S + E) % 5 (residue numbers without insertion code), which is
      therefore the lowest combined score: rank 1. As in the program, S and E are
      present residues; residues missing between them are built from -seq (all
      residues S..E, present ones included) on the line between their neighbours.
      Outputs, PREFIX being -o or pdbout/<name>_<S>_<E>:
        PREFIX.txt                      the result file (chain A, no insertion codes)
        PREFIX.ranking.tsv              every conformation in rank order: rank index
                                        dfire sidechain quenda torsion combined
                                        cluster_size rmsd_to_top
        PREFIX.models.pdb (.cif)        top N (default 10) as complete structures,
                                        none with -models 0
      combined = sum of the four median/MAD-normalised scores; cluster_size =
      conformations within 1 Angstrom (RMSD rounded to 0.001).
  compare: -mode compare -f FILE [-chain C] -start S -end E -score RESULT [-svg out.svg]
      prints the eight-number summary line.

With LORVANE_FAKE_NO_QUIET set in the environment it behaves like a build
without -quiet: -h does not list it and the option is refused.
Like the real program it needs atomProp2.txt in its data directory (-data, else
$LORVANE_DATA, else ./data), appends its command line to command.log, writes
errors as one line on standard error and exits 1 on bad input, 2 on misuse.
Atoms are written in reverse order within each residue, so readers have to match
atoms by name.
"""

import math
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import loopkit  # noqa: E402

SHIFT_STEP = 0.25
MAX_CONFS = 24
CLUSTER_RADIUS = 1.0
NO_QUIET = bool(os.environ.get("LORVANE_FAKE_NO_QUIET"))
ONE_TO_THREE = {"A": "ALA", "C": "CYS", "D": "ASP", "E": "GLU", "F": "PHE", "G": "GLY",
                "H": "HIS", "I": "ILE", "K": "LYS", "L": "LEU", "M": "MET", "N": "ASN",
                "P": "PRO", "Q": "GLN", "R": "ARG", "S": "SER", "T": "THR", "V": "VAL",
                "W": "TRP", "Y": "TYR"}


class Fail(Exception):
    def __init__(self, msg, status=1):
        super().__init__(msg)
        self.status = status


def resid(text):
    try:
        return loopkit.parse_resid(text)
    except ValueError as exc:
        raise Fail(str(exc), 2) from exc


def pick_chain(residues, chain, start, path):
    """The residues of the loop's chain; without -chain the start residue must be in one chain."""
    if chain:
        sel = [r for r in residues if r["chain"] == chain]
        if not sel:
            raise Fail("%s: no chain %s" % (path, chain))
        return sel
    key = resid(start)
    chains = sorted({r["chain"] for r in residues if (r["num"], r["icode"]) == key})
    if len(chains) > 1:
        raise Fail("residue %s is in chains %s: choose one with -chain" % (start, ", ".join(chains)), 2)
    if not chains:
        # a missing loop: the chain of its anchor
        chains = sorted({r["chain"] for r in residues if r["num"] == key[0] - 1})[:1]
    return [r for r in residues if chains and r["chain"] == chains[0]]


def find_loop(chain, opt, mode_message):
    """(position in chain, loop residues, how many chain residues they replace).
    As in the program, both ends are present residues with an anchor on either
    side; residues missing between them are built from -seq (every residue
    start..end, present ones included) on the line between their neighbours."""
    pos = {(r["num"], r["icode"]): i for i, r in enumerate(chain)}
    ks, ke = resid(opt["start"]), resid(opt["end"])
    for text, key in ((opt["start"], ks), (opt["end"], ke)):
        if key not in pos:
            raise Fail("%s (%s has no residue %s in chain %s)" % (
                mode_message, opt["f"], text, chain[0]["chain"] if chain else "?"))
    a, b = pos[ks], pos[ke]
    if b < a or a == 0 or b == len(chain) - 1:
        raise Fail("loop %s-%s: needs an anchor residue on either side" % (opt["start"], opt["end"]))
    present = chain[a:b + 1]
    loop = []
    for i, r in enumerate(present):
        loop.append(r)
        if i + 1 < len(present) and present[i + 1]["num"] > r["num"] + 1:
            loop += [None] * (present[i + 1]["num"] - r["num"] - 1)
    seq = opt["seq"].upper()
    if None in loop and not seq:
        raise Fail("residues of %s-%s are missing from the coordinates: give the loop's "
                   "sequence with -seq" % (opt["start"], opt["end"]))
    if seq and len(seq) != len(loop):
        raise Fail("-seq %s has %d residues, loop %s-%s has %d"
                   % (opt["seq"], len(seq), opt["start"], opt["end"], len(loop)), 2)
    for i, r in enumerate(loop):
        if seq and seq[i] not in ONE_TO_THREE:
            raise Fail("-seq %s: %s is not an amino acid" % (opt["seq"], seq[i]), 2)
        if r is not None and seq and ONE_TO_THREE[seq[i]] != r["name"]:
            raise Fail("-seq %s: residue %d is %s in the file" % (opt["seq"], i + 1, r["name"]), 2)
    for i, r in enumerate(loop):
        if r is not None:
            continue
        j = i + next(k for k, x in enumerate(loop[i:]) if x is not None)  # next present one
        prev, nxt = loop[i - 1], loop[j]
        c0, n1 = prev["atoms"].get("C"), nxt["atoms"].get("N")
        if c0 is None or n1 is None:
            raise Fail("missing residues after %d: neighbour backbone incomplete" % prev["num"])
        atoms = {}
        for m, name in enumerate(("N", "CA", "C", "O")):
            t = (1 + (m + 1) / 5.0) / (j - i + 2)
            atoms[name] = tuple(c0[d] + t * (n1[d] - c0[d]) + (0.8 if name == "O" else 0.0)
                                for d in range(3))
        loop[i] = {"chain": prev["chain"], "num": prev["num"] + 1, "icode": " ",
                   "name": ONE_TO_THREE[seq[i]], "atoms": atoms}
    return a, loop, len(present)


def atom_line(serial, name, r, xyz):
    if len(name) >= 4:
        field = name + " "
    elif name[0] in "123":
        field = "%-3s  " % name
    else:
        field = " %-3s " % name
    return "ATOM  %5d %s%3s %1s%4d%1s   %8.3f%8.3f%8.3f  1.00  0.00\n" % (
        serial, field, r["name"], r["chain"], r["num"], r["icode"], *xyz)


def shifted(loop, k):
    d = SHIFT_STEP * k / math.sqrt(3.0)
    return [dict(r, atoms={n: (x + d, y + d, z + d) for n, (x, y, z) in r["atoms"].items()})
            for r in loop]


def scores(k, k0):
    far = abs(k - k0)
    return [-40.0 + 2.5 * far, 5.0 + 1.0 * far, -20.0 + 1.5 * far, 15.0 + 0.8 * far]


def write_models(path, before, after, loop, ranked, ranking, cif):
    """The top conformations as complete structures, in rank order."""
    with open(path, "w") as out:
        if cif:
            out.write("data_models\nloop_\n" + "".join(
                "_atom_site.%s\n" % t for t in (
                    "group_PDB", "id", "label_atom_id", "label_comp_id", "auth_asym_id",
                    "auth_seq_id", "pdbx_PDB_ins_code", "Cartn_x", "Cartn_y", "Cartn_z",
                    "pdbx_PDB_model_num")))
        for rank, k in enumerate(ranked, 1):
            row = ranking[rank - 1]
            whole = before + shifted(loop, k) + after
            if not cif:
                out.write("MODEL     %4d\n" % rank)
                out.write("REMARK   6 LORVANE RANK %d INDEX %d COMBINED %s\n" % (rank, k, row[6]))
                out.write("REMARK   6 DFIRE %s SIDECHAIN %s QUENDA %s TORSION %s\n" % tuple(row[2:6]))
            serial = 1
            for r in whole:
                for name, xyz in reversed(list(r["atoms"].items())):
                    if cif:
                        out.write("ATOM %d %s %s %s %d %s %.3f %.3f %.3f %d\n" % (
                            serial, name, r["name"], r["chain"], r["num"],
                            r["icode"].strip() or "?", *xyz, rank))
                    else:
                        out.write(atom_line(serial, name, r, xyz))
                    serial += 1
            if not cif:
                out.write("ENDMDL\n")
        out.write("#\n" if cif else "END\n")


def sample(opt):
    t0 = time.time()
    if not opt["quiet"]:
        print("sampling loop %s-%s" % (opt["start"], opt["end"]), file=sys.stderr)
    residues = loopkit.read_structure(opt["f"])
    chain = pick_chain(residues, opt["chain"], opt["start"], opt["f"])
    at, loop, replaced = find_loop(
        chain, opt, "Specified starting or ending residue numbers are not in the PDB file.")
    at = next(i for i, r in enumerate(residues) if r is chain[at])
    n = max(0, min(opt["numloop"], MAX_CONFS))
    k0 = 1 + (resid(opt["start"])[0] + resid(opt["end"])[0]) % 5
    # a little work, so that the run's CPU time is not zero
    acc = 0.0
    for i in range(200000):
        acc += math.sqrt(i)
    prefix = opt["o"] or os.path.join("pdbout", "%s_%s_%s" % (
        loopkit.prot_name(opt["f"]), opt["start"], opt["end"]))
    if os.path.dirname(prefix):
        os.makedirs(os.path.dirname(prefix), exist_ok=True)
    with open(prefix + ".txt", "w") as out:
        for k in range(1, n + 1):
            out.write("LOOP %d %.2f %.2f %.2f %.2f\n" % (k, *scores(k, k0)))
            serial = 1
            # as the program writes it: chain A, no insertion codes
            for r in shifted(loop, k):
                for name, xyz in reversed(list(r["atoms"].items())):
                    out.write(atom_line(serial, name, dict(r, chain="A", icode=" "), xyz))
                    serial += 1
            out.write("END \n")
    written = [prefix + ".txt"]
    best = ""
    if n:
        # every conformation ranked; the top -models written as complete structures
        z = loopkit.z_scores([{"scores": scores(k, k0)} for k in range(1, n + 1)])
        ranked = sorted(range(1, n + 1), key=lambda k: (z[k - 1], k))
        rmsd = lambda j, k: round(SHIFT_STEP * abs(j - k), 3)
        ranking = [[rank, k, *("%.2f" % s for s in scores(k, k0)), "%.4f" % z[k - 1],
                    sum(1 for j in range(1, n + 1) if rmsd(j, k) <= CLUSTER_RADIUS),
                    "%.3f" % rmsd(k, ranked[0])] for rank, k in enumerate(ranked, 1)]
        write_ranking(prefix + ".ranking.tsv", ranking)
        written.append(prefix + ".ranking.tsv")
        if opt["models"] > 0:
            cif = loopkit.is_cif(opt["f"])
            models = prefix + (".models.cif" if cif else ".models.pdb")
            top = ranked[:opt["models"]]
            write_models(models, residues[:at], residues[at + replaced:], loop, top, ranking, cif)
            written.append(models)
        best = ", best combined score %s (LOOP %d)" % (ranking[0][6], ranked[0])
    print("Wrote %s: %d conformations%s, run time %.1f s (CPU %.1f s)"
          % (", ".join(written), n, best, time.time() - t0, time.process_time()))


def write_ranking(path, ranking):
    with open(path, "w") as out:
        out.write("rank\tindex\tdfire\tsidechain\tquenda\ttorsion\tcombined\tcluster_size\t"
                  "rmsd_to_top\n")
        for row in ranking:
            out.write("\t".join(str(x) for x in row) + "\n")


def compare(opt):
    residues = loopkit.read_structure(opt["f"])
    chain = pick_chain(residues, opt["chain"], opt["start"], opt["f"])
    loop = find_loop(chain, opt, "Could not find startind or ending PDB index")[1]
    if not os.path.exists(opt["score"]):
        raise Fail("Could not read Loops file " + opt["score"])
    decoys = loopkit.read_results(opt["score"])
    if not decoys:
        raise Fail("no decoys in " + opt["score"])
    for d in decoys:
        d["rmsd"] = loopkit.anchor_pattern_rmsd(d, loop)
    z = loopkit.z_scores(decoys)
    iz = min(range(len(z)), key=lambda i: (z[i], i))
    rms = [d["rmsd"] for d in decoys]
    s = [d["scores"] for d in decoys]
    vals = [len(decoys), min(rms), sum(rms) / len(rms), rms[iz],
            min(10 * x[3] + x[2] for x in s), min(x[2] for x in s),
            min(10 * x[3] + x[0] for x in s), min(x[0] for x in s)]
    print(" ".join("%g" % v for v in vals))
    if opt["svg"]:
        with open(opt["svg"], "w") as fh:
            fh.write('<svg xmlns="http://www.w3.org/2000/svg" width="200" height="120">\n')
            for r, zz in zip(rms, z):
                fh.write('<circle cx="%.1f" cy="%.1f" r="2"/>\n' % (10 + 30 * r, 60 - 4 * zz))
            fh.write("</svg>\n")


def parse(argv):
    opt = {"mode": "smc", "f": "", "chain": "", "start": "", "end": "", "seq": "", "o": "",
           "models": 10, "numloop": 5000, "seeds": 10000, "cores": 0, "score": "", "svg": "",
           "data": os.environ.get("LORVANE_DATA", ""), "quiet": False}
    ints = {"-numloop", "-seeds", "-cores", "-rs", "-models"}
    strs = {"-f", "-chain", "-start", "-end", "-seq", "-o", "-score", "-svg", "-mode", "-data"}
    flags = {"-keepwater"} | (set() if NO_QUIET else {"-quiet"})
    i = 1
    while i < len(argv):
        a = argv[i]
        if a in flags:
            opt[a[1:]] = True
            i += 1
            continue
        if a not in ints and a not in strs:
            raise Fail("unknown option " + a, 2)
        if i + 1 >= len(argv):
            raise Fail("option %s needs a value" % a, 2)
        if a in ints:
            try:
                opt[a[1:]] = int(argv[i + 1])
            except ValueError:
                raise Fail("option %s needs a whole number, got %s" % (a, argv[i + 1]), 2)
        else:
            opt[a[1:]] = argv[i + 1]
        i += 2
    if not opt["f"] or not opt["start"] or not opt["end"]:
        raise Fail("-f, -start and -end are required", 2)
    return opt


def main(argv):
    if len(argv) == 1 or argv[1] in ("-h", "--help"):
        print("LORVANE: protein loop conformation sampler (test stand-in)\n\nOptions:")
        for o in ("-f FILE", "-start N[I]", "-end N[I]", "-chain ID", "-seq SEQ", "-keepwater",
                  "-mode MODE", "-seeds N", "-numloop N", "-cores N", "-rs N", "-o PREFIX",
                  "-models N", "-data DIR") + (() if NO_QUIET else ("-quiet",)) + (
                  "-score FILE", "-svg FILE", "-h"):
            print("  " + o)
        return 0
    try:
        opt = parse(argv)
        with open("command.log", "a") as log:
            log.write(" ".join(argv) + " \n")
        data = opt["data"] or "data"
        if not os.path.exists(os.path.join(data, "atomProp2.txt")):
            raise Fail("cannot open parameter file %s" % os.path.join(data, "atomProp2.txt"))
        if not os.path.exists(opt["f"]):
            raise Fail("cannot open structure file " + opt["f"])
        if opt["mode"] == "compare":
            compare(opt)
        elif opt["mode"] == "smc":
            print("openMP:  using %d cores." % (opt["cores"] or os.cpu_count()))
            sample(opt)
        else:
            raise Fail("wrong mode type: " + opt["mode"], 2)
    except Fail as exc:
        print(exc, file=sys.stderr)
        return exc.status
    except ValueError as exc:
        print("%s: %s" % (opt["f"], exc), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
