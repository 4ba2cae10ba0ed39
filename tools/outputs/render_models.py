#!/usr/bin/python3
"""Draws the top models' loops against the input (headless, matplotlib).

    /usr/bin/python3 tools/outputs/render_models.py INPUT MODELS -chain A -start 45 -end 52 -o picture.png

The chain's CA trace in grey, the input loop (with one anchor residue on each
side) in blue, models 2.. in thin orange and model 1 in red, projected on the
plane that shows the loop region widest (its two main axes).
"""
import argparse

import gemmi
import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402


def trace(model, chain, lo=None, hi=None):
    pts = []
    for res in model[chain]:
        if res.het_flag == "H" or res.find_atom("CA", "*") is None:
            continue
        if lo is not None and not (lo <= res.seqid.num <= hi):
            continue
        pts.append(res.find_atom("CA", "*").pos.tolist())
    return np.array(pts)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("input")
    p.add_argument("models")
    p.add_argument("-chain", required=True)
    p.add_argument("-start", type=int, required=True)
    p.add_argument("-end", type=int, required=True)
    p.add_argument("-o", required=True)
    a = p.parse_args()
    inp = gemmi.read_structure(a.input)
    mods = gemmi.read_structure(a.models)
    lo, hi = a.start - 1, a.end + 1
    native = trace(inp[0], a.chain, lo, hi)
    loops = [trace(m, a.chain, lo, hi) for m in mods]
    centre = native.mean(axis=0)
    _, _, axes = np.linalg.svd(np.vstack([native] + loops) - centre)
    proj = lambda x: (x - centre) @ axes[:2].T
    whole = proj(trace(inp[0], a.chain))
    fig, ax = plt.subplots(figsize=(6, 6))
    ax.plot(whole[:, 0], whole[:, 1], color="0.8", lw=1, zorder=1)
    for k, loop in reversed(list(enumerate(loops))):
        q = proj(loop)
        ax.plot(q[:, 0], q[:, 1], color="red" if k == 0 else "orange", lw=2.5 if k == 0 else 0.8,
                zorder=3 if k == 0 else 2, label="model 1 (rank 1)" if k == 0 else ("models 2-%d" % len(loops) if k == 1 else None))
    q = proj(native)
    ax.plot(q[:, 0], q[:, 1], color="tab:blue", lw=2.5, zorder=4, label="input loop")
    ax.set_aspect("equal")
    span = np.abs(proj(np.vstack([native] + loops))).max() * 1.8
    ax.set_xlim(-span, span)
    ax.set_ylim(-span, span)
    ax.set_title("%s %s%d-%d: CA trace, Å" % (a.models.split("/")[-1], a.chain, a.start, a.end), fontsize=9)
    ax.legend(loc="lower right", fontsize=8)
    fig.savefig(a.o, dpi=100, bbox_inches="tight")


if __name__ == "__main__":
    main()
