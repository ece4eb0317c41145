#!/usr/bin/python3
"""Builds UnicodeFont from GNU Unifont and writes render/assets/unicode_font.gen.cpp.

    /usr/bin/python3 tools/assets/gen_unicode_font.py OUTDIR [unifont.hex]

The source is /usr/share/unifont/unifont.hex (Debian package `unifont`): one
glyph of 16 rows per line, 8 or 16 pixels wide. Each glyph becomes a run of
16-bit column words, bit k = line pair k above the pen, trimmed to its inked
columns.

Horizontal: a narrow (8-pixel) Unifont glyph has each pixel made two columns
wide, as in the byte font, so Latin, Cyrillic and the other alphabets keep their
proportions on the line-pair grid (a line pair is two screen rows high); U+0402
then is 14 columns. Wide (16-pixel) glyphs keep one column per pixel: an
ideograph is 15 columns and 16 line pairs, about the height of two capitals.

Vertical: Unifont draws capitals on rows 4..13 (row 0 at the top) with the
baseline under row 13, lower case from row 6, and descenders on rows 14..15.
  - Alphabetic scripts: row r goes to bit 16 - r, which puts capitals and digits
    on bits 3..12. Unifont's lower case is 8 rows high, one more than the 7 of
    bits 3..9, so in a lower-case letter drawn on the x-height two neighbouring
    rows of rows 6..13 are merged into one (the pair that changes the fewest
    pixels, mostly two equal rows of a stem or a bowl side) and the rows above
    move down one: lower case then reaches bit 9 and ascenders bit 12.
    Descenders are lengthened by one line pair so that they reach bit 0: the
    first row under the baseline fills bits 2 and 1, the second bit 0.
    Row 0 has no bit of its own; the few glyphs that ink it (accents over
    capitals such as U+0401, whose dots are two rows high) have it merged into
    row 1, so no ink is lost and the baseline stays on bit 3.
  - Ideographic blocks (CJK, kana, Hangul, Bopomofo, the CJK symbols, forms and
    compatibility blocks, halfwidth and fullwidth forms): Unifont fills the
    whole 16 x 16 square there, row 0 included, so row r goes to bit 15 - r and
    every row keeps its own bit (bits 0..15).

Coverage: Basic Latin, the characters of Windows code page 1251, combining
diacritical marks, Armenian, Hebrew, Arabic, Syriac, Thaana, Devanagari,
Bengali, Gurmukhi, Gujarati, Tamil, Telugu, Kannada, Malayalam, Thai, Georgian,
Hangul Jamo, CJK symbols and punctuation, Hiragana, Katakana, Bopomofo, the
enclosed CJK letters and CJK compatibility blocks, CJK Unified Ideographs
U+4E00..U+9FA5, compatibility ideographs U+F900..U+FA2D, the Armenian and Hebrew
presentation forms, the CJK compatibility and small forms and the halfwidth and
fullwidth forms. Everything else points at one of two shared fallbacks: the
surrogates U+D800..U+DFFF (lone ones stand for undecodable bytes of a file
name) at the columns of U+0402, every other code unit at an empty box 5 columns
wide. Listed blank glyphs get fixed widths; a covered glyph that Unifont leaves
blank gets 4 columns (narrow) or 12 (wide).

Columns are shared: identical glyphs, and short glyphs found inside the table,
reuse columns already there; every column of the table belongs to some glyph.
"""
import os
import sys
import unicodedata

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import asset_writer  # noqa: E402

UNIFONT = "/usr/share/unifont/unifont.hex"

COVERED_RANGES = [
    (0x0000, 0x007F),   # Basic Latin
    (0x0300, 0x036F),   # combining diacritical marks
    (0x0530, 0x058F),   # Armenian
    (0x0590, 0x05FF),   # Hebrew
    (0x0600, 0x06FF),   # Arabic
    (0x0700, 0x074F),   # Syriac
    (0x0780, 0x07BF),   # Thaana
    (0x0900, 0x0AFF),   # Devanagari, Bengali, Gurmukhi, Gujarati
    (0x0B80, 0x0D7F),   # Tamil, Telugu, Kannada, Malayalam
    (0x0E00, 0x0E7F),   # Thai
    (0x10A0, 0x10FF),   # Georgian
    (0x1100, 0x11FF),   # Hangul Jamo
    (0x3000, 0x312F),   # CJK symbols and punctuation, Hiragana, Katakana, Bopomofo
    (0x3200, 0x33FF),   # enclosed CJK letters and months, CJK compatibility
    (0x4E00, 0x9FA5),   # CJK Unified Ideographs
    (0xF900, 0xFA2D),   # CJK compatibility ideographs
    (0xFB13, 0xFB4F),   # Armenian and Hebrew presentation forms
    (0xFE30, 0xFE6F),   # CJK compatibility forms, small form variants
    (0xFF00, 0xFFEF),   # halfwidth and fullwidth forms
]

# Blocks drawn on the full 16 x 16 square: no baseline, row r to bit 15 - r.
SQUARE_RANGES = [
    (0x1100, 0x11FF), (0x2E80, 0x2FFF), (0x3000, 0x33FF), (0x3400, 0x4DBF),
    (0x4E00, 0x9FFF), (0xAC00, 0xD7AF), (0xF900, 0xFAFF), (0xFE30, 0xFE6F),
    (0xFF00, 0xFFEF),
]

# Blank glyphs and their widths in columns.
BLANKS = {0x0000: 8, 0x0009: 1, 0x000A: 1, 0x000D: 1, 0x0020: 4, 0x00A0: 9, 0x3000: 12, 0xFEFF: 1}
for u in list(range(0x200B, 0x2010)) + list(range(0x202A, 0x202F)):
    BLANKS[u] = 1

# The empty box: two sides and a top and bottom from the baseline to cap height.
BOX = [0x1FF8, 0x1008, 0x1008, 0x1008, 0x1FF8]
FALLBACK_GLYPH = 0x0402


def in_ranges(u, ranges):
    return any(lo <= u <= hi for lo, hi in ranges)


def covered_set():
    cover = set()
    for lo, hi in COVERED_RANGES:
        cover.update(range(lo, hi + 1))
    for b in range(0x80, 0x100):
        try:
            cover.add(ord(bytes([b]).decode("cp1251")))
        except UnicodeDecodeError:
            pass
    return cover


def read_hex(path):
    glyphs = {}
    with open(path, encoding="ascii") as f:
        for line in f:
            line = line.strip()
            if not line:
                continue
            code, bits = line.split(":")
            glyphs[int(code, 16)] = bits
    return glyphs


def is_lower_with_x_height(u, rows):
    """Tells whether u is a lower-case letter drawn on Unifont's x-height."""
    return unicodedata.category(chr(u)) == "Ll" and rows[6] != 0 and rows[13] != 0 and rows[0] == 0


def merge_x_height_rows(rows):
    """Returns the 15 rows left after merging two neighbours of rows 6..13.

    The pair that changes the fewest pixels when merged goes, nearest the
    middle on a tie: usually two equal rows of a stem or a bowl side.
    """
    def cost(a):
        return (bin(rows[a] ^ rows[a + 1]).count("1"), abs(2 * a + 1 - 19), a)
    a = min(range(6, 13), key=cost)
    return rows[:a] + [rows[a] | rows[a + 1]] + rows[a + 2:]


def glyph_columns(u, bits):
    """Returns the column words of a Unifont glyph, trimmed to its ink."""
    digits = len(bits) // 16
    width = digits * 4
    assert width in (8, 16), "U+%04X" % u
    rows = [int(bits[i * digits:(i + 1) * digits], 16) for i in range(16)]
    # bit_rows[k] = the Unifont row pattern shown on line pair k
    if in_ranges(u, SQUARE_RANGES):
        bit_rows = [rows[15 - k] for k in range(16)]
    else:
        if is_lower_with_x_height(u, rows):
            rows = merge_x_height_rows(rows)
        baseline = len(rows) - 3
        bit_rows = [0] * 16
        for r in range(baseline + 1):
            bit_rows[min(15, 3 + baseline - r)] |= rows[r]
        bit_rows[2] = rows[baseline + 1]
        bit_rows[1] = rows[baseline + 1]
        bit_rows[0] = rows[baseline + 2]
    repeat = 2 if width == 8 else 1
    columns = []
    for x in range(width):
        word = 0
        for k in range(16):
            if (bit_rows[k] >> (width - 1 - x)) & 1:
                word |= 1 << k
        columns += [word] * repeat
    first = 0
    while first < len(columns) and columns[first] == 0:
        first += 1
    last = len(columns)
    while last > first and columns[last - 1] == 0:
        last -= 1
    return columns[first:last], width


class Table:
    """The shared column table with lookups for reuse."""

    def __init__(self):
        self.words = []
        self.data = bytearray()
        self.seen = {}

    def add(self, columns, search=False):
        key = tuple(columns)
        if key in self.seen:
            return self.seen[key]
        start = -1
        if search:
            needle = b"".join(w.to_bytes(2, "little") for w in columns)
            pos = self.data.find(needle)
            while pos >= 0 and pos % 2:
                pos = self.data.find(needle, pos + 1)
            if pos >= 0:
                start = pos // 2
        if start < 0:
            start = len(self.words)
            self.words += columns
            self.data += b"".join(w.to_bytes(2, "little") for w in columns)
        self.seen[key] = start
        return start


def build(hex_path):
    """Returns (widths, starts, columns) for all 65536 code units."""
    source = read_hex(hex_path)
    cover = covered_set()
    table = Table()
    widths = [0] * 65536
    starts = [0] * 65536

    blank_start = table.add([0] * max(max(BLANKS.values()), 12))
    box_start = table.add(BOX)

    def place(u, start, width):
        widths[u] = width
        starts[u] = start

    for u in range(65536):
        if u in BLANKS:
            place(u, blank_start, BLANKS[u])
        elif u in cover and u in source:
            columns, width = glyph_columns(u, source[u])
            if not columns:
                place(u, blank_start, 4 if width == 8 else 12)
            else:
                place(u, table.add(columns, search=len(columns) <= 4), len(columns))
        else:
            place(u, box_start, len(BOX))
    for u in range(0xD800, 0xE000):
        place(u, starts[FALLBACK_GLYPH], widths[FALLBACK_GLYPH])
    return widths, starts, table.words


def emit_cpp(widths, starts, columns, hex_path):
    text = asset_writer.header_comment(
        "unicode_font.gen.cpp - UnicodeFont: glyph widths, starts and column words by UTF-16 code unit.",
        ["%s (GNU Unifont, Debian package unifont; GPL-2+, see NOTICE)" % hex_path,
         "by tools/assets/gen_unicode_font.py, whose comment tells how the glyphs are placed"],
        "/usr/bin/python3 tools/assets/gen_unicode_font.py render/assets")
    text += "\n" + asset_writer.INCLUDE + "\n"
    text += "const int32_t glyphColumnCount = %d;\n\n" % len(columns)
    text += asset_writer.c_array("const uint8_t glyphWidths[kGlyphCount]", widths, per_line=32,
                                 comments=["U+%04X" % u for u in range(0, 65536, 32)])
    text += "\n" + asset_writer.c_array("const int32_t glyphStarts[kGlyphCount]", starts, per_line=16,
                                        comments=["U+%04X" % u for u in range(0, 65536, 16)])
    text += "\n" + asset_writer.c_array("const uint16_t glyphColumns[%d]" % len(columns), columns, per_line=16,
                                        fmt="0x{:04x}")
    return text


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    hex_path = argv[2] if len(argv) > 2 else UNIFONT
    widths, starts, columns = build(hex_path)
    asset_writer.write_text(os.path.join(argv[1], "unicode_font.gen.cpp"), emit_cpp(widths, starts, columns, hex_path))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
