"""A real terminal for end-to-end tests: one tmux server per test, one pane.

    with TmuxPane(["./prog", "arg"], width=80, height=25) as pane:
        pane.wait_for("Prompt")
        pane.send_keys("12", "Enter")
        assert pane.row(10).startswith(...)

The server runs on a private socket, so tests never touch a user's tmux.
"""
import os
import shlex
import subprocess
import tempfile
import time

BUILD_DIR = os.environ.get("CNCSEND_BUILD_DIR") or os.path.abspath(
    os.path.join(os.path.dirname(__file__), "..", "..", "build"))
# Another build under test (the Windows one) and the command that runs it
# (tools/wine/cncsend-wine); UNDER_WINE tells the tests that the program
# runs in Wine, for the few things Wine does not do as Windows does.
CNCSEND_EXE = os.environ.get("CNCSEND_EXE")
RUNNER = shlex.split(os.environ.get("CNCSEND_RUNNER", ""))
# The program may run in another folder than the one the runner was named in.
if RUNNER and os.sep in RUNNER[0]:
    RUNNER[0] = os.path.abspath(RUNNER[0])
UNDER_WINE = bool(RUNNER) and "wine" in os.path.basename(RUNNER[0])
# Wine starts a program's console and services in several processes; on a
# busy machine that has taken over ten seconds before the first output. The
# waits for a program to come up are that much longer under Wine.
PATIENCE = 3.0 if UNDER_WINE else 1.0


def processes_under_wine():
    """For a failure's message: what Wine was running at the time."""
    if not UNDER_WINE:
        return ""
    found = subprocess.run(["ps", "-eo", "pid,stat,etime,args"], capture_output=True, text=True)
    rows = [r for r in found.stdout.splitlines() if "wine" in r or ".exe" in r]
    return "\nWine's processes:\n" + "\n".join(rows)


def build_path(*parts):
    return os.path.join(BUILD_DIR, *parts)


def e2e_program(name):
    """The command of a program of programs/, from the build under test."""
    if not CNCSEND_EXE:
        return [build_path("tests", "e2e", name)]
    build = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(CNCSEND_EXE))))
    return [*RUNNER, os.path.join(build, "tests", "e2e", name + ".exe")]


def pid_of(program):
    """The process of a program started by a test (under Wine, the process
    that runs it: the pid the program prints is Windows' own)."""
    name = os.path.basename(program)
    deadline = time.time() + 10 * PATIENCE
    while time.time() < deadline:
        found = subprocess.run(["pgrep", "-f", name], capture_output=True, text=True)
        for pid in found.stdout.split():
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    argv0 = f.read().split(b"\0")[0].decode(errors="replace")
            except OSError:
                continue
            # The program itself, not a shell or a wrapper that names it,
            # nor another copy of it elsewhere.
            if argv0 == program:
                return int(pid)
        time.sleep(0.05)
    raise AssertionError(f"{name} is not running" + processes_under_wine())


class TmuxPane:
    def __init__(self, argv, width=80, height=25, env=None, cwd=None, utf8=True):
        self.argv = list(argv)
        self.width = width
        self.height = height
        self.env = dict(env or {})
        self.cwd = cwd
        self.utf8 = utf8
        self.tmpdir = tempfile.TemporaryDirectory(prefix="cncsend-tmux-")
        self.socket = os.path.join(self.tmpdir.name, "sock")
        self.status_file = os.path.join(self.tmpdir.name, "status")

    # -- lifecycle -------------------------------------------------------
    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.kill()
        self.tmpdir.cleanup()

    def tmux(self, *args, check=True):
        return subprocess.run(["tmux", "-S", self.socket, "-f", "/dev/null", *args],
                              check=check, capture_output=True, text=True,
                              errors="replace")

    def start(self):
        # The program runs under a shell that records its exit status and
        # then waits, so the pane (and its last screen) stays readable.
        env_words = " ".join(f"{k}={shlex.quote(v)}" for k, v in self.env.items())
        cmd = " ".join(shlex.quote(a) for a in self.argv)
        cd = f"cd {shlex.quote(self.cwd)} && " if self.cwd else ""
        script = (f"{cd}env {env_words} {cmd}; echo $? > {shlex.quote(self.status_file)}.tmp; "
                  f"mv {shlex.quote(self.status_file)}.tmp {shlex.quote(self.status_file)}; "
                  f"exec sleep 100000")
        lang = "C.UTF-8" if self.utf8 else "C"
        self.tmux("new-session", "-d", "-x", str(self.width), "-y", str(self.height),
                  "-e", f"LANG={lang}", "-e", f"LC_ALL={lang}", "-e", "TERM=xterm",
                  "sh", "-c", script)
        self.tmux("set-option", "-g", "status", "off")
        self.tmux("set-option", "-g", "escape-time", "0")
        self.tmux("resize-window", "-x", str(self.width), "-y", str(self.height), check=False)

    def kill(self):
        self.tmux("kill-server", check=False)

    # -- input -----------------------------------------------------------
    def send_keys(self, *keys):
        """tmux key names ("Enter", "Left", "Escape", "Home") or literal text."""
        for key in keys:
            if key in TMUX_KEY_NAMES:
                self.tmux("send-keys", "-t", "0", key)
            else:
                self.tmux("send-keys", "-t", "0", "-l", "--", key)
            time.sleep(0.05)

    def send_bytes(self, data: bytes):
        self.tmux("send-keys", "-t", "0", "-H", *[f"{b:02x}" for b in data])

    # -- output ----------------------------------------------------------
    def screen(self):
        """The visible pane as a list of rows (text, trailing blanks cut)."""
        out = self.tmux("capture-pane", "-p", "-t", "0").stdout
        rows = out.split("\n")
        return (rows + [""] * self.height)[: self.height]

    def flat(self):
        """The visible rows run together, so text that wrapped reads whole."""
        return "".join(self.screen())

    def row(self, number):
        """Row by 1-based number, as the program addresses it."""
        return self.screen()[number - 1]

    def cursor(self):
        out = self.tmux("display-message", "-p", "-t", "0", "#{cursor_y} #{cursor_x}").stdout
        y, x = out.split()
        return int(y) + 1, int(x) + 1

    def cursor_visible(self):
        out = self.tmux("display-message", "-p", "-t", "0", "#{cursor_flag}").stdout
        return out.strip() == "1"

    def history(self):
        """Rows scrolled off the top of the pane, oldest first."""
        out = self.tmux("capture-pane", "-p", "-t", "0", "-S", "-", "-E", "-1").stdout
        return out.split("\n")

    def wait_for(self, text, timeout=10.0):
        deadline = time.time() + timeout * PATIENCE
        while time.time() < deadline:
            if text in "\n".join(self.screen()):
                return
            time.sleep(0.05)
        raise AssertionError(f"{text!r} did not appear; screen:\n" + "\n".join(self.screen()) +
                             processes_under_wine())

    def wait_until_reading(self, timeout=10.0):
        """Waits until the program reads keys: the terminal no longer echoes.
        Under Wine keys typed before the program's first console read are
        echoed by Wine's terminal set-up."""
        tty = self.tmux("display-message", "-p", "-t", "0", "#{pane_tty}").stdout.strip()
        deadline = time.time() + timeout * PATIENCE
        while time.time() < deadline:
            with open(tty) as f:
                settings = subprocess.run(["stty", "-a"], stdin=f, capture_output=True,
                                          text=True).stdout
            if " -echo " in f" {settings} ".replace("\n", " "):
                return
            time.sleep(0.05)
        raise AssertionError("the program does not read keys")

    def exit_status(self, timeout=10.0):
        # Not stretched under Wine: how soon a program ends is what tests
        # of Escape and of signals check.
        deadline = time.time() + timeout
        while time.time() < deadline:
            if os.path.exists(self.status_file):
                with open(self.status_file) as f:
                    return int(f.read().strip())
            time.sleep(0.05)
        raise AssertionError("program did not end; screen:\n" + "\n".join(self.screen()) +
                             processes_under_wine())

    def running(self):
        return not os.path.exists(self.status_file)


TMUX_KEY_NAMES = {
    "Enter", "Escape", "Tab", "BSpace", "BTab", "Left", "Right", "Up", "Down",
    "Home", "End", "DC", "IC", "PPage", "NPage", "C-c", "C-z", "C-j",
    *[f"F{i}" for i in range(1, 13)],
}
