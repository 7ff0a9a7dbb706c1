"""The line editor in a real terminal: keys sent through tmux, answers read
back from the screen, and the terminal's settings after the program ends."""
import os
import re
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from tmux_pane import UNDER_WINE, TmuxPane, e2e_program, pid_of  # noqa: E402

PROGRAM = e2e_program("prompt_demo")


def program_pid(pane):
    pane.wait_for("pid ")
    if UNDER_WINE:
        return pid_of(PROGRAM[-1])  # the pid shown is Windows' own
    return int(re.search(r"pid (\d+)", "\n".join(pane.screen())).group(1))


# Under Wine the signals of a Linux terminal reach no handler of a Windows
# program: the Linux terminal backend's handling of them is tested alone.
posix_signals = unittest.skipIf(UNDER_WINE, "no POSIX signal handlers in a Windows program")


def cursor_shown(pane):
    return pane.tmux("display-message", "-p", "-t", "0", "#{cursor_flag}").stdout.strip() == "1"


def assert_terminal_echoes(test, pane):
    """After the program: typed text shows again, so the settings are back."""
    pane.send_keys("echo-is-back")
    pane.wait_for("echo-is-back", timeout=5)
    test.assertTrue(cursor_shown(pane))


class LineEditorInTerminal(unittest.TestCase):
    def test_editing_keys_give_the_right_answers(self):
        # Home and End from tmux arrive in Wine's console with no key code.
        home = not UNDER_WINE
        with TmuxPane([*PROGRAM, "4" if home else "3"]) as pane:
            pane.wait_for("Spindeldrehzahl ?")
            pane.wait_until_reading()
            pane.send_keys("12", "Left", "3", "Enter")
            pane.wait_for("Antwort: [132] 313332")
            if home:
                pane.send_keys("123", "Home", "DC", "Enter")
                pane.wait_for("Antwort: [23] 3233")
            pane.send_keys("abc", "Escape")
            time.sleep(0.3)  # a lone ESC is told from a sequence by a pause
            pane.send_keys("9", "Enter")
            pane.wait_for("Antwort: [9] 39")
            pane.send_keys("\u00e4", "x", "Enter")
            pane.wait_for("Antwort: [\u00e4x] 8478")
            self.assertEqual(pane.exit_status(), 0)
            screen = "\n".join(pane.screen())
            self.assertIn("Spindeldrehzahl ? 132", screen)
            self.assertIn("? 23\n" if home else "? 9\n", screen + "\n")
            assert_terminal_echoes(self, pane)

    def test_ctrl_c_ends_the_program_at_once(self):
        with TmuxPane([*PROGRAM, "1"]) as pane:
            pid = program_pid(pane)
            pane.wait_for("?")  # capture-pane cuts trailing blanks
            pane.send_keys("12", "C-c")
            # The terminal's interrupt reaches the shell of the pane too, so
            # only the end of the program can be seen here.
            deadline = time.time() + 10
            while time.time() < deadline and os.path.exists(f"/proc/{pid}"):
                time.sleep(0.05)
            self.assertFalse(os.path.exists(f"/proc/{pid}"))

    @posix_signals
    def test_interrupt_restores_the_terminal(self):
        with TmuxPane([*PROGRAM, "1"]) as pane:
            pid = program_pid(pane)
            pane.wait_for("?")
            pane.send_keys("12")
            pane.wait_for("? 12")
            os.kill(pid, signal.SIGINT)
            self.assertEqual(pane.exit_status(), 128 + signal.SIGINT)
            assert_terminal_echoes(self, pane)

    @posix_signals
    def test_sigterm_restores_the_terminal(self):
        with TmuxPane([*PROGRAM, "1"]) as pane:
            pid = program_pid(pane)
            pane.wait_for("?")  # capture-pane cuts trailing blanks
            os.kill(pid, signal.SIGTERM)
            self.assertEqual(pane.exit_status(), 128 + signal.SIGTERM)
            assert_terminal_echoes(self, pane)

    @posix_signals
    def test_suspend_gives_the_terminal_back_and_continue_takes_it_again(self):
        with TmuxPane([*PROGRAM, "1"]) as pane:
            pid = program_pid(pane)
            pane.wait_for("?")  # capture-pane cuts trailing blanks
            pane.send_keys("4")
            pane.wait_for("? 4")
            os.kill(pid, signal.SIGTSTP)
            time.sleep(0.3)
            pane.send_keys("seen")  # echoed by the terminal while stopped
            pane.wait_for("seen")
            pane.send_keys("BSpace", "BSpace", "BSpace", "BSpace")
            time.sleep(0.2)
            os.kill(pid, signal.SIGCONT)
            time.sleep(0.3)
            pane.send_keys("5", "Enter")
            pane.wait_for("Antwort: [45] 3435")
            self.assertEqual(pane.exit_status(), 0)


class AnswersFromRedirectedInput(unittest.TestCase):
    def test_no_prompt_and_the_answers_come_from_standard_input(self):
        done = subprocess.run([*PROGRAM, "2"], input=b"17\n\x84x\n", capture_output=True,
                              timeout=20)
        self.assertEqual(done.returncode, 0)
        self.assertNotIn(b"Spindeldrehzahl", done.stdout)
        self.assertNotIn(b"?", done.stdout)
        self.assertIn(b"Antwort: [17] 3137\r\n", done.stdout)
        self.assertIn(b"Antwort: [\x84x] 8478\r\n", done.stdout)


if __name__ == "__main__":
    unittest.main()
