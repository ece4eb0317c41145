#!/usr/bin/python3
"""Input-to-screen latency of the real window under Xvfb, decoding on worker
threads against decoding on the window's thread, in the same run.

For each program (orvale-viewer-serial, orvale-viewer, and any given with
--program NAME=PATH; --rounds times) it starts the viewer on build/stereo40
(40 two-stream files of 10 megapixels per stream) in a 1920x1080 Xvfb with
openbox, with --load one busy loop per CPU at normal priority beside it, and:
  - while the thumbnails fill, and again once the folder is idle, moves the
    pointer into the top rows (XTest) and times until the toolbar's labels
    are on the screen, polling a small region with XGetImage; then moves it
    below the band and waits until they are gone;
  - times the fill in a start of its own, left alone: from the start until
    no cell shows the placeholder;
  - opens the first picture, waits for its neighbours to be decoded, and
    times from clicking Next until the next picture's centre is on screen;
    the program's peak resident memory (VmHWM) after the fill and the steps;
  - in build/stereo40-enter (the same files, and "0", a link to the folder
    itself, in the first cell after ".."), while the thumbnails fill, times
    from clicking "0" until the folder shows listed anew (its first picture's
    cell back to the placeholder): entering a folder while decodes are in
    flight.
Prints medians and worst cases, and the ratios to the serial program.

Run: /usr/bin/python3 bench/latency_bench.py [--display 113] [--rounds 2]
       [--load] [--program before=/path/to/orvale-viewer]
"""
import argparse
import multiprocessing
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


def peak_rss(pid):
    """The process's peak resident memory in MB."""
    for line in pathlib.Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmHWM:"):
            return int(line.split()[1]) / 1024
    return 0.0


def enter_folder(session, binary, folder, samples):
    """Clicks the "0" cell (the folder itself) while the thumbnails fill;
    times until the first picture's cell shows the placeholder again."""
    r = Run(session, binary, folder)
    times = []
    try:
        pairs = (r.h - 1) // 2
        cell_y = r.y + r.h - 2 * (pairs - 17 - 118 + 17 + 48) - 1
        zero_x = r.x + 10 + 202 * 1 + 96
        first = lambda: r.s.grab(r.x + 10 + 202 * 2 + 96, r.y + r.h - 2 * (pairs - 17 - 118 + 17 + 95 - 2) - 1,  # noqa
                                 1, 1)[0, 0]
        for _ in range(samples):
            wait_until(lambda: not np.all(first() == PLACEHOLDER), 60)  # s00 made, the next ones decoding
            time.sleep(random.uniform(0.0, 0.05))
            r.s.pointer(zero_x, cell_y)
            t0 = time.monotonic()
            r.s.button(True), r.s.button(False)
            wait_until(lambda: np.all(first() == PLACEHOLDER), 30)
            times.append(time.monotonic() - t0)
        return times
    finally:
        r.stop()


def fill_time(session, binary, folder):
    """A start left alone but for a look at the cells every 50 ms."""
    r = Run(session, binary, folder)
    try:
        try:
            wait_until(r.cells_waiting, 10)
        except TimeoutError:
            pass
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
        try:
            wait_until(r.cells_waiting, 10)  # the grid drawn, its placeholders showing
        except TimeoutError:
            pass
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
        return filling, idle, fill, nexts, peak_rss(r.proc.pid)
    finally:
        r.stop()


def ms(v):
    return f"{1000 * v:7.1f}"


def median(v):
    return statistics.median(v) if v else float("nan")


def busy_loops():
    """One loop per CPU at normal priority, as a build or an encode would."""
    return [subprocess.Popen(["/usr/bin/python3", "-c", "while True: pass"]) for _ in
            range(multiprocessing.cpu_count())]


def enter_tree(build, folder):
    """build/stereo40-enter: the 40 files linked, and "0", a link to itself."""
    tree = build / "stereo40-enter"
    tree.mkdir(exist_ok=True)
    for f in folder.glob("s*.mpo"):
        if not (tree / f.name).exists():
            (tree / f.name).symlink_to(f)
    if not (tree / "0").exists():
        (tree / "0").symlink_to(".")
    return tree


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--display", type=int, default=113)
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--idle-samples", type=int, default=30)
    parser.add_argument("--enter-samples", type=int, default=8)
    parser.add_argument("--build", default=str(REPO / "build"))
    parser.add_argument("--load", action="store_true", help="one busy loop per CPU beside the viewer")
    parser.add_argument("--program", action="append", default=[], help="NAME=PATH of another build's viewer")
    args = parser.parse_args()
    build = pathlib.Path(args.build)
    folder = build / "stereo40"
    if not (folder / "s39.mpo").exists():
        subprocess.run([str(build / "orvale-make-samples"), "stereo40", str(folder)], check=True)
    tree = enter_tree(build, folder)
    programs = {"serial": str(build / "bench" / "orvale-viewer-serial")}
    programs.update(dict(p.split("=", 1) for p in args.program))
    programs["workers"] = str(build / "orvale-viewer")
    results = {name: ([], [], [], [], [], []) for name in programs}
    session = Session(args.display)
    load = busy_loops() if args.load else []
    try:
        for _ in range(args.rounds):
            for name, binary in programs.items():
                filling, idle, fill, nexts, rss = measure(session, binary, folder, args.idle_samples)
                enters = enter_folder(session, binary, tree, args.enter_samples)
                for into, got in zip(results[name], (filling, idle, [fill], nexts, enters, [rss])):
                    into.extend(got)
    finally:
        for p in load:
            p.kill(), p.wait()
        session.stop()
    print(f"{'load' if args.load else 'no load'}; medians and worst (ms), fill (s), peak RSS (MB)")
    print(f"{'program':8} {'toolbar filling':>15} {'worst':>7} {'n':>4} {'idle':>7} {'Next':>7} {'worst':>7} "
          f"{'enter':>7} {'worst':>7} {'fill s':>7} {'RSS MB':>7}")
    for name, (filling, idle, fills, nexts, enters, rss) in results.items():
        print(f"{name:8} {ms(median(filling)):>15} {ms(max(filling, default=float('nan')))} {len(filling):4} "
              f"{ms(median(idle))} {ms(median(nexts))} {ms(max(nexts))} "
              f"{ms(median(enters))} {ms(max(enters))} {median(fills):7.2f} {max(rss):7.0f}")
    s = results["serial"]
    for name, r in results.items():
        if name != "serial":
            print(f"{name}: fill time ratio serial/{name} {median(s[2]) / median(r[2]):.2f}; "
                  f"toolbar-while-filling median ratio {median(s[0]) / median(r[0]):.2f}")


if __name__ == "__main__":
    main()
