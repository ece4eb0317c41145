"""Starts from a file manager or a shell: the first argument names a picture
(open and fitted from the first frame on), a folder (its listing) or nothing
usable (today's start and one line on standard error). Folders nested past
300 characters, in and out. Phone files: a stereo HEIC's right eye in view
0, a JPEG taken turned shown upright. And a window that moves under a still
pointer: only positions over its client area count."""
import shutil
import subprocess
import unittest

import numpy as np

from harness import (ON_WINE, REPO, Grid, ViewerCase, bbox, fit_zoom, fitted, image_rect, is_color, rgb,
                     write_two_stream)

SIZE = 200
# The Linux build's fixtures of phone files: 64 x 48 pictures upright, in
# quadrants of each eye's colours (tools/kit/phone_files.cpp).
PHONE = REPO / "build" / "fixtures" / "phone"
LEFT = (0xD02020, 0x20C020, 0x2020D0, 0xE0E0E0)  # top left, top right, bottom left, bottom right
RIGHT = (0xE0D020, 0x20D0D0, 0xD020D0, 0x202020)


def quadrants_shown(f, box, eyes):
    """Whether the (x0, x1, p0, p1) box of a frame shows each view's eye upright, in quadrants (pair 0 lowest)."""
    for view, eye in enumerate(eyes):
        block = f.region(*box, view)
        h, w = block.shape[:2]
        spots = [block[h * y // 4, w * x // 4] for y, x in ((3, 1), (3, 3), (1, 1), (1, 3))]
        if any(np.abs(spot.astype(int) - rgb(c)).max() > 24 for spot, c in zip(spots, eye)):
            return False
    return True


def picture_shows(f, *eyes):
    return quadrants_shown(f, image_rect(64, 48, f, fit_zoom(64, 48, f.stride, f.pairs)), eyes)


def pair_thumb(f, i):
    return is_color(Grid(f).thumb(i, 0), "r").mean() > 0.9 and is_color(Grid(f).thumb(i, 1), "b").mean() > 0.9


class StartTest(ViewerCase, unittest.TestCase):
    def setUp(self):
        super().setUp()
        (self.folder / "photos").mkdir()
        write_two_stream(self.folder / "photos" / "pair \xe9.mpo", SIZE, (0x0000FF, 0xFF0000), (20, 20, 39, 39))

    def test_a_picture_opens_and_closes_to_its_folder(self):
        v = self.start("photos/pair \xe9.mpo")  # relative to where it starts
        f = v.wait_frame(lambda f: fitted(f, 2 * SIZE, SIZE), "the picture fitted, view 0 on even screen rows")
        v.click(f.stride // 2, f.click_row(f.pairs // 2))
        v.wait_frame(lambda f: pair_thumb(f, 1) and bbox(f.pattern())[1] < Grid(f).box(1)[1] + 1, "its folder's grid")
        v.key("Escape")
        self.assertEqual(v.proc.wait(20), 0)

    def test_a_folder_lists_and_nothing_usable_starts_as_usual(self):
        v = self.start(self.folder / "photos")
        v.wait_frame(lambda f: pair_thumb(f, 1), "the folder's listing")
        v.close()
        self.assertEqual(v.proc.wait(20), 0)
        v = self.start("missing.mpo", stderr=subprocess.PIPE)
        v.wait_frame(lambda f: Grid(f).thumb(1).any() and not f.pattern().any(), "the start folder's listing")
        v.close()
        self.assertIn(b"missing.mpo: no such file or folder", v.proc.stderr.read())

    def test_folders_nested_past_300_characters(self):
        # Two folders of 200 characters each: the picture's full path is over
        # 420 long, and its name ends with a dot, which only the extended form
        # of a Windows path keeps.
        deep = self.folder / ("nested " + "n" * 193) / ("deeper " + "d" * 193)
        deep.mkdir(parents=True)
        write_two_stream(deep / "pair.", SIZE, (0x0000FF, 0xFF0000), (20, 20, 39, 39))
        cells = lambda f: sum(bool(Grid(f).thumb(i).any()) for i in range(4))  # noqa: E731
        v = self.start()
        v.wait_frame(lambda f: cells(f) == 3, "the start folder: .., nested, photos")
        for what, listed in (("the first folder", lambda f: cells(f) == 2),
                             ("its picture", lambda f: pair_thumb(f, 1))):
            v.click(*Grid(v.frame()).centre(1))
            v.wait_frame(listed, what)
        v.click(*Grid(v.frame()).centre(1))
        f = v.wait_frame(lambda f: fitted(f, 2 * SIZE, SIZE), "the picture opened, view 0 on even screen rows")
        v.click(f.stride // 2, f.click_row(f.pairs // 2))
        v.wait_frame(lambda f: pair_thumb(f, 1) and bbox(f.pattern())[1] < Grid(f).box(1)[1] + 1, "its folder again")
        for what, listed in (("up to the first folder", lambda f: cells(f) == 2 and not f.pattern().any()),
                             ("up to the start folder", lambda f: cells(f) == 3)):
            v.click(*Grid(v.frame()).centre(0))
            v.wait_frame(listed, what)
        v.key("Escape")
        self.assertEqual(v.proc.wait(20), 0)

    def test_phone_files_show_each_eye_upright(self):
        (self.folder / "phone").mkdir()
        for name in ("orientation_6.jpg", "stereo.heic"):
            shutil.copy(PHONE / name, self.folder / "phone" / name)
        v = self.start("phone/stereo.heic")
        f = v.wait_frame(lambda f: picture_shows(f, RIGHT, LEFT), "the stereo HEIC, its right eye in view 0")
        v.click(f.stride // 2, f.click_row(f.pairs // 2))
        # A thumbnail's square is the picture's middle: its quadrants too.
        v.wait_frame(lambda f: quadrants_shown(f, Grid(f).box(1), (LEFT, LEFT))
                     and quadrants_shown(f, Grid(f).box(2), (RIGHT, LEFT)), "the thumbnails, upright, each eye")
        v.click(*Grid(v.frame()).centre(1))
        v.wait_frame(lambda f: picture_shows(f, LEFT, LEFT), "the turned JPEG open, upright")
        v.key("Escape")
        self.assertEqual(v.proc.wait(20), 0)

    @unittest.skipIf(ON_WINE, "Windows sends a window that moves under the pointer a move; Wine does not")
    def test_window_moving_under_a_still_pointer(self):
        v = self.start()
        _, _, w, _ = v.restore()
        v.move_window(100, 300)
        band = lambda: (len(v.frame().labels()),)  # noqa: E731
        v.move_pointer(w // 2, 3)
        v.wait_frame(lambda f: len(f.labels()), "the toolbar at row 3")
        # The window moves on under the pointer: at row 100 the band goes; with
        # the pointer above the window, nothing reaches it.
        for top, what in ((203, "row 100"), (340, "the pointer 37 rows above"), (203, "row 100 again")):
            v.move_window(100, top)
            self.assertEqual(v.wait_same(band, "a still band"), (0,), f"no toolbar for {what}")
        v.move_pointer(w // 2, -30)  # left through the top: no move reaches the window
        self.assertEqual(v.wait_same(band, "a still band"), (0,), "no toolbar for a pointer above the window")
        for y in (60, 30, 3):
            v.move_pointer(w // 2, y)
        v.wait_frame(lambda f: len(f.labels()), "the toolbar at the top rows")
        v.key("Escape")
        self.assertEqual(v.proc.wait(20), 0)


if __name__ == "__main__":
    unittest.main()
