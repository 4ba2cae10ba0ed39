#!/usr/bin/env python3
"""Stand-in for the lorvane executable, for testing the batch workflow.

It takes the same command line as lorvane for the two modes the workflow uses:

  sampling: -f chain.pdb -start S -end E [-seeds N -numloop M -cores C -rs R]
      writes pdbout/<LoopID>.txt with n = min(M, 24) conformations. Conformation k
      (1..n) is the native loop with every atom moved by 0.25*k Angstrom along
      (1,1,1)/sqrt(3), so its backbone RMSD to the native is 0.25*k. Its four scores
      are smallest for k0 = 1 + (S + E) % 5, which is therefore the lowest-z
      conformation. Atoms are written in reverse order within each residue, so
      readers have to match atoms by name.
  compare: -mode compare -f chain.pdb -start S -end E -score file [-svg out.svg]
      prints the eight-number summary line.

Like the real program it needs data/atomProp2.txt under the working directory,
appends its command line to command.log and exits 1 on bad input.
"""

import math
import os
import sys
import time

SHIFT_STEP = 0.25
MAX_CONFS = 24


def die(msg):
    print(msg)
    sys.exit(1)


def read_atoms(path):
    residues = []
    where = {}
    try:
        fh = open(path)
    except OSError:
        die("cannot open pdb file " + path)
    with fh:
        for line in fh:
            if not line.startswith("ATOM  ") or line[16] not in " A":
                continue
            name = line[12:16].strip()
            if name.startswith("H") or name[:1].isdigit():
                continue
            key = (int(line[22:26]), line[26])
            if key not in where:
                where[key] = len(residues)
                residues.append((key[0], line[17:20], []))
            atoms = residues[where[key]][2]
            if all(a[0] != name for a in atoms):
                atoms.append((name, float(line[30:38]), float(line[38:46]), float(line[46:54])))
    return residues


def find_loop(residues, start, end):
    a = b = None
    for i, r in enumerate(residues[:-1]):   # the last residue is never matched
        if r[0] == start:
            a = i
        elif r[0] == end:
            b = i
    if a is None or b is None or b <= a:
        die("Specified starting or ending residue numbers are not in the PDB file.")
    return residues[a:b + 1]


def atom_line(serial, name, resname, resnum, x, y, z):
    if len(name) >= 4:
        field = name + " "
    elif name[0] in "123":
        field = "%-3s  " % name
    else:
        field = " %-3s " % name
    return "ATOM  %5d %s%3s A%4d    %8.3f%8.3f%8.3f\n" % (serial, field, resname, resnum, x, y, z)


def prot_name(path):
    base = os.path.basename(path)
    dot = base.find(".")
    return base[:dot] if 0 <= dot < 6 else base[:6]


def sample(opt):
    print("openMP:  using %d cores." % (opt["cores"] or os.cpu_count()))
    t0 = time.time()
    loop = find_loop(read_atoms(opt["f"]), opt["start"], opt["end"])
    n = max(0, min(opt["numloop"], MAX_CONFS))
    k0 = 1 + (opt["start"] + opt["end"]) % 5
    loop_id = "%s_%d_%d" % (prot_name(opt["f"]), opt["start"], opt["end"])
    # a little work, so that the run's CPU time is not zero
    acc = 0.0
    for i in range(200000):
        acc += math.sqrt(i)
    try:
        out = open(os.path.join("pdbout", loop_id + ".txt"), "w")
    except OSError:
        print("cannot write pdbout/%s.txt" % loop_id)
        return
    with out:
        for k in range(1, n + 1):
            d = SHIFT_STEP * k / math.sqrt(3.0)
            far = abs(k - k0)
            out.write("LOOP %d %.2f %.2f %.2f %.2f\n" % (
                k, -40.0 + 2.5 * far, 5.0 + 1.0 * far, -20.0 + 1.5 * far, 15.0 + 0.8 * far))
            serial = 1
            for resnum, resname, atoms in loop:
                for name, x, y, z in reversed(atoms):
                    out.write(atom_line(serial, name, resname, resnum, x + d, y + d, z + d))
                    serial += 1
            out.write("END \n")
    print("Total time: %.2f s" % (time.time() - t0))


def med_mad(v):
    s = sorted(v)
    n = len(s)
    med = s[n // 2] if n % 2 else 0.5 * (s[n // 2 - 1] + s[n // 2])
    dev = sorted(abs(x - med) for x in v)
    mad = dev[n // 2] if n % 2 else 0.5 * (dev[n // 2 - 1] + dev[n // 2])
    return [(x - med) / mad if mad > 0 else 0.0 for x in v]


def compare(opt):
    loop = find_loop(read_atoms(opt["f"]), opt["start"], opt["end"])
    native = {}
    for i, (resnum, _name, atoms) in enumerate(loop):
        for name, x, y, z in atoms:
            native[(i, name)] = (x, y, z)
    if not os.path.exists(opt["score"]):
        die("Could not read Loops file " + opt["score"])
    decoys = []
    cur = None
    first = None
    with open(opt["score"]) as fh:
        for line in fh:
            if line.startswith("LOOP "):
                w = line.split()
                cur = {"s": [float(x) for x in w[2:6]], "xyz": {}}
                first = None
            elif line.startswith("ATOM  ") and cur is not None:
                num = int(line[22:26])
                if first is None:
                    first = num
                cur["xyz"][(num - first, line[12:16].strip())] = (
                    float(line[30:38]), float(line[38:46]), float(line[46:54]))
            elif line.startswith("END") and cur is not None:
                decoys.append(cur)
                cur = None
    if not decoys:
        die("no decoys in " + opt["score"])
    last = len(loop) - 1
    keys = [(0, "C"), (0, "O")] + [(i, a) for i in range(1, last) for a in ("N", "CA", "C", "O")] \
        + [(last, "N"), (last, "CA")]
    for d in decoys:
        sq = 0.0
        for key in keys:
            p, q = d["xyz"][key], native[key]
            sq += sum((p[j] - q[j]) ** 2 for j in range(3))
        d["rmsd"] = math.sqrt(sq / (4 * last))
    norm = [med_mad([d["s"][j] for d in decoys]) for j in range(4)]
    z = [sum(norm[j][i] for j in range(4)) for i in range(len(decoys))]
    iz = min(range(len(z)), key=lambda i: (z[i], i))
    rms = [d["rmsd"] for d in decoys]
    c1 = min(10 * d["s"][3] + d["s"][2] for d in decoys)
    c2 = min(10 * d["s"][3] + d["s"][0] for d in decoys)
    vals = [len(decoys), min(rms), sum(rms) / len(rms), rms[iz], c1,
            min(d["s"][2] for d in decoys), c2, min(d["s"][0] for d in decoys)]
    print(" ".join("%g" % v for v in vals))
    if opt["svg"]:
        with open(opt["svg"], "w") as fh:
            fh.write('<svg xmlns="http://www.w3.org/2000/svg" width="200" height="120">\n')
            for r, zz in zip(rms, z):
                fh.write('<circle cx="%.1f" cy="%.1f" r="2"/>\n' % (10 + 30 * r, 60 - 4 * zz))
            fh.write("</svg>\n")


def main(argv):
    if len(argv) == 1:
        print("\nLORVANE:  protein loop conformation sampler (test stand-in)\n")
        return 0
    with open("command.log", "a") as log:
        log.write(" ".join(argv) + " \n")
    opt = {"mode": "smc", "f": "", "start": -1, "end": -1, "numloop": 5000, "seeds": 10000,
           "cores": 0, "score": "", "svg": ""}
    ints = {"-start": "start", "-end": "end", "-numloop": "numloop", "-seeds": "seeds",
            "-cores": "cores", "-rs": None}
    strs = {"-f": "f", "-score": "score", "-svg": "svg", "-mode": "mode"}
    i = 1
    while i < len(argv):
        a = argv[i]
        if a in ints or a in strs:
            if i + 1 >= len(argv):
                print("Option %s needs a value" % a)
                return 2
            if a in ints:
                if ints[a]:
                    opt[ints[a]] = int(argv[i + 1])
            else:
                opt[strs[a]] = argv[i + 1]
            i += 2
        else:
            print("Unrecognized command: " + a)
            return 2
    if not os.path.exists(os.path.join("data", "atomProp2.txt")):
        die("cannot open parameter file data/atomProp2.txt")
    if opt["mode"] == "compare":
        compare(opt)
    elif opt["mode"] == "smc":
        sample(opt)
    else:
        print("wrong mode type!")
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
