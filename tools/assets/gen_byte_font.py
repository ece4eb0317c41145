#!/usr/bin/python3
"""Builds ByteFont from an 8 x 8 VGA console font and writes render/assets/byte_font.gen.cpp.

    /usr/bin/python3 tools/assets/gen_byte_font.py OUTDIR [font.psf.gz]

The source is /usr/share/consolefonts/FullCyrSlav-VGA8.psf.gz (Debian package
`console-setup-linux`): the classic VGA 8 x 8 design with the Slavic Cyrillic
letters, a PSF font whose Unicode table tells which glyph draws which
character. The 256 byte codes are laid out in the order of Windows code page
1251:
  - 0x20..0x7E ASCII, 0x7F the house sign of the VGA set;
  - 0x01..0x1F the VGA pictographs (faces, card suits, notes, arrows ...);
  - 0x80..0xFF the characters of code page 1251; a character the 8 x 8 design
    lacks, and the unassigned 0x98, repeat the question mark of 0x3F;
  - 0x00, 0x09, 0x0A, 0x0D, 0x20 and 0xA0 are empty.
Each pixel becomes two columns (bit 2p and 2p + 1 of a row word for pixel p
from the left), so a glyph spans 16 columns; row 0 is the lowest font row.
"""
import gzip
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import asset_writer  # noqa: E402

FONT = "/usr/share/consolefonts/FullCyrSlav-VGA8.psf.gz"

# The pictographs of the VGA set at 0x01..0x1F, and its house sign at 0x7F.
PICTOGRAPHS = "\u263a\u263b\u2665\u2666\u2663\u2660\u2022\u25d8\u25cb\u25d9\u2642\u2640\u266a\u266b\u263c" \
              "\u25ba\u25c4\u2195\u203c\u00b6\u00a7\u25ac\u21a8\u2191\u2193\u2192\u2190\u221f\u2194\u25b2\u25bc"
# Stand-ins where the font draws a pictograph under a neighbouring character.
ALTERNATIVES = {"\u25ba": "\u25b6", "\u25c4": "\u25c0"}
EMPTY = {0x00, 0x09, 0x0A, 0x0D, 0x20, 0xA0}


def load_psf(path):
    """Returns (glyph bitmaps of 8 bytes, {code point: glyph index})."""
    data = gzip.open(path).read()
    if data[:2] == b"\x36\x04":                       # PSF 1
        mode, height = data[2], data[3]
        count = 512 if mode & 1 else 256
        glyphs = [data[4 + i * height:4 + (i + 1) * height] for i in range(count)]
        table = {}
        off = 4 + count * height
        if mode & 6:
            for i in range(count):
                while True:
                    (u,) = struct.unpack_from("<H", data, off)
                    off += 2
                    if u == 0xFFFF:
                        break
                    if u != 0xFFFE:
                        table.setdefault(u, i)
    else:                                             # PSF 2
        magic, version, hsize, flags, count, size, height, width = struct.unpack_from("<8I", data)
        assert magic == 0x864AB572 and width == 8
        glyphs = [data[hsize + i * size:hsize + (i + 1) * size] for i in range(count)]
        table = {}
        if flags & 1:
            entries = data[hsize + count * size:].split(b"\xff")
            for i, entry in enumerate(entries[:count]):
                for ch in entry.split(b"\xfe")[0].decode("utf-8"):
                    table.setdefault(ord(ch), i)
    assert height == 8, "an 8 x 8 font is needed"
    return glyphs, table


def char_of(b):
    """Returns the character byte b stands for, or None where nothing is drawn."""
    if b in EMPTY:
        return None
    if 0x01 <= b <= 0x1F:
        return PICTOGRAPHS[b - 1]
    if b == 0x7F:
        return "\u2302"
    try:
        return bytes([b]).decode("cp1251")
    except UnicodeDecodeError:
        return "?"


def build(path):
    glyphs, table = load_psf(path)
    rows = []
    names = []
    for b in range(256):
        ch = char_of(b)
        if ch is not None and ord(ch) not in table:
            ch = ALTERNATIVES.get(ch, ch)
        if ch is not None and ord(ch) not in table:
            ch = "?"
        names.append("0x%02X %s" % (b, "empty" if ch is None else "U+%04X" % ord(ch)))
        bitmap = glyphs[table[ord(ch)]] if ch is not None else bytes(8)
        for r in range(8):
            line = bitmap[7 - r]
            word = 0
            for p in range(8):
                if line & (0x80 >> p):
                    word |= 3 << (2 * p)
            rows.append(word)
    return rows, names


def emit_cpp(rows, names, path):
    text = asset_writer.header_comment(
        "byte_font.gen.cpp - ByteFont: 8 row words per byte code, row 0 lowest, bit i = column i.",
        ["%s (Debian package console-setup-linux; see NOTICE)" % path,
         "by tools/assets/gen_byte_font.py, in Windows code page 1251 order"],
        "/usr/bin/python3 tools/assets/gen_byte_font.py render/assets")
    text += "\n" + asset_writer.INCLUDE + "\n"
    text += asset_writer.c_array("const uint16_t byteGlyphRows[256 * kByteGlyphRows]", rows, per_line=8,
                                 fmt="0x{:04x}", comments=names)
    return text


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    path = argv[2] if len(argv) > 2 else FONT
    rows, names = build(path)
    asset_writer.write_text(os.path.join(argv[1], "byte_font.gen.cpp"), emit_cpp(rows, names, path))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
