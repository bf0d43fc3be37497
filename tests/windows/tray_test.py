#!/usr/bin/env python3
"""The tray icon of mobrevist.exe under Wine on a private X display (Xvfb), whose desktop
has a notification area: 'tray on' is answered only once the shell took the icon, 'tray off'
takes it away, and the program ends with 0.

Wine's desktop process keeps the display it was started with, so this test runs in a Wine
prefix of its own (made on first use, its server ended afterwards), not in the shared one.

Usage: tray_test.py WINDOWS_BUILD_DIR   (exit 77 skips)
"""
import os
import pathlib
import shutil
import subprocess
import sys


def wine_program(name):
    for candidate in (f"/usr/lib/wine/{name}64", shutil.which(f"{name}64"), shutil.which(name)):
        if candidate and os.path.exists(candidate):
            return candidate
    return None


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
    wine, wineserver = wine_program("wine"), wine_program("wineserver")
    if not wine or not wineserver or not shutil.which("Xvfb"):
        print("SKIPPED: needs Wine and Xvfb")
        return 77
    xvfb, display = start_xvfb()
    if not xvfb:
        print("FAILED: Xvfb did not start")
        return 1
    env = dict(os.environ, WINEPREFIX=str(build / "wine-desktop"), DISPLAY=f":{display}",
               WINEDEBUG=os.environ.get("WINEDEBUG", "-all"),
               WINEDLLOVERRIDES=os.environ.get("WINEDLLOVERRIDES", "mscoree,mshtml="))
    try:
        if not (build / "wine-desktop" / "system.reg").exists():
            subprocess.run([wine, "wineboot", "--init"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=300)
            subprocess.run([wineserver, "-w"], env=env, timeout=300)
        done = subprocess.run([wine, str(build / "bin" / "mobrevist.exe")], env=env, input=b"tray on\ntray off\nquit\n",
                              capture_output=True, timeout=240)
        out = done.stdout.decode("utf-8", "replace")
        if "tray icon on" not in out or "tray icon off" not in out or done.returncode != 0:
            print(f"FAILED: exit {done.returncode}\n--- console ---\n{out}")
            return 1
    finally:
        subprocess.run([wineserver, "-k"], env=env, stderr=subprocess.DEVNULL, timeout=120)
        xvfb.kill()
        xvfb.wait()
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
