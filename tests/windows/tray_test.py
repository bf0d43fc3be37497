#!/usr/bin/env python3
"""The tray icon of mobrevist.exe under Wine on a private X display (Xvfb), whose desktop
has a notification area: 'tray on' is answered only once the shell took the icon, 'tray off'
takes it away, and the program ends with 0.

Wine's desktop process keeps the display it was started with, so this test runs in a Wine
prefix of its own (wine_prefix.py).

Usage: tray_test.py WINDOWS_BUILD_DIR   (exit 77 skips)
"""
import os
import pathlib
import shutil
import subprocess
import sys

from wine_prefix import own_prefix


def start_xvfb():
    """Xvfb on the first free display; returns (process, display number) once it is ready."""
    read_end, write_end = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "800x600x24", "-nolisten", "tcp"],
                            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as ready:
        number = ready.readline().strip()  # printed once the server accepts clients
    if not number:
        proc.kill()
        return None, None
    return proc, number


def main():
    build = pathlib.Path(sys.argv[1])
    if not shutil.which("Xvfb"):
        print("SKIPPED: needs Xvfb")
        return 77
    xvfb, display = start_xvfb()
    if not xvfb:
        print("FAILED: Xvfb did not start")
        return 1
    try:
        with own_prefix(build, {"DISPLAY": f":{display}"}) as prefix:
            if not prefix:
                print("SKIPPED: needs Wine")
                return 77
            wine, env = prefix
            done = subprocess.run([wine, str(build / "bin" / "mobrevist.exe")], env=env,
                                  input=b"tray on\ntray off\nquit\n", capture_output=True, timeout=240)
            out = done.stdout.decode("utf-8", "replace")
            if "tray icon on" not in out or "tray icon off" not in out or done.returncode != 0:
                print(f"FAILED: exit {done.returncode}\n--- console ---\n{out}")
                return 1
    finally:
        xvfb.kill()
        xvfb.wait()
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
