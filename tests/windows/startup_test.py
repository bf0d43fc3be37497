#!/usr/bin/env python3
"""mobrevist.exe under Wine: the program starts with its default package, recognises a phone
behind a hub from a recorded device enumeration (the machine's devices laid out for the
test), answers console commands piped to it and ends with 0 when told to quit.

Usage: startup_test.py WINDOWS_BUILD_DIR   (WINEPREFIX names the prefix; exit 77 skips)
"""
import os
import pathlib
import queue
import shutil
import subprocess
import sys
import tempfile
import threading
import time

SERIAL = "0A1B2C3D"


def fail(message, log=""):
    print(f"FAILED: {message}")
    if log:
        print("--- console ---\n" + log)
    sys.exit(1)


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


class Console:
    """The program's console over pipes, its lines read on a thread."""

    def __init__(self, args, env):
        self.proc = subprocess.Popen(args, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT)
        self.lines = queue.Queue()
        self.log = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.proc.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            self.log.append(line)
            self.lines.put(line)

    def send(self, command):
        self.proc.stdin.write((command + "\n").encode())
        self.proc.stdin.flush()

    def wait_for(self, predicate, what, seconds=180):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            try:
                line = self.lines.get(timeout=1)
            except queue.Empty:
                if self.proc.poll() is not None:
                    break
                continue
            if predicate(line):
                return line
        fail(f"no {what} within {seconds} s", "\n".join(self.log))

    def stop(self):
        try:
            self.send("quit")
            # Wine reads a Unix pipe waiting, so the console sees the quit once the pipe ends.
            self.proc.stdin.close()
            self.proc.wait(timeout=60)
        except (OSError, subprocess.TimeoutExpired):
            self.proc.kill()
        return self.proc.returncode


def main():
    build = pathlib.Path(sys.argv[1])
    wine = next((p for p in ("/usr/lib/wine/wine64", shutil.which("wine64"), shutil.which("wine"))
                 if p and os.path.exists(p)), None)
    if not wine:
        print("SKIPPED: no Wine")
        return 77
    with tempfile.TemporaryDirectory(prefix="mobrevist-wine-") as tmp:
        work = pathlib.Path(tmp)
        recording = work / "devices.txt"
        recording.write_text(f"usb | USB\\ROOT_HUB30\\4&2F9A3B1&0&0 | USB Root Hub (USB 3.0) | "
                             f"USB\\VID_18D1&PID_4EE7\\{SERIAL}\n"
                             f"usb | USB\\VID_18D1&PID_4EE7\\{SERIAL} | USB Composite Device |\n")
        env = dict(os.environ)
        env.update({
            "WINEDEBUG": env.get("WINEDEBUG", "-all"),
            "WINEDLLOVERRIDES": env.get("WINEDLLOVERRIDES", "mscoree,mshtml="),
            "MOBREVIST_SETUPAPI_RECORDING": windows_path(recording),
        })
        console = Console([wine, str(build / "bin" / "mobrevist.exe")], env)
        try:
            console.wait_for(lambda l: l.startswith(f"device arrived: Google Pixel ({SERIAL})"), "recognised phone")
            console.wait_for(lambda l: l.startswith("Mobrevist host ready"), "console")
            console.send("devices")
            console.wait_for(lambda l: l.startswith(f"{SERIAL} Google Pixel vid 18D1 pid 4EE7"), "device listing")
        finally:
            code = console.stop()
        if code != 0:
            fail(f"the program ended with {code}", "\n".join(console.log))
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
