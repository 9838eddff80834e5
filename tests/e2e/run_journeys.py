#!/usr/bin/env python3
"""Journeys through Dirka's window with real X input.

Starts Xvfb on a free display and openbox on it, then runs each journey against a fresh
program process with its own home folder, settings file and save folder, and reads what a user
would see back from outside: the clipboard (xclip), written files, window titles and states
(xdotool, xprop), and the arguments the program hands to xdg-open (a stand-in first on PATH).

    python3 tests/e2e/run_journeys.py --program build/bin/dirka \
        --drag-source build/tests/e2e_drag_source [JOURNEY ...]

Prints one line per journey and "N passed, M failed"; exits 1 when one failed and 77 (CTest's
skip code) when no X server could be started.
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.parse

SKIP = 77
SENTINEL = "e2e clipboard sentinel"
MAIN_TITLE = "Dirka 2.1"

# Offsets from the main window's client corner at 100 % scale (the window opens at 540 x 520
# and is never resized by the journeys that use them): the middle of the location box and a
# point in the result area below its lines.
LOCATION_BOX = (150, 80)
RESULT_AREA = (260, 330)


class JourneyFailed(Exception):
    pass


def check(condition, reason):
    if not condition:
        raise JourneyFailed(reason)


def wait_until(predicate, timeout, interval=0.05):
    """The predicate's first true value within the timeout, else its last (false) one."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def run(args, timeout=5, env=None, check_rc=False):
    try:
        done = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              timeout=timeout, env=env)
    except subprocess.TimeoutExpired:
        return None
    if check_rc and done.returncode != 0:
        return None
    return done.stdout.decode("utf-8", "replace")


def kill_group(proc, grace=2.0):
    if proc is None or proc.poll() is not None:
        return
    try:
        os.killpg(proc.pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    try:
        proc.wait(grace)
    except subprocess.TimeoutExpired:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        proc.wait(grace)


# --- the X session -----------------------------------------------------------------------------

class XSession:
    def __init__(self):
        self.display = None
        self.procs = []

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        return env

    def start(self):
        """None when the server and the window manager run, else why not."""
        if not shutil.which("Xvfb"):
            return "Xvfb is not installed (scripts/setup.sh installs it)"
        for number in range(91, 160):
            if os.path.exists(f"/tmp/.X{number}-lock") or \
                    os.path.exists(f"/tmp/.X11-unix/X{number}"):
                continue
            display = f":{number}"
            # -noreset: the server would otherwise reset when its last client (the probe
            # below) leaves, and refuse the window manager's connection meanwhile.
            xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24",
                                     "-nolisten", "tcp", "-noreset"], stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL, start_new_session=True)
            env = dict(os.environ, DISPLAY=display)
            up = wait_until(lambda: xvfb.poll() is not None or
                            run(["xdpyinfo"], 2, env, True) is not None, 10, 0.1)
            if up and xvfb.poll() is None:
                self.display = display
                self.procs.append(xvfb)
                break
            kill_group(xvfb)  # another server took the number first: try the next one
        else:
            return "Xvfb could not start on any display :91..:159"
        log = tempfile.TemporaryFile()
        wm = subprocess.Popen(["openbox", "--sm-disable"], stdout=log, stderr=log,
                              env=self.env(), start_new_session=True)
        self.procs.append(wm)
        running = wait_until(lambda: wm.poll() is not None or "window id #" in (run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], 2, self.env()) or ""), 10, 0.1)
        if not running or wm.poll() is not None:
            log.seek(0)
            said = log.read().decode("utf-8", "replace").strip().replace("\n", " | ")
            return f"openbox did not start on {self.display} (exit {wm.poll()}: {said})"
        return None

    def stop(self):
        for proc in reversed(self.procs):
            kill_group(proc)
        self.procs.clear()


# --- one program run ---------------------------------------------------------------------------

def reg_text(values):
    lines = ["Windows Registry Editor Version 5.00", "",
             "[HKEY_CURRENT_USER\\Software\\Pelmora\\Dirka\\2.1]"]
    for name, value in values.items():
        if isinstance(value, bool) or isinstance(value, int):
            lines.append(f'"{name}"=dword:{int(value):08x}')
        else:
            escaped = value.replace("\\", "\\\\").replace('"', '\\"')
            lines.append(f'"{name}"="{escaped}"')
    return "\r\n".join(lines) + "\r\n"


class Dirka:
    """The program in a home of its own, and the X calls a journey makes against it."""

    def __init__(self, suite, root, settings=None, args=()):
        self.suite = suite
        self.x = suite.x
        self.root = root
        self.home = os.path.join(root, "home")
        self.save = os.path.join(root, "save")
        self.work = os.path.join(root, "work")
        self.opened_log = os.path.join(root, "opened.log")
        config = os.path.join(self.home, ".config")
        desktop = os.path.join(self.home, "Desktop")
        fake_bin = os.path.join(root, "bin")
        for folder in (config, desktop, self.save, self.work, fake_bin,
                       os.path.join(self.home, ".local", "share"), os.path.join(root, "run")):
            os.makedirs(folder, exist_ok=True)
        os.chmod(os.path.join(root, "run"), 0o700)
        with open(os.path.join(config, "user-dirs.dirs"), "w") as f:
            f.write('XDG_DESKTOP_DIR="$HOME/Desktop"\nXDG_DOCUMENTS_DIR="$HOME"\n')
        # Open and Explore end in xdg-open: the stand-in writes down what it was asked to open.
        opener = os.path.join(fake_bin, "xdg-open")
        with open(opener, "w") as f:
            f.write(f'#!/bin/sh\nprintf "%s\\n" "$*" >> "{self.opened_log}"\n')
        os.chmod(opener, 0o755)
        values = {"S.Preset": 6, "S.IsHeader": False, "IsSound": False, "IsCopy": False,
                  "PathSave": self.save}
        values.update(settings or {})
        settings_dir = os.path.join(config, "Pelmora", "Dirka")
        os.makedirs(settings_dir, exist_ok=True)
        with open(os.path.join(settings_dir, "2.1.reg"), "w", encoding="utf-8",
                  newline="") as f:
            f.write(reg_text(values))

        env = self.x.env()
        for name in list(env):
            if name.startswith("QT_") or name.startswith("XDG_") or name == "DBUS_SESSION_BUS_ADDRESS":
                del env[name]
        env.update({
            "HOME": self.home, "XDG_CONFIG_HOME": config,
            "XDG_DATA_HOME": os.path.join(self.home, ".local", "share"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "XDG_RUNTIME_DIR": os.path.join(root, "run"), "XDG_DESKTOP_DIR": desktop,
            "PATH": fake_bin + os.pathsep + env.get("PATH", "/usr/bin:/bin"),
            # No session bus: Explore opens the containing folder instead of asking a file
            # manager, and an address that leads nowhere keeps libdbus from launching a bus.
            "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + os.path.join(root, "no-bus"),
            "LC_ALL": "C.UTF-8", "LANG": "C.UTF-8",
        })
        self.log = open(os.path.join(root, "dirka.log"), "wb")
        self.env = env
        self.proc = subprocess.Popen([suite.program, *args], cwd=self.work, env=env,
                                     stdout=self.log, stderr=subprocess.STDOUT,
                                     start_new_session=True)
        suite.started.append(self.proc)
        self.window = self.wait_window("^" + MAIN_TITLE.replace(".", r"\."), 10)
        check(self.window, "the main window did not appear")
        self.activate(self.window)

    def close(self):
        kill_group(self.proc)
        self.log.close()

    # windows

    def xdo(self, *args, timeout=5):
        return run(["xdotool", *args], timeout, self.x.env())

    def windows(self, name_regex):
        out = self.xdo("search", "--all", "--onlyvisible", "--pid", str(self.proc.pid), "--name",
                       name_regex) or ""
        return [w for w in out.split()]

    def wait_window(self, name_regex, timeout=5):
        found = wait_until(lambda: self.windows(name_regex), timeout)
        return found[0] if found else None

    def wait_gone(self, name_regex, timeout=5):
        return wait_until(lambda: not self.windows(name_regex), timeout)

    def title(self, window):
        return (self.xdo("getwindowname", window) or "").rstrip("\n")

    def active(self):
        return (self.xdo("getactivewindow") or "").strip()

    def activate(self, window):
        def focused():
            if self.active() == window:
                return True
            self.xdo("windowactivate", "--sync", window, timeout=2)
            return self.active() == window
        check(wait_until(focused, 5, 0.1), "could not activate a window of the program")

    def wait_active(self, window, timeout=5):
        return wait_until(lambda: self.active() == window, timeout)

    def geometry(self, window):
        out = run(["xwininfo", "-id", window], 5, self.x.env()) or ""
        values = {}
        for line in out.splitlines():
            key, _, value = line.strip().partition(":")
            values[key] = value.strip()
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]))

    def point_in_main(self, offset):
        x, y, _, _ = self.geometry(self.window)
        return x + offset[0], y + offset[1]

    def wm_state(self, window):
        return run(["xprop", "-id", window, "_NET_WM_STATE"], 5, self.x.env()) or ""

    # input

    def key(self, *keys, delay=40):
        self.xdo("key", "--delay", str(delay), *keys)

    def type(self, text):
        self.xdo("type", "--delay", "20", text, timeout=30)

    def click(self, x, y):
        self.xdo("mousemove", "--sync", str(x), str(y))
        self.xdo("click", "1")

    def enter_location(self, path):
        """Ctrl+L selects the location box's text; what is typed replaces it."""
        self.key("ctrl+l")
        self.type(path)

    # read back

    def clipboard(self):
        return run(["xclip", "-o", "-selection", "clipboard"], 3, self.x.env())

    def new_clipboard(self, timeout):
        """The clipboard's text once it is no longer the sentinel; None after the timeout."""
        def text():
            held = self.clipboard()
            return held if held not in (None, SENTINEL) else None
        return wait_until(text, timeout)

    def set_clipboard(self, text=SENTINEL):
        self.suite.own_clipboard(text)
        check(wait_until(lambda: self.clipboard() == text, 3), "could not set the clipboard")

    def copied_lines(self, expected, timeout=5):
        """Presses Copy Results (F7) until the clipboard holds the expected lines; the lines
        it held last otherwise. A run in progress disables Copy, so one press may miss."""
        seen = [None]

        def copied():
            self.key("F7")
            text = self.new_clipboard(0.3)
            seen[0] = lines_of(text) if text else None
            return seen[0] == expected
        wait_until(copied, timeout, 0)
        return seen[0]

    def opened(self):
        try:
            with open(self.opened_log) as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def wait_opened(self, count, timeout=5):
        return wait_until(lambda: len(self.opened()) >= count, timeout)


def lines_of(text):
    lines = text.replace("\r\n", "\n").split("\n")
    while lines and lines[-1] == "":
        lines.pop()
    return lines


def make_tree(root, files):
    for rel in files:
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "w").close()
    return root


def file_url(path):
    return "file://" + path


# --- journeys ----------------------------------------------------------------------------------

class Suite:
    def __init__(self, program, drag_source, temp):
        self.program = program
        self.drag_source = drag_source
        self.temp = temp
        self.x = XSession()
        self.started = []
        self._big_tree = None

    def own_clipboard(self, text):
        # In the foreground (-quiet), so it can be ended like every other process here.
        proc = subprocess.Popen(["xclip", "-quiet", "-selection", "clipboard", "-i"],
                                stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, env=self.x.env(),
                                start_new_session=True)
        self.started.append(proc)
        proc.stdin.write(text.encode())
        proc.stdin.close()

    def big_tree(self):
        """A tree that takes the window a while to list and to export, made once per suite
        run: BIG_FOLDERS x BIG_FILES empty files."""
        if self._big_tree is None:
            root = os.path.join(self.temp, "big")
            os.mkdir(root)
            for d in range(BIG_FOLDERS):
                folder = os.path.join(root, f"folder {d:03d}")
                os.mkdir(folder)
                for n in range(BIG_FILES):
                    os.close(os.open(os.path.join(folder, f"track {n:04d}.mp3"),
                                     os.O_CREAT | os.O_WRONLY, 0o644))
            self._big_tree = root
        return self._big_tree

    def stop_all(self):
        for proc in reversed(self.started):
            kill_group(proc)
        self.started.clear()


BIG_FOLDERS = 100
BIG_FILES = 500
# The big tree is listed this many times over ("A | A | ..."): a million result lines without
# a million files to make (making files is slow on a busy disk).
BIG_REPEAT = 20


def big_location(tree):
    return " | ".join([tree] * BIG_REPEAT)

JOURNEYS = []


def journey(function):
    JOURNEYS.append(function)
    return function


def small_tree(root):
    tree = os.path.join(root, "tree")
    make_tree(tree, ["a.txt", "b.txt", "c.txt", "sub/d.txt", "sub/e.txt"])
    return tree


def small_tree_lines(tree):
    return [f"{tree}/a.txt", f"{tree}/b.txt", f"{tree}/c.txt", f"{tree}/sub/d.txt",
            f"{tree}/sub/e.txt"]


@journey
def location_enter(suite, root):
    """A location typed into the location box and confirmed with Enter is listed."""
    tree = small_tree(root)
    other = make_tree(os.path.join(root, "other"), ["x.txt"])
    app = Dirka(suite, root, {"PathList": other})
    app.set_clipboard()
    app.enter_location(tree)
    app.key("Return")
    copied = app.copied_lines(small_tree_lines(tree))
    check(copied == small_tree_lines(tree),
          f"after Enter in the location box, Copy Results gave {copied!r} "
          f"(None: nothing was listed)")


def start_helper(suite, env, argv, title, what):
    """Starts one of the journeys' helper programs; answers it and its window once shown."""
    helper = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, start_new_session=True)
    suite.started.append(helper)
    found = wait_until(lambda: (run(["xdotool", "search", "--all", "--onlyvisible", "--pid",
                                     str(helper.pid), "--name", "^" + title], 5, env)
                                or "").split(), 10)
    check(found, f"the {what} window did not appear")
    return helper, found[0]


def mouse_drag(app, start, end, steps):
    """Presses at start and releases at end. A drag needs motion to find its target: it walks
    there in steps, then settles on it."""
    (sx, sy), (ex, ey) = start, end
    app.xdo("mousemove", "--sync", str(sx), str(sy))
    app.xdo("mousedown", "1")
    time.sleep(0.3)
    for i in range(1, steps + 1):
        app.xdo("mousemove", "--sync", str(sx + (ex - sx) * i // steps),
                str(sy + (ey - sy) * i // steps))
        time.sleep(0.03)
    for dx in (1, 0):
        app.xdo("mousemove", "--sync", str(ex + dx), str(ey))
        time.sleep(0.2)
    app.xdo("mouseup", "1")


def drag_file(suite, app, path, target):
    """Drags the file from the drag source window and drops it at the target point."""
    env = app.env  # the program's own: no Qt platform override, a home of its own
    source = None
    try:
        source, window = start_helper(suite, env, [suite.drag_source, path], "e2e drag source",
                                      "drag source")
        sx, sy, sw, sh = app.geometry(window)
        mouse_drag(app, (sx + sw // 2, sy + sh // 2), target, 10)
        time.sleep(0.3)
    finally:
        if source:
            kill_group(source)


def drop_journey(suite, root, target_offset):
    tree = small_tree(root)
    other = make_tree(os.path.join(root, "other"), ["x.txt"])
    app = Dirka(suite, root, {"PathList": other})
    app.set_clipboard()
    drag_file(suite, app, f"{tree}/sub/d.txt", app.point_in_main(target_offset))
    app.activate(app.window)
    expected = [f"{tree}/sub/d.txt", f"{tree}/sub/e.txt"]
    copied = app.copied_lines(expected)
    app.set_clipboard()
    app.key("ctrl+l", "ctrl+c")
    location = app.new_clipboard(3)
    check(copied == expected, f"after the drop, Copy Results gave {copied!r} (None: nothing was "
          f"listed) and the location box reads {location!r}")
    check(location == f"{tree}/sub", f"the location box reads {location!r}")


@journey
def drop_on_location_box(suite, root):
    """A file dropped on the location box makes its folder the location, listed one deep."""
    drop_journey(suite, root, LOCATION_BOX)


@journey
def drop_on_result(suite, root):
    """A file dropped on the result area makes its folder the location, listed one deep."""
    drop_journey(suite, root, RESULT_AREA)


FOCUS_PLACES = {
    "location box": ("ctrl+l",),
    "Search for box": ("ctrl+k",),
    # The find panel's Esc hides it and hands the focus to the result.
    "result": ("ctrl+f", "Escape"),
    "find box": ("ctrl+f",),
}


def listed_small_tree(suite, root, settings=None):
    tree = small_tree(root)
    values = {"PathList": tree}
    values.update(settings or {})
    app = Dirka(suite, root, values)
    app.set_clipboard()
    app.key("F6")
    copied = app.copied_lines(small_tree_lines(tree))
    check(copied == small_tree_lines(tree), f"F6 listed {copied!r}")
    return app, tree


@journey
def open_and_explore_keys(suite, root):
    """F9 opens and Ctrl+E shows the first line's item, from each box and from the result."""
    app, tree = listed_small_tree(suite, root)
    failures = []
    for place, keys in FOCUS_PLACES.items():
        for shortcut, wanted in (("F9", file_url(f"{tree}/a.txt")),
                                 ("ctrl+e", file_url(f"{tree}/"))):
            before = len(app.opened())
            app.key(*keys)
            app.key(shortcut)
            if not app.wait_opened(before + 1, 3):
                failures.append(f"{shortcut} from the {place} opened nothing")
                continue
            got = app.opened()[before]
            if got.rstrip("/") != wanted.rstrip("/"):
                failures.append(f"{shortcut} from the {place} opened {got!r}")
    check(not failures, "; ".join(failures))


DIALOG_KEYS = [
    ("ctrl+s", "^Save As"),
    ("ctrl+m", "^Export to M3U8 Playlist As"),
    ("ctrl+h", "^Export to HTML Web Page As"),
    ("ctrl+t", "^Dirka - List Style"),
    ("ctrl+comma", "^Dirka - Options"),
    ("ctrl+o", "^Select Location"),
]


@journey
def dialog_keys(suite, root):
    """Each dialog's shortcut opens it from each box and from the result; Esc closes it."""
    app, tree = listed_small_tree(suite, root)
    failures = []
    for place, keys in FOCUS_PLACES.items():
        for shortcut, title in DIALOG_KEYS:
            app.key(*keys)
            app.key(shortcut)
            dialog = app.wait_window(title, 3)
            if not dialog:
                failures.append(f"{shortcut} from the {place} opened no {title[1:]!r} window")
                continue
            app.wait_active(dialog, 3)
            app.key("Escape")
            if not app.wait_gone(title, 3):
                failures.append(f"Esc left the {title[1:]!r} window open")
                return check(False, "; ".join(failures))
            app.activate(app.window)
    check(not failures, "; ".join(failures))


@journey
def result_keys(suite, root):
    """Copy, Clear, Select All, find, depth-one list, focus keys and the window keys."""
    app, tree = listed_small_tree(suite, root)
    everything = small_tree_lines(tree)

    # Ctrl+A in the result selects everything; Ctrl+C there copies the selection.
    app.set_clipboard()
    app.key(*FOCUS_PLACES["result"])
    app.key("ctrl+a", "ctrl+c")
    text = app.new_clipboard(3)
    check(text and lines_of(text) == everything, f"Ctrl+A, Ctrl+C in the result gave {text!r}")

    # F3 and Shift+F3 find the find box's text from the location box; F9 opens the found line.
    def find_and_open(text, from_place, find_key, expected):
        app.key("ctrl+f")
        app.type(text)
        app.key(from_place, find_key)
        before = len(app.opened())
        app.key("F9")
        check(app.wait_opened(before + 1, 3) and app.opened()[before] == file_url(expected),
              f"{find_key} then F9 opened {app.opened()[before:]!r}")

    find_and_open("e.txt", "ctrl+l", "F3", f"{tree}/sub/e.txt")
    find_and_open("b.txt", "ctrl+k", "shift+F3", f"{tree}/b.txt")

    # Ctrl+L puts what is typed into the location; Ctrl+F6 lists one level deep.
    app.enter_location(f"{tree}/sub")
    app.key("ctrl+F6")
    depth_one = [f"{tree}/sub/d.txt", f"{tree}/sub/e.txt"]
    copied = app.copied_lines(depth_one)
    check(copied == depth_one, f"Ctrl+L, typing, Ctrl+F6 listed {copied!r}")

    # Ctrl+K moves to "Search for", where "j" picks "JPG/JPEG": F6 then lists the picture only.
    make_tree(tree, ["sub/p.jpg"])
    app.enter_location(tree)
    app.key("ctrl+k", "j", "F6")
    copied = app.copied_lines([f"{tree}/sub/p.jpg"])
    check(copied == [f"{tree}/sub/p.jpg"], f"\"JPG/JPEG\" listed {copied!r}")

    # F8 clears: Copy Results then has nothing to copy.
    app.key("F8")
    app.set_clipboard()
    app.key("F7")
    time.sleep(0.4)
    check(app.clipboard() == SENTINEL, f"F7 after F8 copied {app.clipboard()!r}")

    # F1 opens the help page (a file beside the program) in the browser.
    before = len(app.opened())
    app.key("ctrl+l", "F1")
    check(app.wait_opened(before + 1, 3), "F1 opened nothing")
    page = app.opened()[before]
    check(page.startswith("file://") and "/help/" in page, f"F1 opened {page!r}")

    # F11 maximizes and restores.
    app.key("F11")
    check(wait_until(lambda: "MAXIMIZED_VERT" in app.wm_state(app.window), 3),
          "F11 did not maximize the window")
    app.key("F11")
    check(wait_until(lambda: "MAXIMIZED_VERT" not in app.wm_state(app.window), 3),
          "the second F11 did not restore the window")


@journey
def stop_with_esc(suite, root):
    """Esc during a long listing stops it: the result ends with ":: Stopped!"."""
    big = suite.big_tree()
    app = Dirka(suite, root, {"PathList": big_location(big), "S.IsHeader": True})
    app.set_clipboard()
    # The listing takes over a second here; Esc comes a quarter of a second into it.
    app.key("F6")
    time.sleep(0.25)
    app.key("Escape")
    copied = [None]

    def ended():
        app.key("F7")
        text = app.new_clipboard(0.3)
        copied[0] = lines_of(text) if text else None
        return copied[0]
    wait_until(ended, 20, 0)
    check(copied[0], "nothing could be copied after Esc")
    check(copied[0][-1] == ":: Stopped!",
          f"the result ends with {copied[0][-1]!r} ({len(copied[0])} lines)")
    check(len(copied[0]) < BIG_REPEAT * BIG_FOLDERS * BIG_FILES,
          f"the stopped result holds {len(copied[0])} lines: every file was listed")


def save_as(app, name):
    app.key("ctrl+s")
    dialog = app.wait_window("^Save As", 5)
    check(dialog, "Ctrl+S opened no Save As window")
    check(app.wait_active(dialog, 3), "the Save As window did not take the focus")
    app.type(name)
    app.key("Return")
    check(app.wait_gone("^Save As", 5), "the Save As window stayed open after Enter")


def check_saved(app, path, tree):
    check(wait_until(lambda: os.path.isfile(path), 5),
          f"{path} was not written (save folder holds {sorted(os.listdir(app.save))})")
    with open(path, "rb") as f:
        data = f.read()
    check(data.startswith(b"\xef\xbb\xbf"), "the saved file has no UTF-8 byte-order mark")
    text = data[3:].decode("utf-8")
    check("\r\n" in text and "\n" not in text.replace("\r\n", ""),
          "the saved file's lines do not end in CR LF")
    check(lines_of(text) == small_tree_lines(tree), f"the saved file holds {text!r}")


@journey
def save_as_typed_name(suite, root):
    """Save As with a typed name writes <name>.txt in the save folder: BOM, CR LF, the result."""
    app, tree = listed_small_tree(suite, root)
    save_as(app, "my list")
    check_saved(app, os.path.join(app.save, "my list.txt"), tree)


@journey
def save_as_name_of_a_working_folder(suite, root):
    """A typed name that names a folder in the program's working folder still gets ".txt"."""
    tree = small_tree(root)
    os.makedirs(os.path.join(root, "work", "report"))
    app, tree = listed_small_tree(suite, root)
    save_as(app, "report")
    check_saved(app, os.path.join(app.save, "report.txt"), tree)


@journey
def m3u8_twice_during_export(suite, root):
    """Ctrl+M while the playlist is written opens no second dialog; the playlist is whole."""
    big = suite.big_tree()
    app = Dirka(suite, root, {"PathList": big_location(big)})
    app.set_clipboard()
    app.key("F6")
    check(wait_until(lambda: (app.key("F7"), app.new_clipboard(0.3))[1], 30, 0),
          "the big tree was not listed")
    app.key("ctrl+m")
    title = "^Export to M3U8 Playlist As"
    dialog = app.wait_window(title, 5)
    check(dialog, "Ctrl+M opened no playlist dialog")
    check(app.wait_active(dialog, 3), "the playlist dialog did not take the focus")
    # A full path: the playlist dialog need not start in the save folder.
    target = os.path.join(app.save, "songs.m3u8")
    app.type(target[:-len(".m3u8")])
    # The second Ctrl+M comes as soon as the window has the focus back (about 45 ms here),
    # while the export runs (about 120 ms here). A dialog it opens during the export is modal
    # and holds the export up, so the playlist is not written while that dialog is open.
    app.key("Return")
    wait_until(lambda: app.active() == app.window, 3, 0.002)
    check(not os.path.isfile(target), "the export ended before the second Ctrl+M could be "
          "pressed: the result is too small for this machine")
    app.key("ctrl+m")
    open_since = [None]

    def settled():
        if os.path.isfile(target):
            return "written"
        if not app.windows(title):
            open_since[0] = None
        elif open_since[0] is None:
            open_since[0] = time.monotonic()
        elif time.monotonic() - open_since[0] > 1.0:
            # The dialog is modal: while it is open the export waits for it.
            return "second dialog"
        return None
    state = wait_until(settled, 15)
    if state == "second dialog":
        app.key("Escape")
        raise JourneyFailed("a second \"Export to M3U8 Playlist As\" window opened during the "
                            "export")
    check(state == "written", "the playlist was not written")
    # A dialog that opens only now answered a Ctrl+M that came after the export: no fault (on
    # a machine so fast that every Ctrl+M comes late, this journey cannot see the fault).
    with open(target, "rb") as f:
        entries = [line for line in f.read().split(b"\r\n") if line and line != b"#EXTM3U"]
    check(len(entries) == BIG_REPEAT * BIG_FOLDERS * BIG_FILES,
          f"the playlist holds {len(entries)} entries, not {BIG_REPEAT * BIG_FOLDERS * BIG_FILES}")


@journey
def html_export_closes_with_esc(suite, root):
    """The HTML export dialog closes with Esc, ten times in a row."""
    app, tree = listed_small_tree(suite, root)
    for i in range(10):
        app.activate(app.window)
        app.key("ctrl+h")
        save = app.wait_window("^Export to HTML Web Page As", 5)
        check(save, f"round {i + 1}: Ctrl+H opened no save dialog")
        check(app.wait_active(save, 3), f"round {i + 1}: the save dialog did not take the focus")
        app.type(f"page{i}")
        app.key("Return")
        dialog = app.wait_window("^Dirka - Export to HTML Web Page", 5)
        check(dialog, f"round {i + 1}: the export dialog did not appear")
        check(app.wait_active(dialog, 3), f"round {i + 1}: the export dialog has not the focus")
        # A user's glance at the page; the small result's build is over by then.
        time.sleep(0.3)
        app.key("Escape")
        check(app.wait_gone("^Dirka - Export to HTML Web Page", 3),
              f"round {i + 1}: Esc did not close the export dialog")
        check(os.path.isfile(os.path.join(app.save, f"page{i}.html")),
              f"round {i + 1}: page{i}.html was not written")


@journey
def new_listing_after_selection(suite, root):
    """A new listing starts with nothing selected: Ctrl+C copies nothing, F9 opens line one."""
    app, tree = listed_small_tree(suite, root)
    app.key(*FOCUS_PLACES["result"])
    app.key("Down", "Down", "shift+Down", "shift+Down")
    app.key("F6")
    time.sleep(0.5)
    app.set_clipboard()
    app.key(*FOCUS_PLACES["result"])
    app.key("ctrl+c")
    time.sleep(0.4)
    check(app.clipboard() == SENTINEL,
          f"Ctrl+C after the new listing copied {app.clipboard()!r}: a selection was left")
    before = len(app.opened())
    app.key("F9")
    check(app.wait_opened(before + 1, 3), "F9 opened nothing")
    check(app.opened()[before] == file_url(f"{tree}/a.txt"),
          f"F9 after the new listing opened {app.opened()[before]!r}, not the first line")


@journey
def window_titles(suite, root):
    """The main window is titled "Dirka 2.1" and the save dialog "Save As", nothing added."""
    app, tree = listed_small_tree(suite, root)
    check(app.title(app.window) == MAIN_TITLE, f"the main window is titled {app.title(app.window)!r}")
    app.key("ctrl+s")
    dialog = app.wait_window("^Save As", 5)
    check(dialog, "Ctrl+S opened no Save As window")
    title = app.title(dialog)
    app.key("Escape")
    check(title == "Save As", f"the save dialog is titled {title!r}")


@journey
def drag_out_of_the_result(suite, root):
    """The selected lines dragged from the result onto another program deliver their items as
    text/uri-list (percent-encoded from the names' bytes; header lines add nothing) and the
    selected text as text/plain."""
    check(suite.drop_target, "run_journeys.py was not given --drop-target")
    tree = os.path.join(root, "tree")
    names = [f"f{n:02d} #%.txt" for n in range(40)] + ["caf\u00e9.txt"]
    make_tree(tree, names)
    app = Dirka(suite, root, {"PathList": tree, "S.IsHeader": True})
    app.set_clipboard()
    app.key("F6")
    check(wait_until(lambda: (app.key("F7"), app.new_clipboard(0.3))[1], 10, 0),
          "the tree was not listed")
    app.key(*FOCUS_PLACES["result"])
    app.key("ctrl+a")
    out = os.path.join(root, "dropped")
    target, window = start_helper(suite, app.env, [suite.drop_target, out], "e2e drop target",
                                  "drop target")
    try:
        tx, ty, tw, th = app.geometry(window)
        mouse_drag(app, app.point_in_main(RESULT_AREA), (tx + tw // 2, ty + th // 2), 15)
        check(wait_until(lambda: os.path.isfile(out), 5), "the drop target received no drop")
    finally:
        kill_group(target)
    with open(out, "rb") as f:
        uris = [u for u in f.read().split(b"\r\n") if u]
    # The header's location line shows the folder; the other header lines show no item.
    wanted = [b"file://" + urllib.parse.quote(os.fsencode(os.path.join(tree, n)),
                                              safe="/").encode().rstrip(b"/")
              for n in [""] + sorted(names)]
    check(uris == wanted, f"the drop delivered {len(uris)} URIs, {uris[:3]!r}..., not "
          f"{len(wanted)}: {wanted[:3]!r}...")
    with open(out + ".txt", encoding="utf-8") as f:
        text = lines_of(f.read())
    check(text[0].startswith("::") and f"{tree}/f00 #%.txt" in text,
          f"the dropped text begins {text[:3]!r}")


@journey
def print_to_pdf(suite, root):
    """File > Print (Ctrl+P) lays out a result of 100,000 lines in the preview, with progress,
    and Ctrl+P there prints it through the print dialog's output file field to a PDF whose
    pages are the pages the preview counted."""
    big = suite.big_tree()
    app = Dirka(suite, root, {"PathList": f"{big} | {big}"})
    app.set_clipboard()
    app.key("F6")
    check(wait_until(lambda: (app.key("F7"), app.new_clipboard(0.3))[1], 30, 0),
          "the big tree was not listed")
    lines = len(lines_of(app.clipboard()))
    check(lines >= 100000, f"the result holds {lines} lines")
    app.key("ctrl+p")
    # The pages are laid out with a progress window while the window goes on handling events.
    check(app.wait_window("^Print$", 10), "Ctrl+P showed no progress window")
    check(wait_until(lambda: app.windows(r"^Print Preview - [0-9]+ pages?$"), 120),
          f"no preview with its page count; windows: {[app.title(w) for w in app.windows('.')]}")
    preview = app.windows(r"^Print Preview - ")[0]
    pages = int(app.title(preview).split(" - ")[1].split()[0])
    check(lines / 200 < pages < lines / 20, f"the preview counts {pages} pages for {lines} lines")
    app.activate(preview)
    app.key("ctrl+p")
    dialog = app.wait_window("^Print$", 10)
    check(dialog, "Ctrl+P in the preview opened no print dialog")
    check(app.wait_active(dialog, 5), "the print dialog did not take the focus")
    target = os.path.join(app.save, "big result.pdf")
    # Alt+F reaches the "Output file" field of the "Print to File (PDF)" printer.
    app.key("alt+f", "ctrl+a")
    app.type(target)
    app.key("Return")
    check(wait_until(lambda: not app.windows("^Print Preview"), 120),
          "the preview did not close after printing")
    check(os.path.isfile(target), f"{target} was not written")
    with open(target, "rb") as f:
        data = f.read()
    printed = len(re.findall(rb"/Type\s*/Page(?![a-zA-Z])", data))
    check(data.startswith(b"%PDF-") and data.rstrip().endswith(b"%%EOF"),
          "the PDF file is not complete")
    check(printed == pages, f"the PDF holds {printed} pages, the preview counted {pages}")


def pick_file(app, keys, title, path):
    """Opens a file dialog with keys, types the file's full path into it and confirms."""
    app.key(*keys)
    dialog = app.wait_window(title, 5)
    check(dialog, f"{' '.join(keys)} opened no {title[1:]!r} window")
    check(app.wait_active(dialog, 3), f"the {title[1:]!r} window did not take the focus")
    app.type(path)
    app.key("Return")
    check(app.wait_gone(title, 5), f"the {title[1:]!r} window stayed open after Enter")


@journey
def catalog_open_find_compare(suite, root):
    """A saved listing opens as the location and its names are found; opening an item that
    is no longer on the disk says so; comparing the changed tree with it shows the changes,
    and the lines open their items."""
    tree = small_tree(root)
    app = Dirka(suite, root, {"PathList": tree})
    # Not "tree.jsonl": the location box would complete the typed tree's path to it.
    catalog = os.path.join(root, "saved.jsonl")
    run([suite.program, "--list", tree, "--json", catalog], 10, app.env)
    check(os.path.isfile(catalog), "dirka --list --json wrote no saved listing")
    os.remove(os.path.join(tree, "c.txt"))
    make_tree(tree, ["f.txt"])
    with open(os.path.join(tree, "a.txt"), "w") as f:
        f.write("grown")

    app.set_clipboard()
    pick_file(app, ["ctrl+shift+o"], "^Open Catalog", catalog)
    copied = app.copied_lines(small_tree_lines(tree))
    check(copied == small_tree_lines(tree), f"the opened catalog listed {copied!r}")

    app.key("ctrl+f")
    app.type("c.txt")
    app.key("ctrl+l", "F3")
    before = len(app.opened())
    app.key("F9")
    warning = app.wait_window("^Warning$", 3)
    check(warning, "F9 on an item that is only in the catalog showed no warning")
    app.key("Return")
    check(app.wait_gone("^Warning$", 3), "the warning stayed open after Enter")
    check(len(app.opened()) == before, f"F9 opened {app.opened()[before:]!r}")

    app.activate(app.window)
    app.enter_location(tree)
    app.set_clipboard()
    # File > Compare with Catalog... is the fifth entry of the File menu.
    pick_file(app, ["alt+f", "Down", "Down", "Down", "Down", "Return"], "^Compare with Catalog",
              catalog)
    compared = [None]

    def done():
        app.key("F7")
        text = app.new_clipboard(0.3)
        compared[0] = lines_of(text) if text else None
        return compared[0] and compared[0][-1].startswith(":: ")
    wait_until(done, 10, 0)
    lines = compared[0] or []
    check(len(lines) == 4 and lines[0].startswith(f"~ {tree}/a.txt  size: 0 -> 5")
          and lines[1:] == [f"- {tree}/c.txt", f"+ {tree}/f.txt",
                            ":: Added: 1; Removed: 1; Changed: 1; Bytes added: 5; "
                            "Bytes removed: 0"],
          f"the comparison gave {lines!r}")

    app.key("ctrl+f")
    app.type("f.txt")
    app.key("ctrl+l", "F3")
    before = len(app.opened())
    app.key("F9")
    check(app.wait_opened(before + 1, 3) and app.opened()[before] == file_url(f"{tree}/f.txt"),
          f"F9 on the added file opened {app.opened()[before:]!r}")


# --- the runner --------------------------------------------------------------------------------

def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--drag-source", required=True)
    parser.add_argument("--drop-target", help="e2e_drop_target, for the drag out of the result")
    parser.add_argument("journeys", nargs="*", help="names to run (default: all)")
    options = parser.parse_args()
    chosen = JOURNEYS
    if options.journeys:
        names = {j.__name__: j for j in JOURNEYS}
        unknown = [n for n in options.journeys if n not in names]
        if unknown:
            print(f"unknown journeys: {' '.join(unknown)}; known: {' '.join(names)}")
            return 2
        chosen = [names[n] for n in options.journeys]

    # In memory where there is a RAM disk: the big tree is made in a second there.
    shm = "/dev/shm"
    # Without an X server there is nothing to drive; without the other tools a journey would
    # fail for the wrong reason, so that is a failure of the set-up, not a skip.
    missing = [t for t in ("openbox", "xdotool", "xclip", "xdpyinfo", "xprop", "xwininfo")
               if not shutil.which(t)]
    if missing and shutil.which("Xvfb"):
        print(f"e2e: cannot run: {' '.join(missing)} not installed (scripts/setup.sh installs "
              "them)")
        return 1
    temp = tempfile.mkdtemp(prefix="dirka-e2e-",
                            dir=shm if os.path.isdir(shm) and os.access(shm, os.W_OK) else None)
    suite = Suite(os.path.abspath(options.program), os.path.abspath(options.drag_source), temp)
    suite.drop_target = options.drop_target and os.path.abspath(options.drop_target)
    passed = failed = 0
    try:
        why = suite.x.start()
        if why:
            print(f"e2e: skipped: {why}")
            return SKIP
        for function in chosen:
            root = os.path.join(temp, function.__name__)
            os.mkdir(root)
            start = time.monotonic()
            app_error = None
            try:
                function(suite, root)
            except JourneyFailed as e:
                app_error = str(e)
            except Exception as e:  # a driver fault shows as a failed journey, with its kind
                app_error = f"{type(e).__name__}: {e}"
            finally:
                suite.stop_all()
            seconds = time.monotonic() - start
            if app_error is None:
                passed += 1
                print(f"PASS {function.__name__} ({seconds:.1f} s)", flush=True)
            else:
                failed += 1
                print(f"FAIL {function.__name__}: {app_error} ({seconds:.1f} s)", flush=True)
    finally:
        suite.stop_all()
        suite.x.stop()
        shutil.rmtree(temp, ignore_errors=True)
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
