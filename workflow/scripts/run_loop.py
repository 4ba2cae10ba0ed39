"""Sampling step of one loop: run lorvane, measure it, record what it wrote.

Two command lines:
  contract  the whole entry as input, the loop chosen by -chain, outputs named by -o:
            lorvane -f FILE [-chain C] -start S -end E [-seq SEQ] -o NAME -models N
                    -data DIR [-quiet] -cores T ARGS        (run in the loop's directory)
            giving NAME.txt, NAME.ranking.tsv (every conformation, in rank order)
            and NAME.models.pdb (or .cif; the top N, none with -models 0).
            -quiet is passed only when the program's -h lists it.
  legacy    a one-chain file from the chain step, as today's program reads it:
            lorvane -f chain.pdb -start S -end E -cores T ARGS
            run in loops/<case>/run/ (data/ linked there); the result file
            pdbout/<LoopID>.txt is moved to result.txt.
Wall time, CPU time and peak memory come from os.wait4. The record (sample.json)
holds them with the command line as run, the thread count, and for the contract
the top model's scores and the ranking's confidence figures.
"""

import argparse
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import loopkit  # noqa: E402
import steps  # noqa: E402
from steps import StepFailed  # noqa: E402

RANKING_COLUMNS = ["rank", "index", "dfire", "sidechain", "quenda", "torsion", "combined",
                   "cluster_size", "rmsd_to_top"]


def count_conformations(path):
    with open(path) as fh:
        return sum(1 for line in fh if line.startswith("LOOP "))


def takes_quiet(cmd, timeout_s):
    """Whether the program's reference (-h) lists -quiet: older builds reject it.
    A program that does not answer within timeout_s is taken as not listing it
    (its sampling run then meets the step's own time limit)."""
    try:
        p = subprocess.Popen(cmd + ["-h"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             stdin=subprocess.DEVNULL, start_new_session=True)
    except OSError:
        return False
    try:
        out = p.communicate(timeout=timeout_s)[0]
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)   # the whole group: a child may hold the pipe
        p.communicate()
        return False
    return re.search(r"^\s*-quiet\b", out.decode(errors="replace"), re.M) is not None


def count_models(path):
    """Models in a models file: MODEL records (PDB) or distinct model numbers of
    _atom_site (mmCIF)."""
    if not loopkit.is_cif(path):
        with loopkit.open_text(path) as fh:
            return sum(1 for line in fh if line.startswith("MODEL "))
    names, models, in_loop = [], set(), False
    with loopkit.open_text(path) as fh:
        for line in fh:
            t = line.strip()
            if t.startswith("_atom_site."):
                names.append(t.split()[0][len("_atom_site."):])
                in_loop = True
            elif in_loop and t and not t.startswith(("_", "#", "loop_")):
                words = t.split()
                if "pdbx_PDB_model_num" in names and len(words) == len(names):
                    models.add(words[names.index("pdbx_PDB_model_num")])
            elif in_loop and names and (t.startswith(("_", "#", "loop_"))):
                in_loop = False
    return len(models)


def ranking_figures(path):
    """The top model's scores and the confidence figures of a ranking table:
    top cluster size and the spread of ranks 2-10 around rank 1 (rmsd_to_top)."""
    header, rows = loopkit.read_tsv(path)
    missing = [c for c in RANKING_COLUMNS if c not in header]
    if missing:
        raise ValueError("%s: no column %s" % (os.path.basename(path), ", ".join(missing)))
    if not rows:
        raise ValueError("%s: no model ranked" % os.path.basename(path))
    try:
        rows.sort(key=lambda r: int(r["rank"]))
        top = rows[0]
        spread = [float(r["rmsd_to_top"]) for r in rows[1:10]]
    except ValueError as exc:
        raise ValueError("%s: %s" % (os.path.basename(path), exc)) from exc
    fig = {"n_ranked": len(rows), "top_cluster_size": int(top["cluster_size"])}
    for k in ("index", "dfire", "sidechain", "quenda", "torsion", "combined"):
        fig["top_" + k] = top[k]
    fig["top10_median_rmsd"] = loopkit.fmt(loopkit.median(spread)) if spread else "NA"
    fig["top10_max_rmsd"] = loopkit.fmt(max(spread)) if spread else "NA"
    return fig


def shown_paths(text, shown):
    """text with the machine's paths (as given and resolved) in their report spelling."""
    pairs = {}
    for path, name in shown.items():
        pairs[path] = name
        pairs[os.path.realpath(path)] = name
    for path in sorted(pairs, key=len, reverse=True):   # longest first: no partial rewrites
        text = text.replace(path, pairs[path])
    return text


def run(a):
    exe = os.path.abspath(a.exe)
    if not os.access(exe, os.X_OK) and not exe.endswith(".py"):
        raise ValueError("lorvane executable %s not found or not executable" % exe)
    data = os.path.abspath(a.data)
    loopdir = os.path.abspath(a.loopdir)
    shown = {exe: "lorvane", data: a.shown_data, os.path.abspath(a.file): a.shown_file}
    fields = {}
    if a.cli == "legacy":
        cwd = os.path.join(loopdir, "run")
        if os.path.isdir(cwd):
            shutil.rmtree(cwd)      # a rerun starts clean: no stale pdbout/ files
        os.makedirs(os.path.join(cwd, "pdbout"))
        os.symlink(data, os.path.join(cwd, "data"))
        shutil.copyfile(a.file, os.path.join(cwd, "chain.pdb"))
        args = ["-f", "chain.pdb", "-start", a.start, "-end", a.end]
        produced = os.path.join(cwd, "pdbout", loopkit.loop_id("chain.pdb", a.start, a.end) + ".txt")
        files = {"result": "result.txt"}
    else:
        cwd = loopdir
        ext = ".models.cif" if loopkit.is_cif(a.file) else ".models.pdb"
        files = {"result": a.name + ".txt", "ranking": a.name + ".ranking.tsv"}
        if a.models > 0:
            files["models"] = a.name + ext
        for f in set(files.values()) | {a.name + ".models.pdb", a.name + ".models.cif"}:
            if os.path.exists(os.path.join(loopdir, f)):
                os.remove(os.path.join(loopdir, f))
        args = ["-f", os.path.abspath(a.file)]
        if a.chain not in ("", "-", "_"):
            args += ["-chain", a.chain]
        args += ["-start", a.start, "-end", a.end]
        if a.seq:
            args += ["-seq", a.seq]
        args += ["-o", a.name, "-models", str(a.models), "-data", data]
        if takes_quiet(steps.command_for(exe), min(30.0, a.timeout_min * 60.0 or 30.0)):
            args.append("-quiet")
        produced = os.path.join(loopdir, files["result"])
    cmd = steps.command_for(exe) + args + ["-cores", str(a.threads)] + shlex.split(a.args)
    fields["command"] = steps.shown_command(cmd, shown)
    fields["files"] = files
    os.makedirs(loopdir, exist_ok=True)
    timeout_s = a.timeout_min * 60.0
    out, err = os.path.join(loopdir, "sample.log"), os.path.join(loopdir, "sample.err")
    status, wall, user, system, rss, timed_out = steps.run_measured(cmd, cwd, out, err, timeout_s)
    fields.update({"exit_status": status, "wall_s": round(wall, 3), "user_s": round(user, 3),
                   "sys_s": round(system, 3), "cpu_s": round(user + system, 3),
                   "peak_rss_mb": round(rss, 1)})
    if timed_out or status != 0:
        raise StepFailed(shown_paths(steps.exit_message(status, out, err, timeout_s, timed_out),
                                     shown), **fields)
    if not os.path.exists(produced):
        raise StepFailed("no result file written", **fields)
    if a.cli == "legacy":
        shutil.move(produced, os.path.join(loopdir, files["result"]))
        produced = os.path.join(loopdir, files["result"])
    fields["n_conformations"] = count_conformations(produced)
    if fields["n_conformations"] == 0:
        raise StepFailed("no conformation written", **fields)
    if a.cli == "contract":
        for f in files.values():
            if not os.path.exists(os.path.join(loopdir, f)):
                raise StepFailed("no %s file written" % f, **fields)
        try:
            fields.update(ranking_figures(os.path.join(loopdir, files["ranking"])))
        except ValueError as exc:
            raise StepFailed(str(exc), **fields) from exc
        if fields["n_ranked"] != fields["n_conformations"]:
            raise StepFailed("%s ranks %d conformations, the result file holds %d" % (
                files["ranking"], fields["n_ranked"], fields["n_conformations"]), **fields)
        # the models written: the models file's own count, expected min(N, conformations)
        fields["n_models"] = count_models(os.path.join(loopdir, files["models"])) \
            if "models" in files else 0
        want = min(a.models, fields["n_conformations"])
        if fields["n_models"] != want:
            raise StepFailed("%s holds %d models, expected %d" % (
                files["models"], fields["n_models"], want), **fields)
    return fields


def main():
    p = argparse.ArgumentParser()
    for name in ("exe", "data", "file", "loopdir", "record"):
        p.add_argument("--" + name, required=True)
    p.add_argument("--start", required=True)
    p.add_argument("--end", required=True)
    p.add_argument("--chain", default="")
    p.add_argument("--seq", default="")
    p.add_argument("--name", default="model")
    p.add_argument("--models", type=int, default=10)
    p.add_argument("--cli", choices=("contract", "legacy"), default="contract")
    p.add_argument("--threads", type=int, default=1)
    p.add_argument("--args", default="")
    p.add_argument("--shown-file", default="")
    p.add_argument("--shown-data", default="data")
    p.add_argument("--upstream", nargs="*", default=[])
    p.add_argument("--meta", nargs="*", default=[])
    p.add_argument("--timeout-min", type=float, default=0.0)
    p.add_argument("--keep-failures", action="store_true")
    a = p.parse_args()
    a.shown_file = a.shown_file or a.file
    always = {"threads": a.threads, "meta": dict(kv.split("=", 1) for kv in a.meta)}
    return steps.run_step("sample", a.record, lambda: run(a), a.upstream, a.keep_failures, always)


if __name__ == "__main__":
    sys.exit(main())
