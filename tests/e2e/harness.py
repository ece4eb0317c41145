"""End-to-end harness: the real viewer in a real X server.

An XSession runs Xvfb with openbox (a window manager that honours maximise).
A Viewer starts build/orvale-viewer in a folder inside that session, finds its
window, reads its client geometry, takes screenshots of the root window and
turns screen rows into line pairs. Input goes through xdotool, the way a user's
mouse and keyboard would.

Later suites import this module and add their own cases.
"""
import os
import pathlib
import shutil
import subprocess
import tempfile
import time

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

    def save_png(self, path):
        """Writes the screenshot to a PNG file (for looking at failures)."""
        from PIL import Image
        Image.frombuffer("RGBX", (self.width, self.height), bytes(self.data), "raw", "BGRX").save(path)


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
        last = [None]

        def stable():
            geom = self.client_geometry()
            same = geom == last[0]
            last[0] = geom
            return geom if same else None

        return wait_until(stable, timeout, interval=0.3, what="a settled window")

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
