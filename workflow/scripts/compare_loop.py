"""Compare step of a benchmark loop: run lorvane's compare mode on the loop's
result file and keep its summary line.

Usage: compare_loop.py --exe PATH --data DIR --file STRUCTURE [--chain C] --start S
       --end E --cli contract|legacy --loopdir DIR --upstream sample.json
       --record compare.json [--svg] [--keep-failures]
The summary line holds eight numbers: n, lowest RMSD, mean RMSD, RMSD of the
lowest-z decoy, min(10 s3 + s2), min s2, min(10 s3 + s0), min s0; they go to the
record. With --svg the program's funnel plot is kept as funnel.svg.
"""

import argparse
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import steps  # noqa: E402

FIELDS = ["cmp_n", "cmp_best", "cmp_mean", "cmp_pred", "cmp_min_c1", "cmp_min_s2",
          "cmp_min_c2", "cmp_min_s0"]


def summary_line(text):
    """The last output line made of exactly eight numbers."""
    found = None
    for line in text.splitlines():
        parts = line.split()
        if len(parts) != 8:
            continue
        try:
            found = [float(x) for x in parts]
        except ValueError:
            continue
    return found


def compare(a):
    loopdir = os.path.abspath(a.loopdir)
    sample = steps.read_record(a.upstream[0])
    result = os.path.join(loopdir, sample["files"]["result"])
    if a.cli == "legacy":
        # the sampling step left data/ and chain.pdb in run/; recreate them if it was cleaned
        cwd = os.path.join(loopdir, "run")
        os.makedirs(cwd, exist_ok=True)
        if not os.path.exists(os.path.join(cwd, "chain.pdb")):
            shutil.copyfile(a.file, os.path.join(cwd, "chain.pdb"))
        if not os.path.exists(os.path.join(cwd, "data")):
            os.symlink(os.path.abspath(a.data), os.path.join(cwd, "data"))
        args = ["-f", "chain.pdb"]
    else:
        cwd = loopdir
        args = ["-f", os.path.abspath(a.file)]
        if a.chain not in ("", "-", "_"):
            args += ["-chain", a.chain]
        args += ["-data", os.path.abspath(a.data)]
    args += ["-start", a.start, "-end", a.end, "-score", result]
    svg = os.path.join(cwd, "funnel.svg")
    if os.path.exists(svg):
        os.remove(svg)
    if a.svg:
        args += ["-svg", "funnel.svg"]
    cmd = steps.command_for(a.exe) + ["-mode", "compare"] + args
    proc = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          stdin=subprocess.DEVNULL, text=True)
    with open(os.path.join(loopdir, "compare.log"), "w") as log:
        log.write(proc.stdout)
    if proc.returncode != 0:
        raise ValueError("compare mode: exit status %d: %s"
                         % (proc.returncode, steps.one_line(proc.stdout)))
    values = summary_line(proc.stdout)
    if values is None:
        raise ValueError("compare mode printed no summary line")
    rec = {k: ("%d" % v if k == "cmp_n" else "%.4f" % v) for k, v in zip(FIELDS, values)}
    if a.svg and os.path.exists(svg):
        if cwd != loopdir:
            shutil.move(svg, os.path.join(loopdir, "funnel.svg"))
        rec["funnel"] = "funnel.svg"
    return rec


def main():
    p = argparse.ArgumentParser()
    for name in ("exe", "data", "file", "start", "end", "loopdir", "record"):
        p.add_argument("--" + name, required=True)
    p.add_argument("--chain", default="")
    p.add_argument("--cli", choices=("contract", "legacy"), default="contract")
    p.add_argument("--upstream", nargs="+", required=True)
    p.add_argument("--svg", action="store_true")
    p.add_argument("--keep-failures", action="store_true")
    a = p.parse_args()
    return steps.run_step("compare", a.record, lambda: compare(a), a.upstream, a.keep_failures)


if __name__ == "__main__":
    sys.exit(main())
