"""Refinement measured on a finished workflow run: every loop's result file is
refined again with `lorvane -xrefinefrom` (the settings given after NAME), and
the refined file is compared with the original.

usage: refine_eval.py RUN_DIR TABLE_DIR LORVANE OUT NAME [lorvane options...]

RUN_DIR    a finished run of the workflow benchmark (RUN_DIR/loops/<id>/sample.json)
TABLE_DIR  the directory of that run's loop table (structure paths are relative to it)
LORVANE    the program; its tables are taken from data/ beside it

Writes OUT/NAME/<id>.txt and one JSON line per loop on standard output (also
OUT/NAME.json): prediction (lowest z) and best RMSD before and after, the
number of loops refined, the Spearman correlation of each score and of z with
the RMSD over the refined loops before and after, and CPU seconds of the
refinement beside those of the sampling. With REFINE_EVAL=--native the
native loop is refined the same way and ranked by z among the refined loops
(native_rank_refined) and among all (native_rank_all). CASES=id,id limits the
loops. RMSD: N, CA, C, O, no superposition (loopkit).
"""
import json, os, resource, subprocess, sys
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "workflow", "scripts"))
import loopkit  # noqa: E402

run_dir, table_dir, binary, out, name = sys.argv[1:6]
extra = sys.argv[6:]
data = os.path.join(os.path.dirname(binary), "data")
os.makedirs(os.path.join(out, name), exist_ok=True)

rows = []
for case in sorted(os.listdir(os.path.join(run_dir, "loops"))):
    d = os.path.join(run_dir, "loops", case)
    js = os.path.join(d, "sample.json")
    if not os.path.exists(js): continue
    if os.environ.get("CASES") and case not in os.environ["CASES"].split(","): continue
    meta = json.load(open(js))
    if meta.get("status") != "ok": continue
    m = meta["meta"]
    native = os.path.join(table_dir, m["file"])
    orig = os.path.join(d, meta["files"]["result"])
    prefix = os.path.join(out, name, case)
    cmd = [binary, "-f", native, "-chain", m["chain"], "-start", m["start"], "-end", m["end"], "-o", prefix,
           "-data", data, "-quiet", "-cores", "1", "-models", "0", "-xrefinefrom", orig, "-rs", "3"] + extra
    t0 = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    t1 = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (t1.ru_utime - t0.ru_utime) + (t1.ru_stime - t0.ru_stime)
    nat = loopkit.loop_residues(loopkit.read_chain(native, m["chain"]), m["start"], m["end"])
    A = loopkit.read_results(orig); B = loopkit.read_results(prefix + ".txt")
    ra = [loopkit.backbone_rmsd(c, nat) for c in A]; rb = [loopkit.backbone_rmsd(c, nat) for c in B]
    za, zb = loopkit.z_scores(A), loopkit.z_scores(B)
    pa, pb = loopkit.argmin(za), loopkit.argmin(zb)
    changed = [i for i in range(len(A)) if A[i]["residues"][0]["atoms"] != B[i]["residues"][0]["atoms"] or A[i]["scores"] != B[i]["scores"]]
    row = {"case": case, "length": int(m["length"]), "n": len(A), "cpu_refine": cpu, "cpu_sample": meta["cpu_s"],
           "pred_before": ra[pa], "pred_after": rb[pb], "best_before": min(ra), "best_after": min(rb),
           "refined": len(changed)}
    if len(changed) >= 5:
        for k, t in enumerate(["dfire", "side", "quenda", "torsion"]):
            row["sp_%s_before" % t] = loopkit.spearman([A[i]["scores"][k] for i in changed], [ra[i] for i in changed])
            row["sp_%s_after" % t] = loopkit.spearman([B[i]["scores"][k] for i in changed], [rb[i] for i in changed])
        row["sp_z_before"] = loopkit.spearman([za[i] for i in changed], [ra[i] for i in changed])
        row["sp_z_after"] = loopkit.spearman([zb[i] for i in changed], [rb[i] for i in changed])
        row["mean_rmsd_refined_before"] = sum(ra[i] for i in changed) / len(changed)
        row["mean_rmsd_refined_after"] = sum(rb[i] for i in changed) / len(changed)
    # the native loop, refined the same way, ranked among the refined loops by z over the whole set
    if "--native" in os.environ.get("REFINE_EVAL", ""):
        nf = prefix + ".native_in.txt"; loopkit.write_results(nf, [nat])
        cmd2 = [c if c != orig else nf for c in cmd]
        cmd2[cmd2.index("-o") + 1] = prefix + ".native"
        cmd2 += ["-xrefine", "1"]
        done = subprocess.run(cmd2, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if done.returncode != 0:
            # e.g. a native loop with a missing side-chain atom, which a result file may not hold
            row["native_error"] = done.stderr.strip()
            rows.append(row)
            print(json.dumps(row), flush=True)
            continue
        N = loopkit.read_results(prefix + ".native.txt")[0]
        allc = B + [N]
        z = loopkit.z_scores(allc)
        pool = changed if changed else list(range(len(B)))
        row["native_rank_refined"] = 1 + sum(1 for i in pool if z[i] < z[-1])
        row["native_rank_all"] = 1 + sum(1 for i in range(len(B)) if z[i] < z[-1])
        row["pool"] = len(pool)
    rows.append(row)
    print(json.dumps(row), flush=True)
json.dump(rows, open(os.path.join(out, name + ".json"), "w"), indent=1)
