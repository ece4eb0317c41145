#!/usr/bin/python3
"""Makes the Debian package from the build (tools/build/make_deb.sh: a `cmake --install`
into a staging folder), unpacks it and checks its files, its Depends, lintian's
verdict and the desktop registration of the stereo types; then the program run
through its link in bin finds its own path and help page, and its window opens."""
import configparser, os, pathlib, shutil, struct, subprocess, sys, unittest
import xml.etree.ElementTree as ElementTree

SOURCE, BUILD, PROBE = sys.argv[1:4]
sys.path.insert(0, SOURCE + "/tests/e2e")
from harness import ViewerCase  # noqa: E402


def run(*args, **kw):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kw).stdout


class Package(ViewerCase, unittest.TestCase):
    def test_package(self):
        deb = run(SOURCE + "/tools/build/make_deb.sh", BUILD, self.folder / "out").split()[-1]
        root = self.folder.resolve() / "root"
        run("dpkg-deb", "-x", deb, root)
        lib, bin, share = root / "usr/lib/orvale-viewer", root / "usr/bin", root / "usr/share"
        files = {str(p.relative_to(root)) for p in root.rglob("*") if not p.is_dir()}
        self.assertEqual([f for f in files if not f.startswith(("usr/lib/orvale-viewer/", "usr/share/", "usr/bin/"))], [])
        self.assertTrue(os.access(lib / "orvale-viewer", os.X_OK) and not (lib / "orvale-viewer").is_symlink())
        self.assertEqual((lib / "help.html").read_bytes(), (pathlib.Path(SOURCE) / "docs/help.html").read_bytes())
        self.assertFalse(os.path.isabs(os.readlink(bin / "orvale-viewer")), "the link must survive a moved root")
        self.assertEqual((bin / "orvale-viewer").resolve(), (lib / "orvale-viewer").resolve())
        for size in (16, 32, 48, 64, 128, 256):
            data = (share / f"icons/hicolor/{size}x{size}/apps/orvale-viewer.png").read_bytes()
            self.assertEqual((data[:8], struct.unpack(">II", data[16:24])), (b"\x89PNG\r\n\x1a\n", (size, size)))
        self.assertTrue(ElementTree.parse(share / "icons/hicolor/scalable/apps/orvale-viewer.svg").getroot().tag
                        .endswith("svg"))

        depends = [d.split()[0] for d in run("dpkg-deb", "-f", deb, "Depends").split(", ")]
        self.assertEqual({d for d in depends if d.startswith(("libsdl2", "libfreeimage", "libheif", "libc6"))},
                         {"libsdl2-2.0-0", "libfreeimage3", "libheif1", "libc6"})
        self.assertLess(len(depends), 10, depends)
        # lintian's errors include a missing copyright, changelog or manual page.
        lint = subprocess.run(["lintian", deb], capture_output=True, text=True).stdout
        self.assertEqual([line for line in lint.splitlines() if line.startswith("E:")], [], lint)

        run("desktop-file-validate", share / "applications/orvale-viewer.desktop")
        entry = configparser.ConfigParser(interpolation=None)
        entry.read(share / "applications/orvale-viewer.desktop")
        d = entry["Desktop Entry"]
        self.assertEqual((d["Type"], d["Name"], d["Exec"].split()[0], d["Icon"], d.get("Terminal")),
                         ("Application", "Orvale Viewer", "orvale-viewer", "orvale-viewer", "false"))
        known = {t.get("type") for t in ElementTree.parse(share / "mime/packages/orvale-viewer.xml").getroot()}
        self.assertEqual(known, {"image/x-mpo", "image/x-jps"})
        self.assertLessEqual(known | {"image/jpeg", "image/png", "image/heic", "image/heif", "image/avif"},
                             set(d["MimeType"].split(";")))

        shutil.copy(PROBE, lib / "path-probe")
        os.symlink(os.path.join(os.path.dirname(os.readlink(bin / "orvale-viewer")), "path-probe"), bin / "probe")
        self.assertEqual(run(bin / "probe", cwd="/").splitlines(), [str(lib / "path-probe"), str(lib / "help.html")])
        v = self.start(binary=bin / "orvale-viewer")
        v.key("Escape")
        self.assertEqual(v.proc.wait(20), 0)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
