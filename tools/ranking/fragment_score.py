"""Fragment score of a loop: how near a written loop lies to loops of train/ that fit its stems
(measurement tool).

The program's scores judge a loop by its atoms' contacts and torsions, one residue or pair at
a time. Loops of known structures whose ends sit as the target's do carry what those miss: which
whole paths real chains take between such ends. For a loop of L residues:
- every window of train/ of L residues with two stem residues on each side, unbroken (every
  C-N below 2.0 A), is superposed on the target by the stems' N, CA and C (12 atoms);
- a window is a hit when that stem RMSD is at most 1.0 A, its loop, carried along, puts no CA
  within 3.0 A of a CA of the target's chain outside the loop, and its chain is not a homolog
  of the target's (same PDB id, or >= 30 % identical over >= 50 % of the shorter chain: the
  rule that keeps benchmark homologs out of train/);
- hit h weighs w_h = exp(-(stem RMSD / 0.5)^2), times exp(B_h / 5) with sequence on, B_h the
  BLOSUM62 sum over the loop positions of hit and target;
- a written loop d scores F(d) = -ln(sum_h w_h exp(-(rmsd(d, h) / 1.0)^2) + 1e-12), the RMSD
  over N, CA, C, O without superposition (both are in the target's frame).

Usage:
  /usr/bin/python3 tools/ranking/fragment_score.py database TRAIN_DIR OUT.npz
  (then fragment_rules.py scores finished workflow runs with OUT.npz)
"""

import os
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "workflow", "scripts"))
import loopkit  # noqa: E402

BACKBONE = ("N", "CA", "C", "O")
ONE = {"ALA": "A", "ARG": "R", "ASN": "N", "ASP": "D", "CYS": "C", "GLN": "Q", "GLU": "E", "GLY": "G",
       "HIS": "H", "ILE": "I", "LEU": "L", "LYS": "K", "MET": "M", "PHE": "F", "PRO": "P", "SER": "S",
       "THR": "T", "TRP": "W", "TYR": "Y", "VAL": "V"}
STEM_LIMIT = 1.0   # A, stem RMSD of a hit
STEM_WIDTH = 0.5   # A, of the stem weight
CLASH_CA = 3.0     # A
WIDTH = 1.0        # A, of the loop kernel
SEQ_T = 5.0        # BLOSUM units
BREAK = 2.0        # A, C-N bond


def backbone_array(residues):
    """(n, 4, 3) N, CA, C, O of residues that have all four, their one-letter codes, and for
    each the flag that the bond to the next residue is broken (or the next is missing)."""
    keep = [r for r in residues if all(a in r["atoms"] for a in BACKBONE)]
    bb = np.array([[r["atoms"][a] for a in BACKBONE] for r in keep], np.float32).reshape(-1, 4, 3)
    seq = "".join(ONE.get(r["name"], "X") for r in keep)
    brk = np.ones(len(keep), bool)
    if len(keep) > 1:
        brk[:-1] = np.linalg.norm(bb[1:, 0] - bb[:-1, 2], axis=1) > BREAK
    return bb, seq, brk, keep


def database(train_dir, out_path):
    bbs, seqs, brks, chain_of, names, chain_seqs = [], [], [], [], [], []
    for name in sorted(f for f in os.listdir(train_dir) if f.endswith(".pdb.gz")):
        everything = loopkit.read_structure(os.path.join(train_dir, name))
        for chain in sorted({r["chain"] for r in everything}, key=[r["chain"] for r in everything].index):
            bb, seq, brk, _ = backbone_array([r for r in everything if r["chain"] == chain])
            if len(seq) < 5:
                continue
            chain_of.append(np.full(len(seq), len(names), np.int32))
            names.append(name[:4] + "_" + chain)
            chain_seqs.append(seq)
            bbs.append(bb)
            seqs.append(np.frombuffer(seq.encode(), np.uint8))
            brk[-1] = True  # never across chains
            brks.append(brk)
    np.savez_compressed(out_path, bb=np.concatenate(bbs), seq=np.concatenate(seqs), brk=np.concatenate(brks),
                        chain=np.concatenate(chain_of), names=np.array(names), chain_seqs=np.array(chain_seqs))


def load(path):
    d = np.load(path)
    return {k: d[k] for k in d.files}


def _aligner():
    from Bio import Align
    from Bio.Align import substitution_matrices
    al = Align.PairwiseAligner()
    al.mode = "local"
    al.substitution_matrix = substitution_matrices.load("BLOSUM62")
    al.open_gap_score = -12
    al.extend_gap_score = -1
    return al


def homolog(al, a, b):
    """The training set's rule: >= 30 % identity over an alignment spanning >= 50 % of the
    shorter sequence (first optimal local alignment; gaps inside it count as columns)."""
    if not a or not b:
        return False
    if al.score(a, b) <= 0:  # no local alignment at all
        return False
    aln = al.align(a, b)[0]
    blocks_a, blocks_b = aln.aligned
    if len(blocks_a) == 0:
        return False
    same = sum(sum(1 for i, j in zip(range(sa, ea), range(sb, eb)) if a[i] == b[j])
               for (sa, ea), (sb, eb) in zip(blocks_a, blocks_b))
    span_a = blocks_a[-1][1] - blocks_a[0][0]
    span_b = blocks_b[-1][1] - blocks_b[0][0]
    columns = span_a + span_b - sum(e - s for s, e in blocks_a)  # aligned pairs + gaps on either side
    short = min(len(a), len(b))
    span = span_a if len(a) <= len(b) else span_b
    return columns > 0 and same / columns >= 0.30 and span >= 0.5 * short


def excluded_chains(db, pdbid, chain_seq, cache=None):
    """Indices of the database chains the target may not use: its own entry and its homologs."""
    key = (pdbid, chain_seq)
    if cache is not None and key in cache:
        return cache[key]
    al = _aligner()
    out = set()
    for i, (name, seq) in enumerate(zip(db["names"], db["chain_seqs"])):
        if str(name)[:4].lower() == pdbid.lower() or homolog(al, chain_seq, str(seq)):
            out.add(i)
    if cache is not None:
        cache[key] = out
    return out


BLOSUM = None


def blosum_sum(a, b):
    global BLOSUM
    if BLOSUM is None:
        from Bio.Align import substitution_matrices
        BLOSUM = substitution_matrices.load("BLOSUM62")
    return sum(BLOSUM[x if x in ONE.values() else "X"][y if y in ONE.values() else "X"] for x, y in zip(a, b))


def kabsch_rmsd(P, Q):
    """Batched: P (n, k, 3) onto Q (k, 3). Rotation R (n, 3, 3), centres and RMSD (n), so that
    (x - cp) @ R + cq maps P's frame onto Q's."""
    cp = P.mean(1)
    cq = Q.mean(0)
    A = P - cp[:, None, :]
    B = Q - cq
    H = np.einsum("nki,kj->nij", A, B)
    U, S, Vt = np.linalg.svd(H)
    d = np.sign(np.linalg.det(np.einsum("nij,njk->nik", U, Vt)))
    D = np.ones((len(P), 3))
    D[:, 2] = d
    R = np.einsum("nij,nj,njk->nik", U, D, Vt)
    moved = np.einsum("nki,nij->nkj", A, R) + cq
    rmsd = np.sqrt(((moved - Q) ** 2).sum(-1).mean(1))
    return R, cp, cq, rmsd


def hits(db, chain, a, b, excluded=frozenset()):
    """Hits for the loop chain[a..b] (residue dicts of the target's chain, in order): loop
    backbones (h, L, 4, 3) in the target's frame, their stem RMSD and loop sequences."""
    L = b - a + 1
    if a < 2 or b + 2 >= len(chain):
        return np.zeros((0, L, 4, 3)), np.zeros(0), []
    stems = [chain[i] for i in (a - 2, a - 1, b + 1, b + 2)]
    if not all(all(x in r["atoms"] for x in ("N", "CA", "C")) for r in stems):
        return np.zeros((0, L, 4, 3)), np.zeros(0), []
    Q = np.array([r["atoms"][x] for r in stems for x in ("N", "CA", "C")], float)
    bb, brk, owner = db["bb"], db["brk"], db["chain"]
    n = len(bb)
    W = L + 4
    # A window starting at s covers s .. s + W - 1; no break between any two of them.
    cum = np.concatenate([[0], np.cumsum(brk[:-1].astype(np.int64))])
    starts = np.arange(0, n - W + 1)
    ok = (cum[starts + W - 1] - cum[starts]) == 0
    if excluded:
        ok &= ~np.isin(owner[starts], np.array(sorted(excluded), np.int32))
    starts = starts[ok]
    idx = np.stack([starts, starts + 1, starts + L + 2, starts + L + 3], 1)
    P = bb[idx][:, :, :3, :].reshape(len(starts), 12, 3).astype(float)
    R, cp, cq, rmsd = kabsch_rmsd(P, Q)
    good = rmsd <= STEM_LIMIT
    starts, R, cp, rmsd = starts[good], R[good], cp[good], rmsd[good]
    loops = bb[starts[:, None] + 2 + np.arange(L)[None, :]].astype(float)  # (h, L, 4, 3)
    loops = np.einsum("nlai,nij->nlaj", loops - cp[:, None, None, :], R) + cq
    frame = np.array([r["atoms"]["CA"] for i, r in enumerate(chain) if (i < a or i > b) and "CA" in r["atoms"]], float)
    ca = loops[:, :, 1, :]
    if len(loops):
        d2 = ((ca[:, :, None, :] - frame[None, None, :, :]) ** 2).sum(-1)
        clear = (d2 >= CLASH_CA ** 2).all(axis=(1, 2))
        loops, rmsd, starts = loops[clear], rmsd[clear], starts[clear]
    seq = db["seq"]
    seqs = [bytes(seq[s + 2:s + 2 + L]).decode() for s in starts]
    return loops, rmsd, seqs


def scores(decoys, loops, stem_rmsd, hit_seqs, target_seq, with_seq):
    """F for each decoy (n, L, 4, 3)."""
    if len(loops) == 0:
        return np.zeros(len(decoys))
    w = np.exp(-(stem_rmsd / STEM_WIDTH) ** 2)
    if with_seq:
        w = w * np.exp(np.array([blosum_sum(s, target_seq) for s in hit_seqs]) / SEQ_T)
    D = decoys.reshape(len(decoys), -1)
    H = loops.reshape(len(loops), -1)
    k = D.shape[1] // 3
    d2 = ((D ** 2).sum(1)[:, None] + (H ** 2).sum(1)[None, :] - 2 * D @ H.T) / k
    r2 = np.clip(d2, 0, None)
    # In log space: the largest term first, so that far decoys do not all round to zero.
    logw = np.log(w)[None, :] - r2 / WIDTH ** 2
    top = logw.max(1)
    return -(top + np.log(np.exp(logw - top[:, None]).sum(1) + 1e-12 * np.exp(-top)))


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "database":
        database(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
