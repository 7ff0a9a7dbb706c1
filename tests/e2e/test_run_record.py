"""The run record (CNCSEND_LOG): the real cncsend in tmux against cncsim,
through a normal run with an error reply, Escape, a lost line and a
signal; a record file that cannot be opened or written. The wire and the
exit codes stay those of a run without a record."""
import os
import re
import signal
import subprocess
import tempfile
import time

from job_run import CNCSIM, UNDER_WINE, JobRun, preparation, run_tests
from test_reliability import (FIRST_JOB_LINE, LOST, finish_preparation, wait_at_first_job_line,
                              waiting_run)

STAMP = re.compile(rb"^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z) (.*)$")
MS = re.compile(rb" (\d+\.\d) ms")


def read_record(path):
    """The events, times and milliseconds taken out: (stamps, events, ms)."""
    with open(path, "rb") as f:
        lines = f.read().split(b"\n")
    assert lines[-1] == b"", "the last line is not ended"
    stamps, events, ms = [], [], []
    for line in lines[:-1]:
        match = STAMP.match(line)
        assert match, line
        stamps.append(match.group(1))
        ms += [float(m) for m in MS.findall(match.group(2))]
        events.append(MS.sub(b" N ms", match.group(2)))
    assert stamps == sorted(stamps), stamps
    return stamps, events, ms


def record_env(folder):
    return {"CNCSEND_LOG": os.path.join(folder, "run.log")}


def test_normal_run_with_an_error_reply_and_a_second_run_appended():
    folder = tempfile.mkdtemp(prefix="cncsend-record-")
    env = record_env(folder)
    job = b'G0 X1\r\nG1 "q\\" \x84\x00\r\nG3'
    error_line = FIRST_JOB_LINE + 1
    before = time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(time.time() - 1)).encode()
    with JobRun(job=job, factors=b"2,3,4\r\n", env=env,
                cncsim_options=["--reply", f"{error_line}=1"]) as run:
        run.answer(10, -5, 3, 800)
        finish_preparation(run)
        run.pane.wait_for("Fehler:1")
        time.sleep(0.4)
        run.pane.send_keys("Enter")
        assert run.exit_status() == 0
        assert run.received() == preparation(20, -15, 12, 800) + [
            b"G0 X1", b'G1 "q\\" \x84\x00', b"G3", b"@0B 65530,0"]
        exe = run.exe.encode()
    stamps, events, ms = read_record(env["CNCSEND_LOG"])
    assert stamps[0] >= before, (stamps[0], before)
    # Under Wine the program is a Windows path (its \ escaped) and the
    # device is COM1 itself.
    device = rb'"COM1"' if UNDER_WINE else rb'"/dev/pts/\d+"'
    start = re.fullmatch(rb'start program "(.*)" job "job.nc" %d bytes port COM1 '
                         rb'device %s factors 2,3,4' % (len(job), device), events[0])
    assert start, events[0]
    if not UNDER_WINE:
        assert start.group(1) == exe, events[0]
    commands = [b'command "' + c + b'" reply "0" N ms' for c in preparation(20, -15, 12, 800)]
    assert events[1:] == [
        b"answers x 10 y -5 z 3 speed 800", *commands,
        b'line 1 "G0 X1" reply "0" N ms',
        b'line 2 "G1 \\"q\\\\\\" \x84\\x00" reply "1" N ms',
        b'pause at line 2 reply "1" enter after N ms',
        b'line 3 "G3" reply "0" N ms',
        b'command "@0B 65530,0" reply "0" N ms',
        b"end normal"], events
    pause = ms[len(commands) + 2]
    assert pause >= 400 and all(0 <= m < 2000 for i, m in enumerate(ms) if m != pause), ms

    # The next run appends its own record.
    with JobRun(job=None, args=[], env=env) as run:
        run.answer(0, 0, 0, 0)
        finish_preparation(run)
        assert run.exit_status() == 0
    first = len(events)
    _, events, _ = read_record(env["CNCSEND_LOG"])
    starts = [i for i, e in enumerate(events) if e.startswith(b"start ")]
    assert starts == [0, first] and b'job "" 0 bytes' in events[first], events
    assert events[-1] == b"end normal" and len(events) == first + 10, events


def test_escape_and_signal_end_the_record_at_the_line_awaited():
    # A Windows program has no POSIX signal handlers: the system ends it.
    ways = ("Escape",) if UNDER_WINE else ("Escape", signal.SIGTERM, signal.SIGINT)
    for how in ways:
        folder = tempfile.mkdtemp(prefix="cncsend-record-")
        env = record_env(folder)
        with waiting_run(env=env) as run:
            wait_at_first_job_line(run)
            if how == "Escape":
                run.pane.send_keys("Escape")
                assert run.exit_status(timeout=3) == 0
                end = b"end escape at line 1"
            else:
                os.kill(run.pid(), how)
                assert run.exit_status(timeout=3) != 0
                end = b"end signal %d" % how
        _, events, _ = read_record(env["CNCSEND_LOG"])
        # The line whose reply never came has no event of its own.
        assert events[-1] == end, (how, events)
        assert events[-2] == b'command "@0B 65530,0" reply "0" N ms', (how, events)
        assert len(events) == 2 + len(preparation()) + 1, (how, events)


def test_lost_line_ends_the_record_at_the_line_awaited():
    folder = tempfile.mkdtemp(prefix="cncsend-record-")
    simulator = subprocess.Popen([CNCSIM, "--reply", f"{FIRST_JOB_LINE + 1}="],
                                 stdout=subprocess.PIPE, text=True)
    try:
        path = simulator.stdout.readline().strip()
        env = {**record_env(folder), "CNCSEND_COM1": path}
        with JobRun(job=b"G1\r\nG2\r\nG3\r\n", env=env, simulator=False) as run:
            run.answer(0, 0, 0, 0)
            finish_preparation(run)
            run.pane.wait_for("abgearbeitet")
            time.sleep(0.3)
            simulator.kill()
            assert run.exit_status(timeout=5) == 1
            assert LOST.format(2) in run.pane.flat(), run.pane.screen()
    finally:
        simulator.kill()
        simulator.wait()
    _, events, _ = read_record(env["CNCSEND_LOG"])
    assert events[-2:] == [b'line 1 "G1" reply "0" N ms', b"end lost line at line 2"], events


def test_a_record_file_that_cannot_be_opened_ends_before_the_port():
    folder = tempfile.mkdtemp(prefix="cncsend-record-")
    cases = [(os.path.join(folder, "missing", "run.log"), "No such file or directory"),
             (folder, "Is a directory")]
    for name, reason in cases:
        # The port does not exist either: its message would come first if
        # the port were opened before the record.
        env = {"CNCSEND_LOG": name, "CNCSEND_COM1": "/nonexistent/tty"}
        with JobRun(job=b"G1\r\n", env=env, simulator=False) as run:
            assert run.exit_status() == 1
            screen = run.pane.flat()
            # Wine gives its own words for the reason.
            shown = f"Die Protokolldatei {name} kann nicht geöffnet werden: "
            assert shown + ("" if UNDER_WINE else reason) in screen, screen
            assert "Schnittstelle" not in screen and "Verschiebung" not in screen, screen


def test_a_port_that_does_not_open_ends_the_record_with_the_message():
    folder = tempfile.mkdtemp(prefix="cncsend-record-")
    env = {**record_env(folder), "CNCSEND_COM1": "/nonexistent/tty"}
    with JobRun(job=b"G1\r\n", env=env, simulator=False) as run:
        assert run.exit_status() == 1
    _, events, _ = read_record(env["CNCSEND_LOG"])
    assert events[0].startswith(b'start program "') and len(events) == 2, events
    # Under Wine the device is COM1 itself and the reason Wine's own words.
    device, reason = (b"COM1", b"") if UNDER_WINE else (b"/nonexistent/tty",
                                                        b"No such file or directory")
    shown = b'end message "Die Schnittstelle COM1 (%s) kann nicht ge\x94ffnet werden: ' % device
    assert events[1].startswith(shown + reason) and events[1].endswith(b'"'), events


def test_write_errors_do_not_stop_the_job_and_are_reported_once_at_the_end():
    job = b"".join(b"G1 X%d\r\n" % i for i in range(20))
    with JobRun(job=job, env={"CNCSEND_LOG": "/dev/full"}) as run:
        run.answer(0, 0, 0, 0)
        finish_preparation(run)
        assert run.exit_status() == 0
        assert run.received() == preparation() + job.splitlines() + [b"@0B 65530,0"]
        screen = run.pane.flat()
        message = "Schreiben in die Protokolldatei /dev/full ist fehlgeschlagen: " \
                  "No space left on device"
        assert screen.count(message) == 1, screen


if __name__ == "__main__":
    run_tests(globals())
