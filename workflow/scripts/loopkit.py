"""Helpers shared by the batch scripts: structure files, result files, RMSD, scores.

Standard library only, so the per-loop scripts also run under a bare python3.
"""

import gzip
import itertools
import math
import os
import re
import shlex

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
    return "%s_%s_%s" % (prot_name(path), start, end)


def parse_resid(text):
    """(number, insertion code) of a residue written N or N followed by one
    letter (e.g. "60A"); the blank insertion code is " "."""
    m = re.fullmatch(r"\s*(-?\d+)([A-Za-z]?)\s*", str(text))
    if not m:
        raise ValueError("residue number %r is not a number with an optional insertion code"
                         % (text,))
    return int(m.group(1)), (m.group(2) or " ")


def format_resid(num, icode):
    return "%d%s" % (num, icode.strip())


def open_text(path):
    """A structure or table file for reading; .gz files are decompressed."""
    if path.endswith(".gz"):
        return gzip.open(path, "rt")
    return open(path)


def pdb_chain(chain):
    """The chain identifier as a PDB record holds it: a loop table's "", "-" or "_" is blank."""
    return " " if chain in ("", "-", "_") else chain


def is_cif(path):
    name = path[:-3] if path.endswith(".gz") else path
    return name.endswith(".cif") or name.endswith(".mmcif")


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


def _b_factor(text):
    """A B-factor field as a number; None when blank or not a number."""
    try:
        return float(text)
    except ValueError:
        return None


def _pdb_atoms(fh):
    """(chain, resnum, icode, resname, name, altloc, xyz, B-factor) of the ATOM records of the
    first model."""
    for line in fh:
        if line.startswith("ENDMDL"):
            break
        if line.startswith("ATOM  "):
            resnum, icode, resname, name, altloc, xyz = parse_atom(line)
            yield line[21:22] or " ", resnum, icode, resname, name, altloc, xyz, _b_factor(line[60:66])


def _cif_atoms(fh, path):
    """The same from the _atom_site loop of an mmCIF file (author numbering and chain;
    every row when the file does not say which are ATOM records)."""
    tags = []
    lines = iter(fh)
    for line in lines:
        if line.startswith("_atom_site."):
            tags.append(line.split()[0][len("_atom_site."):])
        elif tags:
            first = line
            break
    else:
        raise ValueError("%s: no _atom_site loop" % path)
    col = {t: i for i, t in enumerate(tags)}

    def pick(*names):
        for n in names:
            if n in col:
                return col[n]
        raise ValueError("%s: _atom_site lacks %s" % (path, names[0]))

    g, ch, num, ic = (col.get("group_PDB"), pick("auth_asym_id", "label_asym_id"),
                      pick("auth_seq_id", "label_seq_id"), col.get("pdbx_PDB_ins_code"))
    rn, an, alt = pick("auth_comp_id", "label_comp_id"), pick("auth_atom_id", "label_atom_id"), \
        col.get("label_alt_id")
    x, y, z, model = pick("Cartn_x"), pick("Cartn_y"), pick("Cartn_z"), \
        col.get("pdbx_PDB_model_num")
    bcol = col.get("B_iso_or_equiv")
    first_model = None
    for line in itertools.chain([first], lines):
        if line.startswith(("#", "loop_", "_", "data_")):
            break
        f = shlex.split(line)
        if not f or g is not None and f[g] != "ATOM":
            continue
        if model is not None:
            first_model = first_model or f[model]
            if f[model] != first_model:
                break
        code = f[ic] if ic is not None and f[ic] not in ("?", ".") else " "
        altloc = f[alt] if alt is not None and f[alt] not in ("?", ".") else " "
        yield (f[ch], int(f[num]), code, f[rn], f[an], altloc,
               (float(f[x]), float(f[y]), float(f[z])), None if bcol is None else _b_factor(f[bcol]))


def read_structure(path, chain=None, bfactors=False):
    """Residues of a PDB or mmCIF file (gzipped or not) in file order: first model,
    ATOM records, altloc blank or A, hydrogens kept out. Each residue is a dict
    with chain, num, icode, name and atoms {name: xyz}; chain selects one chain;
    bfactors adds b {name: B-factor or None}."""
    residues = []
    index = {}
    with open_text(path) as fh:
        atoms = _cif_atoms(fh, path) if is_cif(path) else _pdb_atoms(fh)
        for ch, resnum, icode, resname, name, altloc, xyz, b in atoms:
            if altloc not in (" ", "A") or (chain is not None and ch != chain):
                continue
            if name.startswith("H") or name[:1].isdigit() and name[1:2] == "H":
                continue
            key = (ch, resnum, icode)
            if key not in index:
                index[key] = len(residues)
                residues.append({"chain": ch, "num": resnum, "icode": icode, "name": resname,
                                 "atoms": {}})
            residues[index[key]]["atoms"].setdefault(name, xyz)
            if bfactors:
                residues[index[key]].setdefault("b", {}).setdefault(name, b)
    return residues


def read_chain(path, chain=None):
    """Residues of one chain (all residues of a one-chain file when chain is None)."""
    return read_structure(path, chain)


def loop_residues(residues, start, end):
    """The residues from start to end (each N or N plus insertion code) in chain
    order; both must exist, end after start."""
    pos = {}
    for i, r in enumerate(residues):
        pos.setdefault((r["num"], r["icode"]), i)
    s, e = parse_resid(start), parse_resid(end)
    for what, key in (("start", s), ("end", e)):
        if key not in pos:
            raise ValueError("loop %s-%s: %s residue %s not in the structure"
                             % (start, end, what, format_resid(*key)))
    a, b = pos[s], pos[e]
    if b <= a:
        raise ValueError("loop %s-%s: end residue does not follow the start residue" % (start, end))
    return residues[a:b + 1]


def read_results(path):
    """Conformations of a result file: list of dicts with scores (4 floats) and
    residues, in file order, each {"num", "icode", "name", "atoms": {name: xyz}}.
    The program writes the loop as chain A without insertion codes, so residues
    are told apart by order: a new one starts where number or name changes or an
    atom name repeats."""
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
                cur = {"label": parts[1], "scores": scores, "residues": []}
            elif line.startswith("ATOM  "):
                if cur is None:
                    raise ValueError("%s:%d: atom record before any LOOP line" % (path, lineno))
                resnum, icode, resname, name, _alt, xyz = parse_atom(line)
                res = cur["residues"][-1] if cur["residues"] else None
                if res is None or (res["num"], res["icode"], res["name"]) != (resnum, icode, resname) \
                        or name in res["atoms"]:
                    res = {"num": resnum, "icode": icode, "name": resname, "atoms": {}}
                    cur["residues"].append(res)
                res["atoms"][name] = xyz
            elif line.startswith("END"):
                if cur is not None:
                    confs.append(cur)
                cur = None
    return confs


def write_results(path, confs):
    """Conformations as a result file the program reads (-xrefinefrom, compare mode): each a list
    of residues {"num", "name", "atoms": {name: xyz}} as read_results gives them, written as chain
    A with scores 0; OXT is left out (a loop residue has none)."""
    with open(path, "w") as fh:
        for k, residues in enumerate(confs, 1):
            fh.write("LOOP %d 0.00 0.00 0.00 0.00\n" % k)
            n = 0
            for r in residues:
                for a, xyz in r["atoms"].items():
                    if a == "OXT":
                        continue
                    n += 1
                    fld = (" " + a).ljust(4) if len(a) < 4 else a
                    fh.write("ATOM  %5d %s %s A%4d    %8.3f%8.3f%8.3f\n" % (n, fld, r["name"], r["num"], *xyz))
            fh.write("END \n")


def read_pair_table(path, bins):
    """{(type a, type b): values} of one of the program's pair tables (dfire_pair.lib,
    QUENDApair.lib), both orders sharing one list; types are "RES ATOM"."""
    table = {}
    with open(path) as fh:
        for lineno, line in enumerate(fh, 1):
            if line.startswith("#") or not line.strip():
                continue
            f = line.split()
            if len(f) != 4 + bins:
                raise ValueError("%s:%d: %d fields, a pair line has %d" % (path, lineno, len(f), 4 + bins))
            e = [float(x) for x in f[4:]]
            table[(f[0] + " " + f[1], f[2] + " " + f[3])] = table[(f[2] + " " + f[3], f[0] + " " + f[1])] = e
    return table


def matched(conf, native_loop):
    """Pairs (conformation residue, native residue) of a loop, by position; the
    residue counts and names must agree."""
    got = conf["residues"]
    if len(got) != len(native_loop):
        raise ValueError("conformation %s has %d residues, the loop %d"
                         % (conf["label"], len(got), len(native_loop)))
    for c, r in zip(got, native_loop):
        if c["name"] != r["name"]:
            raise ValueError("conformation %s has %s at residue %s, native has %s"
                             % (conf["label"], c["name"], format_resid(r["num"], r["icode"]),
                                r["name"]))
    return list(zip(got, native_loop))


def _sqdist(a, b):
    return (a[0] - b[0]) ** 2 + (a[1] - b[1]) ** 2 + (a[2] - b[2]) ** 2


def _rmsd(conf, native_loop, names_of, divisor):
    total = 0.0
    for i, (c, r) in enumerate(matched(conf, native_loop)):
        rid = format_resid(r["num"], r["icode"])
        for name in names_of(i, len(native_loop) - 1):
            if name not in r["atoms"]:
                raise ValueError("native residue %s lacks atom %s" % (rid, name))
            if name not in c["atoms"]:
                raise ValueError("conformation %s lacks atom %s of residue %s"
                                 % (conf["label"], name, rid))
            total += _sqdist(c["atoms"][name], r["atoms"][name])
    return math.sqrt(total / divisor)


def backbone_rmsd(conf, native_loop):
    """RMSD over N, CA, C, O of every loop residue, residues matched by position
    and atoms by name, no superposition. Raises when an atom is missing."""
    return _rmsd(conf, native_loop, lambda i, last: BACKBONE, 4 * len(native_loop))


def anchor_pattern_rmsd(conf, native_loop):
    """The compare mode's deviation: C and O of the first residue, N, CA, C, O of
    the inner residues, N and CA of the last; divided by 4 (L - 1)."""
    def names(i, last):
        return ("C", "O") if i == 0 else ("N", "CA") if i == last else BACKBONE
    return _rmsd(conf, native_loop, names, 4 * (len(native_loop) - 1))


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


def spearman(x, y):
    """Spearman correlation of two equal-length sequences, ties given their mean rank;
    nan when either is constant."""
    def ranks(v):
        o = sorted(range(len(v)), key=lambda i: v[i]); r = [0.0] * len(v)
        i = 0
        while i < len(o):
            j = i
            while j + 1 < len(o) and v[o[j + 1]] == v[o[i]]: j += 1
            for k in range(i, j + 1): r[o[k]] = (i + j) / 2.0
            i = j + 1
        return r
    rx, ry = ranks(x), ranks(y)
    mx, my = sum(rx) / len(rx), sum(ry) / len(ry)
    sxy = sum((a - mx) * (b - my) for a, b in zip(rx, ry))
    sx = math.sqrt(sum((a - mx) ** 2 for a in rx)); sy = math.sqrt(sum((b - my) ** 2 for b in ry))
    return sxy / (sx * sy) if sx > 0 and sy > 0 else float("nan")


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
