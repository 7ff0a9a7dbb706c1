"""CPU used by cncsend while it sends a job to cncsim at the wire speed of a
real line, with the console in a tmux pane and the answers typed.

    python3 bench/transfer_cpu.py [LINES] [BAUD]

Prints the wall time, cncsend's user and system CPU seconds and the CPU as
a share of the wall time (the countdown's three seconds included)."""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from job_run import CNCSIM, JobRun  # noqa: E402


def main():
    lines = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    baud = sys.argv[2] if len(sys.argv) > 2 else "9600"
    job = b"".join(b"@0A%05d,3000,0,3000,0,3000,0,30\r\n" % i for i in range(lines))
    run = JobRun(job=job, simulator=False)
    usage_file = os.path.join(run.dir, "usage.txt")
    run.pane.argv = [CNCSIM, "--baud", baud, "--summary", run.summary, "--",
                     sys.executable, os.path.join(HERE, "rusage_of.py"), usage_file,
                     run.exe, "job.nc"]
    with run:
        run.answer(0, 0, 0, 0)
        run.pane.wait_for("weiter ..\n?")
        run.pane.send_keys("Enter")
        status = run.exit_status(timeout=lines * 0.2 + 60)
        with open(usage_file) as f:
            user, system, wall, rss = (float(v) for v in f.read().split())
        with open(run.summary) as f:
            summary = f.read().strip()
    cpu = user + system
    print(f"{lines} job lines at {baud} baud, exit code {status}")
    print(summary)
    print(f"cncsend: wall {wall:.2f} s, user {user:.3f} s, system {system:.3f} s, "
          f"CPU {cpu / wall * 100:.2f}% of wall, {cpu / lines * 1e6:.0f} us per line, "
          f"peak resident {rss / 1024:.1f} MiB")


if __name__ == "__main__":
    main()
