#!/usr/bin/python3
"""Checks what `cmake --install` lays down in a temporary DESTDIR, and that the
program run through its link in bin finds its own path and its help page.

Usage: install_check.py <cmake> <build dir> <source dir> <probe program>
"""
import configparser, os, pathlib, shutil, struct, subprocess, sys, tempfile, unittest
import xml.etree.ElementTree as ElementTree

CMAKE, BUILD, SOURCE, PROBE = sys.argv[1:5]


class Install(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="orvale-install-")
        subprocess.run([CMAKE, "--install", BUILD, "--prefix", "/usr/local"], env=dict(os.environ, DESTDIR=cls.tmp),
                       check=True, stdout=subprocess.DEVNULL)
        cls.root = pathlib.Path(cls.tmp + "/usr/local")
        cls.lib = cls.root / "lib" / "orvale-viewer"

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp)

    def test_program_and_help_page_share_a_folder_linked_from_bin(self):
        program, link = self.lib / "orvale-viewer", self.root / "bin" / "orvale-viewer"
        self.assertTrue(program.is_file() and os.access(program, os.X_OK))
        self.assertEqual((self.lib / "help.html").read_bytes(), (pathlib.Path(SOURCE) / "docs/help.html").read_bytes())
        self.assertFalse(os.path.isabs(os.readlink(link)), "the link must survive a moved prefix")
        self.assertEqual(link.resolve(), program.resolve())

    def test_desktop_entry_starts_the_program_with_its_icons(self):
        path = self.root / "share/applications/orvale-viewer.desktop"
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(path)
        d = entry["Desktop Entry"]
        self.assertEqual((d["Type"], d["Name"], d["Exec"].split()[0], d["Icon"], d.get("Terminal")),
                         ("Application", "Orvale Viewer", "orvale-viewer", "orvale-viewer", "false"))
        self.assertTrue(d["Categories"].endswith(";") and (self.root / "bin" / d["Exec"].split()[0]).exists())
        if shutil.which("desktop-file-validate"):
            result = subprocess.run(["desktop-file-validate", str(path)], capture_output=True, text=True)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        icons = self.root / "share/icons/hicolor"
        for size in (16, 32, 48, 64, 128, 256):
            data = (icons / f"{size}x{size}/apps/orvale-viewer.png").read_bytes()
            self.assertEqual((data[:8], struct.unpack(">II", data[16:24])), (b"\x89PNG\r\n\x1a\n", (size, size)))
        self.assertTrue(ElementTree.parse(icons / "scalable/apps/orvale-viewer.svg").getroot().tag.endswith("svg"))

    def test_program_through_the_link_finds_its_help_page(self):
        probe, link = self.lib / "path-probe", self.root / "bin" / "path-probe"
        shutil.copy(PROBE, probe)
        os.symlink(os.path.join(os.path.dirname(os.readlink(self.root / "bin/orvale-viewer")), "path-probe"), link)
        out = subprocess.run([str(link)], check=True, capture_output=True, text=True, cwd="/").stdout
        self.assertEqual(out.splitlines(), [str(probe.resolve()), str((self.lib / "help.html").resolve())])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
