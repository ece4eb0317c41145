"""The real window: maximised, an interleaved frame, and the ways to end it."""
import unittest

from harness import ViewerCase, wait_until


class WindowTest(ViewerCase, unittest.TestCase):
    def test_window_is_maximised_and_its_frame_interleaved(self):
        v = self.start_viewer()
        x, y, w, h = v.client_geometry()
        # Maximised on a 1280 x 1024 screen: nearly all of it, less the frame.
        self.assertGreater(w, 1200)
        self.assertGreater(h, 900)

        # An empty folder shows its path, the parent entry and an all-red
        # scroll bar. All of it is flat: both rows of every line pair agree,
        # and a row that belongs to no whole pair stays black.
        def drawn():
            shot = self.session.screenshot()
            bar = {shot.pixel(x + w - 8, row) for row in range(y + 2, y + h - 2)}
            return shot if bar == {0xFF0000} else None

        shot = wait_until(drawn, what="the grid with its scroll bar")
        if y % 2 == 0:
            self.assertEqual(set(shot.row(y, x, x + w)), {0}, "top row outside every pair")
        if (y + h - 1) % 2 == 1:
            self.assertEqual(set(shot.row(y + h - 1, x, x + w)), {0}, "bottom row outside every pair")
        pairs = v.pairs()
        for pair in range(pairs):
            row0, row1 = v.line_pair_rows(pair)
            self.assertEqual(shot.row(row0, x, x + w), shot.row(row1, x, x + w), f"line pair {pair}")
        # The title (blue) sits in the top line pairs, the parent folder's
        # picture below it.
        top = [shot.pixel(px, row) for row in range(y, y + 40) for px in range(x, x + 400)]
        self.assertIn(0x0000FF, top)
        cell = {shot.pixel(px, row) for row in range(y + 50, y + 230) for px in range(x + 10, x + 202)}
        self.assertGreater(len(cell), 10, "the parent folder's picture")

    def test_escape_ends_with_zero(self):
        v = self.start_viewer(settle=False)
        v.key("Escape")
        self.assertEqual(v.wait_exit(), 0)

    def test_other_keys_do_nothing(self):
        v = self.start_viewer(settle=False)
        v.key("a")
        v.key("Return")
        with self.assertRaises(Exception):
            v.wait_exit(0.5)
        v.key("Escape")
        self.assertEqual(v.wait_exit(), 0)

    def test_closing_the_window_ends_with_zero(self):
        v = self.start_viewer(settle=False)
        v.close()
        self.assertEqual(v.wait_exit(), 0)


if __name__ == "__main__":
    unittest.main()
