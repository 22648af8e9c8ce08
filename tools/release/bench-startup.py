#!/usr/bin/env python3
"""Start-up benchmark: time from process start until the window is painted on the
screen, for the installer and for a minimal Win32 program of the same size, both
under Wine and the same virtual display. Prints medians and the ratio.

Usage: tools/release/bench-startup.py [--runs N]   (after a build: tools/test or cmake --build)
"""
import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.join(ROOT, "build", "i686")


def wait_for_window(title, deadline):
    while time.monotonic() < deadline:
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title],
                             capture_output=True, text=True).stdout.split()
        if out:
            return out[0]
        time.sleep(0.005)
    return None


def painted(window_id):
    """True once the window's centre shows something other than black (unpainted)."""
    out = subprocess.run(["import", "-silent", "-window", window_id, "-gravity", "center", "-crop", "1x1+0+0",
                          "-depth", "8", "txt:-"], capture_output=True, text=True).stdout
    return "#000000" not in out and "srgb" in out.lower()


def one_run(exe, title, env):
    start = time.monotonic()
    process = subprocess.Popen([os.path.join(ROOT, "tools", "wine-run"), exe], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = start + 30
        window = wait_for_window(title, deadline)
        if not window:
            raise RuntimeError(f"{exe}: no window titled {title!r} within 30 s")
        while not painted(window):
            if time.monotonic() > deadline:
                raise RuntimeError(f"{exe}: window never painted")
        return time.monotonic() - start
    finally:
        process.send_signal(signal.SIGKILL)
        process.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    installer = os.path.join(BUILD, "src", "Window", "VanteloSetup.exe")
    reference = os.path.join(BUILD, "tools", "release", "minimal_window.exe")
    for exe in (installer, reference):
        if not os.path.exists(exe):
            sys.exit(f"bench-startup: {exe} is missing: build first (cmake --build --preset i686)")
    env = dict(os.environ, WINEDEBUG="-all", WINEPREFIX=os.path.join(ROOT, "build", "wineprefix"))
    xvfb = None
    if not env.get("DISPLAY"):
        display = ":97"
        xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        env["DISPLAY"] = display
        os.environ["DISPLAY"] = display
        time.sleep(1)
    subprocess.run(["wineserver", "-p"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        # One warm-up each: Wine's first start in a prefix loads its own services.
        one_run(reference, "Minimal Reference Window", env)
        one_run(installer, "Vantelo Pexar Setup", env)
        times = {"installer": [], "reference": []}
        for _ in range(args.runs):
            times["reference"].append(one_run(reference, "Minimal Reference Window", env))
            times["installer"].append(one_run(installer, "Vantelo Pexar Setup", env))
        ours = statistics.median(times["installer"])
        peer = statistics.median(times["reference"])
        print(f"runs: {args.runs} each, under Wine with a virtual display")
        print(f"installer first paint: median {ours * 1000:.0f} ms (min {min(times['installer']) * 1000:.0f})")
        print(f"minimal window first paint: median {peer * 1000:.0f} ms (min {min(times['reference']) * 1000:.0f})")
        print(f"ratio installer / minimal window: {ours / peer:.2f} (goal <= 1.2)")
    finally:
        if xvfb:
            xvfb.kill()
            subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


if __name__ == "__main__":
    main()
