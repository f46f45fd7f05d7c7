#!/usr/bin/env python3
"""The demo without a display: one whole update, clicked through as a user would, with a
screenshot of every page (scripts/demo.sh runs it under Xvfb).

Pages: the connect page while the instrument is off the station, the check page, the open-file
dialog, the check page ready to start, the update page during the transfer, the reinstall page
with its pop-up, the done page. Prints the folder of screenshots and the program's log.
"""

import argparse
import os
import shutil
import sys
import time

from driver import (IDC, Inspector, Program, Screen, Station, Timeout, padded, wait_until)


def walk(args, screen, program, station):
    shot = screen.shot
    main = program.start()
    left, top, right, bottom = main["rect"]
    screen.crop = (left, top, right - left, bottom - top)  # the window: every page, box and pop-up lies within
    program.wait_page("connect", 120)
    program.wait_text("status2", "○  Установите прибор на дата-станцию", 120)
    shot("connect-page")
    station.send("place")
    program.wait_page("check", 120)
    shot("check-page")
    program.choose_file(args.firmware, "open-file-dialog")
    program.wait_text("file", os.path.basename(args.firmware), 60)
    program.click("risk")
    wait_until(lambda: program.controls()[IDC["start"]]["enabled"], 60, "Start enabled")
    shot("check-page-ready")
    program.click("start")
    program.wait_page("update", 60)
    blocks = int(station.wait_event(r"^dusize (\d+)$", 60)[1].group(1))
    station.wait_event(rf"^block {max(1, blocks // 3)}/", 120)
    shot("update-page-transfer")
    station.wait_event(r"^drst$", 300)
    program.wait_page("reinstall", 60)
    try:
        dialog = wait_until(program.reinstall_dialog, 10, "the reinstall dialog")
    except Timeout:
        dialog = None
    shot("reinstall-dialog" if dialog else "reinstall-page")
    station.send("lift")
    station.send("place")
    if dialog:
        program.click("confirm", dialog)
        wait_until(lambda: not program.reinstall_dialog(), 60, "the dialog to close")
    program.wait_page("done", 240)
    shot("done-page")
    received = station.received_image()
    with open(args.firmware, "rb") as file:
        sent = padded(file.read())
    print(f"The station received {len(received or b'')} bytes; "
          f"{'equal to' if received == sent else 'DIFFERENT from'} the file padded to 120-byte blocks.")
    print("Done page: " + (program.text("description") or ""))
    program.click_close_box()
    code = program.exit_code(90)
    print(f"Zarvel Update closed with exit code {code}.")
    return received == sent and code == 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True)
    parser.add_argument("--inspector", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--firmware", required=True)
    parser.add_argument("--version", required=True, help="the version the instrument reports after the update")
    parser.add_argument("--link", required=True, help="the symlink Wine maps to a COM port")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    sys.stdout.reconfigure(encoding="utf-8", errors="backslashreplace")

    out = os.path.abspath(args.out)
    shutil.rmtree(os.path.join(out, "screenshots"), ignore_errors=True)
    screen = Screen(os.path.join(out, "screenshots"))
    inspector = Inspector(args.inspector, os.path.join(out, "inspector-stderr.txt"))
    program = Program(args.program, os.path.join(out, "program"), inspector, screen)
    station = Station(args.sim, args.link, out, "station", ["--absent", "--new-version", args.version])
    started = time.monotonic()
    ok = False
    try:
        ok = walk(args, screen, program, station)
    except Timeout as error:
        print(f"The walk-through stopped: {error}")
        screen.shot("where-it-stopped")
    finally:
        program.kill()
        station.stop()
        inspector.close()
    print(f"Walk-through took {time.monotonic() - started:.0f} s.")
    print(f"Screenshots, one per page: {screen.shots_dir}")
    for name in sorted(os.listdir(screen.shots_dir)):
        print(f"  {name}")
    print(f"The program's log: {program.log_path}")
    print(f"The station's transcript: {station.transcript_path}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
