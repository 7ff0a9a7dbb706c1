"""Faults cncsend must survive: a line that hangs up, a busy or wrong port,
a silent controller, signals, standard input that is no terminal, odd job
files and odd replies. The real cncsend in tmux, against cncsim or a
pseudo-terminal that the test itself plays controller on."""
import fcntl
import os
import shlex
import shutil
import signal
import subprocess
import termios
import time

from job_run import CNCSIM, UNDER_WINE, JobRun, port_failure_shown, preparation, run_tests
from tmux_pane import TmuxPane

CUTTER = "Fräserhöhe einstellen, Return für weiter .."
FIRST_JOB_LINE = len(preparation()) + 1
LOST = "Die Verbindung zur Steuerung ist unterbrochen (Zeile {} des Auftrags)."


def finish_preparation(run):
    run.pane.wait_for(CUTTER + "\n?")
    run.pane.send_keys("Enter")


def pane_tty(run):
    run = getattr(run, "pane", run)
    return run.tmux("display-message", "-p", "-t", "0", "#{pane_tty}").stdout.strip()


def stty(run):
    with open(pane_tty(run)) as tty:
        return subprocess.run(["stty", "-g"], stdin=tty, capture_output=True,
                              text=True).stdout.strip()


_shell_settings = []


def shell_settings():
    """What a pane's terminal is set to before any program changes it."""
    if not _shell_settings:
        with TmuxPane(["sleep", "30"]) as pane:
            time.sleep(0.2)
            _shell_settings.append(stty(pane))
    return _shell_settings[0]


def in_shell(run, prefix):
    """Runs the pane's command behind a shell prefix (a trap, a pipe)."""
    run.pane.argv = ["sh", "-c", prefix + " " + shlex.join(run.pane.argv)]


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def waiting_run(**options):
    """A run whose controller never answers the first job line."""
    return JobRun(job=b"L1\r\nL2\r\n", cncsim_options=["--reply", f"{FIRST_JOB_LINE}="],
                  **options)


def wait_at_first_job_line(run):
    run.answer(0, 0, 0, 0)
    finish_preparation(run)
    run.pane.wait_for("abgearbeitet")
    time.sleep(0.3)
    assert run.pane.running()


class PtyController:
    """The test as the controller, on a pseudo-terminal it can hang up."""

    def __init__(self):
        self.master, slave = os.openpty()
        self.path = os.ttyname(slave)
        os.close(slave)
        self.lines = 0
        self.buffer = b""

    def answer_lines(self, count, answer_last=True, timeout=20):
        deadline = time.time() + timeout
        while self.lines < count and time.time() < deadline:
            try:
                self.buffer += os.read(self.master, 4096)
            except OSError:
                time.sleep(0.02)  # no reader opened it yet
                continue
            while b"\r\n" in self.buffer:
                _, self.buffer = self.buffer.split(b"\r\n", 1)
                self.lines += 1
                if self.lines < count or answer_last:
                    os.write(self.master, b"0")
        assert self.lines >= count, f"only {self.lines} lines arrived"

    def hang_up(self):
        os.close(self.master)


def test_line_hang_up_ends_within_a_second_with_exit_1():
    # The controller side closes: the simulator ends normally, is killed, or
    # the pseudo-terminal's master goes away under a reply wait.
    for how in ("SIGTERM", "SIGKILL", "close"):
        if how == "close":
            controller = PtyController()
            path, stop = controller.path, controller.hang_up
        else:
            simulator = subprocess.Popen([CNCSIM, "--reply", f"{FIRST_JOB_LINE + 1}="],
                                         stdout=subprocess.PIPE, text=True)
            path = simulator.stdout.readline().strip()
            stop = lambda: simulator.send_signal(getattr(signal, how))  # noqa: E731
        try:
            with JobRun(job=b"G1\r\nG2\r\nG3\r\n", env={"CNCSEND_COM1": path},
                        simulator=False) as run:
                before = shell_settings()
                if how == "close":
                    # Answers the preparation and the first job line itself.
                    run.answer(0, 0, 0, 0)
                    controller.answer_lines(5)
                    finish_preparation(run)
                    controller.answer_lines(FIRST_JOB_LINE + 1, answer_last=False)
                else:
                    run.answer(0, 0, 0, 0)
                    finish_preparation(run)
                run.pane.wait_for("abgearbeitet")
                time.sleep(0.3)
                assert run.pane.running(), how
                started = time.time()
                stop()
                assert run.exit_status(timeout=5) == 1, how
                assert time.time() - started < 1.5, how
                assert LOST.format(2) in run.pane.flat(), (how, run.pane.screen())
                assert stty(run) == before, how
                assert run.pane.cursor_visible(), how
        finally:
            if how != "close":
                simulator.kill()
                simulator.wait()


def test_busy_port_fails_with_the_port_message_and_sends_nothing():
    if UNDER_WINE:
        return ("Wine opens a serial device exclusively for no one: neither a flock nor "
                "another Windows program's open makes the port busy")
    controller = PtyController()
    holder = os.open(controller.path, os.O_RDWR | os.O_NOCTTY)
    fcntl.flock(holder, fcntl.LOCK_EX | fcntl.LOCK_NB)
    try:
        with JobRun(job=b"G1\r\n", env={"CNCSEND_COM1": controller.path},
                    simulator=False) as run:
            assert run.exit_status() == 1
            screen = run.pane.flat()
            assert f"Die Schnittstelle COM1 ({controller.path}) kann nicht geöffnet werden: " \
                   "Device or resource busy" in screen, screen
            assert "Verschiebung" not in screen
        os.set_blocking(controller.master, False)
        try:
            sent = os.read(controller.master, 100)
        except BlockingIOError:
            sent = b""
        assert sent == b"", sent
    finally:
        os.close(holder)
        controller.hang_up()


def test_bad_port_paths_name_the_system_reason():
    cases = [("/nonexistent/tty", "No such file or directory"),
             ("/dev/null", "Inappropriate ioctl for device"),
             ("/tmp", "Is a directory")]
    for device, reason in cases:
        with JobRun(job=b"G1\r\n", env={"CNCSEND_COM1": device}, simulator=False) as run:
            assert run.exit_status() == 1, device
            screen = run.pane.flat()
            assert port_failure_shown(screen, device, reason), screen


def test_no_permission_for_the_port_names_the_reason():
    if os.geteuid() != 0 or not shutil.which("setpriv"):
        return  # only root can take itself the rights away here
    if UNDER_WINE:
        return "Wine runs no program of a user who does not own the prefix"
    nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
    run = JobRun(job=b"G1\r\n", simulator=False)
    port = os.path.join(run.dir, "ttyLocked")
    open(port, "w").close()
    for name in os.listdir(run.dir):
        os.chmod(os.path.join(run.dir, name), 0o755 if name == "cncsend" else 0o644)
    os.chmod(port, 0)
    os.chmod(run.dir, 0o755)
    run.pane.argv = ["env", f"CNCSEND_COM1={port}", *nobody, run.exe, "job.nc"]
    with run:
        assert run.exit_status() == 1
        assert f"({port}) kann nicht geöffnet werden: Permission denied" in run.pane.flat(), \
            run.pane.screen()


def test_silent_controller_waits_idle_and_escape_restores_the_terminal():
    with waiting_run() as run:
        before = shell_settings()
        wait_at_first_job_line(run)
        pid = run.pid()
        used, started = cpu_seconds(pid), time.time()
        time.sleep(2)
        share = (cpu_seconds(pid) - used) / (time.time() - started)
        assert share < 0.02, f"{share:.1%} of a core while waiting"
        run.pane.send_keys("Escape")
        assert run.exit_status(timeout=2) == 0
        assert stty(run) == before
        assert run.pane.cursor_visible()


def test_signals_while_a_reply_is_awaited_restore_the_terminal():
    # Under Wine an interrupt ends even a trivial program with exit code 0.
    for how in ("SIGTERM", "SIGHUP") if UNDER_WINE else ("SIGINT", "SIGTERM", "SIGHUP"):
        # Ctrl+C is SIGINT sent to the program itself: the pane's own shell
        # would end on the key, and the status with it.
        with waiting_run() as run:
            before = shell_settings()
            wait_at_first_job_line(run)
            os.kill(run.pid(), getattr(signal, how))
            status = run.exit_status(timeout=3)
            assert status != 0, how
            assert stty(run) == before, how
            # A Windows program has no handler for these signals: Wine's
            # console gives the terminal's settings back, but the cursor
            # stays as the killed program left it, as in a Windows console.
            if not UNDER_WINE:
                assert run.pane.cursor_visible(), how


def test_standard_input_not_a_terminal_and_output_redirected():
    job = b"".join(b"N%d\r\n" % i for i in range(40))
    expected = preparation() + [b"N%d" % i for i in range(40)] + [b"@0B 65530,0"]
    answers = {"answers.txt": b"0\r\n0\r\n0\r\n0\r\n\r\n"}
    for suffix in ("< answers.txt", "< /dev/null", "> out.txt < /dev/null",
                   "> out.txt < answers.txt"):
        with JobRun(job=job, files=answers, shell_suffix=suffix,
                    cncsim_options=["--baud", "9600"]) as run:
            assert run.exit_status(timeout=30) == 0, suffix
            assert run.received() == expected, suffix
    # A pipe whose writer has gone: at its end for ever, like /dev/null.
    run = JobRun(job=job, cncsim_options=["--baud", "9600"])
    in_shell(run, "true |")
    with run:
        assert run.exit_status(timeout=30) == 0
        assert run.received() == expected


def test_stdin_at_end_does_not_spin_while_the_controller_is_slow():
    with JobRun(job=b"L1\r\n", shell_suffix="< /dev/null",
                cncsim_options=["--delay-ms", "2500"]) as run:
        pid = run.pid()
        time.sleep(0.5)
        used, started = cpu_seconds(pid), time.time()
        time.sleep(1.5)
        share = (cpu_seconds(pid) - used) / (time.time() - started)
        assert share < 0.05, f"{share:.1%} of a core with standard input at its end"
        assert run.exit_status(timeout=40) == 0


def test_odd_job_files_arrive_intact_and_progress_ends_at_100():
    long_line = b"".join(b"G1 X%d " % i for i in range(120000))[:1 << 20]
    cases = [
        (b"A\x00B\r\n\x1aC\r\n", [b"A\x00B", b"\x1aC"]),
        (long_line + b"\r\nEND", [long_line, b"END"]),
        (b"\r\n\r\n", [b"", b""]),
    ]
    for job, lines in cases:
        with JobRun(job=job) as run:
            run.answer(0, 0, 0, 0)
            finish_preparation(run)
            assert run.exit_status(timeout=20) == 0
            assert run.received() == preparation() + lines + [b"@0B 65530,0"], job[:20]
            assert run.pane.row(10).endswith("  100"), run.pane.screen()


def test_job_files_that_are_no_plain_files_are_refused_before_anything_is_sent():
    # A directory would send empty lines without end, a FIFO without a
    # writer would wait for ever, /dev/zero and /dev/null would pass for
    # an empty job: each gets the message of a job file that does not open.
    cases = [("jobs.d", "Is a directory"), ("job.fifo", "Illegal seek"),
             ("/dev/zero", "Illegal seek"), ("/dev/null", "Illegal seek")]
    if UNDER_WINE:
        cases = cases[:2]  # /dev/zero and /dev/null are no names a Windows program knows
    for name, reason in cases:
        run = JobRun(job=None, args=[name])
        if name == "jobs.d":
            os.mkdir(os.path.join(run.dir, name))
        elif name == "job.fifo":
            os.mkfifo(os.path.join(run.dir, name))
        with run:
            assert run.exit_status(timeout=10) == 1, name
            screen = run.pane.flat()
            # Under Wine the reason is the system's text for Wine's error code.
            shown = f"Die Auftragsdatei {name} kann nicht geöffnet werden: "
            assert shown + ("" if UNDER_WINE else reason) in screen, screen
            assert "Verschiebung" not in screen
            assert run.received() == [], name


def test_many_lines_all_arrive_in_order():
    # Under Wine a line costs some ten round trips to the Wine server.
    count = 1000 if UNDER_WINE else 100000
    job = b"".join(b"G1 X%d\n" % i for i in range(count))
    with JobRun(job=job) as run:
        run.answer(0, 0, 0, 0)
        finish_preparation(run)
        assert run.exit_status(timeout=60) == 0
        received = run.received()
        assert received[6:-1] == [b"G1 X%d" % i for i in range(count)]
        assert run.pane.row(10).endswith("  100")


def test_unusual_replies_are_shown_and_nothing_is_lost():
    job = b"A\r\nB\r\nC\r\nD\r\n"
    expected = preparation() + [b"A", b"B", b"C", b"D", b"@0B 65530,0"]
    # A NUL and a CR are error replies: shown, and the operator goes on.
    for reply, shown in (("\\x00", " " * 60 + "Fehler:"), ("\\r", "Fehler:")):
        with JobRun(job=job, cncsim_options=["--reply", f"{FIRST_JOB_LINE}={reply}"]) as run:
            run.answer(0, 0, 0, 0)
            finish_preparation(run)
            run.pane.wait_for("Fehler:")
            if UNDER_WINE and reply == "\\x00":
                # Wine's console draws a NUL cell as "?", Windows' as a blank.
                shown = " " * 59 + "?Fehler:"
            assert shown in run.pane.flat(), run.pane.screen()
            run.pane.send_keys("Enter")
            assert run.exit_status() == 0
            assert run.received() == expected
    # "00": the second byte is taken as the next line's answer.
    with JobRun(job=job, cncsim_options=["--reply", f"{FIRST_JOB_LINE}=00"]) as run:
        run.answer(0, 0, 0, 0)
        finish_preparation(run)
        assert run.exit_status() == 0
        assert run.received() == expected
        assert run.pane.row(12) == " " * 59 + "0"


if __name__ == "__main__":
    run_tests(globals())
