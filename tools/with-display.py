#!/usr/bin/env python3
"""Runs a command on a virtual display of its own, of the given size, and stops that
display (by its process id) when the command ends. For tests whose windows do not fit
the shared test display, such as the skin at 192 DPI.

Usage: tools/with-display.py WIDTHxHEIGHT command [argument...]
"""
import os
import signal
import subprocess
import sys


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    size, command = sys.argv[1], sys.argv[2:]
    read, write = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", size + "x24", "-nolisten", "tcp"],
                            pass_fds=(write,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)
    os.close(write)
    try:
        with os.fdopen(read) as numbers:
            number = numbers.readline().strip()
        if not number:
            print("with-display: Xvfb did not start", file=sys.stderr)
            return 2
        return subprocess.call(command, env=dict(os.environ, DISPLAY=":" + number))
    finally:
        if xvfb.poll() is None:
            os.kill(xvfb.pid, signal.SIGTERM)
            try:
                xvfb.wait(10)
            except subprocess.TimeoutExpired:
                os.kill(xvfb.pid, signal.SIGKILL)
                xvfb.wait()


if __name__ == "__main__":
    sys.exit(main())
