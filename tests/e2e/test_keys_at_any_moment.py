"""Keys at any moment of a run, as an operator presses them: Escape while
lines stream to a quick controller, Escape typed before the transfer
starts, and answers typed before the first question is on the screen."""
import time

from job_run import UNDER_WINE, JobRun, preparation, run_tests

CUTTER = "Fräserhöhe einstellen, Return für weiter .."
FIRST_JOB_LINE = len(preparation()) + 1
SPINDLE_OFF = b"@0B 65530,0"


def lines_logged(run):
    """Lines the controller has received so far (cncsim logs each at once)."""
    try:
        with open(run.log, "rb") as f:
            return f.read().count(b"\n")
    except FileNotFoundError:
        return 0


def wait_for_lines(run, count, timeout=20.0):
    deadline = time.time() + timeout
    while lines_logged(run) < count:
        assert time.time() < deadline, f"only {lines_logged(run)} lines arrived"
        time.sleep(0.01)


def finish_preparation(run):
    run.pane.wait_for(CUTTER + "\n?")
    run.pane.send_keys("Enter")


def test_escape_while_lines_stream_stops_the_next_line():
    # The decoder holds a lone ESC for a moment to tell it from the start of
    # a key sequence; replies arriving meanwhile must not let lines out.
    cases = [("answers after 5 ms", 3000, ["--delay-ms", "5"]),
             ("answers at once", 200000, [])]
    for name, count, options in cases:
        job = b"".join(b"G01 X%d\r\n" % i for i in range(count))
        with JobRun(job=job, cncsim_options=options) as run:
            run.answer(0, 0, 0, 0)
            finish_preparation(run)
            wait_for_lines(run, FIRST_JOB_LINE + 100)
            # tmux's send-keys returns once the key is in the terminal.
            run.pane.tmux("send-keys", "-t", "0", "Escape")
            at_escape = lines_logged(run)
            assert run.exit_status(timeout=5) == 0, name
            received = run.received()
            assert len(received) - at_escape <= 1, (name, len(received) - at_escape)
            assert received[-1] != SPINDLE_OFF, name
            assert len(received) < len(preparation()) + count, name


def test_escape_typed_before_the_transfer_ends_it_at_the_first_job_line():
    # The first job line's reply held back, or coming a little later as on
    # a real line: either way the Escape is taken while it is awaited.
    held = ["--reply", f"{FIRST_JOB_LINE}="]
    later = ["--delay-ms", "30"]
    spindle_on_slow = ["--line-delay", f"{FIRST_JOB_LINE - 1}=800"]
    cases = [("countdown, reply held back", "countdown", held),
             ("countdown, reply after 30 ms", "countdown", later),
             ("spindle-on wait, reply held back", "spindle on", held + spindle_on_slow),
             ("spindle-on wait, reply after 30 ms", "spindle on", later + spindle_on_slow)]
    for name, when, options in cases:
        with JobRun(job=b"L1\r\nL2\r\nL3\r\n", cncsim_options=options) as run:
            run.answer(0, 0, 0, 0)
            finish_preparation(run)
            if when == "countdown":
                wait_for_lines(run, len(preparation()))
                time.sleep(0.5)
            else:
                wait_for_lines(run, len(preparation()))
                assert lines_logged(run) == len(preparation()), name
            run.pane.send_keys("Escape")
            assert run.exit_status(timeout=8) == 0, name
            assert run.received() == preparation() + [b"L1"], (name, run.received())
            assert run.pane.cursor_visible(), name


def test_answers_typed_before_the_first_question_reach_it():
    if UNDER_WINE:
        return "Wine's terminal set-up echoes and drops keys typed before the first console read"
    with JobRun(job=b"G1\r\n", start_delay=0.7) as run:
        time.sleep(0.2)
        run.pane.send_keys("12", "Enter", "-3")
        run.pane.wait_for("Verschiebung in y ? -3")
        run.pane.send_keys("Enter")
        run.pane.wait_for("Verschiebung in z ?")
        run.pane.send_keys("7", "Enter")
        run.pane.wait_for("Spindeldrehzahl ?")
        run.pane.send_keys("500", "Enter")
        finish_preparation(run)
        assert run.exit_status() == 0
        assert run.received() == preparation(12, -3, 7, 500) + [b"G1", SPINDLE_OFF]


if __name__ == "__main__":
    run_tests(globals())
