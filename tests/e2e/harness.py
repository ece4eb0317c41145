"""End-to-end harness: the real viewer in a real X server.

An XSession runs Xvfb with openbox (a window manager that honours maximise).
A Viewer starts build/orvale-viewer in a folder inside that session, finds its
window, reads its client geometry, takes screenshots of the root window and
turns screen rows into line pairs. Input goes through xdotool, the way a user's
mouse and keyboard would.

Later suites import this module and add their own cases. Frame turns a
screenshot into line pairs and views, Grid and fit_zoom/image_rect say where
the viewer draws its cells and the open picture, ViewerCase gives each test
module an X session of its own and each test a fresh folder.
"""
import io
import os
import pathlib
import shutil
import subprocess
import tempfile
import time

import numpy as np
from Xlib import X, display, protocol

REPO = pathlib.Path(__file__).resolve().parents[2]
TITLE = "Orvale_Viewer"


def binary_path():
    """Returns the viewer program to test: $ORVALE_BINARY or build/orvale-viewer."""
    return os.environ.get("ORVALE_BINARY", str(REPO / "build" / "orvale-viewer"))


def wait_until(predicate, timeout=30.0, interval=0.05, what="condition"):
    """Polls predicate until it returns something true; raises on timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out waiting for {what}")
        time.sleep(interval)


class XSession:
    """Xvfb plus openbox on a display number of their own."""

    def __init__(self, width=1280, height=1024):
        self.width, self.height = width, height
        self.xvfb = self.wm = None
        self.display_name = None
        self.dpy = None
        self.logdir = tempfile.mkdtemp(prefix="orvale-x-")

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{self.width}x{self.height}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display_name = ":" + number
        self.env = dict(os.environ, DISPLAY=self.display_name)
        self.dpy = display.Display(self.display_name)
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                   stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        root = self.dpy.screen().root
        check = self.dpy.intern_atom("_NET_SUPPORTING_WM_CHECK")
        wait_until(lambda: root.get_full_property(check, X.AnyPropertyType), what="openbox")

    def stop(self):
        if self.dpy:
            try:
                self.dpy.close()
            except Exception:
                pass
            self.dpy = None
        for p in (self.wm, self.xvfb):
            if p and p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
        shutil.rmtree(self.logdir, ignore_errors=True)

    def xdotool(self, *args):
        """Runs xdotool on this display."""
        subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True,
                       stdout=subprocess.DEVNULL)

    def move_pointer(self, x, y):
        """Moves the pointer to screen (x, y) and waits until it is there."""
        # xdotool's --sync waits for the pointer to move, which it never does
        # when it is already there.
        here = self.dpy.screen().root.query_pointer()
        if (here.root_x, here.root_y) != (x, y):
            self.xdotool("mousemove", "--sync", x, y)

    def screenshot(self):
        """Returns the root window as (width, height, bytes BGRX per pixel, top row first)."""
        root = self.dpy.screen().root
        image = root.get_image(0, 0, self.width, self.height, X.ZPixmap, 0xFFFFFFFF)
        return Screenshot(self.width, self.height, image.data)


class Screenshot:
    """Pixels of the whole screen, addressed by screen column and screen row."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    def pixel(self, x, y):
        """Returns 0xRRGGBB at screen (x, y)."""
        i = (y * self.width + x) * 4
        b, g, r = self.data[i], self.data[i + 1], self.data[i + 2]
        return (r << 16) | (g << 8) | b

    def row(self, y, x0=0, x1=None):
        """Returns the pixels of screen row y from x0 up to x1 (exclusive)."""
        x1 = self.width if x1 is None else x1
        return [self.pixel(x, y) for x in range(x0, x1)]

    def rgb(self):
        """Returns the pixels as a numpy array (rows, columns, RGB)."""
        bgrx = np.frombuffer(bytes(self.data), np.uint8).reshape(self.height, self.width, 4)
        return bgrx[:, :, 2::-1]

    def save_png(self, path):
        """Writes the screenshot to a PNG file (for looking at failures)."""
        from PIL import Image
        Image.frombuffer("RGBX", (self.width, self.height), bytes(self.data), "raw", "BGRX").convert("RGB").save(path)


class Viewer:
    """One run of the viewer program inside an XSession."""

    def __init__(self, session, folder, binary=None, extra_env=None):
        self.session = session
        self.folder = str(folder)
        env = dict(session.env)
        env.update(extra_env or {})
        self.log = open(os.path.join(session.logdir, "viewer.log"), "w")
        self.proc = subprocess.Popen([binary or binary_path()], cwd=self.folder, env=env,
                                     stdout=self.log, stderr=subprocess.STDOUT)
        self.window = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.kill()

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(5)
        self.log.close()

    def find_window(self, timeout=30.0):
        """Waits for the viewer's top-level window and returns its X window."""
        dpy = self.session.dpy
        root = dpy.screen().root
        name_atom = dpy.intern_atom("_NET_WM_NAME")
        pid_atom = dpy.intern_atom("_NET_WM_PID")

        # Windows of earlier runs may vanish while we look: every request can
        # fail, and only a window of our own process counts.
        def search(window):
            try:
                children = window.query_tree().children
            except Exception:
                return None
            for child in children:
                try:
                    pid = child.get_full_property(pid_atom, X.AnyPropertyType)
                    net = child.get_full_property(name_atom, X.AnyPropertyType)
                    attrs = child.get_attributes()
                except Exception:
                    continue
                name = net.value.decode("utf-8", "replace") if net and isinstance(net.value, bytes) else None
                if pid and pid.value[0] == self.proc.pid and name == TITLE \
                        and attrs.map_state == X.IsViewable:
                    return child
                found = search(child)
                if found:
                    return found
            return None

        def probe():
            if self.proc.poll() is not None:
                raise RuntimeError(f"viewer exited early with {self.proc.returncode}")
            return search(root)

        self.window = wait_until(probe, timeout, what="the viewer's window")
        return self.window

    def client_geometry(self):
        """Returns (screen x, screen y, width, height) of the client area."""
        dpy = self.session.dpy
        geom = self.window.get_geometry()
        origin = self.window.translate_coords(dpy.screen().root, 0, 0)
        return (-origin.x, -origin.y, geom.width, geom.height)

    def net_wm_state(self):
        """Returns the names in the window's _NET_WM_STATE."""
        dpy = self.session.dpy
        prop = self.window.get_full_property(dpy.intern_atom("_NET_WM_STATE"), X.AnyPropertyType)
        return {dpy.get_atom_name(a) for a in (prop.value if prop else [])}

    def wait_maximized(self, timeout=30.0):
        """Waits until the window manager has maximised the window."""
        want = {"_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ"}
        return wait_until(lambda: want <= self.net_wm_state(), timeout, what="maximised window")

    def close(self):
        """Asks the window to close, as the close button of its frame does."""
        dpy = self.session.dpy
        protocols = dpy.intern_atom("WM_PROTOCOLS")
        delete = dpy.intern_atom("WM_DELETE_WINDOW")
        event = protocol.event.ClientMessage(window=self.window, client_type=protocols,
                                             data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        self.window.send_event(event)
        dpy.flush()

    def key(self, name):
        """Presses and releases a key with the viewer's window focused, as a user would."""
        self.focus()
        self.session.xdotool("key", name)

    def focus(self):
        """Gives the viewer's window the keyboard focus and waits until it has it."""
        dpy = self.session.dpy
        root = dpy.screen().root
        active = dpy.intern_atom("_NET_ACTIVE_WINDOW")

        def focused():
            try:
                focus = dpy.get_input_focus().focus
            except Exception:
                return False
            return getattr(focus, "id", None) == self.window.id

        def ask():
            # Ask the window manager as a pager would, and set the focus
            # directly in case it is slow to act.
            event = protocol.event.ClientMessage(window=self.window, client_type=active,
                                                 data=(32, [2, X.CurrentTime, 0, 0, 0]))
            root.send_event(event, event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
            try:
                self.window.set_input_focus(X.RevertToParent, X.CurrentTime)
            except Exception:
                pass
            dpy.sync()
            return focused()

        wait_until(lambda: focused() or ask(), interval=0.2, what="keyboard focus")

    def wait_settled(self, timeout=30.0):
        """Waits until the window is maximised and its client area has stopped
        changing size; returns the client geometry."""
        self.wait_maximized(timeout)
        return self.wait_still(timeout)

    def wait_exit(self, timeout=30.0):
        """Waits for the process to end and returns its exit code."""
        return self.proc.wait(timeout)

    def line_pair_rows(self, pair):
        """Returns the screen rows (view 0, view 1) of line pair `pair`.

        Line pair 0 is the lowest whole pair of the client area; view 0 sits on
        the even screen row of the pair and view 1 on the odd row above it.
        """
        x, y, w, h = self.client_geometry()
        bottom = y + h - 1  # lowest client row on the screen
        view0 = bottom if bottom % 2 == 0 else bottom - 1
        view0 -= 2 * pair
        return view0, view0 - 1

    def pairs(self):
        """Returns how many whole line pairs the client area holds."""
        x, y, w, h = self.client_geometry()
        # A pair is an even screen row (view 0) with the row above it (view 1),
        # both inside the client area.
        return sum(1 for row in range(y + 1, y + h) if row % 2 == 0)

    # Reading the window back and driving the pointer, in client coordinates.

    def frame(self):
        """Takes a screenshot and returns the client area as a Frame."""
        geometry = self.client_geometry()
        return Frame(self.session.screenshot(), geometry)

    def wait_frame(self, predicate, timeout=30.0, what="the expected picture"):
        """Takes screenshots until predicate(frame) is true; returns that frame."""
        def probe():
            if self.proc.poll() is not None:
                raise RuntimeError(f"viewer exited with {self.proc.returncode}")
            f = self.frame()
            return f if predicate(f) else None
        try:
            return wait_until(probe, timeout, interval=0.1, what=what)
        except TimeoutError:
            self.save_failure_shot(what)
            raise

    def wait_stable(self, what="a still picture"):
        """Waits until two screenshots in a row show the same; returns the last."""
        last = [None]

        def same(f):
            ok = last[0] is not None and f.geometry == last[0].geometry and \
                np.array_equal(f.views, last[0].views)
            last[0] = f
            return ok

        return self.wait_frame(same, what=what)

    def save_failure_shot(self, what):
        """Keeps a screenshot of a failed wait in $ORVALE_E2E_SHOTS, if set."""
        folder = os.environ.get("ORVALE_E2E_SHOTS")
        if folder:
            os.makedirs(folder, exist_ok=True)
            name = "".join(c if c.isalnum() else "_" for c in what)[:60]
            self.session.screenshot().save_png(os.path.join(folder, f"{int(time.time())}_{name}.png"))

    def to_screen(self, x, y):
        cx, cy, _, _ = self.client_geometry()
        return cx + x, cy + y

    def move_pointer(self, x, y):
        """Moves the pointer to client point (x, y)."""
        self.session.move_pointer(*self.to_screen(x, y))

    def click(self, x, y):
        """Presses and releases the left button at client point (x, y)."""
        self.move_pointer(x, y)
        self.session.xdotool("click", 1)

    def drag(self, x0, y0, x1, y1, steps=8):
        """Drags with the left button from (x0, y0) to (x1, y1) through a few
        positions between, as a hand would."""
        self.move_pointer(x0, y0)
        self.session.xdotool("mousedown", 1)
        for i in range(1, steps + 1):
            self.move_pointer(x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
        self.session.xdotool("mouseup", 1)

    def wheel(self, x, y, notches):
        """Turns the wheel at client point (x, y): positive notches away from
        the user (X button 4), negative towards (button 5)."""
        self.move_pointer(x, y)
        button = 4 if notches > 0 else 5
        for _ in range(abs(notches)):
            self.session.xdotool("click", button)

    def unmaximize(self, timeout=30.0):
        """Asks the window manager to restore the window and waits until it has."""
        dpy = self.session.dpy
        state = dpy.intern_atom("_NET_WM_STATE")
        vert = dpy.intern_atom("_NET_WM_STATE_MAXIMIZED_VERT")
        horz = dpy.intern_atom("_NET_WM_STATE_MAXIMIZED_HORZ")
        event = protocol.event.ClientMessage(window=self.window, client_type=state,
                                             data=(32, [0, vert, horz, 1, 0]))
        dpy.screen().root.send_event(event, event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
        dpy.flush()
        wait_until(lambda: not ({"_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ"}
                                & self.net_wm_state()), timeout, what="a restored window")
        return self.wait_still(timeout)

    def wait_still(self, timeout=30.0):
        """Waits until the client geometry stops changing; returns it."""
        last = [None]

        def stable():
            geom = self.client_geometry()
            same = geom == last[0]
            last[0] = geom
            return geom if same else None

        return wait_until(stable, timeout, interval=0.3, what="a still window")

    def move_window(self, x, y, timeout=30.0):
        """Moves the window so that its client area's top-left corner is at
        screen (x, y), and waits until it is there."""
        for _ in range(5):
            cx, cy, _, _ = self.client_geometry()
            if (cx, cy) == (x, y):
                return self.wait_still(timeout)
            # The window manager places its frame: move by the difference.
            fx, fy = self._frame_origin()
            self.session.xdotool("windowmove", self.window.id, fx + x - cx, fy + y - cy)
            try:
                wait_until(lambda: self.client_geometry()[:2] == (x, y), timeout / 5,
                           what="the moved window")
            except TimeoutError:
                continue
        return self.wait_still(timeout)

    def _frame_origin(self):
        """Returns the screen position of the window manager's frame around the window."""
        dpy = self.session.dpy
        root = dpy.screen().root
        window = self.window
        while True:
            parent = window.query_tree().parent
            if parent is None or parent.id == root.id:
                break
            window = parent
        origin = window.translate_coords(root, 0, 0)
        return -origin.x, -origin.y

# ---------------------------------------------------------------------------
# What the later suites share: the frame read back from a screenshot, the grid
# and image geometry, test pictures, and pointer input in client coordinates.


def samples_tool_path():
    """Returns the sample generator: $ORVALE_MAKE_SAMPLES or build/orvale-make-samples."""
    return os.environ.get("ORVALE_MAKE_SAMPLES", str(REPO / "build" / "orvale-make-samples"))


def make_samples(folder):
    """Writes the sample stereo pictures (with their smaller/ sub-folder) into folder."""
    subprocess.run([samples_tool_path(), "samples", str(folder)], check=True,
                   stdout=subprocess.DEVNULL)


def picture(width, height, color, marker=None):
    """Returns a PIL picture of one colour, with an optional marker square
    (x0, y0, x1, y1, colour) in top-down picture coordinates."""
    from PIL import Image, ImageDraw
    image = Image.new("RGB", (width, height), _rgb(color))
    if marker:
        x0, y0, x1, y1, c = marker
        ImageDraw.Draw(image).rectangle((x0, y0, x1 - 1, y1 - 1), fill=_rgb(c))
    return image


def jpeg_bytes(image):
    """Returns a picture as one JPEG stream, without chroma subsampling."""
    out = io.BytesIO()
    image.save(out, "JPEG", quality=95, subsampling=0)
    return out.getvalue()


def write_two_stream(path, first, second):
    """Writes a camera-style file: the JPEG stream of `first` followed by that
    of `second`. The viewer shows the second stream as view 0 and the first as
    view 1."""
    pathlib.Path(path).write_bytes(jpeg_bytes(first) + jpeg_bytes(second))


def write_png(path, image):
    """Writes a picture as PNG: exact colours, also in the thumbnails."""
    image.save(str(path), "PNG")


def _rgb(color):
    return ((color >> 16) & 255, (color >> 8) & 255, color & 255)


def is_red(px):
    """Marks the pixels of an (..., 3) array that are clearly red."""
    return (px[..., 0] > 160) & (px[..., 1] < 90) & (px[..., 2] < 90)


def is_green(px):
    return (px[..., 1] > 160) & (px[..., 0] < 90) & (px[..., 2] < 90)


def is_blue(px):
    return (px[..., 2] > 160) & (px[..., 0] < 90) & (px[..., 1] < 90)


def as_rgb(color):
    """Returns 0xRRGGBB as a numpy RGB triple."""
    return np.array(_rgb(color), dtype=np.uint8)


PLACEHOLDER = 0x7F3F7F      # a picture's cell before its thumbnail is made
LABEL_COLOR = 0xFF7FFF      # toolbar labels
ABOUT_COLOR = 0x7F7F40      # toolbar about text
SCROLL_BAR_COLUMNS = 16     # the bar and the strip that drags it
TOOLBAR_BAND_ROWS = 84      # client rows of the toolbar band
TOOLBAR_BAND_PAIRS = 42


class Frame:
    """A screenshot of the client area in the units the viewer draws in.

    `views[p, v]` is the row of view v (0 or 1) of line pair p (0 = lowest) as
    it shows on the screen, `stride` columns of RGB: view 0 read from the even
    screen row of the pair and view 1 from the odd row directly above it.
    """

    def __init__(self, shot, geometry):
        x, y, w, h = geometry
        self.geometry = geometry
        self.left, self.top, self.stride, self.height = x, y, w, h
        rgb = shot.rgb()
        bottom = y + h - 1
        view0 = bottom if bottom % 2 == 0 else bottom - 1
        rows0 = np.arange(view0, y, -2)  # view 0 rows, lowest pair first; view 1 above stays inside
        self.pairs = len(rows0)
        self.view0_rows = rows0
        self.views = np.stack([rgb[rows0, x:x + w], rgb[rows0 - 1, x:x + w]], axis=1)
        self.client = rgb[y:y + h, x:x + w]

    def click_row(self, pair):
        """Returns the client row whose click the pass converts to `pair`."""
        return self.height - 2 * pair - 1

    def region(self, x0, x1, p0, p1, view=None):
        """Returns columns x0..x1 of line pairs p0..p1 (all inclusive, clipped)."""
        p0, p1 = max(p0, 0), min(p1, self.pairs - 1)
        x0, x1 = max(x0, 0), min(x1, self.stride - 1)
        block = self.views[p0:p1 + 1, :, x0:x1 + 1]
        return block if view is None else block[:, view]

    def pattern(self):
        """Marks (pair, column) where view 0 is red and view 1 blue: the test
        pictures' stereo pattern."""
        return is_red(self.views[:, 0]) & is_blue(self.views[:, 1])

    def bbox(self, mask):
        """Returns (x0, x1, p0, p1) of the true cells of a (pair, column) mask, or None."""
        ps, xs = np.nonzero(mask)
        if len(ps) == 0:
            return None
        return int(xs.min()), int(xs.max()), int(ps.min()), int(ps.max())

    def centroid(self, mask):
        """Returns the mean (column, pair) of a (pair, column) mask, or None."""
        ps, xs = np.nonzero(mask)
        if len(ps) == 0:
            return None
        return float(xs.mean()), float(ps.mean())


class Grid:
    """Where the grid puts its cells, for a frame and a scroll position."""

    def __init__(self, stride, pairs, scroll=0):
        self.stride, self.pairs, self.scroll = stride, pairs, scroll
        self.columns = max(1, (stride - 26) // 202)

    def content_height(self, count):
        rows = (count + self.columns - 1) // self.columns
        return (rows * 236 + 44) // 2

    def cell(self, i):
        """Returns (cell x, cell base) of entry i."""
        column, row = i % self.columns, i // self.columns
        return 10 + 202 * column, self.pairs + self.scroll - 17 - 118 * (row + 1)

    def thumb(self, frame, i, view=None):
        """Returns the thumbnail area of entry i in a Frame (clipped)."""
        x, base = self.cell(i)
        return frame.region(x, x + 191, base + 17, base + 112, view)

    def thumb_centre(self, frame, i):
        """Returns the client point (x, row) at the middle of entry i's thumbnail."""
        x, base = self.cell(i)
        return x + 96, frame.click_row(base + 17 + 48)


def fit_zoom(width_arg, height, stride, pairs):
    """Returns the zoom step a newly opened picture is fitted with."""
    if width_arg < 1 or height < 1 or stride < 1 or pairs < 1:
        return 0

    def trial(step):
        s = np.float32(2.0 ** (step / 12.0))
        return int(np.float32(width_arg) * s), int(np.float32(height) * s)

    step, w, h = 0, width_arg, height
    if width_arg < stride:
        while step < 240:
            if h >= pairs:
                break
            step += 1
            w, h = trial(step)
            if w >= stride:
                break
    while (w > stride or h > pairs) and step > -240:
        step -= 1
        w, h = trial(step)
    return step


def image_rect(width_arg, height, stride, pairs, step, pan=(0, 0)):
    """Returns (x0, x1, y0, y1) where a picture at zoom `step` is drawn."""
    s = np.float32(2.0 ** (step / 12.0))
    cx = stride // 2 + pan[0]
    cy = int(pan[1] / 2) + pairs // 2
    half_w = float(np.float32(width_arg) * s) * 0.5
    half_h = float(np.float32(height) * s) * 0.5

    def trunc_into(v, lo, hi):
        return min(max(int(v), lo), hi)

    return (trunc_into(cx - half_w + 1.0, 0, stride - 1), trunc_into(half_w + cx, 0, stride - 1),
            trunc_into(cy - half_h + 1.0, 0, pairs - 1), trunc_into(half_h + cy, 0, pairs - 1))


def dim(views, pairs):
    """Returns the toolbar band as DimFrame makes it from an undimmed frame:
    each pixel the sum of itself, its right neighbour and the two same pixels
    two line pairs up, over 8; the top two pairs read themselves as "up"."""
    v = views.astype(np.uint16)
    right = np.concatenate([v[:, :, 1:], v[:, :, -1:]], axis=2)
    up = v.copy()
    up[:pairs - 2] = v[2:]
    up_right = np.concatenate([up[:, :, 1:], up[:, :, -1:]], axis=2)
    return ((v + right + up + up_right) >> 3).astype(np.uint8)


class ViewerCase:
    """Mix-in for unittest cases: one X session per module class, a fresh
    folder per test, and the pointer parked in the middle of the screen so
    that a new window never starts under it at the top edge."""

    @classmethod
    def setUpClass(cls):
        cls.session = XSession()
        cls.session.start()

    @classmethod
    def tearDownClass(cls):
        cls.session.stop()

    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.folder = pathlib.Path(self.tmp.name)
        self.session.move_pointer(self.session.width // 2, self.session.height // 2)
        self.viewers = []

    def tearDown(self):
        for v in self.viewers:
            v.kill()
        self.tmp.cleanup()

    def start_viewer(self, folder=None, settle=True):
        """Starts the viewer in folder (the test's folder by default) and waits
        until its window shows, and unless told otherwise until it is
        maximised and still."""
        v = Viewer(self.session, folder or self.folder)
        self.viewers.append(v)
        v.find_window()
        if settle:
            v.wait_settled()
        return v


PAIR_SIZE = 300  # the two-stream test picture is 300 x 300 per view


def stereo_pair_pictures(size=PAIR_SIZE, marker=(60, 60, 100, 100)):
    """Returns (first stream, second stream) pictures for a two-stream file:
    blue and red, with the same green marker square in both, so that view 1
    shows blue and view 0 red, and the marker has no depth."""
    x0, y0, x1, y1 = marker
    blue = picture(size, size, 0x0000FF, (x0, y0, x1, y1, 0x00FF00))
    red = picture(size, size, 0xFF0000, (x0, y0, x1, y1, 0x00FF00))
    return blue, red


def pair_rect(frame, step):
    """Returns where the flat-named two-stream picture is drawn at zoom step."""
    return image_rect(2 * PAIR_SIZE, PAIR_SIZE, frame.stride, frame.pairs, step)


def shows_pair_at(frame, rect):
    """Returns whether the picture's red-over-blue pattern covers exactly rect
    (one column or pair of slack at each edge) and is clean inside it."""
    pattern = frame.pattern()
    box = frame.bbox(pattern)
    if box is None or any(abs(a - b) > 1 for a, b in zip(box, rect)):
        return False
    x0, x1, y0, y1 = rect
    inside = frame.region(x0 + 2, x1 - 2, y0 + 1, y1 - 1).astype(np.int16)
    view0, view1 = inside[:, 0], inside[:, 1]
    # Nearly all of it is the pattern (the rest is the green marker and its
    # blended edge), and no view holds anything of the other view's colour.
    return bool(is_red(view0).mean() > 0.9 and is_blue(view1).mean() > 0.9 and
                np.all(view0[..., 2] <= view0[..., 0] + 40) and np.all(view1[..., 0] <= view1[..., 2] + 40))


def drive_buttons(frame):
    """Returns how many drive buttons the shown toolbar has, or None when no
    toolbar labels show.

    The number depends on the machine's mounts, so it is read from the
    screen: the labels are the only pixels of their colour in the label rows
    (a dimmed band is at most half bright), and the rightmost of them ends the
    "Web" label, which starts 8 pixels into the slot at 238 + 72 n.
    """
    p = frame.pairs
    rows = frame.region(0, frame.stride - 1, p - 40, p - 33, 0)
    xs = np.nonzero(np.all(rows == as_rgb(LABEL_COLOR), axis=-1))[1]
    if len(xs) == 0:
        return None
    return (int(xs.max()) - 240) // 72


def toolbar_button_x(n, button):
    """Returns the middle column of Prev, Next, Help or Web with n drive buttons."""
    first = {"Prev": 10, "Next": 86, "Help": 162, "Web": 238}[button] + 72 * n
    return first + 32


def scroll_bar(pairs, scroll, content_height):
    """Returns the colours of the scroll bar's line pairs, lowest first."""
    out = np.empty(pairs, dtype=np.uint32)
    span = pairs - 1
    for i in range(pairs):
        if span < 1:
            out[i] = 0xFF0000
            continue
        content = (span // 2 + (span - i) * (content_height - 1)) // span
        out[i] = 0xFF0000 if scroll <= content < scroll + pairs else 0x00FF00
    return out


def packed(px):
    """Returns an (..., 3) RGB array as 0xRRGGBB values."""
    px = px.astype(np.uint32)
    return (px[..., 0] << 16) | (px[..., 1] << 8) | px[..., 2]


def scrolled_from(frame, start, scroll, content_height):
    """Returns whether frame shows the grid of `start` (a Frame taken at scroll
    0 without the toolbar) scrolled by `scroll` line pairs, with its scroll
    bar to match."""
    if frame.geometry != start.geometry:
        return False
    p, grid_columns = frame.pairs, frame.stride - SCROLL_BAR_COLUMNS
    # Pairs below 8 may hold the top of a cell that is not drawn until its
    # name comes within 105 pairs of the frame.
    lo, hi = max(8, -scroll), min(p - 1, p - 1 - scroll)
    if not np.array_equal(frame.views[lo + scroll:hi + scroll + 1, :, :grid_columns],
                          start.views[lo:hi + 1, :, :grid_columns]):
        return False
    bar = packed(frame.views[:, :, frame.stride - 8])
    want = scroll_bar(p, scroll, content_height)
    return bool(np.all(bar == want[:, None]))


def solid_png_bytes(width, height, colors):
    """Returns one PNG per colour, each width x height of that one colour.

    The pixels are encoded once as palette index 0; each file differs only in
    its palette, so a few large pictures cost little to write but as much as
    any to decode."""
    import struct
    import zlib
    from PIL import Image
    out = io.BytesIO()
    Image.new("P", (width, height), 0).save(out, "PNG", optimize=False)
    data = out.getvalue()
    files = []
    for color in colors:
        chunk = b"PLTE" + bytes(_rgb(color))
        plte = struct.pack(">I", 3) + chunk + struct.pack(">I", zlib.crc32(chunk))
        start = data.index(b"PLTE") - 4
        length = struct.unpack(">I", data[start:start + 4])[0]
        files.append(data[:start] + plte + data[start + 12 + length:])
    return files
