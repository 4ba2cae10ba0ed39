"""Chain step of a benchmark loop: write the ATOM records of one chain (first
model) of a PDB file (gzipped or not) to chain.pdb, unchanged.

Today's lorvane reads every ATOM record of its input as one chain, so with chain
extraction on, each loop runs on a file holding only its own chain. Usage:
    extract_chain.py --file IN.pdb --chain C --start S --end E --out chain.pdb
                     --record chain.json [--keep-failures]
Chain "-", "_" or "" means the blank chain identifier. START and END (residue
number, optional insertion code) must be present with a residue on either side.
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import loopkit  # noqa: E402
import steps  # noqa: E402


def chain_records(src, chain):
    """The ATOM records of one chain (one character, blank allowed) of a PDB file's first
    model, and the (number, insertion code) of its residues in file order."""
    if len(chain) != 1:
        raise ValueError("chain identifier must be one character, got %r" % chain)
    lines = []
    numbers = []
    with loopkit.open_text(src) as fh:
        for line in fh:
            if line.startswith("ENDMDL"):
                break
            if line.startswith("ATOM  ") and len(line) > 26 and line[21] == chain:
                lines.append(line if line.endswith("\n") else line + "\n")
                num = (int(line[22:26]), line[26])
                if not numbers or numbers[-1] != num:
                    numbers.append(num)
    return lines, numbers


def check_loop(name, chain, numbers, start, end):
    """Raises ValueError unless the chain's residues (numbers, in order) hold the loop's
    start and end with a residue on either side."""
    if not numbers:
        raise ValueError("%s: no ATOM records for chain %r" % (name, chain))
    for what, value in (("start", start), ("end", end)):
        if loopkit.parse_resid(value) not in numbers:
            raise ValueError("%s chain %r: %s residue %s not found" % (name, chain, what, value))
    if loopkit.parse_resid(end) == numbers[-1] or loopkit.parse_resid(start) == numbers[0]:
        raise ValueError("%s chain %r: loop %s-%s has no anchor residue on one side"
                         % (name, chain, start, end))


def write_chain(lines, dst):
    """ATOM records (newline-terminated) as a one-chain PDB file, replaced only once written."""
    tmp = dst + ".tmp"
    with open(tmp, "w") as out:
        out.writelines(lines)
        out.write("TER\nEND\n")
    os.replace(tmp, dst)


def extract(src, chain, dst, start, end):
    chain = loopkit.pdb_chain(chain)
    if len(chain) != 1:  # before the format, as the first fault a table can have
        raise ValueError("chain identifier must be one character, got %r" % chain)
    if loopkit.is_cif(src):
        raise ValueError("%s: chain extraction reads PDB files only (set extract_chain: false)"
                         % os.path.basename(src))
    lines, numbers = chain_records(src, chain)
    check_loop(os.path.basename(src), chain, numbers, start, end)
    write_chain(lines, dst)
    return {"file": os.path.basename(dst)}


def main():
    p = argparse.ArgumentParser()
    for name in ("file", "chain", "start", "end", "out", "record"):
        p.add_argument("--" + name, required=True)
    p.add_argument("--keep-failures", action="store_true")
    a = p.parse_args()
    return steps.run_step("chain", a.record,
                          lambda: extract(a.file, a.chain, a.out, a.start, a.end),
                          keep_failures=a.keep_failures)


if __name__ == "__main__":
    sys.exit(main())
