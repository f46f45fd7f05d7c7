"""The user at the machine: Zarvel-Update.exe under Wine, seen and driven from outside.

What the user sees comes from e2e_inspect.exe (window and control texts, message boxes, the
open-file dialog) and from screenshots; what the user does goes through the X server (xdotool
clicks at the controls' places, typing, Alt+F4). The data station is station-sim, whose control
FIFO places and lifts the instrument. Every wait polls with a deadline: the machine is shared.

Needs WINEPREFIX, DISPLAY and ZARVEL_COM_LINK_DIR (scripts/wine-env.sh) and a wineserver
already running for the prefix.
"""

import json
import os
import re
import select
import shutil
import subprocess
import time
import tty
import zlib

BLOCK_SIZE = 120

# Control ids of the main window and of the reinstall dialog.
IDC = {
    "choose": 1001, "risk": 1002, "start": 1003, "progress": 1004, "title": 1005,
    "step1": 1006, "step2": 1007, "step3": 1008, "heading": 1009, "description": 1010,
    "status1": 1011, "status2": 1012, "status3": 1013, "status4": 1014, "status5": 1015,
    "file": 1016, "note": 1017, "cancel": 1019, "next": 1020,
}
IDC_DLG = {"confirm": 5001, "kicker": 5002, "title": 5003, "text": 5004, "hint": 5005}
MESSAGE_BOX_TEXT = 0xFFFF
MESSAGE_BOX_ICON = 0x440
FILE_NAME_BOX = 1148  # the file name combo box of the open-file dialog (its edit has the same id)

HEADINGS = {
    "connect": "Подключите дата-станцию",
    "check": "Проверка перед обновлением",
    "update": "Обновление выполняется",
    "reinstall": "Повторная установка прибора",
    "done": "Обновление завершено",
}

MAIN_CLASS = "ZarvelUpdateWindow"
REINSTALL_CLASS = "ZarvelReinstallDialog"
DIALOG_CLASS = "#32770"


class Timeout(Exception):
    """A wait ran past its deadline: what the user expected never appeared."""


def wait_until(probe, timeout, what, interval=0.2):
    """Polls probe() until it returns something truthy; raises Timeout after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Timeout(f"{what} (waited {timeout:.0f} s)")
        time.sleep(interval)


def wine_path(path):
    """/a/b as Wine's drive path Z:\\a\\b."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def padded(data):
    return data + b"\xff" * (-len(data) % BLOCK_SIZE)


def crc32(data):
    return zlib.crc32(data) & 0xFFFFFFFF


def sample_firmware(size, seed=b"zarvel"):
    """Deterministic bytes that look like an image: the same file on every run."""
    out = bytearray()
    block = seed
    while len(out) < size:
        block = zlib.crc32(block).to_bytes(4, "little") + block[:60]
        out += block
    return bytes(out[:size])


def centre(rect):
    return (rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2


def inside(rect, area):
    """Whether rect (left, top, right, bottom) lies wholly within area."""
    return area[0] <= rect[0] and area[1] <= rect[1] and rect[2] <= area[2] and rect[3] <= area[3]


class Inspector:
    """e2e_inspect.exe kept running under Wine: one request, one JSON line."""

    def __init__(self, exe, log_path):
        self._log = open(log_path, "ab")
        self._process = subprocess.Popen(["wine", exe], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                         stderr=self._log)
        self._pending = b""

    def ask(self, request, timeout=60):
        self._process.stdin.write((request + "\n").encode())
        self._process.stdin.flush()
        deadline = time.monotonic() + timeout
        while b"\n" not in self._pending:
            left = deadline - time.monotonic()
            ready, _, _ = select.select([self._process.stdout], [], [], max(left, 0))
            if not ready:
                raise Timeout(f"the inspector did not answer '{request}'")
            chunk = os.read(self._process.stdout.fileno(), 1 << 16)
            if not chunk:
                raise Timeout(f"the inspector ended while answering '{request}'")
            self._pending += chunk
        line, self._pending = self._pending.split(b"\n", 1)
        return json.loads(line)

    def windows(self):
        return self.ask("windows")

    def controls(self, hwnd):
        return self.ask(f"controls {hwnd}") or []

    def close(self):
        try:
            self._process.stdin.write(b"quit\n")
            self._process.stdin.flush()
            self._process.wait(timeout=30)
        except (OSError, subprocess.TimeoutExpired):
            self._process.kill()
            self._process.wait()
        self._log.close()


class Screen:
    """The X display: mouse, keyboard and screenshots."""

    def __init__(self, shots_dir):
        self.shots_dir = shots_dir
        self.crop = None  # (x, y, width, height) of the screen to keep, or the whole screen
        self._count = 0
        os.makedirs(shots_dir, exist_ok=True)

    @staticmethod
    def _run(*args):
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)

    def click(self, x, y):
        # No --sync: it would wait forever when the pointer is already there.
        self._run("xdotool", "mousemove", str(x), str(y), "click", "1")

    def type(self, text):
        self._run("xdotool", "type", "--delay", "40", text)

    def key(self, name):
        self._run("xdotool", "key", name)

    def shot(self, name):
        self._count += 1
        path = os.path.join(self.shots_dir, f"{self._count:02d}-{name}.png")
        region = []
        if self.crop:
            x, y, width, height = self.crop
            region = ["-crop", f"{width}x{height}+{x}+{y}", "+repage"]
        self._run("import", "-window", "root", *region, path)
        return path

    def mean_colour(self, shot, rect):
        """The average colour of the saturated pixels of rect (left, top, right, bottom) in shot."""
        left, top, right, bottom = rect
        if self.crop:
            left, right = left - self.crop[0], right - self.crop[0]
            top, bottom = top - self.crop[1], bottom - self.crop[1]
        geometry = f"{right - left}x{bottom - top}+{left}+{top}"
        result = subprocess.run(["convert", shot, "-crop", geometry, "+repage", "-depth", "8", "txt:-"],
                                check=True, capture_output=True, text=True, timeout=60)
        total = [0, 0, 0]
        count = 0
        for match in re.finditer(r"\((\d+),(\d+),(\d+)", result.stdout):
            r, g, b = (int(v) for v in match.groups())
            if max(r, g, b) - min(r, g, b) > 60:  # the icon's colour, not its white or grey
                total = [total[0] + r, total[1] + g, total[2] + b]
                count += 1
        return tuple(v // count for v in total) if count else None

    @staticmethod
    def x_window(title_pattern):
        """(x, y, width, height) of the viewable X window whose name matches, as the X server shows it."""
        ids = subprocess.run(["xdotool", "search", "--name", title_pattern], capture_output=True, text=True,
                             timeout=60).stdout.split()
        for window in ids:
            info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True, timeout=60).stdout
            fields = [re.search(pattern + r":\s+(-?\d+)", info) for pattern in
                      ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")]
            if all(fields) and "IsViewable" in info:
                return tuple(int(field.group(1)) for field in fields)
        return None


def icon_kind(colour):
    """The message box icon by its colour: red error, orange or yellow warning, blue information."""
    if colour is None:
        return "none"
    r, g, b = colour
    if b > r and b > g - 20:
        return "information"
    if r > 150 and g < 110:
        return "error"
    if r > 150 and g >= 110 and b < g:
        return "warning"
    return f"unknown {colour}"


class Station:
    """station-sim on the link that Wine maps to a COM port; the technician's hands via its FIFO."""

    def __init__(self, binary, link, work_dir, name, options=()):
        self.name = name
        self.link = link
        self.dir = os.path.join(work_dir, name)
        os.makedirs(self.dir, exist_ok=True)
        self.control = os.path.join(self.dir, "control")
        self.transcript_path = os.path.join(self.dir, "transcript.txt")
        self.events_path = os.path.join(self.dir, "events.txt")
        self.image_path = os.path.join(self.dir, "received.bin")
        self.options = list(options)
        self._out = open(self.events_path, "wb")
        self._process = subprocess.Popen(
            [binary, "--link", link, "--control", self.control, "--transcript", self.transcript_path,
             "--save-image", self.image_path, *self.options],
            stdin=subprocess.DEVNULL, stdout=self._out, stderr=subprocess.STDOUT)
        wait_until(lambda: self._process.poll() is not None or self._lines(self.events_path, "pty "),
                   60, f"station-sim {name} to start")
        if self._process.poll() is not None:
            raise RuntimeError(f"station-sim {name} ended at start: {self._read(self.events_path)}")

    @staticmethod
    def _read(path):
        try:
            with open(path, "rb") as file:
                return file.read().decode("utf-8", "replace")
        except FileNotFoundError:
            return ""

    def _lines(self, path, prefix=""):
        return [line for line in self._read(path).splitlines() if line.startswith(prefix)]

    def pty(self):
        """The pseudo-terminal the station serves, as a real serial device would be named."""
        return self._lines(self.events_path, "pty ")[0].split(" ", 1)[1]

    def events(self):
        return [line[len("event "):] for line in self._lines(self.events_path, "event ")]

    def transcript(self):
        return self._read(self.transcript_path).splitlines()

    def commands(self):
        """The commands the station received, in order, block payloads left out: 'DUSIZE50', 'DUB', 'GV'."""
        received = []
        for line in self.transcript():
            match = re.match(r"\S+\s+(\S+) .*-> ", line)
            if match and match.group(1) != "event":
                command = match.group(1)
                received.append("DUB" if command.startswith("DUB") else command)
        return received

    def wait_event(self, pattern, timeout, after=0):
        """The first event from index after on that matches pattern; returns (index, match)."""
        regex = re.compile(pattern)

        def probe():
            for index, event in enumerate(self.events()[after:], start=after):
                match = regex.search(event)
                if match:
                    return index, match
            return None

        return wait_until(probe, timeout, f"station event '{pattern}'")

    def send(self, command):
        fd = os.open(self.control, os.O_WRONLY | os.O_NONBLOCK)
        try:
            os.write(fd, (command + "\n").encode())
        finally:
            os.close(fd)

    def received_image(self):
        try:
            with open(self.image_path, "rb") as file:
                return file.read()
        except FileNotFoundError:
            return None

    def stop(self):
        if self._process.poll() is None:
            try:
                self.send("quit")
                self._process.wait(timeout=30)
            except (OSError, subprocess.TimeoutExpired):
                self._process.terminate()
                self._process.wait(timeout=30)
        self._out.close()


class SilentPort:
    """A serial port that takes every byte and never answers: a pseudo-terminal nobody serves."""

    def __init__(self, link):
        self.link = link
        self._master, self._slave = os.openpty()
        tty.setraw(self._slave)
        os.set_blocking(self._master, False)
        self._received = b""
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(os.ttyname(self._slave), link)

    def received(self):
        while True:
            try:
                chunk = os.read(self._master, 4096)
            except (BlockingIOError, OSError):
                break
            if not chunk:
                break
            self._received += chunk
        return self._received

    def close(self):
        if os.path.lexists(self.link):
            os.unlink(self.link)
        os.symlink("/dev/null", self.link)
        os.close(self._master)
        os.close(self._slave)


class Program:
    """Zarvel-Update.exe copied with its assets into a folder of its own (so the log is this run's)."""

    def __init__(self, build_exe, run_dir, inspector, screen):
        self.dir = run_dir
        self.inspector = inspector
        self.screen = screen
        os.makedirs(run_dir, exist_ok=True)
        self.exe = os.path.join(run_dir, "Zarvel-Update.exe")
        shutil.copy2(build_exe, self.exe)
        assets = os.path.join(os.path.dirname(build_exe), "assets")
        shutil.rmtree(os.path.join(run_dir, "assets"), ignore_errors=True)
        shutil.copytree(assets, os.path.join(run_dir, "assets"))
        self.log_path = os.path.join(run_dir, "Zarvel-Update.log")
        self._process = None
        self._output = None
        self.main = None

    def start(self):
        self.main = None
        if os.path.exists(self.log_path):
            os.unlink(self.log_path)
        self._output = open(os.path.join(self.dir, "wine-output.txt"), "ab")
        self._process = subprocess.Popen(["wine", self.exe], cwd=self.dir, stdin=subprocess.DEVNULL,
                                         stdout=self._output, stderr=subprocess.STDOUT)
        self.main = wait_until(lambda: self._find(MAIN_CLASS), 120, "the main window")
        return self.main

    def exit_code(self, timeout):
        try:
            return self._process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def running(self):
        return self._process is not None and self._process.poll() is None

    def kill(self):
        if self.running():
            self._process.kill()
            self._process.wait(timeout=60)
        if self._output:
            self._output.close()
            self._output = None

    # ---- what the user sees ----

    def _windows(self):
        if not self.main:
            return self.inspector.windows()
        return [w for w in self.inspector.windows() if w["pid"] == self.main["pid"]]

    def _find(self, class_name):
        for window in self._windows():
            if window["class"] == class_name:
                return window
        return None

    def refresh_main(self):
        self.main = self._find(MAIN_CLASS) or self.main
        return self.main

    def controls(self, hwnd=None):
        return {c["id"]: c for c in self.inspector.controls(hwnd or self.main["hwnd"])}

    def text(self, name):
        control = self.controls().get(IDC[name])
        return control["text"] if control else None

    def heading(self):
        return self.text("heading")

    def on_page(self, page):
        return self.heading() == HEADINGS[page]

    def wait_page(self, page, timeout=90):
        return wait_until(lambda: self.on_page(page) and self.controls(), timeout, f"the {page} page")

    def wait_text(self, name, expected, timeout=60):
        return wait_until(lambda: self.text(name) == expected, timeout, f"{name} to read '{expected}'")

    def message_box(self):
        """The open message box as {caption, text, icon_rect, ok_rect}, or None."""
        for window in self._windows():
            if window["class"] != DIALOG_CLASS:
                continue
            controls = self.controls(window["hwnd"])
            if MESSAGE_BOX_TEXT not in controls:
                continue
            ok = next((c for c in controls.values() if c["class"].lower() == "button" and c["id"] == 1), None)
            icon = controls.get(MESSAGE_BOX_ICON)
            return {"caption": window["title"], "text": controls[MESSAGE_BOX_TEXT]["text"],
                    "icon_rect": icon["rect"] if icon else None, "ok_rect": ok["rect"] if ok else None}
        return None

    def file_dialog(self):
        for window in self._windows():
            if window["class"] != DIALOG_CLASS:
                continue
            edits = [c for c in self.inspector.controls(window["hwnd"])
                     if c["id"] == FILE_NAME_BOX and c["class"] == "Edit" and c["visible"]]
            if edits:
                return {"window": window, "edit": edits[0]}
        return None

    def reinstall_dialog(self):
        return self._find(REINSTALL_CLASS)

    def scale(self):
        """The factor the program shrank its windows by to fit the work area, as its log says; else 1."""
        found = (re.match(r"Window scale: ([\d.]+) ", line) for line in self.log_lines())
        return next((float(match.group(1)) for match in found if match), 1.0)

    def log_lines(self):
        try:
            with open(self.log_path, "rb") as file:
                data = file.read().decode("utf-8", "replace")
        except FileNotFoundError:
            return []
        return [line[10:] if re.match(r"\d\d:\d\d:\d\d  ", line) else line for line in data.split("\r\n") if line]

    # ---- what the user does ----

    def click_point(self, x, y):
        """A click off the work area would land on whatever the pointer is held at instead."""
        area = self.inspector.ask("workarea")
        if not inside((x, y, x + 1, y + 1), area):
            raise RuntimeError(f"({x}, {y}) lies off the work area {area}: the window does not fit the screen")
        self.screen.click(x, y)

    def click(self, name, popup=None):
        """Clicks the middle of a control of the main window (or of the reinstall pop-up) where it is now."""
        control = self.controls(popup and popup["hwnd"])[(IDC_DLG if popup else IDC)[name]]
        self.click_point(*centre(control["rect"]))

    def focus(self):
        """Clicks the first of a few spots of the client area that no control covers: the window takes the focus."""
        x, y, width, height = self.refresh_main()["client"]
        spots = [(x + width * i // 8, y + height * j // 8) for j in (7, 1) for i in (1, 7)]
        rects = [control["rect"] for control in self.controls().values()]
        self.click_point(*next((a, b) for a, b in spots if not any(inside((a, b, a + 1, b + 1), r) for r in rects)))

    def press_alt_f4(self):
        self.focus()
        self.screen.key("alt+F4")

    def click_close_box(self):
        """The close box ends the caption that Wine draws between the border and the client area."""
        left, top, right, _ = self.refresh_main()["rect"]
        border = self.main["client"][0] - left
        caption = self.main["client"][1] - top - border
        self.click_point(right - border - caption // 2, top + border + caption // 2)

    def answer_box(self, shot_name, timeout=90):
        """Waits for a message box, reads it, screenshots it and clicks its OK button."""
        box = wait_until(self.message_box, timeout, "a message box")
        shot = self.screen.shot(shot_name)
        box["icon"] = icon_kind(self.screen.mean_colour(shot, box["icon_rect"])) if box["icon_rect"] else "none"
        box["shot"] = shot
        if box["ok_rect"]:
            # A click that came before the box could take it is clicked again, as a user would.
            for attempt in range(1, 7):
                self.click_point(*centre(box["ok_rect"]))
                try:
                    wait_until(lambda: not self.message_box(), 10, "the message box to close")
                    break
                except Timeout:
                    if attempt == 6:
                        raise
        return box

    def choose_file(self, path, shot_name=None):
        """Opens the file dialog, types the path into its name box and presses Enter."""
        self.click("choose")
        dialog = wait_until(self.file_dialog, 60, "the open-file dialog")
        self.click_point(*centre(dialog["edit"]["rect"]))
        self.screen.type(wine_path(path))
        if shot_name:
            self.screen.shot(shot_name)
        self.screen.key("Return")
        wait_until(lambda: not self.file_dialog(), 60, "the open-file dialog to close")

