#!/usr/bin/env python3
"""Every program of the Windows build imports only libraries Windows itself has.

A program that needs a library of the build machine (zlib1.dll, libwinpthread-1.dll, a
libstdc++ DLL) starts under Wine, which ships some of them, and fails on a real Windows
machine. The import tables are read with objdump -p.

Usage: system_imports_test.py BUILD_DIR OBJDUMP
"""
import pathlib
import re
import subprocess
import sys

# Libraries of Windows itself (lower case). The C runtime is the system's msvcrt.dll.
SYSTEM = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "oleaut32.dll",
    "ws2_32.dll", "mswsock.dll", "bcrypt.dll", "wininet.dll", "msvcrt.dll", "userenv.dll", "shlwapi.dll",
    "comctl32.dll", "comdlg32.dll", "setupapi.dll", "cfgmgr32.dll", "iphlpapi.dll", "crypt32.dll",
    "secur32.dll", "ntdll.dll", "rpcrt4.dll", "version.dll", "winmm.dll", "imm32.dll", "psapi.dll",
    "dbghelp.dll", "uxtheme.dll", "windowscodecs.dll", "powrprof.dll", "dnsapi.dll", "netapi32.dll", "wtsapi32.dll",
}


def imports(objdump, exe):
    out = subprocess.run([objdump, "-p", str(exe)], capture_output=True, text=True, check=True).stdout
    return [name.lower() for name in re.findall(r"DLL Name:\s*(\S+)", out)]


def foreign(names):
    return [n for n in names if n not in SYSTEM and not n.startswith(("api-ms-win-", "ext-ms-win-"))]


def main():
    build, objdump = pathlib.Path(sys.argv[1]), sys.argv[2]
    # The programs of the build: the program folder, the tests and the benchmarks (not the
    # Wine prefix).
    programs = sorted(p for folder in ("bin", "tests", "bench") for p in (build / folder).rglob("*.exe")
                      if "CMakeFiles" not in p.parts)
    if not programs:
        print(f"no programs under {build}", file=sys.stderr)
        return 1
    faults = []
    for exe in programs:
        names = imports(objdump, exe)
        if not names:
            faults.append(f"{exe}: no import table read")
        elif bad := foreign(names):
            faults.append(f"{exe}: imports {', '.join(bad)}")
    for f in faults:
        print(f, file=sys.stderr)
    print(f"{len(programs)} programs checked")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
