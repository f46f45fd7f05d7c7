#!/usr/bin/env python3
"""End-to-end suite: the real Zarvel-Update.exe under Wine and Xvfb against station-sim, in real
time, driven as a user drives it (clicks at the controls' places, a path typed into the open-file
dialog, Alt+F4 and the caption's close box) while the simulator places and lifts the instrument
when a user would.

One program run carries the scenarios one after the other, as a technician could: a failure
brings the check page back and the next attempt follows from there; the simulator is swapped for
one with the next fault between attempts, as if another station were plugged in. Only the check
of an explicitly mapped COM port gets a short run of its own.

Prints one line per check and ends with "N passed, M failed"; exits 1 when a check failed.
Needs the Wine environment of scripts/wine-env.sh (WINEPREFIX, DISPLAY, ZARVEL_COM_LINK_DIR).
"""

import argparse
import os
import shutil
import subprocess
import sys
import time
import traceback

from driver import (HEADINGS, IDC, IDC_DLG, Inspector, Program, Screen, SilentPort, Station, Timeout, centre, crc32,
                    inside, padded, sample_firmware, wait_until, wine_path)

FIRMWARE_NAME = "fw_v1.2.3.bin"
FIRMWARE_VERSION = "1.2.3"
FIRMWARE_SIZE = 5950  # 50 blocks, the last one padded with 70 bytes of 0xFF
BLOCKS = 50
STATION_IDENT = "ZARVEL DS-4 v3.1"
MAPPED_PORT = 9  # the port mapped explicitly in the registry, as the README shows it

TEXT = {
    "no station": "○  Дата-станция не обнаружена",
    "station on COM6": "✓  Дата-станция подключена (COM6)",
    "place instrument": "○  Установите прибор на дата-станцию",
    "lift updated": "○  Снимите обновлённый прибор и установите следующий",
    "check 1": "✓  Прибор подключён",
    "check 2": "✓  Напряжение аккумулятора: 3.95 В",
    "check 3": "✓  Минимально допустимое напряжение: 3,90 В",
    "check 4": "✓  Механизм DFWU доступен",
    "no file": "Файл прошивки не выбран",
    "cancel": "Отменить обновление",
    "cancelling": "Отмена…",
    "cancelled check": "Обновление отменено. Прибор отключён от дата-станции.",
    "cancelled update": "Обновление отменено. Основная прошивка прибора не изменена.",
    "cancelled caption": "Обновление отменено",
    "failed caption": "Ошибка обновления",
    "battery low": "Напряжение аккумулятора стало ниже 3,90 В.",
    "dfwu refused": "Прибор не поддерживает запуск DFWU. Прошивка не изменена.",
    "parameters refused": "Прибор отклонил параметры файла прошивки.",
    "transfer broken": "Передача прошивки прервана. Не снимайте прибор и обратитесь в поддержку.",
    "reset unconfirmed": "Команда перезапуска не подтверждена. Не снимайте прибор.",
    "not back": "Прибор не подключился повторно. Поднимите его и снова установите на дата-станцию.",
    "version unchanged": "Прибор перезапустился, но версия не изменилась. Возможна проблема с bootloader.",
    "close refused": "Во время обновления закрывать программу нельзя.",
    "close refused caption": "Обновление выполняется",
    "reinstall description": "Дождитесь, пока прибор перестанет мигать. Затем поднимите его и снова установите на "
                             "дата-станцию.",
    "reinstall note": "ПОДНИМИТЕ И СНОВА УСТАНОВИТЕ ПРИБОР\r\nПроверка продолжится автоматически.",
    "reset done": "✓  Команда Reset выполнена",
    "awaiting reinstall": "●  Ожидание повторной установки…",
    "done": f"Прошивка успешно обновлена до версии {FIRMWARE_VERSION}.",
    "done note": "Прошивка успешно обновлена\r\nТеперь прибор можно снять с дата-станции.",
}

REINSTALL_TEXTS = {
    "kicker": "Завершение обновления",
    "title": "Повторно установите прибор",
    "text": TEXT["reinstall description"],
    "hint": "ⓘ  Программа автоматически проверит подключение и версию прошивки.",
    "confirm": "Прибор установлен",
}

# The update worker waits 15 s after the reset, then looks for the instrument for 120 s.
REBOOT_WAIT_S = 15
RECONNECT_S = 120


def say(line):
    """To the console and to out/suite.txt, which scripts/test.sh quotes after CTest."""
    print(line, flush=True)
    if REPORT:
        REPORT.write(line + "\n")
        REPORT.flush()


REPORT = None


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0
        self.scenario = ""

    def begin(self, scenario):
        self.scenario = scenario
        say(f"== {scenario}")

    def check(self, what, ok, detail=""):
        if ok:
            self.passed += 1
            say(f"PASS  {self.scenario}: {what}")
        else:
            self.failed += 1
            say(f"FAIL  {self.scenario}: {what}" + (f" -- {detail}" if detail else ""))
        return ok

    def equal(self, what, expected, actual):
        return self.check(what, expected == actual, f"expected {expected!r}, got {actual!r}")


class Run:
    """Everything the scenarios share: the program, the stations, the screen and the checks."""

    def __init__(self, args):
        self.args = args
        self.checks = Checks()
        self.out = os.path.abspath(args.out)
        shutil.rmtree(self.out, ignore_errors=True)
        os.makedirs(self.out)
        self.link_dir = os.environ["ZARVEL_COM_LINK_DIR"]
        self.silent_link = os.path.join(self.link_dir, "com5")
        self.station_link = os.path.join(self.link_dir, "com6")
        # An earlier test may have left a link at a pty number that a new simulator gets again.
        self.com_links = [os.path.join(self.link_dir, f"com{port}") for port in range(5, 9)]
        self.reset_links()
        self.screen = Screen(os.path.join(self.out, "shots"))
        self.inspector = None
        self.start_inspector()
        self.program = Program(args.program, os.path.join(self.out, "run"), self.inspector, self.screen)
        self.firmware = os.path.join(self.program.dir, FIRMWARE_NAME)
        self.firmware_bytes = sample_firmware(FIRMWARE_SIZE)
        with open(self.firmware, "wb") as file:
            file.write(self.firmware_bytes)
        self.crc = crc32(padded(self.firmware_bytes))
        self.station = None
        self.silent = None
        self.drst_seen = None

    # ---- set-up ----

    def reset_links(self):
        for link in self.com_links:
            if os.path.lexists(link):
                os.unlink(link)
            os.symlink("/dev/null", link)

    def start_inspector(self):
        self.inspector = Inspector(self.args.inspector, os.path.join(self.out, "inspector-stderr.txt"))
        if getattr(self, "program", None):
            self.program.inspector = self.inspector

    def stop_inspector(self):
        if self.inspector:
            self.inspector.close()
            self.inspector = None

    def start_station(self, name, options=()):
        if self.station:
            self.station.stop()
        self.station = Station(self.args.sim, self.station_link, os.path.join(self.out, "stations"), name, options)
        return self.station

    def close(self):
        if self.program:
            self.program.kill()
        if self.station:
            self.station.stop()
        if self.silent:
            self.silent.close()
        self.stop_inspector()
        self.reset_links()

    # ---- reading ----

    def expect_texts(self, expected):
        controls = self.program.controls()
        for name, text in expected.items():
            control = controls.get(IDC[name])
            self.checks.equal(f"{name} reads {text!r}", text, control["text"] if control else None)

    def expect_state(self, name, visible=None, enabled=None):
        control = self.program.controls().get(IDC[name])
        if visible is not None:
            self.checks.equal(f"{name} {'shown' if visible else 'hidden'}", visible, control and control["visible"])
        if enabled is not None:
            self.checks.equal(f"{name} {'enabled' if enabled else 'disabled'}", enabled, control and control["enabled"])

    def expect_log(self, line, after=0):
        lines = self.program.log_lines()[after:]
        return self.checks.check(f"log has '{line}'", line in lines, "not found")

    def log_index(self):
        return len(self.program.log_lines())

    def expect_size(self, what, window, design):
        """Outer size design x s (s from the log, else 1), give or take rounding, s's two decimals and Wine's frame."""
        scale = self.program.scale()
        left, top, right, bottom = window["rect"]
        frame = (right - left - window["client"][2], bottom - top - window["client"][3])
        ok = all(abs(size - full * scale) <= 2 + full * (0.005 if scale < 1 else 0) + edge * (1 - scale)
                 for size, full, edge in zip((right - left, bottom - top), design, frame))
        self.checks.check(f"{what} outer size {design} at scale {scale}", ok, str(window["rect"]))

    def expect_box(self, box, caption, text, icon):
        self.checks.equal("message box caption", caption, box["caption"])
        self.checks.equal("message box text", text, box["text"])
        self.checks.equal("message box icon", icon, box["icon"])

    def wait_check_page(self, timeout=90):
        self.program.wait_page("check", timeout)
        wait_until(lambda: not self.program.message_box(), timeout, "no message box over the check page")

    # ---- doing ----

    def press_start(self):
        self.expect_state("start", enabled=True)
        self.program.click("start")
        self.program.wait_page("update", 60)

    def reinstall(self, station, drst_after=0):
        """After the reset: the pop-up asks to lift and re-place the instrument; the user does, and confirms."""
        station.wait_event(r"^drst$", 120, after=drst_after)
        self.drst_seen = time.monotonic()
        try:
            dialog = wait_until(self.program.reinstall_dialog, 30, "the reinstall dialog")
        except Timeout as error:
            self.checks.check("reinstall dialog shown", False, str(error))
            station.send("lift")
            station.send("place")
            return
        self.checks.check("reinstall dialog shown", True)
        main = self.program.refresh_main()
        self.expect_size("reinstall dialog", dialog, (680, 455))
        centred = all(abs(a - b) <= 2 for a, b in zip(centre(dialog["rect"]), centre(main["rect"])))
        self.checks.check("reinstall dialog centred on the main window", centred, f"{dialog['rect']} on {main['rect']}")
        texts = {c["id"]: c["text"] for c in self.program.controls(dialog["hwnd"]).values()}
        for name, text in REINSTALL_TEXTS.items():
            self.checks.equal(f"reinstall dialog {name} text", text, texts.get(IDC_DLG[name]))
        self.checks.equal("main window disabled under the dialog", False, main["enabled"])
        self.expect_texts({"heading": HEADINGS["reinstall"], "description": TEXT["reinstall description"],
                           "status4": TEXT["reset done"], "status5": TEXT["awaiting reinstall"],
                           "note": TEXT["reinstall note"]})
        self.screen.shot("reinstall-dialog")
        # Escape does nothing to the pop-up; only its button closes it.
        self.screen.key("Escape")
        time.sleep(0.5)
        self.checks.check("Escape leaves the dialog open", bool(self.program.reinstall_dialog()))
        station.send("lift")
        station.wait_event(r"^lifted$", 30)
        station.send("place")
        station.wait_event(r"^placed$", 30)
        self.program.click("confirm", dialog)
        try:
            wait_until(lambda: not self.program.reinstall_dialog(), 60, "the dialog to close")
            self.checks.check("'Прибор установлен' closes the dialog", True)
        except Timeout as error:
            self.checks.check("'Прибор установлен' closes the dialog", False, str(error))
        main = wait_until(lambda: (self.program.refresh_main() or {}).get("enabled"), 30, "the main window enabled")
        self.checks.check("main window enabled again", bool(main))

    def failed_update(self, expected_text, timeout=90):
        """The error box of a failed update, then the check page with the text on status line 4."""
        box = self.program.answer_box("error-box", timeout)
        self.expect_box(box, TEXT["failed caption"], expected_text, "error")
        self.wait_check_page()
        self.expect_texts({"status4": "✕  " + expected_text, "file": FIRMWARE_NAME})
        self.expect_state("start", enabled=True)
        self.screen.shot("check-page-after-failure")

    def recover(self):
        """Back to the check page with the firmware chosen, whatever the last scenario left behind."""
        deadline = time.monotonic() + RECONNECT_S + 120
        while time.monotonic() < deadline and self.program.running():
            try:
                if self.program.message_box():
                    self.program.answer_box("recovery-box", 30)
                    continue
                dialog = self.program.reinstall_dialog()
                if dialog:
                    self.program.click("confirm", dialog)
                elif self.program.on_page("check") and (self.program.refresh_main() or {}).get("enabled"):
                    if self.program.text("file") == FIRMWARE_NAME:
                        return
                    break
                elif self.program.on_page("connect") and self.station:
                    self.station.send("place")
            except (Timeout, OSError, KeyError, TypeError):
                pass
            time.sleep(1)
        say("   (recovery: starting the program again)")
        self.program.kill()
        self.start_station("recovered")
        self.program.start()
        self.program.wait_page("check", 180)
        self.program.choose_file(self.firmware)
        self.program.wait_text("file", FIRMWARE_NAME)
        if self.program.controls()[IDC["risk"]]["check"] != 1:
            self.program.click("risk")


# ---- scenarios ----

def set_port_mapping(port, device):
    """What the README tells Linux users to do, then a fresh wineserver that reads the new mapping."""
    subprocess.run(["wine", "reg", "add", r"HKLM\Software\Wine\Ports", "/v", f"COM{port}", "/d", device, "/f"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
    restart_wineserver()


def restart_wineserver():
    subprocess.run(["wineserver", "-k"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
    subprocess.run(["wineserver", "-w"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
    subprocess.run(["wineserver", "-p"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)


def scenario_explicit_mapping(run):
    """A serial device named in the registry (as a USB adapter would be) is the station's COM port."""
    run.checks.begin(f"explicit mapping: COM{MAPPED_PORT} -> the simulator's pty")
    station = run.start_station("mapped", ["--absent"])  # the station line stays until the instrument comes
    device = station.pty()
    os.unlink(station.link)  # only the registry entry leads to this station
    run.stop_inspector()
    try:
        set_port_mapping(MAPPED_PORT, device)
        run.start_inspector()
        run.program.start()
        run.program.wait_text("status1", f"✓  Дата-станция подключена (COM{MAPPED_PORT})", 180)
        run.checks.check(f"station found on COM{MAPPED_PORT}", True)
        station.send("place")
        run.program.wait_page("check", 90)
        run.checks.check("instrument checked through the mapped port", True)
        run.expect_log(f"COM{MAPPED_PORT} BGV -> {STATION_IDENT}")
        run.program.click_close_box()
        run.checks.equal("program closed with exit code 0", 0, run.program.exit_code(60))
    finally:
        run.program.kill()
        station.stop()
        run.station = None
        run.stop_inspector()
        set_port_mapping(MAPPED_PORT, "")
        run.start_inspector()


def scenario_discovery(run):
    run.checks.begin("discovery: a silent port beside the station")
    program = run.program
    if os.path.lexists(run.station_link):
        os.unlink(run.station_link)
    run.silent = SilentPort(run.silent_link)
    main = program.start()
    run.expect_size("main window", main, (1440, 1040))
    area = run.inspector.ask("workarea")
    run.checks.check("main window inside the work area", inside(main["rect"], area), f"{main['rect']} in {area}")
    run.checks.equal("main window title", "Zarvel Update - Zarvel Ксарон 4", main["title"])
    x, y, width, height = wait_until(lambda: Screen.x_window("^Zarvel Update"), 60, "the main window on the X server")
    run.checks.equal("X shows the whole window, frame included, where Windows has it", main["rect"],
                     [x, y, x + width, y + height])
    program.wait_page("connect", 60)
    program.wait_text("status1", TEXT["no station"], 90)
    run.checks.check("no station yet: line 1 says so", True)
    wait_until(lambda: b"BGV\n" in run.silent.received(), 60, "BGV on the silent port")
    run.checks.check("the silent port was asked BGV", True)
    run.expect_log("COM5 BGV -> ")
    run.screen.shot("connect-page-no-station")

    station = run.start_station("discovery", ["--absent"])
    program.wait_text("status1", TEXT["station on COM6"], 90)
    run.checks.check("station found on COM6 beside the silent COM5", True)
    program.wait_text("status2", TEXT["place instrument"], 60)
    run.checks.check("no instrument: line 2 asks to place it", True)
    lines = program.log_lines()
    found = [i for i, line in enumerate(lines) if line == f"COM6 BGV -> {STATION_IDENT}"]
    run.checks.check("log: the station's BGV line", bool(found), "no 'COM6 BGV' line")
    run.checks.check("log: the silent COM5 asked before COM6 in the first scan that found the station",
                     bool(found) and "COM5 BGV -> " in lines[:found[0]])
    run.expect_log("BIC -> 0")
    run.screen.shot("connect-page-station-no-instrument")

    station.send("place")
    program.wait_page("check", 60)
    run.expect_texts({"status1": TEXT["check 1"], "status2": TEXT["check 2"], "status3": TEXT["check 3"],
                      "status4": TEXT["check 4"], "file": TEXT["no file"], "cancel": TEXT["cancel"]})
    run.expect_state("start", visible=True, enabled=False)
    run.expect_state("cancel", visible=True, enabled=True)
    run.expect_log("GV -> 1.0.0")
    run.expect_log("GB -> 3950 mV")
    run.screen.shot("check-page")


def scenario_choose_firmware(run):
    run.checks.begin("firmware chosen in the open-file dialog")
    program = run.program
    if program.controls()[IDC["risk"]]["check"] == 1:  # left ticked by a recovery
        program.click("risk")
    program.choose_file(run.firmware, "open-file-dialog")
    program.wait_text("file", FIRMWARE_NAME, 60)
    run.checks.check(f"file box shows {FIRMWARE_NAME}", True)
    run.expect_log(f"Firmware selected: {wine_path(run.firmware)}, blocks={BLOCKS}, crc32={run.crc}")
    run.expect_state("start", enabled=False)
    program.click("risk")
    wait_until(lambda: program.controls()[IDC["risk"]]["check"] == 1, 30, "the risk box ticked")
    run.checks.check("risk box ticked by a click", True)
    wait_until(lambda: program.controls()[IDC["start"]]["enabled"], 30, "Start enabled")
    run.checks.check("Start enabled: file, battery, instrument and risk", True)
    run.screen.shot("check-page-ready")


def back_from_cancel(run, station):
    """After a cancellation: the connect page, a new monitor, the instrument found again."""
    program = run.program
    program.wait_page("connect", 60)
    program.wait_text("status2", TEXT["place instrument"], 60)
    run.checks.check("connect page, new monitor: line 2 asks for the lifted instrument", True)
    run.screen.shot("connect-page-after-cancel")
    station.send("place")
    run.wait_check_page()
    run.checks.check("the new monitor finds the instrument: check page", True)
    run.expect_texts({"file": FIRMWARE_NAME, "status4": TEXT["check 4"]})
    run.checks.equal("risk box still ticked", 1, program.controls()[IDC["risk"]]["check"])
    run.expect_state("start", enabled=True)


def scenario_cancel_on_check_page(run):
    run.checks.begin("cancel on the check page")
    program, station = run.program, run.station
    log_start = run.log_index()
    program.click("cancel")
    wait_until(program.message_box, 60, "the cancellation box")
    station.send("lift")  # while the box is open: the new monitor will have to wait for it
    box = program.answer_box("cancelled-box")
    run.expect_box(box, TEXT["cancelled caption"], TEXT["cancelled check"], "information")
    run.expect_log("BB (cancel/disconnect) -> OK", log_start)
    run.checks.check("station received BB", "BB" in station.commands())
    back_from_cancel(run, station)


def scenario_battery_low(run):
    run.checks.begin("failure: battery below 3.90 V at the start")
    station = run.station
    station.send("set battery 3800")
    station.wait_event(r"^battery 3800$", 30)
    sent_before = len(station.commands())
    run.press_start()
    run.failed_update(TEXT["battery low"])
    sent = station.commands()[sent_before:]
    run.checks.equal("the update asked GB and stopped there", "GB", sent[-1] if sent else None)
    run.checks.check("no DUSTART sent", "DUSTART" not in sent, str(sent))
    station.send("set battery 3950")


def failure_scenario(run, title, options, expected_text, verify=None, during=None, timeout=90):
    run.checks.begin(f"failure: {title}")
    station = run.start_station(title.replace(" ", "-"), options)
    log_start = run.log_index()
    run.press_start()
    if during:
        during(station)
    run.failed_update(expected_text, timeout)
    if verify:
        verify(station, run.program.log_lines()[log_start:])


def scenario_dustart_refused(run):
    def verify(station, log):
        run.checks.check("log: DUSTART -> ERROR", "DUSTART -> ERROR" in log)
        run.checks.check("nothing after DUSTART", station.commands()[-1] == "DUSTART", str(station.commands()[-3:]))

    failure_scenario(run, "DUSTART refused", ["--reply", "DUSTART=ERROR"], TEXT["dfwu refused"], verify)


def scenario_dusize_refused(run):
    def verify(station, log):
        run.checks.check("log: DUSIZE -> ERROR", "DUSIZE -> ERROR" in log)
        run.checks.equal("DUSIZE refused, then DRST; no DUSUMM", ["DUSTART", f"DUSIZE{BLOCKS}", "DRST"],
                         station.commands()[-3:])

    failure_scenario(run, "DUSIZE refused", ["--reply", "DUSIZE=ERROR"], TEXT["parameters refused"], verify)


def scenario_block_refused(run):
    def verify(station, log):
        run.checks.check(f"log: DUB 7/{BLOCKS} -> FAIL block 7 refused", f"DUB 7/{BLOCKS} -> FAIL block 7 refused" in log)
        run.checks.equal("no block after the refused one", 7, station.commands().count("DUB"))

    failure_scenario(run, "a block refused", ["--refuse-block", "7"], TEXT["transfer broken"], verify)


def scenario_unplugged(run):
    def verify(station, log):
        station.wait_event(rf"^unplug at block 20/{BLOCKS}$", 10)
        run.checks.check(f"log: DUB 20/{BLOCKS} with no reply", f"DUB 20/{BLOCKS} -> " in log)
        run.checks.check("no block after the cable was pulled", not any(l.startswith(f"DUB 21/") for l in log))
        station.send("plug")
        station.wait_event(r"^plugged ", 30)

    failure_scenario(run, "station unplugged during the transfer", ["--unplug-at-block", "20"],
                     TEXT["transfer broken"], verify)


def scenario_cancel_during_transfer(run):
    """A cancel accepted while the second-to-last block is on its way still ends Cancelled: the
    last block is never sent."""
    run.checks.begin("cancel during the second-to-last block")
    program = run.program
    last_but_one = BLOCKS - 1
    station = run.start_station("cancel-transfer", ["--delay", f"DUB#{last_but_one}=6000"])
    log_start = run.log_index()
    run.press_start()
    run.expect_state("cancel", visible=True, enabled=True)
    run.expect_texts({"cancel": TEXT["cancel"]})
    station.wait_event(rf"^block {last_but_one}/{BLOCKS}$", 60)
    program.click("cancel")
    run.screen.shot("update-page-transfer")
    wait_until(program.message_box, 60, "the cancellation box")
    # The page behind the box is switched only when the box is closed.
    run.expect_texts({"cancel": TEXT["cancelling"]})
    run.expect_state("cancel", enabled=False)
    station.send("lift")
    box = program.answer_box("cancelled-during-transfer-box")
    run.expect_box(box, TEXT["cancelled caption"], TEXT["cancelled update"], "information")
    log = program.log_lines()[log_start:]
    run.checks.check("log: Cancellation requested by user", "Cancellation requested by user" in log)
    run.checks.check("log: BB (update cancelled) -> OK", "BB (update cancelled) -> OK" in log)
    sent = station.commands()
    blocks = sent.count("DUB")
    after_blocks = sent[len(sent) - sent[::-1].index("DUB"):] if blocks else sent
    run.checks.check("stopped before the last block, BB right after the block in flight",
                     blocks == last_but_one and after_blocks[:1] == ["BB"], f"{blocks} blocks, then {after_blocks[:3]}")
    back_from_cancel(run, station)


def scenario_reset_unconfirmed(run):
    def verify(station, log):
        run.checks.check("log: DRST -> ERROR", "DRST -> ERROR" in log)
        run.checks.equal("every block sent, then DRST", [BLOCKS, "DRST"],
                         [station.commands().count("DUB"), station.commands()[-1]])

    failure_scenario(run, "reset not confirmed", ["--reply", "DRST=ERROR"], TEXT["reset unconfirmed"], verify)


def scenario_version_unchanged(run):
    def verify(station, log):
        run.checks.check("log: GV after instrument reinstall -> 1.0.0", "GV after instrument reinstall -> 1.0.0" in log)

    failure_scenario(run, "version unchanged", ["--after-reboot", "unchanged"], TEXT["version unchanged"], verify,
                     during=run.reinstall, timeout=REBOOT_WAIT_S + 90)


def scenario_not_back(run):
    program = run.program

    def during(station):
        run.reinstall(station)
        # The user gets impatient and tries to close the program while it looks for the instrument.
        run.checks.begin("closing refused during an update")
        program.press_alt_f4()
        box = program.answer_box("close-refused-box", 60)
        run.expect_box(box, TEXT["close refused caption"], TEXT["close refused"], "warning")
        run.checks.check("program still running", program.running())
        run.checks.equal("still the update page", HEADINGS["reinstall"], program.heading())
        run.checks.begin("failure: instrument not back within 120 s")

    def verify(station, log):
        waited = time.monotonic() - run.drst_seen
        run.checks.check("the failure came after the 15 s wait and the 120 s search",
                         waited >= REBOOT_WAIT_S + RECONNECT_S, f"{waited:.0f} s after the reset")
        attempts = sum(1 for line in log if line.startswith("Available COM ports:"))
        run.checks.check("the worker kept looking (several port scans)", attempts >= 3, f"{attempts} scans")

    failure_scenario(run, "instrument not back within 120 s", ["--after-reboot", "absent"], TEXT["not back"],
                     verify, during=during, timeout=REBOOT_WAIT_S + RECONNECT_S + 120)


def scenario_success(run):
    run.checks.begin(f"full update of {FIRMWARE_NAME}")
    program = run.program
    station = run.start_station("success", ["--new-version", FIRMWARE_VERSION])
    log_start = run.log_index()
    run.press_start()
    run.expect_state("progress", visible=True)
    run.reinstall(station)
    program.wait_page("done", REBOOT_WAIT_S + 90)
    run.checks.check("done page", True)
    run.expect_texts({"description": TEXT["done"], "note": TEXT["done note"],
                      "status1": "✓  Подключение к прибору", "status2": "✓  Переход в режим обновления",
                      "status3": "✓  Прошивка передана", "status4": "✓  Перезапуск выполнен",
                      "status5": "✓  Прибор повторно подключён"})
    run.expect_state("progress", visible=False)
    run.expect_state("cancel", visible=False)
    run.screen.shot("done-page")
    image = padded(run.firmware_bytes)
    run.checks.equal("station received the file padded with 0xFF", image, station.received_image())
    station.wait_event(rf"^image-ok blocks={BLOCKS} crc={run.crc}$", 10)
    run.checks.check(f"station: image-ok, CRC-32 {run.crc} matched DUSUMM", True)
    run.checks.check("transcript: DUSUMM with the CRC-32 in decimal",
                     any(f"DUSUMM{run.crc} -> OK" in line for line in station.transcript()))
    run.checks.check("station rebooted into the new version",
                     f"rebooted version={FIRMWARE_VERSION}" in station.events())
    log = program.log_lines()[log_start:]
    expected = ["DUSTART -> OK", "DUSIZE -> OK", "DUSUMM -> OK", f"DUB 1/{BLOCKS} -> NEXT",
                f"DUB {BLOCKS}/{BLOCKS} -> OK", "DRST -> OK",
                "Reset confirmed; waiting 15 seconds for the instrument to reboot",
                f"GV after instrument reinstall -> {FIRMWARE_VERSION}", "BB after successful update -> OK"]
    positions = [log.index(line) if line in log else -1 for line in expected]
    run.checks.check("log: the update's lines in order", -1 not in positions and positions == sorted(positions),
                     str(list(zip(expected, positions))))


def scenario_next_instrument(run):
    """A service centre's day: the updated instrument lifted, another one (older firmware) placed
    and updated in the same run of the program."""
    run.checks.begin("the next instrument, updated without a restart")
    program, station = run.program, run.station
    first_image = station.wait_event(r"^image-ok ", 10)[0]
    program.click("next")
    program.wait_page("connect", 60)
    program.wait_text("status2", TEXT["lift updated"], 60)
    run.checks.check("the updated instrument is not taken for the next one", True)
    run.expect_log("Next instrument requested by user")
    station.send("lift")
    program.wait_text("status2", TEXT["place instrument"], 60)
    station.send("set version 1.1.0")
    station.wait_event(r"^version 1\.1\.0$", 30)
    station.send("place")
    run.wait_check_page()
    run.expect_log("GV -> 1.1.0")
    run.expect_texts({"file": FIRMWARE_NAME})
    drst_seen = len(station.events())
    run.press_start()  # the file and the ticked risk box were kept
    run.reinstall(station, drst_after=drst_seen)
    program.wait_page("done", REBOOT_WAIT_S + 90)
    station.wait_event(rf"^image-ok blocks={BLOCKS} crc={run.crc}$", 10, after=first_image + 1)
    run.checks.equal("the second station image is the file padded with 0xFF", padded(run.firmware_bytes),
                     station.received_image())
    log = program.log_lines()
    this_run = log[len(log) - log[::-1].index("Zarvel Update started") - 1:]
    run.checks.equal("one start, one elevation, both updates in this run's log", [1, 2],
                     [sum(line.startswith("Administrator elevation: ") for line in this_run),
                      this_run.count("BB after successful update -> OK")])


def scenario_close(run):
    run.checks.begin("normal close after the update: the caption's close box")
    program = run.program
    program.click_close_box()
    code = program.exit_code(90)
    run.checks.equal("program ended with exit code 0", 0, code)


SCENARIOS = [
    scenario_explicit_mapping,
    scenario_discovery,
    scenario_choose_firmware,
    scenario_cancel_on_check_page,
    scenario_battery_low,
    scenario_dustart_refused,
    scenario_dusize_refused,
    scenario_block_refused,
    scenario_unplugged,
    scenario_cancel_during_transfer,
    scenario_reset_unconfirmed,
    scenario_version_unchanged,
    scenario_not_back,
    scenario_success,
    scenario_next_instrument,
    scenario_close,
]

# Scenarios after which the program must be on the check page, ready for the next attempt.
NEEDS_CHECK_PAGE_AFTER = {scenario_discovery, scenario_choose_firmware, scenario_cancel_on_check_page, scenario_battery_low,
                          scenario_dustart_refused, scenario_dusize_refused, scenario_block_refused,
                          scenario_unplugged, scenario_cancel_during_transfer, scenario_reset_unconfirmed,
                          scenario_version_unchanged, scenario_not_back}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True, help="Zarvel-Update.exe (its assets folder beside it)")
    parser.add_argument("--inspector", required=True, help="e2e_inspect.exe")
    parser.add_argument("--sim", default=os.environ.get("ZARVEL_STATION_SIM"), help="station-sim")
    parser.add_argument("--out", required=True, help="folder for the run, screenshots and transcripts")
    args = parser.parse_args()
    sys.stdout.reconfigure(encoding="utf-8", errors="backslashreplace")
    for name in ("WINEPREFIX", "DISPLAY", "ZARVEL_COM_LINK_DIR"):
        if not os.environ.get(name):
            print(f"{name} is not set: run through scripts/test.sh or tests/e2e/run.sh", file=sys.stderr)
            return 2
    if not args.sim:
        print("station-sim not given (--sim or ZARVEL_STATION_SIM)", file=sys.stderr)
        return 2

    started = time.monotonic()
    global REPORT
    os.makedirs(args.out, exist_ok=True)
    run = Run(args)
    REPORT = open(os.path.join(run.out, "suite.txt"), "w", encoding="utf-8")
    try:
        for scenario in SCENARIOS:
            scenario_started = time.monotonic()
            try:
                scenario(run)
            except Exception as error:  # noqa: BLE001 - one broken scenario must not hide the others
                run.checks.check("scenario ran to its end", False, f"{type(error).__name__}: {error}")
                say(traceback.format_exc().rstrip())
                run.screen.shot("failure")
                if scenario in NEEDS_CHECK_PAGE_AFTER:
                    try:
                        run.recover()
                    except Exception as recovery_error:  # noqa: BLE001
                        run.checks.check("recovered to the check page", False, str(recovery_error))
                        break
            say(f"   ({time.monotonic() - scenario_started:.0f} s)")
    finally:
        run.close()
    say(f"screenshots, transcripts and the log: {run.out}")
    say(f"took {time.monotonic() - started:.0f} s")
    say(f"{run.checks.passed} passed, {run.checks.failed} failed")
    REPORT.close()
    return 1 if run.checks.failed else 0


if __name__ == "__main__":
    sys.exit(main())
