#!/usr/bin/python3
"""The real program on a Wayland compositor, played through virtual input.

Run by scripts/run-wayland-tests.sh inside a headless sway session
(WAYLAND_DISPLAY and SWAYSOCK set, no DISPLAY):

  stage.py PROGRAM TOOLS_DIR TITLE_REFERENCE OUTPUT_DIR WIDTH HEIGHT

TOOLS_DIR holds wl_input and wl_other_window; TITLE_REFERENCE is the title
screen drawn under Xvfb (640x480). Screenshots and logs go to OUTPUT_DIR.
Prints one line per check and a closing "N passed, N failed" line.
"""
import json
import os
import shutil
import subprocess
import sys
import time

import numpy as np
from PIL import Image

APP_ID = "org.kelvora.kelvora3d"
OTHER_ID = "org.kelvora.otherwindow"
PROGRAM, TOOLS, REFERENCE, OUT = sys.argv[1:5]
OUT_W, OUT_H = int(sys.argv[5]), int(sys.argv[6])
SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))

# The test's own clients: what the libraries keep at exit is no finding here.
TOOL_ENV = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")

# Menu rows where a click chooses them, in game pixels (the pointer's tip).
START_ROW, MODE3D_ROW, EXIT_ROW = 245, 275, 395

passed = failed = 0


def check(ok, what, detail=""):
    global passed, failed
    if ok:
        passed += 1
    else:
        failed += 1
    print(("ok     " if ok else "FAILED ") + what + (": " + detail if detail else ""), flush=True)
    return ok


def wait_until(done, seconds, step=0.2):
    until = time.monotonic() + seconds
    while time.monotonic() < until:
        result = done()
        if result:
            return result
        time.sleep(step)
    return None


def sway(*args):
    return subprocess.run(["swaymsg", *args], capture_output=True, text=True).stdout


def windows():
    """Every window in the compositor's tree, with the fields sway gives."""
    found = []

    def walk(node):
        if node.get("app_id") is not None or node.get("shell"):
            found.append(node)
        for child in node.get("nodes", []) + node.get("floating_nodes", []):
            walk(child)

    walk(json.loads(sway("-t", "get_tree", "-r") or "{}"))
    return found


def window(app_id):
    return next((w for w in windows() if w.get("app_id") == app_id and w.get("visible", True)), None)


def screenshot(name):
    path = os.path.join(OUT, name + ".png")
    subprocess.run(["grim", path], check=True)
    return np.asarray(Image.open(path).convert("RGB")).astype(np.int16)


def placement(win):
    """Where the 640x480 picture sits on the output: x, y, scale."""
    r = win["rect"]
    s = min(r["width"] / 640, r["height"] / 480)
    return r["x"] + (r["width"] - 640 * s) / 2, r["y"] + (r["height"] - 480 * s) / 2, s


def picture(shot, win):
    """The game's picture cut from a screenshot, at 640x480."""
    x, y, s = placement(win)
    x, y = int(round(x)), int(round(y))
    w, h = int(round(640 * s)), int(round(480 * s))
    cut = Image.fromarray(shot[y : y + h, x : x + w].astype(np.uint8))
    if (w, h) != (640, 480):
        cut = cut.resize((640, 480), Image.BOX)
    return np.asarray(cut).astype(np.int16)


def differing(a, b, tolerance=48):
    """The share of pixels whose colour differs by more than tolerance."""
    return float((np.abs(a - b).max(axis=2) > tolerance).mean())


def highlighted(pic, row):
    """Lit yellow pixels of the menu row whose click point is at row (the
    row under the pointer is drawn yellow, the others blue)."""
    band = pic[row - 8 : row + 18, 180:460]
    r, g, b = band[..., 0], band[..., 1], band[..., 2]
    return int(((r > 170) & (g > 140) & (b < 110)).sum())


class Input:
    """The player's keyboard and pointer: one wl_input for the whole stage."""

    def __init__(self):
        self.proc = subprocess.Popen([os.path.join(TOOLS, "wl_input"), str(OUT_W), str(OUT_H)], env=TOOL_ENV,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)

    def send(self, *commands):
        for c in commands:
            self.proc.stdin.write(c + "\n")
            self.proc.stdin.flush()
            answer = self.proc.stdout.readline().strip()
            if answer != "ok":
                raise RuntimeError("wl_input: %s -> %s" % (c, answer or "gone"))

    def point(self, win, gx, gy):
        x, y, s = placement(win)
        self.send("move %d %d" % (int(x + (gx + 0.5) * s), int(y + (gy + 0.5) * s)))

    def click(self, win, gx, gy, game):
        # Onto the row in two steps, so the game sees the pointer move there;
        # a click acts on the row under the pointer as its frame began, so
        # the pointer rests two drawn frames first.
        self.point(win, gx + 1, gy + 1)
        game.frames(2)
        self.point(win, gx, gy)
        game.frames(2)
        self.send("click 1")

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(timeout=10)


class Game:
    """The program copied with its sounds into a folder of its own, where it
    keeps its two saved values, and run with a recording of what it saw."""

    def __init__(self, name, args):
        self.name = name
        self.dir = os.path.join(OUT, name)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(os.path.join(self.dir, "data"))
        for f in os.listdir(os.path.join(SOURCE, "data")):
            if f.endswith(".ogg"):
                shutil.copy(os.path.join(SOURCE, "data", f), os.path.join(self.dir, "data"))
        shutil.copy(PROGRAM, os.path.join(self.dir, "kelvora3d"))
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "XAUTHORITY")}
        env.update(SDL_VIDEODRIVER="wayland", SDL_AUDIODRIVER="dummy", HOME=self.dir)
        self.recording = os.path.join(self.dir, "recording.txt")
        # A line a drawn frame (the program's state log), to wait on frames.
        self.state_log = os.path.join(self.dir, "state.log")
        env.update(KELVORA3D_STATE_LOG=self.state_log)
        self.log = open(os.path.join(self.dir, "output.txt"), "w")
        self.proc = subprocess.Popen([os.path.join(self.dir, "kelvora3d"), "--record", self.recording, *args],
                                     env=env, stdout=self.log, stderr=subprocess.STDOUT, cwd=self.dir)

    def frame(self):
        """The last frame the state log shows (0 before the first)."""
        try:
            with open(self.state_log, "rb") as f:
                f.seek(max(0, os.path.getsize(self.state_log) - 200))
                # Whole lines only: the program may be half-way through writing the last.
                lines = [l for l in f.read().split(b"\n")[:-1] if l.startswith(b"frame=")]
        except OSError:
            return 0
        return int(lines[-1].split()[0][6:]) if lines else 0

    def frames(self, count, seconds=30):
        """Waits until `count` more frames were drawn; false at the bound."""
        start = self.frame()
        return wait_until(lambda: self.frame() >= start + count, seconds, 0.02) is not None

    def saved(self, name):
        try:
            with open(os.path.join(self.dir, "data", name), "rb") as f:
                return int.from_bytes(f.read(), "little", signed=True)
        except OSError:
            return None

    def events(self):
        """What the program saw, in order, and its state at the end."""
        seen, state = [], {}
        with open(self.recording) as f:
            for line in f:
                if line.startswith("# final "):
                    state = {k: float(v) for k, v in (w.split("=") for w in line.split()[2:])}
                elif not line.startswith("#"):
                    seen.append(line.strip().split(" ", 1)[1])
        return seen, state

    def wait(self, seconds):
        try:
            return self.proc.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()


def show_title(inp, game):
    """Waits for the window, skips the logo with Space until the title
    screen shows; returns the window and the title's picture."""
    win = wait_until(lambda: window(APP_ID), 90)
    if not check(win is not None, "a window with app id " + APP_ID):
        return None, None
    reference = np.asarray(Image.open(REFERENCE).convert("RGB")).astype(np.int16)
    best = 1.0

    def title():
        nonlocal best
        w = window(APP_ID)
        inp.point(w, 320, START_ROW)
        inp.send("tap space")
        time.sleep(0.5)
        pic = picture(screenshot(game.name + "-title"), w)
        best = min(best, differing(pic, reference))
        return (w, pic) if best < 0.01 else None

    found = wait_until(title, 90, 0.3)
    check(found is not None, "the title screen as under Xvfb",
          "%.2f%% of the pixels differ" % (100 * best))
    return found if found else (None, None)


def flip_full_screen(inp, game, win, to_full):
    """Alt+Enter; then the picture must still change with the pointer."""
    inp.send("down Alt_L", "tap Return", "up Alt_L")
    moved = wait_until(lambda: (lambda w: w if w and (w["fullscreen_mode"] == 1) == to_full else None)(window(APP_ID)), 20)
    now = window(APP_ID) or {"rect": {}}
    check(moved is not None, "Alt+Enter to " + ("full screen" if to_full else "a window"),
          "fullscreen_mode %s, %sx%s" % (now.get("fullscreen_mode"), now["rect"].get("width"),
                                         now["rect"].get("height")))
    if not moved:
        return win
    win = wait_until(lambda: (lambda w: w if w and w["rect"]["width"] >= 640 else None)(window(APP_ID)), 10)
    # The pointer moves to another row than before: only a new frame lights it.
    row, other = (START_ROW, EXIT_ROW) if to_full else (EXIT_ROW, START_ROW)

    def lit():
        w = window(APP_ID)
        inp.point(w, 320, row)
        time.sleep(0.3)
        pic = picture(screenshot("%s-%s" % (game.name, "full" if to_full else "window")), w)
        return w if highlighted(pic, row) > 200 and highlighted(pic, other) < 50 else None

    later = wait_until(lit, 20, 0.3)
    check(later is not None, "frames still drawn after Alt+Enter (the row under the pointer lights up)")
    return later or win


def moving(win, name):
    """True when two screenshots 0.4 s apart show different play pictures."""
    a = picture(screenshot(name + "-a"), win)
    time.sleep(0.4)
    b = picture(screenshot(name + "-b"), win)
    return differing(a, b, 24) > 0.001


def focus(app_id):
    sway("[app_id=\"%s\"] focus" % app_id)


def play(mode, inp):
    full = mode == "full screen"
    game = Game("fullscreen" if full else "window", [] if full else ["--window=1"])
    print("--- %s" % mode, flush=True)
    win, _ = show_title(inp, game)
    if not win:
        game.stop()
        return
    shown = win
    check(win.get("shell") == "xdg_shell" and (win["fullscreen_mode"] == 1) == full,
          "a native xdg_shell window" + (", full screen" if full else ""),
          "shell %s, fullscreen_mode %s, %dx%d" % (win.get("shell"), win["fullscreen_mode"],
                                                   win["rect"]["width"], win["rect"]["height"]))
    if full:
        win = flip_full_screen(inp, game, win, False)
        win = flip_full_screen(inp, game, win, True)

    # Each click waits for its picture: the menu reads the pointer once a
    # frame, and a slow frame would take two quick clicks on the last row.
    for row, what in ((MODE3D_ROW, "3D Graphics: M\\G"), (START_ROW, "Start Game")):
        before = picture(screenshot(game.name + "-menu"), win)
        inp.click(win, 320, row, game)
        check(wait_until(lambda: differing(picture(screenshot(game.name + "-menu"), win), before) > 0.05, 20),
              "a click on " + what)
    for _ in range(4):
        inp.send("tap Control_L", "sleep 250")
    inp.send("move 0 0")
    check(wait_until(lambda: moving(win, game.name + "-play"), 20), "the game runs")
    inp.send("tap space")
    check(wait_until(lambda: not moving(win, game.name + "-paused"), 20), "Space pauses")
    inp.send("tap space")
    check(wait_until(lambda: moving(win, game.name + "-resumed"), 20), "Space resumes")

    presses = 4
    if not full and focus_rule(inp):
        presses = 8  # the four taps and four presses of the focus test

    # Escape pauses, leaves the game, ends the program: one a second, as a
    # slow frame takes two quick ones for one.
    status = None
    for _ in range(30):
        inp.send("tap Escape")
        status = game.wait(1)
        if status is not None:
            break
    game.stop()
    check(status == 0, "Escape ends it with status 0", "status %s" % status)
    seen, state = game.events()
    if not full:
        held_key_checks(seen)
    downs = seen.count("key down 162")
    # A busy machine may draw no frame between a press and a focus loss,
    # which flushes it: the shots are at most the presses.
    shots = state.get("shots_fired", -1)
    check(downs == presses and presses - (0 if full else 1) <= shots <= presses,
          "every fire press seen once and shot" + ("" if full else " (one may go with a focus loss)"),
          "%d presses seen, %s shots fired, %d made" % (downs, shots, presses))
    check(game.saved("anaglyph3d.dat") == 1 and game.saved("hiscore.dat") == state.get("best_sc"),
          "both values saved", "3D mode %s, best score %s" % (game.saved("anaglyph3d.dat"),
                                                              game.saved("hiscore.dat")))
    return shown


def focus_rule(inp):
    """The fire key held while another Wayland client takes the focus and
    gives it back, then released; a key m; a new press. Then the fire key
    pressed, released in the other window, pressed 0.3 s after the return;
    a key n. See held_key_checks."""
    other = subprocess.Popen([os.path.join(TOOLS, "wl_other_window")], stdout=subprocess.PIPE, text=True,
                             env=dict(TOOL_ENV, SDL_VIDEODRIVER="wayland"))
    try:
        driver = other.stdout.readline().strip()
        ok = wait_until(lambda: window(OTHER_ID), 20) is not None
        if not check(ok and driver == "wayland", "a second Wayland client", driver):
            return False
        sway("[app_id=\"%s\"] move position 0 0" % OTHER_ID)
        # The other window has had the focus once (SDL trips over a first
        # focus that arrives with a key held); the game gets it back.
        focus(APP_ID)
        time.sleep(0.5)

        inp.send("down Control_L", "sleep 300")
        focus(OTHER_ID)
        time.sleep(0.8)
        focus(APP_ID)
        time.sleep(1.5)  # far past any repeat delay, the key still held
        inp.send("up Control_L", "sleep 300", "tap m", "sleep 300", "tap Control_L", "sleep 300")

        inp.send("down Control_L", "sleep 300")
        focus(OTHER_ID)
        time.sleep(0.5)
        inp.send("up Control_L", "sleep 300")
        focus(APP_ID)
        inp.send("sleep 300", "tap Control_L", "sleep 300", "tap n", "sleep 300")
        return True
    finally:
        other.terminate()
        other.wait()


def held_key_checks(seen):
    """Reads focus_rule's presses from what the game saw."""
    fire = "key down 162"

    def after_last_resume(upto):
        part = seen[:upto]
        last = max(i for i, what in enumerate(part) if what == "resume")
        return part[last + 1 :].count(fire)

    if not check("key down 77" in seen and "key down 78" in seen, "the marker keys arrived"):
        return
    m, n = seen.index("key down 77"), seen.index("key down 78")
    check(after_last_resume(m) == 0, "fire key held over the focus change: no shot on return")
    new_press = seen[m:n]
    first_away = new_press.index("suspend") if "suspend" in new_press else len(new_press)
    check(new_press[:first_away].count(fire) == 2, "a new press after the return fires")
    check(after_last_resume(n) == 1, "fire key released elsewhere, pressed 0.3 s after the return: it fires")


def stage_icon(win):
    """What the compositor knows of the game is its app id: it (and any
    dock or task switcher) finds the name and the icon in the installed
    desktop entry of that name. Wayland has no window icon for SDL to set."""
    print("--- app id and icon", flush=True)
    prefix = os.path.join(OUT, "installed")
    shutil.rmtree(prefix, ignore_errors=True)
    subprocess.run(["cmake", "--install", os.path.dirname(PROGRAM), "--prefix", prefix], check=True,
                   stdout=subprocess.DEVNULL)
    app_id = win.get("app_id") if win else None
    entry = os.path.join(prefix, "share", "applications", "%s.desktop" % app_id)
    fields = {}
    if os.path.exists(entry):
        fields = dict(line.strip().split("=", 1) for line in open(entry) if "=" in line)
    check(fields.get("Name") == "Kelvora 3D", "the compositor's app id %s names the installed desktop entry" % app_id,
          os.path.relpath(entry, prefix))
    icons = os.path.join(prefix, "share", "icons", "hicolor")
    sizes = sorted(int(d.split("x")[0]) for d in os.listdir(icons)
                   if os.path.exists(os.path.join(icons, d, "apps", "%s.png" % fields.get("Icon"))))
    check(fields.get("Icon") == app_id and len(sizes) >= 4, "its icon %s is installed" % fields.get("Icon"),
          "hicolor sizes %s" % sizes)
    print("note   sway's own record of the window has no icon: %s" % ", ".join(sorted(win)), flush=True)


def es_title(inp):
    """The shader driver on OpenGL ES through EGL, as EGL-only set-ups offer:
    the title as under Xvfb with no driver given up, Escape ends it."""
    game = Game("es", ["--window=1", "--renderer=es"])
    print("--- window, OpenGL ES", flush=True)
    win, _ = show_title(inp, game)
    status = None
    for _ in range(30 if win else 0):
        inp.send("tap Escape")
        status = game.wait(1)
        if status is not None:
            break
    game.stop()
    with open(os.path.join(game.dir, "output.txt")) as f:
        fell_back = [line for line in f if "could not start" in line]
    check(status == 0 and not fell_back, "drawn with es, Escape ends it with status 0",
          "status %s %s" % (status, "".join(fell_back)))


def main():
    os.makedirs(OUT, exist_ok=True)
    inp = Input()
    try:
        seen = None
        for mode in ("full screen", "window"):
            seen = play(mode, inp) or seen
        es_title(inp)
        if seen:
            stage_icon(seen)
    finally:
        inp.close()
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
