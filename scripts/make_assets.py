#!/usr/bin/env python3
"""Draws Lintavel's own pointer and program images from the pictures below and
writes them to assets/: HAND-M.CUR (hand pointer, hot spot at the finger tip),
drag.ico (the pointer while a row is dragged) and lintavel.png (the program icon).
Run it again after changing a picture; the files it writes are committed.

With --icons DIR N... it writes the program icon in the desktop icon theme's
layout instead, as the build does: DIR/NxN/apps/lintavel.png for each size N (a
multiple of 16, so that every pixel of the picture stays square and sharp) and
DIR/scalable/apps/lintavel.svg."""
import pathlib
import struct
import sys
import zlib

HAND = """
.....##.........
....#oo#........
....#oo#........
....#oo#........
....#oo###......
....#oo#oo###...
....#oo#oo#oo##.
.##.#oo#oo#oo#o#
#oo##oooooooo#o#
#ooo#oooooooooo#
.#oo#oooooooooo#
..#ooooooooooo#.
...#oooooooooo#.
...#ooooooooo#..
....#oooooooo#..
....##########..
"""

DRAG = """
.......##.......
......#oo#......
.....#oooo#.....
....#oooooo#....
...####oo####...
......#oo#......
.##############.
.#oooooooooooo#.
.#oooooooooooo#.
.##############.
......#oo#......
...####oo####...
....#oooooo#....
.....#oooo#.....
......#oo#......
.......##.......
"""

COLOURS = {".": (0, 0, 0, 0), "#": (0, 0, 0, 255), "o": (255, 255, 255, 255)}


def pixels(picture, scale):
    rows = [line for line in picture.strip("\n").split("\n")]
    out = []
    for line in rows:
        row = [COLOURS[c] for c in line for _ in range(scale)]
        out.extend([row] * scale)
    return out


def ico(picture, scale, hotspot=None):
    """An ICO (or, with a hot spot, a CUR) file holding one 32-bit image."""
    image = pixels(picture, scale)
    height, width = len(image), len(image[0])
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(image) for (r, g, b, a) in row)
    mask_row = ((width + 31) // 32) * 4
    mask = b"".join(
        bytes(
            sum(0x80 >> (x % 8) for x in range(byte * 8, min(byte * 8 + 8, width)) if row[x][3] == 0)
            for byte in range(mask_row))
        for row in reversed(image))
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    data = header + xor + mask
    kind, field1, field2 = (2, hotspot[0] * scale, hotspot[1] * scale) if hotspot else (1, 1, 32)
    directory = struct.pack("<HHH", 0, kind, 1)
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, field1, field2, len(data), 22)
    return directory + entry + data


def png(picture, scale):
    image = pixels(picture, scale)
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in image)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    header = struct.pack(">IIBBBBB", len(image[0]), len(image), 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


ICON = """
................
.##########.....
.#oooooooo##....
.#oooooooo#o#...
.#o##o##oo####..
.#oooooooooooo#.
.#o###o####ooo#.
.#oooooooooooo#.
.#o####o###ooo#.
.#oooooooooooo#.
.#o##o#####ooo#.
.#oooooooooooo#.
.#o###o##ooooo#.
.#oooooooooooo#.
.##############.
................
"""

def svg(picture):
    """The picture as an SVG image: one square per pixel, edges kept sharp."""
    rows = picture.strip("\n").split("\n")
    squares = "".join(
        f'<rect x="{x}" y="{y}" width="1" height="1" fill="{"#000" if c == "#" else "#fff"}"/>'
        for y, line in enumerate(rows) for x, c in enumerate(line) if c != ".")
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16" '
            f'shape-rendering="crispEdges">{squares}</svg>\n')


def write_icons(folder, sizes):
    for size in sizes:
        apps = folder / f"{size}x{size}" / "apps"
        apps.mkdir(parents=True, exist_ok=True)
        (apps / "lintavel.png").write_bytes(png(ICON, size // 16))
    apps = folder / "scalable" / "apps"
    apps.mkdir(parents=True, exist_ok=True)
    (apps / "lintavel.svg").write_text(svg(ICON))


if __name__ == "__main__":
    if len(sys.argv) > 3 and sys.argv[1] == "--icons":
        sizes = [int(size) for size in sys.argv[3:] if size.isdigit() and int(size) % 16 == 0]
        if len(sizes) != len(sys.argv) - 3:
            sys.exit("make_assets.py: icon sizes are multiples of 16")
        write_icons(pathlib.Path(sys.argv[2]), sizes)
        sys.exit(0)
    if len(sys.argv) != 1:
        sys.exit("usage: make_assets.py [--icons DIR SIZE...]")
    assets = pathlib.Path(__file__).resolve().parent.parent / "assets"
    assets.mkdir(exist_ok=True)
    (assets / "HAND-M.CUR").write_bytes(ico(HAND, 2, hotspot=(5, 0)))
    (assets / "drag.ico").write_bytes(ico(DRAG, 2))
    (assets / "lintavel.png").write_bytes(png(ICON, 8))
