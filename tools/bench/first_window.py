#!/usr/bin/env python3
"""How long the program takes to show its window (scripts/bench-first-window.sh): from the start of `wine
Zarvel-Update.exe` to the X server mapping its main window, alternating with a bare Win32 window of the same outer size
in the same Wine session, PAIRS pairs; the medians and their ratio. With them the CPU time the process had used by then
(from /proc/<pid>/stat), which a machine busy with other work disturbs far less than the wall clock. Both are seen the same way: the map of a top-level
X window at least a quarter of the screen each way, read from the X server's events, no polling."""

import argparse
import ctypes
import ctypes.util
import os
import select
import shutil
import statistics
import subprocess
import sys
import time
from ctypes import POINTER, Structure, Union, c_int, c_long, c_uint, c_ulong, c_void_p

CREATE_NOTIFY, MAP_NOTIFY, CONFIGURE_NOTIFY = 16, 19, 22
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19


class WindowEvent(Structure):  # the leading fields that XCreateWindowEvent, XMapEvent and XConfigureEvent share
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int), ("display", c_void_p),
                ("event", c_ulong), ("window", c_ulong), ("x", c_int), ("y", c_int), ("width", c_int), ("height", c_int)]


class Event(Union):
    _fields_ = [("type", c_int), ("window", WindowEvent), ("pad", c_long * 24)]


class Screen:
    """The X server's top-level windows as they are created, resized and mapped."""

    def __init__(self, display):
        self._x = x = ctypes.CDLL(ctypes.util.find_library("X11"))
        x.XOpenDisplay.restype = c_void_p
        for name, types in {"XDefaultRootWindow": [c_void_p], "XSelectInput": [c_void_p, c_ulong, c_long],
                            "XConnectionNumber": [c_void_p], "XPending": [c_void_p], "XFlush": [c_void_p],
                            "XNextEvent": [c_void_p, POINTER(Event)], "XDisplayWidth": [c_void_p, c_int],
                            "XDisplayHeight": [c_void_p, c_int], "XCloseDisplay": [c_void_p]}.items():
            getattr(x, name).argtypes = types
        x.XDefaultRootWindow.restype = c_ulong
        self._display = x.XOpenDisplay(display.encode())
        if not self._display:
            raise RuntimeError(f"cannot open the display {display}")
        x.XSelectInput(self._display, x.XDefaultRootWindow(self._display), SUBSTRUCTURE_NOTIFY_MASK)
        x.XFlush(self._display)
        self.size = (x.XDisplayWidth(self._display, 0), x.XDisplayHeight(self._display, 0))
        self._sizes = {}

    def next_map(self, deadline):
        """(when, width, height) of the next top-level window mapped that spans a quarter of the screen each way."""
        event = Event()
        while True:
            while self._x.XPending(self._display):
                self._x.XNextEvent(self._display, ctypes.byref(event))
                when, w = time.monotonic(), event.window
                if event.type in (CREATE_NOTIFY, CONFIGURE_NOTIFY):
                    self._sizes[w.window] = (w.width, w.height)
                elif event.type == MAP_NOTIFY:
                    width, height = self._sizes.get(w.window, (0, 0))
                    if 4 * width >= self.size[0] and 4 * height >= self.size[1]:
                        return when, width, height
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError("no window was shown in time")
            select.select([self._x.XConnectionNumber(self._display)], [], [], left)

    def close(self):
        self._x.XCloseDisplay(self._display)


def cpu_seconds(pid):
    """User plus system time of the process, in seconds."""
    with open(f"/proc/{pid}/stat", encoding="ascii") as file:
        fields = file.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")  # utime, stime


def shown_after(screen, command, folder, log, timeout=60):
    """Seconds from starting the command to its window's map, the CPU seconds the process had used by then, and the
    window's size; the process then ends."""
    with open(log, "ab") as out:
        started = time.monotonic()
        process = subprocess.Popen(command, cwd=folder, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
        try:
            when, width, height = screen.next_map(started + timeout)
            cpu = cpu_seconds(process.pid)
        finally:
            process.kill()
            process.wait()
    return when - started, cpu, width, height


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    for option in ("program", "bare", "out"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--pairs", type=int, default=9)
    args = parser.parse_args()
    out, args.bare = os.path.abspath(args.out), os.path.abspath(args.bare)
    folder = os.path.join(out, "program")
    shutil.rmtree(folder, ignore_errors=True)
    shutil.copytree(os.path.join(os.path.dirname(args.program), "assets"), os.path.join(folder, "assets"))
    shutil.copy2(args.program, folder)
    log = os.path.join(out, "wine-output.txt")
    program = ["wine", "Zarvel-Update.exe"]
    screen = Screen(os.environ["DISPLAY"])
    try:
        # Once unmeasured: Wine and the disk caches warm up, and the window's size is learnt.
        *_, width, height = shown_after(screen, program, folder, log)
        bare, bare_folder = ["wine", os.path.basename(args.bare), str(width), str(height)], os.path.dirname(args.bare)
        shown_after(screen, bare, bare_folder, log)
        runs = {"program": [], "bare": []}  # (seconds, CPU seconds) of each start
        for pair in range(1, args.pairs + 1):
            runs["program"].append(shown_after(screen, program, folder, log)[:2])
            seconds, cpu, *size = shown_after(screen, bare, bare_folder, log)
            if size != [width, height]:
                raise RuntimeError(f"the bare window came out {size[0]} x {size[1]}, not {width} x {height}")
            runs["bare"].append((seconds, cpu))
            print(f"pair {pair}: program {runs['program'][-1][0]:.3f} s (CPU {runs['program'][-1][1]:.2f} s), "
                  f"bare window {seconds:.3f} s (CPU {cpu:.2f} s)", flush=True)
    finally:
        screen.close()
    print(f"\nfirst window ({width} x {height}), medians of {args.pairs} pairs:")
    for index, what in enumerate(("time to the window", "CPU time by then ")):
        program_median, bare_median = (statistics.median(run[index] for run in runs[name]) for name in runs)
        print(f"{what}: Zarvel-Update.exe {program_median:.3f} s, bare window {bare_median:.3f} s, "
              f"ratio {program_median / bare_median:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
