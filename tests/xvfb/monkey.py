#!/usr/bin/env python3
"""A bored student at the keyboard: drives the running program with a seeded random stream of
keys, clicks, menu commands and settings-dialog inputs through xdotool, then checks that the
program is alive, its memory has not grown, and every window it shows is one of its own.

Run by monkey_test.sh, which starts X, openbox and the program and sends the final Esc.
Usage: monkey.py PID SECONDS SEED. Prints the main window's id as its last line.
Never sends Esc and never clicks the menu's exit button: ending the program is not its job.
"""
import os
import random
import re
import subprocess
import sys
import time

MAIN = re.compile(r"^ヴァリム（(枠あり|境界あり|境界なし)）$")
OWN_CAPTIONS = {"ヴァリム（枠あり）", "ヴァリム（境界あり）", "ヴァリム（境界なし）", "メニュー",
                "粒子の設定", "エラー"}

# Keys for the main window (they act on release): the program's own and some that do nothing.
MAIN_KEYS = ["space", "b", "d", "B", "D", "shift+space", "shift+b", "shift+d", "ctrl+d", "Return",
             "Tab", "a", "q", "x", "z", "1", "0", "F1", "Delete", "Left", "shift+Tab"]
# Texts for the count and size fields.
FIELD_TEXTS = ["1", "3", "5", "7", "10", "11", "0", "-3", "200", "480", "500", "501", "199",
               "abc", "x1", "12abc", "1e3", "1e999", "-1e999", "99999999999999999999999999",
               "0.5", ".5", "5.", "1,000", "0x10", "nan", "inf", "-0", "+7", "７", "１０",
               "３００", "　５　", "ａｂｃ", "－４", "０．５ｅ＋３", "𝟕", "é", " ", "--1", "1e",
               "4" * 40]
# Dialog client positions in pixels at 96 dpi.
COUNT_FIELD, SIZE_FIELD = (113, 15), (113, 40)
OK_BUTTON, CANCEL_BUTTON = (253, 350), (347, 350)
PREVIEW = (98, 120, 204, 204)
DIALOG = (407, 380)
# Menu buttons from the top, 20 px apart: bounded, unbounded, pause, settings (exit is below).
MENU_ROW = 20


def run(*args, check=False):
    r = subprocess.run(["xdotool", *args], capture_output=True, text=True)
    if check and r.returncode != 0:
        raise RuntimeError("xdotool " + " ".join(args) + ": " + r.stderr.strip())
    return r.stdout.strip()


def activate(win):
    """Makes `win` the active window unless it already is."""
    if run("getactivewindow") != win:
        run("windowactivate", "--sync", win)


def shown(caption):
    """Ids of the visible windows titled exactly `caption`."""
    out = run("search", "--onlyvisible", "--name", "^" + re.escape(caption) + "$")
    return out.split() if out else []


def minimised(caption):
    """Ids of the windows titled exactly `caption` that the window manager holds minimised."""
    out = run("search", "--name", "^" + re.escape(caption) + "$", check=False)
    ids = []
    for w in out.split():
        r = subprocess.run(["xprop", "-id", w, "WM_STATE"], capture_output=True, text=True)
        if "Iconic" in r.stdout:
            ids.append(w)
    return ids


def main_window():
    out = run("search", "--onlyvisible", "--name", "^ヴァリム（")
    ids = [w for w in out.split() if MAIN.match(run("getwindowname", w))]
    return ids[0] if ids else None


def geometry(win):
    """Client area "x y width height" in root coordinates, or None when the window is gone."""
    r = subprocess.run(["xwininfo", "-id", win], capture_output=True, text=True)
    if r.returncode != 0:
        return None
    v = {}
    for key, pattern in (("x", "Absolute upper-left X"), ("y", "Absolute upper-left Y"),
                         ("w", "Width"), ("h", "Height")):
        m = re.search(pattern + r":\s+(-?\d+)", r.stdout)
        if not m:
            return None
        v[key] = int(m.group(1))
    return v["x"], v["y"], v["w"], v["h"]


def visible_client_captions():
    """Captions of the top-level windows the window manager manages and that are mapped."""
    r = subprocess.run(["xprop", "-root", "_NET_CLIENT_LIST"], capture_output=True, text=True)
    ids = re.findall(r"0x[0-9a-f]+", r.stdout)
    captions = []
    for w in ids:
        info = subprocess.run(["xwininfo", "-id", w], capture_output=True, text=True).stdout
        if "IsViewable" in info:
            captions.append(run("getwindowname", str(int(w, 16))))
    return captions


def rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def alive(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            return "State:\tZ" not in f.read()
    except FileNotFoundError:
        return False


def under_sanitizer(pid):
    with open(f"/proc/{pid}/maps") as f:
        return "libasan" in f.read()


class Monkey:
    def __init__(self, pid, rng):
        self.pid = pid
        self.rng = rng
        self.counts = {}

    def note(self, what):
        self.counts[what] = self.counts.get(what, 0) + 1

    def click(self, x, y, button=1):
        run("mousemove", str(x), str(y), "click", str(button))

    def answer_box(self, box):
        # The box is modal and active; Return presses its only button.
        activate(box)
        run("key", "Return")
        self.note("error box answered")

    def on_main(self, win):
        g = geometry(win)
        if not g:
            return
        x, y, w, h = g
        choice = self.rng.random()
        if choice < 0.45:
            activate(win)
            run("key", self.rng.choice(MAIN_KEYS))
            self.note("key")
        elif choice < 0.75:
            self.click(x + self.rng.randrange(5, w - 5), y + self.rng.randrange(5, h - 5), 3)
            self.note("right click")
        else:
            # A left click on the main window where the menu does not cover it.
            px, py = x + self.rng.randrange(5, w - 5), y + self.rng.randrange(5, h - 5)
            for menu in shown("メニュー"):
                mg = geometry(menu)
                if mg and mg[0] - 40 <= px <= mg[0] + mg[2] + 10 and mg[1] - 40 <= py <= mg[1] + mg[3] + 10:
                    return
            self.click(px, py)
            self.note("left click")

    def on_menu(self, menu):
        g = geometry(menu)
        if not g or g[3] < 100:
            return
        x, y, w, _ = g
        row = self.rng.choices([0, 1, 2, 3], weights=[2, 2, 3, 3])[0]
        self.click(x + self.rng.randrange(10, w - 10),
                   y + row * MENU_ROW + self.rng.randrange(5, MENU_ROW - 5))
        self.note(["menu bounded", "menu unbounded", "menu pause", "menu settings"][row])

    def on_dialog(self, dlg):
        g = geometry(dlg)
        if not g or (g[2], g[3]) != DIALOG:
            return
        x, y, _, _ = g
        activate(dlg)
        choice = self.rng.random()
        if choice < 0.45:
            field = self.rng.choice([COUNT_FIELD, SIZE_FIELD])
            self.click(x + field[0], y + field[1])
            run("key", "ctrl+a", "BackSpace")
            text = self.rng.choice(FIELD_TEXTS + [""])
            if text:
                run("type", "--delay", "5", text)
            if self.rng.random() < 0.5:
                run("key", self.rng.choice(["Tab", "shift+Tab", "Return"]))
            self.note("field text")
        elif choice < 0.55:
            self.click(x + self.rng.randrange(20, 380), y + 88)  # the speed options
            self.note("speed")
        elif choice < 0.70:
            px, py, pw, ph = PREVIEW
            self.click(x + px + self.rng.randrange(pw), y + py + self.rng.randrange(ph))
            self.note("preview click")
        elif choice < 0.78:
            # Outside the preview: the labels, the blank margin, just beside the preview.
            px, py = self.rng.choice([(60, 200), (320, 200), (200, 335), (30, 60), (380, 15),
                                      (97, 119), (303, 325)])
            self.click(x + px, y + py)
            self.note("click beside")
        elif choice < 0.88:
            self.click(x + OK_BUTTON[0], y + OK_BUTTON[1])
            self.note("O.K.")
        elif choice < 0.95:
            self.click(x + CANCEL_BUTTON[0], y + CANCEL_BUTTON[1])
            self.note("Cancel")
        elif run("getactivewindow") == dlg:
            run("key", "alt+F4")  # openbox closes the active window as its close box does
            self.note("close box")

    def wait_shown(self, caption, seconds=3.0):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            ids = shown(caption)
            if ids:
                return ids[0]
            time.sleep(0.05)
        return None

    def menu_command(self, row):
        """Opens the menu with a right click on the main window and clicks row `row`."""
        win = main_window()
        g = geometry(win) if win else None
        if not g:
            return
        self.click(g[0] + 20, g[1] + 20, 3)
        menu = self.wait_shown("メニュー")
        mg = geometry(menu) if menu else None
        if mg:
            self.click(mg[0] + mg[2] // 2, mg[1] + row * MENU_ROW + MENU_ROW // 2)
        time.sleep(0.3)

    def tour(self):
        """Shows every window and view once, so that memory measured afterwards holds the
        caches each of them fills on first use."""
        win = main_window()
        if win:
            activate(win)
            for key in ("d", "d", "b", "b"):
                run("key", key)
                time.sleep(0.3)
        self.menu_command(1)  # unbounded
        self.menu_command(0)  # bounded
        self.menu_command(3)  # settings
        dlg = self.wait_shown("粒子の設定")
        g = geometry(dlg) if dlg else None
        if g:
            self.click(g[0] + COUNT_FIELD[0], g[1] + COUNT_FIELD[1])
            run("key", "ctrl+a", "BackSpace")
            run("type", "abc")
            run("key", "Tab")
            box = self.wait_shown("エラー")
            if box:
                self.answer_box(box)
        self.settle()

    def step(self):
        boxes = shown("エラー")
        if boxes:
            self.answer_box(boxes[0])
        else:
            dialogs = shown("粒子の設定")
            menus = shown("メニュー")
            if dialogs:
                self.on_dialog(dialogs[0])
            elif menus and self.rng.random() < 0.6:
                self.on_menu(menus[0])
            else:
                win = main_window()
                if win:
                    self.on_main(win)
        time.sleep(self.rng.choice([0, 0.02, 0.05, 0.1, 0.3]))

    def settle(self):
        """Closes any box and the dialog, so the main window can take the final Esc (or the
        run can go on from the main window)."""
        for _ in range(50):
            # A click on a title bar's minimise button can take the dialog, and the error box
            # above it, off the screen while the box still holds every window: bring them back.
            for w in minimised("エラー") + minimised("粒子の設定"):
                run("windowactivate", w, check=False)
            boxes, dialogs = shown("エラー"), shown("粒子の設定")
            if not boxes and not dialogs:
                return True
            if boxes:
                self.answer_box(boxes[0])
            elif dialogs:
                # Cancel checks an invalid field first, as leaving the field does; the close box
                # closes the dialog whatever the fields hold.
                activate(dialogs[0])
                run("key", "alt+F4")
            time.sleep(0.3)
        return False


def main():
    pid, seconds, seed = int(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3])
    rng = random.Random(seed)
    monkey = Monkey(pid, rng)
    failures = []
    reference_at = min(60.0, seconds / 3)
    reference = None
    reference_view = None
    monkey.tour()
    start = time.monotonic()
    steps = 0
    while time.monotonic() - start < seconds:
        if not alive(pid):
            failures.append(f"the program ended after {time.monotonic() - start:.1f} s")
            break
        monkey.step()
        steps += 1
        if reference is None and time.monotonic() - start >= reference_at:
            time.sleep(0.5)
            reference = rss_kb(pid)
            win = main_window()
            reference_view = geometry(win)[2:] if win else None
    if not failures:
        if not monkey.settle():
            failures.append("the error box or the dialog did not close")
        # Compare memory in the same view: the double view holds a wider window.
        win = main_window()
        if win and reference_view and geometry(win)[2:] != reference_view:
            activate(win)
            run("key", "d")
        time.sleep(1.0)
        if not alive(pid):
            failures.append("the program ended while settling")
    if not failures:
        final = rss_kb(pid)
        if under_sanitizer(pid):
            print(f"RSS {reference} kB at {reference_at:.0f} s, {final} kB at the end "
                  "(not checked: the sanitizer's quarantine keeps freed memory)")
        elif final > reference * 1.10:
            failures.append(f"RSS grew from {reference} kB at {reference_at:.0f} s "
                            f"to {final} kB at the end")
        else:
            print(f"RSS {reference} kB at {reference_at:.0f} s, {final} kB at the end")
        foreign = [c for c in visible_client_captions() if c not in OWN_CAPTIONS]
        if foreign:
            failures.append("windows not the program's own: " + ", ".join(map(repr, foreign)))
        win = main_window()
        if not win:
            failures.append("no main window at the end")
    print(f"{steps} actions: " + ", ".join(f"{k} {v}" for k, v in sorted(monkey.counts.items())))
    if failures:
        for f in failures:
            print("FAIL: " + f, file=sys.stderr)
        print(f"monkey seed {seed} (replay with --seed {seed})", file=sys.stderr)
        sys.exit(1)
    print(win)


if __name__ == "__main__":
    main()
