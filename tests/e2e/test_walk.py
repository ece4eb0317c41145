"""One start of the viewer walks a user's path through a folder: a two-stream
picture (blue, then red, a green square in both), the samples' folder and a
green picture. Drawn with the wrong row parity, the pair shows no pattern."""
import subprocess
import unittest

import numpy as np
from PIL import Image

from harness import (BAND_PAIRS, MAKE_SAMPLES, PLACEHOLDER, Grid, ViewerCase, bbox, fit_zoom, image_rect,
                     is_color, rgb, write_two_stream)

SIZE = 300  # per view; a flat-named two-stream file shows as wide as both


def shows(f, rect):
    """Tells what fills rect: the pair (no view with the other's colour), the green picture or the grid."""
    px = f.region(*rect).astype(np.int16)
    pair, green = (is_color(px[:, 0], c0) & is_color(px[:, 1], c1) for c0, c1 in ("rb", "gg"))
    if pair.mean() > 0.9 and np.all(px[:, 0, :, 2] <= px[:, 0, :, 0] + 40) and np.all(px[:, 1, :, 0] <= px[:, 1, :, 2] + 40):
        return "pair"
    return "green" if green.mean() > 0.95 else "grid" if pair.mean() < 0.1 and green.mean() < 0.1 else None


def shows_pair_at(f, rect):
    """Whether the pair's pattern covers exactly rect, give or take one."""
    box = bbox(f.pattern())
    return box is not None and max(abs(a - b) for a, b in zip(box, rect)) <= 1 and \
        shows(f, (rect[0] + 2, rect[1] - 2, rect[2] + 1, rect[3] - 1)) == "pair"


def marker(f, rect):
    """Returns ((column, pair) of the green square's centre, its area) inside rect."""
    ps, xs = np.nonzero(is_color(f.region(*rect), "g").all(axis=1))
    return ((xs.mean() + max(rect[0], 0), ps.mean() + max(rect[2], 0)) if len(ps) else (-1e9, -1e9)), len(ps)


class WalkTest(ViewerCase, unittest.TestCase):
    def test_a_users_path_through_a_folder(self):
        write_two_stream(self.folder / "a_pair.jpg", SIZE, (0x0000FF, 0xFF0000), (60, 60, 99, 99))
        subprocess.run([MAKE_SAMPLES, "samples", self.folder / "b_samples"], check=True)
        Image.new("RGB", (SIZE, SIZE), (0, 255, 0)).save(self.folder / "c_green.png")
        (self.folder / "d_bad.jpg").write_bytes(b"\xff\xd8\xff\xe0 a JPEG header and nothing else")
        # Listing: "..", a_pair.jpg, b_samples, c_green.png, d_bad.jpg (red: it does not decode).
        v = self.start()
        self.assertTrue(v.geometry()[2] > 1200 and v.geometry()[3] > 900, "maximised on a 1280 x 1024 screen")
        f = v.wait_frame(lambda f: is_color(Grid(f).thumb(1, 0), "r").mean() > 0.9 and is_color(
            Grid(f).thumb(3), "g").mean() > 0.9 and is_color(Grid(f).thumb(4), "r").mean() > 0.9, "the thumbnails")
        grid = Grid(f)
        self.assertGreater(is_color(grid.thumb(1, 1), "b").mean(), 0.9, "view 1 of the thumbnail is the first stream")
        step = fit_zoom(2 * SIZE, SIZE, f.stride, f.pairs)
        x0, x1, y0, y1 = rect = image_rect(2 * SIZE, SIZE, f, step)

        opened = lambda f: shows_pair_at(f, image_rect(2 * SIZE, SIZE, f, step))  # noqa: E731

        def wait_marker(centre, area, what, slack):
            def there(f):
                (mx, mp), a = marker(f, rect)
                return max(abs(mx - centre[0]), abs(mp - centre[1])) <= slack and abs(a - area) <= 0.05 * area
            return v.wait_frame(there, what)

        v.click(*grid.centre(1))
        f = v.wait_frame(opened, "the pair opened from its cell")
        (mx, mp), area = marker(f, rect)
        # A drag pans, left by 120 columns and down by 80 rows (40 line pairs),
        # and is no click. The square is looked for where the picture is now:
        # the grid's cells peek out above it.
        cx, cp = (x0 + x1) // 2, f.click_row((y0 + y1) // 2)
        v.drag(cx, cp, cx - 120, cp + 80)
        rect = (x0 - 120, x1 - 120, y0 - 40, y1 - 40)
        f = wait_marker((mx - 120, mp - 40), area, "the panned picture", 1.0)
        # The wheel zooms about the pointer: on the square, it grows in place
        # and shrinks back (each notch may truncate the pan by one); elsewhere,
        # it moves away from the pointer by the same scale.
        (mx, mp), area = marker(f, rect)
        v.wheel(round(mx), f.click_row(round(mp)), 4)
        wait_marker((mx, mp), area * 2 ** (8 / 12), "the square grown about the pointer", 4.0)
        v.wheel(round(mx), f.click_row(round(mp)), -4)
        f = wait_marker((mx, mp), area, "the square back at its size", 8.0)
        (mx, mp), area = marker(f, rect)
        v.wheel(round(mx) + 150, f.click_row(round(mp) + 60), 6)
        wait_marker((mx - 150 * (2 ** 0.5 - 1), mp - 60 * (2 ** 0.5 - 1)), area * 2, "the square moved away", 6.0)

        # Next and Prev step over the folder, past either end (d_bad.jpg does not open) to the grid.
        below = (x0 + 2, x1 - 2, y0 + 1, y1 - BAND_PAIRS - 2)
        v.move_pointer(700, 5)
        drives = (v.wait_frame(lambda f: len(f.labels()), "the toolbar").labels().max() - 240) // 72
        for button, shown in (("Next", "green"), ("Prev", "pair"), ("Prev", "grid"), (3, "green"), ("Next", "grid")):
            if button == 3:
                v.click(*grid.centre(3))
                v.move_pointer(700, 5)
            else:
                v.click({"Prev": 42, "Next": 118}[button] + 72 * drives, 30)
            v.wait_frame(lambda f: len(f.labels()) and shows(f, below) == shown, f"{shown} after {button}")

        # Restored and moved by one screen row, the frame flips its row
        # parity: each view stays on its own screen rows.
        v.click(*grid.centre(1))
        v.wait_frame(opened, "the pair opened again")
        v.move_pointer(400, 300)
        v.restore()
        for top in (100, 101):
            v.move_window(100, top)
            v.move_pointer(400, 300)
            v.wait_frame(lambda f: f.geometry[1] == top and opened(f), f"the pair with its top at row {top}")

        # A click on the picture closes it: the pattern only in its thumbnail.
        def listing(f):
            (x0, x1, p0, p1), t = bbox(f.pattern()) or (0, 0, 0, 0), Grid(f).box(1)
            return t[0] <= x0 and x1 <= t[1] and t[2] <= p0 and p1 <= t[3] and x1 - x0 > 180 and p1 - p0 > 90

        v.click(400, 300)
        f = v.wait_frame(listing, "the grid after closing the picture")
        # Into the samples and back up through "..": their thumbnails made,
        # the camera file's in stereo and the flat picture's flat.
        v.click(*Grid(f).centre(2))
        f = v.wait_frame(lambda f: all(Grid(f).thumb(i).any() and np.any(Grid(f).thumb(i) != rgb(PLACEHOLDER))
                                       for i in range(5)), "the samples with their thumbnails")
        g = Grid(f)
        self.assertFalse(np.array_equal(g.thumb(2, 0), g.thumb(2, 1)), "garden.mpo in stereo")
        self.assertTrue(np.array_equal(g.thumb(3, 0), g.thumb(3, 1)), "garden_flat.jpg flat")
        v.click(*g.centre(0))
        v.wait_frame(listing, "the first folder again")
        f = v.wait_same(v.frame, "the first folder, still")

        # Other keys do nothing: the toolbar shown after them proves they were
        # handled. Esc ends the program with 0.
        v.key("a", "Return")
        v.move_pointer(400, 5)
        after = v.wait_frame(lambda f: len(f.labels()), "the toolbar after the keys")
        self.assertTrue(np.array_equal(after.views[:f.pairs - BAND_PAIRS], f.views[:f.pairs - BAND_PAIRS]))
        v.key("Escape")
        self.assertEqual(v.proc.wait(30), 0)


if __name__ == "__main__":
    unittest.main()
