#!/usr/bin/env python3
"""End-to-end suite: the real Zarvel-Update.exe under Wine against station-sim, in real time, on a 1366 x 768 screen
where it scales its windows. One run of it, driven by keys alone from its check page on, takes the cancels, an update
and the next instrument with the history held as a spreadsheet holds it (the second also at the exit), and started
again shows a line for each update in the history; meanwhile the instrument that never comes back waits out its 135 s in a second Wine, at 144 dpi on
2560 x 1600, on the COM9 that its registry maps to a simulator as the README shows, and an update follows there by clicks
(a file whose name has no 'v').
Ends with "N passed, M failed" (OUT/suite.txt)."""

import argparse
import contextlib
import csv
import os
import re
import subprocess
import sys
import time
import traceback
import zlib

from driver import Program, Station, Wine, padded, sample_firmware, wait_until

CANCELLED, FAILED = "Обновление отменено", "Ошибка обновления"
PLACE = "○  Установите прибор на дата-станцию"
NOT_BACK = "Прибор не подключился повторно. Поднимите его и снова установите на дата-станцию."
HISTORY_HELD = "Запись об обновлении не добавлена в файл истории: файл открыт в другой программе. Закройте его, и программа добавит запись сама."


class Suite:
    def __init__(self, args):
        self.args, self.out, self.stations, self.passed, self.failed = args, os.path.abspath(args.out), {}, 0, 0
        self.cleanup = contextlib.ExitStack()
        os.makedirs(self.out, exist_ok=True)
        self.report = open(os.path.join(self.out, "suite.txt"), "w", encoding="utf-8")
        # In a folder that code page 1252 (the test Wine's, as an English Windows) cannot name: loaded all the same.
        os.makedirs(folder := os.path.join(self.out, "Прошивки"), exist_ok=True)
        self.firmware, self.image = os.path.join(folder, "fw_v1.2.3.bin"), padded(sample_firmware(5950))  # 50 blocks
        self.unmarked = os.path.join(folder, "ksaron4_1.2.3.bin")  # its version read from a name without a 'v'
        for path in (self.firmware, self.unmarked):
            with open(path, "wb") as file:
                file.write(sample_firmware(5950))

    def say(self, line):
        print(line, flush=True)
        print(line, file=self.report, flush=True)

    def check(self, what, expected, actual):
        self.passed, self.failed = self.passed + (expected == actual), self.failed + (expected != actual)
        self.say(f"PASS  {what}" if expected == actual else f"FAIL  {what} -- expected {expected!r}, got {actual!r}")

    def part(self, steps, *args):
        """An error ends the part as a failed check; the other environment's part still runs."""
        try:
            return steps(*args)
        except Exception as error:  # noqa: BLE001
            self.check(f"{steps.__name__} ran to its end", None, f"{type(error).__name__}: {error}")
            return self.say(traceback.format_exc().rstrip())

    def program(self, name, env):
        wine = Wine(self.args.inspector, env, os.path.join(self.out, name, "shots"))
        self.cleanup.callback(wine.close)
        program = Program(self.args.program, os.path.join(self.out, name, "program"), wine)
        self.cleanup.callback(program.kill)
        self.cleanup.callback(wine.shot, "at-the-end")  # where a failed part left it
        return program

    def station(self, link, options=()):
        if link in self.stations:  # as if another station were plugged in
            self.stations[link].close()
        folder = os.path.join(self.out, "stations", "_".join([os.path.basename(link), *options]))
        self.stations[link] = self.cleanup.enter_context(contextlib.closing(Station(self.args.sim, link, folder, options)))
        return self.stations[link]

    def done(self, program, station, updates, click=False):
        dialog = program.window("ZarvelReinstallDialog")
        program.click("confirm", dialog) if click else program.key("Return")
        program.wait_page("done")
        self.check("the station received the file padded with 0xFF", self.image, station.received())
        self.check("the station matched the image's CRC-32", updates,
                   station.events().count(f"image-ok blocks=50 crc={zlib.crc32(self.image)}"))

    def not_back(self):
        self.say("== the instrument not back within 120 s, on COM9 mapped to the simulator")
        env = dict(os.environ, WINEPREFIX=os.environ["ZARVEL_E2E_LATE_PREFIX"], DISPLAY=os.environ["ZARVEL_E2E_LATE_DISPLAY"])
        station = self.station(os.path.join(self.out, "late-link"), ["--after-reboot", "absent"])
        # To the simulator's link to its /dev/pts/N, which the next simulator re-points.
        for command in (["wine", "reg", "add", r"HKLM\Software\Wine\Ports", "/v", "COM9", "/d", station.link, "/f"],
                        ["wineserver", "-k"], ["wineserver", "-w"], ["wineserver", "-p"]):  # the server reads the map
            subprocess.run(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        program = self.program("late", env)
        program.wait_page("check", 120)
        self.check("the station found on COM9", True, "COM9 BGV -> ZARVEL DS-4 v3.1" in program.log_lines())
        program.get_ready(self.unmarked)
        program.click("start")
        station.wait_event("^drst$")
        return program, time.monotonic()

    def not_back_end(self, program, reset):
        self.check("failure box", (FAILED, NOT_BACK), program.answer_box(15 + 120 + 60))
        self.check("no failure before 15 s + 120 s", True, time.monotonic() - reset >= 135)
        self.say("== then an update by clicks there, at 144 dpi, with another instrument")
        station = self.station(os.path.join(self.out, "late-link"), ["--new-version", "1.2.3"])
        program.wait_start()
        program.click("start")
        self.done(program, station, 1, click=True)

    def history(self, program, updates):
        """updates: (version before, battery, result, message) of each update in its order."""
        rows = history_rows(program.folder, "Zarvel-Update-history.csv")
        crc = f"0x{zlib.crc32(self.image):08X}"  # the versions are Excel's text formulas, as the README unwraps them
        expected = [["COM6", "ZARVEL DS-4 v3.1", f'="{before}"', "fw_v1.2.3.bin", '="1.2.3"', crc, "50", volts, result, message]
                    for before, volts, result, message in updates]
        self.check("history: one line of the columns per update", expected, [row[1:9] + row[10:] for row in rows[1:]])
        self.check("history: time and whole seconds", [True] * len(updates),
                   [bool(re.fullmatch(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d", row[0])) and row[9].isdigit() for row in rows[1:]])

    def one_run(self):
        link = os.path.join(os.environ["ZARVEL_COM_LINK_DIR"], "com6")
        station = self.station(link)
        program = self.program("main", os.environ)
        program.wait_page("check", 120)
        program.get_ready(self.firmware)
        logged = "Z:" + self.firmware.replace("/", "\\").replace("Прошивки", "?" * 8) + f", blocks=50, crc32={zlib.crc32(self.image)}"
        self.check("the file's line, '?' for what the code page lacks", True, "Firmware selected: " + logged in program.log_lines())

        self.say("== from here on by keys alone; cancel on the check page")
        station.send("lift")  # the new monitor must wait for the instrument
        program.key("Tab", "Tab", "Return")  # from the risk box past Start
        self.check("box", (CANCELLED, "Обновление отменено. Прибор отключён от дата-станции."), program.answer_box())
        program.wait_text("status2", PLACE)
        station.send("place")
        program.wait_start()

        self.say("== cancel while the second-to-last block is on its way")
        station = self.station(link, ["--delay", "DUB#49=3000"])
        program.key("Return")  # Start, the default button
        station.wait_event("^block 49/50$")
        program.key("Return")  # Cancel, which the update page focuses
        self.check("box", (CANCELLED, "Обновление отменено. Основная прошивка прибора не изменена."), program.answer_box())
        program.wait_start()

        self.say("== an update while Excel holds the history, then the next instrument in the same run")
        station = self.station(link, ["--new-version", "1.2.3"])
        held = "hold Z:" + os.path.join(program.folder, "Zarvel-Update-history.csv").replace("/", "\\")
        pending = os.path.join(program.folder, "Zarvel-Update-history-pending.csv")
        self.check("history held", True, program.wine.ask(held))
        program.key("Return")  # Start, the default button
        self.done(program, station, 1)
        self.check("history box", ("История обновлений", HISTORY_HELD), program.answer_box())
        self.check("the line waits in the pending file", "успешно", history_rows(pending)[-1][10])
        program.wine.ask("release")
        wait_until(lambda: not os.path.exists(pending), 35, "the pending file to go")
        program.key("Return")  # the next instrument, the done page's default
        program.wait_text("status2", "○  Снимите обновлённый прибор и установите следующий")
        station.send("lift")
        program.wait_text("status2", PLACE)
        station.send("set version 1.1.0")
        station.send("place")
        program.wait_start()
        self.say("== held again for its update and at the exit; the next start finds the history free")
        self.check("history held again", True, program.wine.ask(held))
        program.key("Return")  # Start, the default button
        self.done(program, station, 2)
        self.check("history box again", ("История обновлений", HISTORY_HELD), program.answer_box())
        program.close()
        program.wine.ask("release")
        program = Program(self.args.program, program.folder, program.wine, again=True)
        self.cleanup.callback(program.kill)
        wait_until(lambda: not os.path.exists(pending), 60, "the pending file to go at the start")
        self.history(program, [("1.0.0", "3,95", "отменено", "Обновление отменено. Основная прошивка прибора не изменена."),
                               ("1.0.0", "3,95", "успешно", ""), ("1.1.0", "3,95", "успешно", "")])


def history_rows(*path):
    with open(os.path.join(*path), encoding="utf-8-sig", newline="") as file:
        return list(csv.reader(file, delimiter=";"))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    for option in ("program", "inspector", "sim", "out"):
        parser.add_argument("--" + option, required=True)
    suite, started = Suite(parser.parse_args()), time.monotonic()
    with suite.cleanup:
        late = suite.part(suite.not_back)
        suite.part(suite.one_run)
        late and suite.part(suite.not_back_end, *late)
    suite.say(f"took {time.monotonic() - started:.0f} s")
    suite.say(f"{suite.passed} passed, {suite.failed} failed")
    return 1 if suite.failed else 0


if __name__ == "__main__":
    sys.exit(main())
