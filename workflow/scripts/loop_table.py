"""The loop table of a batch: read, check, select rows.

Tab-separated with a header. Columns (the first name is the prediction table's,
the second the benchmark's): id/case_id, file, chain, start/start_pdbnum,
end/end_pdbnum; optional sequence, set, length; others are ignored. "file" is
absolute or relative to the table.

    loop_table.py TABLE      checks a table: prints the number of loops, or the
                             first fault and exits 1
"""

import csv
import os
import re
import sys

COLUMNS = {"id": ("id", "case_id"), "file": ("file",), "chain": ("chain",),
           "start": ("start", "start_pdbnum"), "end": ("end", "end_pdbnum")}


def read_loops(path, select=None):
    """{id: {case_id, set, length, file (normalised), shown (as written), chain,
    start, end, sequence}} of the rows that select ({column: [values]}, empty
    lists select all) keeps. Raises ValueError naming the file, line and fault."""
    if not os.path.exists(path):
        raise ValueError("loop table %s does not exist" % path)
    want = {k: set(str(v) for v in ((select or {}).get(k) or []))
            for k in ("case_id", "set", "length")}
    with open(path, newline="") as fh:
        reader = csv.DictReader(fh, delimiter="\t")
        names = reader.fieldnames or []
        col = {}
        for key, options in COLUMNS.items():
            found = [c for c in options if c in names]
            if not found:
                raise ValueError("%s: missing column %s" % (path, " or ".join(options)))
            col[key] = found[0]
        loops = {}
        for lineno, row in enumerate(reader, 2):
            def get(key):
                return (row.get(col.get(key, key)) or "").strip()
            case = get("id")
            if not re.fullmatch(r"[A-Za-z0-9_.+-]+", case):
                raise ValueError("%s:%d: id %r must be letters, digits, '_', '.', '+' or '-'"
                                 % (path, lineno, case))
            if case in loops:
                raise ValueError("%s:%d: id %s appears twice" % (path, lineno, case))
            for key in ("file", "start", "end"):
                if not get(key):
                    raise ValueError("%s:%d: %s is empty" % (path, lineno, col[key]))
            loops[case] = None   # seen, even when not selected
            values = {"case_id": case, "set": get("set"), "length": get("length")}
            if any(want[k] and values[k] not in want[k] for k in want):
                continue
            shown = get("file")
            values.update({"file": os.path.normpath(os.path.join(os.path.dirname(path), shown)),
                           "shown": shown, "chain": get("chain") or "-", "start": get("start"),
                           "end": get("end"), "sequence": get("sequence")})
            loops[case] = values
    loops = {k: v for k, v in loops.items() if v is not None}
    if not loops:
        raise ValueError("%s: no loop selected" % path)
    return loops


def main(argv):
    try:
        print("%d loops" % len(read_loops(argv[1])))
    except ValueError as exc:
        print(exc, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
