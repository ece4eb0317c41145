"""The grid and the image view in the real window.

Pictures are made by the test with a colour per view: a two-stream file whose
first stream is blue and second red (view 1 and view 0), both with the same
green square. Screenshots are read back as line pairs (view 0 from the even
screen row of each pair, view 1 from the odd row above it), so a picture drawn
with the wrong row parity shows no red-over-blue pattern at all.
"""
import unittest

import numpy as np

from harness import (PAIR_SIZE, PLACEHOLDER, Grid, ViewerCase, as_rgb, fit_zoom, is_blue, is_green, is_red,
                     make_samples, pair_rect, picture, shows_pair_at, solid_png_bytes, stereo_pair_pictures, write_png,
                     write_two_stream)


class GridTest(ViewerCase, unittest.TestCase):
    def write_pair_folder(self):
        blue, red = stereo_pair_pictures(PAIR_SIZE)
        write_two_stream(self.folder / "a_pair.jpg", blue, red)
        (self.folder / "sub").mkdir()
        write_png(self.folder / "sub" / "inner.png", picture(64, 64, 0x00FF00))

    def test_two_stream_picture_keeps_each_view_on_its_rows(self):
        self.write_pair_folder()
        v = self.start_viewer()
        # Listing: "..", a_pair.jpg, sub.
        f = v.wait_frame(lambda f: Grid(f.stride, f.pairs).thumb(f, 1).size and
                         is_red(Grid(f.stride, f.pairs).thumb(f, 1, 0)).mean() > 0.9,
                         what="the pair's thumbnail")
        grid = Grid(f.stride, f.pairs)
        thumb = grid.thumb(f, 1)
        self.assertGreater(is_blue(thumb[:, 1]).mean(), 0.9, "view 1 of the thumbnail is the first stream")

        # A click on the cell opens the picture fitted to the window.
        v.click(*grid.thumb_centre(f, 1))
        step = fit_zoom(2 * PAIR_SIZE, PAIR_SIZE, f.stride, f.pairs)
        f = v.wait_frame(lambda f: shows_pair_at(f, pair_rect(f, step)), what="the opened pair")
        x0, x1, y0, y1 = pair_rect(f, step)
        self.assertLess(x1 - x0 + 1, f.stride - 100, "a square picture leaves the grid visible at the sides")
        self.assertEqual(int(f.pattern()[:, :x0 - 1].sum() + f.pattern()[:, x1 + 2:].sum()), 0,
                         "nothing of the picture outside its rectangle")

        # Restored and moved by one screen row, the frame flips its row
        # parity: each view stays on its own screen rows.
        v.move_pointer(400, 300)
        v.unmaximize()
        for top in (100, 101):
            v.move_window(100, top)
            v.move_pointer(400, 300)  # in the middle, away from the toolbar's edge
            f = v.wait_frame(lambda f: f.top == top and shows_pair_at(f, pair_rect(f, step)),
                             what=f"the pair with the client top at screen row {top}")
        self.assertEqual(f.top % 2, 1)

        # A click on the picture closes it; the grid shows again, with the
        # pattern only in the pair's thumbnail.
        v.click(400, 300)

        def grid_again(f):
            g = Grid(f.stride, f.pairs)
            x, base = g.cell(1)
            box = f.bbox(f.pattern())
            return box is not None and box[0] >= x and box[1] <= x + 191 and \
                box[2] >= base + 17 and box[3] <= base + 112 and is_red(g.thumb(f, 1, 0)).mean() > 0.9

        f = v.wait_frame(grid_again, what="the grid after closing the picture")

        # Into the sub-folder: its picture is green and there is no pair.
        grid = Grid(f.stride, f.pairs)
        v.click(*grid.thumb_centre(f, 2))

        def in_sub(f):
            g = Grid(f.stride, f.pairs)
            t = g.thumb(f, 1)
            return t.size and is_green(t).mean() > 0.9 and f.pattern().sum() == 0

        f = v.wait_frame(in_sub, what="the sub-folder's listing")
        # And back up through "..".
        v.click(*Grid(f.stride, f.pairs).thumb_centre(f, 0))
        v.wait_frame(grid_again, what="the first folder again")

    def test_sub_folder_and_back_through_parent_entry(self):
        make_samples(self.folder)
        # Listing: "..", garden.jps, garden.mpo, garden_flat.jpg, smaller.
        v = self.start_viewer()

        def cells(f):
            """Returns how many cells are drawn (thumbnail area not black)."""
            g = Grid(f.stride, f.pairs)
            return sum(1 for i in range(g.columns) if g.thumb(f, i).any())

        def made(f, count):
            """Returns whether `count` cells are drawn and no placeholder is left."""
            g = Grid(f.stride, f.pairs)
            if cells(f) != count:
                return False
            return not any(np.all(g.thumb(f, i) == as_rgb(PLACEHOLDER)) for i in range(count))

        f = v.wait_frame(lambda f: made(f, 5), what="the samples with their thumbnails")
        grid = Grid(f.stride, f.pairs)
        before = [grid.thumb(f, i).copy() for i in range(5)]
        # The two-stream sample differs between its views; the flat one does not.
        self.assertFalse(np.array_equal(before[2][:, 0], before[2][:, 1]), "garden.mpo in stereo")
        self.assertTrue(np.array_equal(before[3][:, 0], before[3][:, 1]), "garden_flat.jpg flat")

        v.click(*grid.thumb_centre(f, 4))
        f = v.wait_frame(lambda f: made(f, 3), what="smaller/ with its parent entry and two pictures")
        self.assertTrue(np.array_equal(grid.thumb(f, 0), before[0]), "the parent entry's picture")

        v.click(*grid.thumb_centre(f, 0))
        f = v.wait_frame(lambda f: made(f, 5), what="the samples folder again")
        for i in range(5):
            self.assertTrue(np.array_equal(grid.thumb(f, i), before[i]), f"cell {i} as before")

    def test_thumbnails_fill_in_without_input(self):
        # Large pictures take a while each to sample, so the placeholders can
        # be seen before the thumbnails replace them one by one.
        count = 20
        colors = [((40 + 9 * k) << 16) | ((200 - 7 * k) << 8) | (30 + 11 * k) for k in range(count)]
        for k, data in enumerate(solid_png_bytes(3000, 3000, colors)):
            (self.folder / f"p{k:02d}.png").write_bytes(data)
        # Watched from the moment the window shows, before it has settled.
        v = self.start_viewer(settle=False)
        seen_placeholder = []

        def states(f):
            """Returns per picture cell: 'wait', 'done' or None (neither)."""
            g = Grid(f.stride, f.pairs)
            out = []
            for k in range(count):
                t = g.thumb(f, k + 1)
                if t.shape[0] < 96:
                    return None  # the window is not at its full size yet
                if np.all(t == as_rgb(PLACEHOLDER)):
                    out.append("wait")
                elif np.all(t == as_rgb(colors[k])):
                    out.append("done")
                else:
                    out.append(None)
            return out

        def all_done(f):
            s = states(f)
            if s is None or None in s:
                return False
            if "wait" in s:
                seen_placeholder.append(s.count("wait"))
                # Made in listing order: the finished cells come first.
                first_wait = s.index("wait")
                self.assertNotIn("done", s[first_wait:], f"thumbnails out of order: {s}")
                return False
            return True

        v.wait_frame(all_done, timeout=50, what="every thumbnail made")
        self.assertTrue(seen_placeholder, "the placeholders before the thumbnails")


if __name__ == "__main__":
    unittest.main()
