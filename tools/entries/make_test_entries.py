#!/usr/bin/python3
"""Builds the entry-reader test inputs in tests/data/entries/ from wwPDB entries.

Run from the repository root with ../shared/structures present and the `gemmi`
command (Debian package gemmi) on PATH:

    /usr/bin/python3 tools/entries/make_test_entries.py

Deterministic: gzip members carry no name and time stamp 0, so re-running gives
byte-identical files.
"""
import gzip
import os
import subprocess
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TRAIN = os.path.join(ROOT, "..", "shared", "structures", "train")
OUT = os.path.join(ROOT, "tests", "data", "entries")
EXAMPLE = os.path.join(ROOT, "examples", "5p21.pdb")


def write_gz(path, text):
    with open(path, "wb") as raw:
        with gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=0) as gz:
            gz.write(text.encode())


def read(path):
    if path.endswith(".gz"):
        with gzip.open(path, "rt") as f:
            return f.read()
    with open(path) as f:
        return f.read()


def lines_of(text):
    return text.splitlines(keepends=True)


def to_cif(pdb_text):
    with tempfile.TemporaryDirectory() as tmp:
        src, dst = os.path.join(tmp, "in.pdb"), os.path.join(tmp, "out.cif")
        with open(src, "w") as f:
            f.write(pdb_text)
        subprocess.run(["gemmi", "convert", src, dst], check=True)
        return read(dst)


def keep_chains(text, chains):
    out = []
    for line in lines_of(text):
        rec = line[:6]
        if rec in ("ATOM  ", "HETATM", "ANISOU") and line[21] not in chains:
            continue
        if rec.startswith("TER") and len(line) > 21 and line[21] not in chains:
            continue
        out.append(line)
    return "".join(out)


def mse_variant(text):
    """MET residues written as selenomethionine, as deposited MSE entries are."""
    out = []
    for line in lines_of(text):
        rec = line[:6]
        if rec == "ATOM  " and line[17:20] == "MET":
            line = "HETATM" + line[6:17] + "MSE" + line[20:]
            if line[12:16] == " SD ":
                body = line.rstrip("\n")
                body = body[:12] + "SE  " + body[16:76] + "SE" + body[78:]
                line = body + "\n"
        elif rec == "SEQRES":
            line = line.replace(" MET", " MSE")
        out.append(line)
    return "".join(out)


DELETED = range(46, 52)


def deleted_variant(text):
    """Residues 46-51 of chain A removed, announced by REMARK 465 as wwPDB does."""
    names = {}
    for line in lines_of(text):
        if line[:6] == "ATOM  " and line[21] == "A" and int(line[22:26]) in DELETED:
            names[int(line[22:26])] = line[17:20]
    remark = ["REMARK 465",
              "REMARK 465 MISSING RESIDUES",
              "REMARK 465 THE FOLLOWING RESIDUES WERE NOT LOCATED IN THE",
              "REMARK 465 EXPERIMENT. (M=MODEL NUMBER; RES=RESIDUE NAME; C=CHAIN",
              "REMARK 465 IDENTIFIER; SSSEQ=SEQUENCE NUMBER; I=INSERTION CODE.)",
              "REMARK 465",
              "REMARK 465   M RES C SSSEQI"]
    remark += ["REMARK 465     %s A  %4d" % (names[n], n) for n in DELETED]
    remark = ["%-80s\n" % r for r in remark]
    out, placed = [], False
    for line in lines_of(text):
        if line[:6] == "ATOM  " and line[21] == "A" and int(line[22:26]) in DELETED:
            continue
        if not placed and line.startswith("REMARK") and int(line[6:10]) > 465:
            out += remark
            placed = True
        out.append(line)
    assert placed
    return "".join(out), names


def unobserved_loop(names):
    rows = ["loop_",
            "_pdbx_unobs_or_zero_occ_residues.id",
            "_pdbx_unobs_or_zero_occ_residues.PDB_model_num",
            "_pdbx_unobs_or_zero_occ_residues.polymer_flag",
            "_pdbx_unobs_or_zero_occ_residues.occupancy_flag",
            "_pdbx_unobs_or_zero_occ_residues.auth_asym_id",
            "_pdbx_unobs_or_zero_occ_residues.auth_comp_id",
            "_pdbx_unobs_or_zero_occ_residues.auth_seq_id",
            "_pdbx_unobs_or_zero_occ_residues.PDB_ins_code",
            "_pdbx_unobs_or_zero_occ_residues.label_asym_id",
            "_pdbx_unobs_or_zero_occ_residues.label_comp_id",
            "_pdbx_unobs_or_zero_occ_residues.label_seq_id"]
    rows += ["%d 1 Y 1 A %s %d ? Apoly %s %d" % (i + 1, names[n], n, names[n], n) for i, n in enumerate(DELETED)]
    return "\n".join(rows) + "\n#\n"


def main():
    os.makedirs(OUT, exist_ok=True)
    for pdbid in ("1eb1", "1gou"):
        write_gz(os.path.join(OUT, pdbid + ".pdb.gz"), read(os.path.join(TRAIN, pdbid + ".pdb.gz")))
    write_gz(os.path.join(OUT, "1uyw_HL.pdb.gz"), keep_chains(read(os.path.join(TRAIN, "1uyw.pdb.gz")), "HL"))

    p21 = read(EXAMPLE)
    write_gz(os.path.join(OUT, "5p21.ent.gz"), p21)
    write_gz(os.path.join(OUT, "5p21.cif.gz"), to_cif(p21))
    write_gz(os.path.join(OUT, "5p21_mse.pdb.gz"), mse_variant(p21))
    deleted, names = deleted_variant(p21)
    write_gz(os.path.join(OUT, "5p21_del46-51.pdb.gz"), deleted)
    write_gz(os.path.join(OUT, "5p21_del46-51.cif.gz"), to_cif(deleted) + unobserved_loop(names))


if __name__ == "__main__":
    main()
