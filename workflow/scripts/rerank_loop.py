"""Physics re-rank step of a loop (config physics_rerank): the loop's best distinct
conformations are scored with OpenMM (tools/physics/rescore_openmm.py) and ordered by
the rank sum of program rank and energy rank. The step runs after the loop's last
step (analyse of a benchmark loop, sample of a prediction loop) and carries that
step's record on, with the re-rank's fields added; the program's own outputs stay
as they are.

Usage: rerank_loop.py --tool rescore_openmm.py --python PY --file STRUCTURE --chain C
       --start S --end E --loopdir DIR --upstream analyse.json|sample.json
       --record rerank.json [--top 20 --distinct 1.0 --steps 2000] [--models 10]
       [--keep-failures]

Writes in the loop's directory:
  physics/chain.pdb        the loop's chain (the tool reads one chain of a PDB file)
  physics/scores.tsv       the tool's energies of the native-as-given and the scored loops
  physics/rerank.tsv       the re-rank order: order, index (LOOP number), rank, energy
  rerank.models.pdb        the first --models of that order as complete models, made from
                           the program's first model with the loop's coordinates replaced
Fields: rerank_index (LOOP number of the re-rank's first), rerank_rank (its rank in the
program's table), rerank_scored, rerank_failed (conformations the force field could not
take), rerank_frame, rerank_cpu_s, rerank_wall_s; for a benchmark loop also rerank_rmsd (from the
analysis's conformations.tsv, so the same RMSD as the prediction's).

The tool reads PDB files and residue numbers without insertion codes: an mmCIF entry
or a chain with insertion codes is refused with its reason, as the loop's failure of
this step. A loop missing from the input's coordinates (rebuilt from -seq) takes its
frame from the program's first model, which holds the whole chain with that loop
built (rerank_frame "model 1"; else "input"). The tool keeps the residues near the
given loop as the frame, so there the region is the one around the program's first loop.
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import extract_chain  # noqa: E402
import loopkit  # noqa: E402
import steps  # noqa: E402
from steps import StepFailed  # noqa: E402

RERANK_FIELDS = ["rerank_index", "rerank_rank", "rerank_rmsd", "rerank_scored",
                 "rerank_failed", "rerank_cpu_s"]


def check_chain(chain_pdb, start, end):
    """The tool keys atoms by residue number: no insertion codes, and the whole loop present."""
    present = set()
    with open(chain_pdb) as fh:
        for line in fh:
            if line.startswith("ATOM  "):
                if line[26] != " ":
                    raise ValueError("the physics re-rank reads residue numbers without insertion "
                                     "codes; the chain has residue %s%s"
                                     % (line[22:26].strip(), line[26]))
                present.add(int(line[22:26]))
    missing = [n for n in range(int(start), int(end) + 1) if n not in present]
    if missing:
        raise ValueError("the physics re-rank needs the loop in the structure; residue%s %s "
                         "missing" % ("s" if len(missing) > 1 else "",
                                      ", ".join(str(n) for n in missing[:5])
                                      + (", ..." if len(missing) > 5 else "")))


def read_order(path):
    header, rows = loopkit.read_tsv(path)
    for col in ("order", "index", "rank"):
        if col not in header:
            raise ValueError("%s: no column %s" % (os.path.basename(path), col))
    rows.sort(key=lambda r: int(r["order"]))
    return [(int(r["index"]), int(r["rank"]), r.get("energy", "nan")) for r in rows]


def model_block(path):
    """The ATOM/HETATM/TER records of the first model of a PDB models file."""
    block, started = [], False
    with loopkit.open_text(path) as fh:
        for line in fh:
            if line.startswith("MODEL "):
                if started:
                    break
                started = True
            elif line.startswith("ENDMDL"):
                if started:
                    break
            elif line.startswith(("ATOM  ", "HETATM", "TER")):
                block.append(line.rstrip("\n"))
    if not block:
        raise ValueError("%s: no model" % os.path.basename(path))
    return block


def graft(block, chain, start, end, conf):
    """block with the loop's atoms (chain, residues start..end) moved to the
    conformation's coordinates; residues matched in order, atoms by name."""
    lo, hi = int(start), int(end)
    ch = loopkit.pdb_chain(chain)
    order, lines = [], []
    for line in block:
        if line.startswith(("ATOM  ", "HETATM")) and line[21] == ch and lo <= int(line[22:26]) <= hi:
            if not order or order[-1] != int(line[22:26]):
                order.append(int(line[22:26]))
    if len(order) != len(conf["residues"]):
        raise ValueError("the model's loop has %d residues, the conformation %d"
                         % (len(order), len(conf["residues"])))
    where = {num: res for num, res in zip(order, conf["residues"])}
    used = 0
    for line in block:
        if line.startswith(("ATOM  ", "HETATM")) and line[21] == ch and int(line[22:26]) in where:
            res, name = where[int(line[22:26])], line[12:16].strip()
            if name not in res["atoms"]:
                raise ValueError("conformation lacks atom %s of residue %d" % (name, int(line[22:26])))
            x, y, z = res["atoms"][name]
            line = "%s%8.3f%8.3f%8.3f%s" % (line[:30], x, y, z, line[54:])
            used += 1
        lines.append(line)
    if used != sum(len(r["atoms"]) for r in conf["residues"]):
        raise ValueError("the model's loop and the conformation hold different atoms")
    return lines


def write_models(path, block, chain, start, end, confs):
    tmp = path + ".tmp"
    with open(tmp, "w") as out:
        for k, (label, conf) in enumerate(confs, 1):
            out.write("MODEL     %4d\n" % k)
            out.write("REMARK   1 RE-RANK %d: %s\n" % (k, label))
            for line in graft(block, chain, start, end, conf):
                out.write(line + "\n")
            out.write("ENDMDL\n")
        out.write("END\n")
    os.replace(tmp, path)


def rerank(a, upstream):
    loopdir = os.path.abspath(a.loopdir)
    files = upstream.get("files") or {}
    if "ranking" not in files:
        raise ValueError("the physics re-rank needs the program's ranking table "
                         "(the contract command line)")
    if not (a.start.lstrip("-").isdigit() and a.end.lstrip("-").isdigit()):
        raise ValueError("the physics re-rank reads residue numbers without insertion codes; "
                         "the loop is %s-%s" % (a.start, a.end))
    if loopkit.is_cif(a.file):
        raise ValueError("the physics re-rank reads PDB entries only: %s is mmCIF"
                         % os.path.basename(a.file))
    work = os.path.join(loopdir, "physics")
    os.makedirs(work, exist_ok=True)
    chain_pdb = os.path.join(work, "chain.pdb")
    ch = loopkit.pdb_chain(a.chain)
    lines, numbers = extract_chain.chain_records(a.file, ch)
    name, frame = os.path.basename(a.file), "input"
    models_file = files.get("models")
    if any((n, " ") not in numbers for n in range(int(a.start), int(a.end) + 1)) \
            and models_file and not loopkit.is_cif(models_file):
        # a loop the entry lacks: the program's first model holds the chain with it built
        models_path = os.path.join(loopdir, models_file)
        lines, numbers = extract_chain.chain_records(models_path, ch)
        name, frame = os.path.basename(models_path), "model 1"
    extract_chain.check_loop(name, ch, numbers, a.start, a.end)
    extract_chain.write_chain(lines, chain_pdb)
    check_chain(chain_pdb, a.start, a.end)
    scores, order_tsv = os.path.join(work, "scores.tsv"), os.path.join(work, "rerank.tsv")
    models = os.path.join(loopdir, "rerank.models.pdb")
    for f in (scores, order_tsv, models):   # nothing of an earlier run is left to be mistaken
        if os.path.exists(f):
            os.remove(f)
    result = os.path.join(loopdir, files["result"])
    cmd = [a.python, os.path.abspath(a.tool), "--pdb", chain_pdb, "--start", a.start,
           "--end", a.end, "--result", result, "--ranking", os.path.join(loopdir, files["ranking"]),
           "--top", str(a.top), "--distinct", str(a.distinct), "--steps", str(a.steps),
           "--out", scores, "--rerank", order_tsv]
    out, err = os.path.join(work, "rerank.log"), os.path.join(work, "rerank.err")
    status, wall, user, system, _rss, _ = steps.run_measured(cmd, loopdir, out, err)
    fields = {"rerank_cpu_s": round(user + system, 3), "rerank_wall_s": round(wall, 3),
              "rerank_frame": frame}
    if status != 0:
        raise StepFailed(steps.exit_message(status, out, err, 0, False), **fields)
    if not os.path.exists(order_tsv):
        raise StepFailed("the physics tool wrote no re-rank order", **fields)
    order = read_order(order_tsv)
    if not order:
        raise StepFailed("the physics re-rank scored no conformation", **fields)
    fields.update(rerank_index=order[0][0], rerank_rank=order[0][1], rerank_scored=len(order),
                  rerank_failed=sum(1 for o in order if o[2] == "nan"))

    # result file conformations by LOOP number
    confs = {c["label"]: c for c in loopkit.read_results(result)}
    chosen = []
    for index, rank, _e in order[:a.models]:
        if str(index) not in confs:
            raise StepFailed("%s has no LOOP %d" % (files["result"], index), **fields)
        chosen.append(("LOOP %d, rank %d in the program's table" % (index, rank), confs[str(index)]))
    if a.models > 0 and files.get("models") and not loopkit.is_cif(files["models"]):
        block = model_block(os.path.join(loopdir, files["models"]))
        write_models(models, block, a.chain, a.start, a.end, chosen)
        fields["rerank_models"] = "rerank.models.pdb"
    return fields


def rmsd_of(loopdir, index):
    """The RMSD the analysis measured for LOOP index (conformations.tsv)."""
    _h, rows = loopkit.read_tsv(os.path.join(loopdir, "conformations.tsv"))
    for r in rows:
        if r["label"] == str(index):
            return r["rmsd"]
    raise ValueError("conformations.tsv has no LOOP %d" % index)


def main():
    p = argparse.ArgumentParser()
    for name in ("tool", "file", "start", "end", "loopdir", "upstream", "record"):
        p.add_argument("--" + name, required=True)
    p.add_argument("--python", default=sys.executable)
    p.add_argument("--chain", default="")
    p.add_argument("--top", type=int, default=20)
    p.add_argument("--distinct", type=float, default=1.0)
    p.add_argument("--steps", type=int, default=2000)
    p.add_argument("--models", type=int, default=10)
    p.add_argument("--keep-failures", action="store_true")
    a = p.parse_args()
    up = steps.read_record(a.upstream)
    benchmark = "row" in up
    # the upstream record goes on, whatever happens here
    always = {k: v for k, v in up.items() if k not in ("step", "status", "failed_step", "message")}

    def work():
        sample = steps.read_record(os.path.join(os.path.dirname(a.upstream), "sample.json")) \
            if benchmark else up
        try:
            fields = rerank(a, sample)
        except StepFailed as exc:
            if benchmark:
                exc.fields = {"row": dict(up["row"], **exc.fields)}
            raise
        if not benchmark:
            return fields
        row = dict(up["row"], **{k: fields.get(k, "NA") for k in RERANK_FIELDS})
        row["rerank_rmsd"] = rmsd_of(a.loopdir, fields["rerank_index"])
        return {"row": row, "rerank_models": fields.get("rerank_models", "")}

    return steps.run_step("rerank", a.record, work, [a.upstream], a.keep_failures, always)


if __name__ == "__main__":
    sys.exit(main())
