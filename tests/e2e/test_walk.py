"""One start of the viewer walks a user's whole path through a folder.

The folder holds a two-stream picture (first stream blue, second red, the same
green square in both), a folder of the sample pictures and a green picture. A
picture drawn with the wrong row parity shows no red-over-blue pattern at all.
"""
import subprocess
import unittest

import numpy as np

from harness import (BAND_PAIRS, MAKE_SAMPLES, PLACEHOLDER, Grid, ViewerCase, bbox, fit_zoom, image_rect,
                     is_color, picture, rgb, write_two_stream)

SIZE = 300  # per view; a flat-named two-stream file shows as wide as both


def shows_pair_at(f, rect):
    """Whether the red-over-blue pattern covers exactly rect (a column or pair
    of slack) and nothing inside it mixes the views' colours."""
    box = bbox(f.pattern())
    if box is None or any(abs(a - b) > 1 for a, b in zip(box, rect)):
        return False
    inside = f.region(rect[0] + 2, rect[1] - 2, rect[2] + 1, rect[3] - 1).astype(np.int16)
    v0, v1 = inside[:, 0], inside[:, 1]
    return bool(is_color(v0, "r").mean() > 0.9 and is_color(v1, "b").mean() > 0.9 and
                np.all(v0[..., 2] <= v0[..., 0] + 40) and np.all(v1[..., 0] <= v1[..., 2] + 40))


def marker(f, rect):
    """Returns ((column, pair) of the green square's centre, its area) inside rect."""
    x0, x1, p0, p1 = rect
    green = is_color(f.views[max(p0, 0):p1 + 1, :, max(x0, 0):x1 + 1], "g").all(axis=1)
    ps, xs = np.nonzero(green)
    return ((xs.mean() + max(x0, 0), ps.mean() + max(p0, 0)) if len(ps) else (-1e9, -1e9)), len(ps)


class WalkTest(ViewerCase, unittest.TestCase):
    def test_a_users_path_through_a_folder(self):
        square = (60, 60, 99, 99)
        write_two_stream(self.folder / "a_pair.jpg", picture(SIZE, 0x0000FF, square), picture(SIZE, 0xFF0000, square))
        subprocess.run([MAKE_SAMPLES, "samples", self.folder / "b_samples"], check=True)
        picture(SIZE, 0x00FF00).save(self.folder / "c_green.png")
        # Listing: "..", a_pair.jpg, b_samples, c_green.png.
        v = self.start()
        x, y, w, h = v.geometry()
        self.assertGreater((w, h), (1200, 900), "maximised on a 1280 x 1024 screen")
        f = v.wait_frame(lambda f: is_color(Grid(f).thumb(1, 0), "r").mean() > 0.9 and
                         is_color(Grid(f).thumb(3), "g").mean() > 0.9, "the thumbnails")
        self.assertGreater(is_color(Grid(f).thumb(1, 1), "b").mean(), 0.9, "view 1 of the thumbnail is the first stream")
        grid = Grid(f)
        step = fit_zoom(2 * SIZE, SIZE, f.stride, f.pairs)
        x0, x1, y0, y1 = fitted = image_rect(2 * SIZE, SIZE, f, step)

        def opened(f):
            return shows_pair_at(f, image_rect(2 * SIZE, SIZE, f, step))

        def wait_marker(centre, area, what, slack):
            def there(f):
                (mx, mp), a = marker(f, rect)
                return abs(mx - centre[0]) <= slack and abs(mp - centre[1]) <= slack and abs(a - area) <= 0.05 * area
            return v.wait_frame(there, what)

        v.click(*grid.centre(1))
        f = v.wait_frame(opened, "the pair opened from its cell")
        (mx, mp), area = marker(f, fitted)
        # A drag pans: left by 120 columns and down by 80 rows, 40 line pairs;
        # it is no click, the picture stays open. The green square is looked
        # for where the picture is now (the grid's cells peek out above it).
        cx, cp = (x0 + x1) // 2, f.click_row((y0 + y1) // 2)
        v.drag(cx, cp, cx - 120, cp + 80)
        rect = (x0 - 120, x1 - 120, y0 - 40, y1 - 40)
        f = wait_marker((mx - 120, mp - 40), area, "the panned picture", 1.0)
        self.assertEqual(bbox(f.pattern()[:y1 - 40])[:2], (x0 - 120, x1 - 120))
        (mx, mp), area = marker(f, rect)
        # The wheel zooms about the pointer: on the square, the square grows
        # in place (each notch may truncate the pan by a column or pair) and
        # shrinks back; elsewhere, the square moves away by the same scale.
        v.wheel(round(mx), f.click_row(round(mp)), 4)
        wait_marker((mx, mp), area * 2 ** (8 / 12), "the square grown about the pointer", 4.0)
        v.wheel(round(mx), f.click_row(round(mp)), -4)
        f = wait_marker((mx, mp), area, "the square back at its size", 8.0)
        (mx, mp), area = marker(f, rect)
        v.wheel(round(mx) + 150, f.click_row(round(mp) + 60), 6)
        wait_marker((mx - 150 * (2 ** 0.5 - 1), mp - 60 * (2 ** 0.5 - 1)), area * 2, "the square moved away", 6.0)

        # Prev and Next on the toolbar step over the folder, and past either
        # end back to the grid.
        below = y1 - BAND_PAIRS - 2

        def shows(kind):
            def check(f):
                if not len(f.labels()):
                    return False
                area = f.region(x0 + 2, x1 - 2, y0 + 1, below)
                pair = is_color(area[:, 0], "r") & is_color(area[:, 1], "b")
                green = is_color(area[:, 0], "g") & is_color(area[:, 1], "g")
                return {"pair": pair.mean() > 0.9, "green": green.mean() > 0.95,
                        "grid": pair.mean() < 0.1 and green.mean() < 0.1}[kind]
            return check

        v.move_pointer(700, 5)
        drives = (v.wait_frame(lambda f: len(f.labels()), "the toolbar").labels().max() - 240) // 72
        for button, kind in (("Next", "green"), ("Prev", "pair"), ("Prev", "grid"), (3, "green"), ("Next", "grid")):
            if button == 3:
                v.click(*grid.centre(3))
                v.move_pointer(700, 5)
            else:
                v.click({"Prev": 42, "Next": 118}[button] + 72 * drives, 30)
            v.wait_frame(shows(kind), f"{kind} after {button}")

        # Restored and moved by one screen row, the frame flips its row
        # parity: each view stays on its own screen rows.
        v.click(*grid.centre(1))
        v.wait_frame(opened, "the pair opened again")
        v.move_pointer(400, 300)
        v.set_maximised(False)
        for top in (100, 101):
            v.move_window(100, top)
            v.move_pointer(400, 300)
            f = v.wait_frame(lambda f: f.geometry[1] == top and opened(f), f"the pair with its top at row {top}")

        # A click on the picture closes it: the pattern only in the thumbnail.
        v.click(400, 300)
        def listing(f):
            (x0, x1, p0, p1), t = bbox(f.pattern()) or (0, 0, 0, 0), Grid(f).box(1)
            return t[0] <= x0 and x1 <= t[1] and t[2] <= p0 and p1 <= t[3] and x1 - x0 > 180 and p1 - p0 > 90

        f = v.wait_frame(listing, "the grid after closing the picture")

        # Into the samples and back up through "..": their thumbnails, the
        # camera file in stereo and the flat picture flat.
        def made(f):
            g = Grid(f)
            return all(g.thumb(i).any() and not np.all(g.thumb(i) == rgb(PLACEHOLDER)) for i in range(5))

        v.click(*Grid(f).centre(2))
        f = v.wait_frame(made, "the samples with their thumbnails")
        g = Grid(f)
        self.assertFalse(np.array_equal(g.thumb(2, 0), g.thumb(2, 1)), "garden.mpo in stereo")
        self.assertTrue(np.array_equal(g.thumb(3, 0), g.thumb(3, 1)), "garden_flat.jpg flat")
        v.click(*g.centre(0))
        v.wait_frame(listing, "the first folder again")
        f = v.wait_same(v.frame, "the first folder, still")

        # Other keys do nothing; the toolbar shown after them proves they
        # were handled. Esc ends the program with 0.
        v.key("a")
        v.key("Return")
        v.move_pointer(400, 5)
        after = v.wait_frame(lambda f: len(f.labels()), "the toolbar after the keys")
        self.assertTrue(np.array_equal(after.views[:f.pairs - BAND_PAIRS], f.views[:f.pairs - BAND_PAIRS]))
        v.key("Escape")
        self.assertEqual(v.proc.wait(30), 0)


if __name__ == "__main__":
    unittest.main()
