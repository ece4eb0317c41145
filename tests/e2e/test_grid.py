"""One start of the viewer on a grid taller than the window: thumbnails fill
in by themselves, the toolbar shows and hides at its rows, dragging and the
wheel scroll by their exact amounts, and closing the window ends with 0."""
import unittest

import numpy as np
from PIL import Image

from harness import BAND_PAIRS, LABEL_COLOR, ON_WINE, PLACEHOLDER, Grid, ViewerCase, rgb

COLORS = [((40 + 9 * k) << 16) | ((200 - 7 * k) << 8) | (30 + 11 * k) for k in range(20)]
BAR = 16  # columns of the scroll bar and the strip that drags it


def scrolled_from(f, start, scroll, content):
    """Whether f is the grid of `start` scrolled by `scroll` pairs, its bar to match."""
    p, span = f.pairs, f.pairs - 1
    # Pairs below 8 may hold the top of a cell drawn only once it comes near.
    lo, hi = max(8, -scroll), min(p - 1, p - 1 - scroll)
    shown = (span // 2 + (span - np.arange(p)) * (content - 1)) // span
    bar = np.where((scroll <= shown) & (shown < scroll + p), 0xFF0000, 0x00FF00)
    return f.geometry == start.geometry and np.all(f.views[:, :, -8].astype(int) @ [65536, 256, 1] == bar[:, None]) \
        and np.array_equal(f.views[lo + scroll:hi + scroll + 1, :, :-BAR], start.views[lo:hi + 1, :, :-BAR])


def toolbar_over(f, start):
    """Whether f is `start` with the band dimmed (each pixel the sum of itself, its right
    neighbour and those two pairs up, over 8) under the about text and the
    buttons, each with a picture and a label."""
    band = f.pairs - BAND_PAIRS
    labels = f.labels()
    if f.geometry != start.geometry or not len(labels) or not np.array_equal(f.views[:band], start.views[:band]):
        return False
    v = start.views.astype(np.uint16)
    up = np.concatenate([v[2:], v[-2:]])
    right = np.concatenate([(v + up)[:, :, 1:], (v + up)[:, :, -1:]], axis=2)
    differs = np.any(f.views[band:] != ((v + up + right) >> 3)[band:], axis=-1)
    slots = 10 + 72 * ((labels.max() - 240) // 72)  # the drive buttons come first
    artwork = np.all(f.views[band:] == rgb(0x7F7F40), axis=-1)
    artwork[:, :, 10:slots + 4 * 76] = True
    return not np.any(differs & ~artwork) and all(
        differs[BAND_PAIRS - 32:, 0, x:x + 64].sum() >= 200 and
        np.all(f.views[band + 2:band + 10, 0, x:x + 64] == rgb(LABEL_COLOR), axis=-1).sum() >= 20
        for x in range(slots, slots + 4 * 76, 76))


class GridTest(ViewerCase, unittest.TestCase):
    def test_a_tall_grid(self):
        # Large pictures take a while each to sample, so the placeholders show
        # before the thumbnails replace them; the folders make the grid tall.
        image = Image.new("P", (3000, 3000), 0)
        for k, color in enumerate(COLORS):
            image.putpalette(list(rgb(color)))
            image.save(self.folder / f"p{k:02d}.png")
        for k in range(40):
            (self.folder / f"z{k:02d}").mkdir()
        v = self.start(settle=False)
        seen = []

        def made(f):
            """Notes each picture's cell as made, waiting or neither; true when all are made."""
            g = Grid(f)
            s = "".join("w" if np.all(t == rgb(PLACEHOLDER)) else "m" if np.all(t == rgb(c)) else "?"
                        for t, c in ((g.thumb(k + 1), c) for k, c in enumerate(COLORS)))
            if g.thumb(20).shape[0] == 96 and "?" not in s:
                seen.append(s)
                return "w" not in s

        v.wait_frame(made, "every thumbnail made", timeout=60)
        self.assertTrue(all(s.rstrip("w").count("w") == 0 for s in seen), f"made out of listing order: {seen}")
        self.assertTrue(any("w" in s for s in seen), "placeholders before the thumbnails")

        v.move_pointer(600, 300)
        start = v.wait_same(v.frame, "the grid, still")
        p, stride = start.pairs, start.stride
        content = (-(-61 // Grid(start).columns) * 236 + 44) // 2  # 61 cells
        most = content - p

        # The toolbar shows at row 5 and stays on row 84, where the wheel
        # scrolls 24 pairs under it; row 85 hides it and row 6 does not show it.
        v.move_pointer(600, 5)
        v.wait_frame(lambda f: toolbar_over(f, start), "the toolbar over the grid")
        v.wheel(600, 84, -1)
        v.wait_frame(lambda f: len(f.labels()) and np.array_equal(f.views[32:p - BAND_PAIRS, :, :-BAR],
                                                                   start.views[8:p - BAND_PAIRS - 24, :, :-BAR]),
                     "the grid scrolled under the toolbar")
        # Each row: an input, the scroll it leads to and what that pins.
        bar = min(content * (50 * p * 2 // content + 100) // (2 * p), most)
        for move, scroll, what in (
                (lambda: v.move_pointer(600, 85), 24, "the toolbar hidden below the band"),
                (lambda: v.wheel(600, 6, 1), 0, "the grid back, no toolbar on row 6"),
                (lambda: v.drag(600, 700, 600, 600), 50, "the grid following a drag, 100 rows for 50 pairs"),
                (lambda: v.drag(stride - 8, 300, stride - 8, 400), bar, "the bar's thumb following a drag"),
                (lambda: v.wheel(600, 500, -1), min(bar + 24, most), "a notch towards the user: 24 pairs on"),
                (lambda: v.wheel(stride - 8, 500, 1), max(min(bar + 24, most) - 60, 0), "a notch on the bar: 60 back"),
                (lambda: v.drag(600, 200, 600, 900), 0, "the grid dragged past its top, stopping there"),
                (lambda: (v.drag(600, 300, 600, -10), v.move_pointer(600, 300)), 155, "a drag on above the window")):
            move()
            v.wait_frame(lambda f: scrolled_from(f, start, scroll, content) and not len(f.labels()), what)
        if ON_WINE:
            # Windows takes the pointer from a drag when another window takes
            # the focus: the drag ends there (moves drag nothing), and the
            # release, back at the press on a folder's cell, is no click.
            x, y = Grid(start).centre(26)
            y -= 2 * 205  # its centre once the grid is 50 pairs on
            v.move_pointer(x, y)
            v.session.xdotool("mousedown", 1)
            v.move_pointer(x, y - 100)
            v.wait_frame(lambda f: scrolled_from(f, start, 205, content), "a drag under way")
            v.session.take_focus()
            for row in (y - 200, y):
                v.move_pointer(x, row)
            v.session.xdotool("mouseup", 1)
            self.assertTrue(scrolled_from(v.wait_same(v.frame, "a still grid"), start, 205, content),
                            "a drag whose capture was taken ends there, without a click")

        v.close()
        self.assertEqual(v.proc.wait(30), 0)


if __name__ == "__main__":
    unittest.main()
