#!/usr/bin/env python3
"""Launcher start-up under Wine against the floor: a bare window of the same class.

Runs Tessaril.exe and BareWindow.exe (built with the project) interleaved, RUNS times
each (default 5), under a warm Wine (the Wine server kept running between runs, as for
a player who has Wine programs open) and under a cold one (the Wine server started by
each run). Each run is timed from starting the program to the caption "Tessaril - ..."
(the launcher: the login page's title; the bare window: set once the window is shown).
For the launcher it also notes when the main window first shows its initial caption
and when the site received the login page's request, which splits the launcher's time
into: start-up and main window, browser window and request, response to title.

Must run under an X server (the shell wrapper starts one). The X windows are read
directly through Xlib, so polling costs well under a millisecond."""
import ctypes
import json
import os
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build", "win32")
BIN = os.environ.get("STARTUP_BIN", os.path.join(BUILD, "bin"))  # where the two programs are
RUNS = int(os.environ.get("RUNS", "5"))
DEADLINE = 60.0  # seconds; only ends a hung run
GOAL = 1.3


class Windows:
    """The names of all X windows, through libX11."""

    def __init__(self):
        self.x = ctypes.CDLL("libX11.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                      ctypes.POINTER(ctypes.c_ulong),
                                      ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                      ctypes.POINTER(ctypes.c_uint)]
        self.x.XFree.argtypes = [ctypes.c_void_p]
        self.x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        # Windows come and go while the tree is read; their errors are ignored.
        handler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
        self.ignore = handler(lambda display, event: 0)
        self.x.XSetErrorHandler.argtypes = [handler]
        self.x.XSetErrorHandler(self.ignore)
        self.display = self.x.XOpenDisplay(None)
        if not self.display:
            sys.exit("bench-startup: no X display")
        self.root = self.x.XDefaultRootWindow(self.display)
        self.x.XInternAtom.restype = ctypes.c_ulong
        self.x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.x.XGetWindowProperty.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long, ctypes.c_int,
            ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_int),
            ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong),
            ctypes.POINTER(ctypes.POINTER(ctypes.c_ubyte))]
        # The caption in UTF-8 where the window has one, else the plain name.
        self.name_atoms = [self.x.XInternAtom(self.display, b"_NET_WM_NAME", 0),
                           self.x.XInternAtom(self.display, b"WM_NAME", 0)]

    def name_of(self, window):
        for atom in self.name_atoms:
            kind, size_format = ctypes.c_ulong(), ctypes.c_int()
            count, after = ctypes.c_ulong(), ctypes.c_ulong()
            data = ctypes.POINTER(ctypes.c_ubyte)()
            status = self.x.XGetWindowProperty(self.display, window, atom, 0, 1024, 0, 0, ctypes.byref(kind),
                                               ctypes.byref(size_format), ctypes.byref(count),
                                               ctypes.byref(after), ctypes.byref(data))
            if status == 0 and data:
                raw = bytes(data[:count.value]) if size_format.value == 8 else b""
                self.x.XFree(data)
                if raw:
                    return raw.decode("utf-8", "replace")
        return None

    def names(self):
        found = []
        self.x.XSync(self.display, 0)
        pending = [self.root]
        while pending:
            window = pending.pop()
            name = self.name_of(window)
            if name is not None:
                found.append(name)
            root, parent = ctypes.c_ulong(), ctypes.c_ulong()
            children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
            if self.x.XQueryTree(self.display, window, ctypes.byref(root), ctypes.byref(parent),
                                 ctypes.byref(children), ctypes.byref(count)):
                pending.extend(children[i] for i in range(count.value))
                if children:
                    self.x.XFree(children)
        return found


def wine(*args, **kwargs):
    return subprocess.Popen([os.path.join(ROOT, "scripts", "wine-run.sh"), *args], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, **kwargs)


def wineserver(*args):
    subprocess.run(["wineserver", *args], check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def site_requests(log):
    try:
        with open(log, encoding="utf-8") as f:
            return [json.loads(line)["path"] for line in f if line.strip()]
    except FileNotFoundError:
        return []


def cpu_seconds(pid):
    """CPU time used so far by all threads of a process (less disturbed by a busy machine
    than the wall clock)."""
    total = 0
    try:
        for task in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                total += int(f.read().split()[0])
    except OSError:
        pass
    return total / 1e9


def ours(name):
    return name == "Chromium browser" or name.startswith("Tessaril - ")


def run(program, windows, log):
    """Starts one program; answers the seconds from start to each event it reached."""
    start = time.monotonic()
    process = wine(os.path.join(BIN, program), cwd=os.path.join(BUILD, "startup-bench"))
    seen = {}
    try:
        while "title" not in seen:
            now = time.monotonic() - start
            if process.poll() is not None:
                sys.exit(f"bench-startup: {program} ended early")
            if now > DEADLINE:
                sys.exit(f"bench-startup: {program} showed no page within {DEADLINE:.0f} s")
            names = windows.names()
            if "window" not in seen and any(ours(n) for n in names):
                seen["window"] = now
            if "request" not in seen and "/UCClient/login.php" in site_requests(log):
                seen["request"] = now
            if any(n.startswith("Tessaril - ") for n in names):
                seen["title"] = now
                seen["cpu"] = cpu_seconds(process.pid)
            time.sleep(0.001)
    finally:
        process.kill()
        process.wait()
        # The next run starts once this one's windows are gone, so it cannot see them.
        gone_by = time.monotonic() + DEADLINE
        while any(ours(n) for n in windows.names()) and time.monotonic() < gone_by:
            time.sleep(0.01)
    return seen


def measure(warm, windows, log):
    """RUNS runs of each program, interleaved; answers {program: [events of each run]}."""
    results = {"BareWindow.exe": [], "Tessaril.exe": []}
    if warm:
        wineserver("-k")
        wineserver("-w")
        # The prefix is made on first use; then the server stays up between the runs.
        subprocess.run([os.path.join(ROOT, "scripts", "wine-run.sh"), "wineboot"], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wineserver("-p")
        for program in results:  # one unmeasured run each: files and libraries in memory
            open(log, "w").close()
            run(program, windows, log)
    for i in range(RUNS):
        order = list(results) if i % 2 == 0 else list(reversed(results))
        for program in order:
            if not warm:
                wineserver("-k")
                wineserver("-w")
            open(log, "w").close()
            results[program].append(run(program, windows, log))
    wineserver("-k")
    wineserver("-w")
    return results


def ms(seconds):
    return f"{seconds * 1000:.0f}"


def main():
    os.makedirs(os.path.join(BUILD, "startup-bench"), exist_ok=True)
    os.environ.setdefault("WINEPREFIX", os.path.join(BUILD, "wineprefix"))
    site = open(os.path.join(BUILD, "CMakeCache.txt"), encoding="utf-8").read()
    address = next(line.split("=", 1)[1] for line in site.splitlines() if line.startswith("TESSARIL_SITE_ADDRESS:"))
    log = os.path.join(BUILD, "startup-bench", "site-requests.jsonl")
    server = subprocess.Popen([sys.executable, os.path.join(ROOT, "site", "server.py"), "--port",
                               address.rsplit(":", 1)[1], "--log", log], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True)
    try:
        server.stdout.readline()  # "site ready on ..."
        windows = Windows()
        table = {}
        for kind in os.environ.get("STARTUP_KINDS", "warm cold").split():
            table[kind] = measure(kind == "warm", windows, log)
    finally:
        server.kill()
        server.wait()

    def median(kind, program, event):
        return statistics.median(r[event] for r in table[kind][program])

    print(f"Launcher start-up under Wine: program start to the caption \"Tessaril - ...\", median of {RUNS} "
          "runs each, interleaved")
    rows = [("", *(f"{k} ms" for k in table))]
    for kind_name, program in (("bare window (the floor)", "BareWindow.exe"), ("launcher", "Tessaril.exe")):
        rows.append((kind_name, *(ms(median(k, program, "title")) for k in table)))
    ratios = {k: median(k, "Tessaril.exe", "title") / median(k, "BareWindow.exe", "title") for k in table}
    rows.append(("ratio launcher / bare window", *(f"{ratios[k]:.2f}" for k in table)))
    width = max(len(r[0]) for r in rows)
    for r in rows:
        print(f"  {r[0].ljust(width)}" + "".join(f"  {c.rjust(8)}" for c in r[1:]))
    if "warm" in ratios:
        verdict = "met" if round(ratios["warm"], 2) <= GOAL else f"missed by {ratios['warm'] / GOAL:.2f}x"
        print(f"  goal: warm ratio <= {GOAL}: {verdict}")
    print("Where the launcher's time goes (medians; each step from the one before, ms):")
    for kind in table:
        runs = table[kind]["Tessaril.exe"]
        if not all("window" in r and "request" in r for r in runs):
            print(f"  {kind}: some runs missed an intermediate event")
            continue
        window = statistics.median(r["window"] for r in runs)
        request = statistics.median(r["request"] - r["window"] for r in runs)
        title = statistics.median(r["title"] - r["request"] for r in runs)
        floor = median(kind, "BareWindow.exe", "title")
        print(f"  {kind}: main window {ms(window)} (bare window {ms(floor)}, so engine start and registration "
              f"about {ms(window - floor)}); browser window and request {ms(request)}; response, parse, "
              f"script and title {ms(title)}")
    for kind in table:
        for program, runs in table[kind].items():
            print(f"  {kind} {program}: " + " ".join(ms(r["title"]) for r in runs) +
                  f" ms; CPU time of the process to the caption, median {ms(median(kind, program, 'cpu'))} ms")


if __name__ == "__main__":
    main()
