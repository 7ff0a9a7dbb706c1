"""A whole cncsend run against the simulated controller, in a real terminal.

    with JobRun(job=b"G1\r\nG2\r\n", factors=b"2,2,1\r\n") as run:
        run.answer(10, -5, 3, 800)       # the four questions
        run.pane.wait_for("Fräserhöhe")
        run.pane.send_keys("Enter")
        assert run.exit_status() == 0
        assert run.received() == [...]   # lines on the wire, in order

Each run gets its own folder with a copy of cncsend (down.cfg lives beside
the executable), the job file and cncsim's log.

CNCSEND_EXE names another executable to test (the Windows build), and
CNCSEND_RUNNER a command that runs it (tools/wine/cncsend-wine); cncsim
stays the one of CNCSEND_BUILD_DIR.
"""
import os
import shlex
import shutil
import sys
import tempfile
import time
import traceback

from tmux_pane import CNCSEND_EXE, RUNNER, UNDER_WINE, TmuxPane, build_path, pid_of  # noqa: F401

CNCSEND = CNCSEND_EXE or build_path("src", "app", "cncsend")
CNCSIM = build_path("tools", "cncsim", "cncsim")

PREPARATION_COUNT = 6  # @07, @0R7, @0M..., @0n7, the empty command, spindle on


class JobRun:
    def __init__(self, job=b"", factors=b"1,1,1\r\n", job_name="job.nc", args=None,
                 cncsim_options=(), env=None, shell_suffix="", width=80, height=25,
                 utf8=True, simulator=True, files=None, start_delay=0):
        self.dir = tempfile.mkdtemp(prefix="cncsend-job-")
        self.exe = os.path.join(self.dir, os.path.basename(CNCSEND))
        shutil.copy2(CNCSEND, self.exe)
        if factors is not None:
            self.write("down.cfg", factors)
        if job is not None:
            self.write(job_name, job)
        for name, data in (files or {}).items():
            self.write(name, data)
        self.log = os.path.join(self.dir, "received.log")
        self.summary = os.path.join(self.dir, "summary.txt")
        words = [*RUNNER, self.exe, *([job_name] if args is None else args)]
        if simulator:
            # Without the simulator the test points CNCSEND_COM1 itself.
            words = [CNCSIM, "--log", self.log, "--summary", self.summary, *cncsim_options,
                     "--", *words]
        argv = words
        if start_delay:
            # The operator may type before the program has started.
            words = ["sh", "-c", f'sleep {start_delay}; exec "$@"', "sh", *words]
            argv = words
        if shell_suffix:
            argv = ["sh", "-c", " ".join(shlex.quote(w) for w in words) + " " + shell_suffix]
        self.pane = TmuxPane(argv, width=width, height=height, env=env or {}, cwd=self.dir,
                             utf8=utf8)

    def write(self, name, data):
        with open(os.path.join(self.dir, name), "wb") as f:
            f.write(data)

    def __enter__(self):
        self.pane.__enter__()
        return self

    def __exit__(self, *exc):
        self.pane.__exit__(*exc)
        shutil.rmtree(self.dir, ignore_errors=True)

    def answer(self, *values):
        """Types each value at its question and presses Enter."""
        questions = ["Verschiebung in x ? ", "Verschiebung in y ? ", "Verschiebung in z ? ",
                     "Spindeldrehzahl ? "]
        for question, value in zip(questions, values):
            self.pane.wait_for(question.rstrip())  # the pane drops trailing blanks
            self.pane.wait_until_reading()
            self.pane.send_keys(str(value), "Enter")

    def pid(self):
        return pid_of(self.exe)

    def exit_status(self, timeout=20.0):
        return self.pane.exit_status(timeout)

    def received(self):
        """The lines the controller received, in order, with escapes undone."""
        deadline = time.time() + 5
        while not os.path.exists(self.log) and time.time() < deadline:
            time.sleep(0.05)
        lines = []
        with open(self.log, "rb") as f:
            for raw in f.read().split(b"\n"):
                if not raw:
                    continue
                fields = raw.split(b"\t")
                lines.append(unescape(fields[1]))
        return lines


def unescape(text):
    out = bytearray()
    i = 0
    while i < len(text):
        c = text[i]
        if c == 0x5C and i + 1 < len(text):
            nxt = chr(text[i + 1])
            if nxt == "x":
                out.append(int(text[i + 2:i + 4], 16))
                i += 4
                continue
            out += {"r": b"\r", "n": b"\n", "t": b"\t", "\\": b"\\"}[nxt]
            i += 2
            continue
        out.append(c)
        i += 1
    return bytes(out)


def preparation(x=0, y=0, z=0, speed=0):
    return [b"@07", b"@0R7", f"@0M{x},3000,{y},3000,{z},3000,0,30".encode(), b"@0n7", b"",
            f"@0B 65530,{speed}".encode()]


def port_failure_shown(screen, device, reason):
    """Whether the screen tells that COM1 on `device` did not open, for
    `reason` (None: any). Under Wine COM1 is the device's own name, and the
    reason is the system's text for Wine's error code, not a fixed one."""
    if UNDER_WINE:
        device, reason = "COM1", None
    shown = f"Die Schnittstelle COM1 ({device}) kann nicht geöffnet werden: "
    if shown not in screen:
        return False
    rest = screen.split(shown, 1)[1].strip()
    return rest.startswith(reason) if reason else bool(rest)


def run_tests(namespace):
    failed = 0
    for name, test in sorted(namespace.items()):
        if name.startswith("test_") and callable(test):
            started = time.time()
            try:
                skipped = test()  # a test that does not apply says why
                if skipped:
                    print(f"skip {name}: {skipped}", flush=True)
                else:
                    print(f"ok   {name} ({time.time() - started:.1f} s)", flush=True)
            except Exception:
                failed += 1
                print(f"FAIL {name}:\n{traceback.format_exc()}", flush=True)
    sys.exit(1 if failed else 0)
