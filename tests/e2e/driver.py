"""The user at the machine: Zarvel-Update.exe under Wine (scripts/lib.sh), seen through e2e_inspect.exe, driven
with xdotool; station-sim is the data station, its control FIFO the technician's hands. Every wait has a deadline."""

import contextlib
import ctypes
import ctypes.util
import json
import os
import re
import select
import shutil
import subprocess
import time
from ctypes import POINTER, byref, c_int, c_uint, c_ulong, c_void_p
from subprocess import DEVNULL, PIPE, STDOUT

IDC = {"start": 1003, "heading": 1009, "status2": 1012, "file": 1016, "confirm": 5001}
HEADINGS = {"connect": "Подключите дата-станцию", "check": "Проверка перед обновлением",
            "done": "Обновление завершено"}
BOX_TEXT, FILE_NAME = 0xFFFF, 1148  # a message box's text; the open-file dialog's name box


class Timeout(Exception):
    """What the user waited for never came."""


def wait_until(probe, timeout, what):
    deadline = time.monotonic() + timeout
    while not (value := probe()):
        if time.monotonic() >= deadline:
            raise Timeout(f"{what() if callable(what) else what} (waited {timeout:.0f} s)")
        time.sleep(0.2)
    return value


def padded(data):
    return data + b"\xff" * (-len(data) % 120)


def sample_firmware(size):
    """Bytes that look like an image, the same on every run."""
    return bytes((i * 7 + i // 251) & 0xFF for i in range(size))


class Keyboard:
    """Types the letters that no key of the X keyboard carries (the Cyrillic of a folder name) through spare keys mapped
    to them for the rest of the run. xdotool maps a spare key for one keystroke and maps it back; Wine reads the whole
    map when told of a change, on a busy machine only after the key was mapped back, and loses the letter. Wine types
    nothing from the higher spare keycodes (above 150 here), which leaves seven letters."""

    MOST_LETTERS = 7

    def __init__(self, display):
        self._x11 = x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
        self._xtst = ctypes.CDLL(ctypes.util.find_library("Xtst"))
        x11.XOpenDisplay.restype = c_void_p
        x11.XDisplayKeycodes.argtypes = [c_void_p, POINTER(c_int), POINTER(c_int)]
        x11.XGetKeyboardMapping.argtypes = [c_void_p, c_uint, c_int, POINTER(c_int)]
        x11.XGetKeyboardMapping.restype = POINTER(c_ulong)
        x11.XChangeKeyboardMapping.argtypes = [c_void_p, c_int, c_int, POINTER(c_ulong), c_int]
        x11.XFree.argtypes = [c_void_p]
        x11.XSync.argtypes = [c_void_p, c_int]
        x11.XCloseDisplay.argtypes = [c_void_p]
        self._xtst.XTestFakeKeyEvent.argtypes = [c_void_p, c_uint, c_int, c_ulong]
        self._display, self._keys = x11.XOpenDisplay(display.encode()), {}
        if not self._display:
            raise RuntimeError(f"cannot open the display {display}")

    def _key(self, letter):
        """The key mapped to the letter: the lowest spare one, mapped when the letter is first typed."""
        if letter not in self._keys:
            if len(self._keys) == self.MOST_LETTERS:
                raise RuntimeError(f"Wine would not type {letter!r}: keys for {self.MOST_LETTERS} letters at most")
            low, high, per = c_int(), c_int(), c_int()
            self._x11.XDisplayKeycodes(self._display, byref(low), byref(high))
            count = high.value - low.value + 1
            keymap = self._x11.XGetKeyboardMapping(self._display, low.value, count, byref(per))
            spare = next(k for k in range(count) if not any(keymap[k * per.value:(k + 1) * per.value]))
            self._x11.XFree(keymap)
            self._keys[letter], keysym = low.value + spare, c_ulong(0x1000000 | ord(letter))  # its Unicode keysym
            self._x11.XChangeKeyboardMapping(self._display, self._keys[letter], 1, byref(keysym), 1)
        return self._keys[letter]

    def type(self, text):
        for letter in text:
            for press in (True, False):
                self._xtst.XTestFakeKeyEvent(self._display, self._key(letter), press, 0)
            self._x11.XSync(self._display, False)
            time.sleep(0.04)  # the pace of xdotool's keys

    def close(self):
        self._x11.XCloseDisplay(self._display)


class Wine:
    """One Wine environment and its screen: the inspector running there, the X tools on its display."""

    def __init__(self, inspector, env, shots):
        self.env, self.shots, self._keyboard = env, shots, None
        os.makedirs(shots, exist_ok=True)
        self._inspector = subprocess.Popen(["wine", inspector], stdin=PIPE, stdout=PIPE, stderr=DEVNULL, env=env)

    def ask(self, request):
        self._inspector.stdin.write(request.encode() + b"\n")
        self._inspector.stdin.flush()
        if not select.select([self._inspector.stdout], [], [], 60)[0]:
            raise Timeout(f"the inspector's answer to '{request}'")
        return json.loads(self._inspector.stdout.readline())

    def x(self, *command):
        subprocess.run(command, check=True, env=self.env, stdout=DEVNULL, stderr=DEVNULL, timeout=60)

    def type(self, text):
        """Types the text where the keyboard focus is: with xdotool what the keyboard carries, the rest with Keyboard."""
        for run in re.findall(r"[ -~]+|[^ -~]+", text):
            if run.isascii():
                self.x("xdotool", "type", "--delay", "40", run)
            else:
                self._keyboard = self._keyboard or Keyboard(self.env["DISPLAY"])
                self._keyboard.type(run)

    def shot(self, name):
        self.x("import", "-window", "root", os.path.join(self.shots, name + ".png"))

    def close(self):
        self._inspector.kill()
        self._inspector.wait()
        if self._keyboard:
            self._keyboard.close()


class Station:
    """station-sim on a link that Wine maps to a COM port; its events come on stdout."""

    def __init__(self, sim, link, folder, options=()):
        os.makedirs(folder, exist_ok=True)
        self.link = link
        self.image, self.control, self.transcript, self._events = (
            os.path.join(folder, name) for name in ("received.bin", "control", "transcript.txt", "events.txt"))
        with open(self._events, "wb") as out:
            self._process = subprocess.Popen([sim, "--link", link, "--control", self.control, "--save-image", self.image,
                                              "--transcript", self.transcript, *options], stdout=out, stderr=STDOUT)
        self.pty = wait_until(lambda: self._process.poll() is None and self._lines("pty "), 30, "station-sim's pty")[0]

    def _lines(self, prefix):
        with open(self._events, encoding="utf-8", errors="replace") as file:
            return [line.rstrip("\n")[len(prefix):] for line in file if line.startswith(prefix)]

    def events(self):
        return self._lines("event ")

    def wait_event(self, pattern, timeout=60):
        wait_until(lambda: any(re.search(pattern, event) for event in self.events()), timeout, f"event {pattern}")

    def send(self, line):
        fifo = os.open(self.control, os.O_WRONLY | os.O_NONBLOCK)
        os.write(fifo, line.encode() + b"\n")
        os.close(fifo)

    def received(self):
        with open(self.image, "rb") as file:
            return file.read()

    def close(self):
        self._process.terminate()
        self._process.wait(30)


class Program:
    """Zarvel-Update.exe with its assets copied into a folder of its own, so the log there is this run's."""

    def __init__(self, exe, folder, wine, again=False):
        if not again:  # again: started once more in the folder as the last run left it
            shutil.rmtree(folder, ignore_errors=True)
            shutil.copytree(os.path.join(os.path.dirname(exe), "assets"), os.path.join(folder, "assets"))
            shutil.copy2(exe, folder)
        self.wine, self.folder, self.log = wine, folder, os.path.join(folder, "Zarvel-Update.log")
        with open(os.path.join(folder, "wine-output.txt"), "wb") as out:
            self._process = subprocess.Popen(["wine", "Zarvel-Update.exe"], cwd=folder, env=wine.env, stdin=DEVNULL,
                                             stdout=out, stderr=STDOUT)
        self.main = self.window("ZarvelUpdateWindow", 120)

    def kill(self):
        self._process.kill()
        self._process.wait()

    def close(self):
        """Alt+F4 on the main window, as a user ends the program; it must end within a minute."""
        self.key("alt+F4")
        self._process.wait(60)

    def find(self, class_name):
        """The visible window of this class: the program runs alone in its Wine."""
        return next((w for w in self.wine.ask("windows") if w["visible"] and w["class"] == class_name), None)

    def window(self, class_name, timeout=60):
        return wait_until(lambda: self.find(class_name), timeout, f"a window {class_name}")

    def controls(self, window=None):
        return {control["id"]: control for control in self.wine.ask(f"controls {(window or self.main)['hwnd']}")}

    def text(self, name):
        return self.controls().get(IDC[name], {}).get("text")

    def wait_text(self, name, text, timeout=60):
        wait_until(lambda: self.text(name) == text, timeout, lambda: f"{name} reads {self.text(name)!r}, not {text!r}")

    def wait_page(self, page, timeout=60):
        self.wait_text("heading", HEADINGS[page], timeout)

    def wait_start(self, timeout=60):
        wait_until(lambda: self.text("heading") == HEADINGS["check"] and self.controls()[IDC["start"]]["enabled"],
                   timeout, "the check page with Start enabled")

    def dialog(self, control):
        """The open dialog (a message box, the open-file dialog) that has this control, and its controls."""
        dialog = self.find("#32770")
        return dialog and control in (controls := self.controls(dialog)) and (dialog, controls)

    def log_lines(self):
        with open(self.log, encoding="utf-8", errors="replace") as file:
            return [line.rstrip("\n")[10:] for line in file]  # without the time of day

    def click(self, name, window=None):
        """At the middle of the control where the window shows it now."""
        left, top, right, bottom = self.controls(window)[IDC[name]]["rect"]
        self.wine.x("xdotool", "mousemove", str((left + right) // 2), str((top + bottom) // 2), "click", "1")

    def key(self, *names):
        """Keys pressed where the keyboard focus is, as a user without a mouse presses them."""
        self.wine.x("xdotool", "key", "--delay", "100", *names)

    def answer_box(self, timeout=60):
        """Reads the message box that comes and presses Enter for its OK, again if the box was not ready for it."""
        box, controls = wait_until(lambda: self.dialog(BOX_TEXT), timeout, "a message box")
        for _ in range(5):
            self.key("Return")
            with contextlib.suppress(Timeout):
                wait_until(lambda: not self.dialog(BOX_TEXT), 5, "the message box to close")
                return box["text"], controls[BOX_TEXT]["text"]
        raise Timeout("the message box stays open")

    def get_ready(self, firmware):
        """By keys from the fresh check page's focus on the file button: Tab round the check box and Cancel (Start is
        off) back to it, Enter, the path typed into the open-file dialog, Enter; Space ticks the focused risk box."""
        self.key("Tab", "Tab", "Tab", "Return")
        wait_until(lambda: self.dialog(FILE_NAME), 60, "the open-file dialog")
        self.wine.type("Z:" + firmware.replace("/", "\\"))
        self.key("Return")
        self.wait_text("file", os.path.basename(firmware))
        self.key("space")
        self.wait_start()
