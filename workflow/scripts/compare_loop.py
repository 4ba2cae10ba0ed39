"""Run lorvane's compare mode on one loop's result file and keep its summary line.

Usage: compare_loop.py --exe PATH --rundir DIR --chain chain.pdb --start S --end E
       --result result.txt --out compare.tsv --log compare.log [--svg funnel.svg]
       [--keep-failures]
The summary line holds eight numbers: n, lowest RMSD, mean RMSD, RMSD of the
lowest-z decoy, min(10 s3 + s2), min s2, min(10 s3 + s0), min s0. They go to a
one-row table. With --svg the funnel plot the program draws is kept; when the
program wrote none (or the result file is empty) a placeholder saying so is
written instead, so the workflow's outputs stay complete.
"""

import argparse
import os
import shlex
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import loopkit  # noqa: E402
from run_loop import command_for  # noqa: E402

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


def placeholder_svg(path, why):
    with open(path, "w") as fh:
        fh.write('<svg xmlns="http://www.w3.org/2000/svg" width="420" height="40">'
                 '<text x="5" y="25" font-size="12">%s</text></svg>\n' % why)


def main():
    p = argparse.ArgumentParser()
    for name in ("exe", "rundir", "chain", "result", "out", "log"):
        p.add_argument("--" + name, required=True)
    p.add_argument("--start", type=int, required=True)
    p.add_argument("--end", type=int, required=True)
    p.add_argument("--svg", default="")
    p.add_argument("--keep-failures", action="store_true")
    a = p.parse_args()

    row = {k: "NA" for k in FIELDS}
    row["cmp_status"] = "skipped"
    rundir = os.path.abspath(a.rundir)
    os.makedirs(rundir, exist_ok=True)
    # the sampling job left data/ and chain.pdb here; recreate them if the
    # directory was cleaned in between
    if not os.path.exists(os.path.join(rundir, "chain.pdb")):
        shutil.copyfile(a.chain, os.path.join(rundir, "chain.pdb"))
    has_conf = False
    with open(a.result) as fh:
        has_conf = any(line.startswith("LOOP ") for line in fh)
    svg_tmp = os.path.join(rundir, "funnel.svg")
    if os.path.exists(svg_tmp):
        os.remove(svg_tmp)

    if has_conf:
        if not os.path.exists(os.path.join(rundir, "data")):
            print("%s has no data/ link (sampling job directory removed?)" % rundir,
                  file=sys.stderr)
            return 1
        cmd = command_for(a.exe) + ["-mode", "compare", "-f", "chain.pdb", "-start", str(a.start),
                                    "-end", str(a.end), "-score", os.path.abspath(a.result)]
        if a.svg:
            cmd += ["-svg", "funnel.svg"]
        proc = subprocess.run(cmd, cwd=rundir, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              stdin=subprocess.DEVNULL, text=True)
        with open(a.log, "w") as log:
            log.write("# " + " ".join(shlex.quote(c) for c in cmd) + "\n" + proc.stdout)
        values = summary_line(proc.stdout) if proc.returncode == 0 else None
        if values is None:
            row["cmp_status"] = "failed"
            if not a.keep_failures:
                print("compare mode failed for loop %d-%d (exit %d); see %s"
                      % (a.start, a.end, proc.returncode, a.log), file=sys.stderr)
                return 1
        else:
            row["cmp_status"] = "ok"
            for k, v in zip(FIELDS, values):
                row[k] = "%d" % v if k == "cmp_n" else "%.4f" % v
    else:
        with open(a.log, "w") as log:
            log.write("no conformation to compare\n")

    if a.svg:
        if os.path.exists(svg_tmp):
            shutil.move(svg_tmp, a.svg)
        else:
            placeholder_svg(a.svg, "no funnel plot: compare mode status %s" % row["cmp_status"])
    loopkit.write_tsv(a.out, FIELDS + ["cmp_status"], [row])
    return 0


if __name__ == "__main__":
    sys.exit(main())
