#!/usr/bin/env python3
"""A service centre's day (scripts/bench-service-day.sh): one run of the real Zarvel-Update.exe under Wine updates
instrument after instrument through "Обновить следующий прибор" against station-sim. Read from outside, in /proc of
the Wine process (Wine reports 0 for Windows handle and GDI counts): resident memory, threads and open descriptors
after the first and after the last update. A benchmark, not a test: it prints figures and the history's line count."""

import argparse
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "e2e"))
from driver import Program, Station, Wine, sample_firmware  # noqa: E402  (the end-to-end suite's driver)

PLACE, LIFT = "○  Установите прибор на дата-станцию", "○  Снимите обновлённый прибор и установите следующий"


def wine_process(folder):
    """The pid of the Windows process started from folder, in this Wine prefix."""
    prefix = f"WINEPREFIX={os.environ['WINEPREFIX']}".encode()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as file:
                command = file.read()
            with open(f"/proc/{pid}/environ", "rb") as file:
                environment = file.read().split(b"\0")
        except OSError:
            continue
        if b"Zarvel-Update.exe" in command and prefix in environment and os.path.realpath(f"/proc/{pid}/cwd") == folder:
            return pid
    raise RuntimeError("the program's Wine process was not found")


def figures(pid):
    with open(f"/proc/{pid}/status", encoding="ascii") as file:
        status = dict(line.split(":", 1) for line in file)
    return {"resident memory, KiB": int(status["VmRSS"].split()[0]), "threads": int(status["Threads"]),
            "open descriptors": len(os.listdir(f"/proc/{pid}/fd"))}


def update(program, station, first):
    if not first:
        program.click("next")
        program.wait_text("status2", LIFT)
        station.send("lift")
        program.wait_text("status2", PLACE)
        station.send("set version 1.1.0")  # another instrument, not yet updated: no question before Start
        station.send("place")
    program.wait_start(120)
    program.click("start")
    program.click("confirm", program.window("ZarvelReinstallDialog", 120))
    program.wait_page("done", 120)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    for option in ("program", "inspector", "sim", "link", "out"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--updates", type=int, default=20)
    args = parser.parse_args()
    out = os.path.abspath(args.out)
    firmware = os.path.join(out, "fw_v1.2.3.bin")
    os.makedirs(out, exist_ok=True)
    with open(firmware, "wb") as file:
        file.write(sample_firmware(5950))  # 50 blocks
    wine = Wine(args.inspector, os.environ, os.path.join(out, "screenshots"))
    station = Station(args.sim, args.link, os.path.join(out, "station"), ["--new-version", "1.2.3", "--reboot-ms", "500"])
    program = Program(args.program, os.path.join(out, "program"), wine)
    seen, started = {}, time.monotonic()
    try:
        program.wait_page("check", 120)
        program.get_ready(firmware)
        pid = wine_process(os.path.realpath(program.folder))
        for n in range(1, args.updates + 1):
            update(program, station, n == 1)
            print(f"update {n} done after {time.monotonic() - started:.0f} s", flush=True)
            if n in (1, args.updates):
                seen[n] = figures(pid)
    finally:
        program.kill()
        station.close()
        wine.close()
    print(f"\n{'':24}{'after update 1':>16}{f'after update {args.updates}':>18}{'growth':>10}")
    for name, first in seen[1].items():
        last = seen[args.updates][name]
        print(f"{name:24}{first:>16}{last:>18}{(last - first) * 100 / first:>9.1f}%")
    with open(os.path.join(program.folder, "Zarvel-Update-history.csv"), "rb") as file:
        lines = file.read().count(b"\r\n") - 1
    print(f"\nZarvel-Update-history.csv: {lines} update lines (expected {args.updates})")
    return 0 if lines == args.updates else 1


if __name__ == "__main__":
    sys.exit(main())
