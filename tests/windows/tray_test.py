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

from wine_prefix import own_prefix, private_display


def main():
    build = pathlib.Path(sys.argv[1])
    if not shutil.which("Xvfb"):
        print("SKIPPED: needs Xvfb")
        return 77
    with private_display() as display:
        if not display:
            print("FAILED: Xvfb did not start")
            return 1
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
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
