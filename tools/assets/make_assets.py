#!/usr/bin/python3
"""Regenerates the built-in font and picture tables, or checks them.

    /usr/bin/python3 tools/assets/make_assets.py [OUTDIR]     (default render/assets)
    /usr/bin/python3 tools/assets/make_assets.py --check      regenerate into a temporary
                                                       folder and compare with
                                                       render/assets; exit 1 on a
                                                       difference

The fonts come from the Debian packages unifont and console-setup-linux
(tools/build/install_deps.sh installs them); the pictures from tools/assets/gen_pictures.py.
"""
import filecmp
import os
import subprocess
import sys
import tempfile

TOOLS = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(TOOLS))
ASSETS = os.path.join(ROOT, "render", "assets")
GENERATORS = [
    ("gen_unicode_font.py", "unicode_font.gen.cpp"),
    ("gen_byte_font.py", "byte_font.gen.cpp"),
    ("gen_pictures.py", "pictures.gen.cpp"),
]


def generate(outdir):
    for script, _ in GENERATORS:
        subprocess.run([sys.executable, os.path.join(TOOLS, script), outdir], check=True)


def main(argv):
    if len(argv) > 1 and argv[1] == "--check":
        with tempfile.TemporaryDirectory() as tmp:
            generate(tmp)
            stale = [name for _, name in GENERATORS
                     if not filecmp.cmp(os.path.join(tmp, name), os.path.join(ASSETS, name), shallow=False)]
        if stale:
            print("out of date (run `make assets`): " + ", ".join("render/assets/" + n for n in stale))
            return 1
        print("render/assets matches its generators")
        return 0
    generate(argv[1] if len(argv) > 1 else ASSETS)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
