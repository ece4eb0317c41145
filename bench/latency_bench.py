#!/usr/bin/python3
"""Input-to-screen latency of the real window under Xvfb, decoding ahead
against decoding on the window's thread, in the same run.

For each program (orvale-viewer-serial, then orvale-viewer; --rounds times)
it starts the viewer on build/stereo40 (40 two-stream files of 10
megapixels per stream) in a 1920x1080 Xvfb with openbox, and:
  - while the thumbnails fill, and again once the folder is idle, moves the
    pointer into the top rows (XTest) and times until the toolbar's labels
    are on the screen, polling a small region with XGetImage; then moves it
    below the band and waits until they are gone;
  - times the fill in a start of its own, left alone: from the start until
    no cell shows the placeholder;
  - opens the first picture, waits for its neighbours to be decoded, and
    times from clicking Next until the next picture's centre is on screen.
Prints medians and worst cases, and the ratios of the two programs.

Run: /usr/bin/python3 bench/latency_bench.py [--display 113] [--rounds 2]
"""
import argparse
import os
import pathlib
import random
import statistics
import subprocess
import time

import numpy as np
from Xlib import X, display
from Xlib.ext import xtest

REPO = pathlib.Path(__file__).resolve().parents[1]
LABEL = (255, 127, 255)
PLACEHOLDER = (127, 63, 127)


def patch_colour(k):
    """The square in the middle of s<k>.mpo (tools/kit/make_samples.cpp)."""
    return np.array([40 + 37 * k % 200, 30 + 91 * k % 200, 40 + 53 * k % 200])


def wait_until(predicate, timeout=60.0, interval=0.0005):
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        if time.monotonic() > deadline:
            raise TimeoutError
        time.sleep(interval)
    return value


class Session:
    def __init__(self, number):
        self.name = f":{number}"
        self.xvfb = subprocess.Popen(["Xvfb", self.name, "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
                                     stderr=subprocess.DEVNULL)
        self.env = dict(os.environ, DISPLAY=self.name)
        self.dpy = wait_until(self.connect, 10, 0.05)
        self.root = self.dpy.screen().root
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        check = self.dpy.intern_atom("_NET_SUPPORTING_WM_CHECK")
        wait_until(lambda: self.root.get_full_property(check, X.AnyPropertyType), 10, 0.05)

    def connect(self):
        try:
            return display.Display(self.name)
        except Exception:
            return None

    def stop(self):
        self.dpy.close()
        for p in (self.wm, self.xvfb):
            p.terminate(), p.wait(10)

    def pointer(self, x, y):
        xtest.fake_input(self.dpy, X.MotionNotify, x=x, y=y)
        self.dpy.sync()

    def button(self, press):
        xtest.fake_input(self.dpy, X.ButtonPress if press else X.ButtonRelease, 1)
        self.dpy.sync()

    def grab(self, x, y, w, h):
        image = self.root.get_image(x, y, w, h, X.ZPixmap, 0xFFFFFFFF)
        return np.frombuffer(image.data, np.uint8).reshape(h, w, 4)[:, :, 2::-1]


class Run:
    """One start of a program on the folder."""

    def __init__(self, session, binary, folder):
        self.s = session
        self.started = time.monotonic()
        self.proc = subprocess.Popen([binary], cwd=folder, env=session.env)
        found = lambda: subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid),  # noqa
                                        "--name", "^Orvale_Viewer$"], env=session.env, capture_output=True,
                                       text=True).stdout.split()
        wid = int(wait_until(found, 30, 0.05)[0])
        self.window = session.dpy.create_resource_object("window", wid)
        last = None
        while True:  # maximised and still
            g = self.window.get_geometry()
            o = self.window.translate_coords(session.root, 0, 0)
            now = (-o.x, -o.y, g.width, g.height)
            if now == last and g.width > 1500:
                break
            last = now
            time.sleep(0.2)
        self.x, self.y, self.w, self.h = now
        self.columns = max(1, (self.w - 26) // 202)

    def stop(self):
        self.proc.kill(), self.proc.wait(10)

    def labels_shown(self):
        return np.any(np.all(self.s.grab(self.x, self.y + 60, 600, 30) == LABEL, axis=-1))

    def cells_waiting(self):
        """How many of the 40 picture cells still show the placeholder."""
        pairs = (self.h - 1) // 2
        waiting = 0
        for row in range(-(-41 // self.columns)):
            top = pairs - 17 - 118 * (row + 1) + 17 + 95  # the thumbnail's top line pair
            y = self.h - 2 * (top - 2) - 1
            line = self.s.grab(self.x, self.y + y, self.w, 1)[0]
            for i in range(row * self.columns, min(41, (row + 1) * self.columns)):
                if i:  # cell 0 is ".."
                    waiting += np.all(line[10 + 202 * (i % self.columns) + 96] == PLACEHOLDER)
        return waiting

    def toolbar_latency(self):
        """Pointer into the top rows until the labels show; then hidden again."""
        mid = self.x + self.w // 2
        t0 = time.monotonic()
        self.s.pointer(mid, self.y + 5)
        wait_until(self.labels_shown)
        latency = time.monotonic() - t0
        self.s.pointer(mid, self.y + 400)
        wait_until(lambda: not self.labels_shown())
        return latency

    def centre(self):
        return self.s.grab(self.x + self.w // 2 - 8, self.y + self.h // 2 - 4, 16, 8).reshape(-1, 3).mean(axis=0)

    def shows(self, k):
        return np.all(np.abs(self.centre() - patch_colour(k)) < 8)


def fill_time(session, binary, folder):
    """A start left alone but for a look at the cells every 50 ms."""
    r = Run(session, binary, folder)
    try:
        while r.cells_waiting():
            time.sleep(0.05)
        return time.monotonic() - r.started
    finally:
        r.stop()


def measure(session, binary, folder, samples):
    fill = fill_time(session, binary, folder)
    r = Run(session, binary, folder)
    try:
        filling, idle = [], []
        while r.cells_waiting():
            filling.append(r.toolbar_latency())
            time.sleep(random.uniform(0.0, 0.03))
        for _ in range(samples):
            idle.append(r.toolbar_latency())
            time.sleep(random.uniform(0.0, 0.03))
        # Open s00 from its cell, then Next from the toolbar onto ready pictures.
        cx = r.x + 10 + 202 * 1 + 96
        cy = r.y + r.h - 2 * ((r.h - 1) // 2 - 17 - 118 + 17 + 48) - 1
        r.s.pointer(cx, cy), r.s.button(True), r.s.button(False)
        wait_until(lambda: r.shows(0), 30)
        r.s.pointer(r.x + 600, r.y + 5)
        wait_until(r.labels_shown)
        labels = np.nonzero(np.all(r.s.grab(r.x, r.y + 60, r.w, 30) == LABEL, axis=-1))[1]
        prev_x = 10 + 72 * ((labels.max() - 240) // 72)
        next_x = r.x + prev_x + 76 + 32
        nexts = []
        for k in range(1, 7):
            time.sleep(3.0)  # the neighbours are decoded by now
            r.s.pointer(next_x, r.y + 40)
            t0 = time.monotonic()  # the click acts in the pass its release runs
            r.s.button(True), r.s.button(False)
            try:
                wait_until(lambda: r.shows(k), 30)
            except TimeoutError:
                raise TimeoutError(f"s{k:02d} not shown: centre {r.centre()}, want {patch_colour(k)}") from None
            nexts.append(time.monotonic() - t0)
        return filling, idle, fill, nexts
    finally:
        r.stop()


def ms(v):
    return f"{1000 * v:7.1f}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--display", type=int, default=113)
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--idle-samples", type=int, default=30)
    parser.add_argument("--build", default=str(REPO / "build"))
    args = parser.parse_args()
    build = pathlib.Path(args.build)
    folder = build / "stereo40"
    if not (folder / "s39.mpo").exists():
        subprocess.run([str(build / "orvale-make-samples"), "stereo40", str(folder)], check=True)
    programs = {"serial": str(build / "bench" / "orvale-viewer-serial"), "ahead": str(build / "orvale-viewer")}
    results = {name: ([], [], [], []) for name in programs}
    session = Session(args.display)
    try:
        for _ in range(args.rounds):
            for name, binary in programs.items():
                filling, idle, fill, nexts = measure(session, binary, folder, args.idle_samples)
                for into, got in zip(results[name], (filling, idle, [fill], nexts)):
                    into.extend(got)
    finally:
        session.stop()
    print(f"{'program':8} {'filling median':>14} {'p95':>7} {'worst':>7} {'n':>4} {'idle median':>11} {'worst':>7} "
          f"{'fill s':>7} {'Next median':>11} {'worst':>7}")
    for name, (filling, idle, fills, nexts) in results.items():
        p95 = sorted(filling)[int(0.95 * (len(filling) - 1))]
        print(f"{name:8} {ms(statistics.median(filling)):>14} {ms(p95)} {ms(max(filling))} {len(filling):4} "
              f"{ms(statistics.median(idle)):>11} {ms(max(idle))} {statistics.median(fills):7.2f} "
              f"{ms(statistics.median(nexts)):>11} {ms(max(nexts))}")
    s, a = results["serial"], results["ahead"]
    print(f"fill time ratio serial/ahead: {statistics.median(s[2]) / statistics.median(a[2]):.2f}; "
          f"filling latency median ratio: {statistics.median(s[0]) / statistics.median(a[0]):.2f}")


if __name__ == "__main__":
    main()
