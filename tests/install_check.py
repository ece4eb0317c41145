#!/usr/bin/python3
"""Checks what `cmake --install` lays down, in a temporary DESTDIR.

Usage: install_check.py <cmake> <build dir> <source dir> <probe program>

Installs the build under the prefix /usr/local inside a temporary folder and
checks: the program and help.html in lib/orvale-viewer, the link in bin that
resolves to the program, the desktop entry, the icons in the hicolor theme;
then places the probe program beside the installed one, links it from bin the
same way, runs it through the link and checks that the program's own path is
the file in lib/orvale-viewer and that the help page it would open is the
installed help.html.
"""
import configparser
import os
import pathlib
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

CMAKE, BUILD, SOURCE, PROBE = sys.argv[1:5]
PREFIX = "/usr/local"


def png_size(path):
    data = path.read_bytes()[:24]
    assert data[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is no PNG"
    return struct.unpack(">II", data[16:24])


class Install(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="orvale-install-")
        env = dict(os.environ, DESTDIR=cls.tmp)
        subprocess.run([CMAKE, "--install", BUILD, "--prefix", PREFIX], env=env, check=True,
                       stdout=subprocess.DEVNULL)
        cls.root = pathlib.Path(cls.tmp + PREFIX)
        cls.lib = cls.root / "lib" / "orvale-viewer"

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp)

    def test_program_and_help_page_share_a_folder(self):
        program = self.lib / "orvale-viewer"
        self.assertTrue(program.is_file())
        self.assertTrue(os.access(program, os.X_OK))
        help_page = self.lib / "help.html"
        self.assertEqual(help_page.read_bytes(), (pathlib.Path(SOURCE) / "docs" / "help.html").read_bytes())

    def test_bin_link_resolves_to_the_program(self):
        link = self.root / "bin" / "orvale-viewer"
        self.assertTrue(link.is_symlink())
        self.assertFalse(os.path.isabs(os.readlink(link)), "the link must survive a moved prefix")
        self.assertEqual(link.resolve(), (self.lib / "orvale-viewer").resolve())

    def test_desktop_entry_starts_the_program_with_its_icon(self):
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(self.root / "share" / "applications" / "orvale-viewer.desktop")
        d = entry["Desktop Entry"]
        self.assertEqual(d["Type"], "Application")
        self.assertEqual(d["Name"], "Orvale Viewer")
        self.assertEqual(d["Exec"].split()[0], "orvale-viewer")
        self.assertTrue((self.root / "bin" / d["Exec"].split()[0]).exists())
        self.assertEqual(d["Icon"], "orvale-viewer")
        self.assertEqual(d.get("Terminal"), "false")
        self.assertTrue(d["Categories"].endswith(";"))
        validator = shutil.which("desktop-file-validate")
        if validator:
            result = subprocess.run([validator, str(self.root / "share" / "applications" / "orvale-viewer.desktop")],
                                    capture_output=True, text=True)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_icons_are_in_the_hicolor_theme(self):
        icons = self.root / "share" / "icons" / "hicolor"
        for size in (16, 32, 48, 64, 128, 256):
            self.assertEqual(png_size(icons / f"{size}x{size}" / "apps" / "orvale-viewer.png"), (size, size))
        svg = ElementTree.parse(icons / "scalable" / "apps" / "orvale-viewer.svg").getroot()
        self.assertTrue(svg.tag.endswith("svg"))

    def test_program_through_the_link_finds_its_help_page(self):
        probe = self.lib / "path-probe"
        shutil.copy(PROBE, probe)
        target = os.readlink(self.root / "bin" / "orvale-viewer")
        link = self.root / "bin" / "path-probe"
        os.symlink(os.path.join(os.path.dirname(target), "path-probe"), link)
        out = subprocess.run([str(link)], check=True, capture_output=True, text=True, cwd="/").stdout
        program, help_page = out.splitlines()
        self.assertEqual(program, str(probe.resolve()))
        self.assertEqual(help_page, str((self.lib / "help.html").resolve()))
        self.assertTrue(os.path.isfile(help_page))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
