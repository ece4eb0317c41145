#!/usr/bin/python3
"""Checks the include rules that keep the layers apart.

Each folder may include headers of the folders below it only:
  platform <- render <- folder <- viewer <- app
and no header outside a platform backend may include SDL, FreeImage or an
operating-system header. Above the platform layer no code looks inside a path
(drive colons, backslashes) or asks which system it is built for: those rules
live behind platform.h. Exits 1 and lists every breach.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
ALLOWED = {
    "platform": {"platform"},
    "render": {"platform", "render"},
    "folder": {"platform", "render", "folder"},
    "viewer": {"platform", "render", "folder", "viewer"},
    "app": {"platform", "render", "folder", "viewer", "app"},
}
FOREIGN = re.compile(r"#\s*include\s*[<\"](SDL|FreeImage|windows|unistd|dirent|sys/|X11/)")
PATH_RULES = re.compile(r"u'(:|\\\\)'|#\s*if(def)?\s.*_WIN32")
OURS = re.compile(r"#\s*include\s*\"([a-z_]+)/")

breaches = []
for layer, allowed in ALLOWED.items():
    for path in sorted((ROOT / layer).rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        rel = path.relative_to(ROOT)
        backend = len(rel.parts) > 2 and rel.parts[0] == "platform"
        for n, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            m = OURS.search(line)
            if m and m.group(1) in ALLOWED and m.group(1) not in allowed:
                breaches.append(f"{rel}:{n}: {layer} may not include {m.group(1)}/")
            if path.suffix == ".h" and not backend and FOREIGN.search(line):
                breaches.append(f"{rel}:{n}: header includes a system or library header")
            if layer != "platform" and PATH_RULES.search(line):
                breaches.append(f"{rel}:{n}: a path rule or a system test belongs behind platform.h")
            if m and m.group(1) == "platform" and not backend and len(line.split("/")) > 2:
                breaches.append(f"{rel}:{n}: only the build picks a backend")

for b in breaches:
    print(b)
sys.exit(1 if breaches else 0)
