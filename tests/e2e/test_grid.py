"""One start of the viewer on a grid taller than the window: thumbnails fill
in by themselves, the toolbar shows and hides at its rows, dragging and the
wheel scroll by their exact amounts, and closing the window ends with 0."""
import unittest

import numpy as np
from PIL import Image

from harness import BAND_PAIRS, LABEL_COLOR, PLACEHOLDER, Grid, ViewerCase, rgb

COLORS = [((40 + 9 * k) << 16) | ((200 - 7 * k) << 8) | (30 + 11 * k) for k in range(20)]
BAR = 16  # columns of the scroll bar and the strip that drags it


def packed(px):
    px = px.astype(np.uint32)
    return (px[..., 0] << 16) | (px[..., 1] << 8) | px[..., 2]


def scrolled_from(f, start, scroll, content):
    """Whether f is the grid of `start` (at scroll 0, no toolbar) scrolled by
    `scroll` line pairs, with its scroll bar to match."""
    p, span = f.pairs, f.pairs - 1
    # Pairs below 8 may hold the top of a cell drawn only once it comes near.
    lo, hi = max(8, -scroll), min(p - 1, p - 1 - scroll)
    if f.geometry != start.geometry or not np.array_equal(f.views[lo + scroll:hi + scroll + 1, :, :-BAR],
                                                          start.views[lo:hi + 1, :, :-BAR]):
        return False
    shown = (span // 2 + (span - np.arange(p)) * (content - 1)) // span
    want = np.where((scroll <= shown) & (shown < scroll + p), 0xFF0000, 0x00FF00)
    return bool(np.all(packed(f.views[:, :, -8]) == want[:, None]))


def toolbar_over(f, start):
    """Whether f is `start` with the toolbar drawn over it: below the band as
    before; the band dimmed (each pixel the sum of itself, its right
    neighbour and the two same two pairs up, over 8) except for the about
    text and the buttons, which have a picture and a label each."""
    p, band = f.pairs, f.pairs - BAND_PAIRS
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

        def states(f):
            """Returns 'wait', 'done' or None per picture, once the window is full size."""
            g = Grid(f)
            if g.thumb(20).shape[0] < 96:
                return None
            return ["wait" if np.all(t == rgb(PLACEHOLDER)) else "done" if np.all(t == rgb(c)) else None
                    for t, c in ((g.thumb(k + 1), c) for k, c in enumerate(COLORS))]

        def all_done(f):
            s = states(f)
            if not s or None in s:
                return False
            seen.append(s)
            return "wait" not in s

        v.wait_frame(all_done, "every thumbnail made", timeout=60)
        for s in seen:
            self.assertNotIn("done", s[s.index("wait"):] if "wait" in s else [], f"made out of order: {s}")
        self.assertTrue(any("wait" in s for s in seen), "placeholders before the thumbnails")

        v.move_pointer(600, 300)
        start = v.wait_same(v.frame, "the grid, still")
        p, stride = start.pairs, start.stride
        content = Grid(start).content_height(61)
        most = content - p
        self.assertGreater(most, 150, "a grid much taller than the window")

        def expect(scroll, what):
            return v.wait_frame(lambda f: scrolled_from(f, start, scroll, content) and not len(f.labels()), what)

        # The toolbar shows at row 5 and stays on row 84: the wheel's 24 pairs
        # of scroll show under it. Row 85 hides it; row 6 does not show it.
        v.move_pointer(600, 5)
        v.wait_frame(lambda f: toolbar_over(f, start), "the toolbar over the grid")
        v.wheel(600, 84, -1)
        v.wait_frame(lambda f: len(f.labels()) and np.array_equal(f.views[32:p - BAND_PAIRS, :, :-BAR],
                                                                   start.views[8:p - BAND_PAIRS - 24, :, :-BAR]),
                     "the grid scrolled under the toolbar")
        v.move_pointer(600, 85)
        expect(24, "the toolbar hidden below the band")
        v.wheel(600, 6, 1)
        expect(0, "the grid back, no toolbar on row 6")

        # The grid follows a drag: up by 100 rows is 50 line pairs on.
        v.drag(600, 700, 600, 600)
        expect(50, "the grid dragged up")
        # The bar's thumb follows the pointer: down by 100 rows moves the
        # content by its height over twice the pairs per row.
        v.drag(stride - 8, 300, stride - 8, 400)
        scroll = min(content * (50 * p * 2 // content + 100) // (2 * p), most)
        expect(scroll, "the scroll bar dragged down")
        # One notch towards the user over the grid: 24 pairs on; away from the
        # user over the bar: 60 pairs back.
        v.wheel(600, 500, -1)
        expect(min(scroll + 24, most), "the grid wheeled on")
        v.wheel(stride - 8, 500, 1)
        expect(max(min(scroll + 24, most) - 60, 0), "the grid wheeled back over the bar")
        # Dragged far past the top, the grid stops at its start.
        v.drag(600, 200, 600, 900)
        expect(0, "the grid dragged back to its top")

        v.close()
        self.assertEqual(v.proc.wait(30), 0)


if __name__ == "__main__":
    unittest.main()
