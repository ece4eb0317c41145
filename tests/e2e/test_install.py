"""The Windows installer (tools/build/make_windows_package.sh) in a fresh Wine prefix where the user already has
programs of their own for .png and .mpo: run silently, it installs the staged files, a Start-menu shortcut, the
entry in Apps & Features and "Open with" for every picture type, taking no type another program has. The program
started from there with a picture's name, as "Open with" starts it, opens the picture with view 0 on even screen
rows, shows no box of the shell's when its help page is gone, and ends on Esc with 0. The uninstaller, run
silently, leaves every file and key as it was before."""
import os
import pathlib
import re
import subprocess
import sys
import time
import unittest

from harness import BINARY, REPO, WINE, WINE_ENV, ViewerCase, bbox, fit_zoom, image_rect, wait_until, \
    write_two_stream

APP, EXE, PROGID = "Orvale Viewer", "orvale-viewer.exe", "OrvaleViewer.StereoPicture"
CLASSES = r"HKEY_CURRENT_USER\Software\Classes"
UNINSTALL = r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Uninstall"
TYPES = [line.split() for line in (REPO / "tools/build/picture_types.txt").read_text().splitlines()
         if line.startswith(".")]
SIZE = 200


def with_parents(keys):
    """Returns the keys with every key between them and the top key they lie under."""
    found = set()
    for key in keys:
        while key not in (CLASSES, UNINSTALL):
            found.add(key)
            key = key.rsplit("\\", 1)[0]
    return found


class InstallTest(ViewerCase, unittest.TestCase):
    maxDiff = None

    def wine(self, *args, timeout=120):
        return subprocess.run([*WINE, *map(str, args)], env=self.env, capture_output=True, text=True, timeout=timeout)

    def registry(self):
        """Returns {key: {value: (type, data)}} for every key below those the installer writes to."""
        keys = {}
        for top in (CLASSES, UNINSTALL):
            key = None
            for line in self.wine("reg", "query", top, "/s").stdout.splitlines():
                if line.startswith("HKEY_"):
                    key = keys.setdefault(line, {})
                elif line.startswith("    ") and key is not None:
                    name, kind, data = (line[4:].split("    ") + [""])[:3]
                    key[name] = (kind, data)
            keys.pop(top, None)
        return keys

    def files(self):
        return {p for p in (self.prefix / "drive_c").rglob("*") if p.is_file()}

    def test_install_open_with_and_uninstall(self):
        out = self.folder / "out"
        made = subprocess.run([REPO / "tools/build/make_windows_package.sh", BINARY, os.environ["ORVALE_WIN_DEPS"], out],
                              check=True, capture_output=True, text=True).stdout.split()
        setup, stage = pathlib.Path(made[-1]), pathlib.Path(made[0]).with_suffix("")
        self.prefix = self.folder / "prefix"
        self.env = dict(os.environ, **dict(WINE_ENV, WINEPREFIX=str(self.prefix)))
        wine_sh = [REPO / "tools/build/wine.sh", self.prefix]
        subprocess.run([*wine_sh, "start"], check=True, env=self.env)
        self.addCleanup(subprocess.run, [*wine_sh, "stop"], env=self.env)
        # The user's own programs for a flat and a stereo type.
        for ext in (".png", ".mpo"):
            self.wine("reg", "add", f"{CLASSES}\\{ext}", "/ve", "/d", f"Theirs{ext}", "/f")
        before, files_before = self.registry(), self.files()

        started = time.monotonic()
        self.assertEqual(self.wine(setup, "/S").returncode, 0)
        install_seconds = time.monotonic() - started
        profile = next(p for p in (self.prefix / "drive_c/users").iterdir() if p.name != "Public")
        home = profile / "AppData/Local/Programs" / APP
        installed = {str(p.relative_to(home)) for p in home.rglob("*") if p.is_file()}
        self.assertEqual(installed, {str(p.relative_to(stage)) for p in stage.rglob("*") if p.is_file()} |
                         {"uninstall.exe"})
        self.assertEqual((home / EXE).read_bytes(), pathlib.Path(BINARY).read_bytes())
        windows_home = "C:\\users\\" + profile.name + "\\AppData\\Local\\Programs\\" + APP
        link = (profile / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs" / f"{APP}.lnk").read_bytes()
        exe = windows_home + "\\" + EXE
        self.assertTrue(exe.encode() in link or exe.encode("utf-16-le") in link, "the shortcut opens the program")

        # The keys: the program's, our file type, each picture type's "Open with", the Apps & Features entry.
        command = ("REG_SZ", f'"{exe}" "%1"')
        want = {f"{CLASSES}\\Applications\\{EXE}": {"FriendlyAppName": ("REG_SZ", APP)},
                f"{CLASSES}\\Applications\\{EXE}\\shell\\open\\command": {"(Default)": command},
                f"{CLASSES}\\Applications\\{EXE}\\SupportedTypes": {t[0]: ("REG_SZ", "") for t in TYPES},
                f"{CLASSES}\\{PROGID}": {"(Default)": ("REG_SZ", "Stereo picture")},
                f"{CLASSES}\\{PROGID}\\DefaultIcon": {"(Default)": ("REG_SZ", f'"{exe}",0')},
                f"{CLASSES}\\{PROGID}\\shell\\open\\command": {"(Default)": command}}
        for ext, *stereo in TYPES:
            if stereo:
                want[f"{CLASSES}\\{ext}\\OpenWithProgids"] = {PROGID: ("REG_SZ", "")}
            else:
                want[f"{CLASSES}\\{ext}\\OpenWithList\\{EXE}"] = {"(Default)": ("REG_SZ", "")}
        # A type nobody had becomes ours; one the user's program has stays theirs.
        want[f"{CLASSES}\\.jps"] = {"(Default)": ("REG_SZ", PROGID)}
        want.update({k: v for k, v in before.items() if v})
        entry = f"{UNINSTALL}\\{APP}"
        after = self.registry()
        size = after.get(entry, {}).get("EstimatedSize", ("", "0x0"))
        want[entry] = {"DisplayName": ("REG_SZ", APP), "DisplayVersion": ("REG_SZ", setup.name.split("_")[1]),
                       "Publisher": ("REG_SZ", "The Orvale Viewer developers"),
                       "URLInfoAbout": ("REG_SZ", "http://orvale-viewer.org/"),
                       "DisplayIcon": ("REG_SZ", f'"{exe}",0'), "InstallLocation": ("REG_SZ", windows_home),
                       "UninstallString": ("REG_SZ", f'"{windows_home}\\uninstall.exe"'),
                       "QuietUninstallString": ("REG_SZ", f'"{windows_home}\\uninstall.exe" /S'),
                       "NoModify": ("REG_DWORD", "0x1"), "NoRepair": ("REG_DWORD", "0x1"), "EstimatedSize": size}
        self.assertEqual({k: v for k, v in after.items() if v}, want)
        self.assertEqual(set(after), with_parents(want), "no key but these and the keys they lie in")
        self.assertGreater(int(size[1], 16), 1000, "the entry's size in KiB")

        # As Explorer starts "Open with": the registered command with the picture's full path, from elsewhere.
        (self.folder / "photos").mkdir()
        write_two_stream(self.folder / "photos" / "pair \xe9.mpo", SIZE, (0x0000FF, 0xFF0000), (20, 20, 39, 39))
        program, argument = re.findall(r'"([^"]*)"', after[f"{CLASSES}\\{PROGID}\\shell\\open\\command"]["(Default)"][1])
        picture = "Z:" + str(self.folder / "photos" / "pair \xe9.mpo").replace("/", "\\")
        v = self.start(argument.replace("%1", picture), binary=program, env={"WINEPREFIX": str(self.prefix)})
        f = v.frame()
        rect = image_rect(2 * SIZE, SIZE, f, fit_zoom(2 * SIZE, SIZE, f.stride, f.pairs))
        v.wait_frame(lambda f: (b := bbox(f.pattern())) and max(abs(p - q) for p, q in zip(b, rect)) <= 1,
                     "the picture opened, view 0 on even screen rows")
        # Help without its page: the shell fails without a box of its own.
        (home / "help.html").rename(home / "help.away")
        v.move_pointer(700, 5)
        drives = (v.wait_frame(lambda f: len(f.labels()), "the toolbar").labels().max() - 240) // 72
        v.click(194 + 72 * drives, 30)
        windows = lambda: self.session.xdotool("search", "--all", "--onlyvisible", "--pid", v.proc.pid,  # noqa: E731
                                               check=False).split()
        with self.assertRaises(TimeoutError, msg="the shell showed a box of its own"):
            wait_until(lambda: len(windows()) > 1, 4, what="a box of the shell's")
        (home / "help.away").rename(home / "help.html")
        v.key("Escape")
        self.assertEqual(v.proc.wait(30), 0)

        started = time.monotonic()
        self.wine(home / "uninstall.exe", "/S")
        wait_until(lambda: not home.exists(), 60, what="the program's folder gone")
        uninstall_seconds = time.monotonic() - started
        subprocess.run([*wine_sh, "stop"], env=self.env)  # the registry written out
        subprocess.run([*wine_sh, "start"], env=self.env)
        self.assertEqual(self.registry(), before)
        self.assertEqual(self.files() - files_before, set())
        print(f"installer {setup.stat().st_size} bytes; install {install_seconds:.1f} s, "
              f"uninstall {uninstall_seconds:.1f} s under Wine", file=sys.stderr)


if __name__ == "__main__":
    unittest.main()
