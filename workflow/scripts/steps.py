"""Per-loop steps of a batch and the records they leave.

Every step of a loop (chain extraction, sampling, compare mode, analysis) writes
one JSON record, loops/<case>/<step>.json, the only output the workflow tracks:
  {"step": ..., "status": "ok" | "failed", "failed_step": ..., "message": ..., ...}
A step whose input record says "failed" does not run and passes the failure on,
so the last step of a loop always has a record to summarise. A failure inside a
step (an exception, a program exiting non-zero) becomes a failed record with a
one-line message; the batch goes on with the other loops. With keep_failures
off the step exits 1 instead, as a plain Snakemake job would.

The summary then writes <step>.retry beside the record of each loop's failing
step; as a new input of that step it makes the next run redo the step and what
follows it, and leaves every successful loop untouched.
"""

import json
import os
import shlex
import signal
import subprocess
import sys
import time


class StepFailed(Exception):
    """A step's failure that still has figures to record (times, command line)."""

    def __init__(self, message, **fields):
        super().__init__(message)
        self.fields = fields


def one_line(text):
    """The message of a failure as one line: the last non-empty line of text."""
    lines = [x.strip() for x in str(text).splitlines() if x.strip()]
    return lines[-1] if lines else "failed without a message"


def describe(exc):
    """One line for an exception; the type is named unless the message is meant for users."""
    if isinstance(exc, (ValueError, OSError)) and str(exc):
        return one_line(exc)
    return one_line("%s: %s" % (type(exc).__name__, exc))


def read_record(path):
    with open(path) as fh:
        return json.load(fh)


def write_json(path, data):
    tmp = path + ".tmp"
    with open(tmp, "w") as fh:
        json.dump(data, fh, indent=1, sort_keys=True)
        fh.write("\n")
    os.replace(tmp, path)


def failed_upstream(paths):
    """The first failed record among paths, or None."""
    for p in paths:
        rec = read_record(p)
        if rec.get("status") != "ok":
            return rec
    return None


def run_step(step, record, work, upstream=(), keep_failures=True, always=None):
    """Run work() -> dict of fields unless an upstream record failed; write the
    step's record either way, with the fields of always in any case. Returns
    the process exit status."""
    rec = dict(always or {})
    up = failed_upstream(upstream)
    if up is not None:
        rec.update(status="failed", failed_step=up.get("failed_step") or up.get("step"),
                   message=up.get("message", ""))
    else:
        try:
            rec.update(work() or {})
            rec.setdefault("status", "ok")
        except StepFailed as exc:
            rec.update(exc.fields, status="failed", failed_step=step, message=one_line(exc))
        except Exception as exc:  # every failure of a step is the loop's, not the batch's
            rec.update(status="failed", failed_step=step, message=describe(exc))
    rec["step"] = step
    rec.setdefault("message", "")
    rec.setdefault("failed_step", "")
    if rec["status"] != "ok" and not keep_failures:
        print("%s failed: %s" % (step, rec["message"]), file=sys.stderr)
        return 1
    write_json(record, rec)
    return 0


def invalidate(loopdir, rec):
    """Ask for the loop's failing step to be redone: write <step>.retry, which the
    workflow adds to that step's inputs when it exists. The new input makes
    Snakemake redo the step and the ones after it on the next run; loops without
    such a file stay untouched. (Deleting or back-dating the record would not
    do: Snakemake rebuilds no missing intermediate file when everything
    downstream is up to date, and takes unchanged small inputs as not updated.)"""
    step = rec.get("failed_step") or rec.get("step")
    with open(os.path.join(loopdir, step + ".retry"), "w") as fh:
        fh.write("%s failed at %s: %s\n" % (step, time.strftime("%Y-%m-%d %H:%M:%S"),
                                            rec.get("message", "")))


def run_measured(cmd, cwd, out_path, err_path, timeout_s=0.0):
    """Run cmd with stdout and stderr to files. Returns (exit status, wall s,
    user s, sys s, peak RSS MiB, timed out). Times and memory are the child's,
    from os.wait4, so no external `time` program is needed."""
    with open(out_path, "w") as out, open(err_path, "w") as err:
        t0 = time.monotonic()
        proc = subprocess.Popen(cmd, cwd=cwd, stdout=out, stderr=err,
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


def exit_message(status, out_path, err_path, timeout_s, timed_out):
    """Why a program run failed, in one line: the last line on standard error,
    else the first one of standard output (today's program prints its usage
    errors there)."""
    if timed_out:
        return "killed after the time limit of %g min" % (timeout_s / 60.0)
    if status < 0:
        sig = -status
        name = signal.Signals(sig).name if sig in signal.Signals._value2member_map_ else str(sig)
        hint = " (out of memory?)" if sig == signal.SIGKILL else ""
        return "killed by signal %s%s" % (name, hint)
    err, out = read_text(err_path), read_text(out_path)
    if err.strip():
        return "exit status %d: %s" % (status, one_line(err))
    first = next((x.strip() for x in out.splitlines() if x.strip()), "")
    return "exit status %d: %s" % (status, first) if first \
        else "exit status %d, no message" % status


def read_text(path):
    if not os.path.exists(path):
        return ""
    with open(path, errors="replace") as fh:
        return fh.read()


def command_for(exe):
    exe = os.path.abspath(exe)
    if exe.endswith(".py"):
        return [sys.executable, exe]
    return [exe]


def shown_command(argv, shown):
    """The command line as the report shows it: the program as `lorvane` and
    every path replaced by its spelling in shown {actual: shown}."""
    words = []
    skip = 0
    if argv and argv[0] == sys.executable and len(argv) > 1 and argv[1].endswith(".py"):
        skip = 1
    for i, w in enumerate(argv):
        if i < skip:
            continue
        words.append("lorvane" if i == skip else shown.get(w, w))
    return " ".join(shlex.quote(w) for w in words)
