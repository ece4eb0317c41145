#!/usr/bin/python3
"""Checks what `cmake --install` lays down in a temporary DESTDIR, and that the
program run through its link in bin finds its own path and its help page."""
import configparser, os, pathlib, shutil, struct, subprocess, sys, tempfile, unittest
import xml.etree.ElementTree as ElementTree

CMAKE, BUILD, SOURCE, PROBE = sys.argv[1:5]


class Install(unittest.TestCase):
    def test_installed_files(self):
        with tempfile.TemporaryDirectory(prefix="orvale-install-") as tmp:
            subprocess.run([CMAKE, "--install", BUILD, "--prefix", "/usr/local"], env=dict(os.environ, DESTDIR=tmp),
                           check=True, stdout=subprocess.DEVNULL)
            root = pathlib.Path(tmp + "/usr/local")
            lib, bin = root / "lib/orvale-viewer", root / "bin"
            self.assertTrue(os.access(lib / "orvale-viewer", os.X_OK) and not (lib / "orvale-viewer").is_symlink())
            self.assertEqual((lib / "help.html").read_bytes(), (pathlib.Path(SOURCE) / "docs/help.html").read_bytes())
            self.assertFalse(os.path.isabs(os.readlink(bin / "orvale-viewer")), "the link must survive a moved prefix")
            self.assertEqual((bin / "orvale-viewer").resolve(), (lib / "orvale-viewer").resolve())
            entry = configparser.ConfigParser(interpolation=None)
            entry.read(root / "share/applications/orvale-viewer.desktop")
            d = entry["Desktop Entry"]
            self.assertEqual((d["Type"], d["Name"], d["Exec"].split()[0], d["Icon"], d.get("Terminal")),
                             ("Application", "Orvale Viewer", "orvale-viewer", "orvale-viewer", "false"))
            icons = root / "share/icons/hicolor"
            for size in (16, 32, 48, 64, 128, 256):
                data = (icons / f"{size}x{size}/apps/orvale-viewer.png").read_bytes()
                self.assertEqual((data[:8], struct.unpack(">II", data[16:24])), (b"\x89PNG\r\n\x1a\n", (size, size)))
            self.assertTrue(ElementTree.parse(icons / "scalable/apps/orvale-viewer.svg").getroot().tag.endswith("svg"))
            shutil.copy(PROBE, lib / "path-probe")
            os.symlink(os.path.join(os.path.dirname(os.readlink(bin / "orvale-viewer")), "path-probe"), bin / "probe")
            out = subprocess.run([bin / "probe"], check=True, capture_output=True, text=True, cwd="/").stdout
            self.assertEqual(out.splitlines(), [str((lib / "path-probe").resolve()), str((lib / "help.html").resolve())])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
