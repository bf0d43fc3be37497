#!/usr/bin/env python3
"""The layout check passes on the tree and catches each kind of fault on a small copy."""
import pathlib
import shutil
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(sys.argv[1])
CHECK = ROOT / "scripts" / "check-layout"


def run(tree):
    return subprocess.run([sys.executable, str(CHECK), str(tree)], capture_output=True, text=True)


def small_tree(base, files):
    (base / "CMakeLists.txt").write_text(
        "add_subdirectory(platform)\nadd_subdirectory(common)\nadd_subdirectory(engine)\n"
        "add_subdirectory(host)\nadd_subdirectory(device)\nadd_subdirectory(net)\nadd_subdirectory(app)\n"
        "add_subdirectory(tests)\n")
    for name, text in files.items():
        path = base / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)


def main():
    failures = []
    result = run(ROOT)
    if result.returncode != 0:
        failures.append("the tree itself: " + result.stderr)
    good = {
        "platform/a.cpp": "#include <unistd.h>\n",
        "engine/e.cpp": '#include "platform/a.h"\n',
        "host/h.cpp": '#include "engine/e.h"\n',
        "device/d.cpp": '#include "host/h.h"\n',
        "app/m.cpp": '#include "device/d.h"\n',
        "tests/t.cpp": "#include <sys/socket.h>\n",
    }
    cases = {
        "a clean tree": ({}, None),
        "an include against the order": ({"host/bad.cpp": '#include "device/d.h"\n'}, "listed after host/"),
        "a system header outside platform/": ({"net/bad.cpp": "#include <sys/stat.h>\n"}, "operating-system header"),
        "six floors": ({"net/n.cpp": '#include "device/d.h"\n', "app/m.cpp": '#include "net/n.h"\n'}, "floor 6"),
    }
    for title, (extra, expected) in cases.items():
        with tempfile.TemporaryDirectory() as tmp:
            base = pathlib.Path(tmp)
            small_tree(base, {**good, **extra})
            result = run(base)
            if expected is None and result.returncode != 0:
                failures.append(f"{title}: refused: {result.stderr}")
            if expected is not None and (result.returncode == 0 or expected not in result.stderr):
                failures.append(f"{title}: not caught ({result.returncode}): {result.stderr}")
    for f in failures:
        print(f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
