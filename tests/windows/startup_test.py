#!/usr/bin/env python3
"""mobrevist.exe under Wine, installed in a program folder of the test: the program starts
with its default package, recognises a phone behind a hub from a recorded device
enumeration (the machine's devices laid out for the test), answers console commands piped
to it, and its clipboard is read and written by a second Windows program. With the Linux
build's stand-ins it also walks the phone's road: its bridge client (a relay to the Linux
stand-in, which the test runs) pushes and starts the agent (a Linux program on loopback),
the console lists the phone's SMS, pushes a file that lands byte-identical in the phone's
storage, and pulls it back. It ends with 0 when told to quit.

Usage: startup_test.py WINDOWS_BUILD_DIR SOURCE_DIR RELAY_CLIENT CLIPBOARD_PEER [LINUX_BIN_DIR]
(it runs in a Wine prefix of its own, wine_prefix.py; exit 77 skips)
"""
import os
import pathlib
import queue
import socketserver
import struct
import shutil
import subprocess
import sys
import tempfile
import threading
import time

from wine_prefix import own_prefix

SERIAL = "0A1B2C3D"
PAYLOAD = bytes(range(256)) * 257 + "\u624b\u673a end\n".encode()


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


def unix_path(arg):
    """A path on Wine's drive Z: as the Linux side names it; anything else as it is."""
    if len(arg) > 2 and arg[0] in "Zz" and arg[1] == ":" and arg[2] in "\\/":
        return arg[2:].replace("\\", "/")
    return arg


def start_relay(adb_help, env):
    """Runs the Linux bridge stand-in for each command line the Windows relay client sends."""

    def read_exact(conn, n):
        data = b""
        while len(data) < n:
            chunk = conn.recv(n - len(data))
            if not chunk:
                raise ConnectionError("the relay client went")
            data += chunk
        return data

    class Handler(socketserver.BaseRequestHandler):
        def handle(self):
            conn = self.request
            count = struct.unpack("<I", read_exact(conn, 4))[0]
            args = []
            for _ in range(count):
                length = struct.unpack("<I", read_exact(conn, 4))[0]
                args.append(unix_path(read_exact(conn, length).decode("utf-8", "replace")))
            try:
                done = subprocess.run([str(adb_help)] + args, env=env, stdin=subprocess.DEVNULL,
                                      capture_output=True, timeout=120)
                code, out, err = done.returncode, done.stdout, done.stderr
            except subprocess.TimeoutExpired:
                code, out, err = 1, b"", b"relay: the stand-in did not end\n"
            conn.sendall(struct.pack("<i", code) + struct.pack("<I", len(out)) + out + struct.pack("<I", len(err)) + err)

    server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def wait_for_file(path, content, seconds=60):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if path.is_file() and path.stat().st_size == len(content) and path.read_bytes() == content:
            return True
        time.sleep(0.2)
    return False


def check(wine, prefix_env):
    build, source, relay_client, clipboard_peer = (pathlib.Path(a) for a in sys.argv[1:5])
    linux_bin = pathlib.Path(sys.argv[5]) if len(sys.argv) > 5 and sys.argv[5] else None
    stand_ins = linux_bin and (linux_bin / "adb_help").is_file() and \
        (linux_bin / "agent" / "x86_64" / "mobrevist-agent").is_file()
    if not stand_ins:
        print(f"note: no Linux stand-ins in {linux_bin}: the start-up alone is checked")
    with tempfile.TemporaryDirectory(prefix="mobrevist-wine-") as tmp:
        work = pathlib.Path(tmp)
        # The program folder as installed: the program, its package and resources, the agents.
        program = work / "program"
        program.mkdir()
        bin_dir = build / "bin"
        shutil.copy(bin_dir / "mobrevist.exe", program)
        for folder in ("uipkg", "mobrevist.rsrc", "adb_help.rsrc"):
            shutil.copytree(bin_dir / folder, program / folder)
        recording = work / "devices.txt"
        recording.write_text(f"usb | USB\\ROOT_HUB30\\4&2F9A3B1&0&0 | USB Root Hub (USB 3.0) | "
                             f"USB\\VID_18D1&PID_4EE7\\{SERIAL}\n"
                             f"usb | USB\\VID_18D1&PID_4EE7\\{SERIAL} | USB Composite Device |\n")
        env = dict(prefix_env, MOBREVIST_SETUPAPI_RECORDING=windows_path(recording))
        relay = None
        phone_root = work / "phone-root"
        if stand_ins:
            shutil.copytree(linux_bin / "agent", program / "agent")
            fake_android = source / "tests" / "support" / "fake_android"
            subprocess.run([sys.executable, str(fake_android / "make_phone.py"), str(linux_bin / "agent-sim-data.txt"),
                            str(work / "android"), str(phone_root)], check=True, stdout=subprocess.DEVNULL)
            scenario = work / "adb_help.scenario"
            scenario.write_text(f"device {SERIAL.lower()} device\nphone-root {phone_root}\n"
                                f"agent-args --tcp --root {phone_root}\n")
            linux_env = dict(os.environ, PATH=f"{fake_android}:{os.environ.get('PATH', '')}",
                             FAKE_ANDROID_DIR=str(work / "android"), ADB_HELP_SCENARIO=str(scenario))
            relay = start_relay(linux_bin / "adb_help", linux_env)
            env["MOBREVIST_BRIDGE_RELAY_PORT"] = str(relay.server_address[1])
        local = work / "local"
        local.mkdir()
        (local / "up.bin").write_bytes(PAYLOAD)

        # Without a bridge client beside it or on PATH the program says what to do.
        bare = Console([wine, str(program / "mobrevist.exe")], env)
        try:
            bare.wait_for(lambda l: l.startswith("adb: the debug-bridge client was not found: put Android's adb.exe"),
                          "missing bridge client")
        finally:
            if bare.stop() != 0:
                fail("the program without a bridge client did not end with 0", "\n".join(bare.log))
        if stand_ins:
            shutil.copy(relay_client, program / "adb_help.exe")
        console = Console([wine, str(program / "mobrevist.exe")], env)
        try:
            console.wait_for(lambda l: l.startswith(f"device arrived: Google Pixel ({SERIAL})"), "recognised phone")
            console.wait_for(lambda l: l.startswith("Mobrevist host ready"), "console")
            console.send("devices")
            console.wait_for(lambda l: l.startswith(f"{SERIAL} Google Pixel vid 18D1 pid 4EE7"), "device listing")
            # The clipboard, checked by a second Windows program in the same prefix each way.
            console.send("copy text from the console \u624b\u673a")
            console.wait_for(lambda l: l.startswith("copied ") and "bytes of text" in l, "copy")
            held = subprocess.run([wine, str(clipboard_peer), "get-text"], env=env, capture_output=True, timeout=120)
            if held.stdout.decode("utf-8", "replace").strip() != "text from the console \u624b\u673a":
                fail(f"the clipboard holds {held.stdout!r}", "\n".join(console.log))
            subprocess.run([wine, str(clipboard_peer), "set-text", "from the peer"], env=env, check=True,
                           capture_output=True, timeout=120)
            console.send("paste")
            console.wait_for(lambda l: l == "clipboard: from the peer", "paste")
            if stand_ins:
                connected = console.wait_for(lambda l: l.startswith("agent connected"), "agent connection")
                if " SMS" not in connected:
                    fail(f"unexpected connection line: {connected}", "\n".join(console.log))
                console.send("sms")
                # Each message is a line that starts with its id.
                console.wait_for(lambda l: l[:1].isdigit(), "SMS listing")
                console.send(f"push {windows_path(local / 'up.bin')} /sdcard/up.bin")
                result = console.wait_for(lambda l: l.startswith("push ") and (": done" in l or ": failed" in l),
                                          "push result")
                if ": done" not in result or not wait_for_file(phone_root / "sdcard" / "up.bin", PAYLOAD):
                    fail(f"the pushed file did not land byte-identical on the phone ({result})",
                         "\n".join(console.log))
                console.send(f"pull /sdcard/up.bin {windows_path(local / 'down.bin')}")
                result = console.wait_for(lambda l: l.startswith("pull ") and (": done" in l or ": failed" in l),
                                          "pull result")
                if ": done" not in result or not wait_for_file(local / "down.bin", PAYLOAD):
                    fail(f"the pulled file is not the phone's ({result})", "\n".join(console.log))
        finally:
            code = console.stop()
            if relay:
                relay.shutdown()
            pid_file = phone_root / "data" / "local" / "tmp" / "mobrevist-agent.pid"
            if pid_file.is_file():
                subprocess.run(["kill", pid_file.read_text().split()[0]], stderr=subprocess.DEVNULL)
        if code != 0:
            fail(f"the program ended with {code}", "\n".join(console.log))
    print("passed")
    return 0


def main():
    # A prefix of its own: the program's one-instance mutex must not meet the host tests'.
    with own_prefix(pathlib.Path(sys.argv[1])) as prefix:
        if not prefix:
            print("SKIPPED: no Wine")
            return 77
        return check(*prefix)


if __name__ == "__main__":
    sys.exit(main())
