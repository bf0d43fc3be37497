"""A Wine prefix of a test's own (build/windows/wine-desktop), for tests that run the program
itself or need a display: its named kernel objects (the one-instance mutex) then never meet
those of the host tests running at the same time in the shared prefix, and a desktop started
there keeps the display the test gives it. The prefix is made on first use; its server is
ended afterwards. The tests that use it hold one CTest resource lock, so they never run
together. private_display() gives them an X display of their own (Xvfb)."""
import contextlib
import os
import shutil
import subprocess


def wine_program(name):
    for candidate in (f"/usr/lib/wine/{name}64", shutil.which(f"{name}64"), shutil.which(name)):
        if candidate and os.path.exists(candidate):
            return candidate
    return None


@contextlib.contextmanager
def private_display():
    """Xvfb on the first free display; yields its number once it accepts clients, None when
    Xvfb is missing or did not start."""
    if not shutil.which("Xvfb"):
        yield None
        return
    read_end, write_end = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "800x600x24", "-nolisten", "tcp"],
                            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    try:
        with os.fdopen(read_end) as ready:
            number = ready.readline().strip()  # printed once the server accepts clients
        yield number or None
    finally:
        proc.kill()
        proc.wait()


@contextlib.contextmanager
def own_prefix(build, extra_env=None):
    """Yields (wine, env) for the test's own prefix; None when Wine is missing."""
    wine, wineserver = wine_program("wine"), wine_program("wineserver")
    if not wine or not wineserver:
        yield None
        return
    env = dict(os.environ, WINEPREFIX=str(build / "wine-desktop"), WINEDEBUG=os.environ.get("WINEDEBUG", "-all"),
               WINEDLLOVERRIDES=os.environ.get("WINEDLLOVERRIDES", "mscoree,mshtml="))
    env.update(extra_env or {})
    try:
        if not (build / "wine-desktop" / "system.reg").exists():
            subprocess.run([wine, "wineboot", "--init"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=300)
            subprocess.run([wineserver, "-w"], env=env, timeout=300)
        yield wine, env
    finally:
        subprocess.run([wineserver, "-k"], env=env, stderr=subprocess.DEVNULL, timeout=120)
