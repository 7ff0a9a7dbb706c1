"""The whole job transfer: the real cncsend in tmux against cncsim on a
pseudo-terminal. Checks the bytes on the wire, the screen at its fixed
positions and the exit codes."""
import signal
import subprocess
import time

from job_run import CNCSIM, JobRun, port_failure_shown, preparation, run_tests

CUTTER = "Fräserhöhe einstellen, Return für weiter .."


def finish_preparation(run):
    """Presses Enter at the question after the cutter-height message."""
    run.pane.wait_for(CUTTER + "\n?")
    run.pane.send_keys("Enter")


def test_normal_job_wire_screen_and_exit():
    job = b"G01 X10 Y10\r\nG01 X20 Y20\r\n"
    with JobRun(job=job, factors=b"2,2,1\r\n") as run:
        run.answer(10, -5, 3, 800)
        run.pane.wait_for(CUTTER)
        # The umlauts arrive as UTF-8 on a UTF-8 terminal.
        assert CUTTER in "\n".join(run.pane.screen())
        run.pane.send_keys("Enter")
        assert run.exit_status() == 0
        rows = run.pane.screen()
        assert rows[9] == " " * 9 + "Es sind an Prozent abgearbeitet:" + " " * 18 + "  100", rows
        assert rows[11] == " " * 59 + "0", rows
        assert run.received() == preparation(20, -10, 3, 800) + [
            b"G01 X10 Y10", b"G01 X20 Y20", b"@0B 65530,0"]
        assert run.pane.cursor_visible()


def test_products_wrap_at_32_bits_and_factor_file_forms():
    cases = [
        # factors file, offsets, expected products
        (b"65536,2147483647,1\r\n", (65536, 2, -1), (0, -2, -1)),
        (b"2 3\n4\n", (1, 1, 1), (2, 3, 4)),
        (b"5\r\n", (7, 7, 7), (35, 0, 0)),
        (None, (9, 9, 9), (0, 0, 0)),
        (b"&H10,1.5,-2\r\n", (1, 2, 3), (16, 4, -6)),
    ]
    for factors, offsets, products in cases:
        with JobRun(job=b"", factors=factors) as run:
            run.answer(*offsets, 1)
            finish_preparation(run)
            assert run.exit_status() == 0
            assert run.received()[2] == preparation(*products)[2], (factors, run.received())


def test_error_reply_to_a_preparation_command_waits_for_enter():
    with JobRun(job=b"G1\r\n", cncsim_options=["--reply", "2=1"]) as run:
        run.answer(0, 0, 0, 0)
        run.pane.wait_for("Fehler 1")
        rows = run.pane.screen()
        at = next(i for i, r in enumerate(rows) if r.startswith("Fehler 1"))
        assert rows[at + 1] == "?", rows
        time.sleep(0.3)
        assert len(run.received()) == 2, "the next command waits for Enter"
        run.pane.send_keys("x", "Enter")
        finish_preparation(run)
        assert run.exit_status() == 0
        assert run.received() == preparation() + [b"G1", b"@0B 65530,0"]


def test_error_reply_to_a_job_line_is_shown_and_the_line_not_sent_again():
    job = b"A1\r\nB2\r\nC3\r\n"
    first_job_line = len(preparation()) + 1
    with JobRun(job=job, cncsim_options=["--reply", f"{first_job_line + 1}=E"]) as run:
        run.answer(0, 0, 0, 0)
        finish_preparation(run)
        run.pane.wait_for("EFehler:E")
        rows = run.pane.screen()
        assert rows[11] == " " * 59 + "EFehler:E", rows
        assert rows[12] == "?", rows
        run.pane.send_keys("Enter")
        assert run.exit_status() == 0
        rows = run.pane.screen()
        # Later replies overwrite column 60 only.
        assert rows[11] == " " * 59 + "0Fehler:E", rows
        assert run.received() == preparation() + [b"A1", b"B2", b"C3", b"@0B 65530,0"]


def test_escape_during_a_reply_wait_ends_at_once_with_0():
    first_job_line = len(preparation()) + 1
    with JobRun(job=b"L1\r\nL2\r\n", cncsim_options=["--reply", f"{first_job_line}="]) as run:
        run.answer(0, 0, 0, 0)
        finish_preparation(run)
        run.pane.wait_for("abgearbeitet")
        time.sleep(0.3)
        assert run.pane.running()
        run.pane.send_keys("Escape")
        assert run.exit_status(timeout=3) == 0
        assert run.received() == preparation() + [b"L1"], "no further command after Escape"
        assert run.pane.cursor_visible()


def test_line_ends_crlf_lf_and_cr_send_the_same_lines():
    for job in (b"G1\r\n\r\nG2 X1\r\nG3", b"G1\n\nG2 X1\nG3\n", b"G1\r\rG2 X1\rG3\r"):
        with JobRun(job=job) as run:
            run.answer(0, 0, 0, 0)
            finish_preparation(run)
            assert run.exit_status() == 0
            assert run.received()[6:] == [b"G1", b"", b"G2 X1", b"G3", b"@0B 65530,0"], job
            assert run.pane.row(10).endswith("  100")


def test_empty_job_and_no_argument_send_only_preparation_and_spindle_off():
    for args in (None, []):
        with JobRun(job=b"", args=args) as run:
            run.answer(1, 2, 3, 4)
            finish_preparation(run)
            assert run.exit_status() == 0
            assert run.received() == preparation(1, 2, 3, 4) + [b"@0B 65530,0"]
            assert run.pane.row(10) == " " * 9 + "Es sind an Prozent abgearbeitet:"


def test_answers_from_redirected_standard_input():
    answers = {"answers.txt": b"1\r\n2\r\n3\r\n500\r\n\r\n"}
    with JobRun(job=b"X\r\n", factors=b"3,3,3\r\n", shell_suffix="< answers.txt",
                files=answers) as run:
        assert run.exit_status() == 0
        assert run.received() == preparation(3, 6, 9, 500) + [b"X", b"@0B 65530,0"]
        assert "Verschiebung" not in "\n".join(run.pane.screen()), "no prompts are shown"


def test_missing_job_file_is_reported_before_the_port_opens():
    with JobRun(job=None, args=["no-such.job"]) as run:
        assert run.exit_status() == 1
        screen = run.pane.flat()
        assert "Die Auftragsdatei no-such.job kann nicht geöffnet werden" in screen, screen
        assert "Verschiebung" not in screen
        assert run.received() == []


def test_port_that_does_not_open_is_reported_and_ends_with_1():
    for device, reason in (("/nonexistent/tty", "No such file or directory"),
                           ("/dev/null", "Inappropriate ioctl for device")):
        with JobRun(job=b"G1\r\n", env={"CNCSEND_COM1": device}, simulator=False) as run:
            assert run.exit_status() == 1
            screen = run.pane.flat()
            assert port_failure_shown(screen, device, reason), screen
            assert "Verschiebung" not in screen


def test_line_lost_while_a_reply_is_awaited_ends_with_a_message():
    simulator = subprocess.Popen([CNCSIM, "--reply", "8="], stdout=subprocess.PIPE, text=True)
    try:
        path = simulator.stdout.readline().strip()
        with JobRun(job=b"G1\r\nG2\r\nG3\r\n", env={"CNCSEND_COM1": path},
                    simulator=False) as run:
            run.answer(0, 0, 0, 0)
            finish_preparation(run)
            run.pane.wait_for("abgearbeitet")
            time.sleep(0.5)
            assert run.pane.running()
            started = time.time()
            simulator.send_signal(signal.SIGKILL)
            assert run.exit_status(timeout=5) == 1
            assert time.time() - started < 2
            screen = run.pane.flat()
            assert "Die Verbindung zur Steuerung ist unterbrochen (Zeile 2 des Auftrags)." \
                in screen, screen
    finally:
        simulator.kill()
        simulator.wait()


if __name__ == "__main__":
    run_tests(globals())
