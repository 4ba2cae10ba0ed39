"""The program's own ranking score, taken after a force-field relaxation (measurement tool).

For every loop of a finished workflow run: the program's top loops (its ranking walked in
order, a loop taken only when its backbone RMSD to every one taken exceeds --distinct A;
0.1 A for loops of fewer than 6 residues) are relaxed as rescore_openmm.py relaxes them
(AMBER ff99SB + OBC, frame fixed, loop heavy atoms restrained), the native loop with them.
The relaxed heavy atoms are written as a result file and scored by the program itself
(`lorvane -xrefinefrom FILE -xrescore`), so each carries the four scores of a written loop.
The pick is the relaxed loop of lowest sum of s_k / MAD_k, MAD_k over all the run's written
loops (the order z gives); its RMSD is that of its written, unrelaxed conformation.

usage: relaxed_z.py RUN_DIR TABLE_DIR LORVANE OUT NAME [--top 20] [--distinct 1.0] [--steps 2000]

RUN_DIR    a finished run of the workflow benchmark (RUN_DIR/loops/<id>/sample.json)
TABLE_DIR  the directory of that run's loop table (structure paths are relative to it)
LORVANE    the program; its tables are taken from data/ beside it
CASES=id,id limits the loops. One JSON line per loop on standard output (also OUT/NAME.json):
z_pick (RMSD of the program's first), rz_pick (of the relaxed pick, unrelaxed), rz_pick_relaxed,
plain_pick (the same pick among the candidates scored again unrelaxed: the rounding control),
best_top (best of the candidates), native_rank (the relaxed native among candidates + native),
Spearman of the score sum with the RMSD over the candidates before and after relaxing, CPU.
A loop the force field cannot take (a residue without a template) gets a row with "error" instead.
Debian's /usr/bin/python3 (OpenMM from python3-simtk).
"""
import argparse
import json
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "workflow", "scripts"))
import loopkit  # noqa: E402
import rescore_openmm as ro  # noqa: E402


def mad_weights(scores):
    """1 / MAD of each of the four scores over all loops (0 for a score without spread, as z)."""
    w = []
    for k in range(4):
        v = [s[k] for s in scores]
        m = loopkit.median(v)
        mad = loopkit.median([abs(x - m) for x in v])
        w.append(1.0 / mad if mad > 0 else 0.0)
    return w


def weighted(s, w):
    return sum(a * b for a, b in zip(s, w))


def write_loops(path, confs, names):
    """confs: [{(num, name): xyz}] as a result file (scores 0), residues in number order, named from names."""
    def residues(atoms):
        by = {}
        for (num, nm), xyz in sorted(atoms.items(), key=lambda kv: kv[0][0]):
            by.setdefault(num, {"num": num, "name": names[num], "atoms": {}})["atoms"][nm] = xyz
        return list(by.values())
    loopkit.write_results(path, [residues(c) for c in confs])


def read_scores(path):
    out = []
    with open(path) as fh:
        for line in fh:
            if line.startswith("LOOP "):
                out.append([float(x) for x in line.split()[2:6]])
    return out


def main():
    p = argparse.ArgumentParser()
    p.add_argument("run_dir")
    p.add_argument("table_dir")
    p.add_argument("lorvane")
    p.add_argument("out")
    p.add_argument("name")
    p.add_argument("--top", type=int, default=20)
    p.add_argument("--distinct", type=float, default=1.0)
    p.add_argument("--steps", type=int, default=2000)
    a = p.parse_args()
    data = os.path.join(os.path.dirname(os.path.abspath(a.lorvane)), "data")
    work = os.path.join(a.out, a.name)
    os.makedirs(work, exist_ok=True)
    rows = []
    cases = os.environ.get("CASES")
    for case in sorted(os.listdir(os.path.join(a.run_dir, "loops"))):
        d = os.path.join(a.run_dir, "loops", case)
        js = os.path.join(d, "sample.json")
        if not os.path.exists(js) or (cases and case not in cases.split(",")):
            continue
        meta = json.load(open(js))
        if meta.get("status") != "ok":
            continue
        m = meta["meta"]
        start, end, length = int(m["start"]), int(m["end"]), int(m["length"])
        pdb = os.path.join(a.table_dir, m["file"])
        result = os.path.join(d, meta["files"]["result"])
        ranking = os.path.join(d, meta["files"]["ranking"]) if "ranking" in meta["files"] else result[:-4] + ".ranking.tsv"
        t0 = time.process_time()
        native = ro.read_pdb_atoms(pdb)
        nat_loop = {(x["num"], x["name"]): x["xyz"] for x in native if start <= x["num"] <= end}
        written = ro.read_results(result)
        ranks = ro.read_ranking(ranking)
        distinct = a.distinct if length >= 6 else 0.1
        cand = ro.choose_ranked(written, ranks, a.top, distinct)
        scorer = ro.Scorer(native, start, end, 10.0, 1.0, a.steps)
        relaxed, moved = [], []
        try:
            for conf in [c["atoms"] for c in cand] + [nat_loop]:
                _, _, shift, r = scorer.relax(conf)
                relaxed.append(r)
                moved.append(shift)
        except Exception as err:  # e.g. a native loop truncated in the crystal: no force-field template
            print("relaxed_z: %s: %s" % (case, err), file=sys.stderr)
            row = {"case": case, "length": length, "error": str(err).splitlines()[0] if str(err) else type(err).__name__}
            rows.append(row)
            print(json.dumps(row), flush=True)
            continue
        prefix = os.path.join(work, case)
        write_loops(prefix + ".relaxed_in.txt", relaxed, scorer.names)
        t1 = time.process_time()
        # The candidates as written are scored the same way, a control for what the file's rounding alone changes.
        write_loops(prefix + ".unrelaxed_in.txt", [c["atoms"] for c in cand], scorer.names)

        def score(kind, count):
            cmd = [a.lorvane, "-f", pdb, "-chain", m["chain"], "-start", m["start"], "-end", m["end"], "-o", prefix + kind,
                   "-data", data, "-quiet", "-cores", "1", "-models", "0", "-xrefinefrom", prefix + kind + "_in.txt", "-xrescore"]
            subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
            got = read_scores(prefix + kind + ".txt")
            if len(got) != count:
                sys.exit("relaxed_z: %s: %d loops scored of %d" % (case, len(got), count))
            return got

        r0 = os.times()
        rescored = score(".relaxed", len(relaxed))
        unrelaxed = score(".unrelaxed", len(cand))
        r1 = os.times()
        # The weights of z over every written loop, from the file's own scores.
        w = mad_weights(read_scores(result))
        rmsd = [ro.backbone_rmsd(c["atoms"], nat_loop) for c in cand]
        rmsd_relaxed = [ro.backbone_rmsd(r, nat_loop) for r in relaxed[:-1]]
        e_after = [weighted(s, w) for s in rescored]
        pick = min(range(len(cand)), key=lambda i: e_after[i])
        zpick = min(range(len(cand)), key=lambda i: cand[i]["rank"])
        e_plain = [weighted(s, w) for s in unrelaxed]
        plain = min(range(len(cand)), key=lambda i: e_plain[i])
        row = {"case": case, "length": length, "candidates": len(cand), "z_pick": rmsd[zpick], "rz_pick": rmsd[pick],
               "rz_pick_relaxed": rmsd_relaxed[pick], "plain_pick": rmsd[plain], "best_top": min(rmsd),
               "native_rank": 1 + sum(1 for i in range(len(cand)) if e_after[i] < e_after[-1]),
               "native_moved": moved[-1], "moved_median": loopkit.median(moved[:-1]),
               "sp_after": loopkit.spearman(e_after[:-1], rmsd) if len(cand) > 2 else float("nan"),
               "sp_rank": loopkit.spearman([c["rank"] for c in cand], rmsd) if len(cand) > 2 else float("nan"),
               "cpu_relax": t1 - t0, "cpu_score": (r1.children_user - r0.children_user) + (r1.children_system - r0.children_system),
               "cpu_sample": meta.get("cpu_s")}
        rows.append(row)
        print(json.dumps(row), flush=True)
    json.dump(rows, open(os.path.join(a.out, a.name + ".json"), "w"), indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
