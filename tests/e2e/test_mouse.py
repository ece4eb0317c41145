"""The mouse in the real window: the wheel zooms the open picture about the
pointer, dragging pans it, and dragging the grid or its scroll bar and the
wheel scroll the grid.

The open picture is the two-stream test pair (red view 0, blue view 1) with a
green square in both views; the square's centre on the screen, in columns and
line pairs, is what the zoom and pan checks follow.
"""
import unittest

import numpy as np

from harness import (PAIR_SIZE, SCROLL_BAR_COLUMNS, Grid, ViewerCase, fit_zoom, is_green, pair_rect,
                     scrolled_from, shows_pair_at, stereo_pair_pictures, write_two_stream)


def marker(f, rect=None):
    """Returns ((column, pair) of the green square's centre, its area), looking
    only inside rect (x0, x1, p0, p1), by default where the pattern is: the
    parent folder's picture in the grid has green in it too."""
    box = rect or f.bbox(f.pattern())
    if box is None:
        return (-1e9, -1e9), 0
    x0, x1, p0, p1 = box
    green = is_green(f.views[:, 0]) & is_green(f.views[:, 1])
    inside = np.zeros_like(green)
    inside[max(p0, 0):p1 + 1, max(x0, 0):min(x1 + 1, f.stride - SCROLL_BAR_COLUMNS)] = True
    green &= inside
    if not green.any():
        return (-1e9, -1e9), 0
    return f.centroid(green), int(green.sum())


class MouseTest(ViewerCase, unittest.TestCase):
    def open_pair(self):
        """Starts the viewer on the test pair, opens it and returns (viewer,
        frame, zoom step)."""
        blue, red = stereo_pair_pictures()
        write_two_stream(self.folder / "a_pair.jpg", blue, red)
        v = self.start_viewer()
        f = v.wait_frame(lambda f: Grid(f.stride, f.pairs).thumb(f, 1).any(), what="the pair's cell")
        v.click(*Grid(f.stride, f.pairs).thumb_centre(f, 1))
        step = fit_zoom(2 * PAIR_SIZE, PAIR_SIZE, f.stride, f.pairs)
        f = v.wait_frame(lambda f: shows_pair_at(f, pair_rect(f, step)), what="the opened pair")
        return v, f, step

    def wait_marker(self, v, centre, area, what, slack=2.0, rect=None):
        """Waits until the square's centre is within slack of centre (column,
        pair) and its area within 5 % of area; returns the frame."""
        def there(f):
            (x, p), a = marker(f, rect)
            return abs(x - centre[0]) <= slack and abs(p - centre[1]) <= slack and abs(a - area) <= 0.05 * area
        return v.wait_frame(there, what=what)

    def test_wheel_zooms_about_the_pointer(self):
        v, f, step = self.open_pair()
        (mx, mp), area = marker(f)
        # Each notch truncates the pan to whole columns and rows, so the square
        # may drift by up to a column or pair per notch; zooming about any
        # other point would move it by tens.
        # On the square: it grows and stays under the pointer.
        x, y = round(mx), f.click_row(round(mp))
        v.wheel(x, y, 4)
        grow = 2 ** (4 / 12)
        self.wait_marker(v, (mx, mp), area * grow * grow, "the square grown about the pointer", slack=3.0)
        # Back down: the size it had.
        v.wheel(x, y, -4)
        f = self.wait_marker(v, (mx, mp), area, "the square back at its size", slack=3.0)
        (mx, mp), area = marker(f)

        # Elsewhere on the picture: the square moves away from the pointer in
        # proportion to the scale.
        x0, x1, y0, y1 = pair_rect(f, step)
        px, pp = (x0 + x1) // 2 + 150, (y0 + y1) // 2 - 60
        v.wheel(px, f.click_row(pp), 6)
        grow = 2 ** (6 / 12)
        self.wait_marker(v, (px + (mx - px) * grow, pp + (mp - pp) * grow), area * grow * grow,
                         "the square moved away from the pointer", slack=4.0)

    def test_dragging_pans_the_open_picture(self):
        v, f, step = self.open_pair()
        (mx, mp), area = marker(f)
        x0, x1, y0, y1 = pair_rect(f, step)
        cx, cp = (x0 + x1) // 2, (y0 + y1) // 2
        # Left by 120 columns and down by 80 screen rows: 40 line pairs.
        v.drag(cx, f.click_row(cp), cx - 120, f.click_row(cp) + 80)
        f = self.wait_marker(v, (mx - 120, mp - 40), area, "the panned picture", slack=1.0,
                             rect=(x0 - 120, x1 - 120, y0 - 40, y1 - 40))
        # A drag is no click: the picture is still open, moved as a whole.
        box = f.bbox(f.pattern())
        self.assertEqual((box[0], box[1]), (x0 - 120, x1 - 120))

    def test_dragging_the_grid_and_the_scroll_bar_and_the_wheel_scroll(self):
        for i in range(40):
            (self.folder / f"d{i:02d}").mkdir()
        v = self.start_viewer()
        v.move_pointer(600, 300)
        start = v.wait_stable("the grid of folders")
        p, stride = start.pairs, start.stride
        content = Grid(stride, p).content_height(41)
        most = content - p
        self.assertGreater(most, 150, "a grid much taller than the window")

        def expect(scroll, what):
            v.wait_frame(lambda f: scrolled_from(f, start, scroll, content), what=what)

        # The grid follows the pointer: up by 100 rows is 50 line pairs on.
        v.drag(600, 700, 600, 600)
        scroll = 50
        expect(scroll, "the grid dragged up")

        # The bar's thumb follows the pointer: down by 100 rows moves the
        # content by its height over twice the pairs per row.
        anchor = scroll * p * 2 // content + 100
        v.drag(stride - 8, 300, stride - 8, 400)
        scroll = min(content * anchor // (2 * p), most)
        expect(scroll, "the scroll bar dragged down")

        # One notch towards the user over the grid: 24 pairs on; away from the
        # user over the bar: 60 pairs back.
        v.wheel(600, 500, -1)
        scroll = min(scroll + 24, most)
        expect(scroll, "the grid wheeled on")
        v.wheel(stride - 8, 500, 1)
        scroll = max(scroll - 60, 0)
        expect(scroll, "the grid wheeled back over the bar")

        # Dragged far past the top, the grid stops at its start.
        v.drag(600, 200, 600, 900)
        expect(0, "the grid dragged back to its top")


if __name__ == "__main__":
    unittest.main()
