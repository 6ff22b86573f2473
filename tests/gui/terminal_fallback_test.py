#!/usr/bin/env python3
"""The desktop mode without a display but with a terminal: the caption and text appear on the
terminal (not on standard output), the process waits for Enter, then exits 0.
Usage: terminal_fallback_test.py MORVANE
"""
import os
import pty
import select
import sys
import tempfile
import time

morvane = sys.argv[1]


def fail(message):
    print(f"FAIL: {message}")
    sys.exit(1)


def read_until(fd, text, seconds):
    seen = b""
    deadline = time.monotonic() + seconds
    while text not in seen and time.monotonic() < deadline:
        ready, _, _ = select.select([fd], [], [], 0.1)
        if ready:
            try:
                seen += os.read(fd, 4096)
            except OSError:
                break
    return seen


with tempfile.TemporaryFile() as standard_output:
    environment = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    pid, terminal = pty.fork()
    if pid == 0:
        os.dup2(standard_output.fileno(), 1)
        os.execve(morvane, [morvane, "--gui"], environment)

    shown = read_until(terminal, b"Press Enter", 10)
    for line in (b"Morvane Lab", b"Morvane Lab - PBR texture baker",
                 b"Run it from a console with --help to list the bake commands."):
        if line not in shown:
            fail(f"the terminal did not show {line!r}: {shown!r}")
    time.sleep(0.3)
    if os.waitpid(pid, os.WNOHANG) != (0, 0):
        fail("morvane did not wait for Enter")
    os.write(terminal, b"\n")
    deadline = time.monotonic() + 10
    while (result := os.waitpid(pid, os.WNOHANG)) == (0, 0) and time.monotonic() < deadline:
        read_until(terminal, b"\x00", 0.1)
    if result == (0, 0):
        os.kill(pid, 9)
        fail("morvane still runs after Enter")
    if os.waitstatus_to_exitcode(result[1]) != 0:
        fail(f"exit status {os.waitstatus_to_exitcode(result[1])}")
    standard_output.seek(0)
    if standard_output.read():
        fail("standard output is not empty")
print("shown on the terminal, dismissed with Enter: exit status 0, standard output empty")
