"""Run one lorvane sampling job in its own directory and measure it.

The job directory gets a data/ symlink, a copy of the one-chain input named
chain.pdb and an empty pdbout/, so two loops never write the same result file
even when their loop ids coincide. Wall time, CPU time (user + system) and peak
resident memory of the lorvane process come from os.wait4, so no external
`time` program is needed.

Usage: run_loop.py --exe PATH --data DIR --chain chain.pdb --start S --end E
       --threads T --args "..." --rundir DIR --result OUT.txt --stats OUT.json
       --log OUT.log [--timeout-min M] [--keep-failures]
With --keep-failures a failed, timed-out or empty run still produces (empty)
outputs and its status is recorded, so a benchmark goes on with the other loops.
"""

import argparse
import json
import os
import shlex
import shutil
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import loopkit  # noqa: E402


def command_for(exe):
    exe = os.path.abspath(exe)
    if exe.endswith(".py"):
        return [sys.executable, exe]
    return [exe]


def run_measured(cmd, cwd, log_path, timeout_s):
    """Run cmd, return (exit status, wall s, user s, sys s, peak RSS MiB, timed out)."""
    import subprocess
    with open(log_path, "w") as log:
        log.write("# " + " ".join(shlex.quote(c) for c in cmd) + "\n")
        log.flush()
        t0 = time.monotonic()
        proc = subprocess.Popen(cmd, cwd=cwd, stdout=log, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, start_new_session=True)
        timed_out = False
        while True:
            pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
            if pid == proc.pid:
                break
            if timeout_s and time.monotonic() - t0 > timeout_s:
                timed_out = True
                try:
                    os.killpg(proc.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                pid, status, usage = os.wait4(proc.pid, 0)
                break
            time.sleep(0.05 if time.monotonic() - t0 < 5 else 1.0)
        wall = time.monotonic() - t0
        proc.returncode = os.waitstatus_to_exitcode(status)
    # ru_maxrss is in KiB on Linux
    return (proc.returncode, wall, usage.ru_utime, usage.ru_stime,
            usage.ru_maxrss / 1024.0, timed_out)


def main():
    p = argparse.ArgumentParser()
    for name in ("exe", "data", "chain", "rundir", "result", "stats", "log"):
        p.add_argument("--" + name, required=True)
    p.add_argument("--start", type=int, required=True)
    p.add_argument("--end", type=int, required=True)
    p.add_argument("--threads", type=int, default=1)
    p.add_argument("--args", default="")
    p.add_argument("--timeout-min", type=float, default=0.0)
    p.add_argument("--keep-failures", action="store_true")
    a = p.parse_args()

    data = os.path.abspath(a.data)
    if not os.path.isdir(data):
        print("data directory %s does not exist" % data, file=sys.stderr)
        return 1
    exe = os.path.abspath(a.exe)
    if not os.access(exe, os.X_OK) and not exe.endswith(".py"):
        print("lorvane executable %s not found or not executable" % exe, file=sys.stderr)
        return 1

    rundir = os.path.abspath(a.rundir)
    if os.path.isdir(rundir):
        shutil.rmtree(rundir)      # a rerun starts clean: no stale pdbout/ files
    os.makedirs(os.path.join(rundir, "pdbout"))
    os.symlink(data, os.path.join(rundir, "data"))
    shutil.copyfile(a.chain, os.path.join(rundir, "chain.pdb"))

    cmd = command_for(exe) + ["-f", "chain.pdb", "-start", str(a.start), "-end", str(a.end),
                              "-cores", str(a.threads)] + shlex.split(a.args)
    status, wall, user, system, rss, timed_out = run_measured(
        cmd, rundir, os.path.abspath(a.log), a.timeout_min * 60.0)

    produced = os.path.join(rundir, "pdbout", loopkit.loop_id("chain.pdb", a.start, a.end) + ".txt")
    n_conf = 0
    if os.path.exists(produced):
        with open(produced) as fh:
            n_conf = sum(1 for line in fh if line.startswith("LOOP "))
    if timed_out:
        state = "timeout"
    elif status != 0:
        state = "failed"
    elif not os.path.exists(produced):
        state = "no_result"
    elif n_conf == 0:
        state = "empty"
    else:
        state = "ok"

    stats = {"status": state, "exit_status": status, "wall_s": round(wall, 3),
             "user_s": round(user, 3), "sys_s": round(system, 3),
             "cpu_s": round(user + system, 3), "peak_rss_mb": round(rss, 1),
             "n_conformations": n_conf, "threads": a.threads,
             "command": " ".join(shlex.quote(c) for c in cmd)}

    if state != "ok" and not a.keep_failures:
        print("lorvane run for loop %d-%d ended with status %s (exit %d); see %s"
              % (a.start, a.end, state, status, a.log), file=sys.stderr)
        return 1
    if os.path.exists(produced):
        shutil.move(produced, a.result)
    else:
        open(a.result, "w").close()
    tmp = a.stats + ".tmp"
    with open(tmp, "w") as fh:
        json.dump(stats, fh, indent=1)
        fh.write("\n")
    os.replace(tmp, a.stats)
    return 0


if __name__ == "__main__":
    sys.exit(main())
