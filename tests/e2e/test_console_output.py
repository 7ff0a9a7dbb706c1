"""Console output on a real terminal: positioned text, code page 437 umlauts,
scrolling into the terminal's scrollback, the cursor shown again at the end,
and the bytes one progress update costs."""
import fcntl
import os
import pty
import select
import struct
import sys
import termios
import time

from tmux_pane import UNDER_WINE, TmuxPane, e2e_program

DEMO = e2e_program("screen_demo")


def test_positions_umlauts_and_scroll():
    with TmuxPane(DEMO, width=80, height=25) as pane:
        pane.wait_for("x       z")
        rows = pane.screen()
        # Two line feeds on the last row scrolled everything up by two.
        assert rows[0] == "    Größe: äöü ÄÖÜ", rows
        assert rows[7] == " " * 9 + "Fortschritt:" + " " * 38 + "   42", rows[7]
        assert rows[9] == " " * 59 + "0", rows[9]
        assert rows[22] == "Zeile A", rows
        assert rows[23] == "Zeile B", rows
        assert rows[24] == "x       z", rows
        if not UNDER_WINE:
            # Wine's console scrolls by drawing the rows again, so nothing
            # reaches the terminal's scrollback there.
            assert "Kopfzeile oben" in pane.history(), pane.history()
        assert pane.cursor() == (25, 10), pane.cursor()
        assert not pane.cursor_visible()
        pane.send_keys("Enter")
        assert pane.exit_status() == 0
        assert pane.cursor_visible(), "the shell inherited a hidden cursor"


def read_burst(fd, quiet=0.4, limit=5.0):
    """Bytes until the program has been quiet for a while; answers the
    cursor-position question as a terminal would."""
    data = b""
    deadline = time.time() + limit
    while time.time() < deadline:
        ready, _, _ = select.select([fd], [], [], quiet)
        if not ready:
            if data:
                break
            continue
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            break
        if not chunk:
            break
        if b"\x1b[6n" in chunk:
            os.write(fd, b"\x1b[5;1R")
            chunk = chunk.replace(b"\x1b[6n", b"")
        data += chunk
    return data


def start_on_pty(*args):
    pid, fd = pty.fork()
    if pid == 0:
        os.environ.update(LANG="C.UTF-8", LC_ALL="C.UTF-8", TERM="xterm")
        os.execv(DEMO[0], [*DEMO, *args])
    fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", 25, 80, 0, 0))
    return pid, fd


def test_ctrl_c_shows_the_cursor_again():
    if UNDER_WINE:
        return "Ctrl+C under Wine ends even a trivial program with exit code 0"
    pid, fd = start_on_pty()
    shown = read_burst(fd)
    assert b"\x1b[?25l" in shown and b"\x1b[?25h" not in shown, shown
    os.write(fd, b"\x03")
    rest = read_burst(fd)
    _, status = os.waitpid(pid, 0)
    assert os.WIFSIGNALED(status) and os.WTERMSIG(status) == 2, status
    assert rest.endswith(b"\x1b[?25h"), rest


def test_progress_update_bytes():
    if UNDER_WINE:
        return "the terminal's bytes are those of Wine's console, not the program's"
    pid, fd = start_on_pty("progress")
    setup = read_burst(fd)
    update = read_burst(fd)
    os.waitpid(pid, 0)
    print(f"set-up and clear: {len(setup)} bytes; one progress update: "
          f"{len(update)} bytes: {update!r}")
    assert update == b"\x1b[10;60H   42", update


def main():
    failed = 0
    for name, test in sorted(globals().items()):
        if name.startswith("test_") and callable(test):
            try:
                skipped = test()
                print(f"skip {name}: {skipped}" if skipped else f"ok   {name}")
            except AssertionError as error:
                failed += 1
                print(f"FAIL {name}: {error}")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
