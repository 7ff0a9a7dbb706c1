"""The Debian package, installed for real: run as root with the .deb.

    python3 tests/package/test_package.py build-pkg/cncsend_1.0.0_amd64.deb

Installs it with dpkg, sends a job with the installed /usr/bin/cncsend to
the installed cncsim (answers from a file on standard input) and checks
every line on the wire and the run record; checks that the operator's down.cfg survives a
reinstall and that the manual page is there; then removes the package.
"""
import os
import subprocess
import sys
import tempfile

CONFIG = "/etc/cncsend/down.cfg"
# Job line 2 is answered "1": the pause takes the Enter after the answers.
JOB = b"G0 X1\r\nG0 X2\nG0 X3"


def dpkg(*args):
    subprocess.run(["dpkg", *args], check=True, stdout=subprocess.DEVNULL)


def send_job(folder):
    job = os.path.join(folder, "part.nc")
    with open(job, "wb") as f:
        f.write(JOB)
    answers = os.path.join(folder, "answers")
    with open(answers, "wb") as f:
        f.write(b"10\n-5\n3\n800\n\n\n")
    log = os.path.join(folder, "received.log")
    record = os.path.join(folder, "record.log")
    with open(answers, "rb") as stdin:
        run = subprocess.run(["/usr/bin/cncsim", "--reply", "8=1", "--log", log, "--",
                              "/usr/bin/cncsend", job], stdin=stdin, capture_output=True,
                             cwd=folder, timeout=60, env={**os.environ, "CNCSEND_LOG": record})
    assert run.returncode == 0, run
    with open(log, "rb") as f:
        wire = [line.split(b"\t") for line in f.read().splitlines()]
    with open(record, "rb") as f:
        return wire, f.read().splitlines()


def expected_wire(x, y, z):
    lines = [b"@07", b"@0R7", b"@0M%d,3000,%d,3000,%d,3000,0,30" % (x, y, z), b"@0n7", b"",
             b"@0B 65530,800", b"G0 X1", b"G0 X2", b"G0 X3", b"@0B 65530,0"]
    return [[str(n).encode(), text, b"1" if n == 8 else b"0"]
            for n, text in enumerate(lines, 1)]


def main():
    deb = sys.argv[1]
    dpkg("-i", deb)
    try:
        conffiles = subprocess.run(["dpkg-query", "-W", "-f", "${Conffiles}", "cncsend"],
                                   check=True, capture_output=True, text=True).stdout
        assert CONFIG in conffiles, conffiles
        assert os.path.realpath("/usr/bin/cncsend") == "/usr/lib/cncsend/cncsend"
        assert os.path.exists("/usr/share/man/man1/cncsend.1.gz")
        with tempfile.TemporaryDirectory() as folder:
            # The shipped factors, found through both links.
            wire, record = send_job(folder)
            assert wire == expected_wire(4000, -2000, 1200), wire
            assert b'program "/usr/lib/cncsend/cncsend"' in record[0], record
            assert record[-1].endswith(b" end normal"), record
            # The operator's own factors stay over a reinstall.
            with open(CONFIG, "w") as f:
                f.write("2,3,4\n")
            dpkg("-i", deb)
            wire, _ = send_job(folder)
            assert wire == expected_wire(20, -15, 12), wire
    finally:
        dpkg("-r", "cncsend")
    assert not os.path.lexists("/usr/bin/cncsend")
    assert not os.path.exists("/usr/lib/cncsend/cncsend")
    dpkg("-P", "cncsend")
    assert not os.path.exists(CONFIG)
    print("ok   package installed, run against cncsim, kept the factors, removed")


main()
