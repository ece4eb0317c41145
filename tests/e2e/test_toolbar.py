"""The toolbar in the real window: shown at the top edge, dimmed band with
buttons, Prev and Next.

How many drive buttons come before Prev depends on the machine's mounts. The
tests read it from the screen (`drive_buttons`: the rightmost label pixel ends
"Web") and compute the button columns from it.

Where a test must show that something did not happen (the toolbar stays on
row 84, does not show on row 6), it turns the wheel over the grid after the
move: the scrolled grid proves the move has been handled, and the same
screenshot shows whether the toolbar is there.
"""
import unittest

import numpy as np

from harness import (ABOUT_COLOR, LABEL_COLOR, PAIR_SIZE, SCROLL_BAR_COLUMNS, TOOLBAR_BAND_PAIRS, Grid,
                     ViewerCase, as_rgb, dim, drive_buttons, fit_zoom, is_blue, is_green, is_red, pair_rect,
                     picture, scrolled_from, shows_pair_at, stereo_pair_pictures, toolbar_button_x, write_png,
                     write_two_stream)


def toolbar_over(f, start):
    """Returns whether f is `start` with the toolbar drawn over it: everything
    below the band as before, the band dimmed except where the buttons and
    the about text are drawn, and a picture and a label in each of Prev,
    Next, Help and Web."""
    if f.geometry != start.geometry:
        return False
    p = f.pairs
    band = p - TOOLBAR_BAND_PAIRS
    if not np.array_equal(f.views[:band], start.views[:band]):
        return False
    n = drive_buttons(f)
    if n is None:
        return False
    dimmed = dim(start.views, p)[band:]
    shown = f.views[band:]
    differs = np.any(shown != dimmed, axis=-1)             # (pair, view, column)
    artwork = np.zeros_like(differs)
    slots_end = 10 + 72 * n + 4 * 76
    artwork[:, :, 10:slots_end] = True                     # pictures and labels
    artwork |= np.all(shown == as_rgb(ABOUT_COLOR), axis=-1)
    if np.any(differs & ~artwork):
        return False
    for button in ("Prev", "Next", "Help", "Web"):
        x = toolbar_button_x(n, button) - 32
        picture_pairs = differs[TOOLBAR_BAND_PAIRS - 32:, 0, x:x + 64]
        label = np.all(shown[2:10, 0, x:x + 64] == as_rgb(LABEL_COLOR), axis=-1)
        if picture_pairs.sum() < 200 or label.sum() < 20:
            return False
    return True


def has_labels(f):
    return drive_buttons(f) is not None


class ToolbarTest(ViewerCase, unittest.TestCase):
    def test_shows_at_the_top_edge_and_goes_below_the_band(self):
        for i in range(40):
            (self.folder / f"d{i:02d}").mkdir()
        count = 41  # with ".."
        v = self.start_viewer()
        v.move_pointer(600, 300)
        start = v.wait_stable("the grid of folders")
        content = Grid(start.stride, start.pairs).content_height(count)
        self.assertGreater(content, start.pairs + 24, "a grid taller than the window")

        # A move to row 5 shows the toolbar.
        v.move_pointer(600, 5)
        f = v.wait_frame(lambda f: toolbar_over(f, start), what="the toolbar over the grid")
        self.assertGreaterEqual(drive_buttons(f), 1, "at least the root is a drive")

        # Row 84 keeps it: one notch towards the user scrolls 24 pairs, and the
        # scrolled grid still has the toolbar over it.
        v.move_pointer(600, 84)
        v.wheel(600, 84, -1)
        columns = start.stride - SCROLL_BAR_COLUMNS
        f = v.wait_frame(lambda f: np.array_equal(f.views[8 + 24:f.pairs - 42, :, :columns],
                                                  start.views[8:f.pairs - 42 - 24, :, :columns]),
                         what="the grid scrolled under the toolbar")
        self.assertTrue(has_labels(f), "the toolbar stays on row 84")

        # Row 85 hides it: the whole window is the scrolled grid.
        v.move_pointer(600, 85)
        v.wait_frame(lambda f: not has_labels(f) and scrolled_from(f, start, 24, content),
                     what="the scrolled grid without the toolbar")

        # Row 6 does not show it: scrolled back, the window is as at the start.
        v.move_pointer(600, 6)
        v.wheel(600, 6, 1)
        v.wait_frame(lambda f: np.array_equal(f.views, start.views), what="the grid as at the start")

    def test_next_and_prev_step_through_the_pictures(self):
        blue, red = stereo_pair_pictures()
        write_two_stream(self.folder / "a_pair.jpg", blue, red)
        (self.folder / "b_folder").mkdir()
        write_png(self.folder / "c_green.png", picture(PAIR_SIZE, PAIR_SIZE, 0x00FF00))
        # Listing: "..", a_pair.jpg, b_folder, c_green.png.
        v = self.start_viewer()

        def thumbs_made(f):
            g = Grid(f.stride, f.pairs)
            return is_red(g.thumb(f, 1, 0)).mean() > 0.9 and is_green(g.thumb(f, 3)).mean() > 0.9

        f = v.wait_frame(thumbs_made, what="the thumbnails")
        grid = Grid(f.stride, f.pairs)
        step = fit_zoom(2 * PAIR_SIZE, PAIR_SIZE, f.stride, f.pairs)
        # Both pictures are 300 x 300 with flat names: they open alike.
        x0, x1, y0, y1 = pair_rect(f, step)
        below = y1 - TOOLBAR_BAND_PAIRS - 2  # the picture's part below the band

        def shows(kind):
            def check(f):
                if not has_labels(f):
                    return False
                area = f.region(x0 + 2, x1 - 2, y0 + 1, below)
                pair = is_red(area[:, 0]) & is_blue(area[:, 1])
                green = is_green(area[:, 0]) & is_green(area[:, 1])
                if kind == "pair":
                    return pair.mean() > 0.9
                if kind == "green":
                    return green.mean() > 0.95
                # The grid: the pictures only in their thumbnails.
                return pair.mean() < 0.1 and green.mean() < 0.1
            return check

        v.click(*grid.thumb_centre(f, 1))
        v.wait_frame(lambda f: shows_pair_at(f, (x0, x1, y0, y1)), what="the pair opened from the grid")

        v.move_pointer(700, 5)
        f = v.wait_frame(has_labels, what="the toolbar")
        n = drive_buttons(f)

        def press(button):
            v.click(toolbar_button_x(n, button), 30)

        press("Next")
        v.wait_frame(shows("green"), what="the next picture, past the folder")
        press("Prev")
        v.wait_frame(shows("pair"), what="the previous picture, past the folder")
        press("Prev")
        v.wait_frame(shows("grid"), what="the grid after Prev on the first picture")
        v.click(*grid.thumb_centre(f, 3))  # this also takes the pointer below the band
        v.move_pointer(700, 5)
        v.wait_frame(shows("green"), what="the last picture opened from the grid")
        press("Next")
        v.wait_frame(shows("grid"), what="the grid after Next on the last picture")


if __name__ == "__main__":
    unittest.main()
