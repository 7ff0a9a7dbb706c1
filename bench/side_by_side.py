"""The Linux build and another build (the Windows one under Wine) in the same
run: CPU of a paced transfer, and wake-ups while a reply is held back.

    CNCSEND_EXE=build-win64/src/app/cncsend.exe \\
    CNCSEND_RUNNER=tools/wine/cncsend-wine WINEPREFIX=... \\
        python3 bench/side_by_side.py [--lines N] [--reps N]

Each build sends a job of N lines of 30 bytes to cncsim at 9600 baud in a
tmux pane, the questions answered as an operator would. Its CPU (user and
system of the process and its children) less that of an empty job, as a
share of the transfer's wall time, is the median of --reps pairs of runs.
Under Wine the server process works for the program too: its CPU over the
same runs is shown beside it.

Wake-ups: cncsim holds back the reply to the first job line; the context
switches of every thread of the program's process over 3 seconds, per
second (and the Wine server's, for the Windows build, beside its own rate
with no program running: Wine's services keep it busy). Without
CNCSEND_EXE only the Linux build runs.
"""
import argparse
import atexit
import glob
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import job_run  # noqa: E402
from job_run import CNCSIM, JobRun, preparation  # noqa: E402

RUSAGE_OF = os.path.join(HERE, "rusage_of.py")
HOLD_SECONDS = 3.0


def job_bytes(lines):
    return b"".join((b"@0A%07d,3000,0,3000,0,3000,0,3" % i)[:30] + b"\r\n" for i in range(lines))


def wineserver_pid():
    """The Wine server of WINEPREFIX, for a build that runs under Wine."""
    if not job_run.RUNNER:
        return None
    found = subprocess.run(["pgrep", "-x", "wineserver64"], capture_output=True, text=True)
    wanted = f"WINEPREFIX={os.environ.get('WINEPREFIX', '')}".encode()
    for pid in found.stdout.split():
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                if wanted in f.read().split(b"\0"):
                    return int(pid)
        except OSError:
            pass
    return None


def cpu_of(pid):
    """User and system seconds of one process (0 when there is none)."""
    if pid is None:
        return 0.0
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def switches_of(pid):
    """Context switches of all threads of a process, voluntary or not."""
    total = 0
    for status in glob.glob(f"/proc/{pid}/task/*/status"):
        try:
            with open(status) as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        total += int(line.split()[1])
        except OSError:
            pass  # a thread that ended
    return total


def use_build(exe, runner):
    job_run.CNCSEND = exe
    job_run.RUNNER = runner


def transfer(lines):
    """(program CPU s, wall s, server CPU s) of one paced transfer."""
    run = JobRun(job=job_bytes(lines), simulator=False)
    usage = os.path.join(run.dir, "usage.txt")
    run.pane.argv = [CNCSIM, "--baud", "9600", "--", sys.executable, RUSAGE_OF, usage,
                     *job_run.RUNNER, run.exe, "job.nc"]
    server = wineserver_pid()
    server_before = cpu_of(server)
    with run:
        run.answer(0, 0, 0, 0)
        run.pane.wait_for("weiter ..\n?")
        run.pane.send_keys("Enter")
        assert run.exit_status(timeout=lines * 0.2 + 60) == 0
        with open(usage) as f:
            user, system, wall, _ = (float(v) for v in f.read().split())
    return user + system, wall, cpu_of(server) - server_before


def paced_share(lines, reps):
    """Medians of (program %, server %) of the wall time, empty job taken out."""
    program, server = [], []
    for _ in range(reps):
        empty, full = transfer(0), transfer(lines)
        wall = full[1] - empty[1]
        program.append((full[0] - empty[0]) / wall * 100)
        server.append((full[2] - empty[2]) / wall * 100)
    return statistics.median(program), statistics.median(server)


def held_wakeups():
    """(program, server, idle server) context switches per second while a
    reply is held; the server's own when no program runs, for comparison."""
    server = wineserver_pid()
    idle = switches_of(server) if server else 0
    time.sleep(HOLD_SECONDS)
    idle = (switches_of(server) - idle) / HOLD_SECONDS if server else 0.0
    first_job_line = len(preparation()) + 1
    with JobRun(job=b"L1\r\nL2\r\n", cncsim_options=["--reply", f"{first_job_line}="]) as run:
        run.answer(0, 0, 0, 0)
        run.pane.wait_for("weiter ..\n?")
        run.pane.send_keys("Enter")
        run.pane.wait_for("abgearbeitet")
        time.sleep(1.0)
        pid = run.pid()
        before = switches_of(pid), switches_of(server) if server else 0
        time.sleep(HOLD_SECONDS)
        after = switches_of(pid), switches_of(server) if server else 0
        run.pane.send_keys("Escape")
        assert run.exit_status(timeout=5) == 0
    return (*((a - b) / HOLD_SECONDS for a, b in zip(after, before)), idle)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--lines", type=int, default=300)
    parser.add_argument("--reps", type=int, default=3)
    args = parser.parse_args()
    other = os.environ.get("CNCSEND_EXE")
    builds = [("Linux", job_run.build_path("src", "app", "cncsend"), [])]
    if other:
        builds.append(("other", os.path.abspath(other), list(job_run.RUNNER)))
    print(f"{args.lines} lines at 9600 baud, {args.reps} repetitions, medians; "
          f"wake-ups over {HOLD_SECONDS:.0f} s with a reply held back")
    print(f"  {'build':<44}{'CPU % wall':>11}{'server %':>10}{'wake-ups/s':>12}"
          f"{'server/s':>10}{'idle/s':>8}")
    if job_run.RUNNER:
        # One Wine server for the whole run: one that ends when its last
        # program does would take its counts with it.
        wineserver = os.environ.get("WINESERVER", "/usr/lib/wine/wineserver")
        subprocess.Popen([wineserver, "-p"], stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        atexit.register(subprocess.run, [wineserver, "-k"], capture_output=True)
        time.sleep(1.0)
    for label, exe, runner in builds:
        use_build(exe, runner)
        if runner:
            label = " ".join(os.path.basename(w) for w in [*runner, exe])
        share, server_share = paced_share(args.lines, args.reps)
        wakeups, server_wakeups, idle = held_wakeups()
        print(f"  {label:<44}{share:>11.2f}{server_share:>10.2f}{wakeups:>12.1f}"
              f"{server_wakeups:>10.1f}{idle:>8.1f}", flush=True)


if __name__ == "__main__":
    main()
