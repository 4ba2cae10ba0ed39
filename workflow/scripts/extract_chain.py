"""Write the ATOM records of one chain (first model) of a PDB file to a new file.

lorvane reads every ATOM record of its input as one chain, so each loop is run on
a file that holds only its own chain. Usage:
    extract_chain.py IN.pdb CHAIN OUT.pdb START END
CHAIN "-", "_" or "" means the blank chain identifier. START and END (PDB residue
numbers) are checked to be present, with a residue after END (lorvane never
matches the chain's last residue).
"""

import os
import sys


def main(argv):
    if len(argv) != 6:
        print("usage: extract_chain.py IN.pdb CHAIN OUT.pdb START END", file=sys.stderr)
        return 2
    src, chain, dst, start, end = argv[1], argv[2], argv[3], int(argv[4]), int(argv[5])
    if chain in ("-", "_", ""):
        chain = " "
    if len(chain) != 1:
        print("%s: chain identifier must be one character, got %r" % (src, chain), file=sys.stderr)
        return 1
    lines = []
    numbers = []
    try:
        fh = open(src)
    except OSError as exc:
        print("cannot open structure file %s: %s" % (src, exc.strerror), file=sys.stderr)
        return 1
    with fh:
        for line in fh:
            if line.startswith("ENDMDL"):
                break
            if line.startswith("ATOM  ") and len(line) > 26 and line[21] == chain:
                lines.append(line if line.endswith("\n") else line + "\n")
                num = (int(line[22:26]), line[26])
                if not numbers or numbers[-1] != num:
                    numbers.append(num)
    if not lines:
        print("%s: no ATOM records for chain %r" % (src, chain), file=sys.stderr)
        return 1
    plain = [n for n, ic in numbers if ic == " "]
    for what, value in (("start", start), ("end", end)):
        if value not in plain:
            print("%s chain %r: %s residue %d not found" % (src, chain, what, value), file=sys.stderr)
            return 1
    if (end, " ") == numbers[-1]:
        print("%s chain %r: loop end %d is the chain's last residue" % (src, chain, end),
              file=sys.stderr)
        return 1
    tmp = dst + ".tmp"
    with open(tmp, "w") as out:
        out.writelines(lines)
        out.write("TER\nEND\n")
    os.replace(tmp, dst)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
