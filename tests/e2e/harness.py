"""End-to-end harness: XSession runs Xvfb with openbox, Viewer starts a program (the viewer by default; an .exe
under Wine, in the prefix ORVALE_WINEPREFIX) in a folder and drives its window with xdotool, Frame reads the window
back as line pairs. Waits poll screenshots, never sleep."""
import io
import os
import pathlib
import subprocess
import tempfile
import time

import numpy as np
from PIL import Image, ImageDraw
from Xlib import X, display, error, protocol

REPO = pathlib.Path(__file__).resolve().parents[2]
BINARY = os.environ.get("ORVALE_BINARY", str(REPO / "build" / "orvale-viewer"))
MAKE_SAMPLES = os.environ.get("ORVALE_MAKE_SAMPLES", str(REPO / "build" / "orvale-make-samples"))
WINE = ["/usr/lib/wine/wine64"]
ON_WINE = BINARY.endswith(".exe")
WINE_ENV = {"WINEPREFIX": os.environ.get("ORVALE_WINEPREFIX", ""), "WINEARCH": "win64", "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d"}
MAXIMISED = {"_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ"}
LABEL_COLOR = 0xFF7FFF  # toolbar labels
PLACEHOLDER = 0x7F3F7F  # a picture's cell before its thumbnail is made
BAND_PAIRS = 42         # line pairs of the toolbar band


def wait_until(predicate, timeout=40.0, interval=0.1, what="condition"):
    """Polls predicate until it returns something true, and returns that."""
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out waiting for {what}")
        time.sleep(interval)
    return value


class XSession:
    """Xvfb plus openbox on a display number of their own."""

    def __init__(self, width=1280, height=1024):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{width}x{height}x24",
                                      "-nolisten", "tcp"], pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            self.env = dict(os.environ, DISPLAY=":" + f.readline().strip())
        self.dpy = display.Display(self.env["DISPLAY"])
        self.root = self.dpy.screen().root
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        check = self.atom("_NET_SUPPORTING_WM_CHECK")
        wait_until(lambda: self.root.get_full_property(check, X.AnyPropertyType), what="openbox")

    def stop(self):
        self.dpy.close()
        self.wm.terminate(), self.wm.wait(10), self.xvfb.terminate(), self.xvfb.wait(10)

    def atom(self, name):
        return self.dpy.intern_atom(name)

    def xdotool(self, *args, check=True):
        return subprocess.run(["xdotool", *map(str, args)], env=self.env, check=check,
                              capture_output=True, text=True).stdout

    def take_focus(self):
        """Gives the keyboard focus to a window of its own for a moment, as a dialog or a switch of task does."""
        other = self.root.create_window(0, 0, 8, 8, 0, X.CopyFromParent, X.InputOutput, X.CopyFromParent)
        other.map()
        wait_until(lambda: other.get_attributes().map_state == X.IsViewable, what="a window of our own")
        other.set_input_focus(X.RevertToParent, X.CurrentTime)
        wait_until(lambda: self.dpy.get_input_focus().focus == other, what="the focus taken")
        other.destroy()
        self.dpy.sync()

    def move_pointer(self, x, y):
        # --sync would wait forever when the pointer is there already.
        here = self.root.query_pointer()
        if (here.root_x, here.root_y) != (x, y):
            self.xdotool("mousemove", "--sync", x, y)


class Viewer:
    """One run of a program inside an XSession, with its shown window."""

    def __init__(self, session, folder, args=(), binary=BINARY, env=None, stderr=None):
        self.session, self.dpy = session, session.dpy
        wine = str(binary).endswith(".exe")
        if wine:  # Wine sizes its desktop by the first display it served: start afresh on this one
            prefix = (env or {}).get("WINEPREFIX", WINE_ENV["WINEPREFIX"])
            subprocess.run([REPO / "tools" / "build" / "wine.sh", prefix, "stop"], check=True)
        self.proc = subprocess.Popen([*(WINE if wine else []), binary, *map(str, args)], cwd=folder,
                                     env={**session.env, **(WINE_ENV if wine else {}), **(env or {})}, stderr=stderr)
        found = lambda: session.xdotool("search", "--all", "--onlyvisible", "--pid", self.proc.pid,  # noqa: E731
                                        "--name", "^Orvale_Viewer$", check=False).split()
        self.window = self.dpy.create_resource_object("window", int(wait_until(
            lambda: self.alive() and found(), what="the window")[0]))

    def alive(self):
        if self.proc.poll() is not None:
            raise RuntimeError(f"exited with {self.proc.returncode}")
        return True

    def geometry(self):
        """Returns (screen x, screen y, width, height) of the client area."""
        g, o = self.window.get_geometry(), self.window.translate_coords(self.session.root, 0, 0)
        return -o.x, -o.y, g.width, g.height

    def maximised(self):
        prop = self.window.get_full_property(self.session.atom("_NET_WM_STATE"), X.AnyPropertyType)
        return MAXIMISED <= {self.dpy.get_atom_name(a) for a in (prop.value if prop else [])}

    def wait_same(self, get, what):
        """Waits until get() returns the same twice in a row; returns that."""
        last = [None]

        def same():
            prev, last[0] = last[0], get()
            return prev == last[0] and last[0]
        return wait_until(same, interval=0.3, what=what)

    def restore(self):
        """Undoes the maximising; the client gets SDL's 800 x 600 (Windows opens larger, off the screen once moved)."""
        self.session.root.send_event(protocol.event.ClientMessage(
            window=self.window, client_type=self.session.atom("_NET_WM_STATE"),
            data=(32, [0, *(self.session.atom(a) for a in MAXIMISED), 1, 0])),
            event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
        wait_until(lambda: not self.maximised(), what="the restored window")
        self.session.xdotool("windowsize", self.window.id, 800, 600)
        wait_until(lambda: self.geometry()[2:] == (800, 600), what="the window at 800 x 600")
        return self.wait_same(self.geometry, "a still window")

    def move_window(self, x, y):
        """Moves the client area to screen (x, y): a move places the frame (Wine's, with static gravity, the client)."""
        extents = self.window.get_full_property(self.session.atom("_NET_FRAME_EXTENTS"), X.AnyPropertyType).value
        if self.window.get_wm_normal_hints().win_gravity == X.StaticGravity:
            extents = (0, 0, 0, 0)
        self.session.xdotool("windowmove", self.window.id, x - extents[0], y - extents[2])
        wait_until(lambda: self.geometry()[:2] == (x, y), what="the moved window")
        return self.wait_same(self.geometry, "a still window")

    def close(self):
        """Asks the window to close, as its frame's close button does."""
        self.window.send_event(protocol.event.ClientMessage(
            window=self.window, client_type=self.session.atom("WM_PROTOCOLS"),
            data=(32, [self.session.atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0])))
        self.dpy.flush()

    def key(self, *names):
        self.session.xdotool("windowfocus", "--sync", self.window.id)
        self.session.xdotool("key", *names)

    def frame(self):
        x, y, w, h = self.geometry()
        image = self.session.root.get_image(x, y, w, h, X.ZPixmap, 0xFFFFFFFF)
        return Frame(np.frombuffer(image.data, np.uint8).reshape(h, w, 4)[:, :, 2::-1], (x, y, w, h))

    def wait_frame(self, predicate, what, timeout=40.0):
        def probe():
            try:  # the window may be moving off the screen
                f = self.alive() and self.frame()
            except error.XError:
                return None
            return predicate(f) and f
        try:
            return wait_until(probe, timeout, what=what)
        except TimeoutError:
            if folder := os.environ.get("ORVALE_E2E_SHOTS"):
                name = "".join(c if c.isalnum() else "_" for c in what)
                Image.fromarray(np.ascontiguousarray(self.frame().client)).save(f"{folder}/{name}.png")
            raise

    # Pointer input in client coordinates.
    def move_pointer(self, x, y):
        cx, cy, _, _ = self.geometry()
        self.session.move_pointer(cx + x, cy + y)

    def click(self, x, y, button=1):
        self.move_pointer(x, y)
        self.session.xdotool("click", button)

    def drag(self, x0, y0, x1, y1, steps=8):
        """Drags with the left button through a few points, as a hand would."""
        self.move_pointer(x0, y0)
        self.session.xdotool("mousedown", 1)
        for i in range(1, steps + 1):
            self.move_pointer(x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
        self.session.xdotool("mouseup", 1)

    def wheel(self, x, y, notches):
        """Positive notches turn the wheel away from the user (X button 4)."""
        for _ in range(abs(notches)):
            self.click(x, y, 4 if notches > 0 else 5)


class Frame:
    """views[p, v]: view v of line pair p (0 lowest), 0 on the even screen row, 1 above."""

    def __init__(self, client, geometry):
        self.client, self.geometry = client, geometry
        _, top, self.stride, h = geometry
        rows = np.arange(h - 1 - (top + h - 1) % 2, 0, -2)
        self.pairs = len(rows)
        self.views = np.stack([client[rows], client[rows - 1]], axis=1)

    def __eq__(self, other):
        return isinstance(other, Frame) and self.geometry == other.geometry and np.array_equal(self.views, other.views)

    def click_row(self, pair):
        return self.geometry[3] - 2 * pair - 1

    def region(self, x0, x1, p0, p1, view=None):  # inclusive, clipped
        block = self.views[max(p0, 0):p1 + 1, :, max(x0, 0):x1 + 1]
        return block if view is None else block[:, view]

    def pattern(self):  # view 0 red over view 1 blue
        return is_color(self.views[:, 0], "r") & is_color(self.views[:, 1], "b")

    def labels(self):  # the toolbar label columns: nothing else has their colour
        rows = self.region(0, self.stride, self.pairs - 40, self.pairs - 33, 0)
        return np.nonzero(np.all(rows == rgb(LABEL_COLOR), axis=-1))[1]


def bbox(mask):
    """Returns (x0, x1, p0, p1) of a (pair, column) mask, or None."""
    ps, xs = np.nonzero(mask)
    return (int(xs.min()), int(xs.max()), int(ps.min()), int(ps.max())) if len(ps) else None


def rgb(color):
    return np.array([(color >> s) & 255 for s in (16, 8, 0)], np.uint8)


def is_color(px, channel):  # clearly pure "r", "g" or "b"
    one = np.arange(3) == "rgb".index(channel)
    return np.all((px > 160) == one, axis=-1) & np.all((px < 90) | one, axis=-1)


class Grid:
    """Where the grid draws its cells in a frame, at scroll 0."""

    def __init__(self, f):
        self.f, self.columns = f, max(1, (f.stride - 26) // 202)

    def box(self, i):  # (x0, x1, p0, p1) of entry i's thumbnail
        x, p = 10 + 202 * (i % self.columns), self.f.pairs - 118 * (i // self.columns + 1)
        return x, x + 191, p, p + 95

    def thumb(self, i, view=None):
        x0, x1, p0, p1 = self.box(i)
        return self.f.region(x0, x1, p0, p1, view)

    def centre(self, i):
        x0, _, p0, _ = self.box(i)
        return x0 + 96, self.f.click_row(p0 + 48)


def fit_zoom(width, height, stride, pairs):
    """Returns the zoom step a newly opened picture is fitted with."""
    def size(step):
        return (int(np.float32(v) * np.float32(2.0 ** (step / 12.0))) for v in (width, height))
    step, (w, h) = 0, (width, height)
    while w < stride and h < pairs and step < 240:
        step += 1
        w, h = size(step)
    while (w > stride or h > pairs) and step > -240:
        step -= 1
        w, h = size(step)
    return step


def image_rect(width, height, f, step):
    """Returns (x0, x1, p0, p1) where a picture at zoom `step` is drawn, unpanned."""
    s = np.float32(2.0 ** (step / 12.0))
    cx, cy = f.stride // 2, f.pairs // 2
    hw, hh = float(np.float32(width) * s) * 0.5, float(np.float32(height) * s) * 0.5
    clip = lambda v, hi: min(max(int(v), 0), hi - 1)  # noqa: E731
    return clip(cx - hw + 1.0, f.stride), clip(hw + cx, f.stride), clip(cy - hh + 1.0, f.pairs), clip(hh + cy, f.pairs)


def fitted(f, width, height):
    """Whether the pair's pattern (view 0 on even screen rows) covers where a new picture is fitted, give or take 1."""
    rect = image_rect(width, height, f, fit_zoom(width, height, f.stride, f.pairs))
    return (b := bbox(f.pattern())) is not None and max(abs(p - q) for p, q in zip(b, rect)) <= 1


def write_two_stream(path, size, colors, square):
    """Writes two JPEG streams of one colour and a green square: view 1, then view 0."""
    out = io.BytesIO()
    for color in colors:
        image = Image.new("RGB", (size, size), tuple(int(c) for c in rgb(color)))
        ImageDraw.Draw(image).rectangle(square, fill=(0, 255, 0))
        image.save(out, "JPEG", quality=95, subsampling=0)
    pathlib.Path(path).write_bytes(out.getvalue())


class ViewerCase:
    """A unittest mix-in: an X session, a folder and the pointer parked mid-screen."""

    def setUp(self):
        tmp, self.session = tempfile.TemporaryDirectory(), XSession()
        self.addCleanup(tmp.cleanup), self.addCleanup(self.session.stop)
        self.folder = pathlib.Path(tmp.name)
        self.session.move_pointer(640, 512)

    def start(self, *args, settle=True, **kw):
        """Starts the viewer in the folder; by default waits until it is maximised and still."""
        v = Viewer(self.session, self.folder, args, **kw)
        self.addCleanup(v.proc.wait, 10), self.addCleanup(v.proc.kill)
        if settle:
            wait_until(v.maximised, what="the maximised window")
            v.wait_same(v.geometry, "a still window")
        return v
