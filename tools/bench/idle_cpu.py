#!/usr/bin/env python3
"""What the program costs while it waits (scripts/bench-idle.sh): the CPU of the Wine process of Zarvel-Update.exe, read
from /proc/<pid>/stat (user + system time), over a window of seconds, as a percentage of one core. First while the
connect page polls two COM ports that lead to pseudo-terminals where no station answers, then while the check page waits
with a station and an instrument (station-sim). A benchmark, not a test: it prints the two figures."""

import argparse
import os
import select
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "e2e"))
from driver import Program, Station, Wine, wait_until  # noqa: E402  (the end-to-end suite's driver)
from service_day import wine_process  # noqa: E402


class SilentPort:
    """A pseudo-terminal behind a COM port's link that reads what the program writes and never answers."""

    def __init__(self, link):
        self.link, (self._master, self._slave) = link, os.openpty()
        os.unlink(link) if os.path.lexists(link) else None
        os.symlink(os.ttyname(self._slave), link)
        self._stop = threading.Event()
        self._drain = threading.Thread(target=self._run, daemon=True)
        self._drain.start()

    def _run(self):
        while not self._stop.is_set():
            if select.select([self._master], [], [], 0.5)[0]:
                try:
                    os.read(self._master, 4096)
                except OSError:
                    pass

    def close(self):
        self._stop.set()
        self._drain.join()
        os.unlink(self.link)
        os.symlink("/dev/null", self.link)
        os.close(self._master)
        os.close(self._slave)


def cpu_seconds(pid):
    """User plus system time of every thread the process ever had, in seconds."""
    with open(f"/proc/{pid}/stat", encoding="ascii") as file:
        fields = file.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")  # utime, stime


def cpu_percent(pid, seconds):
    cpu, wall = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)  # the measuring window itself, not a wait for a condition
    return (cpu_seconds(pid) - cpu) * 100 / (time.monotonic() - wall)


def scans(program):
    with open(program.log, encoding="utf-8", errors="replace") as file:
        return file.read().count("Available COM ports:")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    for option in ("program", "inspector", "sim", "links", "out"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--ports", default="5,6", help="the COM numbers that lead to silent pseudo-terminals")
    args = parser.parse_args()
    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    numbers = [int(n) for n in args.ports.split(",")]
    wine = Wine(args.inspector, os.environ, os.path.join(out, "screenshots"))
    ports = [SilentPort(os.path.join(args.links, f"com{n}")) for n in numbers]
    station = program = None
    try:
        program = Program(args.program, os.path.join(out, "program"), wine)
        program.wait_page("connect", 60)
        pid = wine_process(os.path.realpath(program.folder))
        wait_until(lambda: scans(program) >= 3, 60, "three scans of the ports")  # start-up over
        before = scans(program)
        polling = cpu_percent(pid, args.seconds)
        polled = scans(program) - before
        with open(program.log, encoding="utf-8", errors="replace") as file:
            listed = [line.rstrip("\n")[10:] for line in file if "Available COM ports:" in line][-1]
        ports.pop(0).close()
        station = Station(args.sim, os.path.join(args.links, f"com{numbers[0]}"), os.path.join(out, "station"))
        program.wait_page("check", 120)
        time.sleep(2)  # the page settles: its last status lines are painted
        waiting = cpu_percent(pid, args.seconds)
    finally:
        if program:
            program.kill()
        if station:
            station.close()
        for port in ports:
            port.close()
        wine.close()
    print(f"{listed} (COM{', COM'.join(map(str, numbers))} silent pseudo-terminals); {polled} scans in {args.seconds:.0f} s")
    print(f"connect page, polling: {polling:5.2f} % of one core over {args.seconds:.0f} s")
    print(f"check page, waiting:   {waiting:5.2f} % of one core over {args.seconds:.0f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
