"""The Windows installer (tools/build/make_windows_package.sh) in a fresh Wine prefix where the user already has
programs of their own for .png and .mpo: run silently, it installs the staged files, a Start-menu shortcut, the
entry in Apps & Features and "Open with" for every picture type, taking no type another program has. The program
started from there with a picture's path, as "Open with" starts it, opens the picture with view 0 on even screen
rows, shows no box of the shell's when its help page is gone, and ends on Esc with 0. The uninstaller, run
silently, leaves every file and key as they were before."""
import os
import pathlib
import re
import subprocess
import sys
import time
import unittest

from harness import BINARY, REPO, WINE, WINE_ENV, ViewerCase, fitted, wait_until, write_two_stream

APP, EXE, PROGID = "Orvale Viewer", "orvale-viewer.exe", "OrvaleViewer.StereoPicture"
CLASSES = r"HKEY_CURRENT_USER\Software\Classes"
UNINSTALL = r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Uninstall"
TYPES = [line.split() for line in (REPO / "tools/build/picture_types.txt").read_text().splitlines() if line[:1] == "."]


class InstallTest(ViewerCase, unittest.TestCase):
    maxDiff = None

    def wine(self, *args):
        return subprocess.run([*WINE, *map(str, args)], env=self.env, capture_output=True, text=True, timeout=120)

    def registry(self):
        """Returns {key: {value: (type, data)}} for every key below the two the installer writes under."""
        keys = {}
        for top in (CLASSES, UNINSTALL):
            for line in self.wine("reg", "query", top, "/s").stdout.splitlines():
                if line.startswith("HKEY_"):
                    key = keys.setdefault(line, {})
                elif line.startswith("    "):
                    name, kind, data = (line[4:].split("    ") + [""])[:3]
                    key[name] = (kind, data)
            keys.pop(top, None)
        return keys

    def test_install_open_with_and_uninstall(self):
        made = subprocess.run([REPO / "tools/build/make_windows_package.sh", BINARY, os.environ["ORVALE_WIN_DEPS"],
                               self.folder / "out"], check=True, capture_output=True, text=True).stdout.split()
        stage, setup = pathlib.Path(made[0]).with_suffix(""), pathlib.Path(made[-1])
        prefix = self.folder / "prefix"
        self.env = {**os.environ, **WINE_ENV, "WINEPREFIX": str(prefix)}
        wine_sh = [REPO / "tools/build/wine.sh", prefix]
        subprocess.run([*wine_sh, "start"], check=True, env=self.env)
        self.addCleanup(subprocess.run, [*wine_sh, "stop"], env=self.env)
        for ext in (".png", ".mpo"):
            self.wine("reg", "add", f"{CLASSES}\\{ext}", "/ve", "/d", f"Theirs{ext}", "/f")
        files = lambda: {p for p in (prefix / "drive_c").rglob("*") if p.is_file()}  # noqa: E731
        before, files_before = self.registry(), files()

        started = time.monotonic()
        self.assertEqual(self.wine(setup, "/S").returncode, 0)
        install_seconds = time.monotonic() - started
        profile = next(p for p in (prefix / "drive_c/users").iterdir() if p.name != "Public")
        home = profile / "AppData/Local/Programs" / APP
        tree = lambda top: {p.relative_to(top) for p in top.rglob("*") if p.is_file()}  # noqa: E731
        self.assertEqual(tree(home), tree(stage) | {pathlib.Path("uninstall.exe")})
        self.assertEqual((home / EXE).read_bytes(), pathlib.Path(BINARY).read_bytes())
        where = f"C:\\users\\{profile.name}\\AppData\\Local\\Programs\\{APP}"
        exe, uninstaller = f"{where}\\{EXE}", f'"{where}\\uninstall.exe"'
        link = (profile / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs" / f"{APP}.lnk").read_bytes()
        self.assertTrue(exe.encode() in link or exe.encode("utf-16-le") in link, "the shortcut opens the program")

        # Every key and value written, and nothing of the user's changed.
        sz = lambda data: ("REG_SZ", data)  # noqa: E731
        command, icon, program = sz(f'"{exe}" "%1"'), sz(f'"{exe}",0'), f"{CLASSES}\\Applications\\{EXE}"
        after = self.registry()
        entry = f"{UNINSTALL}\\{APP}"
        want = {**{k: v for k, v in before.items() if v},
                program: {"FriendlyAppName": sz(APP)}, f"{program}\\shell\\open\\command": {"(Default)": command},
                f"{program}\\SupportedTypes": {t[0]: sz("") for t in TYPES},
                f"{CLASSES}\\{PROGID}": {"(Default)": sz("Stereo picture")},
                f"{CLASSES}\\{PROGID}\\DefaultIcon": {"(Default)": icon},
                f"{CLASSES}\\{PROGID}\\shell\\open\\command": {"(Default)": command},
                f"{CLASSES}\\.jps": {"(Default)": sz(PROGID)},  # nobody had it: ours
                entry: {"DisplayName": sz(APP), "DisplayVersion": sz(setup.name.split("_")[1]), "DisplayIcon": icon,
                        "Publisher": sz("The Orvale Viewer developers"),
                        "URLInfoAbout": sz("http://orvale-viewer.org/"),
                        "InstallLocation": sz(where), "UninstallString": sz(uninstaller),
                        "QuietUninstallString": sz(uninstaller + " /S"), "NoModify": ("REG_DWORD", "0x1"),
                        "NoRepair": ("REG_DWORD", "0x1"), "EstimatedSize": after.get(entry, {}).get("EstimatedSize")}}
        for ext, *stereo in TYPES:
            want[f"{CLASSES}\\{ext}\\" + ("OpenWithProgids" if stereo else f"OpenWithList\\{EXE}")] = \
                {PROGID if stereo else "(Default)": sz("")}
        self.assertEqual({k: v for k, v in after.items() if v}, want)
        self.assertGreater(int(want[entry]["EstimatedSize"][1], 16), 1000, "the size in KiB")

        # Started as "Open with" starts it: the registered command, the picture's full path, from elsewhere.
        (self.folder / "photos").mkdir()
        write_two_stream(self.folder / "photos" / "pair \xe9.mpo", 200, (0x0000FF, 0xFF0000), (20, 20, 39, 39))
        path = "Z:" + str(self.folder / "photos" / "pair \xe9.mpo").replace("/", "\\")
        program, argument = re.findall(r'"([^"]*)"', command[1])
        v = self.start(argument.replace("%1", path), binary=program, env={"WINEPREFIX": str(prefix)})
        v.wait_frame(lambda f: fitted(f, 400, 200), "the picture opened, view 0 on even screen rows")
        # Help without its page: the shell fails without a box of its own.
        (home / "help.html").rename(home / "help.away")
        v.move_pointer(700, 5)
        drives = (v.wait_frame(lambda f: len(f.labels()), "the toolbar").labels().max() - 240) // 72
        v.click(194 + 72 * drives, 30)
        with self.assertRaises(TimeoutError, msg="the shell showed a box of its own"):
            wait_until(lambda: len(self.session.xdotool("search", "--all", "--onlyvisible", "--pid", v.proc.pid,
                                                         check=False).split()) > 1, 4, what="a box of the shell's")
        (home / "help.away").rename(home / "help.html")
        v.key("Escape")
        self.assertEqual(v.proc.wait(30), 0)

        started = time.monotonic()
        self.wine(home / "uninstall.exe", "/S")
        wait_until(lambda: not home.exists(), 60, what="the program's folder gone")
        uninstall_seconds = time.monotonic() - started
        subprocess.run([*wine_sh, "stop"], env=self.env)  # the registry written out
        self.assertEqual(self.registry(), before)
        self.assertEqual(files() - files_before, set())
        print(f"installer {setup.stat().st_size} bytes; install {install_seconds:.1f} s, "
              f"uninstall {uninstall_seconds:.1f} s under Wine", file=sys.stderr)


if __name__ == "__main__":
    unittest.main()
