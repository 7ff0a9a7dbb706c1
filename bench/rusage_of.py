"""Runs a program and writes the CPU time it used: rusage_of.py OUT PROGRAM ARGS...

OUT gets one line: user seconds, system seconds, wall seconds, peak resident
kilobytes. The program inherits the terminal; the exit code is passed on."""
import os
import sys
import time

out, argv = sys.argv[1], sys.argv[2:]
started = time.monotonic()
pid = os.fork()
if pid == 0:
    os.execvp(argv[0], argv)
_, status, usage = os.wait4(pid, 0)
wall = time.monotonic() - started
with open(out, "w") as f:
    f.write(f"{usage.ru_utime:.6f} {usage.ru_stime:.6f} {wall:.6f} {usage.ru_maxrss}\n")
sys.exit(os.waitstatus_to_exitcode(status) & 0xFF)
