"""Shared output helpers of the asset generators: C++ tables and PNG files.

Only the Python standard library is used, so the generated files depend on
nothing but their sources and these scripts.
"""
import os
import struct
import zlib

INCLUDE = '#include "render/assets/assets.h"\n'


def header_comment(title, sources, command, notes=()):
    """Returns the comment that opens every generated file."""
    lines = ["// %s" % title, "//", "// GENERATED - do not edit. Made from:"]
    lines += ["//   %s" % s for s in sources]
    lines += ["// Regenerate with `make assets`, or: %s" % command]
    if notes:
        lines.append("//")
        lines += ["// %s" % n if n else "//" for n in notes]
    return "\n".join(lines) + "\n"


def c_array(decl, values, per_line=16, fmt="{}", comments=None):
    """Formats a brace-initialised array; comments[i] labels line i if given."""
    out = [decl + " = {"]
    for i in range(0, len(values), per_line):
        chunk = ",".join(fmt.format(v) for v in values[i:i + per_line])
        line = "    " + chunk + ","
        if comments is not None:
            line += "  // " + comments[i // per_line]
        out.append(line)
    out.append("};")
    return "\n".join(out) + "\n"


def write_text(path, text):
    """Writes text with Unix line ends, creating the folder if needed."""
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


def write_png(path, width, height, rgb):
    """Writes 8-bit RGB rows, top row first, as a PNG file."""
    raw = bytearray()
    stride = width * 3
    for y in range(height):
        raw.append(0)
        raw += rgb[y * stride:(y + 1) * stride]

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "wb") as f:
        f.write(png)
