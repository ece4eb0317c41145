"""A soak on the real window: seeded random events (clicks, drags of grid, bar
and picture, wheel turns over grid, strip and picture, the toolbar's Prev, Next
and drive buttons, window moves by one row, folders in and out) over the
samples and the fixtures. make test runs it under the sanitizers; any report
ends the program with a status other than 0. After every window move no pair
shows with its views on the wrong rows. ORVALE_SOAK_EVENTS and
ORVALE_SOAK_SEED repeat or lengthen a run."""
import os
import random
import shutil
import time
import unittest

import numpy as np

from Xlib import X
from Xlib.ext import xtest

from harness import REPO, ViewerCase, rgb, wait_until, write_two_stream

EVENTS = int(os.environ.get("ORVALE_SOAK_EVENTS", "10000"))


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def caught_up(pid, timeout=120.0):
    """Waits until the program has worked through its input: idle for 0.3 s."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        before = cpu_seconds(pid)
        time.sleep(0.3)
        if cpu_seconds(pid) - before < 0.03:
            return


def near(px, color):  # within JPEG's and the scaler's reach of one colour
    return np.all(np.abs(px.astype(int) - rgb(color)) < 70, axis=-1)


def swapped(f):
    """Pixels of the soak's magenta-over-cyan pair (no other picture has these
    colours) with its views on the wrong rows."""
    return int((near(f.views[:, 0], 0x00FFFF) & near(f.views[:, 1], 0xFF00FF)).sum())


class SoakTest(ViewerCase, unittest.TestCase):
    def test_random_events(self):
        seed = int(os.environ.get("ORVALE_SOAK_SEED", random.randrange(1 << 31)))
        print(f"soak: seed {seed}, {EVENTS} events (ORVALE_SOAK_SEED={seed} repeats it)", flush=True)
        rnd = random.Random(seed)
        # Folders of one entry above: a walk up rarely leaves the soak's own.
        home = self.folder / "a" / "b" / "home"
        shutil.copytree(REPO / "samples", home / "samples")
        shutil.copytree(os.environ["ORVALE_FIXTURES"], home / "fixtures", symlinks=True)
        write_two_stream(home / "pair.jpg", 240, (0x00FFFF, 0xFF00FF), (40, 40, 79, 79))
        self.folder = home
        # Help and Web must not start a browser: no xdg-open on its PATH.
        v = self.start(env={"HOME": str(home), "PATH": str(self.folder / "a"),
                            "LSAN_OPTIONS": f"suppressions={REPO}/tests/e2e/lsan.supp"})
        _, _, w, h = v.restore()
        top = v.move_window(40, 40)[1]
        v.move_pointer(w // 2, 3)
        drives = (v.wait_frame(lambda f: len(f.labels()), "the toolbar").labels().max() - 240) // 72
        dpy = self.session.dpy

        def point(x, y):  # client to screen, anywhere from just outside to just inside
            xtest.fake_input(dpy, X.MotionNotify, x=40 + x, y=top + y)

        def click(x, y, button=1):
            point(x, y)
            xtest.fake_input(dpy, X.ButtonPress, button), xtest.fake_input(dpy, X.ButtonRelease, button)

        def anywhere():  # never above: a drag that ends on the title bar's buttons under load can iconify
            return rnd.randrange(-20, w + 20), rnd.randrange(0, h + 20)

        def inside(strip=False):
            return (w - 1 - rnd.randrange(16) if strip else rnd.randrange(w)), rnd.randrange(h)

        for n in range(EVENTS):
            kind = rnd.choices(["click", "cell", "drag", "wheel", "toolbar", "move"], [25, 15, 25, 20, 10, 1])[0]
            if kind == "click":
                click(*inside())
            elif kind == "cell":  # a cell of the first rows: folders in and out, pictures opened
                i, columns = rnd.randrange(12), max(1, (w - 26) // 202)
                click(106 + 202 * (i % columns), 2 * (118 * (i // columns + 1) - 48) + h % 2)
            elif kind == "drag":  # grid, bar or picture, ending anywhere
                point(*inside(strip=rnd.random() < 0.3))
                xtest.fake_input(dpy, X.ButtonPress, 1)
                for _ in range(rnd.randrange(1, 6)):
                    point(*anywhere())
                xtest.fake_input(dpy, X.ButtonRelease, 1)
            elif kind == "wheel":
                at, button = inside(strip=rnd.random() < 0.3), rnd.choice([4, 5])
                for _ in range(rnd.randrange(1, 4)):
                    click(*at, button)
            elif kind == "toolbar":  # shown, a button pressed, hidden again
                point(rnd.randrange(w), rnd.randrange(6))
                slot = rnd.choice(["drive", "Prev", "Next"])
                if slot == "drive":  # C: is the file system's root: straight back home (D:)
                    click(42 + 72 * (1 if rnd.random() < 0.5 else 0), 30)
                    click(42 + 72 * 1, 30)
                else:
                    click({"Prev": 42, "Next": 118}[slot] + 72 * drives, 30)
                point(rnd.randrange(w), rnd.randrange(100, h))
            else:
                dpy.sync()
                top = v.move_window(40, 41 if top == 40 else 40)[1]
                v.wait_frame(lambda f: swapped(f) == 0, f"each view on its rows after move {n}")
            dpy.sync()
            v.alive()
            self.assertEqual(v.window.get_attributes().map_state, X.IsViewable, f"window shown after event {n}")
            if n % 100 == 99:  # the sanitized program is slow: never let it fall far behind
                caught_up(v.proc.pid)
        caught_up(v.proc.pid)
        v.key("Escape")
        wait_until(lambda: v.proc.poll() is not None, timeout=300, what="the end")
        self.assertEqual(v.proc.returncode, 0, "exit status (a sanitizer report ends it with 1)")


if __name__ == "__main__":
    unittest.main()
