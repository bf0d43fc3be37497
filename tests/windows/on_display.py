#!/usr/bin/env python3
"""Runs a Windows test program under Wine on a private X display (Xvfb), in the tests' own
prefix (wine_prefix.py), for tests whose windows need a display driver: Wine makes no
top-level window without one. MOBREVIST_PRIVATE_DISPLAY tells the program that the display
is its own to use.

Usage: on_display.py WINDOWS_BUILD_DIR PROGRAM [ARGS...]   (exit 77 skips)
"""
import pathlib
import subprocess
import sys

from wine_prefix import own_prefix, private_display


def main():
    build, program, args = pathlib.Path(sys.argv[1]), sys.argv[2], sys.argv[3:]
    with private_display() as display:
        if not display:
            print("SKIPPED: needs Xvfb")
            return 77
        with own_prefix(build, {"DISPLAY": f":{display}", "MOBREVIST_PRIVATE_DISPLAY": "1"}) as prefix:
            if not prefix:
                print("SKIPPED: needs Wine")
                return 77
            wine, env = prefix
            return subprocess.run([wine, program, *args], env=env, stdin=subprocess.DEVNULL, timeout=500).returncode


if __name__ == "__main__":
    sys.exit(main())
