#!/usr/bin/env python3
"""Draws the window icon (16 and 32 pixels) and the binoculars button picture
(15 x 13) as 16-colour XPM images, and the same icon for the desktop's icon
theme: a scalable SVG of its pixels and PNGs of 16 to 256 pixels
(../packaging/icons). Run it in this folder to regenerate the committed files."""

import os
import struct
import zlib

# The 16 colours of the classic Windows palette; "." is transparent.
PALETTE = {
    ".": "None", "k": "#000000", "r": "#800000", "g": "#008000", "y": "#808000",
    "b": "#000080", "m": "#800080", "c": "#008080", "s": "#C0C0C0", "d": "#808080",
    "R": "#FF0000", "G": "#00FF00", "Y": "#FFFF00", "B": "#0000FF", "M": "#FF00FF",
    "C": "#00FFFF", "w": "#FFFFFF",
}

BINOCULARS = [
    "...kkk...kkk...",
    "..kdsdk.kdsdk..",
    "..kdsdk.kdsdk..",
    ".kkdddkkkdddkk.",
    ".kdsdsdkdsdsdk.",
    "kdssdddkdddssdk",
    "kdsddddkddddsdk",
    "kdddddkkkdddddk",
    "kkkkkkk.kkkkkkk",
    "kbBBbk...kbBBbk",
    "kbBwbk...kbBwbk",
    "kbbbbk...kbbbbk",
    ".kkkk.....kkkk.",
]

ICON16 = [
    "....kkkkkkkk....",
    "...kwwwwwwwwk...",
    "..kwwwwwwwwwwk..",
    "..kwbbbbbbbbwk..",
    "..kwwwwwwwwwwk..",
    "..kwbbbbbbwwwk..",
    "..kwwwwwwwwwwk..",
    "..kwbbbbbbbbwk..",
    "..kwwwwwwwwwwk..",
    "kkkkkkkwwwwwwk..",
    "kYYYYYkkwwwwwk..",
    "kYrrrYYkbbbbwk..",
    "kYYrYYYkwwwwwk..",
    "kYYrYYYkwwwwwk..",
    "kYYYYYYkkkkkkk..",
    "kkkkkkkk........",
]


def scale(rows, factor):
    return ["".join(ch * factor for ch in row) for row in rows for _ in range(factor)]


def xpm(name, rows):
    used = sorted(set("".join(rows)))
    lines = [f'"{len(rows[0])} {len(rows)} {len(used)} 1",']
    lines += [f'"{ch} c {PALETTE[ch]}",' for ch in used]
    lines += [f'"{row}",' for row in rows]
    lines[-1] = lines[-1].rstrip(",")
    return "/* XPM */\nstatic const char *" + name + "[] = {\n" + "\n".join(lines) + "\n};\n"


def svg(rows):
    """The pixels as squares of a 16 x 16 drawing, crisp at every size."""
    size = len(rows)
    rects = []
    for y, row in enumerate(rows):
        for x, ch in enumerate(row):
            if ch != ".":
                rects.append(f'<rect x="{x}" y="{y}" width="1" height="1" fill="{PALETTE[ch]}"/>')
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{size}" height="{size}" '
            f'viewBox="0 0 {size} {size}" shape-rendering="crispEdges">\n'
            + "\n".join(rects) + "\n</svg>\n")


def png(rows, size):
    """The pixels scaled to size x size (nearest neighbour) as an RGBA PNG."""
    n = len(rows)
    raw = b""
    for y in range(size):
        raw += b"\0"
        for x in range(size):
            ch = rows[y * n // size][x * n // size]
            raw += b"\0\0\0\0" if ch == "." else bytes.fromhex(PALETTE[ch][1:]) + b"\xff"

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    assert all(len(r) == 15 for r in BINOCULARS) and len(BINOCULARS) == 13
    assert all(len(r) == 16 for r in ICON16) and len(ICON16) == 16
    for name, rows in (("binoculars", BINOCULARS), ("icon16", ICON16), ("icon32", scale(ICON16, 2))):
        with open(f"{name}.xpm", "w") as f:
            f.write(xpm(name, rows))
    os.makedirs("../packaging/icons", exist_ok=True)
    with open("../packaging/icons/quorvin-language.svg", "w") as f:
        f.write(svg(ICON16))
    for size in (16, 24, 32, 48, 64, 128, 256):
        with open(f"../packaging/icons/quorvin-language-{size}.png", "wb") as f:
            f.write(png(ICON16, size))


if __name__ == "__main__":
    main()
