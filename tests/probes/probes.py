#!/usr/bin/python3
"""Hostile-but-realistic probes of the lorvane executable.

Each probe runs the program on a damaged table, a damaged decoy file, a bad
command line or an interrupted run, and checks that it either fails loudly
(the expected exit status, a message on standard error naming what is at
fault, nothing on standard output) or works. One line per probe:

    PASS|FAIL  probe-name  status=N  first line of standard error

Exit status: the number of failed probes (capped at 100).

    probes.py --exe build/lorvane --repo . [--only SUBSTRING] [--keep DIR]
"""
import argparse
import hashlib
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

LOOP = ["-start", "45", "-end", "52"]
SMALL = ["-seeds", "100", "-numloop", "5", "-cores", "1", "-rs", "3"]


RUN_ENV = dict(os.environ, LORVANE_DATA="data")


class Ctx:
    def __init__(self, exe, repo, work):
        self.exe = os.path.abspath(exe)
        self.repo = os.path.abspath(repo)
        # The build's table directory holds every table (the sampling pair
        # table expanded); each run is told to use its own data/ as given.
        built = os.path.join(os.path.dirname(self.exe), "data")
        self.data = built if os.path.exists(os.path.join(built, "QUENDApair.lib")) else os.path.join(self.repo, "data")
        self.pdb = os.path.join(self.repo, "examples", "5p21.pdb")
        self.work = work
        self.n = 0

    def rundir(self, name, data_changes=None):
        """A fresh working directory whose data/ links every table of the
        repository except the ones in data_changes (name -> new text, or None
        to leave the table out)."""
        self.n += 1
        d = os.path.join(self.work, "%02d_%s" % (self.n, re.sub(r"[^A-Za-z0-9_.-]", "_", name)))
        os.makedirs(os.path.join(d, "data"))
        changes = data_changes or {}
        for f in os.listdir(self.data):
            if f in changes:
                continue
            os.symlink(os.path.join(self.data, f), os.path.join(d, "data", f))
        for f, text in changes.items():
            if text is not None:
                with open(os.path.join(d, "data", f), "w") as out:
                    out.write(text)
        return d

    def run(self, cwd, args, timeout=600):
        p = subprocess.run([self.exe] + args, cwd=cwd, capture_output=True, text=True, timeout=timeout, env=RUN_ENV)
        return p.returncode, p.stdout, p.stderr


def first_line(text):
    for line in text.splitlines():
        if line.strip():
            return line.strip()[:150]
    return "(nothing on standard error)"


def sha(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def table_text(ctx, name):
    with open(os.path.join(ctx.data, name)) as f:
        return f.read()


def data_line_indices(lines):
    """Lines that hold at least two numbers and are not comments."""
    out = []
    for i, line in enumerate(lines):
        s = line.strip()
        if not s or s.startswith("#") or s.startswith("//"):
            continue
        if len(re.findall(r"(?<![A-Za-z])-?\d+\.?\d*(?:[eE][-+]?\d+)?", s)) >= 2:
            out.append(i)
    return out


def with_word(text, word="abc"):
    """Replaces the last number of a data line in the middle of the file by word."""
    lines = text.split("\n")
    idx = data_line_indices(lines)
    if not idx:
        raise RuntimeError("no data line")
    i = idx[len(idx) // 2]
    toks = lines[i].split(" ")
    for k in range(len(toks) - 1, -1, -1):
        if re.fullmatch(r"-?\d+\.?\d*(?:[eE][-+]?\d+)?", toks[k]):
            toks[k] = word
            break
    lines[i] = " ".join(toks)
    return "\n".join(lines)


def first_half(text):
    lines = text.split("\n")
    return "\n".join(lines[: len(lines) // 2]) + "\n"


def fitted_with_word(text):
    fields = text.split()
    fields[len(fields) // 2] = "abc"
    return " ".join(fields) + "\n"


# ---- verdicts -------------------------------------------------------------

def expect_error(status, out, err, want_status, must_name=None, stdout_empty=True):
    why = []
    if status != want_status:
        why.append("status %d, want %d" % (status, want_status))
    if not err.strip():
        why.append("no message on standard error")
    if must_name and must_name not in err:
        why.append("message does not name %s" % must_name)
    if stdout_empty and out.strip():
        why.append("standard output not empty: %r" % first_line(out))
    return why


def last_line(text):
    lines = [l.strip() for l in text.splitlines() if l.strip()]
    return lines[-1][:150] if lines else "(nothing on standard error)"


def report(results, name, status, err, why, out=""):
    verdict = "PASS" if not why else "FAIL"
    # A failed run's message is its last line on standard error (notes and
    # progress come before it); a run that worked shows its first warning,
    # or else its first line.
    warnings = [l for l in err.splitlines() if l.startswith("Warning")]
    if status not in (0, None):
        msg = last_line(err)
    elif warnings:
        msg = warnings[0][:150]
    else:
        msg = first_line(err) if err.strip() or not out.strip() else "(stdout) " + first_line(out)
    line = "%s  %-44s status=%-4s %s" % (verdict, name, status, msg)
    if why:
        line += "   <-- " + "; ".join(why)
    print(line, flush=True)
    results.append(not why)


# ---- probe groups ---------------------------------------------------------

def table_probes(ctx, results, only):
    cases = [
        ("empty newsimplRot.txt", {"newsimplRot.txt": ""}, "newsimplRot.txt"),
        ("missing dfire_pair.lib", {"dfire_pair.lib": None}, "dfire_pair.lib"),
        ("missing oscarparams.txt", {"oscarparams.txt": None}, "oscarparams.txt"),
        ("missing dipole.fress", {"dipole.fress": None}, "dipole.fress"),
        ("empty QUENDA_ed4_8_V3.txt", {"QUENDA_ed4_8_V3.txt": ""}, "QUENDA_ed4_8_V3.txt"),
        ("empty atomProp2.txt", {"atomProp2.txt": ""}, "atomProp2.txt"),
        ("empty joint.distance.txt", {"joint.distance.txt": ""}, "joint.distance.txt"),
        ("empty phipsi.bb.txt", {"phipsi.bb.txt": ""}, "phipsi.bb.txt"),
        ("half of joint.distance.txt", {"joint.distance.txt": first_half(table_text(ctx, "joint.distance.txt"))},
         "joint.distance.txt"),
        ("half of QUENDA_ed4_8_V3.txt",
         {"QUENDA_ed4_8_V3.txt": first_half(table_text(ctx, "QUENDA_ed4_8_V3.txt"))}, "QUENDA_ed4_8_V3.txt"),
    ]
    for f in ["atomProp2.txt", "dipole.fress", "newsimplRot.txt", "phipsi.bb.txt", "joint.distance.txt",
              "joint.distance.backward.txt", "joint.distance.conditional.txt",
              "joint.distance.conditional.backward.txt", "QUENDA_ed4_8_V3.txt"]:
        cases.append(("word abc in " + f, {f: with_word(table_text(ctx, f))}, f))
    for name, changes, fname in cases:
        if only and only not in name:
            continue
        d = ctx.rundir(name, changes)
        status, out, err = ctx.run(d, ["-f", ctx.pdb] + LOOP + SMALL)
        report(results, "table: " + name, status, err, expect_error(status, out, err, 1, fname), out)
    # fittedE.txt is read by the compare mode only.
    name = "word abc in fittedE.txt"
    if not only or only in name:
        d = ctx.rundir(name, {"fittedE.txt": fitted_with_word(table_text(ctx, "fittedE.txt"))})
        decoys = sample_decoys(ctx, d)
        status, out, err = ctx.run(d, ["-mode", "compare", "-f", ctx.pdb] + LOOP + ["-score", decoys, "-dumpdis"])
        report(results, "table: " + name, status, err, expect_error(status, out, err, 1, "fittedE.txt"), out)


def sample_decoys(ctx, d, name="decoys.txt"):
    """A small valid result file for the compare probes."""
    status, out, err = ctx.run(d, ["-f", ctx.pdb] + LOOP + SMALL)
    src = os.path.join(d, "pdbout", "5p21_45_52.txt")
    if status != 0 or not os.path.exists(src):
        raise RuntimeError("sampling run for the compare probes failed: " + first_line(err))
    shutil.copy(src, os.path.join(d, name))
    return name


def decoy_blocks(text):
    blocks, cur = [], []
    for line in text.splitlines(keepends=True):
        cur.append(line)
        if line.startswith("END"):
            blocks.append(cur)
            cur = []
    if cur:
        blocks.append(cur)
    return blocks


def compare_probes(ctx, results, only):
    base = ctx.rundir("compare-base")
    decoys = sample_decoys(ctx, base)
    with open(os.path.join(base, decoys)) as f:
        blocks = decoy_blocks(f.read())
    first = blocks[0]
    atoms = [i for i, l in enumerate(first) if l.startswith("ATOM")]
    resnums = sorted({first[i][22:26] for i in atoms})

    def without_residue(block, num):
        return [l for l in block if not (l.startswith("ATOM") and l[22:26] == num)]

    def extra_residue(block):
        last = [l for l in block if l.startswith("ATOM") and l[22:26] == resnums[-1]]
        extra = [l[:22] + "%4d" % (int(resnums[-1]) + 1) + l[26:] for l in last]
        end = block.index([l for l in block if l.startswith("END")][0])
        return block[:end] + extra + block[end:]

    def renumbered(block):
        return [l[:22] + "%4d" % (int(l[22:26]) + 100) + l[26:] if l.startswith("ATOM") else l for l in block]

    def renamed(block):
        return [l[:17] + ("GLY" if l[17:20] != "GLY" else "ALA") + l[20:]
                if l.startswith("ATOM") and l[22:26] == resnums[1] else l for l in block]

    def coord(block, text):
        i = atoms[len(atoms) // 2]
        return block[:i] + [block[i][:30] + "%8s" % text + block[i][38:]] + block[i + 1:]

    cases = [
        ("decoy without END line", first[:-1] + [l for b in blocks[1:] for l in b] if len(blocks) > 1 else first[:-1]),
        ("truncated last decoy", [l for b in blocks[:-1] for l in b] + blocks[-1][: len(blocks[-1]) // 2]
         + [blocks[-1][len(blocks[-1]) // 2][:40]]),
        ("decoy missing a residue", without_residue(first, resnums[2])),
        ("decoy with an extra residue", extra_residue(first)),
        ("decoy residue numbers not the loop's", renumbered(first)),
        ("decoy residue name not the loop's", renamed(first)),
        ("non-numeric coordinate abc.de", coord(first, "abc.de")),
        ("non-finite coordinate nan", coord(first, "nan")),
    ]
    for name, lines in cases:
        if only and only not in name:
            continue
        d = ctx.rundir(name)
        with open(os.path.join(d, "bad.txt"), "w") as f:
            f.writelines(lines)
        status, out, err = ctx.run(d, ["-mode", "compare", "-f", ctx.pdb] + LOOP + ["-score", "bad.txt"])
        report(results, "compare: " + name, status, err, expect_error(status, out, err, 1, "bad.txt"), out)
    name = "compare without -score"
    if not only or only in name:
        d = ctx.rundir(name)
        status, out, err = ctx.run(d, ["-mode", "compare", "-f", ctx.pdb] + LOOP)
        report(results, "compare: " + name, status, err, expect_error(status, out, err, 2), out)


def two_chain_pdb(ctx, path, split_after=48):
    """5p21 with residues after split_after moved to chain B (same numbers)."""
    with open(ctx.pdb) as f, open(path, "w") as out:
        for line in f:
            if line.startswith(("ATOM", "HETATM")) and line[21] == "A" and int(line[22:26]) > split_after:
                line = line[:21] + "B" + line[22:]
            out.write(line)


def break_pdb(ctx, path, drop=48):
    with open(ctx.pdb) as f, open(path, "w") as out:
        for line in f:
            if line.startswith("ATOM") and int(line[22:26]) == drop:
                continue
            out.write(line)


def command_line_probes(ctx, results, only):
    d = ctx.rundir("cli")
    two = os.path.join(d, "two_chains.pdb")
    two_chain_pdb(ctx, two)
    brk = os.path.join(d, "break.pdb")
    break_pdb(ctx, brk)
    cases = [
        ("missing -f", ["-start", "45", "-end", "52"], 2, None),
        ("missing -start", ["-f", ctx.pdb, "-end", "52"], 2, None),
        ("missing -end", ["-f", ctx.pdb, "-start", "45"], 2, None),
        ("loop of one residue", ["-f", ctx.pdb, "-start", "45", "-end", "45"], 2, None),
        ("loop ending at the chain end", ["-f", ctx.pdb, "-start", "160", "-end", "166"], 1, None),
        ("-seeds 2147483647", ["-f", ctx.pdb] + LOOP + ["-seeds", "2147483647"], 1, None),
        ("energy: start after end", ["-mode", "energy", "-f", ctx.pdb, "-start", "52", "-end", "45"], 2, None),
        ("energy: chain break inside the loop", ["-mode", "energy", "-f", brk] + LOOP, 1, None),
        ("energy: loop across chains", ["-mode", "energy", "-f", two] + LOOP, 2, None),
    ]
    for name, args, want, must in cases:
        if only and only not in name:
            continue
        status, out, err = ctx.run(d, args)
        why = expect_error(status, out, err, want, must)
        if name.startswith("-seeds") or name.startswith("-numloop"):
            if not re.search(r"\d+(\.\d+)? ?[KMGT]i?B", err):
                why.append("message gives no memory estimate")
        if name.startswith("loop of one") or name.startswith("loop ending"):
            if "are not in the PDB file" in err:
                why.append("message does not say what is wrong")
        report(results, "command line: " + name, status, err, why, out)
    # -numloop sizes nothing (the population does): a huge one asks for every
    # conformation the population gives, and the run says how many that can be.
    name = "-numloop 2147483647"
    if not only or only in name:
        nd = ctx.rundir("numloop")
        status, out, err = ctx.run(nd, ["-f", ctx.pdb] + LOOP + SMALL[:2] + ["-cores", "1", "-numloop", "2147483647"])
        why = []
        if status != 0:
            why.append("status %d, want 0" % status)
        if not re.search(r"at most 100 ", err):
            why.append("no warning that at most the 100 seeds' conformations can be written")
        result = os.path.join(nd, "pdbout", "5p21_45_52.txt")
        if status == 0:
            with open(result) as f:
                blocks = decoy_blocks(f.read())
            if not blocks or len(blocks) > 100 or any(not b[-1].startswith("END") for b in blocks):
                why.append("the result file does not hold 1..100 complete conformations")
        report(results, "command line: " + name, status, err, why, out)
    name = "-cores above the hardware count"
    if not only or only in name:
        status, out, err = ctx.run(d, ["-f", ctx.pdb] + LOOP + ["-seeds", "100", "-numloop", "5", "-cores", "999"])
        why = []
        if status != 0:
            why.append("status %d, want 0" % status)
        if not re.search(r"core|thread", err, re.I):
            why.append("no warning about the thread count on standard error")
        report(results, "command line: " + name, status, err, why, out)


def result_file_probes(ctx, results, only):
    d = ctx.rundir("result-files")
    final = os.path.join(d, "pdbout", "5p21_45_52.txt")
    status, out, err = ctx.run(d, ["-f", ctx.pdb] + LOOP + SMALL)
    if status != 0:
        report(results, "result file: first run", status, err, ["the first run failed"])
        return
    before = sha(final)

    def leftovers():
        # The result file and the ranking and models beside it; anything else is a leftover.
        outputs = {"5p21_45_52.txt", "5p21_45_52.ranking.tsv", "5p21_45_52.models.pdb"}
        return [f for f in os.listdir(os.path.join(d, "pdbout")) if f not in outputs]

    name = "failed run keeps the earlier result"
    if not only or only in name:
        bad = ctx.rundir("failed-run", {"newsimplRot.txt": ""})
        os.rename(os.path.join(bad, "data"), os.path.join(d, "data_bad"))
        os.rename(os.path.join(d, "data"), os.path.join(d, "data_good"))
        os.rename(os.path.join(d, "data_bad"), os.path.join(d, "data"))
        status, out, err = ctx.run(d, ["-f", ctx.pdb] + LOOP + SMALL)
        os.rename(os.path.join(d, "data"), os.path.join(bad, "data"))
        os.rename(os.path.join(d, "data_good"), os.path.join(d, "data"))
        why = [] if status != 0 else ["the run with a bad table succeeded"]
        if not os.path.exists(final) or sha(final) != before:
            why.append("the earlier result file was changed")
        if leftovers():
            why.append("files left behind: %s" % leftovers())
        report(results, "result file: " + name, status, err, why)

    for sig, signame in ((signal.SIGINT, "SIGINT"), (signal.SIGTERM, "SIGTERM")):
        for delay in (1.0, 4.0):
            name = "%s after %.0f s keeps the earlier result" % (signame, delay)
            if only and only not in name:
                continue
            p = subprocess.Popen([ctx.exe, "-f", ctx.pdb] + LOOP + ["-seeds", "2000", "-numloop", "500", "-cores", "1"],
                                 cwd=d, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=RUN_ENV)
            time.sleep(delay)
            p.send_signal(sig)
            out, err = p.communicate(timeout=600)
            why = []
            if p.returncode == 0:
                why.append("an interrupted run reported success")
            if not os.path.exists(final) or sha(final) != before:
                why.append("the earlier result file was changed")
            if leftovers():
                why.append("files left behind: %s" % leftovers())
            report(results, "result file: " + name, p.returncode, err, why)

    name = "two runs at once each leave a complete file"
    if not only or only in name:
        procs = [subprocess.Popen([ctx.exe, "-f", ctx.pdb] + LOOP + ["-seeds", "300", "-numloop", "50", "-cores", "1",
                                                                     "-rs", str(rs)],
                                  cwd=d, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=RUN_ENV) for rs in (5, 6)]
        outs = [p.communicate(timeout=600) for p in procs]
        why = []
        if any(p.returncode != 0 for p in procs):
            why.append("a run failed")
        with open(final) as f:
            blocks = decoy_blocks(f.read())
        loops = [b for b in blocks if b and b[0].startswith("LOOP")]
        if not loops or any(not b[-1].startswith("END") for b in blocks):
            why.append("the result file is not complete")
        nums = [int(b[0].split()[1]) for b in loops]
        if nums != list(range(1, len(nums) + 1)):
            why.append("loop numbers interleaved")
        if leftovers():
            why.append("files left behind: %s" % leftovers())
        report(results, "result file: " + name, procs[0].returncode, outs[0][1], why)


def reproducibility_probes(ctx, results, only):
    name = "-rs 7 gives one result for -cores 1 and 2"
    if only and only not in name:
        return
    sums = {}
    for cores in ("1", "2"):
        d = ctx.rundir("repro-%s" % cores)
        status, out, err = ctx.run(d, ["-f", ctx.pdb] + LOOP + ["-seeds", "1000", "-numloop", "200", "-rs", "7",
                                                                 "-cores", cores])
        sums[cores] = sha(os.path.join(d, "pdbout", "5p21_45_52.txt")) if status == 0 else "failed"
    why = [] if sums["1"] == sums["2"] and sums["1"] != "failed" else ["checksums differ: %s" % sums]
    report(results, "reproducibility: " + name, 0, "sha256 %s" % sums["1"][:16], why)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--exe", required=True)
    ap.add_argument("--repo", default=".")
    ap.add_argument("--only", default="", help="run the probes whose name contains this text")
    ap.add_argument("--keep", default="", help="work in this directory and keep it")
    a = ap.parse_args()
    work = a.keep or tempfile.mkdtemp(prefix="lorvane-probes-")
    os.makedirs(work, exist_ok=True)
    ctx = Ctx(a.exe, a.repo, work)
    results = []
    try:
        for group in (table_probes, compare_probes, command_line_probes, result_file_probes, reproducibility_probes):
            group(ctx, results, a.only)
    finally:
        if not a.keep:
            shutil.rmtree(work, ignore_errors=True)
    failed = results.count(False)
    print("%d probes, %d failed" % (len(results), failed))
    sys.exit(min(failed, 100))


if __name__ == "__main__":
    main()
