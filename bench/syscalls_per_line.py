"""System calls per job line: cncsend under `strace -f -c` sending a job to
cncsim that answers at once, less a run of an empty job, per line.

    python3 bench/syscalls_per_line.py [--lines N]

The console is a pseudo-terminal answered like an operator (as in
senders.py). Prints the calls per line in all and for each system call.
"""
import argparse
import os
import shutil
import sys
import tempfile

import senders


def strace_counts(path):
    """{system call: calls} from strace -c's table."""
    counts = {}
    with open(path) as f:
        rows = f.read().splitlines()
    dashes = [i for i, row in enumerate(rows) if row.startswith("------")]
    for row in rows[dashes[0] + 1:dashes[1]]:
        fields = row.split()
        counts[fields[-1]] = int(fields[3])
    return counts


def traced_run(workdir, exe, job, lines):
    out = os.path.join(workdir, "strace.txt")
    argv = [senders.CNCSIM, "--summary", os.path.join(workdir, "summary.txt"), "--",
            "strace", "-f", "-c", "-o", out, exe, job]
    status, _ = senders.run_on_pty(argv, workdir, "tty", senders.DIALOGUE, 60 + lines * 0.01)
    if status != 0:
        raise RuntimeError(f"cncsend ended with {status} ({lines} lines)")
    return strace_counts(out)


def per_line(exe, lines):
    """(calls per line in all, {system call: calls per line})."""
    workdir = tempfile.mkdtemp(prefix="cncsend-strace-")
    try:
        local = os.path.join(workdir, "cncsend")
        shutil.copy2(exe, local)
        with open(os.path.join(workdir, "down.cfg"), "wb") as f:
            f.write(b"1,1,1\r\n")
        for name, count in (("empty.nc", 0), ("job.nc", lines)):
            with open(os.path.join(workdir, name), "wb") as f:
                f.write(senders.job_bytes(count))
        empty = traced_run(workdir, local, "empty.nc", 0)
        full = traced_run(workdir, local, "job.nc", lines)
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    each = {name: (full.get(name, 0) - empty.get(name, 0)) / lines for name in full}
    each = {name: n for name, n in each.items() if abs(n) >= 0.005}
    return sum(each.values()), each


def report(lines, exe=senders.CNCSEND):
    total, each = per_line(exe, lines)
    detail = ", ".join(f"{name} {n:.2f}" for name, n in sorted(each.items(), key=lambda i: -i[1]))
    print(f"cncsend system calls per job line (strace, {lines} lines, controller answering "
          f"at once): {total:.2f} ({detail})")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--lines", type=int, default=20000)
    args = parser.parse_args()
    if not shutil.which("strace"):
        sys.exit("strace is not installed")
    report(args.lines)


if __name__ == "__main__":
    main()
