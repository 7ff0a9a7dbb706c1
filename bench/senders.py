"""cncsend side by side with a minimal blocking sender and pyserial, each
sending a job to cncsim on the same pseudo-terminal set-up.

    python3 bench/senders.py [--reps N] [--fast-lines N] [--paced-lines N]
                             [--big-lines N] [--quick]

Every sender runs under cncsim (`cncsim -- rusage_of.py OUT SENDER ...`) with
its console on a pseudo-terminal of 80 x 25 that this script reads and
answers like an operator. Reported per sender and mode (medians of --reps):

- lines per second and CPU microseconds per line (user + system of the
  sender process), and CPU as a share of wall time;
- for cncsend, with standard input the terminal, a file at its end and
  /dev/null (paced mode), and writing its run record (CNCSEND_LOG, fast
  mode), with the record's cost as a ratio of CPU per line;
- cncsend's peak resident size for a small and a big job, and the terminal
  bytes it writes per job line.

The fixed costs of a run (cncsend's questions and its three-second
countdown, a sender's start-up) are taken out: each figure is the
difference between a run of N lines and a run of an empty job, so the
figures describe the transfer itself.

Modes: fast (cncsim answers at once) and paced (cncsim paces both
directions like a line of 9600 baud).
"""
import argparse
import fcntl
import os
import select
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import termios
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.environ.get("CNCSEND_BUILD_DIR") or os.path.join(HERE, "..", "build")
CNCSEND = os.path.join(BUILD, "src", "app", "cncsend")
CNCSIM = os.path.join(BUILD, "tools", "cncsim", "cncsim")
REFERENCE = os.path.join(BUILD, "bench", "reference_sender")
RUSAGE_OF = os.path.join(HERE, "rusage_of.py")
PYSERIAL = os.path.join(HERE, "pyserial_sender.py")

ANSWERS = b"0\r\n0\r\n0\r\n0\r\n\r\n"
# What cncsend asks on the terminal, and what the operator types.
DIALOGUE = [(b"Verschiebung in x", b"0\r"), (b"Verschiebung in y", b"0\r"),
            (b"Verschiebung in z", b"0\r"), (b"Spindeldrehzahl", b"0\r"),
            (b"weiter ..", b"\r")]
TRANSFER_MARK = b"abgearbeitet:"
CURSOR_QUERY = b"\x1b[6n"


def job_bytes(lines):
    """Lines of 30 bytes (CR LF not counted), each one different."""
    return b"".join((b"@0A%07d,3000,0,3000,0,3000,0,3" % i)[:30] + b"\r\n" for i in range(lines))


# Debian's python3-serial lives with the system's Python.
PYSERIAL_PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable


# cncsend writing its run record (CNCSEND_LOG) to a file in the bench folder.
RECORDING = "cncsend, CNCSEND_LOG"


def pyserial_available():
    return subprocess.run([PYSERIAL_PYTHON, "-c", "import serial"],
                          capture_output=True).returncode == 0


def run_on_pty(argv, cwd, stdin_mode, dialogue, timeout):
    """Runs argv with its output on a fresh pseudo-terminal, answering the
    dialogue when standard input is the terminal. Returns the exit code and
    the terminal bytes written after the transfer began."""
    master, slave = os.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 25, 80, 0, 0))
    if stdin_mode == "tty":
        stdin = slave
    elif stdin_mode == "file":
        path = os.path.join(cwd, "answers.txt")
        with open(path, "wb") as f:
            f.write(ANSWERS)
        stdin = open(path, "rb")
    else:
        stdin = open(os.devnull, "rb")
    env = dict(os.environ, LANG="C", LC_ALL="C", TERM="xterm")
    # The terminal becomes the run's controlling terminal, as in a login
    # session, so the program finds itself in the foreground.
    proc = subprocess.Popen(argv, cwd=cwd, stdin=stdin, stdout=slave, stderr=slave,
                            start_new_session=True, env=env,
                            preexec_fn=lambda: fcntl.ioctl(1, termios.TIOCSCTTY, 0))
    os.close(slave)
    if stdin_mode != "tty":
        stdin.close()
    steps = list(dialogue) if stdin_mode == "tty" else []
    out = bytearray()
    searched = 0
    deadline = time.monotonic() + timeout
    try:
        while time.monotonic() < deadline:
            ready, _, _ = select.select([master], [], [], 0.5)
            if not ready:
                if proc.poll() is not None:
                    break
                continue
            try:
                chunk = os.read(master, 65536)
            except OSError:
                break  # every writer has closed the terminal
            if not chunk:
                break
            out += chunk
            # The terminal answers where its cursor is.
            for _ in range(chunk.count(CURSOR_QUERY)):
                os.write(master, b"\x1b[1;1R")
            while steps:
                at = out.find(steps[0][0], searched)
                if at < 0:
                    break
                searched = at + len(steps[0][0])
                os.write(master, steps.pop(0)[1])
        else:
            proc.kill()
            raise RuntimeError(f"{argv} did not end in {timeout} s:\n{bytes(out[-500:])}")
        status = proc.wait(timeout=10)
    finally:
        os.close(master)
    mark = out.find(TRANSFER_MARK)
    transfer_bytes = len(out) - mark - len(TRANSFER_MARK) if mark >= 0 else 0
    return status, transfer_bytes


class Bench:
    def __init__(self, reps):
        self.reps = reps
        self.dir = tempfile.mkdtemp(prefix="cncsend-bench-")
        shutil.copy2(CNCSEND, os.path.join(self.dir, "cncsend"))
        with open(os.path.join(self.dir, "down.cfg"), "wb") as f:
            f.write(b"1,1,1\r\n")
        self.jobs = {}

    def close(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def job(self, lines):
        if lines not in self.jobs:
            name = f"job{lines}.nc"
            with open(os.path.join(self.dir, name), "wb") as f:
                f.write(job_bytes(lines))
            self.jobs[lines] = name
        return self.jobs[lines]

    def sender_argv(self, sender, job):
        if sender == "cncsend":
            return [os.path.join(self.dir, "cncsend"), job]
        if sender == RECORDING:
            # env execs cncsend in the same process: its rusage is cncsend's.
            record = os.path.join(self.dir, "record.log")
            return ["env", f"CNCSEND_LOG={record}", os.path.join(self.dir, "cncsend"), job]
        if sender == "reference":
            return [REFERENCE, job]
        return [PYSERIAL_PYTHON, PYSERIAL, job]

    def once(self, sender, lines, paced, stdin_mode="tty"):
        """One run: (cpu seconds, wall seconds, peak KiB, terminal bytes)."""
        usage = os.path.join(self.dir, "usage.txt")
        argv = [CNCSIM, "--summary", os.path.join(self.dir, "summary.txt"),
                *(["--baud", "9600"] if paced else []), "--",
                sys.executable, RUSAGE_OF, usage, *self.sender_argv(sender, self.job(lines))]
        dialogue = DIALOGUE if sender in ("cncsend", RECORDING) else []
        timeout = 60 + lines * (0.1 if paced else 0.002)
        status, terminal = run_on_pty(argv, self.dir, stdin_mode, dialogue, timeout)
        if status != 0:
            raise RuntimeError(f"{sender} ended with {status} ({lines} lines)")
        with open(usage) as f:
            user, system, wall, rss = (float(v) for v in f.read().split())
        return user + system, wall, rss, terminal

    def transfer(self, sender, lines, paced, stdin_mode="tty"):
        """Medians of the differences between a job of `lines` and an empty one."""
        return self.transfers([sender], lines, paced, stdin_mode)[sender]

    def transfers(self, senders, lines, paced, stdin_mode="tty"):
        """transfer() of several senders, their runs taking turns, so that a
        change in the machine's load falls on all of them alike."""
        runs = {sender: [] for sender in senders}
        for _ in range(self.reps):
            for sender in senders:
                empty = self.once(sender, 0, paced, stdin_mode)
                full = self.once(sender, lines, paced, stdin_mode)
                runs[sender].append((full[0] - empty[0], full[1] - empty[1], full[3] - empty[3]))
        return {sender: self.summary(runs[sender], lines) for sender in senders}

    @staticmethod
    def summary(runs, lines):
        cpu = statistics.median(r[0] for r in runs)
        wall = statistics.median(r[1] for r in runs)
        terminal = statistics.median(r[2] for r in runs)
        return {"lines_per_s": lines / wall, "us_per_line": cpu / lines * 1e6,
                "cpu_share": cpu / wall * 100, "terminal_per_line": terminal / lines}


def print_table(title, rows, reference):
    print(f"\n{title}")
    print(f"  {'sender':<26}{'lines/s':>10}{'CPU us/line':>13}{'CPU % wall':>12}"
          f"{'x ref CPU/line':>16}")
    for name, r in rows:
        ratio = r["us_per_line"] / reference["us_per_line"] if reference else float("nan")
        print(f"  {name:<26}{r['lines_per_s']:>10.0f}{r['us_per_line']:>13.1f}"
              f"{r['cpu_share']:>12.2f}{ratio:>16.2f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--reps", type=int, default=3)
    parser.add_argument("--fast-lines", type=int, default=20000)
    parser.add_argument("--paced-lines", type=int, default=300)
    parser.add_argument("--big-lines", type=int, default=1000000)
    parser.add_argument("--quick", action="store_true",
                        help="small sizes and one repetition, to try the script")
    parser.add_argument("--fast-only", action="store_true",
                        help="only the fast controller and the system calls per line")
    args = parser.parse_args()
    if args.quick:
        args.reps, args.fast_lines, args.paced_lines, args.big_lines = 1, 2000, 30, 20000
    for program in (CNCSEND, CNCSIM, REFERENCE):
        if not os.path.exists(program):
            sys.exit(f"{program} is missing: build first (cmake --build build)")

    senders = ["cncsend", "reference"] + (["pyserial"] if pyserial_available() else [])
    bench = Bench(args.reps)
    try:
        print(f"{os.cpu_count()} processors, {args.reps} repetitions, medians; "
              f"fixed start-up costs (questions, countdown) taken out")
        if "pyserial" not in senders:
            print("pyserial not installed (python3-serial): left out")

        fast_senders = senders[:1] + [RECORDING] + senders[1:]
        fast = bench.transfers(fast_senders, args.fast_lines, False)
        print_table(f"fast controller (answers at once), {args.fast_lines} lines of 30 bytes",
                    [(s, fast[s]) for s in fast_senders], fast["reference"])
        print(f"  the record's cost: CPU per line with CNCSEND_LOG / without = "
              f"{fast[RECORDING]['us_per_line'] / fast['cncsend']['us_per_line']:.2f}")

        if shutil.which("strace"):
            import syscalls_per_line  # it builds on this script's runner
            syscalls_per_line.report(args.fast_lines)
        else:
            print("strace not installed: system calls per line left out")
        if args.fast_only:
            return

        paced_rows = []
        for s in senders:
            modes = ["tty", "file", "null"] if s == "cncsend" else ["tty"]
            for mode in modes:
                label = s if s != "cncsend" else {
                    "tty": "cncsend, stdin terminal", "file": "cncsend, stdin file at end",
                    "null": "cncsend, stdin /dev/null"}[mode]
                paced_rows.append((label, bench.transfer(s, args.paced_lines, True, mode)))
        reference = next(r for name, r in paced_rows if name == "reference")
        print_table(f"paced controller (9600 baud), {args.paced_lines} lines of 30 bytes",
                    paced_rows, reference)

        small = bench.once("cncsend", 1000, False)
        big = bench.once("cncsend", args.big_lines, False)
        print(f"\ncncsend peak resident size: {small[2] / 1024:.1f} MiB for 1000 lines, "
              f"{big[2] / 1024:.1f} MiB for {args.big_lines} lines")
        print(f"cncsend terminal output: {fast['cncsend']['terminal_per_line']:.1f} bytes "
              f"per job line (progress and reply)")
    finally:
        bench.close()


if __name__ == "__main__":
    main()
