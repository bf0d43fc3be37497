#!/usr/bin/env python3
"""The Windows installer, built by scripts/package-windows and run under Wine.

A program folder is staged (names with "$", spaces and Chinese included); the installer
made from it installs silently into a folder of this test, every file arrives
byte-identical, the Start-menu entry and the uninstall entry are made; the uninstaller
removes exactly what was installed (a file the user left in the folder stays) and the
entries. A build that lacks a part of the program makes no installer.

Usage: installer_test.py SOURCE_DIR   (WINEPREFIX names the prefix; exit 77 skips)
"""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

STAGED = {
    "mobrevist.exe": b"MZ stand-in program\n",
    "mobrevist.rsrc/ICON/130": b"\x89PNG icon\n",
    "adb_help.rsrc/MYCURSOR/101": b"PK device database\n",
    "uipkg/onload.lua": b"-- package\n",
    "uipkg/console/commands.lua": b"return {}\n",
    "uipkg/\u76f8\u518c/a$b c.lua": b"-- a name with a dollar, a space and Chinese\n",
    "agent/version.txt": b"1.0.0\n",
    "agent/arm64-v8a/mobrevist-agent": bytes(range(256)) * 64,
    "web/index.html": b"<!doctype html><title>Mobrevist</title>\n",
    "web/assets/app.js": b"console.log(1)\n",
}
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Mobrevist"


def wine_program(name):
    for candidate in (f"/usr/lib/wine/{name}64", shutil.which(f"{name}64"), shutil.which(name)):
        if candidate and os.path.exists(candidate):
            return candidate
    return None


def run_wine(args, env, tmp):
    # Output goes to a file, not a pipe: services Wine starts on the way keep inherited
    # pipes open long after the program has ended.
    log = tmp / "wine.log"
    with open(log, "wb") as out:
        code = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                              timeout=300).returncode
    return code, log.read_text(errors="replace")


def fail(message):
    print(f"FAILED: {message}")
    sys.exit(1)


def wait_until(predicate, seconds=180):
    # The uninstaller copies itself to the temp folder and runs from there, so the first
    # process ends before the files are gone.
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.2)
    return predicate()


def main():
    source = pathlib.Path(sys.argv[1])
    wine = wine_program("wine")
    prefix = os.environ.get("WINEPREFIX")
    if not shutil.which("makensis") or not wine or not prefix:
        print("SKIPPED: makensis, Wine or WINEPREFIX missing (scripts/test --windows sets them up)")
        return 77
    env = dict(os.environ, WINEDEBUG="-all")
    with tempfile.TemporaryDirectory() as tmp:
        tmp = pathlib.Path(tmp)
        build = tmp / "build"
        for rel, data in STAGED.items():
            path = build / "bin" / rel
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
        (build / "bin" / "test_platform.exe").write_bytes(b"MZ a test program\n")

        package = [str(source / "scripts/package-windows"), str(build)]
        setup = tmp / "setup.exe"
        # Without the front end there is no installer, and the missing part is named.
        web = build / "bin/web/index.html"
        web.rename(tmp / "index.html")
        run = subprocess.run(package + [str(setup)], capture_output=True, text=True)
        if run.returncode == 0 or setup.exists() or "web/index.html" not in run.stderr:
            fail(f"a build without web/index.html was packaged: {run.returncode} {run.stderr}")
        (tmp / "index.html").rename(web)
        run = subprocess.run(package + [str(setup)], capture_output=True, text=True)
        if run.returncode != 0 or not setup.exists():
            fail(f"package-windows: {run.returncode}\n{run.stdout}\n{run.stderr}")

        # The installer takes /D= unquoted, so the folder name has no space.
        name = f"mobrevist-test-{os.getpid()}"
        target = pathlib.Path(prefix) / "drive_c" / name
        shutil.rmtree(target, ignore_errors=True)
        code, log = run_wine([wine, str(setup), "/S", f"/D=C:\\{name}"], env, tmp)
        if code != 0:
            fail(f"the installer ended with {code}: {log}")
        for rel, data in STAGED.items():
            got = target / rel
            if not got.is_file() or got.read_bytes() != data:
                fail(f"{rel} not installed as staged")
        if (target / "test_platform.exe").exists():
            fail("a test program was installed")
        menu = pathlib.Path(prefix) / "drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Mobrevist"
        if not (menu / "Mobrevist.lnk").is_file():
            fail(f"no Start-menu entry in {menu}")
        query = [wine, "reg", "query", UNINSTALL_KEY, "/v", "DisplayVersion"]
        code, listed = run_wine(query, env, tmp)
        if code != 0 or "1.0.0.1" not in listed:
            fail(f"no uninstall entry with the version: {listed}")

        (target / "notes.txt").write_text("the user's own file\n")
        run_wine([wine, f"C:\\{name}\\uninstall.exe", "/S"], env, tmp)
        if not wait_until(lambda: not (target / "uninstall.exe").exists() and not (target / "uipkg").exists()):
            fail(f"the uninstaller left {sorted(str(p) for p in target.rglob('*'))}")
        left = sorted(str(p.relative_to(target)) for p in target.rglob("*"))
        if left != ["notes.txt"]:
            fail(f"after uninstalling: {left}")
        if menu.exists():
            fail("the Start-menu folder is still there")
        if run_wine(query, env, tmp)[0] == 0:
            fail("the uninstall entry is still there")
        shutil.rmtree(target, ignore_errors=True)
    print("installer: built, installed, uninstalled")
    return 0


if __name__ == "__main__":
    sys.exit(main())
