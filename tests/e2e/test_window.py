"""The real window: title, maximised, black frame, and the ways to end it."""
import tempfile
import unittest

from harness import Viewer, XSession, wait_until


class WindowTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.session = XSession()
        cls.session.start()

    @classmethod
    def tearDownClass(cls):
        cls.session.stop()

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.folder.cleanup()

    def test_window_is_titled_maximised_and_black(self):
        with Viewer(self.session, self.folder.name) as v:
            v.find_window()
            x, y, w, h = v.wait_settled()
            # Maximised on a 1280 x 1024 screen: nearly all of it, less the frame.
            self.assertGreater(w, 1200)
            self.assertGreater(h, 900)

            def black():
                shot = self.session.screenshot()
                return all(set(shot.row(row, x, x + w)) == {0} for row in range(y, y + h, 7))

            # The first frames may still be on their way after the maximise.
            wait_until(black, what="an all-black client area")

    def test_escape_ends_with_zero(self):
        with Viewer(self.session, self.folder.name) as v:
            v.find_window()
            v.key("Escape")
            self.assertEqual(v.wait_exit(), 0)

    def test_other_keys_do_nothing(self):
        with Viewer(self.session, self.folder.name) as v:
            v.find_window()
            v.key("a")
            v.key("Return")
            with self.assertRaises(Exception):
                v.wait_exit(0.5)
            v.key("Escape")
            self.assertEqual(v.wait_exit(), 0)

    def test_closing_the_window_ends_with_zero(self):
        with Viewer(self.session, self.folder.name) as v:
            v.find_window()
            v.close()
            self.assertEqual(v.wait_exit(), 0)


if __name__ == "__main__":
    unittest.main()
