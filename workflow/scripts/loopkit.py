"""Helpers shared by the batch scripts: PDB atom records, result files, RMSD, scores.

Standard library only, so the per-loop scripts also run under a bare python3.
"""

import math
import os

BACKBONE = ("N", "CA", "C", "O")


def prot_name(path):
    """Protein name the program puts in front of a loop id: the file name cut
    before its first "." when that dot is among the first six characters,
    else the first six characters."""
    base = os.path.basename(path)
    dot = base.find(".")
    if 0 <= dot < 6:
        return base[:dot]
    return base[:6]


def loop_id(path, start, end):
    return "%s_%d_%d" % (prot_name(path), int(start), int(end))


def _coord(line, a, b, field_no):
    text = line[a:b]
    try:
        return float(text)
    except ValueError:
        # A coordinate of 10000 Å or more widens its field and shifts the line;
        # fall back on white-space splitting of the coordinate part.
        parts = line[30:].split()
        return float(parts[field_no])


def parse_atom(line):
    """(resnum, icode, resname, atom name, altloc, (x, y, z)) of an ATOM record."""
    name = line[12:16].strip()
    altloc = line[16:17] if len(line) > 16 else " "
    resname = line[17:20].strip()
    try:
        resnum = int(line[22:26])
    except ValueError as exc:
        raise ValueError("bad residue number in atom record: %r" % line.rstrip()) from exc
    icode = line[26:27] if len(line) > 26 else " "
    if icode == "":
        icode = " "
    xyz = (_coord(line, 30, 38, 0), _coord(line, 38, 46, 1), _coord(line, 46, 54, 2))
    return resnum, icode, resname, name, altloc, xyz


def read_chain(path):
    """Residues of a one-chain PDB file in file order (first model, ATOM records,
    altloc blank or A): list of dicts with num, icode, name, atoms{name: xyz}."""
    residues = []
    index = {}
    with open(path) as fh:
        for line in fh:
            if line.startswith("ENDMDL"):
                break
            if not line.startswith("ATOM  "):
                continue
            resnum, icode, resname, name, altloc, xyz = parse_atom(line)
            if altloc not in (" ", "A"):
                continue
            key = (resnum, icode)
            if key not in index:
                index[key] = len(residues)
                residues.append({"num": resnum, "icode": icode, "name": resname, "atoms": {}})
            atoms = residues[index[key]]["atoms"]
            if name not in atoms:
                atoms[name] = xyz
    return residues


def loop_residues(residues, start, end):
    """The native residues from the one numbered start to the one numbered end
    (blank insertion code), in chain order."""
    pos = {}
    for i, r in enumerate(residues):
        if r["icode"] == " ":
            pos.setdefault(r["num"], i)
    if start not in pos or end not in pos:
        raise ValueError("loop %d-%d: residue %d not in the structure"
                         % (start, end, start if start not in pos else end))
    a, b = pos[start], pos[end]
    if b <= a:
        raise ValueError("loop %d-%d: end residue does not follow the start residue" % (start, end))
    return residues[a:b + 1]


def read_results(path):
    """Conformations of a result file: list of dicts with scores (4 floats),
    atoms {(resnum, atom name): xyz} and resnames {resnum: name}."""
    confs = []
    cur = None
    with open(path) as fh:
        for lineno, line in enumerate(fh, 1):
            if line.startswith("LOOP "):
                parts = line.split()
                if len(parts) < 6:
                    raise ValueError("%s:%d: LOOP line with fewer than four scores" % (path, lineno))
                try:
                    scores = [float(x) for x in parts[2:6]]
                except ValueError as exc:
                    raise ValueError("%s:%d: bad score in LOOP line" % (path, lineno)) from exc
                cur = {"label": parts[1], "scores": scores, "atoms": {}, "resnames": {}}
            elif line.startswith("ATOM  "):
                if cur is None:
                    raise ValueError("%s:%d: atom record before any LOOP line" % (path, lineno))
                resnum, _ic, resname, name, _alt, xyz = parse_atom(line)
                cur["atoms"].setdefault((resnum, name), xyz)
                cur["resnames"][resnum] = resname
            elif line.startswith("END"):
                if cur is not None:
                    confs.append(cur)
                cur = None
    return confs


def _sqdist(a, b):
    return (a[0] - b[0]) ** 2 + (a[1] - b[1]) ** 2 + (a[2] - b[2]) ** 2


def backbone_rmsd(conf, native_loop):
    """RMSD over N, CA, C, O of every loop residue, atoms matched by residue
    number and name, no superposition. Raises when an atom is missing."""
    total = 0.0
    count = 0
    for r in native_loop:
        for name in BACKBONE:
            if name not in r["atoms"]:
                raise ValueError("native residue %d lacks atom %s" % (r["num"], name))
            key = (r["num"], name)
            if key not in conf["atoms"]:
                raise ValueError("conformation %s lacks atom %s of residue %d"
                                 % (conf["label"], name, r["num"]))
            total += _sqdist(conf["atoms"][key], r["atoms"][name])
            count += 1
    return math.sqrt(total / count)


def anchor_pattern_rmsd(conf, native_loop):
    """The compare mode's deviation: C and O of the first residue, N, CA, C, O of
    the inner residues, N and CA of the last; divided by 4 (L - 1)."""
    pairs = []
    last = len(native_loop) - 1
    for i, r in enumerate(native_loop):
        if i == 0:
            names = ("C", "O")
        elif i == last:
            names = ("N", "CA")
        else:
            names = BACKBONE
        for name in names:
            pairs.append((r["num"], name, r["atoms"].get(name)))
    total = 0.0
    for num, name, nat in pairs:
        got = conf["atoms"].get((num, name))
        if nat is None or got is None:
            raise ValueError("atom %s of residue %d missing" % (name, num))
        total += _sqdist(got, nat)
    return math.sqrt(total / (4 * last))


def median(values):
    v = sorted(values)
    n = len(v)
    if n == 0:
        return float("nan")
    if n % 2:
        return v[n // 2]
    return 0.5 * (v[n // 2 - 1] + v[n // 2])


def med_mad(values):
    """(v - median) / MAD for each value; a score with MAD 0 carries no
    information and contributes 0."""
    m = median(values)
    mad = median([abs(x - m) for x in values])
    if mad == 0 or not math.isfinite(mad):
        return [0.0 for _ in values]
    return [(x - m) / mad for x in values]


def z_scores(confs):
    cols = [med_mad([c["scores"][j] for c in confs]) for j in range(4)]
    return [sum(cols[j][i] for j in range(4)) for i in range(len(confs))]


def argmin(values):
    best = None
    for i, v in enumerate(values):
        if not math.isfinite(v):
            continue
        if best is None or v < values[best]:
            best = i
    return best


def fmt(x, digits=3):
    if x is None or (isinstance(x, float) and not math.isfinite(x)):
        return "NA"
    if isinstance(x, int):
        return str(x)
    return "%.*f" % (digits, x)


def read_tsv(path):
    with open(path) as fh:
        header = fh.readline().rstrip("\n").split("\t")
        rows = []
        for line in fh:
            line = line.rstrip("\n")
            if not line:
                continue
            fields = line.split("\t")
            fields += [""] * (len(header) - len(fields))
            rows.append(dict(zip(header, fields)))
    return header, rows


def write_tsv(path, header, rows):
    tmp = path + ".tmp"
    with open(tmp, "w") as fh:
        fh.write("\t".join(header) + "\n")
        for r in rows:
            fh.write("\t".join(str(r.get(h, "")) for h in header) + "\n")
    os.replace(tmp, path)
