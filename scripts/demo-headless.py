#!/usr/bin/env python3
"""The demo without a display (scripts/demo.sh): one whole update clicked through, a screenshot of every page (of the
main window, the pop-up in front of it included)."""

import argparse
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from driver import Program, Station, Wine, padded  # noqa: E402  (the end-to-end suite's driver)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    for option in ("program", "inspector", "sim", "firmware", "version", "link", "out"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()
    wine = Wine(args.inspector, os.environ, os.path.join(os.path.abspath(args.out), "screenshots"))
    station = Station(args.sim, args.link, os.path.join(args.out, "station"), ["--absent", "--new-version", args.version])
    program = Program(args.program, os.path.join(args.out, "program"), wine)
    shot = lambda name: wine.shot(name, program.find("ZarvelUpdateWindow")["rect"])  # noqa: E731
    try:
        program.wait_text("status2", "○  Установите прибор на дата-станцию", 120)
        shot("1-connect-page")
        station.send("place")
        program.wait_page("check", 120)
        shot("2-check-page")
        program.get_ready(args.firmware)
        shot("3-check-page-ready")
        program.click("start")
        station.wait_event("^block 20/")
        shot("4-update-page")
        dialog = program.window("ZarvelReinstallDialog", 300)
        shot("5-reinstall-dialog")
        station.send("lift")
        station.send("place")
        program.click("confirm", dialog)
        program.wait_page("done", 240)
        shot("6-done-page")
        with open(args.firmware, "rb") as file:
            same = station.received() == padded(file.read())
        print(f"{program.text('description')}\nThe station received {'the' if same else 'NOT the'} file, padded.")
        return 0 if same else 1
    finally:
        program.kill()
        station.close()
        wine.close()
        print(f"Screenshots, one a page: {wine.shots}\nThe station's transcript: {station.transcript}")


if __name__ == "__main__":
    sys.exit(main())
